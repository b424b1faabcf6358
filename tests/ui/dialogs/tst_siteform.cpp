// The site manager with real widgets on a fresh application folder: texts, the modes, the commands, the
// port field, drag and drop inside the tree, and what reaches "SiteManager.dat".
#include "store/quickconnect.h"
#include "store/sitestore.h"
#include "store/texttables.h"
#include "tests/ui/dialogs/dialogtesthelpers.h"
#include "ui/dialogs/logonform.h"
#include "ui/dialogs/siteform.h"
#include "ui/dialogs/sitetree.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <memory>

using namespace skyhaul;
using namespace skyhaul::test;
using namespace Qt::StringLiterals;

namespace {

struct Rec {
    qint32 id;
    bool group;
    qint32 parent;
    QString name;
};

std::unique_ptr<TSiteManRec> record(const Rec& r)
{
    auto rec = std::make_unique<TSiteManRec>();
    rec->ID = r.id;
    rec->IsGroup = r.group;
    rec->ParentID = r.parent;
    rec->Name = r.name;
    if (!r.group) {
        rec->Host = r.name + u".example"_s;
        rec->Port = 2121;
        rec->UserID = u"ann"_s;
        rec->Password = u"secret"_s;
        rec->RemotePath = u"/pub"_s;
        rec->LocalPath = u"/tmp"_s;
        rec->SSLMode = 2;
        rec->Passive = false;
        rec->Notes = u"note"_s;
    }
    return rec;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// One line per record of the file: "ID parent name", groups marked with "G".
QStringList fileRecords(const QString& path)
{
    TSiteManList store;
    store.LoadFromFile(path);
    QStringList out;
    for (int i = 0; i < store.Count(); ++i) {
        const TSiteManRec* r = store.Item(i);
        out << u"%1%2 %3 %4"_s.arg(r->IsGroup ? u"G"_s : QString()).arg(r->ID).arg(r->ParentID).arg(r->Name);
    }
    return out;
}

/// The tree as text: one line per node, indented by two blanks per level.
QStringList treeLines(const TSiteTree* tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* node, int depth) {
        out << QString(depth * 2, u' ') + node->text(0);
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

/// The in-place editor of the tree's node, once it has the focus.
QLineEdit* nodeEditor(TSiteTree* tree)
{
    QLineEdit* editor = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            return editor && editor->parentWidget() == tree->viewport();
        },
        5000);
    return editor && editor->parentWidget() == tree->viewport() ? editor : nullptr;
}

bool nodeEditorOpen(TSiteTree* tree)
{
    return tree->viewport()->findChild<QLineEdit*>() != nullptr;
}

TSiteNode* findNode(TSiteTree* tree, const QString& text)
{
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : static_cast<TSiteNode*>(found.first());
}

} // namespace

