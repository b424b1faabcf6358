#include "ui/dialogs/siteform.h"

#include "store/io/ansitext.h"
#include "store/io/datafile.h"
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "store/texttables.h"
#include "ui/applysection.h"
#include "ui/dialogs/logonform.h"
#include "ui/dialogs/sitetree.h"
#include "ui/errorbox.h"
#include "ui/portfield.h"
#include "ui/themedicon.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <QLoggingCategory>

namespace skyhaul {

namespace {

Q_LOGGING_CATEGORY(lcSites, "skyhaul.sites", QtWarningMsg)

template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

QIcon nodeIcon(bool group, const QWidget* widget)
{
    return group ? themedIcon("folder", QStyle::SP_DirIcon, widget)
                 : themedIcon("network-server", QStyle::SP_DriveNetIcon, widget);
}

constexpr int ImageRole = Qt::UserRole + 1;

// Every node, each before its children, top to bottom.
template <typename Visit> void forEachNode(QTreeWidgetItem* node, Visit&& visit)
{
    visit(static_cast<TSiteNode*>(node));
    for (int i = 0; i < node->childCount(); ++i)
        forEachNode(node->child(i), visit);
}

template <typename Visit> void forEachNode(QTreeWidget* tree, Visit&& visit)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        forEachNode(tree->topLevelItem(i), visit);
}

} // namespace

TSiteForm::TSiteForm(const QString& appFolder, const Texts& texts, QWidget* parent)
    : QDialog(parent), m_fileName(siteManagerFilePath(appFolder)), m_texts(texts),
      m_store(std::make_unique<TSiteManList>())
{
    setObjectName(QStringLiteral("SiteManager"));
    buildWidgets();
    const SectionTexts section = m_texts.section(texttables::SiteManager);
    setFont(fontFor(section.font, QApplication::font()));
    applySectionTexts(this, section);

    try {
        m_store->LoadFromFile(m_fileName);
    } catch (const FileIoError& e) {
        // What could be read stays in the tree, but closing must not write that part back over the file.
        m_loadError = e.message();
    }
    buildTree();
    setEditMode(false);
    chooseFolder = [this](const QString& title, const QString& start) {
        return browseForFolder(title, start);
    };
}

TSiteForm::~TSiteForm() = default;

