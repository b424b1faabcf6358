// What a server-to-server copy takes from the replies and the queue: the PORT argument read from a PASV reply
// by the engine's own parser, and the relative path sent to both servers.
#include "transfer/fxpcopy.h"

#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

class TestFxpCopy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portArgument_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("argument"); // empty: no address
        QTest::newRow("usual") << u"227 Entering Passive Mode (10,0,0,5,19,136)"_s << u"10,0,0,5,19,136"_s;
        QTest::newRow("a full stop after the parenthesis")
            << u"227 Entering Passive Mode (10,0,0,5,19,136)."_s << u"10,0,0,5,19,136"_s;
        QTest::newRow("no parentheses") << u"227 Passive 127,0,0,1,4,1"_s << u"127,0,0,1,4,1"_s;
        QTest::newRow("leading zeros") << u"227 ok (127,000,0,01,4,01)"_s << u"127,0,0,1,4,1"_s;
        QTest::newRow("no numbers") << u"227 Entering Passive Mode"_s << QString();
        QTest::newRow("five numbers") << u"227 (1,2,3,4,5)"_s << QString();
        QTest::newRow("a number above 255") << u"227 (1,2,3,256,5,6)"_s << QString();
        QTest::newRow("port 0") << u"227 (127,0,0,1,0,0)"_s << QString();
    }

    void portArgument()
    {
        QFETCH(QString, reply);
        QFETCH(QString, argument);
        QCOMPARE(FxpCopy::portArgument(reply).value_or(QString()), argument);
    }

    void relativePath_data()
    {
        QTest::addColumn<QString>("sourcePath");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("rel"); // empty: refused
        QTest::newRow("a file below the base") << u"/pub/a.txt"_s << u"/pub"_s << u"a.txt"_s;
        QTest::newRow("deeper") << u"/pub/sub/b.txt"_s << u"/pub"_s << u"sub/b.txt"_s;
        QTest::newRow("at the root") << u"/a.txt"_s << QString() << u"a.txt"_s;
        QTest::newRow("outside the base") << u"/public/a.txt"_s << u"/pub"_s << QString();
        QTest::newRow("a listed .. in the path") << u"/pub/../etc/x"_s << u"/pub"_s << QString();
        QTest::newRow("an empty part") << u"/pub//x"_s << u"/pub"_s << QString();
        QTest::newRow("a line break") << u"/pub/a\r\nDELE b"_s << u"/pub"_s << QString();
    }

    void relativePath()
    {
        QFETCH(QString, sourcePath);
        QFETCH(QString, base);
        QFETCH(QString, rel);
        QString problem;
        QCOMPARE(FxpCopy::relativePath(sourcePath, base, &problem), rel);
        QCOMPARE(problem.isEmpty(), !rel.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFxpCopy)
#include "tst_fxpcopy.moc"
