// The local tab on real folders: names of new folders, favorites, the views kept in step, the menus, the
// keys of the list, deleting, and the sizes it shows.
#include "local/localdelete.h"
#include "local/localframe.h"
#include "store/configrecord.h"
#include "store/favorites.h"
#include "tests/support/testhelpers.h"
#include "tests/ui/modalwatcher.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
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

void writeFile(const QString& path, qint64 size)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(QByteArray(size, 'x')), size);
}

QModelIndex listIndex(TLocalFrame& frame, const QString& name, int column = 0)
{
    QAbstractItemModel* model = frame.ShellList->model();
    const QModelIndex root = frame.ShellList->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row)
        if (model->index(row, 0, root).data().toString() == name)
            return model->index(row, column, root);
    return {};
}

QString sizeText(TLocalFrame& frame, const QString& name)
{
    return listIndex(frame, name, 1).data().toString();
}

/// Selects the rows of these names, and nothing else; the first becomes the current row.
void selectNames(TLocalFrame& frame, const QStringList& names)
{
    QItemSelectionModel* selection = frame.ShellList->selectionModel();
    selection->clearSelection();
    for (const QString& name : names) {
        const QModelIndex index = listIndex(frame, name);
        QVERIFY2(index.isValid(), qPrintable(name));
        selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (!names.isEmpty())
        selection->setCurrentIndex(listIndex(frame, names.first()), QItemSelectionModel::NoUpdate);
}

/// Answers the question box with the given button.
std::function<void(QDialog*)> answer(QMessageBox::StandardButton button, QString* text = nullptr)
{
    return [=](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box || !box->button(button)) {
            dialog->reject();
            return;
        }
        if (text)
            *text = box->text();
        box->button(button)->click();
    };
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
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
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

    // ---- Keys of the file list

    void listKeys_data()
    {
        QTest::addColumn<QString>("select");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected"); // relative to the temporary folder
        QTest::newRow("Enter opens a folder") << u"Sub"_s << int(Qt::Key_Return) << u"Top/Sub"_s;
        QTest::newRow("keypad Enter opens a folder") << u"Sub"_s << int(Qt::Key_Enter) << u"Top/Sub"_s;
        QTest::newRow("Enter on a file stays") << u"file.txt"_s << int(Qt::Key_Return) << u"Top"_s;
        QTest::newRow("Backspace goes up") << u"Sub"_s << int(Qt::Key_Backspace) << u""_s;
    }

    void listKeys()
    {
        QFETCH(QString, select);
        QFETCH(int, key);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString top = QDir(dir.path()).filePath(u"Top"_s);
        QVERIFY(QDir().mkpath(top + u"/Sub"_s));
        touch(top + u"/file.txt"_s);
        TLocalFrame frame(context());
        frame.resize(800, 500);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(frame.setCurrentFolder(top));
        QVERIFY(waitFor([&] { return listNames(frame).size() == 2; }, 5000));
        selectNames(frame, {select});
        const Qt::KeyboardModifiers mods = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(frame.ShellList, Qt::Key(key), mods);
        const QString want = expected.isEmpty() ? dir.path() : QDir(dir.path()).filePath(expected);
        QCOMPARE(frame.currentFolder(), want);
        QCOMPARE(QFileInfo(top + u"/Sub"_s).isDir(), true); // no key deleted anything
    }

    // Del asks the delete question (nothing without a selection); No keeps everything, Yes deletes files,
    // folders with their contents, and a link without what it points to. Shift+Del does the same.
    void deleteKey_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("shift");
        QTest::newRow("No keeps them") << false << false;
        QTest::newRow("Yes deletes them") << true << false;
        QTest::newRow("Shift+Del, Yes") << true << true;
    }

    void deleteKey()
    {
        QFETCH(bool, yes);
        QFETCH(bool, shift);
        QTemporaryDir dir;
        QTemporaryDir outside;
        writeFile(outside.filePath(u"keep.txt"_s), 10);
        const QString folder = dir.path();
        writeFile(folder + u"/a.txt"_s, 5);
        writeFile(folder + u"/untouched.txt"_s, 5);
        QVERIFY(QDir().mkpath(folder + u"/tree/deeper/.hidden"_s));
        writeFile(folder + u"/tree/deeper/b.bin"_s, 7);
        QVERIFY(QFile::link(outside.path(), folder + u"/link"_s));
        TLocalFrame frame(context());
        frame.resize(800, 500);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(frame.setCurrentFolder(folder));
        QVERIFY(waitFor([&] { return listNames(frame).size() == 4; }, 5000));
        QString asked;
        ModalWatcher watcher(answer(yes ? QMessageBox::Yes : QMessageBox::No, &asked));
        // Without a selection nothing is asked.
        frame.ShellList->selectionModel()->clearSelection();
        QTest::keyClick(frame.ShellList, Qt::Key_Delete);
        QVERIFY(watcher.seen.isEmpty());

        selectNames(frame, {u"a.txt"_s, u"tree"_s, u"link"_s});
        QTest::keyClick(frame.ShellList, Qt::Key_Delete, shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(asked, u"Do you want to delete selected file(s)?"_s);
        QCOMPARE(QFileInfo::exists(folder + u"/a.txt"_s), !yes);
        QCOMPARE(QFileInfo::exists(folder + u"/tree"_s), !yes);
        QCOMPARE(QFileInfo(folder + u"/link"_s).isSymLink(), !yes);
        QVERIFY(QFileInfo::exists(folder + u"/untouched.txt"_s));
        QVERIFY(QFileInfo::exists(outside.filePath(u"keep.txt"_s)));
        if (yes)
            QVERIFY(waitFor([&] { return listNames(frame) == QStringList{u"untouched.txt"_s}; }, 5000));
        QCOMPARE(frame.currentFolder(), folder);
    }

    // Names that would reach outside the folder are refused, and one that is gone already is no failure.
    void deleteLocalEntriesStaysInFolder()
    {
        QTemporaryDir parent;
        const QString folder = parent.filePath(u"inner"_s);
        QVERIFY(QDir().mkpath(folder));
        writeFile(parent.filePath(u"sibling.txt"_s), 3);
        writeFile(folder + u"/x.txt"_s, 3);
        const LocalDeleteResult result = deleteLocalEntries(
            folder, {u".."_s, u"../sibling.txt"_s, u""_s, u"."_s, u"gone.txt"_s, u"x.txt"_s});
        QCOMPARE(result.failures.size(), 4);
        QVERIFY(QFileInfo::exists(parent.filePath(u"sibling.txt"_s)));
        QVERIFY(QFileInfo(folder).isDir());
        QVERIFY(!QFileInfo::exists(folder + u"/x.txt"_s));
    }

    // ---- Sizes

    // The size column writes sizes as the remote list does; folders show none.
    void sizeColumnAsRemoteList_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << qint64(1000) << u"1,000B"_s;
        QTest::newRow("kilobytes") << qint64(1536) << u"2KB"_s;
        QTest::newRow("megabytes") << qint64(1234567) << u"1.18MB"_s;
    }

    void sizeColumnAsRemoteList()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        writeFile(dir.filePath(u"f.bin"_s), bytes);
        QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
        TLocalFrame frame(context());
        frame.show();
        QVERIFY(frame.setCurrentFolder(dir.path()));
        QVERIFY(waitFor([&] { return listNames(frame).size() == 2; }, 5000));
        QVERIFY(waitFor([&] { return sizeText(frame, u"f.bin"_s) == text; }, 5000));
        QCOMPARE(sizeText(frame, u"sub"_s), QString());
    }

    // A file that grew after the list first read it (a download in progress) shows its real size once the
    // list is read again.
    void refreshShowsGrownFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"growing.bin"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        TLocalFrame frame(context());
        frame.show();
        QVERIFY(frame.setCurrentFolder(dir.path()));
        QVERIFY(waitFor([&] { return sizeText(frame, u"growing.bin"_s) == u"0B"_s; }, 5000));
        QCOMPARE(file.write(QByteArray(5000, 'x')), qint64(5000));
        file.close();
        frame.refreshList();
        QVERIFY(waitFor([&] { return sizeText(frame, u"growing.bin"_s) == u"5KB"_s; }, 5000));
        QCOMPARE(frame.currentFolder(), dir.path());
    }

    void languageFileRelabels()
    {
        QTemporaryDir app;
        QVERIFY(QDir(app.path()).mkpath(u"Languages"_s));
        QFile ini(QDir(app.path()).filePath(u"Languages/English.ini"_s));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[LocalForm]\r\nBack=Up\r\nAddToFavorite=Remember\r\nSize=11\r\n");
        ini.close();
        TLocalFrame frame({app.path(), &m_favorites, nullptr, Texts(app.path(), u"English"_s)});
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
