#include "store/texttables.h"
#include "ui/applysection.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

using namespace skyhaul;
using namespace Qt::StringLiterals;

namespace {

constexpr TextEntry TestEntries[] = {
    {"Title", "Window", "."},
    {"Button", "Button", "OkBtn"},
    {"Action", "Action", "Action1"},
    {"Label", "Label", "InfoLabel"},
    {"Group", "Group", "Group1"},
    {"Choice", "Choice", "Group1#1"},
    {"Page", "Page", "Pages#1"},
    {"ComboItem", "Combo item", "Combo1#0"},
    {"Node", "Node", "Tree1#2"},
    {"Column", "Column", "Tree1@1"},
    {"ListItem", "List item", "List1#1"},
    {"ViewColumn", "View column", "View1@0"},
    {"Menu", "Menu", "Menu1"},
    {"Twice", "Twice", "TwinA TwinB"},
    {"Missing", "Missing", "NoSuchWidget NoSuch#3 Pages#9 Tree1@7 Group1#x"},
    {"Untargeted", "Untargeted", ""},
};
constexpr SectionTable TestSection{"TestForm", TestEntries};

void writeLanguage(const QString& appFolder, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(Texts::languagesFolder(appFolder)));
    QFile f(Texts::languageFilePath(appFolder, u"English"_s));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

template <typename T> T* named(QWidget* parent, const char* name)
{
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

struct TestWindow {
    QWidget window;
    QPushButton* ok = named<QPushButton>(&window, "OkBtn");
    QLabel* label = named<QLabel>(&window, "InfoLabel");
    QGroupBox* group = named<QGroupBox>(&window, "Group1");
    QRadioButton* choice0 = new QRadioButton(group);
    QRadioButton* choice1 = new QRadioButton(group);
    QTabWidget* pages = named<QTabWidget>(&window, "Pages");
    QComboBox* combo = named<QComboBox>(&window, "Combo1");
    QTreeWidget* tree = named<QTreeWidget>(&window, "Tree1");
    QListWidget* list = named<QListWidget>(&window, "List1");
    QTreeView* view = named<QTreeView>(&window, "View1");
    QStandardItemModel model{0, 2};
    QMenu* menu = named<QMenu>(&window, "Menu1");
    QAction* action = menu->addAction(QString());
    QLabel* twinA = named<QLabel>(&window, "TwinA");
    QToolButton* twinB = named<QToolButton>(&window, "TwinB");

    TestWindow()
    {
        action->setObjectName(u"Action1"_s);
        pages->addTab(new QWidget, u"p0"_s);
        pages->addTab(new QWidget, u"p1"_s);
        combo->addItems({u"c0"_s, u"c1"_s});
        tree->setColumnCount(2);
        auto* top0 = new QTreeWidgetItem(tree, {u"top0"_s});
        new QTreeWidgetItem(top0, {u"child"_s});
        new QTreeWidgetItem(tree, {u"top1"_s});
        list->addItems({u"l0"_s, u"l1"_s});
        view->setModel(&model);
    }
};

} // namespace

class TestApplySection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void everyKindOfTarget()
    {
        QTemporaryDir dir;
        writeLanguage(dir.path(), "[TestForm]\nButton=Okay\nNode=Second top\nColumn=Size\nChoice=Maybe\n");
        TestWindow w;
        const SectionTexts s = applySection(&w.window, Texts(dir.path(), u"English"_s), TestSection);

