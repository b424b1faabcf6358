#include "engine/control/lineassembler.h"
#include "engine/data/dataconnection.h"
#include "engine/listing/listingparser.h"

#include <QHostAddress>
#include <QTest>

using skyhaul::engine::DataConnection;
using skyhaul::engine::ListEntry;
using skyhaul::engine::parseListLine;
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
