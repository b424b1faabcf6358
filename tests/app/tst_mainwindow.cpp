// The main window with real widgets on a fresh application folder: start-up and shutdown, tab layouts,
// the tab commands and the close rule, moving tabs, the splitter, language, the other pane, and closing a
// tab or the window while a remote tab's engine method runs.
#include "app/mainwindow/mainwindow.h"
#include "app/mainwindow/panecontrol.h"
#include "local/localframe.h"
#include "store/configrecord.h"
#include "store/extrasettings.h"
#include "store/favorites.h"
#include "store/io/datafile.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "store/tablayoutfile.h"
#include "store/texttables.h"
#include "tests/app/apptesthelpers.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testhelpers.h"
#include "transfer/direntry.h"
#include "transfer/processstate.h"
#include "transfer/transferrun.h"
#include "ui/dialogs/configform.h"
#include "ui/dialogs/editfileform.h"
#include "ui/dialogs/siteform.h"
#include "ui/dialogs/sitetree.h"

#include "remote/filelistmodel.h"
#include "remote/remoteframe.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <memory>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace skyhaul::test::script;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TabLayout)

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList hints(TPageControl* pane)
{
    QStringList out;
    for (int i = 0; i < pane->count(); ++i)
        out << (pane->sheet(i) ? pane->sheet(i)->hint() : u"?"_s);
    return out;
}

QStringList captions(TPageControl* pane)
{
    QStringList out;
    for (int i = 0; i < pane->count(); ++i)
        out << pane->tabText(i);
    return out;
}

TestRemoteTab* testTab(TTabSheet* sheet)
{
    return sheet ? dynamic_cast<TestRemoteTab*>(sheet->remoteTab()) : nullptr;
}

QAbstractButton* closeButton(TPageControl* pane, int index)
{
    return qobject_cast<QAbstractButton*>(pane->tabBar()->tabButton(index, QTabBar::RightSide));
}

TabLayout remoteLayout(const QString& host, const QString& user, int port, bool passive, int ssl,
                       int transType)
{
    TabLayout t = TabLayout::ofKind(TabLayout::Kind::Remote);
    t.host = host;
    t.user = user;
    t.port = port;
    t.passive = passive;
    t.ssl = ssl;
    t.transType = transType;
    t.treeViewWidth = 170;
    t.bottomHeight = 130;
    return t;
}

