// Settings.ini: the settings beyond config.dat. A round trip keeps every field and the file's other keys;
// damaged or missing values give the defaults.
#include "store/extrasettings.h"
#include "store/io/datafile.h"
#include "store/io/inifile.h"
#include "tests/support/testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

using skyhaul::test::fileBytes;
using skyhaul::test::writeBytes;

class TestExtraSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void missingFileGivesDefaults()
    {
        QTemporaryDir folder;
        ExtraSettings settings;
        settings.MaxWalkFolders = 7;
        settings.MaxWalkEntries = 9;
        QVERIFY(!settings.load(folder.path()));
        QCOMPARE(settings.MaxWalkFolders, 100000);
        QCOMPARE(settings.MaxWalkEntries, 2000000);
    }

    void roundTripKeepsOtherKeys()
    {
        QTemporaryDir folder;
        const QString path = ExtraSettings::filePath(folder.path());
        QCOMPARE(path, folder.filePath(u"Settings.ini"_s));
        // A later version's keys, and one of this section, survive a save by this one.
        writeBytes(path, "[Later]\r\nColour=blue, dark\r\n[transfer]\r\nFuture=1\r\nMaxWalkFolders=5\r\n");
        ExtraSettings saved;
        saved.MaxWalkFolders = 123;
        saved.MaxWalkEntries = 4567;
        saved.save(folder.path());

        ExtraSettings loaded;
        QVERIFY(loaded.load(folder.path()));
        QCOMPARE(loaded, saved);
        const IniFile ini = IniFile::parse(fileBytes(path));
        QCOMPARE(ini.value(u"Later"_s, u"Colour"_s), u"blue, dark"_s);
        QCOMPARE(ini.value(u"Transfer"_s, u"Future"_s), u"1"_s);
        QCOMPARE(ini.value(u"Transfer"_s, u"MaxWalkFolders"_s), u"123"_s);
        QCOMPARE(ini.value(u"Transfer"_s, u"MaxWalkEntries"_s), u"4567"_s);
        QCOMPARE(ini.sectionNames().size(), 2);
    }

    void saveIntoMissingFolderThrows()
    {
        QTemporaryDir folder;
        ExtraSettings settings;
        QVERIFY_THROWS_EXCEPTION(FileIoError, settings.save(folder.filePath(u"no such folder"_s)));
    }

    void damagedValues_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("entries");
        QTest::newRow("both set") << QByteArray("[Transfer]\nMaxWalkFolders=10\nMaxWalkEntries=20\n") << 10
                                  << 20;
        QTest::newRow("blanks around") << QByteArray("[TRANSFER]\nmaxwalkfolders =  10 \n") << 10 << 2000000;
        QTest::newRow("no section") << QByteArray("MaxWalkFolders=10\n") << 100000 << 2000000;
        QTest::newRow("other section") << QByteArray("[General]\nMaxWalkFolders=10\n") << 100000 << 2000000;
        QTest::newRow("text") << QByteArray("[Transfer]\nMaxWalkFolders=many\nMaxWalkEntries=1e6\n") << 100000
                              << 2000000;
        QTest::newRow("zero") << QByteArray("[Transfer]\nMaxWalkFolders=0\nMaxWalkEntries=0\n") << 100000
                              << 2000000;
        QTest::newRow("negative") << QByteArray("[Transfer]\nMaxWalkFolders=-5\nMaxWalkEntries=-1\n")
                                  << 100000 << 2000000;
        QTest::newRow("beyond an int")
            << QByteArray("[Transfer]\nMaxWalkFolders=99999999999\nMaxWalkEntries=2147483648\n") << 100000
            << 2000000;
        QTest::newRow("empty value") << QByteArray("[Transfer]\nMaxWalkFolders=\nMaxWalkEntries=3\n")
                                     << 100000 << 3;
        QTest::newRow("binary junk") << QByteArray("\x01\xff[Tra\x00nsfer]\n=\n", 14) << 100000 << 2000000;
    }

    void damagedValues()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, folders);
        QFETCH(int, entries);
        QTemporaryDir folder;
        writeBytes(ExtraSettings::filePath(folder.path()), file);
        ExtraSettings settings;
        settings.MaxWalkFolders = 1;
        settings.MaxWalkEntries = 1;
        QVERIFY(settings.load(folder.path()));
        QCOMPARE(settings.MaxWalkFolders, folders);
        QCOMPARE(settings.MaxWalkEntries, entries);
    }
};

QTEST_GUILESS_MAIN(TestExtraSettings)
#include "tst_extrasettings.moc"
