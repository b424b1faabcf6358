// Not a test: a remote tab under a real X server for dragging rows out of it by hand or with xdotool.
// Usage (under Xvfb: DISPLAY=:99): remote_dragcheck SECONDS
// Starts vsftpd with /pub/a.txt (1000 bytes) and /pub/sub/b.txt, shows a connected tab at the screen's top
// left with both rows of /pub selected, prints "row X Y" (the global centre of a.txt's row) and "ready",
// then every line of its log, and quits after SECONDS.
#include "remote/filelistmodel.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"

#include <QApplication>
#include <QItemSelectionModel>

#include <cstdio>

using namespace skyhaul;
using namespace skyhaul::test;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 60;
    FtpServer server({.kind = ServerKind::Vsftpd});
    if (!server.start() || !server.putFile(QStringLiteral("pub/a.txt"), patternBytes(1000, 1)) ||
        !server.putFile(QStringLiteral("pub/sub/b.txt"), "bee")) {
        std::fprintf(stderr, "the server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    TabEnvironment env;
    TRemoteFrame tab(env.context());
    tab.setGeometry(0, 0, 800, 600);
    tab.show();
    fillFields(tab, server.host(), server.port(), server.user(), server.password());
    tab.ConnectBtnClick();
    if (!tab.GoToPath(QStringLiteral("/pub")))
        return 1;
    QTreeView* list = tab.widgets().rFileListView;
    QObject::connect(tab.widgets().Logs, &QTextEdit::textChanged, &tab, [&] {
        std::printf("log: %s\n", qPrintable(tab.widgets().Logs->document()->lastBlock().text()));
        std::fflush(stdout);
    });
    for (int row = 1; row < tab.widgets().FileListModel->rowCount(); ++row) // all but ".."
        list->selectionModel()->select(tab.widgets().FileListModel->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTimer::singleShot(500, &tab, [&] {
        const QPoint row = list->viewport()->mapToGlobal(
            list->visualRect(tab.widgets().FileListModel->index(2, 0)).center());
        std::printf("row %d %d\nready\n", row.x(), row.y());
        std::fflush(stdout);
    });
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
