// The reply reader: however the bytes of a reply stream are cut into reads, the lines and the verdicts on
// them are the same, no line holds a line end, and a line never grows past its cap.
#include "engine/control/lineassembler.h"
#include "tests/fuzz/fuzzcheck.h"

#include <QList>

using skyhaul::engine::LineAssembler;
using skyhaul::engine::ReplyJudge;

namespace {

struct Reading {
    QList<QByteArray> lines;
    QList<ReplyJudge::Verdict> verdicts;
};

// Feeds the stream in reads of the given sizes (cycled), as a socket would deliver it.
Reading read(const QByteArray& stream, qsizetype bufferSize, LineAssembler::Overflow overflow,
             const QList<qsizetype>& cuts, bool afterAbort)
{
    LineAssembler lines(bufferSize, overflow);
    ReplyJudge judge;
    judge.start(afterAbort);
    Reading out;
    auto take = [&] {
        out.lines << lines.takeLine();
        out.verdicts << judge.judge(out.lines.last());
    };
    qsizetype pos = 0;
    for (qsizetype n = 0; pos < stream.size(); ++n) {
        const qsizetype end = std::min(stream.size(), pos + cuts[n % cuts.size()]);
        while (pos < end) {
            const qsizetype used = lines.feed(stream.constData() + pos, end - pos);
            pos += used;
            if (lines.hasLine())
                take();
            else
                FUZZ_CHECK(pos == end); // a read without a finished line takes every byte
        }
    }
    if (lines.flush())
        take();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const qsizetype bufferSize = data.ConsumeIntegralInRange<qsizetype>(1, 2048);
    const auto overflow = data.ConsumeBool() ? LineAssembler::Overflow::Split : LineAssembler::Overflow::Join;
    const bool afterAbort = data.ConsumeBool();
    QList<qsizetype> cuts;
    for (int i = 0, n = data.ConsumeIntegralInRange(1, 8); i < n; ++i)
        cuts << data.ConsumeIntegralInRange<qsizetype>(1, 64);
    const std::string rest = data.ConsumeRemainingBytesAsString();
    const QByteArray stream(rest.data(), qsizetype(rest.size()));

    const Reading whole = read(stream, bufferSize, overflow, {stream.size() + 1}, afterAbort);
    const Reading cut = read(stream, bufferSize, overflow, cuts, afterAbort);
    const Reading bytewise = read(stream, bufferSize, overflow, {1}, afterAbort);
    FUZZ_CHECK(cut.lines == whole.lines && cut.verdicts == whole.verdicts);
    FUZZ_CHECK(bytewise.lines == whole.lines && bytewise.verdicts == whole.verdicts);

    const qsizetype cap =
        overflow == LineAssembler::Overflow::Split ? bufferSize : LineAssembler::kJoinedLineCap;
    qsizetype kept = 0;
    for (const QByteArray& line : whole.lines) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        FUZZ_CHECK(line.size() <= cap);
        kept += line.size();
    }
    // Split mode loses nothing but the line ends.
    if (overflow == LineAssembler::Overflow::Split)
        FUZZ_CHECK(kept == stream.size() - stream.count('\r') - stream.count('\n'));
    return 0;
}
