// The transfer queue: its visiting orders, the two clears (also while a run works inside the queue) and the
// item model with its texts, raw values and batched progress.
#include "transfer/quemodel.h"
#include "transfer/transferqueue.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

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

/**
 * Builds a queue from an outline: one entry per node, its depth given by leading blanks, then its name;
 * a name ending in "/" is a folder; "=N" after the name sets Percent (default 0).
 * Example: {"a/", " x=100", " y", "b"}.
 */
void build(TransferQueue& queue, const QStringList& outline)
{
    QList<QueNode*> parents;
    for (const QString& line : outline) {
        const qsizetype depth = line.size() - line.trimmed().size();
        QString name = line.trimmed();
        TQueItem item;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            item.Percent = name.mid(eq + 1).toInt();
            name.truncate(eq);
        }
        item.IsFolder = name.endsWith(QLatin1Char('/'));
        if (item.IsFolder)
            name.chop(1);
        item.DisplayName = name;
        parents.resize(depth);
        parents.append(queue.add(depth ? parents[depth - 1] : nullptr, item));
    }
}

QStringList preOrder(const TransferQueue& queue)
{
    QStringList names;
    for (QueNode* node = queue.first(); node; node = queue.next(node))
        names << node->item.DisplayName;
    return names;
}

QStringList reverseOrder(const TransferQueue& queue)
{
    QStringList names;
    for (QueNode* node = queue.last(); node; node = queue.previous(node))
        names << node->item.DisplayName;
    return names;
}

QueNode* find(const TransferQueue& queue, const QString& name)
{
    for (QueNode* node = queue.first(); node; node = queue.next(node)) {
        if (node->item.DisplayName == name)
            return node;
    }
    return nullptr;
}

} // namespace

