#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>

namespace skyhaul {

/**
 * The process's icon registry: small icons by index, looked up by file name alone (the extension's MIME
 * type and the icon theme), never by touching a file. One index per extension.
 */
class FileIcons {
public:
    static FileIcons& instance();

    /// The index of the icon for a file of this name (only the name part of a path counts).
    int FileIconIndex(const QString& name);
    /// The icon at index; a null icon for an index never handed out.
    QIcon icon(int index) const;

    /// The open and the closed folder icons.
    int FolderOpenIcon();
    int FolderClosedIcon();

private:
    FileIcons() = default;
    int add(const QIcon& icon);

    QList<QIcon> m_icons;
    QHash<QString, int> m_byExtension;
    int m_folderOpen = -1;
    int m_folderClosed = -1;
};

/// The registry's FileIconIndex().
int FileIconIndex(const QString& name);

} // namespace skyhaul