void TSiteForm::buildWidgets()
{
    ToolBar = named(new QToolBar(this), "ToolBar");
    ToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar->setIconSize(QSize(24, 24));
    auto button = [this](const char* name, const char* icon, QStyle::StandardPixmap fallback) {
        QAction* action = ToolBar->addAction(themedIcon(icon, fallback, this), QString());
        action->setObjectName(QLatin1String(name));
        return action;
    };
    NewGroupBtn = button("NewGroupBtn", "folder-new", QStyle::SP_FileDialogNewFolder);
    AddBtn = button("AddBtn", "list-add", QStyle::SP_FileIcon);
    ModifyBtn = button("ModifyBtn", "document-edit", QStyle::SP_FileDialogContentsView);
    DeleteBtn = button("DeleteBtn", "edit-delete", QStyle::SP_TrashIcon);
    SaveBtn = button("SaveBtn", "document-save", QStyle::SP_DialogSaveButton);
    CancelBtn = button("CancelBtn", "edit-undo", QStyle::SP_DialogCancelButton);
    ToolBar->addSeparator();
    ConnectBtn = button("ConnectBtn", "network-connect", QStyle::SP_DriveNetIcon);

    TreeView = named(new TSiteTree(this), "TreeView");
    TreeView->setMinimumWidth(200);

    auto line = [this](const char* name) { return named(new QLineEdit(this), name); };
    auto label = [this](const char* name, QLineEdit* buddy) {
        auto* l = named(new QLabel(this), name);
        l->setBuddy(buddy);
        return l;
    };
    edSiteName = line("edSiteName");
    edSiteAddress = line("edSiteAddress");
    edPort = line("edPort");
    edID = line("edID");
    edPassword = line("edPassword");
    edRemotePath = line("edRemotePath");
    edLocalPath = line("edLocalPath");
    lbSiteName = label("lbSiteName", edSiteName);
    lbSiteAddress = label("lbSiteAddress", edSiteAddress);
    lbPort = label("lbPort", edPort);
    lbID = label("lbID", edID);
    lbPassword = label("lbPassword", edPassword);
    lbRemotePath = label("lbRemotePath", edRemotePath);
    lbLocalPath = label("lbLocalPath", edLocalPath);
    lbNotes = named(new QLabel(this), "lbNotes");
    memo = named(new QPlainTextEdit(this), "memo");
    memo->setTabChangesFocus(true);
    memo->setMaximumHeight(80);
    lbNotes->setBuddy(memo);
    LocalPathBtn = named(new QToolButton(this), "LocalPathBtn");
    LocalPathBtn->setIcon(themedIcon("folder-open", QStyle::SP_DirOpenIcon, this));
    chbPassiveMode = named(new QCheckBox(this), "chbPassiveMode");
    chbAnonymous = named(new QCheckBox(QStringLiteral("Anonymous"), this), "chbAnonymous");
    rgSSL = named(new QGroupBox(QStringLiteral("Secure Socket Layer"), this), "rgSSL");
    rgSSLItems = new QButtonGroup(rgSSL);
    auto* sslLayout = new QGridLayout(rgSSL);
    const char* sslItems[] = {"SSL Auto", "SSL Implicit", "SSL Explicit", "SSL None"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QLatin1String(sslItems[i]), rgSSL);
        rgSSLItems->addButton(radio, i);
        sslLayout->addWidget(radio, i / 2, i % 2);
    }

    cbNameEncoding = named(new QComboBox(this), "cbNameEncoding");
    // Item i is NameEncodingChoice i.
    cbNameEncoding->addItems(
        {QStringLiteral("Auto"), QStringLiteral("Force UTF-8"), QStringLiteral("Force local encoding")});
    lbNameEncoding = named(new QLabel(this), "lbNameEncoding");
    lbNameEncoding->setBuddy(cbNameEncoding);

    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    makePortField(edPort);
    edPort->installEventFilter(this);

    auto* fields = new QGridLayout;
    int row = 0;
    auto addRow = [&](QLabel* l, QWidget* field) {
        fields->addWidget(l, row, 0);
        fields->addWidget(field, row++, 1);
    };
    addRow(lbSiteName, edSiteName);
    addRow(lbSiteAddress, edSiteAddress);
    addRow(lbPort, edPort);
    addRow(lbID, edID);
    addRow(lbPassword, edPassword);
    addRow(lbRemotePath, edRemotePath);
    auto* localRow = new QHBoxLayout;
    localRow->addWidget(edLocalPath, 1);
    localRow->addWidget(LocalPathBtn);
    fields->addWidget(lbLocalPath, row, 0);
    fields->addLayout(localRow, row++, 1);
    auto* checks = new QHBoxLayout;
    checks->addWidget(chbPassiveMode);
    checks->addWidget(chbAnonymous);
    checks->addStretch(1);
    fields->addLayout(checks, row++, 1);
    fields->addWidget(rgSSL, row++, 0, 1, 2);
    addRow(lbNameEncoding, cbNameEncoding);
    fields->addWidget(lbNotes, row++, 0, 1, 2);
    fields->addWidget(memo, row++, 0, 1, 2);
    fields->setRowStretch(row, 1);

    auto* panel = new QWidget(this);
    panel->setLayout(fields);
    auto* split = new QSplitter(this);
    split->addWidget(TreeView);
    split->addWidget(panel);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ToolBar);
    layout->addWidget(split, 1);
    resize(640, 440);

    connect(NewGroupBtn, &QAction::triggered, this, [this] { runHandler([this] { NewGroupBtnClick(); }); });
    connect(AddBtn, &QAction::triggered, this, [this] { runHandler([this] { AddBtnClick(); }); });
    connect(ModifyBtn, &QAction::triggered, this, [this] { runHandler([this] { ModifyBtnClick(); }); });
    connect(DeleteBtn, &QAction::triggered, this, [this] { runHandler([this] { DeleteBtnClick(); }); });
    connect(SaveBtn, &QAction::triggered, this, [this] { runHandler([this] { SaveBtnClick(); }); });
    connect(CancelBtn, &QAction::triggered, this, [this] { runHandler([this] { CancelBtnClick(); }); });
    connect(ConnectBtn, &QAction::triggered, this, [this] { runHandler([this] { ConnectBtnClick(); }); });
    connect(LocalPathBtn, &QToolButton::clicked, this,
            [this] { runHandler([this] { LocalPathBtnClick(); }); });
    connect(TreeView, &QTreeWidget::itemSelectionChanged, this, &TSiteForm::TreeViewChange);
    connect(edSiteName, &QLineEdit::textChanged, this, &TSiteForm::edSiteNameChange);
    connect(chbAnonymous, &QCheckBox::toggled, this, &TSiteForm::chbAnonymousClick);
    connect(memo, &QPlainTextEdit::textChanged, this, &TSiteForm::memoChange);
    TreeView->onEdited = [this](TSiteNode* node, const QString& text) { TreeViewEdited(node, text); };
    TreeView->onMoved = [this](TSiteNode*) { TreeViewMoved(); };
}

