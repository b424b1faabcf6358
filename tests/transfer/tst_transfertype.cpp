// What the transfer type choice of a remote session does to the bytes of a file on each real server:
// "Auto" moves every file byte for byte, "Ascii" leaves line ends to the server.
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"
#include "tests/support/testhelpers.h"
#include "transfer/remotesession.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)

namespace {

/// CR, LF and CR LF, a NUL and a byte above 127: what a text conversion would change.
QByteArray lineEndBytes()
{
    return QByteArray("a\rb\nc\r\nd\x00\xff", 10);
}

/// A session of the given transfer type, logged on to the server.
bool logOn(RemoteSession& session, const FtpServer& server, int transType)
{
    session.setTransType(transType);
    ConnectSettings settings;
    settings.host = server.host();
    settings.port = server.port();
    settings.user = server.user();
    settings.password = server.password();
    settings.sslMode = sslNone;
    settings.passive = true;
    RemoteSession::BusyScope busy(&session);
    return session.logOn(settings) == LogonOutcome::LoggedOn;
}

/// The commands the engine sent, as the protocol trail shows them.
QStringList* recordCommands(RemoteSession& session)
{
    auto* commands = new QStringList;
    session.engine()->OnPITrail = [commands](int direction, const QString& line) {
        if (direction == 0)
            *commands << line;
    };
    return commands;
}

} // namespace

class TestTransferType : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void autoMovesEveryFileByteForByte_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("reconnect");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (bool upload : {false, true}) {
                const QString row = FtpServer::kindName(kind) + (upload ? u" upload"_s : u" download"_s);
                QTest::newRow(qPrintable(row + u", line ends"_s))
                    << kind << upload << lineEndBytes() << false;
                QTest::newRow(qPrintable(row + u", line ends, connected again"_s))
                    << kind << upload << lineEndBytes() << true;
                QTest::newRow(qPrintable(row + u", binary, connected again"_s))
                    << kind << upload << patternBytes(300 * 1024, 7) << true;
            }
        }
    }

    // The default "Auto" choice: whatever the server's default type, nothing of the file changes, on the
    // session's first connection as on a later one (the Connect button after Disconnect).
    void autoMovesEveryFileByteForByte()
    {
        QFETCH(ServerKind, kind);
        QFETCH(bool, upload);
        QFETCH(QByteArray, content);
        QFETCH(bool, reconnect);
        FtpServer server({.kind = kind});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        QVERIFY(local.isValid());

        RemoteSession session;
        const std::unique_ptr<QStringList> commands(recordCommands(session));
        QVERIFY(logOn(session, server, tmDefault));
        if (reconnect) {
            session.engine()->setConnected(false);
            commands->clear();
            QVERIFY(logOn(session, server, tmDefault));
        }
        TFtpEngine* engine = session.engine();
        const QString localPath = local.filePath(u"file.dat"_s);
        engine->setRemoteFile(u"file.dat"_s);
        engine->setLocalFile(localPath);
        try {
            if (upload) {
                writeBytes(localPath, content);
                engine->Upload();
            } else {
                QVERIFY(server.putFile(u"file.dat"_s, content));
                engine->Download();
            }
        } catch (const EFtpEngine& e) {
            QFAIL(qPrintable(e.Message() + u" after "_s + commands->join(u", "_s)));
        }
        const QByteArray arrived = upload ? server.readFile(u"file.dat"_s) : fileBytes(localPath);
        QCOMPARE(arrived.left(64).toHex(' '), content.left(64).toHex(' '));
        QCOMPARE(arrived.size(), content.size());
        QVERIFY(arrived == content);
        QVERIFY2(commands->contains(u"TYPE I"_s), qPrintable(commands->join(u", "_s)));
        QCOMPARE(session.transType(), int(tmDefault));
    }

    // "Ascii" stays ASCII (pyftpdlib stores CR LF as LF), and going back to "Auto" on the same connection
    // is binary again.
    void asciiStaysAndAutoComesBack()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        QVERIFY(local.isValid());
        const QString localPath = local.filePath(u"text.txt"_s);
        writeBytes(localPath, lineEndBytes());

        RemoteSession session;
        const std::unique_ptr<QStringList> commands(recordCommands(session));
        QVERIFY(logOn(session, server, tmASCII));
        QVERIFY2(commands->contains(u"TYPE A"_s), qPrintable(commands->join(u", "_s)));
        QCOMPARE(session.engine()->TransferMode(), tmASCII);
        TFtpEngine* engine = session.engine();
        engine->setLocalFile(localPath);
        engine->setRemoteFile(u"text.txt"_s);
        engine->Upload();
        QCOMPARE(server.readFile(u"text.txt"_s).toHex(' '), QByteArray("a\rb\nc\nd\x00\xff", 9).toHex(' '));

        commands->clear();
        session.changeTransferMode(tmDefault);
        QCOMPARE(*commands, QStringList{u"TYPE I"_s});
        QCOMPARE(session.transType(), int(tmDefault));
        QCOMPARE(engine->TransferMode(), tmBinary);
        engine->Upload();
        QCOMPARE(server.readFile(u"text.txt"_s).toHex(' '), lineEndBytes().toHex(' '));
    }
};

QTEST_MAIN(TestTransferType)
#include "tst_transfertype.moc"
