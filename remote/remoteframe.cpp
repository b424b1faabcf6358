// The remote tab as a whole: creation and teardown, the busy state and the stop of an action, the wiring of
// controls and engine events, the layout file values, the language and the key filter.
#include "remote/remoteframe.h"

#include "remote/filelistmodel.h"
#include "remote/transferpanel.h"
#include "store/configrecord.h"
#include "store/texttables.h"
#include "transfer/direntry.h"
#include "transfer/quemodel.h"
#include "transfer/transferrun.h"
#include "ui/applysection.h"
#include "ui/dialogs/logonform.h"
#include "ui/errorbox.h"
#include "ui/panehost.h"
#include "ui/portfield.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

using namespace skyhaul;

// ---- The session ----

/// The session's questions, answered with the tab's dialogs and log.
class TRemoteFrame::SessionQuestions : public RemoteSession::Questions {
public:
    explicit SessionQuestions(TRemoteFrame& frame) : m_frame(frame) {}

    bool askLogon(const QString& host, QString& user, QString& password) override
    {
        QPointer<TRemoteFrame> self(&m_frame);
        QPointer<TLogonForm> form =
            new TLogonForm(&m_frame, m_frame.m_context.texts.section(texttables::LogonForm));
        form->setHost(host);
        form->setUserName(user);
        const int result = form->exec(); // nested modal loop
        if (!self || !form)
            return false;
        const bool again = result == QDialog::Accepted;
        if (again) {
            user = form->userName();
            password = form->password();
        }
        delete form.data();
        return again;
    }
    bool acceptCertificate(const QString& subject, const QString& issuer, const QString& status) override
    {
        bool accept = false;
        runHandler([&] { m_frame.FtpEngineSSLServerAuthentication({}, subject, issuer, status, accept); });
        return accept;
    }
    void logError(const QString& text) override { m_frame.LogError(text); }

private:
    TRemoteFrame& m_frame;
};

// ---- Busy state ----

void TRemoteFrame::handle(const std::function<void()>& handler)
{
    runHandler([&] { untilStopped(handler); });
}

std::function<void()> TRemoteFrame::handlerFor(void (TRemoteFrame::*method)())
{
    return [this, method] { handle([this, method] { (this->*method)(); }); };
}

bool TRemoteFrame::IsBusy() const
{
    return m_session->isBusy();
}

// ---- Creation ----

