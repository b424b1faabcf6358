// What a new user sees: the program's own remote tab at the window's design size and at a large size, the
// chevrons of the bars, the lists' columns, the local tree after restarts, and the note on the data files.
#include "app/main/desktopidentity.h"
#include "app/mainwindow/mainwindow.h"
#include "app/mainwindow/panecontrol.h"
#include "app/mainwindow/remotetab.h"
#include "local/localframe.h"
#include "store/configrecord.h"
#include "ui/toolbaroverflow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <memory>

using namespace skyhaul;
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

    static QWidget* remoteFrame(TfrmSkyhaulMain& window)
    {
        TTabSheet* sheet = window.PageControl2->sheet(0);
        return sheet && sheet->remoteTab() ? sheet->remoteTab()->widget() : nullptr;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        config() = ConfigRecord();
        m_app = std::make_unique<QTemporaryDir>();
        m_system = std::make_unique<QTemporaryDir>();
        QVERIFY(m_app->isValid() && m_system->isValid());
    }

    // The disconnected remote tab's two rows fit its pane: at the design size and at a large one, every
    // control is shown, no chevron is needed, and the host box gets the room that is left.
    void connectionRowsFit_data()
    {
        QTest::addColumn<QSize>("clientSize"); // invalid: the design size of a first start
        QTest::newRow("design size 930 x 472") << QSize();
        QTest::newRow("1600 x 1000") << QSize(1600, 1000);
    }
    void connectionRowsFit()
    {
        QFETCH(QSize, clientSize);
        auto window = start(clientSize);
        if (!clientSize.isValid())
            QCOMPARE(window->size(), QSize(TfrmSkyhaulMain::DesignWidth, TfrmSkyhaulMain::DesignHeight));
        QWidget* frame = remoteFrame(*window);
        QVERIFY(frame);
        auto* loginBar = frame->findChild<QToolBar*>(u"RemoteLoginToolBar"_s);
        auto* optionBar = frame->findChild<QToolBar*>(u"ConnOptionBar"_s);
        auto* host = frame->findChild<QComboBox*>(u"HostEdit"_s);
        QVERIFY(loginBar && optionBar && host);
        QTRY_COMPARE(hiddenControls(loginBar), QStringList());
        QCOMPARE(hiddenControls(optionBar), QStringList());
        QVERIFY(!chevronOf(loginBar)->isVisible());
        QVERIFY(!chevronOf(optionBar)->isVisible());
        // The host box takes what the other controls leave: the row ends near the bar's right edge.
        const auto* connect = frame->findChild<QToolButton*>(u"ConnectBtn"_s);
        const int rowRight = connect->mapTo(loginBar, QPoint(connect->width(), 0)).x();
        QVERIFY2(rowRight <= loginBar->width() && loginBar->width() - rowRight < 40,
                 qPrintable(u"row ends at %1 of %2; host box %3"_s.arg(rowRight)
                                .arg(loginBar->width())
                                .arg(host->width())));
        QVERIFY(window->close());
    }

    // Rows that cannot fit (the connected tool bar with captions in a narrow pane) stay reachable: a click
    // on the chevron opens a menu of what is hidden, and its items press the buttons.
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
        window->resize(500, TfrmSkyhaulMain::DesignHeight);
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
        QTest::newRow("design size") << QSize();
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
