#pragma once

#include <QString>

namespace skyhaul {

/**
 * The folder every data file lives in: the executable's folder when it is writable and the program is not an
 * installed one, otherwise the user's application data folder (created when missing). Call after the
 * QCoreApplication exists. Classes that read or write data files take the folder as a parameter; only the
 * program's start asks for this one.
 */
QString applicationFolder();

/**
 * The choice behind applicationFolder(): exeFolder when it is writable and holds no installed program,
 * otherwise userDataFolder. A program counts as installed when its desktop entry (appId + ".desktop") sits in
 * share/applications beside the executable's bin folder: a system folder such as /usr/bin is writable for
 * root, and data files must not land there.
 */
QString chooseApplicationFolder(const QString& exeFolder, const QString& userDataFolder,
                                const QString& appId);

} // namespace skyhaul
