#include "engine/control/namecodec.h"

namespace skyhaul::engine {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(QChar c)
{
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

/// Length of the well-formed UTF-8 sequence at `p` (overlongs, surrogates and values past U+10FFFF are
/// not well-formed); 0 when there is none.
qsizetype utf8SequenceAt(const unsigned char* p, qsizetype left)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0)
            low = 0xA0;
        else if (b == 0xED)
            high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0)
            low = 0x90;
        else if (b == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return length;
}

/// UTF-8 with every byte outside a well-formed sequence kept as an escape.
QString decodeUtf8Escaped(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < size) {
        const qsizetype length = utf8SequenceAt(p + i, size - i);
        if (length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.constData() + runStart, i - runStart);
        text += QChar(char16_t(kEscapeBase + p[i]));
        runStart = ++i;
    }
    text += QString::fromUtf8(bytes.constData() + runStart, size - runStart);
    return text;
}

QByteArray encodeIn(NameCodec::Form form, QStringView text)
{
    return form == NameCodec::Form::Utf8 ? text.toUtf8() : text.toLocal8Bit();
}

} // namespace

QString NameCodec::decode(QByteArrayView bytes) const
{
    // Most names are plain ASCII, the same in every form.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    // Qt's local 8-bit encoding is UTF-8 on Unix whatever the locale, so both forms read names as UTF-8.
    return decodeUtf8Escaped(bytes);
}

QByteArray NameCodec::encode(const QString& text) const
{
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Only a lone low surrogate is an escape; one after a high surrogate is half of a character.
        if (!isEscape(text.at(i)) || (i > 0 && text.at(i - 1).isHighSurrogate()))
            continue;
        bytes += encodeIn(m_form, QStringView(text).mid(runStart, i - runStart));
        bytes += char(text.at(i).unicode() - kEscapeBase);
        runStart = i + 1;
    }
    if (runStart == 0)
        return encodeIn(m_form, text);
    bytes += encodeIn(m_form, QStringView(text).mid(runStart));
    return bytes;
}

} // namespace skyhaul::engine
