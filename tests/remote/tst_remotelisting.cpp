// The listing model on its own: listing times, sizes, the order of entries, the columns cut out of a
// listing line, and the item model that reads a listing on demand.
#include "remote/filelistmodel.h"
#include "transfer/direntry.h"
#include "ui/fileicons.h"

#include <QDateTime>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

using namespace skyhaul;

namespace {

std::unique_ptr<TrFileObj> entry(const QString& name, bool isDir, qint64 size = 0, double time = 0,
                                 const QString& attr = {}, const QString& owner = {},
                                 const QString& group = {})
{
    auto e = std::make_unique<TrFileObj>();
    e->FileName = name;
    e->IsDir = isDir;
    e->FileSize = size;
    e->FileTime = time;
    e->Attr = attr;
    e->Owner = owner;
    e->Group = group;
    return e;
}

double at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return toFileTime(QDateTime(QDate(year, month, day), QTime(hour, minute)));
}

/// A listing in the order a server might send it, with ".." first as the tab adds it.
void fillSample(TtrFileList& list)
{
    list.Add(entry(QStringLiteral(".."), true));
    list.Add(entry(QStringLiteral("Docs"), true, 0, at(2021, 3, 1), QStringLiteral("drwxr-xr-x"),
                   QStringLiteral("bob"), QStringLiteral("staff")));
    list.Add(entry(QStringLiteral("b.txt"), false, 300, at(2020, 1, 2), QStringLiteral("-rw-r--r--"),
                   QStringLiteral("carol"), QStringLiteral("users")));
    list.Add(entry(QStringLiteral("apps"), true, 0, at(2022, 1, 1), QStringLiteral("drwx------"),
                   QStringLiteral("alice"), QStringLiteral("wheel")));
    list.Add(entry(QStringLiteral("A.txt"), false, 1000, at(2019, 5, 1), QStringLiteral("-rwxr-xr-x"),
                   QStringLiteral("Bob2"), QStringLiteral("Admin")));
    list.Add(entry(QStringLiteral("c.bin"), false, 20, 0, QStringLiteral("-r--------"),
                   QStringLiteral("alice"), QStringLiteral("users")));
}

QStringList namesOf(const TtrFileList& list)
{
    QStringList names;
    for (int i = 0; i < list.Count(); ++i)
        names << list.Entry(i)->FileName;
    return names;
}

} // namespace

