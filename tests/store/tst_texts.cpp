#include "store/texts.h"
#include "store/texttables.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

namespace {

void writeLanguage(const QString& appFolder, const QString& name, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(Texts::languagesFolder(appFolder)));
    QFile f(Texts::languageFilePath(appFolder, name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestTexts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // No Languages folder: every window shows its English texts in "Default" at size 8.
    void withoutLanguageFileEverySectionIsEnglish()
    {
        QTemporaryDir dir;
        const Texts texts(dir.path(), u"English"_s);
        for (const SectionTable* table : texttables::WindowSections) {
            const SectionTexts s = texts.section(*table);
            QCOMPARE(s.name, QString::fromLatin1(table->name));
            QCOMPARE(s.font, FontSpec{});
            QCOMPARE(s.font.name, u"Default"_s);
            QCOMPARE(s.font.pointSize, 8);
            QCOMPARE(s.entries.size(), qsizetype(table->entries.size()));
            for (qsizetype i = 0; i < s.entries.size(); ++i)
                QCOMPARE(s.entries[i].text, QString::fromLatin1(table->entries[size_t(i)].defaultText));
        }
    }

    // A file holding only [MainForm] Exit=Quit changes that one text and nothing else in any window.
    void oneKeyChangesOneText()
    {
        QTemporaryDir dir;
        writeLanguage(dir.path(), u"English"_s, "[MainForm]\r\nExit=Quit\r\n");
        const Texts texts(dir.path(), u"English"_s);
        int changed = 0;
        for (const SectionTable* table : texttables::WindowSections) {
            const SectionTexts s = texts.section(*table);
            QCOMPARE(s.font, FontSpec{});
            for (qsizetype i = 0; i < s.entries.size(); ++i) {
                const TextEntry& e = table->entries[size_t(i)];
                if (table == &texttables::MainForm && qstrcmp(e.key, "Exit") == 0) {
                    QCOMPARE(s.entries[i].text, u"Quit"_s);
                    ++changed;
                } else {
                    QCOMPARE(s.entries[i].text, QString::fromLatin1(e.defaultText));
                }
            }
        }
        QCOMPARE(changed, 1);
        QCOMPARE(texts.text(u"MainForm", u"Exit", u"Exit"_s), u"Quit"_s);
        QCOMPARE(texts.text(u"MainForm", u"About", u"About"_s), u"About"_s);
    }

    void messageLookup()
    {
        QTemporaryDir dir;
        writeLanguage(dir.path(), u"Mine"_s,
                      "[Messages]\nDo you want to delete Selected Site?=Remove the site?\n");
        const Texts texts(dir.path(), u"Mine"_s);
        QCOMPARE(texts.message(QString::fromLatin1(messages::DeleteSelectedSite)), u"Remove the site?"_s);
        for (const char* english : {messages::DeleteSelectedFiles, messages::DownloadSelectedFiles,
                                    messages::UploadSelectedFiles, messages::StopRunningTransfer})
            QCOMPARE(texts.message(QString::fromLatin1(english)), QString::fromLatin1(english));
        QCOMPARE(texttables::Messages.entries.size(), size_t(5));
    }

    void font_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::newRow("name and size") << QByteArray("Font=DejaVu Sans\nSize=11\n") << u"DejaVu Sans"_s << 11;
        QTest::newRow("size with blanks") << QByteArray("Size= 12 \n") << u"Default"_s << 12;
        QTest::newRow("size not a number") << QByteArray("Size=abc\n") << u"Default"_s << 8;
        QTest::newRow("size with a fraction") << QByteArray("Size=10.5\n") << u"Default"_s << 8;
        QTest::newRow("size empty") << QByteArray("Size=\n") << u"Default"_s << 8;
        QTest::newRow("size zero") << QByteArray("Size=0\n") << u"Default"_s << 8;
        QTest::newRow("size negative") << QByteArray("Size=-3\n") << u"Default"_s << 8;
        QTest::newRow("size absurd") << QByteArray("Size=100000\n") << u"Default"_s << 8;
        QTest::newRow("font only") << QByteArray("Font=Batang\n") << u"Batang"_s << 8;
    }
    void font()
    {
        QFETCH(QByteArray, section);
        QFETCH(QString, name);
        QFETCH(int, size);
        QTemporaryDir dir;
        writeLanguage(dir.path(), u"L"_s, "[LogonForm]\n" + section);
        const Texts texts(dir.path(), u"L"_s);
        QCOMPARE(texts.font(u"LogonForm").name, name);
        QCOMPARE(texts.font(u"LogonForm").pointSize, size);
        QCOMPARE(texts.section(texttables::LogonForm).font, (FontSpec{name, size}));
        QCOMPARE(texts.font(u"MainForm"), FontSpec{});
    }

    // Nothing is cached: a file changed between two lookups gives the new text.
    void fileIsReadAfreshEachTime()
    {
        QTemporaryDir dir;
        const Texts texts(dir.path(), u"English"_s);
        QCOMPARE(texts.text(u"MainForm", u"Exit", u"Exit"_s), u"Exit"_s);
        writeLanguage(dir.path(), u"English"_s, "[MainForm]\nExit=Quit\n");
        QCOMPARE(texts.text(u"MainForm", u"Exit", u"Exit"_s), u"Quit"_s);
        writeLanguage(dir.path(), u"English"_s, "[MainForm]\nExit=Leave\n");
        QCOMPARE(texts.section(texttables::MainForm).text(u"Exit"), u"Leave"_s);
    }

    // A loaded language is read once: a change to the file, or the file going, reaches neither it nor its
    // copies; a missing file loads as the defaults.
    void loadedIsReadOnce()
    {
        QTemporaryDir dir;
        writeLanguage(dir.path(), u"English"_s, "[MainForm]\nExit=Quit\nFont=Serif\n");
        const Texts texts = Texts::loaded(dir.path(), u"English"_s);
        writeLanguage(dir.path(), u"English"_s, "[MainForm]\nExit=Leave\n");
        const Texts copy = texts;
        QVERIFY(QFile::remove(Texts::languageFilePath(dir.path(), u"English"_s)));
        for (const Texts* t : {&texts, &copy}) {
            QCOMPARE(t->text(u"MainForm", u"Exit", u"Exit"_s), u"Quit"_s);
            QCOMPARE(t->section(texttables::MainForm).text(u"Exit"), u"Quit"_s);
            QCOMPARE(t->font(u"MainForm").name, u"Serif"_s);
        }
        const Texts missing = Texts::loaded(dir.path(), u"English"_s);
        QCOMPARE(missing.text(u"MainForm", u"Exit", u"Exit"_s), u"Exit"_s);
    }

    // The language name comes from config.dat and must not name a file outside the Languages folder.
    void languageNameCannotLeaveTheFolder_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("parent folder") << u"../outside"_s;
        QTest::newRow("backslash") << u"..\\outside"_s;
        QTest::newRow("empty") << QString();
    }
    void languageNameCannotLeaveTheFolder()
    {
        QFETCH(QString, language);
        QTemporaryDir dir;
        QFile outside(dir.filePath(u"outside.ini"_s));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("[MainForm]\nExit=Pwned\n");
        outside.close();
        QVERIFY(QDir().mkpath(Texts::languagesFolder(dir.path())));
        const Texts texts(dir.path(), language);
        QCOMPARE(texts.filePath(), QString());
        QCOMPARE(texts.text(u"MainForm", u"Exit", u"Exit"_s), u"Exit"_s);
    }