TRemoteFrame::TRemoteFrame(const RemoteTabContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_session(new RemoteSession(this)), FtpEngine(m_session->engine()),
      m_tree(m_session->tree())
{
    setObjectName(QStringLiteral("RemoteForm"));
    setupWidgets(this, new RemoteFileListModel([this] { return selectedListing(); },
                                               [this] { return ListingBusy; }, this));
    createParts();
    m_checkedTransItem = TransAuto;
    m_questions = std::make_unique<SessionQuestions>(*this);
    m_session->setQuestions(m_questions.get());
    m_session->setListingOrder(m_context.listingOrder);
    wireControls();
    wireEngine();
    wireSession();
    wireTransfers();
    wireFileOperations();
    wireEditView();

    // The language texts first, then the state of a tab that has not connected yet.
    applyLanguage(m_context.texts);
    StartPath.clear();
    SearchBuffer.clear();
    setFileListDrops(false);
    RemoteToolBar->hide();
    NavBar->hide();
    ListingBusy = false;
    WalkMode = false;
    rTreeView->setIconSize(QSize(16, 16));
    rFileListView->setIconSize(QSize(16, 16));
    SetSortArrow(m_context.listingOrder->SortColumn, m_context.listingOrder->SortDescending);
    PageControl1->setCurrentIndex(0);
    if (m_context.config->BottomPanelHeight > 24)
        m_bottomHeight = m_context.config->BottomPanelHeight;
    applySplitterSizes();
    BuildQuickConnectMenu();
    EnableActions();
}

TRemoteFrame::~TRemoteFrame()
{
    // The engine may report the closing connection while it is destroyed: nothing of this half-destroyed
    // tab may hear it.
    m_session->disconnect(this);
    m_session->setQuestions(nullptr);
    m_session->silenceEngine();
    KeepAliveTimer->stop();
    LVSearchTimer->stop();
    // The queue's model and run refer to the queue and the engine, which go before the tab's children.
    m_transfers.reset();
    ClearAllListings();
    // Also ends a busy state left standing: the count of sessions in an action must not keep every
    // keep-alive off for good.
    delete m_session.data();
    FtpEngine = nullptr;
}

void TRemoteFrame::wireControls()
{
    // Key filters.
    for (QObject* field :
         {static_cast<QObject*>(HostEdit), static_cast<QObject*>(HostEdit->lineEdit()),
          static_cast<QObject*>(PortEdit), static_cast<QObject*>(SSLCB), static_cast<QObject*>(IDEdit),
          static_cast<QObject*>(PassEdit), static_cast<QObject*>(DirectoryCB),
          static_cast<QObject*>(DirectoryCB->lineEdit()), static_cast<QObject*>(rFileListView)})
        field->installEventFilter(this);

    // Handlers, each through the one catcher.
    connect(ConnectBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::ConnectBtnClick));
    connect(AnnoymousBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::AnnoymousBtnClick));
    connect(DisconnectBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::DisconnectBtnClick));
    connect(StopBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::StopBtnClick));
    connect(RefreshBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::RefreshBtnClick));
    connect(Refresh1, &QAction::triggered, this, handlerFor(&TRemoteFrame::RefreshBtnClick));
    connect(BackBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::BackBtnClick));
    connect(GoBtn, &QToolButton::clicked, this, handlerFor(&TRemoteFrame::GoBtnClick));
    connect(DirectoryCB, &QComboBox::activated, this, handlerFor(&TRemoteFrame::GoBtnClick));
    connect(KeepAliveTimer, &QTimer::timeout, this, handlerFor(&TRemoteFrame::KeepAliveTimerTimer));
    connect(LVSearchTimer, &QTimer::timeout, this, handlerFor(&TRemoteFrame::LVSearchTimerTimer));
    connect(Splitter2, &QSplitter::splitterMoved, this, handlerFor(&TRemoteFrame::Splitter2Moved));
    connect(rFileListView, &QTreeView::doubleClicked, this, handlerFor(&TRemoteFrame::rFileListViewDblClick));
    connect(TransferModeGroup, &QActionGroup::triggered, this,
            [this](QAction* item) { handle([this, item] { TransAutoClick(item); }); });
    connect(rFileListView->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { handle([this, column] { rFileListViewColumnClick(column); }); });
    // The tree's items stand for nodes of the folder tree; the handlers take the nodes.
    connect(rTreeView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (FolderNode* node = nodeOf(current))
            handle([this, node] { rTreeViewChange(node); });
    });
    connect(rTreeView, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        FolderNode* node = nodeOf(item);
        if (!node)
            return;
        handle([this, node] {
            QPointer<TRemoteFrame> self(this);
            const quint64 generation = m_tree.generation();
            rTreeViewExpanding(node);
            if (self && generation == m_tree.generation())
                rTreeViewExpanded(node);
        });
    });
    connect(rTreeView, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (FolderNode* node = nodeOf(item))
            handle([this, node] { rTreeViewCollapsed(node); });
    });
    connect(rFileListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (rFileListView->contextMenuPolicy() == Qt::CustomContextMenu)
            ListViewPopupMenu->popup(rFileListView->viewport()->mapToGlobal(at));
    });
}

void TRemoteFrame::wireEngine()
{
    // The session owns the engine and reads its connection, listing and certificate events.
    connect(m_session, &RemoteSession::connected, this,
            [this] { runHandler([&] { FtpEngineConnectionStatus(ConnectionEvent::Connected); }); });
    connect(m_session, &RemoteSession::disconnected, this,
            [this] { runHandler([&] { FtpEngineConnectionStatus(ConnectionEvent::Disconnected); }); });
    FtpEngine->OnError = [this](int errorCode, const QString& description) {
        runHandler([&] { FtpEngineError(errorCode, description); });
    };
    FtpEngine->OnPITrail = [this](int direction, const QString& message) {
        runHandler([&] { FtpEnginePITrail(direction, message); });
    };
}