class TestRemoteListing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void parseListTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("connectYear");
        QTest::addColumn<QDateTime>("expected"); // invalid: day zero

        auto row = [](const char* name, const char* text, const char* year, const QDateTime& expected) {
            QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(year) << expected;
        };
        const QDateTime zero;
        row("time lands in the connect year", "Jan 10 12:34", "2008",
            QDateTime(QDate(2008, 1, 10), QTime(12, 34)));
        row("year gets noon", "Mar 3 2007", "2008", QDateTime(QDate(2007, 3, 3), QTime(12, 0)));
        row("two blanks before day and year", "Mar  3  2007", "2008",
            QDateTime(QDate(2007, 3, 3), QTime(12, 0)));
        row("future time stays in connect year", "Dec 31 23:59", "2008",
            QDateTime(QDate(2008, 12, 31), QTime(23, 59)));
        row("month in any case", "oct 5 07:05", "2010", QDateTime(QDate(2010, 10, 5), QTime(7, 5)));
        row("unknown month is december", "Foo 10 12:34", "2008",
            QDateTime(QDate(2008, 12, 10), QTime(12, 34)));
        row("leap day with a time", "Feb 29 12:00", "2008", QDateTime(QDate(2008, 2, 29), QTime(12, 0)));
        row("leap day in a common year", "Feb 29 2007", "2008", zero);
        row("day out of range", "Jan 32 12:34", "2008", zero);
        row("hour out of range", "Jan 10 25:00", "2008", zero);
        row("minute out of range", "Jan 10 12:60", "2008", zero);
        row("day not a number", "Jan xx 12:34", "2008", zero);
        row("one-digit hour does not convert", "Jan 10 1:34", "2008", zero);
        row("colon only at the end", "Jan 10 1234:", "2008", zero);
        row("no connect year", "Jan 10 12:34", "", zero);
        row("empty", "", "2008", zero);
        row("dos date", "01-10-08 12:34PM", "2008", zero);
    }

    void parseListTime()
    {
        QFETCH(QString, text);
        QFETCH(QString, connectYear);
        QFETCH(QDateTime, expected);
        const double value = ParseListTime(text, connectYear);
        if (!expected.isValid())
            QCOMPARE(value, 0.0);
        else
            QCOMPARE(fromFileTime(value), expected);
    }

    void dayZeroIsTheOldestAndShowsAsADate()
    {
        QCOMPARE(fromFileTime(0), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
        QCOMPARE(formatListTime(0), QStringLiteral("12/30/99"));
        QCOMPARE(formatListTime(at(2008, 1, 10, 12, 34)), QStringLiteral("1/10/08 12:34:00 PM"));
        QCOMPARE(toFileTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
        QCOMPARE(fromFileTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    }

    void formatSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0B");
        QTest::newRow("one") << qint64(1) << QStringLiteral("1B");
        QTest::newRow("1024 stays in bytes") << qint64(1024) << QStringLiteral("1,024B");
        QTest::newRow("1025 is a kilobyte") << qint64(1025) << QStringLiteral("1KB");
        QTest::newRow("half rounds up") << qint64(1536) << QStringLiteral("2KB");
        QTest::newRow("1024 KB") << qint64(1048576) << QStringLiteral("1,024KB");
        QTest::newRow("just over a megabyte") << qint64(1048577) << QStringLiteral("1MB");
        QTest::newRow("two decimals") << qint64(1234567) << QStringLiteral("1.18MB");
        QTest::newRow("one and a half gigabytes") << qint64(1610612736) << QStringLiteral("1.5GB");
        QTest::newRow("a terabyte in gigabytes") << (qint64(1) << 40) << QStringLiteral("1,024GB");
        QTest::newRow("negative") << qint64(-5000) << QStringLiteral("-5,000B");
    }

    void formatSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(FormatSize(bytes), text);
    }

    void compareEntries_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("order");
        auto row = [](const char* name, int column, bool descending, const char* order) {
            QTest::newRow(name) << column << descending << QString::fromLatin1(order).split(QLatin1Char(' '));
        };
        row("name ascending", 0, false, ".. apps Docs A.txt b.txt c.bin");
        row("name descending", 0, true, ".. Docs apps c.bin b.txt A.txt");
        row("size ascending", 1, false, ".. Docs apps c.bin b.txt A.txt");
        row("size descending", 1, true, ".. Docs apps A.txt b.txt c.bin");
        row("date ascending", 2, false, ".. Docs apps c.bin A.txt b.txt");
        row("date descending", 2, true, ".. Docs apps b.txt A.txt c.bin");
        row("attributes ascending", 3, false, ".. apps Docs c.bin b.txt A.txt");
        row("attributes descending", 3, true, ".. Docs apps A.txt b.txt c.bin");
        row("owner ascending", 4, false, ".. apps Docs c.bin A.txt b.txt");
        row("owner descending", 4, true, ".. Docs apps b.txt A.txt c.bin");
        row("group ascending", 5, false, ".. Docs apps A.txt b.txt c.bin");
        row("group descending", 5, true, ".. apps Docs b.txt c.bin A.txt");
        row("other column keeps the order", 6, false, ".. Docs b.txt apps A.txt c.bin");
        row("other column descending too", 6, true, ".. Docs b.txt apps A.txt c.bin");
    }

    void compareEntries()
    {
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QStringList, order);
        TtrFileList list;
        fillSample(list);
        list.Sort(column, descending);
        QCOMPARE(namesOf(list), order);
    }

    void compareEntriesIsThreeWay()
    {
        const auto parent = entry(QStringLiteral(".."), true);
        const auto folder = entry(QStringLiteral("zz"), true);
        const auto file = entry(QStringLiteral("aa"), false, 5);
        const auto same = entry(QStringLiteral("AA"), false, 5);
        for (int column = 0; column < 6; ++column) {
            QVERIFY(CompareEntries(*parent, *folder, column, false) < 0);
            QVERIFY(CompareEntries(*folder, *file, column, false) < 0);
            QVERIFY(CompareEntries(*file, *folder, column, false) > 0);
            // Descending reverses the key, not the groups: ".." and folders stay above files.
            QVERIFY(CompareEntries(*folder, *file, column, true) < 0);
            QVERIFY(CompareEntries(*file, *folder, column, true) > 0);
            QVERIFY(CompareEntries(*parent, *folder, column, true) < 0);
            QCOMPARE(CompareEntries(*file, *same, column, false), 0);
        }
        // A file whose size or time lies below zero still sorts after every folder.
        const auto odd = entry(QStringLiteral("odd"), false, -1, -5);
        QVERIFY(CompareEntries(*folder, *odd, 1, false) < 0);
        QVERIFY(CompareEntries(*folder, *odd, 2, false) < 0);
    }

    void orderOfTheTabs()
    {
        const auto a = entry(QStringLiteral("a"), false, 10);
        const auto b = entry(QStringLiteral("b"), false, 5);
        ListingOrder order{1, false};
        QVERIFY(CompareEntries(*a, *b, order) > 0);
        order = {0, true};
        QVERIFY(CompareEntries(*a, *b, order) > 0);
        order = {};
        QVERIFY(CompareEntries(*a, *b, order) < 0);
    }

    void listingColumns_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("attr");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("group");
        auto row = [](const char* name, const char* line, const char* attr, const char* owner,
                      const char* group) {
            QTest::newRow(name) << QString::fromLatin1(line) << QString::fromLatin1(attr)
                                << QString::fromLatin1(owner) << QString::fromLatin1(group);
        };
        row("vsftpd", "drwxr-xr-x    2 1000     1000         4096 Jan 10 12:34 pub", "drwxr-xr-x", "1000",
            "1000");
        row("proftpd", "-rw-r--r--   1 skyhaul  skyhaul       12 Jan 10 12:34 a.txt", "-rw-r--r--", "skyhaul",
            "skyhaul");
        row("two-digit link count", "drwxr-xr-x  12 owner group 4096 Jan 10 12:34 many", "drwxr-xr-x",
            "owner", "group");
        row("single blanks", "-rw-r--r-- 1 owner group 3 Jan 1 2020 x", "-rw-r--r--", "owner", "group");
        row("no blank", "lonely", "", "", "");
        row("two words", "abc def", "abc", "", "");
        row("dos line", "01-10-08  12:34PM       <DIR>          pub", "01-10-08", "<DIR>", "pub");
    }

    void listingColumns()
    {
        QFETCH(QString, line);
        QFETCH(QString, attr);
        QFETCH(QString, owner);
        QFETCH(QString, group);
        const ListingColumns columns = cutListingColumns(line);
        QCOMPARE(columns.attr, attr);
        QCOMPARE(columns.owner, owner);
        QCOMPARE(columns.group, group);
    }

    void listOwnsAndBoundsItsEntries()
    {
        TtrFileList list;
        QCOMPARE(list.Entry(0), nullptr);
        fillSample(list);
        QCOMPARE(list.Count(), 6);
        QCOMPARE(list.Entry(6), nullptr);
        QCOMPARE(list.Entry(-1), nullptr);
        list.Delete(0);
        QCOMPARE(list.Entry(0)->FileName, QStringLiteral("Docs"));
        list.Delete(42);
        QCOMPARE(list.Count(), 5);
        list.Clear();
        QCOMPARE(list.Count(), 0);
    }

    void modelReadsTheListingOnDemand()
    {
        TtrFileList list;
        fillSample(list);
        bool busy = false;
        TtrFileList* shown = &list;
        RemoteFileListModel model([&] { return shown; }, [&] { return busy; });
        QCOMPARE(model.rowCount(), 0); // only what the count says
        model.setItemCount(8);         // more rows than entries: the extra rows are empty
        QCOMPARE(model.rowCount(), 8);
        QCOMPARE(model.columnCount(), int(RemoteFileListModel::ColumnCount));

        auto text = [&](int row, int column) { return model.index(row, column).data().toString(); };
        QCOMPARE(text(0, 0), QStringLiteral(".."));
        QCOMPARE(text(0, 1), QString()); // folders show no size
        QCOMPARE(text(0, 2), QString()); // ".." shows no date
        QCOMPARE(text(1, 2), QStringLiteral("3/1/21"));
        QCOMPARE(text(2, 1), QStringLiteral("300B"));
        QCOMPARE(text(2, 3), QStringLiteral("-rw-r--r--"));
        QCOMPARE(text(2, 4), QStringLiteral("carol"));
        QCOMPARE(text(2, 5), QStringLiteral("users"));
        QCOMPARE(text(5, 2), QStringLiteral("12/30/99"));
        QCOMPARE(text(6, 0), QString());
        QCOMPARE(model.index(2, 1).data(RemoteFileListModel::RawValueRole).toLongLong(), 300);
        QCOMPARE(model.index(2, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));

        // The icon is looked up once, when the entry is first drawn.
        QCOMPARE(list.Entry(2)->IconIndex, -1);
        QVERIFY(!model.index(2, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        const int index = list.Entry(2)->IconIndex;
        QVERIFY(index >= 0);
        QCOMPARE(index, FileIconIndex(QStringLiteral("other.txt")));
        QVERIFY(model.index(0, 0).data(Qt::DecorationRole).isValid());
        QCOMPARE(list.Entry(0)->IconIndex, FileIcons::instance().FolderClosedIcon());

        busy = true; // nothing is drawn while the listing is rebuilt
        QCOMPARE(text(2, 0), QString());
        QVERIFY(!model.index(2, 0).data(Qt::DecorationRole).isValid());
        busy = false;
        shown = nullptr;
        QCOMPARE(text(2, 0), QString());
    }

    void modelHeaderAndRedraw()
    {
        TtrFileList list;
        fillSample(list);
        RemoteFileListModel model([&] { return &list; }, [] { return false; });
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("File Size"));
        QVERIFY(model.setHeaderData(1, Qt::Horizontal, QStringLiteral("Taille")));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Taille"));
        QVERIFY(!model.setHeaderData(6, Qt::Horizontal, QStringLiteral("x")));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.redraw();
        QCOMPARE(changed.size(), 0); // no rows, nothing to repaint
        model.setItemCount(list.Count());
        model.redraw();
        QCOMPARE(changed.size(), 1);
    }

    void iconsByNameOnly()
    {
        const int txt = FileIconIndex(QStringLiteral("/does/not/exist/readme.TXT"));
        QCOMPARE(FileIconIndex(QStringLiteral("notes.txt")), txt);
        QVERIFY(FileIconIndex(QStringLiteral("archive.zip")) != txt);
        QVERIFY(!FileIcons::instance().icon(txt).isNull());
        QVERIFY(FileIcons::instance().icon(9999).isNull());
        QVERIFY(FileIcons::instance().FolderOpenIcon() != FileIcons::instance().FolderClosedIcon());
    }
};

QTEST_MAIN(TestRemoteListing)
#include "tst_remotelisting.moc"
