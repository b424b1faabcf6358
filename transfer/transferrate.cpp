#include "transfer/transferrate.h"

#include "transfer/direntry.h"

#include <cmath>

namespace skyhaul {

void TransferRate::reset()
{
    m_samples.clear();
}

void TransferRate::add(qint64 nowMs, qint64 bytes)
{
    if (!m_samples.isEmpty() && (bytes < m_newest.bytes || nowMs < m_newest.ms))
        m_samples.clear();
    m_newest = {nowMs, bytes};
    if (m_samples.isEmpty() || nowMs - m_samples.last().ms >= SampleSpacingMs)
        m_samples.append(m_newest);
    // Keep the newest sample at or before the window's start: the span then covers the whole window.
    while (m_samples.size() >= 2 && m_samples[1].ms <= nowMs - WindowMs)
        m_samples.removeFirst();
}

std::optional<double> TransferRate::bytesPerSecond() const
{
    if (m_samples.isEmpty())
        return std::nullopt;
    const Sample& oldest = m_samples.first();
    const qint64 span = m_newest.ms - oldest.ms;
    if (span < MinSpanMs)
        return std::nullopt;
    return double(m_newest.bytes - oldest.bytes) * 1000.0 / double(span);
}

std::optional<qint64> TransferRate::secondsLeft(qint64 remaining) const
{
    const std::optional<double> rate = bytesPerSecond();
    if (!rate || *rate <= 0.0)
        return std::nullopt;
    if (remaining <= 0)
        return 0;
    return qint64(std::ceil(double(remaining) / *rate));
}

QString formatSpeed(double bytesPerSecond)
{
    return FormatSize(qRound64(bytesPerSecond)) + QStringLiteral("/s");
}

QString formatTimeLeft(std::optional<qint64> seconds)
{
    if (!seconds || *seconds < 0)
        return QStringLiteral("--");
    const qint64 hours = *seconds / 3600;
    const qint64 minutes = *seconds / 60 % 60;
    const qint64 rest = *seconds % 60;
    const QString secondsText = QStringLiteral("%1").arg(rest, 2, 10, QLatin1Char('0'));
    if (hours > 0)
        return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')).arg(secondsText);
    return QStringLiteral("%1:%2").arg(minutes).arg(secondsText);
}

} // namespace skyhaul
