#pragma once

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

namespace skyhaul::test {

/// Answers every modal dialog that opens while it lives: records its title and text, then lets
/// `answer` close it (Escape-like reject by default). Keeps a test from hanging on a box.
class ModalWatcher {
public:
    struct Seen {
        QString title;
        QString text;
        QString className;
    };

    explicit ModalWatcher(std::function<void(QDialog*)> answer = {}) : m_answer(std::move(answer))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || m_handled.contains(dialog))
                return;
            m_handled << dialog;
            const auto* box = qobject_cast<QMessageBox*>(dialog);
            seen << Seen{dialog->windowTitle(), box ? box->text() : QString(),
                         QString::fromLatin1(dialog->metaObject()->className())};
            if (m_answer)
                m_answer(dialog);
            else
                dialog->reject();
        });
        m_poll.start();
    }

    QList<Seen> seen;

private:
    QTimer m_poll;
    QList<QPointer<QDialog>> m_handled;
    std::function<void(QDialog*)> m_answer;
};

} // namespace skyhaul::test
