// Naming a row of the file list in place, driven with a list view and the file list's model alone: when the
// typed name is applied, and when the row it was typed on is gone.
#include "remote/filelistmodel.h"
#include "remote/inplacerename.h"
#include "transfer/direntry.h"
#include "transfer/foldertree.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

using namespace skyhaul;
using namespace Qt::Literals::StringLiterals;

namespace {

/// The tab's side of an edit: a folder with a listing, a listing epoch and a busy flag the test moves, and
/// a record of what the edit asked the tab to do.
struct TabStandIn {
    FolderTree tree;
    FolderNode* folder = nullptr;
    quint64 epoch = 0;
    bool busy = false;
    int actions = 0; ///< actions of the tab held now
    std::function<void()> idleStep;
    QStringList done; ///< "mkdir NAME", "rename OLD NAME", "refresh"; "outside" when no action was held

    TabStandIn()
    {
        folder = tree.setRoot(u"user@host"_s);
        TtrFileList& listing = folder->startListing();
        for (const QString& name : {u"a.txt"_s, u"b.txt"_s}) {
            auto entry = std::make_unique<TrFileObj>();
            entry->FileName = name;
            listing.Add(std::move(entry));
        }
    }

    void addPlaceholder()
    {
        auto entry = std::make_unique<TrFileObj>();
        entry->FileName = InPlaceRename::NewFolderName;
        entry->IsDir = true;
        folder->listing()->Add(std::move(entry));
    }

    /// The server steps and the new listing belong to one action: a stop given in one holds for the next.
    QString inside() const { return actions == 1 ? QString() : u" outside"_s; }

    InPlaceRename::Tab hooks()
    {
        InPlaceRename::Tab tab;
        tab.busy = [this] { return busy; };
        tab.listingEpoch = [this] { return epoch; };
        tab.currentFolder = [this] { return folder; };
        tab.holdAction = [this] {
            ++actions;
            return std::shared_ptr<void>(nullptr, [this](void*) { --actions; });
        };
        tab.makeFolder = [this](FolderNode*, TrFileObj&, const QString& name) {
            done << u"mkdir "_s + name + inside();
            return true;
        };
        tab.rename = [this](FolderNode*, TrFileObj& entry, const QString& name) {
            done << u"rename "_s + entry.FileName + u' ' + name + inside();
            return true;
        };
        tab.refresh = [this](FolderNode*) { done << u"refresh"_s + inside(); };
        tab.whenIdle = [this](std::function<void()> step) { idleStep = std::move(step); };
        tab.handle = [](const std::function<void()>& handler) { handler(); };
        return tab;
    }
};

struct ListUnderTest {
    TabStandIn tab;
    QTreeView view;
    RemoteFileListModel model{[this] { return tab.folder->listing(); }, [] { return false; }};
    InPlaceRename rename{&view, tab.hooks()};
    QSignalSpy committed{&rename, &InPlaceRename::committed};

    ListUnderTest()
    {
        view.setModel(&model);
        model.setItemCount(tab.folder->listing()->Count());
        view.show();
    }

    void addPlaceholder()
    {
        tab.addPlaceholder();
        model.setItemCount(tab.folder->listing()->Count());
    }

    QLineEdit* editor() const
    {
        for (QLineEdit* edit : view.viewport()->findChildren<QLineEdit*>()) {
            if (edit->isVisible())
                return edit;
        }
        return nullptr;
    }
};

} // namespace

class TestInPlaceRename : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void editEndings_data()
    {
        QTest::addColumn<bool>("newFolder");
        QTest::addColumn<bool>("listingRebuiltWhileTyping");
        QTest::addColumn<bool>("busyAtTheEnd");
        QTest::addColumn<bool>("listingRebuiltBeforeIdle");
        QTest::addColumn<QStringList>("done");
        QTest::newRow("rename") << false << false << false << false
                                << QStringList{u"rename a.txt c.txt"_s, u"refresh"_s};
        QTest::newRow("new folder") << true << false << false << false
                                    << QStringList{u"mkdir c.txt"_s, u"refresh"_s};
        // The row now stands for another entry, or for none: nothing may be renamed or created.
        QTest::newRow("rename, listing rebuilt while typing")
            << false << true << false << false << QStringList{};
        QTest::newRow("new folder, listing rebuilt while typing")
            << true << true << false << false << QStringList{};
        // Applied once the tab is idle, not from inside the action that ran when the box went.
        QTest::newRow("rename, the tab busy at the end")
            << false << false << true << false << QStringList{u"rename a.txt c.txt"_s, u"refresh"_s};
        QTest::newRow("rename, listing rebuilt before the tab was idle")
            << false << false << true << true << QStringList{};
    }

    void editEndings()
    {
        QFETCH(bool, newFolder);
        QFETCH(bool, listingRebuiltWhileTyping);
        QFETCH(bool, busyAtTheEnd);
        QFETCH(bool, listingRebuiltBeforeIdle);
        QFETCH(QStringList, done);

        ListUnderTest list;
        int row = 0;
        if (newFolder) {
            list.addPlaceholder();
            row = list.tab.folder->listing()->Count() - 1;
        }
        list.rename.start(row);
        QLineEdit* editor = list.editor();
        QVERIFY(editor);
        QVERIFY(list.rename.editing());
        editor->selectAll();
        QTest::keyClicks(editor, u"c.txt"_s);
        if (listingRebuiltWhileTyping)
            ++list.tab.epoch;
        list.tab.busy = busyAtTheEnd;
        QTest::keyClick(editor, Qt::Key_Return);
        if (busyAtTheEnd) {
            QVERIFY(QTest::qWaitFor([&] { return bool(list.tab.idleStep); }, 5000));
            QVERIFY(list.tab.done.isEmpty());
            QCOMPARE(list.committed.count(), 0);
            if (listingRebuiltBeforeIdle)
                ++list.tab.epoch;
            list.tab.busy = false;
            std::exchange(list.tab.idleStep, nullptr)();
        }
        QTRY_COMPARE_WITH_TIMEOUT(list.committed.count(), 1, 5000);
        QCOMPARE(list.tab.done, done);
        QVERIFY(!list.rename.editing());
        QCOMPARE(list.tab.actions, 0);
    }

    void newFolderNamedWhileAnotherIsRefreshesOnce()
    {
        // A refresh would take the other New Folder row with the name being typed in it: only the last one
        // named lists the folder again.
        ListUnderTest list;
        list.addPlaceholder();
        list.addPlaceholder();
        const int first = list.tab.folder->listing()->Count() - 2;
        list.rename.start(first);
        QLineEdit* editor = list.editor();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, u"one"_s);
        list.rename.start(first + 1); // the first box goes with its text
        QTRY_COMPARE_WITH_TIMEOUT(list.committed.count(), 1, 5000);
        QCOMPARE(list.tab.done, QStringList{u"mkdir one"_s});
        QLineEdit* second = list.editor();
        QVERIFY(second);
        second->selectAll();
        QTest::keyClicks(second, u"two"_s);
        QTest::keyClick(second, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(list.committed.count(), 2, 5000);
        QCOMPARE(list.tab.done, (QStringList{u"mkdir one"_s, u"mkdir two"_s, u"refresh"_s}));
    }
};

QTEST_MAIN(TestInPlaceRename)
#include "tst_inplacerename.moc"
