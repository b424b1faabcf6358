// The local tab on real folders: names of new folders, favorites, the views kept in step, the menus.
#include "local/localframe.h"
#include "store/configrecord.h"
#include "store/favorites.h"
#include "tests/app/apptesthelpers.h"
#include "tests/support/testhelpers.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

namespace {

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

QWidget* buttonOf(QToolBar* bar, QAction* action)
{
    return bar->widgetForAction(action);
}

QStringList listNames(TLocalFrame& frame)
{
    QStringList names;
    QAbstractItemModel* model = frame.ShellList->model();
    if (!model)
        return names;
    const QModelIndex root = frame.ShellList->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row)
        names << model->index(row, 0, root).data().toString();
    return names;
}

} // namespace

class TestLocalFrame : public QObject {
    Q_OBJECT

    QTemporaryDir m_app;
    QStringList m_favorites;

    LocalTabContext context() { return {m_app.path(), &m_favorites, nullptr}; }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_app.isValid());
    }

    void init()
    {
        config() = ConfigRecord();
        m_favorites.clear();
        QFile::remove(LocalFavorites::filePath(m_app.path()));
    }

    void newFolderName_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty folder") << QStringList() << QStringList() << u"새 폴더"_s;
        QTest::newRow("base taken") << QStringList{u"새 폴더"_s} << QStringList() << u"새 폴더2"_s;
        QTest::newRow("base and 2 taken")
            << QStringList{u"새 폴더"_s, u"새 폴더2"_s} << QStringList() << u"새 폴더3"_s;
        QTest::newRow("gap is filled")
            << QStringList{u"새 폴더"_s, u"새 폴더3"_s} << QStringList() << u"새 폴더2"_s;
        QTest::newRow("only 2 taken") << QStringList{u"새 폴더2"_s} << QStringList() << u"새 폴더"_s;
        QTest::newRow("a file blocks the name")
            << QStringList() << QStringList{u"새 폴더"_s} << u"새 폴더2"_s;
        QTest::newRow("other names do not count")
            << QStringList{u"새폴더"_s, u"New Folder"_s} << QStringList{u"새 폴더 "_s} << u"새 폴더"_s;
    }

    void newFolderName()
    {
        QFETCH(QStringList, folders);
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        for (const QString& f : folders)
            QVERIFY(QDir(dir.path()).mkdir(f));
        for (const QString& f : files)
            touch(QDir(dir.path()).filePath(f));
        QTEST(TLocalFrame::newFolderName(dir.path()), "expected");
    }

    // The button makes the folder in the list's folder and opens the in-place editor on it; what is typed
    // there renames it.
    void newFolderButtonCreatesAndRenames()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"새 폴더"_s));
        QVERIFY(QDir(dir.path()).mkdir(u"새 폴더2"_s));
        TLocalFrame frame(context());
        frame.resize(800, 500);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(frame.setCurrentFolder(dir.path()));

        QTest::mouseClick(buttonOf(frame.LocalToolBar, frame.NewFolderBtn), Qt::LeftButton);
        QVERIFY(QFileInfo(QDir(dir.path()).filePath(u"새 폴더3"_s)).isDir());
        // Clicked before the folder's first reading ended: the editor opens once it has.
        QLineEdit* editor = nullptr;
        QVERIFY(waitFor([&] { return editor = frame.ShellList->viewport()->findChild<QLineEdit*>(), editor; },
                        5000));
        QTest::qWait(100);
        QCOMPARE(frame.ShellList->viewport()->findChild<QLineEdit*>(), editor);
        QCOMPARE(editor->text(), u"새 폴더3"_s);
        editor->selectAll();
        QTest::keyClicks(editor, u"Reports"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(waitFor([&] { return QFileInfo(QDir(dir.path()).filePath(u"Reports"_s)).isDir(); }, 2000));
        QVERIFY(!QFileInfo::exists(QDir(dir.path()).filePath(u"새 폴더3"_s)));

        // The list menu's item does the same.
        frame.NewFolder1->trigger();
        QVERIFY(QFileInfo(QDir(dir.path()).filePath(u"새 폴더3"_s)).isDir());
    }

    void newFolderWithoutFolderDoesNothing()
    {
        TLocalFrame frame(context());
        QCOMPARE(frame.currentFolder(), QString());
        frame.NewFolderBtnClick(); // no folder: nothing to make, no box
    }

    // Tree, list and path box show the same folder; hidden entries are listed; the caption follows the
    // tree; Back goes to the parent.
    void viewsStayInStep()
    {
        QTemporaryDir dir;
        const QString child = QDir(dir.path()).filePath(u"Child"_s);
        QVERIFY(QDir().mkpath(child));
        touch(QDir(child).filePath(u".hidden"_s));
        touch(QDir(child).filePath(u"plain.txt"_s));
        TLocalFrame frame(context());
        frame.resize(800, 500);
        frame.show();
        QSignalSpy captions(&frame, &TLocalFrame::captionChanged);

        QVERIFY(frame.setCurrentFolder(child));
        QCOMPARE(frame.currentFolder(), child);
        QCOMPARE(captions.last().at(0).toString(), u"Child"_s);
        QCOMPARE(frame.ShellPathCombo->currentText(), QDir::toNativeSeparators(child));
        auto* treeModel = qobject_cast<QFileSystemModel*>(frame.ShellTree->model());
        QCOMPARE(treeModel->filePath(frame.ShellTree->currentIndex()), child);
        QVERIFY(waitFor([&] { return listNames(frame).size() == 2; }, 5000));
        QStringList names = listNames(frame);
        names.sort();
        QCOMPARE(names, (QStringList{u".hidden"_s, u"plain.txt"_s}));

        QTest::mouseClick(buttonOf(frame.LocalToolBar, frame.BackFolderBtn), Qt::LeftButton);
        QCOMPARE(frame.currentFolder(), dir.path());
        QCOMPARE(captions.last().at(0).toString(), QFileInfo(dir.path()).fileName());
        QCOMPARE(treeModel->filePath(frame.ShellTree->currentIndex()), dir.path());

        // Picking a folder in the tree moves the list.
        frame.ShellTree->setCurrentIndex(treeModel->index(child));
        QCOMPARE(frame.currentFolder(), child);

        // A path typed into the path box moves all three; one that does not exist changes nothing.
        frame.ShellPathCombo->setEditText(dir.path());
        QTest::keyClick(frame.ShellPathCombo->lineEdit(), Qt::Key_Return);
        QCOMPARE(frame.currentFolder(), dir.path());
        frame.ShellPathCombo->setEditText(dir.path() + u"/missing"_s);
        QTest::keyClick(frame.ShellPathCombo->lineEdit(), Qt::Key_Return);
        QCOMPARE(frame.currentFolder(), dir.path());
    }

    void layoutRoundTrip()
    {
        QTemporaryDir dir;
        TLocalFrame frame(context());
        frame.resize(800, 500);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        TabLayout saved = TabLayout::ofKind(TabLayout::Kind::Local);
        saved.treeViewWidth = 234;
        saved.path = u"  "_s + dir.path() + u"  "_s; // blanks around it are trimmed
        frame.applyLayout(saved);
        QCOMPARE(frame.currentFolder(), dir.path());
        QCOMPARE(frame.layout().treeViewWidth, 234);
        QCOMPARE(frame.layout().path, QDir::toNativeSeparators(dir.path()));

        // A folder that no longer exists is ignored.
        saved.path = dir.path() + u"/gone"_s;
        frame.applyLayout(saved);
        QCOMPARE(frame.currentFolder(), dir.path());
    }

    // A tree that starts at a deep folder (a restored tab) shows that folder's name, not a column of
    // expand arrows with the names cut off at the right.
    void deepFolderNameInView()
    {
        QTemporaryDir dir;
        QString deep = dir.path();
        for (int level = 0; level < 12; ++level)
            deep += u"/level-%1-folder"_s.arg(level);
        QVERIFY(QDir().mkpath(deep));
        TLocalFrame frame(context());
        TabLayout saved = TabLayout::ofKind(TabLayout::Kind::Local);
        saved.treeViewWidth = 150;
        saved.path = deep;
        frame.applyLayout(saved);
        frame.resize(465, 400);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.ShellTree->width(), 150);
        const auto nameShown = [&frame] {
            const QModelIndex current = frame.ShellTree->currentIndex();
            const QRect item = frame.ShellTree->visualRect(current);
            const int nameWidth = frame.ShellTree->fontMetrics().horizontalAdvance(current.data().toString());
            return current.data().toString() == u"level-11-folder"_s && item.left() >= 0 &&
                   item.left() + nameWidth / 2 < frame.ShellTree->viewport()->width();
        };
        QTRY_VERIFY_WITH_TIMEOUT(nameShown(), 10000);
    }

    // Add To Favorite twice, and then for the same path in other letters, gives one menu item and one line.
    void addToFavoriteOnce()
    {
        QTemporaryDir dir;
        const QString upper = QDir(dir.path()).filePath(u"Data"_s);
        const QString lower = QDir(dir.path()).filePath(u"data"_s);
        QVERIFY(QDir().mkpath(upper));
        QVERIFY(QDir().mkpath(lower));
        TLocalFrame frame(context());
        frame.AddToFavoriteClick(); // no folder yet: nothing
        QVERIFY(frame.favoriteMenuPaths().isEmpty());
        QVERIFY(!QFile::exists(LocalFavorites::filePath(m_app.path())));

        QVERIFY(frame.setCurrentFolder(upper));
        frame.AddToFavorite1->trigger();
        frame.AddToFavorite1->trigger();
        QVERIFY(frame.setCurrentFolder(lower));
        frame.AddToFavorite1->trigger();
        frame.AddThisFolder1->trigger();
        QCOMPARE(frame.favoriteMenuPaths(), QStringList{upper});
        QCOMPARE(m_favorites, QStringList{upper});
        QCOMPARE(LocalFavorites::load(m_app.path()), QStringList{upper});
    }

    // The menu is built from the shared list, one item per path whatever its letter case; "&" in a path is
    // shown, not taken for a hot key; an item points the list at its folder.
    void favoritesMenuFromList()
    {
        QTemporaryDir dir;
        const QString amp = QDir(dir.path()).filePath(u"R&D"_s);
        QVERIFY(QDir().mkpath(amp));
        m_favorites = QStringList{dir.path(), dir.path().toUpper(), amp};
        TLocalFrame frame(context());
        QCOMPARE(frame.favoriteMenuPaths(), (QStringList{dir.path(), amp}));
        const QList<QAction*> items = frame.FvPopupMenu->actions();
        QCOMPARE(items.first(), frame.AddToFavorite1);
        QVERIFY(items.at(1)->isSeparator());
        QCOMPARE(items.at(3)->text(), QString(amp).replace(u"&"_s, u"&&"_s));
        items.at(3)->trigger();
        QCOMPARE(frame.currentFolder(), amp);
        // A favorite that is gone: the list stays where it is, no box.
        m_favorites = QStringList{dir.path() + u"/gone"_s};
        TLocalFrame other(context());
        other.FvPopupMenu->actions().at(2)->trigger();
        QCOMPARE(other.currentFolder(), QString());
    }

    // Right button in the list: the list menu without a selection, the item menu with one.
    void listMenus()
    {
        QTemporaryDir dir;
        touch(QDir(dir.path()).filePath(u"a.txt"_s));
        TLocalFrame frame(context());
        frame.resize(800, 500);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(frame.setCurrentFolder(dir.path()));
        QVERIFY(waitFor([&] { return listNames(frame).size() == 1; }, 5000));

        QWidget* viewport = frame.ShellList->viewport();
        const QPoint empty(viewport->width() / 2, viewport->height() - 5);
        QContextMenuEvent none(QContextMenuEvent::Mouse, empty, viewport->mapToGlobal(empty));
        QApplication::sendEvent(viewport, &none);
        QVERIFY(frame.LVPopupMenu->isVisible());
        QVERIFY(!frame.LVTMenu->isVisible());
        frame.LVPopupMenu->hide();

        const QModelIndex first = frame.ShellList->model()->index(0, 0, frame.ShellList->rootIndex());
        frame.ShellList->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        const QPoint onItem = frame.ShellList->visualRect(first).center();
        QContextMenuEvent some(QContextMenuEvent::Mouse, onItem, viewport->mapToGlobal(onItem));
        QApplication::sendEvent(viewport, &some);
        QVERIFY(frame.LVTMenu->isVisible());
        QVERIFY(!frame.LVPopupMenu->isVisible());
        frame.LVTMenu->hide();
    }

    void languageFileRelabels()
    {
        QTemporaryDir app;
        QVERIFY(QDir(app.path()).mkpath(u"Languages"_s));
        QFile ini(QDir(app.path()).filePath(u"Languages/English.ini"_s));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[LocalForm]\r\nBack=Up\r\nAddToFavorite=Remember\r\nSize=11\r\n");
        ini.close();
        TLocalFrame frame({app.path(), &m_favorites, nullptr});
        QCOMPARE(frame.BackFolderBtn->text(), u"Up"_s);
        QCOMPARE(frame.AddToFavorite1->text(), u"Remember"_s);
        QCOMPARE(frame.NewFolderBtn->text(), u"New Folder"_s);
        QCOMPARE(frame.FavoriteBtn->font().pointSize(), 11);
    }

    void captionsFollowTheOption()
    {
        TLocalFrame frame(context());
        frame.setShowCaptions(false);
        QCOMPARE(frame.LocalToolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QCOMPARE(frame.FavoriteBtn->toolButtonStyle(), Qt::ToolButtonIconOnly);
        frame.setShowCaptions(true);
        QCOMPARE(frame.LocalToolBar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    }
};

QTEST_MAIN(TestLocalFrame)
#include "tst_localframe.moc"
