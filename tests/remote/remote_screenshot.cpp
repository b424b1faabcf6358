// Shows a remote tab connected to a local pyftpdlib server, opens a folder, and saves a picture of it.
// Usage: remote_screenshot OUTPUT.png [COLUMN | login | queue | overwrite]   (under Xvfb: DISPLAY=:99;
// offscreen works too)
// With COLUMN the list is ordered by that column, descending (two clicks on its header); with "login" the
// picture shows the tab before it connects; with "queue" the queue page in the middle of a recursive
// download; with "overwrite" the overwrite prompt for a file that exists in the local folder.
#include "remote/remoteframe.h"
#include "store/configrecord.h"
#include "store/sitestore.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testhelpers.h"
#include "transfer/transferrun.h"
#include "ui/dialogs/overwriteform.h"
#include "ui/panehost.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

using namespace skyhaul;
using namespace skyhaul::test;

namespace {

/// A local folder in the other pane, the download target.
struct LocalPane : PaneHost {
    QString path;
    QString oppositeLocalPath(const QWidget*) const override { return path; }
    RemoteSession* oppositeRemoteSession(const QWidget*) const override { return nullptr; }
};

bool save(QWidget* widget, const QString& output)
{
    const bool saved = widget->grab().save(output);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(output));
    return saved;
}

} // namespace

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
    server.putFile(QStringLiteral("pub/archive/disk-image.iso"), QByteArray(96 * 1024 * 1024, 'i'));
    server.putFile(QStringLiteral("pub/archive/old/changes.txt"), QByteArray(9000, 'c'));
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    QTemporaryDir folder;
    TSiteManList quickConnect;
    QTemporaryDir target;
    LocalPane pane;
    pane.path = target.path() + QStringLiteral("/");
    QFile old(target.filePath(QStringLiteral("README")));
    if (old.open(QIODevice::WriteOnly))
        old.write("An older readme.\n");
    old.close();
    ConfigRecord config;
    config.FileExistsAction = FileExists::Ask;
    ListingOrder order;
    TRemoteFrame tab({.appFolder = folder.path(),
                      .texts = Texts(folder.path(), config.Language),
                      .quickConnectList = &quickConnect,
                      .tempFolder = folder.filePath(QStringLiteral("skTemp/")),
                      .paneHost = &pane,
                      .config = &config,
                      .listingOrder = &order});
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
    if (mode == QLatin1String("queue") || mode == QLatin1String("overwrite")) {
        bool saved = false;
        // The download question is answered Yes; the prompt is pictured once it has painted, then left with
        // Esc.
        QTimer answer;
        QElapsedTimer promptShown;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->button(QMessageBox::Yes)->click();
            } else if (auto* form = qobject_cast<TOVerwriteForm*>(modal)) {
                if (!promptShown.isValid())
                    promptShown.start();
                else if (promptShown.elapsed() > 400) {
                    saved = save(form, output);
                    form->reject();
                }
            }
        });
        answer.start(50);
        // Past 40 % of the large file the transfer is slowed down, so that the picture, taken a moment
        // later, shows the bar and "Total : " as the window shows them once their reports have come.
        auto progress = tab.engine()->OnTransfer;
        bool slowed = false;
        tab.engine()->OnTransfer = [&](int direction, qint64 bytes, int percent, const QByteArray& text) {
            progress(direction, bytes, percent, text);
            const TQueItem* item = tab.transferRun()->CurrentItem();
            if (slowed) {
                QThread::msleep(3);
            } else if (mode == QLatin1String("queue") && item && item->ItemSize > 1000000 &&
                       bytes > item->ItemSize * 2 / 5) {
                slowed = true;
                QTimer::singleShot(200, &tab, [&] {
                    saved = save(&tab, output);
                    tab.StopBtnClick();
                });
            }
        };
        const QStringList names = mode == QLatin1String("queue")
                                      ? QStringList{QStringLiteral("archive"), QStringLiteral("notes.txt")}
                                      : QStringList{QStringLiteral("README")};
        QAbstractItemModel* model = tab.widgets().rFileListView->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (names.contains(model->index(row, 0).data().toString()))
                tab.widgets().rFileListView->selectionModel()->select(
                    model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        tab.Transfer1Click();
        return saved ? 0 : 1;
    }
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
