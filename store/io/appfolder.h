#pragma once

#include <QString>

namespace skyhaul {

/**
 * The folder every data file lives in: the executable's folder when it is writable, otherwise the user's
 * application data folder (created when missing). Call after the QCoreApplication exists. Classes that read
 * or write data files take the folder as a parameter; only the program's start asks for this one.
 */
QString applicationFolder();

} // namespace skyhaul
