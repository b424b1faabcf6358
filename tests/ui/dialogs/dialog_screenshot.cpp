// Shows the configuration dialog (every page) and the site manager on an application folder with sample
// sites, favorites and quick-connect entries, and saves a picture of each.
// Usage: dialog_screenshot OUTPUT_FOLDER   (under Xvfb: DISPLAY=:99; offscreen works too)
#include "store/configrecord.h"
#include "store/favorites.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "ui/dialogs/configform.h"
#include "ui/dialogs/siteform.h"
#include "ui/dialogs/sitetree.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

using namespace skyhaul;

namespace {

void fillFolder(const QString& app)
{
    TSiteManList sites;
    auto add = [&](qint32 id, bool group, qint32 parent, const char* name, const char* host) {
        auto rec = std::make_unique<TSiteManRec>();
        rec->ID = id;
        rec->IsGroup = group;
        rec->ParentID = parent;
        rec->Name = QLatin1String(name);
        rec->Host = QLatin1String(host);
        rec->UserID = QStringLiteral("ann");
        rec->Password = QStringLiteral("secret");
        rec->RemotePath = QStringLiteral("/pub");
        rec->LocalPath = QDir::homePath();
        rec->Notes = QStringLiteral("Mirror of the release files");
        sites.Add(std::move(rec));
    };
    add(0, true, -1, "Work", "");
    add(1, false, 0, "Build server", "build.example.org");
    add(2, false, 0, "Release mirror", "mirror.example.org");
    add(3, false, -1, "Home NAS", "192.168.1.20");
    sites.NextID = 4;
    sites.SaveToFile(siteManagerFilePath(app));

    TSiteManList quick;
    for (const char* host : {"ftp.example.org", "mirror.example.org", "192.168.1.20"}) {
        QuickConnectLogon logon;
        logon.user = QStringLiteral("ann");
        logon.host = QLatin1String(host);
        quick.Add(makeQuickConnectRecord(logon));
    }
    quick.SaveToFile(quickConnectFilePath(app));
    LocalFavorites::save(app, {QStringLiteral("/home/ann/Documents"), QStringLiteral("/srv/releases"),
                               QStringLiteral("/home/ann/Documents")});
    RemoteFavorites::save(app, QStringLiteral("ann"), QStringLiteral("ftp.example.org"),
                          {QStringLiteral("/pub"), QStringLiteral("/incoming")});
    RemoteFavorites::save(app, QStringLiteral("bob"), QStringLiteral("mirror.example.org"),
                          {QStringLiteral("/releases")});
    QDir(app).mkpath(QStringLiteral("Languages"));
    for (const char* name : {"English", "Korean"}) {
        QFile f(Texts::languageFilePath(app, QLatin1String(name)));
        if (f.open(QIODevice::WriteOnly))
            f.write("[ConfigForm]\r\n");
    }
}

bool save(QWidget* widget, const QString& path)
{
    QApplication::processEvents();
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialog_screenshot OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir folder;
    fillFolder(folder.path());
    ConfigRecord record;
    record.Language = QStringLiteral("Korean");
    bool ok = true;

    QStringList localFavorites = LocalFavorites::load(folder.path());
    TSiteManList quick;
    quick.LoadFromFile(quickConnectFilePath(folder.path()));
    TConfigForm config(
        {folder.path(), &localFavorites, &quick, {}, {}, &record, Texts(folder.path(), record.Language)});
    config.show();
    const char* pages[] = {"general", "quickconnect", "local", "remote", "filetransfer", "editor"};
    int page = 0;
    for (QTreeWidgetItemIterator it(config.TreeView1); *it; ++it, ++page) {
        config.TreeView1->setCurrentItem(*it);
        if (page == TConfigForm::RemotePage) {
            config.lbSites->setCurrentRow(0);
            config.lbFolders->setCurrentRow(0);
        }
        if (page == TConfigForm::LocalPage)
            config.lvLocalFavorites->topLevelItem(1)->setSelected(true);
        ok = save(&config,
                  QDir(out).filePath(QStringLiteral("config-%1.png").arg(QLatin1String(pages[page])))) &&
             ok;
    }
    config.hide();

    TSiteForm sites(folder.path(), Texts(folder.path(), QStringLiteral("English")));
    sites.show();
    sites.TreeView->selectNode(static_cast<TSiteNode*>(sites.TreeView->topLevelItem(0)->child(1)));
    ok = save(&sites, QDir(out).filePath(QStringLiteral("sitemanager.png"))) && ok;
    return ok ? 0 : 1;
}
