#pragma once

#include <QString>
#include <QStringList>

namespace skyhaul {

/**
 * Reads a line-list file (favorites): text in the locale's 8-bit encoding, one entry per line. Lines may
 * end in CR LF, LF or CR; a final line without an end is kept; empty lines in the middle are kept. A missing
 * file gives an empty list. Throws FileIoError when an existing file cannot be read or is larger than the
 * reading limit; the file is then held (heldfiles) until it is read whole, and writeLineList() refuses it.
 */
QStringList readLineList(const QString& path);

/// True when the text can be stored as one line (it holds no CR, LF or NUL).
bool isStorableLine(const QString& text);

/**
 * Writes each line followed by CR LF through the atomic save; an empty list gives a 0-byte file. Lines that
 * are not storable are left out, so a name holding a line break cannot split into two entries.
 * Throws FileIoError, also for a held file (release it first when the user chose to replace it).
 */
void writeLineList(const QString& path, const QStringList& lines);

/// Removes the first line equal to text, ignoring letter case. Returns whether one was removed.
bool removeFirstMatch(QStringList& lines, const QString& text);

/**
 * Removes one shown entry of a list: the line at index when it still holds exactly text (the row shown for
 * that line), otherwise the first line equal to text, then the first equal ignoring case. Returns whether a
 * line was removed.
 */
bool removeLineOf(QStringList& lines, qsizetype index, const QString& text);

/// True when two menu captions name the same entry: letter case and "&" accelerator marks are ignored.
bool sameMenuCaption(const QString& a, const QString& b);

/// The lines a favorites menu shows: each line once, the first of those with the same caption.
QStringList distinctMenuCaptions(const QStringList& lines);

/// "LocalFavorites.dat": local favorite folders shared by every local tab.
class LocalFavorites {
public:
    static QString filePath(const QString& appFolder);
    /// The file's lines; empty when it is missing.
    static QStringList load(const QString& appFolder);
    /// Replaces the file with these lines.
    static void save(const QString& appFolder, const QStringList& lines);
};

/**
 * "RemoteFavorites/<user>@<host>.dat": remote favorite folders of one user on one host. The user and the
 * host are the trimmed texts the tab connected with. In the file name, "%", "/", "\", ":", "@" and control
 * characters are written as "%" and two hexadecimal digits, so every user and host pair has a file of its
 * own, directly inside the folder.
 *
 * Earlier versions escaped only "%", "/" and "\". A file under such a name is still read for its user
 * and host (when the host holds no "@", which no host that could log on does) until the next save moves the
 * favorites to the current name.
 */
class RemoteFavorites {
public:
    /// The "RemoteFavorites" folder of the application folder.
    static QString folderPath(const QString& appFolder);
    /// File name (without folder) for user and host.
    static QString fileName(const QString& user, const QString& host);
    static QString filePath(const QString& appFolder, const QString& user, const QString& host);
    /// The file's lines; empty when it is missing.
    static QStringList load(const QString& appFolder, const QString& user, const QString& host);
    /// Creates the folder when needed and replaces the file with these lines.
    static void save(const QString& appFolder, const QString& user, const QString& host,
                     const QStringList& lines);
    /// Names (with extension) of the entries matching "*.dat" in the folder, files and folders, in the
    /// order the directory gives them; empty when the folder is missing.
    static QStringList siteFileNames(const QString& appFolder);
    /// Full path, inside the folder, of a name listed by siteFileNames(); empty for a name that is not a
    /// plain file name ("/", "\", "." or "..").
    static QString siteFilePath(const QString& appFolder, const QString& siteFileName);
    /// Deletes a listed site's favorites file. A file already gone is not an error. Throws FileIoError when
    /// an existing file cannot be deleted.
    static void removeSite(const QString& appFolder, const QString& siteFileName);
};

} // namespace skyhaul
