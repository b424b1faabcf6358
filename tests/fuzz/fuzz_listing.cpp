// The listing parsers, fed the way the data connection feeds them: the stream cut into lines of at most 2048
// bytes, each line parsed in place as a LIST line and as an MLSD line. The parts they report always come
// from the line itself; an MLSD name is never one a walk could be led astray by.
#include "engine/control/lineassembler.h"
#include "engine/listing/listingparser.h"
#include "engine/listing/mlsdparser.h"
#include "tests/fuzz/fuzzcheck.h"

using skyhaul::engine::LineAssembler;
using skyhaul::engine::ListEntry;
using skyhaul::engine::MlsdEntry;
using skyhaul::engine::MlsdLine;

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

bool isWithin(QByteArrayView part, QByteArrayView line)
{
    return part.isEmpty() ||
           (part.data() >= line.data() && part.data() + part.size() <= line.data() + line.size());
}

void checkMlsdLine(QByteArrayView line)
{
    MlsdEntry entry;
    const MlsdLine verdict = skyhaul::engine::parseMlsdLine(line, entry);
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0 || line[blank - 1] != ';') {
        FUZZ_CHECK(verdict == MlsdLine::Refused);
        return;
    }
    if (verdict == MlsdLine::Skipped) {
        const QByteArray facts = line.first(blank).toByteArray().toLower();
        FUZZ_CHECK(facts.contains("type=cdir") || facts.contains("type=pdir"));
    }
    if (verdict != MlsdLine::Entry)
        return;
    // The name is everything after the blank that ends the facts, whole.
    FUZZ_CHECK(entry.name == line.sliced(blank + 1));
    FUZZ_CHECK(!entry.name.isEmpty() && entry.name != "." && entry.name != "..");
    FUZZ_CHECK(!entry.name.contains('/') && !entry.name.contains('\0'));
    FUZZ_CHECK(entry.size >= 0);
    FUZZ_CHECK(!(entry.isDir && entry.isLink));
    for (QByteArrayView part : {entry.linkTarget, entry.modify, entry.perm, entry.owner, entry.group})
        FUZZ_CHECK(isWithin(part, line.first(blank)));
    FUZZ_CHECK(entry.modify.isEmpty() || skyhaul::engine::parseMlsdTime(entry.modify).isValid());
    FUZZ_CHECK(entry.mode >= -1 && entry.mode <= 0777);
    // The long listing line made of it: its type letter, and the name (with the link target) at its end.
    const QByteArray listLine = skyhaul::engine::mlsdListLine(entry);
    FUZZ_CHECK(listLine.startsWith(entry.isDir ? 'd' : entry.isLink ? 'l' : '-'));
    QByteArray tail = entry.name.toByteArray();
    if (entry.isLink && !entry.linkTarget.isEmpty())
        tail += " -> " + entry.linkTarget.toByteArray();
    FUZZ_CHECK(listLine.endsWith(tail));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    LineAssembler lines(2048, LineAssembler::Overflow::Split);
    const char* data = reinterpret_cast<const char*>(bytes);
    qsizetype pos = 0;
    while (pos < qsizetype(size)) {
        pos += lines.feed(data + pos, qsizetype(size) - pos);
        if (lines.hasLine()) {
            const QByteArray line = lines.takeLine();
            checkLine(line);
            checkMlsdLine(line);
        }
    }
    if (lines.flush()) {
        const QByteArray line = lines.takeLine();
        checkLine(line);
        checkMlsdLine(line);
    }
    return 0;
}
