#include "app/mainwindow/mainwindow.h"

#include "app/main/desktopidentity.h"
#include "app/mainwindow/panecontrol.h"
#include "app/update/aboutbox.h"
#include "app/update/updatecheck.h"
#include "engine/component/ftpengine.h"
#include "local/localframe.h"
#include "store/configrecord.h"
#include "store/extrasettings.h"
#include "store/favorites.h"
#include "store/io/datafile.h"
#include "store/io/heldfiles.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "store/texts.h"
#include "store/texttables.h"
#include "transfer/processstate.h"
#include "ui/applysection.h"
#include "ui/dialogs/configform.h"
#include "ui/dialogs/siteform.h"
#include "ui/errorbox.h"
#include "ui/themedicon.h"

#include "skyhaul_version.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

using namespace skyhaul;

Q_LOGGING_CATEGORY(lcApp, "skyhaul.app", QtWarningMsg)

namespace {

QIcon localTabIcon(const QWidget* w)
{
    return themedIcon("computer", QStyle::SP_ComputerIcon, w);
}

QIcon remoteTabIcon(const QWidget* w)
{
    return themedIcon("network-server", QStyle::SP_DriveNetIcon, w);
}

} // namespace

MainWindowOptions MainWindowOptions::forProgram(const QString& appFolder)
{
    MainWindowOptions options;
    options.appFolder = appFolder;
    options.updateUrl = QStringLiteral(SKYHAUL_UPDATE_URL);
    return options;
}

TfrmSkyhaulMain::TfrmSkyhaulMain(const MainWindowOptions& options, QWidget* parent)
    : QMainWindow(parent), m_options(options), m_quickConnect(std::make_unique<TSiteManList>())
{
    if (!m_options.remoteTabFactory)
        m_options.remoteTabFactory = defaultRemoteTabFactory();
    if (!m_options.openUrl)
        m_options.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    if (!m_options.askUpdate)
        m_options.askUpdate = [this](const QString& title, const QString& text) {
            QString shown = text;
            shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            return QMessageBox::question(this, title, shown, QMessageBox::Yes | QMessageBox::No) ==
                   QMessageBox::Yes;
        };
    buildWidgets();
    FormCreate();
}

TfrmSkyhaulMain::~TfrmSkyhaulMain()
{
    if (!m_shutdownDone)
        FormDestroy();
    // Nothing can wait for an engine here any more: stop whatever still runs before the tabs go.
    for (TPageControl* pane : {PageControl1, PageControl2})
        for (int i = 0; i < pane->count(); ++i)
            if (TTabSheet* sheet = pane->sheet(i); sheet && sheet->isBusy())
                sheet->remoteTab()->interrupt();
    // The tabs go before the lists they share, which are members of this window.
    delete takeCentralWidget();
}

