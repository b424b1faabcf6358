#include "ui/applysection.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWidget>

namespace skyhaul {

namespace {

QList<QObject*> objectsNamed(QWidget* window, const QString& name)
{
    QList<QObject*> found;
    if (window->objectName() == name)
        found << window;
    const QList<QObject*> children = window->findChildren<QObject*>(name);
    for (QObject* child : children)
        if (!found.contains(child))
            found << child;
    return found;
}

void setCaption(QObject* object, const QString& text)
{
    if (auto* action = qobject_cast<QAction*>(object))
        action->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(object))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(object))
        label->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(object))
        group->setTitle(text);
    else if (auto* menu = qobject_cast<QMenu*>(object))
        menu->setTitle(text);
    else if (auto* widget = qobject_cast<QWidget*>(object))
        widget->setWindowTitle(text);
}

QTreeWidgetItem* treeItemAt(QTreeWidget* tree, int index)
{
    // Counted over the whole tree, each node before its children.
    int position = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it, ++position)
        if (position == index)
            return *it;
    return nullptr;
}

void setItemText(QObject* object, int index, const QString& text)
{
    if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
        if (index < tabs->count())
            tabs->setTabText(index, text);
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        if (index < combo->count())
            combo->setItemText(index, text);
    } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
        const auto buttons = group->findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
        if (index < buttons.size())
            buttons[index]->setText(text);
    } else if (auto* list = qobject_cast<QListWidget*>(object)) {
        if (QListWidgetItem* item = list->item(index))
            item->setText(text);
    } else if (auto* tree = qobject_cast<QTreeWidget*>(object)) {
        if (QTreeWidgetItem* item = treeItemAt(tree, index))
            item->setText(0, text);
    }
}

void setHeaderText(QObject* object, int column, const QString& text)
{
    if (auto* tree = qobject_cast<QTreeWidget*>(object)) {
        if (column < tree->columnCount())
            tree->headerItem()->setText(column, text);
    } else if (auto* table = qobject_cast<QTableWidget*>(object)) {
        if (column < table->columnCount()) {
            if (!table->horizontalHeaderItem(column))
                table->setHorizontalHeaderItem(column, new QTableWidgetItem);
            table->horizontalHeaderItem(column)->setText(text);
        }
    } else if (auto* view = qobject_cast<QAbstractItemView*>(object)) {
        // A model of our own shows the text only when it accepts header data.
        if (QAbstractItemModel* model = view->model(); model && column < model->columnCount())
            model->setHeaderData(column, Qt::Horizontal, text);
    }
}

void applyTarget(QWidget* window, const QString& target, const QString& text)
{
    if (target == QLatin1String(".")) {
        window->setWindowTitle(text);
        return;
    }
    for (QChar mark : {QLatin1Char('#'), QLatin1Char('@')}) {
        const qsizetype at = target.indexOf(mark);
        if (at < 0)
            continue;
        bool ok = false;
        const int index = target.mid(at + 1).toInt(&ok);
        if (!ok || index < 0)
            return;
        for (QObject* object : objectsNamed(window, target.left(at))) {
            if (mark == QLatin1Char('#'))
                setItemText(object, index, text);
            else
                setHeaderText(object, index, text);
        }
        return;
    }
    for (QObject* object : objectsNamed(window, target))
        setCaption(object, text);
}

} // namespace

QFont fontFor(const FontSpec& spec, const QFont& base)
{
    QFont font = base;
    if (!spec.isSystemDefault())
        font.setFamily(spec.name);
    font.setPointSize(spec.pointSize);
    return font;
}

void applySectionTexts(QWidget* window, const SectionTexts& texts)
{
    // Based on the application font, so going back to "Default" undoes an earlier family.
    window->setFont(fontFor(texts.font, QApplication::font()));
    for (const ResolvedText& entry : texts.entries) {
        const QStringList targets = entry.targets.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& target : targets)
            applyTarget(window, target, entry.text);
    }
}

SectionTexts applySection(QWidget* window, const Texts& texts, const SectionTable& table)
{
    SectionTexts section = texts.section(table);
    applySectionTexts(window, section);
    return section;
}

} // namespace skyhaul
