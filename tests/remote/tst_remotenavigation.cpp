// Browsing a real server in a remote tab: the root node, the listing cache, expand marks, the path box with
// its history, Back, double-click, Refresh, failures of listings and folder changes, the header order and
// the type-ahead search.
#include "remote/filelistmodel.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testhelpers.h"
#include "transfer/direntry.h"

#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

using namespace skyhaul;
using namespace skyhaul::test;

/// Stands in for the desktop's "open" of local files while it lives: records what the tab asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

namespace {

/// The folders and files the tests browse.
bool putTree(const FtpServer& server)
{
    return server.putFile(QStringLiteral("pub/incoming/file1.txt"), "one") &&
           server.putFile(QStringLiteral("pub/readme.txt"), "read me") &&
           server.putFile(QStringLiteral("pub/big.bin"), QByteArray(3000, 'x')) &&
           server.putFile(QStringLiteral("pub/small.txt"), "s") &&
           server.putFile(QStringLiteral("empty/only.txt"), "only") &&
           server.makeDir(QStringLiteral("docs/a/b")) && server.putFile(QStringLiteral("alpha.txt"), "a") &&
           server.putFile(QStringLiteral("Abacus.txt"), "a") &&
           server.putFile(QStringLiteral("beta.txt"), "b") &&
           server.putFile(QStringLiteral("About.txt"), "a") &&
           server.putFile(QStringLiteral("b2.txt"), "b") && server.putFile(QStringLiteral("d.txt"), "d");
}

/// Commands of the listed verbs, in order.
QStringList onlyVerbs(const QStringList& commands, const QStringList& verbs)
{
    QStringList out;
    for (const QString& c : commands) {
        for (const QString& v : verbs) {
            if (c == v || c.startsWith(v + QLatin1Char(' ')))
                out << c;
        }
    }
    return out;
}

void clickNode(TRemoteFrame& tab, const FolderNode* node)
{
    tab.widgets().rTreeView->scrollToItem(tab.treeItem(node));
    QTest::mouseClick(tab.widgets().rTreeView->viewport(), Qt::LeftButton, {},
                      tab.widgets().rTreeView->visualItemRect(tab.treeItem(node)).center());
}

int rowOf(const TRemoteFrame& tab, const QString& name)
{
    return int(shownNames(tab).indexOf(name));
}

void doubleClickRow(TRemoteFrame& tab, int row)
{
    const QRect rect = tab.widgets().rFileListView->visualRect(tab.widgets().FileListModel->index(row, 0));
    QTest::mouseClick(tab.widgets().rFileListView->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(tab.widgets().rFileListView->viewport(), Qt::LeftButton, {}, rect.center());
}

void clickHeader(TRemoteFrame& tab, int column)
{
    QHeaderView* header = tab.widgets().rFileListView->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

QList<int> selectedRows(const TRemoteFrame& tab)
{
    QList<int> rows;
    for (const QModelIndex& index : tab.widgets().rFileListView->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

class TestRemoteNavigation : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void rootAfterLogon()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;

        QCOMPARE(tab.widgets().rTreeView->topLevelItemCount(), 1);
        FolderNode* root = tab.rootNode();
        QCOMPARE(tab.treeItem(root)->text(0), server.user() + QStringLiteral("@127.0.0.1"));
        QCOMPARE(tab.selectedNode(), root);
        QCOMPARE(tab.currentNode(), root);
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
        QCOMPARE(tab.widgets().DirectoryCB->currentText(), QStringLiteral("/"));
        QCOMPARE(tab.widgets().DirectoryCB->count(), 0);
        QVERIFY(tab.treeItem(root)->isExpanded());
        QCOMPARE(tab.NodePath(root), QStringLiteral("/"));

        // Listed as "/": no "..", folders first, each folder a node with an expand mark.
        QCOMPARE(shownNames(tab),
                 QStringList({QStringLiteral("docs"), QStringLiteral("empty"), QStringLiteral("pub"),
                              QStringLiteral("Abacus.txt"), QStringLiteral("About.txt"),
                              QStringLiteral("alpha.txt"), QStringLiteral("b2.txt"),
                              QStringLiteral("beta.txt"), QStringLiteral("d.txt")}));
        QCOMPARE(root->childCount(), 3);
        FolderNode* pub = tab.FindChildNode(root, QStringLiteral("PUB"));
        QVERIFY(pub);
        QCOMPARE(tab.treeItem(pub)->text(0), QStringLiteral("pub"));
        QCOMPARE(tab.treeItem(pub)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QCOMPARE(tab.NodePath(pub), QStringLiteral("/pub"));
        QCOMPARE(root->listing()->Entry(2)->Node, pub);
        QCOMPARE(root->listing()->Entry(2)->FullPath, QStringLiteral("/pub"));
        QCOMPARE(c.trail.count(QStringLiteral("LIST")), 1);
    }

    void listingsAreCachedUntilRefreshed()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        FolderNode* root = tab.rootNode();
        FolderNode* pub = tab.FindChildNode(root, QStringLiteral("pub"));

        c.trail.clear();
        clickNode(tab, pub);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QCOMPARE(onlyVerbs(c.trail.commands, {QStringLiteral("CWD"), QStringLiteral("LIST")}),
                 QStringList({QStringLiteral("CWD /pub"), QStringLiteral("LIST")}));
        QCOMPARE(shownNames(tab).first(), QStringLiteral(".."));
        QCOMPARE(pub->listing()->Entry(0)->Node, root);
        QCOMPARE(pub->listing()->Entry(0)->FullPath, QStringLiteral("/pub/.."));

        c.trail.clear();
        clickNode(tab, root);
        clickNode(tab, pub);
        QCOMPARE(c.trail.count(QStringLiteral("LIST")), 0);
        QCOMPARE(c.trail.count(QStringLiteral("CWD")), 2);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QCOMPARE(shownNames(tab).size(), 5);

        // The server changed; only Refresh shows it, with one listing request.
        QVERIFY(server.putFile(QStringLiteral("pub/new.txt"), "new"));
        clickNode(tab, root);
        clickNode(tab, pub);
        QVERIFY(!shownNames(tab).contains(QStringLiteral("new.txt")));
        c.trail.clear();
        QTest::mouseClick(tab.widgets().RefreshBtn, Qt::LeftButton);
        QCOMPARE(c.trail.count(QStringLiteral("LIST")), 1);
        QVERIFY(shownNames(tab).contains(QStringLiteral("new.txt")));
        QCOMPARE(tab.FindChildNode(pub, QStringLiteral("incoming")), pub->child(0)); // kept, matched again
        QCOMPARE(pub->childCount(), 1);

        // F5 in the file list refreshes as well.
        QVERIFY(QTest::qWaitForWindowActive(&tab));
        tab.widgets().rFileListView->setFocus();
        c.trail.clear();
        QTest::keyClick(tab.widgets().rFileListView, Qt::Key_F5);
        QCOMPARE(c.trail.count(QStringLiteral("LIST")), 1);
    }

    void folderWithoutSubfoldersLosesItsExpandMark()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        FolderNode* empty = tab.FindChildNode(tab.rootNode(), QStringLiteral("empty"));
        FolderNode* pub = tab.FindChildNode(tab.rootNode(), QStringLiteral("pub"));
        QCOMPARE(tab.treeItem(empty)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        clickNode(tab, empty);
        QCOMPARE(tab.treeItem(empty)->childIndicatorPolicy(),
                 QTreeWidgetItem::DontShowIndicatorWhenChildless);
        QVERIFY(!tab.treeItem(empty)->isExpanded());
        clickNode(tab, pub);
        QCOMPARE(tab.treeItem(pub)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        QVERIFY(tab.treeItem(pub)->isExpanded());

        // Expanding an unlisted folder opens it.
        FolderNode* docs = tab.FindChildNode(tab.rootNode(), QStringLiteral("docs"));
        c.trail.clear();
        tab.treeItem(docs)->setExpanded(true);
        QCOMPARE(tab.currentNode(), docs);
        QCOMPARE(c.trail.count(QStringLiteral("LIST")), 1);
        QCOMPARE(docs->childCount(), 1);
    }

    void goToPath_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enterKey");
        QTest::addColumn<QString>("endsAt");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("message");
        const QString mustStart = QStringLiteral("Path name must start with \"/\".");
        QTest::newRow("two levels") << QStringLiteral("/pub/incoming") << false
                                    << QStringLiteral("/pub/incoming")
                                    << QStringList({QStringLiteral("CWD /pub"), QStringLiteral("LIST"),
                                                    QStringLiteral("CWD /pub/incoming"),
                                                    QStringLiteral("LIST")})
                                    << QString();
        QTest::newRow("enter in the path box")
            << QStringLiteral("  /pub/incoming/ ") << true << QStringLiteral("/pub/incoming")
            << QStringList({QStringLiteral("CWD /pub"), QStringLiteral("LIST"),
                            QStringLiteral("CWD /pub/incoming"), QStringLiteral("LIST")})
            << QString();
        QTest::newRow("other case") << QStringLiteral("/PUB") << false << QStringLiteral("/pub")
                                    << QStringList({QStringLiteral("CWD /pub"), QStringLiteral("LIST")})
                                    << QString();
        QTest::newRow("missing below an existing one")
            << QStringLiteral("/pub/nosuch") << false << QStringLiteral("/pub")
            << QStringList({QStringLiteral("CWD /pub"), QStringLiteral("LIST")}) << QString();
        QTest::newRow("missing folder")
            << QStringLiteral("/nosuch") << false << QStringLiteral("/") << QStringList() << QString();
        QTest::newRow("two slashes stop")
            << QStringLiteral("//pub") << false << QStringLiteral("/") << QStringList() << QString();
        QTest::newRow("root alone") << QStringLiteral("/") << false << QStringLiteral("/") << QStringList()
                                    << QString();
        QTest::newRow("no leading slash")
            << QStringLiteral("pub") << false << QStringLiteral("/") << QStringList() << mustStart;
        QTest::newRow("empty") << QString() << true << QStringLiteral("/") << QStringList() << mustStart;
    }

    void goToPath()
    {
        QFETCH(QString, typed);
        QFETCH(bool, enterKey);
        QFETCH(QString, endsAt);
        QFETCH(QStringList, commands);
        QFETCH(QString, message);
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(QTest::qWaitForWindowActive(&tab));

        c.trail.clear();
        BoxSeen box;
        ModalAnswerer answers({pressOk(&box)});
        tab.widgets().DirectoryCB->setEditText(typed);
        if (enterKey) {
            tab.widgets().DirectoryCB->setFocus();
            QTest::keyClick(tab.widgets().DirectoryCB, Qt::Key_Return);
        } else {
            QTest::mouseClick(tab.widgets().GoBtn, Qt::LeftButton);
        }
        QCOMPARE(tab.currentPath(), endsAt);
        QCOMPARE(tab.NodePath(tab.selectedNode()), endsAt);
        QCOMPARE(onlyVerbs(c.trail.commands, {QStringLiteral("CWD"), QStringLiteral("LIST")}), commands);
        if (message.isEmpty()) {
            QCOMPARE(answers.seen(), 0);
        } else {
            QCOMPARE(answers.seen(), 1);
            QCOMPARE(box.text, message);
            QCOMPARE(box.title, QStringLiteral("Skyhaul"));
            QCOMPARE(box.icon, QMessageBox::NoIcon);
        }
    }

    void goToPathReturnsTheNodeReached()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        FolderNode* incoming = tab.GoToPath(QStringLiteral("/pub/incoming"));
        QVERIFY(incoming);
        QCOMPARE(tab.treeItem(incoming)->text(0), QStringLiteral("incoming"));
        QCOMPARE(tab.GoToPath(QStringLiteral("/")), tab.rootNode());
        QCOMPARE(tab.currentNode(), incoming); // "/" alone changes nothing
        QCOMPARE(tab.GoToPath(QStringLiteral("/docs/nosuch")), nullptr);
        QCOMPARE(tab.currentPath(), QStringLiteral("/docs"));
    }

    void back()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        c.trail.clear();
        QTest::mouseClick(tab.widgets().BackBtn, Qt::LeftButton);
        QVERIFY(c.trail.commands.isEmpty());
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));

