// Kept modification times: a download takes the remote file's time (MDTM, or a time the caller knows from
// the listing), an upload gives the remote file the local one (MFMT). Real servers for what they offer, the
// scripted server for replies none of them sends.
#include "engine/component/ftpengine.h"
#include "tests/engine/enginerecorder.h"
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testfiles.h"
#include "tests/support/testhelpers.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul::test;
using namespace skyhaul::test::script;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)

namespace {

const QByteArray kTimeFeatures = "211-Features:\r\n MDTM\r\n MFMT\r\n SIZE\r\n211 End\r\n";
const QByteArray kNoFeatures = "502 No features\r\n";

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

QDateTime modified(const QString& path)
{
    return QFileInfo(path).lastModified().toUTC();
}

bool setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

/// A time the download itself gave the file: not one a server or a listing named.
bool isFresh(const QDateTime& time, const QDateTime& since)
{
    return time >= since.addSecs(-2) && time <= QDateTime::currentDateTimeUtc().addSecs(2);
}

/// The greeting and a logon of "u"/"p" whose FEAT is answered with `features`, then `rest`.
Script withFeatures(const QByteArray& features, const Script& rest)
{
    Script steps{send("220 Scripted ready\r\n"),
                 expect("USER u"),
                 reply("331 Password?"),
                 expect("PASS p"),
                 reply("230 Hi"),
                 expect("FEAT"),
                 send(features)};
    return steps + rest;
}

/// SIZE, PASV and RETR of `name`, the server sending `data` and "226".
Script retrieve(const QByteArray& name, const QByteArray& data)
{
    return {expect("SIZE " + name),
            reply("213 " + QByteArray::number(data.size())),
            expect("PASV"),
            pasv(),
            expect("RETR " + name),
            reply("150 Here"),
            acceptData(),
            sendData(data),
            closeData(),
            reply("226 Done")};
}

void pointAt(TFtpEngine& engine, const ScriptedServer& server)
{
    engine.setRemoteHost(server.host());
    engine.setRemotePort(server.port());
    engine.setSSLStartMode(sslNone);
    engine.setUser(u"u"_s);
    engine.setPassword(u"p"_s);
    engine.setOverwrite(true);
    engine.setTimeout(10); // a command the script does not expect fails in time
}

} // namespace

