#include "app/main/skyhaulapplication.h"
#include "app/mainwindow/mainwindow.h"
#include "store/io/appfolder.h"

int main(int argc, char* argv[])
{
    TSkyhaulApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skyhaul"));
    TfrmSkyhaulMain window(MainWindowOptions::forProgram(skyhaul::applicationFolder()));
    window.show();
    return app.exec();
}
