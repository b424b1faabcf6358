#pragma once

#include "app/mainwindow/remotetab.h"
#include "engine/component/ftpengine.h"
#include "tests/ui/modalwatcher.h"

#include <QApplication>
#include <QDialog>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMutex>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace skyhaul::test {

/// Collects the messages of one logging category, in order, while it lives.
class LogCapture {
public:
    explicit LogCapture(const char* category) : m_category(category)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("%1.debug=true").arg(QLatin1String(category)));
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
        QLoggingCategory::setFilterRules(QString());
    }
    QStringList lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (s_current && context.category && qstrcmp(context.category, s_current->m_category) == 0)
            s_current->lines << message;
        else if (s_current && s_current->m_previous)
            s_current->m_previous(type, context, message);
    }
    static inline LogCapture* s_current = nullptr;
    const char* m_category;
    QtMessageHandler m_previous = nullptr;
};

/**
 * A remote tab for window tests: a widget with a real engine that can download one file the way a remote
 * tab does, busy for the whole operation and idle again afterwards.
 */
class TestRemoteTab : public RemoteTab {
public:
    TestRemoteTab(const RemoteTabContext& context, QWidget* parent)
        : paneHost(context.paneHost), m_widget(new QWidget(parent))
    {
        m_widget->setObjectName(QStringLiteral("TestRemoteTab"));
        m_session = new RemoteSession(m_widget);
        m_engine = m_session->engine();
        // A bare engine as before: no TYPE at logon, the engine's own time-out.
        m_engine->setTransferMode(tmDefault);
        m_engine->setTimeout(60);
        m_layout = TabLayout::ofKind(TabLayout::Kind::Remote);
        new QVBoxLayout(m_widget);
        s_created << this;
        m_engine->OnTransfer = [this](int, qint64 bytes, int, const QByteArray&) {
            transferred = bytes;
            if (onProgress)
                onProgress(bytes);
        };
    }
    ~TestRemoteTab() override
    {
        s_created.removeAll(this);
        ++s_destroyed;
    }

    QWidget* widget() const override { return m_widget; }
    TabLayout layout() const override { return m_layout; }
    void applyLayout(const TabLayout& layout) override { m_layout = layout; }
    void connectToServer() override { ++connects; }
    void connectToSite(const SiteFields& site) override
    {
        lastSite = site;
        ++connects;
    }
    TFtpEngine* engine() const override { return m_engine; }
    RemoteSession* session() const override { return m_session; }
    bool isBusy() const override { return m_busy; }
    bool isTransferring() const override { return m_busy && !listingOnly; }
    void applyLanguage(const Texts&) override { ++languageApplied; }
    void uploadFromLocalTab(const LocalSelection& selection) override { uploads << selection; }
    void setShowCaptions(bool show) override { showCaptions = show; }

    /// Logs on and downloads remoteFile into localFile; records the failure code (0: none).
    void download(const QString& host, quint16 port, const QString& user, const QString& password,
                  const QString& remoteFile, const QString& localFile, bool binary = false)
    {
        m_busy = true;
        QPointer<QWidget> alive(m_widget);
        TFtpEngine* engine = m_engine;
        int code = 0;
        try {
            engine->setRemoteHost(host);
            engine->setRemotePort(port);
            engine->setSSLStartMode(sslNone);
            engine->setUser(user);
            engine->setPassword(password);
            engine->setPassive(true);
            engine->setOverwrite(true);
            engine->Logon();
            if (binary)
                engine->setTransferMode(tmBinary);
            engine->setRemoteFile(remoteFile);
            engine->setLocalFile(localFile);
            // Nested wait: the window may close this tab meanwhile; it must wait for us to return.
            engine->Download();
        } catch (const EFtpEngine& e) {
            code = e.Code();
        }
        if (!alive) {
            // The tab went while its engine method ran: the fault the window must prevent.
            s_destroyedWhileBusy = true;
            return;
        }
        failure = code;
        m_busy = false;
        finished = true;
        if (onIdleAgain)
            QTimer::singleShot(0, [cb = onIdleAgain] { cb(); });
    }

    static inline QList<TestRemoteTab*> s_created;
    static inline int s_destroyed = 0;
    static inline bool s_destroyedWhileBusy = false;

    PaneHost* paneHost = nullptr;
    /// The download stands for a listing: the tab is busy without transferring.
    bool listingOnly = false;
    int connects = 0;
    int languageApplied = 0;
    QList<LocalSelection> uploads;
    bool showCaptions = true;
    SiteFields lastSite;
    qint64 transferred = 0;
    int failure = -1;
    bool finished = false;
    std::function<void(qint64)> onProgress;

private:
    QWidget* m_widget;
    RemoteSession* m_session;
    TFtpEngine* m_engine;
    TabLayout m_layout;
    bool m_busy = false;
};

inline RemoteTabFactory testRemoteTabFactory()
{
    return [](const RemoteTabContext& context, QWidget* parent) {
        return std::make_unique<TestRemoteTab>(context, parent);
    };
}

} // namespace skyhaul::test
