// Every operation of the engine against the four real servers, plain and over TLS (explicit, and implicit
// where the server offers it), passive and active: one row per cell of that matrix. The transfers again
// with each server on ::1 only, plain and explicit TLS, where the data connections go by EPSV and EPRT.
#include "engine/component/ftpengine.h"
#include "tests/engine/enginerecorder.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul::test;

namespace {

enum class Operation { List, Upload, Download, Resume, Rename, Delete, Folders };

const QList<std::pair<Operation, QString>> kOperations{
    {Operation::List, QStringLiteral("list")},           {Operation::Upload, QStringLiteral("upload")},
    {Operation::Download, QStringLiteral("download")},   {Operation::Resume, QStringLiteral("resume")},
    {Operation::Rename, QStringLiteral("rename")},       {Operation::Delete, QStringLiteral("delete")},
    {Operation::Folders, QStringLiteral("mkdir rmdir")},
};

/// Interrupts the running transfer once it has moved a megabyte.
void interruptAfterAMegabyte(EngineRecorder& rec, TFtpEngine& engine)
{
    rec.transferHook = [&engine](int, qint64 bytes) {
        if (bytes >= 1024 * 1024)
            engine.Interrupt();
    };
}

} // namespace

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)
Q_DECLARE_METATYPE(skyhaul::test::TlsMode)
Q_DECLARE_METATYPE(skyhaul::test::AddressFamily)
Q_DECLARE_METATYPE(Operation)

class TestInterop : public QObject {
    Q_OBJECT

    // One server serves the consecutive rows of its kind, TLS mode and address; names carry the data mode.
    std::unique_ptr<FtpServer> m_server;
    QTemporaryDir m_local;

    FtpServer* serverFor(ServerKind kind, TlsMode tls, AddressFamily family)
    {
        if (m_server && m_server->options().kind == kind && m_server->options().tls == tls &&
            m_server->options().family == family)
            return m_server.get();
        m_server.reset();
        // TLS required where the server can insist: vsftpd then also demands session reuse on data.
        auto server = std::make_unique<FtpServer>(FtpServerOptions{
            .kind = kind, .family = family, .tls = tls, .requireTls = tls == TlsMode::Explicit});
        if (!server->start()) {
            qWarning().noquote() << server->errorString();
            return nullptr;
        }
        m_server = std::move(server);
        return m_server.get();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestCertificates::instance().isValid(),
                 qPrintable(TestCertificates::instance().errorString()));
    }

    // A failed row shows the server's log (its destructor prints it) and leaves a fresh server to the next.
    void cleanup()
    {
        if (QTest::currentTestFailed())
            m_server.reset();
    }

    void cleanupTestCase() { m_server.reset(); }

    void matrix_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TlsMode>("tls");
        QTest::addColumn<bool>("passive");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<AddressFamily>("family");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (TlsMode tls : {TlsMode::None, TlsMode::Explicit, TlsMode::Implicit}) {
                if (tls == TlsMode::Implicit && !FtpServer::offersImplicitTls(kind))
                    continue;
                addRows(kind, tls, AddressFamily::IPv4, kOperations);
            }
        }
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (TlsMode tls : {TlsMode::None, TlsMode::Explicit})
                addRows(kind, tls, AddressFamily::IPv6, kOperations.mid(0, 4)); // the data connections
        }
    }

    void matrix()
    {
        QFETCH(ServerKind, kind);
        QFETCH(TlsMode, tls);
        QFETCH(bool, passive);
        QFETCH(Operation, operation);
        QFETCH(AddressFamily, family);
        FtpServer* server = serverFor(kind, tls, family);
        QVERIFY(server);
        // A method that fails where it must not ends this row only.
        try {
            run(*server, tls, passive, operation);
        } catch (const EFtpEngine& e) {
            QFAIL(qPrintable(e.Message()));
        }
    }

