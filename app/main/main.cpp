#include "app/main/desktopidentity.h"
#include "app/main/skyhaulapplication.h"
#include "app/mainwindow/mainwindow.h"
#include "store/io/appfolder.h"
#include "store/texts.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    TSkyhaulApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skyhaul"));
    skyhaul::applyDesktopIdentity();
    const QString appFolder = skyhaul::applicationFolder();
    skyhaul::Texts::setShippedFolders(
        skyhaul::Texts::shippedFoldersFor(QCoreApplication::applicationDirPath()));
    if (const QString note = skyhaul::firstStartNote(appFolder, QCoreApplication::applicationDirPath());
        !note.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(note));
    TfrmSkyhaulMain window(MainWindowOptions::forProgram(appFolder));
    window.show();
    return app.exec();
}
