#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

class QDateTime;
class QTime;

namespace skyhaul {
class FolderNode;
} // namespace skyhaul

/**
 * One name of a remote listing. Times are day counts since 30 December 1899 with the time of day as the
 * fraction (0 is "day zero", the value of an unreadable listing time).
 */
class TrFileObj {
public:
    QString FullPath;      ///< CurrentPath + "/" + FileName ("/" + FileName at the root)
    qint32 IconIndex = -1; ///< index in the icon registry; -1 until the entry is first drawn
    QString FileName;
    qint64 FileSize = 0;
    bool IsDir = false;
    double FileTime = 0;
    skyhaul::FolderNode* Node = nullptr; ///< a folder's node; for "..", the parent folder's node; not owned
    QString Attr;
    QString Owner;
    QString Group;
    /// A symbolic link (its listing line starts with "l"): FileName is the link's own name, LinkTarget what
    /// the server showed after " -> ". Whether it leads to a file or a folder is not known from the listing,
    /// so it is never a folder here: walks never follow it, a download fetches it as a file (and fails
    /// cleanly when it leads to a folder), a delete removes the link itself.
    bool IsLink = false;
    QString LinkTarget;

    bool isParentEntry() const { return IsDir && FileName == QLatin1String(".."); }
};

/// An ordered listing that owns its entries.
class TtrFileList {
public:
    TtrFileList() = default;
    ~TtrFileList() { Clear(); }
    TtrFileList(const TtrFileList&) = delete;
    TtrFileList& operator=(const TtrFileList&) = delete;

    /// Appends the entry and takes ownership of it; returns its index.
    int Add(std::unique_ptr<TrFileObj> entry);
    /// The entry at index; nullptr when the listing is empty or the index is outside it.
    TrFileObj* Entry(int index) const;
    /// Frees the entry at index and removes it; an index outside the listing changes nothing.
    void Delete(int index);
    void Clear() { m_entries.clear(); }
    int Count() const { return int(m_entries.size()); }

    /// Orders the entries with CompareEntries() for the given column and direction (stable).
    void Sort(int column, bool descending);

private:
    std::vector<std::unique_ptr<TrFileObj>> m_entries;
};

namespace skyhaul {

/// The order a remote tab builds its listings in. The window holds one for all its remote tabs (a column
/// chosen in one orders them all); a connect resets it.
struct ListingOrder {
    int SortColumn = 0; ///< 0 name, 1 size, 2 date, 3 attributes, 4 owner, 5 group
    bool SortDescending = false;
};

/**
 * The date part of a listing line as the engine passes it ("Jan 10 12:34", "Mar 3 2007") as a day count.
 * A time of day without a year lands in @p connectYear; a year without a time gets 12:00. Anything that does
 * not convert, or names no valid date or time, gives 0.
 */
double ParseListTime(const QString& text, const QString& connectYear);

/**
 * Three-way order of two entries by column: "..", then folders, then files, each group by the column's key
 * (texts with ASCII letters compared without regard to case). Descending reverses the order inside each
 * group only: ".." stays first and folders stay before files, as in the local list.
 */
int CompareEntries(const TrFileObj& a, const TrFileObj& b, int column, bool descending);
/// The same with the column and direction of @p order.
int CompareEntries(const TrFileObj& a, const TrFileObj& b, const ListingOrder& order);

/// Ordinal comparison with ASCII a-z folded to A-Z; negative, zero or positive.
int compareTextAscii(const QString& a, const QString& b);

/// "0B" .. "1,024B", then "1KB" .. "1,024KB", then "1MB" .. with up to two decimals, "1.5GB"; the current
/// locale's separators.
QString FormatSize(qint64 bytes);

/// A day count shown as the short date and the long time; the time is left out at exactly midnight.
QString formatListTime(double fileTime);

/// A time in the locale's long time format without the time zone.
QString longTimeText(const QTime& time);

/// Day count <-> local date and time.
double toFileTime(const QDateTime& dateTime);
QDateTime fromFileTime(double fileTime);

/**
 * The time of a listing event as a day count in local time: the modify fact of an MLSD entry
 * ("20261211080144", UTC), else ParseListTime() of a LIST line's date part.
 */
double listedTime(const QString& fileTime, const QString& connectYear);

/// The permission text, owner and group of a long listing line: its first, third and fourth blank-separated
/// words. A line without blanks gives three empty texts.
struct ListingColumns {
    QString attr;
    QString owner;
    QString group;
};
ListingColumns cutListingColumns(const QString& dirEntry);

/**
 * The entry of one listing event (the engine's OnDirList), FullPath left to the caller. A symbolic link's
 * name is what comes before " -> ": a Unix server lists a link as "name -> target".
 */
std::unique_ptr<TrFileObj> listedEntry(const QString& dirEntry, const QString& fileName, bool isDir,
                                       qint64 fileSize, const QString& fileTime, const QString& connectYear);

} // namespace skyhaul
