#pragma once

#include <QValidator>

class QKeyEvent;
class QLineEdit;

namespace skyhaul {

/// The text of a port box: digits only, a number of at most 65535 (an empty box is still being typed).
class PortValidator : public QValidator {
    Q_OBJECT
public:
    static constexpr int MaxPort = 65535;

    explicit PortValidator(QObject* parent = nullptr) : QValidator(parent) {}
    State validate(QString& input, int& pos) const override;
};

/**
 * The key rule of a port box: a key that types a character other than a digit, backspace (8) or code 7 is
 * dropped. Keys held with Ctrl pass: they are the box's own shortcuts (select all, copy, paste, undo), and
 * the validator decides what a paste may bring in.
 */
bool portFieldDropsKey(const QKeyEvent& key);

/// Gives a line edit the port box's validator.
void makePortField(QLineEdit* edit);

} // namespace skyhaul
