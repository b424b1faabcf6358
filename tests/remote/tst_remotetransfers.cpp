// Moving files through a remote tab against real servers: recursive downloads and uploads with the queue's
// visiting order and its clears, the overwrite prompt answered in the tab, Stop in the middle of a run, the
// recursive delete with refusals, New Folder and rename in place, and the Transfer target rules.
#include "remote/filelistmodel.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"
#include "tests/support/testhelpers.h"
#include "transfer/direntry.h"
#include "transfer/quemodel.h"
#include "transfer/transferrun.h"
#include "ui/dialogs/overwriteform.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

namespace {

/// The other pane as the window shows it to a tab: a local folder, or another remote tab's engine.
struct OtherPane : PaneHost {
    QString path;
    RemoteSession* session = nullptr;
    std::function<void(const LocalSelection&)> upload;
    QString oppositeLocalPath(const QWidget*) const override { return path; }
    RemoteSession* oppositeRemoteSession(const QWidget*) const override { return session; }
    void uploadToOpposite(const QWidget*, const LocalSelection& selection) override
    {
        if (upload)
            upload(selection);
    }
};

QByteArray randomBytes(int size)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator::global()->generate(words.begin(), words.end());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

/// A tab shown and logged on to the server, with the other pane given.
struct TransferTab {
    TransferTab(const FtpServer& server, TabEnvironment& env, PaneHost* pane) : tab(env.context(pane))
    {
        tab.resize(900, 650);
        tab.show();
        // Shortcuts act only in the active window.
        tab.activateWindow();
        if (!QTest::qWaitForWindowActive(&tab))
            qWarning("the tab's window did not become active");
        fillFields(tab, server.host(), server.port(), server.user(), server.password());
        tab.ConnectBtnClick();
        // Every item the runs visit, in order.
        QObject::connect(tab.transferRun(), &TransferRun::currentItemChanged, &tab, [this](QueNode* node) {
            if (node)
                visited << node->item.SourcePath;
        });
        QObject::connect(&tab, &TRemoteFrame::infoChanged, &tab,
                         [this](const QString& caption) { captions << caption; });
    }
    TRemoteFrame tab;
    TrailTap trail{tab};
    QStringList visited;
    QStringList captions;
};

/// The red lines of the log that carry a server's refusal (replies themselves are black).
QStringList redLinesWith(const TRemoteFrame& tab, const QString& text)
{
    QStringList lines;
    for (const auto& [line, colour] : logLines(tab)) {
        if (colour == QColor(Qt::red) && line.contains(text))
            lines << line;
    }
    return lines;
}

QStringList commandsOf(const TrailTap& trail, const QStringList& verbs)
{
    QStringList out;
    for (const QString& c : trail.commands) {
        for (const QString& v : verbs) {
            if (c.startsWith(v + QLatin1Char(' ')))
                out << c;
        }
    }
    return out;
}

/// A question box answered Yes.
ModalAnswerer::Action pressYes(QString* text = nullptr)
{
    return [=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY2(box, modal->metaObject()->className());
        if (text)
            *text = box->text();
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    };
}

/// The overwrite prompt answered with one of its buttons ("Button1".."Button7") or "Esc".
ModalAnswerer::Action answerOverwrite(const QString& how, QStringList* asked)
{
    return [=](QWidget* modal) {
        auto* form = qobject_cast<TOVerwriteForm*>(modal);
        QVERIFY2(form, modal->metaObject()->className());
        *asked << form->FileNameLabel->text().section(QLatin1Char(' '), 0, 0);
        if (how == u"Esc"_s)
            QTest::keyClick(form, Qt::Key_Escape);
        else
            QTest::mouseClick(form->findChild<QPushButton*>(how), Qt::LeftButton);
    };
}

/// A key pressed in the file list with the keyboard focus, as the menu's shortcuts need.
void pressInList(TRemoteFrame& tab, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    tab.widgets().rFileListView->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(tab.widgets().rFileListView, key, modifiers);
}

/// Runs action once from the event loop, as a click would come, while the file's data flows.
void whileTransferring(TRemoteFrame& tab, const QString& name, const std::function<void()>& action)
{
    auto progress = tab.engine()->OnTransfer;
    auto done = std::make_shared<bool>(false);
    tab.engine()->OnTransfer = [&tab, progress, done, name, action](int direction, qint64 bytes, int percent,
                                                                    const QByteArray& text) {
        progress(direction, bytes, percent, text);
        const TQueItem* item = tab.transferRun()->CurrentItem();
        if (!*done && item && item->DisplayName == name && bytes > 0) {
            *done = true;
            QTimer::singleShot(0, &tab, action);
        }
    };
}

QLineEdit* nameEditor(const TRemoteFrame& tab)
{
    for (QLineEdit* edit : tab.widgets().rFileListView->viewport()->findChildren<QLineEdit*>()) {
        if (edit->isVisible())
            return edit;
    }
    return nullptr;
}

/// Waits until no in-place commit or action of the tab is pending.
bool settles(TRemoteFrame& tab, QSignalSpy& commits, int count)
{
    return waitFor([&] { return commits.count() >= count && !tab.IsBusy(); }, 20000);
}

} // namespace

