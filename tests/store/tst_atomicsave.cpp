#include "store/io/atomicsave.h"
#include "store/io/datafile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;

class TestAtomicSave : public QObject {
    Q_OBJECT

    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void writesAndReplacesLeavingNoTemporaryFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new file") << QByteArray() << QByteArray("hello");
        QTest::newRow("longer replaces shorter") << QByteArray("ab") << QByteArray(10000, 'x');
        QTest::newRow("shorter replaces longer") << QByteArray(10000, 'x') << QByteArray("ab");
        QTest::newRow("empty replaces content") << QByteArray("content") << QByteArray();
    }
    void writesAndReplacesLeavingNoTemporaryFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.dat"));
        if (!before.isEmpty())
            writeFileAtomically(path, before);
        writeFileAtomically(path, after);
        QCOMPARE(contents(path), after);
        QCOMPARE(QFileInfo(path).size(), after.size());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("data.dat")});
    }

    void missingFolderFailsWithoutCreatingAnything()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("no/such/folder/data.dat"));
        try {
            writeFileAtomically(path, "x");
            QFAIL("no error for a missing folder");
        } catch (const FileIoError& e) {
            QCOMPARE(e.operation(), FileIoError::Operation::Write);
            QCOMPARE(e.path(), path);
            QVERIFY(
                e.message().startsWith(QStringLiteral("Cannot write file ") + path + QStringLiteral(": ")));
        }
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void folderAsTargetFailsAndStays()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub"));
        QVERIFY(QDir().mkdir(path));
        QVERIFY_THROWS_EXCEPTION(FileIoError, writeFileAtomically(path, "x"));
        QVERIFY(QFileInfo(path).isDir());
    }

    // A save killed at any moment leaves the old contents or the new ones, whole.
    void killedDuringSaveLeavesAWholeFile_data()
    {
        QTest::addColumn<int>("savesBeforeKill");
        for (int n : {1, 2, 3, 5, 8, 13})
            QTest::addRow("killed after %d saves", n) << n;
    }
    void killedDuringSaveLeavesAWholeFile()
    {
        QFETCH(int, savesBeforeKill);
        constexpr qsizetype size = 8 * 1024 * 1024;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("SiteManager.dat"));
        QProcess writer;
        writer.start(QStringLiteral(ATOMICSAVE_WRITER), {path, QString::number(size)});
        QVERIFY(writer.waitForStarted(10000));
        int saves = 0;
        while (saves < savesBeforeKill) {
            if (!writer.canReadLine())
                QVERIFY2(writer.waitForReadyRead(30000), "writer stopped saving");
            while (writer.canReadLine() && saves < savesBeforeKill) {
                QCOMPARE(writer.readLine(), QByteArray("saved\n"));
                ++saves;
            }
        }
        // The writer is now inside its next save.
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));

        const QByteArray bytes = contents(path);
        QCOMPARE(bytes.size(), size);
        const char c = bytes.front();
        QVERIFY(c == 'a' || c == 'b');
        QCOMPARE(bytes.count(c), size);
    }
};

QTEST_GUILESS_MAIN(TestAtomicSave)
#include "tst_atomicsave.moc"