void TRemoteFrame::applyLanguage(const Texts& texts)
{
    m_context.texts = texts;
    const SectionTexts section = applySection(this, texts, texttables::RemoteForm);
    m_favorites->setAddCaption(section.text(u"AddToFavorite"));
    IncompleteCopyText = section.text(u"IncompleteCopy");
    transferRun()->texts = section;
    m_transfers->model()->setTexts(section);
    // Menus are windows of their own; they follow the tab's font.
    for (QMenu* menu : findChildren<QMenu*>())
        menu->setFont(font());
    fitBoxesToWidth(width());
}

void TRemoteFrame::setShowCaptions(bool show)
{
    for (QToolButton* button : {ConnectBtn, AnnoymousBtn, QuickConnectBtn, NewFolderBtn, TransferBtn,
                                RefreshBtn, StopBtn, EditBtn, ViewBtn, DisconnectBtn, DeleteBtn})
        setPreferredButtonStyle(button, show ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    fitBoxesToWidth(width());
}

void TRemoteFrame::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        applySplitterSizes();
        HostEdit->setFocus(Qt::OtherFocusReason);
    }
}

void TRemoteFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitBoxesToWidth(width());
}

void TRemoteFrame::applySplitterSizes()
{
    const int across = std::max(Splitter1->width(), m_treeWidth + 200);
    Splitter1->setSizes({m_treeWidth, across - m_treeWidth});
    const int down = std::max(Splitter2->height(), m_bottomHeight + 200);
    Splitter2->setSizes({down - m_bottomHeight, m_bottomHeight});
}

// ---- Layout file values ----

TabLayout TRemoteFrame::layout() const
{
    TabLayout tab = TabLayout::ofKind(TabLayout::Kind::Remote);
    tab.host = HostEdit->currentText();
    tab.user = IDEdit->text();
    tab.port = TabLayout::portFromText(PortEdit->text());
    tab.passive = PassiveBtn->isChecked();
    tab.ssl = int(sslMode());
    tab.transType = m_session->transType();
    tab.treeViewWidth = m_shownOnce ? rTreeView->width() : m_treeWidth;
    tab.bottomHeight = m_shownOnce ? BottomPanel->height() : m_bottomHeight;
    return tab;
}

void TRemoteFrame::applyLayout(const TabLayout& tab)
{
    HostEdit->setEditText(tab.host);
    IDEdit->setText(tab.user);
    PortEdit->setText(QString::number(tab.port));
    PassiveBtn->setChecked(tab.passive);
    setSslMode(tab.ssl);
    m_session->setTransType(tab.transType);
    m_treeWidth = std::max(tab.treeViewWidth, 0);
    m_bottomHeight = std::max(tab.bottomHeight, 0);
    applySplitterSizes();
}

void TRemoteFrame::setConnectionFields(const QString& host, const QString& user, const QString& password,
                                       int port, TSSLStartMode ssl, bool passive,
                                       NameEncodingChoice nameEncoding)
{
    m_fieldsHost = host.trimmed();
    m_fieldsEncoding = nameEncoding;
    IDEdit->setText(user);
    PassEdit->setText(password);
    HostEdit->setEditText(host);
    PortEdit->setText(QString::number(port));
    setSslMode(ssl);
    PassiveBtn->setChecked(passive);
}

TNameEncoding TRemoteFrame::connectNameEncoding() const
{
    if (HostEdit->currentText().trimmed() != m_fieldsHost)
        return neAuto;
    switch (m_fieldsEncoding) {
    case NameEncodingChoice::Utf8:
        return neUTF8;
    case NameEncodingChoice::Local:
        return neLocal;
    case NameEncodingChoice::Auto:
        break;
    }
    return neAuto;
}