void TfrmSkyhaulMain::buildWidgets()
{
    setObjectName(QStringLiteral("frmSkyhaulMain"));
    setWindowTitle(applicationTitle());
    setWindowIcon(applicationIcon());

    MainToolbar = new QToolBar(this);
    MainToolbar->setObjectName(QStringLiteral("MainToolbar"));
    MainToolbar->setMovable(false);
    MainToolbar->setFloatable(false);
    MainToolbar->setIconSize(QSize(24, 24));
    MainToolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    MainToolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, MainToolbar);

    auto button = [this](const char* name, const char* text, const char* icon,
                         QStyle::StandardPixmap fallback) {
        QAction* action = MainToolbar->addAction(themedIcon(icon, fallback, this), QLatin1String(text));
        action->setObjectName(QLatin1String(name));
        return action;
    };
    SMBtn = button("SMBtn", "Site Manager", "network-workgroup", QStyle::SP_DirHomeIcon);
    ConfigBtn = button("ConfigBtn", "Config", "preferences-system", QStyle::SP_FileDialogDetailedView);
    MainToolbar->addSeparator();
    NLLBtn = button("NLLBtn", "New Local To Left", "computer", QStyle::SP_ComputerIcon);
    NRLBtn = button("NRLBtn", "New Remote To Left", "network-server", QStyle::SP_DriveNetIcon);
    NLRBtn = button("NLRBtn", "New Local To Right", "computer", QStyle::SP_ComputerIcon);
    NRRBtn = button("NRRBtn", "New Remote To Right", "network-server", QStyle::SP_DriveNetIcon);
    MainToolbar->addSeparator();
    AboutBtn = button("AboutBtn", "About", "help-about", QStyle::SP_MessageBoxInformation);
    HelpBtn = button("HelpBtn", "Help", "help-browser", QStyle::SP_DialogHelpButton);
    MainToolbar->addSeparator();
    ExitBtn = button("ExitBtn", "Exit", "application-exit", QStyle::SP_DialogCloseButton);

    auto* spacer = new QWidget(MainToolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    MainToolbar->addWidget(spacer);
    Image1 = new QLabel(MainToolbar);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(programPicture(QSize(40, 40)));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setToolTip(QStringLiteral(SKYHAUL_HELP_URL));
    Image1->installEventFilter(this);
    MainToolbar->addWidget(Image1);

    connect(SMBtn, &QAction::triggered, this, &TfrmSkyhaulMain::SMBtnClick);
    connect(ConfigBtn, &QAction::triggered, this, &TfrmSkyhaulMain::ConfigBtnClick);
    connect(NLLBtn, &QAction::triggered, this, [this] { NewLocalTab(PageControl1); });
    connect(NRLBtn, &QAction::triggered, this, [this] { NewRemoteTab(PageControl1); });
    connect(NLRBtn, &QAction::triggered, this, [this] { NewLocalTab(PageControl2); });
    connect(NRRBtn, &QAction::triggered, this, [this] { NewRemoteTab(PageControl2); });
    connect(AboutBtn, &QAction::triggered, this, &TfrmSkyhaulMain::AboutBtnClick);
    connect(HelpBtn, &QAction::triggered, this, &TfrmSkyhaulMain::HelpBtnClick);
    connect(ExitBtn, &QAction::triggered, this, &TfrmSkyhaulMain::ExitBtnClick);

    Splitter1 = new TPaneSplitter(this);
    PageControl1 = new TPageControl(Splitter1);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl2 = new TPageControl(Splitter1);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    PageControl1->setPeer(PageControl2);
    PageControl2->setPeer(PageControl1);
    Splitter1->addWidget(PageControl1);
    Splitter1->addWidget(PageControl2);
    setCentralWidget(Splitter1);
    connect(Splitter1, &TPaneSplitter::ratioChanged, this,
            [this](double ratio) { m_config.SplitterRatio = ratio; });

    PopupMenu1 = buildPaneMenu(PageControl1, 1);
    PopupMenu2 = buildPaneMenu(PageControl2, 2);

    for (TPageControl* pane : {PageControl1, PageControl2}) {
        connect(pane, &QTabWidget::tabCloseRequested, this, [this, pane](int index) {
            if (TTabSheet* sheet = pane->sheet(index))
                TabSheetClose(sheet);
        });
    }

    TabSheet1 = newSheet(PageControl1, QStringLiteral("Local"));
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->setTabIcon(0, localTabIcon(this));
    TabSheet2 = newSheet(PageControl2, QStringLiteral("Remote"));
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl2->setTabIcon(0, remoteTabIcon(this));

    m_closingTimer = new QTimer(this);
    m_closingTimer->setInterval(ClosingPollMs);
    connect(m_closingTimer, &QTimer::timeout, this, &TfrmSkyhaulMain::settleClosing);

    resize(DesignWidth, DesignHeight);
}

QMenu* TfrmSkyhaulMain::buildPaneMenu(TPageControl* pane, int number)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu%1").arg(number));
    QAction* newLocal = menu->addAction(QStringLiteral("New Local"));
    newLocal->setObjectName(QStringLiteral("NewLocal%1").arg(number));
    QAction* newRemote = menu->addAction(QStringLiteral("New Remote"));
    newRemote->setObjectName(QStringLiteral("NewRemote%1").arg(number));
    menu->addSeparator();
    QAction* deleteTab = menu->addAction(QStringLiteral("Delete This Tab"));
    deleteTab->setObjectName(QStringLiteral("DeleteThisTab%1").arg(number));
    connect(newLocal, &QAction::triggered, this, [this, pane] { NewLocalTab(pane); });
    connect(newRemote, &QAction::triggered, this, [this, pane] { NewRemoteTab(pane); });
    connect(deleteTab, &QAction::triggered, this, [this, pane] { DeleteThisTab(pane); });
    pane->setPopupMenu(menu);
    return menu;
}

// --- Start-up and shutdown

