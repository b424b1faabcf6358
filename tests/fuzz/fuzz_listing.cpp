// The listing parser, fed the way the data connection feeds it: the stream cut into lines of at most 2048
// bytes, each line parsed in place. The parts it reports always come from the line itself.
#include "engine/control/lineassembler.h"
#include "engine/listing/listingparser.h"
#include "tests/fuzz/fuzzcheck.h"

using skyhaul::engine::LineAssembler;
using skyhaul::engine::ListEntry;

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

void checkLine(QByteArrayView line)
{
    ListEntry entry;
    const bool reported = skyhaul::engine::parseListLine(line, entry);
    const bool totalLine =
        line.size() >= 2 && (line[0] == 't' || line[0] == 'T') && (line[1] == 'o' || line[1] == 'O');
    FUZZ_CHECK(reported == !totalLine);
    if (!reported)
        return;
    // The name is the end of the line, without the blanks before it.
    FUZZ_CHECK(entry.name.size() <= line.size());
    FUZZ_CHECK(entry.name == line.sliced(line.size() - entry.name.size()));
    FUZZ_CHECK(entry.name.isEmpty() || !isBlank(entry.name[0]));
    FUZZ_CHECK(entry.size >= 0);
    const bool dosForm = !line.isEmpty() && line[0] >= '0' && line[0] <= '9';
    if (!dosForm)
        FUZZ_CHECK(entry.isDir == (!line.isEmpty() && line[0] == 'd'));
    if (entry.isDir && dosForm)
        FUZZ_CHECK(entry.size == 0);
    // Three tokens (two in the DOS form) joined by single spaces, each taken from the line.
    const QList<QByteArray> parts = entry.time.split(' ');
    FUZZ_CHECK(parts.size() == (dosForm ? 2 : 3));
    for (const QByteArray& part : parts)
        FUZZ_CHECK(!part.contains('\t') && line.contains(part));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    LineAssembler lines(2048, LineAssembler::Overflow::Split);
    const char* data = reinterpret_cast<const char*>(bytes);
    qsizetype pos = 0;
    while (pos < qsizetype(size)) {
        pos += lines.feed(data + pos, qsizetype(size) - pos);
        if (lines.hasLine())
            checkLine(lines.takeLine());
    }
    if (lines.flush())
        checkLine(lines.takeLine());
    return 0;
}