        QCOMPARE(w.window.windowTitle(), u"Window"_s);
        QCOMPARE(w.ok->text(), u"Okay"_s);
        QCOMPARE(w.action->text(), u"Action"_s);
        QCOMPARE(w.label->text(), u"Label"_s);
        QCOMPARE(w.group->title(), u"Group"_s);
        QCOMPARE(w.choice0->text(), QString());
        QCOMPARE(w.choice1->text(), u"Maybe"_s);
        QCOMPARE(w.pages->tabText(0), u"p0"_s);
        QCOMPARE(w.pages->tabText(1), u"Page"_s);
        QCOMPARE(w.combo->itemText(0), u"Combo item"_s);
        QCOMPARE(w.combo->itemText(1), u"c1"_s);
        // Nodes are counted over the whole tree: top0, its child, top1.
        QCOMPARE(w.tree->topLevelItem(0)->text(0), u"top0"_s);
        QCOMPARE(w.tree->topLevelItem(0)->child(0)->text(0), u"child"_s);
        QCOMPARE(w.tree->topLevelItem(1)->text(0), u"Second top"_s);
        QCOMPARE(w.tree->headerItem()->text(1), u"Size"_s);
        QCOMPARE(w.list->item(1)->text(), u"List item"_s);
        QCOMPARE(w.model.headerData(0, Qt::Horizontal).toString(), u"View column"_s);
        QCOMPARE(w.menu->title(), u"Menu"_s);
        QCOMPARE(w.twinA->text(), u"Twice"_s);
        QCOMPARE(w.twinB->text(), u"Twice"_s);
        QCOMPARE(w.pages->count(), 2);
        QCOMPARE(s.text(u"Untargeted"), u"Untargeted"_s);
        QCOMPARE(s.text(u"Button"), u"Okay"_s);
    }

    // A language file holding only [MainForm] Exit=Quit changes only the exit button.
    void mainFormWithOneChangedText()
    {
        QTemporaryDir dir;
        writeLanguage(dir.path(), "[MainForm]\r\nExit=Quit\r\n");
        QWidget window;
        QHash<QString, QToolButton*> buttons;
        for (const char* name :
             {"SMBtn", "ConfigBtn", "NLLBtn", "NRLBtn", "NLRBtn", "NRRBtn", "AboutBtn", "HelpBtn", "ExitBtn"})
            buttons.insert(QLatin1String(name), named<QToolButton>(&window, name));
        QMenu leftMenu(&window);
        QAction* newLocalLeft = leftMenu.addAction(QString());
        newLocalLeft->setObjectName(u"NewLocal1"_s);

        const SectionTexts s = applySection(&window, Texts(dir.path(), u"English"_s), texttables::MainForm);
        QCOMPARE(buttons[u"ExitBtn"_s]->text(), u"Quit"_s);
        QCOMPARE(buttons[u"SMBtn"_s]->text(), u"Site Manager"_s);
        QCOMPARE(buttons[u"NRRBtn"_s]->text(), u"New Remote To Right"_s);
        QCOMPARE(buttons[u"HelpBtn"_s]->text(), u"Help"_s);
        QCOMPARE(newLocalLeft->text(), u"New Local"_s);
        QCOMPARE(s.text(u"Remote"), u"Remote"_s);
        QCOMPARE(window.font().pointSize(), 8);
    }

    void font()
    {
        QTemporaryDir dir;
        QWidget window;
        auto* child = new QLabel(&window);
        const Texts texts(dir.path(), u"English"_s);

        applySection(&window, texts, TestSection);
        QCOMPARE(window.font().family(), QApplication::font().family());
        QCOMPARE(window.font().pointSize(), 8);
        QCOMPARE(child->font().pointSize(), 8);

        writeLanguage(dir.path(), "[TestForm]\nFont=Skyhaul Test Face\nSize=11\n");
        applySection(&window, texts, TestSection);
        QCOMPARE(window.font().family(), u"Skyhaul Test Face"_s);
        QCOMPARE(window.font().pointSize(), 11);
        QCOMPARE(child->font().pointSize(), 11);

        // Back to "Default": the family of the application font again.
        writeLanguage(dir.path(), "[TestForm]\nSize=9\n");
        applySection(&window, texts, TestSection);
        QCOMPARE(window.font().family(), QApplication::font().family());
        QCOMPARE(window.font().pointSize(), 9);
    }
};

QTEST_MAIN(TestApplySection)
#include "tst_applysection.moc"
