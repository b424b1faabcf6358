// Tab layout files: any file gives a pane with a first tab; what was read, written and read again is the
// same; the favorites file a restored remote tab will use stays inside its folder.
#include "store/tablayoutfile.h"
#include "tests/fuzz/fuzzcheck.h"

using skyhaul::PaneLayout;
using skyhaul::TabLayout;
using skyhaul::TabLayoutFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(bytes), qsizetype(size));
    const TabLayout::Kind kind = size % 2 ? TabLayout::Kind::Remote : TabLayout::Kind::Local;
    const PaneLayout pane =
        TabLayoutFile::read(skyhaul::fuzz::writeScratchFile(QStringLiteral("LeftWindow.dat"), file), kind);
    FUZZ_CHECK(pane.fileExisted);
    FUZZ_CHECK(!pane.tabs.isEmpty() && pane.tabs.size() <= TabLayoutFile::MaxTabs);

    const QString saved = skyhaul::fuzz::scratchFolder() + QStringLiteral("/RightWindow.dat");
    TabLayoutFile::write(saved, pane.tabs);
    FUZZ_CHECK(TabLayoutFile::read(saved, kind).tabs == pane.tabs);

    for (const TabLayout& tab : pane.tabs)
        if (tab.kind == TabLayout::Kind::Remote)
            skyhaul::fuzz::checkFavoritesFile(skyhaul::fuzz::scratchFolder(), tab.user.trimmed(),
                                              tab.host.trimmed());
    return 0;
}
