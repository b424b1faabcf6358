// Menu captions made from names the user chose (favorite paths, quick-connect entries): every character
// shows, and none becomes a hot-key mark.
#include "ui/menutext.h"

#include <QAction>
#include <QApplication>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

class TestMenuText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shownAsGiven_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("no ampersand") << u"/pub/incoming"_s << u"/pub/incoming"_s;
        QTest::newRow("one inside") << u"/R&D/plans"_s << u"/R&&D/plans"_s;
        QTest::newRow("first character") << u"&home"_s << u"&&home"_s;
        QTest::newRow("last character") << u"/a&"_s << u"/a&&"_s;
        QTest::newRow("already doubled") << u"a&&b"_s << u"a&&&&b"_s;
        QTest::newRow("only ampersands") << u"&&&"_s << u"&&&&&&"_s;
        QTest::newRow("empty") << QString() << QString();
    }
    void shownAsGiven()
    {
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QCOMPARE(menuText(text), caption);
        // What a menu shows of the caption: hot-key marks taken out, a doubled "&" shown as one.
        const QAction action(menuText(text));
        QCOMPARE(action.iconText(), text);
    }
};

QTEST_MAIN(TestMenuText)
#include "tst_menutext.moc"
