// Names with non-ASCII letters and blanks on the control connection and in listings, whatever the
// process's locale: ctest runs this program under LC_ALL=C, where the locale's own encoding is ASCII.
#include "engine/component/ftpengine.h"
#include "engine/control/namecodec.h"
#include "tests/engine/enginerecorder.h"
#include "tests/engine/scriptedsession.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <langinfo.h>

using namespace skyhaul::test;
using skyhaul::engine::NameCodec;

namespace {

/// The names of a folder as the file system holds them, byte for byte.
QList<QByteArray> rawNames(const QString& folder)
{
    QList<QByteArray> names;
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    closedir(dir);
    return names;
}

/// The text a name of ASCII and undecodable bytes shows as: each byte above 0x7f stands in as U+DC00 + byte.
QString escaped(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes)
        text += uchar(c) < 0x80 ? QChar(QLatin1Char(c)) : QChar(char16_t(0xDC00 + uchar(c)));
    return text;
}

const QString kUmlaut = QStringLiteral("\u00dcbersicht 2026.txt");
const QString kCjk = QStringLiteral("\u6570\u636e \u62a5\u544a.txt");
const QString kAccents = QStringLiteral("na\u00efve caf\u00e9.txt");
const QString kLeadingBlank = QStringLiteral(" leading blank.txt");

} // namespace

Q_DECLARE_METATYPE(skyhaul::test::ServerKind)
Q_DECLARE_METATYPE(skyhaul::test::TlsMode)
Q_DECLARE_METATYPE(TNameEncoding)
Q_DECLARE_METATYPE(NameCodec::Form)

class TestNames : public QObject {
    Q_OBJECT

    // One server serves the consecutive rows of its kind and TLS mode.
    std::unique_ptr<FtpServer> m_server;
    QTemporaryDir m_local;

    FtpServer* serverFor(ServerKind kind, TlsMode tls)
    {
        if (m_server && m_server->options().kind == kind && m_server->options().tls == tls)
            return m_server.get();
        m_server.reset();
        auto server = std::make_unique<FtpServer>(
            FtpServerOptions{.kind = kind, .tls = tls, .requireTls = tls == TlsMode::Explicit});
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
        // Under a UTF-8 locale the local encoding would hide a name sent in the wrong one.
        const QByteArray codeset = nl_langinfo(CODESET);
        QVERIFY2(codeset != "UTF-8",
                 qPrintable(QStringLiteral("run under LC_ALL=C (ctest does); the locale's codeset is ") +
                            QString::fromLatin1(codeset)));
        QVERIFY2(TestCertificates::instance().isValid(),
                 qPrintable(TestCertificates::instance().errorString()));
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            m_server.reset();
    }

    void cleanupTestCase() { m_server.reset(); }

    // Whatever bytes a server sends, the text made of them names the same bytes again.
    void codecGivesBackTheBytes_data()
    {
        QTest::addColumn<NameCodec::Form>("form");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        for (const auto& [form, formName] :
             {std::pair{NameCodec::Form::Utf8, "utf-8"}, std::pair{NameCodec::Form::Local, "local"}}) {
            const QString prefix = QLatin1String(formName) + QLatin1Char(' ');
            QTest::newRow(qPrintable(prefix + QStringLiteral("utf-8 name")))
                << form << kUmlaut.toUtf8() << kUmlaut;
            QTest::newRow(qPrintable(prefix + QStringLiteral("four-byte letter")))
                << form << QByteArray("\xf0\x9f\x93\x81 x") << QStringLiteral("\U0001f4c1 x");
            QTest::newRow(qPrintable(prefix + QStringLiteral("latin-1 name")))
                << form << QByteArray("caf\xe9 men\xfc.txt") << escaped("caf\xe9 men\xfc.txt");
            QTest::newRow(qPrintable(prefix + QStringLiteral("cut sequence at the end")))
                << form << QByteArray("a\xc3") << escaped("a\xc3");
            QTest::newRow(qPrintable(prefix + QStringLiteral("overlong slash")))
                << form << QByteArray("a\xc0\xaf") << escaped("a\xc0\xaf");
            QTest::newRow(qPrintable(prefix + QStringLiteral("encoded surrogate")))
                << form << QByteArray("\xed\xb3\xa9") << escaped("\xed\xb3\xa9");
        }
    }

    void codecGivesBackTheBytes()
    {
        QFETCH(NameCodec::Form, form);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const NameCodec codec(form);
        QCOMPARE(codec.decode(bytes), text);
        QCOMPARE(codec.encode(codec.decode(bytes)), bytes);
        // Every byte value, in and out of sequences.
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        all += bytes;
        QCOMPARE(codec.encode(codec.decode(all)), all);
    }

