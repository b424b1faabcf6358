// Downloads, uploads, resumes and listings against the four real servers, passive and active.
#include "engine/component/ftpengine.h"
#include "tests/engine/enginerecorder.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"
#include "tests/support/testhelpers.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)
Q_DECLARE_METATYPE(skyhaul::test::TlsMode)

namespace {

QByteArray readLocal(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeLocal(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

/// The size the server reports, through a raw SIZE.
qint64 remoteSize(TFtpEngine& engine, const QString& name)
{
    engine.setCommand(QStringLiteral("SIZE ") + name);
    return engine.LastReply().mid(4).trimmed().toLongLong();
}

} // namespace

class TestTransfers : public QObject {
    Q_OBJECT

    std::unique_ptr<FtpServer> m_server;
    QTemporaryDir m_local;

    void logOn(TFtpEngine& engine, bool passive)
    {
        engine.setRemoteHost(m_server->host());
        engine.setRemotePort(m_server->port());
        engine.setSSLStartMode(sslNone);
        engine.setUser(m_server->user());
        engine.setPassword(m_server->password());
        engine.setPassive(passive);
        engine.setTransferMode(tmBinary);
        engine.Logon();
    }

    QString local(const QString& name) const { return m_local.filePath(name); }

private Q_SLOTS:
    void transfers_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<bool>("passive");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (bool passive : {true, false}) {
                const QString name = FtpServer::kindName(kind) +
                                     (passive ? QStringLiteral(" passive") : QStringLiteral(" active"));
                QTest::newRow(qPrintable(name)) << kind << passive;
            }
        }
    }

