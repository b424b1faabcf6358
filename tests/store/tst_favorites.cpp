#include "store/favorites.h"
#include "store/io/datafile.h"
#include "store/io/heldfiles.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

using skyhaul::test::fileBytes;
using skyhaul::test::writeBytes;

class TestFavorites : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void readsEveryLineEnd_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        const QStringList ab{QStringLiteral("/a"), QStringLiteral("/b")};
        QTest::newRow("CR LF") << QByteArray("/a\r\n/b\r\n") << ab;
        QTest::newRow("LF only") << QByteArray("/a\n/b\n") << ab;
        QTest::newRow("CR only") << QByteArray("/a\r/b\r") << ab;
        QTest::newRow("mixed") << QByteArray("/a\r/b\n/c\r\n") << QStringList{u"/a"_s, u"/b"_s, u"/c"_s};
        QTest::newRow("no end on the last line") << QByteArray("/a\r\n/b") << ab;
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("empty line in the middle")
            << QByteArray("/a\r\n\r\n/b\r\n") << QStringList{u"/a"_s, u""_s, u"/b"_s};
        QTest::newRow("LF CR is two line ends")
            << QByteArray("/a\n\r/b") << QStringList{u"/a"_s, u""_s, u"/b"_s};
        QTest::newRow("duplicates kept")
            << QByteArray("C:\\A\r\nC:\\A\r\n") << QStringList{u"C:\\A"_s, u"C:\\A"_s};
        QTest::newRow("blanks kept") << QByteArray(" /a b \r\n") << QStringList{u" /a b "_s};
        QTest::newRow("utf-8") << QByteArray("/caf\xC3\xA9\r\n") << QStringList{QStringLiteral("/caf\u00e9")};
    }
    void readsEveryLineEnd()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LocalFavorites.dat"));
        writeBytes(path, bytes);
        QCOMPARE(readLineList(path), lines);
    }

    void missingFileIsEmpty()
    {
        QTemporaryDir dir;
        QCOMPARE(LocalFavorites::load(dir.path()), QStringList{});
        QCOMPARE(RemoteFavorites::load(dir.path(), QStringLiteral("u"), QStringLiteral("h")), QStringList{});
        QCOMPARE(RemoteFavorites::siteFileNames(dir.path()), QStringList{});
    }

    void writesCrLfAfterEveryLine_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("two") << QStringList{u"/pub"_s, u"/incoming"_s} << QByteArray("/pub\r\n/incoming\r\n");
        QTest::newRow("none gives 0 bytes") << QStringList{} << QByteArray();
        QTest::newRow("duplicates kept") << QStringList{u"/a"_s, u"/a"_s} << QByteArray("/a\r\n/a\r\n");
        // A name holding a line break would come back as two entries; it is left out instead.
        QTest::newRow("line breaks left out")
            << QStringList{u"/a"_s, u"/b\nType"_s, u"/c\r"_s, u"/d"_s} << QByteArray("/a\r\n/d\r\n");
    }
    void writesCrLfAfterEveryLine()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        LocalFavorites::save(dir.path(), lines);
        QCOMPARE(fileBytes(LocalFavorites::filePath(dir.path())), bytes);
        QCOMPARE(LocalFavorites::filePath(dir.path()), dir.filePath(QStringLiteral("LocalFavorites.dat")));
    }

    void remoteFavoritesPerUserAndHost()
    {
        QTemporaryDir dir;
        RemoteFavorites::save(dir.path(), QStringLiteral("bob"), QStringLiteral("ftp.example.org"),
                              {QStringLiteral("/pub"), QStringLiteral("/incoming")});
        const QString path = dir.filePath(QStringLiteral("RemoteFavorites/bob@ftp.example.org.dat"));
        QCOMPARE(
            RemoteFavorites::filePath(dir.path(), QStringLiteral("bob"), QStringLiteral("ftp.example.org")),
            path);
        QCOMPARE(fileBytes(path), QByteArray("/pub\r\n/incoming\r\n"));
        // Another user on the same host has favorites of their own.
        QCOMPARE(
            RemoteFavorites::load(dir.path(), QStringLiteral("alice"), QStringLiteral("ftp.example.org")),
            QStringList{});
        QCOMPARE(RemoteFavorites::load(dir.path(), QStringLiteral("bob"), QStringLiteral("ftp.example.org")),
                 (QStringList{u"/pub"_s, u"/incoming"_s}));
    }

    // No user or host text can put the file outside the RemoteFavorites folder.
    void fileNameStaysInTheFolder_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << u"bob"_s << u"h"_s << u"bob@h.dat"_s;
        QTest::newRow("parent folders") << u"../../x"_s << u"h"_s << u"..%2F..%2Fx@h.dat"_s;
        QTest::newRow("absolute") << u"u"_s << u"/etc/passwd"_s << u"u@%2Fetc%2Fpasswd.dat"_s;
        QTest::newRow("backslash") << u"DOMAIN\\bob"_s << u"h"_s << u"DOMAIN%5Cbob@h.dat"_s;
        QTest::newRow("percent is escaped too") << u"a%2Fb"_s << u"h"_s << u"a%252Fb@h.dat"_s;
        QTest::newRow("empty user") << u""_s << u"h"_s << u"@h.dat"_s;
        // A name starting with ":" is a Qt resource path: the file went to the working folder.
        QTest::newRow("user starting with a colon") << u":u"_s << u"h"_s << u"%3Au@h.dat"_s;
        QTest::newRow("colon only user") << u":"_s << u"h"_s << u"%3A@h.dat"_s;
        QTest::newRow("colons in the host") << u"u"_s << u"::1"_s << u"u@%3A%3A1.dat"_s;
        QTest::newRow("at sign in the user") << u"a@b"_s << u"c"_s << u"a%40b@c.dat"_s;
        QTest::newRow("at sign in the host") << u"a"_s << u"b@c"_s << u"a@b%40c.dat"_s;
        QTest::newRow("control characters") << u"a\tb"_s << QStringLiteral("h\x7f") << u"a%09b@h%7F.dat"_s;
        QTest::newRow("NUL") << QString(u"a\0b"_s) << u"h"_s << u"a%00b@h.dat"_s;
    }
    void fileNameStaysInTheFolder()
    {
        QFETCH(QString, user);
        QFETCH(QString, host);
        QFETCH(QString, fileName);
        QCOMPARE(RemoteFavorites::fileName(user, host), fileName);
        QTemporaryDir dir;
        RemoteFavorites::save(dir.path(), user, host, {QStringLiteral("/x")});
        QCOMPARE(QDir(RemoteFavorites::folderPath(dir.path())).entryList(QDir::Files | QDir::Hidden),
                 QStringList{fileName});
        QCOMPARE(RemoteFavorites::load(dir.path(), user, host), QStringList{QStringLiteral("/x")});
    }

    // "a@b" at "c" and "a" at "b@c" once shared the file "a@b@c.dat".
    void everyPairHasAFileOfItsOwn()
    {
        QTemporaryDir dir;
        RemoteFavorites::save(dir.path(), u"a@b"_s, u"c"_s, {u"/first"_s});
        RemoteFavorites::save(dir.path(), u"a"_s, u"b@c"_s, {u"/second"_s});
        QCOMPARE(RemoteFavorites::load(dir.path(), u"a@b"_s, u"c"_s), QStringList{u"/first"_s});
        QCOMPARE(RemoteFavorites::load(dir.path(), u"a"_s, u"b@c"_s), QStringList{u"/second"_s});
        QCOMPARE(RemoteFavorites::siteFileNames(dir.path()).size(), 2);
    }

    // Files saved under the names of earlier versions still load for their user and host, and move to the
    // current name at the next save.
    void earlierFileNamesStillLoad_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("earlierName");
        QTest::newRow("user with an at sign")
            << u"bob@example.org"_s << u"ftp.example.org"_s << u"bob@example.org@ftp.example.org.dat"_s;
        QTest::newRow("IPv6 host") << u"bob"_s << u"fe80::1"_s << u"bob@fe80::1.dat"_s;
        QTest::newRow("escaped slash") << u"a/b:c"_s << u"h"_s << u"a%2Fb:c@h.dat"_s;
    }
    void earlierFileNamesStillLoad()
    {
        QFETCH(QString, user);
        QFETCH(QString, host);
        QFETCH(QString, earlierName);
        QTemporaryDir dir;
        const QString folder = RemoteFavorites::folderPath(dir.path());
        QVERIFY(QDir().mkpath(folder));
        writeBytes(folder + u"/"_s + earlierName, "/pub\r\n");
        QCOMPARE(RemoteFavorites::load(dir.path(), user, host), QStringList{u"/pub"_s});

        RemoteFavorites::save(dir.path(), user, host, {u"/pub"_s, u"/incoming"_s});
        QCOMPARE(RemoteFavorites::siteFileNames(dir.path()),
                 QStringList{RemoteFavorites::fileName(user, host)});
        QCOMPARE(RemoteFavorites::load(dir.path(), user, host), (QStringList{u"/pub"_s, u"/incoming"_s}));
    }

    // The old name "a@b@c.dat" was written for "a@b" at "c": a host holding "@" never logged on.
    void earlierFileIsNotTakenByAnotherPair()
    {
        QTemporaryDir dir;
        const QString folder = RemoteFavorites::folderPath(dir.path());
        QVERIFY(QDir().mkpath(folder));
        writeBytes(folder + u"/a@b@c.dat"_s, "/pub\r\n");
        QCOMPARE(RemoteFavorites::load(dir.path(), u"a"_s, u"b@c"_s), QStringList{});
        RemoteFavorites::save(dir.path(), u"a"_s, u"b@c"_s, {u"/x"_s});
        QCOMPARE(RemoteFavorites::load(dir.path(), u"a@b"_s, u"c"_s), QStringList{u"/pub"_s});
    }

    // A listed name starting with ":" is still a file of the folder, not a Qt resource.
    void listedNameStartingWithAColon()
    {
        QTemporaryDir dir;
        const QString folder = RemoteFavorites::folderPath(dir.path());
        QVERIFY(QDir().mkpath(folder));
        writeBytes(folder + u"/:u@h.dat"_s, "/pub\r\n");
        QCOMPARE(RemoteFavorites::siteFileNames(dir.path()), QStringList{u":u@h.dat"_s});
        const QString path = RemoteFavorites::siteFilePath(dir.path(), u":u@h.dat"_s);
        QCOMPARE(path, folder + u"/:u@h.dat"_s);
        QCOMPARE(readLineList(path), QStringList{u"/pub"_s});
        RemoteFavorites::removeSite(dir.path(), u":u@h.dat"_s);
        QCOMPARE(RemoteFavorites::siteFileNames(dir.path()), QStringList{});
    }

    void siteListHoldsDatEntries()
    {
        QTemporaryDir dir;
        const QString folder = RemoteFavorites::folderPath(dir.path());
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/odd@folder.dat")));
        writeBytes(folder + QStringLiteral("/bob@h.dat"), "/a\r\n");
        writeBytes(folder + QStringLiteral("/notes.txt"), "x");
        QStringList names = RemoteFavorites::siteFileNames(dir.path());
        names.sort();
        QCOMPARE(names, (QStringList{u"bob@h.dat"_s, u"odd@folder.dat"_s}));
    }

    void removingASite()
    {
        QTemporaryDir dir;
        RemoteFavorites::save(dir.path(), u"bob"_s, u"h"_s, {u"/pub"_s});
        const QString name = RemoteFavorites::siteFileNames(dir.path()).value(0);
        QCOMPARE(name, u"bob@h.dat"_s);
        QCOMPARE(RemoteFavorites::siteFilePath(dir.path(), name),
                 RemoteFavorites::filePath(dir.path(), u"bob"_s, u"h"_s));
        QCOMPARE(readLineList(RemoteFavorites::siteFilePath(dir.path(), name)), QStringList{u"/pub"_s});
        RemoteFavorites::removeSite(dir.path(), name);
        QCOMPARE(RemoteFavorites::siteFileNames(dir.path()), QStringList{});
        RemoteFavorites::removeSite(dir.path(), name); // already gone: no error
        for (const QString& bad : {u"../config.dat"_s, u".."_s, QString()})
            QCOMPARE(RemoteFavorites::siteFilePath(dir.path(), bad), QString());
    }

    void removeFirstMatchIgnoresCase_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("first of two only") << QStringList{u"C:\\A"_s, u"C:\\B"_s, u"C:\\A"_s} << u"c:\\a"_s
                                           << true << QStringList{u"C:\\B"_s, u"C:\\A"_s};
        QTest::newRow("not found") << QStringList{u"/a"_s} << u"/b"_s << false << QStringList{u"/a"_s};
        QTest::newRow("whole line only")
            << QStringList{u"/pub/x"_s} << u"/pub"_s << false << QStringList{u"/pub/x"_s};
    }
    void removeFirstMatchIgnoresCase()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, text);
        QFETCH(bool, removed);
        QFETCH(QStringList, left);
        QCOMPARE(removeFirstMatch(lines, text), removed);
        QCOMPARE(lines, left);
    }

    // "C:\A" twice, both rows selected and deleted from the last to the first: both lines go, in one write.
    void deletingBothDuplicateRows()
    {
        QTemporaryDir dir;
        writeBytes(LocalFavorites::filePath(dir.path()), "C:\\A\r\nD:\\B\r\nC:\\A\r\n");
        QStringList lines = LocalFavorites::load(dir.path());
        const QStringList rows = lines;
        for (int row : {2, 0})
            QVERIFY(removeFirstMatch(lines, rows[row]));
        LocalFavorites::save(dir.path(), lines);
        QCOMPARE(fileBytes(LocalFavorites::filePath(dir.path())), QByteArray("D:\\B\r\n"));
    }

    void deletingOneRemoteFolder()
    {
        QTemporaryDir dir;
        const QString user = QStringLiteral("u"), host = QStringLiteral("h");
        RemoteFavorites::save(dir.path(), user, host, {QStringLiteral("/pub"), QStringLiteral("/incoming")});
        QStringList lines = RemoteFavorites::load(dir.path(), user, host);
        QCOMPARE(lines, (QStringList{u"/pub"_s, u"/incoming"_s}));
        QVERIFY(removeFirstMatch(lines, QStringLiteral("/pub")));
        RemoteFavorites::save(dir.path(), user, host, lines);
        QCOMPARE(fileBytes(RemoteFavorites::filePath(dir.path(), user, host)), QByteArray("/incoming\r\n"));
    }

    void menuCaptions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("letter case") << u"/Pub"_s << u"/pub"_s << true;
        QTest::newRow("accelerator mark") << u"/&pub"_s << u"/pub"_s << true;
        QTest::newRow("doubled mark is one ampersand") << u"/a&&b"_s << u"/&a&&b"_s << true;
        QTest::newRow("doubled mark is not dropped") << u"/a&&b"_s << u"/ab"_s << false;
        QTest::newRow("different") << u"/pub"_s << u"/pub2"_s << false;
        QTest::newRow("non-ascii case")
            << QStringLiteral("/\u00c9T\u00c9") << QStringLiteral("/\u00e9t\u00e9") << true;
    }
    void menuCaptions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(sameMenuCaption(a, b), same);
    }

    void menuShowsEachFavoriteOnce()
    {
        QCOMPARE(distinctMenuCaptions({u"/pub"_s, u"/PUB"_s, u"/x"_s, u"/pub"_s}),
                 (QStringList{u"/pub"_s, u"/x"_s}));
    }

    void unreadableFileIsAnError()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(LocalFavorites::filePath(dir.path())));
        QVERIFY_THROWS_EXCEPTION(FileIoError, LocalFavorites::load(dir.path()));
    }

    // A file larger than the reading limit is refused whole, and held: no list is written over it until it
    // is read whole again or released on purpose.
    void oversizeFileIsRefusedAndHeld()
    {
        QTemporaryDir dir;
        const QString path = LocalFavorites::filePath(dir.path());
        QByteArray big;
        while (big.size() <= MaxTextDataFileBytes)
            big += "/srv/some/folder\r\n";
        writeBytes(path, big);
        try {
            LocalFavorites::load(dir.path());
            QFAIL("read although larger than the limit");
        } catch (const FileIoError& e) {
            QVERIFY2(e.message().contains(u"larger than"_s), qPrintable(e.message()));
        }
        QVERIFY(!heldfiles::reason(path).isEmpty());
        QVERIFY_THROWS_EXCEPTION(FileIoError, LocalFavorites::save(dir.path(), {u"/only"_s}));
        QCOMPARE(fileBytes(path), big);

        // Cut down by the user: read whole again, and written as usual.
        writeBytes(path, "/a\r\n");
        QCOMPARE(LocalFavorites::load(dir.path()), QStringList{u"/a"_s});
        LocalFavorites::save(dir.path(), {u"/a"_s, u"/b"_s});
        QCOMPARE(fileBytes(path), QByteArray("/a\r\n/b\r\n"));

        // Held again, then released on purpose (the user chose to replace it).
        writeBytes(path, big);
        QVERIFY_THROWS_EXCEPTION(FileIoError, LocalFavorites::load(dir.path()));
        heldfiles::release(path);
        LocalFavorites::save(dir.path(), {});
        QCOMPARE(fileBytes(path), QByteArray());
    }

    // The row's own line goes; only when it moved, the first equal line, then the first equal ignoring case.
    void removeLineOfTakesTheRowsLine_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("left");
        const QStringList mixed{u"/A"_s, u"/a"_s, u"/b"_s};
        QTest::newRow("its own line") << mixed << 1 << u"/a"_s << QStringList{u"/A"_s, u"/b"_s};
        QTest::newRow("moved: the equal line") << mixed << 0 << u"/a"_s << QStringList{u"/A"_s, u"/b"_s};
        QTest::newRow("moved: equal ignoring case") << mixed << 2 << u"/B"_s << QStringList{u"/A"_s, u"/a"_s};
        QTest::newRow("gone") << mixed << 5 << u"/c"_s << mixed;
    }

    void removeLineOfTakesTheRowsLine()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(QStringList, left);
        QCOMPARE(removeLineOf(lines, index, text), left.size() < 3);
        QCOMPARE(lines, left);
    }
};

QTEST_GUILESS_MAIN(TestFavorites)
#include "tst_favorites.moc"
