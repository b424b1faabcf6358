// The folder tree of a remote tab as plain data: paths, child lookup, listings and teardown.
#include "transfer/foldertree.h"

#include <QTest>

using namespace skyhaul;

class TestFolderTree : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void paths_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("path");
        QTest::newRow("the root") << QStringList() << QStringLiteral("/");
        QTest::newRow("one level") << QStringList{QStringLiteral("pub")} << QStringLiteral("/pub");
        QTest::newRow("two levels") << QStringList{QStringLiteral("a"), QStringLiteral("b")}
                                    << QStringLiteral("/a/b");
        QTest::newRow("a name with blanks")
            << QStringList{QStringLiteral("my files")} << QStringLiteral("/my files");
    }

    void paths()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, path);
        FolderTree tree;
        // The root's caption is not part of any path.
        FolderNode* node = tree.setRoot(QStringLiteral("user@host"));
        QVERIFY(node->isRoot());
        for (const QString& name : names)
            node = node->addChild(name);
        QCOMPARE(node->path(), path);
    }

    void childLookup()
    {
        FolderTree tree;
        FolderNode* root = tree.setRoot(QStringLiteral("u@h"));
        FolderNode* pub = root->addChild(QStringLiteral("pub"));
        FolderNode* upper = root->addChild(QStringLiteral("PUB"));
        QCOMPARE(root->childCount(), 2);
        QCOMPARE(root->child(1), upper);
        QCOMPARE(root->child(2), nullptr);
        QCOMPARE(root->indexOf(upper), 1);
        QCOMPARE(pub->parent(), root);
        // The path box finds the first folder in any case; a listing matches its own name exactly.
        QCOMPARE(root->findChild(QStringLiteral("Pub")), pub);
        QCOMPARE(root->exactChild(QStringLiteral("PUB")), upper);
        QCOMPARE(root->exactChild(QStringLiteral("Pub")), nullptr);
        QVERIFY(pub->mayHaveChildren());

        root->removeChild(pub);
        QCOMPARE(root->childCount(), 1);
        QCOMPARE(root->findChild(QStringLiteral("pub")), upper);
    }

    void listingsAndTeardown()
    {
        FolderTree tree;
        const quint64 before = tree.generation();
        FolderNode* root = tree.setRoot(QStringLiteral("u@h"));
        QVERIFY(tree.generation() != before);
        QCOMPARE(root->listing(), nullptr);
        TtrFileList& listing = root->startListing();
        auto entry = std::make_unique<TrFileObj>();
        entry->FileName = QStringLiteral("pub");
        entry->IsDir = true;
        entry->Node = root->addChild(QStringLiteral("pub"));
        listing.Add(std::move(entry));
        QCOMPARE(root->listing(), &listing);
        QCOMPARE(root->listing()->Entry(0)->Node, root->child(0));

        // A refresh drops one listing; the folder is unlisted again.
        root->dropListing();
        QCOMPARE(root->listing(), nullptr);

        const quint64 connected = tree.generation();
        tree.clear();
        QCOMPARE(tree.root(), nullptr);
        QVERIFY(tree.generation() != connected);
    }
};

QTEST_GUILESS_MAIN(TestFolderTree)
#include "tst_foldertree.moc"
