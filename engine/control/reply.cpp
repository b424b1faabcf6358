#include "engine/control/reply.h"

#include <limits>

namespace skyhaul::engine {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

int replyCode(const QByteArray& line)
{
    if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::optional<qint64> sizeOfReply(const Reply& reply)
{
    if (!reply.positive() || reply.code / 100 != 2)
        return std::nullopt;
    const QString line = reply.text();
    if (line.size() < 5 || line[3] != QLatin1Char(' '))
        return std::nullopt;
    // Only digits: a size with words after it may be anything, and a wrong total is worse than none.
    const QStringView number = QStringView(line).mid(4).trimmed();
    if (number.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : number) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return std::nullopt;
        const int digit = c.unicode() - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace skyhaul::engine
