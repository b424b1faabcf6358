#pragma once

#include "engine/component/ftpengine.h"
#include "transfer/foldertree.h"
#include "transfer/remotelister.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <exception>
#include <functional>

namespace skyhaul {

/// A folder on a server as tabs compare it: the server's host (letters in any case), port and user, and the
/// folder's path ("/" for the root, "/a/b" below it).
/// True when both texts name the same host: a name in any letter case, an IP address in any written form
/// ("::1", "[::1]" and "0:0::1" are one host).
bool sameHost(const QString& a, const QString& b);

struct RemoteFolderRef {
    QString host;
    int port = 21;
    QString user;
    QString path;

    /// True when both name the same server and user, whatever the path.
    bool sameServer(const RemoteFolderRef& other) const
    {
        return sameHost(host, other.host) && port == other.port && user == other.user;
    }
};

/// "/" for the root, "/a/b" below it: no trailing "/", no empty names.
QString normalRemotePath(const QString& path);

/// What a connect is given: the connect fields of a remote tab.
struct ConnectSettings {
    QString host;
    int port = 21;
    QString user;
    QString password;
    TSSLStartMode sslMode = sslNone;
    bool passive = true;
    /// The site's choice of name encoding.
    TNameEncoding nameEncoding = neAuto;
    /// Configuration choices that shape the protocol (see the engine's properties of the same names).
    bool useMlsd = true;
    bool keepFileTimes = true;
    bool listHidden = false;
};

/// How a connect ended.
enum class LogonOutcome {
    LoggedOn,  ///< logged on, the transfer type set
    Cancelled, ///< the user gave up at the logon question, or stopped: the connection is closed
    Gone,      ///< the session was destroyed while it waited
};

/// What opening a folder did.
struct FolderOpening {
    bool gone = false;    ///< the session, or every node, went while it waited: touch nothing
    bool listed = false;  ///< the folder was listed now (it had no listing)
    bool complete = true; ///< the listing made now arrived whole
    QString error;        ///< why it is not complete
};

/**
 * One remote connection without widgets: the engine, the folder tree with its cached listings, the current
 * folder, the connection values, the busy and stop discipline of the actions, the connect and logon
 * sequence, and the listing of folders. A remote tab shows it and forwards the user's actions to it; tests
 * drive it against a server with no window.
 *
 * The engine's methods are synchronous and run the event loop while they wait, so anything may happen in
 * the middle of a method of this class, the session's destruction included; each method checks that it is
 * still alive after each wait.
 */
class RemoteSession : public QObject {
    Q_OBJECT
public:
    /// What the session asks of the user; the tab answers with its dialogs, tests with stand-ins.
    class Questions {
    public:
        virtual ~Questions() = default;
        /// The logon was refused with this text (already written to the log): another user and password,
        /// or false to give up.
        virtual bool askLogon(const QString& host, QString& user, QString& password) = 0;
        /// The server's certificate did not pass the check: true to trust it for this connection.
        virtual bool acceptCertificate(const QString& subject, const QString& issuer,
                                       const QString& status) = 0;
        /// A red line of the log.
        virtual void logError(const QString& text) = 0;
    };

    /// Ends the remaining steps of an action that the user stopped.
    struct ActionStopped {};

    explicit RemoteSession(QObject* parent = nullptr);
    ~RemoteSession() override;
    /// Drops every handler of the engine's events. The engine may report its closing connection while it is
    /// destroyed: nothing half-destroyed (the session, or the tab that set handlers of its own) may hear it.
    void silenceEngine();

    /// Never null while the session exists.
    TFtpEngine* engine() const { return m_engine; }
    void setQuestions(Questions* questions) { m_questions = questions; }

    // ---- Connection values ----

