// View and Edit of remote files against a real server: the copy's place below the temporary folder, the
// program started with the copy's path as one argument, each save of an edited copy uploaded (also when the
// program hands the file on and returns at once), the watch ended by a disconnect, and programs that cannot
// start reported. The test programs are small shell scripts.
#include "remote/filelistmodel.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/scriptedserver.h"
#include "tests/support/testhelpers.h"
#include "transfer/editwatcher.h"
#include "transfer/processstate.h"
#include "transfer/transferpaths.h"
#include "ui/dialogs/editfileform.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QItemSelectionModel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QUrl>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

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

/// Writes an executable shell script.
bool writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("#!/bin/sh\n" + body);
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

/// A shell word for a path (single quotes; a single quote in it closed, escaped and reopened).
QByteArray shellQuoted(const QString& path)
{
    QByteArray text = path.toLocal8Bit();
    text.replace("'", "'\\''");
    return "'" + text + "'";
}

/// Waits (bounded) for "$1.go" to appear; the test creates it when the program is to go on.
const QByteArray waitForGo = "i=0\n"
                             "while [ ! -e \"$1.go\" ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n";

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void selectName(TRemoteFrame& tab, const QString& name)
{
    const int row = int(shownNames(tab).indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    tab.widgets().rFileListView->selectionModel()->select(tab.widgets().FileListModel->index(row, 0),
                                                          QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
}

/// Double-clicks the row of a name, as a person does.
void doubleClickName(TRemoteFrame& tab, const QString& name)
{
    const int row = int(shownNames(tab).indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    QTreeView* list = tab.widgets().rFileListView;
    const QRect rect = list->visualRect(tab.widgets().FileListModel->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

/// A tab shown and logged on to the server.
struct EditTab {
    EditTab(const FtpServer& server, const RemoteTabContext& context) : tab(context)
    {
        tab.resize(800, 600);
        tab.show();
        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        tab.ConnectBtnClick();
        QObject::connect(&tab, &TRemoteFrame::editCopyUploaded, &tab,
                         [this](const QString& remote) { uploads << remote; });
    }
    QList<TEditFileForm*> watchers() const { return tab.findChildren<TEditFileForm*>(); }
    TRemoteFrame tab;
    QStringList uploads;
};

} // namespace

class TestRemoteEdit : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void copyPlaces()
    {
        const QString temp = u"/tmp/t/skTemp/"_s;
        const QString a = editCopyPath(temp, u"u@h:21"_s, u"/one/a.txt"_s);
        // The file keeps its name, in a folder of its own below the temporary folder.
        QVERIFY2(QRegularExpression(u"^/tmp/t/skTemp/skEdit[0-9a-f]{16}/a\\.txt$"_s).match(a).hasMatch(),
                 qPrintable(a));
        QCOMPARE(editCopyPath(temp, u"u@h:21"_s, u"/one/a.txt"_s), a);
        // Another folder, server or user: another copy.
        QVERIFY(editCopyPath(temp, u"u@h:21"_s, u"/two/a.txt"_s) != a);
        QVERIFY(editCopyPath(temp, u"u@other:21"_s, u"/one/a.txt"_s) != a);
        QVERIFY(editCopyPath(temp, u"v@h:21"_s, u"/one/a.txt"_s) != a);
        // A listed name never leads out of its folder.
        for (const QString& name : {u".."_s, u"."_s, u"..\\..\\x"_s, QString()}) {
            const QString copy = editCopyPath(temp, u"u@h:21"_s, u"/one/"_s + name);
            QVERIFY2(staysInside(temp, copy), qPrintable(copy));
            QCOMPARE(QFileInfo(copy).path(), QFileInfo(a).path());
        }
    }

    void editUploadsEverySave()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/a.txt"_s, "original") && server.putFile(u"other/a.txt"_s, "other"));
        TabEnvironment env;
        // Saves twice; the second time once the test has seen the first upload.
        const QString editor = env.filePath(u"editor.sh"_s);
        QVERIFY(writeScript(editor,
                            "printf 'first' > \"$1\"\n" + waitForGo + "printf 'second version' > \"$1\"\n"));
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = editor;
        env.config.DoubleClickAction = DoubleClick::Edit;
        EditTab e(server, env.context());
        QVERIFY(e.tab.GoToPath(u"/pub"_s));
        const int editorsBefore = RunningEditors.load();

        QStringList seenOnServer;
        QObject::connect(&e.tab, &TRemoteFrame::editCopyUploaded, &e.tab, [&] {
            seenOnServer << QString::fromLatin1(server.readFile(u"pub/a.txt"_s));
            QVERIFY(e.watchers().size() == 1);
            // Still inside the upload: its panel shows, and the tab is busy with it.
            const TInfoForm* panel = e.watchers().first()->panel();
            QVERIFY(panel && panel->isVisible());
            QCOMPARE(panel->info(), u"Transfering a.txt"_s);
            QVERIFY(e.tab.IsBusy());
            QFile go(e.watchers().first()->watcher()->watchFile() + u".go"_s);
            QVERIFY(go.open(QIODevice::WriteOnly));
        });
        selectName(e.tab, u"a.txt"_s);
        e.tab.rFileListViewDblClick(); // Edit, as the double-click option says
        QCOMPARE(e.watchers().size(), 1);
        const EditWatcher* watcher = e.watchers().first()->watcher();
        QCOMPARE(watcher->watchRemote(), u"/pub/a.txt"_s);
        QVERIFY(watcher->watchFile().startsWith(env.filePath(u"skTemp/skEdit"_s)));

        QVERIFY2(waitFor([&] { return seenOnServer.size() >= 2; }, 30000),
                 qPrintable(seenOnServer.join(u"|"_s)));
        QCOMPARE(seenOnServer, QStringList({u"first"_s, u"second version"_s}));
        QCOMPARE(e.uploads, QStringList({u"/pub/a.txt"_s, u"/pub/a.txt"_s}));
        QCOMPARE(server.readFile(u"other/a.txt"_s), QByteArray("other"));
        // The program has ended; the watch goes on (editors often hand the file on and return).
        QVERIFY(waitFor([&] { return RunningEditors.load() == editorsBefore; }, 30000));
        QCOMPARE(e.watchers().size(), 1);

        // The same name in another folder gets a copy of its own.
        QVERIFY(e.tab.GoToPath(u"/other"_s));
        env.config.EditorPath = u"/bin/true"_s;
        selectName(e.tab, u"a.txt"_s);
        e.tab.EditBtnClick();
        QTRY_COMPARE(e.watchers().size(), 2);
        QVERIFY(e.watchers().at(0)->watcher()->watchFile() != e.watchers().at(1)->watcher()->watchFile());
        QCOMPARE(fileBytes(watcher->watchFile()), QByteArray("second version"));

        // A disconnect ends every watch: a later save goes nowhere.
        const QString copy = watcher->watchFile();
        e.tab.DisconnectBtnClick();
        QTRY_COMPARE(e.watchers().size(), 0);
        QFile later(copy);
        QVERIFY(later.open(QIODevice::WriteOnly));
        later.write("after the disconnect");
        later.close();
        QTest::qWait(3 * EditWatcher::CheckIntervalMs);
        QCOMPARE(e.uploads.size(), 2);
        QCOMPARE(server.readFile(u"pub/a.txt"_s), QByteArray("second version"));
    }

    void editorThatReturnsAtOnce()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "original"));
        TabEnvironment env;
        // Hands the file to a child and ends; the child saves once the test says so.
        const QString editor = env.filePath(u"handoff.sh"_s);
        QVERIFY(writeScript(editor, "(\n" + waitForGo + "printf 'saved later' > \"$1\"\n) &\nexit 0\n"));
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = editor;
        EditTab e(server, env.context());
        const int editorsBefore = RunningEditors.load();
        selectName(e.tab, u"a.txt"_s);
        // The Edit button a person clicks.
        QVERIFY(e.tab.widgets().EditBtn->isEnabled());
        QTest::mouseClick(e.tab.widgets().EditBtn, Qt::LeftButton);
        QCOMPARE(e.watchers().size(), 1);
        const QString copy = e.watchers().first()->watcher()->watchFile();
        QCOMPARE(fileBytes(copy), QByteArray("original"));
        QCOMPARE(e.watchers().first()->watcher()->watchRemote(), u"/a.txt"_s); // at the root

        QVERIFY(waitFor([&] { return RunningEditors.load() == editorsBefore; }, 30000));
        QFile go(copy + u".go"_s);
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();
        QVERIFY(waitFor([&] { return e.uploads.size() == 1; }, 30000));
        QCOMPARE(server.readFile(u"a.txt"_s), QByteArray("saved later"));
        QVERIFY(!e.tab.IsBusy());
    }

    void copyThatCannotBeWrittenIsNeitherOpenedNorSentBack_data()
    {
        QTest::addColumn<int>("action");
        QTest::newRow("Edit") << int(DoubleClick::Edit);
        QTest::newRow("View") << int(DoubleClick::View);
        QTest::newRow("double-click Open") << int(DoubleClick::Open);
    }

    void copyThatCannotBeWrittenIsNeitherOpenedNorSentBack()
    {
        QFETCH(int, action);
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray original(100000, 'o');
        QVERIFY(server.putFile(u"a.txt"_s, original));
        TabEnvironment env;
        DesktopTypes desktop;
        desktop.associate(u"text/plain"_s);
        UrlCatcher opened;
        // The program would save what it was given at once: a short copy would go up over the file.
        const QString editor = env.filePath(u"editor.sh"_s);
        QVERIFY(writeScript(editor, "echo started > \"$1.started\"\nprintf 'short' > \"$1\"\n"));
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = editor;
        env.config.DoubleClickAction = DoubleClick(action);
        EditTab e(server, env.context());
        // A full disk where the copy is written.
        const QString copy =
            action == int(DoubleClick::Open)
                ? env.filePath(u"skTemp/a.txt"_s)
                : editCopyPath(env.filePath(u"skTemp/"_s),
                               e.tab.engine()->User() + u"@"_s + e.tab.engine()->RemoteHost() + u":"_s +
                                   QString::number(e.tab.engine()->RemotePort()),
                               u"/a.txt"_s);
        QVERIFY(QDir().mkpath(QFileInfo(copy).path()));
        QVERIFY(QFile::link(u"/dev/full"_s, copy));

        BoxSeen box;
        ModalAnswerer modal({pressOk(&box)});
        doubleClickName(e.tab, u"a.txt"_s);
        QTRY_COMPARE(modal.seen(), 1);
        QCOMPARE(modal.unexpected(), 0);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY2(box.text.startsWith(u"7: Error writing to local file"_s), qPrintable(box.text));
        // Nothing was handed on or watched, and no copy is left to be taken for the file.
        QCOMPARE(opened.urls, QList<QUrl>());
        QCOMPARE(e.watchers().size(), 0);
        QVERIFY(!QFileInfo(copy).exists() && !QFileInfo(copy).isSymLink());
        QVERIFY(!QFile::exists(copy + u".started"_s));
        QTest::qWait(3 * EditWatcher::CheckIntervalMs);
        QCOMPARE(e.uploads, QStringList());
        QCOMPARE(server.readFile(u"a.txt"_s), original);
        QVERIFY(!e.tab.IsBusy());
    }

    void copyShorterThanListedIsNotOpened()
    {
        using namespace skyhaul::test::script;
        // The server lists 10 bytes, then sends 3 and says all went well.
        ScriptedServer server(logOnAndListRoot("-rw-r--r-- 1 a b 10 Jan 1 2020 a.txt\r\n") +
                              Script{expect("SIZE a.txt"), reply("213 10"), expect("PASV"), pasv(),
                                     expect("REST 0"), reply("350 Restarting"), expect("RETR a.txt"),
                                     reply("150 Sending"), acceptData(), sendData("abc"), closeData(),
                                     reply("226 Done")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = u"/bin/true"_s;
        TRemoteFrame tab(env.context());
        tab.show();
        fillFields(tab, server.host(), server.port(), u"u"_s, u"p"_s);
        tab.ConnectBtnClick();
        QCOMPARE(shownNames(tab), QStringList{u"a.txt"_s});
        selectName(tab, u"a.txt"_s);
        BoxSeen box;
        ModalAnswerer modal({pressOk(&box)});
        QTest::mouseClick(tab.widgets().EditBtn, Qt::LeftButton);
        QTRY_COMPARE(modal.seen(), 1);
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.failures(), QStringList());
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.text,
                 u"The copy of a.txt is not complete: 3 of 10 bytes arrived. Nothing was opened."_s);
        QCOMPARE(tab.findChildren<TEditFileForm*>().size(), 0);
        QDirIterator left(env.filePath(u"skTemp"_s), QDir::Files, QDirIterator::Subdirectories);
        QVERIFY2(!left.hasNext(), qPrintable(left.next()));
        QVERIFY(!tab.IsBusy());
    }

    void viewWhileEditingSendsNothingBack()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "original"));
        TabEnvironment env;
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = u"/bin/true"_s;
        EditTab e(server, env.context());
        selectName(e.tab, u"a.txt"_s);
        e.tab.EditBtnClick();
        QCOMPARE(e.watchers().size(), 1);
        const QString copy = e.watchers().first()->watcher()->watchFile();

        // Someone else changes the file; View fetches it into the copy being watched.
        QVERIFY(server.putFile(u"a.txt"_s, "changed on the server"));
        e.tab.ViewBtnClick();
        QCOMPARE(fileBytes(copy), QByteArray("changed on the server"));
        QTest::qWait(5 * EditWatcher::CheckIntervalMs);
        QCOMPARE(e.uploads, QStringList());
        // The watch goes on: the user's own save still goes up.
        QFile save(copy);
        QVERIFY(save.open(QIODevice::WriteOnly));
        save.write("saved by the user");
        save.close();
        QVERIFY(waitFor([&] { return e.uploads.size() == 1; }, 30000));
        QCOMPARE(server.readFile(u"a.txt"_s), QByteArray("saved by the user"));
    }

    void viewPassesThePathAsOneArgument()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QString name = u"it's a \"quoted\" name $HOME.txt"_s;
        QVERIFY(server.putFile(name, "to be viewed"));
        TabEnvironment env;
        const QString argsFile = env.filePath(u"args.txt"_s);
        const QString viewer = env.filePath(u"viewer with blanks.sh"_s);
        QVERIFY(writeScript(viewer, "printf '%s\\n' \"$#\" \"$@\" > " + shellQuoted(argsFile) + "\n"));
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = viewer;
        RemoteTabContext context = env.context();
        context.tempFolder = env.filePath(u"temp with \"blanks\"/skTemp/"_s);
        EditTab e(server, context);
        selectName(e.tab, name);
        e.tab.ViewBtnClick();

        QVERIFY(waitFor([&] { return fileBytes(argsFile).endsWith('\n'); }, 30000));
        const QStringList args = QString::fromLocal8Bit(fileBytes(argsFile)).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(args.size(), 2);
        QCOMPARE(args.at(0), u"1"_s);
        const QString copy = args.at(1);
        QVERIFY2(copy.startsWith(context.tempFolder + u"skEdit"_s), qPrintable(copy));
        QVERIFY(copy.endsWith(u"/"_s + name));
        QCOMPARE(fileBytes(copy), QByteArray("to be viewed"));
        // Nothing watches a viewed copy.
        QCOMPARE(e.watchers().size(), 0);
    }

    void programThatCannotStart_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::newRow("Edit") << true;
        QTest::newRow("View") << false;
    }

    void programThatCannotStart()
    {
        QFETCH(bool, edit);
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "a"));
        TabEnvironment env;
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = env.filePath(u"no such editor"_s);
        EditTab e(server, env.context());
        const int editorsBefore = RunningEditors.load();
        selectName(e.tab, u"a.txt"_s);
        BoxSeen box;
        ModalAnswerer modal({pressOk(&box)});
        if (edit)
            e.tab.EditBtnClick();
        else
            e.tab.ViewBtnClick();
        QTRY_COMPARE(modal.seen(), 1);
        QCOMPARE(modal.unexpected(), 0);
        QVERIFY2(box.text.startsWith(env.filePath(u"no such editor"_s)), qPrintable(box.text));
        QTRY_COMPARE(e.watchers().size(), 0);
        QCOMPARE(RunningEditors.load(), editorsBefore);
        QVERIFY(!e.tab.IsBusy());
    }
};

QTEST_MAIN(TestRemoteEdit)
#include "tst_remoteedit.moc"