void TfrmSkyhaulMain::FormCreate()
{
    const QString folder = m_options.appFolder;

    qCDebug(lcApp) << "start-up 1: update check";
    runUpdateCheck();

    // No copy-hook library exists for this platform's file manager: a drag out to the desktop always
    // downloads into the temporary folder first, so there is nothing to register.
    qCDebug(lcApp) << "start-up 2: copy hook";

    qCDebug(lcApp) << "start-up 3: running editors";
    RunningEditors = 0;

    qCDebug(lcApp) << "start-up 4: temporary folder";
    const QString systemTemp =
        m_options.systemTempFolder.isEmpty() ? QDir::tempPath() : m_options.systemTempFolder;
    if (!initTempFolder(systemTemp))
        qCWarning(lcApp).noquote() << "Cannot create the temporary folder" << TempFolder();

    qCDebug(lcApp) << "start-up 5: configuration";
    try {
        m_config.load(folder);
    } catch (...) {
        // A configuration that cannot be read leaves the defaults; start-up goes on.
    }
    extraSettings().load(folder); // never throws: what cannot be read gives the defaults

    qCDebug(lcApp) << "start-up 6: language";
    applyLanguage();

    qCDebug(lcApp) << "start-up 7: favorites and quick connect";
    // A list that exists but cannot be read is held: nothing writes it from what was read until the user
    // acts. The user is told once the window stands.
    QStringList unreadable;
    try {
        m_localFavorites = LocalFavorites::load(folder);
    } catch (const FileIoError& e) {
        qCWarning(lcApp).noquote() << e.message();
        unreadable << e.message();
    }
    try {
        m_quickConnect->LoadFromFile(quickConnectFilePath(folder));
    } catch (const FileIoError& e) {
        qCWarning(lcApp).noquote() << e.message();
        heldfiles::hold(e.path(), e.reason());
        unreadable << e.message();
    }

    qCDebug(lcApp) << "start-up 8: tab layouts";
    restorePane(PageControl1, TabSheet1, TabLayoutFile::leftFilePath(folder), TabLayout::Kind::Local);
    restorePane(PageControl2, TabSheet2, TabLayoutFile::rightFilePath(folder), TabLayout::Kind::Remote);

    qCDebug(lcApp) << "start-up 9: caption refresh";
    try {
        CaptionRefresh();
    } catch (...) {
    }

    qCDebug(lcApp) << "start-up 10: window geometry";
    applyWindowGeometry();

    if (!unreadable.isEmpty())
        QMessageBox::warning(this, applicationTitle(),
                             unreadable.join(QLatin1Char('\n')) +
                                 QStringLiteral("\nSkyhaul leaves the file as it is until it can be read."));
}

void TfrmSkyhaulMain::runUpdateCheck()
{
    if (m_options.updateUrl.trimmed().isEmpty())
        return;
    std::unique_ptr<QSettings> settings =
        m_options.settingsFile.isEmpty()
            ? std::make_unique<QSettings>(QStringLiteral("Corvent"), QStringLiteral("Papyrel"))
            : std::make_unique<QSettings>(m_options.settingsFile, QSettings::IniFormat);
    if (!UpdateGate(*settings).passes())
        return;
    UpdateCheck check(m_options.appFolder, m_options.updateUrl, {m_options.askUpdate, m_options.openUrl});
    check.run();
}

QRect TfrmSkyhaulMain::firstStartGeometry(const QRect& available)
{
    if (available.width() <= DesignWidth || available.height() <= DesignHeight)
        return {};
    const QSize size(
        std::clamp(available.width() * 4 / 5, DesignWidth, std::max(FirstStartMaxWidth, DesignWidth)),
        std::clamp(available.height() * 4 / 5, DesignHeight, std::max(FirstStartMaxHeight, DesignHeight)));
    QRect placed(QPoint(), size);
    placed.moveCenter(available.center());
    return placed;
}

void TfrmSkyhaulMain::applyWindowGeometry()
{
    const ConfigRecord& c = m_config;
    if (c.MainWidth == -1) {
        // The first-start size (930 x 472) is cramped on today's screens: a first start with room opens
        // larger, centred.
        if (const QScreen* shown = screen())
            if (const QRect placed = firstStartGeometry(shown->availableGeometry()); placed.isValid()) {
                resize(placed.size());
                move(placed.topLeft());
            }
        return;
    }
    resize(qMax(int(c.MainWidth), minimumSizeHint().width()), qMax(int(c.MainHeight), 100));
    // A position saved on a screen that is gone would put the window out of reach.
    const QPoint topLeft(c.MainLeft, c.MainTop);
    if (QGuiApplication::screenAt(topLeft + QPoint(40, 20)))
        move(topLeft);
}

