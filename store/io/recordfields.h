#pragma once

#include "store/io/ansitext.h"

#include <QString>
#include <QtEndian>

namespace skyhaul::record {

/// Fields of the fixed-size record files: 32-bit integers are little-endian, texts are length-prefixed
/// 256-byte slots in the locale's 8-bit encoding.
inline void putInt(char* record, int offset, qint32 value)
{
    qToLittleEndian(value, record + offset);
}

inline qint32 getInt(const char* record, int offset)
{
    return qFromLittleEndian<qint32>(record + offset);
}

inline void putText(char* record, int offset, const QString& text)
{
    writeTextSlot(record + offset, toAnsi(text));
}

inline QString getText(const char* record, int offset)
{
    return fromSlotBytes(readTextSlot(record + offset));
}

} // namespace skyhaul::record
