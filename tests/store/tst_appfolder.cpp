#include "store/io/appfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace skyhaul;

class TestAppFolder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Where the data files go for a program in PREFIX/bin, by what that prefix holds.
    void choosesTheFolder_data()
    {
        QTest::addColumn<bool>("binWritable");
        QTest::addColumn<QString>("desktopEntry"); // written to PREFIX/share/applications when not empty
        QTest::addColumn<bool>("keptBesideProgram");
        QTest::newRow("build folder") << true << QString() << true;
        QTest::newRow("installed, folder writable (root)")
            << true << QStringLiteral("app.id.desktop") << false;
        QTest::newRow("another program's entry") << true << QStringLiteral("other.id.desktop") << true;
        QTest::newRow("folder not writable") << false << QString() << false;
    }
    void choosesTheFolder()
    {
        QFETCH(bool, binWritable);
        QFETCH(QString, desktopEntry);
        QFETCH(bool, keptBesideProgram);
        if (!binWritable && geteuid() == 0)
            QSKIP("root writes into any folder");
        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        if (!desktopEntry.isEmpty()) {
            QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("share/applications"))));
            QFile entry(prefix.filePath(QStringLiteral("share/applications/") + desktopEntry));
            QVERIFY(entry.open(QIODevice::WriteOnly));
        }
        if (!binWritable)
            QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
        const QString userData = prefix.filePath(QStringLiteral("home/.local/share/Skyhaul"));
        const QString chosen = chooseApplicationFolder(bin, userData, QStringLiteral("app.id"));
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(chosen, keptBesideProgram ? bin : userData);
    }

    void noProgramFolderMeansUserData()
    {
        QCOMPARE(chooseApplicationFolder(QString(), QStringLiteral("/data"), QStringLiteral("app.id")),
                 QStringLiteral("/data"));
    }
};

QTEST_GUILESS_MAIN(TestAppFolder)
#include "tst_appfolder.moc"
