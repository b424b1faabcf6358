#pragma once

#include "transfer/editwatcher.h"
#include "ui/infoform.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class TFtpEngine;

namespace skyhaul {

/**
 * The hidden form of one edited remote file (never shown; owned by the remote tab, which ends it when it
 * disconnects and deletes it when it closes). It holds the watcher of the copy, shows the "Transfering "
 * panel while a saved copy goes up, and reports a failed upload in the standard error box once the panel
 * has gone. It frees itself when its watch ends.
 */
class TEditFileForm : public QWidget {
    Q_OBJECT
public:
    TEditFileForm(QWidget* tab, TFtpEngine& engine, const QString& watchFile, const QString& watchRemote);
    ~TEditFileForm() override;

    /// Whether the tab leaves the engine to the watcher now (it is idle).
    std::function<bool()> tabIdle;
    /// Runs an upload as an action of the tab (its busy state); default: runs it as it is.
    std::function<void(const std::function<void()>& upload)> asTabAction;

    EditWatcher* watcher() const { return m_watcher; }
    /// Starts the program and the watch; false with the reason when the program cannot start (the form
    /// then frees itself).
    bool startEditor(const ProgramLaunch& launch, QString* why);
    /// Ends the watch; the form frees itself from the event loop.
    void FormClose();
    /// The panel of the upload under way, or nullptr.
    TInfoForm* panel() const { return m_panel; }

Q_SIGNALS:
    /// A saved copy went up to the server.
    void uploaded(const QString& remotePath);

private:
    EditWatcher* m_watcher;
    QPointer<TInfoForm> m_panel;
};

} // namespace skyhaul