    QString host() const { return m_host; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    /// The year when the connection was made, for listing dates without one.
    QString connectYear() const { return m_connectYear; }
    /// TFTPTransferModes as the tab layout file stores it; any other number changes nothing at logon.
    /// "Auto" (tmDefault) moves every file as binary: the engine is set to tmBinary for it.
    int transType() const { return m_transType; }
    void setTransType(int type) { m_transType = type; }
    /// Sets the transfer mode on the server; the type is kept only when it was set.
    void changeTransferMode(int type);
    /// The engine's mode for a transfer type: the server's default type is ASCII on most servers, which
    /// changes line ends (and refuses SIZE), so "Auto" is binary.
    static TFTPTransferModes engineModeOf(int transType);
    /// This session's server and user with a folder's path.
    RemoteFolderRef folderRef(const QString& path) const;

    // ---- The folder tree ----

    FolderTree& tree() { return m_tree; }
    FolderNode* rootNode() const { return m_tree.root(); }
    /// The folder the last opening reached.
    FolderNode* currentNode() const { return m_currentNode; }
    /// Its path as the server said it.
    QString currentPath() const { return m_currentPath; }
    /// The full remote path of an entry of the current folder.
    QString fullPathOf(const QString& name) const;
    /// A fresh tree with only the root ("/") under this caption.
    FolderNode* setRoot(const QString& caption);
    /// A folder below parent, told with nodeAdded().
    FolderNode* addFolder(FolderNode* parent, const QString& name);
    /// Removes a folder (not the root) and everything below it; the current folder moves to its parent.
    void removeFolder(FolderNode* node);
    /// Drops every node and listing.
    void clearTree();
    /// True for a node of the current tree (not yet removed).
    bool holds(const FolderNode* node) const { return node && m_nodes.contains(node); }
    /// The listing the listing events fill now, or nullptr.
    const TtrFileList* listingTarget() const { return m_listingTarget; }
    /// The order new listings are sorted in; the tabs of a window share one. Never null; the session's own
    /// (by name, ascending) until one is set.
    void setListingOrder(const ListingOrder* order) { m_order = order ? order : &m_ownOrder; }

    // ---- Busy and stop ----

    /// True while an action runs (a BusyScope lives) or the engine waits for the server.
    bool isBusy() const;
    /// True while files move: a queue run, a copy for View or Edit, an edited copy going up.
    bool isTransferring() const { return m_transferDepth > 0; }
    bool stopRequested() const { return m_stopRequested; }
    /// True while a busy scope that disables the views' actions lives.
    bool actionsOff() const { return m_actionsDisabledDepth > 0; }
    /// Stops the action under way: the running engine method fails at its next wait and no further one
    /// starts.
    void stop();
    /// Throws ActionStopped once the user stopped the action under way. Called before every engine method of
    /// an action: the engine takes an interrupt only while one of its methods runs, so a stop that lands
    /// between two methods would otherwise be lost.
    void throwIfStopped() const;
    /// True for the exceptions a stopped action ends with: ActionStopped, and any engine failure once the
    /// user stopped the action or the session is gone.
    static bool isUserStop(const std::exception_ptr& error, const QPointer<RemoteSession>& session);
    /// Runs steps of an action; false when they ended because the user stopped it. Any other failure
    /// leaves as it came.
    bool untilStopped(const std::function<void()>& steps);
    /// Sessions that are inside an action now, in the whole process. While one is, some engine method (or a
    /// question of an action) runs a nested event loop further down the stack, and no keep-alive or
    /// background refresh may add a wait of its own on top.
    static int sessionsInAction() { return s_sessionsInAction; }

    /// Holds the busy state for as long as it lives: the first scope starts an action (a stop given before
    /// belongs to the one before); with disableActions the views are told to refuse the user's actions
    /// (actionsDisabled(), then actionsEnabled()). The last one schedules idleAgain(). Safe when the session
    /// is deleted meanwhile.
    class BusyScope {
    public:
        explicit BusyScope(RemoteSession* session, bool disableActions = true);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        QPointer<RemoteSession> m_session;
        bool m_disable;
    };

    /// Marks the session as transferring for as long as it lives. Safe when the session is deleted meanwhile.
    class TransferScope {
    public:
        explicit TransferScope(RemoteSession* session) : m_session(session) { ++session->m_transferDepth; }
        ~TransferScope()
        {
            if (m_session)
                --m_session->m_transferDepth;
        }
        TransferScope(const TransferScope&) = delete;
        TransferScope& operator=(const TransferScope&) = delete;

    private:
        QPointer<RemoteSession> m_session;
    };

    // ---- Connect and logon ----

    /**
     * Connects and logs on: sets the engine's properties, calls Logon() until it succeeds, asking
     * Questions::askLogon() after each refusal, then sets the transfer type. Runs inside the caller's
     * BusyScope. A stop ends it as Cancelled; a failure other than a refused logon leaves as an exception.
     */
    LogonOutcome logOn(const ConnectSettings& settings);
    /// Sends a NOOP when nothing else waits: connected, idle, no action of any session under way, and no
    /// modal window open (the caller knows). True when it was sent.
    bool keepAlive(bool modalWindowOpen);

    // ---- Listing ----

    /// Makes a node the current folder: changes into it on the server and lists it when it has no listing
    /// (its sub-folders join the tree). Throws the engine's failure of the folder change; a failed listing
    /// keeps what arrived and says so in the value.
    FolderOpening openFolder(FolderNode* node);
    /// Lists a folder for a walk, reusing its cached listing: the node the walk found, else the node reached
    /// by the path's names compared exactly. A listing that failed is not kept. @p generation is the tree's
    /// generation when the walk began.
    RemoteFolderListing listForWalk(FolderNodeHandle node, const QString& path, quint64 generation);
    /// Lists folders for the planner's walks through listForWalk(), for one walk.
    class WalkLister : public RemoteLister {
    public:
        explicit WalkLister(RemoteSession& session)
            : m_session(session), m_generation(session.tree().generation())
        {
        }
        RemoteFolderListing listFolder(FolderNodeHandle node, const QString& path) override
        {
            return m_session.listForWalk(node, path, m_generation);
        }

    private:
        RemoteSession& m_session;
        quint64 m_generation;
    };

Q_SIGNALS:
    /// The control connection is open (before the logon succeeded).
    void connected();
    /// The server or the network closed it, or it was closed here.
    void disconnected();
    /// A node joined the tree (the root included).
    void nodeAdded(skyhaul::FolderNode* node);
    /// A node was listed now; its sub-folders are in the tree.
    void folderListed(skyhaul::FolderNode* node);
    /// A walk opened this folder (listForWalk()).
    void walkedInto(skyhaul::FolderNode* node);
    /// A listing was started or freed: entries of an older one are gone.
    void listingsChanged();
    /// The first busy scope that disables actions began.
    void actionsDisabled();
    /// The last such scope ended.
    void actionsEnabled();
    /// The busy state has ended; delivered from the event loop after every frame of the action returned.
    void idleAgain();
    /// Stop was given.
    void stopped();

private:
    void wireEngine();
    void leaveBusy();
    void dirListEntry(const QString& dirEntry, const QString& fileName, bool isDir, qint64 fileSize,
                      const QString& fileTime);
    void addParentEntry();

    TFtpEngine* m_engine = nullptr;
    Questions* m_questions = nullptr;
    FolderTree m_tree;
    QSet<const FolderNode*> m_nodes;
    FolderNode* m_currentNode = nullptr;
    QString m_currentPath;
    TtrFileList* m_listingTarget = nullptr;
    ListingOrder m_ownOrder;
    const ListingOrder* m_order = &m_ownOrder;

    QString m_host;
    QString m_user;
    QString m_password;
    QString m_connectYear;
    int m_transType = 0;

    int m_busyDepth = 0;
    int m_actionsDisabledDepth = 0;
    int m_transferDepth = 0;
    bool m_stopRequested = false;

    static int s_sessionsInAction;
};

} // namespace skyhaul