void TfrmSkyhaulMain::FormDestroy()
{
    m_shutdownDone = true;
    const QString folder = m_options.appFolder;

    qCDebug(lcApp) << "shutdown 1: tab layouts";
    saveLayouts();

    qCDebug(lcApp) << "shutdown 2: temporary folder";
    if (!TempFolder().isEmpty() && !ClearFolder(TempFolder()))
        qCWarning(lcApp).noquote() << "Not everything in" << TempFolder() << "could be deleted";

    // The favorites and the quick-connect list stay with the window until it is destroyed: tabs that still
    // finish an operation may read them.
    qCDebug(lcApp) << "shutdown 3: favorites and quick connect";

    qCDebug(lcApp) << "shutdown 4: configuration";
    storeWindowState();
    ConfigRecord& c = m_config;
    try {
        c.save(folder);
        extraSettings().save(folder);
    } catch (const FileIoError& e) {
        // The old file is still whole; the user learns that this session's window settings are not in it.
        qCWarning(lcApp).noquote() << e.message();
        QMessageBox::warning(this, applicationTitle(),
                             e.message() + QStringLiteral("\nThe settings of this session were not saved."));
    }
}

void TfrmSkyhaulMain::storeWindowState()
{
    ConfigRecord& c = m_config;
    c.MainWidth = width();
    c.MainHeight = height();
    c.MainLeft = x();
    c.MainTop = y();
    c.LeftActiveTab = PageControl1->currentIndex();
    c.RightActiveTab = PageControl2->currentIndex();
}

void TfrmSkyhaulMain::closeEvent(QCloseEvent* event)
{
    if (m_shutdownDone) {
        event->accept();
        return;
    }
    // Once the user said Yes, the close that follows the stop asks nothing more.
    if (!m_closeRequested && !confirmStopTransfers(allSheets())) {
        event->ignore();
        return;
    }
    // A method of some engine is still on the stack below us: interrupt it and close once it returned.
    if (anyBusy()) {
        m_closeRequested = true;
        settleClosing();
        m_closingTimer->start();
        event->ignore();
        return;
    }
    FormDestroy();
    event->accept();
}

// --- Layouts

void TfrmSkyhaulMain::restorePane(TPageControl* pane, TTabSheet* first, const QString& file,
                                  TabLayout::Kind kind)
{
    const PaneLayout layout = TabLayoutFile::read(file, kind);
    for (int i = 0; i < layout.tabs.size(); ++i) {
        const TabLayout& tab = layout.tabs[i];
        const bool remote = tab.kind == TabLayout::Kind::Remote;
        TTabSheet* sheet = i == 0 ? first : newSheet(pane, remote ? m_remoteCaption : m_localCaption);
        if (i > 0)
            pane->setCurrentWidget(sheet);
        // Without a file the pane gets its default tab as it comes, not the file's defaults.
        if (remote) {
            RemoteTab* created = CreateRemoteTab(sheet);
            if (layout.fileExisted)
                created->applyLayout(tab);
        } else {
            TLocalFrame* frame = CreateLocalTab(sheet);
            setSheetCaption(sheet, m_localCaption);
            if (layout.fileExisted)
                frame->applyLayout(tab);
        }
    }
}

void TfrmSkyhaulMain::savePane(TPageControl* pane, const QString& file)
{
    QList<TabLayout> tabs;
    for (int i = 0; i < pane->count(); ++i) {
        TTabSheet* sheet = pane->sheet(i);
        if (RemoteTab* remote = sheet ? sheet->remoteTab() : nullptr) {
            TabLayout layout = remote->layout();
            layout.kind = TabLayout::Kind::Remote;
            tabs << layout;
        } else if (TLocalFrame* frame = sheet ? sheet->localFrame() : nullptr) {
            tabs << frame->layout();
        } else {
            tabs << TabLayout::ofKind(TabLayout::Kind::Local);
        }
    }
    try {
        TabLayoutFile::write(file, tabs);
    } catch (const FileIoError& e) {
        // The old file stays whole; the rest of the shutdown still runs.
        qCWarning(lcApp).noquote() << e.message();
    }
}

