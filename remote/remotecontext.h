#pragma once

#include "store/texts.h"

#include <QString>

class TSiteManList;

namespace skyhaul {

class PaneHost;
struct ConfigRecord;
struct ListingOrder;

/// What a remote tab is handed by whoever creates it (the main window, or a test), as a local tab is.
struct RemoteTabContext {
    /// Where the data files live: remote favorites, QuickConnectList.dat.
    QString appFolder;
    /// The language of the tab's captions and of the dialogs it opens; applyLanguage() replaces it.
    Texts texts;
    /// The program-wide quick-connect list, owned by the creator and outliving the tab.
    TSiteManList* quickConnectList = nullptr;
    /// TempFolder(): where temporary copies go, with its trailing separator.
    QString tempFolder;
    /// Reaches the tab active in the other pane; may be null (then there is none).
    PaneHost* paneHost = nullptr;
    /// The program's settings record, owned by the creator and outliving the tab; read when a setting is
    /// used, so a change in the configuration dialog takes effect at once. Never null.
    ConfigRecord* config = nullptr;
    /// The order of the listings, shared by the creator's remote tabs and outliving them. Never null.
    ListingOrder* listingOrder = nullptr;
};

} // namespace skyhaul
