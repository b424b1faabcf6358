#pragma once

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>

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

} // namespace skyhaul::test
