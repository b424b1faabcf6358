// Drag and drop between a remote tab's file list and the desktop, against real servers: local files dropped
// on the list are uploaded (from several folders too), refused while disconnected or while the list's own
// rows are being dragged; rows dragged out are downloaded into a new temporary folder only when a target
// reads the file list, and offered as local files; names that could lead elsewhere are never offered.
//
// The offscreen platform has no drag loop of its own (QDrag::exec() returns at once), so the drag tests put
// the desktop's part in TRemoteFrame::dragLoop: what a drop target would do while the drag runs.
#include "remote/filelistmodel.h"
#include "remote/remotedragdrop.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"
#include "tests/support/testhelpers.h"
#include "transfer/transferrun.h"

#include <QDateTime>
#include <QDrag>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>

#include <cmath>
#include <memory>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

namespace {

QWidget* listViewport(const TRemoteFrame& tab)
{
    return tab.widgets().rFileListView->viewport();
}

QPoint rowCentre(const TRemoteFrame& tab, const QString& name)
{
    const QModelIndex index = tab.widgets().FileListModel->index(int(shownNames(tab).indexOf(name)), 0);
    return tab.widgets().rFileListView->visualRect(index).center();
}

void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& at, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

/// What a drop target saw of a drag over a widget: whether the enter and the drop were taken.
struct DropSeen {
    bool enterAccepted = false;
    bool dropAccepted = false;
};

/// Moves a drag of @p data onto the widget and drops it there, as the platform delivers it.
DropSeen dropOnto(QWidget* widget, const QMimeData* data)
{
    DropSeen seen;
    const QPoint at(30, 30);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    seen.enterAccepted = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &drop);
    seen.dropAccepted = drop.isAccepted();
    return seen;
}