    void transfers()
    {
        QFETCH(ServerKind, kind);
        QFETCH(bool, passive);
        m_server = std::make_unique<FtpServer>(FtpServerOptions{.kind = kind});
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        logOn(engine, passive);
        engine.setOverwrite(true);

        // Upload, then download again, byte for byte: empty, one byte, several megabytes.
        const QList<QByteArray> contents{QByteArray(), QByteArray("x"),
                                         patternBytes(5 * 1024 * 1024 + 17, 1)};
        for (int i = 0; i < contents.size(); ++i) {
            const QString name = QStringLiteral("file %1.bin").arg(i);
            QVERIFY(writeLocal(local(name), contents[i]));
            engine.setLocalFile(local(name));
            engine.setRemoteFile(name);
            rec.clear();
            engine.Upload();
            QCOMPARE(m_server->readFile(name).size(), contents[i].size());
            QVERIFY(m_server->readFile(name) == contents[i]);
            QCOMPARE(rec.shape().filter(QRegularExpression(QStringLiteral("^(start|end)"))),
                     QStringList({QStringLiteral("start 0"), QStringLiteral("end 0")}));
            QCOMPARE(rec.transferEvents > 0, !contents[i].isEmpty());

            const QString back = local(name + QStringLiteral(".back"));
            engine.setLocalFile(back);
            engine.Download();
            QVERIFY(readLocal(back) == contents[i]);
        }

        // The reference order of a download with a restart offset of 0 (without the MDTM of kept times).
        engine.setKeepFileTimes(false);
        engine.setRemoteFile(QStringLiteral("file 2.bin"));
        engine.setLocalFile(local(QStringLiteral("ordered.bin")));
        engine.setStartByte(QStringLiteral("0"));
        rec.clear();
        engine.Download();
        engine.setStartByte(QString());
        // Passive goes by EPSV where the server lists it in FEAT (every server here does), by PASV otherwise.
        const QString dataCommand = !passive                         ? QStringLiteral("PORT")
                                    : engine.ServerFeatures().epsv() ? QStringLiteral("EPSV")
                                                                     : QStringLiteral("PASV");
        QCOMPARE(rec.commands.size(), 4);
        QCOMPARE(rec.commands[0], QStringLiteral("SIZE file 2.bin"));
        QCOMPARE(rec.commands[1].section(QLatin1Char(' '), 0, 0), dataCommand);
        QCOMPARE(rec.commands[2], QStringLiteral("REST 0"));
        QCOMPARE(rec.commands[3], QStringLiteral("RETR file 2.bin"));
        const QStringList shape = rec.shape();
        const qsizetype retr = shape.indexOf(QStringLiteral("command RETR"));
        const qsizetype start = shape.indexOf(QStringLiteral("start 1"));
        const qsizetype firstTransfer = shape.indexOf(QStringLiteral("transfer 1"));
        const qsizetype end = shape.indexOf(QStringLiteral("end 1"));
        QVERIFY(start >= 0 && firstTransfer > start && end > shape.lastIndexOf(QStringLiteral("transfer 1")));
        // The first reply after RETR is the preliminary one.
        QVERIFY(retr >= 0);
        const QStringList afterRetr = shape.mid(retr).filter(QRegularExpression(QStringLiteral("^reply")));
        QVERIFY(!afterRetr.isEmpty() && afterRetr.first().startsWith(QLatin1String("reply 1")));
        QVERIFY(shape.filter(QRegularExpression(QStringLiteral("^reply")))
                    .last()
                    .startsWith(QLatin1String("reply 2")));
        QCOMPARE(rec.lastBytes, contents[2].size());
        QCOMPARE(rec.lastPercent, 100);
        QVERIFY(readLocal(local(QStringLiteral("ordered.bin"))) == contents[2]);

        // Resume of an interrupted download.
        const QByteArray big = patternBytes(12 * 1024 * 1024, 2);
        QVERIFY(m_server->putFile(QStringLiteral("big.bin"), big));
        engine.setRemoteFile(QStringLiteral("big.bin"));
        engine.setLocalFile(local(QStringLiteral("big.bin")));
        rec.transferHook = [&](int, qint64 bytes) {
            if (bytes >= 1024 * 1024)
                engine.Interrupt();
        };
        QCOMPARE(failureOf([&] { engine.Download(); }).first, 301);
        rec.transferHook = nullptr;
        QVERIFY(engine.Connected());
        const qint64 partial = QFileInfo(local(QStringLiteral("big.bin"))).size();
        QVERIFY2(partial >= 1024 * 1024 && partial < big.size(), qPrintable(QString::number(partial)));
        engine.setStartByte(QString::number(partial));
        engine.Download();
        engine.setStartByte(QString());
        QVERIFY(readLocal(local(QStringLiteral("big.bin"))) == big);

        // Resume of an interrupted upload: the server tells how much it kept.
        QVERIFY(writeLocal(local(QStringLiteral("up.bin")), big));
        engine.setLocalFile(local(QStringLiteral("up.bin")));
        engine.setRemoteFile(QStringLiteral("up.bin"));
        rec.transferHook = [&](int, qint64 bytes) {
            if (bytes >= 1024 * 1024)
                engine.Interrupt();
        };
        QCOMPARE(failureOf([&] { engine.Upload(); }).first, 301);
        rec.transferHook = nullptr;
        const qint64 kept = remoteSize(engine, QStringLiteral("up.bin"));
        QVERIFY2(kept < big.size(), qPrintable(QString::number(kept)));
        engine.setStartByte(QString::number(kept));
        rec.clear();
        engine.Upload();
        engine.setStartByte(QString());
        QVERIFY2(rec.commands.contains(QStringLiteral("REST %1").arg(kept)),
                 qPrintable(rec.commands.join(u'|')));
        QCOMPARE(m_server->readFile(QStringLiteral("up.bin")).size(), big.size());
        QVERIFY(m_server->readFile(QStringLiteral("up.bin")) == big);

        // A listing whose names hold blanks.
        QVERIFY(m_server->makeDir(QStringLiteral("folder with blanks")));
        QVERIFY(m_server->putFile(QStringLiteral("two  blanks here.txt"), "abc"));
        rec.clear();
        engine.setRemoteFile(QString());
        engine.ListDirectory();
        QVERIFY2(rec.names.contains(QStringLiteral("two  blanks here.txt")),
                 qPrintable(rec.names.join(u'|')));
        QVERIFY(rec.dirs.contains(QStringLiteral("folder with blanks")));
        QVERIFY(rec.names.contains(QStringLiteral("file 2.bin")));
        QCOMPARE(rec.sizes.at(rec.names.indexOf(QStringLiteral("file 2.bin"))), contents[2].size());
        QCOMPARE(rec.transferEvents, 0);
        QCOMPARE(rec.shape().filter(QRegularExpression(QStringLiteral("^(start|end)"))),
                 QStringList({QStringLiteral("start 1"), QStringLiteral("end 1")}));
        m_server.reset();
    }

    void downloadToEventsWithoutALocalFile()
    {
        m_server = std::make_unique<FtpServer>(FtpServerOptions{.kind = ServerKind::Vsftpd});
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
        const QByteArray content = patternBytes(300000, 3);
        QVERIFY(m_server->putFile(QStringLiteral("mem.bin"), content));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        logOn(engine, true);
        engine.setRemoteFile(QStringLiteral("mem.bin"));
        engine.setLocalFile(QString());
        engine.Download();
        QVERIFY(rec.received == content);
        m_server.reset();
    }