class TestFileTimes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void realServers_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("mdtm");
        QTest::addColumn<bool>("mfmt");
        const struct {
            ServerKind kind;
            bool mdtm;
            bool mfmt;
        } servers[] = {{ServerKind::Vsftpd, true, false},
                       {ServerKind::Proftpd, true, true},
                       {ServerKind::PureFtpd, true, true},
                       {ServerKind::Pyftpdlib, true, true}};
        for (const auto& s : servers) {
            QTest::newRow(qPrintable(FtpServer::kindName(s.kind) + u", times kept"_s))
                << s.kind << true << s.mdtm << s.mfmt;
            QTest::newRow(qPrintable(FtpServer::kindName(s.kind) + u", KeepFileTimes off"_s))
                << s.kind << false << s.mdtm << s.mfmt;
        }
    }

    // Download, resumed download and upload keep their times to the second where the server lists MDTM
    // and MFMT; with KeepFileTimes off neither side is touched.
    void realServers()
    {
        QFETCH(ServerKind, kind);
        QFETCH(bool, keep);
        QFETCH(bool, mdtm);
        QFETCH(bool, mfmt);
        FtpServer server({.kind = kind});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        QVERIFY(local.isValid());
        const QDateTime started = QDateTime::currentDateTimeUtc();

        TFtpEngine engine;
        engine.setRemoteHost(server.host());
        engine.setRemotePort(server.port());
        engine.setSSLStartMode(sslNone);
        engine.setUser(server.user());
        engine.setPassword(server.password());
        engine.setTransferMode(tmBinary);
        engine.setOverwrite(true);
        engine.setKeepFileTimes(keep);
        engine.Logon();
        QCOMPARE(engine.ServerFeatures().mdtm(), mdtm);
        QCOMPARE(engine.ServerFeatures().mfmt(), mfmt);

        // Download.
        const QByteArray content = patternBytes(100 * 1024 + 3, 5);
        const QDateTime remoteTime = utc(2021, 3, 4, 5, 6, 7);
        QVERIFY(server.putFile(u"old.bin"_s, content));
        QVERIFY(setModified(server.rootDir() + u"/old.bin"_s, remoteTime));
        const QString downloaded = local.filePath(u"old.bin"_s);
        engine.setRemoteFile(u"old.bin"_s);
        engine.setLocalFile(downloaded);
        engine.Download();
        QVERIFY(fileBytes(downloaded) == content);
        if (keep && mdtm)
            QCOMPARE(modified(downloaded), remoteTime);
        else
            QVERIFY2(isFresh(modified(downloaded), started), qPrintable(modified(downloaded).toString()));

        // A resumed download that completes gets the time too.
        const QString resumed = local.filePath(u"resumed.bin"_s);
        writeBytes(resumed, content.left(40000));
        engine.setLocalFile(resumed);
        engine.setStartByte(u"40000"_s);
        engine.Download();
        engine.setStartByte(QString());
        QVERIFY(fileBytes(resumed) == content);
        if (keep && mdtm)
            QCOMPARE(modified(resumed), remoteTime);
        else
            QVERIFY(isFresh(modified(resumed), started));

        // Upload.
        const QString uploaded = local.filePath(u"new.bin"_s);
        const QDateTime localTime = utc(2019, 2, 3, 4, 5, 6);
        writeBytes(uploaded, content);
        QVERIFY(setModified(uploaded, localTime));
        engine.setLocalFile(uploaded);
        engine.setRemoteFile(u"new.bin"_s);
        engine.Upload();
        QVERIFY(server.readFile(u"new.bin"_s) == content);
        const QDateTime remoteNow = modified(server.rootDir() + u"/new.bin"_s);
        if (keep && mfmt)
            QCOMPARE(remoteNow, localTime);
        else
            QVERIFY2(isFresh(remoteNow, started), qPrintable(remoteNow.toString()));
        QCOMPARE(modified(uploaded), localTime); // the upload leaves the local file alone
    }

    void downloadTimes_data()
    {
        QTest::addColumn<QByteArray>("features");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QDateTime>("listed"); // the time the caller knows; invalid for none
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QByteArray>("mdtmReply"); // empty: no MDTM may be sent
        QTest::addColumn<QDateTime>("expected");   // invalid: the file keeps the time of its download
        const QByteArray none;
        const QDateTime untouched;
        const QDateTime unknown;
        const QDateTime mdtmTime = utc(2021, 3, 4, 5, 6, 7);
        const QDateTime listTime = utc(2020, 1, 2, 3, 4, 0);
        const QByteArray f = kTimeFeatures;
        QTest::newRow("MDTM, whole seconds")
            << f << true << unknown << false << QByteArray("213 20210304050607") << mdtmTime;
        QTest::newRow("MDTM, milliseconds") << f << true << unknown << false
                                            << QByteArray("213 20210304050607.123") << mdtmTime.addMSecs(123);
        QTest::newRow("MDTM, tenths")
            << f << true << unknown << false << QByteArray("213 20210304050607.5") << mdtmTime.addMSecs(500);
        QTest::newRow("MDTM, microseconds cut to milliseconds")
            << f << true << unknown << false << QByteArray("213 20210304050607.123456")
            << mdtmTime.addMSecs(123);
        QTest::newRow("MDTM refused")
            << f << true << unknown << false << QByteArray("550 Not a plain file.") << untouched;
        QTest::newRow("MDTM not implemented")
            << f << true << unknown << false << QByteArray("502 Command not implemented.") << untouched;
        QTest::newRow("garbage: words")
            << f << true << unknown << false << QByteArray("213 yesterday") << untouched;
        QTest::newRow("garbage: separators")
            << f << true << unknown << false << QByteArray("213 2021-03-04 05:06:07") << untouched;
        QTest::newRow("garbage: five-digit year")
            << f << true << unknown << false << QByteArray("213 191210304050607") << untouched;
        QTest::newRow("garbage: month 13")
            << f << true << unknown << false << QByteArray("213 20211304050607") << untouched;
        QTest::newRow("garbage: 61st second")
            << f << true << unknown << false << QByteArray("213 20210304050661") << untouched;
        QTest::newRow("garbage: text after the time")
            << f << true << unknown << false << QByteArray("213 20210304050607 UTC") << untouched;
        QTest::newRow("garbage: empty fraction")
            << f << true << unknown << false << QByteArray("213 20210304050607.") << untouched;
        QTest::newRow("garbage: other code")
            << f << true << unknown << false << QByteArray("250 20210304050607") << untouched;
        QTest::newRow("no MDTM in FEAT") << kNoFeatures << true << unknown << false << none << untouched;
        QTest::newRow("exact listing time spares MDTM") << f << true << listTime << true << none << listTime;
        QTest::newRow("MDTM beats an inexact listing time")
            << f << true << listTime << false << QByteArray("213 20210304050607") << mdtmTime;
        QTest::newRow("inexact listing time without MDTM")
            << kNoFeatures << true << listTime << false << none << listTime;
        QTest::newRow("inexact listing time when MDTM is garbage")
            << f << true << listTime << false << QByteArray("213 yesterday") << listTime;
        QTest::newRow("KeepFileTimes off") << f << false << listTime << true << none << untouched;
    }

    // Which time a finished download gets, and what an MDTM reply must hold to give one.
    void downloadTimes()
    {
        QFETCH(QByteArray, features);
        QFETCH(bool, keep);
        QFETCH(QDateTime, listed);
        QFETCH(bool, exact);
        QFETCH(QByteArray, mdtmReply);
        QFETCH(QDateTime, expected);
        Script steps = retrieve("f", "0123456789");
        if (!mdtmReply.isEmpty())
            steps << expect("MDTM f") << reply(mdtmReply);
        ScriptedServer server(withFeatures(features, steps));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        QVERIFY(local.isValid());
        const QString path = local.filePath(u"f"_s);
        const QDateTime started = QDateTime::currentDateTimeUtc();

        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setKeepFileTimes(keep);
        engine.Logon();
        engine.setRemoteFile(u"f"_s);
        engine.setLocalFile(path);
        if (listed.isValid())
            engine.setKnownFileTime(u"f"_s, listed, exact);
        QCOMPARE(failureOf([&] { engine.Download(); }), std::make_pair(-1, QString()));
        QCOMPARE(fileBytes(path), QByteArray("0123456789"));
        if (expected.isValid())
            QCOMPARE(modified(path), expected);
        else
            QVERIFY2(isFresh(modified(path), started),
                     qPrintable(modified(path).toString(Qt::ISODateWithMs)));
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
        QCOMPARE(rec.commands.filter(u"MDTM"_s).size(), mdtmReply.isEmpty() ? 0 : 1);
    }

    void knownTimeIsForOneFileAndOneMethod_data()
    {
        QTest::addColumn<QString>("knownFor");
        QTest::addColumn<bool>("methodBetween");
        QTest::newRow("handed for another file") << u"g"_s << false;
        QTest::newRow("cleared by the next method") << u"f"_s << true;
    }

    // A listing time stands for the file it was handed for, in the next method only.
    void knownTimeIsForOneFileAndOneMethod()
    {
        QFETCH(QString, knownFor);
        QFETCH(bool, methodBetween);
        Script steps;
        if (methodBetween)
            steps << expect("NOOP") << reply("200 ok");
        ScriptedServer server(withFeatures(kNoFeatures, steps + retrieve("f", "0123456789")));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        QVERIFY(local.isValid());
        const QDateTime started = QDateTime::currentDateTimeUtc();
        TFtpEngine engine;
        pointAt(engine, server);
        engine.Logon();
        engine.setRemoteFile(u"f"_s);
        engine.setLocalFile(local.filePath(u"f"_s));
        engine.setKnownFileTime(knownFor, utc(2020, 1, 2, 3, 4, 5), true);
        if (methodBetween)
            engine.setCommand(u"NOOP"_s);
        engine.Download();
        QVERIFY(isFresh(modified(local.filePath(u"f"_s)), started));
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
    }

    void brokenDownloadKeepsNoTime_data()
    {
        QTest::addColumn<bool>("interrupt");
        QTest::newRow("426 after part of the file") << false;
        QTest::newRow("interrupted") << true;
    }

    // A download that does not finish gets no time, neither MDTM's nor a known exact one; the whole file
    // before it on the same connection did.
    void brokenDownloadKeepsNoTime()
    {
        QFETCH(bool, interrupt);
        Script steps = retrieve("f", "0123456789");
        steps << expect("MDTM f") << reply("213 20210304050607");
        steps << expect("SIZE g") << reply("213 100000") << expect("PASV") << pasv() << expect("RETR g")
              << reply("150 Here") << acceptData();
        if (interrupt)
            steps << sendData(QByteArray(1000, 'g'), 100, 200) << closeData();
        else
            steps << sendData("01234") << closeData() << reply("426 Transfer aborted.");
        ScriptedServer server(withFeatures(kTimeFeatures, steps));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        QVERIFY(local.isValid());
        const QDateTime started = QDateTime::currentDateTimeUtc();

        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.Logon();
        engine.setRemoteFile(u"f"_s);
        engine.setLocalFile(local.filePath(u"f"_s));
        engine.Download();
        QCOMPARE(modified(local.filePath(u"f"_s)), utc(2021, 3, 4, 5, 6, 7));

        const QString partial = local.filePath(u"g"_s);
        engine.setRemoteFile(u"g"_s);
        engine.setLocalFile(partial);
        engine.setKnownFileTime(u"g"_s, utc(2020, 1, 2, 3, 4, 5), true);
        if (interrupt)
            engine.OnTransfer = [&engine](int, qint64, int, const QByteArray&) { engine.Interrupt(); };
        const int code = failureOf([&] { engine.Download(); }).first;
        QCOMPARE(code, interrupt ? 301 : 141);
        QVERIFY(QFileInfo::exists(partial)); // kept for a resume
        QVERIFY2(isFresh(modified(partial), started), qPrintable(modified(partial).toString()));
        QCOMPARE(rec.commands.filter(u"MDTM"_s), QStringList{u"MDTM f"_s});
    }

    void uploadTimes_data()
    {
        QTest::addColumn<QByteArray>("features");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QByteArray>("mfmtReply"); // empty: no MFMT may be sent
        QTest::newRow("MFMT accepted")
            << kTimeFeatures << true << QByteArray("213 Modify=20190203040506; up");
        QTest::newRow("MFMT refused") << kTimeFeatures << true << QByteArray("550 Permission denied.");
        QTest::newRow("MFMT not implemented") << kTimeFeatures << true << QByteArray("502 Not implemented.");
        QTest::newRow("MFMT answered with garbage") << kTimeFeatures << true << QByteArray("hello");
        QTest::newRow("no MFMT in FEAT") << kNoFeatures << true << QByteArray();
        QTest::newRow("KeepFileTimes off") << kTimeFeatures << false << QByteArray();
    }

    // An upload gives the remote file the local file's time in whole seconds (UTC); whatever the server
    // answers to MFMT, the upload has succeeded.
    void uploadTimes()
    {
        QFETCH(QByteArray, features);
        QFETCH(bool, keep);
        QFETCH(QByteArray, mfmtReply);
        Script steps{expect("PASV"), pasv(),        expect("STOR up"),  reply("150 Go"),
                     acceptData(),   receiveData(), reply("226 Stored")};
        if (!mfmtReply.isEmpty())
            steps << expect("MFMT 20190203040506 up") << reply(mfmtReply);
        ScriptedServer server(withFeatures(features, steps));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        QVERIFY(local.isValid());
        const QString path = local.filePath(u"up"_s);
        writeBytes(path, "0123456789");
        QVERIFY(setModified(path, utc(2019, 2, 3, 4, 5, 6, 789)));

        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setKeepFileTimes(keep);
        engine.Logon();
        engine.setRemoteFile(u"up"_s);
        engine.setLocalFile(path);
        QCOMPARE(failureOf([&] { engine.Upload(); }), std::make_pair(-1, QString()));
        QVERIFY(server.waitForFinished(5000));
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(u'\n')));
        QCOMPARE(server.received(), QList<QByteArray>{"0123456789"});
        QCOMPARE(rec.commands.filter(u"MFMT"_s).size(), mfmtReply.isEmpty() ? 0 : 1);
        QVERIFY(engine.Connected());
    }
};

QTEST_MAIN(TestFileTimes)
#include "tst_filetimes.moc"
