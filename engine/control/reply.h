#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace skyhaul::engine {

/// The server's reply to one command, as a value: how it bears on the command, its code and its lines.
struct Reply {
    enum class Kind { Preliminary, Positive, Negative };

    /// 1xx; 2xx and 3xx; anything else (a line without a code included).
    Kind kind = Kind::Negative;
    /// The three digits the final line starts with; 0 when it does not start with three digits.
    int code = 0;
    /// The lines of the reply as the protocol trail shows them, the final line last. A preliminary reply
    /// (or a 426 after ABOR) read over on the way to the final one is not part of it.
    QStringList lines;

    bool positive() const { return kind == Kind::Positive; }
    bool preliminary() const { return kind == Kind::Preliminary; }
    /// The final line: what LastReply shows after the command, and what a refusal's failure says.
    QString text() const { return lines.isEmpty() ? QString() : lines.constLast(); }
};

/// The three digits a reply line starts with; 0 when it does not start with three digits.
int replyCode(const QByteArray& line);

/**
 * The file size a SIZE reply gives: a positive completion (2xx) whose final line holds one number after
 * its code. Nothing when the reply is no such completion, holds no number, holds more than the number,
 * or names a negative size or one beyond 64 bits.
 */
std::optional<qint64> sizeOfReply(const Reply& reply);

} // namespace skyhaul::engine
