#include "store/io/datafile.h"
#include "store/io/inifile.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

class TestIniFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void lookup_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray main = "[MainForm]\r\nExit=Quit\r\n";
        QTest::newRow("exact names") << main << u"MainForm"_s << u"Exit"_s << u"Quit"_s;
        QTest::newRow("section in another case") << main << u"MAINFORM"_s << u"Exit"_s << u"Quit"_s;
        QTest::newRow("key in another case") << main << u"MainForm"_s << u"eXIT"_s << u"Quit"_s;
        QTest::newRow("missing section") << main << u"ConfigForm"_s << u"Exit"_s << u"<default>"_s;
        QTest::newRow("missing key") << main << u"MainForm"_s << u"About"_s << u"<default>"_s;
        QTest::newRow("commas stay in the value")
            << QByteArray("[A]\nList=one, two,three\n") << u"A"_s << u"List"_s << u"one, two,three"_s;
        QTest::newRow("quotes stay in the value")
            << QByteArray("[A]\nQ=\"quoted\"\n") << u"A"_s << u"Q"_s << u"\"quoted\""_s;
        QTest::newRow("sentence as key")
            << QByteArray("[Messages]\nDo you want to delete Selected Site?=Delete it?\n") << u"Messages"_s
            << u"do you want to delete selected site?"_s << u"Delete it?"_s;
        QTest::newRow("equals sign in the value")
            << QByteArray("[A]\nK=a=b\n") << u"A"_s << u"K"_s << u"a=b"_s;
        QTest::newRow("blanks around names and value")
            << QByteArray("  [ A ]  \n  K  =  v w  \n") << u"A"_s << u"K"_s << u"v w"_s;
        QTest::newRow("empty value is a value") << QByteArray("[A]\nK=\n") << u"A"_s << u"K"_s << QString();
        QTest::newRow("CR-only lines") << QByteArray("[A]\rK=v\r[B]\rK=w\r") << u"B"_s << u"K"_s << u"w"_s;
        QTest::newRow("no line end at the end") << QByteArray("[A]\nK=v") << u"A"_s << u"K"_s << u"v"_s;
        QTest::newRow("byte order mark skipped")
            << QByteArray("\xEF\xBB\xBF[A]\nK=v\n") << u"A"_s << u"K"_s << u"v"_s;
        QTest::newRow("comment line") << QByteArray("[A]\n;K=no\nK=v\n") << u"A"_s << u"K"_s << u"v"_s;
        QTest::newRow("key before any section ignored")
            << QByteArray("K=x\n[A]\n") << u"A"_s << u"K"_s << u"<default>"_s;
        QTest::newRow("line without equals ignored")
            << QByteArray("[A]\nK\nK=v\n") << u"A"_s << u"K"_s << u"v"_s;
        QTest::newRow("first of two equal keys")
            << QByteArray("[A]\nK=1\nk=2\n") << u"A"_s << u"K"_s << u"1"_s;
        QTest::newRow("repeated section is one section")
            << QByteArray("[A]\nK=1\n[B]\n[a]\nL=2\n") << u"A"_s << u"L"_s << u"2"_s;
        QTest::newRow("utf-8 value") << QByteArray("[A]\nK=\xEC\xA2\x85\xEB\xA3\x8C\n") << u"A"_s << u"K"_s
                                     << u"\uc885\ub8cc"_s;
        QTest::newRow("keys of a nameless section skipped")
            << QByteArray("[A]\nK=v\n[]\nK=w\n") << u"A"_s << u"K"_s << u"v"_s;
        QTest::newRow("unclosed section header") << QByteArray("[A\nK=v\n") << u"A"_s << u"K"_s << u"v"_s;
    }
    void lookup()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const IniFile ini = IniFile::parse(file);
        QCOMPARE(ini.value(section, key, u"<default>"_s), expected);
    }

    void missingFileGivesDefaults()
    {
        QTemporaryDir dir;
        bool ok = true;
        const IniFile ini = IniFile::load(dir.filePath(u"none.ini"_s), &ok);
        QVERIFY(!ok);
        QCOMPARE(ini.value(u"A", u"K", u"d"_s), u"d"_s);
        QCOMPARE(ini.sectionNames(), QStringList{});
        // A folder in place of the file reads as missing too.
        const IniFile folder = IniFile::load(dir.path(), &ok);
        QVERIFY(!ok);
        QCOMPARE(folder.sectionNames(), QStringList{});
    }

    void sectionsAndKeysInFileOrder()
    {
        const IniFile ini = IniFile::parse("[2]\nb=1\na=2\n[0]\n[1]\n[0]\nc=3\n");
        QCOMPARE(ini.sectionNames(), (QStringList{u"2"_s, u"0"_s, u"1"_s}));
        QCOMPARE(ini.keys(u"2"), (QStringList{u"b"_s, u"a"_s}));
        QCOMPARE(ini.keys(u"0"), QStringList{u"c"_s});
        QVERIFY(ini.hasSection(u"1"));
        QVERIFY(!ini.hasKey(u"1", u"c"));
        QVERIFY(ini.hasKey(u"0", u"C"));
    }

    void intValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("number") << u"150"_s << 150;
        QTest::newRow("negative") << u"-8"_s << -8;
        QTest::newRow("plus sign") << u"+3"_s << 3;
        QTest::newRow("letters") << u"abc"_s << 99;
        QTest::newRow("trailing letters") << u"12px"_s << 99;
        QTest::newRow("fraction") << u"10.5"_s << 99;
        QTest::newRow("empty") << QString() << 99;
        QTest::newRow("too large") << u"99999999999"_s << 99;
    }
    void intValue()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const IniFile ini = IniFile::parse("[A]\nK=" + text.toUtf8() + "\n");
        QCOMPARE(ini.intValue(u"A", u"K", 99), expected);
        QCOMPARE(ini.intValue(u"A", u"Missing", 99), 99);
    }

    void writesCrLfLinesAndReadsThemBack()
    {
        IniFile ini;
        QVERIFY(ini.setValue(u"0"_s, u"Type"_s, u"Remote"_s));
        QVERIFY(ini.setValue(u"0"_s, u"Host"_s, u"a, b"_s));
        QVERIFY(ini.setValue(u"1"_s, u"Type"_s, u"Local"_s));
        QVERIFY(ini.setValue(u"0"_s, u"HOST"_s, u"c,d"_s)); // same key in another case replaces the value
        QCOMPARE(ini.toBytes(), QByteArray("[0]\r\nType=Remote\r\nHost=c,d\r\n[1]\r\nType=Local\r\n"));
        QTemporaryDir dir;
        const QString path = dir.filePath(u"x.ini"_s);
        ini.save(path);
        bool ok = false;
        const IniFile back = IniFile::load(path, &ok);
        QVERIFY(ok);
        QCOMPARE(back.value(u"0", u"host"), u"c,d"_s);
        QCOMPARE(back.toBytes(), ini.toBytes());
    }

    // Whatever the writer takes, the file gives back as it was given. A text that would read back as
    // another section, another key, a comment or a trimmed name is refused and leaves the file unchanged.
    void setValueReadsBackOrRefuses_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("value with line break")
            << u"0"_s << u"Host"_s << u"evil\r\nType=Remote\n[9]"_s << false;
        QTest::newRow("value with blanks around it") << u"0"_s << u"Path"_s << u" /a "_s << false;
        QTest::newRow("value with a lone surrogate")
            << u"0"_s << u"Host"_s << QString(QChar(0xD800)) << false;
        QTest::newRow("key with equals and break") << u"0"_s << u"Ho=st\nType"_s << u"v"_s << false;
        QTest::newRow("key opening a section") << u"0"_s << u"[x"_s << u"v"_s << false;
        QTest::newRow("key starting a comment") << u"0"_s << u";x"_s << u"v"_s << false;
        QTest::newRow("key with blanks around it") << u"0"_s << u" Host"_s << u"v"_s << false;
        QTest::newRow("key with an equals sign") << u"0"_s << u"a=b"_s << u"v"_s << false;
        QTest::newRow("empty key") << u"0"_s << QString() << u"v"_s << false;
        QTest::newRow("section with bracket and break") << u"0]\n[9"_s << u"Host"_s << u"v"_s << false;
        QTest::newRow("section with a closing bracket") << u"a]b"_s << u"Host"_s << u"v"_s << false;
        QTest::newRow("section with blanks around it") << u"0 "_s << u"Host"_s << u"v"_s << false;
        QTest::newRow("empty section") << QString() << u"Host"_s << u"v"_s << false;
        QTest::newRow("section opening with a bracket") << u"[x"_s << u"K"_s << u"v"_s << true;
        QTest::newRow("section starting like a comment") << u";x"_s << u"K"_s << u"v"_s << true;
        QTest::newRow("section with an equals sign") << u"a=b"_s << u"K"_s << u"v"_s << true;
        QTest::newRow("key with a closing bracket") << u"A"_s << u"a]b"_s << u"v"_s << true;
        QTest::newRow("sentence as key") << u"Messages"_s << u"Delete it?"_s << u"Yes, delete."_s << true;
        QTest::newRow("value with equals and inner blanks") << u"A"_s << u"K"_s << u"a = b,  c"_s << true;
        QTest::newRow("empty value") << u"A"_s << u"K"_s << QString() << true;
        QTest::newRow("non-ascii") << u"\u00c9t\u00e9"_s << u"\uc885"_s << u"\u00e9"_s << true;
    }
    void setValueReadsBackOrRefuses()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        IniFile ini;
        QCOMPARE(ini.setValue(section, key, value), accepted);
        if (!accepted) {
            QCOMPARE(ini.toBytes(), QByteArray());
            return;
        }
        const IniFile back = IniFile::parse(ini.toBytes());
        QCOMPARE(back.sectionNames(), QStringList{section});
        QCOMPARE(back.keys(section), QStringList{key});
        QCOMPARE(back.value(section, key, u"<missing>"_s), value);
    }

    // The value setValue() is given for free texts is the one the file gives back.
    void storableValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain") << u"/a b, c/"_s << u"/a b, c/"_s;
        QTest::newRow("line breaks become blanks") << u"/x\r\n[1]"_s << u"/x  [1]"_s;
        QTest::newRow("blanks around go") << u"  h \t"_s << u"h"_s;
    }
    void storableValue()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QCOMPARE(IniFile::storableValue(text), stored);
        IniFile ini;
        QVERIFY(ini.setValue(u"0"_s, u"K"_s, stored));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
