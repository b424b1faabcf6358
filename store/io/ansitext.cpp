#include "store/io/ansitext.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cstring>

namespace skyhaul {

QByteArray toAnsi(const QString& text, int maxBytes)
{
    QByteArray whole = text.toLocal8Bit();
    if (whole.size() <= maxBytes)
        return whole;

    // Grow the cut one grapheme at a time so "e" + combining accent or a surrogate pair stays whole.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    QByteArray kept;
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        const QByteArray piece = QStringView(text).mid(start, end - start).toLocal8Bit();
        if (kept.size() + piece.size() > maxBytes)
            break;
        kept += piece;
        start = end;
    }
    return kept;
}

QString fromAnsi(QByteArrayView bytes)
{
    return QString::fromLocal8Bit(bytes);
}

QString cutToSlot(const QString& text)
{
    return fromAnsi(toAnsi(text));
}

QString fromSlotBytes(QByteArrayView bytes)
{
    return cutToSlot(fromAnsi(bytes));
}

void writeTextSlot(char* slot, const QByteArray& bytes)
{
    const int length = std::min<int>(int(bytes.size()), MaxSlotTextBytes);
    std::memset(slot, 0, MaxSlotTextBytes + 1);
    slot[0] = char(static_cast<unsigned char>(length));
    std::memcpy(slot + 1, bytes.constData(), size_t(length));
}

QByteArray readTextSlot(const char* slot)
{
    const int length = static_cast<unsigned char>(slot[0]);
    return QByteArray(slot + 1, length);
}

} // namespace skyhaul
