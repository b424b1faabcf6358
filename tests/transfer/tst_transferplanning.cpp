// The planning walks: remote folders through a stand-in lister (the folder tree's part), local folders on
// disk; hostile names, failed and cut listings, Stop, the depth limit, unreadable folders and symbolic links.
#include "store/extrasettings.h"
#include "tests/support/testfiles.h"
#include "transfer/direntry.h"
#include "transfer/remotelister.h"
#include "transfer/transferpaths.h"
#include "transfer/transferplanner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace skyhaul;
using namespace Qt::StringLiterals;

namespace {

QStringList names(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

/// One listed folder of the stand-in server; its address is the node handle the walk hands back.
struct FakeFolder {
    TtrFileList entries;
    bool complete = true;
    QString error;
};

/**
 * Remote folders by path, each a listing of entries written "name/" (folder) or "name:size" (file). An
 * entry's Node is its folder's FakeFolder, so a walk that goes through the node it found reaches exactly
 * that folder; a path lookup here ignores case, as a careless tree would, so going by path shows at once.
 */
class FakeLister : public RemoteLister {
public:
    QStringList calls;

    FakeFolder& folder(const QString& path, const QStringList& entries)
    {
        FakeFolder& f = m_folders[path];
        for (const QString& spec : entries) {
            auto entry = std::make_unique<TrFileObj>();
            const bool isDir = spec.endsWith(QLatin1Char('/'));
            const qsizetype colon = spec.lastIndexOf(QLatin1Char(':'));
            entry->FileName = isDir ? spec.chopped(1) : colon > 0 ? spec.left(colon) : spec;
            entry->IsDir = isDir;
            entry->FileSize = isDir || colon <= 0 ? 0 : spec.mid(colon + 1).toLongLong();
            entry->FullPath = path + QLatin1Char('/') + entry->FileName;
            f.entries.Add(std::move(entry));
        }
        return f;
    }

    /// Gives every folder entry the node of the folder listed under its path (exact case).
    void linkNodes()
    {
        for (auto& [path, f] : m_folders) {
            for (int i = 0; i < f.entries.Count(); ++i) {
                TrFileObj* entry = f.entries.Entry(i);
                auto it = m_folders.find(path + QLatin1Char('/') + entry->FileName);
                // The walk treats nodes as opaque handles; the stand-in's are its folders.
                if (entry->IsDir && it != m_folders.end())
                    entry->Node = reinterpret_cast<FolderNode*>(&it->second);
            }
        }
    }

    RemoteFolderListing listFolder(FolderNodeHandle node, const QString& path) override
    {
        calls << path;
        const FakeFolder* f = static_cast<const FakeFolder*>(node);
        if (!f) {
            for (const auto& [p, folder] : m_folders) {
                if (p.compare(path, Qt::CaseInsensitive) == 0)
                    f = &folder;
            }
        }
        if (!f)
            return {nullptr, false, u"550 No such folder"_s};
        return {&f->entries, f->complete, f->error};
    }

private:
    std::map<QString, FakeFolder> m_folders;
};

/// A server whose every folder lists the same two folders and a file, as two folders listing each other
/// do: an endless tree.
class CycleLister : public RemoteLister {
public:
    int calls = 0;
    TtrFileList entries;

    CycleLister()
    {
        for (const char* name : {"a", "b", "f"}) {
            auto entry = std::make_unique<TrFileObj>();
            entry->FileName = QString::fromLatin1(name);
            entry->IsDir = entry->FileName != u"f"_s;
            entry->FileSize = entry->IsDir ? 0 : 1;
            entries.Add(std::move(entry));
        }
    }

    RemoteFolderListing listFolder(FolderNodeHandle, const QString&) override
    {
        ++calls;
        return {&entries, true, {}};
    }
};

TrFileObj selected(const QString& name, bool isDir, qint64 size = 0)
{
    TrFileObj entry;
    entry.FileName = name;
    entry.IsDir = isDir;
    entry.FileSize = size;
    return entry;
}

/// "path [size] Percent" per item, pre-order, with the depth as leading blanks.
QStringList outline(const TransferQueue& queue)
{
    QStringList lines;
    for (QueNode* node = queue.first(); node; node = queue.next(node)) {
        int depth = 0;
        for (QueNode* p = node->parent(); p; p = p->parent())
            ++depth;
        lines << QString(depth, QLatin1Char(' ')) + node->item.SourcePath +
                     (node->item.IsFolder ? QString() : u" "_s + QString::number(node->item.ItemSize)) +
                     (node->item.Percent ? u" "_s + QString::number(node->item.Percent) : QString());
    }
    return lines;
}

} // namespace

class TestTransferPlanning : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void namesAndPaths_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << u"report 2024.txt"_s << false;
        QTest::newRow("leading dots") << u"..hidden"_s << false;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("dot") << u"."_s << true;
        QTest::newRow("dot dot") << u".."_s << true;
        QTest::newRow("slash") << u"a/b"_s << true;
        QTest::newRow("absolute") << u"/etc"_s << true;
        QTest::newRow("backslash") << u"a\\b"_s << false;
        QTest::newRow("backslash dots") << u"..\\..\\x"_s << false;
        QTest::newRow("backslash alone") << u"\\"_s << false;
        QTest::newRow("CR") << u"a\rb"_s << true;
        QTest::newRow("LF") << u"a\nb"_s << true;
        QTest::newRow("NUL") << u"a"_s + QChar(0) << true;
    }

    void namesAndPaths()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        QCOMPARE(!nameProblem(name).isEmpty(), refused);
    }

    void namesInEveryWalk_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << u"notes.txt"_s << false;
        QTest::newRow("backslash") << u"a\\b.txt"_s << false;
        QTest::newRow("backslash dots") << u"..\\..\\x"_s << false;
        QTest::newRow("trailing backslash") << u"dir\\"_s << false;
        QTest::newRow("slash") << u"a/b"_s << true;
        QTest::newRow("absolute") << u"/etc"_s << true;
        QTest::newRow("dot") << u"."_s << true;
        QTest::newRow("dot dot") << u".."_s << true;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("NUL") << u"a"_s + QChar(0) + u"b"_s << true;
        QTest::newRow("CR") << u"a\rb"_s << true;
        QTest::newRow("LF") << u"a\nb"_s << true;
    }

    void namesInEveryWalk()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        const qint32 percent = refused ? -1 : 0;

        // Download and delete walks: the name listed in a folder, once as a file and once as a folder.
        for (const QString& target : {u"/home/me/down"_s, DeleteMarker}) {
            FakeLister lister;
            FakeFolder& pub = lister.folder(u"/pub"_s, {});
            for (bool isDir : {false, true}) {
                auto entry = std::make_unique<TrFileObj>();
                entry->FileName = name;
                entry->IsDir = isDir;
                entry->FileSize = isDir ? 0 : 4;
                pub.entries.Add(std::move(entry));
            }
            lister.folder(u"/pub/"_s + name, names({"in:1"}));
            TransferQueue queue;
            TransferPlanner planner(queue);
            QStringList log;
            planner.onLog = [&](const QString& line) { log << line; };
            planner.addRemote(QString(), selected(u"pub"_s, true), target);
            planner.ExpandRemoteFolders(lister, target);
            const QueNode* top = queue.first();
            // A listed folder ".." is the listing's parent row: passed over, not refused.
            const bool parentRow = name == u".."_s;
            QCOMPARE(top->childCount(), parentRow ? 1 : 2);
            QCOMPARE(top->child(0)->item.SourcePath, u"/pub/"_s + name);
            for (int i = 0; i < top->childCount(); ++i)
                QCOMPARE(top->child(i)->item.Percent, percent);
            // Only an accepted folder is walked into.
            if (!parentRow)
                QCOMPARE(top->child(1)->childCount(), refused ? 0 : 1);
            QCOMPARE(lister.calls.contains(u"/pub/"_s + name), !refused);
            QCOMPARE(planner.TotalBytes, qint64(refused ? 4 : 5));
            QCOMPARE(log.size(), refused ? top->childCount() : 0);
            // A selected row of that name is judged alike.
            QCOMPARE(planner.addRemote(u"/pub"_s, selected(name, false), target)->item.Percent, percent);
        }

        // Upload walk: a file of that name in a local folder, where the file system can hold the name;
        // otherwise a picked name (a drop can carry any text).
        QTemporaryDir scratch;
        const QString base = scratch.path() + u"/"_s;
        const bool onDisk = !name.isEmpty() && name != u"."_s && name != u".."_s && !name.contains(u'/') &&
                            !name.contains(QChar(0));
        TransferQueue queue;
        TransferPlanner planner(queue);
        QStringList log;
        planner.onLog = [&](const QString& line) { log << line; };
        if (onDisk) {
            QVERIFY(QDir().mkpath(base + u"up"_s));
            test::writeBytes(base + u"up/"_s + name, "data");
            planner.addLocal(base, u"up"_s, u"/in"_s, 3);
            planner.ExpandLocalFolders(base, u"/in"_s, 3);
            QCOMPARE(queue.first()->childCount(), 1);
            const TQueItem& item = queue.first()->child(0)->item;
            QCOMPARE(item.DisplayName, name);
            QCOMPARE(item.Percent, percent);
            QCOMPARE(planner.TotalBytes, qint64(4));
        } else {
            QCOMPARE(planner.addLocal(base, name, u"/in"_s, 3)->item.Percent, percent);
        }
        QCOMPARE(log.size(), refused ? 1 : 0);
    }

    void walkBounds_data()
    {
        QTest::addColumn<int>("maxFolders");
        QTest::addColumn<int>("maxEntries");
        QTest::addColumn<int>("listings");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("items");
        // Depth 3 of the endless tree: 1 + 2 + 4 folders listed, each adding three items.
        QTest::newRow("within the bounds") << 7 << 22 << 7 << int(TransferPlanner::Limit::None) << 22;
        QTest::newRow("folder bound") << 6 << 1000 << 6 << int(TransferPlanner::Limit::Folders) << 17;
        QTest::newRow("entry bound") << 1000 << 10 << 4 << int(TransferPlanner::Limit::Entries) << 11;
        QTest::newRow("one folder") << 1 << 1000 << 1 << int(TransferPlanner::Limit::Folders) << 2;
    }

    void walkBounds()
    {
        QFETCH(int, maxFolders);
        QFETCH(int, maxEntries);
        QFETCH(int, listings);
        QFETCH(int, limit);
        QFETCH(int, items);
        CycleLister lister;
        TransferQueue queue;
        TransferPlanner planner(queue);
        planner.maxDepth = 3;
        planner.maxFolders = maxFolders;
        planner.maxEntries = maxEntries;
        QStringList log;
        planner.onLog = [&](const QString& line) { log << line; };
        planner.addRemote(QString(), selected(u"loop"_s, true), DeleteMarker);
        planner.ExpandRemoteFolders(lister, DeleteMarker);
        QCOMPARE(lister.calls, listings);
        QCOMPARE(int(planner.limitReached()), limit);
        QCOMPARE(queue.count(), items);
        QCOMPARE(queue.busyNode(), nullptr);
        // Only the depth limit logs; the folder where a bound ended the walk is marked as well, and the
        // caller words that failure.
        QCOMPARE(log.filter(u"deeper"_s).size(), log.size());
        int failed = 0;
        for (QueNode* node = queue.first(); node; node = queue.next(node))
            failed += node->item.Percent == -1 && node->item.IsFolder;
        QCOMPARE(failed, int(log.size()) + (limit != int(TransferPlanner::Limit::None) ? 1 : 0));
        QCOMPARE(planner.stopped(), limit != int(TransferPlanner::Limit::None));
    }

    void walkBoundsComeFromTheSettings()
    {
        const ExtraSettings saved = extraSettings();
        extraSettings().MaxWalkFolders = 2;
        extraSettings().MaxWalkEntries = 1000;
        CycleLister lister;
        TransferQueue queue;
        TransferPlanner planner(queue);
        extraSettings() = saved;
        QCOMPARE(planner.maxFolders, 2);
        QCOMPARE(planner.maxEntries, 1000);
        planner.addRemote(QString(), selected(u"loop"_s, true), u"/t"_s);
        planner.ExpandRemoteFolders(lister, u"/t"_s);
        QCOMPARE(lister.calls, 2);
        QCOMPARE(planner.limitReached(), TransferPlanner::Limit::Folders);
        QCOMPARE(TransferPlanner(queue).maxFolders, ExtraSettings::DefaultMaxWalkFolders);
    }

    void localWalkBound()
    {
        QTemporaryDir scratch;
        const QString base = scratch.path() + u"/"_s;
        QVERIFY(QDir().mkpath(base + u"top/one/two/three"_s));
        test::writeBytes(base + u"top/one/two/three/f"_s, "x");
        TransferQueue queue;
        TransferPlanner planner(queue);
        planner.maxFolders = 3;
        planner.addLocal(base, u"top"_s, u"/in"_s, 3);
        planner.ExpandLocalFolders(base, u"/in"_s, 3);
        QCOMPARE(planner.limitReached(), TransferPlanner::Limit::Folders);
        QCOMPARE(outline(queue), names({"top", " top/one", "  top/one/two", "   top/one/two/three -1"}));

        TransferQueue whole;
        TransferPlanner enough(whole);
        enough.maxFolders = 4;
        enough.addLocal(base, u"top"_s, u"/in"_s, 3);
        enough.ExpandLocalFolders(base, u"/in"_s, 3);
        QCOMPARE(enough.limitReached(), TransferPlanner::Limit::None);
        QCOMPARE(whole.count(), 5);
    }

    void staysInside_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("inside");
        QTest::newRow("file") << u"t/a.txt"_s << true;
        QTest::newRow("not yet made") << u"t/new/deeper/x"_s << true;
        QTest::newRow("backslash is a plain character") << u"t/a\\..\\b"_s << true;
        QTest::newRow("the folder itself") << u"t"_s << false;
        QTest::newRow("climbing out") << u"t/x/../../outside"_s << false;
        QTest::newRow("a sibling sharing the prefix") << u"tt/a"_s << false;
        QTest::newRow("through a link leading out") << u"t/link/secret"_s << false;
    }

    void staysInside()
    {
        QFETCH(QString, relative);
        QFETCH(bool, inside);
        QTemporaryDir scratch;
        QVERIFY(QDir().mkpath(scratch.filePath(u"t"_s)));
        QVERIFY(QDir().mkpath(scratch.filePath(u"elsewhere"_s)));
        QVERIFY(QFile::link(scratch.filePath(u"elsewhere"_s), scratch.filePath(u"t/link"_s)));
        QCOMPARE(skyhaul::staysInside(scratch.filePath(u"t"_s), scratch.filePath(relative)), inside);
        QCOMPARE(skyhaul::staysInside(scratch.filePath(u"t/"_s), scratch.filePath(relative)), inside);
    }

    void remoteWalk_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("download") << u"/home/me/down"_s;
        QTest::newRow("delete") << DeleteMarker;
    }

    void remoteWalk()
    {
        QFETCH(QString, target);
        FakeLister lister;
        lister.folder(u"/pub"_s, names({"top/", "z.txt:5"}));
        lister.folder(u"/pub/top"_s, names({"a:3", "sub/", "b:4"}));
        lister.folder(u"/pub/top/sub"_s, names({"c:7"}));
        lister.folder(u"/pub/top/empty"_s, {});
        lister.linkNodes();
        TransferQueue queue;
        TransferPlanner planner(queue);
        QStringList captions;
        planner.onInfo = [&](const QString& caption) { captions << caption; };
        planner.addRemote(u"/pub"_s, selected(u"top"_s, true), target);
        planner.addRemote(u"/pub"_s, selected(u"z.txt"_s, false, 5), target);
        planner.ExpandRemoteFolders(lister, target);

        QCOMPARE(outline(queue), names({"/pub/top", " /pub/top/a 3", " /pub/top/sub", "  /pub/top/sub/c 7",
                                        " /pub/top/b 4", "/pub/z.txt 5"}));
        QCOMPARE(planner.TotalBytes, qint64(19));
        QCOMPARE(captions, names({"Adding Root", "Adding /pub/top", "Adding /pub/top/sub"}));
        QCOMPARE(lister.calls, names({"/pub/top", "/pub/top/sub"}));
        QVERIFY(!planner.stopped());
        for (QueNode* node = queue.first(); node; node = queue.next(node))
            QCOMPARE(node->item.TargetPath, target);
        QVERIFY(queue.topLevel(0)->child(1)->item.FolderNode);
        QCOMPARE(queue.topLevel(0)->child(1)->item.DisplayName, u"sub"_s);
    }

    void hostileListing()
    {
        FakeLister lister;
        // Names a server may send that must never reach outside the folder being walked.
        FakeFolder& pub = lister.folder(
            u"/pub"_s, names({"../", "..:1", ".:1", "a/b:1", "/etc/", "/abs:1", "ok:2", "Docs/", "docs/"}));
        auto add = [&](const QString& name, bool isDir) {
            auto entry = std::make_unique<TrFileObj>();
            entry->FileName = name;
            entry->IsDir = isDir;
            entry->FileSize = 1;
            pub.entries.Add(std::move(entry));
        };
        add(u"cr\rlf"_s, false);
        add(u"new\nline"_s, true);
        add(u"nul"_s + QChar(0) + u"x"_s, false);
        lister.folder(u"/pub/Docs"_s, names({"Upper.txt:10"}));
        lister.folder(u"/pub/docs"_s, names({"lower.txt:20"}));
        lister.linkNodes();
        TransferQueue queue;
        TransferPlanner planner(queue);
        QStringList log;
        planner.onLog = [&](const QString& line) { log << line; };
        planner.addRemote(QString(), selected(u"pub"_s, true), u"/t"_s);
        // A selected row with a hostile name is refused before any walk; the listing's own ".." row adds
        // nothing.
        planner.addRemote(QString(), selected(u".."_s, false), u"/t"_s);
        QCOMPARE(planner.addRemote(QString(), selected(u".."_s, true), u"/t"_s), nullptr);
        planner.ExpandRemoteFolders(lister, u"/t"_s);

        const QStringList hostileOutline =
            names({"/pub", " /pub/.. 1 -1", " /pub/. 1 -1", " /pub/a/b 1 -1", " /pub//etc -1",
                   " /pub//abs 1 -1", " /pub/ok 2", " /pub/Docs", "  /pub/Docs/Upper.txt 10", " /pub/docs",
                   "  /pub/docs/lower.txt 20", " /pub/cr\rlf 1 -1", " /pub/new\nline -1"}) +
            QStringList{u" /pub/nul"_s + QChar(0) + u"x 1 -1"_s, u"/.. 0 -1"_s};
        QCOMPARE(outline(queue), hostileOutline);
        // Only the folder picked and its two well-named sub-folders were opened, each through its own node.
        QCOMPARE(lister.calls, names({"/pub", "/pub/Docs", "/pub/docs"}));
        QCOMPARE(log.size(), 9);
        for (const QString& line : log)
            QVERIFY2(line.contains(u": refused: "_s), qPrintable(line));
    }

    void walkFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("logged");
        QTest::newRow("listing failed")
            << u"failed"_s << names({"/d", " /d/a 1", " /d/s -1", "/e", " /e/x 1"})
            << names({"/d", "/d/s", "/e"}) << u"/d/s: the folder could not be listed whole: 550 Gone"_s;
        QTest::newRow("listing cut") << u"cut"_s << names({"/d", " /d/a 1", " /d/s -1", "/e", " /e/x 1"})
                                     << names({"/d", "/d/s", "/e"})
                                     << u"/d/s: the folder could not be listed whole: cut"_s;
        QTest::newRow("depth limit") << u"depth"_s << names({"/d", " /d/a 1", " /d/s -1", "/e", " /e/x 1"})
                                     << names({"/d", "/e"})
                                     << u"/d/s: folders nested deeper than 1 levels are not walked"_s;
        QTest::newRow("stop after the first listing")
            << u"stop"_s << names({"/d", "/e"}) << names({"/d"}) << QString();
    }

    void walkFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, calls);
        QFETCH(QString, logged);
        FakeLister lister;
        lister.folder(u"/d"_s, names({"a:1", "s/"}));
        FakeFolder& s = lister.folder(u"/d/s"_s, names({"deep:1"}));
        lister.folder(u"/e"_s, names({"x:1"}));
        lister.linkNodes();
        if (fault == u"failed"_s) {
            s.entries.Clear();
            s.complete = false;
            s.error = u"550 Gone"_s;
        } else if (fault == u"cut"_s) {
            s.complete = false; // what arrived is there, but it is not the whole folder
            s.error = u"cut"_s;
        }
        TransferQueue queue;
        TransferPlanner planner(queue);
        QStringList log;
        planner.onLog = [&](const QString& line) { log << line; };
        if (fault == u"depth"_s)
            planner.maxDepth = 1;
        if (fault == u"stop"_s)
            planner.stopRequested = [&] { return !lister.calls.isEmpty(); };
        planner.addRemote(QString(), selected(u"d"_s, true), u"/t"_s);
        planner.addRemote(QString(), selected(u"e"_s, true), u"/t"_s);
        planner.ExpandRemoteFolders(lister, u"/t"_s);
        QCOMPARE(outline(queue), expected);
        QCOMPARE(lister.calls, calls);
        QCOMPARE(log, logged.isEmpty() ? QStringList() : QStringList{logged});
        QCOMPARE(planner.stopped(), fault == u"stop"_s);
        QCOMPARE(queue.busyNode(), nullptr);
    }

    void localWalk()
    {
        QTemporaryDir scratch;
        QTemporaryDir outside;
        const QString base = scratch.filePath(u"base"_s);
        QVERIFY(QDir().mkpath(base + u"/top/sub"_s));
        QVERIFY(QDir().mkpath(base + u"/gone"_s));
        test::writeBytes(base + u"/top/a"_s, "abc");
        test::writeBytes(base + u"/top/sub/c"_s, "1234567");
        test::writeBytes(base + u"/top/back\\slash.txt"_s, "xx");
        test::writeBytes(base + u"/x.txt"_s, "12345");
        test::writeBytes(outside.filePath(u"secret"_s), "s");
        QVERIFY(QFile::link(outside.path(), base + u"/top/link"_s));
        QVERIFY(QFile::link(outside.path(), base + u"/linked"_s));

        TransferQueue queue;
        TransferPlanner planner(queue);
        QStringList log;
        planner.onLog = [&](const QString& line) { log << line; };
        QStringList captions;
        planner.onInfo = [&](const QString& caption) { captions << caption; };
        for (const QString& name : names({"top", "x.txt", "linked", "gone"}))
            planner.addLocal(base + u"/"_s, name, u"/up"_s, 3);
        QVERIFY(QDir(base + u"/gone"_s).removeRecursively()); // vanishes between the pick and the walk
        planner.ExpandLocalFolders(base + u"/"_s, u"/up"_s, 3);

        // The file system's own order inside a folder: compare the folder's items as a set.
        QStringList lines = outline(queue);
        QCOMPARE(lines.first(), u"top"_s);
        QCOMPARE(lines.mid(lines.size() - 3), names({"x.txt 5", "linked -1", "gone -1"}));
        const qsizetype sub = lines.indexOf(u" top/sub"_s);
        QVERIFY(sub > 0);
        QCOMPARE(lines[sub + 1], u"  top/sub/c 7"_s);
        QStringList inside = lines.mid(1, lines.size() - 4);
        inside.sort();
        QStringList expectedInside =
            names({" top/a 3", " top/back\\slash.txt 2", " top/link -1", " top/sub", "  top/sub/c 7"});
        expectedInside.sort();
        QCOMPARE(inside, expectedInside);
        QCOMPARE(planner.TotalBytes, qint64(3 + 7 + 2 + 5));
        QCOMPARE(log.size(), 3);
        QVERIFY(log.filter(u"symbolic link"_s).size() == 2);
        QVERIFY(log.filter(u"could not be read"_s).size() == 1);
        QVERIFY(!captions.contains(u"Adding top/link"_s));
        for (QueNode* node = queue.first(); node; node = queue.next(node)) {
            QCOMPARE(node->item.TargetPath, u"/up"_s);
            QCOMPARE(node->item.ItemTime, 0.0);
            if (node->item.IsFolder)
                QCOMPARE(node->item.ImageIndex, 3);
        }
    }

    void localWalkFromSeveralFolders()
    {
        // Paths dropped from two folders: each item and everything below it stay relative to their own
        // folder.
        QTemporaryDir scratch;
        QVERIFY(QDir().mkpath(scratch.filePath(u"one/sub"_s)) && QDir().mkpath(scratch.filePath(u"two"_s)));
        test::writeBytes(scratch.filePath(u"one/sub/in.txt"_s), "12");
        test::writeBytes(scratch.filePath(u"two/sub"_s), "file, not folder");
        const QString one = scratch.filePath(u"one/"_s);
        const QString two = scratch.filePath(u"two/"_s);
        TransferQueue queue;
        TransferPlanner planner(queue);
        planner.addLocal(one, u"sub"_s, u"/up"_s, 3);
        planner.addLocal(two, u"sub"_s, u"/up"_s, 3);
        // The run's base is the first path's folder; the second item keeps its own.
        planner.ExpandLocalFolders(one, u"/up"_s, 3);

        QCOMPARE(outline(queue), QStringList({u"sub"_s, u" sub/in.txt 2"_s, u"sub 16"_s}));
        const QueNode* inner = queue.first()->child(0);
        QCOMPARE(localBaseOf(inner->item, two), one);
        QCOMPARE(localBaseOf(queue.topLevel(1)->item, one), two);
        TQueItem planned;
        QCOMPARE(localBaseOf(planned, two), two);
    }
};

QTEST_GUILESS_MAIN(TestTransferPlanning)
#include "tst_transferplanning.moc"
