#pragma once

#include "app/mainwindow/remotetab.h"
#include "store/tablayoutfile.h"
#include "ui/panehost.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class TLocalFrame;
class TPageControl;
class TPaneSplitter;
class TSiteManList;
class TTabSheet;

/// What the main window takes from the program (or from a test) instead of looking it up itself.
struct MainWindowOptions {
    /// Where every data file lives.
    QString appFolder;
    /// Base address of the update answer; empty turns the update check off.
    QString updateUrl;
    /// INI file holding the update gate; empty: the user's settings ("Corvent", "Papyrel").
    QString settingsFile;
    /// The system temporary folder that holds "skTemp/"; empty: QDir::tempPath().
    QString systemTempFolder;
    /// Makes remote tabs; empty: the program's remote tab.
    skyhaul::RemoteTabFactory remoteTabFactory;
    /// Opens an address or a file with the desktop; empty: QDesktopServices::openUrl.
    std::function<bool(const QUrl&)> openUrl;
    /// Asks the update question; empty: a Yes/No message box.
    std::function<bool(const QString& title, const QString& text)> askUpdate;

    /// The program's options: the build's update address, the user's settings, the real desktop.
    static MainWindowOptions forProgram(const QString& appFolder);
};

/**
 * The main window: a toolbar and two panes of tabs (local and remote) with a splitter between them. Runs the
 * start-up sequence when it is created and the shutdown sequence when it closes.
 */
class TfrmSkyhaulMain : public QMainWindow, public skyhaul::PaneHost {
    Q_OBJECT
public:
    /// Client size of the window before a size was ever saved.
    static constexpr int DesignWidth = 930;
    static constexpr int DesignHeight = 472;
    /// How often a tab closed in the middle of an operation is interrupted again until the operation ends.
    static constexpr int ClosingPollMs = 50;

    /// The largest client size a first start opens with on a roomy screen.
    static constexpr int FirstStartMaxWidth = 1440;
    static constexpr int FirstStartMaxHeight = 900;

    /**
     * Where a first start (no size saved yet) puts the window on a screen with the given available area: four
     * fifths of it (never below the first-start size, never above the first-start maximum), centred. An
     * invalid rectangle when the area is not larger than the first-start size: the window keeps that size and
     * place.
     */
    static QRect firstStartGeometry(const QRect& available);

    explicit TfrmSkyhaulMain(const MainWindowOptions& options, QWidget* parent = nullptr);
    ~TfrmSkyhaulMain() override;

    // The other pane, for the tabs.
    QString oppositeLocalPath(const QWidget* tab) const override;
    TFtpEngine* oppositeRemoteEngine(const QWidget* tab) const override;
    void uploadToOpposite(const QWidget* tab, const skyhaul::LocalSelection& selection) override;
    // Folders a tab wrote into: every tab that shows them refreshes.
    void localFolderChanged(const QString& folder) override;
    void remoteFolderChanged(const skyhaul::RemoteFolderRef& folder, const QWidget* except) override;

    /// Fills the sheet with a new local tab (marker "L"); the caller sets the caption.
    TLocalFrame* CreateLocalTab(TTabSheet* sheet);
    /// Fills the sheet with a new, unconnected remote tab (marker "R") captioned with the remote caption.
    skyhaul::RemoteTab* CreateRemoteTab(TTabSheet* sheet);
    /// Appends a new sheet to the pane, makes it active and fills it.
    TTabSheet* NewLocalTab(TPageControl* pane);
    TTabSheet* NewRemoteTab(TPageControl* pane);
    /// Closes the pane's active sheet when the pane holds at least two.
    void DeleteThisTab(TPageControl* pane);
    /// The close rule: closes the sheet when its pane holds more than one. Returns whether it closed.
    bool TabSheetClose(TTabSheet* sheet);

    /// Toolbar captions shown or hidden as configured, and the stored active tabs selected.
    void CaptionRefresh();
    /// Applies the language file to the window and every tab.
    void applyLanguage();

