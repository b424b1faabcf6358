// The update check against a local HTTP server, its once-a-day gate, and the about box.
#include "app/mainwindow/mainwindow.h"
#include "app/update/aboutbox.h"
#include "app/update/updatecheck.h"
#include "store/configrecord.h"
#include "tests/app/apptesthelpers.h"
#include "tests/app/localhttpserver.h"

#include "skyhaul_version.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

namespace {

const QByteArray Endpoint = "/update/skyhaul/skyhaul.php";

QByteArray verIni(const QByteArray& ver, const QByteArray& url, const QByteArray& filename)
{
    return "[update]\r\nver=" + ver + "\r\nurl=" + url + "\r\nfilename=" + filename + "\r\n";
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct Recorder {
    QStringList questions;
    QList<QUrl> opened;
    bool answer = true;

    UpdateCheck::Hooks hooks()
    {
        return {[this](const QString& title, const QString& text) {
                    questions << title + u"|"_s + text;
                    return answer;
                },
                [this](const QUrl& url) {
                    opened << url;
                    return true;
                }};
    }
};

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT

    LocalHttpServer m_http;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_http.start());
    }

    void init() { m_http.requests.clear(); }

    void versionTexts()
    {
        QCOMPARE(currentVersionText(), QStringLiteral("%1.%2.%3.%4")
                                           .arg(SKYHAUL_VERSION_MAJOR)
                                           .arg(SKYHAUL_VERSION_MINOR)
                                           .arg(SKYHAUL_VERSION_PATCH)
                                           .arg(SKYHAUL_VERSION_TWEAK));
        QCOMPARE(aboutVersionText(1, 1, 0), u"v1.10"_s);
        QCOMPARE(aboutVersionText(2, 0, 13), u"v2.013"_s);
        QCOMPARE(aboutVersionText(0, 0, 0), u"v0.00"_s);
    }

    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<bool>("succeeds");
        const QByteArray current = currentVersionText().toLatin1();
        const QByteArray setupUrl = "http://127.0.0.1:1/never";
        QTest::newRow("same version asks nothing")
            << 200 << verIni(current, setupUrl, "setup.exe") << false << true;
        QTest::newRow("other version asks")
            << 200 << verIni("9.9.9.9", setupUrl, "setup.exe") << true << true;
        QTest::newRow("older version asks too")
            << 200 << verIni("0.0.0.1", setupUrl, "setup.exe") << true << true;
        QTest::newRow("no url asks nothing") << 200 << verIni("9.9.9.9", "", "setup.exe") << false << true;
        QTest::newRow("no filename asks nothing") << 200 << verIni("9.9.9.9", setupUrl, "") << false << true;
        QTest::newRow("not an INI text") << 200 << QByteArray("<html>hello</html>") << false << true;
        QTest::newRow("server error") << 500 << verIni("9.9.9.9", setupUrl, "setup.exe") << false << false;
    }

    // The answer is kept as "ver.ini"; the Korean question comes only for another version with an address and
    // a file name. (Answered No here, so nothing is downloaded.)
    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QTemporaryDir app;
        m_http.setAnswer(Endpoint, {status, body});
        Recorder rec;
        rec.answer = false;
        UpdateCheck check(app.path(), m_http.baseUrl(), rec.hooks());
        QTEST(check.run(), "succeeds");
        QCOMPARE(m_http.requests, QList<QByteArray>{Endpoint});
        QFETCH(bool, asks);
        QCOMPARE(rec.questions.size(), asks ? 1 : 0);
        if (asks)
            QCOMPARE(rec.questions.first(), u"알림|신규버전이 나왔습니다.\r\n업데이트 하시겠습니까?"_s);
        // A failed request leaves an empty answer file, never a stale one.
        QCOMPARE(fileBytes(check.versionFilePath()), status == 200 ? body : QByteArray());
        QVERIFY(rec.opened.isEmpty());
    }

    // Yes downloads the setup under its file name into the application folder and opens it.
    void yesDownloadsAndOpensTheSetup()
    {
        QTemporaryDir app;
        const QByteArray setup(300000, 'S');
        m_http.setAnswer("/files/setup-9.exe", {200, setup});
        m_http.setAnswer(Endpoint, {200, verIni("9.9.9.9", m_http.baseUrl().toLatin1() + "/files/setup-9.exe",
                                                "setup.exe")});
        Recorder rec;
        UpdateCheck check(app.path(), m_http.baseUrl() + u"/"_s, rec.hooks());
        QVERIFY2(check.run(), qPrintable(check.errorString()));
        QCOMPARE(m_http.requests, (QList<QByteArray>{Endpoint, "/files/setup-9.exe"}));
        const QString saved = QDir(app.path()).filePath(u"setup.exe"_s);
        QCOMPARE(fileBytes(saved), setup);
        QCOMPARE(rec.opened, QList<QUrl>{QUrl::fromLocalFile(saved)});
    }

    void setupTargetsOutsideAreRefused_data()
    {
        QTest::addColumn<QByteArray>("filename");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("parent folder") << QByteArray("../evil.exe") << QByteArray("/files/x");
        QTest::newRow("absolute path") << QByteArray("/tmp/evil.exe") << QByteArray("/files/x");
        QTest::newRow("backslash") << QByteArray("..\\evil.exe") << QByteArray("/files/x");
        QTest::newRow("dot-dot alone") << QByteArray("..") << QByteArray("/files/x");
        QTest::newRow("not http") << QByteArray("setup.exe") << QByteArray("file:///etc/passwd");
    }

    void setupTargetsOutsideAreRefused()
    {
        QFETCH(QByteArray, filename);
        QFETCH(QByteArray, url);
        QTemporaryDir app;
        const QByteArray full = url.startsWith('/') ? m_http.baseUrl().toLatin1() + url : url;
        m_http.setAnswer("/files/x", {200, "payload"});
        m_http.setAnswer(Endpoint, {200, verIni("9.9.9.9", full, filename)});
        Recorder rec;
        UpdateCheck check(app.path(), m_http.baseUrl(), rec.hooks());
        QVERIFY(!check.run());
        QCOMPARE(m_http.requests, QList<QByteArray>{Endpoint});
        QVERIFY(rec.opened.isEmpty());
        QCOMPARE(QDir(app.path()).entryList(QDir::Files), QStringList{u"ver.ini"_s});
    }

    void unreachableServerFails()
    {
        QTemporaryDir app;
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        Recorder rec;
        UpdateCheck check(app.path(), QStringLiteral("http://127.0.0.1:%1").arg(port), rec.hooks());
        QVERIFY(!check.run());
        QVERIFY(rec.questions.isEmpty());
    }

    void noAddressMakesNoRequest()
    {
        QTemporaryDir app;
        Recorder rec;
        UpdateCheck check(app.path(), QString(), rec.hooks());
        QVERIFY(check.endpoint().isEmpty());
        QVERIFY(!check.run());
        QVERIFY(!QFile::exists(check.versionFilePath()));
    }

    void gateOncePerDay()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(u"gate.ini"_s), QSettings::IniFormat);
        QVERIFY(UpdateGate(settings).passes());
        QCOMPARE(settings.value(u"update"_s).toString(), UpdateGate::today());
        QVERIFY(!UpdateGate(settings).passes());
        settings.setValue(u"update"_s, u"yesterday"_s);
        QVERIFY(UpdateGate(settings).passes());
    }

    // Two starts of the window on one day make one request; a start without an address makes none.
    void twoStartsOneRequest()
    {
        QTemporaryDir app;
        QTemporaryDir temp;
        m_http.setAnswer(Endpoint, {200, verIni(currentVersionText().toLatin1(), "", "")});
        MainWindowOptions options;
        options.appFolder = app.path();
        options.systemTempFolder = temp.path();
        options.updateUrl = m_http.baseUrl();
        options.settingsFile = app.filePath(u"gate.ini"_s);
        options.remoteTabFactory = testRemoteTabFactory();
        int asked = 0;
        options.askUpdate = [&](const QString&, const QString&) { return ++asked, false; };
        options.openUrl = [](const QUrl&) { return true; };
        {
            TfrmSkyhaulMain first(options);
        }
        {
            TfrmSkyhaulMain second(options);
        }
        QCOMPARE(m_http.requests, QList<QByteArray>{Endpoint});
        QCOMPARE(asked, 0);
        QVERIFY(QFile::exists(app.filePath(u"ver.ini"_s)));

        options.updateUrl.clear();
        QSettings(options.settingsFile, QSettings::IniFormat).remove(u"update"_s);
        {
            TfrmSkyhaulMain third(options);
        }
        QCOMPARE(m_http.requests.size(), 1);
    }

    void aboutBox()
    {
        TfrmSkyhaulMain* window = nullptr;
        QTemporaryDir app;
        QTemporaryDir temp;
        MainWindowOptions options;
        options.appFolder = app.path();
        options.systemTempFolder = temp.path();
        options.remoteTabFactory = testRemoteTabFactory();
        window = new TfrmSkyhaulMain(options);
        window->show();
        QString version;
        QString button;
        ModalWatcher watcher([&](QDialog* dialog) {
            if (auto* about = qobject_cast<TAboutBox*>(dialog)) {
                version = about->Version->text();
                button = about->OKButton->text();
                QVERIFY(about->OKButton->isDefault());
                QTest::keyClick(about, Qt::Key_Escape);
            }
        });
        window->AboutBtn->trigger();
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen.first().className, u"TAboutBox"_s);
        QCOMPARE(version,
                 aboutVersionText(SKYHAUL_VERSION_MAJOR, SKYHAUL_VERSION_MINOR, SKYHAUL_VERSION_PATCH));
        QCOMPARE(button, u"&OK"_s);
        delete window;
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