class TestSiteForm : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_app;

    QString siteFile() const { return siteManagerFilePath(m_app->path()); }

    void writeStore(const QList<Rec>& records)
    {
        TSiteManList store;
        for (const Rec& r : records)
            store.Add(record(r));
        store.SaveToFile(siteFile());
    }

    std::unique_ptr<TSiteForm> open()
    {
        auto form = std::make_unique<TSiteForm>(m_app->path(), Texts(m_app->path(), u"English"_s));
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("site manager not active");
        return form;
    }

    static void click(TSiteForm& form, QAction* action)
    {
        QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));
        QTest::mouseClick(form.ToolBar->widgetForAction(action), Qt::LeftButton);
    }

    static void select(TSiteForm& form, const QString& text)
    {
        TSiteNode* node = findNode(form.TreeView, text);
        QVERIFY2(node, qPrintable(text));
        QTest::mouseClick(form.TreeView->viewport(), Qt::LeftButton, {},
                          form.TreeView->visualItemRect(node).center());
        QCOMPARE(form.TreeView->selectedNode(), node);
    }

    /// Drags the selected node onto a point of the tree as a drag from the tree itself would; returns
    /// whether the tree took the drag at that point.
    static bool drop(TSiteForm& form, const QPoint& pos, const QByteArray& token = {})
    {
        QMimeData data;
        data.setData(TSiteTree::dragMimeType(), token.isNull() ? form.TreeView->dragToken() : token);
        QWidget* viewport = form.TreeView->viewport();
        QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        const bool accepted = move.isAccepted();
        QDropEvent dropped(QPointF(pos), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &dropped);
        return accepted;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_app = std::make_unique<QTemporaryDir>();
        QVERIFY(m_app->isValid());
    }

    void englishTexts_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        auto row = [](const char* control, const char* text) {
            QTest::newRow(control) << QString::fromLatin1(control) << QString::fromLatin1(text);
        };
        row("NewGroupBtn", "New Group");
        row("AddBtn", "Add");
        row("ModifyBtn", "Modify");
        row("DeleteBtn", "Delete");
        row("SaveBtn", "Save");
        row("CancelBtn", "Cancel");
        row("ConnectBtn", "Connect");
        row("lbSiteName", "Host Name");
        row("lbSiteAddress", "Host Address");
        row("lbPort", "Port");
        row("lbID", "User ID");
        row("lbPassword", "Password");
        row("lbRemotePath", "Remote Path");
        row("lbLocalPath", "Local Path");
        row("lbNotes", "Notes");
        row("chbPassiveMode", "Passive Mode");
        row("chbAnonymous", "Anonymous");
        row("rgSSL", "Secure Socket Layer");
        row("lbNameEncoding", "Name Encoding");
    }

    void englishTexts()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        TSiteForm form(m_app->path(), Texts(m_app->path(), u"English"_s));
        QCOMPARE(form.windowTitle(), u"Site Manager"_s);
        QObject* object = form.findChild<QObject*>(control);
        QVERIFY(object);
        if (auto* action = qobject_cast<QAction*>(object))
            QCOMPARE(action->text(), text);
        else if (auto* label = qobject_cast<QLabel*>(object))
            QCOMPARE(label->text(), text);
        else if (auto* group = qobject_cast<QGroupBox*>(object))
            QCOMPARE(group->title(), text);
        else
            QCOMPARE(qobject_cast<QAbstractButton*>(object)->text(), text);
        QStringList ssl;
        for (QAbstractButton* b : form.rgSSLItems->buttons())
            ssl << b->text();
        QCOMPARE(ssl, (QStringList{u"SSL Auto"_s, u"SSL Implicit"_s, u"SSL Explicit"_s, u"SSL None"_s}));
        QStringList encodings;
        for (int i = 0; i < form.cbNameEncoding->count(); ++i)
            encodings << form.cbNameEncoding->itemText(i);
        QCOMPARE(encodings, (QStringList{u"Auto"_s, u"Force UTF-8"_s, u"Force local encoding"_s}));
    }

    void textsAndQuestionFromLanguageFile()
    {
        QVERIFY(QDir(m_app->path()).mkpath(u"Languages"_s));
        QFile file(m_app->filePath(u"Languages/Deutsch.ini"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[SiteManager]\r\nTitle=Server\r\nAdd=Neu\r\nSize=11\r\n"
                   "[Messages]\r\nDo you want to delete Selected Site?=Wirklich l\xc3\xb6schen?\r\n");
        file.close();
        writeStore({{0, false, -1, u"one"_s}});
        TSiteForm form(m_app->path(), Texts(m_app->path(), u"Deutsch"_s));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), u"Server"_s);
        QCOMPARE(form.AddBtn->text(), u"Neu"_s);
        QCOMPARE(form.SaveBtn->text(), u"Save"_s);
        QCOMPARE(form.font().pointSize(), 11);
        select(form, u"one"_s);
        BoxAnswerer no(QMessageBox::No);
        click(form, form.DeleteBtn);
        QCOMPARE(no.texts, QStringList{u"Wirklich löschen?"_s});
        QCOMPARE(no.icons, QList<QMessageBox::Icon>{QMessageBox::Question});
        QCOMPARE(treeLines(form.TreeView), QStringList{u"one"_s});
    }

    void opensInViewMode()
    {
        writeStore({{0, true, -1, u"work"_s}, {1, false, 0, u"alpha"_s}});
        auto form = open();
        QCOMPARE(treeLines(form->TreeView), (QStringList{u"work"_s, u"  alpha"_s}));
        QVERIFY(form->TreeView->topLevelItem(0)->isExpanded());
        QVERIFY(!form->isEditing());
        for (QAction* a :
             {form->ModifyBtn, form->DeleteBtn, form->SaveBtn, form->CancelBtn, form->ConnectBtn})
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(form->NewGroupBtn->isEnabled() && form->AddBtn->isEnabled());
        QVERIFY(form->edSiteName->isReadOnly() && !form->chbAnonymous->isEnabled() &&
                !form->rgSSL->isEnabled());
        QVERIFY(!form->LocalPathBtn->isEnabled());

        select(*form, u"alpha"_s);
        QCOMPARE(form->edSiteName->text(), u"alpha"_s);
        QCOMPARE(form->edSiteAddress->text(), u"alpha.example"_s);
        QCOMPARE(form->edPort->text(), u"2121"_s);
        QCOMPARE(form->edID->text(), u"ann"_s);
        QCOMPARE(form->edPassword->text(), u"secret"_s);
        QCOMPARE(form->edPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(form->edRemotePath->text(), u"/pub"_s);
        QCOMPARE(form->rgSSLItems->checkedId(), 2);
        QVERIFY(!form->chbPassiveMode->isChecked());
        QCOMPARE(form->memo->toPlainText(), u"note"_s);
        QVERIFY(form->ModifyBtn->isEnabled() && form->DeleteBtn->isEnabled() &&
                form->ConnectBtn->isEnabled());
        QVERIFY(!form->NewGroupBtn->isEnabled() && !form->AddBtn->isEnabled());

        // A group keeps the fields; a press on empty space selects nothing.
        select(*form, u"work"_s);
        QCOMPARE(form->edSiteName->text(), u"alpha"_s);
        QVERIFY(!form->ModifyBtn->isEnabled() && !form->ConnectBtn->isEnabled() &&
                form->DeleteBtn->isEnabled());
        QTest::mouseClick(form->TreeView->viewport(), Qt::LeftButton, {},
                          QPoint(5, form->TreeView->viewport()->height() - 5));
        QVERIFY(!form->TreeView->selectedNode());
        QVERIFY(!form->DeleteBtn->isEnabled());
    }

    void newGroupRenamedInPlace_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        QTest::newRow("a name") << u"Work"_s << u"Work"_s;
        QTest::newRow("only blanks keep New") << u"   "_s << u"New"_s;
        QTest::newRow("blanks around are kept") << u" Home "_s << u" Home "_s;
    }

    void newGroupRenamedInPlace()
    {
        QFETCH(QString, typed);
        QFETCH(QString, name);
        {
            auto form = open();
            click(*form, form->NewGroupBtn);
            QCOMPARE(treeLines(form->TreeView), QStringList{u"New"_s});
            QLineEdit* editor = nodeEditor(form->TreeView);
            QVERIFY(editor);
            editor->selectAll();
            QTest::keyClicks(editor, typed);
            QTest::keyClick(editor, Qt::Key_Return); // the delegate commits in a posted call
            QTRY_VERIFY(!nodeEditorOpen(form->TreeView));
            QCOMPARE(treeLines(form->TreeView), QStringList{name});
            QCOMPARE(form->TreeView->selectedNode()->record()->Name, name);
            form->reject();
        }
        QCOMPARE(fileRecords(siteFile()), QStringList{u"G0 -1 "_s + name});
    }

    void addUnderGroupStoresNewWithoutSave()
    {
        writeStore({{0, true, -1, u"work"_s}, {1, false, 0, u"alpha"_s}});
        {
            auto form = open();
            select(*form, u"alpha"_s); // fills the fields the new site keeps
            select(*form, u"work"_s);
            click(*form, form->AddBtn);
            QVERIFY(form->isEditing());
            QVERIFY(!form->TreeView->isEnabled());
            QCOMPARE(treeLines(form->TreeView), (QStringList{u"work"_s, u"  alpha"_s, u"  New Site"_s}));
            QCOMPARE(form->edSiteName->text(), u"New Site"_s);
            QCOMPARE(form->edPort->text(), u"21"_s);
            QCOMPARE(form->edRemotePath->text(), u"/"_s);
            QCOMPARE(form->edSiteAddress->text(), u"alpha.example"_s);
            QTRY_COMPARE(QApplication::focusWidget(), form->edSiteName);
            // Typing renames the node at once.
            QTest::keyClicks(form->edSiteName, u"!"_s);
            QCOMPARE(form->TreeView->selectedNode()->text(0), u"New Site!"_s);
            QVERIFY(form->SaveBtn->isEnabled() && form->CancelBtn->isEnabled());
            QVERIFY(!form->ModifyBtn->isEnabled() && !form->DeleteBtn->isEnabled());
            form->reject();
        }
        QCOMPARE(fileRecords(siteFile()), (QStringList{u"G0 -1 work"_s, u"1 0 alpha"_s, u"2 0 New"_s}));
    }

    void cancelShowsTheRecordAgain()
    {
        auto form = open();
        click(*form, form->AddBtn);
        QTest::keyClicks(form->edSiteAddress, u"host"_s);
        click(*form, form->CancelBtn);
        QVERIFY(!form->isEditing());
        QCOMPARE(treeLines(form->TreeView), QStringList{u"New"_s});
        QCOMPARE(form->edSiteName->text(), u"New"_s);
        QCOMPARE(form->edSiteAddress->text(), QString());
        QCOMPARE(form->store().Count(), 1);
    }

    void saveCopiesFieldsAndRenumbers()
    {
        // IDs out of tree order: Save numbers them in tree order.
        writeStore({{7, false, 3, u"alpha"_s}, {3, true, -1, u"work"_s}});
        auto form = open();
        select(*form, u"alpha"_s);
        click(*form, form->ModifyBtn);
        QVERIFY(form->isEditing());
        form->edSiteName->setText(u"beta"_s);
        form->edSiteAddress->setText(u"beta.example"_s);
        form->edPort->setText(u"990"_s);
        form->rgSSLItems->button(1)->click();
        QTest::mouseClick(form->chbPassiveMode, Qt::LeftButton);
        form->edID->setText(u"bob"_s);
        form->edPassword->setText(u"pw"_s);
        form->edRemotePath->setText(u"/in"_s);
        form->edLocalPath->setText(u"/home"_s);
        form->memo->setPlainText(u"line 1\nline 2"_s);
        click(*form, form->SaveBtn);
        QVERIFY(!form->isEditing());
        QCOMPARE(fileRecords(siteFile()), (QStringList{u"1 0 beta"_s, u"G0 -1 work"_s}));
        TSiteManList saved;
        saved.LoadFromFile(siteFile());
        const TSiteManRec& r = *saved.Item(0);
        QCOMPARE(r.Host, u"beta.example"_s);
        QCOMPARE(r.Port, 990);
        QCOMPARE(r.SSLMode, 1);
        QCOMPARE(r.Passive, true);
        QCOMPARE(r.UserID, u"bob"_s);
        QCOMPARE(r.Password, u"pw"_s);
        QCOMPARE(r.RemotePath, u"/in"_s);
        QCOMPARE(r.LocalPath, u"/home"_s);
        QCOMPARE(r.Notes, u"line 1\nline 2"_s);
    }

    // A site's name encoding and an IPv6 literal host, typed into the fields: shown with the site, saved
    // by Save and handed over by Connect.
    void nameEncodingAndIPv6Host_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("downKeys");
        QTest::addColumn<QString>("host");
        QTest::newRow("auto to UTF-8, bare address") << int(NameEncodingChoice::Auto) << 1 << u"::1"_s;
        QTest::newRow("auto to local, bracketed address")
            << int(NameEncodingChoice::Auto) << 2 << u"[2001:db8::1]"_s;
        QTest::newRow("local kept, bracketed loopback") << int(NameEncodingChoice::Local) << 0 << u"[::1]"_s;
    }
    void nameEncodingAndIPv6Host()
    {
        QFETCH(int, stored);
        QFETCH(int, downKeys);
        QFETCH(QString, host);
        {
            TSiteManList store;
            store.Add(record({0, false, -1, u"alpha"_s}));
            store.Add(record({1, false, -1, u"beta"_s}));
            store.Item(0)->NameEncoding = NameEncodingChoice(stored);
            store.SaveToFile(siteFile());
        }
        auto form = open();
        select(*form, u"alpha"_s);
        QCOMPARE(form->cbNameEncoding->currentIndex(), stored);
        QVERIFY(!form->cbNameEncoding->isEnabled());
        select(*form, u"beta"_s);
        QCOMPARE(form->cbNameEncoding->currentIndex(), int(NameEncodingChoice::Auto));
        select(*form, u"alpha"_s);
        click(*form, form->ModifyBtn);
        QVERIFY(form->cbNameEncoding->isEnabled());
        form->cbNameEncoding->setFocus();
        for (int i = 0; i < downKeys; ++i)
            QTest::keyClick(form->cbNameEncoding, Qt::Key_Down);
        const int chosen = stored + downKeys;
        QCOMPARE(form->cbNameEncoding->currentIndex(), chosen);
        form->edSiteAddress->setFocus();
        form->edSiteAddress->selectAll();
        QTest::keyClicks(form->edSiteAddress, host);
        QCOMPARE(form->edSiteAddress->text(), host);
        click(*form, form->SaveBtn);
        QVERIFY(!form->isEditing());

        TSiteManList saved;
        saved.LoadFromFile(siteFile());
        QCOMPARE(saved.Item(0)->Host, host);
        QCOMPARE(int(saved.Item(0)->NameEncoding), chosen);
        QCOMPARE(saved.Item(1)->NameEncoding, NameEncodingChoice::Auto);

        select(*form, u"beta"_s);
        select(*form, u"alpha"_s);
        QCOMPARE(form->cbNameEncoding->currentIndex(), chosen);
        QSignalSpy finished(form.get(), &QDialog::finished);
        click(*form, form->ConnectBtn);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(int(form->nameEncoding()), chosen);
        QCOMPARE(form->edSiteAddress->text(), host);
    }

    void saveRefusesPortOutOfRange_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("empty") << QString();
        QTest::newRow("zero") << u"0"_s;
        QTest::newRow("above 65535") << u"65536"_s;
        QTest::newRow("too large for 32 bits") << u"99999999999"_s;
    }

    void saveRefusesPortOutOfRange()
    {
        QFETCH(QString, port);
        writeStore({{0, false, -1, u"alpha"_s}});
        const QByteArray bytes = fileBytes(siteFile());
        auto form = open();
        select(*form, u"alpha"_s);
        click(*form, form->ModifyBtn);
        form->edSiteName->setText(u"renamed"_s);
        form->edSiteAddress->setText(u"other.example"_s);
        form->edPort->setText(port);
        {
            BoxAnswerer ok;
            click(*form, form->SaveBtn);
            QCOMPARE(ok.texts, QStringList{u"The port must be a number from 1 to 65535."_s});
            // Connect refuses it the same way.
            click(*form, form->ConnectBtn);
            QCOMPARE(ok.texts.size(), 2);
        }
        QVERIFY(form->isEditing());
        QVERIFY(form->isVisible());
        const TSiteManRec& r = *form->store().Item(0);
        QCOMPARE(r.Name, u"alpha"_s);
        QCOMPARE(r.Host, u"alpha.example"_s);
        QCOMPARE(r.Port, 2121);
        QCOMPARE(fileBytes(siteFile()), bytes);
    }

    void portFieldTakesOnlyDigits_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a letter") << u"a"_s << u"21"_s;
        QTest::newRow("digits") << u"0"_s << u"210"_s;
        QTest::newRow("mixed") << u"x1-2 "_s << u"2112"_s;
    }

    void portFieldStopsAt65535_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("65535 itself") << u"6553"_s << u"5"_s << u"65535"_s;
        QTest::newRow("65536 refused") << u"6553"_s << u"6"_s << u"6553"_s;
        QTest::newRow("a sixth digit") << u"2100"_s << u"00"_s << u"21000"_s;
        QTest::newRow("99999 refused") << u"9999"_s << u"9"_s << u"9999"_s;
    }

    void portFieldStopsAt65535()
    {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto form = open();
        click(*form, form->AddBtn);
        form->edPort->setText(start);
        form->edPort->setFocus();
        QTest::keyClick(form->edPort, Qt::Key_End);
        QTest::keyClicks(form->edPort, typed);
        QCOMPARE(form->edPort->text(), shown);
    }

    void portFieldTakesOnlyDigits()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto form = open();
        click(*form, form->AddBtn);
        form->edPort->setFocus();
        QTest::keyClick(form->edPort, Qt::Key_End);
        QTest::keyClicks(form->edPort, typed);
        QCOMPARE(form->edPort->text(), shown);
        QTest::keyClick(form->edPort, Qt::Key_Backspace);
        QCOMPARE(form->edPort->text(), shown.chopped(1));
    }

    void ctrlASelectsAllInEveryEditBox()
    {
        auto form = open();
        click(*form, form->AddBtn);
        int boxes = 0;
        for (QLineEdit* edit : form->findChildren<QLineEdit*>()) {
            if (!edit->isVisible() || !edit->isEnabled())
                continue;
            ++boxes;
            edit->setText(u"443"_s);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_End);
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QVERIFY2(edit->hasSelectedText() && edit->selectionLength() == 3, qPrintable(edit->objectName()));
            // Typing replaces the whole text, as after a triple click.
            QTest::keyClicks(edit, u"8"_s);
            QCOMPARE(edit->text(), u"8"_s);
        }
        QVERIFY(boxes >= 7);
        form->memo->setPlainText(u"one\ntwo"_s);
        form->memo->setFocus();
        QTest::keyClick(form->memo, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form->memo->textCursor().selectedText(), u"one\u2029two"_s);
    }

    void anonymousFillsUserAndPassword()
    {
        auto form = open();
        click(*form, form->AddBtn);
        form->edID->setText(u"ann"_s);
        QTest::mouseClick(form->chbAnonymous, Qt::LeftButton);
        QCOMPARE(form->edID->text(), u"anonymous"_s);
        QCOMPARE(form->edPassword->text(), TLogonForm::AnonymousPassword);
        form->edID->setText(u"kept"_s);
        QTest::mouseClick(form->chbAnonymous, Qt::LeftButton);
        QVERIFY(!form->chbAnonymous->isChecked());
        QCOMPARE(form->edID->text(), u"kept"_s);
    }

    void notesStopAtTwoHundred()
    {
        auto form = open();
        click(*form, form->AddBtn);
        form->memo->setFocus();
        QTest::keyClicks(form->memo, QString(210, u'n'));
        QCOMPARE(form->memo->toPlainText().size(), TSiteForm::NotesMaxLength);
    }

    void deleteAsksAndRemovesDescendants_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("Yes") << true;
        QTest::newRow("No") << false;
    }

    void deleteAsksAndRemovesDescendants()
    {
        QFETCH(bool, yes);
        writeStore({{0, true, -1, u"work"_s},
                    {1, true, 0, u"inner"_s},
                    {2, false, 1, u"deep"_s},
                    {3, false, 0, u"alpha"_s},
                    {4, false, -1, u"other"_s}});
        {
            auto form = open();
            select(*form, u"work"_s);
            BoxAnswerer answer(yes ? QMessageBox::Yes : QMessageBox::No);
            click(*form, form->DeleteBtn);
            QCOMPARE(answer.texts, QStringList{u"Do you want to delete Selected Site?"_s});
            QCOMPARE(form->store().Count(), yes ? 1 : 5);
            form->reject();
        }
        QCOMPARE(fileRecords(siteFile()).size(), yes ? 1 : 5);
        if (yes)
            QCOMPARE(fileRecords(siteFile()), QStringList{u"4 -1 other"_s});
    }

    void dragAndDrop_data()
    {
        QTest::addColumn<QString>("dragged");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("file");
        // File: groups a (with a site a1 and a group b holding b1), top-level site s.
        const QStringList unchanged{u"a"_s, u"  a1"_s, u"  b"_s, u"    b1"_s, u"s"_s};
        QTest::newRow("site onto a group's icon: last child")
            << u"s"_s << u"b"_s << u"icon"_s << true
            << QStringList{u"a"_s, u"  a1"_s, u"  b"_s, u"    b1"_s, u"    s"_s}
            << QStringList{u"G0 -1 a"_s, u"1 0 a1"_s, u"G2 0 b"_s, u"3 2 b1"_s, u"4 2 s"_s};
        QTest::newRow("site onto a group's text")
            << u"b1"_s << u"a"_s << u"label"_s << true
            << QStringList{u"a"_s, u"  a1"_s, u"  b"_s, u"  b1"_s, u"s"_s}
            << QStringList{u"G0 -1 a"_s, u"1 0 a1"_s, u"G2 0 b"_s, u"3 0 b1"_s, u"4 -1 s"_s};
        QTest::newRow("onto the indent of a top-level group: top level before it")
            << u"b1"_s << u"a"_s << u"indent"_s << true
            << QStringList{u"b1"_s, u"a"_s, u"  a1"_s, u"  b"_s, u"s"_s}
            << QStringList{u"G1 -1 a"_s, u"2 1 a1"_s, u"G3 1 b"_s, u"0 -1 b1"_s, u"4 -1 s"_s};
        QTest::newRow("onto the indent of an inner group: before it, at its level")
            << u"s"_s << u"b"_s << u"indent"_s << true
            << QStringList{u"a"_s, u"  a1"_s, u"  s"_s, u"  b"_s, u"    b1"_s}
            << QStringList{u"G0 -1 a"_s, u"1 0 a1"_s, u"G3 0 b"_s, u"4 3 b1"_s, u"2 0 s"_s};
        QTest::newRow("onto the expand button: nothing")
            << u"s"_s << u"a"_s << u"button"_s << false << unchanged << QStringList{};
        QTest::newRow("right of the text: nothing")
            << u"s"_s << u"a"_s << u"right"_s << false << unchanged << QStringList{};
        QTest::newRow("onto a site: refused")
            << u"a1"_s << u"s"_s << u"icon"_s << false << unchanged << QStringList{};
        QTest::newRow("a group onto itself: refused")
            << u"a"_s << u"a"_s << u"icon"_s << false << unchanged << QStringList{};
        QTest::newRow("a group into its own child: refused")
            << u"a"_s << u"b"_s << u"label"_s << false << unchanged << QStringList{};
        QTest::newRow("a group before its own child: refused")
            << u"a"_s << u"b"_s << u"indent"_s << false << unchanged << QStringList{};
        QTest::newRow("a drag from elsewhere: refused")
            << u"s"_s << u"b"_s << u"foreign"_s << false << unchanged << QStringList{};
    }

    void dragAndDrop()
    {
        QFETCH(QString, dragged);
        QFETCH(QString, target);
        QFETCH(QString, where);
        QFETCH(bool, accepted);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, file);
        writeStore({{0, true, -1, u"a"_s},
                    {1, false, 0, u"a1"_s},
                    {2, true, 0, u"b"_s},
                    {3, false, 2, u"b1"_s},
                    {4, false, -1, u"s"_s}});
        auto form = open();
        select(*form, dragged);
        TSiteTree* view = form->TreeView;
        TSiteNode* node = findNode(view, target);
        const QRect rect = view->visualItemRect(node);
        const int y = rect.center().y();
        QPoint pos;
        if (where == u"icon"_s || where == u"foreign"_s)
            pos = QPoint(rect.left() + 8, y);
        else if (where == u"label"_s)
            pos = QPoint(rect.left() + 30, y);
        else if (where == u"indent"_s)
            pos = QPoint(rect.left() - view->indentation() + 1, y);
        else if (where == u"button"_s)
            pos = QPoint(rect.left() - view->indentation() / 2, y);
        else
            pos = QPoint(view->viewport()->width() - 3, y);
        QCOMPARE(drop(*form, pos, where == u"foreign"_s ? QByteArray("another tree") : QByteArray()),
                 accepted);
        QCOMPARE(treeLines(view), tree);
        if (accepted) {
            QCOMPARE(view->selectedNode(), findNode(view, dragged));
            QCOMPARE(fileRecords(siteFile()), file);
        } else {
            QVERIFY(QFile(siteFile()).size() > 0);
            QCOMPARE(fileRecords(siteFile()),
                     (QStringList{u"G0 -1 a"_s, u"1 0 a1"_s, u"G2 0 b"_s, u"3 2 b1"_s, u"4 -1 s"_s}));
        }
    }

    void siteMovedIntoLaterGroupComesBackUnderIt()
    {
        {
            auto form = open();
            click(*form, form->AddBtn);
            click(*form, form->SaveBtn); // the site, saved first
            form->TreeView->selectNode(nullptr);
            click(*form, form->NewGroupBtn); // a group made after it
            QLineEdit* editor = nodeEditor(form->TreeView);
            QVERIFY(editor);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!nodeEditorOpen(form->TreeView));
            select(*form, u"New Site"_s);
            TSiteNode* group = findNode(form->TreeView, u"New"_s);
            QVERIFY(drop(*form, form->TreeView->visualItemRect(group).topLeft() + QPoint(8, 4)));
            form->reject();
        }
        // The store keeps its order: the site comes before the group that holds it.
        QCOMPARE(fileRecords(siteFile()), (QStringList{u"1 0 New Site"_s, u"G0 -1 New"_s}));
        auto form = open();
        QCOMPARE(treeLines(form->TreeView), (QStringList{u"New"_s, u"  New Site"_s}));
    }

    void parentLoopInFileStaysVisible()
    {
        // Two groups naming each other as parent: both still show, one of them at the top.
        writeStore({{0, true, 1, u"x"_s}, {1, true, 0, u"y"_s}, {2, false, 9, u"orphan"_s}});
        auto form = open();
        QCOMPARE(treeLines(form->TreeView), (QStringList{u"y"_s, u"  x"_s, u"orphan"_s}));
    }

    void connectWithUnsavedChanges()
    {
        writeStore({{0, false, -1, u"alpha"_s}});
        auto form = open();
        select(*form, u"alpha"_s);
        click(*form, form->ModifyBtn);
        form->edSiteAddress->setText(u"changed.example"_s);
        form->edPort->setText(u"2222"_s);
        QSignalSpy finished(form.get(), &QDialog::finished);
        click(*form, form->ConnectBtn);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(form->result(), TSiteForm::ConnectResult);
        QCOMPARE(form->edSiteAddress->text(), u"changed.example"_s);
        QCOMPARE(form->portNumber(), 2222);
        TSiteManList saved;
        saved.LoadFromFile(siteFile());
        QCOMPARE(saved.Item(0)->Host, u"alpha.example"_s);
        QCOMPARE(saved.Item(0)->Port, 2121);
    }

    void escapeCancelsAndSaves()
    {
        auto form = open();
        click(*form, form->NewGroupBtn);
        QLineEdit* editor = nodeEditor(form->TreeView);
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!nodeEditorOpen(form->TreeView));
        QSignalSpy finished(form.get(), &QDialog::finished);
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QCOMPARE(fileRecords(siteFile()), QStringList{u"G0 -1 New"_s});
    }

    void failedSaveIsToldAndKeepsTheFile()
    {
        writeStore({{0, false, -1, u"alpha"_s}});
        const QByteArray bytes = fileBytes(siteFile());
        auto form = open();
        select(*form, u"alpha"_s);
        click(*form, form->ModifyBtn);
        form->edSiteAddress->setText(u"new.example"_s);
        // The folder is put aside and a plain file takes its place: nobody, root included, can write below
        // it, and the old file waits unchanged in the folder put aside.
        const QString aside = m_app->path() + u"-aside"_s;
        QVERIFY(QDir().rename(m_app->path(), aside));
        QFile blocker(m_app->path());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        BoxAnswerer ok;
        click(*form, form->SaveBtn);
        QVERIFY(form->isEditing()); // not saved: still editing
        form->reject();
        QVERIFY(blocker.remove());
        QVERIFY(QDir().rename(aside, m_app->path()));
        QCOMPARE(ok.texts.size(), 2); // Save, then closing
        for (const QString& text : std::as_const(ok.texts)) {
            QVERIFY2(text.startsWith(u"The sites were not saved."_s), qPrintable(text));
            QVERIFY2(text.contains(siteFile()), qPrintable(text));
        }
        QCOMPARE(fileBytes(siteFile()), bytes);
    }

    void unreadableFileIsToldAndNotOverwritten()
    {
        // A folder in the file's place cannot be read as a file, by root either.
        QVERIFY(QDir(m_app->path()).mkdir(u"SiteManager.dat"_s));
        BoxAnswerer ok;
        auto form = std::make_unique<TSiteForm>(m_app->path(), Texts(m_app->path(), u"English"_s));
        form->show(); // the message comes once the dialog is up
        QTRY_COMPARE(ok.texts.size(), 1);
        QVERIFY2(ok.texts.first().startsWith(u"Cannot read file "_s + siteFile()),
                 qPrintable(ok.texts.first()));
        QCOMPARE(form->TreeView->topLevelItemCount(), 0);
        form->reject();
        QCOMPARE(ok.texts.size(), 1); // closing leaves the file alone and says nothing more
        QVERIFY(QFileInfo(siteFile()).isDir());
    }

    void folderButtonFillsLocalPath_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("taken");
        QTest::newRow("an existing folder") << u"<temp>"_s << true;
        QTest::newRow("cancelled") << QString() << false;
        QTest::newRow("a folder that does not exist") << u"/no/such/folder"_s << false;
    }

    void folderButtonFillsLocalPath()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, taken);
        QTemporaryDir folder;
        if (chosen == u"<temp>"_s)
            chosen = folder.path();
        auto form = open();
        click(*form, form->AddBtn);
        form->edLocalPath->setText(u"before"_s);
        QStringList asked;
        form->chooseFolder = [&](const QString& title, const QString& start) {
            asked << title << start;
            return chosen;
        };
        QTest::mouseClick(form->LocalPathBtn, Qt::LeftButton);
        QCOMPARE(asked, (QStringList{u"Please Select Folder"_s, u"before"_s}));
        QCOMPARE(form->edLocalPath->text(), taken ? QDir::toNativeSeparators(chosen) : u"before"_s);
    }
};

QTEST_MAIN(TestSiteForm)
#include "tst_siteform.moc"