void sendDrop(TPageControl* source, TPageControl* target, const QPoint& pos, bool* accepted = nullptr)
{
    QMimeData data;
    data.setData(TPageControl::dragMimeType(), source->dragToken());
    QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (accepted)
        *accepted = enter.isAccepted();
    if (!enter.isAccepted())
        return;
    QDropEvent drop(QPointF(pos), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

/// The size a local tab's list shows for a name; empty when the name is not listed.
QString localSizeText(TLocalFrame& frame, const QString& name)
{
    QAbstractItemModel* model = frame.ShellList->model();
    if (!model)
        return {};
    const QModelIndex root = frame.ShellList->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row)
        if (model->index(row, 0, root).data().toString() == name)
            return model->index(row, 1, root).data().toString();
    return {};
}

/// The size a remote tab's list shows for a name; empty when the name is not listed.
QString remoteSizeText(const TRemoteFrame& tab, const QString& name)
{
    const int row = int(shownNames(tab).indexOf(name));
    QAbstractItemModel* model = tab.widgets().rFileListView->model();
    return row < 0 ? QString() : model->index(row, RemoteFileListModel::FileSizeColumn).data().toString();
}

/// A remote tab of the window logged on to the server and showing the folder.
void logOn(TRemoteFrame& tab, const FtpServer& server, const QString& folder)
{
    fillFields(tab, server.host(), server.port(), server.user(), server.password());
    tab.ConnectBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(tab.engine()->Connected() && !tab.IsBusy(), 20000);
    QVERIFY(tab.GoToPath(folder));
    QCOMPARE(tab.currentPath(), folder);
}

/// Answers every question box Yes.
void answerYes(QDialog* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog); box && box->button(QMessageBox::Yes))
        box->button(QMessageBox::Yes)->click();
    else
        dialog->reject();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<QTemporaryDir> m_system;
    QList<QUrl> m_opened;

    MainWindowOptions options()
    {
        MainWindowOptions o;
        o.appFolder = m_app->path();
        o.systemTempFolder = m_system->path();
        o.settingsFile = m_app->filePath(u"gate.ini"_s);
        o.remoteTabFactory = testRemoteTabFactory();
        o.openUrl = [this](const QUrl& url) {
            m_opened << url;
            return true;
        };
        o.askUpdate = [](const QString&, const QString&) { return false; };
        return o;
    }

    std::unique_ptr<TfrmSkyhaulMain> start(bool show = true)
    {
        auto window = std::make_unique<TfrmSkyhaulMain>(options());
        if (show) {
            window->show();
            if (!QTest::qWaitForWindowExposed(window.get()))
                qWarning("window not exposed");
        }
        return window;
    }

    /// Stores one top-level site, named "alpha" with the start folder "/pub", in the site manager's file.
    void storeSite(const TSiteManRec& site)
    {
        TSiteManList store;
        auto rec = std::make_unique<TSiteManRec>(site);
        rec->ID = 0;
        rec->Name = u"alpha"_s;
        rec->RemotePath = u"/pub"_s;
        store.Add(std::move(rec));
        store.SaveToFile(siteManagerFilePath(m_app->path()));
    }

    QString appFile(const QString& name) const { return QDir(m_app->path()).filePath(name); }

    /// Chooses the first site in the site manager and connects it to its real server: the window's remote
    /// tab opens the start folder "/pub", and its local tab shows localPath.
    static void connectFirstSite(TfrmSkyhaulMain& window, const QString& localPath)
    {
        ModalWatcher watcher([](QDialog* dialog) {
            auto* form = qobject_cast<TSiteForm*>(dialog);
            if (!form) {
                dialog->reject();
                return;
            }
            form->TreeView->selectNode(static_cast<TSiteNode*>(form->TreeView->topLevelItem(0)));
            form->ConnectBtn->trigger();
        });
        window.SMBtn->trigger();
        auto* frame = qobject_cast<TRemoteFrame*>(window.TabSheet2->tabObject());
        QVERIFY(frame);
        QTRY_VERIFY_WITH_TIMEOUT(frame->engine()->Connected() && !frame->IsBusy(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(frame->currentPath(), u"/pub"_s, 20000);
        QCOMPARE(window.TabSheet1->localFrame()->currentFolder(), localPath);
        QCOMPARE(watcher.seen.size(), 1);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_app = std::make_unique<QTemporaryDir>();
        m_system = std::make_unique<QTemporaryDir>();
        QVERIFY(m_app->isValid() && m_system->isValid());
        extraSettings() = ExtraSettings();
        m_opened.clear();
        TestRemoteTab::s_destroyedWhileBusy = false;
    }

    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!TestRemoteTab::s_destroyedWhileBusy);
    }

    // ---- Start-up and shutdown

    void firstStartWithoutDataFiles()
    {
        RunningEditors = 3;
        auto window = start(false);
        QCOMPARE(hints(window->PageControl1), QStringList{u"L"_s});
        QCOMPARE(hints(window->PageControl2), QStringList{u"R"_s});
        QCOMPARE(window->PageControl1->activeSheet(), window->TabSheet1);
        QCOMPARE(window->PageControl2->tabText(0), u"Remote"_s);
        QCOMPARE(window->PageControl1->tabText(0), u"Local"_s);
        QVERIFY(!testTab(window->TabSheet2)->engine()->Connected());
        QCOMPARE(window->size(), QSize(930, 472));
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        QCOMPARE(window->PageControl2->currentIndex(), 0);
        QCOMPARE(RunningEditors.load(), 0);
        QCOMPARE(TempFolder(), m_system->path() + u"/skTemp/"_s);
        QVERIFY(QFileInfo(TempFolder()).isDir());
        // Nothing is written before the window closes.
        QCOMPARE(QDir(m_app->path()).entryList(QDir::Files), QStringList());
    }

    // The steps run in their order, and what each reads is in place when the next one needs it: the
    // configuration before the language, the language before the tabs get their captions, the favorites
    // before the local tabs build their menus, the layouts before the active tabs are selected.
    void startupOrder()
    {
        ConfigRecord stored;
        stored.Language = u"Test"_s;
        stored.MainWidth = 700;
        stored.MainHeight = 400;
        stored.MainLeft = 30;
        stored.MainTop = 40;
        stored.LeftActiveTab = 0;
        stored.save(m_app->path());
        writeBytes(appFile(u"Languages/Test.ini"_s), "[MainForm]\r\nLocal=Lokal\r\nExit=Quit\r\n");
        writeBytes(appFile(u"Settings.ini"_s), "[Transfer]\r\nMaxWalkFolders=77\r\n");
        LocalFavorites::save(m_app->path(), {m_system->path()});
        TabLayoutFile::write(
            TabLayoutFile::leftFilePath(m_app->path()),
            {TabLayout::ofKind(TabLayout::Kind::Local), TabLayout::ofKind(TabLayout::Kind::Local)});

        LogCapture log("skyhaul.app");
        auto window = start(false);
        QStringList steps;
        for (const QString& line : log.lines)
            if (line.startsWith(u"start-up"_s))
                steps << line.section(QLatin1Char(':'), 0, 0);
        QStringList expected;
        for (int i = 1; i <= 10; ++i)
            expected << u"start-up %1"_s.arg(i);
        QCOMPARE(steps, expected);

        QCOMPARE(window->ExitBtn->text(), u"Quit"_s);
        QCOMPARE(captions(window->PageControl1), (QStringList{u"Lokal"_s, u"Lokal"_s}));
        QCOMPARE(window->PageControl1->sheet(1)->localFrame()->favoriteMenuPaths(),
                 QStringList{m_system->path()});
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        QCOMPARE(window->size(), QSize(700, 400));
        QCOMPARE(window->pos(), QPoint(30, 40));
        QCOMPARE(extraSettings().MaxWalkFolders, 77);
        QCOMPARE(extraSettings().MaxWalkEntries, ExtraSettings::DefaultMaxWalkEntries);
    }

    // Shutdown writes both layouts, empties TempFolder (which stays) and saves the configuration with the
    // window's geometry and active tabs, in that order.
    void shutdownOrderAndFiles()
    {
        auto window = start();
        window->NewRemoteTab(window->PageControl2);
        window->NewLocalTab(window->PageControl2);
        window->PageControl2->setCurrentIndex(1);
        writeBytes(TempFolder() + u"copy.txt"_s, "x");
        writeBytes(TempFolder() + u"skDngTmp7/sub/a.bin"_s, "y");
        window->resize(800, 450);
        QVERIFY(waitFor([&] { return window->width() == 800; }, 2000));

        extraSettings().MaxWalkEntries = 4321;
        LogCapture log("skyhaul.app");
        QVERIFY(window->close());
        QStringList steps;
        for (const QString& line : log.lines)
            if (line.startsWith(u"shutdown"_s))
                steps << line.section(QLatin1Char(':'), 0, 0);
        QCOMPARE(steps, (QStringList{u"shutdown 1"_s, u"shutdown 2"_s, u"shutdown 3"_s, u"shutdown 4"_s}));

        QVERIFY(QFileInfo(TempFolder()).isDir());
        QCOMPARE(QDir(TempFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(TabLayoutFile::read(TabLayoutFile::leftFilePath(m_app->path()), TabLayout::Kind::Local)
                     .tabs.size(),
                 1);
        QCOMPARE(TabLayoutFile::read(TabLayoutFile::rightFilePath(m_app->path()), TabLayout::Kind::Local)
                     .tabs.size(),
                 3);
        ConfigRecord saved;
        QVERIFY(saved.load(m_app->path()));
        QCOMPARE(saved.MainWidth, 800);
        QCOMPARE(saved.MainHeight, 450);
        QCOMPARE(saved.LeftActiveTab, 0);
        QCOMPARE(saved.RightActiveTab, 1);
        ExtraSettings extra;
        QVERIFY(extra.load(m_app->path()));
        QCOMPARE(extra.MaxWalkEntries, 4321);
        // Closing again (the destructor) does not run the shutdown twice.
        const QByteArray layout = fileBytes(TabLayoutFile::rightFilePath(m_app->path()));
        window.reset();
        QCOMPARE(fileBytes(TabLayoutFile::rightFilePath(m_app->path())), layout);
    }

    void failedConfigSaveAtShutdownIsTold()
    {
        auto window = start();
        // A folder in the file's place cannot be replaced by the atomic save.
        const QString path = ConfigRecord::filePath(m_app->path());
        QFile::remove(path);
        QVERIFY(QDir().mkpath(path + u"/keep"_s));
        ModalWatcher boxes;
        QVERIFY(window->close());
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY2(boxes.seen.first().text.contains(u"were not saved"_s), qPrintable(boxes.seen.first().text));
        QVERIFY(QFileInfo(path + u"/keep"_s).isDir());
    }

    // ---- Layouts

    // Three tabs per pane come back with the same kinds, order and fields; no password is written; the stored
    // active tabs are selected.
    void threeTabsPerPaneRoundTrip()
    {
        QTemporaryDir folders;
        const QString a = folders.filePath(u"alpha"_s);
        const QString b = folders.filePath(u"beta"_s);
        QVERIFY(QDir().mkpath(a) && QDir().mkpath(b));
        const TabLayout r1 = remoteLayout(u"ftp.one.example"_s, u"ann"_s, 2121, false, 2, 1);
        const TabLayout r2 = remoteLayout(u"10.0.0.7"_s, u"bob"_s, 21, true, 0, 2);
        const TabLayout r3 = remoteLayout(u"three.example"_s, QString(), 990, true, 1, 0);
        {
            auto window = start();
            window->TabSheet1->localFrame()->setCurrentFolder(a);
            testTab(window->NewRemoteTab(window->PageControl1))->applyLayout(r1);
            window->NewLocalTab(window->PageControl1)->localFrame()->setCurrentFolder(b);
            testTab(window->TabSheet2)->applyLayout(r2);
            window->NewLocalTab(window->PageControl2);
            testTab(window->NewRemoteTab(window->PageControl2))->applyLayout(r3);
            window->PageControl1->setCurrentIndex(1);
            window->PageControl2->setCurrentIndex(0);
            QVERIFY(window->close());
        }
        const QByteArray left = fileBytes(TabLayoutFile::leftFilePath(m_app->path()));
        QVERIFY(left.startsWith("[0]\r\nType=Local\r\n"));
        QVERIFY(left.contains("[1]\r\nType=Remote\r\n"));
        QVERIFY(left.contains("[2]\r\nType=Local\r\n"));
        QVERIFY(!left.contains("\nPass=") && !left.contains("Password"));

        auto window = start();
        QCOMPARE(hints(window->PageControl1), (QStringList{u"L"_s, u"R"_s, u"L"_s}));
        QCOMPARE(hints(window->PageControl2), (QStringList{u"R"_s, u"L"_s, u"R"_s}));
        QCOMPARE(window->PageControl1->sheet(0)->localFrame()->currentFolder(), a);
        QCOMPARE(window->PageControl1->sheet(2)->localFrame()->currentFolder(), b);
        QCOMPARE(captions(window->PageControl1), (QStringList{u"alpha"_s, u"Remote"_s, u"beta"_s}));
        QCOMPARE(testTab(window->PageControl1->sheet(1))->layout(), r1);
        QCOMPARE(testTab(window->PageControl2->sheet(0))->layout(), r2);
        QCOMPARE(testTab(window->PageControl2->sheet(2))->layout(), r3);
        QCOMPARE(window->PageControl1->currentIndex(), 1);
        QCOMPARE(window->PageControl2->currentIndex(), 0);
        for (TPageControl* pane : {window->PageControl1, window->PageControl2})
            for (int i = 0; i < pane->count(); ++i)
                QVERIFY(closeButton(pane, i));
    }

    // The last restored tab stays active when the stored index is past the pane's tabs.
    void storedActiveIndexTooLargeIsIgnored()
    {
        TabLayoutFile::write(
            TabLayoutFile::leftFilePath(m_app->path()),
            {TabLayout::ofKind(TabLayout::Kind::Local), TabLayout::ofKind(TabLayout::Kind::Remote)});
        ConfigRecord stored;
        stored.LeftActiveTab = 5;
        stored.RightActiveTab = 0;
        stored.save(m_app->path());
        auto window = start(false);
        QCOMPARE(window->PageControl1->count(), 2);
        QCOMPARE(window->PageControl1->currentIndex(), 1);
    }

    void handEditedLayouts_data()
    {
        QTest::addColumn<bool>("rightPane");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expectedHints");
        QTest::addColumn<QStringList>("expectedCaptions");
        QTest::newRow("empty file, left")
            << false << QByteArray() << QStringList{u"L"_s} << QStringList{u"Local"_s};
        QTest::newRow("empty file, right")
            << true << QByteArray() << QStringList{u"R"_s} << QStringList{u"Remote"_s};
        QTest::newRow("no section 0")
            << true << QByteArray("[1]\r\nType=Local\r\n[2]\r\nType=Remote\r\n")
            << QStringList{u"R"_s, u"L"_s, u"R"_s} << QStringList{u"Remote"_s, u"Local"_s, u"Remote"_s};
        QTest::newRow("unknown Type is local") << true << QByteArray("[0]\r\nType=SFTP\r\nHost=x\r\n")
                                               << QStringList{u"L"_s} << QStringList{u"Local"_s};
        QTest::newRow("no Type is local")
            << true << QByteArray("[0]\r\nPath=\r\n") << QStringList{u"L"_s} << QStringList{u"Local"_s};
        QTest::newRow("letter case of Remote matters")
            << false << QByteArray("[0]\r\nType=remote\r\n[1]\r\nType=Remote\r\n")
            << QStringList{u"L"_s, u"R"_s} << QStringList{u"Local"_s, u"Remote"_s};
        QTest::newRow("not an INI text") << false << QByteArray("\x00\x01garbage\xff", 11)
                                         << QStringList{u"L"_s} << QStringList{u"Local"_s};
    }

    void handEditedLayouts()
    {
        QFETCH(bool, rightPane);
        QFETCH(QByteArray, file);
        writeBytes(rightPane ? TabLayoutFile::rightFilePath(m_app->path())
                             : TabLayoutFile::leftFilePath(m_app->path()),
                   file);
        auto window = start(false);
        TPageControl* pane = rightPane ? window->PageControl2 : window->PageControl1;
        QTEST(hints(pane), "expectedHints");
        QTEST(captions(pane), "expectedCaptions");
        // Every sheet has its tab object.
        for (int i = 0; i < pane->count(); ++i)
            QVERIFY(pane->sheet(i)->tabObject());
    }

    // A remote tab whose saved port is not a port is saved with 21; the rest of the shutdown still runs.
    void layoutWithBadPortStillSaves()
    {
        auto window = start();
        TabLayout bad = remoteLayout(u"h"_s, u"u"_s, TabLayout::portFromText(u"12ab"_s), true, 3, 0);
        testTab(window->TabSheet2)->applyLayout(bad);
        QVERIFY(window->close());
        QCOMPARE(TabLayoutFile::read(TabLayoutFile::rightFilePath(m_app->path()), TabLayout::Kind::Remote)
                     .tabs[0]
                     .port,
                 21);
        QVERIFY(QFile::exists(ConfigRecord::filePath(m_app->path())));
    }

    // ---- Tab commands

    void newButtonsAndPaneMenus()
    {
        auto window = start();
        QSignalSpy dummy(window.get(), &QObject::destroyed);
        QTest::mouseClick(window->MainToolbar->widgetForAction(window->NLLBtn), Qt::LeftButton);
        QTest::mouseClick(window->MainToolbar->widgetForAction(window->NRLBtn), Qt::LeftButton);
        QTest::mouseClick(window->MainToolbar->widgetForAction(window->NLRBtn), Qt::LeftButton);
        QTest::mouseClick(window->MainToolbar->widgetForAction(window->NRRBtn), Qt::LeftButton);
        QCOMPARE(hints(window->PageControl1), (QStringList{u"L"_s, u"L"_s, u"R"_s}));
        QCOMPARE(hints(window->PageControl2), (QStringList{u"R"_s, u"L"_s, u"R"_s}));
        QCOMPARE(captions(window->PageControl2), (QStringList{u"Remote"_s, u"Local"_s, u"Remote"_s}));
        QCOMPARE(window->PageControl1->currentIndex(), 2);
        QCOMPARE(window->PageControl2->currentIndex(), 2);
        // The remote tabs know the window as their pane host and are not connected.
        QCOMPARE(testTab(window->PageControl1->sheet(2))->paneHost, static_cast<PaneHost*>(window.get()));
        QCOMPARE(testTab(window->PageControl1->sheet(2))->connects, 0);

        window->findChild<QAction*>(u"NewLocal2"_s)->trigger();
        window->findChild<QAction*>(u"NewRemote1"_s)->trigger();
        QCOMPARE(hints(window->PageControl2).last(), u"L"_s);
        QCOMPARE(hints(window->PageControl1).last(), u"R"_s);

        // Delete This Tab closes the active sheet and the pane selects another.
        window->PageControl1->setCurrentIndex(1);
        QPointer<TTabSheet> doomed = window->PageControl1->activeSheet();
        window->findChild<QAction*>(u"DeleteThisTab1"_s)->trigger();
        QCOMPARE(hints(window->PageControl1), (QStringList{u"L"_s, u"R"_s, u"R"_s}));
        QVERIFY(waitFor([&] { return doomed.isNull(); }, 1000));
    }

    void closeRule_data()
    {
        QTest::addColumn<bool>("useMenu");
        QTest::newRow("close button") << false;
        QTest::newRow("Delete This Tab") << true;
    }

    // A pane's only tab never goes; with two, the one asked for goes with its tab object.
    void closeRule()
    {
        QFETCH(bool, useMenu);
        auto window = start();
        auto closeTab = [&](TPageControl* pane, int index) {
            if (useMenu) {
                pane->setCurrentIndex(index);
                window
                    ->findChild<QAction*>(pane == window->PageControl1 ? u"DeleteThisTab1"_s
                                                                       : u"DeleteThisTab2"_s)
                    ->trigger();
            } else {
                QTest::mouseClick(closeButton(pane, index), Qt::LeftButton);
            }
        };
        closeTab(window->PageControl1, 0);
        closeTab(window->PageControl2, 0);
        QCOMPARE(window->PageControl1->count(), 1);
        QCOMPARE(window->PageControl2->count(), 1);
        QCOMPARE(window->PageControl2->activeSheet(), window->TabSheet2);

        TTabSheet* added = window->NewRemoteTab(window->PageControl2);
        QPointer<TTabSheet> first = window->TabSheet2;
        QPointer<QWidget> firstObject = first->tabObject();
        closeTab(window->PageControl2, 0);
        QCOMPARE(window->PageControl2->count(), 1);
        QCOMPARE(window->PageControl2->activeSheet(), added);
        QVERIFY(waitFor([&] { return first.isNull() && firstObject.isNull(); }, 1000));
        closeTab(window->PageControl2, 0);
        QCOMPARE(window->PageControl2->activeSheet(), added);
    }

    // Right button on a tab makes it active and opens the pane's menu; elsewhere nothing happens.
    void rightButtonOnTabs()
    {
        auto window = start();
        window->NewLocalTab(window->PageControl1);
        window->PageControl1->setCurrentIndex(1);
        QTabBar* bar = window->PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::RightButton, {}, bar->tabRect(0).center());
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        QVERIFY(window->PopupMenu1->isVisible());
        QVERIFY(!window->PopupMenu2->isVisible());
        window->PopupMenu1->hide();

        // The header row beside the tabs: no tab there.
        TPageControl* pane = window->PageControl1;
        const QPoint empty(pane->width() - 5, bar->height() / 2);
        QVERIFY(pane->childAt(empty) == nullptr || pane->childAt(empty) == pane);
        QTest::mouseClick(pane, Qt::RightButton, {}, empty);
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        QVERIFY(!window->PopupMenu1->isVisible());
    }

    // ---- Moving tabs

    // A drag starts after the pointer moved 5 pixels with the left button down, and only from a pane with
    // more than one tab.
    void dragStartsAtFivePixels()
    {
        auto window = start();
        TPaneTabBar* bar = window->PageControl1->paneTabBar();
        // The drag itself is driven by the drop tests; here only its start is observed.
        QObject::disconnect(bar, &TPaneTabBar::dragRequested, window->PageControl1, nullptr);
        QSignalSpy drags(bar, &TPaneTabBar::dragRequested);
        const QPoint at = bar->tabRect(0).center();
        auto moveTo = [&](const QPoint& p) {
            QMouseEvent move(QEvent::MouseMove, p, bar->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(bar, &move);
        };
        QTest::mousePress(bar, Qt::LeftButton, {}, at);
        moveTo(at + QPoint(4, 0));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, at + QPoint(4, 0));
        QCOMPARE(drags.count(), 0); // a single tab is not dragged

        window->NewLocalTab(window->PageControl1);
        QTest::mousePress(bar, Qt::LeftButton, {}, at);
        QCOMPARE(window->PageControl1->currentIndex(), 0);
        moveTo(at + QPoint(4, 0));
        QCOMPARE(drags.count(), 0);
        moveTo(at + QPoint(0, -5));
        QCOMPARE(drags.count(), 1);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
    }

    void dropsMoveTabs()
    {
        auto window = start();
        TPageControl* left = window->PageControl1;
        TPageControl* right = window->PageControl2;
        TTabSheet* l1 = window->TabSheet1;
        TTabSheet* l2 = window->NewLocalTab(left);
        TTabSheet* l3 = window->NewRemoteTab(left);
        QWidget* movingObject = l3->tabObject();

        // Same pane: the active tab goes to the tab under the pointer.
        left->setCurrentWidget(l3);
        sendDrop(left, left, left->tabBar()->mapTo(left, left->tabBar()->tabRect(0).center()));
        QCOMPARE(left->sheet(0), l3);
        QCOMPARE(left->sheet(1), l1);
        QCOMPARE(left->sheet(2), l2);
        // Dropped where no tab is: nothing moves.
        sendDrop(left, left, QPoint(left->width() / 2, left->height() / 2));
        QCOMPARE(left->sheet(0), l3);

        // Other pane: the source's active tab moves there with its tab object and becomes active.
        left->setCurrentWidget(l3);
        sendDrop(left, right, QPoint(right->width() / 2, right->height() / 2));
        QCOMPARE(left->count(), 2);
        QCOMPARE(right->count(), 2);
        QCOMPARE(right->activeSheet(), l3);
        QCOMPARE(l3->tabObject(), movingObject);
        QCOMPARE(right->tabText(1), u"Remote"_s);
        QCOMPARE(window->paneOf(l3), right);

        // A drag from elsewhere is refused.
        QMimeData foreign;
        foreign.setData(TPageControl::dragMimeType(), "12345:deadbeef");
        QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(right, &enter);
        QVERIFY(!enter.isAccepted());

        // The last tab of a pane is never dragged out.
        TPageControl* single = right;
        QVERIFY(window->TabSheet2->parent());
        left->setCurrentIndex(0);
        sendDrop(right, left, QPoint(5, 5));
        sendDrop(right, left, QPoint(5, 5));
        QCOMPARE(single->count(), 1);
    }

    // ---- Splitter

    void splitterSnaps_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("snaps");
        QTest::newRow("29 right") << 29 << true;
        QTest::newRow("29 left") << -29 << true;
        QTest::newRow("30 right") << 30 << false;
        QTest::newRow("30 left") << -30 << false;
        QTest::newRow("far") << 200 << false;
    }

    void splitterSnaps()
    {
        QFETCH(int, offset);
        QFETCH(bool, snaps);
        auto window = start();
        QCOMPARE(window->width(), 930);
        const int half = 465;
        QCOMPARE(window->PageControl1->width(), half);

        QSplitterHandle* handle = window->Splitter1->handle(1);
        const QPoint grip(2, handle->height() / 2);
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        const QPoint to = window->Splitter1->mapToGlobal(QPoint(half + offset + grip.x(), grip.y()));
        QMouseEvent move(QEvent::MouseMove, handle->mapFromGlobal(to), to, Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, handle->mapFromGlobal(to));

        const int left = snaps ? half : half + offset;
        QCOMPARE(window->PageControl1->width(), left);
        QCOMPARE(window->configRecord().SplitterRatio, double(left) / 930);

        // A resized window keeps the share, rounded to nearest with ties to even.
        window->resize(1001, 500);
        QVERIFY(waitFor([&] { return window->width() == 1001; }, 2000));
        QCOMPARE(window->PageControl1->width(), int(std::rint(1001 * double(left) / 930)));
    }

    void splitterRounding_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<int>("left");
        QTest::newRow("tie goes to even, down") << 5 << 0.5 << 2;
        QTest::newRow("tie goes to even, up") << 7 << 0.5 << 4;
        QTest::newRow("nearest") << 1000 << 0.3337 << 334;
    }

    void splitterRounding()
    {
        QFETCH(int, width);
        QFETCH(double, ratio);
        QTEST(TPaneSplitter::leftWidthFor(width, ratio), "left");
        QCOMPARE(TPaneSplitter::snapLeftWidth(465 + 29, 931), 465);
        QCOMPARE(TPaneSplitter::snapLeftWidth(465 + 30, 931), 495);
    }

    // ---- Language and captions

    void languageFileRelabelsToolbar()
    {
        writeBytes(
            appFile(u"Languages/English.ini"_s),
            "[MainForm]\r\nExit=Quit\r\nNewLocalToLeft=Links lokal\r\nRemote=Fern\r\nDeleteThisTab=Weg\r\n"
            "Font=DejaVu Serif\r\nSize=10\r\n");
        auto window = start(false);
        QCOMPARE(window->ExitBtn->text(), u"Quit"_s);
        QCOMPARE(window->NLLBtn->text(), u"Links lokal"_s);
        QCOMPARE(window->SMBtn->text(), u"Site Manager"_s);
        QCOMPARE(window->AboutBtn->text(), u"About"_s);
        QCOMPARE(window->PageControl2->tabText(0), u"Fern"_s);
        QCOMPARE(window->findChild<QAction*>(u"DeleteThisTab2"_s)->text(), u"Weg"_s);
        QCOMPARE(window->PageControl1->tabBar()->font().pointSize(), 10);
        QCOMPARE(window->NewRemoteTab(window->PageControl1) ? window->PageControl1->tabText(1) : QString(),
                 u"Fern"_s);

        // Applied again (as after the configuration dialog): the window and every tab.
        writeBytes(appFile(u"Languages/English.ini"_s), "[MainForm]\r\nExit=Ende\r\n");
        const int before = testTab(window->TabSheet2)->languageApplied;
        window->applyLanguage();
        QCOMPARE(window->ExitBtn->text(), u"Ende"_s);
        QCOMPARE(window->NLLBtn->text(), u"New Local To Left"_s);
        QCOMPARE(testTab(window->TabSheet2)->languageApplied, before + 1);
    }

    void captionRefreshFollowsOptions()
    {
        ConfigRecord stored;
        stored.ShowMainCaption = false;
        stored.ShowLocalCaption = false;
        stored.ShowRemoteCaption = false;
        stored.save(m_app->path());
        auto window = start(false);
        QCOMPARE(window->MainToolbar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QCOMPARE(window->TabSheet1->localFrame()->LocalToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(!testTab(window->TabSheet2)->showCaptions);
        window->configRecord().ShowMainCaption = true;
        window->configRecord().ShowRemoteCaption = true;
        window->CaptionRefresh();
        QCOMPARE(window->MainToolbar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QVERIFY(testTab(window->TabSheet2)->showCaptions);
    }

    // ---- The configuration dialog

    /// Runs the Config button with a watcher that lets `act` fill the dialog and close it.
    static QList<ModalWatcher::Seen> runConfig(TfrmSkyhaulMain& window,
                                               const std::function<void(TConfigForm*)>& act)
    {
        ModalWatcher watcher([&](QDialog* dialog) {
            if (auto* form = qobject_cast<TConfigForm*>(dialog))
                act(form);
            else
                dialog->reject();
        });
        window.ConfigBtn->trigger();
        return watcher.seen;
    }

    static QList<TTabSheet*> sheets(const TfrmSkyhaulMain& window)
    {
        QList<TTabSheet*> out;
        for (TPageControl* pane : {window.PageControl1, window.PageControl2})
            for (int i = 0; i < pane->count(); ++i)
                out << pane->sheet(i);
        return out;
    }

    // A language chosen in the dialog relabels the window and every tab at once after OK, and the caption
    // options take effect; Cancel changes nothing.
    void configOkAppliesLanguageAndCaptions()
    {
        writeBytes(appFile(u"Languages/English.ini"_s), "[MainForm]\r\n");
        writeBytes(appFile(u"Languages/Deutsch.ini"_s),
                   "[MainForm]\r\nExit=Ende\r\nNewLocal=Neu lokal\r\n[LocalForm]\r\nFavorite=Favoriten\r\n");
        auto window = start();
        QVERIFY(window->ConfigBtn->isEnabled());
        window->NewRemoteTab(window->PageControl1);
        window->NewLocalTab(window->PageControl2);
        QList<int> before;
        for (TTabSheet* sheet : sheets(*window))
            before << (testTab(sheet) ? testTab(sheet)->languageApplied : -1);

        const auto seen = runConfig(*window, [](TConfigForm* form) {
            form->cbLanguage->setCurrentText(u"Deutsch"_s);
            form->chbShowMainCaption->setChecked(false);
            form->chbShowLocalCaption->setChecked(false);
            form->btnOk->click();
        });
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.first().className, u"skyhaul::TConfigForm"_s);
        QCOMPARE(seen.first().title, u"Config"_s);
        QVERIFY(window->findChildren<TConfigForm*>().isEmpty());
        QCOMPARE(window->configRecord().Language, u"Deutsch"_s);
        QCOMPARE(window->ExitBtn->text(), u"Ende"_s);
        QCOMPARE(window->findChild<QAction*>(u"NewLocal2"_s)->text(), u"Neu lokal"_s);
        QCOMPARE(window->MainToolbar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        const QList<TTabSheet*> all = sheets(*window);
        int locals = 0;
        for (int i = 0; i < all.size(); ++i) {
            if (TLocalFrame* frame = all[i]->localFrame()) {
                ++locals;
                QCOMPARE(frame->FavoriteBtn->text(), u"Favoriten"_s);
                QCOMPARE(frame->LocalToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
            } else {
                QCOMPARE(testTab(all[i])->languageApplied, before[i] + 1);
            }
        }
        QCOMPARE(locals, 2);
        ConfigRecord saved;
        QVERIFY(saved.load(m_app->path()));
        QCOMPARE(saved.Language, u"Deutsch"_s);

        runConfig(*window, [](TConfigForm* form) {
            form->cbLanguage->setCurrentText(u"English"_s);
            form->chbShowMainCaption->setChecked(true);
            form->btnCancel->click();
        });
        QCOMPARE(window->configRecord().Language, u"Deutsch"_s);
        QCOMPARE(window->ExitBtn->text(), u"Ende"_s);
        QCOMPARE(window->MainToolbar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }

    // OK keeps both panes on the tabs the user has chosen since start-up, and config.dat saved by the dialog
    // holds those tabs and the window's size.
    void configOkKeepsActiveTabs()
    {
        auto window = start();
        window->NewLocalTab(window->PageControl1);
        window->NewRemoteTab(window->PageControl1);
        window->NewRemoteTab(window->PageControl2);
        window->PageControl1->setCurrentIndex(1);
        window->PageControl2->setCurrentIndex(1);
        window->resize(1000, 520);
        QCOMPARE(window->configRecord().LeftActiveTab, 0); // as loaded at start-up

        runConfig(*window, [](TConfigForm* form) { form->btnOk->click(); });
        QCOMPARE(window->PageControl1->currentIndex(), 1);
        QCOMPARE(window->PageControl2->currentIndex(), 1);
        ConfigRecord saved;
        QVERIFY(saved.load(m_app->path()));
        QCOMPARE(saved.LeftActiveTab, 1);
        QCOMPARE(saved.RightActiveTab, 1);
        QCOMPARE(saved.MainWidth, window->width());
        QCOMPARE(saved.MainHeight, window->height());
    }

    // Quick-connect entries deleted in the dialog leave the menu of every open remote tab, in both panes,
    // although the dialog is cancelled afterwards.
    void quickConnectDeletesReachEveryTab()
    {
        TSiteManList list;
        for (int i = 0; i < 3; ++i) {
            QuickConnectLogon logon;
            logon.user = u"user%1"_s.arg(i);
            logon.host = u"host%1"_s.arg(i);
            list.Add(makeQuickConnectRecord(logon));
        }
        list.SaveToFile(quickConnectFilePath(m_app->path()));
        MainWindowOptions o = options();
        o.remoteTabFactory = nullptr;
        TfrmSkyhaulMain window(o);
        window.NewRemoteTab(window.PageControl1);
        window.NewRemoteTab(window.PageControl2);
        auto menus = [&] {
            QList<QStringList> out;
            for (TTabSheet* sheet : sheets(window)) {
                if (auto* frame = qobject_cast<TRemoteFrame*>(sheet->tabObject())) {
                    QStringList items;
                    for (QAction* a : frame->widgets().QCPopupMenu->actions())
                        items << a->text();
                    out << items;
                }
            }
            return out;
        };
        const QStringList all{u"user0@host0"_s, u"user1@host1"_s, u"user2@host2"_s};
        QCOMPARE(menus(), (QList<QStringList>{all, all, all}));
        runConfig(window, [](TConfigForm* form) {
            form->lvQuickConnect->item(1)->setCheckState(Qt::Checked);
            form->btnDeleteSelected->click();
            form->btnCancel->click();
        });
        const QStringList left{u"user0@host0"_s, u"user2@host2"_s};
        QCOMPARE(menus(), (QList<QStringList>{left, left, left}));
        TSiteManList saved;
        saved.LoadFromFile(quickConnectFilePath(m_app->path()));
        QCOMPARE(saved.Count(), 2);
    }

    // A local favorite deleted in the dialog leaves every local tab's menu, and a later "Add To Favorite"
    // does not write it back.
    void deletedLocalFavoriteStaysDeleted()
    {
        QTemporaryDir a, b, c;
        LocalFavorites::save(m_app->path(), {a.path(), b.path()});
        auto window = start();
        window->NewLocalTab(window->PageControl2);
        runConfig(*window, [](TConfigForm* form) {
            form->lvLocalFavorites->topLevelItem(0)->setSelected(true);
            form->btnDeleteLocal->click();
            form->btnCancel->click();
        });
        QCOMPARE(window->localFavorites(), QStringList{b.path()});
        int locals = 0;
        for (TTabSheet* sheet : sheets(*window)) {
            if (TLocalFrame* frame = sheet->localFrame()) {
                ++locals;
                QCOMPARE(frame->favoriteMenuPaths(), QStringList{b.path()});
            }
        }
        QCOMPARE(locals, 2);
        TLocalFrame* frame = window->TabSheet1->localFrame();
        QVERIFY(frame->setCurrentFolder(c.path()));
        frame->AddToFavoriteClick();
        QCOMPARE(LocalFavorites::load(m_app->path()), (QStringList{b.path(), c.path()}));
    }

    // A LocalFavorites.dat that cannot be read (here: larger than the reading limit) is told at start-up.
    // "Add To Favorite" then asks; whichever the answer, the file is left as it was, also at shutdown.
    void unreadableLocalFavoritesAtStartUp_data()
    {
        QTest::addColumn<bool>("sessionOnly");
        QTest::newRow("added for the session") << true;
        QTest::newRow("refused") << false;
    }

    void unreadableLocalFavoritesAtStartUp()
    {
        QFETCH(bool, sessionOnly);
        const QString path = LocalFavorites::filePath(m_app->path());
        QByteArray big;
        while (big.size() <= MaxTextDataFileBytes)
            big += "/home/user/projects/kept\r\n";
        writeBytes(path, big);
        QTemporaryDir folder;
        ModalWatcher watcher([&](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            if (box && box->text().contains(u"session only"_s))
                box->button(sessionOnly ? QMessageBox::Yes : QMessageBox::No)->click();
            else
                dialog->reject();
        });
        {
            auto window = start();
            QCOMPARE(watcher.seen.size(), 1);
            QVERIFY2(watcher.seen[0].text.contains(path), qPrintable(watcher.seen[0].text));
            QVERIFY(watcher.seen[0].text.contains(u"larger than"_s));
            TLocalFrame* frame = window->TabSheet1->localFrame();
            QVERIFY(frame->setCurrentFolder(folder.path()));
            frame->AddToFavoriteClick();
            QCOMPARE(watcher.seen.size(), 2);
            QCOMPARE(frame->favoriteMenuPaths(), sessionOnly ? QStringList{folder.path()} : QStringList());
            QCOMPARE(fileBytes(path), big);
            QVERIFY(window->close());
        }
        QCOMPARE(fileBytes(path), big);
        QCOMPARE(watcher.seen.size(), 2);
    }

    // A QuickConnectList.dat that cannot be read is told at start-up and not written from the empty list.
    void unreadableQuickConnectListAtStartUp()
    {
        const QString path = quickConnectFilePath(m_app->path());
        // A folder in the file's place: it exists, and no read of it succeeds.
        QVERIFY(QDir().mkpath(path + u"/inside"_s));
        ModalWatcher watcher;
        auto window = start();
        QCOMPARE(watcher.seen.size(), 1);
        QVERIFY2(watcher.seen[0].text.contains(path), qPrintable(watcher.seen[0].text));
        QVERIFY_THROWS_EXCEPTION(FileIoError, window->quickConnectList().SaveToFile(path));
        QVERIFY(QFileInfo(path + u"/inside"_s).isDir());
    }

    // ---- The other pane

    void oppositeTabs()
    {
        QTemporaryDir folder;
        auto window = start();
        TLocalFrame* local = window->TabSheet1->localFrame();
        QWidget* remote = window->TabSheet2->tabObject();
        TFtpEngine* engine = testTab(window->TabSheet2)->engine();

        // No folder yet: nothing to download into.
        QCOMPARE(window->oppositeLocalPath(remote), QString());
        QVERIFY(local->setCurrentFolder(folder.path()));
        QCOMPARE(window->oppositeLocalPath(remote), folder.path() + u"/"_s);
        QCOMPARE(window->oppositeRemoteEngine(local), engine);
        // Same kind on both sides: no answer.
        QCOMPARE(window->oppositeRemoteEngine(remote), nullptr);
        QCOMPARE(window->oppositeLocalPath(local), QString());
        // From a widget inside the tab, as the tab's own code asks.
        QCOMPARE(
            window->oppositeLocalPath(remote->findChild<QWidget*>() ? remote->findChild<QWidget*>() : remote),
            folder.path() + u"/"_s);
        // The root keeps its one separator.
        QVERIFY(local->setCurrentFolder(u"/"_s));
        QCOMPARE(window->oppositeLocalPath(remote), u"/"_s);

        // A local tab's selection goes to the remote tab opposite; a remote tab sends nothing this way.
        window->uploadToOpposite(local, {folder.path() + u"/"_s, {u"a.txt"_s, u"sub"_s}});
        window->uploadToOpposite(remote, {folder.path() + u"/"_s, {u"b.txt"_s}});
        QCOMPARE(testTab(window->TabSheet2)->uploads.size(), 1);
        QCOMPARE(testTab(window->TabSheet2)->uploads.first().folder, folder.path() + u"/"_s);
        QCOMPARE(testTab(window->TabSheet2)->uploads.first().names, QStringList({u"a.txt"_s, u"sub"_s}));

        // Only the active tab of the other pane counts.
        window->NewLocalTab(window->PageControl2);
        QCOMPARE(window->oppositeRemoteEngine(local), nullptr);
        window->uploadToOpposite(local, {folder.path() + u"/"_s, {u"c.txt"_s}});
        QCOMPARE(testTab(window->TabSheet2)->uploads.size(), 1);
        window->PageControl2->setCurrentIndex(0);
        QCOMPARE(window->oppositeRemoteEngine(local), engine);

        // A tab moved to the other pane asks the pane it is now in.
        TTabSheet* second = window->NewRemoteTab(window->PageControl1);
        sendDrop(window->PageControl1, window->PageControl2, QPoint(10, 10));
        QCOMPARE(window->paneOf(second), window->PageControl2);
        window->PageControl1->setCurrentIndex(0);
        QCOMPARE(window->oppositeLocalPath(second->tabObject()), u"/"_s);
    }

    // "Send Files To Server": nothing without a selection; with one and no connected remote tab opposite,
    // "Ftp is not connected!".
    void sendFilesWithoutConnection()
    {
        QTemporaryDir folder;
        writeBytes(folder.filePath(u"a.txt"_s), "a");
        auto window = start();
        TLocalFrame* local = window->TabSheet1->localFrame();
        QVERIFY(local->setCurrentFolder(folder.path()));
        ModalWatcher watcher;
        local->TransferBtn->trigger();
        QTest::qWait(50);
        QCOMPARE(watcher.seen.size(), 0);

        QVERIFY(waitFor(
            [&] { return local->ShellList->model()->rowCount(local->ShellList->rootIndex()) == 1; }, 5000));
        local->ShellList->selectAll();
        local->TransferBtn->trigger();
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen.first().text, u"Ftp is not connected!"_s);
        QCOMPARE(watcher.seen.first().title, u"Skyhaul"_s);
        window->NewLocalTab(window->PageControl2);
        local->SendSelectedFiles1->trigger();
        QCOMPARE(watcher.seen.size(), 2);
    }

    // The site hand-over's choice of tabs.
    void siteHandOverChoice_data()
    {
        QTest::addColumn<QString>("leftActive");
        QTest::addColumn<QString>("rightActive");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("idle remote on the left") << u"idle"_s << u"idle"_s << u"left"_s;
        QTest::newRow("connected remote on the left: new, right not looked at")
            << u"connected"_s << u"idle"_s << u"new"_s;
        QTest::newRow("local on the left, idle remote on the right") << u"local"_s << u"idle"_s << u"right"_s;
        QTest::newRow("local on the left, connected remote on the right")
            << u"local"_s << u"connected"_s << u"new"_s;
        QTest::newRow("local on both sides") << u"local"_s << u"local"_s << u"new"_s;
    }

    void siteHandOverChoice()
    {
        QFETCH(QString, leftActive);
        QFETCH(QString, rightActive);
        ScriptedServer server({reply("220 ready"), expect("USER u"), reply("331 pass"), expect("PASS p"),
                               reply("230 in"), expect("FEAT"), reply("502 No features")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        auto window = start();
        auto make = [&](TPageControl* pane, const QString& kind) -> TTabSheet* {
            if (kind == u"local"_s)
                return window->NewLocalTab(pane);
            TTabSheet* sheet = window->NewRemoteTab(pane);
            if (kind == u"connected"_s) {
                TFtpEngine* engine = testTab(sheet)->engine();
                engine->setRemoteHost(server.host());
                engine->setRemotePort(server.port());
                engine->setUser(u"u"_s);
                engine->setPassword(u"p"_s);
                engine->setSSLStartMode(sslNone);
                try {
                    engine->Logon();
                } catch (const EFtpEngine& e) {
                    qWarning("%s", e.what());
                }
                if (!engine->Connected())
                    qWarning("not connected");
            }
            return sheet;
        };
        TTabSheet* left = make(window->PageControl1, leftActive);
        TTabSheet* right = make(window->PageControl2, rightActive);
        const int rightCount = window->PageControl2->count();
        TTabSheet* picked = window->siteRemoteSheet();
        QFETCH(QString, chosen);
        if (chosen == u"left"_s) {
            QCOMPARE(picked, left);
        } else if (chosen == u"right"_s) {
            QCOMPARE(picked, right);
        } else {
            QCOMPARE(window->PageControl2->count(), rightCount + 1);
            QCOMPARE(window->PageControl2->activeSheet(), picked);
            QCOMPARE(picked->hint(), u"R"_s);
        }
    }

    // The hand-over fills the chosen remote tab, connects it, and points a local tab at the site's folder.
    void siteHandOverFillsAndConnects()
    {
        QTemporaryDir folder;
        auto window = start();
        SiteFields site{u"ftp.example"_s, u"ann"_s, u"secret"_s, 2121, sslExplicit, false, u"/pub"_s};
        window->PageControl2->setCurrentIndex(0);
        window->SiteHandOver(site, folder.path());
        TestRemoteTab* tab = testTab(window->TabSheet2);
        QCOMPARE(tab->connects, 1);
        QCOMPARE(tab->lastSite.host, u"ftp.example"_s);
        QCOMPARE(tab->lastSite.password, u"secret"_s);
        QCOMPARE(tab->lastSite.startPath, u"/pub"_s);
        QCOMPARE(window->TabSheet1->localFrame()->currentFolder(), folder.path());
        // With a remote tab active on both sides, a local tab is made in the left pane.
        window->NewRemoteTab(window->PageControl1);
        window->SiteHandOver(site, QString());
        QCOMPARE(hints(window->PageControl1), (QStringList{u"L"_s, u"R"_s, u"L"_s}));
    }

    // The Site Manager button runs the dialog; its Connect hands the site as it stands to a remote tab.
    void siteManagerButtonConnects_data()
    {
        QTest::addColumn<bool>("connect");
        QTest::newRow("Connect") << true;
        QTest::newRow("Escape") << false;
    }

    void siteManagerButtonConnects()
    {
        QFETCH(bool, connect);
        QTemporaryDir folder;
        TSiteManRec site;
        site.Host = u"ftp.example"_s;
        site.Port = 2121;
        site.UserID = u"ann"_s;
        site.Password = u"secret"_s;
        site.SSLMode = sslExplicit;
        site.Passive = false;
        site.NameEncoding = NameEncodingChoice::Local;
        site.LocalPath = folder.path();
        storeSite(site);
        auto window = start();
        QVERIFY(window->SMBtn->isEnabled());
        window->PageControl2->setCurrentIndex(0);
        ModalWatcher watcher([&](QDialog* dialog) {
            auto* form = qobject_cast<TSiteForm*>(dialog);
            if (!form || !connect) {
                dialog->reject();
                return;
            }
            form->TreeView->selectNode(static_cast<TSiteNode*>(form->TreeView->topLevelItem(0)));
            form->ModifyBtn->trigger();
            form->edRemotePath->setText(u"/changed"_s); // not saved
            QCOMPARE(form->cbNameEncoding->currentIndex(), int(NameEncodingChoice::Local));
            form->cbNameEncoding->setCurrentIndex(int(NameEncodingChoice::Utf8)); // not saved
            form->ConnectBtn->trigger();
        });
        QTest::mouseClick(window->MainToolbar->widgetForAction(window->SMBtn), Qt::LeftButton);
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen.first().className, u"skyhaul::TSiteForm"_s);
        QCOMPARE(watcher.seen.first().title, u"Site Manager"_s);
        TestRemoteTab* tab = testTab(window->TabSheet2);
        QCOMPARE(tab->connects, connect ? 1 : 0);
        QVERIFY(window->findChildren<TSiteForm*>().isEmpty()); // destroyed after it returned
        if (!connect)
            return;
        QCOMPARE(tab->lastSite.host, u"ftp.example"_s);
        QCOMPARE(tab->lastSite.port, 2121);
        QCOMPARE(tab->lastSite.user, u"ann"_s);
        QCOMPARE(tab->lastSite.password, u"secret"_s);
        QCOMPARE(tab->lastSite.sslMode, sslExplicit);
        QCOMPARE(tab->lastSite.passive, false);
        QCOMPARE(tab->lastSite.startPath, u"/changed"_s);
        QCOMPARE(tab->lastSite.nameEncoding, NameEncodingChoice::Utf8);
        QCOMPARE(window->TabSheet1->localFrame()->currentFolder(), folder.path());
    }

    void helpAndPictureOpenThePage()
    {
        auto window = start();
        window->HelpBtn->trigger();
        QTest::mouseClick(window->Image1, Qt::LeftButton);
        QCOMPARE(m_opened.size(), 2);
        QCOMPARE(m_opened[0], m_opened[1]);
        QVERIFY(m_opened[0].scheme().startsWith(u"http"_s));
    }

    void exitClosesThroughShutdown()
    {
        auto window = start();
        QTest::mouseClick(window->MainToolbar->widgetForAction(window->ExitBtn), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        QVERIFY(QFile::exists(TabLayoutFile::leftFilePath(m_app->path())));
        QVERIFY(QFile::exists(ConfigRecord::filePath(m_app->path())));
    }

    // ---- Closing while an engine method runs

    /// Answers the stop question with Yes or No, and records what it asked.
    static std::function<void(QDialog*)> answerStop(bool stop, QStringList* asked)
    {
        return [=](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            if (!box || !box->button(QMessageBox::Yes)) {
                dialog->reject();
                return;
            }
            *asked << box->text();
            box->button(stop ? QMessageBox::Yes : QMessageBox::No)->click();
        };
    }

    void closeTabDuringDownload_data()
    {
        QTest::addColumn<bool>("useMenu");
        QTest::addColumn<bool>("listingOnly");
        QTest::addColumn<bool>("stop"); // the answer to the question
        QTest::newRow("close button, Yes") << false << false << true;
        QTest::newRow("Delete This Tab, Yes") << true << false << true;
        QTest::newRow("close button, No") << false << false << false;
        QTest::newRow("Delete This Tab, No") << true << false << false;
        QTest::newRow("a listing closes without a question") << false << true << true;
    }

    // Closing a tab that transfers asks first. Yes: the tab leaves its pane at once; its engine is
    // interrupted, and the tab is destroyed only after the download has returned. No: the tab stays and the
    // download runs to its end. A tab that only lists is closed without a question. The scripted server sends
    // the file slowly, so the close lands mid-transfer.
    void closeTabDuringDownload()
    {
        QFETCH(bool, useMenu);
        QFETCH(bool, listingOnly);
        QFETCH(bool, stop);
        const int total = 400000;
        ScriptedServer server({reply("220 ready"), expect("USER u"), reply("331 pass"), expect("PASS p"),
                               reply("230 in"), expect("FEAT"), reply("502 No features"),
                               expect("SIZE big.bin"), reply("213 400000"), expect("PASV"), pasv(),
                               expect("RETR big.bin"), reply("150 Here"), acceptData(),
                               sendData(QByteArray(total, 'x'), 2000, 20), closeData(), reply("226 Done")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir target;
        const QString localFile = target.filePath(u"big.bin"_s);

        auto window = start();
        TTabSheet* sheet = window->NewRemoteTab(window->PageControl2);
        QPointer<TTabSheet> alive(sheet);
        TestRemoteTab* tab = testTab(sheet);
        tab->listingOnly = listingOnly;
        QStringList asked;
        ModalWatcher watcher(answerStop(stop, &asked));
        int failure = -1;
        bool closedMidway = false;
        bool aliveRightAfterClose = false;
        tab->onProgress = [&](qint64) {
            if (closedMidway)
                return;
            closedMidway = true;
            TPageControl* pane = window->PageControl2;
            if (useMenu) {
                window->findChild<QAction*>(u"DeleteThisTab2"_s)->trigger();
            } else {
                QTest::mouseClick(closeButton(pane, pane->indexOf(sheet)), Qt::LeftButton);
            }
            aliveRightAfterClose = !alive.isNull();
            QCOMPARE(pane->count(), stop ? 1 : 2);
            QCOMPARE(window->closingSheetCount(), stop ? 1 : 0);
        };
        QElapsedTimer clock;
        clock.start();
        bool returned = false;
        QTimer::singleShot(0, window.get(), [&] {
            tab->download(server.host(), server.port(), u"u"_s, u"p"_s, u"big.bin"_s, localFile);
            failure = tab->failure;
            returned = true;
        });
        if (!stop) {
            QVERIFY(waitFor([&] { return returned; }, 20000));
            QCoreApplication::sendPostedEvents(); // the tab's idle notice, while the window still exists
            QCOMPARE(asked, QStringList{u"A transfer is running. Do you want to stop it?"_s});
            QVERIFY(closedMidway);
            QVERIFY(!alive.isNull());
            QCOMPARE(failure, 0);
            QCOMPARE(QFileInfo(localFile).size(), qint64(total));
            QCOMPARE(window->PageControl2->indexOf(sheet), 1);
            QCOMPARE(window->closingSheetCount(), 0);
            // Idle again, it closes without a question.
            QVERIFY(window->TabSheetClose(sheet));
            QCOMPARE(asked.size(), 1);
            QVERIFY(window->close());
            return;
        }
        QVERIFY(waitFor([&] { return alive.isNull(); }, 10000));
        QCOMPARE(asked.size(), listingOnly ? 0 : 1);
        QVERIFY(closedMidway);
        QVERIFY(aliveRightAfterClose);
        QCOMPARE(failure, 301); // interrupted
        QVERIFY(QFileInfo(localFile).size() < total);
        QVERIFY2(clock.elapsed() < 3500, "the download was not ended early");
        QCOMPARE(window->closingSheetCount(), 0);
        // The window goes on working.
        QCOMPARE(hints(window->PageControl2), QStringList{u"R"_s});
        window->NewLocalTab(window->PageControl2);
        QVERIFY(window->close());
    }

    void closeWindowDuringDownload_data()
    {
        QTest::addColumn<bool>("stop"); // the answer to the question
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }

    // Closing the window while a download runs asks first. Yes: the close waits for the download to be
    // interrupted and return, then runs the shutdown. No: the window stays and the download runs to its
    // end. A real server sends a large file.
    void closeWindowDuringDownload()
    {
        QFETCH(bool, stop);
        FtpServer server(FtpServerOptions{ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const int total = 64 * 1024 * 1024;
        QVERIFY(server.putFile(u"big.bin"_s, QByteArray(total, 'z')));
        QTemporaryDir target;
        const QString localFile = target.filePath(u"big.bin"_s);

        auto window = start();
        TestRemoteTab* tab = testTab(window->TabSheet2);
        QPointer<QWidget> tabWidget = tab->widget();
        QStringList questions;
        ModalWatcher watcher(answerStop(stop, &questions));
        int failure = -1;
        bool stillOpenAfterClose = false;
        bool asked = false;
        bool returned = false;
        tab->onProgress = [&](qint64) {
            if (asked)
                return;
            asked = true;
            stillOpenAfterClose = !window->close() && window->isVisible();
        };
        QTimer::singleShot(0, window.get(), [&] {
            tab->download(server.host(), server.port(), server.user(), server.password(), u"big.bin"_s,
                          localFile, true);
            failure = tab->failure;
            returned = true;
        });
        if (!stop) {
            QVERIFY(waitFor([&] { return returned; }, 60000));
            QCoreApplication::sendPostedEvents(); // the tab's idle notice, while the window still exists
            QCOMPARE(questions, QStringList{u"A transfer is running. Do you want to stop it?"_s});
            QVERIFY(stillOpenAfterClose);
            QVERIFY(window->isVisible());
            QCOMPARE(failure, 0);
            QCOMPARE(QFileInfo(localFile).size(), qint64(total));
            QVERIFY(!QFile::exists(ConfigRecord::filePath(m_app->path()))); // no shutdown ran
            QVERIFY(window->close());
            QCOMPARE(questions.size(), 1);
            return;
        }
        QVERIFY(waitFor([&] { return asked && !window->isVisible(); }, 20000));
        QCOMPARE(questions.size(), 1);
        QVERIFY(stillOpenAfterClose);
        QCOMPARE(failure, 301);
        QVERIFY(QFileInfo(localFile).size() < total);
        QVERIFY(tabWidget); // the window closed, the tabs go with it when it is destroyed
        QVERIFY(QFile::exists(TabLayoutFile::rightFilePath(m_app->path())));
        QVERIFY(QFile::exists(ConfigRecord::filePath(m_app->path())));
        window.reset();
        QVERIFY(tabWidget.isNull());
    }
    // ---- Lists that go stale

    /// The window with the program's own remote tabs.
    std::unique_ptr<TfrmSkyhaulMain> startWithRealTabs()
    {
        MainWindowOptions o = options();
        o.remoteTabFactory = nullptr;
        auto window = std::make_unique<TfrmSkyhaulMain>(o);
        window->show();
        return window;
    }

    static TRemoteFrame* remoteFrame(TTabSheet* sheet)
    {
        return sheet ? qobject_cast<TRemoteFrame*>(sheet->tabObject()) : nullptr;
    }

    // A download run that ends refreshes every local tab showing the target folder, in either pane and
    // whether active or not: the new file shows with its real size, not the size it had when it appeared.
    void downloadRefreshesLocalTabs()
    {
        FtpServer server(FtpServerOptions{ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const qint64 size = 6 * 1024 * 1024 + 123;
        QVERIFY(server.putFile(u"pub/big.bin"_s, QByteArray(size, 'b')));
        QTemporaryDir target;
        writeBytes(target.filePath(u"marker.txt"_s), "m");
        auto window = startWithRealTabs();
        TLocalFrame* left = window->TabSheet1->localFrame();
        QVERIFY(left->setCurrentFolder(target.path()));
        TLocalFrame* behind = window->NewLocalTab(window->PageControl2)->localFrame();
        QVERIFY(behind->setCurrentFolder(target.path()));
        window->PageControl2->setCurrentWidget(window->TabSheet2);
        // Both lists have read the folder (and watch it) before the download begins.
        QVERIFY(waitFor([&] { return !localSizeText(*left, u"marker.txt"_s).isNull(); }, 5000));
        QVERIFY(waitFor([&] { return !localSizeText(*behind, u"marker.txt"_s).isNull(); }, 5000));
        TRemoteFrame* remote = remoteFrame(window->TabSheet2);
        QVERIFY(remote);
        logOn(*remote, server, u"/pub"_s);

        selectNames(*remote, {u"big.bin"_s});
        // Closing the tab while it downloads asks first; No keeps it and its download.
        bool closed = true;
        bool transferringThen = false;
        QObject::connect(remote->transferRun(), &TransferRun::currentItemChanged, remote, [&](QueNode* node) {
            if (!node || transferringThen)
                return;
            transferringThen = window->TabSheet2->isTransferring();
            closed = window->TabSheetClose(window->TabSheet2);
        });
        {
            ModalWatcher watcher([](QDialog* dialog) {
                auto* box = qobject_cast<QMessageBox*>(dialog);
                const bool stopQuestion = box && box->text() == QLatin1String(messages::StopRunningTransfer);
                if (box && box->button(QMessageBox::No))
                    box->button(stopQuestion ? QMessageBox::No : QMessageBox::Yes)->click();
                else
                    dialog->reject();
            });
            remote->Transfer1Click();
            QCOMPARE(watcher.seen.size(), 2);
            QCOMPARE(watcher.seen.at(1).text, QString::fromLatin1(messages::StopRunningTransfer));
        }
        QVERIFY(transferringThen);
        QVERIFY(!closed);
        QCOMPARE(window->PageControl2->indexOf(window->TabSheet2), 0);
        QVERIFY(!window->TabSheet2->isTransferring());
        QCOMPARE(QFileInfo(target.filePath(u"big.bin"_s)).size(), size);
        const QString expected = FormatSize(size);
        QVERIFY2(waitFor([&] { return localSizeText(*left, u"big.bin"_s) == expected; }, 5000),
                 qPrintable(localSizeText(*left, u"big.bin"_s)));
        QVERIFY2(waitFor([&] { return localSizeText(*behind, u"big.bin"_s) == expected; }, 5000),
                 qPrintable(localSizeText(*behind, u"big.bin"_s)));
    }

    // A server-to-server copy that ends refreshes the remote tab showing the destination folder: the copied
    // file shows there without Refresh.
    void serverToServerCopyRefreshesDestination()
    {
        FtpServer sourceServer(FtpServerOptions{ServerKind::Pyftpdlib});
        FtpServer destinationServer(FtpServerOptions{ServerKind::Pyftpdlib});
        QVERIFY2(sourceServer.start(), qPrintable(sourceServer.errorString()));
        QVERIFY2(destinationServer.start(), qPrintable(destinationServer.errorString()));
        QVERIFY(sourceServer.putFile(u"pub/a.txt"_s, "alpha") &&
                destinationServer.putFile(u"in/old.txt"_s, "old"));
        auto window = startWithRealTabs();
        TRemoteFrame* source = remoteFrame(window->NewRemoteTab(window->PageControl1));
        TRemoteFrame* destination = remoteFrame(window->TabSheet2);
        QVERIFY(source && destination);
        logOn(*destination, destinationServer, u"/in"_s);
        logOn(*source, sourceServer, u"/pub"_s);
        QCOMPARE(shownNames(*destination).contains(u"a.txt"_s), false);

        selectNames(*source, {u"a.txt"_s});
        {
            ModalWatcher watcher(answerYes);
            source->Transfer1Click();
            QCOMPARE(watcher.seen.size(), 1);
        }
        QCOMPARE(destinationServer.readFile(u"in/a.txt"_s), QByteArray("alpha"));
        QTRY_VERIFY_WITH_TIMEOUT(shownNames(*destination).contains(u"a.txt"_s), 10000);
        QCOMPARE(remoteSizeText(*destination, u"a.txt"_s), FormatSize(5));
        QCOMPARE(destination->currentPath(), u"/in"_s);
        QTRY_VERIFY(!destination->IsBusy());
    }

    // An edited copy that goes up refreshes another remote tab showing that folder on the same server: the
    // file shows its new size there.
    void editedCopyUploadRefreshesOtherTab()
    {
        FtpServer server(FtpServerOptions{ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/a.txt"_s, "original"));
        QTemporaryDir scripts;
        // Saves once, then stays open until the test lets it go (bounded).
        const QString editor = scripts.filePath(u"editor.sh"_s);
        {
            QFile file(editor);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\nprintf 'edited and longer' > \"$1\"\n"
                       "i=0\nwhile [ ! -e \"$1.go\" ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n");
            file.close();
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        auto window = startWithRealTabs();
        window->configRecord().EditorChoice = Editor::EditorPath;
        window->configRecord().EditorPath = editor;
        TRemoteFrame* editing = remoteFrame(window->NewRemoteTab(window->PageControl1));
        TRemoteFrame* other = remoteFrame(window->TabSheet2);
        QVERIFY(editing && other);
        logOn(*editing, server, u"/pub"_s);
        logOn(*other, server, u"/pub"_s);
        QCOMPARE(remoteSizeText(*other, u"a.txt"_s), FormatSize(8));
        QString copy;
        QObject::connect(editing, &TRemoteFrame::editCopyUploaded, editing, [&] {
            copy = editing->findChildren<TEditFileForm*>().value(0)->watcher()->watchFile();
        });

        selectNames(*editing, {u"a.txt"_s});
        const int editorsBefore = RunningEditors.load();
        editing->EditBtnClick();
        QTRY_COMPARE_WITH_TIMEOUT(server.readFile(u"pub/a.txt"_s), QByteArray("edited and longer"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(remoteSizeText(*other, u"a.txt"_s), FormatSize(17), 10000);
        QCOMPARE(other->currentPath(), u"/pub"_s);
        // The tab that edited shows the new size too.
        QTRY_COMPARE_WITH_TIMEOUT(remoteSizeText(*editing, u"a.txt"_s), FormatSize(17), 10000);
        // The editor goes.
        QVERIFY(!copy.isEmpty());
        QFile go(copy + u".go"_s);
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();
        QTRY_COMPARE_WITH_TIMEOUT(RunningEditors.load(), editorsBefore, 20000);
    }

    // The local tab's Send Files To Server: the window hands the selection to the remote tab opposite, which
    // uploads files and folders into its current folder and lists it again.
    void sendFilesFromTheLocalTab()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.makeDir(u"drop"_s));
        QTemporaryDir local;
        QVERIFY(QDir(local.path()).mkpath(u"folder/inner"_s));
        writeBytes(local.filePath(u"folder/inner/deep.txt"_s), "deep");
        writeBytes(local.filePath(u"one.txt"_s), "one");
        writeBytes(local.filePath(u"skip.txt"_s), "skip");
        auto window = startWithRealTabs();
        TRemoteFrame* tab = remoteFrame(window->TabSheet2);
        QVERIFY(tab);
        logOn(*tab, server, u"/drop"_s);

        TLocalFrame* localTab = window->TabSheet1->localFrame();
        QVERIFY(localTab->setCurrentFolder(local.path()));
        auto* model = qobject_cast<QFileSystemModel*>(localTab->ShellList->model());
        QVERIFY(model);
        QTRY_VERIFY(model->index(local.filePath(u"one.txt"_s)).isValid() &&
                    model->index(local.filePath(u"folder"_s)).isValid());
        for (const QString& name : {u"one.txt"_s, u"folder"_s})
            localTab->ShellList->selectionModel()->select(
                model->index(local.filePath(name)), QItemSelectionModel::Select | QItemSelectionModel::Rows);

        ModalWatcher modal(answerYes);
        localTab->TransferBtn->trigger();
        QCOMPARE(modal.seen.size(), 1);
        QCOMPARE(modal.seen.first().text, u"Do you want to upload selected file(s)?"_s);
        QCOMPARE(server.readFile(u"drop/one.txt"_s), QByteArray("one"));
        QCOMPARE(server.readFile(u"drop/folder/inner/deep.txt"_s), QByteArray("deep"));
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/drop/skip.txt"_s));
        QCOMPARE(shownNames(*tab), QStringList({u".."_s, u"folder"_s, u"one.txt"_s}));
    }

    // ---- With the program's own remote tab

    void realRemoteTabLayoutRoundTrip()
    {
        const TabLayout fields = remoteLayout(u"ftp.example.org"_s, u"ann"_s, 2121, false, 2, 1);
        {
            MainWindowOptions o = options();
            o.remoteTabFactory = nullptr;
            TfrmSkyhaulMain window(o);
            auto* frame = qobject_cast<TRemoteFrame*>(window.TabSheet2->tabObject());
            QVERIFY(frame);
            QCOMPARE(frame->paneHost(), static_cast<PaneHost*>(&window));
            frame->applyLayout(fields);
            frame->widgets().PassEdit->setText(u"secret"_s);
            QVERIFY(window.close());
        }
        QVERIFY(!fileBytes(TabLayoutFile::rightFilePath(m_app->path())).contains("secret"));
        MainWindowOptions o = options();
        o.remoteTabFactory = nullptr;
        TfrmSkyhaulMain window(o);
        auto* frame = qobject_cast<TRemoteFrame*>(window.TabSheet2->tabObject());
        QVERIFY(frame);
        const TabLayout restored = frame->layout();
        QCOMPARE(restored.host, fields.host);
        QCOMPARE(restored.user, fields.user);
        QCOMPARE(restored.port, fields.port);
        QCOMPARE(restored.passive, fields.passive);
        QCOMPARE(restored.ssl, fields.ssl);
        QCOMPARE(restored.transType, fields.transType);
        QCOMPARE(window.PageControl2->tabText(0), u"Remote"_s);
    }

    // A site stored before the program starts, chosen in the site manager and connected to a real server:
    // the remote tab opens the site's start folder and a local tab shows its local folder.
    void siteManagerConnectsToRealServer()
    {
        FtpServer server(FtpServerOptions{ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/readme.txt"_s, "hello"));
        QTemporaryDir local;
        TSiteManRec site;
        site.Host = server.host();
        site.Port = server.port();
        site.UserID = server.user();
        site.Password = server.password();
        site.LocalPath = local.path();
        storeSite(site);
        MainWindowOptions o = options();
        o.remoteTabFactory = nullptr;
        TfrmSkyhaulMain window(o);
        window.show();
        connectFirstSite(window, local.path());
    }

    // The whole way through the program: a site added and saved in the site manager, the program closed and
    // started again, the site chosen and connected to a real server; the remote tab opens the site's start
    // folder and a local tab shows its local folder.
    void siteStoredThenConnectedAfterRestart()
    {
        FtpServer server(FtpServerOptions{ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/readme.txt"_s, "hello"));
        QTemporaryDir local;
        MainWindowOptions o = options();
        o.remoteTabFactory = nullptr;
        {
            TfrmSkyhaulMain window(o);
            window.show();
            ModalWatcher watcher([&](QDialog* dialog) {
                auto* form = qobject_cast<TSiteForm*>(dialog);
                if (!form) {
                    dialog->reject();
                    return;
                }
                form->AddBtnClick();
                form->edSiteName->setText(u"test server"_s);
                form->edSiteAddress->setText(server.host());
                form->edPort->setText(QString::number(server.port()));
                form->edID->setText(server.user());
                form->edPassword->setText(server.password());
                form->edRemotePath->setText(u"/pub"_s);
                form->edLocalPath->setText(local.path());
                form->rgSSLItems->button(3)->click();
                form->SaveBtnClick();
                form->reject();
            });
            window.SMBtn->trigger();
            QCOMPARE(watcher.seen.size(), 1);
            QVERIFY(window.close());
        }
        QVERIFY(QFileInfo(siteManagerFilePath(m_app->path())).isFile());

        TfrmSkyhaulMain window(o);
        window.show();
        connectFirstSite(window, local.path());
    }

    // A logged-on remote tab reads its favorites again after one was deleted in the configuration dialog, so
    // its next addition does not write the deleted one back.
    void deletedRemoteFavoriteLeavesLoggedOnTab()
    {
        FtpServer server(FtpServerOptions{ServerKind::Pyftpdlib});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        RemoteFavorites::save(m_app->path(), server.user(), server.host(), {u"/pub"_s, u"/incoming"_s});
        MainWindowOptions o = options();
        o.remoteTabFactory = nullptr;
        TfrmSkyhaulMain window(o);
        window.show();
        SiteFields site{server.host(), server.user(), server.password(), server.port(), sslNone,
                        true,          u"/"_s};
        window.SiteHandOver(site, QString());
        auto* frame = qobject_cast<TRemoteFrame*>(window.TabSheet2->tabObject());
        QVERIFY(frame);
        QTRY_VERIFY_WITH_TIMEOUT(frame->engine()->Connected() && !frame->IsBusy(), 20000);
        QCOMPARE(frame->favorites(), (QStringList{u"/pub"_s, u"/incoming"_s}));
        ModalWatcher watcher([](QDialog* dialog) {
            auto* form = qobject_cast<TConfigForm*>(dialog);
            if (!form) {
                dialog->reject();
                return;
            }
            form->lbSites->setCurrentRow(0);
            form->lbFolders->setCurrentRow(0);
            form->btnDeleteFolder->click();
            form->btnCancel->click();
        });
        window.ConfigBtn->trigger();
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(frame->favorites(), QStringList{u"/incoming"_s});
        QStringList menu;
        for (QAction* a : frame->widgets().FavoritePopup->actions())
            if (!a->isSeparator())
                menu << a->text();
        QCOMPARE(menu, (QStringList{frame->addFavoritesCaption(), u"/incoming"_s}));
    }

    // The tab's Connect waits for a server that is slow to answer the user name; its close button is pressed
    // meanwhile. The logon is interrupted, no logon dialog is offered for it, and only then is the tab
    // destroyed.
    void closeRealRemoteTabWhileConnecting_data()
    {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("the tab's close button") << false;
        QTest::newRow("the window") << true;
    }

    void closeRealRemoteTabWhileConnecting()
    {
        QFETCH(bool, closeWindow);
        ScriptedServer server({reply("220 ready"), expect("USER u"), delay(8000), reply("331 pass")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        MainWindowOptions o = options();
        o.remoteTabFactory = nullptr;
        auto window = std::make_unique<TfrmSkyhaulMain>(o);
        window->show();
        TTabSheet* sheet = window->NewRemoteTab(window->PageControl2);
        QPointer<TTabSheet> alive(sheet);
        auto* frame = qobject_cast<TRemoteFrame*>(sheet->tabObject());
        QVERIFY(frame);
        frame->widgets().HostEdit->setEditText(server.host());
        frame->widgets().PortEdit->setText(QString::number(server.port()));
        frame->widgets().IDEdit->setText(u"u"_s);
        frame->widgets().PassEdit->setText(u"p"_s);

        ModalWatcher watcher;
        bool busyWhenClosed = false;
        bool stillThereAfterClose = false;
        QTimer::singleShot(300, window.get(), [&] {
            busyWhenClosed = frame->IsBusy();
            TPageControl* pane = window->PageControl2;
            if (closeWindow)
                window->close();
            else
                QTest::mouseClick(closeButton(pane, pane->indexOf(sheet)), Qt::LeftButton);
            stillThereAfterClose = !alive.isNull() && (!closeWindow || window->isVisible());
        });
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(0, frame->widgets().ConnectBtn, [&] { frame->widgets().ConnectBtn->click(); });
        QVERIFY(waitFor([&] { return closeWindow ? !window->isVisible() : alive.isNull(); }, 7000));
        QVERIFY(clock.elapsed() < 7000);
        QVERIFY(busyWhenClosed);
        QVERIFY(stillThereAfterClose);
        QVERIFY(alive.isNull() || !frame->IsBusy());
        if (closeWindow) {
            QVERIFY(QFile::exists(TabLayoutFile::rightFilePath(m_app->path())));
            QCOMPARE(TabLayoutFile::read(TabLayoutFile::rightFilePath(m_app->path()), TabLayout::Kind::Local)
                         .tabs.size(),
                     2);
        } else {
            QCOMPARE(window->PageControl2->count(), 1);
        }
        QVERIFY(watcher.seen.isEmpty());
        QVERIFY(window->close());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
