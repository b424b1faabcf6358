#pragma once

#include "engine/component/ftpengine.h"

#include <QStringList>

namespace skyhaul::test {

/// Runs `call` and returns the engine failure it raised: its code and message (code -1 when none).
template <typename Call> std::pair<int, QString> failureOf(Call call)
{
    try {
        call();
    } catch (const EFtpEngine& e) {
        return {e.Code(), e.Message()};
    }
    return {-1, QString()};
}

/// Records every event of an engine as a line of text, in order, for assertions on what happened.
class EngineRecorder {
public:
    explicit EngineRecorder(TFtpEngine& engine)
    {
        engine.OnConnectionStatus = [this](const QString& event, int code, const QString& description) {
            events << QStringLiteral("status %1 %2 %3").arg(event).arg(code).arg(description);
        };
        engine.OnDirList = [this](const QString&, const QString& name, bool isDir, qint64 size,
                                  const QString&) {
            names << name;
            if (isDir)
                dirs << name;
            sizes << size;
            if (recordListingEvents)
                events << QStringLiteral("dir");
        };
        engine.OnEndTransfer = [this](int direction) { events << QStringLiteral("end %1").arg(direction); };
        engine.OnError = [this](int code, const QString& text) {
            events << QStringLiteral("error %1 %2").arg(code).arg(text);
            errors << code;
        };
        engine.OnPITrail = [this](int direction, const QString& message) {
            events << QStringLiteral("trail %1 %2").arg(direction).arg(message);
            if (direction == 0)
                commands << message;
        };
        engine.OnStartTransfer = [this](int direction) {
            events << QStringLiteral("start %1").arg(direction);
        };
        engine.OnTransfer = [this](int direction, qint64 bytes, int percent, const QByteArray& text) {
            ++transferEvents;
            lastBytes = bytes;
            lastPercent = percent;
            received += text;
            if (transferHook)
                transferHook(direction, bytes);
            if (events.isEmpty() || !events.last().startsWith(QLatin1String("transfer")))
                events << QStringLiteral("transfer %1").arg(direction);
        };
    }

    /// The events without the reply texts, for order checks: "trail 1" keeps only its code.
    QStringList shape() const
    {
        QStringList out;
        for (const QString& e : events) {
            if (e.startsWith(QLatin1String("trail 1 ")))
                out << QStringLiteral("reply ") + e.mid(8, 3);
            else if (e.startsWith(QLatin1String("trail 0 ")))
                out << QStringLiteral("command ") + e.mid(8).section(QLatin1Char(' '), 0, 0);
            else
                out << e;
        }
        return out;
    }

    void clear()
    {
        events.clear();
        commands.clear();
        names.clear();
        dirs.clear();
        sizes.clear();
        errors.clear();
        received.clear();
        transferEvents = 0;
    }

    QStringList events;
    QStringList commands;
    QStringList names;
    QStringList dirs;
    QList<qint64> sizes;
    QList<int> errors;
    QByteArray received;
    int transferEvents = 0;
    qint64 lastBytes = 0;
    int lastPercent = 0;
    bool recordListingEvents = false;
    std::function<void(int, qint64)> transferHook;
};

} // namespace skyhaul::test
