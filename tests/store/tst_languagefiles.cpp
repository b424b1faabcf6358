// The language files that ship with the program (app/languages): each holds every text of every window and
// every question, and nothing the program does not read, so a text added to the tables without its
// translations fails here.
#include "store/io/inifile.h"
#include "store/texts.h"
#include "store/texttables.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

namespace {

const QString shippedFolder = QStringLiteral(SKYHAUL_SHIPPED_LANGUAGES);

QList<const SectionTable*> allSections()
{
    QList<const SectionTable*> sections(texttables::WindowSections.begin(), texttables::WindowSections.end());
    sections << &texttables::Messages;
    return sections;
}

/// What the reader gives back for a default text: the value of a line is trimmed.
QString storable(const char* text)
{
    return QString::fromLatin1(text).trimmed();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestLanguageFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shipsEnglishGermanAndFrench()
    {
        const QStringList files = QDir(shippedFolder).entryList({u"*.ini"_s}, QDir::Files, QDir::Name);
        for (const char* name : {"English.ini", "French.ini", "German.ini"})
            QVERIFY2(files.contains(QLatin1String(name)), name);
    }

    void everyTextOfEveryWindow_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString& name : QDir(shippedFolder).entryList({u"*.ini"_s}, QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << QDir(shippedFolder).filePath(name);
    }
    // Every section of the tables with every key ("Font" and "Size" in each window's section), no section or
    // key the program does not read, no key twice, no empty text, and each "&" shortcut where the English
    // text has one.
    void everyTextOfEveryWindow()
    {
        QFETCH(QString, file);
        const QByteArray bytes = readAll(file);
        QVERIFY(!bytes.isEmpty());
        const IniFile ini = IniFile::parse(bytes);

        QStringList expectedSections;
        for (const SectionTable* table : allSections())
            expectedSections << QString::fromLatin1(table->name);
        QCOMPARE(ini.sectionNames(), expectedSections);

        int lines = 0;
        for (const QByteArray& line : bytes.split('\n'))
            if (const QByteArray t = line.trimmed(); !t.isEmpty() && !t.startsWith(';') && !t.startsWith('['))
                ++lines;
        int keys = 0;
        for (const SectionTable* table : allSections()) {
            const QString section = QString::fromLatin1(table->name);
            QStringList expected;
            if (table != &texttables::Messages)
                expected << u"Font"_s << u"Size"_s;
            for (const TextEntry& e : table->entries)
                expected << QString::fromLatin1(e.key);
            const QStringList present = ini.keys(section);
            keys += int(present.size());
            for (const QString& key : expected)
                QVERIFY2(present.contains(key), qPrintable(section + u": missing "_s + key));
            for (const QString& key : present)
                QVERIFY2(expected.contains(key), qPrintable(section + u": unknown key "_s + key));

            if (table != &texttables::Messages) {
                QVERIFY(!ini.value(section, u"Font").isEmpty());
                const int size = ini.intValue(section, u"Size", -1);
                QVERIFY2(size >= 1 && size <= 200, qPrintable(section + u": Size"_s));
            }
            for (const TextEntry& e : table->entries) {
                const QString text = ini.value(section, QString::fromLatin1(e.key));
                QVERIFY2(!text.isEmpty(), qPrintable(section + u": empty "_s + QLatin1String(e.key)));
                QVERIFY2(text.count(u'&') == QString::fromLatin1(e.defaultText).count(u'&'),
                         qPrintable(section + u": shortcut of "_s + QLatin1String(e.key) + u": "_s + text));
            }
        }
        QCOMPARE(lines, keys); // a second line of the same key would be dropped unseen
    }

    // The files are UTF-8 (the locale's 8-bit encoding here) and read back as written.
    void filesAreUtf8_data() { everyTextOfEveryWindow_data(); }
    void filesAreUtf8()
    {
        QFETCH(QString, file);
        const QByteArray bytes = readAll(file);
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder(bytes);
        QVERIFY(!decoder.hasError());
        QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromLocal8Bit(bytes), text);
    }

    // English holds the program's own texts, as the reader gives them back.
    void englishIsTheDefaults()
    {
        const IniFile ini = IniFile::load(QDir(shippedFolder).filePath(u"English.ini"_s));
        for (const SectionTable* table : allSections()) {
            const QString section = QString::fromLatin1(table->name);
            for (const TextEntry& e : table->entries)
                QCOMPARE(ini.value(section, QString::fromLatin1(e.key)), storable(e.defaultText));
            if (table != &texttables::Messages) {
                QCOMPARE(ini.value(section, u"Font"), u"Default"_s);
                QCOMPARE(ini.intValue(section, u"Size", -1), 8);
            }
        }
    }

    // A translation translates: a text left as the English one must be a word both languages share.
    void translationsDifferFromEnglish_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("shared"); // "Section/Key" left as in English on purpose
        QTest::newRow("German") << u"German"_s
                                << QStringList{u"SiteManager/Port"_s, u"ConfigForm/Editor"_s,
                                               u"SSLForm/Status"_s, u"RemoteForm/Port"_s};
        QTest::newRow("French") << u"French"_s << QStringList{u"SiteManager/Notes"_s, u"SiteManager/Port"_s,
                                                              u"ConfigForm/Local"_s,  u"ConfigForm/Site"_s,
                                                              u"MainForm/Local"_s,    u"RemoteForm/Port"_s,
                                                              u"RemoteForm/Date"_s};
    }
    void translationsDifferFromEnglish()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, shared);
        const IniFile ini = IniFile::load(QDir(shippedFolder).filePath(name + u".ini"_s));
        QStringList same;
        for (const SectionTable* table : allSections()) {
            const QString section = QString::fromLatin1(table->name);
            for (const TextEntry& e : table->entries)
                if (ini.value(section, QString::fromLatin1(e.key)) == storable(e.defaultText))
                    same << section + u'/' + QLatin1String(e.key);
        }
        same.sort();
        shared.sort();
        QCOMPARE(same, shared);
    }
};

QTEST_GUILESS_MAIN(TestLanguageFiles)
#include "tst_languagefiles.moc"
