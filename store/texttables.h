#pragma once

#include "store/texts.h"

#include <array>

namespace skyhaul {

/**
 * The English texts of every window, one table per language-file section. A window builds its controls
 * with the objectNames named in the targets of its table and then applies the section in one call
 * (applySection()). Controls that language files already
 * name (SMBtn, ConnectBtn, Button1 ...) keep those names, since the files key their texts by them; for the
 * others these tables fix them:
 *
 * - MainForm: pane menu items NewLocal1/NewRemote1/DeleteThisTab1 (left) and ...2 (right).
 * - SiteManager: NewGroupBtn AddBtn ModifyBtn DeleteBtn SaveBtn CancelBtn ConnectBtn; labels lbSiteName
 *   lbSiteAddress lbID lbPassword lbRemotePath lbLocalPath lbNotes lbPort lbNameEncoding; chbPassiveMode;
 *   combo cbNameEncoding.
 * - ConfigForm: tree TreeView1; groups gbAppearence gbLocalFavorites gbRemoteFavorites gbSite gbFolder
 *   gbEditor; choice groups rgQuickConnect rgFileExists rgDoubleClick; check boxes chbShowMainCaption
 *   chbShowLocalCaption chbShowRemoteCaption; list lvLocalFavorites; radio buttons rbAssociated rbNotepad
 *   rbProgram; buttons btnDeleteLocal btnDeleteSite btnDeleteFolder btnDeleteAllLocal btnDeleteAllSites
 *   btnDeleteAllFolders btnSelectFile btnOk btnCancel btnDeleteSelected; label lbLanguage; group gbProtocol
 *   with check boxes chbUseMlsd chbKeepFileTimes chbListHidden; label lbQuickConnectEncoding and combo
 *   cbQuickConnectEncoding.
 * - LogonForm: MessageLabel FtpServerLabel IDLabel PassLabel AnonymousCheck LogonBtn CancelBtn.
 * - SSLForm: pages PageControl1; CertInfoLabel RangeLabel MoreInfoLabel IssuedToLabel IssuedByLabel
 *   StatusLabel; field labels Issuer<Field>Label and Subject<Field>Label with Field one of Org Unit Email CN
 *   City State Country; AcceptBtn RejectBtn.
 * - RemoteForm: labels HostLbl PortLbl IDLbl PassLbl; buttons ConnectBtn QuickConnectBtn TransferBtn StopBtn
 *   EditBtn ViewBtn DeleteBtn DisconnectBtn NewFolderBtn RefreshBtn BackBtn FavoritesBtn; menu items
 *   NewFolder1 Transfer1 Rename1 Delete1 Edit1 View1 Refresh1 ClearQue1 ClearTransferFinishedinQue1; columns
 *   of rFileListView.
 * - LocalForm: FavoriteBtn BackFolderBtn NewFolderBtn TransferBtn; menu items NewFolder1 SendSelectedFiles1
 *   AddThisFolder1.
 */
namespace texttables {

extern const SectionTable MainForm;
extern const SectionTable SiteManager;
extern const SectionTable ConfigForm;
extern const SectionTable LogonForm;
extern const SectionTable SSLForm;
extern const SectionTable OverWriteForm;
extern const SectionTable RemoteForm;
extern const SectionTable LocalForm;
/// The confirmation questions; look them up with Texts::message().
extern const SectionTable Messages;

/// Every window section (not Messages), in the order above.
extern const std::array<const SectionTable*, 8> WindowSections;

} // namespace texttables

/// The English confirmation questions, which are also their keys in "Messages".
namespace messages {
inline constexpr char DeleteSelectedSite[] = "Do you want to delete Selected Site?";
inline constexpr char DeleteSelectedFiles[] = "Do you want to delete selected file(s)?";
inline constexpr char DownloadSelectedFiles[] = "Do you want to download selected file(s)?";
inline constexpr char UploadSelectedFiles[] = "Do you want to upload selected file(s)?";
/// Asked before a remote tab, or the window, closes while files are being transferred.
inline constexpr char StopRunningTransfer[] = "A transfer is running. Do you want to stop it?";
} // namespace messages

} // namespace skyhaul
