#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace skyhaul {

/// A failure found by the user interface itself (a text that does not convert); carries its one message.
class EAppError : public std::exception {
public:
    explicit EAppError(const QString& message) : m_message(message), m_what(message.toLocal8Bit()) {}
    QString message() const { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

/// A text that was to be a whole number and is not.
class EConvertError : public EAppError {
public:
    explicit EConvertError(const QString& text);
};

/// The whole number of a text (blanks around it allowed); throws EConvertError otherwise.
int textToInt(const QString& text);

/// The message of a caught exception: the engine's "code: text", a data file's failure, or what() of any
/// other.
QString exceptionMessage(const std::exception_ptr& error);

/// What the standard error box shows: the message, with a full stop appended when its last character's
/// code is above that of ".".
QString standardErrorText(const QString& message);

/// The standard error box: stop icon, the application's title, the message, one OK button. Modal.
void showStandardErrorBox(const QString& message);

/// Shows the standard error box for a caught exception.
void reportException(const std::exception_ptr& error);

/**
 * Runs an event handler. An exception that leaves it is shown in the standard error box and goes no
 * further: it never unwinds through Qt's signal dispatch or through an engine method whose nested event
 * loop called the handler. The handler's own clean-up has run by then; nothing of the handler's object is
 * touched afterwards, so the box is safe even if the object was closed meanwhile.
 */
template <typename Handler> void runHandler(Handler&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        reportException(std::current_exception());
    }
}

/// The title of the program's message boxes.
QString applicationTitle();

} // namespace skyhaul
