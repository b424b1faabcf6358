// Saves a picture of the screen during a server-to-server copy (two remote tabs side by side, the source's
// queue showing "FXPing...") or during the upload of an edited copy (the "Transfering " panel).
// Usage: fxpedit_screenshot OUTPUT.png fxp|edit   (under Xvfb: DISPLAY=:99)
#include "remote/remoteframe.h"
#include "store/configrecord.h"
#include "store/sitestore.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testhelpers.h"
#include "transfer/transferrun.h"
#include "ui/panehost.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

using namespace skyhaul;
using namespace skyhaul::test;

namespace {

struct RemotePane : PaneHost {
    RemoteSession* session = nullptr;
    QString oppositeLocalPath(const QWidget*) const override { return {}; }
    RemoteSession* oppositeRemoteSession(const QWidget*) const override { return session; }
};

void connectTab(TRemoteFrame& tab, const FtpServer& server)
{
    tab.widgets().HostEdit->setEditText(server.host());
    tab.widgets().PortEdit->setText(QString::number(server.port()));
    tab.widgets().IDEdit->setText(server.user());
    tab.widgets().PassEdit->setText(server.password());
    tab.widgets().SSLCB->setCurrentIndex(3);
    tab.ConnectBtnClick();
}

void selectNames(TRemoteFrame& tab, const QStringList& names)
{
    QAbstractItemModel* model = tab.widgets().rFileListView->model();
    tab.widgets().rFileListView->selectionModel()->clearSelection();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (names.contains(model->index(row, 0).data().toString()))
            tab.widgets().rFileListView->selectionModel()->select(
                model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

bool saveScreen(const QString& path)
{
    QApplication::processEvents();
    return QApplication::primaryScreen()->grabWindow(0).save(path);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    if (argc < 3) {
        std::fprintf(stderr, "usage: fxpedit_screenshot OUTPUT.png fxp|edit\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const bool fxp = qstrcmp(argv[2], "fxp") == 0;
    ConfigRecord config;
    config.applyDefaults();
    ListingOrder order;
    QTemporaryDir folder;
    TSiteManList quickConnect;
    RemotePane pane;
    const RemoteTabContext context{.appFolder = folder.path(),
                                   .texts = Texts(folder.path(), config.Language),
                                   .quickConnectList = &quickConnect,
                                   .tempFolder = folder.filePath(QStringLiteral("skTemp/")),
                                   .paneHost = &pane,
                                   .config = &config,
                                   .listingOrder = &order};
    bool saved = false;
    QWidget window;
    window.resize(1280, 700);
    auto* layout = new QHBoxLayout(&window);

    if (fxp) {
        FtpServer source({.kind = ServerKind::Proftpd, .downloadKiBPerSecond = 64});
        FtpServer destination({.kind = ServerKind::Pyftpdlib});
        if (!source.start() || !destination.start())
            return 1;
        source.putFile(QStringLiteral("pub/big.iso"), QByteArray(2 * 1024 * 1024, 'x'));
        source.putFile(QStringLiteral("pub/docs/readme.txt"), "read me");
        source.putFile(QStringLiteral("pub/notes.txt"), "notes");
        destination.makeDir(QStringLiteral("in"));
        auto* to = new TRemoteFrame(RemoteTabContext{context.appFolder, context.texts, &quickConnect,
                                                     context.tempFolder, nullptr, &config, &order},
                                    &window);
        auto* from = new TRemoteFrame(context, &window);
        layout->addWidget(from);
        layout->addWidget(to);
        window.show();
        connectTab(*to, destination);
        connectTab(*from, source);
        pane.session = to->session();
        to->GoToPath(QStringLiteral("/in"));
        from->GoToPath(QStringLiteral("/pub"));
        selectNames(*from, {QStringLiteral("big.iso"), QStringLiteral("docs"), QStringLiteral("notes.txt")});
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Yes)->click();
            const TQueItem* item = from->transferRun()->CurrentItem();
            if (!saved && item && item->Percent == -2 &&
                QFileInfo(destination.rootDir() + QStringLiteral("/in/big.iso")).size() > 200000) {
                saved = saveScreen(output);
                from->StopBtnClick();
            }
        });
        answer.start(50);
        from->Transfer1Click();
    } else {
        FtpServer server({.kind = ServerKind::Pyftpdlib});
        if (!server.start())
            return 1;
        server.putFile(QStringLiteral("site/index.html"), QByteArray(3 * 1024 * 1024, 'h'));
        const QString editor = folder.filePath(QStringLiteral("editor.sh"));
        QFile script(editor);
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\nprintf 'edited' >> \"$1\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        config.EditorChoice = Editor::EditorPath;
        config.EditorPath = editor;
        auto* tab = new TRemoteFrame(context, &window);
        layout->addWidget(tab);
        window.resize(900, 650);
        window.show();
        connectTab(*tab, server);
        tab->GoToPath(QStringLiteral("/site"));
        selectNames(*tab, {QStringLiteral("index.html")});
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (!saved && top->objectName() == QStringLiteral("InfoForm") && top->isVisible())
                    saved = saveScreen(output);
            }
        });
        look.start(5);
        tab->EditBtnClick();
        waitFor([&] { return saved; }, 20000);
    }
    std::printf("%s\n", saved ? "saved" : "not saved");
    return saved ? 0 : 1;
}
