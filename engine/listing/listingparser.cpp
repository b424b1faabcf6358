#include "engine/listing/listingparser.h"

#include <limits>

namespace skyhaul::engine {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// Reads tokens (maximal runs of non-blanks) from a line, skipping blanks before each.
class Tokens {
public:
    explicit Tokens(QByteArrayView line) : m_line(line) {}

    QByteArrayView next()
    {
        skipBlanks();
        const qsizetype start = m_pos;
        while (m_pos < m_line.size() && !isBlank(m_line[m_pos]))
            ++m_pos;
        return m_line.sliced(start, m_pos - start);
    }

    QByteArrayView rest()
    {
        skipBlanks();
        return m_line.sliced(m_pos);
    }

private:
    void skipBlanks()
    {
        while (m_pos < m_line.size() && isBlank(m_line[m_pos]))
            ++m_pos;
    }

    QByteArrayView m_line;
    qsizetype m_pos = 0;
};

bool allDigits(QByteArrayView token)
{
    for (char c : token) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

/// Digits up to the first non-digit; saturates instead of overflowing.
qint64 leadingNumber(QByteArrayView token)
{
    qint64 value = 0;
    for (char c : token) {
        if (!isDigit(c))
            break;
        const int digit = c - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::numeric_limits<qint64>::max();
        value = value * 10 + digit;
    }
    return value;
}

QByteArray joined(std::initializer_list<QByteArrayView> parts)
{
    QByteArray out;
    bool first = true;
    for (QByteArrayView part : parts) {
        if (!first)
            out.append(' ');
        out.append(part);
        first = false;
    }
    return out;
}

} // namespace

bool parseListLine(QByteArrayView line, ListEntry& entry)
{
    if (line.size() >= 2 && (line[0] == 't' || line[0] == 'T') && (line[1] == 'o' || line[1] == 'O'))
        return false;

    entry = ListEntry{};
    Tokens tokens(line);
    if (!line.isEmpty() && isDigit(line[0])) {
        // DOS form: date, time, size or <DIR>, name.
        const QByteArrayView date = tokens.next();
        const QByteArrayView time = tokens.next();
        entry.time = joined({date, time});
        const QByteArrayView size = tokens.next();
        if (size.startsWith('<'))
            entry.isDir = true;
        else
            entry.size = leadingNumber(size);
        entry.name = tokens.rest();
        return true;
    }

    // Unix form: permissions, links, owner, [group,] size, month, day, time or year, name.
    entry.isDir = !line.isEmpty() && line[0] == 'd';
    tokens.next();
    tokens.next();
    tokens.next();
    const QByteArrayView fourth = tokens.next();
    QByteArrayView month;
    if (allDigits(fourth)) {
        entry.size = leadingNumber(fourth);
        const QByteArrayView fifth = tokens.next();
        if (allDigits(fifth)) {
            entry.size = leadingNumber(fifth);
            month = tokens.next();
        } else {
            month = fifth;
        }
    } else {
        entry.size = leadingNumber(tokens.next());
        month = tokens.next();
    }
    const QByteArrayView day = tokens.next();
    const QByteArrayView timeOrYear = tokens.next();
    entry.time = joined({month, day, timeOrYear});
    entry.name = tokens.rest();
    return true;
}

} // namespace skyhaul::engine
