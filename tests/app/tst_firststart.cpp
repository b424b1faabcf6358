// What a new user sees: the program's own remote tab at the window's first-start size (930 x 472) and at a
// large size, the chevrons of the bars, the lists' columns, the local tree after restarts, and the note on
// the data files.
#include "apptesthelpers.h"

#include "app/main/desktopidentity.h"
#include "app/mainwindow/mainwindow.h"
#include "app/mainwindow/panecontrol.h"
#include "app/mainwindow/remotetab.h"
#include "local/localframe.h"
#include "store/configrecord.h"
#include "store/texts.h"
#include "ui/dialogs/configform.h"
#include "ui/toolbaroverflow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <memory>
#include <utility>

using namespace skyhaul;
using skyhaul::test::ModalWatcher;
using namespace Qt::StringLiterals;

namespace {

QToolButton* chevronOf(QToolBar* bar)
{
    return bar->findChild<QToolButton*>(u"qt_toolbar_ext_button"_s);
}

/// The bar's controls that its layout hid for want of room, by object name (or class for unnamed ones).
QStringList hiddenControls(QToolBar* bar)
{
    QStringList hidden;
    for (QAction* action : bar->actions()) {
        QWidget* control = bar->widgetForAction(action);
        if (control && action->isVisible() && !control->isVisible())
            hidden << (control->objectName().isEmpty()
                           ? QString::fromLatin1(control->metaObject()->className())
                           : control->objectName());
    }
    return hidden;
}

} // namespace

