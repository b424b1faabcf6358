#include "app/mainwindow/remotetab.h"

#include "app/core/texts.h"
#include "engine/component/ftpengine.h"

#include <QAction>
#include <QLabel>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#ifdef SKYHAUL_HAVE_REMOTE_FRAME
#include "remote/remoteframe.h"
#include "remote/remoteshared.h"
#endif

namespace skyhaul {

void RemoteTab::interrupt()
{
    if (TFtpEngine* e = engine())
        e->Interrupt();
}

void setButtonCaptions(QWidget* root, const QStringList& names, bool show)
{
    const Qt::ToolButtonStyle style = show ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly;
    for (const QString& name : names) {
        for (QToolButton* button : root->findChildren<QToolButton*>(name))
            button->setToolButtonStyle(style);
        for (QAction* action : root->findChildren<QAction*>(name))
            for (QObject* user : action->associatedObjects())
                if (auto* toolbar = qobject_cast<QToolBar*>(user))
                    if (auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(action)))
                        button->setToolButtonStyle(style);
    }
}

namespace {

// Stands in for the remote tab in a build without it: the pane still has its remote sheet, keeps the
// sheet's saved fields and has an engine that is never connected.
class UnavailableRemoteTab : public RemoteTab {
public:
    explicit UnavailableRemoteTab(QWidget* parent) : m_widget(new QWidget(parent))
    {
        m_widget->setObjectName(QStringLiteral("RemoteFrame"));
        m_engine = new TFtpEngine(m_widget);
        auto* label = new QLabel(QStringLiteral("Remote tabs are not part of this build."), m_widget);
        label->setAlignment(Qt::AlignCenter);
        auto* layout = new QVBoxLayout(m_widget);
        layout->addWidget(label);
        m_layout = TabLayout::ofKind(TabLayout::Kind::Remote);
    }
    QWidget* widget() const override { return m_widget; }
    void setPaneHost(PaneHost*) override {}
    TabLayout layout() const override { return m_layout; }
    void applyLayout(const TabLayout& layout) override { m_layout = layout; }
    void connectToServer() override {}
    void connectToSite(const SiteFields& site) override
    {
        m_layout.host = site.host;
        m_layout.user = site.user;
        m_layout.port = site.port;
        m_layout.ssl = site.sslIndex;
        m_layout.passive = site.passive;
    }
    TFtpEngine* engine() const override { return m_engine; }
    bool isBusy() const override { return false; }
    void applyLanguage(const Texts&) override {}
    void setShowCaptions(bool) override {}

private:
    QWidget* m_widget;
    TFtpEngine* m_engine;
    TabLayout m_layout;
};

#ifdef SKYHAUL_HAVE_REMOTE_FRAME
class RemoteFrameTab : public RemoteTab {
public:
    explicit RemoteFrameTab(QWidget* parent) : m_frame(new TRemoteFrame(parent))
    {
        QObject::connect(m_frame, &TRemoteFrame::captionChanged, m_frame, [this](const QString& caption) {
            if (onCaptionChanged)
                onCaptionChanged(caption);
        });
        QObject::connect(m_frame, &TRemoteFrame::idleAgain, m_frame, [this] {
            if (onIdleAgain)
                onIdleAgain();
        });
    }
    QWidget* widget() const override { return m_frame; }
    void setPaneHost(PaneHost* host) override { m_frame->setPaneHost(host); }
    TabLayout layout() const override { return m_frame->layout(); }
    void applyLayout(const TabLayout& layout) override { m_frame->applyLayout(layout); }
    void connectToServer() override { m_frame->Connect(); }
    void connectToSite(const SiteFields& site) override
    {
        m_frame->setConnectionFields(site.host, site.user, site.password, site.port, site.sslIndex,
                                     site.passive);
        m_frame->StartPath = site.startPath;
        m_frame->ConnectBtnClick();
    }
    TFtpEngine* engine() const override { return m_frame->FtpEngine; }
    bool isBusy() const override { return m_frame->IsBusy(); }
    // Stop also ends a run of several files, not only the method running now.
    void interrupt() override { m_frame->StopBtnClick(); }
    // The tab reads the language file itself, from the folder shareWithRemoteTabs() named.
    void applyLanguage(const Texts&) override { m_frame->applyLanguage(); }
    void setShowCaptions(bool show) override { m_frame->setShowCaptions(show); }

private:
    TRemoteFrame* m_frame;
};
#endif

} // namespace

void shareWithRemoteTabs(const QString& appFolder, const QString& tempFolder, TSiteManList* quickConnectList)
{
#ifdef SKYHAUL_HAVE_REMOTE_FRAME
    RemoteShared& shared = remoteShared();
    shared.appFolder = appFolder;
    shared.tempFolder = tempFolder;
    shared.quickConnectList = quickConnectList;
#else
    Q_UNUSED(appFolder)
    Q_UNUSED(tempFolder)
    Q_UNUSED(quickConnectList)
#endif
}

RemoteTabFactory defaultRemoteTabFactory()
{
    return [](QWidget* parent) -> std::unique_ptr<RemoteTab> {
#ifdef SKYHAUL_HAVE_REMOTE_FRAME
        return std::make_unique<RemoteFrameTab>(parent);
#else
        return std::make_unique<UnavailableRemoteTab>(parent);
#endif
    };
}

} // namespace skyhaul
