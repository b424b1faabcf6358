// Shows a remote tab connected to a local pyftpdlib server, opens a folder, and saves a picture of it.
// Usage: remote_screenshot OUTPUT.png [COLUMN | login]   (under Xvfb: DISPLAY=:99; offscreen works too)
// With COLUMN the list is ordered by that column, descending (two clicks on its header); with "login" the
// picture shows the tab before it connects.
#include "remote/remoteframe.h"
#include "store/configrecord.h"
#include "store/sitestore.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testhelpers.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

using namespace skyhaul;
using namespace skyhaul::test;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/remote-tab.png");

    FtpServer server({.kind = ServerKind::Pyftpdlib});
    if (!server.start()) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    server.putFile(QStringLiteral("pub/incoming/upload.tmp"), "u");
    server.putFile(QStringLiteral("pub/README"), "Welcome to the test server.\n");
    server.putFile(QStringLiteral("pub/release-1.0.tar.gz"), QByteArray(1536 * 1024, 'r'));
    server.putFile(QStringLiteral("pub/notes.txt"), QByteArray(3200, 'n'));
    server.putFile(QStringLiteral("pub/photo.jpg"), QByteArray(250000, 'p'));
    server.putFile(QStringLiteral("pub/setup.sh"), "#!/bin/sh\n");
    server.makeDir(QStringLiteral("pub/archive"));
    server.makeDir(QStringLiteral("docs/manual"));
    server.putFile(QStringLiteral("index.html"), "<html></html>");

    QTemporaryDir folder;
    TSiteManList quickConnect;
    TRemoteFrame tab({.appFolder = folder.path(),
                      .texts = Texts(folder.path(), config().Language),
                      .quickConnectList = &quickConnect,
                      .tempFolder = folder.filePath(QStringLiteral("skTemp/"))});
    tab.setWindowTitle(QStringLiteral("Skyhaul - remote tab"));
    tab.resize(1000, 680);
    tab.show();
    tab.widgets().HostEdit->setEditText(server.host());
    tab.widgets().PortEdit->setText(QString::number(server.port()));
    tab.widgets().IDEdit->setText(server.user());
    tab.widgets().PassEdit->setText(server.password());
    if (argc > 2 && qstrcmp(argv[2], "login") == 0) {
        waitFor([] { return false; }, 300);
        const bool saved = tab.grab().save(output);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(output));
        return saved ? 0 : 1;
    }
    tab.ConnectBtnClick();
    if (!tab.engine()->Connected()) {
        std::fprintf(stderr, "not connected\n");
        return 1;
    }
    tab.GoToPath(QStringLiteral("/pub"));
    if (argc > 2) { // a column
        const int column = QString::fromLocal8Bit(argv[2]).toInt();
        tab.rFileListViewColumnClick(column);
        tab.rFileListViewColumnClick(column);
    }
    tab.widgets().rFileListView->setCurrentIndex(tab.widgets().rFileListView->model()->index(3, 0));
    waitFor([] { return false; }, 300); // let it paint
    const bool saved = tab.grab().save(output);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(output));
    return saved ? 0 : 1;
}