TSSLStartMode TRemoteFrame::sslMode() const
{
    return TSSLStartMode(std::clamp(SSLCB->currentIndex(), int(sslAutomatic), int(sslNone)));
}

void TRemoteFrame::setSslMode(int mode)
{
    if (mode >= sslAutomatic && mode <= sslNone)
        SSLCB->setCurrentIndex(mode);
}

// ---- Key filter ----

bool TRemoteFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == rFileListView->viewport()) {
        // Drag and drop on the viewport has a filter of its own (m_dragDrop).
        if (event->type() == QEvent::MouseButtonPress)
            handle([this] { UpdateSelectionActions(); });
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;

    if (watched == rFileListView) {
        bool consumed = false;
        handle([&] { consumed = rFileListViewKeyDown(*key) || rFileListViewKeyPress(key->text()); });
        return consumed;
    }
    if (watched == DirectoryCB || watched == DirectoryCB->lineEdit()) {
        if (!enter)
            return false;
        handle([this] { GoBtnClick(); });
        return true;
    }
    // HostEditKeyPress, shared by the five connect fields.
    if (enter) {
        if (watched == PassEdit)
            handle([this] { ConnectBtnClick(); });
        else
            focusNextChild();
        return true;
    }
    if (watched == PortEdit)
        return portFieldDropsKey(*key);
    return false;
}

void TRemoteFrame::DisableActions()
{
    // Disabling the focused list or tree hands the focus to the next control of the tab (the path box, say),
    // where the next Backspace or Enter would land. Remember where it was and where it went, so that the
    // end of the action can give it back unless the user has moved it since.
    QWidget* focused = window()->focusWidget();
    m_focusToRestore = (focused == rFileListView || focused == rTreeView) ? focused : nullptr;
    rTreeView->setEnabled(false);
    rFileListView->setEnabled(false);
    m_focusMovedTo = window()->focusWidget();
    for (QToolButton* button :
         {NewFolderBtn, BackBtn, TransferBtn, RefreshBtn, EditBtn, ViewBtn, DeleteBtn, DisconnectBtn})
        button->setEnabled(false);
    for (QAction* item : {NewFolder1, Transfer1, Refresh1, Edit1, View1, Rename1, Delete1})
        item->setEnabled(false);
    StopBtn->setEnabled(true);
}

void TRemoteFrame::EnableActions()
{
    rTreeView->setEnabled(true);
    rFileListView->setEnabled(true);
    for (QToolButton* button : {NewFolderBtn, BackBtn, RefreshBtn, DisconnectBtn})
        button->setEnabled(true);
    NewFolder1->setEnabled(true);
    Refresh1->setEnabled(true);
    StopBtn->setEnabled(false);
    if (m_focusToRestore && window()->focusWidget() == m_focusMovedTo.data())
        m_focusToRestore->setFocus(Qt::OtherFocusReason);
    m_focusToRestore = nullptr;
    m_focusMovedTo = nullptr;
    // Transfer, Edit, View, Rename and Delete follow the selection, which an action may have left standing
    // (Edit, View, a transfer): off without one, as the rows say with one.
    for (QToolButton* button : {TransferBtn, EditBtn, ViewBtn, DeleteBtn})
        button->setEnabled(false);
    for (QAction* item : {Transfer1, Edit1, View1, Rename1, Delete1})
        item->setEnabled(false);
    UpdateSelectionActions();
}

// ---- The other pane ----

QString TRemoteFrame::OppositeLocalPath() const
{
    return m_context.paneHost ? m_context.paneHost->oppositeLocalPath(this) : QString();
}

TFtpEngine* TRemoteFrame::OppositeRemoteEngine() const
{
    return m_context.paneHost ? m_context.paneHost->oppositeRemoteEngine(this) : nullptr;
}

RemoteSession* TRemoteFrame::oppositeRemoteSession() const
{
    return m_context.paneHost ? m_context.paneHost->oppositeRemoteSession(this) : nullptr;
}