private:
    static void addRows(ServerKind kind, TlsMode tls, AddressFamily family,
                        const QList<std::pair<Operation, QString>>& operations)
    {
        for (bool passive : {true, false}) {
            for (const auto& [operation, operationName] : operations) {
                QString name =
                    QStringLiteral("%1 %2 %3 %4")
                        .arg(FtpServer::kindName(kind), FtpServer::tlsName(tls),
                             passive ? QStringLiteral("passive") : QStringLiteral("active"), operationName);
                if (family == AddressFamily::IPv6)
                    name += QStringLiteral(" on ::1");
                QTest::newRow(qPrintable(name)) << kind << tls << passive << operation << family;
            }
        }
    }

    /// The commands that opened the data connections: EPSV and EPRT over IPv6; over IPv4 EPSV where FEAT
    /// lists it, PORT for active.
    static void checkDataCommands(const TFtpEngine& engine, const EngineRecorder& rec,
                                  const FtpServer& server, bool passive)
    {
        const QStringList opened =
            rec.commands.filter(QRegularExpression(QStringLiteral("^(PASV|EPSV|PORT|EPRT)( |$)")));
        QVERIFY(!opened.isEmpty());
        QString expected;
        if (server.options().family == AddressFamily::IPv6)
            expected = passive ? QStringLiteral("^EPSV$") : QStringLiteral("^EPRT \\|2\\|::1\\|\\d+\\|$");
        else if (passive)
            expected = engine.ServerFeatures().epsv() ? QStringLiteral("^EPSV$") : QStringLiteral("^PASV$");
        else
            expected = QStringLiteral("^PORT 127,0,0,1,\\d+,\\d+$");
        for (const QString& command : opened)
            QVERIFY2(QRegularExpression(expected).match(command).hasMatch(), qPrintable(opened.join(u'|')));
    }

    void run(FtpServer& server, TlsMode tls, bool passive, Operation operation)
    {

        TFtpEngine engine;
        EngineRecorder rec(engine);
        engine.OnSSLServerAuthentication = [](const QByteArray&, const QString&, const QString&,
                                              const QString&, bool& accept) { accept = true; };
        engine.setRemoteHost(server.host());
        engine.setRemotePort(server.port());
        engine.setSSLStartMode(tls == TlsMode::None       ? sslNone
                               : tls == TlsMode::Explicit ? sslExplicit
                                                          : sslImplicit);
        engine.setUser(server.user());
        engine.setPassword(server.password());
        engine.setPassive(passive);
        engine.setTransferMode(tmBinary);
        engine.setOverwrite(true);
        engine.Logon();

        // Names of their own per data mode: both modes share one server.
        const QString mode = passive ? QStringLiteral("passive") : QStringLiteral("active");
        const QString name = mode + QStringLiteral(" file.bin");
        const QString localPath = m_local.filePath(mode + QStringLiteral(".bin"));
        QFile::remove(localPath);
        switch (operation) {
        case Operation::List: {
            QVERIFY(server.putFile(mode + QStringLiteral(" folder/inside.txt"), "x"));
            QVERIFY(server.putFile(name, "abc"));
            engine.ListDirectory();
            QVERIFY2(rec.names.contains(name), qPrintable(rec.names.join(u'|')));
            QCOMPARE(rec.sizes.at(rec.names.indexOf(name)), qint64(3));
            QVERIFY(rec.dirs.contains(mode + QStringLiteral(" folder")));
            break;
        }
        case Operation::Upload: {
            const QByteArray content = patternBytes(3 * 1024 * 1024 + 7, 1);
            writeBytes(localPath, content);
            engine.setLocalFile(localPath);
            engine.setRemoteFile(name);
            engine.Upload();
            QVERIFY(server.readFile(name) == content);
            break;
        }
        case Operation::Download: {
            const QByteArray content = patternBytes(3 * 1024 * 1024 + 9, 2);
            QVERIFY(server.putFile(name, content));
            engine.setLocalFile(localPath);
            engine.setRemoteFile(name);
            engine.Download();
            QVERIFY(fileBytes(localPath) == content);
            break;
        }
        case Operation::Resume: {
            const QByteArray content = patternBytes(12 * 1024 * 1024, 3);
            QVERIFY(server.putFile(name, content));
            engine.setLocalFile(localPath);
            engine.setRemoteFile(name);
            interruptAfterAMegabyte(rec, engine);
            QCOMPARE(failureOf([&] { engine.Download(); }).first, 301);
            rec.transferHook = nullptr;
            const qint64 partial = QFileInfo(localPath).size();
            QVERIFY2(partial >= 1024 * 1024 && partial < content.size(),
                     qPrintable(QString::number(partial)));
            engine.setStartByte(QString::number(partial));
            engine.Download();
            QVERIFY(fileBytes(localPath) == content);

            // And an upload: the server tells how much it kept.
            const QString upName = mode + QStringLiteral(" up.bin");
            engine.setStartByte(QString());
            engine.setRemoteFile(upName);
            interruptAfterAMegabyte(rec, engine);
            QCOMPARE(failureOf([&] { engine.Upload(); }).first, 301);
            rec.transferHook = nullptr;
            engine.setCommand(QStringLiteral("SIZE ") + upName);
            const qint64 kept = engine.LastReply().mid(4).trimmed().toLongLong();
            QVERIFY2(kept < content.size(), qPrintable(engine.LastReply()));
            engine.setStartByte(QString::number(kept));
            engine.Upload();
            QVERIFY(server.readFile(upName) == content);
            break;
        }
        case Operation::Rename: {
            const QString newName = mode + QStringLiteral(" renamed.bin");
            QVERIFY(server.putFile(name, "rename me"));
            engine.setRemoteFile(name);
            engine.RenameFile(newName);
            QCOMPARE(engine.RemoteFile(), name);
            QVERIFY(!QFileInfo::exists(server.rootDir() + QLatin1Char('/') + name));
            QCOMPARE(server.readFile(newName), QByteArray("rename me"));
            break;
        }
        case Operation::Delete: {
            QVERIFY(server.putFile(name, "delete me"));
            engine.DeleteFile(name);
            QCOMPARE(engine.RemoteFile(), name);
            QVERIFY(!QFileInfo::exists(server.rootDir() + QLatin1Char('/') + name));
            break;
        }
        case Operation::Folders: {
            const QString folder = mode + QStringLiteral(" new folder");
            const QString path = server.rootDir() + QLatin1Char('/') + folder;
            engine.MakeDirectory(folder);
            QVERIFY(QFileInfo(path).isDir());
            QCOMPARE(engine.RemoteFile(), folder);
            engine.RemoveDirectory(folder);
            QVERIFY(!QFileInfo::exists(path));
            break;
        }
        }
        if (operation == Operation::List || operation == Operation::Upload ||
            operation == Operation::Download || operation == Operation::Resume)
            checkDataCommands(engine, rec, server, passive);
        QVERIFY(engine.Connected());
    }
};

QTEST_GUILESS_MAIN(TestInterop)
#include "tst_interop.moc"