class TestTransferQueue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void visitingOrders_data()
    {
        QTest::addColumn<QStringList>("outline");
        QTest::addColumn<QStringList>("pre");
        QTest::addColumn<QStringList>("reverse");
        QTest::newRow("empty") << QStringList() << QStringList() << QStringList();
        QTest::newRow("folder with two files")
            << names({"d/", " f1", " f2"}) << names({"d", "f1", "f2"}) << names({"f2", "f1", "d"});
        QTest::newRow("nested folders and top-level files")
            << names({"a", "b/", " c/", "  d", " e", "f/", "g"}) << names({"a", "b", "c", "d", "e", "f", "g"})
            << names({"g", "f", "e", "d", "c", "b", "a"});
        QTest::newRow("last top-level node's deepest descendant comes first")
            << names({"x/", " y/", "  z/", "   w"}) << names({"x", "y", "z", "w"})
            << names({"w", "z", "y", "x"});
    }

    void visitingOrders()
    {
        QFETCH(QStringList, outline);
        QFETCH(QStringList, pre);
        QFETCH(QStringList, reverse);
        TransferQueue queue;
        build(queue, outline);
        QCOMPARE(preOrder(queue), pre);
        QCOMPARE(reverseOrder(queue), reverse);
        QCOMPARE(queue.count(), pre.size());
    }

    void clears_data()
    {
        QTest::addColumn<QStringList>("outline");
        QTest::addColumn<QString>("busy");
        QTest::addColumn<bool>("onlyFinished");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("finished folder goes with its failed and pending files")
            << names({"d/=100", " f1=100", " f2=-1", " f3", "top=57", "done=100"}) << QString() << true
            << names({"top"});
        QTest::newRow("failed and server-to-server items stay")
            << names({"a=-1", "b=-2", "c=100"}) << QString() << true << names({"a", "b"});
        QTest::newRow("clear all") << names({"d/", " f", "g"}) << QString() << false << QStringList();
        // While a run works on a node, neither clear may take that node or a folder holding it.
        QTest::newRow("run inside a finished folder: only its finished files go")
            << names({"d/=100", " f1=100", " f2", " f3", "e/=100", " g=100"}) << u"f2"_s << true
            << names({"d", "f2", "f3"});
        QTest::newRow("clear all during a run keeps the path to the current item")
            << names({"a=100", "d/=100", " s/=100", "  f1", "  f2", " t", "z"}) << u"f1"_s << false
            << names({"d", "s", "f1"});
        QTest::newRow("clear all during a walk keeps the folder being walked, not its contents")
            << names({"d/", " x", " y", "e/"}) << u"d"_s << false << names({"d"});
    }

    void clears()
    {
        QFETCH(QStringList, outline);
        QFETCH(QString, busy);
        QFETCH(bool, onlyFinished);
        QFETCH(QStringList, left);
        TransferQueue queue;
        TransferQueueModel model(queue);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        build(queue, outline);
        QueNode* busyNode = busy.isEmpty() ? nullptr : find(queue, busy);
        queue.setBusyNode(busyNode);
        onlyFinished ? queue.clearFinished() : queue.clear();
        QCOMPARE(preOrder(queue), left);
        if (busyNode) {
            // Still reachable and still walked on from: the run's next step finds its way.
            QCOMPARE(find(queue, busy), busyNode);
            QCOMPARE(model.nodeOf(model.indexOf(busyNode)), busyNode);
        }
        QCOMPARE(model.rowCount(), queue.topLevelCount());
    }

    void cellTexts_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<qint64>("transferred");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("sizeText");
        QTest::addColumn<QString>("progressText");
        QTest::newRow("pending") << 0 << qint64(0) << qint64(4096) << u"0/4096"_s << u"0%"_s;
        QTest::newRow("quarter") << 25 << qint64(1024) << qint64(4096) << u"1024/4096"_s << u"25%"_s;
        QTest::newRow("finished") << 100 << qint64(4096) << qint64(4096) << u"4096/4096"_s << u"Finished"_s;
        QTest::newRow("failed") << -1 << qint64(10) << qint64(20) << u"10/20"_s << u"Failed!"_s;
        QTest::newRow("server to server") << -2 << qint64(10) << qint64(20) << u"N/A"_s << u"FXPing..."_s;
        QTest::newRow("beyond 4 GiB, no separators")
            << 50 << qint64(3) * 1024 * 1024 * 1024 << qint64(6) * 1024 * 1024 * 1024
            << u"3221225472/6442450944"_s << u"50%"_s;
    }

    void cellTexts()
    {
        QFETCH(int, percent);
        QFETCH(qint64, transferred);
        QFETCH(qint64, size);
        QFETCH(QString, sizeText);
        QFETCH(QString, progressText);
        TransferQueue queue;
        TransferQueueModel model(queue);
        TQueItem item;
        item.DisplayName = QStringLiteral("a.bin");
        item.TargetPath = QStringLiteral("/down/");
        item.ImageIndex = 7;
        item.Percent = percent;
        item.Transferred = transferred;
        item.ItemSize = size;
        queue.add(nullptr, item);
        const auto cell = [&](int column, int role) { return model.index(0, column).data(role); };
        QCOMPARE(cell(TransferQueueModel::FileName, Qt::DisplayRole).toString(), QStringLiteral("a.bin"));
        QCOMPARE(cell(TransferQueueModel::TransferedSize, Qt::DisplayRole).toString(), sizeText);
        QCOMPARE(cell(TransferQueueModel::Progress, Qt::DisplayRole).toString(), progressText);
        QCOMPARE(cell(TransferQueueModel::TargetPath, Qt::DisplayRole).toString(), QStringLiteral("/down/"));
        QCOMPARE(cell(TransferQueueModel::TransferedSize, TransferQueueModel::RawValueRole).toLongLong(),
                 transferred);
        QCOMPARE(cell(TransferQueueModel::Progress, TransferQueueModel::RawValueRole).toInt(), percent);
        QCOMPARE(cell(TransferQueueModel::FileName, TransferQueueModel::ImageIndexRole).toInt(), 7);
        QCOMPARE(cell(TransferQueueModel::Progress, TransferQueueModel::ImageIndexRole).toInt(), -1);
        QCOMPARE(cell(TransferQueueModel::Progress, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        QCOMPARE(model.columnCount(), int(TransferQueueModel::ColumnCount));
        const QStringList headers = names({"File Name", "Transfered Size", "Progress", "Target Path"});
        for (int column = 0; column < model.columnCount(); ++column)
            QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), headers[column]);
    }

    void progressIsBatched()
    {
        TransferQueue queue;
        TransferQueueModel model(queue);
        build(queue, names({"d/", " a", " b", "c"}));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QueNode* a = find(queue, QStringLiteral("a"));
        QueNode* c = find(queue, QStringLiteral("c"));
        // A fast transfer: thousands of progress reports for two rows between two repaints.
        for (int i = 1; i <= 5000; ++i) {
            a->item.Transferred = i;
            queue.itemChanged(a);
            queue.itemChanged(c);
        }
        QCOMPARE(changed.count(), 0);
        QVERIFY(changed.wait(2000));
        QCOMPARE(changed.count(), 2);
        QSet<QueNode*> rows;
        for (const QList<QVariant>& signal : changed) {
            const QModelIndex from = signal[0].toModelIndex();
            QCOMPARE(from.column(), 0);
            QCOMPARE(signal[1].toModelIndex().column(), TransferQueueModel::ColumnCount - 1);
            rows.insert(model.nodeOf(from));
        }
        QCOMPARE(rows, (QSet<QueNode*>{a, c}));
        QCOMPARE(model.index(0, TransferQueueModel::TransferedSize, model.indexOf(find(queue, u"d"_s)))
                     .data()
                     .toString(),
                 QStringLiteral("5000/0"));

        // A row removed before the flush is not reported afterwards.
        changed.clear();
        queue.itemChanged(a);
        queue.itemChanged(c);
        queue.clear();
        model.flush();
        QCOMPARE(changed.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTransferQueue)
#include "tst_transferqueue.moc"
