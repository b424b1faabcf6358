#include "store/io/ansitext.h"
#include "store/io/datafile.h"
#include "store/passwordscramble.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
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

/// A raw record of the file with just an ID (everything else zero).
QByteArray rawRecordWithId(qint32 id)
{
    QByteArray r(TSiteManList::RecordSize, '\0');
    qToLittleEndian(id, r.data());
    return r;
}

struct SiteFields {
    qint32 ID, ParentID, Port, SSLMode;
    bool IsGroup, Passive, Anonymous;
    QString LocalPath, Name, Notes, Password, Host, RemotePath, UserID;
};

TSiteManRec* makeRecord(const SiteFields& f)
{
    auto* r = new TSiteManRec;
    r->ID = f.ID;
    r->IsGroup = f.IsGroup;
    r->ParentID = f.ParentID;
    r->Port = f.Port;
    r->Passive = f.Passive;
    r->SSLMode = f.SSLMode;
    r->Anonymous = f.Anonymous;
    r->LocalPath = f.LocalPath;
    r->Name = f.Name;
    r->Notes = f.Notes;
    r->Password = f.Password;
    r->Host = f.Host;
    r->RemotePath = f.RemotePath;
    r->UserID = f.UserID;
    return r;
}

void compareRecord(const TSiteManRec& r, const SiteFields& f)
{
    QCOMPARE(r.ID, f.ID);
    QCOMPARE(r.IsGroup, f.IsGroup);
    QCOMPARE(r.ParentID, f.ParentID);
    QCOMPARE(r.Port, f.Port);
    QCOMPARE(r.Passive, f.Passive);
    QCOMPARE(r.SSLMode, f.SSLMode);
    QCOMPARE(r.Anonymous, f.Anonymous);
    QCOMPARE(r.LocalPath, f.LocalPath);
    QCOMPARE(r.Name, f.Name);
    QCOMPARE(r.Notes, f.Notes);
    QCOMPARE(r.Password, f.Password);
    QCOMPARE(r.Host, f.Host);
    QCOMPARE(r.RemotePath, f.RemotePath);
    QCOMPARE(r.UserID, f.UserID);
}

} // namespace

Q_DECLARE_METATYPE(SiteFields)

class TestSiteStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void recordDefaults()
    {
        const TSiteManRec r;
        compareRecord(
            r, SiteFields{-1, -1, 21, 3, false, true, false, {}, {}, {}, {}, {}, QStringLiteral("/"), {}});
        const TSiteManList list;
        QCOMPARE(list.Count(), 0);
        QCOMPARE(list.NextID, 0);
    }

    // Rotation amounts by key index ("MirVoxa", key sum 710): (k + 710) mod 8 = 3 7 0 4 5 6 7.
    // Odd 1-based positions rotate right, even ones left.
    void scrambleGolden_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("scrambled");
        // 'a' 0x61 ror 3 = 0x2C; 'b' 0x62 rol 7 = 0x31; 'c' 0x63 rotated by 0 stays.
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("\x2C\x31\x63");
        // 0x01 at positions 1..8: ror3 rol7 -- rol4 ror5 rol6 ror7, then position 8 uses key index 0: rol3.
        QTest::newRow("every key position and the wrap")
            << QByteArray(8, '\x01') << QByteArray("\x20\x80\x01\x10\x08\x40\x02\x08");
        QTest::newRow("0x80 at position 1") << QByteArray("\x80") << QByteArray("\x10");
        QTest::newRow("zero and all-ones unchanged")
            << QByteArray("\x00\xFF", 2) << QByteArray("\x00\xFF", 2);
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void scrambleGolden()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, scrambled);
        QCOMPARE(scramblePassword(plain), scrambled);
        QCOMPARE(unscramblePassword(scrambled), plain);
    }

    void scrambleIsReversibleForEveryByteAtEveryKeyPosition()
    {
        for (int position = 0; position < 14; ++position) {
            for (int value = 0; value < 256; ++value) {
                QByteArray plain(position + 1, 'x');
                plain[position] = char(value);
                const QByteArray s = scramblePassword(plain);
                QCOMPARE(s.size(), plain.size());
                QCOMPARE(unscramblePassword(s), plain);
            }
        }
    }

    // Every field at its offset, computed by hand.
    void goldenRecordBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("SiteManager.dat"));
        TSiteManList list;
        list.Add(
            makeRecord({0x01020304, -2, 2121, 2, true, false, true, QStringLiteral("/home/u"),
                        QStringLiteral("Site"), QStringLiteral("a\r\nb"), QStringLiteral("abc"),
                        QStringLiteral("ftp.example.org"), QStringLiteral("/pub"), QStringLiteral("bob")}));
        list.SaveToFile(path);

        QByteArray expected(1811, '\0');
        auto put = [&](int offset, const QByteArray& bytes) {
            expected.replace(offset, bytes.size(), bytes);
        };
        put(0, QByteArray("\x04\x03\x02\x01", 4));  // ID 0x01020304, little-endian
        put(4, QByteArray("\x01", 1));              // IsGroup
        put(5, QByteArray("\xFE\xFF\xFF\xFF", 4));  // ParentID -2
        put(9, QByteArray("\x49\x08\x00\x00", 4));  // Port 2121 = 0x0849
        put(13, QByteArray("\x00", 1));             // Passive false
        put(14, QByteArray("\x02\x00\x00\x00", 4)); // SSLMode 2
        put(18, QByteArray("\x01", 1));             // Anonymous
        put(19, QByteArray("\x07/home/u"));         // LocalPath
        put(275, QByteArray("\x04Site"));           // Name
        put(531, QByteArray("\x04"
                            "a\r\nb"));           // Notes
        put(787, QByteArray("\x03\x2C\x31\x63")); // Password "abc", scrambled
        put(1043, QByteArray("\x0F"
                             "ftp.example.org")); // Host
        put(1299, QByteArray("\x04/pub"));        // RemotePath
        put(1555, QByteArray("\x03"
                             "bob")); // UserID
        QCOMPARE(fileBytes(path), expected);
    }

    void roundTripsEveryField_data()
    {
        QTest::addColumn<SiteFields>("fields");
        QTest::newRow("defaults") << SiteFields{
            -1, -1, 21, 3, false, true, false, {}, {}, {}, {}, {}, QStringLiteral("/"), {}};
        QTest::newRow("every field changed") << SiteFields{7,
                                                           3,
                                                           990,
                                                           1,
                                                           true,
                                                           false,
                                                           true,
                                                           QStringLiteral("/srv/data/"),
                                                           QStringLiteral("Work"),
                                                           QStringLiteral("line 1\r\nline 2"),
                                                           QStringLiteral("s3cr3t!#"),
                                                           QStringLiteral("10.0.0.5"),
                                                           QStringLiteral("/home/bob"),
                                                           QStringLiteral("bob")};
        QTest::newRow("quick-connect record ID -1") << SiteFields{-1,
                                                                  -1,
                                                                  2121,
                                                                  2,
                                                                  false,
                                                                  true,
                                                                  false,
                                                                  {},
                                                                  {},
                                                                  {},
                                                                  QStringLiteral("pw"),
                                                                  QStringLiteral("ftp.example.org"),
                                                                  QStringLiteral("/"),
                                                                  QStringLiteral("alice")};
        QTest::newRow("non-ascii texts and password")
            << SiteFields{0,
                          -1,
                          21,
                          0,
                          false,
                          true,
                          false,
                          QStringLiteral("/home/\u00e9t\u00e9/"),
                          QStringLiteral("\ud55c\uae00 \uc0ac\uc774\ud2b8"),
                          QStringLiteral("caf\u00e9"),
                          QStringLiteral("p\u00e4ss\U0001F600"),
                          QStringLiteral("h\u00f6st"),
                          QStringLiteral("/\u00fc/"),
                          QStringLiteral("\u00fcser")};
        QTest::newRow("extreme integers") << SiteFields{std::numeric_limits<qint32>::min(),
                                                        std::numeric_limits<qint32>::max(),
                                                        65535,
                                                        -7,
                                                        true,
                                                        true,
                                                        true,
                                                        {},
                                                        {},
                                                        {},
                                                        {},
                                                        {},
                                                        {},
                                                        {}};
    }
    void roundTripsEveryField()
    {
        QFETCH(SiteFields, fields);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("SiteManager.dat"));
        TSiteManList out;
        out.Add(makeRecord(fields));
        out.SaveToFile(path);
        QCOMPARE(QFileInfo(path).size(), 1811);
        TSiteManList in;
        in.LoadFromFile(path);
        QCOMPARE(in.Count(), 1);
        compareRecord(*in.Item(0), fields);
    }

    void emptyPasswordIsALengthByteZero()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        TSiteManList list;
        list.Add(new TSiteManRec);
        list.SaveToFile(path);
        QCOMPARE(fileBytes(path).mid(787, 256), QByteArray(256, '\0'));
    }

    void longTextsAreCutTo255Bytes_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("kept");
        QTest::newRow("300-byte host") << QString(300, QLatin1Char('h')) << QString(255, QLatin1Char('h'));
        QTest::newRow("2-byte characters")
            << QStringLiteral("\u00e9").repeated(200) << QStringLiteral("\u00e9").repeated(127);
    }
    void longTextsAreCutTo255Bytes()
    {
        QFETCH(QString, host);
        QFETCH(QString, kept);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        TSiteManList list;
        auto* r = new TSiteManRec;
        r->Host = host;
        r->Password = host; // the password is cut before it is scrambled
        list.Add(r);
        list.SaveToFile(path);
        const QByteArray bytes = fileBytes(path);
        QCOMPARE(bytes.size(), 1811);
        QCOMPARE(quint8(bytes[1043]), quint8(kept.toUtf8().size()));
        QCOMPARE(cutToSlot(host), kept);
        TSiteManList in;
        in.LoadFromFile(path);
        QCOMPARE(in.Item(0)->Host, kept);
        QCOMPARE(in.Item(0)->Password, kept);
    }

    // A full slot of text in another code page decodes to U+FFFD characters of three bytes each: what is
    // loaded is already what a save keeps, so saving and loading again changes nothing.
    void textsOfAnotherCodePageSurviveASave_data()
    {
        QTest::addColumn<int>("offset");
        QTest::newRow("host") << 1043;
        QTest::newRow("password") << 787;
    }
    void textsOfAnotherCodePageSurviveASave()
    {
        QFETCH(int, offset);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        QByteArray raw = rawRecordWithId(0);
        raw[offset] = char(255);
        raw.replace(offset + 1, 255, QByteArray(255, char(0xE9))); // "é" in Windows-1252
        writeBytes(path, raw);
        TSiteManList loaded;
        loaded.LoadFromFile(path);
        const TSiteManRec first = *loaded.Item(0);
        QVERIFY(first.Host.toUtf8().size() <= 255 && first.Password.toUtf8().size() <= 255);
        loaded.SaveToFile(path);
        TSiteManList again;
        again.LoadFromFile(path);
        QCOMPARE(again.Item(0)->Host, first.Host);
        QCOMPARE(again.Item(0)->Password, first.Password);
    }

    void nextIdFollowsTheLoadedIds_data()
    {
        QTest::addColumn<QList<qint32>>("ids");
        QTest::addColumn<qint32>("nextId");
        QTest::newRow("empty file") << QList<qint32>{} << 0;
        QTest::newRow("0 1 2") << QList<qint32>{0, 1, 2} << 3;
        QTest::newRow("5 0 1") << QList<qint32>{5, 0, 1} << 6;
        QTest::newRow("only -1") << QList<qint32>{-1, -1} << 0;
        QTest::newRow("negative ids") << QList<qint32>{-5, -3} << 0;
        // A damaged file must not wrap NextID around to a negative number.
        QTest::newRow("largest id") << QList<qint32>{std::numeric_limits<qint32>::max()}
                                    << std::numeric_limits<qint32>::max();
    }
    void nextIdFollowsTheLoadedIds()
    {
        QFETCH(QList<qint32>, ids);
        QFETCH(qint32, nextId);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        QByteArray bytes;
        for (qint32 id : ids)
            bytes += rawRecordWithId(id);
        writeBytes(path, bytes);
        TSiteManList list;
        list.LoadFromFile(path);
        QCOMPARE(list.Count(), ids.size());
        QCOMPARE(list.NextID, nextId);
        for (int i = 0; i < ids.size(); ++i)
            QCOMPARE(list.Item(i)->ID, ids[i]);
    }

    void incompleteLastRecordIsIgnored_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("records");
        QTest::newRow("1811 x 2 + 100") << 1811 * 2 + 100 << 2;
        QTest::newRow("100") << 100 << 0;
        QTest::newRow("1811 x 3 - 1") << 1811 * 3 - 1 << 2;
        QTest::newRow("1811 x 3") << 1811 * 3 << 3;
    }
    void incompleteLastRecordIsIgnored()
    {
        QFETCH(int, size);
        QFETCH(int, records);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        QByteArray bytes;
        for (qint32 id = 0; bytes.size() < size; ++id)
            bytes += rawRecordWithId(id + 10);
        writeBytes(path, bytes.left(size));
        TSiteManList list;
        list.LoadFromFile(path);
        QCOMPARE(list.Count(), records);
        QCOMPARE(list.NextID, records == 0 ? 0 : 10 + records);
    }

    void booleanByteOtherThanOneIsTrue()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        QByteArray r = rawRecordWithId(1);
        r[4] = 2;           // IsGroup
        r[13] = char(0x80); // Passive
        r[18] = 0;          // Anonymous
        r[1299] = 1;        // RemotePath "/" followed by noise that must be ignored
        r[1300] = '/';
        r[1301] = 'X';
        writeBytes(path, r);
        TSiteManList list;
        list.LoadFromFile(path);
        QVERIFY(list.Item(0)->IsGroup);
        QVERIFY(list.Item(0)->Passive);
        QVERIFY(!list.Item(0)->Anonymous);
        QCOMPARE(list.Item(0)->RemotePath, QStringLiteral("/"));
    }

    // The name encoding sits in the host slot's last byte, which older readers ignore and older writers
    // leave 0 (Auto); the rest of the record is byte for byte what it is without the choice.
    void nameEncodingInTheHostSlot_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<quint8>("storedByte");
        QTest::addColumn<int>("loaded");
        const QString host = QStringLiteral("[2001:db8::1]");
        QTest::newRow("auto") << host << int(NameEncodingChoice::Auto) << quint8(0) << 0;
        QTest::newRow("utf-8") << host << int(NameEncodingChoice::Utf8) << quint8(1) << 1;
        QTest::newRow("local") << host << int(NameEncodingChoice::Local) << quint8(2) << 2;
        QTest::newRow("254-byte host")
            << QString(254, QLatin1Char('h')) << int(NameEncodingChoice::Utf8) << quint8(1) << 1;
        // No host name is 255 bytes long; such a text wins and the record loads with Auto.
        QTest::newRow("255-byte host takes the byte")
            << QString(255, QLatin1Char('h')) << int(NameEncodingChoice::Local) << quint8('h') << 0;
    }
    void nameEncodingInTheHostSlot()
    {
        QFETCH(QString, host);
        QFETCH(int, encoding);
        QFETCH(quint8, storedByte);
        QFETCH(int, loaded);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        const QString plainPath = dir.filePath(QStringLiteral("plain.dat"));
        TSiteManList out;
        auto* r = makeRecord({4,
                              -1,
                              2121,
                              2,
                              false,
                              true,
                              false,
                              QStringLiteral("/l"),
                              QStringLiteral("n"),
                              {},
                              QStringLiteral("pw"),
                              host,
                              QStringLiteral("/r"),
                              QStringLiteral("u")});
        r->NameEncoding = NameEncodingChoice(encoding);
        out.Add(r);
        out.SaveToFile(path);
        r->NameEncoding = NameEncodingChoice::Auto;
        out.SaveToFile(plainPath);

        QByteArray bytes = fileBytes(path);
        QCOMPARE(bytes.size(), 1811);
        QCOMPARE(quint8(bytes[1043 + 255]), storedByte);
        QByteArray plain = fileBytes(plainPath);
        bytes[1043 + 255] = 0;
        plain[1043 + 255] = 0;
        QCOMPARE(bytes, plain);

        TSiteManList in;
        in.LoadFromFile(path);
        QCOMPARE(int(in.Item(0)->NameEncoding), loaded);
        QCOMPARE(in.Item(0)->Host, cutToSlot(host));
    }

    void unknownNameEncodingLoadsAsAuto()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        QByteArray r = rawRecordWithId(1);
        r[1043] = 3;
        r.replace(1044, 3, "::1");
        r[1043 + 255] = 3;
        writeBytes(path, r);
        TSiteManList list;
        list.LoadFromFile(path);
        QCOMPARE(list.Item(0)->Host, QStringLiteral("::1"));
        QCOMPARE(list.Item(0)->NameEncoding, NameEncodingChoice::Auto);
    }

    // Bytes the encoding cannot read come back three bytes each: a host of 100 of them fills its slot when
    // saved, so the byte after it is no encoding, and loading what was saved gives the same record.
    void unreadableHostBytesLeaveNoEncoding()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        QByteArray r = rawRecordWithId(1);
        r[1043] = char(100);
        r.replace(1044, 100, QByteArray(100, char(0x9f)));
        r[1043 + 255] = 2;
        writeBytes(path, r);
        TSiteManList list;
        list.LoadFromFile(path);
        QCOMPARE(list.Item(0)->NameEncoding, NameEncodingChoice::Auto);
        const QString again = dir.filePath(QStringLiteral("again.dat"));
        list.SaveToFile(again);
        TSiteManList reloaded;
        reloaded.LoadFromFile(again);
        QCOMPARE(reloaded.Item(0)->Host, list.Item(0)->Host);
        QCOMPARE(reloaded.Item(0)->NameEncoding, NameEncodingChoice::Auto);
    }

    void missingFileLeavesTheStoreAsItIs()
    {
        QTemporaryDir dir;
        TSiteManList list;
        list.Add(new TSiteManRec);
        list.NextID = 42;
        list.LoadFromFile(dir.filePath(QStringLiteral("missing.dat")));
        QCOMPARE(list.Count(), 1);
        QCOMPARE(list.NextID, 42);
    }

    void loadReplacesRecordsButRaisesNextIdOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        writeBytes(path, rawRecordWithId(3));
        TSiteManList list;
        list.Add(new TSiteManRec);
        list.Add(new TSiteManRec);
        list.NextID = 10;
        list.LoadFromFile(path);
        QCOMPARE(list.Count(), 1);
        QCOMPARE(list.NextID, 10);
    }

    void unreadableFileIsAnError()
    {
        QTemporaryDir dir;
        TSiteManList list;
        QVERIFY_THROWS_EXCEPTION(FileIoError, list.LoadFromFile(dir.path()));
    }

    void emptyStoreSavesAnEmptyFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.dat"));
        writeBytes(path, rawRecordWithId(1));
        TSiteManList list;
        list.SaveToFile(path);
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void listOperations()
    {
        TSiteManList list;
        QCOMPARE(list.Item(0), nullptr);
        QCOMPARE(list.Item(7), nullptr);
        auto* a = new TSiteManRec;
        auto* b = new TSiteManRec;
        QCOMPARE(list.Add(a), 0);
        QCOMPARE(list.Add(b), 1);
        QCOMPARE(list.Item(1), b);
        QCOMPARE(list.IndexOf(b), 1);
        const TSiteManRec stranger;
        QCOMPARE(list.IndexOf(&stranger), -1);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Item(2));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Item(-1));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, list.Delete(2));
        list.Delete(0);
        QCOMPARE(list.Count(), 1);
        QCOMPARE(list.Item(0), b);
        list.NextID = 5;
        list.Clear();
        QCOMPARE(list.Count(), 0);
        QCOMPARE(list.Item(0), nullptr);
        QCOMPARE(list.NextID, 5);
    }

    // The configuration page deletes checked quick-connect entries from the last to the first.
    void deletingEntriesOneAndThreeOfFiveKeepsTheOthersInOrder()
    {
        QTemporaryDir dir;
        const QString path = quickConnectFilePath(dir.path());
        TSiteManList list;
        for (int i = 0; i < 5; ++i) {
            auto r =
                makeQuickConnectRecord({QStringLiteral("u%1").arg(i), {}, QStringLiteral("h"), 21, true, 3});
            list.Add(std::move(r));
        }
        for (int index : {3, 1})
            list.Delete(index);
        list.SaveToFile(path);
        TSiteManList in;
        in.LoadFromFile(path);
        QCOMPARE(in.Count(), 3);
        QCOMPARE(in.Item(0)->UserID, QStringLiteral("u0"));
        QCOMPARE(in.Item(1)->UserID, QStringLiteral("u2"));
        QCOMPARE(in.Item(2)->UserID, QStringLiteral("u4"));
    }

    void quickConnectRecordValues()
    {
        auto r = makeQuickConnectRecord({QStringLiteral("alice"), QStringLiteral("pw"),
                                         QStringLiteral("ftp.example.org"), 2121, false, 2});
        compareRecord(*r, SiteFields{-1,
                                     -1,
                                     2121,
                                     2,
                                     false,
                                     false,
                                     false,
                                     {},
                                     {},
                                     {},
                                     QStringLiteral("pw"),
                                     QStringLiteral("ftp.example.org"),
                                     QStringLiteral("/"),
                                     QStringLiteral("alice")});
        QCOMPARE(quickConnectCaption(*r), QStringLiteral("alice@ftp.example.org"));
        QTemporaryDir dir;
        QCOMPARE(quickConnectFilePath(dir.path()), dir.filePath(QStringLiteral("QuickConnectList.dat")));
        QCOMPARE(siteManagerFilePath(dir.path()), dir.filePath(QStringLiteral("SiteManager.dat")));
    }

    // Two tabs opened earlier each add a record for the same user and host: both stay in the file.
    void duplicateQuickConnectRecordsAreKept()
    {
        QTemporaryDir dir;
        const QString path = quickConnectFilePath(dir.path());
        TSiteManList list;
        const QuickConnectLogon logon{
            QStringLiteral("bob"), QStringLiteral("x"), QStringLiteral("h"), 21, true, 3};
        list.Add(makeQuickConnectRecord(logon));
        list.Add(makeQuickConnectRecord(logon));
        list.SaveToFile(path);
        TSiteManList in;
        in.LoadFromFile(path);
        QCOMPARE(in.Count(), 2);
        QCOMPARE(in.NextID, 0);
        QCOMPARE(quickConnectCaption(*in.Item(1)), QStringLiteral("bob@h"));
    }
};

QTEST_GUILESS_MAIN(TestSiteStore)
#include "tst_sitestore.moc"