class TestFirstStart : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<QTemporaryDir> m_system;

    std::unique_ptr<TfrmSkyhaulMain> start(const QSize& clientSize = {})
    {
        MainWindowOptions o;
        o.appFolder = m_app->path();
        o.systemTempFolder = m_system->path();
        o.settingsFile = m_app->filePath(u"gate.ini"_s);
        o.openUrl = [](const QUrl&) { return true; };
        o.askUpdate = [](const QString&, const QString&) { return false; };
        auto window = std::make_unique<TfrmSkyhaulMain>(o);
        if (clientSize.isValid())
            window->resize(clientSize);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("window not exposed");
        return window;
    }

    /// A start with a language that ships with the program.
    std::unique_ptr<TfrmSkyhaulMain> startIn(const QString& language, const QSize& clientSize)
    {
        ConfigRecord stored;
        stored.Language = language;
        stored.save(m_app->path());
        Texts::setShippedFolders({QStringLiteral(SKYHAUL_SHIPPED_LANGUAGES)});
        auto window = start(clientSize);
        Texts::setShippedFolders({});
        return window;
    }

    static QWidget* remoteFrame(TfrmSkyhaulMain& window)
    {
        TTabSheet* sheet = window.PageControl2->sheet(0);
        return sheet && sheet->remoteTab() ? sheet->remoteTab()->widget() : nullptr;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_app = std::make_unique<QTemporaryDir>();
        m_system = std::make_unique<QTemporaryDir>();
        QVERIFY(m_app->isValid() && m_system->isValid());
    }

    // The disconnected remote tab's two rows fit its pane at every window size down to 800 x 600, with the
    // captions shown, in English and in German (longer captions): every control is shown, no chevron is
    // needed, the host box gets the room that is left and is never squeezed to nothing; a label the row had
    // to drop lends its text to its box.
    void connectionRowsFit_data()
    {
        QTest::addColumn<QSize>("clientSize"); // invalid: the size of a first start (930 x 472)
        QTest::addColumn<QString>("language");
        QTest::newRow("first-start size 930 x 472") << QSize() << u"English"_s;
        QTest::newRow("1600 x 1000") << QSize(1600, 1000) << u"English"_s;
        QTest::newRow("1024 x 700") << QSize(1024, 700) << u"English"_s;
        QTest::newRow("800 x 600") << QSize(800, 600) << u"English"_s;
        QTest::newRow("German, 1600 x 1000") << QSize(1600, 1000) << u"German"_s;
        QTest::newRow("German, 1024 x 700") << QSize(1024, 700) << u"German"_s;
        QTest::newRow("German, 800 x 600") << QSize(800, 600) << u"German"_s;
    }
    void connectionRowsFit()
    {
        QFETCH(QSize, clientSize);
        QFETCH(QString, language);
        auto window = startIn(language, clientSize);
        if (!clientSize.isValid())
            QCOMPARE(window->size(), QSize(TfrmSkyhaulMain::DesignWidth, TfrmSkyhaulMain::DesignHeight));
        QWidget* frame = remoteFrame(*window);
        QVERIFY(frame);
        auto* loginBar = frame->findChild<QToolBar*>(u"RemoteLoginToolBar"_s);
        auto* optionBar = frame->findChild<QToolBar*>(u"ConnOptionBar"_s);
        auto* host = frame->findChild<QComboBox*>(u"HostEdit"_s);
        const auto* connect = frame->findChild<QToolButton*>(u"ConnectBtn"_s);
        QVERIFY(loginBar && optionBar && host && connect);
        QCOMPARE(connect->text(), language == u"German"_s ? u"Verbinden"_s : u"Connect"_s);
        QTRY_COMPARE(hiddenControls(loginBar), QStringList());
        QCOMPARE(hiddenControls(optionBar), QStringList());
        QVERIFY(!chevronOf(loginBar)->isVisible());
        QVERIFY(!chevronOf(optionBar)->isVisible());
        QVERIFY(connect->isVisible() && host->isVisible());
        QVERIFY2(host->width() >= 60, qPrintable(QString::number(host->width())));
        for (const char* name : {"IDEdit", "PassEdit"})
            QVERIFY2(frame->findChild<QWidget*>(QLatin1String(name))->width() >= 60, name);
        // The host box takes what the other controls leave: the row ends near the bar's right edge.
        const int rowRight = connect->mapTo(loginBar, QPoint(connect->width(), 0)).x();
        QVERIFY2(rowRight <= loginBar->width() && loginBar->width() - rowRight < 40,
                 qPrintable(u"row ends at %1 of %2; host box %3"_s.arg(rowRight)
                                .arg(loginBar->width())
                                .arg(host->width())));
        for (const auto& [labelName, boxName] :
             {std::pair{"HostLbl", "HostEdit"}, std::pair{"PortLbl", "PortEdit"},
              std::pair{"IDLbl", "IDEdit"}, std::pair{"PassLbl", "PassEdit"}}) {
            const auto* label = frame->findChild<QLabel*>(QLatin1String(labelName));
            const auto* box = frame->findChild<QWidget*>(QLatin1String(boxName));
            QVERIFY2(label->isVisible() || box->toolTip() == label->text(), labelName);
        }
        QVERIFY(window->close());
    }

    // The rows of a connected tab fit as well: the path box is shown and usable, and the tool bar's buttons
    // all stay in view (without their captions when the pane is narrow).
    void connectedRowsFit_data() { connectionRowsFit_data(); }
    void connectedRowsFit()
    {
        QFETCH(QSize, clientSize);
        QFETCH(QString, language);
        auto window = startIn(language, clientSize);
        QWidget* frame = remoteFrame(*window);
        QVERIFY(frame);
        auto* toolBar = frame->findChild<QToolBar*>(u"RemoteToolBar"_s);
        auto* navBar = frame->findChild<QToolBar*>(u"NavBar"_s);
        auto* path = frame->findChild<QComboBox*>(u"DirectoryCB"_s);
        QVERIFY(toolBar && navBar && path);
        // The connected rows as they show after logging on.
        frame->findChild<QToolBar*>(u"RemoteLoginToolBar"_s)->hide();
        frame->findChild<QToolBar*>(u"ConnOptionBar"_s)->hide();
        toolBar->show();
        navBar->show();
        QTRY_VERIFY(path->isVisible());
        QCOMPARE(hiddenControls(navBar), QStringList());
        QCOMPARE(hiddenControls(toolBar), QStringList());
        QVERIFY(!chevronOf(navBar)->isVisible());
        QVERIFY2(path->width() >= 60, qPrintable(QString::number(path->width())));
        // Captions go from the row's end first: after a button without its caption, none has one.
        bool dropped = false;
        for (QAction* action : toolBar->actions())
            if (auto* button = qobject_cast<QToolButton*>(toolBar->widgetForAction(action));
                button && !button->icon().isNull() && button->objectName() != u"TransferModeBtn"_s) {
                const bool captioned = button->toolButtonStyle() != Qt::ToolButtonIconOnly;
                QVERIFY2(!(dropped && captioned), qPrintable(button->objectName()));
                dropped = dropped || !captioned;
            }
        if (clientSize.width() >= 1600)
            QVERIFY(!dropped);
        const auto* favorites = frame->findChild<QToolButton*>(u"FavoritesBtn"_s);
        const int rowRight = favorites->mapTo(navBar, QPoint(favorites->width(), 0)).x();
        QVERIFY2(rowRight <= navBar->width() && navBar->width() - rowRight < 40,
                 qPrintable(u"row ends at %1 of %2; path box %3"_s.arg(rowRight)
                                .arg(navBar->width())
                                .arg(path->width())));
        QVERIFY(window->close());
    }

    // The captions a narrow row dropped come back when the window grows again, and the caption option still
    // rules them.
    void captionsComeBackWithRoom()
    {
        auto window = startIn(u"German"_s, QSize(800, 600));
        QWidget* frame = remoteFrame(*window);
        QVERIFY(frame);
        auto* connect = frame->findChild<QToolButton*>(u"ConnectBtn"_s);
        auto* hostLabel = frame->findChild<QLabel*>(u"HostLbl"_s);
        QTRY_COMPARE(connect->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QCOMPARE(connect->toolTip(), u"Verbinden"_s);
        window->resize(1600, 1000);
        QTRY_COMPARE(connect->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        QCOMPARE(connect->toolTip(), QString());
        QVERIFY(hostLabel->isVisible());
        QCOMPARE(frame->findChild<QComboBox*>(u"HostEdit"_s)->toolTip(), QString());
        window->configRecord().ShowRemoteCaption = false;
        window->CaptionRefresh();
        QCOMPARE(connect->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(window->close());
    }

    // A row gives up only as many captions as it must: growing the window step by step brings them back one
    // by one, never taking one away, with rows between none and all on the way.
    void captionsGoOneByOne()
    {
        auto window = startIn(u"German"_s, QSize(770, 600));
        QWidget* frame = remoteFrame(*window);
        QVERIFY(frame);
        auto* toolBar = frame->findChild<QToolBar*>(u"RemoteToolBar"_s);
        frame->findChild<QToolBar*>(u"RemoteLoginToolBar"_s)->hide();
        frame->findChild<QToolBar*>(u"ConnOptionBar"_s)->hide();
        toolBar->show();
        auto captioned = [toolBar] {
            int count = 0;
            for (QAction* action : toolBar->actions())
                if (auto* button = qobject_cast<QToolButton*>(toolBar->widgetForAction(action)))
                    count += button->toolButtonStyle() == Qt::ToolButtonTextBesideIcon;
            return count;
        };
        const int all = 8; // every button of the row but the transfer mode's arrow
        QSet<int> seen;
        int last = -1;
        for (int width = 800; width <= 2400; width += 30) {
            const int before = frame->width();
            window->resize(width, 600);
            QTRY_VERIFY(frame->width() > before);
            const int now = captioned();
            QVERIFY2(now >= last, qPrintable(u"%1 captions at %2 after %3"_s.arg(now).arg(width).arg(last)));
            last = now;
            seen.insert(now);
        }
        QCOMPARE(last, all);
        QVERIFY2(seen.size() >= 4, qPrintable(QString::number(seen.size())));
        QVERIFY(window->close());
    }

    // A first start on a screen with room opens larger than 930 x 472, centred; on a small screen it
    // keeps that size and its place.
    void firstStartGeometry_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("800 x 600: first-start size") << QRect(0, 0, 800, 600) << QRect();
        QTest::newRow("930 x 1024: first-start size") << QRect(0, 0, 930, 1024) << QRect();
        QTest::newRow("1024 x 768") << QRect(0, 0, 1024, 768) << QRect(47, 77, 930, 614);
        QTest::newRow("1280 x 1024") << QRect(0, 0, 1280, 1024) << QRect(128, 102, 1024, 819);
        QTest::newRow("4K, capped") << QRect(0, 0, 3840, 2160) << QRect(1200, 630, 1440, 900);
        QTest::newRow("second screen, panel on top")
            << QRect(1920, 32, 1920, 1048) << QRect(2160, 137, 1440, 838);
    }
    void firstStartGeometry()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        const QRect placed = TfrmSkyhaulMain::firstStartGeometry(available);
        QCOMPARE(placed, expected);
        if (placed.isValid()) {
            QVERIFY(available.contains(placed));
            QCOMPARE(placed.center(), available.center());
        }
    }

    // Rows that cannot fit (the connected tool bar in a pane too narrow even for its buttons without
    // captions) stay reachable: a click on the chevron opens a menu of what is hidden, and its items press
    // the buttons.
    void overflowingControlsReachable()
    {
        auto window = start();
        QWidget* frame = remoteFrame(*window);
        QVERIFY(frame);
        auto* bar = frame->findChild<QToolBar*>(u"RemoteToolBar"_s);
        auto* loginBar = frame->findChild<QToolBar*>(u"RemoteLoginToolBar"_s);
        // The connected row as it shows after logging on.
        loginBar->hide();
        bar->show();
        window->resize(360, TfrmSkyhaulMain::DesignHeight);
        QTRY_VERIFY(!hiddenControls(bar).isEmpty());
        QToolButton* chevron = chevronOf(bar);
        QTRY_VERIFY(chevron->isVisible());
        auto* disconnect = frame->findChild<QToolButton*>(u"DisconnectBtn"_s);
        QVERIFY(hiddenControls(bar).contains(u"DisconnectBtn"_s));

        QTest::mouseClick(chevron, Qt::LeftButton);
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == disconnect->text())
                item = a;
        QVERIFY(item);
        int pressed = 0;
        QObject::connect(disconnect, &QToolButton::clicked, menu, [&pressed] { ++pressed; });
        menu->close();
        item->trigger();
        QCOMPARE(pressed, 1);
        QVERIFY(window->close());
    }

    // A local tab's folder tree keeps its width across restarts: the stored width comes back as it was,
    // whatever size the window is restored to.
    void restoredLocalTreeKeepsItsWidth_data()
    {
        QTest::addColumn<QSize>("clientSize");
        QTest::newRow("first-start size") << QSize();
        QTest::newRow("1600 x 1000") << QSize(1600, 1000);
    }
    void restoredLocalTreeKeepsItsWidth()
    {
        QFETCH(QSize, clientSize);
        QTemporaryDir shown;
        int firstWidth = 0;
        for (int run = 0; run < 3; ++run) {
            auto window = start(run == 0 ? clientSize : QSize());
            TLocalFrame* local = window->PageControl1->sheet(0)->localFrame();
            QVERIFY(local);
            if (run == 0) {
                QVERIFY(local->setCurrentFolder(shown.path()));
                firstWidth = local->ShellTree->width();
                QVERIFY2(firstWidth >= 150, qPrintable(QString::number(firstWidth)));
            } else {
                QTRY_COMPARE(local->currentFolder(), shown.path());
                QCOMPARE(local->ShellTree->width(), firstWidth);
            }
            QVERIFY(window->close());
        }
    }

    // With no widths stored, the local list's columns show names whole.
    void localColumnsShowNamesWhole()
    {
        const QString longName = u"big-80MB-release-candidate-archive.tar.gz"_s;
        QTemporaryDir shown;
        QFile file(shown.filePath(longName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        auto window = start();
        TLocalFrame* local = window->PageControl1->sheet(0)->localFrame();
        QVERIFY(local);
        QVERIFY(local->setCurrentFolder(shown.path()));
        QHeaderView* header = local->ShellList->header();
        const int nameWidth = local->ShellList->fontMetrics().horizontalAdvance(longName);
        QTRY_VERIFY2(header->sectionSize(0) >= nameWidth,
                     qPrintable(u"%1 < %2"_s.arg(header->sectionSize(0)).arg(nameWidth)));
        QVERIFY(window->close());
    }

    // The first start names the folder of the data files; once the program has closed there, it is quiet.
    void firstStartNamesTheDataFolder()
    {
        const QString note = firstStartNote(m_app->path());
        QVERIFY2(note.contains(QDir::toNativeSeparators(m_app->path())), qPrintable(note));
        auto window = start();
        QVERIFY(window->close());
        window.reset();
        QVERIFY(QFile::exists(m_app->filePath(u"config.dat"_s)));
        QCOMPARE(firstStartNote(m_app->path()), QString());
    }

    // Data files left beside the program by an earlier start are named with the way to keep using them; a
    // program folder without them, or the data folder itself, adds nothing.
    void firstStartNamesEarlierData_data()
    {
        QTest::addColumn<QString>("fileBesideProgram"); // empty: none
        QTest::addColumn<bool>("programIsDataFolder");
        QTest::addColumn<bool>("named");
        QTest::newRow("sites beside the program") << u"SiteManager.dat"_s << false << true;
        QTest::newRow("configuration beside the program") << u"config.dat"_s << false << true;
        QTest::newRow("other files only") << u"skyhaul"_s << false << false;
        QTest::newRow("program folder is the data folder") << u"SiteManager.dat"_s << true << false;
    }
    void firstStartNamesEarlierData()
    {
        QFETCH(QString, fileBesideProgram);
        QFETCH(bool, programIsDataFolder);
        QFETCH(bool, named);
        QTemporaryDir program;
        QVERIFY(program.isValid());
        const QString programFolder = programIsDataFolder ? m_app->path() : program.path();
        QFile file(QDir(programFolder).filePath(fileBesideProgram));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString note = firstStartNote(m_app->path(), programFolder);
        QVERIFY2(note.contains(QDir::toNativeSeparators(m_app->path())), qPrintable(note));
        const QString hint = u"--data-dir "_s + QDir::toNativeSeparators(program.path());
        QVERIFY2(note.contains(hint) == named, qPrintable(note));
        QCOMPARE(note.contains(u"earlier start"_s), named);
    }

    // The languages that ship with the program are offered by the configuration dialog of a first start, and
    // choosing one relabels the window and every open tab at once.
    void shippedLanguageChosenInConfig()
    {
        Texts::setShippedFolders({QStringLiteral(SKYHAUL_SHIPPED_LANGUAGES)});
        auto window = start();
        window->NewRemoteTab(window->PageControl1);
        QStringList offered;
        ModalWatcher watcher([&](QDialog* dialog) {
            auto* form = qobject_cast<TConfigForm*>(dialog);
            if (!form) {
                dialog->reject();
                return;
            }
            for (int i = 0; i < form->cbLanguage->count(); ++i)
                offered << form->cbLanguage->itemText(i);
            form->cbLanguage->setCurrentText(u"German"_s);
            form->btnOk->click();
        });
        window->ConfigBtn->trigger();
        Texts::setShippedFolders({});
        for (const QString& language : {u"English"_s, u"French"_s, u"German"_s})
            QVERIFY2(offered.contains(language), qPrintable(offered.join(u',')));
        QCOMPARE(window->configRecord().Language, u"German"_s);
        QCOMPARE(window->ExitBtn->text(), u"Beenden"_s);
        QCOMPARE(window->findChild<QAction*>(u"NewRemote2"_s)->text(), u"Neuer Server-Tab"_s);
        QCOMPARE(window->TabSheet1->localFrame()->FavoriteBtn->text(), u"Favoriten"_s);
        for (TPageControl* pane : {window->PageControl1, window->PageControl2}) {
            QWidget* remote = pane == window->PageControl1
                                  ? window->PageControl1->sheet(1)->remoteTab()->widget()
                                  : remoteFrame(*window);
            QCOMPARE(remote->findChild<QToolButton*>(u"ConnectBtn"_s)->text(), u"Verbinden"_s);
            QCOMPARE(remote->findChild<QToolButton*>(u"DisconnectBtn"_s)->text(), u"Trennen"_s);
        }
        QVERIFY(window->close());
    }

    // The window carries the program's own icon in every rendered size.
    void windowUsesTheApplicationIcon()
    {
        applyDesktopIdentity();
        auto window = start();
        const QList<QSize> sizes = window->windowIcon().availableSizes();
        for (int size : {16, 32, 48, 64, 128, 256})
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        QCOMPARE(QGuiApplication::desktopFileName(), u"example.skyhaul.Skyhaul"_s);
        QVERIFY(window->close());
    }
};

QTEST_MAIN(TestFirstStart)
#include "tst_firststart.moc"
