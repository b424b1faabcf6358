#include "store/passwordscramble.h"

#include <array>
#include <bit>
#include <cstdint>

namespace skyhaul {

namespace {

constexpr std::array<std::uint8_t, 7> Key{'M', 'i', 'r', 'V', 'o', 'x', 'a'};

constexpr unsigned keySum()
{
    unsigned sum = 0;
    for (std::uint8_t k : Key)
        sum += k;
    return sum;
}

/// Rotation of the byte at zero-based index i.
constexpr int rotation(qsizetype i)
{
    return int((Key[size_t(i % qsizetype(Key.size()))] + keySum()) % 8);
}

/// Odd 1-based positions are zero-based even indexes.
QByteArray rotate(const QByteArray& in, bool scramble)
{
    QByteArray out(in.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(in[i]);
        const int r = rotation(i);
        const bool right = (i % 2 == 0) == scramble;
        out[i] = char(right ? std::rotr(byte, r) : std::rotl(byte, r));
    }
    return out;
}

} // namespace

QByteArray scramblePassword(const QByteArray& plain)
{
    return rotate(plain, true);
}

QByteArray unscramblePassword(const QByteArray& scrambled)
{
    return rotate(scrambled, false);
}

} // namespace skyhaul