    // OPTS UTF8 ON goes out after FEAT, before the folder, only where FEAT lists UTF8 and the site does not
    // hold the local encoding; a refusal is ignored, since the server said it speaks UTF-8 names.
    void optsUtf8OnWhereFeatListsIt_data()
    {
        QTest::addColumn<TNameEncoding>("encoding");
        QTest::addColumn<QByteArray>("featReply");
        QTest::addColumn<QByteArray>("optsReply"); // empty: no OPTS may be sent

        const QByteArray withUtf8 = "211-Features:\r\n MDTM\r\n UTF8\r\n SIZE\r\n211 End\r\n";
        const QByteArray withoutUtf8 = "211-Features:\r\n MDTM\r\n SIZE\r\n211 End\r\n";
        const QByteArray refused = "502 No features\r\n";
        QTest::newRow("auto, listed") << neAuto << withUtf8 << QByteArray("200 OK, UTF-8 enabled");
        QTest::newRow("auto, listed, OPTS refused")
            << neAuto << withUtf8 << QByteArray("501 OPTS not understood");
        QTest::newRow("auto, listed in lower case")
            << neAuto << QByteArray("211-Features:\r\n utf8\r\n211 End\r\n") << QByteArray("200 Always");
        QTest::newRow("auto, not listed") << neAuto << withoutUtf8 << QByteArray();
        QTest::newRow("auto, FEAT refused") << neAuto << refused << QByteArray();
        QTest::newRow("local, listed") << neLocal << withUtf8 << QByteArray();
        QTest::newRow("utf-8, listed") << neUTF8 << withUtf8 << QByteArray("200 OK");
        QTest::newRow("utf-8, not listed") << neUTF8 << withoutUtf8 << QByteArray();
    }

    void optsUtf8OnWhereFeatListsIt()
    {
        QFETCH(TNameEncoding, encoding);
        QFETCH(QByteArray, featReply);
        QFETCH(QByteArray, optsReply);
        using namespace script;
        const QByteArray folder = QStringLiteral("/\u00dcbersicht \u6570\u636e").toUtf8();
        Script steps{send("220 Scripted ready\r\n"),
                     expect("USER u"),
                     reply("331 Password?"),
                     expect("PASS p"),
                     reply("230 Hi"),
                     expect("FEAT"),
                     send(featReply)};
        if (!optsReply.isEmpty())
            steps += {expect("OPTS UTF8 ON"), reply(optsReply)};
        steps += {expect("CWD " + folder), reply("250 OK")};
        ScriptedServer server(steps);
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setTimeout(10);
        engine.setNameEncoding(encoding);
        engine.setRemotePath(QString::fromUtf8(folder));
        QCOMPARE(failureOf([&] { engine.Logon(); }), std::make_pair(-1, QString()));
        QVERIFY(server.waitForFinished());
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
        QCOMPARE(rec.commands.contains(QStringLiteral("OPTS UTF8 ON")), !optsReply.isEmpty());
        QCOMPARE(rec.commands.last(), QStringLiteral("CWD ") + QString::fromUtf8(folder));
    }

    // A server that lists UTF8 may still hold names in another encoding. Such a name shows with stand-ins
    // for its odd bytes, and sending it back names the same bytes: the file can be fetched and deleted.
    // Replies keep their bytes in the same way (a folder from PWD).
    void invalidUtf8NameNamesTheSameFile()
    {
        using namespace script;
        const QByteArray odd = "caf\xe9 men\xfc.txt";
        const QByteArray oddFolder = "/d\xe9p\xf4t";
        ScriptedServer server({send("220 Scripted ready\r\n"),
                               expect("USER u"),
                               reply("331 Password?"),
                               expect("PASS p"),
                               reply("230 Hi"),
                               expect("FEAT"),
                               send("211-Features:\r\n UTF8\r\n211 End\r\n"),
                               expect("OPTS UTF8 ON"),
                               reply("200 OK"),
                               expect("PWD"),
                               reply("257 \"" + oddFolder + "\" is the current directory"),
                               expect("CWD " + oddFolder),
                               reply("250 OK"),
                               expect("PASV"),
                               pasv(),
                               expect("LIST"),
                               reply("150 Here"),
                               acceptData(),
                               sendData("-rw-r--r-- 1 u g 3 Jan 1 2020 " + odd +
                                        "\r\n-rw-r--r-- 1 u g 5 Jan 1 2020 \xc3\x9c 2026.txt\r\n"),
                               closeData(),
                               reply("226 Done"),
                               expect("SIZE " + odd),
                               reply("213 3"),
                               expect("PASV"),
                               pasv(),
                               expect("RETR " + odd),
                               reply("150 Here"),
                               acceptData(),
                               sendData("abc"),
                               closeData(),
                               reply("226 Done"),
                               expect("DELE " + odd),
                               reply("250 Deleted")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TFtpEngine engine;
        EngineRecorder rec(engine);
        pointAt(engine, server);
        engine.setTimeout(10);
        engine.setOverwrite(true);
        try {
            engine.Logon();
            const QString folder = engine.RemotePath();
            QCOMPARE(folder, escaped(oddFolder));
            engine.setRemotePath(folder);
            engine.ListDirectory();
            QCOMPARE(rec.names, (QStringList{escaped(odd), QStringLiteral("\u00dc 2026.txt")}));
            const QString localPath = m_local.filePath(QStringLiteral("odd.txt"));
            engine.setRemoteFile(rec.names.first());
            engine.setLocalFile(localPath);
            engine.Download();
            QCOMPARE(fileBytes(localPath), QByteArray("abc"));
            engine.DeleteFile(rec.names.first());
        } catch (const EFtpEngine& e) {
            QFAIL(qPrintable(e.Message()));
        }
        QVERIFY(server.waitForFinished());
        QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));
    }