/// A shell's file list of these local paths.
std::unique_ptr<QMimeData> localFiles(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

/// The folders under the temporary folder.
QStringList tempFolders(const TabEnvironment& env)
{
    return QDir(env.filePath(u"skTemp"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

/// Drags the selected rows out from the row of `name` to a target that takes them and returns the URLs it
/// was offered; `unexpected` counts the modal windows that showed meanwhile.
QList<QUrl> dragOutToATarget(TRemoteFrame& tab, const QString& name, int* unexpected)
{
    auto offered = std::make_shared<QList<QUrl>>();
    tab.dragLoop = [offered](QDrag& drag) {
        *offered = drag.mimeData()->urls();
        return Qt::CopyAction;
    };
    QCursor::setPos(tab.mapToGlobal(QPoint(-500, -500)));
    ModalAnswerer answers;
    const QPoint press = rowCentre(tab, name);
    sendMouse(listViewport(tab), QEvent::MouseButtonPress, press, Qt::LeftButton);
    sendMouse(listViewport(tab), QEvent::MouseMove, press + QPoint(16, 0), Qt::LeftButton);
    *unexpected = answers.unexpected();
    return *offered;
}

/// The day count of now times 10000, as drag folders are named.
qint64 stampNow()
{
    const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    return std::llround(double(epoch.msecsTo(QDateTime::currentDateTime())) / 86400000.0 * 10000);
}

} // namespace

class TestRemoteDragDrop : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void dropFromTwoFolders()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.makeDir(u"in"_s));
        QTemporaryDir local;
        QVERIFY(QDir(local.path()).mkpath(u"one/sub"_s) && QDir(local.path()).mkpath(u"two"_s));
        const QByteArray big = patternBytes(250000, 1);
        writeBytes(local.filePath(u"one/a.txt"_s), "a\r\nb");
        writeBytes(local.filePath(u"one/b.bin"_s), big);
        writeBytes(local.filePath(u"one/sub/deep.txt"_s), "deep");
        writeBytes(local.filePath(u"two/c.txt"_s), "c\n");
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(u"/in"_s));
        QVERIFY(tab.acceptFiles());

        ModalAnswerer answers;
        // Three files from two folders, and a folder: each lands beside the others, keeping what is below it.
        const auto data = localFiles({local.filePath(u"one/a.txt"_s), local.filePath(u"one/b.bin"_s),
                                      local.filePath(u"one/sub"_s) + u"/"_s, local.filePath(u"two/c.txt"_s)});
        const DropSeen seen = dropOnto(listViewport(tab), data.get());
        QVERIFY(seen.enterAccepted);
        QVERIFY(seen.dropAccepted);
        QVERIFY(waitFor([&] { return server.readFile(u"in/c.txt"_s).size() == 2 && !tab.IsBusy(); }, 60000));
        QCOMPARE(answers.unexpected(), 0);

        QCOMPARE(server.readFile(u"in/a.txt"_s), QByteArray("a\r\nb"));
        QCOMPARE(server.readFile(u"in/b.bin"_s), big);
        QCOMPARE(server.readFile(u"in/sub/deep.txt"_s), QByteArray("deep"));
        QCOMPARE(server.readFile(u"in/c.txt"_s), QByteArray("c\n"));
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/in/two"_s));
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/in/one"_s));
        QCOMPARE(tab.queue().count(), 5);
        QCOMPARE(tab.totalBytes(), qint64(4 + big.size() + 4 + 2));
        // The folder is listed again with what arrived.
        QCOMPARE(shownNames(tab), QStringList({u".."_s, u"sub"_s, u"a.txt"_s, u"b.bin"_s, u"c.txt"_s}));
        QVERIFY(tab.acceptFiles());
    }

    void dropRefused_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("never connected") << u"never"_s;
        QTest::newRow("disconnected") << u"disconnected"_s;
    }

    void dropRefused()
    {
        QFETCH(QString, state);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QTemporaryDir local;
        writeBytes(local.filePath(u"a.txt"_s), "a");
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.resize(900, 650);
        tab.show();
        if (state == u"disconnected"_s) {
            fillFields(tab, server.host(), server.port(), server.user(), server.password());
            tab.ConnectBtnClick();
            QVERIFY(tab.acceptFiles());
            tab.DisconnectBtnClick();
            QTRY_VERIFY(!tab.engine()->Connected());
        }
        QVERIFY(!tab.acceptFiles());
        QVERIFY(!listViewport(tab)->acceptDrops());

        ModalAnswerer answers;
        const auto data = localFiles({local.filePath(u"a.txt"_s)});
        const DropSeen seen = dropOnto(listViewport(tab), data.get());
        QVERIFY(!seen.enterAccepted);
        QVERIFY(!seen.dropAccepted);
        // An accepted drop queues its upload to the event loop, which would run it to its end here.
        QCoreApplication::processEvents();
        QCOMPARE(answers.seen(), 0);
        QCOMPARE(tab.queue().count(), 0);
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/a.txt"_s));
    }

    void dragThreshold_data()
    {
        QTest::addColumn<QPoint>("move");
        QTest::addColumn<bool>("starts");
        QTest::newRow("15 both ways") << QPoint(15, 15) << false;
        QTest::newRow("16 right") << QPoint(16, 0) << true;
        QTest::newRow("16 down") << QPoint(0, 16) << true;
        QTest::newRow("16 left and up") << QPoint(-16, -3) << true;
    }

    void dragThreshold()
    {
        QFETCH(QPoint, move);
        QFETCH(bool, starts);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/a.txt"_s, "a") && server.putFile(u"pub/b.txt"_s, "b"));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(u"/pub"_s));
        selectNames(tab, {u"a.txt"_s, u"b.txt"_s});
        int drags = 0;
        bool refusedDuring = false;
        tab.dragLoop = [&](QDrag& drag) {
            ++drags;
            refusedDuring = tab.draggingOut() && !tab.acceptFiles() && !listViewport(tab)->acceptDrops() &&
                            drag.mimeData()->formats() == QStringList{u"text/uri-list"_s};
            return Qt::IgnoreAction; // nobody took it: nothing is read, nothing downloaded
        };
        QCursor::setPos(tab.mapToGlobal(QPoint(-500, -500)));

        const QPoint press = rowCentre(tab, u"a.txt"_s);
        sendMouse(listViewport(tab), QEvent::MouseButtonPress, press, Qt::LeftButton);
        // A press on a selected row keeps the other selected rows for the drag.
        QCOMPARE(tab.widgets().rFileListView->selectionModel()->selectedRows().size(), 2);
        sendMouse(listViewport(tab), QEvent::MouseMove, press + QPoint(move.x() / 2, move.y() / 2),
                  Qt::LeftButton);
        sendMouse(listViewport(tab), QEvent::MouseMove, press + move, Qt::LeftButton);
        QCOMPARE(drags, starts ? 1 : 0);
        if (starts)
            QVERIFY(refusedDuring);
        sendMouse(listViewport(tab), QEvent::MouseButtonRelease, press + move, Qt::NoButton);
        // The same move without the button held starts nothing.
        sendMouse(listViewport(tab), QEvent::MouseMove, press + move * 2, Qt::NoButton);
        QCOMPARE(drags, starts ? 1 : 0);
        QVERIFY(!tab.draggingOut());
        QVERIFY(tab.acceptFiles());
        QVERIFY(tempFolders(env).isEmpty());
        QCOMPARE(tab.queue().count(), 0);
    }

    void dragOutDownloadsWhenTaken()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray big = patternBytes(400000, 2);
        QVERIFY(server.putFile(u"pub/a.txt"_s, "alpha") && server.putFile(u"pub/sub/b.bin"_s, big) &&
                server.putFile(u"pub/sub/deeper/c.txt"_s, "c") && server.putFile(u"pub/other.txt"_s, "o"));
        QTemporaryDir local;
        writeBytes(local.filePath(u"x.txt"_s), "x");
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(u"/pub"_s));
        selectNames(tab, {u"sub"_s, u"a.txt"_s});

        QList<QUrl> offered;
        QByteArray offeredBytes;
        QStringList foldersBeforeRead;
        DropSeen ownRows;
        DropSeen ownRowsAfterRead;
        DropSeen shellFiles;
        const qint64 before = stampNow();
        tab.dragLoop = [&](QDrag& drag) {
            // The list's own rows dropped back onto it, and a shell's files: both refused while dragging.
            ownRows = dropOnto(listViewport(tab), drag.mimeData());
            const auto files = localFiles({local.filePath(u"x.txt"_s)});
            shellFiles = dropOnto(listViewport(tab), files.get());
            foldersBeforeRead = tempFolders(env);
            // A desktop target takes the drop and reads the file list: only now are the rows downloaded.
            offered = drag.mimeData()->urls();
            offeredBytes = drag.mimeData()->data(u"text/uri-list"_s);
            // Some targets read while the pointer only passes over them: the list still refuses its rows.
            ownRowsAfterRead = dropOnto(listViewport(tab), drag.mimeData());
            return Qt::CopyAction;
        };
        QCursor::setPos(tab.mapToGlobal(QPoint(-500, -500)));
        const QPoint press = rowCentre(tab, u"a.txt"_s);
        ModalAnswerer answers;
        sendMouse(listViewport(tab), QEvent::MouseButtonPress, press, Qt::LeftButton);
        sendMouse(listViewport(tab), QEvent::MouseMove, press + QPoint(0, 20), Qt::LeftButton);
        QCOMPARE(answers.unexpected(), 0);

        QVERIFY(!ownRows.enterAccepted && !ownRows.dropAccepted);
        QVERIFY(!ownRowsAfterRead.enterAccepted && !ownRowsAfterRead.dropAccepted);
        QVERIFY(!shellFiles.enterAccepted && !shellFiles.dropAccepted);
        QVERIFY(foldersBeforeRead.isEmpty());
        // One new folder under the temporary folder, named after the moment; the rows in row order.
        const QStringList folders = tempFolders(env);
        QCOMPARE(folders.size(), 1);
        const qint64 number = folders.first().toLongLong();
        QVERIFY2(number >= before && number <= stampNow() + 1, qPrintable(folders.first()));
        const QString target = env.filePath(u"skTemp/"_s + folders.first());
        QCOMPARE(offered, QList<QUrl>({QUrl::fromLocalFile(target + u"/sub"_s),
                                       QUrl::fromLocalFile(target + u"/a.txt"_s)}));
        QCOMPARE(offeredBytes, offered[0].toEncoded() + "\r\n" + offered[1].toEncoded() + "\r\n");
        QCOMPARE(fileBytes(target + u"/a.txt"_s), QByteArray("alpha"));
        QCOMPARE(fileBytes(target + u"/sub/b.bin"_s), big);
        QCOMPARE(fileBytes(target + u"/sub/deeper/c.txt"_s), QByteArray("c"));
        QVERIFY(!QFileInfo::exists(target + u"/other.txt"_s));
        // Downloaded once, although the target read the list twice; nothing uploaded.
        QCOMPARE(c.trail.count(u"RETR"_s), 3);
        QCOMPARE(c.trail.count(u"STOR"_s), 0);
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/pub/x.txt"_s));
        // Afterwards the list takes drops again, the tab is idle, no notice was shown.
        QVERIFY(!tab.draggingOut());
        QVERIFY(tab.acceptFiles());
        QVERIFY(!tab.IsBusy());
        QVERIFY(!tab.dragInfoPopupMenu() || !tab.dragInfoPopupMenu()->isVisible());
    }

    void dragOutRefusesNamesLeadingElsewhere()
    {
        // ".." would offer the temporary folder itself; "back\slash.txt" is an ordinary name on both sides
        // and is fetched and offered like any other.
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/back\\slash.txt"_s, "hostile") && server.putFile(u"pub/ok.txt"_s, "ok"));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(u"/pub"_s));
        QVERIFY(QDir().mkpath(env.filePath(u"skTemp/edited"_s)));
        writeBytes(env.filePath(u"skTemp/edited/copy.txt"_s), "another copy");
        selectNames(tab, {u".."_s, u"back\\slash.txt"_s, u"ok.txt"_s});

        int unexpected = -1;
        const QList<QUrl> offered = dragOutToATarget(tab, u"ok.txt"_s, &unexpected);
        QCOMPARE(unexpected, 0);

        QStringList folders = tempFolders(env);
        folders.removeAll(u"edited"_s);
        QCOMPARE(folders.size(), 1);
        const QString target = env.filePath(u"skTemp/"_s + folders.first());
        QCOMPARE(offered, (QList<QUrl>{QUrl::fromLocalFile(target + u"/back\\slash.txt"_s),
                                       QUrl::fromLocalFile(target + u"/ok.txt"_s)}));
        QCOMPARE(fileBytes(target + u"/ok.txt"_s), QByteArray("ok"));
        QCOMPARE(fileBytes(target + u"/back\\slash.txt"_s), QByteArray("hostile"));
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{u"back\\slash.txt"_s, u"ok.txt"_s}));
        QCOMPARE(c.trail.count(u"RETR"_s), 2);
        for (const auto& [line, colour] : logLines(tab))
            QVERIFY2(!line.contains(u"refused"_s), qPrintable(line));
        QCOMPARE(fileBytes(env.filePath(u"skTemp/edited/copy.txt"_s)), QByteArray("another copy"));
    }

    void dragOutRefusesListedPathNames()
    {
        // Names a listing may carry: one with "/" is refused; one with "\" is a plain local name, fetched and
        // offered with the plain file.
        using namespace skyhaul::test::script;
        ScriptedServer server(logOnAndListRoot("-rw-r--r-- 1 a b 3 Jan 1 2020 ../escape.txt\r\n"
                                               "-rw-r--r-- 1 a b 3 Jan 1 2020 ..\\up.txt\r\n"
                                               "-rw-r--r-- 1 a b 2 Jan 1 2020 ok.txt\r\n") +
                              Script{expect("CWD /"),
                                     reply("250 Here"),
                                     expect("PWD"),
                                     reply("257 \"/\" is current"),
                                     expect("SIZE /..\\up.txt"),
                                     reply("213 3"),
                                     expect("PASV"),
                                     pasv(),
                                     expect("REST 0"),
                                     reply("350 Restarting"),
                                     expect("RETR /..\\up.txt"),
                                     reply("150 Sending"),
                                     acceptData(),
                                     sendData("up!"),
                                     closeData(),
                                     reply("226 Done"),
                                     expect("SIZE /ok.txt"),
                                     reply("213 2"),
                                     expect("PASV"),
                                     pasv(),
                                     expect("REST 0"),
                                     reply("350 Restarting"),
                                     expect("RETR /ok.txt"),
                                     reply("150 Sending"),
                                     acceptData(),
                                     sendData("ok"),
                                     closeData(),
                                     reply("226 Done")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.resize(900, 650);
        tab.show();
        fillFields(tab, server.host(), server.port(), u"u"_s, u"p"_s);
        tab.ConnectBtnClick();
        QCOMPARE(shownNames(tab), QStringList({u"../escape.txt"_s, u"..\\up.txt"_s, u"ok.txt"_s}));
        selectNames(tab, shownNames(tab));
        int unexpected = -1;
        const QList<QUrl> offered = dragOutToATarget(tab, u"ok.txt"_s, &unexpected);
        QCOMPARE(unexpected, 0);
        QVERIFY2(server.waitForFinished(5000), server.commands().join(" | ").constData());
        QCOMPARE(server.failures(), QStringList());

        const QStringList folders = tempFolders(env);
        QCOMPARE(folders.size(), 1);
        const QString target = env.filePath(u"skTemp/"_s + folders.first());
        QCOMPARE(offered, (QList<QUrl>{QUrl::fromLocalFile(target + u"/..\\up.txt"_s),
                                       QUrl::fromLocalFile(target + u"/ok.txt"_s)}));
        QCOMPARE(fileBytes(target + u"/ok.txt"_s), QByteArray("ok"));
        QCOMPARE(fileBytes(target + u"/..\\up.txt"_s), QByteArray("up!"));
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{u"..\\up.txt"_s, u"ok.txt"_s}));
        QCOMPARE(QDir(env.filePath(u"skTemp"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), folders);
        int refused = 0;
        for (const auto& [line, colour] : logLines(tab))
            refused += colour == QColor(Qt::red) && line.contains(u"refused"_s);
        QCOMPARE(refused, 1);
    }

    void dragFromOneTabOntoAnother()
    {
        // Rows of one tab dropped on another tab's list: fetched by the first, then sent by the second.
        FtpServer source({.kind = ServerKind::Vsftpd});
        FtpServer target({.kind = ServerKind::Pyftpdlib});
        QVERIFY2(source.start(), qPrintable(source.errorString()));
        QVERIFY2(target.start(), qPrintable(target.errorString()));
        const QByteArray bytes = patternBytes(120000, 3);
        QVERIFY(source.putFile(u"pub/a.bin"_s, bytes) && target.makeDir(u"in"_s));
        TabEnvironment env;
        ConnectedTab from(source, env);
        ConnectedTab to(target, env);
        QVERIFY(from.tab.GoToPath(u"/pub"_s));
        QVERIFY(to.tab.GoToPath(u"/in"_s));
        selectNames(from.tab, {u"a.bin"_s});
        DropSeen seen;
        from.tab.dragLoop = [&](QDrag& drag) {
            seen = dropOnto(listViewport(to.tab), drag.mimeData());
            return seen.dropAccepted ? Qt::CopyAction : Qt::IgnoreAction;
        };
        QCursor::setPos(from.tab.mapToGlobal(QPoint(-500, -500)));
        ModalAnswerer answers;
        const QPoint press = rowCentre(from.tab, u"a.bin"_s);
        sendMouse(listViewport(from.tab), QEvent::MouseButtonPress, press, Qt::LeftButton);
        sendMouse(listViewport(from.tab), QEvent::MouseMove, press + QPoint(16, 16), Qt::LeftButton);
        QVERIFY(seen.enterAccepted && seen.dropAccepted);
        QVERIFY(waitFor([&] { return target.readFile(u"in/a.bin"_s) == bytes && !to.tab.IsBusy(); }, 60000));
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(from.trail.count(u"RETR"_s), 1);
        QCOMPARE(from.trail.count(u"STOR"_s), 0);
        QCOMPARE(to.trail.count(u"STOR"_s), 1);
        QVERIFY(from.tab.acceptFiles() && to.tab.acceptFiles());
    }

    void dragReleasedOverTheList_data()
    {
        QTest::addColumn<bool>("platformLoop");
        QTest::addColumn<bool>("overList");
        QTest::newRow("own rows dropped on the list") << false << true;
        QTest::newRow("platform drag ended over the list") << true << true;
        QTest::newRow("platform drag ended elsewhere") << true << false;
    }

    void dragReleasedOverTheList()
    {
        QFETCH(bool, platformLoop);
        QFETCH(bool, overList);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "a"));
        TabEnvironment env;
        ConnectedTab c(server, env);
        TRemoteFrame& tab = c.tab;
        selectNames(tab, {u"a.txt"_s});
        bool ownDropRefused = false;
        if (!platformLoop) {
            tab.dragLoop = [&](QDrag& drag) {
                const DropSeen seen = dropOnto(listViewport(tab), drag.mimeData());
                ownDropRefused = !seen.enterAccepted && !seen.dropAccepted;
                return Qt::IgnoreAction;
            };
        }
        // Without a loop of its own, the offscreen platform's QDrag::exec() ends at once with no target.
        const QPoint release = overList ? tab.widgets().rFileListView->rect().center() : QPoint(-300, -300);
        QCursor::setPos(tab.widgets().rFileListView->mapToGlobal(release));
        QCOMPARE(QCursor::pos(), tab.widgets().rFileListView->mapToGlobal(release));
        const QPoint press = rowCentre(tab, u"a.txt"_s);
        sendMouse(listViewport(tab), QEvent::MouseButtonPress, press, Qt::LeftButton);
        sendMouse(listViewport(tab), QEvent::MouseMove, press + QPoint(0, 40), Qt::LeftButton);

        QCOMPARE(ownDropRefused, !platformLoop);
        QMenu* notice = tab.dragInfoPopupMenu();
        QCOMPARE(notice && notice->isVisible(), overList);
        if (overList) {
            QCOMPARE(notice->actions().size(), 1);
            QCOMPARE(notice->actions().first()->text(), u"Drag Canceled!"_s);
            QVERIFY(!notice->actions().first()->isEnabled());
            notice->close();
        }
        // Nothing was read, so nothing was downloaded or uploaded; the list takes drops again.
        QVERIFY(tempFolders(env).isEmpty());
        QCOMPARE(c.trail.count(u"RETR"_s), 0);
        QCOMPARE(c.trail.count(u"STOR"_s), 0);
        QCOMPARE(tab.queue().count(), 0);
        QVERIFY(tab.acceptFiles());
    }

    void fileListReadOnce()
    {
        // The file list is fetched at the first read; later reads get the same list; a read that comes
        // while the fetch runs gets nothing.
        int fetches = 0;
        RemoteDragMimeData* self = nullptr;
        QList<QUrl> nested{QUrl(u"file:///not-yet"_s)};
        const QList<QUrl> copies{QUrl::fromLocalFile(u"/tmp/skTemp/1/a b.txt"_s),
                                 QUrl::fromLocalFile(u"/tmp/skTemp/1/sub"_s)};
        RemoteDragMimeData data([&] {
            ++fetches;
            nested = self->urls();
            return copies;
        });
        self = &data;
        QCOMPARE(data.formats(), QStringList{u"text/uri-list"_s});
        QVERIFY(data.hasUrls());
        QCOMPARE(fetches, 0);
        QVERIFY(!data.fetched());
        QCOMPARE(data.urls(), copies);
        QVERIFY(nested.isEmpty());
        QCOMPARE(data.data(u"text/uri-list"_s),
                 "file:///tmp/skTemp/1/a%20b.txt\r\nfile:///tmp/skTemp/1/sub\r\n");
        QCOMPARE(data.urls(), copies);
        QCOMPARE(fetches, 1);
        QVERIFY(data.fetched());
    }
};

QTEST_MAIN(TestRemoteDragDrop)
#include "tst_remotedragdrop.moc"
