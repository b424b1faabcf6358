#pragma once

#include "store/texts.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace skyhaul {

/// The logon dialog: asks again for a user name and password after the server refused a logon.
///
/// The caller sets the host and the user name it tried, runs exec(), and on QDialog::Accepted tries again
/// with userName() and password(); on QDialog::Rejected it gives up.
class TLogonForm : public QDialog {
    Q_OBJECT
public:
    /// What the anonymous check box puts into the password box.
    static const QString AnonymousPassword;

    /// `texts`: the section "LogonForm" as read from the language file; without it the English texts.
    explicit TLogonForm(QWidget* parent = nullptr, const SectionTexts& texts = {});

    /// Sets the section's font and texts.
    void applyTexts(const SectionTexts& texts);

    /// Shows the host name after "FTP Server :".
    void setHost(const QString& host);
    /// The user name tried: shown in the user box and restored when "Logon as anonymous" is cleared.
    void setUserName(const QString& user);

    QString userName() const;
    QString password() const;

    QLabel* MessageLabel;
    QLabel* FtpServerLabel;
    QLabel* HostLabel;
    QLabel* IDLabel;
    QLineEdit* IDEdit;
    QLabel* PassLabel;
    QLineEdit* PassEdit;
    QCheckBox* AnonymousCheck;
    QPushButton* LogonBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void AnonymousCheckClick();

    QString m_rememberedUser;
};

} // namespace skyhaul
