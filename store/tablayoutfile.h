#pragma once

#include <QList>
#include <QString>

namespace skyhaul {

/// What a pane's tab layout file keeps of one tab. The password is never kept.
struct TabLayout {
    enum class Kind { Local, Remote };

    Kind kind = Kind::Local;
    int treeViewWidth = 150; ///< folder tree width, both kinds
    QString path;            ///< local: the folder its file list shows
    int bottomHeight = 110;  ///< remote: queue and log panel height
    QString host;            ///< remote: host box text
    QString user;            ///< remote: user box text ("ID")
    int port = 21;           ///< remote: port box as a number
    bool passive = true;
    int ssl = 3;       ///< remote: SSLCB index, 0 Auto, 1 Implicit, 2 Explicit, 3 None
    int transType = 0; ///< remote: 0 automatic, 1 ASCII, 2 binary

    /// A tab of this kind with every value at its default.
    static TabLayout ofKind(Kind kind);

    /// The port to save for a port box text: the whole number, or 21 when the text is not a port.
    static int portFromText(const QString& text);

    bool operator==(const TabLayout&) const = default;
};

/// The tabs to put into a pane: tabs[0] fills the pane's existing first sheet, the rest are new sheets.
struct PaneLayout {
    bool fileExisted = false;
    QList<TabLayout> tabs; ///< never empty
};

/**
 * "LeftWindow.dat" and "RightWindow.dat": an INI file with one section per tab, named by its position
 * ("0", "1", ...), holding "Type" and the values of its kind.
 */
class TabLayoutFile {
public:
    /// Most tabs restored per pane; further sections of a hand-edited file are ignored.
    static constexpr int MaxTabs = 100;

    static QString leftFilePath(const QString& appFolder);
    static QString rightFilePath(const QString& appFolder);

    /**
     * Reads a pane's layout. A missing file gives one tab of the pane's default kind (local on the left,
     * remote on the right). Otherwise section "0" fills the first sheet and every other section, in file
     * order, adds a tab; "Type" "Remote" gives a remote tab, anything else a local one; missing or bad
     * values take their defaults. A file without section "0" (empty or hand-edited) still gives the first
     * sheet a tab of the default kind.
     */
    static PaneLayout read(const QString& filePath, TabLayout::Kind defaultKind);

    /// Replaces the file with one section per tab, "0" upwards, through the atomic save. Throws FileIoError.
    static void write(const QString& filePath, const QList<TabLayout>& tabs);
};

} // namespace skyhaul
