// "config.dat": a file of any other size than a record gives the defaults; a record read from any bytes,
// saved and read again, is the same record.
#include "store/configrecord.h"
#include "tests/fuzz/fuzzcheck.h"

using skyhaul::ConfigRecord;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(bytes), qsizetype(size));
    FUZZ_CHECK(ConfigRecord::fromBytes(input).has_value() == (input.size() == ConfigRecord::RecordSize));

    QByteArray record = input.left(ConfigRecord::RecordSize);
    record.append(ConfigRecord::RecordSize - record.size(), '\0');
    const std::optional<ConfigRecord> read = ConfigRecord::fromBytes(record);
    FUZZ_CHECK(read.has_value());
    const std::optional<ConfigRecord> again = ConfigRecord::fromBytes(read->toBytes());
    FUZZ_CHECK(again.has_value() && *again == *read);

    // The same through the file: loading what was saved.
    const QString folder = skyhaul::fuzz::scratchFolder();
    skyhaul::fuzz::writeScratchFile(QStringLiteral("config.dat"), input);
    ConfigRecord loaded;
    FUZZ_CHECK(loaded.load(folder) == (input.size() == ConfigRecord::RecordSize));
    if (input.size() == ConfigRecord::RecordSize)
        FUZZ_CHECK(loaded == *read);
    return 0;
}