void TfrmSkyhaulMain::saveLayouts()
{
    savePane(PageControl1, TabLayoutFile::leftFilePath(m_options.appFolder));
    savePane(PageControl2, TabLayoutFile::rightFilePath(m_options.appFolder));
}

// --- Tabs

TTabSheet* TfrmSkyhaulMain::newSheet(TPageControl* pane, const QString& caption)
{
    auto* sheet = new TTabSheet(pane);
    pane->addTab(sheet, caption);
    return sheet;
}

void TfrmSkyhaulMain::setSheetCaption(TTabSheet* sheet, const QString& caption)
{
    if (TPageControl* pane = paneOf(sheet))
        pane->setTabText(pane->indexOf(sheet), caption);
}

TLocalFrame* TfrmSkyhaulMain::CreateLocalTab(TTabSheet* sheet)
{
    auto* frame = new TLocalFrame({m_options.appFolder, &m_localFavorites, this, m_texts}, sheet);
    connect(frame, &TLocalFrame::captionChanged, this,
            [this, sheet](const QString& caption) { setSheetCaption(sheet, caption); });
    sheet->placeLocal(frame);
    if (TPageControl* pane = paneOf(sheet))
        pane->setTabIcon(pane->indexOf(sheet), localTabIcon(this));
    frame->setShowCaptions(m_config.ShowLocalCaption);
    return frame;
}

RemoteTab* TfrmSkyhaulMain::CreateRemoteTab(TTabSheet* sheet)
{
    const RemoteTabContext context{.appFolder = m_options.appFolder,
                                   .texts = m_texts,
                                   .quickConnectList = m_quickConnect.get(),
                                   .tempFolder = TempFolder(),
                                   .paneHost = this,
                                   .config = &m_config,
                                   .listingOrder = &m_listingOrder};
    std::unique_ptr<RemoteTab> tab = m_options.remoteTabFactory(context, sheet);
    RemoteTab* remote = tab.get();
    QPointer<TTabSheet> guard(sheet);
    remote->onCaptionChanged = [this, guard](const QString& caption) {
        if (guard)
            setSheetCaption(guard, caption);
    };
    remote->onIdleAgain = [this] {
        if (!m_closing.isEmpty() || m_closeRequested)
            QTimer::singleShot(0, this, &TfrmSkyhaulMain::settleClosing);
    };
    sheet->placeRemote(std::move(tab));
    setSheetCaption(sheet, m_remoteCaption);
    if (TPageControl* pane = paneOf(sheet))
        pane->setTabIcon(pane->indexOf(sheet), remoteTabIcon(this));
    remote->setShowCaptions(m_config.ShowRemoteCaption);
    return remote;
}

TTabSheet* TfrmSkyhaulMain::NewLocalTab(TPageControl* pane)
{
    TTabSheet* sheet = newSheet(pane, m_localCaption);
    pane->setCurrentWidget(sheet);
    CreateLocalTab(sheet);
    return sheet;
}

TTabSheet* TfrmSkyhaulMain::NewRemoteTab(TPageControl* pane)
{
    TTabSheet* sheet = newSheet(pane, m_remoteCaption);
    pane->setCurrentWidget(sheet);
    CreateRemoteTab(sheet);
    return sheet;
}

void TfrmSkyhaulMain::DeleteThisTab(TPageControl* pane)
{
    if (pane->count() < 2)
        return;
    if (TTabSheet* sheet = pane->activeSheet())
        TabSheetClose(sheet);
}

bool TfrmSkyhaulMain::TabSheetClose(TTabSheet* sheet)
{
    TPageControl* pane = paneOf(sheet);
    bool allowed = pane && pane->count() > 1;
    if (allowed) {
        QPointer<TTabSheet> guard(sheet);
        // The question's loop lets anything happen: the sheet may have gone or moved meanwhile.
        allowed = confirmStopTransfers({sheet}) && guard && paneOf(guard) && paneOf(guard)->count() > 1;
        if (allowed) {
            pane = paneOf(guard);
            closeSheet(guard);
        }
    }
    if (pane)
        pane->update();
    return allowed;
}

