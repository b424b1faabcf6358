#include "ui/dialogs/editfileform.h"

#include "ui/errorbox.h"
#include "ui/infoform.h"

#include <QFileInfo>
#include <QScopeGuard>

namespace skyhaul {

TEditFileForm::TEditFileForm(QWidget* tab, TFtpEngine& engine, const QString& watchFile,
                             const QString& watchRemote)
    : QWidget(tab), m_watcher(new EditWatcher(engine, watchFile, watchRemote, this))
{
    setObjectName(QStringLiteral("EditFileForm"));
    hide();
    m_watcher->canUpload = [this] { return tabIdle ? tabIdle() : true; };
    m_watcher->runUpload = [this](const std::function<void()>& upload) {
        auto withPanel = [this, &upload] {
            QPointer<TEditFileForm> self(this);
            m_panel = new TInfoForm(this);
            m_panel->setInfo(QStringLiteral("Transfering ") + QFileInfo(m_watcher->watchFile()).fileName());
            m_panel->showCentred();
            auto freePanel = qScopeGuard([this, self] {
                if (self)
                    delete m_panel.data();
            });
            upload(); // nested wait
        };
        if (asTabAction)
            asTabAction(withPanel);
        else
            withPanel();
    };
    m_watcher->uploadFailed = [](const QString& message) { showStandardErrorBox(message); };
    connect(m_watcher, &EditWatcher::uploaded, this, &TEditFileForm::uploaded);
    connect(m_watcher, &EditWatcher::ended, this, &QObject::deleteLater);
}

TEditFileForm::~TEditFileForm() = default;

bool TEditFileForm::startEditor(const ProgramLaunch& launch, QString* why)
{
    if (m_watcher->startEditor(launch, why))
        return true;
    deleteLater();
    return false;
}

void TEditFileForm::FormClose()
{
    m_watcher->endWatch(); // frees the form from the event loop
}

} // namespace skyhaul
