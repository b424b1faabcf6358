#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace skyhaul {

/**
 * The speed of a run as the user reads it: bytes per second over the last few seconds, not since the run
 * began, so a transfer that slows down or stalls shows it at once. Fed the bytes the run has moved so far
 * with the time they were counted (a monotonic clock in milliseconds); it holds a bounded number of
 * samples however often it is fed.
 */
class TransferRate {
public:
    /// The speed is measured over about this much of the recent past.
    static constexpr qint64 WindowMs = 5000;
    /// Less than this measured: no speed yet.
    static constexpr qint64 MinSpanMs = 1000;
    /// Samples are kept at least this far apart; the newest count is always used.
    static constexpr qint64 SampleSpacingMs = 250;
    /// The most samples kept at once.
    static constexpr qsizetype MaxSamples = WindowMs / SampleSpacingMs + 2;

    /// Forgets every sample: the next run measures from scratch.
    void reset();
    /// `bytes` moved in all by `nowMs`. A count below the last one, or an earlier time, starts anew.
    void add(qint64 nowMs, qint64 bytes);
    /// Bytes per second; nothing until MinSpanMs have been measured.
    std::optional<double> bytesPerSecond() const;
    /// Whole seconds (rounded up) until `remaining` more bytes have moved at the current speed; nothing
    /// while the speed is unknown or 0.
    std::optional<qint64> secondsLeft(qint64 remaining) const;
    /// The samples kept now.
    qsizetype sampleCount() const { return m_samples.size(); }

private:
    struct Sample {
        qint64 ms;
        qint64 bytes;
    };
    QList<Sample> m_samples; ///< oldest first; the first one may lie just before the window
    Sample m_newest{0, 0};   ///< the last count fed
};

/// The speed as the status shows it: FormatSize of the bytes per second followed by "/s" ("1.5MB/s").
QString formatSpeed(double bytesPerSecond);
/// The time left as the status shows it: "h:mm:ss" from an hour on, "m:ss" below; "--" when unknown.
QString formatTimeLeft(std::optional<qint64> seconds);

} // namespace skyhaul
