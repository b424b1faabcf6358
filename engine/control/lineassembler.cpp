#include "engine/control/lineassembler.h"

#include <cstring>

namespace skyhaul::engine {

LineAssembler::LineAssembler(qsizetype bufferSize, Overflow overflow)
    : m_bufferSize(bufferSize > 0 ? bufferSize : 1), m_overflow(overflow)
{
}

qsizetype LineAssembler::feed(const char* data, qsizetype size)
{
    qsizetype i = 0;
    if (m_complete)
        return 0;
    if (m_skip && i < size) {
        if (data[i] == m_skip)
            ++i;
        m_skip = 0;
    }
    while (i < size) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            ++i;
            const char pair = c == '\r' ? '\n' : '\r';
            if (i < size) {
                if (data[i] == pair)
                    ++i;
            } else {
                m_skip = pair;
            }
            m_complete = true;
            m_inBuffer = 0;
            return i;
        }
        // Copy the run up to the next line end or the end of the buffer in one go.
        qsizetype end = i;
        const qsizetype room = m_bufferSize - m_inBuffer;
        const qsizetype limit = end + std::min(room, size - i);
        while (end < limit && data[end] != '\r' && data[end] != '\n')
            ++end;
        const qsizetype run = end - i;
        if (m_overflow == Overflow::Join) {
            const qsizetype keep = std::max<qsizetype>(0, std::min(run, kJoinedLineCap - m_line.size()));
            m_line.append(data + i, keep);
        } else {
            m_line.append(data + i, run);
        }
        m_inBuffer += run;
        i = end;
        if (m_inBuffer >= m_bufferSize) {
            m_inBuffer = 0;
            if (m_overflow == Overflow::Split) {
                m_complete = true;
                return i;
            }
        }
    }
    return i;
}

QByteArray LineAssembler::takeLine()
{
    QByteArray line;
    line.swap(m_line);
    m_complete = false;
    m_inBuffer = 0;
    return line;
}

bool LineAssembler::flush()
{
    if (m_line.isEmpty() && !m_complete)
        return false;
    m_complete = true;
    return true;
}

void LineAssembler::reset()
{
    m_line.clear();
    m_inBuffer = 0;
    m_complete = false;
    m_skip = 0;
}

void ReplyJudge::start(bool afterAbort)
{
    m_afterAbort = afterAbort;
    m_multiOpen = false;
    m_lines = 0;
    m_bytes = 0;
    m_violation = Violation::None;
    m_reply = Reply();
    m_replyEnded = false;
}

ReplyJudge::Verdict ReplyJudge::take(qsizetype bytes)
{
    m_bytes += bytes;
    if (m_bytes > kMaxBytes && m_violation == Violation::None)
        m_violation = Violation::TooManyBytes;
    return m_violation == Violation::None ? Verdict::ReadOn : Verdict::Violation;
}

ReplyJudge::Verdict ReplyJudge::judge(const QByteArray& line)
{
    if (m_violation == Violation::None && ++m_lines > kMaxLines)
        m_violation = Violation::TooManyLines;
    // A NUL ends a C string: the rest of the line would vanish from a name, or name another file.
    if (m_violation == Violation::None && line.contains('\0'))
        m_violation = Violation::NulByte;
    if (m_violation != Violation::None)
        return Verdict::Violation;
    if (m_replyEnded) {
        // The reply before was read over (preliminary, or a 426 after ABOR): this line starts the next.
        m_reply = Reply();
        m_replyEnded = false;
    }
    m_reply.lines.append(m_codec.decode(line));
    if (line.isEmpty())
        return Verdict::ReadOn;
    if (m_multiOpen) {
        const bool closes = line.size() >= 3 && std::memcmp(line.constData(), m_code, 3) == 0 &&
                            (line.size() == 3 || line.at(3) == ' ');
        if (!closes)
            return Verdict::ReadOn;
        m_multiOpen = false;
    } else if (line.size() >= 4 && line.at(3) == '-') {
        std::memcpy(m_code, line.constData(), 3);
        m_multiOpen = true;
        return Verdict::ReadOn;
    }
    // The line closes a reply.
    m_replyEnded = true;
    m_reply.code = replyCode(line);
    switch (line.at(0)) {
    case '1':
        m_reply.kind = Reply::Kind::Preliminary;
        return Verdict::Preliminary;
    case '2':
    case '3':
        m_reply.kind = Reply::Kind::Positive;
        return Verdict::Positive;
    default:
        m_reply.kind = Reply::Kind::Negative;
        if (m_afterAbort && line.startsWith("426"))
            return Verdict::ReadOn;
        return Verdict::Negative;
    }
}

} // namespace skyhaul::engine
