#include "engine/listing/mlsdparser.h"

#include <limits>
#include <utility>

namespace skyhaul::engine {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(QByteArrayView text)
{
    for (char c : text) {
        if (!isDigit(c))
            return false;
    }
    return !text.isEmpty();
}

/// A decimal number; saturates instead of overflowing. False when the text is not all digits.
bool readNumber(QByteArrayView text, qint64& value)
{
    if (!allDigits(text))
        return false;
    value = 0;
    for (char c : text) {
        const int digit = c - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
            value = std::numeric_limits<qint64>::max();
            return true;
        }
        value = value * 10 + digit;
    }
    return true;
}

bool sameText(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

/// "0755", "755", "100644": the permission bits are the last three octal digits.
int readMode(QByteArrayView text)
{
    // pyftpdlib writes the mode as Python prints octal numbers ("0o644").
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'o' || text[1] == 'O'))
        text = text.sliced(2);
    if (text.isEmpty() || text.size() > 12)
        return -1;
    int mode = 0;
    for (char c : text) {
        if (c < '0' || c > '7')
            return -1;
        mode = (mode << 3 | (c - '0')) & 07777;
    }
    return mode & 0777;
}

/// A column the server did not fill shows "?", as ls shows what it could not learn.
void appendWord(QByteArray& out, QByteArrayView word)
{
    if (word.isEmpty())
        out.append('?');
    else
        out.append(word);
}

} // namespace

MlsdLine parseMlsdLine(QByteArrayView line, MlsdEntry& entry)
{
    entry = MlsdEntry{};
    // The facts end at the first blank; none of them may hold one.
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0 || line[blank - 1] != ';')
        return MlsdLine::Refused;
    entry.name = line.sliced(blank + 1);

    const QByteArrayView facts = line.first(blank);
    QByteArrayView size;
    QByteArrayView sizd;
    QByteArrayView uid;
    QByteArrayView gid;
    QByteArrayView ownerName;
    QByteArrayView groupName;
    bool skipped = false;
    bool typed = false;
    for (qsizetype pos = 0; pos < facts.size();) {
        const qsizetype end = facts.indexOf(';', pos);
        const QByteArrayView fact = facts.sliced(pos, end - pos);
        pos = end + 1;
        const qsizetype equals = fact.indexOf('=');
        if (equals <= 0)
            return MlsdLine::Refused;
        const QByteArrayView key = fact.first(equals);
        const QByteArrayView value = fact.sliced(equals + 1);
        if (sameText(key, "type")) {
            // A second type would leave the entry both a folder and a link: such a line names nothing sure.
            if (std::exchange(typed, true))
                return MlsdLine::Refused;
            // The listed folder and its parent, often by their full path.
            skipped = sameText(value, "cdir") || sameText(value, "pdir");
            entry.isDir = sameText(value, "dir");
            static constexpr QByteArrayView slink = "os.unix=slink";
            static constexpr QByteArrayView symlink = "os.unix=symlink";
            if (value.size() >= slink.size() && sameText(value.first(slink.size()), slink)) {
                entry.isLink = true;
                if (value.size() > slink.size() && value[slink.size()] == ':')
                    entry.linkTarget = value.sliced(slink.size() + 1);
            } else if (sameText(value, symlink)) {
                entry.isLink = true;
            }
        } else if (sameText(key, "size")) {
            size = value;
        } else if (sameText(key, "sizd")) {
            sizd = value;
        } else if (sameText(key, "modify")) {
            if (parseMlsdTime(value).isValid())
                entry.modify = value;
        } else if (sameText(key, "perm")) {
            entry.perm = value;
        } else if (sameText(key, "unix.mode")) {
            entry.mode = readMode(value);
        } else if (sameText(key, "unix.ownername")) {
            ownerName = value;
        } else if (sameText(key, "unix.groupname")) {
            groupName = value;
        } else if (sameText(key, "unix.owner")) {
            entry.owner = value;
        } else if (sameText(key, "unix.group")) {
            entry.group = value;
        } else if (sameText(key, "unix.uid")) {
            uid = value;
        } else if (sameText(key, "unix.gid")) {
            gid = value;
        }
    }
    if (skipped)
        return MlsdLine::Skipped;
    if (entry.name.isEmpty() || entry.name == "." || entry.name == ".." || entry.name.contains('/') ||
        entry.name.contains('\0'))
        return MlsdLine::Refused;
    // Names as LIST shows them where the server gives both (proftpd's unix.owner is the number).
    if (!ownerName.isEmpty())
        entry.owner = ownerName;
    else if (entry.owner.isEmpty())
        entry.owner = uid;
    if (!groupName.isEmpty())
        entry.group = groupName;
    else if (entry.group.isEmpty())
        entry.group = gid;
    if (!readNumber(entry.isDir && !sizd.isEmpty() ? sizd : size, entry.size))
        entry.size = 0;
    return MlsdLine::Entry;
}

const QStringList& mlsdFactsRead()
{
    static const QStringList facts{
        QStringLiteral("type"),           QStringLiteral("size"),           QStringLiteral("sizd"),
        QStringLiteral("modify"),         QStringLiteral("perm"),           QStringLiteral("unix.mode"),
        QStringLiteral("unix.ownername"), QStringLiteral("unix.groupname"), QStringLiteral("unix.owner"),
        QStringLiteral("unix.group"),     QStringLiteral("unix.uid"),       QStringLiteral("unix.gid"),
    };
    return facts;
}

QDateTime parseMlsdTime(QByteArrayView text)
{
    if (text.size() < 14 || !allDigits(text.first(14)))
        return {};
    if (text.size() > 14 && (text[14] != '.' || !allDigits(text.sliced(15))))
        return {};
    const auto number = [&](qsizetype from, qsizetype count) {
        int value = 0;
        for (char c : text.sliced(from, count))
            value = value * 10 + (c - '0');
        return value;
    };
    int msecs = 0;
    if (text.size() > 15) {
        // Only milliseconds count; further digits are dropped.
        const QByteArrayView fraction = text.sliced(15).first(std::min<qsizetype>(3, text.size() - 15));
        msecs = number(15, fraction.size());
        for (qsizetype i = fraction.size(); i < 3; ++i)
            msecs *= 10;
    }
    const QDate date(number(0, 4), number(4, 2), number(6, 2));
    const QTime time(number(8, 2), number(10, 2), number(12, 2), msecs);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QByteArray mlsdListLine(const MlsdEntry& entry)
{
    QByteArray out;
    out.reserve(64 + entry.name.size() + entry.linkTarget.size());
    out.append(entry.isDir ? 'd' : entry.isLink ? 'l' : '-');
    static constexpr char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) {
        if (entry.mode < 0)
            out.append('?');
        else
            out.append(entry.mode & (0400 >> bit) ? letters[bit] : '-');
    }
    out.append(" 1 ");
    appendWord(out, entry.owner);
    out.append(' ');
    appendWord(out, entry.group);
    out.append(' ');
    out.append(QByteArray::number(entry.size));
    out.append(' ');
    const QDateTime modified = parseMlsdTime(entry.modify).toLocalTime();
    if (modified.isValid())
        out.append(modified.toString(QStringLiteral("MMM d yyyy")).toLatin1());
    else
        out.append("? ? ?");
    out.append(' ');
    out.append(entry.name);
    if (entry.isLink && !entry.linkTarget.isEmpty()) {
        out.append(" -> ");
        out.append(entry.linkTarget);
    }
    return out;
}

} // namespace skyhaul::engine
