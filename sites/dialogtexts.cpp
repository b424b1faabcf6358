#include "sites/dialogtexts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QWidget>

namespace skyhaul {

void applyDialogTexts(QWidget* dialog, std::span<const DialogText> table, const TextLookup& lookup)
{
    for (const DialogText& entry : table) {
        const QString english = QString::fromUtf8(entry.english);
        const QString text = lookup ? lookup(QString::fromLatin1(entry.key), english) : english;
        const QStringList targets =
            QString::fromLatin1(entry.targets).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& target : targets) {
            if (target == QLatin1String(".")) {
                dialog->setWindowTitle(text);
                continue;
            }
            // "name#N": page N of a tab widget.
            if (const qsizetype hash = target.indexOf(QLatin1Char('#')); hash > 0) {
                if (auto* tabs = dialog->findChild<QTabWidget*>(target.left(hash)))
                    tabs->setTabText(target.mid(hash + 1).toInt(), text);
                continue;
            }
            QWidget* widget = dialog->findChild<QWidget*>(target);
            if (auto* label = qobject_cast<QLabel*>(widget))
                label->setText(text);
            else if (auto* button = qobject_cast<QAbstractButton*>(widget))
                button->setText(text);
            else if (auto* group = qobject_cast<QGroupBox*>(widget))
                group->setTitle(text);
        }
    }
}

} // namespace skyhaul
