#include "store/configrecord.h"
#include "store/io/datafile.h"
#include "tests/support/testfiles.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <limits>

using namespace skyhaul;

using skyhaul::test::fileBytes;
using skyhaul::test::writeBytes;

namespace {

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

/// Every field away from its default, each with a value of its own.
ConfigRecord changedRecord()
{
    ConfigRecord c;
    c.Language = QStringLiteral("Korean");
    c.MainWidth = 1024;
    c.MainHeight = 700;
    c.MainLeft = -8;
    c.MainTop = -8;
    c.SplitterRatio = 0.25;
    c.BottomPanelHeight = 180;
    c.ShowMainCaption = false;
    c.ShowLocalCaption = true;
    c.ShowRemoteCaption = false;
    c.FileExistsAction = FileExists::Resume;
    c.DoubleClickAction = DoubleClick::Edit;
    c.StoreQuickConnectPassword = true;
    c.EditorChoice = Editor::EditorPath;
    c.EditorPath = QStringLiteral("/usr/bin/vim");
    c.LeftActiveTab = 3;
    c.RightActiveTab = 1;
    c.UseMlsd = false;
    c.KeepFileTimes = false;
    c.ListHidden = true;
    return c;
}

} // namespace

Q_DECLARE_METATYPE(skyhaul::ConfigRecord)

