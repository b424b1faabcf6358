#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <utility>

namespace skyhaul::test {

/// Runs @p run (which shows a dialog modally) and, once the modal dialog is up and active, does @p action to
/// it.
/// A dialog that is still open 10 s later is ended with code -1, so a test never hangs.
template <typename Run> auto runModal(Run run, const std::function<void(QDialog*)>& action)
{
    bool acted = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        // Keys reach a dialog's shortcuts only once it is the active window; on a busy machine that can
        // come a few rounds after it shows.
        if (!dialog || !dialog->isVisible() || !dialog->isActiveWindow())
            return;
        if (!acted) {
            acted = true;
            action(dialog);
        }
    });
    poll.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->done(-1);
    });
    guard.start(10000);
    return run();
}

/// Answers every message box that opens while it lives with `button`, once it is up, and records its text.
/// Any other modal dialog is left to the test; a box is never left open, so a test cannot hang on it.
class BoxAnswerer {
public:
    explicit BoxAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok) : m_button(button)
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || m_handled.contains(box))
                return;
            m_handled << box;
            texts << box->text();
            icons << box->icon();
            if (QAbstractButton* answer = box->button(m_button))
                answer->click();
            else
                box->reject();
        });
        m_poll.start();
    }

    QStringList texts;
    QList<QMessageBox::Icon> icons;

private:
    QMessageBox::StandardButton m_button;
    QTimer m_poll;
    QList<QPointer<QMessageBox>> m_handled;
};

} // namespace skyhaul::test
