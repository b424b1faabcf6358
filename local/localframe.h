#pragma once

#include "store/texts.h"

#include "store/tablayoutfile.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>

class QAction;
class QComboBox;
class QFileIconProvider;
class QFileSystemModel;
class TLocalListModel;
class QMenu;
class QModelIndex;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace skyhaul {
class PaneHost;
} // namespace skyhaul

/// What a local tab shares with the window that holds it.
struct LocalTabContext {
    QString appFolder;                     ///< where "LocalFavorites.dat" lives
    QStringList* favorites = nullptr;      ///< the window's local favorites list, shared by every local tab
    skyhaul::PaneHost* paneHost = nullptr; ///< reaches the tab active in the other pane
    /// The language of the tab's captions and questions; applyLanguage() replaces it.
    skyhaul::Texts texts{QString(), QString()};
};

/**
 * A local browser tab: path box, folder tree and file list kept in step, with hidden items shown. Its
 * toolbar makes folders, goes up, recalls favorite folders and sends the selection to the other pane.
 */
class TLocalFrame : public QWidget {
    Q_OBJECT
public:
    /// Base of the names New Folder gives, whatever the language: "새 폴더", then "새 폴더2", ...
    static QString newFolderBaseName();
    /// The first of those names that no entry of the folder has.
    static QString newFolderName(const QString& folder);

    TLocalFrame(const LocalTabContext& context, QWidget* parent = nullptr);
    ~TLocalFrame() override;

    /// The folder the file list shows, without a trailing separator except for the root; empty when none.
    QString currentFolder() const { return m_folder; }
    /// Points the list, the tree and the path box at the folder. Returns false (changing nothing) when it
    /// is not an existing folder.
    bool setCurrentFolder(const QString& path);

    /// The folder tree's width; before the tab was first shown, the width it will get then.
    int treeViewWidth() const;
    void setTreeViewWidth(int width);

    /// Tree width and folder, as the pane's layout file keeps them.
    skyhaul::TabLayout layout() const;
    /// Sets the tree width; points the list at the saved folder when it still exists.
    void applyLayout(const skyhaul::TabLayout& layout);

    /// Shows or hides the captions of New Folder, Back, Send and Favorites.
    void setShowCaptions(bool show);
    /// Applies the "LocalForm" texts and font.
    void applyLanguage(const skyhaul::Texts& texts);

    /// Favorite folders in menu order.
    QStringList favoriteMenuPaths() const;
    /// Builds the favorites menu again from the window's list (after favorites were deleted elsewhere).
    void rebuildFavoritesMenu();

    // Handlers.
    void BackFolderBtnClick();
    void NewFolderBtnClick();
    void AddToFavoriteClick();
    void FavoriteItemClick(const QString& path);
    void TransferBtnClick();
    /// Del (and Shift+Del) in the list: deletes the selected entries for good after the question.
    void DeleteSelectedClick();
    /// Enter in the list: the selected entry as a double-click takes it.
    void ShellListKeyEnter();

    /// Reads the list's folder again: entries and sizes as they are on disk now.
    void refreshList();
    /// The names selected in the file list.
    QStringList selectedNames() const;

    QToolBar* LocalToolBar = nullptr;
    QToolButton* FavoriteBtn = nullptr;
    QAction* BackFolderBtn = nullptr;
    QAction* NewFolderBtn = nullptr;
    QAction* TransferBtn = nullptr;
    QComboBox* ShellPathCombo = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTreeView* ShellTree = nullptr;
    QTreeView* ShellList = nullptr;
    QMenu* FvPopupMenu = nullptr;
    QMenu* LVPopupMenu = nullptr;
    QMenu* LVTMenu = nullptr;
    QAction* AddToFavorite1 = nullptr;
    QAction* NewFolder1 = nullptr;
    QAction* AddThisFolder1 = nullptr;
    QAction* SendSelectedFiles1 = nullptr;

Q_SIGNALS:
    /// The sheet's caption: the display name of the folder the tree selected.
    void captionChanged(const QString& caption);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets();
    void addFavoriteItem(const QString& path);
    bool takeUpHeldFavorites();
    bool menuHasFavorite(const QString& path) const;
    void ShellTreeChange(const QModelIndex& current);
    void ShellListDoubleClick(const QModelIndex& index);
    void ShellListMouseUp(const QPoint& pos);
    void ShellPathComboActivated();
    void fillPathCombo();
    void showList(const QString& folder);
    void startRenaming(const QString& name);
    void applyTreeWidth();

    LocalTabContext m_context;
    std::unique_ptr<QFileIconProvider> m_iconProvider;
    QFileSystemModel* m_treeModel = nullptr;
    TLocalListModel* m_listModel = nullptr;
    QString m_folder;
    QTimer* m_revealTimer = nullptr;
    bool m_listLoaded = false;
    // A splitter without its size yet scales what it is given once it gets one; the tree's width is kept
    // here and given to the splitter when the tab is first shown.
    int m_treeWidth = 200; // until a layout gives one
    bool m_shownOnce = false;
    QString m_pendingRename;
};
