// Server-to-server copies: the selected rows of this tab go straight to the server of the remote tab active
// in the other pane. That tab's session is kept busy and guarded while its engine serves the copy.
#include "remote/remoteframe.h"

#include "transfer/transferplanner.h"
#include "transfer/transferrun.h"

using namespace skyhaul;

void TRemoteFrame::copyToServer(RemoteSession* destinationSession)
{
    QPointer<RemoteSession> destination(destinationSession);
    if (!destination || destination == m_session)
        return;
    auto usable = [&] {
        if (!destination || !destination->engine()->Connected()) {
            // Its engine would log on again behind the tab's back.
            showMessage(QStringLiteral("The remote tab in the other pane is not connected."));
            return false;
        }
        if (destination->isBusy()) {
            showMessage(
                QStringLiteral("The remote tab in the other pane is busy. Wait until its operation has "
                               "ended, or stop it."));
            return false;
        }
        return true;
    };
    if (!usable())
        return;
    TotalBytes = 0;
    QPointer<TRemoteFrame> self(this);
    if (!askYesNo(QStringLiteral("Do you want to download selected file(s)?")) || !self)
        return;
    if (!usable()) // the question's loop let anything happen
        return;

    BusyScope busy(this);
    // The other tab can neither browse, nor disconnect, nor close until the copy has ended (its session's
    // busy state turns its actions off); its Stop stops it.
    RemoteSession::BusyScope destinationBusy(destination);
    const QMetaObject::Connection stopFromThere =
        connect(destination, &RemoteSession::stopped, this, [this] { StopBtnClick(); });
    auto unhook = qScopeGuard([stopFromThere] { QObject::disconnect(stopFromThere); });

    TFtpEngine* other = destination->engine();
    const QString destinationPath = other->RemotePath(); // nested wait: PWD
    const QString target = QStringLiteral("ftp://") + other->User() + QLatin1Char('@') + other->RemoteHost() +
                           QLatin1Char('/') + destinationPath;
    throwIfStopped();
    // Closing the destination tab during the copy asks first, as closing this one does.
    RemoteSession::TransferScope destinationTransferring(destination);
    auto idle = progressBackToZero();
    TransferPlanner planner(m_queue);
    const QString base = planSelectedRows(planner, target);
    transferRun()->postRetrieve = [this](const QString& rel, quint64 ticket) {
        QMetaObject::invokeMethod(
            this, [this, rel, ticket] { WMFxpRetrieve(rel, ticket); }, Qt::QueuedConnection);
    };
    // Every tab on the destination server sees what arrived, also after a stop or a failure.
    auto tell = qScopeGuard([this, self, changed = destination->folderRef(destinationPath)] {
        if (self)
            tellRemoteFolderChanged(changed, false);
    });
    runQueue([this, base, engine = QPointer<TFtpEngine>(other)] {
        if (engine)
            transferRun()->RunDownloadQueue(base, engine); // nested waits on both engines
    });
}

void TRemoteFrame::WMFxpRetrieve(const QString& rel, quint64 ticket)
{
    handle([&] { transferRun()->WMFxpRetrieve(rel, ticket); });
}
