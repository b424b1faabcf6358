// Shows the main window at a given size with its remote tab connected to a local pyftpdlib server, in a
// language that ships with the program, and saves a picture of it; with "config" a picture of the
// configuration dialog opened from that window instead, with "login" the window before the tab connects.
// Usage: mainwindow_screenshot OUTPUT.png WIDTH HEIGHT [LANGUAGE] [config | login]
//        (under Xvfb: DISPLAY=:99; offscreen works too)
#include "app/mainwindow/mainwindow.h"
#include "app/mainwindow/panecontrol.h"
#include "app/mainwindow/remotetab.h"
#include "engine/component/ftpengine.h"
#include "store/configrecord.h"
#include "store/texts.h"
#include "tests/app/apptesthelpers.h"
#include "tests/support/ftpserver.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace skyhaul;
using namespace skyhaul::test;

namespace {

bool save(QWidget* widget, const QString& output)
{
    const bool saved = widget->grab().save(output);
    std::printf("%s %s (%dx%d)\n", saved ? "saved" : "could not save", qPrintable(output), widget->width(),
                widget->height());
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT.png WIDTH HEIGHT [LANGUAGE] [config | login]\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const QSize size(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
    const QString language = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral("English");
    const bool showConfig = argc > 5 && QByteArray(argv[5]) == "config";
    const bool beforeLogin = argc > 5 && QByteArray(argv[5]) == "login";
    Texts::setShippedFolders({QStringLiteral(SKYHAUL_SHIPPED_LANGUAGES)});

    FtpServer server({.kind = ServerKind::Pyftpdlib});
    if (!server.start()) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    server.putFile(QStringLiteral("pub/README"), "Welcome to the test server.\n");
    server.putFile(QStringLiteral("pub/release-1.0.tar.gz"), QByteArray(1536 * 1024, 'r'));
    server.putFile(QStringLiteral("pub/notes.txt"), QByteArray(3200, 'n'));
    server.makeDir(QStringLiteral("pub/archive"));
    server.makeDir(QStringLiteral("docs/manual"));

    QTemporaryDir folder;
    QTemporaryDir system;
    ConfigRecord stored;
    stored.Language = language;
    stored.save(folder.path());

    MainWindowOptions options;
    options.appFolder = folder.path();
    options.systemTempFolder = system.path();
    options.settingsFile = folder.filePath(QStringLiteral("gate.ini"));
    options.openUrl = [](const QUrl&) { return true; };
    options.askUpdate = [](const QString&, const QString&) { return false; };
    TfrmSkyhaulMain window(options);
    window.resize(size);
    window.show();
    if (beforeLogin) {
        for (QDeadlineTimer settle(500); !settle.hasExpired();)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        return save(&window, output) ? 0 : 1;
    }
    window.SiteHandOver({server.host(), server.user(), server.password(), server.port(), sslNone, true,
                         QStringLiteral("/pub")},
                        QString());
    RemoteTab* tab = window.PageControl2->sheet(0)->remoteTab();
    QDeadlineTimer deadline(20000);
    while (!(tab->engine()->Connected() && !tab->isBusy()) && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!tab->engine()->Connected()) {
        std::fprintf(stderr, "the remote tab did not connect\n");
        return 1;
    }
    // Let the layouts settle after the connected rows came up.
    for (QDeadlineTimer settle(500); !settle.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 50);

    if (!showConfig)
        return save(&window, output) ? 0 : 1;
    bool saved = false;
    ModalWatcher watcher([&](QDialog* dialog) {
        for (QDeadlineTimer settle(300); !settle.hasExpired();)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        saved = save(dialog, output);
        dialog->reject();
    });
    window.ConfigBtn->trigger();
    return saved ? 0 : 1;
}
