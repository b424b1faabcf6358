#pragma once

#include "engine/control/namecodec.h"
#include "engine/control/reply.h"

#include <QByteArray>

namespace skyhaul::engine {

/**
 * Cuts a byte stream into lines at CR, LF, CR LF or LF CR (a pair counts as one line end). Never sees a
 * socket: feed() takes bytes and says how many it consumed, stopping after the first complete line so that
 * lines the peer sends early stay with the caller until they are wanted.
 */
class LineAssembler {
public:
    enum class Overflow {
        /// A full buffer is handed over as a line of its own; the rest follows as a further line.
        Split,
        /// A full buffer is kept as part of the line, which may grow past the buffer (up to a hard cap).
        Join,
    };

    /// Beyond this a joined line keeps no more bytes (the rest of the physical line is dropped).
    static constexpr qsizetype kJoinedLineCap = 1024 * 1024;

    LineAssembler(qsizetype bufferSize, Overflow overflow);

    /// Consumes bytes up to and including the first line end; returns how many were consumed.
    qsizetype feed(const char* data, qsizetype size);

    bool hasLine() const { return m_complete; }
    /// The finished line without its line end; clears it.
    QByteArray takeLine();
    /// The bytes of the line being assembled so far.
    const QByteArray& partial() const { return m_line; }

    /// End of stream: the bytes assembled so far become a last line. False when there were none.
    bool flush();
    void reset();

private:
    qsizetype m_bufferSize;
    Overflow m_overflow;
    QByteArray m_line;
    qsizetype m_inBuffer = 0; // bytes of m_line still in the assembly buffer (Join mode)
    bool m_complete = false;
    char m_skip = 0; // LF or CR still to be dropped when the pair was cut by the end of the data
};

/// How one reply line bears on the command being answered. It also bounds a reply: a server that sends
/// lines (or bytes without a line end) forever breaks the protocol instead of holding the caller. The lines
/// of the reply being read are kept (within the same bounds) and handed out as a value.
class ReplyJudge {
public:
    enum class Verdict {
        ReadOn,
        Preliminary,
        Positive,
        Negative,
        /// The reply breaks the protocol (violation() says how); the connection cannot be trusted further.
        Violation,
    };
    enum class Violation { None, TooManyLines, TooManyBytes, NulByte };

    /// Lines of one reply (a long FEAT or HELP has a few dozen).
    static constexpr int kMaxLines = 10000;
    /// Bytes of one reply, line ends included.
    static constexpr qsizetype kMaxBytes = 4 * 1024 * 1024;

    /// Starts a new reply. `afterAbort`: the command was ABOR, so a 426 is read over.
    void start(bool afterAbort);
    /// How the reply's lines become text (names in replies: PWD, errors naming a file).
    void setCodec(const NameCodec& codec) { m_codec = codec; }
    Verdict judge(const QByteArray& line);
    /// Counts bytes taken from the connection for the reply; Violation once there are too many.
    Verdict take(qsizetype bytes);
    Violation violation() const { return m_violation; }
    /// The reply the judged lines make: complete once a verdict other than ReadOn (or Violation) came.
    const Reply& reply() const { return m_reply; }

private:
    bool m_afterAbort = false;
    bool m_multiOpen = false;
    char m_code[3] = {0, 0, 0};
    int m_lines = 0;
    qsizetype m_bytes = 0;
    Violation m_violation = Violation::None;
    Reply m_reply;
    NameCodec m_codec;
    bool m_replyEnded = false; // the next line starts a reply of its own
};

} // namespace skyhaul::engine