bool TfrmSkyhaulMain::confirmStopTransfers(const QList<TTabSheet*>& sheets)
{
    const bool transferring = std::any_of(sheets.begin(), sheets.end(), [](const TTabSheet* sheet) {
        return sheet && sheet->isTransferring();
    });
    if (!transferring)
        return true;
    const QString question = m_texts.message(QString::fromLatin1(messages::StopRunningTransfer));
    // No keeps everything running; it is also the answer of Esc and of the box's close button.
    return QMessageBox::question(this, applicationTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes; // nested modal loop
}

QList<TTabSheet*> TfrmSkyhaulMain::allSheets() const
{
    QList<TTabSheet*> sheets;
    for (TPageControl* pane : {PageControl1, PageControl2})
        for (int i = 0; i < pane->count(); ++i)
            if (TTabSheet* sheet = pane->sheet(i))
                sheets << sheet;
    return sheets;
}

void TfrmSkyhaulMain::closeSheet(TTabSheet* sheet)
{
    if (TPageControl* pane = paneOf(sheet))
        pane->removeTab(pane->indexOf(sheet));
    sheet->hide();
    if (!sheet->isBusy()) {
        sheet->deleteLater();
        return;
    }
    // An engine method of this tab is running further down the stack: destroying the tab now would pull the
    // engine from under it. Interrupt it and destroy the tab once it has returned.
    m_closing << sheet;
    sheet->remoteTab()->interrupt();
    m_closingTimer->start();
}

void TfrmSkyhaulMain::settleClosing()
{
    for (qsizetype i = m_closing.size() - 1; i >= 0; --i) {
        TTabSheet* sheet = m_closing[i];
        if (!sheet) {
            m_closing.removeAt(i);
        } else if (sheet->isBusy()) {
            sheet->remoteTab()->interrupt();
        } else {
            m_closing.removeAt(i);
            sheet->deleteLater();
        }
    }
    if (m_closeRequested) {
        for (TPageControl* pane : {PageControl1, PageControl2})
            for (int i = 0; i < pane->count(); ++i)
                if (TTabSheet* sheet = pane->sheet(i); sheet && sheet->isBusy())
                    sheet->remoteTab()->interrupt();
    }
    if (!anyBusy()) {
        m_closingTimer->stop();
        if (m_closeRequested) {
            m_closeRequested = false;
            // Queued: the interrupted method's caller finishes unwinding before the window goes.
            QTimer::singleShot(0, this, &QWidget::close);
        }
    }
}

bool TfrmSkyhaulMain::anyBusy() const
{
    for (const QPointer<TTabSheet>& sheet : m_closing)
        if (sheet && sheet->isBusy())
            return true;
    for (TPageControl* pane : {PageControl1, PageControl2})
        for (int i = 0; i < pane->count(); ++i)
            if (TTabSheet* sheet = pane->sheet(i); sheet && sheet->isBusy())
                return true;
    return false;
}

int TfrmSkyhaulMain::closingSheetCount() const
{
    int n = 0;
    for (const QPointer<TTabSheet>& sheet : m_closing)
        n += sheet ? 1 : 0;
    return n;
}

// --- Panes

TPageControl* TfrmSkyhaulMain::paneOf(const TTabSheet* sheet) const
{
    if (!sheet)
        return nullptr;
    for (TPageControl* pane : {PageControl1, PageControl2})
        if (pane->indexOf(const_cast<TTabSheet*>(sheet)) >= 0)
            return pane;
    return nullptr;
}

TTabSheet* TfrmSkyhaulMain::sheetOf(const QWidget* tab) const
{
    for (const QWidget* w = tab; w; w = w->parentWidget())
        if (auto* sheet = qobject_cast<const TTabSheet*>(w))
            return const_cast<TTabSheet*>(sheet);
    return nullptr;
}

TPageControl* TfrmSkyhaulMain::otherPane(const QWidget* tab) const
{
    // A tab that is no longer in a pane (closing) has no other pane.
    TPageControl* pane = paneOf(sheetOf(tab));
    if (!pane)
        return nullptr;
    return pane == PageControl1 ? PageControl2 : PageControl1;
}

QString TfrmSkyhaulMain::oppositeLocalPath(const QWidget* tab) const
{
    TPageControl* other = otherPane(tab);
    TTabSheet* sheet = other ? other->activeSheet() : nullptr;
    if (!sheet || sheet->kind() != TabLayout::Kind::Local || !sheet->localFrame())
        return {};
    const QString folder = sheet->localFrame()->currentFolder();
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

RemoteSession* TfrmSkyhaulMain::oppositeRemoteSession(const QWidget* tab) const
{
    TPageControl* other = otherPane(tab);
    TTabSheet* sheet = other ? other->activeSheet() : nullptr;
    if (!sheet || sheet->kind() != TabLayout::Kind::Remote || !sheet->remoteTab())
        return nullptr;
    return sheet->remoteTab()->session();
}

void TfrmSkyhaulMain::uploadToOpposite(const QWidget* tab, const LocalSelection& selection)
{
    TPageControl* other = otherPane(tab);
    TTabSheet* sheet = other ? other->activeSheet() : nullptr;
    if (sheet && sheet->kind() == TabLayout::Kind::Remote && sheet->remoteTab())
        sheet->remoteTab()->uploadFromLocalTab(selection);
}

void TfrmSkyhaulMain::localFolderChanged(const QString& folder)
{
    const QString changed = QDir::cleanPath(QDir::fromNativeSeparators(folder));
    if (changed.isEmpty())
        return;
    const QString below = changed.endsWith(QLatin1Char('/')) ? changed : changed + QLatin1Char('/');
    for (TTabSheet* sheet : allSheets()) {
        TLocalFrame* frame = sheet->localFrame();
        if (!frame || frame->currentFolder().isEmpty())
            continue;
        const QString shown = QDir::cleanPath(frame->currentFolder());
        if (shown == changed || shown.startsWith(below))
            frame->refreshList();
    }
}

void TfrmSkyhaulMain::remoteFolderChanged(const RemoteFolderRef& folder, const QWidget* except)
{
    for (TTabSheet* sheet : allSheets()) {
        RemoteTab* remote = sheet->remoteTab();
        if (remote && remote->widget() != except)
            remote->remoteFolderChanged(folder);
    }
}

TTabSheet* TfrmSkyhaulMain::siteRemoteSheet()
{
    // A remote tab that is connected, or still busy connecting, is never taken over.
    auto idleRemote = [](TTabSheet* sheet) {
        return sheet && sheet->kind() == TabLayout::Kind::Remote && sheet->remoteTab() &&
               !sheet->remoteTab()->engine()->Connected() && !sheet->isBusy();
    };
    TTabSheet* left = PageControl1->activeSheet();
    TTabSheet* chosen = nullptr;
    if (left && left->kind() == TabLayout::Kind::Remote) {
        if (idleRemote(left))
            chosen = left;
    } else if (TTabSheet* right = PageControl2->activeSheet(); idleRemote(right)) {
        chosen = right;
    }
    return chosen ? chosen : NewRemoteTab(PageControl2);
}

void TfrmSkyhaulMain::SiteHandOver(const SiteFields& site, const QString& localPath)
{
    // Connecting runs the engine's nested waits; the local tab is chosen after it.
    siteRemoteSheet()->remoteTab()->connectToSite(site);
    TTabSheet* local = siteLocalSheet();
    // An empty or missing folder keeps the list where it is.
    local->localFrame()->setCurrentFolder(localPath);
}

TTabSheet* TfrmSkyhaulMain::siteLocalSheet()
{
    for (TPageControl* pane : {PageControl1, PageControl2})
        if (TTabSheet* sheet = pane->activeSheet(); sheet && sheet->localFrame())
            return sheet;
    return NewLocalTab(PageControl1);
}

// --- Captions and language

void TfrmSkyhaulMain::CaptionRefresh()
{
    const ConfigRecord& c = m_config;
    MainToolbar->setToolButtonStyle(c.ShowMainCaption ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    for (TPageControl* pane : {PageControl1, PageControl2}) {
        for (int i = 0; i < pane->count(); ++i) {
            TTabSheet* sheet = pane->sheet(i);
            if (!sheet)
                continue;
            if (sheet->kind() != TabLayout::Kind::Local) {
                if (RemoteTab* remote = sheet->remoteTab())
                    remote->setShowCaptions(c.ShowRemoteCaption);
            } else if (TLocalFrame* frame = sheet->localFrame()) {
                frame->setShowCaptions(c.ShowLocalCaption);
            }
        }
    }
    MainToolbar->updateGeometry();
    if (c.LeftActiveTab >= 0 && c.LeftActiveTab < PageControl1->count())
        PageControl1->setCurrentIndex(c.LeftActiveTab);
    if (c.RightActiveTab >= 0 && c.RightActiveTab < PageControl2->count())
        PageControl2->setCurrentIndex(c.RightActiveTab);
}

void TfrmSkyhaulMain::applyLanguage()
{
    // The one reading of the language file until the language is applied again.
    m_texts = Texts::loaded(m_options.appFolder, m_config.Language);
    const Texts& texts = m_texts;
    const SectionTexts section = applySection(this, texts, texttables::MainForm);
    m_localCaption = section.text(u"Local");
    m_remoteCaption = section.text(u"Remote");
    const QFont font = fontFor(section.font, QApplication::font());
    for (TPageControl* pane : {PageControl1, PageControl2})
        pane->tabBar()->setFont(font);
    for (TPageControl* pane : {PageControl1, PageControl2}) {
        for (int i = 0; i < pane->count(); ++i) {
            TTabSheet* sheet = pane->sheet(i);
            if (!sheet)
                continue;
            if (TLocalFrame* frame = sheet->localFrame())
                frame->applyLanguage(texts);
            else if (RemoteTab* remote = sheet->remoteTab())
                remote->applyLanguage(texts);
        }
    }
}

// --- Toolbar commands

void TfrmSkyhaulMain::SMBtnClick()
{
    SiteFields site;
    QString localPath;
    {
        TSiteForm form(m_options.appFolder, m_texts, this);
        if (form.exec() != TSiteForm::ConnectResult)
            return;
        // The fields as they stand, saved or not; the dialog refuses Connect without a port number.
        site.host = form.edSiteAddress->text();
        site.user = form.edID->text();
        site.password = form.edPassword->text();
        site.port = form.portNumber();
        const int ssl = form.rgSSLItems->checkedId();
        site.sslMode = ssl >= sslAutomatic && ssl <= sslNone ? TSSLStartMode(ssl) : sslNone;
        site.passive = form.chbPassiveMode->isChecked();
        site.startPath = form.edRemotePath->text();
        site.nameEncoding = form.nameEncoding();
        localPath = form.edLocalPath->text();
    }
    SiteHandOver(site, localPath);
}

void TfrmSkyhaulMain::ConfigBtnClick()
{
    ConfigFormContext context;
    context.appFolder = m_options.appFolder;
    context.localFavorites = &m_localFavorites;
    context.quickConnectList = m_quickConnect.get();
    context.quickConnectChanged = [this] { rebuildQuickConnectMenus(); };
    context.favoritesChanged = [this] { refreshFavorites(); };
    context.config = &m_config;
    context.texts = m_texts;
    // The dialog's OK saves the record, and the caption refresh after it selects the stored active tabs:
    // both must see the window as it is now, not as it was at start-up.
    storeWindowState();
    bool accepted = false;
    {
        TConfigForm form(context, this);
        accepted = form.exec() == QDialog::Accepted;
    }
    if (!accepted)
        return;
    CaptionRefresh();
    applyLanguage();
}

void TfrmSkyhaulMain::rebuildQuickConnectMenus()
{
    for (TPageControl* pane : {PageControl1, PageControl2})
        for (int i = 0; i < pane->count(); ++i)
            if (TTabSheet* sheet = pane->sheet(i); sheet && sheet->remoteTab())
                sheet->remoteTab()->rebuildQuickConnectMenu();
}

void TfrmSkyhaulMain::refreshFavorites()
{
    // A deleted favorite must not come back: a logged-on remote tab would write its old list back with its
    // next addition, and a local tab's menu would still offer it.
    for (TPageControl* pane : {PageControl1, PageControl2}) {
        for (int i = 0; i < pane->count(); ++i) {
            TTabSheet* sheet = pane->sheet(i);
            if (!sheet)
                continue;
            if (RemoteTab* remote = sheet->remoteTab())
                remote->reloadFavorites();
            else if (TLocalFrame* frame = sheet->localFrame())
                frame->rebuildFavoritesMenu();
        }
    }
}

void TfrmSkyhaulMain::AboutBtnClick()
{
    TAboutBox box(this);
    box.exec();
}

void TfrmSkyhaulMain::HelpBtnClick()
{
    m_options.openUrl(QUrl(QStringLiteral(SKYHAUL_HELP_URL)));
}

void TfrmSkyhaulMain::ExitBtnClick()
{
    close();
}

bool TfrmSkyhaulMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        HelpBtnClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
