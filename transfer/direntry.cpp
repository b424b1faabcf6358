#include "transfer/direntry.h"

#include "engine/listing/mlsdparser.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

int TtrFileList::Add(std::unique_ptr<TrFileObj> entry)
{
    m_entries.push_back(std::move(entry));
    return Count() - 1;
}

TrFileObj* TtrFileList::Entry(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_entries[size_t(index)].get();
}

void TtrFileList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_entries.erase(m_entries.begin() + index);
}

void TtrFileList::Sort(int column, bool descending)
{
    std::stable_sort(m_entries.begin(), m_entries.end(), [column, descending](const auto& a, const auto& b) {
        return skyhaul::CompareEntries(*a, *b, column, descending) < 0;
    });
}

namespace skyhaul {

namespace {

const QDate& dayZero()
{
    static const QDate zero(1899, 12, 30);
    return zero;
}

bool toNumber(const QString& text, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok;
}

int entryClass(const TrFileObj& e)
{
    if (e.isParentEntry())
        return 0;
    return e.IsDir ? 1 : 2;
}

template <typename T> int threeWay(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Up to two decimals, trailing zeros dropped ("#,##0.##").
QString upToTwoDecimals(const QLocale& locale, double value)
{
    QString text = locale.toString(value, 'f', 2);
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
        const QString zero = locale.zeroDigit();
        while (text.endsWith(zero))
            text.chop(zero.size());
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}

} // namespace

double ParseListTime(const QString& text, const QString& connectYear)
{
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const QString s = text.toUpper();
    const qsizetype n = s.size();

    int month = 12;
    const QString head = s.left(3);
    for (int i = 0; i < 12; ++i) {
        if (head == QLatin1String(months[i])) {
            month = i + 1;
            break;
        }
    }
    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    if (!toNumber(s.mid(3, 3).trimmed(), &day))
        return 0;
    if (s.contains(QLatin1Char(':'))) {
        if (!toNumber(connectYear, &year))
            return 0;
        // Positions are 1-based as in the listing text: the last ":" before the final character, then the
        // blank before it.
        qsizetype colon = 0;
        for (qsizetype p = n - 1; p >= 1; --p) {
            if (s.at(p - 1) == QLatin1Char(':')) {
                colon = p;
                break;
            }
        }
        qsizetype blank = 0;
        for (qsizetype p = colon; p >= 1; --p) {
            if (s.at(p - 1) == QLatin1Char(' ')) {
                blank = p;
                break;
            }
        }
        if (!toNumber(s.mid(colon), &minute) || !toNumber(s.mid(blank, 2), &hour))
            return 0;
    } else {
        if (!toNumber(s.right(4), &year))
            return 0;
        hour = 12;
        minute = 0;
    }
    if (year < 1 || year > 9999)
        return 0;
    const QDate date(year, month, day);
    const QTime time(hour, minute);
    if (!date.isValid() || !time.isValid())
        return 0;
    return toFileTime(QDateTime(date, time));
}

int compareTextAscii(const QString& a, const QString& b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        char16_t x = a.at(i).unicode();
        char16_t y = b.at(i).unicode();
        if (x >= u'a' && x <= u'z')
            x = char16_t(x - 32);
        if (y >= u'a' && y <= u'z')
            y = char16_t(y - 32);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return threeWay(a.size(), b.size());
}

int CompareEntries(const TrFileObj& a, const TrFileObj& b, int column, bool descending)
{
    // Compared as (class, key): sizes or times that would overflow or fall below zero stay in their group.
    // Only the key follows the direction, so ".." and the folders stay above the files both ways.
    if (column < 0 || column > 5)
        return 0;
    const int ca = entryClass(a);
    const int cb = entryClass(b);
    if (ca != cb)
        return threeWay(ca, cb);
    int result = 0;
    switch (column) {
    case 0:
        result = compareTextAscii(a.FileName, b.FileName);
        break;
    case 1:
        result = ca == 2 ? threeWay(a.FileSize, b.FileSize) : 0;
        break;
    case 2:
        result = ca == 2 ? threeWay(a.FileTime, b.FileTime) : 0;
        break;
    case 3:
        result = compareTextAscii(a.Attr, b.Attr);
        break;
    case 4:
        result = compareTextAscii(a.Owner, b.Owner);
        break;
    case 5:
        result = compareTextAscii(a.Group, b.Group);
        break;
    }
    return descending ? -result : result;
}

int CompareEntries(const TrFileObj& a, const TrFileObj& b, const ListingOrder& order)
{
    return CompareEntries(a, b, order.SortColumn, order.SortDescending);
}

QString FormatSize(qint64 bytes)
{
    const QLocale locale;
    if (bytes <= 1024)
        return locale.toString(bytes) + QLatin1Char('B');
    double x = double(bytes) / 1024.0;
    if (x > 1024) {
        x /= 1024;
        if (x > 1024) {
            x /= 1024;
            return upToTwoDecimals(locale, x) + QStringLiteral("GB");
        }
        return upToTwoDecimals(locale, x) + QStringLiteral("MB");
    }
    return locale.toString(qRound64(x)) + QStringLiteral("KB");
}

double toFileTime(const QDateTime& dateTime)
{
    const qint64 days = dayZero().daysTo(dateTime.date());
    const double fraction = double(dateTime.time().msecsSinceStartOfDay()) / 86400000.0;
    // Before day zero the fraction counts away from zero, as the day count's own convention has it.
    return days < 0 ? double(days) - fraction : double(days) + fraction;
}

QDateTime fromFileTime(double fileTime)
{
    const double whole = std::trunc(fileTime);
    const double fraction = std::fabs(fileTime - whole);
    const QDate date = dayZero().addDays(qint64(whole));
    int msecs = int(std::llround(fraction * 86400000.0));
    msecs = std::clamp(msecs, 0, 86400000 - 1);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msecs));
}

