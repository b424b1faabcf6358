#include "ui/dialogs/configform.h"

#include "store/configrecord.h"
#include "store/extrasettings.h"
#include "store/favorites.h"
#include "store/io/ansitext.h"
#include "store/io/datafile.h"
#include "store/io/heldfiles.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "store/texttables.h"
#include "ui/applysection.h"
#include "ui/errorbox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace skyhaul {

namespace {

template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

constexpr int PageRole = Qt::UserRole + 1;
constexpr int RecordRole = Qt::UserRole + 2;

/// A group box of radio buttons, direct children of the box so the language file reaches them by number.
QGroupBox* radioGroup(QWidget* parent, const char* name, std::initializer_list<const char*> items,
                      QButtonGroup** group)
{
    auto* box = named(new QGroupBox(parent), name);
    *group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    int id = 0;
    for (const char* item : items) {
        auto* radio = new QRadioButton(QLatin1String(item), box);
        (*group)->addButton(radio, id++);
        layout->addWidget(radio);
    }
    return box;
}

QPushButton* button(QWidget* parent, const char* name)
{
    return named(new QPushButton(parent), name);
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    for (QPushButton* b : buttons)
        row->addWidget(b);
    row->addStretch(1);
    return row;
}

/// Lays out a group box: the list above, its buttons in a row below.
void listWithButtons(QGroupBox* box, QWidget* list, std::initializer_list<QPushButton*> buttons)
{
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(list, 1);
    layout->addLayout(buttonRow(buttons));
}

void checkId(QButtonGroup* group, int id)
{
    if (QAbstractButton* b = group->button(id))
        b->setChecked(true);
}

} // namespace

TConfigForm::TConfigForm(const ConfigFormContext& context, QWidget* parent)
    : QDialog(parent), m_context(context)
{
    setObjectName(QStringLiteral("ConfigForm"));
    buildWidgets();
    applySection(this, m_context.texts, texttables::ConfigForm);
    fillQuickConnect();
    TreeView1->expandAll();
    fillFromConfig();
    fillLocalFavorites();
    fillSites();
    TreeView1->setCurrentItem(TreeView1->topLevelItem(0));
    chooseFile = [this](const QString& start) {
        return QFileDialog::getOpenFileName(this, QString(), start);
    };
}

TConfigForm::~TConfigForm() = default;

void TConfigForm::buildWidgets()
{
    TreeView1 = named(new QTreeWidget(this), "TreeView1");
    TreeView1->setHeaderHidden(true);
    TreeView1->setColumnCount(1);
    TreeView1->setFixedWidth(150);
    auto node = [](const char* text, Page page) {
        auto* item = new QTreeWidgetItem(QStringList{QLatin1String(text)});
        item->setData(0, PageRole, int(page));
        return item;
    };
    TreeView1->addTopLevelItem(node("General", GeneralPage));
    QTreeWidgetItem* quick = node("Quick Connect", QuickConnectPage);
    quick->addChild(node("Local", LocalPage));
    quick->addChild(node("Remote", RemotePage));
    TreeView1->addTopLevelItem(quick);
    TreeView1->addTopLevelItem(node("File Transfer", FileTransferPage));
    TreeView1->addTopLevelItem(node("Editor", EditorPage));

    Pages = named(new QStackedWidget(this), "Pages");
    Pages->addWidget(buildGeneralPage());
    Pages->addWidget(buildQuickConnectPage());
    Pages->addWidget(buildLocalPage());
    Pages->addWidget(buildRemotePage());
    Pages->addWidget(buildFileTransferPage());
    Pages->addWidget(buildEditorPage());

    btnOk = button(this, "btnOk");
    btnOk->setDefault(true);
    btnCancel = button(this, "btnCancel");

    auto* top = new QHBoxLayout;
    top->addWidget(TreeView1);
    top->addWidget(Pages, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnOk);
    bottom->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    resize(560, 380);

    auto run = [this](void (TConfigForm::*handler)()) {
        return [this, handler] { runHandler([this, handler] { (this->*handler)(); }); };
    };
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, &TConfigForm::TreeView1Change);
    connect(btnOk, &QPushButton::clicked, this, run(&TConfigForm::btnOkClick));
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnSelectFile, &QPushButton::clicked, this, run(&TConfigForm::btnSelectFileClick));
    connect(btnDeleteLocal, &QPushButton::clicked, this, run(&TConfigForm::btnDeleteLocalClick));
    connect(btnDeleteAllLocal, &QPushButton::clicked, this, run(&TConfigForm::btnDeleteAllLocalClick));
    connect(btnDeleteSite, &QPushButton::clicked, this, run(&TConfigForm::btnDeleteSiteClick));
    connect(btnDeleteAllSites, &QPushButton::clicked, this, run(&TConfigForm::btnDeleteAllSitesClick));
    connect(btnDeleteFolder, &QPushButton::clicked, this, run(&TConfigForm::btnDeleteFolderClick));
    connect(btnDeleteAllFolders, &QPushButton::clicked, this, run(&TConfigForm::btnDeleteAllFoldersClick));
    connect(btnDeleteSelected, &QPushButton::clicked, this, run(&TConfigForm::btnDeleteSelectedClick));
    connect(lvQuickConnect, &QListWidget::currentItemChanged, this, [this] { lvQuickConnectChange(); });
    connect(cbQuickConnectEncoding, &QComboBox::currentIndexChanged, this,
            [this](int index) { runHandler([this, index] { cbQuickConnectEncodingChange(index); }); });
    connect(lbSites, &QListWidget::currentRowChanged, this, run(&TConfigForm::lbSitesChange));
    connect(rbEditorItems, &QButtonGroup::idToggled, this, &TConfigForm::updateEditorPath);
}