class TestConfigRecord : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void firstStartDefaults()
    {
        QTemporaryDir dir;
        ConfigRecord c = changedRecord();
        QVERIFY(!c.load(dir.path()));
        QCOMPARE(c.Language, QStringLiteral("English"));
        QCOMPARE(c.MainWidth, -1);
        QCOMPARE(c.MainHeight, -1);
        QCOMPARE(c.MainLeft, -1);
        QCOMPARE(c.MainTop, -1);
        QCOMPARE(c.SplitterRatio, 0.5);
        QVERIFY(c.ShowMainCaption && c.ShowLocalCaption && c.ShowRemoteCaption);
        QCOMPARE(c.FileExistsAction, FileExists::Ask);
        QCOMPARE(c.DoubleClickAction, DoubleClick::Open);
        QCOMPARE(c.StoreQuickConnectPassword, false);
        QCOMPARE(c.EditorChoice, Editor::Notepad);
        QCOMPARE(c.EditorPath, QString());
        QVERIFY(c.UseMlsd && c.KeepFileTimes && !c.ListHidden);
        // Not part of the default set: they keep what they held (0 in a fresh record).
        QCOMPARE(c.BottomPanelHeight, 180);
        QCOMPARE(c.LeftActiveTab, 3);
        QCOMPARE(c.RightActiveTab, 1);
        const ConfigRecord fresh;
        QCOMPARE(fresh.BottomPanelHeight, 0);
        QCOMPARE(fresh.LeftActiveTab, 0);
        QCOMPARE(fresh.RightActiveTab, 0);
    }

    void goldenDefaultRecord()
    {
        QByteArray expected(564, '\0');
        auto put = [&](int offset, const QByteArray& bytes) {
            expected.replace(offset, bytes.size(), bytes);
        };
        put(0, QByteArray("\x07"
                          "English"));    // Language
        put(256, QByteArray(16, '\xFF')); // MainWidth, MainHeight, MainLeft, MainTop: -1
        put(272,
            QByteArray("\x00\x00\x00\x00\x00\x00\xE0\x3F", 8)); // SplitterRatio 0.5, IEEE 754 little-endian
        put(280, QByteArray(4, '\0'));                          // BottomPanelHeight 0
        put(284, QByteArray("\x01\x01\x01", 3));                // the three caption options
        put(287, QByteArray(4, '\0'));                          // FileExistsAction 0 (Ask)
        put(291, QByteArray("\x02\x00\x00\x00", 4));            // DoubleClickAction 2 (Open)
        put(295, QByteArray(1, '\0'));                          // StoreQuickConnectPassword false
        put(296, QByteArray("\x01\x00\x00\x00", 4));            // EditorChoice 1 (Notepad)
        // EditorPath (300), LeftActiveTab (556) and RightActiveTab (560) stay zero.
        QCOMPARE(ConfigRecord().toBytes(), expected);

        QTemporaryDir dir;
        ConfigRecord().save(dir.path());
        QCOMPARE(fileBytes(ConfigRecord::filePath(dir.path())), expected);
        QCOMPARE(ConfigRecord::filePath(dir.path()), dir.filePath(QStringLiteral("config.dat")));
    }

    void fieldOffsets_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Language") << 0
                                  << QByteArray("\x06"
                                                "Korean");
        QTest::newRow("MainWidth") << 256 << le32(1024);
        QTest::newRow("MainHeight") << 260 << le32(700);
        QTest::newRow("MainLeft") << 264 << le32(-8);
        QTest::newRow("MainTop") << 268 << le32(-8);
        QTest::newRow("SplitterRatio 0.25") << 272 << QByteArray("\x00\x00\x00\x00\x00\x00\xD0\x3F", 8);
        QTest::newRow("BottomPanelHeight") << 280 << le32(180);
        QTest::newRow("ShowMainCaption") << 284 << QByteArray(1, '\0');
        QTest::newRow("ShowLocalCaption") << 285 << QByteArray(1, '\1');
        QTest::newRow("ShowRemoteCaption") << 286 << QByteArray(1, '\0');
        QTest::newRow("FileExistsAction at an odd offset") << 287 << le32(2);
        QTest::newRow("DoubleClickAction at an odd offset") << 291 << le32(1);
        QTest::newRow("StoreQuickConnectPassword") << 295 << QByteArray(1, '\1');
        QTest::newRow("EditorChoice") << 296 << le32(2);
        QTest::newRow("EditorPath") << 300 << QByteArray("\x0C/usr/bin/vim");
        QTest::newRow("LeftActiveTab") << 556 << le32(3);
        QTest::newRow("RightActiveTab") << 560 << le32(1);
    }
    void fieldOffsets()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        const QByteArray record = changedRecord().toBytes();
        QCOMPARE(record.size(), 564);
        QCOMPARE(record.mid(offset, bytes.size()), bytes);
    }

    void roundTripsEveryField_data()
    {
        QTest::addColumn<ConfigRecord>("record");
        QTest::newRow("defaults") << ConfigRecord();
        QTest::newRow("every field changed") << changedRecord();
        ConfigRecord wide = changedRecord();
        wide.Language = QStringLiteral("\ud55c\uad6d\uc5b4");
        wide.EditorPath = QStringLiteral("/opt/\u00e9diteur/bin/\u00e9d");
        wide.MainWidth = std::numeric_limits<qint32>::max();
        wide.RightActiveTab = std::numeric_limits<qint32>::min();
        wide.SplitterRatio = 1.0;
        QTest::newRow("non-ascii texts, extreme values") << wide;
    }
    void roundTripsEveryField()
    {
        QFETCH(ConfigRecord, record);
        QTemporaryDir dir;
        record.save(dir.path());
        QCOMPARE(QFileInfo(ConfigRecord::filePath(dir.path())).size(), 564);
        ConfigRecord loaded;
        loaded.BottomPanelHeight = 999;
        QVERIFY(loaded.load(dir.path()));
        QCOMPARE(loaded, record);
    }

    void longTextsAreCut()
    {
        ConfigRecord c;
        c.EditorPath = QString(300, QLatin1Char('p'));
        const auto back = ConfigRecord::fromBytes(c.toBytes());
        QVERIFY(back);
        QCOMPARE(back->EditorPath, QString(255, QLatin1Char('p')));
    }

    // A full text slot in another code page: what is loaded is what a save keeps.
    void textsOfAnotherCodePageSurviveASave()
    {
        ConfigRecord c;
        QByteArray bytes = c.toBytes();
        bytes[0] = char(255);
        bytes.replace(1, 255, QByteArray(255, char(0xEC))); // a Korean code page's lead bytes
        const auto loaded = ConfigRecord::fromBytes(bytes);
        QVERIFY(loaded);
        QVERIFY(loaded->Language.toUtf8().size() <= 255);
        QCOMPARE(ConfigRecord::fromBytes(loaded->toBytes()), loaded);
    }

    void otherSizesCountAsMissing_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("563 bytes") << 563;
        QTest::newRow("565 bytes") << 565;
        QTest::newRow("empty") << 0;
        QTest::newRow("twice") << 1128;
    }
    void otherSizesCountAsMissing()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = ConfigRecord::filePath(dir.path());
        QByteArray bytes = changedRecord().toBytes();
        bytes.resize(size, '\x01');
        writeBytes(path, bytes);
        ConfigRecord c = changedRecord();
        QVERIFY(!c.load(dir.path()));
        ConfigRecord expected;
        expected.BottomPanelHeight = 180;
        expected.LeftActiveTab = 3;
        expected.RightActiveTab = 1;
        QCOMPARE(c, expected);
        QCOMPARE(QFileInfo(path).size(), size); // left alone
        QVERIFY(!ConfigRecord::fromBytes(bytes));
    }

    // Values no reader can use come back as their defaults.
    void unusableValuesTakeTheirDefaults_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("field");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        auto dbl = [](double v) {
            QByteArray b(8, '\0');
            qToLittleEndian(v, b.data());
            return b;
        };
        QTest::newRow("ratio NaN") << 272 << dbl(nan) << QStringLiteral("ratio");
        QTest::newRow("ratio infinite") << 272 << dbl(inf) << QStringLiteral("ratio");
        QTest::newRow("ratio 2") << 272 << dbl(2.0) << QStringLiteral("ratio");
        QTest::newRow("ratio negative") << 272 << dbl(-0.5) << QStringLiteral("ratio");
        QTest::newRow("FileExistsAction 4") << 287 << le32(4) << QStringLiteral("exists");
        QTest::newRow("DoubleClickAction -1") << 291 << le32(-1) << QStringLiteral("doubleclick");
        QTest::newRow("EditorChoice 3") << 296 << le32(3) << QStringLiteral("editor");
    }
    void unusableValuesTakeTheirDefaults()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, field);
        QByteArray record = changedRecord().toBytes();
        record.replace(offset, bytes.size(), bytes);
        const auto c = ConfigRecord::fromBytes(record);
        QVERIFY(c);
        ConfigRecord expected = changedRecord();
        if (field == QLatin1String("ratio"))
            expected.SplitterRatio = 0.5;
        else if (field == QLatin1String("exists"))
            expected.FileExistsAction = FileExists::Ask;
        else if (field == QLatin1String("doubleclick"))
            expected.DoubleClickAction = DoubleClick::Open;
        else
            expected.EditorChoice = Editor::Notepad;
        QCOMPARE(*c, expected);
    }

    void booleanByteOtherThanOneIsTrue()
    {
        QByteArray record = ConfigRecord().toBytes();
        record[295] = char(0x7F);
        record[284] = 0;
        const auto c = ConfigRecord::fromBytes(record);
        QVERIFY(c && c->StoreQuickConnectPassword && !c->ShowMainCaption);
    }

    // The connect choices sit in the Language slot's last byte: what older programs wrote there (0) gives the
    // defaults, and what they read of the record (the language) is the same with or without the choices.
    void connectChoicesInTheLanguageSlot_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("useMlsd");
        QTest::addColumn<bool>("keepFileTimes");
        QTest::addColumn<bool>("listHidden");
        QTest::addColumn<quint8>("flagsByte");
        QTest::addColumn<bool>("kept");
        const QString english = QStringLiteral("English");
        QTest::newRow("defaults: byte 0") << english << true << true << false << quint8(0) << true;
        QTest::newRow("MLSD off") << english << false << true << false << quint8(1) << true;
        QTest::newRow("file times off") << english << true << false << false << quint8(2) << true;
        QTest::newRow("hidden files on") << english << true << true << true << quint8(4) << true;
        QTest::newRow("all changed") << english << false << false << true << quint8(7) << true;
        QTest::newRow("254-byte language leaves the byte free")
            << QString(254, QLatin1Char('L')) << false << false << true << quint8(7) << true;
        // No language file can have a name of 255 bytes; such a text wins and the choices load as defaults.
        QTest::newRow("255-byte language takes the byte")
            << QString(255, QLatin1Char('L')) << false << false << true << quint8('L') << false;
    }
    void connectChoicesInTheLanguageSlot()
    {
        QFETCH(QString, language);
        QFETCH(bool, useMlsd);
        QFETCH(bool, keepFileTimes);
        QFETCH(bool, listHidden);
        QFETCH(quint8, flagsByte);
        QFETCH(bool, kept);
        ConfigRecord c = changedRecord();
        c.Language = language;
        c.UseMlsd = useMlsd;
        c.KeepFileTimes = keepFileTimes;
        c.ListHidden = listHidden;
        const QByteArray bytes = c.toBytes();
        QCOMPARE(quint8(bytes[255]), flagsByte);
        // Every other byte is what the record gives with the default choices.
        ConfigRecord plain = c;
        plain.UseMlsd = true;
        plain.KeepFileTimes = true;
        plain.ListHidden = false;
        QByteArray other = bytes;
        QByteArray otherPlain = plain.toBytes();
        other[255] = 0;
        otherPlain[255] = 0;
        QCOMPARE(other, otherPlain);

        QTemporaryDir dir;
        c.save(dir.path());
        ConfigRecord loaded;
        QVERIFY(loaded.load(dir.path()));
        QCOMPARE(loaded.Language, language);
        QCOMPARE(loaded.UseMlsd, kept ? useMlsd : true);
        QCOMPARE(loaded.KeepFileTimes, kept ? keepFileTimes : true);
        QCOMPARE(loaded.ListHidden, kept ? listHidden : false);
    }

    // Bytes the encoding cannot read come back three bytes each: a language of 100 of them fills its slot
    // when saved, so the byte after it holds no choices, and loading what was saved gives the same record.
    void unreadableLanguageBytesLeaveNoChoices()
    {
        QByteArray bytes = ConfigRecord().toBytes();
        bytes[0] = char(100);
        bytes.replace(1, 100, QByteArray(100, char(0x9f)));
        bytes[255] = 7;
        const std::optional<ConfigRecord> read = ConfigRecord::fromBytes(bytes);
        QVERIFY(read.has_value());
        QVERIFY(read->UseMlsd && read->KeepFileTimes && !read->ListHidden);
        const std::optional<ConfigRecord> again = ConfigRecord::fromBytes(read->toBytes());
        QVERIFY(again.has_value() && *again == *read);
    }

    void saveIntoMissingFolderIsAnError()
    {
        QTemporaryDir dir;
        QVERIFY_THROWS_EXCEPTION(FileIoError, ConfigRecord().save(dir.filePath(QStringLiteral("gone"))));
    }
};

QTEST_GUILESS_MAIN(TestConfigRecord)
#include "tst_configrecord.moc"
