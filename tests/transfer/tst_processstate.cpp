// TempFolder and ClearFolder: the folder is made at start-up and emptied at shutdown, and nothing but it
// can ever be emptied.
#include "transfer/processstate.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString& path, const QByteArray& bytes = "x")
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestProcessState : public QObject {
    Q_OBJECT

    QTemporaryDir m_system;

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_system.isValid());
    }

    void tempFolderIsMadeWithItsParents()
    {
        const QString system = m_system.filePath(u"a/b"_s);
        QVERIFY(initTempFolder(system));
        QCOMPARE(TempFolder(), system + u"/skTemp/"_s);
        QVERIFY(QFileInfo(TempFolder()).isDir());
        // A trailing separator on the system folder gives the same folder.
        QVERIFY(initTempFolder(system + u"/"_s));
        QCOMPARE(TempFolder(), system + u"/skTemp/"_s);
    }

    // Files, hidden entries and nested folders go; the folder stays; a link is removed without touching
    // what it points at.
    void clearFolderEmptiesOnlyItsOwnFolder()
    {
        QVERIFY(initTempFolder(m_system.path()));
        const QString temp = TempFolder();
        QTemporaryDir outside;
        writeFile(outside.filePath(u"keep.txt"_s));
        writeFile(temp + u"a.txt"_s);
        writeFile(temp + u".hidden"_s);
        writeFile(temp + u"skDngTmp1/sub/deep.bin"_s);
        QVERIFY(QFile::link(outside.path(), temp + u"linked-folder"_s));
        QVERIFY(QFile::link(outside.filePath(u"keep.txt"_s), temp + u"linked-file"_s));

        QVERIFY(ClearFolder(temp));
        QVERIFY(QFileInfo(temp).isDir());
        QCOMPARE(entries(temp), QStringList());
        QCOMPARE(entries(outside.path()), QStringList{u"keep.txt"_s});
    }

    void clearFolderRefusesOtherFolders_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("a user's folder") << u"outside"_s;
        QTest::newRow("the system temporary folder") << u"system"_s;
        QTest::newRow("a sub-folder of TempFolder") << u"sub"_s;
        QTest::newRow("a link to a user's folder") << u"link"_s;
        QTest::newRow("dot-dot out of TempFolder") << u"dotdot"_s;
        QTest::newRow("empty") << u"empty"_s;
    }

    void clearFolderRefusesOtherFolders()
    {
        QFETCH(QString, target);
        QVERIFY(initTempFolder(m_system.path()));
        QTemporaryDir outside;
        writeFile(outside.filePath(u"keep.txt"_s));
        writeFile(TempFolder() + u"sub/keep.txt"_s);
        const QString link = m_system.filePath(u"link-to-user"_s);
        QFile::remove(link);
        QVERIFY(QFile::link(outside.path(), link));
        const QMap<QString, QString> paths{
            {u"outside"_s, outside.path()},         {u"system"_s, m_system.path()},
            {u"sub"_s, TempFolder() + u"sub/"_s},   {u"link"_s, link},
            {u"dotdot"_s, TempFolder() + u"../"_s}, {u"empty"_s, QString()}};
        QVERIFY(!ClearFolder(paths[target]));
        QCOMPARE(entries(outside.path()), QStringList{u"keep.txt"_s});
        QVERIFY(QFile::exists(TempFolder() + u"sub/keep.txt"_s));
        QVERIFY(QFileInfo::exists(m_system.filePath(u"skTemp"_s)));
    }

    // A "skTemp" that is a link (planted by someone else) is never emptied through.
    void clearFolderRefusesALinkedTempFolder()
    {
        QTemporaryDir system;
        QTemporaryDir victim;
        writeFile(victim.filePath(u"keep.txt"_s));
        QVERIFY(QFile::link(victim.path(), system.filePath(u"skTemp"_s)));
        initTempFolder(system.path());
        QVERIFY(!ClearFolder(TempFolder()));
        QCOMPARE(entries(victim.path()), QStringList{u"keep.txt"_s});
    }
};

QTEST_GUILESS_MAIN(TestProcessState)
#include "tst_processstate.moc"
