#include "store/io/appfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace skyhaul;
using namespace Qt::StringLiterals;

class TestAppFolder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Where the data files go for a program in PREFIX/bin, by what that prefix holds and what the user asked.
    void choosesTheFolder_data()
    {
        QTest::addColumn<bool>("binWritable");
        QTest::addColumn<bool>("marker"); // the portable marker beside the program
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("expected"); // "bin", "user", or the folder relative to PREFIX
        QTest::newRow("build folder") << true << false << QString() << QString() << u"user"_s;
        QTest::newRow("portable marker") << true << true << QString() << QString() << u"bin"_s;
        QTest::newRow("marker, folder not writable") << false << true << QString() << QString() << u"user"_s;
        QTest::newRow("environment") << true << true << QString() << u"env-data"_s << u"env-data"_s;
        QTest::newRow("blank environment") << true << false << QString() << u"  "_s << u"user"_s;
        QTest::newRow("option over environment")
            << true << false << u"opt-data"_s << u"env-data"_s << u"opt-data"_s;
    }
    void choosesTheFolder()
    {
        QFETCH(bool, binWritable);
        QFETCH(bool, marker);
        QFETCH(QString, option);
        QFETCH(QString, env);
        QFETCH(QString, expected);
        if (!binWritable && geteuid() == 0)
            QSKIP("root writes into any folder");
        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        const QString bin = prefix.filePath(u"bin"_s);
        QVERIFY(QDir().mkpath(bin));
        if (marker) {
            QFile file(QDir(bin).filePath(QLatin1String(PortableMarker)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        if (!binWritable)
            QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
        const QString userData = prefix.filePath(u"home/.local/share/Skyhaul"_s);
        auto inPrefix = [&](const QString& name) { return name.isEmpty() ? name : prefix.filePath(name); };
        const QString chosen =
            chooseApplicationFolder({.dataDirOption = inPrefix(option),
                                     .dataDirEnv = env.trimmed().isEmpty() ? env : inPrefix(env),
                                     .exeFolder = bin,
                                     .userDataFolder = userData});
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(chosen, expected == u"bin"_s ? bin : expected == u"user"_s ? userData : inPrefix(expected));
    }

    // A folder given relative to the current folder is used as an absolute path, so it does not move when
    // the program changes its current folder.
    void givenFolderMadeAbsolute()
    {
        QCOMPARE(chooseApplicationFolder({.dataDirOption = QString(),
                                          .dataDirEnv = u"rel/../data"_s,
                                          .exeFolder = QString(),
                                          .userDataFolder = u"/u"_s}),
                 QDir::current().filePath(u"data"_s));
    }

    void noProgramFolderMeansUserData()
    {
        QCOMPARE(chooseApplicationFolder({.dataDirOption = QString(),
                                          .dataDirEnv = QString(),
                                          .exeFolder = QString(),
                                          .userDataFolder = u"/data"_s}),
                 u"/data"_s);
    }

    void dataDirArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder");
        QTest::newRow("none") << QStringList{u"skyhaul"_s} << QString();
        QTest::newRow("separate value") << QStringList{u"skyhaul"_s, u"--data-dir"_s, u"/d"_s} << u"/d"_s;
        QTest::newRow("joined value") << QStringList{u"skyhaul"_s, u"--data-dir=/d e"_s} << u"/d e"_s;
        QTest::newRow("last wins") << QStringList{u"skyhaul"_s, u"--data-dir=/a"_s, u"--data-dir"_s, u"/b"_s}
                                   << u"/b"_s;
        QTest::newRow("no value") << QStringList{u"skyhaul"_s, u"--data-dir"_s} << QString();
        QTest::newRow("program name is no option") << QStringList{u"--data-dir=/x"_s} << QString();
    }
    void dataDirArgument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QCOMPARE(skyhaul::dataDirArgument(arguments), folder);
    }

    // This test program runs from the build folder, as scripts/start's program does: without the marker
    // or a folder named by the user, the data files go to the user's data folder (here the test-mode one),
    // never into the build folder that a rebuild deletes.
    void programInBuildFolderUsesUserData()
    {
        qunsetenv(DataDirVariable);
        const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(!userData.isEmpty());
        QCOMPARE(applicationFolder(), userData);
        QVERIFY(QDir(userData).exists());
        QVERIFY(applicationFolder() != QCoreApplication::applicationDirPath());
    }

    void environmentNamesTheFolder()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString wanted = root.filePath(u"skyhaul data"_s);
        qputenv(DataDirVariable, wanted.toLocal8Bit());
        const QString chosen = applicationFolder();
        qunsetenv(DataDirVariable);
        QCOMPARE(chosen, wanted);
        QVERIFY(QDir(wanted).exists()); // made when missing
    }
};

QTEST_GUILESS_MAIN(TestAppFolder)
#include "tst_appfolder.moc"