    // Toolbar commands.
    void SMBtnClick();
    void ConfigBtnClick();
    void AboutBtnClick();
    void HelpBtnClick();
    void ExitBtnClick();

    /// The remote tab a site from the site manager goes to: the active unconnected remote tab of the left
    /// pane, or (when the left pane shows a local tab) of the right pane, or else a new one in the right
    /// pane.
    TTabSheet* siteRemoteSheet();
    /// The local tab that shows the site's local folder: the active local tab of the left pane, else of the
    /// right pane, else a new one in the left pane.
    TTabSheet* siteLocalSheet();

    /// The site manager's Connect: fills and connects the chosen remote tab, then points the chosen local
    /// tab at the site's local folder.
    void SiteHandOver(const skyhaul::SiteFields& site, const QString& localPath);

    /// Every remote tab, left pane first, builds its quick-connect menu again from the list.
    void rebuildQuickConnectMenus();
    /// After favorites were deleted: logged-on remote tabs read theirs again, local tabs rebuild their menus.
    void refreshFavorites();

    /// Writes both panes' layout files.
    void saveLayouts();

    QStringList& localFavorites() { return m_localFavorites; }
    TSiteManList& quickConnectList() { return *m_quickConnect; }
    QString appFolder() const { return m_options.appFolder; }
    /// Caption of new local and remote tabs, from the language file.
    QString localCaption() const { return m_localCaption; }
    QString remoteCaption() const { return m_remoteCaption; }
    /// Sheets closed while busy, waiting for their operation to end.
    int closingSheetCount() const;
    /// The pane holding the sheet, if any.
    TPageControl* paneOf(const TTabSheet* sheet) const;

    QToolBar* MainToolbar = nullptr;
    QAction* SMBtn = nullptr;
    QAction* ConfigBtn = nullptr;
    QAction* NLLBtn = nullptr;
    QAction* NRLBtn = nullptr;
    QAction* NLRBtn = nullptr;
    QAction* NRRBtn = nullptr;
    QAction* AboutBtn = nullptr;
    QAction* HelpBtn = nullptr;
    QAction* ExitBtn = nullptr;
    QLabel* Image1 = nullptr;
    TPaneSplitter* Splitter1 = nullptr;
    TPageControl* PageControl1 = nullptr;
    TPageControl* PageControl2 = nullptr;
    TTabSheet* TabSheet1 = nullptr;
    TTabSheet* TabSheet2 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets();
    QMenu* buildPaneMenu(TPageControl* pane, int number);
    void FormCreate();
    void FormDestroy();
    void runUpdateCheck();
    void restorePane(TPageControl* pane, TTabSheet* first, const QString& file,
                     skyhaul::TabLayout::Kind kind);
    void savePane(TPageControl* pane, const QString& file);
    TTabSheet* newSheet(TPageControl* pane, const QString& caption);
    void setSheetCaption(TTabSheet* sheet, const QString& caption);
    void closeSheet(TTabSheet* sheet);
    void settleClosing();
    bool anyBusy() const;
    /// Every sheet of both panes, left pane first.
    QList<TTabSheet*> allSheets() const;
    /// When one of the sheets transfers files, asks whether to stop; true to go on closing.
    bool confirmStopTransfers(const QList<TTabSheet*>& sheets);
    TTabSheet* sheetOf(const QWidget* tab) const;
    TPageControl* otherPane(const QWidget* tab) const;
    void applyWindowGeometry();
    /// Copies the window's size, position and both panes' active tabs into the configuration record.
    void storeWindowState();

    MainWindowOptions m_options;
    QStringList m_localFavorites;
    std::unique_ptr<TSiteManList> m_quickConnect;
    QString m_localCaption = QStringLiteral("Local");
    QString m_remoteCaption = QStringLiteral("Remote");
    QList<QPointer<TTabSheet>> m_closing;
    QTimer* m_closingTimer = nullptr;
    bool m_closeRequested = false;
    bool m_shutdownDone = false;
};
