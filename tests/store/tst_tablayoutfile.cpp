#include "store/tablayoutfile.h"
#include "tests/support/testfiles.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

using skyhaul::test::fileBytes;
using skyhaul::test::writeBytes;

namespace {

using Kind = TabLayout::Kind;

TabLayout remoteTab()
{
    TabLayout t = TabLayout::ofKind(Kind::Remote);
    t.treeViewWidth = 180;
    t.bottomHeight = 140;
    t.host = u"ftp.example.org"_s;
    t.user = u"bob"_s;
    t.port = 2121;
    t.passive = false;
    t.ssl = 2;
    t.transType = 1;
    return t;
}

TabLayout localTab(const QString& path)
{
    TabLayout t = TabLayout::ofKind(Kind::Local);
    t.treeViewWidth = 220;
    t.path = path;
    return t;
}

} // namespace

Q_DECLARE_METATYPE(skyhaul::TabLayout)

class TestTabLayoutFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fileNames()
    {
        QTemporaryDir dir;
        QCOMPARE(TabLayoutFile::leftFilePath(dir.path()), dir.filePath(u"LeftWindow.dat"_s));
        QCOMPARE(TabLayoutFile::rightFilePath(dir.path()), dir.filePath(u"RightWindow.dat"_s));
    }

    // Keys in the order written, "1"/"0" Booleans, no password anywhere.
    void writtenBytes()
    {
        QTemporaryDir dir;
        const QString path = TabLayoutFile::rightFilePath(dir.path());
        TabLayoutFile::write(path, {localTab(u"/home/bob/"_s), remoteTab()});
        QCOMPARE(fileBytes(path), QByteArray("[0]\r\n"
                                             "Type=Local\r\n"
                                             "TreeViewWidth=220\r\n"
                                             "Path=/home/bob/\r\n"
                                             "[1]\r\n"
                                             "Type=Remote\r\n"
                                             "TreeViewWidth=180\r\n"
                                             "BottomHeight=140\r\n"
                                             "Host=ftp.example.org\r\n"
                                             "ID=bob\r\n"
                                             "Port=2121\r\n"
                                             "Passive=0\r\n"
                                             "SSL=2\r\n"
                                             "TransType=1\r\n"));
    }

    void threeTabsRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = TabLayoutFile::leftFilePath(dir.path());
        TabLayout defaultsRemote = TabLayout::ofKind(Kind::Remote);
        const QList<TabLayout> tabs{remoteTab(), localTab(u"/tmp/a b, c/"_s), defaultsRemote};
        TabLayoutFile::write(path, tabs);
        const PaneLayout pane = TabLayoutFile::read(path, Kind::Local);
        QVERIFY(pane.fileExisted);
        QCOMPARE(pane.tabs, tabs);
    }

    void missingFileGivesThePaneDefault_data()
    {
        QTest::addColumn<int>("defaultKind");
        QTest::newRow("left pane: local") << int(Kind::Local);
        QTest::newRow("right pane: remote") << int(Kind::Remote);
    }
    void missingFileGivesThePaneDefault()
    {
        QFETCH(int, defaultKind);
        QTemporaryDir dir;
        const PaneLayout pane = TabLayoutFile::read(dir.filePath(u"LeftWindow.dat"_s), Kind(defaultKind));
        QVERIFY(!pane.fileExisted);
        QCOMPARE(pane.tabs, QList<TabLayout>{TabLayout::ofKind(Kind(defaultKind))});
    }

    // Hand-edited and damaged files: the first sheet always gets a tab, extra sections add tabs in file
    // order.
    void handEditedFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<TabLayout>>("tabs");
        const TabLayout local = TabLayout::ofKind(Kind::Local);
        const TabLayout remote = TabLayout::ofKind(Kind::Remote);
        QTest::newRow("empty file") << QByteArray() << QList<TabLayout>{remote};
        QTest::newRow("garbage") << QByteArray("\x01\x02 not an ini\n===\n[") << QList<TabLayout>{remote};
        QTest::newRow("no section 0")
            << QByteArray("[1]\nType=Local\n[2]\nType=Remote\n") << QList<TabLayout>{remote, local, remote};
        QTest::newRow("1 before 0") << QByteArray("[1]\nType=Remote\n[0]\nType=Local\n")
                                    << QList<TabLayout>{local, remote};
        QTest::newRow("no Type key: local") << QByteArray("[0]\nHost=x\n") << QList<TabLayout>{local};
        QTest::newRow("lower-case type: local")
            << QByteArray("[0]\nType=remote\n") << QList<TabLayout>{local};
        QTest::newRow("other type: local") << QByteArray("[0]\nType=FTP\n") << QList<TabLayout>{local};
        QTest::newRow("Remote with blanks")
            << QByteArray("[0]\nType = Remote \n") << QList<TabLayout>{remote};
        QTest::newRow("section 0 twice is one tab")
            << QByteArray("[0]\nType=Remote\n[0]\nType=Local\n") << QList<TabLayout>{remote};
    }
    void handEditedFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<TabLayout>, tabs);
        QTemporaryDir dir;
        const QString path = TabLayoutFile::rightFilePath(dir.path());
        writeBytes(path, file);
        const PaneLayout pane = TabLayoutFile::read(path, Kind::Remote);
        QVERIFY(pane.fileExisted);
        QCOMPARE(pane.tabs, tabs);
    }

    void badValuesTakeTheirDefaults_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<TabLayout>("expected");
        TabLayout r = TabLayout::ofKind(Kind::Remote);
        auto with = [&](auto change) {
            TabLayout t = r;
            change(t);
            return t;
        };
        QTest::newRow("port not a number") << QByteArray("Port=abc") << r;
        QTest::newRow("passive not a number") << QByteArray("Passive=yes") << r;
        QTest::newRow("passive 0") << QByteArray("Passive=0")
                                   << with([](TabLayout& t) { t.passive = false; });
        QTest::newRow("passive 5 is true") << QByteArray("Passive=5") << r;
        QTest::newRow("ssl out of range") << QByteArray("SSL=7") << r;
        QTest::newRow("ssl 0") << QByteArray("SSL=0") << with([](TabLayout& t) { t.ssl = 0; });
        QTest::newRow("transfer type negative") << QByteArray("TransType=-1") << r;
        QTest::newRow("tree width negative") << QByteArray("TreeViewWidth=-5") << r;
        QTest::newRow("bottom height letters") << QByteArray("BottomHeight=tall") << r;
        QTest::newRow("tree width 0")
            << QByteArray("TreeViewWidth=0") << with([](TabLayout& t) { t.treeViewWidth = 0; });
    }
    void badValuesTakeTheirDefaults()
    {
        QFETCH(QByteArray, lines);
        QFETCH(TabLayout, expected);
        QTemporaryDir dir;
        const QString path = TabLayoutFile::leftFilePath(dir.path());
        writeBytes(path, "[0]\r\nType=Remote\r\n" + lines + "\r\n");
        QCOMPARE(TabLayoutFile::read(path, Kind::Local).tabs, QList<TabLayout>{expected});
    }

    void localTabKeepsOnlyItsKeys()
    {
        QTemporaryDir dir;
        const QString path = TabLayoutFile::leftFilePath(dir.path());
        writeBytes(path, "[0]\nType=Local\nPath=/srv\nHost=ignored\nPort=99\n");
        TabLayout expected = TabLayout::ofKind(Kind::Local);
        expected.path = u"/srv"_s;
        QCOMPARE(TabLayoutFile::read(path, Kind::Remote).tabs, QList<TabLayout>{expected});
    }

    void tooManySectionsAreCapped()
    {
        QTemporaryDir dir;
        const QString path = TabLayoutFile::leftFilePath(dir.path());
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i)
            bytes += "[" + QByteArray::number(i) + "]\nType=Local\n";
        writeBytes(path, bytes);
        QCOMPARE(TabLayoutFile::read(path, Kind::Local).tabs.size(), TabLayoutFile::MaxTabs);
    }

    // A path holding a line break cannot add a section or a key to the file.
    void pathWithLineBreakStaysOneValue()
    {
        QTemporaryDir dir;
        const QString path = TabLayoutFile::leftFilePath(dir.path());
        TabLayout t = TabLayout::ofKind(Kind::Local);
        t.path = u"/x\r\n[1]\r\nType=Remote"_s;
        TabLayoutFile::write(path, {t});
        const PaneLayout pane = TabLayoutFile::read(path, Kind::Local);
        QCOMPARE(pane.tabs.size(), 1);
        QCOMPARE(pane.tabs.first().kind, Kind::Local);
    }

    void portFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");
        QTest::newRow("number") << u"2121"_s << 2121;
        QTest::newRow("blanks") << u" 21 "_s << 21;
        QTest::newRow("empty") << QString() << 21;
        QTest::newRow("letters") << u"ftp"_s << 21;
        QTest::newRow("too large") << u"70000"_s << 21;
        QTest::newRow("negative") << u"-1"_s << 21;
    }
    void portFromText()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QCOMPARE(TabLayout::portFromText(text), port);
    }
};

QTEST_GUILESS_MAIN(TestTabLayoutFile)
#include "tst_tablayoutfile.moc"
