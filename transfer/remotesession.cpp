#include "transfer/remotesession.h"

#include "transfer/connectionevent.h"
#include "transfer/direntry.h"

#include <QCoreApplication>
#include <QDate>
#include <QHostAddress>
#include <QScopeGuard>

namespace skyhaul {

int RemoteSession::s_sessionsInAction = 0;

QString normalRemotePath(const QString& path)
{
    const QStringList names = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

bool sameHost(const QString& a, const QString& b)
{
    // An IPv6 address may be typed with or without the brackets a URL puts around it.
    auto address = [](const QString& host, QHostAddress& result) {
        QString text = host.trimmed();
        if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
            text = text.mid(1, text.size() - 2);
        return result.setAddress(text);
    };
    QHostAddress first;
    QHostAddress second;
    if (address(a, first) && address(b, second))
        return first == second;
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

RemoteSession::RemoteSession(QObject* parent) : QObject(parent)
{
    // Deleted by the destructor, before whatever its handlers reach.
    m_engine = new TFtpEngine(this);
    m_engine->setFirewallPort(80);
    m_engine->setOverwrite(true);
    m_engine->setSSLCertStore(QByteArrayLiteral("MY"));
    m_engine->setSSLStartMode(sslNone);
    m_engine->setTimeout(600);
    m_engine->setTransferMode(tmBinary);
    wireEngine();
}

RemoteSession::~RemoteSession()
{
    // Should a session go in the middle of an action, the count of sessions in an action must not keep
    // every keep-alive off for good.
    if (m_busyDepth > 0)
        --s_sessionsInAction;
    m_busyDepth = 0;
    silenceEngine();
    m_listingTarget = nullptr;
    m_currentNode = nullptr;
    m_nodes.clear();
    m_tree.clear();
    delete m_engine;
    m_engine = nullptr;
}

void RemoteSession::silenceEngine()
{
    m_engine->OnConnectionStatus = nullptr;
    m_engine->OnDirList = nullptr;
    m_engine->OnEndTransfer = nullptr;
    m_engine->OnError = nullptr;
    m_engine->OnPITrail = nullptr;
    m_engine->OnSSLServerAuthentication = nullptr;
    m_engine->OnSSLStatus = nullptr;
    m_engine->OnStartTransfer = nullptr;
    m_engine->OnTransfer = nullptr;
}

void RemoteSession::wireEngine()
{
    m_engine->OnConnectionStatus = [this](const QString& connectionEvent, int, const QString&) {
        switch (connectionEventOf(connectionEvent)) {
        case ConnectionEvent::Connected:
            Q_EMIT connected();
            break;
        case ConnectionEvent::Disconnected:
            Q_EMIT disconnected();
            break;
        case ConnectionEvent::Other:
            break; // failures reach the caller through the exception of the method
        }
    };
    m_engine->OnDirList = [this](const QString& dirEntry, const QString& fileName, bool isDir,
                                 qint64 fileSize, const QString& fileTime) {
        dirListEntry(dirEntry, fileName, isDir, fileSize, fileTime);
    };
    m_engine->OnSSLServerAuthentication = [this](const QByteArray&, const QString& subject,
                                                 const QString& issuer, const QString& status, bool& accept) {
        if (accept)
            return;
        accept = m_questions && m_questions->acceptCertificate(subject, issuer, status); // nested modal
    };
}

// ---- Connection values ----

RemoteFolderRef RemoteSession::folderRef(const QString& path) const
{
    return {m_engine->RemoteHost(), m_engine->RemotePort(), m_engine->User(), normalRemotePath(path)};
}

void RemoteSession::changeTransferMode(int type)
{
    BusyScope busy(this, false);
    m_engine->setTransferMode(engineModeOf(type)); // nested wait
    m_transType = type;
}

TFTPTransferModes RemoteSession::engineModeOf(int transType)
{
    return transType == tmDefault ? tmBinary : TFTPTransferModes(transType);
}

// ---- The folder tree ----

QString RemoteSession::fullPathOf(const QString& name) const
{
    return m_currentPath == QLatin1String("/") ? m_currentPath + name
                                               : m_currentPath + QLatin1Char('/') + name;
}

FolderNode* RemoteSession::setRoot(const QString& caption)
{
    clearTree();
    FolderNode* root = m_tree.setRoot(caption);
    m_nodes.insert(root);
    Q_EMIT nodeAdded(root);
    return root;
}

FolderNode* RemoteSession::addFolder(FolderNode* parent, const QString& name)
{
    FolderNode* child = parent->addChild(name);
    m_nodes.insert(child);
    Q_EMIT nodeAdded(child);
    return child;
}

void RemoteSession::removeFolder(FolderNode* node)
{
    if (!holds(node) || node->isRoot())
        return;
    FolderNode* parent = node->parent();
    std::function<void(FolderNode*)> forget = [&](FolderNode* n) {
        for (int i = 0; i < n->childCount(); ++i)
            forget(n->child(i));
        m_nodes.remove(n);
        if (m_currentNode == n)
            m_currentNode = parent;
        if (m_listingTarget && m_listingTarget == n->listing())
            m_listingTarget = nullptr;
    };
    forget(node);
    parent->removeChild(node);
}

void RemoteSession::clearTree()
{
    m_listingTarget = nullptr;
    m_currentNode = nullptr;
    m_nodes.clear();
    m_tree.clear();
    Q_EMIT listingsChanged();
}

// ---- Busy and stop ----

bool RemoteSession::isBusy() const
{
    return m_busyDepth > 0 || !m_engine->Idle();
}

RemoteSession::BusyScope::BusyScope(RemoteSession* session, bool disableActions)
    : m_session(session), m_disable(disableActions)
{
    if (session->m_busyDepth++ == 0) {
        // A new action: a stop belongs to the action it was given in.
        session->m_stopRequested = false;
        ++s_sessionsInAction;
    }
    if (m_disable && session->m_actionsDisabledDepth++ == 0)
        Q_EMIT session->actionsDisabled();
}

RemoteSession::BusyScope::~BusyScope()
{
    if (!m_session)
        return;
    if (m_disable && --m_session->m_actionsDisabledDepth == 0)
        Q_EMIT m_session->actionsEnabled();
    if (m_session)
        m_session->leaveBusy();
}

void RemoteSession::leaveBusy()
{
    if (--m_busyDepth > 0)
        return;
    --s_sessionsInAction;
    // Delivered from the event loop, so whoever closes the tab on it does so after every frame of the
    // action has returned.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!isBusy())
                Q_EMIT idleAgain();
        },
        Qt::QueuedConnection);
}

void RemoteSession::stop()
{
    m_stopRequested = true;
    m_engine->Interrupt();
    Q_EMIT stopped();
}

void RemoteSession::throwIfStopped() const
{
    if (m_stopRequested)
        throw ActionStopped();
}

bool RemoteSession::isUserStop(const std::exception_ptr& error, const QPointer<RemoteSession>& session)
{
    try {
        std::rethrow_exception(error);
    } catch (const ActionStopped&) {
        return true;
    } catch (const EFtpEngine&) {
        // The method the stop interrupted fails with "Interrupted." (or whatever the broken exchange gave).
        return !session || session->m_stopRequested;
    } catch (...) {
        return false;
    }
}

bool RemoteSession::untilStopped(const std::function<void()>& steps)
{
    QPointer<RemoteSession> self(this);
    try {
        steps();
        return true;
    } catch (...) {
        if (!isUserStop(std::current_exception(), self))
            throw;
        return false;
    }
}

// ---- Connect and logon ----

LogonOutcome RemoteSession::logOn(const ConnectSettings& settings)
{
    QPointer<RemoteSession> self(this);
    m_host = settings.host;
    m_user = settings.user;
    m_password = settings.password;
    m_connectYear = QString::number(QDate::currentDate().year());

    m_engine->setRemoteHost(settings.host);
    m_engine->setUser(settings.user);
    m_engine->setPassword(settings.password);
    m_engine->setRemotePort(settings.port);
    m_engine->setSSLStartMode(settings.sslMode);
    m_engine->setPassive(settings.passive);
    m_engine->setNameEncoding(settings.nameEncoding);
    m_engine->setUseMLSD(settings.useMlsd);
    m_engine->setKeepFileTimes(settings.keepFileTimes);
    m_engine->setListHidden(settings.listHidden);

    bool loggedOn = false;
    bool cancelled = false;
    while (!loggedOn && !cancelled) {
        try {
            throwIfStopped();
            m_engine->Logon(); // nested wait
            loggedOn = true;
        } catch (const EFtpEngine& e) {
            if (!self)
                return LogonOutcome::Gone;
            // Stop (or a closing tab) during the logon ends it; the logon question is for refusals.
            if (m_stopRequested) {
                cancelled = true;
                continue;
            }
            if (m_questions)
                m_questions->logError(e.Message());
            if (!self)
                return LogonOutcome::Gone;
            QString user = m_user;
            QString password;
            const bool again = m_questions && m_questions->askLogon(m_host, user, password); // nested modal
            if (!self)
                return LogonOutcome::Gone;
            if (again) {
                m_engine->setUser(user);
                m_engine->setPassword(password);
            } else {
                cancelled = true;
            }
        }
    }

    if (cancelled) {
        m_engine->setConnected(false);
        return self ? LogonOutcome::Cancelled : LogonOutcome::Gone;
    }
    throwIfStopped();
    switch (m_transType) {
    case tmDefault:
        // The logon has sent TYPE I already when the engine was binary before.
        if (m_engine->TransferMode() != tmBinary)
            m_engine->setTransferMode(tmBinary); // nested wait
        break;
    case tmASCII:
    case tmBinary:
        m_engine->setTransferMode(TFTPTransferModes(m_transType)); // nested wait
        break;
    default:
        break; // a value from the tab layout file that names no mode changes nothing
    }
    return self ? LogonOutcome::LoggedOn : LogonOutcome::Gone;
}

bool RemoteSession::keepAlive(bool modalWindowOpen)
{
    // Only from the top of the event loop: inside a question's loop or below an engine wait (this session's
    // or another's) the NOOP would stack a wait of its own onto theirs.
    if (!m_engine->Connected() || !m_engine->Idle() || m_busyDepth > 0 || s_sessionsInAction > 0 ||
        modalWindowOpen)
        return false;
    BusyScope busy(this, false);
    untilStopped([this] { m_engine->setCommand(QStringLiteral("NOOP")); }); // nested wait
    return true;
}

// ---- Listing ----

void RemoteSession::dirListEntry(const QString& dirEntry, const QString& fileName, bool isDir,
                                 qint64 fileSize, const QString& fileTime)
{
    if (fileName == QLatin1String(".") || fileName == QLatin1String(".."))
        return;
    // The listing the opening under way asked for, even if the views moved meanwhile.
    TtrFileList* listing =
        m_listingTarget ? m_listingTarget : (m_currentNode ? m_currentNode->listing() : nullptr);
    if (!listing)
        return;
    auto entry = listedEntry(dirEntry, fileName, isDir, fileSize, fileTime, m_connectYear);
    entry->FullPath = fullPathOf(entry->FileName);
    entry->IconIndex = -1;
    listing->Add(std::move(entry));
}

void RemoteSession::addParentEntry()
{
    TtrFileList* listing = m_currentNode ? m_currentNode->listing() : nullptr;
    if (!listing || m_currentNode->isRoot())
        return;
    auto entry = std::make_unique<TrFileObj>();
    entry->FileName = QStringLiteral("..");
    entry->FullPath = m_currentPath + QStringLiteral("/..");
    entry->IsDir = true;
    entry->Node = m_currentNode->parent();
    listing->Add(std::move(entry));
}

FolderOpening RemoteSession::openFolder(FolderNode* node)
{
    QPointer<RemoteSession> self(this);
    const quint64 generation = m_tree.generation();
    // After every nested wait: the session may be gone, or a disconnect may have removed every node.
    auto nodeAlive = [&] { return self && generation == m_tree.generation(); };
    FolderOpening result;
    FolderOpening gone;
    gone.gone = true;
    auto targetOff = qScopeGuard([&] {
        if (self)
            m_listingTarget = nullptr;
    });

    m_engine->setRemoteFile(QString());
    m_currentNode = node;
    if (node->listing()) {
        throwIfStopped();
        m_engine->setRemotePath(node->path()); // nested wait
        if (!nodeAlive())
            return gone;
        throwIfStopped();
        const QString path = m_engine->RemotePath(); // nested wait
        if (!nodeAlive())
            return gone;
        m_currentPath = path;
        return result;
    }

    TtrFileList& listing = node->startListing();
    Q_EMIT listingsChanged();
    throwIfStopped();
    m_engine->ProcessEvents(); // nested wait
    if (!nodeAlive())
        return gone;
    m_engine->Interrupt();
    m_engine->setRemoteFile(QString());
    m_currentPath = node->path();
    throwIfStopped();
    m_engine->setRemotePath(m_currentPath); // nested wait
    if (!nodeAlive())
        return gone;
    addParentEntry();
    m_listingTarget = &listing;
    result.listed = true;
    try {
        throwIfStopped();
        m_engine->ListDirectory(); // nested wait
    } catch (const EFtpEngine& e) {
        // A failed listing keeps what arrived before the failure; a walk does not trust it.
        result.complete = false;
        result.error = e.Message();
    } catch (const ActionStopped&) {
        result.complete = false;
        result.error = QStringLiteral("Interrupted.");
    }
    if (!nodeAlive())
        return gone;
    m_listingTarget = nullptr;
    listing.Sort(m_order->SortColumn, m_order->SortDescending);

    bool anyFolder = false;
    for (int i = 0; i < listing.Count(); ++i) {
        TrFileObj* entry = listing.Entry(i);
        if (!entry->IsDir || entry->isParentEntry())
            continue;
        anyFolder = true;
        FolderNode* child = node->exactChild(entry->FileName);
        if (!child)
            child = addFolder(node, entry->FileName);
        entry->Node = child;
    }
    node->setMayHaveChildren(anyFolder);
    Q_EMIT folderListed(node);
    return result;
}

RemoteFolderListing RemoteSession::listForWalk(FolderNodeHandle handle, const QString& path,
                                               quint64 generation)
{
    auto gone = [] {
        return RemoteFolderListing{nullptr, false, QStringLiteral("the connection was closed")};
    };
    if (generation != m_tree.generation())
        return gone();
    auto* node = static_cast<FolderNode*>(const_cast<void*>(handle));
    if (!holds(node)) {
        // Only names as they were listed: "Docs" never stands for "docs".
        node = rootNode() ? rootNode()->exactDescendant(path) : nullptr;
        if (!node)
            return {nullptr, false, QStringLiteral("the folder is not in the folder tree")};
    }
    const bool hadListing = node->listing();
    QPointer<RemoteSession> self(this);
    FolderOpening opened;
    try {
        BusyScope busy(this, false);
        opened = openFolder(node); // nested waits: lists the folder when it has no listing yet
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        if (!isUserStop(failure, self)) {
            try {
                std::rethrow_exception(failure);
            } catch (const EFtpEngine& e) {
                if (!self || generation != m_tree.generation())
                    return gone();
                if (!hadListing)
                    node->dropListing();
                return {nullptr, false, e.Message()};
            }
        }
        // A stopped opening is no failure of the folder; the walk sees the stop before its next folder. A
        // listing it had begun is not whole.
        opened.complete = hadListing;
    }
    if (self) {
        QCoreApplication::processEvents(); // nested: pending window messages, as after an opening by the user
        if (self && !opened.gone && generation == m_tree.generation())
            Q_EMIT walkedInto(node);
    }
    if (!self || opened.gone || generation != m_tree.generation())
        return gone();
    if (!node->listing())
        return {nullptr, false, QStringLiteral("the folder could not be opened")};
    if (!opened.complete || m_currentNode != node) {
        // What arrived is not the whole folder: not walked, and listed afresh when it is opened again.
        if (!hadListing) {
            node->dropListing();
            Q_EMIT listingsChanged();
        }
        return {nullptr, false, QStringLiteral("the listing failed")};
    }
    return {node->listing(), true, {}};
}

} // namespace skyhaul
