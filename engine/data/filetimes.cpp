#include "engine/data/filetimes.h"

#include <QFile>

namespace skyhaul::engine {

namespace {

/// The value of `count` ASCII digits at `from`; -1 when one of them is no digit.
int digitsAt(QStringView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

std::optional<QDateTime> timeOfMdtmReply(const Reply& reply)
{
    if (reply.code != 213)
        return std::nullopt;
    const QString line = reply.text();
    if (line.size() < 4 || line[3] != QLatin1Char(' '))
        return std::nullopt;
    const QStringView stamp = QStringView(line).mid(4).trimmed();
    if (stamp.size() < 14)
        return std::nullopt;
    int milliseconds = 0;
    if (stamp.size() > 14) {
        // ".s", ".sss" or finer: only milliseconds are kept.
        const QStringView fraction = stamp.mid(15);
        if (stamp[14] != QLatin1Char('.') || fraction.isEmpty() || digitsAt(fraction, 0, fraction.size()) < 0)
            return std::nullopt;
        for (qsizetype i = 0; i < 3; ++i)
            milliseconds = milliseconds * 10 + (i < fraction.size() ? fraction[i].unicode() - u'0' : 0);
    }
    const int year = digitsAt(stamp, 0, 4);
    const int month = digitsAt(stamp, 4, 2);
    const int day = digitsAt(stamp, 6, 2);
    const int hour = digitsAt(stamp, 8, 2);
    const int minute = digitsAt(stamp, 10, 2);
    const int second = digitsAt(stamp, 12, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, milliseconds);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

QString mfmtTimeText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss"));
}

bool setLocalModificationTime(const QString& path, const QDateTime& time)
{
    // Owning the file is enough to change its times; no write access is needed.
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

} // namespace skyhaul::engine