TSiteNode* TSiteForm::makeNode(TSiteManRec* record)
{
    auto* node = new TSiteNode(record);
    node->setIcon(0, nodeIcon(record->IsGroup, this));
    node->setData(0, ImageRole, record->IsGroup ? GroupImage : SiteImage);
    return node;
}

void TSiteForm::buildTree()
{
    // Parents are looked up only once every record has its node, so a record stored before the group it
    // was moved into still comes back under that group. The first group with the ID holds the record; a
    // parent that would put a node inside itself leaves it at the top level.
    QList<TSiteNode*> nodes;
    QHash<qint32, TSiteNode*> groups;
    for (int i = 0; i < m_store->Count(); ++i) {
        TSiteManRec* record = m_store->Item(i);
        nodes << makeNode(record);
        if (record->IsGroup && !groups.contains(record->ID))
            groups.insert(record->ID, nodes.last());
    }
    for (TSiteNode* node : std::as_const(nodes)) {
        TSiteNode* parent = groups.value(node->record()->ParentID);
        bool loop = false;
        for (QTreeWidgetItem* up = parent; up && !loop; up = up->parent())
            loop = up == node;
        if (parent && !loop)
            parent->addChild(node);
        else
            TreeView->addTopLevelItem(node);
    }
    TreeView->expandAll();
}

TSiteNode* TSiteForm::addNode(bool group, const QString& name)
{
    auto record = std::make_unique<TSiteManRec>();
    record->ID = m_store->NextID++;
    record->Name = name;
    record->IsGroup = group;
    TSiteNode* parent = TreeView->selectedNode();
    if (parent)
        record->ParentID = parent->record()->ID;
    TSiteNode* node = makeNode(record.get());
    m_store->Add(std::move(record));
    if (parent) {
        parent->addChild(node);
        parent->setExpanded(true);
    } else {
        TreeView->addTopLevelItem(node);
    }
    // The fields keep what they showed: the new node is selected before the fields would follow it.
    m_keepFields = true;
    TreeView->selectNode(node);
    m_keepFields = false;
    return node;
}

void TSiteForm::NewGroupBtnClick()
{
    TSiteNode* node = addNode(true, QStringLiteral("New"));
    TreeView->setFocus();
    TreeView->editItem(node, 0);
}

void TSiteForm::AddBtnClick()
{
    addNode(false, QStringLiteral("New"));
    setEditMode(true);
    edSiteName->setText(QStringLiteral("New Site"));
    edPort->setText(QStringLiteral("21"));
    edRemotePath->setText(QStringLiteral("/"));
    edSiteName->setFocus();
}

void TSiteForm::ModifyBtnClick()
{
    setEditMode(true);
    edSiteName->setFocus();
}

