// Machine listings (MLSD) where the server offers MLST, LIST where it does not or MLSD is turned off, and
// "LIST -a" for hidden files: against the real servers, plain and over explicit TLS, and against the
// scripted server for replies no real server sends.
#include "engine/component/ftpengine.h"
#include "engine/listing/mlsdparser.h"
#include "tests/engine/enginerecorder.h"
#include "tests/engine/scriptedsession.h"
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace skyhaul::test;
using namespace skyhaul::test::script;

namespace {

/// One listing event as "name|d or f|size|time".
QString eventText(const QString& name, bool isDir, qint64 size, const QString& time)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(name, isDir ? QStringLiteral("d") : QStringLiteral("f"))
        .arg(size)
        .arg(time);
}

/// Keeps every listing event whole, beside what the EngineRecorder keeps.
struct ListingEvents {
    QStringList events;     ///< eventText() of each
    QStringList dirEntries; ///< the DirEntry of each
    QMap<QString, QString> times;

    void attach(TFtpEngine& engine)
    {
        engine.OnDirList = [this](const QString& dirEntry, const QString& name, bool isDir, qint64 size,
                                  const QString& time) {
            events << eventText(name, isDir, size, time);
            dirEntries << dirEntry;
            times.insert(name, time);
        };
    }
};

const QByteArray kFeaturesWithMlst = "211-Features:\r\n MLST type*;size*;modify*;perm*;unix.mode*;\r\n"
                                     " SIZE\r\n211 End\r\n";
const QByteArray kNoFeatures = "502 No features\r\n";

/// The logon with FEAT answered by @p features, one listing by @p command of @p data.
Script listingScript(const QByteArray& features, const QByteArray& command, const QByteArray& data)
{
    return {send("220 Scripted ready\r\n"),
            expect("USER u"),
            reply("331 Password?"),
            expect("PASS p"),
            reply("230 Hi"),
            expect("FEAT"),
            send(features),
            expect("PASV"),
            pasv(),
            expect(command),
            reply("150 Here"),
            acceptData(),
            sendData(data, 5),
            closeData(),
            reply("226 Done")};
}

/// The files each real-server row lists, with the modification times the test gives them.
struct ListedFile {
    QString name;
    QByteArray content; ///< empty for the folder
    bool isDir;
    QDateTime modified;
};

QList<ListedFile> listedFiles()
{
    const auto at = [](int year, int month, int day, int h, int m, int s) {
        return QDateTime(QDate(year, month, day), QTime(h, m, s), Qt::UTC);
    };
    return {
        {QStringLiteral("plain.txt"), "hello", false, at(2021, 3, 4, 5, 6, 7)},
        {QStringLiteral("sub"), {}, true, at(2019, 12, 31, 23, 59, 58)},
        {QStringLiteral(".hidden"), "ab", false, at(2024, 2, 29, 12, 0, 0)},
        {QStringLiteral("two  inner blanks.txt"), "xyz", false, at(2010, 7, 1, 0, 0, 1)},
        {QStringLiteral(" leading blank.txt"), "1234", false, at(2025, 11, 30, 18, 45, 30)},
    };
}

bool setModified(const QString& path, const QDateTime& when)
{
    // Folders too, which QFile cannot open to set their time.
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time_t(when.toSecsSinceEpoch());
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)
Q_DECLARE_METATYPE(skyhaul::test::TlsMode)

class TestMlsd : public QObject {
    Q_OBJECT