        QVERIFY(tab.GoToPath(QStringLiteral("/docs/a/b")));
        QTest::mouseClick(tab.widgets().BackBtn, Qt::LeftButton);
        QCOMPARE(tab.currentPath(), QStringLiteral("/docs/a"));
        QTest::mouseClick(tab.widgets().BackBtn, Qt::LeftButton);
        QCOMPARE(tab.currentPath(), QStringLiteral("/docs"));
        QTest::mouseClick(tab.widgets().BackBtn, Qt::LeftButton);
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
        QCOMPARE(tab.selectedNode(), tab.rootNode());
    }

    void doubleClickFolders()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;

        doubleClickRow(tab, rowOf(tab, QStringLiteral("pub")));
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        doubleClickRow(tab, rowOf(tab, QStringLiteral("incoming")));
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub/incoming"));
        QCOMPARE(rowOf(tab, QStringLiteral("..")), 0);
        doubleClickRow(tab, 0);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        doubleClickRow(tab, 0);
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
        QCOMPARE(tab.selectedNode(), tab.rootNode());
    }

    void doubleClickFileOpensATemporaryCopy()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        DesktopTypes desktop;
        desktop.associate(QStringLiteral("text/plain"));
        UrlCatcher opened;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(QStringLiteral("/pub")));

        // View (0) fetches its own copy and hands it to the desktop's program for the type.
        env.config.DoubleClickAction = DoubleClick::View;
        env.config.EditorChoice = Editor::AssociatedProgram;
        c.trail.clear();
        doubleClickRow(tab, rowOf(tab, QStringLiteral("readme.txt")));
        QCOMPARE(c.trail.count(QStringLiteral("RETR")), 1);
        QCOMPARE(opened.urls.size(), 1);
        const QString viewed = opened.urls.first().toLocalFile();
        QVERIFY2(viewed.startsWith(env.filePath(QStringLiteral("skTemp/skEdit"))), qPrintable(viewed));
        QVERIFY(viewed.endsWith(QStringLiteral("/readme.txt")));
        opened.urls.clear();

        env.config.DoubleClickAction = DoubleClick::Open;
        doubleClickRow(tab, rowOf(tab, QStringLiteral("readme.txt")));
        const QString copy = env.filePath(QStringLiteral("skTemp/readme.txt"));
        QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(copy)});
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("read me"));
        QCOMPARE(tab.engine()->StartByte(), QStringLiteral("0"));

        // A failed download reaches the standard error box and opens nothing.
        QVERIFY(QFile::remove(server.rootDir() + QStringLiteral("/pub/small.txt")));
        BoxSeen box;
        ModalAnswerer answers({pressOk(&box)});
        doubleClickRow(tab, rowOf(tab, QStringLiteral("small.txt")));
        QCOMPARE(answers.seen(), 1);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+: 550")).match(box.text).hasMatch(),
                 qPrintable(box.text));
        QCOMPARE(opened.urls.size(), 1);
        QVERIFY(!tab.IsBusy());
    }

    void noProgramForTheType_data()
    {
        QTest::addColumn<int>("action");
        QTest::newRow("double-click Open: a red line") << int(DoubleClick::Open);
        QTest::newRow("View: a box") << int(DoubleClick::View);
    }

    void noProgramForTheType()
    {
        QFETCH(int, action);
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server) && server.putFile(QStringLiteral("pub/picture.png"), "pixels"));
        TabEnvironment env;
        DesktopTypes desktop;
        desktop.associate(QStringLiteral("text/plain"));
        UrlCatcher opened;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(QStringLiteral("/pub")));
        env.config.DoubleClickAction = DoubleClick(action);
        env.config.EditorChoice = Editor::AssociatedProgram;
        const QString said = QStringLiteral("No program is set up to open picture.png.");

        // No program of the desktop takes PNG pictures: the user is told, and nothing is handed on.
        BoxSeen box;
        ModalAnswerer answers(action == int(DoubleClick::View) ? QList<ModalAnswerer::Action>{pressOk(&box)}
                                                               : QList<ModalAnswerer::Action>{});
        doubleClickRow(tab, rowOf(tab, QStringLiteral("picture.png")));
        QCOMPARE(c.trail.count(QStringLiteral("RETR")), 1);
        QCOMPARE(opened.urls, QList<QUrl>());
        QCOMPARE(answers.unexpected(), 0);
        const QColor red(Qt::red);
        bool logged = false;
        for (const auto& [text, colour] : logLines(tab))
            logged = logged || (text.endsWith(QStringLiteral(" : ") + said) && colour == red);
        if (action == int(DoubleClick::View)) {
            QCOMPARE(answers.seen(), 1);
            QCOMPARE(box.text, said);
            QVERIFY(!logged);
        } else {
            QCOMPARE(answers.seen(), 0);
            QVERIFY(logged);
        }

        // A type the desktop has a program for is handed on as before.
        doubleClickRow(tab, rowOf(tab, QStringLiteral("readme.txt")));
        QCOMPARE(opened.urls.size(), 1);
        QVERIFY(!tab.IsBusy());
    }

    void listKeys()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        DesktopTypes desktop;
        desktop.associate(QStringLiteral("text/plain"));
        UrlCatcher opened;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(QTest::qWaitForWindowActive(&tab));
        QTreeView* list = tab.widgets().rFileListView;
        auto press = [&](Qt::Key key) {
            list->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(list, key);
        };
        auto select = [&](const QString& name) {
            list->selectionModel()->setCurrentIndex(tab.widgets().FileListModel->index(rowOf(tab, name), 0),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
        };

        // Enter opens the selected folder, as a double-click does; Backspace goes up, and not past the root.
        select(QStringLiteral("pub"));
        press(Qt::Key_Return);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        select(QStringLiteral("incoming"));
        press(Qt::Key_Enter);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub/incoming"));
        press(Qt::Key_Backspace);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        press(Qt::Key_Backspace);
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
        press(Qt::Key_Backspace);
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
        QVERIFY(!tab.IsBusy());

        // Keys follow one another as a person types them: the list keeps the focus through the listing a key
        // starts, so the next key lands in the list again, not in the path box.
        select(QStringLiteral("pub"));
        list->setFocus(Qt::OtherFocusReason);
        auto typed = [](Qt::Key key) { QTest::keyClick(static_cast<QWidget*>(nullptr), key); };
        typed(Qt::Key_Return);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QCOMPARE(QApplication::focusWidget(), list);
        typed(Qt::Key_Backspace);
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
        QCOMPARE(QApplication::focusWidget(), list);

        // Enter on a file does what a double-click does (here: Open).
        env.config.DoubleClickAction = DoubleClick::Open;
        QVERIFY(tab.GoToPath(QStringLiteral("/pub")));
        select(QStringLiteral("readme.txt"));
        press(Qt::Key_Return);
        QCOMPARE(opened.urls,
                 QList<QUrl>{QUrl::fromLocalFile(env.filePath(QStringLiteral("skTemp/readme.txt")))});

        // While a name is typed for the search, Backspace takes a character back and stays in the folder.
        list->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(list, QStringLiteral("sm"));
        QCOMPARE(tab.searchBuffer(), QStringLiteral("sm"));
        press(Qt::Key_Backspace);
        QCOMPARE(tab.searchBuffer(), QStringLiteral("s"));
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QVERIFY(waitFor([&] { return tab.searchBuffer().isEmpty(); }, 3000));

        // While a name is edited in place, Backspace and Enter belong to the edit box.
        select(QStringLiteral("incoming"));
        press(Qt::Key_F2);
        QLineEdit* editor = nullptr;
        for (QLineEdit* edit : list->viewport()->findChildren<QLineEdit*>()) {
            if (edit->isVisible())
                editor = edit;
        }
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(editor->text(), QStringLiteral("incomin"));
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QCOMPARE(opened.urls.size(), 1);
    }

    void doubleClickSymbolicLinks()
    {
        // A link shows its own name; one to a folder opens by changing into it, one to a file does what a
        // file does.
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(QStringLiteral("targets/t.txt"), "target file"));
        QVERIFY(server.putFile(QStringLiteral("targets/tdir/inner.txt"), "inner"));
        QVERIFY(server.makeDir(QStringLiteral("tree")));
        const QString root = server.rootDir();
        QVERIFY(QFile::link(QStringLiteral("../targets/t.txt"), root + QStringLiteral("/tree/flink")));
        QVERIFY(QFile::link(QStringLiteral("../targets/tdir"), root + QStringLiteral("/tree/dlink")));
        TabEnvironment env;
        UrlCatcher opened;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(QStringLiteral("/tree")));
        QCOMPARE(shownNames(tab),
                 QStringList({QStringLiteral(".."), QStringLiteral("dlink"), QStringLiteral("flink")}));

        env.config.DoubleClickAction = DoubleClick::Open;
        doubleClickRow(tab, rowOf(tab, QStringLiteral("flink")));
        const QString copy = env.filePath(QStringLiteral("skTemp/flink"));
        QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(copy)});
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("target file"));
        QCOMPARE(tab.currentPath(), QStringLiteral("/tree"));

        c.trail.clear();
        doubleClickRow(tab, rowOf(tab, QStringLiteral("dlink")));
        QCOMPARE(tab.currentPath(), QStringLiteral("/tree/dlink"));
        QCOMPARE(shownNames(tab), QStringList({QStringLiteral(".."), QStringLiteral("inner.txt")}));
        QCOMPARE(c.trail.count(QStringLiteral("RETR")), 0);
        QCOMPARE(opened.urls.size(), 1);
        QVERIFY(!tab.IsBusy());
        // Back up by "..", and into the link again through its node.
        doubleClickRow(tab, 0);
        QCOMPARE(tab.currentPath(), QStringLiteral("/tree"));
        doubleClickRow(tab, rowOf(tab, QStringLiteral("dlink")));
        QCOMPARE(tab.currentPath(), QStringLiteral("/tree/dlink"));
        QCOMPARE(opened.urls.size(), 1);
    }

    void listedNameCannotLeaveTheTemporaryFolder()
    {
        using namespace skyhaul::test::script;
        ScriptedServer server(logOnAndListRoot("-rw-r--r-- 1 a b 3 Jan 1 2020 ../escape.txt\r\n") +
                              Script{expect("SIZE ../escape.txt"), reply("213 3"), expect("PASV"), pasv(),
                                     expect("REST 0"), reply("350 Restarting"), expect("RETR ../escape.txt"),
                                     reply("150 Sending"), acceptData(), sendData("abc"), closeData(),
                                     reply("226 Done")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        DesktopTypes desktop;
        desktop.associate(QStringLiteral("text/plain"));
        UrlCatcher opened;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, server.host(), server.port(), QStringLiteral("u"), QStringLiteral("p"));
        tab.ConnectBtnClick();
        QCOMPARE(shownNames(tab), QStringList{QStringLiteral("../escape.txt")});
        doubleClickRow(tab, 0);
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.failures(), QStringList());
        const QString copy = env.filePath(QStringLiteral("skTemp/.._escape.txt"));
        QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(copy)});
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("abc"));
        QVERIFY(!QFile::exists(env.filePath(QStringLiteral("escape.txt"))));
    }

    void pathBoxHistory()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        FolderNode* root = tab.rootNode();
        FolderNode* pub = tab.FindChildNode(root, QStringLiteral("pub"));
        for (int i = 0; i < 25; ++i)
            clickNode(tab, i % 2 == 0 ? pub : root);
        // Newest first, at most 20, the same path more than once.
        QCOMPARE(tab.widgets().DirectoryCB->count(), TRemoteFrame::MaxHistory);
        QCOMPARE(tab.widgets().DirectoryCB->itemText(0), QStringLiteral("/"));
        QCOMPARE(tab.widgets().DirectoryCB->itemText(1), QStringLiteral("/pub"));
        QCOMPARE(tab.widgets().DirectoryCB->itemText(2), QStringLiteral("/"));
        QCOMPARE(tab.widgets().DirectoryCB->currentText(), QStringLiteral("/pub"));

        // A history entry chosen opens its folder.
        clickNode(tab, root);
        QCOMPARE(tab.widgets().DirectoryCB->itemText(0), QStringLiteral("/pub"));
        tab.widgets().DirectoryCB->setCurrentIndex(0);
        Q_EMIT tab.widgets().DirectoryCB->activated(0);
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));

        tab.DisconnectBtnClick();
        QCOMPARE(tab.widgets().DirectoryCB->count(), 0);
        QCOMPARE(tab.widgets().DirectoryCB->currentText(), QString());
    }

    void walkModeLeavesTheListAndPassesThePathBox()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        const QStringList rootNames = shownNames(tab);
        tab.setWalkMode(true);
        QVERIFY(tab.GoToPath(QStringLiteral("/docs/a/b")));
        tab.setWalkMode(false);
        QCOMPARE(shownNames(tab), rootNames);
        QVERIFY(!tab.treeItem(tab.FindChildNode(tab.rootNode(), QStringLiteral("docs")))->isExpanded());
        QCOMPARE(tab.currentPath(), QStringLiteral("/docs/a/b"));
        QCOMPARE(tab.widgets().DirectoryCB->itemText(0), QStringLiteral("/docs/a"));
        QCOMPARE(tab.widgets().DirectoryCB->itemText(1), QStringLiteral("/docs"));
    }

    void failedListingShowsWhatArrived()
    {
        using namespace skyhaul::test::script;
        ScriptedServer server(logOnAndListRoot("drwxr-xr-x 1 a b 0 Jan 1 2020 locked\r\n") +
                              Script{expect("CWD /locked"), reply("250 Here"), expect("PASV"), pasv(),
                                     expect("LIST"), reply("550 Permission denied")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, server.host(), server.port(), QStringLiteral("u"), QStringLiteral("p"));
        ModalAnswerer answers;
        tab.ConnectBtnClick();
        QCOMPARE(shownNames(tab), QStringList{QStringLiteral("locked")});
        clickNode(tab, tab.FindChildNode(tab.rootNode(), QStringLiteral("locked")));
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.failures(), QStringList());
        QCOMPARE(tab.currentPath(), QStringLiteral("/locked"));
        QCOMPARE(shownNames(tab), QStringList{QStringLiteral("..")});
        QCOMPARE(answers.seen(), 0);
        for (const auto& line : logLines(tab))
            QVERIFY2(!QRegularExpression(QStringLiteral(" : \\d+: ")).match(line.first).hasMatch(),
                     qPrintable(line.first));
        QVERIFY(tab.widgets().Logs->toPlainText().contains(QStringLiteral("550 Permission denied")));
    }

    void refusedFolderChangeShowsTheErrorBox()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(QDir(server.rootDir() + QStringLiteral("/empty")).removeRecursively());
        FolderNode* empty = tab.FindChildNode(tab.rootNode(), QStringLiteral("empty"));

        BoxSeen box;
        ModalAnswerer answers({pressOk(&box)});
        clickNode(tab, empty);
        QCOMPARE(answers.seen(), 1);
        QCOMPARE(box.objectName, QStringLiteral("StandardErrorBox"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+: 550 .*\\.$")).match(box.text).hasMatch(),
                 qPrintable(box.text));
        // The node keeps an empty listing without "..", and the list shows it.
        QVERIFY(empty->listing());
        QCOMPARE(empty->listing()->Count(), 0);
        QCOMPARE(tab.widgets().FileListModel->rowCount(), 0);
        QCOMPARE(tab.widgets().DirectoryCB->currentText(), QStringLiteral("/empty"));
        QVERIFY(!tab.IsBusy());
        QVERIFY(tab.widgets().rTreeView->isEnabled());

        // The tab goes on: another folder opens.
        clickNode(tab, tab.FindChildNode(tab.rootNode(), QStringLiteral("pub")));
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub"));
        QCOMPARE(answers.seen(), 1);
    }

    void headerOrder()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(QStringLiteral("/pub")));
        QHeaderView* header = tab.widgets().rFileListView->header();
        // The arrow points up for ascending order, which Qt draws for its DescendingOrder.
        const Qt::SortOrder arrowUp = Qt::DescendingOrder;
        const Qt::SortOrder arrowDown = Qt::AscendingOrder;
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), arrowUp);

        clickHeader(tab, 1);
        QCOMPARE(shownNames(tab),
                 QStringList({QStringLiteral(".."), QStringLiteral("incoming"), QStringLiteral("small.txt"),
                              QStringLiteral("readme.txt"), QStringLiteral("big.bin")}));
        QCOMPARE(header->sortIndicatorSection(), 1);
        QCOMPARE(header->sortIndicatorOrder(), arrowUp);
        clickHeader(tab, 1);
        // Largest file first, below the folders: ".." and folders stay on top in both directions.
        QCOMPARE(shownNames(tab),
                 QStringList({QStringLiteral(".."), QStringLiteral("incoming"), QStringLiteral("big.bin"),
                              QStringLiteral("readme.txt"), QStringLiteral("small.txt")}));
        QCOMPARE(header->sortIndicatorOrder(), arrowDown);
        QCOMPARE(env.listingOrder.SortColumn, 1);
        QVERIFY(env.listingOrder.SortDescending);
        clickHeader(tab, 1);
        QVERIFY(!env.listingOrder.SortDescending);
        clickHeader(tab, 0);
        QCOMPARE(env.listingOrder.SortColumn, 0);
        QVERIFY(!env.listingOrder.SortDescending);
    }

    void tabsShareTheOrderAndConnectResetsIt()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab other(server, env);
        // The listing built during a connect keeps the order it was built in; the reset applies afterwards.
        env.listingOrder = {1, true};
        ConnectedTab c(server, env);
        QAbstractItemModel* model = c.tab.widgets().rFileListView->model();
        QVERIFY(model->index(0, 0).data(RemoteFileListModel::IsDirRole).toBool());
        QVERIFY(!model->index(model->rowCount() - 1, 0).data(RemoteFileListModel::IsDirRole).toBool());
        QCOMPARE(env.listingOrder.SortColumn, 0);
        QVERIFY(!env.listingOrder.SortDescending);
        QCOMPARE(c.tab.widgets().rFileListView->header()->sortIndicatorSection(), 0);

        clickHeader(c.tab, 1);
        clickHeader(c.tab, 1);
        QVERIFY(other.tab.GoToPath(QStringLiteral("/pub")));
        QCOMPARE(shownNames(other.tab).first(), QStringLiteral(".."));
        QCOMPARE(shownNames(other.tab).at(2), QStringLiteral("big.bin"));
    }

    void typeAhead()
    {
        FtpServer server({.offerMlst = false});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(QTest::qWaitForWindowActive(&tab));
        // docs empty pub Abacus.txt About.txt alpha.txt b2.txt beta.txt d.txt
        QCOMPARE(rowOf(tab, QStringLiteral("Abacus.txt")), 3);
        tab.widgets().rFileListView->setFocus();
        auto waitForPause = [&] { return waitFor([&] { return tab.searchBuffer().isEmpty(); }, 3000); };

        // Nothing selected: index 0 is looked at last.
        QTest::keyClick(tab.widgets().rFileListView, 'd');
        QCOMPARE(selectedRows(tab), QList<int>{8});
        QVERIFY(waitForPause());

        // "a" takes Abacus, then "ab" is looked for after it.
        tab.widgets().rFileListView->selectionModel()->clear();
        QTest::keyClicks(tab.widgets().rFileListView, QStringLiteral("ab"));
        QCOMPARE(tab.searchBuffer(), QStringLiteral("ab"));
        QVERIFY(tab.widgets().LVSearchTimer->isActive());
        QCOMPARE(selectedRows(tab), QList<int>{4});
        QCOMPARE(tab.widgets().rFileListView->currentIndex().row(), 4);
        QVERIFY(waitForPause());
        QVERIFY(!tab.widgets().LVSearchTimer->isActive());

        // In any case, wrapping to the top.
        QTest::keyClicks(tab.widgets().rFileListView, QStringLiteral("AB"));
        QCOMPARE(selectedRows(tab), QList<int>{3});
        QVERIFY(waitForPause());

        // After a pause "b" is a search of its own.
        QTest::keyClick(tab.widgets().rFileListView, 'a');
        QCOMPARE(selectedRows(tab), QList<int>{4});
        QVERIFY(waitForPause());
        QTest::keyClick(tab.widgets().rFileListView, 'b');
        QCOMPARE(tab.searchBuffer(), QStringLiteral("b"));
        QCOMPARE(selectedRows(tab), QList<int>{6});

        // No match: the key is consumed and the selection stays.
        QTest::keyClick(tab.widgets().rFileListView, 'z');
        QCOMPARE(selectedRows(tab), QList<int>{6});
    }
};

QTEST_MAIN(TestRemoteNavigation)
#include "tst_remotenavigation.moc"
