#include "ui/fileicons.h"

#include "ui/themedicon.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QStyle>

namespace skyhaul {

FileIcons& FileIcons::instance()
{
    static FileIcons icons;
    return icons;
}

int FileIcons::add(const QIcon& icon)
{
    m_icons.append(icon);
    return int(m_icons.size()) - 1;
}

int FileIcons::FileIconIndex(const QString& name)
{
    const QString base = name.section(QLatin1Char('/'), -1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? base.mid(dot + 1).toLower() : QString();
    if (const auto it = m_byExtension.constFind(extension); it != m_byExtension.constEnd())
        return *it;

    QIcon icon;
    if (!extension.isEmpty()) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(base, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
    }
    if (icon.isNull())
        icon = QFileIconProvider().icon(QFileIconProvider::File);
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    const int index = add(icon);
    m_byExtension.insert(extension, index);
    return index;
}

QIcon FileIcons::icon(int index) const
{
    return index >= 0 && index < m_icons.size() ? m_icons.at(index) : QIcon();
}

int FileIcons::FolderOpenIcon()
{
    if (m_folderOpen < 0)
        m_folderOpen = add(themedIcon("folder-open", QStyle::SP_DirOpenIcon));
    return m_folderOpen;
}

int FileIcons::FolderClosedIcon()
{
    if (m_folderClosed < 0)
        m_folderClosed = add(themedIcon("folder", QStyle::SP_DirClosedIcon));
    return m_folderClosed;
}

int FileIconIndex(const QString& name)
{
    return FileIcons::instance().FileIconIndex(name);
}

} // namespace skyhaul