class TestRemoteTransfers : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void recursiveDownload()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray big = randomBytes(300000);
        QVERIFY(server.putFile(u"top/a.txt"_s, "alpha\r\n") && server.putFile(u"top/sub/b.bin"_s, big) &&
                server.putFile(u"top/sub/deeper/c.txt"_s, "c") && server.makeDir(u"top/empty"_s) &&
                server.putFile(u"x.txt"_s, "x"));
        QTemporaryDir target;
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;

        // "top" was opened before: its listing is reused, the walk lists only the folders below it.
        QVERIFY(tab.GoToPath(u"/top"_s));
        tab.widgets().rTreeView->setCurrentItem(tab.treeItem(tab.rootNode()));
        QTRY_COMPARE(tab.currentNode(), tab.rootNode());
        c.trail.clear();

        selectNames(tab, {u"top"_s, u"x.txt"_s});
        QVERIFY(tab.widgets().TransferBtn->isEnabled());
        QString question;
        ModalAnswerer answers({pressYes(&question)});
        QTest::mouseClick(tab.widgets().TransferBtn, Qt::LeftButton);
        QCOMPARE(answers.unexpected(), 0);
        QCOMPARE(question, u"Do you want to download selected file(s)?"_s);

        QCOMPARE(fileBytes(target.filePath(u"top/a.txt"_s)), QByteArray("alpha\r\n"));
        QCOMPARE(fileBytes(target.filePath(u"top/sub/b.bin"_s)), big);
        QCOMPARE(fileBytes(target.filePath(u"top/sub/deeper/c.txt"_s)), QByteArray("c"));
        QCOMPARE(fileBytes(target.filePath(u"x.txt"_s)), QByteArray("x"));
        // Pre-order: a folder before its contents, each listing in the tab's order (folders first).
        QCOMPARE(c.visited, QStringList({u"/top"_s, u"/top/empty"_s, u"/top/sub"_s, u"/top/sub/deeper"_s,
                                         u"/top/sub/deeper/c.txt"_s, u"/top/sub/b.bin"_s, u"/top/a.txt"_s,
                                         u"/x.txt"_s}));
        QCOMPARE(c.captions, QStringList({u"Adding Root"_s, u"Adding /top"_s, u"Adding /top/empty"_s,
                                          u"Adding /top/sub"_s, u"Adding /top/sub/deeper"_s}));
        // Only the three folders not listed before; "/" is shown again from its listing.
        QCOMPARE(c.trail.count(u"LIST"_s), 3);
        // Everything finished, so the clear at the end of the download left nothing.
        QCOMPARE(tab.queue().count(), 0);
        QCOMPARE(tab.totalBytes(), qint64(7 + big.size() + 1 + 1));
        QCOMPARE(tab.widgets().StatusText->text(), u"Total : %1/%1"_s.arg(tab.totalBytes()));
        QCOMPARE(tab.widgets().Progress->value(), 0);
        // Back where the walk started, idle, with the keep-alive on again.
        QCOMPARE(tab.selectedNode(), tab.rootNode());
        QCOMPARE(tab.currentNode(), tab.rootNode());
        QVERIFY(!tab.walkMode());
        QVERIFY(!tab.transferring());
        QVERIFY(tab.widgets().KeepAliveTimer->isActive());
        QCOMPARE(tab.widgets().PageControl1->currentIndex(), 0);
        QVERIFY(!tab.widgets().StopBtn->isEnabled());
        QVERIFY(tab.widgets().rFileListView->isEnabled());
        QVERIFY(tab.findChildren<QWidget*>(u"InfoForm"_s).isEmpty());
    }

    void recursiveUpload()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.makeDir(u"in"_s));
        QTemporaryDir local;
        const QByteArray big = randomBytes(200000);
        QVERIFY(QDir(local.path()).mkpath(u"up/sub/deeper"_s));
        writeBytes(local.filePath(u"up/a.txt"_s), "a\r\nb");
        writeBytes(local.filePath(u"up/sub/b.bin"_s), big);
        writeBytes(local.filePath(u"up/sub/deeper/c.txt"_s), "c");
        writeBytes(local.filePath(u"y.txt"_s), "y");
        OtherPane pane;
        TabEnvironment env;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(u"/in"_s));

        ModalAnswerer answers;
        tab.UploadFromLocalTab({local.path() + u"/"_s, {u"up"_s, u"y.txt"_s}});
        QCOMPARE(answers.unexpected(), 0);

        QCOMPARE(server.readFile(u"in/up/a.txt"_s), QByteArray("a\r\nb"));
        QCOMPARE(server.readFile(u"in/up/sub/b.bin"_s), big);
        QCOMPARE(server.readFile(u"in/up/sub/deeper/c.txt"_s), QByteArray("c"));
        QCOMPARE(server.readFile(u"in/y.txt"_s), QByteArray("y"));
        // Pre-order: every item after the folder that holds it; the local folders' order is the disk's.
        const QStringList expected{u"up"_s,           u"up/a.txt"_s,      u"up/sub"_s,
                                   u"up/sub/b.bin"_s, u"up/sub/deeper"_s, u"up/sub/deeper/c.txt"_s,
                                   u"y.txt"_s};
        QCOMPARE(QSet<QString>(c.visited.begin(), c.visited.end()),
                 QSet<QString>(expected.begin(), expected.end()));
        for (const QString& path : c.visited) {
            const QString parent = path.section(QLatin1Char('/'), 0, -2);
            if (!parent.isEmpty())
                QVERIFY2(c.visited.indexOf(parent) < c.visited.indexOf(path), qPrintable(path));
        }
        QCOMPARE(c.visited.last(), u"y.txt"_s);
        // The folder is listed again after the upload; the finished items stay in the queue until cleared.
        QCOMPARE(shownNames(tab), QStringList({u".."_s, u"up"_s, u"y.txt"_s}));
        QCOMPARE(tab.queue().count(), 7);
        QCOMPARE(tab.queueModel()->index(0, TransferQueueModel::Progress).data().toString(), u"Finished"_s);
        tab.widgets().ClearTransferFinishedinQue1->trigger();
        QCOMPARE(tab.queue().count(), 0);
        QCOMPARE(tab.queueModel()->rowCount(), 0);
    }

    void foldersDifferingInCase()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/Docs/upper.txt"_s, "upper") &&
                server.putFile(u"pub/docs/lower.txt"_s, "lower") &&
                server.putFile(u"pub/docs/deep/x.txt"_s, "x"));
        QTemporaryDir target;
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;

        // "Docs" and "docs" each keep their own contents, downloaded and then deleted.
        selectNames(tab, {u"pub"_s});
        {
            ModalAnswerer modal({pressYes()});
            tab.Transfer1Click();
            QCOMPARE(modal.unexpected(), 0);
        }
        QCOMPARE(fileBytes(target.filePath(u"pub/Docs/upper.txt"_s)), QByteArray("upper"));
        QCOMPARE(fileBytes(target.filePath(u"pub/docs/lower.txt"_s)), QByteArray("lower"));
        QCOMPARE(fileBytes(target.filePath(u"pub/docs/deep/x.txt"_s)), QByteArray("x"));
        QVERIFY(!QFileInfo::exists(target.filePath(u"pub/Docs/lower.txt"_s)));
        QVERIFY(!QFileInfo::exists(target.filePath(u"pub/docs/upper.txt"_s)));

        c.trail.clear();
        selectNames(tab, {u"pub"_s});
        ModalAnswerer modal({pressYes()});
        tab.DeleteBtnClick();
        QCOMPARE(modal.unexpected(), 0);
        QCOMPARE(commandsOf(c.trail, {u"DELE"_s, u"RMD"_s}),
                 QStringList({u"DELE /pub/docs/lower.txt"_s, u"DELE /pub/docs/deep/x.txt"_s,
                              u"RMD /pub/docs/deep"_s, u"RMD /pub/docs"_s, u"DELE /pub/Docs/upper.txt"_s,
                              u"RMD /pub/Docs"_s, u"RMD /pub"_s}));
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/pub"_s));
    }

    void askAnsweredInTheTab_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<int>("leftInQueue");
        QTest::newRow("Yes, then No")
            << QStringList{u"Button1"_s, u"Button2"_s} << QStringList{u"f1.txt"_s, u"f2.txt"_s}
            << QByteArray("new one") << QByteArray("old two") << 1;
        QTest::newRow("Yes To All asks once") << QStringList{u"Button3"_s} << QStringList{u"f1.txt"_s}
                                              << QByteArray("new one") << QByteArray("new two") << 0;
        QTest::newRow("No To All asks once") << QStringList{u"Button4"_s} << QStringList{u"f1.txt"_s}
                                             << QByteArray("old one") << QByteArray("old two") << 2;
        QTest::newRow("Esc ends the run") << QStringList{u"Esc"_s} << QStringList{u"f1.txt"_s}
                                          << QByteArray("old one") << QByteArray("old two") << 2;
        QTest::newRow("Cancel ends the run like Esc") << QStringList{u"Button6"_s} << QStringList{u"f1.txt"_s}
                                                      << QByteArray("old one") << QByteArray("old two") << 2;
    }

    void askAnsweredInTheTab()
    {
        QFETCH(QStringList, answers);
        QFETCH(QStringList, asked);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(int, leftInQueue);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"f1.txt"_s, "new one") && server.putFile(u"f2.txt"_s, "new two"));
        QTemporaryDir target;
        writeBytes(target.filePath(u"f1.txt"_s), "old one");
        writeBytes(target.filePath(u"f2.txt"_s), "old two");
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        env.config.FileExistsAction = FileExists::Ask;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;

        selectNames(tab, {u"f1.txt"_s, u"f2.txt"_s});
        QStringList shown;
        ModalAnswerer modal({pressYes()});
        for (const QString& answer : answers)
            modal.add(answerOverwrite(answer, &shown));
        tab.widgets().Transfer1->trigger();
        QCOMPARE(modal.unexpected(), 0);
        QCOMPARE(shown, asked);
        QCOMPARE(fileBytes(target.filePath(u"f1.txt"_s)), first);
        QCOMPARE(fileBytes(target.filePath(u"f2.txt"_s)), second);
        // Items declined or not reached stay pending in the queue; the finished ones are cleared.
        QCOMPARE(tab.queue().count(), leftInQueue);
        QCOMPARE(tab.widgets().PageControl1->currentIndex(), 0);
        QVERIFY(!tab.IsBusy());
    }

    void stopDuringTheSecondOfThree()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray large(48 * 1024 * 1024, 'L');
        QVERIFY(server.putFile(u"1.bin"_s, "first") && server.putFile(u"2.bin"_s, large) &&
                server.putFile(u"3.bin"_s, "third"));
        QTemporaryDir target;
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;

        // Stop is pressed from the event loop once the second file's data flows.
        bool pressed = false;
        bool keepAliveOff = false;
        whileTransferring(tab, u"2.bin"_s, [&] {
            pressed = true;
            keepAliveOff = tab.transferring() && !tab.widgets().KeepAliveTimer->isActive();
            QVERIFY(tab.widgets().StopBtn->isEnabled());
            QTest::mouseClick(tab.widgets().StopBtn, Qt::LeftButton);
        });
        selectNames(tab, {u"1.bin"_s, u"2.bin"_s, u"3.bin"_s});
        ModalAnswerer modal({pressYes()});
        pressInList(tab, Qt::Key_F9);
        QCOMPARE(modal.unexpected(), 0);
        QVERIFY(pressed);
        QVERIFY(keepAliveOff);

        QCOMPARE(fileBytes(target.filePath(u"1.bin"_s)), QByteArray("first"));
        QVERIFY(QFileInfo(target.filePath(u"2.bin"_s)).size() < large.size());
        QVERIFY(!QFileInfo::exists(target.filePath(u"3.bin"_s)));
        QCOMPARE(c.visited, QStringList({u"/1.bin"_s, u"/2.bin"_s}));
        // The items not finished stay; the third was never started.
        QCOMPARE(tab.queue().count(), 2);
        QCOMPARE(tab.queue().topLevel(1)->item.DisplayName, u"3.bin"_s);
        QCOMPARE(tab.queue().topLevel(1)->item.Percent, 0);
        QCOMPARE(tab.widgets().Progress->value(), 0);
        QCOMPARE(tab.widgets().PageControl1->currentIndex(), 0);
        QVERIFY(!tab.transferring());
        QVERIFY(!tab.IsBusy());
        QVERIFY(!tab.widgets().StopBtn->isEnabled());
        // The connection goes on: the folder lists again.
        c.trail.clear();
        tab.RefreshBtnClick();
        QCOMPARE(c.trail.count(u"LIST"_s), 1);
        QVERIFY(shownNames(tab).contains(u"3.bin"_s));
    }

    // While a file comes in, the status shows the speed and the time left after the totals, all of it in
    // sight; Stop leaves a red line naming the file and the byte it stopped at; the run's last status is
    // its totals alone.
    void statusShowsSpeedAndTimeLeft_data()
    {
        QTest::addColumn<QByteArray>("language"); ///< the RemoteForm lines of a language file; none: English
        QTest::addColumn<QString>("left");        ///< the time-left text around "(.+)"
        QTest::addColumn<QString>("stoppedAt");   ///< the stop line after the file's path
        QTest::newRow("English") << QByteArray() << u"(.+) left"_s << u"Stopped at byte %1 (%2 of %3)"_s;
        QTest::newRow("a language file")
            << QByteArray("TimeLeft=noch %1\r\nStoppedAt=Halt bei %1 (%2/%3)\r\n") << u"noch (.+)"_s
            << u"Halt bei %1 (%2/%3)"_s;
    }

    void statusShowsSpeedAndTimeLeft()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, left);
        QFETCH(QString, stoppedAt);
        FtpServer server({.kind = ServerKind::Proftpd, .downloadKiBPerSecond = 256});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const qint64 size = 4 * 1024 * 1024;
        QVERIFY(server.putFile(u"slow.bin"_s, randomBytes(int(size))));
        QTemporaryDir target;
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        const auto english = qScopeGuard([&env] { env.config.Language.clear(); });
        if (!language.isEmpty()) {
            QVERIFY(QDir(env.folder()).mkpath(u"Languages"_s));
            writeBytes(env.filePath(u"Languages/Test.ini"_s), "[RemoteForm]\r\n" + language);
            env.config.Language = u"Test"_s;
        }
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        QLabel* status = tab.widgets().StatusText;

        // Looked at with every report; once the speed shows, Stop is pressed as a click would come.
        const QRegularExpression withSpeed(u"^Total : (\\d+)/%1   [\\d.,]+(B|KB|MB|GB)/s   "_s.arg(size) +
                                           QString(left).replace(u"(.+)"_s, u"(\\d+:\\d\\d(:\\d\\d)?|--)"_s) +
                                           u"$"_s);
        QString seen;
        bool whole = false;
        auto progress = tab.engine()->OnTransfer;
        tab.engine()->OnTransfer = [&, progress](int direction, qint64 bytes, int percent,
                                                 const QByteArray& text) {
            progress(direction, bytes, percent, text);
            if (!seen.isEmpty() || !withSpeed.match(status->text()).hasMatch())
                return;
            seen = status->text();
            whole = status->width() >= status->sizeHint().width();
            QTimer::singleShot(0, &tab, [&tab] { QTest::mouseClick(tab.widgets().StopBtn, Qt::LeftButton); });
        };
        selectNames(tab, {u"slow.bin"_s});
        ModalAnswerer modal({pressYes()});
        pressInList(tab, Qt::Key_F9);
        QCOMPARE(modal.unexpected(), 0);

        QVERIFY2(!seen.isEmpty(), qPrintable(status->text()));
        QVERIFY2(whole, qPrintable(seen));
        const qint64 kept = QFileInfo(target.filePath(u"slow.bin"_s)).size();
        QVERIFY(kept > 0 && kept < size);
        const QString line = u"/slow.bin: "_s + stoppedAt.arg(kept).arg(FormatSize(kept), u"4MB"_s);
        const QStringList stopped = redLinesWith(tab, u"/slow.bin: "_s);
        QCOMPARE(stopped.size(), 1);
        QVERIFY2(stopped[0].endsWith(line), qPrintable(stopped[0] + u" / "_s + line));
        QVERIFY2(QRegularExpression(u"^Total : \\d+/%1$"_s.arg(size)).match(status->text()).hasMatch(),
                 qPrintable(status->text()));
    }

    // A run after another shows its own totals from its start, also one that moves no data: the delete
    // after a download does not show the download's figures.
    void aRunAfterAnotherShowsItsOwnTotals()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"big.bin"_s, randomBytes(100000)) && server.putFile(u"small.txt"_s, "small"));
        QTemporaryDir target;
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        selectNames(tab, {u"big.bin"_s});
        {
            ModalAnswerer modal({pressYes()});
            pressInList(tab, Qt::Key_F9);
            QCOMPARE(modal.unexpected(), 0);
        }
        QCOMPARE(tab.widgets().StatusText->text(), u"Total : 100000/100000"_s);

        QString during;
        int bar = -1;
        auto trail = tab.engine()->OnPITrail;
        tab.engine()->OnPITrail = [&, trail](int direction, const QString& message) {
            trail(direction, message);
            if (direction == 0 && message.startsWith(u"DELE "_s)) {
                during = tab.widgets().StatusText->text();
                bar = tab.widgets().Progress->value();
            }
        };
        selectNames(tab, {u"small.txt"_s});
        {
            ModalAnswerer modal({pressYes()});
            QTest::mouseClick(tab.widgets().DeleteBtn, Qt::LeftButton);
            QCOMPARE(modal.unexpected(), 0);
            QCOMPARE(modal.seen(), 1);
        }
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/small.txt"_s));
        QCOMPARE(during, u"Total : 0/5"_s);
        QCOMPARE(bar, 0);
    }

    void clearsDuringARun_data()
    {
        QTest::addColumn<bool>("onlyFinished");
        QTest::addColumn<QStringList>("leftByTheClear");
        QTest::addColumn<bool>("thirdDownloaded");
        QTest::newRow("Clear Transfer Que keeps the file under way")
            << false << QStringList{u"2.bin"_s} << false;
        QTest::newRow("Clear Transfer Finished in Que takes the finished one")
            << true << QStringList{u"2.bin"_s, u"3.bin"_s} << true;
    }

    void clearsDuringARun()
    {
        QFETCH(bool, onlyFinished);
        QFETCH(QStringList, leftByTheClear);
        QFETCH(bool, thirdDownloaded);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        const QByteArray large = randomBytes(32 * 1024 * 1024);
        QVERIFY(server.putFile(u"1.bin"_s, "first") && server.putFile(u"2.bin"_s, large) &&
                server.putFile(u"3.bin"_s, "third"));
        QTemporaryDir target;
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;

        // The queue's menu stays usable while the run goes on.
        QStringList left;
        whileTransferring(tab, u"2.bin"_s, [&] {
            QVERIFY(tab.widgets().ClearQue1->isEnabled());
            (onlyFinished ? tab.widgets().ClearTransferFinishedinQue1 : tab.widgets().ClearQue1)->trigger();
            for (int row = 0; row < tab.queue().topLevelCount(); ++row)
                left << tab.queue().topLevel(row)->item.DisplayName;
        });
        selectNames(tab, {u"1.bin"_s, u"2.bin"_s, u"3.bin"_s});
        ModalAnswerer modal({pressYes()});
        tab.Transfer1Click();
        QCOMPARE(modal.unexpected(), 0);

        QCOMPARE(left, leftByTheClear);
        QCOMPARE(fileBytes(target.filePath(u"2.bin"_s)), large);
        QCOMPARE(QFileInfo::exists(target.filePath(u"3.bin"_s)), thirdDownloaded);
        QCOMPARE(c.visited.size(), thirdDownloaded ? 3 : 2);
        QCOMPARE(tab.queue().count(), 0);
        QCOMPARE(tab.queueModel()->rowCount(), 0);
    }

    void recursiveDelete_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("selection");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<bool>("refusedFile");
        QTest::addColumn<bool>("errorBox");
        QTest::newRow("a folder with sub-folders goes deepest first")
            << u"/"_s << QStringList{u"tree"_s, u"a.txt"_s}
            << QStringList{u"DELE /a.txt"_s,
                           u"DELE /tree/x.txt"_s,
                           u"DELE /tree/sub/y.txt"_s,
                           u"DELE /tree/sub/deep/w.txt"_s,
                           u"RMD /tree/sub/deep"_s,
                           u"RMD /tree/sub"_s,
                           u"RMD /tree"_s}
            << QStringList{u"z.txt"_s, u"shared/locked.txt"_s} << QStringList{u"tree"_s, u"a.txt"_s} << false
            << false;
        QTest::newRow("a refused file is logged in red, the others go")
            << u"/shared"_s << QStringList{u"a.txt"_s, u"locked.txt"_s, u"z.txt"_s}
            << QStringList{u"DELE /shared/z.txt"_s, u"DELE /shared/locked.txt"_s, u"DELE /shared/a.txt"_s}
            << QStringList{u"shared/locked.txt"_s} << QStringList{u"shared/a.txt"_s, u"shared/z.txt"_s}
            << true << false;
        QTest::newRow("a folder refused by RMD ends the run")
            << u"/"_s << QStringList{u"aaa"_s, u"shared"_s}
            << QStringList{u"DELE /shared/z.txt"_s, u"DELE /shared/locked.txt"_s, u"DELE /shared/a.txt"_s,
                           u"RMD /shared"_s}
            << QStringList{u"aaa/keep.txt"_s, u"shared/locked.txt"_s}
            << QStringList{u"shared/z.txt"_s, u"shared/a.txt"_s} << true << true;
    }

    void recursiveDelete()
    {
        QFETCH(QString, folder);
        QFETCH(QStringList, selection);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, gone);
        QFETCH(bool, refusedFile);
        QFETCH(bool, errorBox);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "a") && server.putFile(u"z.txt"_s, "z") &&
                server.putFile(u"tree/x.txt"_s, "x") && server.putFile(u"tree/sub/y.txt"_s, "y") &&
                server.putFile(u"tree/sub/deep/w.txt"_s, "w") && server.putFile(u"aaa/keep.txt"_s, "k"));
        // A shared folder like /tmp: everyone may add files, only a file's owner may delete it. The server's
        // user owns a.txt and z.txt there, not locked.txt.
        const QString shared = server.rootDir() + u"/shared"_s;
        QVERIFY(QDir().mkpath(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        QVERIFY(server.putFile(u"shared/a.txt"_s, "a") && server.putFile(u"shared/z.txt"_s, "z"));
        writeBytes(shared + u"/locked.txt"_s, "locked");
        // Putting the files gave the folder to the server's user; it goes back to root.
        QCOMPARE(::chown(QFile::encodeName(shared).constData(), 0, 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        TabEnvironment env;
        OtherPane pane;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(folder));
        c.trail.clear();

        selectNames(tab, selection);
        QVERIFY(tab.widgets().DeleteBtn->isEnabled());
        QString question;
        BoxSeen box;
        ModalAnswerer modal({pressYes(&question)});
        if (errorBox)
            modal.add(pressOk(&box));
        pressInList(tab, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(modal.unexpected(), 0);
        QCOMPARE(question, u"Do you want to delete selected file(s)?"_s);

        QCOMPARE(commandsOf(c.trail, {u"DELE"_s, u"RMD"_s}), commands);
        for (const QString& path : kept)
            QVERIFY2(QFileInfo::exists(server.rootDir() + u"/"_s + path), qPrintable(path));
        for (const QString& path : gone)
            QVERIFY2(!QFileInfo::exists(server.rootDir() + u"/"_s + path), qPrintable(path));
        QCOMPARE(redLinesWith(tab, u"550"_s).size(), int(refusedFile));
        if (errorBox) {
            QCOMPARE(box.icon, QMessageBox::Critical);
            QVERIFY2(box.text.contains(u"550"_s), qPrintable(box.text));
            // The folder that stayed keeps its node; nothing after the refusal was tried.
            QVERIFY(tab.rootNode()->exactChild(u"shared"_s));
        } else {
            // The list was refreshed and the removed folders left the tree.
            for (const QString& path : gone)
                QVERIFY2(!shownNames(tab).contains(path.section(QLatin1Char('/'), -1)), qPrintable(path));
            if (selection.contains(u"tree"_s))
                QVERIFY(!tab.rootNode()->exactChild(u"tree"_s));
        }
        // A refused file stays unfinished in the queue.
        QCOMPARE(tab.queue().count() > 0, refusedFile);
        QVERIFY(!tab.IsBusy());
    }

    void deleteKey()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"a.txt"_s, "a") && server.putFile(u"b.txt"_s, "b"));
        TabEnvironment env;
        OtherPane pane;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        const QString question = u"Do you want to delete selected file(s)?"_s;

        // Nothing selected: no question.
        {
            ModalAnswerer none;
            pressInList(tab, Qt::Key_Delete);
            QCOMPARE(none.seen(), 0);
        }
        // Delete asks as the Delete button does; No keeps the file, Yes deletes it.
        selectNames(tab, {u"a.txt"_s});
        {
            ModalAnswerer no({[](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
            }});
            pressInList(tab, Qt::Key_Delete);
            QCOMPARE(no.seen(), 1);
            QCOMPARE(no.unexpected(), 0);
        }
        QVERIFY(QFileInfo::exists(server.rootDir() + u"/a.txt"_s));
        QCOMPARE(c.trail.count(u"DELE"_s), 0);
        QString asked;
        {
            ModalAnswerer yes({pressYes(&asked)});
            pressInList(tab, Qt::Key_Delete);
            QCOMPARE(yes.unexpected(), 0);
        }
        QCOMPARE(asked, question);
        QVERIFY(!QFileInfo::exists(server.rootDir() + u"/a.txt"_s));
        QCOMPARE(shownNames(tab), QStringList{u"b.txt"_s});

        // While a name is edited in place, Delete belongs to the edit box.
        selectNames(tab, {u"b.txt"_s});
        QSignalSpy commits(&tab, &TRemoteFrame::editCommitted);
        // F2 is a shortcut: it acts once the tab's window is active again after the question.
        tab.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&tab));
        pressInList(tab, Qt::Key_F2);
        QLineEdit* editor = nameEditor(tab);
        QVERIFY(editor);
        {
            ModalAnswerer none;
            QTest::keyClick(editor, Qt::Key_Home);
            QTest::keyClick(editor, Qt::Key_Delete);
            QCOMPARE(editor->text(), u".txt"_s);
            QTest::keyClick(editor, Qt::Key_Escape);
            QVERIFY(settles(tab, commits, 1));
            QCOMPARE(none.seen(), 0);
        }
        QVERIFY(QFileInfo::exists(server.rootDir() + u"/b.txt"_s));
        QCOMPARE(c.trail.count(u"DELE"_s), 1);
    }

    void walkBoundFailsThePlanning_data()
    {
        QTest::addColumn<bool>("download");
        QTest::newRow("download") << true;
        QTest::newRow("delete") << false;
    }

    void walkBoundFailsThePlanning()
    {
        // Every folder of this server lists the same two folders, as folders linked in a cycle do. The walk
        // stops at the bound; nothing is downloaded or deleted, the log and the queue page say why.
        using namespace skyhaul::test::script;
        QFETCH(bool, download);
        const QByteArray twoFolders =
            "drwxr-xr-x 2 u g 0 Jan 01 2020 a\r\ndrwxr-xr-x 2 u g 0 Jan 01 2020 b\r\n";
        auto listing = [&](const QByteArray& path) {
            return Script{expect("CWD " + path), reply("250 Ok"),   expect("PASV"), pasv(),
                          expect("LIST"),        reply("150 Here"), acceptData(),   sendData(twoFolders),
                          closeData(),           reply("226 Done")};
        };
        ScriptedServer server(logOnAndListRoot("drwxr-xr-x 2 u g 0 Jan 01 2020 loop\r\n") + listing("/loop") +
                              listing("/loop/a") + listing("/loop/a/a") +
                              Script{expect("CWD /"), reply("250 Ok"), expect("PWD"), reply("257 \"/\"")});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        extraSettings().MaxWalkFolders = 3;
        QTemporaryDir down;
        OtherPane pane;
        pane.path = down.path() + u"/"_s;
        TRemoteFrame tab(env.context(&pane));
        tab.resize(900, 650);
        tab.show();
        fillFields(tab, server.host(), server.port(), u"u"_s, u"p"_s);
        tab.ConnectBtnClick();
        QCOMPARE(shownNames(tab), QStringList{u"loop"_s});
        selectNames(tab, {u"loop"_s});
        ModalAnswerer modal({pressYes()});
        pressInList(tab, download ? Qt::Key_F9 : Qt::Key_Delete,
                    download ? Qt::NoModifier : Qt::ShiftModifier);
        QCOMPARE(modal.seen(), 1);
        QCOMPARE(modal.unexpected(), 0);
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.failures(), QStringList());

        const QString why =
            u"Nothing was transferred or deleted: the selection holds more than 3 folders. The "
            "limit is set in Config, File Transfer."_s;
        QCOMPARE(redLinesWith(tab, why).size(), 1);
        QCOMPARE(tab.widgets().StatusText->text(), why);
        QCOMPARE(tab.widgets().PageControl1->currentWidget(), tab.widgets().QuePage);
        // The queue keeps what was planned, the folder where the walk stopped marked failed.
        QVERIFY(tab.queue().count() > 0);
        bool failedFolder = false;
        for (QueNode* node = tab.queue().first(); node; node = tab.queue().next(node))
            failedFolder |= node->item.IsFolder && node->item.Percent == -1;
        QVERIFY(failedFolder);
        QVERIFY(QDir(down.path()).isEmpty());
        QVERIFY(!tab.IsBusy());
        QCOMPARE(tab.currentPath(), u"/"_s);
    }

    void deleteSymbolicLinks()
    {
        // A recursive delete removes links themselves, never what they point to; a link to a folder that
        // was opened as a folder loses its node with it.
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"targets/t.txt"_s, "t") && server.putFile(u"targets/tdir/inner.txt"_s, "i") &&
                server.putFile(u"tree/own.txt"_s, "o") && server.makeDir(u"tree/sub"_s));
        const QString root = server.rootDir();
        QVERIFY(QFile::link(u"../targets/t.txt"_s, root + u"/tree/flink"_s));
        QVERIFY(QFile::link(u"../targets/tdir"_s, root + u"/tree/dlink"_s));
        QVERIFY(QFile::link(u"../../targets/tdir"_s, root + u"/tree/sub/deeplink"_s));
        TabEnvironment env;
        OtherPane pane;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(u"/tree"_s));
        QCOMPARE(shownNames(tab), QStringList({u".."_s, u"sub"_s, u"dlink"_s, u"flink"_s, u"own.txt"_s}));

        // Opened as a folder, the link gets a node; deleting the link takes the node away.
        tab.widgets().rFileListView->selectionModel()->clear();
        selectNames(tab, {u"dlink"_s});
        tab.rFileListViewDblClick();
        QCOMPARE(tab.currentPath(), u"/tree/dlink"_s);
        FolderNode* tree = tab.rootNode()->exactChild(u"tree"_s);
        QVERIFY(tree && tree->exactChild(u"dlink"_s));
        QVERIFY(tab.GoToPath(u"/tree"_s));
        c.trail.clear();
        selectNames(tab, {u"dlink"_s});
        {
            ModalAnswerer first({pressYes()});
            pressInList(tab, Qt::Key_Delete, Qt::ShiftModifier);
            QCOMPARE(first.unexpected(), 0);
        }
        QCOMPARE(commandsOf(c.trail, {u"DELE"_s, u"RMD"_s}), QStringList{u"DELE /tree/dlink"_s});
        QVERIFY(!tree->exactChild(u"dlink"_s));
        QVERIFY(!QFileInfo(root + u"/tree/dlink"_s).isSymLink());

        // The whole tree: links inside it are files to delete, and the folders holding them go too.
        selectNames(tab, {u".."_s});
        tab.rFileListViewDblClick();
        QCOMPARE(tab.currentPath(), u"/"_s);
        c.trail.clear();
        selectNames(tab, {u"tree"_s});
        QVERIFY(tab.widgets().DeleteBtn->isEnabled());
        ModalAnswerer second({pressYes()});
        QTest::mouseClick(tab.widgets().DeleteBtn, Qt::LeftButton);
        QCOMPARE(second.seen(), 1);
        QCOMPARE(second.unexpected(), 0);
        QStringList sent = commandsOf(c.trail, {u"DELE"_s, u"RMD"_s});
        QCOMPARE(sent.last(), u"RMD /tree"_s);
        sent.sort();
        QCOMPARE(sent, QStringList({u"DELE /tree/flink"_s, u"DELE /tree/own.txt"_s,
                                    u"DELE /tree/sub/deeplink"_s, u"RMD /tree"_s, u"RMD /tree/sub"_s}));
        QVERIFY(redLinesWith(tab, u"550"_s).isEmpty());
        QVERIFY(!QFileInfo::exists(root + u"/tree"_s));
        QCOMPARE(server.readFile(u"targets/t.txt"_s), QByteArray("t"));
        QCOMPARE(server.readFile(u"targets/tdir/inner.txt"_s), QByteArray("i"));
        QVERIFY(!tab.rootNode()->exactChild(u"tree"_s));
        QCOMPARE(tab.queue().count(), 0);
    }

    void newFolderTwice()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"file.txt"_s, "f"));
        TabEnvironment env;
        OtherPane pane;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        QSignalSpy commits(&tab, &TRemoteFrame::editCommitted);
        ModalAnswerer modal;

        pressInList(tab, Qt::Key_N, Qt::AltModifier);
        QLineEdit* first = nameEditor(tab);
        QVERIFY(first);
        QCOMPARE(first->text(), u"New Folder"_s);
        QCOMPARE(first->selectedText(), u"New Folder"_s);
        QTest::keyClicks(first, u"one"_s);
        // The second New Folder takes the focus: the first name is committed as typed.
        QTest::mouseClick(tab.widgets().NewFolderBtn, Qt::LeftButton);
        QCOMPARE(shownNames(tab), QStringList({u"file.txt"_s, u"New Folder"_s, u"New Folder"_s}));
        QTRY_COMPARE(commits.count(), 1);
        QLineEdit* second = nameEditor(tab);
        QVERIFY(second);
        QTest::keyClicks(second, u"two"_s);
        QTest::keyClick(second, Qt::Key_Return);
        QVERIFY(settles(tab, commits, 2));

        QCOMPARE(modal.unexpected(), 0);
        QCOMPARE(commandsOf(c.trail, {u"MKD"_s}), QStringList({u"MKD one"_s, u"MKD two"_s}));
        QVERIFY(QFileInfo(server.rootDir() + u"/one"_s).isDir());
        QVERIFY(QFileInfo(server.rootDir() + u"/two"_s).isDir());
        QCOMPARE(shownNames(tab), QStringList({u"one"_s, u"two"_s, u"file.txt"_s}));
        QVERIFY(tab.rootNode()->exactChild(u"one"_s) && tab.rootNode()->exactChild(u"two"_s));
        QTreeWidgetItem* root = tab.treeItem(tab.rootNode());
        QCOMPARE(root->childCount(), 2);
        QCOMPARE(root->child(0)->text(0), u"one"_s);
    }

    void editEndings_data()
    {
        QTest::addColumn<bool>("newFolder");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("Esc while naming a new folder still creates it")
            << true << u"fresh"_s << true << QStringList{u"MKD fresh"_s}
            << QStringList{u"fresh"_s, u"data.txt"_s};
        QTest::newRow("Esc on the untouched name creates New Folder")
            << true << QString() << true << QStringList{u"MKD New Folder"_s}
            << QStringList{u"New Folder"_s, u"data.txt"_s};
        QTest::newRow("Esc while renaming cancels")
            << false << u"other.txt"_s << true << QStringList{} << QStringList{u"data.txt"_s};
        QTest::newRow("the same name with blanks sends nothing")
            << false << u"  data.txt  "_s << false << QStringList{} << QStringList{u"data.txt"_s};
        QTest::newRow("rename") << false << u"renamed.txt"_s << false
                                << QStringList{u"RNFR data.txt"_s, u"RNTO renamed.txt"_s}
                                << QStringList{u"renamed.txt"_s};
    }

    void editEndings()
    {
        QFETCH(bool, newFolder);
        QFETCH(QString, typed);
        QFETCH(bool, escape);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, shown);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"data.txt"_s, "d"));
        TabEnvironment env;
        OtherPane pane;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        QSignalSpy commits(&tab, &TRemoteFrame::editCommitted);
        ModalAnswerer modal;
        c.trail.clear();

        if (newFolder) {
            tab.widgets().NewFolder1->trigger();
        } else {
            selectNames(tab, {u"data.txt"_s});
            QVERIFY(tab.widgets().Rename1->isEnabled());
            pressInList(tab, Qt::Key_F2);
        }
        QLineEdit* editor = nameEditor(tab);
        QVERIFY(editor);
        if (!typed.isEmpty()) {
            editor->selectAll();
            QTest::keyClicks(editor, typed);
        }
        QTest::keyClick(editor, escape ? Qt::Key_Escape : Qt::Key_Return);
        QVERIFY(settles(tab, commits, 1));

        QCOMPARE(modal.unexpected(), 0);
        QCOMPARE(commandsOf(c.trail, {u"MKD"_s, u"RNFR"_s, u"RNTO"_s}), sent);
        if (sent.isEmpty())
            QCOMPARE(c.trail.count(u"LIST"_s), 0); // nothing sent, nothing refreshed
        QCOMPARE(shownNames(tab), shown);
    }

    void selectionActions()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"data.txt"_s, "d") && server.makeDir(u"dir"_s));
        TabEnvironment env;
        OtherPane pane;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        const RemoteFrameWidgets& w = tab.widgets();
        auto enabled = [&] {
            return QList<bool>{w.TransferBtn->isEnabled(), w.DeleteBtn->isEnabled(), w.Transfer1->isEnabled(),
                               w.Rename1->isEnabled(), w.Delete1->isEnabled()};
        };
        QCOMPARE(enabled(), QList<bool>(5, false));
        // A click on a row selects it: the actions follow.
        const QRect row = w.rFileListView->visualRect(w.FileListModel->index(0, 0));
        QTest::mouseClick(w.rFileListView->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(shownNames(tab).first(), u"dir"_s);
        QCOMPARE(enabled(), QList<bool>(5, true));
        // Edit and View follow the first selected row: off for a folder, on for a file.
        auto editView = [&] {
            return QList<bool>{w.EditBtn->isEnabled(), w.ViewBtn->isEnabled(), w.Edit1->isEnabled(),
                               w.View1->isEnabled()};
        };
        QCOMPARE(editView(), QList<bool>(4, false));
        selectNames(tab, {u"data.txt"_s});
        QCOMPARE(editView(), QList<bool>(4, true));
        QCOMPARE(enabled(), QList<bool>(5, true));
        selectNames(tab, {u"dir"_s, u"data.txt"_s});
        QCOMPARE(editView(), QList<bool>(4, false));
        // An action leaves the selection standing, and the actions with it.
        selectNames(tab, {u"data.txt"_s});
        tab.RefreshBtnClick();
        QVERIFY(w.rFileListView->selectionModel()->selectedRows().isEmpty());
        QCOMPARE(editView(), QList<bool>(4, false));
        selectNames(tab, {u"data.txt"_s});
        env.config.EditorChoice = Editor::EditorPath;
        env.config.EditorPath = u"/bin/true"_s;
        {
            ModalAnswerer none;
            tab.ViewBtnClick();
            QCOMPARE(none.seen(), 0);
        }
        QVERIFY(!tab.IsBusy());
        QCOMPARE(editView(), QList<bool>(4, true));
        QCOMPARE(enabled(), QList<bool>(5, true));
        w.rFileListView->selectionModel()->clearSelection();
        QCOMPARE(enabled(), QList<bool>(5, false));
        QCOMPARE(editView(), QList<bool>(4, false));
    }

    void transferTargets_data()
    {
        QTest::addColumn<bool>("localFolder");
        QTest::addColumn<bool>("remoteTab");
        QTest::addColumn<QString>("message");
        QTest::newRow("no local tab opposite")
            << false << false << u"Please select local path for transfering files..."_s;
        QTest::newRow("a remote tab opposite")
            << false << true << u"The remote tab in the other pane is not connected."_s;
        QTest::newRow("a local folder opposite") << true << false << QString();
    }

    void transferTargets()
    {
        QFETCH(bool, localFolder);
        QFETCH(bool, remoteTab);
        QFETCH(QString, message);
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"pub/a.txt"_s, "a"));
        QTemporaryDir target;
        TabEnvironment env;
        TRemoteFrame other(env.context());
        OtherPane pane;
        if (localFolder)
            pane.path = target.path() + u"/"_s;
        if (remoteTab)
            pane.session = other.session();
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        QVERIFY(tab.GoToPath(u"/pub"_s));
        selectNames(tab, {u"a.txt"_s});

        BoxSeen box;
        QString question;
        // A message ends it, or the question is answered No: nothing is queued or sent.
        {
            ModalAnswerer modal({message.isEmpty() ? ModalAnswerer::Action([&](QWidget* m) {
                auto* q = qobject_cast<QMessageBox*>(m);
                QVERIFY(q);
                question = q->text();
                QTest::mouseClick(q->button(QMessageBox::No), Qt::LeftButton);
            })
                                                   : pressOk(&box)});
            c.trail.clear();
            tab.Transfer1Click();
            QCOMPARE(modal.unexpected(), 0);
        }
        QCOMPARE(box.text, message);
        QCOMPARE(question.isEmpty(), !message.isEmpty());
        QCOMPARE(tab.queue().count(), 0);
        QVERIFY(c.trail.commands.isEmpty());
        QVERIFY(!QFileInfo::exists(target.filePath(u"a.txt"_s)));

        if (localFolder) {
            // Yes: the item's paths come from the base folder and the opposite folder.
            QStringList items;
            QObject::connect(tab.transferRun(), &TransferRun::currentItemChanged, &tab, [&](QueNode* node) {
                if (node)
                    items << node->item.SourcePath + u" -> "_s + node->item.TargetPath;
            });
            ModalAnswerer yes({pressYes()});
            tab.Transfer1Click();
            QCOMPARE(yes.unexpected(), 0);
            QCOMPARE(items, QStringList({u"/pub/a.txt -> "_s + target.path() + u"/"_s}));
            QCOMPARE(fileBytes(target.filePath(u"a.txt"_s)), QByteArray("a"));
        }
    }

    void busyTabRefusesPlanning()
    {
        FtpServer server({.kind = ServerKind::Vsftpd});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(server.putFile(u"f.txt"_s, "remote"));
        QTemporaryDir target;
        writeBytes(target.filePath(u"f.txt"_s), "local");
        writeBytes(target.filePath(u"u.txt"_s), "u");
        OtherPane pane;
        pane.path = target.path() + u"/"_s;
        TabEnvironment env;
        env.config.FileExistsAction = FileExists::Ask;
        TransferTab c(server, env, &pane);
        TRemoteFrame& tab = c.tab;
        selectNames(tab, {u"f.txt"_s});

        // While the download waits for the overwrite prompt, an upload from the other pane is refused.
        BoxSeen refused;
        bool busyMeanwhile = false;
        auto declineFile = [](QWidget* m) {
            QTest::mouseClick(m->findChild<QPushButton*>(u"Button2"_s), Qt::LeftButton);
        };
        ModalAnswerer modal({pressYes(),
                             [&](QWidget*) {
                                 busyMeanwhile = tab.IsBusy();
                                 // From the prompt's own loop, as the other pane's button would.
                                 QTimer::singleShot(0, &tab, [&] {
                                     tab.UploadFromLocalTab({target.path() + u"/"_s, {u"u.txt"_s}});
                                 });
                             },
                             pressOk(&refused), declineFile});
        tab.Transfer1Click();
        QCOMPARE(modal.unexpected(), 0);
        QVERIFY(busyMeanwhile);
        QCOMPARE(refused.text, u"This tab is busy. Wait until its operation has ended, or stop it."_s);
        QCOMPARE(c.trail.count(u"STOR"_s), 0);
        QVERIFY(server.readFile(u"u.txt"_s).isEmpty());
        // The download's queue was left alone: the declined file is still pending.
        QCOMPARE(tab.queue().count(), 1);
        QCOMPARE(fileBytes(target.filePath(u"f.txt"_s)), QByteArray("local"));
    }
};

QTEST_MAIN(TestRemoteTransfers)
#include "tst_remotetransfers.moc"
