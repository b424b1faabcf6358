// Every data file of the program is saved through the atomic save: with the disk full half-way through a
// save, the old file stays whole and no temporary file is left behind.
#include "store/configrecord.h"
#include "store/favorites.h"
#include "store/io/datafile.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "store/tablayoutfile.h"
#include "tests/support/testfiles.h"

#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace skyhaul;
using namespace Qt::StringLiterals;

using skyhaul::test::fileBytes;
using skyhaul::test::writeBytes;

namespace {

enum class DataFile {
    SiteManager,
    QuickConnect,
    Config,
    LocalFavorites,
    RemoteFavorites,
    LeftLayout,
    RightLayout
};

QString pathOf(DataFile kind, const QString& folder)
{
    switch (kind) {
    case DataFile::SiteManager:
        return siteManagerFilePath(folder);
    case DataFile::QuickConnect:
        return quickConnectFilePath(folder);
    case DataFile::Config:
        return ConfigRecord::filePath(folder);
    case DataFile::LocalFavorites:
        return LocalFavorites::filePath(folder);
    case DataFile::RemoteFavorites:
        return RemoteFavorites::filePath(folder, u"bob"_s, u"ftp.example.org"_s);
    case DataFile::LeftLayout:
        return TabLayoutFile::leftFilePath(folder);
    case DataFile::RightLayout:
        return TabLayoutFile::rightFilePath(folder);
    }
    return {};
}

/// Saves the file the way the program does; version 1 is longer than version 0.
void save(DataFile kind, const QString& folder, int version)
{
    const QString text = version == 0 ? u"old"_s : u"the new and longer contents"_s;
    switch (kind) {
    case DataFile::SiteManager:
    case DataFile::QuickConnect: {
        TSiteManList list;
        for (int i = 0; i <= version; ++i) {
            auto* r = new TSiteManRec;
            r->Name = text;
            list.Add(r);
        }
        list.SaveToFile(pathOf(kind, folder));
        break;
    }
    case DataFile::Config: {
        ConfigRecord c;
        c.Language = text;
        c.save(folder);
        break;
    }
    case DataFile::LocalFavorites:
        LocalFavorites::save(folder, {text, text + u"/sub"_s});
        break;
    case DataFile::RemoteFavorites:
        RemoteFavorites::save(folder, u"bob"_s, u"ftp.example.org"_s, {u"/"_s + text});
        break;
    case DataFile::LeftLayout:
    case DataFile::RightLayout: {
        TabLayout tab = TabLayout::ofKind(TabLayout::Kind::Remote);
        tab.host = text;
        TabLayoutFile::write(pathOf(kind, folder), {tab});
        break;
    }
    }
}

QStringList everyEntry(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    return entries;
}

/// Files of this process may not grow past the given size while it lives, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old{};
};

} // namespace

Q_DECLARE_METATYPE(DataFile)

class TestDataFileSaves : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Writing past the limit then fails with EFBIG instead of ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
    }

    void fullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<DataFile>("kind");
        QTest::newRow("SiteManager.dat") << DataFile::SiteManager;
        QTest::newRow("QuickConnectList.dat") << DataFile::QuickConnect;
        QTest::newRow("config.dat") << DataFile::Config;
        QTest::newRow("LocalFavorites.dat") << DataFile::LocalFavorites;
        QTest::newRow("RemoteFavorites/user@host.dat") << DataFile::RemoteFavorites;
        QTest::newRow("LeftWindow.dat") << DataFile::LeftLayout;
        QTest::newRow("RightWindow.dat") << DataFile::RightLayout;
    }
    void fullDiskKeepsTheOldFile()
    {
        QFETCH(DataFile, kind);
        QTemporaryDir dir;
        const QString path = pathOf(kind, dir.path());
        save(kind, dir.path(), 0);
        const QByteArray old = fileBytes(path);
        QVERIFY(!old.isEmpty());
        const QStringList entries = everyEntry(dir.path());

        {
            FileSizeLimit full(8);
            QVERIFY_THROWS_EXCEPTION(FileIoError, save(kind, dir.path(), 1));
        }
        QCOMPARE(fileBytes(path), old);
        QCOMPARE(everyEntry(dir.path()), entries);

        // With room again the same save goes through.
        save(kind, dir.path(), 1);
        QVERIFY(fileBytes(path) != old);
        QCOMPARE(everyEntry(dir.path()), entries);
    }
};

QTEST_GUILESS_MAIN(TestDataFileSaves)
#include "tst_datafilesaves.moc"
