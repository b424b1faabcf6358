#include "remote/dialoglookup.h"

#include "remote/remoteshared.h"
#include "store/configrecord.h"

namespace skyhaul {

SectionTexts dialogTexts(const SectionTable& table)
{
    return Texts(remoteAppFolder(), config().Language).section(table);
}

} // namespace skyhaul
