// The speed and time left of a run's status, fed byte counts at the times of a test clock.
#include "transfer/transferrate.h"

#include <QLocale>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

namespace {

/// A sample for the rate: at `ms`, `bytes` moved in all.
struct At {
    qint64 ms;
    qint64 bytes;
};

} // namespace

Q_DECLARE_METATYPE(QList<At>)
Q_DECLARE_METATYPE(std::optional<qint64>)

class TestTransferRate : public QObject {
    Q_OBJECT

    /// Samples every `stepMs` from `fromMs` to `toMs` (inclusive) at `bytesPerSecond`, from `bytes` on.
    static QList<At> steady(qint64 fromMs, qint64 toMs, qint64 stepMs, qint64 bytesPerSecond, qint64 bytes)
    {
        QList<At> samples;
        for (qint64 ms = fromMs; ms <= toMs; ms += stepMs)
            samples.append({ms, bytes + (ms - fromMs) * bytesPerSecond / 1000});
        return samples;
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void speedAndTimeLeft_data()
    {
        QTest::addColumn<QList<At>>("samples");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<double>("speed"); ///< -1: not known yet
        QTest::addColumn<QString>("timeLeft");

        QTest::newRow("nothing measured") << QList<At>() << qint64(1000) << -1.0 << u"--"_s;
        QTest::newRow("one sample") << QList<At>{{0, 0}} << qint64(1000) << -1.0 << u"--"_s;
        QTest::newRow("under a second measured")
            << steady(0, 900, 100, 1000000, 0) << qint64(1000) << -1.0 << u"--"_s;
        QTest::newRow("steady for a second")
            << steady(0, 1000, 100, 1000000, 0) << qint64(3000000) << 1000000.0 << u"0:03"_s;
        QTest::newRow("a part second counts as a whole one")
            << steady(0, 2000, 40, 2048, 0) << qint64(2049) << 2048.0 << u"0:02"_s;
        // Fast for a minute, then slow for six seconds: only the slow part counts.
        QTest::newRow("the last seconds, not since the start")
            << steady(0, 60000, 50, 10000000, 0) + steady(60050, 66050, 50, 100000, 600000000)
            << qint64(6000000) << 100000.0 << u"1:00"_s;
        QTest::newRow("a stall ends at 0 and no time left can be told")
            << steady(0, 3000, 100, 500000, 0) + steady(3100, 9100, 1000, 0, 1500000) << qint64(100) << 0.0
            << u"--"_s;
        QTest::newRow("hours") << steady(0, 5000, 500, 1000, 0) << qint64(3725000) << 1000.0 << u"1:02:05"_s;
        QTest::newRow("nothing left") << steady(0, 2000, 500, 1000, 0) << qint64(0) << 1000.0 << u"0:00"_s;
        // A new run's counts start low again: the old run's samples are not mixed in.
        QTest::newRow("a lower count starts anew")
            << steady(0, 5000, 100, 5000000, 0) + steady(5100, 5600, 100, 1000, 0) << qint64(1000) << -1.0
            << u"--"_s;
    }

    void speedAndTimeLeft()
    {
        QFETCH(QList<At>, samples);
        QFETCH(qint64, remaining);
        QFETCH(double, speed);
        QFETCH(QString, timeLeft);
        TransferRate rate;
        for (const At& at : samples)
            rate.add(at.ms, at.bytes);
        const std::optional<double> measured = rate.bytesPerSecond();
        if (speed < 0) {
            QVERIFY(!measured);
        } else {
            QVERIFY(measured);
            QVERIFY2(qAbs(*measured - speed) <= speed / 100 + 1, qPrintable(QString::number(*measured)));
        }
        QCOMPARE(formatTimeLeft(rate.secondsLeft(remaining)), timeLeft);
    }

    void resetForgetsTheRun()
    {
        TransferRate rate;
        for (const At& at : steady(0, 3000, 100, 1000000, 0))
            rate.add(at.ms, at.bytes);
        QVERIFY(rate.bytesPerSecond());
        rate.reset();
        QVERIFY(!rate.bytesPerSecond());
        rate.add(10000, 5000000);
        rate.add(10500, 5000000);
        QVERIFY(!rate.bytesPerSecond());
    }

    void samplesStayBounded()
    {
        // A report per block of a fast transfer: the samples kept stay few, the speed right.
        TransferRate rate;
        qint64 bytes = 0;
        for (qint64 us = 0; us <= 20000000; us += 50) {
            bytes += 100;
            rate.add(us / 1000, bytes);
        }
        QVERIFY(rate.bytesPerSecond());
        QVERIFY2(qAbs(*rate.bytesPerSecond() - 2000000.0) < 20000.0,
                 qPrintable(QString::number(*rate.bytesPerSecond())));
        QVERIFY2(rate.sampleCount() <= TransferRate::MaxSamples,
                 qPrintable(QString::number(rate.sampleCount())));
    }

    void texts_data()
    {
        QTest::addColumn<double>("bytesPerSecond");
        QTest::addColumn<std::optional<qint64>>("seconds");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<QString>("timeLeft");
        QTest::newRow("bytes, unknown time") << 512.0 << std::optional<qint64>() << u"512B/s"_s << u"--"_s;
        QTest::newRow("kilobytes, seconds") << 2047.6 << std::optional<qint64>(9) << u"2KB/s"_s << u"0:09"_s;
        QTest::newRow("megabytes, minutes")
            << 1572864.0 << std::optional<qint64>(600) << u"1.5MB/s"_s << u"10:00"_s;
        QTest::newRow("gigabytes, hours")
            << 1234567890.0 << std::optional<qint64>(36000) << u"1.15GB/s"_s << u"10:00:00"_s;
        QTest::newRow("a day and more stays in hours")
            << 0.0 << std::optional<qint64>(90061) << u"0B/s"_s << u"25:01:01"_s;
    }

    void texts()
    {
        QFETCH(double, bytesPerSecond);
        QFETCH(std::optional<qint64>, seconds);
        QFETCH(QString, speed);
        QFETCH(QString, timeLeft);
        QCOMPARE(formatSpeed(bytesPerSecond), speed);
        QCOMPARE(formatTimeLeft(seconds), timeLeft);
    }
};

QTEST_GUILESS_MAIN(TestTransferRate)
#include "tst_transferrate.moc"
