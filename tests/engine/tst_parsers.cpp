#include "engine/control/lineassembler.h"
#include "engine/data/dataconnection.h"
#include "engine/listing/listingparser.h"
#include "engine/listing/mlsdparser.h"

#include <QHostAddress>
#include <QTest>

Q_DECLARE_METATYPE(skyhaul::engine::MlsdLine)

using skyhaul::engine::DataConnection;
using skyhaul::engine::ListEntry;
using skyhaul::engine::MlsdEntry;
using skyhaul::engine::MlsdLine;
using skyhaul::engine::parseListLine;
using skyhaul::engine::parseMlsdLine;
using skyhaul::engine::ReplyJudge;

class TestParsers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listing_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("reported");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("isDir");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("time");

        QTest::newRow("total dropped")
            << QByteArray("total 12") << false << QByteArray() << false << qint64(0) << QByteArray();
        QTest::newRow("To in any case dropped")
            << QByteArray("TOmorrow.txt") << false << QByteArray() << false << qint64(0) << QByteArray();
        QTest::newRow("unix nine tokens")
            << QByteArray("drwxr-xr-x   2 owner group 4096 Jan 10 2009 docs") << true << QByteArray("docs")
            << true << qint64(4096) << QByteArray("Jan 10 2009");
        QTest::newRow("unix no group, name with blank")
            << QByteArray("-rw-r--r-- 1 owner 1234 Mar  5 12:30 my file.txt") << true
            << QByteArray("my file.txt") << false << qint64(1234) << QByteArray("Mar 5 12:30");
        QTest::newRow("unix numeric group")
            << QByteArray("-rw-r--r-- 1 owner 100 2048 Feb 28 2020 data.bin") << true
            << QByteArray("data.bin") << false << qint64(2048) << QByteArray("Feb 28 2020");
        QTest::newRow("unix symbolic link")
            << QByteArray("lrwxrwxrwx 1 root root 7 Jan 1 00:00 bin -> usr/bin") << true
            << QByteArray("bin -> usr/bin") << false << qint64(7) << QByteArray("Jan 1 00:00");
        QTest::newRow("unix tabs and blanks kept inside name")
            << QByteArray("-rw-r--r--\t1 u g 5 Apr 1 10:00   two  blanks ") << true
            << QByteArray("two  blanks ") << false << qint64(5) << QByteArray("Apr 1 10:00");
        QTest::newRow("unix above 4 GiB")
            << QByteArray("-rw-r--r-- 1 u g 5368709120 Dec 1 2025 big.iso") << true << QByteArray("big.iso")
            << false << qint64(5368709120) << QByteArray("Dec 1 2025");
        QTest::newRow("dos folder with blank in name")
            << QByteArray("01-10-09  10:15AM       <DIR>          My Docs") << true << QByteArray("My Docs")
            << true << qint64(0) << QByteArray("01-10-09 10:15AM");
        QTest::newRow("dos file") << QByteArray("12-31-24  11:59PM             123456 report.pdf") << true
                                  << QByteArray("report.pdf") << false << qint64(123456)
                                  << QByteArray("12-31-24 11:59PM");
        QTest::newRow("dos above 4 GiB")
            << QByteArray("01-01-25  01:00AM         6442450944 disk.img") << true << QByteArray("disk.img")
            << false << qint64(6442450944) << QByteArray("01-01-25 01:00AM");
        QTest::newRow("empty line") << QByteArray("") << true << QByteArray("") << false << qint64(0)
                                    << QByteArray("  ");
        QTest::newRow("garbage still reported")
            << QByteArray("hello") << true << QByteArray("") << false << qint64(0) << QByteArray("  ");
    }

    void listing()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, reported);
        ListEntry entry;
        QCOMPARE(parseListLine(line, entry), reported);
        if (!reported)
            return;
        QTEST(entry.name.toByteArray(), "name");
        QTEST(entry.isDir, "isDir");
        QTEST(entry.size, "size");
        QTEST(entry.time, "time");
    }

    void mlsd_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<MlsdLine>("verdict");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("isDir");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("modify");
        QTest::addColumn<QByteArray>("listLine"); // the long listing line the event carries

        const auto row = [](const char* name, const QByteArray& line, MlsdLine verdict,
                            const QByteArray& entryName, bool isDir, qint64 size, const QByteArray& modify,
                            const QByteArray& listLine) {
            QTest::newRow(name) << line << verdict << entryName << isDir << size << modify << listLine;
        };
        const auto refused = [&](const char* name, const QByteArray& line) {
            row(name, line, MlsdLine::Refused, {}, false, 0, {}, {});
        };
        // DATE stands for the modify time's local date.
        row("proftpd file",
            "modify=20260102030405;perm=adfrw;size=1234;type=file;unique=FD01U25;UNIX.group=100;"
            "UNIX.groupname=users;UNIX.mode=0644;UNIX.owner=1000;UNIX.ownername=ann; report.pdf",
            MlsdLine::Entry, "report.pdf", false, 1234, "20260102030405",
            "-rw-r--r-- 1 ann users 1234 DATE report.pdf");
        row("pure-ftpd folder, sizd",
            "type=dir;sizd=4096;modify=20251231235959;UNIX.mode=0755;UNIX.uid=1000;UNIX.gid=1000;unique=1"
            "g2; docs",
            MlsdLine::Entry, "docs", true, 4096, "20251231235959", "drwxr-xr-x 1 1000 1000 4096 DATE docs");
        row("pyftpdlib file with owner names",
            "type=file;size=7;modify=20240229120000.123;perm=r;unix.mode=0600;unix.owner=ann;"
            "unix.group=staff; a.txt",
            MlsdLine::Entry, "a.txt", false, 7, "20240229120000.123", "-rw------- 1 ann staff 7 DATE a.txt");
        row("pyftpdlib's mode in Python's octal form, numeric owner",
            "modify=20261211124943;perm=radfwMT;size=3;type=file;unix.gid=0;unix.mode=0o644;unix.uid=0; "
            "f.txt",
            MlsdLine::Entry, "f.txt", false, 3, "20261211124943", "-rw-r--r-- 1 0 0 3 DATE f.txt");
        row("fact names and values in any case", "Type=DIR;Size=0;Modify=20200101000000; Mixed",
            MlsdLine::Entry, "Mixed", true, 0, "20200101000000", "d????????? 1 ? ? 0 DATE Mixed");
        row("name with inner and leading blanks kept", "type=file;size=3;  two  blanks ", MlsdLine::Entry,
            " two  blanks ", false, 3, {}, "-????????? 1 ? ? 3 ? ? ?  two  blanks ");
        row("name holding a semicolon and an equals sign", "type=file;size=1; a=b;c", MlsdLine::Entry,
            "a=b;c", false, 1, {}, "-????????? 1 ? ? 1 ? ? ? a=b;c");
        row("no facts but type: a file of size 0", "perm=r; bare", MlsdLine::Entry, "bare", false, 0, {},
            "-????????? 1 ? ? 0 ? ? ? bare");
        row("size above 4 GiB", "type=file;size=5368709120; big.iso", MlsdLine::Entry, "big.iso", false,
            5368709120, {}, "-????????? 1 ? ? 5368709120 ? ? ? big.iso");
        row("size not a number", "type=file;size=12k; odd", MlsdLine::Entry, "odd", false, 0, {},
            "-????????? 1 ? ? 0 ? ? ? odd");
        row("malformed modify left out", "type=file;modify=2026-01-02; m", MlsdLine::Entry, "m", false, 0, {},
            "-????????? 1 ? ? 0 ? ? ? m");
        row("impossible modify left out", "type=file;modify=20261345250000; m", MlsdLine::Entry, "m", false,
            0, {}, "-????????? 1 ? ? 0 ? ? ? m");
        row("symbolic link with target", "type=OS.unix=slink:/srv/data;unix.mode=0777; data", MlsdLine::Entry,
            "data", false, 0, {}, "lrwxrwxrwx 1 ? ? 0 ? ? ? data -> /srv/data");
        row("symbolic link as proftpd names it", "type=OS.unix=symlink; ln", MlsdLine::Entry, "ln", false, 0,
            {}, "l????????? 1 ? ? 0 ? ? ? ln");
        row("current folder dropped", "type=cdir;modify=20260102030405; /home/ann", MlsdLine::Skipped, {},
            false, 0, {}, {});
        row("parent folder dropped in any case", "TYPE=PDir; ..", MlsdLine::Skipped, {}, false, 0, {}, {});
        refused("empty line", "");
        refused("LIST line", "-rw-r--r-- 1 u g 5 Apr 1 10:00 x");
        refused("no name", "type=file;size=1;");
        refused("two types: both a folder and a link", "type=OS.unix=slink:/srv/d;size=4096;type=dir; sub");
        refused("blank but empty name", "type=file;size=1; ");
        refused("no facts", " name");
        refused("blank inside the facts", "type=file;unix.owner=Domain Users; x");
        refused("facts without final semicolon", "type=file;size=1 name");
        refused("fact without equals", "type=file;junk; name");
        refused("empty fact", "type=file;; name");
        refused("dot", "type=dir; .");
        refused("dot dot", "type=dir; ..");
        refused("slash in name", "type=file; ../../etc/passwd");
        refused("absolute name", "type=file; /etc/passwd");
        refused("NUL in name", QByteArray("type=file; a\0b", 14));
    }

    void mlsd()
    {
        QFETCH(QByteArray, line);
        QFETCH(MlsdLine, verdict);
        QFETCH(QByteArray, modify);
        QFETCH(QByteArray, listLine);
        MlsdEntry entry;
        QCOMPARE(parseMlsdLine(line, entry), verdict);
        if (verdict != MlsdLine::Entry)
            return;
        QTEST(entry.name.toByteArray(), "name");
        QVERIFY(line.endsWith(entry.name)); // the name comes from the line, whole
        QTEST(entry.isDir, "isDir");
        QTEST(entry.size, "size");
        QCOMPARE(entry.modify.toByteArray(), modify);
        const QDateTime local = skyhaul::engine::parseMlsdTime(modify).toLocalTime();
        const QByteArray date =
            local.isValid() ? local.toString(QStringLiteral("MMM d yyyy")).toLatin1() : "? ? ?";
        QCOMPARE(skyhaul::engine::mlsdListLine(entry), QByteArray(listLine).replace("DATE", date));
    }

    void mlsdTime_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDateTime>("utc");
        QTest::newRow("seconds") << QByteArray("20260102030405")
                                 << QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
        QTest::newRow("milliseconds") << QByteArray("20240229235959.5")
                                      << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 500), Qt::UTC);
        QTest::newRow("finer than milliseconds")
            << QByteArray("20240229235959.123456")
            << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 123), Qt::UTC);
        QTest::newRow("no leap day") << QByteArray("20230229120000") << QDateTime();
        QTest::newRow("too short") << QByteArray("2026010203040") << QDateTime();
        QTest::newRow("empty fraction") << QByteArray("20260102030405.") << QDateTime();
        QTest::newRow("letters") << QByteArray("2026010203040x") << QDateTime();
        QTest::newRow("hour 24") << QByteArray("20260102240000") << QDateTime();
    }

    void mlsdTime()
    {
        QFETCH(QByteArray, text);
        QFETCH(QDateTime, utc);
        const QDateTime parsed = skyhaul::engine::parseMlsdTime(text);
        QCOMPARE(parsed.isValid(), utc.isValid());
        if (utc.isValid()) {
            QCOMPARE(parsed, utc);
            QCOMPARE(parsed.timeSpec(), Qt::UTC);
        }
    }

    void passiveReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("parentheses") << QByteArray("227 Entering Passive Mode (127,0,0,1,195,80).") << true
                                     << QStringLiteral("127.0.0.1") << 50000;
        QTest::newRow("no parentheses")
            << QByteArray("227 =10,1,2,3,4,1") << true << QStringLiteral("10.1.2.3") << 1025;
        QTest::newRow("too few numbers")
            << QByteArray("227 Entering Passive Mode (127,0,0,1)") << false << QString() << 0;
        QTest::newRow("number out of range") << QByteArray("227 (300,0,0,1,1,1)") << false << QString() << 0;
        QTest::newRow("no numbers") << QByteArray("227 nothing") << false << QString() << 0;
    }

    void passiveReply()
    {
        QFETCH(QByteArray, reply);
        quint32 address = 0;
        quint16 port = 0;
        QFETCH(bool, ok);
        QCOMPARE(DataConnection::parsePassiveReply(reply, address, port), ok);
        if (!ok)
            return;
        QTEST(QHostAddress(address).toString(), "address");
        QTEST(int(port), "port");
    }

    // EPSV names only a port: "(<d><d><d>port<d>)", one delimiter throughout.
    void extendedPassiveReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("port");
        QTest::newRow("usual") << QByteArray("229 Entering Extended Passive Mode (|||6446|)") << true << 6446;
        QTest::newRow("other delimiter")
            << QByteArray("229 Extended Passive mode OK (!!!50000!)") << true << 50000;
        QTest::newRow("highest port") << QByteArray("229 (|||65535|)") << true << 65535;
        // Parses; the caller refuses it as it refuses port 0 from PASV.
        QTest::newRow("port 0") << QByteArray("229 (|||0|)") << true << 0;
        QTest::newRow("port beyond 65535") << QByteArray("229 (|||65536|)") << false << 0;
        QTest::newRow("six digits") << QByteArray("229 (|||100000|)") << false << 0;
        QTest::newRow("no port") << QByteArray("229 (||||)") << false << 0;
        QTest::newRow("two leading delimiters") << QByteArray("229 (||6446|)") << false << 0;
        QTest::newRow("address given") << QByteArray("229 (|2|::1|6446|)") << false << 0;
        QTest::newRow("mixed delimiters") << QByteArray("229 (|||6446!)") << false << 0;
        QTest::newRow("no closing delimiter") << QByteArray("229 (|||6446)") << false << 0;
        QTest::newRow("no closing parenthesis") << QByteArray("229 (|||6446|") << false << 0;
        QTest::newRow("digit as delimiter") << QByteArray("229 (11164461)") << false << 0;
        QTest::newRow("blank as delimiter") << QByteArray("229 (   6446 )") << false << 0;
        QTest::newRow("no parentheses") << QByteArray("229 |||6446|") << false << 0;
        QTest::newRow("cut short") << QByteArray("229 (||") << false << 0;
        QTest::newRow("garbage") << QByteArray("229 \x01\xff(|||abc|)") << false << 0;
        QTest::newRow("a PASV reply")
            << QByteArray("227 Entering Passive Mode (127,0,0,1,195,80).") << false << 0;
    }

    void extendedPassiveReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        quint16 port = 1;
        QCOMPARE(DataConnection::parseExtendedPassiveReply(reply, port), ok);
        if (ok)
            QTEST(int(port), "port");
    }

    void sizeReply_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<bool>("known");
        QTest::addColumn<qint64>("size");
        using L = QList<QByteArray>;
        QTest::newRow("a number") << L{"213 1234"} << true << qint64(1234);
        QTest::newRow("zero") << L{"213 0"} << true << qint64(0);
        QTest::newRow("blanks around the number") << L{"213  77  "} << true << qint64(77);
        QTest::newRow("beyond 4 GiB") << L{"213 5000000000"} << true << qint64(5000000000);
        QTest::newRow("largest 64-bit")
            << L{"213 9223372036854775807"} << true << std::numeric_limits<qint64>::max();
        QTest::newRow("multi-line: the final line") << L{"213-Size follows", "213 42"} << true << qint64(42);
        QTest::newRow("huge") << L{"213 9223372036854775808"} << false << qint64(0);
        QTest::newRow("far too huge") << L{"213 99999999999999999999999"} << false << qint64(0);
        QTest::newRow("negative") << L{"213 -5"} << false << qint64(0);
        QTest::newRow("plus sign") << L{"213 +5"} << false << qint64(0);
        QTest::newRow("trailing junk") << L{"213 12abc"} << false << qint64(0);
        QTest::newRow("words after the number") << L{"213 12 bytes"} << false << qint64(0);
        QTest::newRow("no number") << L{"213 File size unknown"} << false << qint64(0);
        QTest::newRow("code alone") << L{"213"} << false << qint64(0);
        QTest::newRow("code and blank") << L{"213 "} << false << qint64(0);
        QTest::newRow("550 refused") << L{"550 12"} << false << qint64(0);
        QTest::newRow("500 not understood") << L{"500 SIZE not understood"} << false << qint64(0);
        QTest::newRow("not a completion") << L{"350 12"} << false << qint64(0);
        QTest::newRow("no code") << L{"2xx 12"} << false << qint64(0);
    }

    void sizeReply()
    {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(bool, known);
        ReplyJudge judge;
        judge.start(false);
        for (const QByteArray& line : lines)
            judge.judge(line);
        const std::optional<qint64> size = skyhaul::engine::sizeOfReply(judge.reply());
        QCOMPARE(size.has_value(), known);
        if (known)
            QTEST(*size, "size");
    }

    void restartOffset_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("empty") << QString() << qint64(0);
        QTest::newRow("zero") << QStringLiteral("0") << qint64(0);
        QTest::newRow("digits then junk") << QStringLiteral("123abc") << qint64(123);
        QTest::newRow("non-numeric") << QStringLiteral("abc") << qint64(0);
        QTest::newRow("above 2 GiB") << QStringLiteral("3000000000") << qint64(3000000000);
        QTest::newRow("above 4 GiB") << QStringLiteral("5000000001") << qint64(5000000001);
        QTest::newRow("plus sign") << QStringLiteral("+7") << qint64(7);
    }

    void restartOffset()
    {
        QFETCH(QString, text);
        QTEST(DataConnection::restartOffset(text), "offset");
    }
};

QTEST_APPLESS_MAIN(TestParsers)
#include "tst_parsers.moc"
