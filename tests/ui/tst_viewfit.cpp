// Lists whose columns fit their content, and tool bars whose chevron reaches what did not fit (offscreen).
#include "ui/columnfit.h"
#include "ui/toolbaroverflow.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QStandardItemModel>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace skyhaul;
using namespace Qt::StringLiterals;

namespace {

const QString LongName = u"big-80MB-release-candidate-archive.tar.gz"_s;
const QString Date = u"10 Dec 2026 14:37"_s;

void addRow(QStandardItemModel& model, const QString& name)
{
    model.appendRow({new QStandardItem(name), new QStandardItem(u"83886080"_s), new QStandardItem(Date)});
}

int textWidth(const QTreeView& view, const QString& text)
{
    return view.fontMetrics().horizontalAdvance(text);
}

QAction* itemNamed(QMenu* menu, const QString& text)
{
    for (QAction* item : menu->actions())
        if (item->text() == text)
            return item;
    return nullptr;
}

} // namespace

class TestViewFit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Rows that arrive after the view was set up widen the columns to show names and dates whole.
    void columnsFollowTheirContent()
    {
        QStandardItemModel model(0, 3);
        QTreeView view;
        view.setModel(&model);
        view.header()->setStretchLastSection(false);
        for (int column = 0; column < 3; ++column)
            view.header()->resizeSection(column, 60);
        ColumnFit* fit = ColumnFit::attach(&view);
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        addRow(model, u"a"_s);
        addRow(model, LongName);
        QTRY_VERIFY(view.header()->sectionSize(0) >= textWidth(view, LongName));
        QVERIFY(view.header()->sectionSize(2) >= textWidth(view, Date));
        QVERIFY(!view.header()->stretchLastSection());

        // One very long name is held to the cap.
        addRow(model, QString(300, u'x'));
        QTRY_COMPARE(view.header()->sectionSize(0), ColumnFit::MaxWidth);
        QVERIFY(!fit->userSized());
    }

    // Once the user drags a column's edge, new rows no longer change the widths.
    void theUsersWidthStays()
    {
        QStandardItemModel model(0, 3);
        QTreeView view;
        view.setModel(&model);
        ColumnFit* fit = ColumnFit::attach(&view);
        view.resize(900, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        addRow(model, u"short"_s);
        QTRY_VERIFY(view.header()->sectionSize(0) >= textWidth(view, u"short"_s));
        QTest::qWait(20);

        QHeaderView* header = view.header();
        const int edge = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
        const int y = header->height() / 2;
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
        QMouseEvent move(QEvent::MouseMove, QPointF(edge + 25, y),
                         header->viewport()->mapToGlobal(QPointF(edge + 25, y)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &move);
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 25, y));
        QVERIFY(fit->userSized());
        const int chosen = header->sectionSize(0);

        addRow(model, LongName);
        QTest::qWait(50);
        QCOMPARE(header->sectionSize(0), chosen);
    }

    // A bar in an ordinary layout (not a main window) that is too narrow: the chevron opens a menu of the
    // controls that did not fit, and its items act on them.
    void chevronReachesHiddenControls()
    {
        QWidget frame;
        auto* layout = new QVBoxLayout(&frame);
        auto* bar = new QToolBar(&frame);
        layout->addWidget(bar);
        layout->addStretch();
        auto* first = new QToolButton(bar);
        first->setText(u"First button with a long caption"_s);
        first->setToolButtonStyle(Qt::ToolButtonTextOnly);
        bar->addWidget(first);
        bar->addSeparator();
        auto* check = new QToolButton(bar);
        check->setText(u"Passive"_s);
        check->setCheckable(true);
        check->setToolButtonStyle(Qt::ToolButtonTextOnly);
        bar->addWidget(check);
        bar->addWidget(new QLabel(u"SSL"_s, bar));
        auto* box = new QComboBox(bar);
        box->addItems({u"SSL Auto"_s, u"SSL Implicit"_s, u"SSL None"_s});
        bar->addWidget(box);
        auto* clicked = new QToolButton(bar);
        clicked->setText(u"Connect"_s);
        clicked->setToolButtonStyle(Qt::ToolButtonTextOnly);
        int clicks = 0;
        connect(clicked, &QToolButton::clicked, &frame, [&clicks] { ++clicks; });
        bar->addWidget(clicked);
        ToolBarOverflow* overflow = ToolBarOverflow::attach(bar);

        frame.resize(first->sizeHint().width() + 40, 100);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTRY_VERIFY(!clicked->isVisible());
        auto* chevron = bar->findChild<QToolButton*>(u"qt_toolbar_ext_button"_s);
        QVERIFY(chevron && chevron->isVisible());

        std::unique_ptr<QMenu> menu(overflow->hiddenControlsMenu());
        QAction* passive = itemNamed(menu.get(), u"Passive"_s);
        QVERIFY(passive && passive->isCheckable() && !passive->isChecked());
        passive->trigger();
        QVERIFY(check->isChecked());
        QAction* connectItem = itemNamed(menu.get(), u"Connect"_s);
        QVERIFY(connectItem);
        connectItem->trigger();
        QCOMPARE(clicks, 1);
        QAction* choices = itemNamed(menu.get(), u"SSL"_s); // named by the label before the box
        QVERIFY(choices && choices->menu());
        QCOMPARE(choices->menu()->actions().size(), 3);
        choices->menu()->actions().at(1)->trigger();
        QCOMPARE(box->currentIndex(), 1);
        QVERIFY(!itemNamed(menu.get(), first->text())); // shown controls are not repeated

        // A click on the chevron opens that menu.
        QTest::mouseClick(chevron, Qt::LeftButton);
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(itemNamed(shown, u"Connect"_s));
        shown->close();
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }
};

QTEST_MAIN(TestViewFit)
#include "tst_viewfit.moc"
