#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace skyhaul {

/// Longest text a record slot holds, in bytes of the locale's 8-bit encoding.
inline constexpr int MaxSlotTextBytes = 255;

/// The text in the locale's 8-bit encoding (UTF-8 here), cut to at most maxBytes. The cut falls between
/// two whole characters (grapheme clusters), never inside one.
QByteArray toAnsi(const QString& text, int maxBytes = MaxSlotTextBytes);

/// Decodes bytes of the locale's 8-bit encoding.
QString fromAnsi(QByteArrayView bytes);

/// The text as a record slot will keep it: cut to 255 bytes on a character boundary. Callers that put a
/// text into a record and want to show what will be stored use this.
QString cutToSlot(const QString& text);

/**
 * Text read from a record slot: decoded, then cut as a slot keeps it. Bytes the encoding cannot read (text
 * written in another code page) decode to U+FFFD, three bytes each, so a full slot can decode to more than a
 * slot holds; cutting here makes what was loaded the same as what saving it keeps.
 */
QString fromSlotBytes(QByteArrayView bytes);

/// Writes a 256-byte length-prefixed slot at slot[0..255]: a length byte, the bytes, zeros after them.
void writeTextSlot(char* slot, const QByteArray& bytes);

/// Reads the bytes of a 256-byte length-prefixed slot; bytes after the length are ignored.
QByteArray readTextSlot(const char* slot);

} // namespace skyhaul