    // Upload, list and download names with non-ASCII letters and blanks, byte-exact, plain and over TLS;
    // the names on the server's disk are UTF-8. Servers that list UTF8 in FEAT get OPTS UTF8 ON; vsftpd
    // with its defaults does not list it and gets the local encoding.
    void realServerNames_data()
    {
        QTest::addColumn<ServerKind>("kind");
        QTest::addColumn<TlsMode>("tls");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored"); // the name the server keeps
        QTest::addColumn<bool>("listsUtf8");
        for (ServerKind kind :
             {ServerKind::Vsftpd, ServerKind::Proftpd, ServerKind::PureFtpd, ServerKind::Pyftpdlib}) {
            for (TlsMode tls : {TlsMode::None, TlsMode::Explicit}) {
                for (const auto& [name, label] :
                     {std::pair{kUmlaut, "umlaut"}, std::pair{kCjk, "cjk"}, std::pair{kAccents, "accents"},
                      std::pair{kLeadingBlank, "leading blank"}}) {
                    const QString row =
                        QStringLiteral("%1 %2 %3")
                            .arg(FtpServer::kindName(kind), FtpServer::tlsName(tls), QLatin1String(label));
                    // pure-ftpd stores a name that starts with a blank with "_" in its place.
                    const QString stored = kind == ServerKind::PureFtpd && name.startsWith(QLatin1Char(' '))
                                               ? QLatin1Char('_') + name.mid(1)
                                               : name;
                    QTest::newRow(qPrintable(row))
                        << kind << tls << name << stored << (kind != ServerKind::Vsftpd);
                }
            }
        }
    }

    void realServerNames()
    {
        QFETCH(ServerKind, kind);
        QFETCH(TlsMode, tls);
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(bool, listsUtf8);
        FtpServer* server = serverFor(kind, tls);
        QVERIFY(server);
        TFtpEngine engine;
        EngineRecorder rec(engine);
        engine.OnSSLServerAuthentication = [](const QByteArray&, const QString&, const QString&,
                                              const QString&, bool& accept) { accept = true; };
        engine.setRemoteHost(server->host());
        engine.setRemotePort(server->port());
        engine.setSSLStartMode(tls == TlsMode::None ? sslNone : sslExplicit);
        engine.setUser(server->user());
        engine.setPassword(server->password());
        engine.setTransferMode(tmBinary);
        engine.setOverwrite(true);
        const QByteArray content = patternBytes(64 * 1024 + 3, int(qHash(name) % 200));
        const QString upPath = m_local.filePath(QStringLiteral("up.bin"));
        const QString downPath = m_local.filePath(QStringLiteral("down.bin"));
        writeBytes(upPath, content);
        QFile::remove(downPath);
        try {
            engine.Logon();
            QCOMPARE(engine.ServerFeatures().utf8(), listsUtf8);
            QCOMPARE(rec.commands.contains(QStringLiteral("OPTS UTF8 ON")), listsUtf8);

            engine.setLocalFile(upPath);
            engine.setRemoteFile(name);
            engine.Upload();
            QVERIFY2(rawNames(server->rootDir()).contains(stored.toUtf8()),
                     qPrintable(QString::fromLatin1(rawNames(server->rootDir()).join("|").toHex(' '))));
            QVERIFY(server->readFile(stored) == content);

            rec.names.clear();
            engine.setRemoteFile(QString());
            engine.ListDirectory();
            const bool mlsd = !rec.commands.filter(QStringLiteral("MLSD")).isEmpty();
            QCOMPARE(mlsd, engine.ServerFeatures().mlst());
            if (stored.startsWith(QLatin1Char(' ')) && !mlsd) {
                // LIST loses a leading blank by the listing parser's rules; MLSD keeps it.
                QVERIFY2(rec.names.contains(stored.mid(1)), qPrintable(rec.names.join(u'|')));
            } else {
                QVERIFY2(rec.names.contains(stored), qPrintable(rec.names.join(u'|')));
            }

            engine.setRemoteFile(stored);
            engine.setLocalFile(downPath);
            engine.Download();
            QVERIFY(fileBytes(downPath) == content);
            engine.DeleteFile(stored);
            QVERIFY(!rawNames(server->rootDir()).contains(stored.toUtf8()));
        } catch (const EFtpEngine& e) {
            QFAIL(qPrintable(e.Message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestNames)
#include "tst_names.moc"
