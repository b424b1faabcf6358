// The configuration dialog with real widgets on a fresh application folder: what it shows of the
// configuration record, what OK and Cancel store, the language choices, the editor choice, and the delete
// actions of the favorites and quick-connect pages with what they leave in the files.
#include "store/configrecord.h"
#include "store/extrasettings.h"
#include "store/favorites.h"
#include "store/io/datafile.h"
#include "store/io/heldfiles.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "tests/support/testfiles.h"
#include "tests/ui/dialogs/dialogtesthelpers.h"
#include "ui/dialogs/configform.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <memory>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

namespace {

/// Writes a language file into the application folder's "Languages".
void writeLanguage(const QString& appFolder, const QString& name, const QByteArray& bytes)
{
    QVERIFY(QDir(appFolder).mkpath(u"Languages"_s));
    writeBytes(Texts::languageFilePath(appFolder, name), bytes);
}

QStringList treeTexts(QTreeWidget* tree)
{
    QStringList out;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        out << (*it)->text(0);
    return out;
}

QStringList listTexts(QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList rows(QTreeWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0);
    return out;
}

QStringList captions(const TSiteManList& list)
{
    QStringList out;
    for (int i = 0; i < list.Count(); ++i)
        out << quickConnectCaption(*list.Item(i));
    return out;
}

} // namespace