void TSiteForm::SaveBtnClick()
{
    TSiteNode* node = TreeView->selectedNode();
    if (!node)
        return;
    // Checked before anything is copied, so a refused port leaves the record whole.
    if (!checkPort())
        return;
    TSiteManRec& r = *node->record();
    r.Name = cutToSlot(edSiteName->text());
    r.Host = cutToSlot(edSiteAddress->text());
    r.Port = portNumber();
    r.Passive = chbPassiveMode->isChecked();
    r.SSLMode = rgSSLItems->checkedId();
    r.Anonymous = chbAnonymous->isChecked();
    r.UserID = cutToSlot(edID->text());
    r.Password = cutToSlot(edPassword->text());
    r.RemotePath = cutToSlot(edRemotePath->text());
    r.LocalPath = cutToSlot(edLocalPath->text());
    r.Notes = cutToSlot(memo->toPlainText());
    r.NameEncoding = nameEncoding();
    renumber();
    // A failed write keeps the old file; staying in edit mode tells the user it was not saved.
    if (saveStore())
        setEditMode(false);
}

void TSiteForm::CancelBtnClick()
{
    TreeViewChange();
    setEditMode(false);
}

void TSiteForm::DeleteBtnClick()
{
    TSiteNode* node = TreeView->selectedNode();
    if (!node)
        return;
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Question, applicationTitle(),
                                                m_texts.message(QLatin1String(messages::DeleteSelectedSite)),
                                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("DeleteQuestion"));
    box->setDefaultButton(QMessageBox::No);
    const int answer = box->exec(); // nested modal loop
    delete box.data();
    if (answer != QMessageBox::Yes)
        return;
    QList<TSiteManRec*> records;
    forEachNode(node, [&](TSiteNode* n) { records << n->record(); });
    delete node; // with its descendants
    for (TSiteManRec* record : std::as_const(records))
        m_store->Delete(m_store->IndexOf(record));
    TreeViewChange();
}

void TSiteForm::ConnectBtnClick()
{
    if (checkPort())
        done(ConnectResult);
}

void TSiteForm::LocalPathBtnClick()
{
    const QString folder = chooseFolder(QStringLiteral("Please Select Folder"), edLocalPath->text());
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        edLocalPath->setText(QDir::toNativeSeparators(folder));
}

QString TSiteForm::browseForFolder(const QString& title, const QString& start)
{
    QFileDialog browser(this, title, start);
    browser.setObjectName(QStringLiteral("FolderBrowser"));
    browser.setFileMode(QFileDialog::Directory);
    browser.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (browser.exec() != QDialog::Accepted || browser.selectedFiles().isEmpty())
        return {};
    return browser.selectedFiles().first();
}

void TSiteForm::TreeViewChange()
{
    updateActions();
    TSiteNode* node = TreeView->selectedNode();
    if (node && !node->isGroup() && !m_keepFields)
        showRecord(*node->record());
}

void TSiteForm::updateActions()
{
    TSiteNode* node = TreeView->selectedNode();
    const bool site = node && !node->isGroup();
    NewGroupBtn->setEnabled(!site);
    AddBtn->setEnabled(!site);
    ModifyBtn->setEnabled(site && !m_editing);
    DeleteBtn->setEnabled(node && !m_editing);
    SaveBtn->setEnabled(m_editing);
    CancelBtn->setEnabled(m_editing);
    ConnectBtn->setEnabled(site);
}

void TSiteForm::showRecord(const TSiteManRec& r)
{
    edSiteName->setText(r.Name);
    edSiteAddress->setText(r.Host);
    edPort->setText(QString::number(r.Port));
    chbPassiveMode->setChecked(r.Passive);
    if (QAbstractButton* item = rgSSLItems->button(r.SSLMode)) {
        item->setChecked(true);
    } else if (QAbstractButton* checked = rgSSLItems->checkedButton()) {
        // A mode outside the four items shows none of them.
        rgSSLItems->setExclusive(false);
        checked->setChecked(false);
        rgSSLItems->setExclusive(true);
    }
    chbAnonymous->setChecked(r.Anonymous);
    edID->setText(r.UserID);
    edPassword->setText(r.Password);
    edRemotePath->setText(r.RemotePath);
    edLocalPath->setText(r.LocalPath);
    cbNameEncoding->setCurrentIndex(int(r.NameEncoding));
    m_fillingMemo = true;
    memo->setPlainText(r.Notes);
    m_fillingMemo = false;
}

