// Remote favorites and the quick-connect list of a remote tab against a real server: the favorites menu and
// its file per user and host, the quick-connect records written once per caption, and connecting from the
// quick-connect menu with and without the stored password.
#include "store/favorites.h"
#include "store/io/datafile.h"
#include "store/quickconnect.h"
#include "tests/remote/remotetesthelpers.h"
#include "tests/support/ftpserver.h"
#include "tests/support/testfiles.h"
#include "tests/support/testhelpers.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

using namespace skyhaul;
using namespace skyhaul::test;

using skyhaul::test::fileBytes;
using skyhaul::test::writeBytes;

namespace {

bool putTree(const FtpServer& server)
{
    return server.putFile(QStringLiteral("pub/incoming/file1.txt"), "one") &&
           server.makeDir(QStringLiteral("docs/keep")) && server.makeDir(QStringLiteral("a&b"));
}

void logOn(TRemoteFrame& tab, const FtpServer& server, const QString& user, const QString& password)
{
    fillFields(tab, server.host(), server.port(), user, password);
    tab.ConnectBtnClick();
}

/// Captions of the menu's items, separators as "-".
QStringList captions(const QMenu* menu)
{
    QStringList out;
    for (const QAction* item : menu->actions())
        out << (item->isSeparator() ? QStringLiteral("-") : item->text());
    return out;
}

QAction* itemNamed(const QMenu* menu, const QString& text)
{
    for (QAction* item : menu->actions()) {
        if (item->text() == text)
            return item;
    }
    return nullptr;
}

} // namespace

