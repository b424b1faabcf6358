#pragma once

#include <QString>
#include <QStringList>

namespace skyhaul {

/// The name of the environment variable that names the data folder.
inline constexpr char DataDirVariable[] = "SKYHAUL_DATA_DIR";
/// The command-line option that names the data folder ("--data-dir FOLDER" or "--data-dir=FOLDER").
inline constexpr char DataDirOption[] = "--data-dir";
/// A file of this name beside the executable keeps the data files there (a portable copy of the program).
inline constexpr char PortableMarker[] = "skyhaul-portable";

/// What decides where the data files live.
struct AppFolderSources {
    QString dataDirOption;  ///< the value of --data-dir; empty when not given
    QString dataDirEnv;     ///< the value of SKYHAUL_DATA_DIR; empty when not set
    QString exeFolder;      ///< the folder of the executable
    QString userDataFolder; ///< the user's application data folder
};

/**
 * The folder every data file lives in for this start: the folder given by --data-dir, else the one in
 * SKYHAUL_DATA_DIR, else the executable's folder when it holds the portable marker and is writable, else the
 * user's application data folder (created when missing). Call after the QCoreApplication exists. Classes that
 * read or write data files take the folder as a parameter; only the program's start asks for this one.
 */
QString applicationFolder();

/**
 * The choice behind applicationFolder(). A folder given by option or environment is made absolute against
 * the current folder. A build folder or an installed program's bin folder never holds the data files unless
 * the marker says so: deleting a build folder must not take the user's sites with it, and a system folder
 * such as /usr/bin is writable for root.
 */
QString chooseApplicationFolder(const AppFolderSources& sources);

/// The value of the last --data-dir among the program's arguments (the program's name first); empty when
/// there is none or it has no value.
QString dataDirArgument(const QStringList& arguments);

} // namespace skyhaul