void TSiteForm::TreeViewEdited(TSiteNode* node, const QString& text)
{
    if (text.trimmed().isEmpty())
        return; // the node keeps its text
    node->record()->Name = cutToSlot(text);
    node->setText(0, node->record()->Name);
    TreeView->selectNode(node);
}

void TSiteForm::TreeViewMoved()
{
    renumber();
    saveStore();
}

void TSiteForm::edSiteNameChange()
{
    // The selected site's node follows its name field as it is typed.
    if (TSiteNode* node = TreeView->selectedNode(); node && !node->isGroup())
        node->setText(0, edSiteName->text());
}

void TSiteForm::chbAnonymousClick(bool checked)
{
    if (!checked)
        return;
    edID->setText(QStringLiteral("anonymous"));
    edPassword->setText(TLogonForm::AnonymousPassword);
}

void TSiteForm::memoChange()
{
    // Typing stops at the limit; notes read from the file are shown whole.
    if (m_fillingMemo || memo->toPlainText().size() <= NotesMaxLength)
        return;
    const QSignalBlocker blocker(memo);
    memo->setPlainText(memo->toPlainText().left(NotesMaxLength));
    memo->moveCursor(QTextCursor::End);
}

void TSiteForm::setEditMode(bool editing)
{
    m_editing = editing;
    for (QLineEdit* edit : {edSiteName, edSiteAddress, edPort, edID, edPassword, edRemotePath, edLocalPath})
        edit->setReadOnly(!editing);
    memo->setReadOnly(!editing);
    for (QWidget* w :
         std::initializer_list<QWidget*>{chbPassiveMode, chbAnonymous, rgSSL, cbNameEncoding, LocalPathBtn})
        w->setEnabled(editing);
    TreeView->setEnabled(!editing);
    updateActions();
}

void TSiteForm::renumber()
{
    // IDs in tree order; every parent is then named by its new ID.
    qint32 id = 0;
    forEachNode(TreeView, [&](TSiteNode* node) {
        node->record()->ID = id++;
        auto* parent = static_cast<TSiteNode*>(node->parent());
        node->record()->ParentID = parent ? parent->record()->ID : -1;
    });
    // Keep NextID above every ID, also when the file held the same ID twice.
    m_store->NextID = qMax(m_store->NextID, id);
}

bool TSiteForm::saveStore()
{
    try {
        m_store->SaveToFile(m_fileName);
        m_loadError.clear();
        return true;
    } catch (const FileIoError& e) {
        warn(QStringLiteral("The sites were not saved. %1").arg(e.message()));
        return false;
    }
}

NameEncodingChoice TSiteForm::nameEncoding() const
{
    const int index = cbNameEncoding->currentIndex();
    return index > 0 && index <= int(NameEncodingChoice::Local) ? NameEncodingChoice(index)
                                                                : NameEncodingChoice::Auto;
}

int TSiteForm::portNumber() const
{
    bool ok = false;
    const int port = edPort->text().trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : 0;
}

bool TSiteForm::checkPort()
{
    if (portNumber() != 0)
        return true;
    warn(QStringLiteral("The port must be a number from 1 to 65535."));
    edPort->setFocus();
    edPort->selectAll();
    return false;
}

void TSiteForm::warn(const QString& text)
{
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("SiteWarning"));
    box->exec(); // nested modal loop
    delete box.data();
}

bool TSiteForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edPort && event->type() == QEvent::KeyPress)
        return portFieldDropsKey(*static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

void TSiteForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_loadError.isEmpty() && !m_loadErrorShown) {
        m_loadErrorShown = true;
        QTimer::singleShot(0, this, [this] {
            warn(QStringLiteral("%1\nThe file is left as it is until you save the sites.").arg(m_loadError));
        });
    }
}

void TSiteForm::done(int result)
{
    // Saved as it stands, without renumbering. A file that could not be read is not overwritten from what
    // was read of it.
    if (!m_closed) {
        m_closed = true;
        if (m_loadError.isEmpty())
            saveStore();
        else
            qCWarning(lcSites) << "not saving" << m_fileName << "after a failed read";
    }
    QDialog::done(result);
}

} // namespace skyhaul
