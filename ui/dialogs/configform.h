#pragma once

#include "store/texts.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TSiteManList;
class TSiteManRec;

namespace skyhaul {

struct ConfigRecord;

/// What the configuration dialog acts on besides the configuration record; owned by the main window.
struct ConfigFormContext {
    /// Where config.dat, the favorites and the quick-connect list live.
    QString appFolder;
    /// The window's local favorites list, shared by the local tabs; deletes here remove from it too.
    QStringList* localFavorites = nullptr;
    /// The window's quick-connect list, shared by the remote tabs.
    TSiteManList* quickConnectList = nullptr;
    /// Called after the quick-connect list lost entries and was saved: the tabs rebuild their menus.
    std::function<void()> quickConnectChanged;
    /// Called after a local or remote favorite was deleted: the tabs refresh what they show.
    std::function<void()> favoritesChanged;
    /// The program's settings record, which OK changes in place and saves. Never null.
    ConfigRecord* config = nullptr;
    /// The language the dialog shows.
    Texts texts{QString(), QString()};
};

/**
 * The "Config" dialog: a navigation tree and its pages (general, quick connect with its local and remote
 * favorites, file transfer, editor). OK stores the choices in the configuration record and the extra settings
 * and saves config.dat and Settings.ini;
 * Cancel and Escape store nothing. The delete buttons of the favorites and quick-connect pages act at once,
 * without a question, and Cancel does not undo them.
 */
class TConfigForm : public QDialog {
    Q_OBJECT
public:
    /// The pages, in the order of the tree's nodes.
    enum Page {
        GeneralPage,
        QuickConnectPage,
        LocalPage,
        RemotePage,
        FileTransferPage,
        EditorPage,
        PageCount
    };

    TConfigForm(const ConfigFormContext& context, QWidget* parent = nullptr);
    ~TConfigForm() override;

    /// The page on show.
    Page currentPage() const;

    // Buttons.
    void btnOkClick();
    void btnSelectFileClick();
    void btnDeleteLocalClick();
    void btnDeleteAllLocalClick();
    void btnDeleteSiteClick();
    void btnDeleteAllSitesClick();
    void btnDeleteFolderClick();
    void btnDeleteAllFoldersClick();
    void btnDeleteSelectedClick();
    /// Stores the name encoding chosen for the current quick-connect entry and saves the list at once.
    void cbQuickConnectEncodingChange(int index);
    /// Fills the folder list from the selected site's favorites file.
    void lbSitesChange();

    /// The file-open dialog of "&Select File": returns the file chosen, or an empty text. A test may put its
    /// own in place.
    std::function<QString(const QString& start)> chooseFile;

    QTreeWidget* TreeView1;
    QStackedWidget* Pages;
    // General.
    QComboBox* cbLanguage;
    QGroupBox* gbAppearence;
    QCheckBox* chbShowMainCaption;
    QCheckBox* chbShowLocalCaption;
    QCheckBox* chbShowRemoteCaption;
    // Quick connect.
    QGroupBox* rgQuickConnect;
    QRadioButton* rbStorePassword;
    QRadioButton* rbAskPassword;
    QListWidget* lvQuickConnect;
    QPushButton* btnDeleteSelected;
    QLabel* lbQuickConnectEncoding;
    QComboBox* cbQuickConnectEncoding; ///< the current entry's NameEncoding; item index = its number
    // Local favorites.
    QGroupBox* gbLocalFavorites;
    QTreeWidget* lvLocalFavorites;
    QPushButton* btnDeleteLocal;
    QPushButton* btnDeleteAllLocal;
    // Remote favorites.
    QGroupBox* gbRemoteFavorites;
    QGroupBox* gbSite;
    QListWidget* lbSites;
    QPushButton* btnDeleteSite;
    QPushButton* btnDeleteAllSites;
    QGroupBox* gbFolder;
    QListWidget* lbFolders;
    QPushButton* btnDeleteFolder;
    QPushButton* btnDeleteAllFolders;
    // File transfer.
    QGroupBox* rgFileExists;
    QButtonGroup* rgFileExistsItems; ///< ids 0 Ask, 1 Overwrite, 2 Resume, 3 Skip
    QGroupBox* rgDoubleClick;
    QButtonGroup* rgDoubleClickItems; ///< ids 0 View, 1 Edit, 2 Open
    QGroupBox* gbWalkLimits;
    QSpinBox* seMaxWalkFolders; ///< ExtraSettings::MaxWalkFolders
    QSpinBox* seMaxWalkEntries; ///< ExtraSettings::MaxWalkEntries
    QGroupBox* gbProtocol;
    QCheckBox* chbUseMlsd;       ///< ConfigRecord::UseMlsd
    QCheckBox* chbKeepFileTimes; ///< ConfigRecord::KeepFileTimes
    QCheckBox* chbListHidden;    ///< ConfigRecord::ListHidden
    // Editor.
    QGroupBox* gbEditor;
    QRadioButton* rbAssociated;
    QRadioButton* rbNotepad;
    QRadioButton* rbProgram;
    QButtonGroup* rbEditorItems; ///< ids as EditorChoice
    QLineEdit* edEditorPath;
    QPushButton* btnSelectFile;

    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    void buildWidgets();
    QWidget* buildGeneralPage();
    QWidget* buildQuickConnectPage();
    QWidget* buildLocalPage();
    QWidget* buildRemotePage();
    QWidget* buildFileTransferPage();
    QWidget* buildEditorPage();
    void fillFromConfig();
    void fillQuickConnect();
    void lvQuickConnectChange();
    TSiteManRec* currentQuickConnectRecord() const;
    void fillLocalFavorites();
    void fillSites();
    void updateEditorPath();
    void TreeView1Change();
    QString siteFilePath() const;
    bool saveLines(const QString& path, const QStringList& lines);
    void tellFailure(const QString& what, const QString& message);
    void favoritesChanged();

    ConfigFormContext m_context;
    /// The lines of LocalFavorites.dat the local page shows, one per row.
    QStringList m_localLines;
    /// The lines of the selected site's favorites file, one per folder row.
    QStringList m_folderLines;
};

} // namespace skyhaul
