// The INI reader and writer: everything read can be written back and reads back the same; whatever the
// writer accepts reads back exactly as given, and it refuses the rest.
#include "store/io/inifile.h"
#include "tests/fuzz/fuzzcheck.h"

using skyhaul::IniFile;
using skyhaul::fuzz::consumeText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const QString section = consumeText(data, 24);
    const QString key = consumeText(data, 24);
    const QString value = consumeText(data, 48);
    const std::string file = data.ConsumeRemainingBytesAsString();

    // Every value read is one the writer takes, and the rewritten file reads back the same. (A section
    // without keys is the one thing setValue() cannot make; such sections are left out of the comparison.)
    const IniFile read = IniFile::parse(QByteArrayView(file.data(), qsizetype(file.size())));
    IniFile rewritten;
    QStringList filled;
    for (const QString& s : read.sectionNames()) {
        if (!read.keys(s).isEmpty())
            filled << s;
        for (const QString& k : read.keys(s))
            FUZZ_CHECK(rewritten.setValue(s, k, read.value(s, k)));
    }
    const IniFile back = IniFile::parse(rewritten.toBytes());
    FUZZ_CHECK(back.sectionNames() == filled);
    for (const QString& s : filled) {
        FUZZ_CHECK(back.keys(s) == read.keys(s));
        for (const QString& k : read.keys(s))
            FUZZ_CHECK(back.value(s, k) == read.value(s, k));
    }
    FUZZ_CHECK(IniFile::parse(read.toBytes()).toBytes() == read.toBytes());

    IniFile one;
    if (one.setValue(section, key, value)) {
        const IniFile back = IniFile::parse(one.toBytes());
        FUZZ_CHECK(back.sectionNames() == QStringList{section});
        FUZZ_CHECK(back.keys(section) == QStringList{key});
        FUZZ_CHECK(back.value(section, key) == value);
    } else {
        FUZZ_CHECK(one.toBytes().isEmpty());
    }
    // A free text in its stored form is always a value the writer takes.
    FUZZ_CHECK(
        IniFile().setValue(QStringLiteral("0"), QStringLiteral("Path"), IniFile::storableValue(value)));
    return 0;
}
