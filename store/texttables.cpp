#include "store/texttables.h"

namespace skyhaul::texttables {

namespace {

constexpr TextEntry MainFormEntries[] = {
    {"SiteManager", "Site Manager", "SMBtn"},
    {"Config", "Config", "ConfigBtn"},
    {"NewLocalToLeft", "New Local To Left", "NLLBtn"},
    {"NewRemoteToLeft", "New Remote To Left", "NRLBtn"},
    {"NewLocalToRight", "New Local To Right", "NLRBtn"},
    {"NewRemoteToRight", "New Remote To Right", "NRRBtn"},
    {"About", "About", "AboutBtn"},
    {"Help", "Help", "HelpBtn"},
    {"Exit", "Exit", "ExitBtn"},
    {"Local", "Local", ""},   // caption of new local tabs
    {"Remote", "Remote", ""}, // caption of new remote tabs
    {"NewLocal", "New Local", "NewLocal1 NewLocal2"},
    {"NewRemote", "New Remote", "NewRemote1 NewRemote2"},
    {"DeleteThisTab", "Delete This Tab", "DeleteThisTab1 DeleteThisTab2"},
};

constexpr TextEntry SiteManagerEntries[] = {
    {"Title", "Site Manager", "."},
    {"NewGroup", "New Group", "NewGroupBtn"},
    {"Add", "Add", "AddBtn"},
    {"Modify", "Modify", "ModifyBtn"},
    {"Delete", "Delete", "DeleteBtn"},
    {"Save", "Save", "SaveBtn"},
    {"Cancel", "Cancel", "CancelBtn"},
    {"Connect", "Connect", "ConnectBtn"},
    {"HostName", "Host Name", "lbSiteName"},
    {"HostAddress", "Host Address", "lbSiteAddress"},
    {"UserID", "User ID", "lbID"},
    {"Password", "Password", "lbPassword"},
    {"RemotePath", "Remote Path", "lbRemotePath"},
    {"LocalPath", "Local Path", "lbLocalPath"},
    {"Notes", "Notes", "lbNotes"},
    {"Port", "Port", "lbPort"},
    {"PassiveMode", "Passive Mode", "chbPassiveMode"},
    {"NameEncoding", "Name Encoding", "lbNameEncoding"},
    {"EncodingAuto", "Auto", "cbNameEncoding#0"},
    {"EncodingUTF8", "Force UTF-8", "cbNameEncoding#1"},
    {"EncodingLocal", "Force local encoding", "cbNameEncoding#2"},
};

constexpr TextEntry ConfigFormEntries[] = {
    {"Title", "Config", "."},
    {"General", "General", "TreeView1#0"},
    {"QuickConnect", "Quick Connect", "TreeView1#1 rgQuickConnect"},
    {"Local", "Local", "TreeView1#2"},
    {"Remote", "Remote", "TreeView1#3"},
    {"FileTransfer", "File Transfer", "TreeView1#4"},
    {"Editor", "Editor", "TreeView1#5"},
    {"Appearence", "Appearence", "gbAppearence"},
    {"ShowMainToolbarCaption", "Show Main Toolbar Caption", "chbShowMainCaption"},
    {"ShowLocalToolbarCaption", "Show Local Toolbar Caption", "chbShowLocalCaption"},
    {"ShowRemoteToolbarCaption", "Show Remote Toolbar Caption", "chbShowRemoteCaption"},
    {"FavoritesForLocalFolders", "Favorites For Local Folders", "gbLocalFavorites"},
    {"Path", "Path", "lvLocalFavorites@0"},
    {"Delete", "&Delete", "btnDeleteLocal btnDeleteSite btnDeleteFolder"},
    {"DeleteAll", "Delete &All", "btnDeleteAllLocal btnDeleteAllSites btnDeleteAllFolders"},
    {"FavoritesForRemoteFolders", "Favorites For Remote Folders", "gbRemoteFavorites"},
    {"Site", "Site", "gbSite"},
    {"Folder", "Folder", "gbFolder"},
    {"IfFileExists", "If File Exists", "rgFileExists"},
    {"Ask", "Ask", "rgFileExists#0"},
    {"Overwrite", "Overwrite", "rgFileExists#1"},
    {"Resume", "Resume", "rgFileExists#2"},
    {"Skip", "Skip", "rgFileExists#3"},
    {"DoubleClickAction", "Double-Click Action", "rgDoubleClick"},
    {"View", "View", "rgDoubleClick#0"},
    {"Edit", "Edit", "rgDoubleClick#1"},
    {"Open", "Open", "rgDoubleClick#2"},
    {"EditorAssociations", "Editor Associations", "gbEditor"},
    {"OpenAssociated", "Open with windows associated program.", "rbAssociated"},
    {"OpenWithNodepad", "Open with NotePad.", "rbNotepad"},
    {"OpenWithProgram", "Open with program below...", "rbProgram"},
    {"SelectFile", "&Select File", "btnSelectFile"},
    {"StorePasswordForQuickConnect", "Store Password For QuickConnect", "rgQuickConnect#0"},
    {"AskPassword", "Ask Password", "rgQuickConnect#1"},
    {"Ok", "&Ok", "btnOk"},
    {"Cancel", "&Cancel", "btnCancel"},
    {"DeleteSelectedItem", "DeleteS elected Item", "btnDeleteSelected"},
    {"WalkLimits", "Folder Walks", "gbWalkLimits"},
    {"MaxWalkFolders", "Most folders listed", "lbMaxWalkFolders"},
    {"MaxWalkEntries", "Most files and folders queued", "lbMaxWalkEntries"},
    {"Language", "Language", "lbLanguage"},
    {"Protocol", "Listing and File Times", "gbProtocol"},
    {"UseMlsd", "Use MLSD where the server offers it", "chbUseMlsd"},
    {"KeepFileTimes", "Keep file modification times", "chbKeepFileTimes"},
    {"ListHidden", "Show hidden files (LIST -a)", "chbListHidden"},
    {"NameEncoding", "Name Encoding", "lbQuickConnectEncoding"},
    {"EncodingAuto", "Auto", "cbQuickConnectEncoding#0"},
    {"EncodingUTF8", "Force UTF-8", "cbQuickConnectEncoding#1"},
    {"EncodingLocal", "Force local encoding", "cbQuickConnectEncoding#2"},
};

constexpr TextEntry LogonFormEntries[] = {
    {"Title", "Logon", "."},
    {"ColdnotLoggedon", "Could not logged on with supllied information.", "MessageLabel"},
    {"FtpServer", "FTP Server :", "FtpServerLabel"},
    {"UserID", "User ID", "IDLabel"},
    {"Password", "Password", "PassLabel"},
    {"Annoymous", "Logon as anonymous", "AnonymousCheck"},
    {"Logon", "&Logon", "LogonBtn"},
    {"Cancel", "&Cancel", "CancelBtn"},
};

constexpr TextEntry SSLFormEntries[] = {
    {"Title", "SSL Certification", "."},
    {"General", "General", "PageControl1#0"},
    {"Issuer", "Issuer", "PageControl1#1"},
    {"Subject", "Subject", "PageControl1#2"},
    {"CerificateInformation", "Cerificate Information", "CertInfoLabel"},
    {"TheRangeOfCerificateUse", "The Range Of CerificateUse", "RangeLabel"},
    {"MoreInfo", "*Please refer Issuers for more information.", "MoreInfoLabel"},
    {"IssuedTo", "Issued To", "IssuedToLabel"},
    {"IssuedBy", "Issued By", "IssuedByLabel"},
    {"Status", "Status", "StatusLabel"},
    {"Organization", "Organization", "IssuerOrgLabel SubjectOrgLabel"},
    {"Unit", "Unit", "IssuerUnitLabel SubjectUnitLabel"},
    {"Email", "E-mail", "IssuerEmailLabel SubjectEmailLabel"},
    {"CommonName", "Common Name", "IssuerCNLabel SubjectCNLabel"},
    {"City", "City/Town", "IssuerCityLabel SubjectCityLabel"},
    {"State", "State", "IssuerStateLabel SubjectStateLabel"},
    {"Country", "Country", "IssuerCountryLabel SubjectCountryLabel"},
    {"Accept", "&Accept", "AcceptBtn"},
    {"Reject", "&Reject", "RejectBtn"},
};

constexpr TextEntry OverWriteFormEntries[] = {
    {"Title", "Overwrite", "."},
    {"isalreadyexists", " is already exists in this folder.", "FileNameLabel"},
    {"overwriteit", "Do you want to overwrite it? ", "Label2"},
    {"old", "Old", "Label3"},
    {"new", "New", "Label8"},
    {"Yes", "&Yes", "Button1"},
    {"No", "&No", "Button2"},
    {"YesToAll", "Yes To &All", "Button3"},
    {"NoToAll", "N&o To All", "Button4"},
    {"Resume", "&Resume", "Button5"},
    {"ResumeAll", "Re&sume All", "Button7"},
    {"Cancel", "&Cancel", "Button6"},
};

constexpr TextEntry RemoteFormEntries[] = {
    {"Host", "Host", "HostLbl"},
    {"Port", "Port", "PortLbl"},
    {"ID", "ID", "IDLbl"},
    {"Pass", "Pass", "PassLbl"},
    {"Connect", "Connect", "ConnectBtn"},
    {"QuickConnect", "Quick Connect", "QuickConnectBtn"},
    {"Transfer", "Transfer", "TransferBtn"},
    {"Stop", "Stop", "StopBtn"},
    {"Edit", "Edit", "EditBtn"},
    {"View", "View", "ViewBtn"},
    {"Delete", "Delete", "DeleteBtn"},
    {"Disconnect", "Disconnect", "DisconnectBtn"},
    {"NewFolder", "New Folder", "NewFolderBtn NewFolder1"},
    {"TransferSelectedFiles", "Transfer Selected Files", "Transfer1"},
    {"Rename", "Rename", "Rename1"},
    {"DeleteSelectedFiles", "Delete Selected Files", "Delete1"},
    {"EditSelectedFile", "Edit Selected File", "Edit1"},
    {"ViewSelectedFile", "View Selected File", "View1"},
    {"Refesh", "Refesh", "RefreshBtn Refresh1"},
    {"Back", "Back", "BackBtn"},
    {"Favorites", "Favorites", "FavoritesBtn"},
    {"AddToFavorite", "Add to Favorites", ""}, // AddFavoritesCaption: the favorites menu is rebuilt later
    {"IncompleteCopy", "The copy of %1 is not complete: %2 of %3 bytes arrived. Nothing was opened.",
     ""},                                               // read by the tab when a fetched copy falls short
    {"TimeLeft", "%1 left", ""},                        // after the speed in the queue's status
    {"StoppedAt", "Stopped at byte %1 (%2 of %3)", ""}, // the log line of a transfer Stop cut
    // A server-to-server copy that went through this machine: the queue's progress, then the log line
    // with its reason (%2, one of the RelayBecause texts).
    {"RelayedProgress", "%1% relayed", ""},
    {"RelayedCopy", "%1: copied through this machine: %2", ""},
    {"RelayBecauseOneSide", "only one of the servers protects its data connections", ""},
    {"RelayBecauseNoWay", "the servers protect their data connections and neither offers CPSV or SSCN", ""},
    {"RelayBecauseUnreachable", "the servers could not connect to each other (%1)", ""},
    {"RelayBecauseIncomplete", "the copy between the servers ended early (%1 of %2 bytes)", ""},
    {"RelayNotResumed", "not resumed: the destination's copy is larger than the source's file", ""},
    {"RelayIncomplete", "the destination's copy holds %1 of %2 bytes", ""},
    {"RelayDestinationGone", "the destination tab was closed", ""},
    {"ClearTransferQue", "Clear Transfer Que", "ClearQue1"},
    {"ClearTransferFinisedQue", "Clear Transfer Finished in Que", "ClearTransferFinishedinQue1"},
    {"FileName", "File Name", "rFileListView@0"},
    {"FileSize", "File Size", "rFileListView@1"},
    {"Date", "Date", "rFileListView@2"},
    {"Attr", "Attributes", "rFileListView@3"},
    {"User", "User", "rFileListView@4"},
    {"Group", "Group", "rFileListView@5"},
    // A walk that passed its bound; %1 is the bound. Logged and shown on the queue page.
    {"WalkFolderLimit",
     "Nothing was transferred or deleted: the selection holds more than %1 folders. The limit is set in "
     "Config, File Transfer.",
     ""},
    {"WalkEntryLimit",
     "Nothing was transferred or deleted: the selection holds more than %1 files and folders. The limit is "
     "set "
     "in Config, File Transfer.",
     ""},
};

constexpr TextEntry LocalFormEntries[] = {
    {"Favorite", "Favorites", "FavoriteBtn"},
    {"NewFolder", "New Folder", "NewFolder1 NewFolderBtn"},
    {"Back", "Back", "BackFolderBtn"},
    {"SendFilesToServer", "Send Files To Server", "TransferBtn"},
    {"AddToFavorite", "Add To Favorite", ""}, // first item of the favorites menu, built by the tab
    {"SendSelectedFilesToServer", "Send Selected Files To Server", "SendSelectedFiles1"},
    {"AddThisFolderToFavorites", "Add This Folder To Favorites", "AddThisFolder1"},
};

constexpr TextEntry MessagesEntries[] = {
    {messages::DeleteSelectedSite, messages::DeleteSelectedSite, ""},
    {messages::DeleteSelectedFiles, messages::DeleteSelectedFiles, ""},
    {messages::DownloadSelectedFiles, messages::DownloadSelectedFiles, ""},
    {messages::UploadSelectedFiles, messages::UploadSelectedFiles, ""},
    {messages::StopRunningTransfer, messages::StopRunningTransfer, ""},
};

} // namespace

extern const SectionTable MainForm{"MainForm", MainFormEntries};
extern const SectionTable SiteManager{"SiteManager", SiteManagerEntries};
extern const SectionTable ConfigForm{"ConfigForm", ConfigFormEntries};
extern const SectionTable LogonForm{"LogonForm", LogonFormEntries};
extern const SectionTable SSLForm{"SSLForm", SSLFormEntries};
extern const SectionTable OverWriteForm{"OverWriteForm", OverWriteFormEntries};
extern const SectionTable RemoteForm{"RemoteForm", RemoteFormEntries};
extern const SectionTable LocalForm{"LocalForm", LocalFormEntries};
extern const SectionTable Messages{"Messages", MessagesEntries};

extern const std::array<const SectionTable*, 8> WindowSections{
    &MainForm, &SiteManager, &ConfigForm, &LogonForm, &SSLForm, &OverWriteForm, &RemoteForm, &LocalForm,
};

} // namespace skyhaul::texttables
