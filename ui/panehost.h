#pragma once

#include <QString>

class QWidget;
class TFtpEngine;

namespace skyhaul {

/// What a tab may ask of the window that holds the two panes. The main window implements it; a tab is
/// given one when it is placed in a pane.
class PaneHost {
public:
    virtual ~PaneHost() = default;

    /// The current folder of the tab active in the pane other than `tab`'s, with its trailing separator,
    /// when that tab is a local tab; an empty string otherwise.
    virtual QString oppositeLocalPath(const QWidget* tab) const = 0;

    /// The engine of the tab active in the pane other than `tab`'s, when that tab is a remote tab; none
    /// otherwise.
    virtual TFtpEngine* oppositeRemoteEngine(const QWidget* tab) const = 0;
};

} // namespace skyhaul