class TestRemoteFavorites : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void favoritesMenuAndFile()
    {
        FtpServer server({.kind = ServerKind::Pyftpdlib, .anonymous = true});
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        TRemoteFrame tab(env.context());
        tab.show();
        logOn(tab, server, server.user(), server.password());
        const QString file = RemoteFavorites::filePath(env.folder(), server.user(), server.host());
        QCOMPARE(captions(tab.widgets().FavoritePopup),
                 QStringList({QStringLiteral("Add to Favorites"), QStringLiteral("-")}));
        QAction* add = tab.widgets().FavoritePopup->actions().first();

        // The root cannot be a favorite, nor a blank path.
        add->trigger();
        tab.widgets().DirectoryCB->setEditText(QStringLiteral("   "));
        add->trigger();
        QVERIFY(!QFileInfo::exists(file));

        QVERIFY(tab.GoToPath(QStringLiteral("/pub/incoming")));
        add->trigger();
        QCOMPARE(captions(tab.widgets().FavoritePopup),
                 QStringList({QStringLiteral("Add to Favorites"), QStringLiteral("-"),
                              QStringLiteral("/pub/incoming")}));
        QCOMPARE(fileBytes(file), QByteArray("/pub/incoming\r\n"));
        tab.widgets().DirectoryCB->setEditText(QStringLiteral("/PUB/Incoming"));
        add->trigger();
        QCOMPARE(fileBytes(file), QByteArray("/pub/incoming\r\n"));

        QVERIFY(tab.GoToPath(QStringLiteral("/a&b")));
        add->trigger();
        QCOMPARE(fileBytes(file), QByteArray("/pub/incoming\r\n/a&b\r\n"));
        QAction* ampersand = tab.widgets().FavoritePopup->actions().last();
        QCOMPARE(ampersand->text(), QStringLiteral("/a&&b")); // shown as "/a&b", not as an accelerator

        // A favorite opens its folder through the path box.
        QVERIFY(tab.GoToPath(QStringLiteral("/docs")));
        itemNamed(tab.widgets().FavoritePopup, QStringLiteral("/pub/incoming"))->trigger();
        QCOMPARE(tab.currentPath(), QStringLiteral("/pub/incoming"));
        QCOMPARE(tab.widgets().DirectoryCB->currentText(), QStringLiteral("/pub/incoming"));
        ampersand->trigger();
        QCOMPARE(tab.currentPath(), QStringLiteral("/a&b"));

        // Read again at the next logon; a line twice in the file appears once in the menu.
        tab.DisconnectBtnClick();
        RemoteFavorites::save(
            env.folder(), server.user(), server.host(),
            {QStringLiteral("/docs/keep"), QStringLiteral("/DOCS/keep"), QStringLiteral("/docs/gone")});
        logOn(tab, server, server.user(), server.password());
        QCOMPARE(tab.favorites().size(), 3);
        QCOMPARE(captions(tab.widgets().FavoritePopup),
                 QStringList({QStringLiteral("Add to Favorites"), QStringLiteral("-"),
                              QStringLiteral("/docs/keep"), QStringLiteral("/docs/gone")}));
        // A favorite whose folder is gone stops at the deepest folder that exists.
        itemNamed(tab.widgets().FavoritePopup, QStringLiteral("/docs/gone"))->trigger();
        QCOMPARE(tab.currentPath(), QStringLiteral("/docs"));

        // Another user on the same host has favorites of its own.
        tab.DisconnectBtnClick();
        logOn(tab, server, QStringLiteral("anonymous"), QStringLiteral("guest@example.com"));
        QVERIFY(tab.engine()->Connected());
        QCOMPARE(captions(tab.widgets().FavoritePopup),
                 QStringList({QStringLiteral("Add to Favorites"), QStringLiteral("-")}));
    }

    void quickConnectRecordWrittenOncePerCaption()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        const QString file = quickConnectFilePath(env.folder());
        TRemoteFrame first(env.context());
        TRemoteFrame second(env.context()); // opened before either logs on
        first.widgets().PassiveBtn->setChecked(false);
        logOn(first, server, server.user(), server.password());
        QVERIFY(first.engine()->Connected());

        QCOMPARE(QFileInfo(file).size(), qint64(TSiteManList::RecordSize));
        TSiteManList stored;
        stored.LoadFromFile(file);
        QCOMPARE(stored.Count(), 1);
        const TSiteManRec& r = *stored.Item(0);
        QCOMPARE(r.ID, -1);
        QCOMPARE(r.ParentID, -1);
        QVERIFY(!r.IsGroup);
        QCOMPARE(r.Port, int(server.port()));
        QVERIFY(!r.Passive);
        QCOMPARE(r.SSLMode, 3);
        QVERIFY(!r.Anonymous);
        QCOMPARE(r.UserID, server.user());
        QCOMPARE(r.Password, server.password());
        QCOMPARE(r.Host, server.host());
        QCOMPARE(r.RemotePath, QStringLiteral("/"));
        QVERIFY(r.Name.isEmpty() && r.Notes.isEmpty() && r.LocalPath.isEmpty());
        const QString caption = server.user() + QStringLiteral("@") + server.host();
        QCOMPARE(captions(first.widgets().QCPopupMenu), QStringList{caption});

        // The same logon again from the same tab adds nothing.
        first.DisconnectBtnClick();
        logOn(first, server, server.user(), server.password());
        QCOMPARE(env.quickConnect.Count(), 1);
        QCOMPARE(QFileInfo(file).size(), qint64(TSiteManList::RecordSize));

        // A tab whose menu lacked the caption adds its own record; menus built later show one item.
        QCOMPARE(captions(second.widgets().QCPopupMenu), QStringList());
        logOn(second, server, server.user(), server.password());
        QCOMPARE(env.quickConnect.Count(), 2);
        QCOMPARE(QFileInfo(file).size(), qint64(2 * TSiteManList::RecordSize));
        TRemoteFrame later(env.context());
        QCOMPARE(captions(later.widgets().QCPopupMenu), QStringList{caption});

        // After a deletion elsewhere, a rebuilt menu offers nothing, and an item left in an old menu is
        // inert.
        env.quickConnect.Clear();
        later.BuildQuickConnectMenu();
        QCOMPARE(captions(later.widgets().QCPopupMenu), QStringList());
        ModalAnswerer answers;
        first.DisconnectBtnClick();
        first.widgets().HostEdit->setEditText(QStringLiteral("unchanged"));
        first.widgets().QCPopupMenu->actions().first()->trigger();
        QCOMPARE(answers.seen(), 0);
        QCOMPARE(first.widgets().HostEdit->currentText(), QStringLiteral("unchanged"));
    }

    void quickConnectAsksForThePasswordByDefault()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        auto record = makeQuickConnectRecord({.user = server.user(),
                                              .password = QStringLiteral("stored-but-not-used"),
                                              .host = server.host(),
                                              .port = server.port(),
                                              .passive = false,
                                              .sslMode = 3});
        env.quickConnect.Add(std::move(record));
        TRemoteFrame tab(env.context());
        tab.show();
        QCOMPARE(tab.widgets().QCPopupMenu->actions().size(), 1);

        // Cancel: the fields are filled, nothing connects.
        QString shownHost;
        QString shownUser;
        ModalAnswerer answers(
            {cancelLogon(&shownHost, &shownUser), logOnAs(server.user(), server.password())});
        tab.widgets().QCPopupMenu->actions().first()->trigger();
        QCOMPARE(answers.seen(), 1);
        QCOMPARE(shownHost, server.host());
        QCOMPARE(shownUser, server.user());
        QVERIFY(!tab.engine()->Connected());
        QCOMPARE(tab.widgets().HostEdit->currentText(), server.host());
        QCOMPARE(tab.widgets().PortEdit->text(), QString::number(server.port()));
        QCOMPARE(tab.widgets().IDEdit->text(), server.user());
        QCOMPARE(tab.widgets().PassEdit->text(), QString());
        QVERIFY(!tab.widgets().PassiveBtn->isChecked());
        QCOMPARE(tab.widgets().SSLCB->currentIndex(), 3);

        // OK: the dialog's user and password go into the fields and the tab connects.
        tab.widgets().QCPopupMenu->actions().first()->trigger();
        QCOMPARE(answers.seen(), 2);
        QCOMPARE(answers.unexpected(), 0);
        QVERIFY(tab.engine()->Connected());
        QCOMPARE(tab.widgets().PassEdit->text(), server.password());
        QVERIFY(showsConnectedRows(tab));
        QCOMPARE(env.quickConnect.Count(), 1); // its caption was in the menu already
    }

    void quickConnectWithTheStoredPassword()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        env.config.StoreQuickConnectPassword = true;
        env.quickConnect.Add(makeQuickConnectRecord({.user = server.user(),
                                                     .password = server.password(),
                                                     .host = server.host(),
                                                     .port = server.port()}));
        TRemoteFrame tab(env.context());
        ModalAnswerer answers;
        tab.widgets().QCPopupMenu->actions().first()->trigger();
        QCOMPARE(answers.seen(), 0);
        QVERIFY(tab.engine()->Connected());
        QCOMPARE(tab.widgets().PassEdit->text(), server.password());
        QVERIFY(tab.rootNode());
    }

    void unwritableQuickConnectFileDoesNotStopTheLogon()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        TabEnvironment env;
        // A folder where the file should be: the write fails.
        QVERIFY(QDir(env.folder()).mkpath(QStringLiteral("QuickConnectList.dat")));
        TRemoteFrame tab(env.context());
        BoxSeen box;
        ModalAnswerer answers({pressOk(&box)});
        logOn(tab, server, server.user(), server.password());
        QCOMPARE(answers.seen(), 1);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY2(box.text.contains(QStringLiteral("QuickConnectList.dat")), qPrintable(box.text));
        QVERIFY(tab.engine()->Connected());
        QVERIFY(tab.rootNode());
        QCOMPARE(tab.currentPath(), QStringLiteral("/"));
    }

    // A favorites file that cannot be read (here: larger than the reading limit) is told at logon, and a
    // favorite added afterwards does not write this session's short list over it.
    void unreadableFavoritesFileIsToldAndKept()
    {
        FtpServer server;
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        QVERIFY(putTree(server));
        TabEnvironment env;
        const QString file = RemoteFavorites::filePath(env.folder(), server.user(), server.host());
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QByteArray big;
        while (big.size() <= MaxTextDataFileBytes)
            big += "/pub/incoming\r\n";
        writeBytes(file, big);
        TRemoteFrame tab(env.context());
        tab.show();
        BoxSeen atLogon;
        BoxSeen atAdd;
        ModalAnswerer answers({pressOk(&atLogon), pressOk(&atAdd)});
        logOn(tab, server, server.user(), server.password());
        QCOMPARE(answers.seen(), 1);
        QVERIFY2(atLogon.text.contains(file) && atLogon.text.contains(QStringLiteral("larger than")),
                 qPrintable(atLogon.text));
        QVERIFY(tab.engine()->Connected());

        QVERIFY(tab.GoToPath(QStringLiteral("/docs")));
        tab.widgets().FavoritePopup->actions().first()->trigger();
        QCOMPARE(answers.seen(), 2);
        QVERIFY2(atAdd.text.contains(file), qPrintable(atAdd.text));
        QCOMPARE(fileBytes(file), big);
    }
};

QTEST_MAIN(TestRemoteFavorites)
#include "tst_remotefavorites.moc"
