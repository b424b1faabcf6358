// View and Edit of remote files: a copy in the temporary folder handed to a program, and for Edit a watcher
// that uploads each save of the copy back to where it came from, through this tab's connection only.
#include "remote/remoteframe.h"

#include "store/configrecord.h"
#include "transfer/direntry.h"
#include "transfer/editwatcher.h"
#include "ui/dialogs/editfileform.h"
#include "ui/errorbox.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QProcess>
#include <QScopeGuard>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

using namespace skyhaul;

void TRemoteFrame::wireEditView()
{
    connect(EditBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::EditBtnClick));
    connect(Edit1, &QAction::triggered, this, handlerFor(&TRemoteFrame::EditBtnClick));
    connect(ViewBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::ViewBtnClick));
    connect(View1, &QAction::triggered, this, handlerFor(&TRemoteFrame::ViewBtnClick));
}

bool TRemoteFrame::downloadCopy(const TrFileObj& entry, const QString& copy)
{
    const QString fileName = entry.FileName; // the listing may go while the copy is fetched
    // A listed size is a floor for the copy in any transfer type (ASCII only adds carriage returns); a
    // link's listed size is the link's own.
    const qint64 listedSize = entry.Attr.startsWith(QLatin1Char('l')) ? -1 : entry.FileSize;
    QPointer<TRemoteFrame> self(this);
    // An Edit of the same file watches this copy: our own download is no save of the user's to send back.
    auto settleWatches = qScopeGuard([self, copy] {
        if (!self)
            return;
        for (TEditFileForm* form : self->findChildren<TEditFileForm*>(Qt::FindDirectChildrenOnly)) {
            if (form->watcher()->watchFile() == copy)
                form->watcher()->acceptCurrentCopy();
        }
    });
    // A copy that did not arrive whole is never left behind to be opened, edited and sent back.
    bool complete = false;
    auto dropIncomplete = qScopeGuard([&complete, copy] {
        if (!complete)
            QFile::remove(copy);
    });
    BusyScope busy(this);
    TransferScope transferring(this);
    FtpEngine->setRemoteFile(fileName);
    FtpEngine->setLocalFile(copy);
    FtpEngine->setStartByte(QStringLiteral("0"));
    // An engine failure leaves for the standard error box.
    const bool downloaded = untilStopped([this] {
        throwIfStopped();
        FtpEngine->Download(); // nested wait
    });
    if (!downloaded || !self)
        return false;
    const qint64 arrived = QFileInfo(copy).size();
    if (listedSize > 0 && arrived < listedSize)
        throw EAppError(IncompleteCopyText.arg(fileName).arg(arrived).arg(listedSize));
    complete = true;
    return true;
}

QString TRemoteFrame::fetchEditCopy(QString* remotePath)
{
    if (refuseWhenBusy())
        return {};
    int first = -1;
    for (const QModelIndex& index : rFileListView->selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    TtrFileList* listing = currentListing();
    const TrFileObj* entry = listing && first >= 0 ? listing->Entry(first) : nullptr;
    if (!entry || entry->IsDir || entry->FileName == QLatin1String(".."))
        return {};
    *remotePath = fullPathOf(entry->FileName);
    // One copy per server, user and remote folder: two files of one name never share a copy.
    const QString connection = FtpEngine->User() + QLatin1Char('@') + FtpEngine->RemoteHost() +
                               QLatin1Char(':') + QString::number(FtpEngine->RemotePort());
    const QString copy = editCopyPath(m_context.tempFolder, connection, *remotePath);
    QDir().mkpath(QFileInfo(copy).path());
    if (!downloadCopy(*entry, copy))
        return {};
    return copy;
}

void TRemoteFrame::ViewBtnClick()
{
    QString remote;
    const QString copy = fetchEditCopy(&remote);
    if (copy.isEmpty())
        return;
    const Editor choice = m_context.config->EditorChoice;
    // Nothing watches a viewed copy; the path is one argument, whatever blanks or quotes it holds.
    const ProgramLaunch launch = editorFor(int(choice), m_context.config->EditorPath, copy);
    if (launch.program.isEmpty()) {
        // The desktop would start nothing and say nothing: say it here.
        showMessage(noProgramMessage(copy));
        return;
    }
    if (choice == Editor::AssociatedProgram) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(copy)))
            showMessage(QStringLiteral("No program could open ") + copy + QLatin1Char('.'));
        return;
    }
    if (!QProcess::startDetached(launch.program, launch.arguments))
        showMessage(launch.program + QStringLiteral(": the program could not be started."));
}

void TRemoteFrame::EditBtnClick()
{
    QString remote;
    const QString copy = fetchEditCopy(&remote);
    if (copy.isEmpty())
        return;
    // Editing the same file again: one watcher per copy, or each save would go up twice.
    for (TEditFileForm* earlier : findChildren<TEditFileForm*>(Qt::FindDirectChildrenOnly)) {
        if (earlier->watcher()->watching() && earlier->watcher()->watchFile() == copy)
            earlier->FormClose();
    }
    auto* form = new TEditFileForm(this, *FtpEngine, copy, remote);
    form->tabIdle = [this] { return !IsBusy(); };
    form->asTabAction = [this](const std::function<void()>& upload) {
        // Busy while the copy goes up: nothing else starts on the engine, and the tab is not closed under it.
        BusyScope busy(this, false);
        TransferScope transferring(this);
        upload(); // nested wait
    };
    connect(form, &TEditFileForm::uploaded, this, &TRemoteFrame::editCopyUploaded);
    connect(form, &TEditFileForm::uploaded, this, [this](const QString& remotePath) {
        // Every tab on this server that shows the file's folder, this one too, lists it again once idle.
        const qsizetype slash = remotePath.lastIndexOf(QLatin1Char('/'));
        tellRemoteFolderChanged(folderRef(slash > 0 ? remotePath.left(slash) : QStringLiteral("/")), false);
    });
    QString why;
    if (!form->startEditor(editorFor(int(m_context.config->EditorChoice), m_context.config->EditorPath, copy),
                           &why))
        showMessage(why);
}

void TRemoteFrame::endEditWatches()
{
    for (TEditFileForm* form : findChildren<TEditFileForm*>(Qt::FindDirectChildrenOnly))
        form->FormClose();
}
