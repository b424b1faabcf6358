#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace skyhaul {

/// What a transfer does with a local or remote file that already exists; stored as its number.
enum class FileExists : qint32 { Ask = 0, Overwrite = 1, Resume = 2, Skip = 3 };
/// What a double-click on a remote file does; stored as its number.
enum class DoubleClick : qint32 { View = 0, Edit = 1, Open = 2 };
/// The editor that Edit starts; stored as its number.
enum class Editor : qint32 { AssociatedProgram = 0, Notepad = 1, EditorPath = 2 };

/**
 * The settings record, stored as the 564 packed bytes of "config.dat". The main window owns the program's
 * one record and hands it to the tabs and dialogs, which read and write its fields in place.
 */
struct ConfigRecord {
    /// Size of "config.dat"; a file of any other size counts as missing.
    static constexpr int RecordSize = 564;

    QString Language = QStringLiteral("English"); ///< base name of the language file
    qint32 MainWidth = -1;                        ///< -1: the window was never saved
    qint32 MainHeight = -1;
    qint32 MainLeft = -1;
    qint32 MainTop = -1;
    double SplitterRatio = 0.5;    ///< left pane width / client width
    qint32 BottomPanelHeight = 0;  ///< remote tab bottom panel; used when greater than 24
    bool ShowMainCaption = true;   ///< main toolbar captions shown
    bool ShowLocalCaption = true;  ///< local tab toolbar captions shown
    bool ShowRemoteCaption = true; ///< remote tab toolbar captions shown
    FileExists FileExistsAction = FileExists::Ask;
    DoubleClick DoubleClickAction = DoubleClick::Open;
    bool StoreQuickConnectPassword = false;
    Editor EditorChoice = Editor::Notepad;
    QString EditorPath;
    qint32 LeftActiveTab = 0;
    qint32 RightActiveTab = 0;
    // Listing and transfer choices handed to each connect. They share one byte of flags, the last byte of
    // the Language slot, which older readers ignore and older writers leave 0: 0 is therefore the defaults.
    // A language name of the full 255 bytes (no language file can have one) takes that byte; the record then
    // loads these with their defaults.
    bool UseMlsd = true;       ///< list with MLSD where the server offers it
    bool KeepFileTimes = true; ///< downloads and uploads keep the modification time (MDTM, MFMT)
    bool ListHidden = false;   ///< list with "LIST -a"

    /// "config.dat" in the given folder.
    static QString filePath(const QString& appFolder);

    /// Sets every field to its first-start value except BottomPanelHeight, LeftActiveTab and
    /// RightActiveTab, which keep what they hold.
    void applyDefaults();

    /// The 564 bytes of the file. Texts are cut to 255 bytes.
    QByteArray toBytes() const;

    /// Reads a record from exactly 564 bytes; nullopt for any other size. Values no reader could use (a
    /// splitter ratio that is not a number in [0, 1], a choice outside its list) are replaced by defaults.
    static std::optional<ConfigRecord> fromBytes(QByteArrayView bytes);

    /// Loads "config.dat" from the folder. A missing, unreadable or wrongly sized file gives the defaults
    /// (applyDefaults()). Returns true when the file was read.
    bool load(const QString& appFolder);

    /**
     * Writes the record to "config.dat" through the atomic save. The caller copies the window geometry and
     * the active tabs into the record first. Throws FileIoError.
     */
    void save(const QString& appFolder) const;

    bool operator==(const ConfigRecord&) const = default;
};

} // namespace skyhaul