    void languageChoices_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("selected");
        QTest::newRow("case of letters ignored")
            << QStringList{u"English.ini"_s, u"Korean.ini"_s} << u"korean"_s << u"Korean"_s;
        QTest::newRow("missing language gives the first")
            << QStringList{u"English.ini"_s, u"Korean.ini"_s} << u"French"_s << u"<first>"_s;
        QTest::newRow("only ini files count")
            << QStringList{u"English.ini"_s, u"readme.txt"_s} << u"readme"_s << u"English"_s;
        QTest::newRow("none") << QStringList{} << u"English"_s << QString();
    }
    void languageChoices()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, language);
        QFETCH(QString, selected);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(Texts::languagesFolder(dir.path())));
        for (const QString& f : files) {
            QFile file(QDir(Texts::languagesFolder(dir.path())).filePath(f));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QStringList choices = Texts::languageChoices(dir.path());
        const int index = Texts::languageChoiceIndex(choices, language);
        if (selected.isNull()) {
            QCOMPARE(choices, QStringList{});
            QCOMPARE(index, -1);
        } else if (selected == u"<first>"_s) {
            QCOMPARE(index, 0);
        } else {
            QCOMPARE(choices.value(index), selected);
        }
        for (const QString& c : choices)
            QVERIFY(!c.endsWith(u".ini"_s));
    }

    void onlyAsciiLettersFoldForTheChoice()
    {
        // Letters outside A to Z must match exactly.
        const QStringList choices{u"Fran\u00e7ais"_s, u"FRAN\u00c7AIS"_s};
        QCOMPARE(Texts::languageChoiceIndex(choices, u"fran\u00e7ais"_s), 0);
        QCOMPARE(Texts::languageChoiceIndex(choices, u"fran\u00c7ais"_s), 1);
    }

    // Files that come with the program serve when the application folder has no file of that name; a user's
    // own file of the same name wins; the choices offer both, each name once, the user's first.
    void shippedFilesServeAfterTheUsersOwn()
    {
        QTemporaryDir app;
        QTemporaryDir shipped;
        QVERIFY(app.isValid() && shipped.isValid());
        auto write = [](const QString& path, const QByteArray& bytes) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
        };
        write(shipped.filePath(u"German.ini"_s), "[MainForm]\r\nExit=Beenden\r\n");
        write(shipped.filePath(u"French.ini"_s), "[MainForm]\r\nExit=Quitter\r\n");
        write(shipped.filePath(u"English.ini"_s), "[MainForm]\r\nExit=Exit\r\n");
        QVERIFY(QDir().mkpath(Texts::languagesFolder(app.path())));
        write(QDir(Texts::languagesFolder(app.path())).filePath(u"german.ini"_s),
              "[MainForm]\r\nExit=Ende\r\n");
        write(QDir(Texts::languagesFolder(app.path())).filePath(u"Mine.ini"_s), "[MainForm]\r\nExit=Weg\r\n");

        QCOMPARE(Texts(app.path(), u"French"_s).text(u"MainForm", u"Exit", u"Exit"_s), u"Exit"_s);
        Texts::setShippedFolders({QDir(shipped.path()).filePath(u"missing"_s), shipped.path()});
        const QString french = Texts(app.path(), u"French"_s).text(u"MainForm", u"Exit", u"Exit"_s);
        const QString german = Texts(app.path(), u"German"_s).text(u"MainForm", u"Exit", u"Exit"_s);
        const QString ownGerman = Texts(app.path(), u"german"_s).text(u"MainForm", u"Exit", u"Exit"_s);
        const QString mine = Texts(app.path(), u"Mine"_s).text(u"MainForm", u"Exit", u"Exit"_s);
        const QString missing = Texts(app.path(), u"Korean"_s).filePath();
        const QString outside = Texts(app.path(), u"../French"_s).filePath();
        const QStringList choices = Texts::languageChoices(app.path());
        Texts::setShippedFolders({});

        QCOMPARE(french, u"Quitter"_s);
        QCOMPARE(german, u"Beenden"_s);
        QCOMPARE(ownGerman, u"Ende"_s);
        QCOMPARE(mine, u"Weg"_s);
        QCOMPARE(missing, QDir(Texts::languagesFolder(app.path())).filePath(u"Korean.ini"_s));
        QCOMPARE(outside, QString());
        QCOMPARE(choices.size(), 4);
        QCOMPARE(QSet<QString>(choices.begin(), choices.begin() + 2),
                 (QSet<QString>{u"german"_s, u"Mine"_s}));
        QCOMPARE(choices.mid(2), (QStringList{u"English"_s, u"French"_s}));
    }

    // A program in a build folder finds the files copied beside it; an installed one those under
    // share/skyhaul beside its bin folder; folders that do not exist are left out.
    void shippedFoldersOfAProgram_data()
    {
        QTest::addColumn<QStringList>("made"); // folders made under a temporary root
        QTest::addColumn<QStringList>("found");
        QTest::newRow("build folder") << QStringList{u"bin/Languages"_s} << QStringList{u"bin/Languages"_s};
        QTest::newRow("installed") << QStringList{u"share/skyhaul/Languages"_s}
                                   << QStringList{u"share/skyhaul/Languages"_s};
        QTest::newRow("both, beside first") << QStringList{u"share/skyhaul/Languages"_s, u"bin/Languages"_s}
                                            << QStringList{u"bin/Languages"_s, u"share/skyhaul/Languages"_s};
        QTest::newRow("none") << QStringList{} << QStringList{};
    }
    void shippedFoldersOfAProgram()
    {
        QFETCH(QStringList, made);
        QFETCH(QStringList, found);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(QDir().mkpath(root.filePath(u"bin"_s)));
        for (const QString& folder : made)
            QVERIFY(QDir().mkpath(root.filePath(folder)));
        QStringList expected;
        for (const QString& folder : found)
            expected << root.filePath(folder);
        QCOMPARE(Texts::shippedFoldersFor(root.filePath(u"bin"_s)), expected);
    }

    // The tables themselves: no key twice in a section, and the texts whose odd spelling or blanks are easy
    // to "correct" by mistake.
    void tablesAreWellFormed()
    {
        for (const SectionTable* table : texttables::WindowSections) {
            QVERIFY(!table->entries.empty());
            QSet<QString> keys;
            for (const TextEntry& e : table->entries) {
                const QString key = QString::fromLatin1(e.key).toLower();
                QVERIFY2(!keys.contains(key), e.key);
                keys.insert(key);
                QVERIFY(key != u"font"_s && key != u"size"_s);
            }
        }
        QTemporaryDir dir;
        const Texts english(dir.path(), u"English"_s);
        QCOMPARE(english.section(texttables::OverWriteForm).text(u"isalreadyexists"),
                 u" is already exists in this folder."_s);
        QCOMPARE(english.section(texttables::OverWriteForm).text(u"overwriteit"),
                 u"Do you want to overwrite it? "_s);
        QCOMPARE(english.section(texttables::ConfigForm).text(u"DeleteSelectedItem"),
                 u"DeleteS elected Item"_s);
        QCOMPARE(english.section(texttables::RemoteForm).text(u"AddToFavorite"), u"Add to Favorites"_s);
        QCOMPARE(english.section(texttables::LocalForm).text(u"AddToFavorite"), u"Add To Favorite"_s);
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