class TestConfigForm : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_app;
    QStringList m_localFavorites;
    TSiteManList m_quickConnect;
    ConfigRecord m_config;
    int m_quickConnectChanged = 0;
    int m_favoritesChanged = 0;

    std::unique_ptr<TConfigForm> open()
    {
        ConfigFormContext context;
        context.appFolder = m_app->path();
        context.localFavorites = &m_localFavorites;
        context.quickConnectList = &m_quickConnect;
        context.quickConnectChanged = [this] { ++m_quickConnectChanged; };
        context.favoritesChanged = [this] { ++m_favoritesChanged; };
        context.config = &m_config;
        context.texts = Texts(m_app->path(), m_config.Language);
        auto form = std::make_unique<TConfigForm>(context);
        form->chooseFile = [](const QString&) {
            qWarning("unexpected file dialog");
            return QString();
        };
        return form;
    }

    void storeLocalFavorites(const QStringList& lines)
    {
        LocalFavorites::save(m_app->path(), lines);
        m_localFavorites = lines;
    }

    /// Selects the rows of the local page, and no others.
    static void selectRows(TConfigForm& form, const QList<int>& selected)
    {
        form.lvLocalFavorites->clearSelection();
        for (int row : selected)
            form.lvLocalFavorites->topLevelItem(row)->setSelected(true);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_app = std::make_unique<QTemporaryDir>();
        QVERIFY(m_app->isValid());
        m_config = ConfigRecord();
        extraSettings() = ExtraSettings();
        m_localFavorites.clear();
        m_quickConnect.Clear();
        m_quickConnectChanged = 0;
        m_favoritesChanged = 0;
    }

    // ---- What the dialog shows and stores

    // The first start: no config.dat, no language files. The dialog shows the defaults and OK stores them
    // unchanged, the language included although there is nothing to choose.
    void firstStartDefaults()
    {
        auto form = open();
        QCOMPARE(form->windowTitle(), u"Config"_s);
        QCOMPARE(treeTexts(form->TreeView1), (QStringList{u"General"_s, u"Quick Connect"_s, u"Local"_s,
                                                          u"Remote"_s, u"File Transfer"_s, u"Editor"_s}));
        QVERIFY(form->TreeView1->topLevelItem(1)->isExpanded());
        QCOMPARE(form->currentPage(), TConfigForm::GeneralPage);
        QCOMPARE(form->cbLanguage->count(), 0);
        QVERIFY(form->chbShowMainCaption->isChecked());
        QVERIFY(form->chbShowLocalCaption->isChecked());
        QVERIFY(form->chbShowRemoteCaption->isChecked());
        QCOMPARE(form->gbAppearence->title(), u"Appearence"_s);
        QCOMPARE(form->rgFileExistsItems->checkedId(), int(FileExists::Ask));
        QCOMPARE(form->rgDoubleClickItems->checkedId(), int(DoubleClick::Open));
        QVERIFY(form->rbAskPassword->isChecked());
        QCOMPARE(form->rbStorePassword->text(), u"Store Password For QuickConnect"_s);
        QVERIFY(form->rbNotepad->isChecked());
        QVERIFY(!form->edEditorPath->isEnabled());
        QVERIFY(!form->btnSelectFile->isEnabled());
        QCOMPARE(form->btnDeleteSelected->text(), u"DeleteS elected Item"_s);
        QCOMPARE(form->lvLocalFavorites->headerItem()->text(0), u"Path"_s);
        QCOMPARE(form->lvLocalFavorites->header()->sectionSize(0), 230);
        QVERIFY(form->chbUseMlsd->isChecked());
        QVERIFY(form->chbKeepFileTimes->isChecked());
        QVERIFY(!form->chbListHidden->isChecked());
        QCOMPARE(form->gbProtocol->title(), u"Listing and File Times"_s);
        QCOMPARE(form->chbUseMlsd->text(), u"Use MLSD where the server offers it"_s);
        QCOMPARE(form->chbKeepFileTimes->text(), u"Keep file modification times"_s);
        QCOMPARE(form->chbListHidden->text(), u"Show hidden files (LIST -a)"_s);
        QCOMPARE(form->lbQuickConnectEncoding->text(), u"Name Encoding"_s);
        QCOMPARE(form->cbQuickConnectEncoding->itemText(1), u"Force UTF-8"_s);

        QTest::mouseClick(form->btnOk, Qt::LeftButton);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(m_config, ConfigRecord());
        QCOMPARE(fileBytes(ConfigRecord::filePath(m_app->path())), ConfigRecord().toBytes());
    }

    void treeSelectsPages()
    {
        auto form = open();
        int expected = 0;
        for (QTreeWidgetItemIterator it(form->TreeView1); *it; ++it, ++expected) {
            form->TreeView1->setCurrentItem(*it);
            QCOMPARE(int(form->currentPage()), expected);
        }
        QCOMPARE(expected, int(TConfigForm::PageCount));
    }

    void languageChoices_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("selected");
        QTest::newRow("the stored language, other case")
            << QStringList{u"English"_s, u"Korean"_s} << u"korean"_s << u"Korean"_s;
        QTest::newRow("a language file that is gone: the first found")
            << QStringList{u"English"_s} << u"Klingon"_s << u"English"_s;
    }

    void languageChoices()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, language);
        QFETCH(QString, selected);
        for (const QString& name : files)
            writeLanguage(m_app->path(), name, "[ConfigForm]\r\n");
        m_config.Language = language;
        auto form = open();
        QStringList shown;
        for (int i = 0; i < form->cbLanguage->count(); ++i)
            shown << form->cbLanguage->itemText(i);
        QCOMPARE(shown, Texts::languageChoices(m_app->path()));
        QCOMPARE(form->cbLanguage->currentText(), selected);
        QTest::mouseClick(form->btnOk, Qt::LeftButton);
        QCOMPARE(m_config.Language, selected);
    }

    // The dialog is labelled from the language in use, by the keys of its section.
    void textsFromLanguageFile()
    {
        writeLanguage(m_app->path(), u"Deutsch"_s,
                      "[ConfigForm]\r\nTitle=Einstellungen\r\nLocal=Lokal\r\nResume=Fortsetzen\r\n"
                      "DeleteSelectedItem=Gewählte löschen\r\nPath=Pfad\r\n");
        m_config.Language = u"Deutsch"_s;
        auto form = open();
        QCOMPARE(form->windowTitle(), u"Einstellungen"_s);
        QCOMPARE(treeTexts(form->TreeView1)[2], u"Lokal"_s);
        QCOMPARE(form->rgFileExistsItems->button(2)->text(), u"Fortsetzen"_s);
        QCOMPARE(form->btnDeleteSelected->text(), u"Gewählte löschen"_s);
        QCOMPARE(form->lvLocalFavorites->headerItem()->text(0), u"Pfad"_s);
        QCOMPARE(form->rgQuickConnect->title(), u"Quick Connect"_s);
    }

    // Every choice is shown from the record and stored back by OK; Cancel and Escape store nothing.
    void choicesStoredByOkOnly_data()
    {
        QTest::addColumn<QString>("close");
        QTest::newRow("OK") << u"ok"_s;
        QTest::newRow("Cancel") << u"cancel"_s;
        QTest::newRow("Escape") << u"escape"_s;
    }

    void choicesStoredByOkOnly()
    {
        QFETCH(QString, close);
        ConfigRecord& c = m_config;
        c.ShowLocalCaption = false;
        c.FileExistsAction = FileExists::Resume;
        c.DoubleClickAction = DoubleClick::Edit;
        c.StoreQuickConnectPassword = true;
        c.EditorChoice = Editor::EditorPath;
        c.EditorPath = u"/usr/bin/vi"_s;
        const ConfigRecord before = c;

        auto form = open();
        QVERIFY(!form->chbShowLocalCaption->isChecked());
        QCOMPARE(form->rgFileExistsItems->checkedId(), 2);
        QCOMPARE(form->rgDoubleClickItems->checkedId(), 1);
        QVERIFY(form->rbStorePassword->isChecked());
        QVERIFY(form->rbProgram->isChecked());
        QCOMPARE(form->edEditorPath->text(), u"/usr/bin/vi"_s);
        QVERIFY(form->edEditorPath->isEnabled());

        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->chbShowMainCaption->click();
        form->chbShowLocalCaption->click();
        form->rgFileExistsItems->button(3)->click();
        form->rgDoubleClickItems->button(0)->click();
        form->rbAskPassword->click();
        form->rbAssociated->click();

        if (close == u"ok"_s)
            QTest::mouseClick(form->btnOk, Qt::LeftButton);
        else if (close == u"cancel"_s)
            QTest::mouseClick(form->btnCancel, Qt::LeftButton);
        else
            QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(!form->isVisible());

        if (close != u"ok"_s) {
            QCOMPARE(form->result(), int(QDialog::Rejected));
            QCOMPARE(m_config, before);
            QVERIFY(!QFileInfo::exists(ConfigRecord::filePath(m_app->path())));
            return;
        }
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QVERIFY(!c.ShowMainCaption);
        QVERIFY(c.ShowLocalCaption);
        QVERIFY(c.ShowRemoteCaption);
        QCOMPARE(c.FileExistsAction, FileExists::Skip);
        QCOMPARE(c.DoubleClickAction, DoubleClick::View);
        QVERIFY(!c.StoreQuickConnectPassword);
        QCOMPARE(c.EditorChoice, Editor::AssociatedProgram);
        QCOMPARE(c.EditorPath, u"/usr/bin/vi"_s);
        ConfigRecord saved;
        QVERIFY(saved.load(m_app->path()));
        QCOMPARE(saved, c);
    }

    // The walk bounds of the File Transfer page: shown from the extra settings, stored and saved to
    // Settings.ini by OK only.
    void walkLimitsStoredByOkOnly_data()
    {
        QTest::addColumn<QString>("close");
        QTest::newRow("OK") << u"ok"_s;
        QTest::newRow("Cancel") << u"cancel"_s;
        QTest::newRow("Escape") << u"escape"_s;
    }

    void walkLimitsStoredByOkOnly()
    {
        QFETCH(QString, close);
        extraSettings().MaxWalkFolders = 500;
        extraSettings().MaxWalkEntries = 6000;
        auto form = open();
        QCOMPARE(form->gbWalkLimits->title(), u"Folder Walks"_s);
        QCOMPARE(form->findChild<QLabel*>(u"lbMaxWalkFolders"_s)->text(), u"Most folders listed"_s);
        QCOMPARE(form->findChild<QLabel*>(u"lbMaxWalkEntries"_s)->text(), u"Most files and folders queued"_s);
        QCOMPARE(form->seMaxWalkFolders->value(), 500);
        QCOMPARE(form->seMaxWalkEntries->value(), 6000);

        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->TreeView1->setCurrentItem(form->TreeView1->topLevelItem(2));
        QCOMPARE(form->currentPage(), TConfigForm::FileTransferPage);
        auto type = [](QSpinBox* box, const QString& text) {
            box->setFocus(Qt::OtherFocusReason);
            box->selectAll();
            QTest::keyClicks(box, text);
        };
        type(form->seMaxWalkFolders, u"25"_s);
        type(form->seMaxWalkEntries, u"1234567"_s);

        if (close == u"ok"_s)
            QTest::mouseClick(form->btnOk, Qt::LeftButton);
        else if (close == u"cancel"_s)
            QTest::mouseClick(form->btnCancel, Qt::LeftButton);
        else
            QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(!form->isVisible());

        const QString path = ExtraSettings::filePath(m_app->path());
        if (close != u"ok"_s) {
            QCOMPARE(extraSettings().MaxWalkFolders, 500);
            QCOMPARE(extraSettings().MaxWalkEntries, 6000);
            QVERIFY(!QFileInfo::exists(path));
            return;
        }
        QCOMPARE(extraSettings().MaxWalkFolders, 25);
        QCOMPARE(extraSettings().MaxWalkEntries, 1234567);
        ExtraSettings saved;
        QVERIFY(saved.load(m_app->path()));
        QCOMPARE(saved, extraSettings());
        QVERIFY(QFileInfo::exists(ConfigRecord::filePath(m_app->path())));
    }

    // "Open with program below..." enables the path and its button; with an empty path OK stores the choice
    // and an empty path. "&Select File" puts the chosen file into the path box; a cancelled choice does not.
    void editorChoice()
    {
        auto form = open();
        form->rbProgram->click();
        QVERIFY(form->edEditorPath->isEnabled());
        QVERIFY(form->btnSelectFile->isEnabled());
        form->rbNotepad->click();
        QVERIFY(!form->edEditorPath->isEnabled());
        QVERIFY(!form->btnSelectFile->isEnabled());
        form->rbProgram->click();

        QStringList asked;
        QString chosen;
        form->chooseFile = [&](const QString& start) {
            asked << start;
            return chosen;
        };
        QTest::mouseClick(form->btnSelectFile, Qt::LeftButton);
        QCOMPARE(form->edEditorPath->text(), QString());
        chosen = u"/opt/editor/bin/edit"_s;
        QTest::mouseClick(form->btnSelectFile, Qt::LeftButton);
        QCOMPARE(form->edEditorPath->text(), chosen);
        QCOMPARE(asked, (QStringList{QString(), QString()}));
        form->edEditorPath->clear();

        QTest::mouseClick(form->btnOk, Qt::LeftButton);
        QCOMPARE(m_config.EditorChoice, Editor::EditorPath);
        QCOMPARE(m_config.EditorPath, QString());
    }

    // A config.dat that cannot be written: the user is told, the old file stays, and the settings hold for
    // this session.
    void failedSaveIsTold()
    {
        const QString path = ConfigRecord::filePath(m_app->path());
        // A folder in the file's place cannot be replaced by the atomic save.
        QVERIFY(QDir().mkpath(path + u"/keep"_s));
        auto form = open();
        form->chbShowRemoteCaption->setChecked(false);
        BoxAnswerer boxes;
        runModal([&] { return form->exec(); }, [&](QDialog*) { form->btnOk->click(); });
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().contains(u"not saved"_s), qPrintable(boxes.texts.first()));
        QVERIFY2(boxes.texts.first().contains(path), qPrintable(boxes.texts.first()));
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(!m_config.ShowRemoteCaption);
    }

    // ---- Local favorites

    void localFavoritesDeletes_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QStringList>("left");
        const QStringList twice{u"/data/A"_s, u"/data/B"_s, u"/data/A"_s};
        QTest::newRow("a path held twice, both rows")
            << twice << QList<int>{0, 2} << QStringList{u"/data/B"_s};
        QTest::newRow("a path held twice, the second row")
            << twice << QList<int>{2} << QStringList{u"/data/A"_s, u"/data/B"_s};
        QTest::newRow("two rows in one write")
            << QStringList{u"/a"_s, u"/b"_s, u"/c"_s} << QList<int>{0, 2} << QStringList{u"/b"_s};
        // The row's own line goes, not the first line that matches it without regard to case.
        QTest::newRow("lines differing in case only")
            << QStringList{u"/x/Docs"_s, u"/x/docs"_s} << QList<int>{1} << QStringList{u"/x/Docs"_s};
        QTest::newRow("nothing selected") << QStringList{u"/a"_s} << QList<int>{} << QStringList{u"/a"_s};
    }

    void localFavoritesDeletes()
    {
        QFETCH(QStringList, lines);
        QFETCH(QList<int>, selected);
        QFETCH(QStringList, left);
        storeLocalFavorites(lines);
        auto form = open();
        QCOMPARE(rows(form->lvLocalFavorites), lines);
        selectRows(*form, selected);
        QTest::mouseClick(form->btnDeleteLocal, Qt::LeftButton);
        QCOMPARE(rows(form->lvLocalFavorites), left);
        QCOMPARE(LocalFavorites::load(m_app->path()), left);
        QCOMPARE(m_localFavorites, left);
        QCOMPARE(m_favoritesChanged, selected.isEmpty() ? 0 : 1);
        // Not undone by Cancel.
        QTest::mouseClick(form->btnCancel, Qt::LeftButton);
        QCOMPARE(LocalFavorites::load(m_app->path()), left);
    }

    // A line removed from the file behind the page: the row finds the line that is still there.
    void localDeleteAfterFileChanged()
    {
        storeLocalFavorites({u"/a"_s, u"/b"_s, u"/c"_s});
        auto form = open();
        LocalFavorites::save(m_app->path(), {u"/c"_s, u"/a"_s});
        selectRows(*form, {2});
        QTest::mouseClick(form->btnDeleteLocal, Qt::LeftButton);
        QCOMPARE(LocalFavorites::load(m_app->path()), QStringList{u"/a"_s});
        QCOMPARE(rows(form->lvLocalFavorites), (QStringList{u"/a"_s, u"/b"_s}));
    }

    void localDeleteAll()
    {
        storeLocalFavorites({u"/a"_s, u"/b"_s});
        auto form = open();
        QTest::mouseClick(form->btnDeleteAllLocal, Qt::LeftButton);
        QCOMPARE(form->lvLocalFavorites->topLevelItemCount(), 0);
        QVERIFY(QFileInfo(LocalFavorites::filePath(m_app->path())).isFile());
        QCOMPARE(fileBytes(LocalFavorites::filePath(m_app->path())), QByteArray());
        QVERIFY(m_localFavorites.isEmpty());
        QCOMPARE(m_favoritesChanged, 1);
    }

    // A favorites file larger than the reading limit is not shown cut, and "&Delete" cannot write a cut
    // copy back; "Delete &All" is the user's own choice to replace it.
    void oversizeLocalFavorites()
    {
        const QString path = LocalFavorites::filePath(m_app->path());
        QByteArray big;
        while (big.size() <= MaxTextDataFileBytes)
            big += "/a/folder/kept/whole\r\n";
        writeBytes(path, big);
        auto form = open();
        QCOMPARE(form->lvLocalFavorites->topLevelItemCount(), 0);
        BoxAnswerer boxes;
        QTest::mouseClick(form->btnDeleteLocal, Qt::LeftButton);
        QCOMPARE(boxes.texts.size(), 0); // nothing selected, nothing to act on
        QCOMPARE(fileBytes(path), big);
        QTest::mouseClick(form->btnDeleteAllLocal, Qt::LeftButton);
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    // ---- Remote favorites

    void sitesAndFolders()
    {
        RemoteFavorites::save(m_app->path(), u"ann"_s, u"ftp.one"_s, {u"/pub"_s, u"/incoming"_s});
        RemoteFavorites::save(m_app->path(), u"bob"_s, u"ftp.two"_s, {u"/x"_s});
        const QString one = RemoteFavorites::filePath(m_app->path(), u"ann"_s, u"ftp.one"_s);
        const QString two = RemoteFavorites::filePath(m_app->path(), u"bob"_s, u"ftp.two"_s);
        auto form = open();
        QCOMPARE(listTexts(form->lbSites), RemoteFavorites::siteFileNames(m_app->path()));
        QCOMPARE(form->lbFolders->count(), 0);

        const int oneRow = listTexts(form->lbSites).indexOf(u"ann@ftp.one.dat"_s);
        form->lbSites->setCurrentRow(oneRow);
        QCOMPARE(listTexts(form->lbFolders), (QStringList{u"/pub"_s, u"/incoming"_s}));
        form->lbFolders->setCurrentRow(0);
        QTest::mouseClick(form->btnDeleteFolder, Qt::LeftButton);
        QCOMPARE(readLineList(one), QStringList{u"/incoming"_s});
        QCOMPARE(listTexts(form->lbFolders), QStringList{u"/incoming"_s});
        QCOMPARE(m_favoritesChanged, 1);

        QTest::mouseClick(form->btnDeleteAllFolders, Qt::LeftButton);
        QCOMPARE(form->lbFolders->count(), 0);
        QVERIFY(QFileInfo(one).isFile()); // the file stays, empty
        QCOMPARE(fileBytes(one), QByteArray());

        form->lbSites->setCurrentRow(oneRow);
        QTest::mouseClick(form->btnDeleteSite, Qt::LeftButton);
        QVERIFY(!QFileInfo::exists(one));
        QCOMPARE(listTexts(form->lbSites), QStringList{u"bob@ftp.two.dat"_s});
        QCOMPARE(form->lbFolders->count(), 0);

        QTest::mouseClick(form->btnDeleteAllSites, Qt::LeftButton);
        QVERIFY(!QFileInfo::exists(two));
        QCOMPARE(form->lbSites->count(), 0);
        QCOMPARE(m_favoritesChanged, 4);
    }

    // Two folders differing in case: the selected row's line goes.
    void folderDeleteTakesItsOwnLine()
    {
        RemoteFavorites::save(m_app->path(), u"ann"_s, u"ftp.one"_s, {u"/Pub"_s, u"/pub"_s});
        auto form = open();
        form->lbSites->setCurrentRow(0);
        form->lbFolders->setCurrentRow(1);
        QTest::mouseClick(form->btnDeleteFolder, Qt::LeftButton);
        QCOMPARE(RemoteFavorites::load(m_app->path(), u"ann"_s, u"ftp.one"_s), QStringList{u"/Pub"_s});
    }

    // A site file already gone leaves without a message.
    void siteFileAlreadyGone()
    {
        RemoteFavorites::save(m_app->path(), u"ann"_s, u"ftp.one"_s, {u"/pub"_s});
        auto form = open();
        QVERIFY(QFile::remove(RemoteFavorites::filePath(m_app->path(), u"ann"_s, u"ftp.one"_s)));
        form->lbSites->setCurrentRow(0);
        BoxAnswerer boxes;
        QTest::mouseClick(form->btnDeleteSite, Qt::LeftButton);
        QCOMPARE(form->lbSites->count(), 0);
        QCOMPARE(boxes.texts, QStringList());
    }

    // ---- Quick connect

    // The listing and file-time choices of the File Transfer page: shown from the record, each stored back
    // by OK only and saved with it.
    void connectChoicesStoredByOkOnly_data()
    {
        QTest::addColumn<QString>("close");
        QTest::addColumn<bool>("useMlsd");
        QTest::addColumn<bool>("keepFileTimes");
        QTest::addColumn<bool>("listHidden");
        QTest::newRow("OK from the defaults") << u"ok"_s << true << true << false;
        QTest::newRow("OK from every choice changed") << u"ok"_s << false << false << true;
        QTest::newRow("Cancel") << u"cancel"_s << false << true << false;
        QTest::newRow("Escape") << u"escape"_s << true << false << true;
    }
    void connectChoicesStoredByOkOnly()
    {
        QFETCH(QString, close);
        QFETCH(bool, useMlsd);
        QFETCH(bool, keepFileTimes);
        QFETCH(bool, listHidden);
        m_config.UseMlsd = useMlsd;
        m_config.KeepFileTimes = keepFileTimes;
        m_config.ListHidden = listHidden;
        const ConfigRecord before = m_config;
        auto form = open();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->TreeView1->setCurrentItem(form->TreeView1->topLevelItem(2)); // File Transfer
        QCOMPARE(form->currentPage(), TConfigForm::FileTransferPage);
        QCOMPARE(form->chbUseMlsd->isChecked(), useMlsd);
        QCOMPARE(form->chbKeepFileTimes->isChecked(), keepFileTimes);
        QCOMPARE(form->chbListHidden->isChecked(), listHidden);
        for (QCheckBox* box : {form->chbUseMlsd, form->chbKeepFileTimes, form->chbListHidden})
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));

        if (close == u"ok"_s)
            QTest::mouseClick(form->btnOk, Qt::LeftButton);
        else if (close == u"cancel"_s)
            QTest::mouseClick(form->btnCancel, Qt::LeftButton);
        else
            QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        if (close != u"ok"_s) {
            QCOMPARE(m_config, before);
            return;
        }
        QCOMPARE(m_config.UseMlsd, !useMlsd);
        QCOMPARE(m_config.KeepFileTimes, !keepFileTimes);
        QCOMPARE(m_config.ListHidden, !listHidden);
        ConfigRecord saved;
        QVERIFY(saved.load(m_app->path()));
        QCOMPARE(saved, m_config);
    }

    // A quick-connect entry's name encoding is chosen on its page and saved at once, like the deletions.
    void quickConnectEntryNameEncoding()
    {
        for (int i = 0; i < 3; ++i) {
            QuickConnectLogon logon;
            logon.user = u"user%1"_s.arg(i);
            logon.host = i == 1 ? u"[2001:db8::1]"_s : u"host%1"_s.arg(i);
            logon.nameEncoding = i == 1 ? NameEncodingChoice::Utf8 : NameEncodingChoice::Auto;
            m_quickConnect.Add(makeQuickConnectRecord(logon));
        }
        auto form = open();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->TreeView1->setCurrentItem(form->TreeView1->topLevelItem(1)); // Quick Connect
        QVERIFY(!form->cbQuickConnectEncoding->isEnabled());
        QCOMPARE(listTexts(form->lvQuickConnect)[1], u"user1@[2001:db8::1]"_s);

        QListWidget* list = form->lvQuickConnect;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QVERIFY(form->cbQuickConnectEncoding->isEnabled());
        QCOMPARE(form->cbQuickConnectEncoding->currentIndex(), int(NameEncodingChoice::Utf8));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        QCOMPARE(form->cbQuickConnectEncoding->currentIndex(), int(NameEncodingChoice::Auto));

        form->cbQuickConnectEncoding->setFocus();
        QTest::keyClick(form->cbQuickConnectEncoding, Qt::Key_End);
        QCOMPARE(form->cbQuickConnectEncoding->currentIndex(), int(NameEncodingChoice::Local));
        QCOMPARE(m_quickConnect.Item(2)->NameEncoding, NameEncodingChoice::Local);
        QCOMPARE(m_quickConnect.Item(1)->NameEncoding, NameEncodingChoice::Utf8);
        QTest::mouseClick(form->btnCancel, Qt::LeftButton);

        TSiteManList saved;
        saved.LoadFromFile(quickConnectFilePath(m_app->path()));
        QCOMPARE(saved.Count(), 3);
        QCOMPARE(saved.Item(0)->NameEncoding, NameEncodingChoice::Auto);
        QCOMPARE(saved.Item(1)->NameEncoding, NameEncodingChoice::Utf8);
        QCOMPARE(saved.Item(1)->Host, u"[2001:db8::1]"_s);
        QCOMPARE(saved.Item(2)->NameEncoding, NameEncodingChoice::Local);
    }

    void deleteCheckedQuickConnectEntries()
    {
        for (int i = 0; i < 5; ++i) {
            QuickConnectLogon logon;
            logon.user = u"user%1"_s.arg(i);
            logon.host = u"host%1"_s.arg(i);
            m_quickConnect.Add(makeQuickConnectRecord(logon));
        }
        m_quickConnect.SaveToFile(quickConnectFilePath(m_app->path()));
        auto form = open();
        QCOMPARE(listTexts(form->lvQuickConnect),
                 (QStringList{u"user0@host0"_s, u"user1@host1"_s, u"user2@host2"_s, u"user3@host3"_s,
                              u"user4@host4"_s}));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(form->lvQuickConnect->item(i)->checkState(), Qt::Unchecked);
        form->lvQuickConnect->item(1)->setCheckState(Qt::Checked);
        form->lvQuickConnect->item(3)->setCheckState(Qt::Checked);
        QTest::mouseClick(form->btnDeleteSelected, Qt::LeftButton);

        const QStringList left{u"user0@host0"_s, u"user2@host2"_s, u"user4@host4"_s};
        QCOMPARE(listTexts(form->lvQuickConnect), left);
        QCOMPARE(captions(m_quickConnect), left);
        TSiteManList saved;
        saved.LoadFromFile(quickConnectFilePath(m_app->path()));
        QCOMPARE(captions(saved), left);
        QCOMPARE(m_quickConnectChanged, 1);

        // Nothing checked: nothing written, the tabs left alone.
        QTest::mouseClick(form->btnDeleteSelected, Qt::LeftButton);
        QCOMPARE(m_quickConnectChanged, 1);
        QTest::mouseClick(form->btnCancel, Qt::LeftButton);
        QCOMPARE(captions(m_quickConnect), left);
    }

    // A quick-connect list that cannot be written (here: held, as after a failed read at start-up): the user
    // is told and the file stays as it was; the entries are gone from the list in memory, and the tabs still
    // rebuild their menus, which must not keep pointing at deleted records.
    void failedQuickConnectSaveIsTold()
    {
        for (int i = 0; i < 2; ++i) {
            QuickConnectLogon logon;
            logon.user = u"user%1"_s.arg(i);
            logon.host = u"host"_s;
            m_quickConnect.Add(makeQuickConnectRecord(logon));
        }
        const QString path = quickConnectFilePath(m_app->path());
        m_quickConnect.SaveToFile(path);
        const QByteArray before = fileBytes(path);
        auto form = open();
        heldfiles::hold(path, u"simulated"_s);
        form->lvQuickConnect->item(0)->setCheckState(Qt::Checked);
        BoxAnswerer boxes;
        QTest::mouseClick(form->btnDeleteSelected, Qt::LeftButton);
        heldfiles::release(path);
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().contains(path) && boxes.texts.first().contains(u"not saved"_s),
                 qPrintable(boxes.texts.first()));
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(captions(m_quickConnect), QStringList{u"user1@host"_s});
        QCOMPARE(m_quickConnectChanged, 1);
    }
};

QTEST_MAIN(TestConfigForm)
#include "tst_configform.moc"