    void localFileFailuresFailTheDownload_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("code");
        // A file that cannot be created; and a full disk (/dev/full behind the name) met by a block written
        // at once, or only when the file's buffer goes out as it is closed.
        QTest::newRow("cannot be created") << u"no such folder/a.bin"_s << 300000 << 4;
        QTest::newRow("disk full, large blocks") << u"full.bin"_s << 300000 << 7;
        QTest::newRow("disk full, one small block") << u"full.bin"_s << 1000 << 7;
    }

    void localFileFailuresFailTheDownload()
    {
        QFETCH(QString, target);
        QFETCH(int, size);
        QFETCH(int, code);
        m_server = std::make_unique<FtpServer>(FtpServerOptions{.kind = ServerKind::Vsftpd});
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
        const QByteArray content = patternBytes(size, 4);
        QVERIFY(m_server->putFile(u"a.bin"_s, content));
        const QString path = local(target);
        QFile::remove(path);
        if (target == u"full.bin"_s)
            QVERIFY(QFile::link(u"/dev/full"_s, path));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        logOn(engine, true);
        engine.setRemoteFile(u"a.bin"_s);
        engine.setLocalFile(path);
        engine.setOverwrite(true);
        // The server sent everything and said so; the method still fails with the local failure.
        QCOMPARE(failureOf([&] { engine.Download(); }).first, code);
        QVERIFY(rec.errors.contains(code));
        QFile::remove(path);

        // The session stays in step: the next download into a good file arrives whole.
        const QString good = local(u"good.bin"_s);
        engine.setLocalFile(good);
        QCOMPARE(failureOf([&] { engine.Download(); }).first, -1);
        QCOMPARE(readLocal(good), content);
        m_server.reset();
    }

    void uploadOfAFileThatEndsEarly_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TlsMode>("tls");
        QTest::addColumn<bool>("gone");        ///< the file goes before the data connection is up
        QTest::addColumn<bool>("serverTells"); ///< the server can tell a broken-off upload from a whole one
        for (ServerKind kind : {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd})
            QTest::newRow(qPrintable(FtpServer::kindName(kind))) << kind << TlsMode::None << false << true;
        // pyftpdlib takes every end of an upload's data connection, a reset too, for the end of the file.
        QTest::newRow("pyftpdlib") << ServerKind::Pyftpdlib << TlsMode::None << false << false;
        // Under TLS our close-notify goes out before the reset. It is lost with the data still queued, and
        // the server answers 426 or 451; but a server that has read everything already takes the part for the
        // whole. A reset without it would end the whole session on vsftpd and pure-ftpd.
        QTest::newRow("vsftpd explicit TLS") << ServerKind::Vsftpd << TlsMode::Explicit << false << false;
        QTest::newRow("pure-ftpd explicit TLS")
            << ServerKind::PureFtpd << TlsMode::Explicit << false << false;
        QTest::newRow("vsftpd, the file gone") << ServerKind::Vsftpd << TlsMode::None << true << true;
        QTest::newRow("proftpd, the file gone") << ServerKind::Proftpd << TlsMode::None << true << true;
    }

    // Another program cuts the local file while it goes up (or removes it before its data flows): the
    // upload fails with 144 (or 3), and its data connection is broken off instead of ended, so the server
    // does not take the short (or empty) file for the whole one.
    void uploadOfAFileThatEndsEarly()
    {
        QFETCH(ServerKind, kind);
        QFETCH(TlsMode, tls);
        QFETCH(bool, gone);
        QFETCH(bool, serverTells);
        m_server = std::make_unique<FtpServer>(
            FtpServerOptions{.kind = kind, .tls = tls, .requireTls = tls != TlsMode::None});
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        engine.OnSSLServerAuthentication = [](const QByteArray&, const QString&, const QString&,
                                              const QString&, bool& accept) { accept = true; };
        engine.setRemoteHost(m_server->host());
        engine.setRemotePort(m_server->port());
        engine.setSSLStartMode(tls == TlsMode::None ? sslNone : sslExplicit);
        engine.setUser(m_server->user());
        engine.setPassword(m_server->password());
        engine.setTransferMode(tmBinary);
        engine.Logon();

        const QString path = local(QStringLiteral("shrinks.bin"));
        QVERIFY(writeLocal(path, patternBytes(8 * 1024 * 1024, 6)));
        const qint64 cutTo = 300000; // within the second block the engine reads
        rec.transferHook = [&](int, qint64) {
            if (QFileInfo(path).size() > cutTo)
                QVERIFY(QFile::resize(path, cutTo));
        };
        if (gone) {
            // Once the upload has found the file, before the data connection opens.
            auto trail = engine.OnPITrail;
            engine.OnPITrail = [&, trail](int direction, const QString& message) {
                trail(direction, message);
                if (direction == 0 && (message == u"PASV"_s || message == u"EPSV"_s))
                    QVERIFY(QFile::remove(path));
            };
        }
        engine.setLocalFile(path);
        engine.setRemoteFile(QStringLiteral("shrinks.bin"));
        const auto failure = failureOf([&] { engine.Upload(); });
        rec.transferHook = nullptr;
        const int code = gone ? 3 : 144;
        QCOMPARE(failure.first, code);
        QCOMPARE(failure.second,
                 gone ? u"3: Error opening local file."_s : u"144: Error reading from local file."_s);
        QCOMPARE(rec.errors.count(code), 1);
        // The server's final answer to STOR is no success.
        const QStringList shape = rec.shape();
        const QStringList afterStor =
            shape.mid(shape.indexOf(QStringLiteral("command STOR"))).filter(QRegularExpression(u"^reply"_s));
        QVERIFY(!afterStor.isEmpty());
        if (serverTells)
            QVERIFY2(!afterStor.last().startsWith(QLatin1String("reply 2")),
                     qPrintable(rec.events.join(u'\n')));
        QVERIFY(m_server->readFile(QStringLiteral("shrinks.bin")).size() <= cutTo);

        // The session goes on: the next upload of the same name is whole.
        QVERIFY(engine.Connected());
        engine.OnPITrail = nullptr;
        const QByteArray whole = patternBytes(cutTo, 7);
        QVERIFY(writeLocal(path, whole));
        engine.Upload();
        QVERIFY(m_server->readFile(QStringLiteral("shrinks.bin")) == whole);
        m_server.reset();
    }

    // Restart offsets are 64-bit: a resume beyond 4 GiB lands on the right byte (sparse files).
    void resumeBeyondFourGiB()
    {
        m_server = std::make_unique<FtpServer>(FtpServerOptions{.kind = ServerKind::Pyftpdlib});
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
        const qint64 offset = (qint64(1) << 32) + 12345;
        const QByteArray tail = patternBytes(70000, 5);
        TFtpEngine engine;
        EngineRecorder rec(engine);
        logOn(engine, true);
        engine.setOverwrite(true);

        // Download: the server's file is sparse up to the offset, then holds the tail.
        QVERIFY(m_server->putFile(QStringLiteral("huge.bin"), QByteArray()));
        {
            QFile remote(m_server->rootDir() + QStringLiteral("/huge.bin"));
            QVERIFY(remote.open(QIODevice::ReadWrite));
            QVERIFY(remote.seek(offset));
            QCOMPARE(remote.write(tail), tail.size());
        }
        QFile localFile(local(QStringLiteral("huge.bin")));
        QVERIFY(localFile.open(QIODevice::WriteOnly));
        QVERIFY(localFile.resize(offset));
        localFile.close();
        engine.setRemoteFile(QStringLiteral("huge.bin"));
        engine.setLocalFile(local(QStringLiteral("huge.bin")));
        engine.setStartByte(QString::number(offset));
        engine.Download();
        QVERIFY(rec.commands.contains(QStringLiteral("REST %1").arg(offset)));
        QCOMPARE(rec.lastBytes, offset + tail.size());
        QVERIFY(localFile.open(QIODevice::ReadOnly));
        QCOMPARE(localFile.size(), offset + tail.size());
        QVERIFY(localFile.seek(offset - 1));
        QCOMPARE(localFile.read(1), QByteArray(1, '\0'));
        QVERIFY(localFile.read(tail.size()) == tail);
        localFile.close();

        // Upload: the first byte sent is byte `offset` of the local file.
        QVERIFY(m_server->putFile(QStringLiteral("up.bin"), QByteArray()));
        {
            QFile remote(m_server->rootDir() + QStringLiteral("/up.bin"));
            QVERIFY(remote.open(QIODevice::ReadWrite));
            QVERIFY(remote.resize(offset));
        }
        engine.setRemoteFile(QStringLiteral("up.bin"));
        engine.Upload();
        QFile remote(m_server->rootDir() + QStringLiteral("/up.bin"));
        QVERIFY(remote.open(QIODevice::ReadOnly));
        QCOMPARE(remote.size(), offset + tail.size());
        QVERIFY(remote.seek(offset));
        QVERIFY(remote.read(tail.size()) == tail);
        m_server.reset();
    }
};

QTEST_GUILESS_MAIN(TestTransfers)
#include "tst_transfers.moc"
