#include "app/mainwindow/remotetab.h"

#include "engine/component/ftpengine.h"
#include "remote/remoteframe.h"
#include "store/texts.h"

#include <QAction>
#include <QToolBar>
#include <QToolButton>

namespace skyhaul {

void RemoteTab::interrupt()
{
    if (TFtpEngine* e = engine())
        e->Interrupt();
}

void RemoteTab::uploadFromLocalTab(const LocalSelection&) {}

void RemoteTab::rebuildQuickConnectMenu() {}

void RemoteTab::reloadFavorites() {}

bool RemoteTab::isTransferring() const
{
    return false;
}

void RemoteTab::remoteFolderChanged(const RemoteFolderRef&) {}

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

class RemoteFrameTab : public RemoteTab {
public:
    RemoteFrameTab(const RemoteTabContext& context, QWidget* parent)
        : m_frame(new TRemoteFrame(context, parent))
    {
        m_connections[0] =
            QObject::connect(m_frame, &TRemoteFrame::captionChanged, m_frame, [this](const QString& caption) {
                if (onCaptionChanged)
                    onCaptionChanged(caption);
            });
        m_connections[1] = QObject::connect(m_frame, &TRemoteFrame::idleAgain, m_frame, [this] {
            if (onIdleAgain)
                onIdleAgain();
        });
    }
    ~RemoteFrameTab() override
    {
        // The sheet drops this holder before it deletes the tab's widget: nothing the tab still sends may
        // reach the holder after it is gone.
        for (const QMetaObject::Connection& connection : m_connections)
            QObject::disconnect(connection);
    }
    QWidget* widget() const override { return m_frame; }
    TabLayout layout() const override { return m_frame->layout(); }
    void applyLayout(const TabLayout& layout) override { m_frame->applyLayout(layout); }
    void connectToServer() override { m_frame->Connect(); }
    void connectToSite(const SiteFields& site) override
    {
        m_frame->setConnectionFields(site.host, site.user, site.password, site.port, site.sslMode,
                                     site.passive, site.nameEncoding);
        m_frame->setStartPath(site.startPath);
        m_frame->ConnectBtnClick();
    }
    TFtpEngine* engine() const override { return m_frame->engine(); }
    RemoteSession* session() const override { return m_frame->session(); }
    bool isBusy() const override { return m_frame->IsBusy(); }
    bool isTransferring() const override { return m_frame->IsTransferring(); }
    // Stop also ends a run of several files, not only the method running now.
    void interrupt() override { m_frame->StopBtnClick(); }
    void uploadFromLocalTab(const LocalSelection& selection) override
    {
        m_frame->UploadFromLocalTab(selection);
    }
    void applyLanguage(const Texts& texts) override { m_frame->applyLanguage(texts); }
    void setShowCaptions(bool show) override { m_frame->setShowCaptions(show); }
    void rebuildQuickConnectMenu() override { m_frame->BuildQuickConnectMenu(); }
    void reloadFavorites() override { m_frame->ReloadFavorites(); }
    void remoteFolderChanged(const RemoteFolderRef& folder) override { m_frame->remoteFolderChanged(folder); }

private:
    TRemoteFrame* m_frame;
    QMetaObject::Connection m_connections[2];
};

} // namespace

RemoteTabFactory defaultRemoteTabFactory()
{
    return [](const RemoteTabContext& context, QWidget* parent) -> std::unique_ptr<RemoteTab> {
        return std::make_unique<RemoteFrameTab>(context, parent);
    };
}

} // namespace skyhaul
