#include "engine/control/features.h"

namespace skyhaul::engine {

Features Features::fromReply(const Reply& reply)
{
    Features features;
    if (!reply.positive())
        return features;
    features.answered = true;
    // The first and the last line carry the code; the lines between them name one feature each, after a
    // blank. Some servers omit the blank: a line that starts with the reply's code is not a feature line.
    for (qsizetype i = 1; i + 1 < reply.lines.size(); ++i) {
        const QString line = reply.lines.at(i).trimmed();
        if (line.isEmpty() || replyCode(line.toLatin1()) == reply.code)
            continue;
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        const QString keyword = (blank < 0 ? line : line.left(blank)).toUpper();
        const QString rest = blank < 0 ? QString() : line.mid(blank + 1).trimmed();
        features.entries.insert(keyword, rest);
    }
    return features;
}

QString Features::mlstFactsToEnable(const QStringList& wanted) const
{
    QStringList chosen;
    bool change = false;
    for (const QString& fact :
         parameters(QStringLiteral("MLST")).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const bool on = fact.endsWith(QLatin1Char('*'));
        const QString name = on ? fact.chopped(1) : fact;
        if (!wanted.contains(name, Qt::CaseInsensitive))
            continue;
        chosen << name; // as the server spells it
        change = change || !on;
    }
    return change ? chosen.join(QLatin1Char(';')) + QLatin1Char(';') : QString();
}

} // namespace skyhaul::engine