QWidget* TConfigForm::buildGeneralPage()
{
    auto* page = new QWidget(this);
    cbLanguage = named(new QComboBox(page), "cbLanguage");
    auto* languageLabel = named(new QLabel(QStringLiteral("Language"), page), "lbLanguage");
    languageLabel->setBuddy(cbLanguage);
    gbAppearence = named(new QGroupBox(page), "gbAppearence");
    chbShowMainCaption = named(new QCheckBox(gbAppearence), "chbShowMainCaption");
    chbShowLocalCaption = named(new QCheckBox(gbAppearence), "chbShowLocalCaption");
    chbShowRemoteCaption = named(new QCheckBox(gbAppearence), "chbShowRemoteCaption");
    auto* checks = new QVBoxLayout(gbAppearence);
    for (QCheckBox* c : {chbShowMainCaption, chbShowLocalCaption, chbShowRemoteCaption})
        checks->addWidget(c);
    auto* language = new QHBoxLayout;
    language->addWidget(languageLabel);
    language->addWidget(cbLanguage, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(language);
    layout->addWidget(gbAppearence);
    layout->addStretch(1);
    return page;
}

QWidget* TConfigForm::buildQuickConnectPage()
{
    auto* page = new QWidget(this);
    QButtonGroup* choices = nullptr;
    rgQuickConnect =
        radioGroup(page, "rgQuickConnect", {"Store Password For QuickConnect", "Ask Password"}, &choices);
    rbStorePassword = qobject_cast<QRadioButton*>(choices->button(0));
    rbAskPassword = qobject_cast<QRadioButton*>(choices->button(1));
    lvQuickConnect = named(new QListWidget(page), "lvQuickConnect");
    btnDeleteSelected = button(page, "btnDeleteSelected");
    cbQuickConnectEncoding = named(new QComboBox(page), "cbQuickConnectEncoding");
    // Item i is NameEncodingChoice i.
    cbQuickConnectEncoding->addItems(
        {QStringLiteral("Auto"), QStringLiteral("Force UTF-8"), QStringLiteral("Force local encoding")});
    cbQuickConnectEncoding->setEnabled(false);
    lbQuickConnectEncoding = named(new QLabel(page), "lbQuickConnectEncoding");
    lbQuickConnectEncoding->setBuddy(cbQuickConnectEncoding);
    auto* encodingRow = new QHBoxLayout;
    encodingRow->addWidget(lbQuickConnectEncoding);
    encodingRow->addWidget(cbQuickConnectEncoding);
    encodingRow->addStretch(1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(rgQuickConnect);
    layout->addWidget(lvQuickConnect, 1);
    layout->addLayout(encodingRow);
    layout->addLayout(buttonRow({btnDeleteSelected}));
    return page;
}

QWidget* TConfigForm::buildLocalPage()
{
    auto* page = new QWidget(this);
    gbLocalFavorites = named(new QGroupBox(page), "gbLocalFavorites");
    lvLocalFavorites = named(new QTreeWidget(gbLocalFavorites), "lvLocalFavorites");
    lvLocalFavorites->setColumnCount(1);
    lvLocalFavorites->setHeaderLabels({QStringLiteral("Path")});
    lvLocalFavorites->setRootIsDecorated(false);
    lvLocalFavorites->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvLocalFavorites->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvLocalFavorites->header()->resizeSection(0, 230);
    btnDeleteLocal = button(gbLocalFavorites, "btnDeleteLocal");
    btnDeleteAllLocal = button(gbLocalFavorites, "btnDeleteAllLocal");
    listWithButtons(gbLocalFavorites, lvLocalFavorites, {btnDeleteLocal, btnDeleteAllLocal});
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(gbLocalFavorites);
    return page;
}

QWidget* TConfigForm::buildRemotePage()
{
    auto* page = new QWidget(this);
    gbRemoteFavorites = named(new QGroupBox(page), "gbRemoteFavorites");
    gbSite = named(new QGroupBox(gbRemoteFavorites), "gbSite");
    lbSites = named(new QListWidget(gbSite), "lbSites");
    btnDeleteSite = button(gbSite, "btnDeleteSite");
    btnDeleteAllSites = button(gbSite, "btnDeleteAllSites");
    listWithButtons(gbSite, lbSites, {btnDeleteSite, btnDeleteAllSites});
    gbFolder = named(new QGroupBox(gbRemoteFavorites), "gbFolder");
    lbFolders = named(new QListWidget(gbFolder), "lbFolders");
    btnDeleteFolder = button(gbFolder, "btnDeleteFolder");
    btnDeleteAllFolders = button(gbFolder, "btnDeleteAllFolders");
    listWithButtons(gbFolder, lbFolders, {btnDeleteFolder, btnDeleteAllFolders});
    auto* inner = new QHBoxLayout(gbRemoteFavorites);
    inner->addWidget(gbSite);
    inner->addWidget(gbFolder);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(gbRemoteFavorites);
    return page;
}

QWidget* TConfigForm::buildFileTransferPage()
{
    auto* page = new QWidget(this);
    rgFileExists =
        radioGroup(page, "rgFileExists", {"Ask", "Overwrite", "Resume", "Skip"}, &rgFileExistsItems);
    rgDoubleClick = radioGroup(page, "rgDoubleClick", {"View", "Edit", "Open"}, &rgDoubleClickItems);

    gbWalkLimits = named(new QGroupBox(page), "gbWalkLimits");
    auto count = [this](const char* name) {
        auto* box = named(new QSpinBox(gbWalkLimits), name);
        box->setRange(1, std::numeric_limits<int>::max());
        box->setGroupSeparatorShown(true);
        return box;
    };
    seMaxWalkFolders = count("seMaxWalkFolders");
    seMaxWalkEntries = count("seMaxWalkEntries");
    auto* limits = new QFormLayout(gbWalkLimits);
    limits->addRow(named(new QLabel(gbWalkLimits), "lbMaxWalkFolders"), seMaxWalkFolders);
    limits->addRow(named(new QLabel(gbWalkLimits), "lbMaxWalkEntries"), seMaxWalkEntries);

    gbProtocol = named(new QGroupBox(page), "gbProtocol");
    chbUseMlsd = named(new QCheckBox(gbProtocol), "chbUseMlsd");
    chbKeepFileTimes = named(new QCheckBox(gbProtocol), "chbKeepFileTimes");
    chbListHidden = named(new QCheckBox(gbProtocol), "chbListHidden");
    auto* protocol = new QVBoxLayout(gbProtocol);
    for (QCheckBox* c : {chbUseMlsd, chbKeepFileTimes, chbListHidden})
        protocol->addWidget(c);

    auto* choices = new QHBoxLayout;
    choices->addWidget(rgFileExists, 0, Qt::AlignTop);
    choices->addWidget(rgDoubleClick, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(choices);
    layout->addWidget(gbProtocol);
    layout->addWidget(gbWalkLimits);
    layout->addStretch(1);
    return page;
}

QWidget* TConfigForm::buildEditorPage()
{
    auto* page = new QWidget(this);
    gbEditor = named(new QGroupBox(page), "gbEditor");
    rbAssociated = named(new QRadioButton(gbEditor), "rbAssociated");
    rbNotepad = named(new QRadioButton(gbEditor), "rbNotepad");
    rbProgram = named(new QRadioButton(gbEditor), "rbProgram");
    rbEditorItems = new QButtonGroup(gbEditor);
    rbEditorItems->addButton(rbAssociated, int(Editor::AssociatedProgram));
    rbEditorItems->addButton(rbNotepad, int(Editor::Notepad));
    rbEditorItems->addButton(rbProgram, int(Editor::EditorPath));
    edEditorPath = named(new QLineEdit(gbEditor), "edEditorPath");
    btnSelectFile = button(gbEditor, "btnSelectFile");
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(edEditorPath, 1);
    pathRow->addWidget(btnSelectFile);
    auto* inner = new QVBoxLayout(gbEditor);
    inner->addWidget(rbAssociated);
    inner->addWidget(rbNotepad);
    inner->addWidget(rbProgram);
    inner->addLayout(pathRow);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(gbEditor);
    layout->addStretch(1);
    return page;
}

void TConfigForm::fillFromConfig()
{
    const ConfigRecord& c = *m_context.config;
    // Any failure while searching leaves fewer choices, never an error.
    const QStringList choices = Texts::languageChoices(m_context.appFolder);
    cbLanguage->addItems(choices);
    cbLanguage->setCurrentIndex(Texts::languageChoiceIndex(choices, c.Language));

    chbShowMainCaption->setChecked(c.ShowMainCaption);
    chbShowLocalCaption->setChecked(c.ShowLocalCaption);
    chbShowRemoteCaption->setChecked(c.ShowRemoteCaption);
    checkId(rgFileExistsItems, int(c.FileExistsAction));
    checkId(rgDoubleClickItems, int(c.DoubleClickAction));
    chbUseMlsd->setChecked(c.UseMlsd);
    chbKeepFileTimes->setChecked(c.KeepFileTimes);
    chbListHidden->setChecked(c.ListHidden);
    seMaxWalkFolders->setValue(extraSettings().MaxWalkFolders);
    seMaxWalkEntries->setValue(extraSettings().MaxWalkEntries);
    (c.StoreQuickConnectPassword ? rbStorePassword : rbAskPassword)->setChecked(true);
    checkId(rbEditorItems, int(c.EditorChoice));
    edEditorPath->setText(c.EditorPath);
    updateEditorPath();
}

void TConfigForm::updateEditorPath()
{
    const bool program = rbProgram->isChecked();
    edEditorPath->setEnabled(program);
    btnSelectFile->setEnabled(program);
}

void TConfigForm::TreeView1Change()
{
    if (QTreeWidgetItem* item = TreeView1->currentItem())
        Pages->setCurrentIndex(item->data(0, PageRole).toInt());
}

TConfigForm::Page TConfigForm::currentPage() const
{
    return Page(Pages->currentIndex());
}

void TConfigForm::btnOkClick()
{
    ConfigRecord& c = *m_context.config;
    // Without any language file the current language stays.
    if (cbLanguage->currentIndex() >= 0)
        c.Language = cutToSlot(cbLanguage->currentText());
    c.ShowMainCaption = chbShowMainCaption->isChecked();
    c.ShowLocalCaption = chbShowLocalCaption->isChecked();
    c.ShowRemoteCaption = chbShowRemoteCaption->isChecked();
    if (const int id = rgFileExistsItems->checkedId(); id >= 0)
        c.FileExistsAction = FileExists(id);
    if (const int id = rgDoubleClickItems->checkedId(); id >= 0)
        c.DoubleClickAction = DoubleClick(id);
    c.UseMlsd = chbUseMlsd->isChecked();
    c.KeepFileTimes = chbKeepFileTimes->isChecked();
    c.ListHidden = chbListHidden->isChecked();
    c.StoreQuickConnectPassword = rbStorePassword->isChecked();
    if (const int id = rbEditorItems->checkedId(); id >= 0)
        c.EditorChoice = Editor(id);
    c.EditorPath = cutToSlot(edEditorPath->text());
    ExtraSettings& extra = extraSettings();
    extra.MaxWalkFolders = seMaxWalkFolders->value();
    extra.MaxWalkEntries = seMaxWalkEntries->value();
    try {
        c.save(m_context.appFolder);
        extra.save(m_context.appFolder);
    } catch (const FileIoError& e) {
        // The settings hold for this session; the file keeps what it held and is written again at exit.
        tellFailure(QStringLiteral("The settings were not saved; they apply until Skyhaul ends."),
                    e.message());
    }
    accept();
}

void TConfigForm::btnSelectFileClick()
{
    const QString chosen = chooseFile(edEditorPath->text());
    if (!chosen.isEmpty())
        edEditorPath->setText(QDir::toNativeSeparators(chosen));
}

void TConfigForm::tellFailure(const QString& what, const QString& message)
{
    QMessageBox::warning(this, applicationTitle(), what + QLatin1Char('\n') + message);
}

bool TConfigForm::saveLines(const QString& path, const QStringList& lines)
{
    try {
        writeLineList(path, lines);
        return true;
    } catch (const FileIoError& e) {
        tellFailure(QStringLiteral("The favorites were not changed."), e.message());
        return false;
    }
}

void TConfigForm::favoritesChanged()
{
    if (m_context.favoritesChanged)
        m_context.favoritesChanged();
}

// ---- Quick connect

void TConfigForm::fillQuickConnect()
{
    lvQuickConnect->clear();
    if (!m_context.quickConnectList)
        return;
    const TSiteManList& list = *m_context.quickConnectList;
    for (int i = 0; i < list.Count(); ++i) {
        TSiteManRec* record = list.Item(i);
        auto* item = new QListWidgetItem(quickConnectCaption(*record), lvQuickConnect);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(RecordRole, QVariant::fromValue(quintptr(record)));
    }
}

TSiteManRec* TConfigForm::currentQuickConnectRecord() const
{
    QListWidgetItem* item = lvQuickConnect->currentItem();
    if (!item || !m_context.quickConnectList)
        return nullptr;
    // The record may be gone from the list meanwhile; only one still in it is touched.
    auto* record = reinterpret_cast<TSiteManRec*>(item->data(RecordRole).value<quintptr>());
    return m_context.quickConnectList->IndexOf(record) >= 0 ? record : nullptr;
}

void TConfigForm::lvQuickConnectChange()
{
    const TSiteManRec* record = currentQuickConnectRecord();
    const QSignalBlocker blocker(cbQuickConnectEncoding);
    cbQuickConnectEncoding->setEnabled(record != nullptr);
    cbQuickConnectEncoding->setCurrentIndex(record ? int(record->NameEncoding) : 0);
}

void TConfigForm::cbQuickConnectEncodingChange(int index)
{
    TSiteManRec* record = currentQuickConnectRecord();
    if (!record || index < 0 || index > int(NameEncodingChoice::Local) || int(record->NameEncoding) == index)
        return;
    // Like the deletions of this page, the change holds at once and Cancel does not undo it.
    record->NameEncoding = NameEncodingChoice(index);
    try {
        m_context.quickConnectList->SaveToFile(quickConnectFilePath(m_context.appFolder));
    } catch (const FileIoError& e) {
        tellFailure(
            QStringLiteral("The quick-connect list was not saved; the choice holds until Skyhaul ends."),
            e.message());
    }
}

void TConfigForm::btnDeleteSelectedClick()
{
    if (!m_context.quickConnectList)
        return;
    TSiteManList& list = *m_context.quickConnectList;
    bool removed = false;
    for (int row = lvQuickConnect->count() - 1; row >= 0; --row) {
        QListWidgetItem* item = lvQuickConnect->item(row);
        if (item->checkState() != Qt::Checked)
            continue;
        // The row holds its record: a logon in a tab meanwhile may have added to the list.
        const int index =
            list.IndexOf(reinterpret_cast<TSiteManRec*>(item->data(RecordRole).value<quintptr>()));
        if (index >= 0)
            list.Delete(index);
        delete item;
        removed = true;
    }
    if (!removed)
        return;
    try {
        list.SaveToFile(quickConnectFilePath(m_context.appFolder));
    } catch (const FileIoError& e) {
        tellFailure(
            QStringLiteral("The quick-connect list was not saved; the entries are gone until Skyhaul ends."),
            e.message());
    }
    // The tabs' menus point at the records: rebuilt whether or not the file was written.
    if (m_context.quickConnectChanged)
        m_context.quickConnectChanged();
}

// ---- Local favorites

void TConfigForm::fillLocalFavorites()
{
    lvLocalFavorites->clear();
    m_localLines.clear();
    try {
        m_localLines = LocalFavorites::load(m_context.appFolder);
    } catch (const FileIoError&) {
        // Told at start-up; the page stays empty and the file as it is.
    }
    for (const QString& line : std::as_const(m_localLines))
        new QTreeWidgetItem(lvLocalFavorites, QStringList{line});
}

void TConfigForm::btnDeleteLocalClick()
{
    QList<int> rows;
    for (QTreeWidgetItem* item : lvLocalFavorites->selectedItems())
        rows << lvLocalFavorites->indexOfTopLevelItem(item);
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    const QString path = LocalFavorites::filePath(m_context.appFolder);
    QStringList lines;
    try {
        lines = readLineList(path);
    } catch (const FileIoError& e) {
        tellFailure(QStringLiteral("The favorites were not changed."), e.message());
        return;
    }
    QList<int> removedRows;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        if (removeLineOf(lines, *it, m_localLines.value(*it)))
            removedRows << *it;
    if (removedRows.isEmpty() || !saveLines(path, lines))
        return;
    // Last row first, so the earlier rows keep their numbers.
    for (int row : std::as_const(removedRows)) {
        const QString text = m_localLines.takeAt(row);
        delete lvLocalFavorites->takeTopLevelItem(row);
        if (m_context.localFavorites)
            removeLineOf(*m_context.localFavorites, row, text);
    }
    favoritesChanged();
}

void TConfigForm::btnDeleteAllLocalClick()
{
    const QString path = LocalFavorites::filePath(m_context.appFolder);
    // The user asked for an empty list: a file that could not be read is replaced as well.
    heldfiles::release(path);
    if (!saveLines(path, {}))
        return;
    lvLocalFavorites->clear();
    m_localLines.clear();
    if (m_context.localFavorites)
        m_context.localFavorites->clear();
    favoritesChanged();
}

// ---- Remote favorites

void TConfigForm::fillSites()
{
    lbSites->clear();
    lbFolders->clear();
    m_folderLines.clear();
    lbSites->addItems(RemoteFavorites::siteFileNames(m_context.appFolder));
    lbSites->setCurrentRow(-1);
}

QString TConfigForm::siteFilePath() const
{
    const QListWidgetItem* site = lbSites->currentItem();
    return site ? RemoteFavorites::siteFilePath(m_context.appFolder, site->text()) : QString();
}

void TConfigForm::lbSitesChange()
{
    lbFolders->clear();
    m_folderLines.clear();
    const QString path = siteFilePath();
    if (path.isEmpty())
        return;
    try {
        m_folderLines = readLineList(path);
    } catch (const FileIoError& e) {
        tellFailure(QStringLiteral("The folders of this site cannot be shown."), e.message());
        return;
    }
    lbFolders->addItems(m_folderLines);
}

void TConfigForm::btnDeleteSiteClick()
{
    lbFolders->clear();
    m_folderLines.clear();
    QListWidgetItem* site = lbSites->currentItem();
    if (!site)
        return;
    try {
        RemoteFavorites::removeSite(m_context.appFolder, site->text());
    } catch (const FileIoError& e) {
        tellFailure(QStringLiteral("The site's favorites were not deleted."), e.message());
        return;
    }
    heldfiles::release(RemoteFavorites::siteFilePath(m_context.appFolder, site->text()));
    delete site;
    lbSites->setCurrentRow(-1);
    favoritesChanged();
}

void TConfigForm::btnDeleteAllSitesClick()
{
    lbFolders->clear();
    m_folderLines.clear();
    QStringList failures;
    for (int row = lbSites->count() - 1; row >= 0; --row) {
        const QString name = lbSites->item(row)->text();
        try {
            RemoteFavorites::removeSite(m_context.appFolder, name);
            heldfiles::release(RemoteFavorites::siteFilePath(m_context.appFolder, name));
            delete lbSites->takeItem(row);
        } catch (const FileIoError& e) {
            failures.prepend(e.message());
        }
    }
    lbSites->setCurrentRow(-1);
    if (!failures.isEmpty())
        tellFailure(QStringLiteral("Some sites' favorites were not deleted."),
                    failures.join(QLatin1Char('\n')));
    favoritesChanged();
}

void TConfigForm::btnDeleteFolderClick()
{
    const QString path = siteFilePath();
    const int row = lbFolders->currentRow();
    if (path.isEmpty() || row < 0 || !lbFolders->item(row)->isSelected())
        return;
    QStringList lines;
    try {
        lines = readLineList(path);
    } catch (const FileIoError& e) {
        tellFailure(QStringLiteral("The favorites were not changed."), e.message());
        return;
    }
    if (!removeLineOf(lines, row, m_folderLines.value(row)) || !saveLines(path, lines))
        return;
    m_folderLines.removeAt(row);
    delete lbFolders->takeItem(row);
    favoritesChanged();
}

void TConfigForm::btnDeleteAllFoldersClick()
{
    lbFolders->clear();
    m_folderLines.clear();
    const QString path = siteFilePath();
    if (path.isEmpty())
        return;
    // The user asked for an empty list: a file that could not be read is replaced as well.
    heldfiles::release(path);
    if (saveLines(path, {}))
        favoritesChanged();
}

} // namespace skyhaul
