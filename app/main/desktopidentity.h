#pragma once

#include <QIcon>
#include <QString>

namespace skyhaul {

/// The application icon: the rendered sizes of the icon the desktop entry names (app/resources/skyhaul.svg).
QIcon applicationIcon();

/// Gives the application its icon (every window's default) and the name of its desktop entry, which a desktop
/// shell uses to match the window with its menu entry.
void applyDesktopIdentity();

/**
 * The lines a first start prints to tell the user where the data files go: empty when the folder already
 * holds the configuration ("config.dat"), which the program writes when it closes. When programFolder (the
 * executable's) is another folder that holds data files of an earlier start, a second line says how to
 * go on using them.
 */
QString firstStartNote(const QString& appFolder, const QString& programFolder = {});

} // namespace skyhaul
