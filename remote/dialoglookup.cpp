#include "remote/dialoglookup.h"

#include "app/core/texts.h"
#include "app/ui/applysection.h"
#include "remote/remoteshared.h"
#include "sites/configrecord.h"

#include <QApplication>

namespace skyhaul {

TextLookup dialogLookup(const char* section)
{
    const Texts texts(remoteAppFolder(), config().Language);
    const QString name = QString::fromLatin1(section);
    return
        [texts, name](const QString& key, const QString& english) { return texts.text(name, key, english); };
}

QFont dialogFont(const char* section)
{
    const Texts texts(remoteAppFolder(), config().Language);
    return fontFor(texts.font(QString::fromLatin1(section)), QApplication::font());
}

} // namespace skyhaul