    TFtpEngine* logOn(TFtpEngine& engine, const FtpServer& server, TlsMode tls)
    {
        engine.OnSSLServerAuthentication = [](const QByteArray&, const QString&, const QString&,
                                              const QString&, bool& accept) { accept = true; };
        engine.setRemoteHost(server.host());
        engine.setRemotePort(server.port());
        engine.setSSLStartMode(tls == TlsMode::None ? sslNone : sslExplicit);
        engine.setUser(server.user());
        engine.setPassword(server.password());
        engine.setPassive(true);
        engine.Logon();
        return &engine;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestCertificates::instance().isValid(),
                 qPrintable(TestCertificates::instance().errorString()));
    }

    void scripted_data()
    {
        QTest::addColumn<QByteArray>("features");
        QTest::addColumn<bool>("useMlsd");
        QTest::addColumn<bool>("listHidden");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("errors");

        const QByteArray list = "-rw-r--r-- 1 a b 3 Jan 1 2020 .dot\r\n-rw-r--r-- 1 a b 4 Jan 2 2020 x\r\n";
        const QStringList listed{eventText(QStringLiteral(".dot"), false, 3, QStringLiteral("Jan 1 2020")),
                                 eventText(QStringLiteral("x"), false, 4, QStringLiteral("Jan 2 2020"))};

        QTest::newRow("MLST offered: MLSD, facts in any case, cdir and pdir dropped")
            << kFeaturesWithMlst << true << false << QByteArray("MLSD")
            << QByteArray("type=cdir;modify=20260101000000; /home/u\r\n"
                          "Type=PDIR;modify=20260101000000; ..\r\n"
                          "TYPE=Dir;SIZD=4096;MODIFY=20260102030405; sub\r\n"
                          "type=file;size=12;modify=20250630235959.5; .profile\r\n"
                          "size=5;type=FILE;  leading and  inner\r\n"
                          "type=file; no size\r\n"
                          "modify=20200101000000;size=9; no type\r\n"
                          "type=OS.unix=slink:/target;size=7; link\n"
                          "type=file;size=1; last without end")
            << QStringList{eventText(QStringLiteral("sub"), true, 4096, QStringLiteral("20260102030405")),
                           eventText(QStringLiteral(".profile"), false, 12,
                                     QStringLiteral("20250630235959.5")),
                           eventText(QStringLiteral(" leading and  inner"), false, 5, QString()),
                           eventText(QStringLiteral("no size"), false, 0, QString()),
                           eventText(QStringLiteral("no type"), false, 9, QStringLiteral("20200101000000")),
                           eventText(QStringLiteral("link -> /target"), false, 7, QString()),
                           eventText(QStringLiteral("last without end"), false, 1, QString())}
            << QStringList();
        QTest::newRow("hostile MLSD lines left out")
            << kFeaturesWithMlst << true << false << QByteArray("MLSD")
            << QByteArrayLiteral("type=file;size=1; ../../etc/passwd\r\n"
                                 "type=file;size=1; /etc/passwd\r\n"
                                 "type=dir; .\r\n"
                                 "type=dir; ..\r\n"
                                 "type=dir; a/b\r\n"
                                 "-rw-r--r-- 1 a b 3 Jan 1 2020 a LIST line\r\n"
                                 " no facts\r\n"
                                 "type=file;size=1 no blank after the facts\r\n"
                                 "type=file;size=1;\r\n"
                                 "type=file;size=1; evil\0.jpg\r\n"
                                 "\r\n"
                                 "type=file;size=2; good\r\n")
            << QStringList{eventText(QStringLiteral("good"), false, 2, QString())}
            << QStringList{QStringLiteral(
                   "error 141 Protocol error: a listing line holds a NUL byte; it is left out.")};
        QTest::newRow("an MLSD line longer than the buffer is left out whole")
            << kFeaturesWithMlst << true << false << QByteArray("MLSD")
            << (QByteArray("type=file;size=1; ") + QByteArray(2100, 'n') + "\r\n" +
                QByteArray("type=file;size=1; ") + QByteArray(2048 - 18, 'm') + "\r\n" +
                "type=file;size=3; after\r\n")
            << QStringList{eventText(QStringLiteral("after"), false, 3, QString())} << QStringList();
        QTest::newRow("MLSD turned off: LIST")
            << kFeaturesWithMlst << false << false << QByteArray("LIST") << list << listed << QStringList();
        QTest::newRow("no MLST: LIST")
            << kNoFeatures << true << false << QByteArray("LIST") << list << listed << QStringList();
        QTest::newRow("hidden files: LIST -a")
            << kNoFeatures << true << true << QByteArray("LIST -a") << list << listed << QStringList();
        QTest::newRow("hidden files with MLSD turned off: LIST -a")
            << kFeaturesWithMlst << false << true << QByteArray("LIST -a") << list << listed << QStringList();
        QTest::newRow("hidden files with MLSD: MLSD as it is")
            << kFeaturesWithMlst << true << true << QByteArray("MLSD")
            << QByteArray("type=file;size=1; .dot\r\n")
            << QStringList{eventText(QStringLiteral(".dot"), false, 1, QString())} << QStringList();
    }

    void scripted()
    {
        QFETCH(QByteArray, features);
        QFETCH(bool, useMlsd);
        QFETCH(bool, listHidden);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, data);
        ScriptedServer server(listingScript(features, command, data));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        ListingEvents listing;
        listing.attach(engine);
        pointAt(engine, server);
        engine.setUseMLSD(useMlsd);
        engine.setListHidden(listHidden);
        const auto failure = failureOf([&] { engine.ListDirectory(); });
        QVERIFY2(failure.first == -1, qPrintable(failure.second));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
        QTEST(listing.events, "events");
        QTEST(rec.events.filter(QRegularExpression(QStringLiteral("^error "))), "errors");
    }

    // The event of an MLSD entry carries a long listing line made of its facts, so that the columns are
    // read from it as from a LIST line.
    void mlsdEventCarriesALongListingLine()
    {
        ScriptedServer server(listingScript(
            kFeaturesWithMlst, "MLSD",
            "type=file;size=42;modify=20260102030405;UNIX.mode=0640;UNIX.owner=1000;UNIX.ownername=ann;"
            "UNIX.groupname=staff; my file.txt\r\n"));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        ListingEvents listing;
        listing.attach(engine);
        pointAt(engine, server);
        const auto failure = failureOf([&] { engine.ListDirectory(); });
        QVERIFY2(failure.first == -1, qPrintable(failure.second));
        const QString date = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC)
                                 .toLocalTime()
                                 .toString(QStringLiteral("MMM d yyyy"));
        QCOMPARE(listing.dirEntries, QStringList{QStringLiteral("-rw-r----- 1 ann staff 42 ") + date +
                                                 QStringLiteral(" my file.txt")});
    }

    void servers_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TlsMode>("tls");
        for (ServerKind kind : {ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (TlsMode tls : {TlsMode::None, TlsMode::Explicit}) {
                const QString name = FtpServer::kindName(kind) + QLatin1Char(' ') + FtpServer::tlsName(tls);
                QTest::newRow(qPrintable(name)) << kind << tls;
            }
        }
    }

    // A folder holding a file, a sub-folder, a dot file and names with inner and leading blanks, listed
    // with MLSD: names exact, sizes, folder flags and the modification times the files were given.
    void servers()
    {
        QFETCH(ServerKind, kind);
        QFETCH(TlsMode, tls);
        FtpServer server({.kind = kind, .tls = tls, .requireTls = tls == TlsMode::Explicit});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QList<ListedFile> files = listedFiles();
        for (const ListedFile& file : files) {
            const QString path = QStringLiteral("listed/") + file.name;
            QVERIFY(file.isDir ? server.makeDir(path) : server.putFile(path, file.content));
        }
        for (const ListedFile& file : files)
            QVERIFY(setModified(server.rootDir() + QStringLiteral("/listed/") + file.name, file.modified));

        TFtpEngine engine;
        EngineRecorder rec(engine);
        ListingEvents listing;
        listing.attach(engine);
        try {
            logOn(engine, server, tls);
            QVERIFY(engine.ServerFeatures().mlst());
            engine.setRemotePath(QStringLiteral("/listed"));
            rec.commands.clear();
            engine.ListDirectory();
        } catch (const EFtpEngine& e) {
            QFAIL(qPrintable(e.Message()));
        }
        QVERIFY2(rec.commands.contains(QStringLiteral("MLSD")), qPrintable(rec.commands.join(u'|')));

        QStringList expected;
        for (const ListedFile& file : files) {
            expected << eventText(file.name, file.isDir, file.isDir ? -1 : file.content.size(),
                                  listing.times.value(file.name));
        }
        // A folder's size is whatever the server says (sizd, or none).
        QStringList got = listing.events;
        for (QString& event : got) {
            if (event.section(u'|', 1, 1) == QLatin1String("d"))
                event = event.section(u'|', 0, 1) + QStringLiteral("|-1|") + event.section(u'|', 3);
        }
        got.sort();
        expected.sort();
        QCOMPARE(got, expected);
        // Every server's facts fill the attribute and owner columns (pyftpdlib sends unix.mode, unix.uid
        // and unix.gid only when asked with OPTS MLST).
        for (const QString& entry : listing.dirEntries) {
            const QStringList fields = entry.split(u' ', Qt::SkipEmptyParts);
            const QString unknown = QStringLiteral("?");
            QVERIFY2(fields.size() > 4 && !fields[0].contains(unknown) && fields[2] != unknown &&
                         fields[3] != unknown,
                     qPrintable(entry));
        }
        for (const ListedFile& file : files) {
            const QDateTime modified =
                skyhaul::engine::parseMlsdTime(listing.times.value(file.name).toLatin1());
            QVERIFY2(modified.isValid(), qPrintable(file.name));
            QCOMPARE(modified.toSecsSinceEpoch(), file.modified.toSecsSinceEpoch());
        }
    }

    void hiddenFiles_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<bool>("listHidden");
        QTest::addColumn<bool>("dotFileListed");
        // vsftpd, proftpd and pure-ftpd leave dot files out of a plain LIST; pyftpdlib shows them always.
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (bool hidden : {false, true}) {
                const QString name = FtpServer::kindName(kind) +
                                     (hidden ? QStringLiteral(" LIST -a") : QStringLiteral(" LIST"));
                QTest::newRow(qPrintable(name))
                    << kind << hidden << (hidden || kind == ServerKind::Pyftpdlib);
            }
        }
    }

    // With MLSD turned off, LIST shows dot files where the server shows them, "LIST -a" everywhere.
    void hiddenFiles()
    {
        QFETCH(ServerKind, kind);
        QFETCH(bool, listHidden);
        FtpServer server({.kind = kind});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(QStringLiteral("h/.dot"), "."));
        QVERIFY(server.putFile(QStringLiteral("h/seen"), "s"));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        try {
            logOn(engine, server, TlsMode::None);
            engine.setUseMLSD(false);
            engine.setListHidden(listHidden);
            engine.setRemotePath(QStringLiteral("/h"));
            engine.ListDirectory();
        } catch (const EFtpEngine& e) {
            QFAIL(qPrintable(e.Message()));
        }
        QVERIFY2(rec.commands.contains(listHidden ? QStringLiteral("LIST -a") : QStringLiteral("LIST")),
                 qPrintable(rec.commands.join(u'|')));
        QVERIFY2(rec.names.contains(QStringLiteral("seen")), qPrintable(rec.names.join(u'|')));
        QFETCH(bool, dotFileListed);
        QVERIFY2(rec.names.contains(QStringLiteral(".dot")) == dotFileListed,
                 qPrintable(rec.names.join(u'|')));
    }

    // vsftpd offers no MLST: it is listed with LIST whatever the choice.
    void serverWithoutMlstIsListedWithList()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(QStringLiteral("v/file.txt"), "abc"));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        try {
            logOn(engine, server, TlsMode::None);
            QVERIFY(!engine.ServerFeatures().mlst());
            engine.setRemotePath(QStringLiteral("/v"));
            engine.ListDirectory();
        } catch (const EFtpEngine& e) {
            QFAIL(qPrintable(e.Message()));
        }
        QVERIFY2(rec.commands.contains(QStringLiteral("LIST")), qPrintable(rec.commands.join(u'|')));
        QCOMPARE(rec.names, QStringList{QStringLiteral("file.txt")});
    }
};

QTEST_GUILESS_MAIN(TestMlsd)
#include "tst_mlsd.moc"