QString longTimeText(const QTime& time)
{
    // The locale's long format names the time zone, which the log and the list do not show.
    const QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        kept += c;
    }
    return QLocale().toString(time, kept.trimmed());
}

QString formatListTime(double fileTime)
{
    const QDateTime dt = fromFileTime(fileTime);
    QString text = QLocale().toString(dt.date(), QLocale::ShortFormat);
    if (dt.time() != QTime(0, 0))
        text += QLatin1Char(' ') + longTimeText(dt.time());
    return text;
}

double listedTime(const QString& fileTime, const QString& connectYear)
{
    // A LIST time always holds blanks; MLSD's modify fact is one word, UTC to the second.
    if (fileTime.size() >= 14 && !fileTime.contains(QLatin1Char(' '))) {
        if (const QDateTime utc = engine::parseMlsdTime(fileTime.toLatin1()); utc.isValid())
            return toFileTime(utc.toLocalTime());
    }
    return ParseListTime(fileTime, connectYear);
}

ListingColumns cutListingColumns(const QString& dirEntry)
{
    ListingColumns columns;
    if (!dirEntry.contains(QLatin1Char(' ')))
        return columns;
    const QStringList words = dirEntry.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() > 0)
        columns.attr = words.at(0);
    if (words.size() > 2)
        columns.owner = words.at(2);
    if (words.size() > 3)
        columns.group = words.at(3);
    return columns;
}

std::unique_ptr<TrFileObj> listedEntry(const QString& dirEntry, const QString& fileName, bool isDir,
                                       qint64 fileSize, const QString& fileTime, const QString& connectYear)
{
    auto entry = std::make_unique<TrFileObj>();
    entry->FileName = fileName;
    entry->IsDir = isDir;
    entry->FileSize = fileSize;
    entry->FileTime = listedTime(fileTime, connectYear);
    const ListingColumns columns = cutListingColumns(dirEntry);
    entry->Attr = columns.attr;
    entry->Owner = columns.owner;
    entry->Group = columns.group;
    // Only a Unix line's type letter makes a link: a plain file may well hold " -> " in its name.
    if (!isDir && dirEntry.startsWith(QLatin1Char('l'))) {
        entry->IsLink = true;
        static const QString arrow = QStringLiteral(" -> ");
        if (const qsizetype cut = fileName.indexOf(arrow); cut > 0) {
            entry->FileName = fileName.left(cut);
            entry->LinkTarget = fileName.mid(cut + arrow.size());
        }
    }
    return entry;
}

} // namespace skyhaul
