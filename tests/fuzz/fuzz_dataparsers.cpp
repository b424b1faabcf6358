// The PASV reply parser, the restart offset and the SIZE reply: what they accept, written back in the
// server's own form, parses to the same values.
#include "engine/control/lineassembler.h"
#include "engine/data/dataconnection.h"
#include "tests/fuzz/fuzzcheck.h"

#include <limits>

using skyhaul::engine::DataConnection;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);

    // A restart offset in decimal, with anything that is not a digit after it, reads back as that number.
    const qint64 offset = data.ConsumeIntegralInRange<qint64>(std::numeric_limits<qint64>::min() + 1,
                                                              std::numeric_limits<qint64>::max());
    std::string tail = data.ConsumeRandomLengthString(16);
    if (!tail.empty() && tail[0] >= '0' && tail[0] <= '9')
        tail[0] = ' ';
    FUZZ_CHECK(DataConnection::restartOffset(QString::number(offset) +
                                             QString::fromLatin1(tail.data(), qsizetype(tail.size()))) ==
               offset);

    // Any text: no crash, and the sign is the text's.
    const QString startByte = skyhaul::fuzz::consumeText(data, 32);
    const qint64 any = DataConnection::restartOffset(startByte);
    FUZZ_CHECK(startByte.startsWith(QLatin1Char('-')) ? any <= 0 : any >= 0);

    // A size written as a server's SIZE reply reads back as that size; any other reply line gives a size
    // that is not negative, or none.
    const qint64 fileSize = data.ConsumeIntegralInRange<qint64>(0, std::numeric_limits<qint64>::max());
    const auto sizeOf = [](const QByteArray& line) {
        skyhaul::engine::ReplyJudge judge;
        judge.start(false);
        judge.judge(line);
        return skyhaul::engine::sizeOfReply(judge.reply());
    };
    FUZZ_CHECK(sizeOf("213 " + QByteArray::number(fileSize)) == fileSize);
    const std::string sizeLine = data.ConsumeRandomLengthString(32);
    const std::optional<qint64> anySize = sizeOf(QByteArray(sizeLine.data(), qsizetype(sizeLine.size())));
    FUZZ_CHECK(!anySize || *anySize >= 0);

    const std::string rest = data.ConsumeRemainingBytesAsString();
    const QByteArray reply(rest.data(), qsizetype(rest.size()));
    quint32 address = 0;
    quint16 port = 0;
    if (!DataConnection::parsePassiveReply(reply, address, port))
        return 0;
    const QByteArray again = "227 Entering Passive Mode (" + QByteArray::number(address >> 24) + ',' +
                             QByteArray::number((address >> 16) & 0xFF) + ',' +
                             QByteArray::number((address >> 8) & 0xFF) + ',' +
                             QByteArray::number(address & 0xFF) + ',' + QByteArray::number(port >> 8) + ',' +
                             QByteArray::number(port & 0xFF) + ").";
    quint32 address2 = 0;
    quint16 port2 = 0;
    FUZZ_CHECK(DataConnection::parsePassiveReply(again, address2, port2));
    FUZZ_CHECK(address2 == address && port2 == port);
    return 0;
}
