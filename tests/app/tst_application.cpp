// The program's application object: an exception that leaves an event handler ends in the standard error
// box, and the program goes on.
#include "app/main/skyhaulapplication.h"
#include "store/io/datafile.h"
#include "tests/app/apptesthelpers.h"
#include "tests/support/testhelpers.h"
#include "ui/errorbox.h"

#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

class TestApplication : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void exceptionFromAHandlerShowsTheBox_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("engine") << 0 << u"10061: Connection refused"_s;
        QTest::newRow("data file") << 1 << u"Cannot write file /x/config.dat: No space left on device"_s;
        QTest::newRow("any other") << 2 << u"list index out of bounds"_s;
    }

    void exceptionFromAHandlerShowsTheBox()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        ModalWatcher watcher;
        QObject target;
        bool after = false;
        QTimer::singleShot(0, &target, [kind] {
            if (kind == 0)
                throw EFtpEngine(10061, u"Connection refused"_s);
            if (kind == 1)
                throw FileIoError(FileIoError::Operation::Write, u"/x/config.dat"_s,
                                  u"No space left on device"_s);
            throw std::out_of_range("list index out of bounds");
        });
        QTimer::singleShot(50, &target, [&] { after = true; });
        QVERIFY(waitFor([&] { return after && !watcher.seen.isEmpty(); }, 5000));
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen.first().title, u"Skyhaul"_s);
        QVERIFY2(watcher.seen.first().text.startsWith(message), qPrintable(watcher.seen.first().text));
    }

    void fullStopRule_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << u"Timeout"_s << u"Timeout."_s;
        QTest::newRow("full stop") << u"Timeout."_s << u"Timeout."_s;
        QTest::newRow("exclamation mark") << u"Refused!"_s << u"Refused!"_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void fullStopRule()
    {
        QFETCH(QString, message);
        QTEST(standardErrorText(message), "shown");
    }
};

int main(int argc, char** argv)
{
    TSkyhaulApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skyhaul"));
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
