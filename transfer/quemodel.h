#pragma once

#include "store/texttables.h"

#include "transfer/transferqueue.h"

#include <QAbstractItemModel>
#include <QSet>
#include <QTimer>

namespace skyhaul {

/**
 * The transfer queue as a tree model for QueTree. Structural changes reach the view at once; item changes
 * (progress) are gathered and sent as one dataChanged per changed row at most every flushIntervalMs, so a
 * fast transfer repaints a few dozen times a second, not once per block.
 */
class TransferQueueModel : public QAbstractItemModel, private QueueObserver {
    Q_OBJECT
public:
    enum Column { FileName, TransferedSize, Progress, TargetPath, ColumnCount };
    enum Role {
        /// The unformatted value behind a cell: DisplayName, Transferred, Percent, TargetPath.
        RawValueRole = Qt::UserRole + 1,
        /// The item's ImageIndex (column FileName only; -1 elsewhere), for the view's icon registry.
        ImageIndexRole,
    };
    static constexpr int DefaultFlushIntervalMs = 40;

    explicit TransferQueueModel(TransferQueue& queue, QObject* parent = nullptr);
    ~TransferQueueModel() override;

    /// The cell texts of the queue: "1024/4096", "N/A" while a server-to-server copy runs; "Finished",
    /// "Failed!", "FXPing..." or the percent followed by "%".
    static QString transferredText(const TQueItem& item);
    static QString progressText(const TQueItem& item);
    /// As above; a server-to-server copy relayed through this machine shows its percent with texts'
    /// "RelayedProgress" ("57% relayed").
    static QString progressText(const TQueItem& item, const SectionTexts& texts);

    /// The remote tab's texts ("RemoteForm") the cells are worded with.
    void setTexts(const SectionTexts& texts);

    QueNode* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const QueNode* node, int column = FileName) const;

    /// Sends the gathered item changes now.
    void flush();
    void setFlushInterval(int ms) { m_flushTimer.setInterval(ms); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void queueAboutToInsert(QueNode* parent, int row) override;
    void queueInserted() override;
    void queueAboutToRemove(QueNode* parent, int first, int last) override;
    void queueRemoved() override;
    void queueItemChanged(QueNode* node) override;
    void forgetPending(const QueNode* node);

    TransferQueue& m_queue;
    SectionTexts m_texts;
    QSet<const QueNode*> m_pending;
    QTimer m_flushTimer;
};

} // namespace skyhaul
