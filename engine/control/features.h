#pragma once

#include "engine/control/reply.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace skyhaul::engine {

/**
 * What a server says it supports in its answer to FEAT, as a value. A server that refuses FEAT (or was not
 * asked) supports nothing beyond the basic commands: every query answers false.
 */
struct Features {
    /// The answer was a positive reply: the server was asked and answered.
    bool answered = false;
    /// Keyword (upper case) to the rest of its line (trimmed, as sent: "type*;size*;" for MLST).
    QMap<QString, QString> entries;

    /// True when FEAT listed the keyword (any letter case).
    bool has(const QString& keyword) const { return entries.contains(keyword.toUpper()); }
    /// The text after the keyword, empty when there is none or the keyword is not listed.
    QString parameters(const QString& keyword) const { return entries.value(keyword.toUpper()); }

    bool mlst() const { return has(QStringLiteral("MLST")); }
    bool utf8() const { return has(QStringLiteral("UTF8")); }
    bool epsv() const { return has(QStringLiteral("EPSV")); }
    bool mdtm() const { return has(QStringLiteral("MDTM")); }
    bool mfmt() const { return has(QStringLiteral("MFMT")); }
    bool cpsv() const { return has(QStringLiteral("CPSV")); }
    bool sscn() const { return has(QStringLiteral("SSCN")); }

    /**
     * The argument of "OPTS MLST" that turns on every fact of @p wanted the server's MLST line offers, when
     * one of them is offered but off (no "*"); empty when nothing would change. Facts not wanted are left
     * out, so the server turns them off.
     */
    QString mlstFactsToEnable(const QStringList& wanted) const;

    /**
     * Reads a FEAT reply. The feature lines are the lines between the first and the last that start with
     * a blank; a reply without such lines (a single-line 211, a refusal) lists nothing.
     */
    static Features fromReply(const Reply& reply);
};

} // namespace skyhaul::engine
