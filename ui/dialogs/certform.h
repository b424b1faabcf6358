#pragma once

#include "store/texts.h"

#include <QDialog>
#include <QStringList>

#include <array>

class QLabel;
class QPushButton;
class QTabWidget;

namespace skyhaul {

/// The certificate dialog: shows a server certificate that did not pass the check and answers whether the
/// user accepts it.
class TCertForm : public QDialog {
    Q_OBJECT
public:
    /// The seven fields of the "Issuer" and "Subject" pages, in the order of their positions in a name text.
    enum Field { City, State, Country, CommonName, Email, Organization, Unit, FieldCount };
    using NameFields = std::array<QString, FieldCount>;

    explicit TCertForm(QWidget* parent = nullptr, const SectionTexts& texts = {});

    /// Sets the section's font and texts; the constructor sets the English ones when it gets none.
    void applyTexts(const SectionTexts& texts);

    /// Show certificate: fills the pages, runs modally, and answers true when the user accepted.
    bool ShowCertificate(const QString& subject, const QString& issuer, const QString& status);

    /// Creates the dialog, runs Show certificate and destroys it; what the remote tab's handler of
    /// OnSSLServerAuthentication calls when Accept came in false.
    static bool execute(QWidget* parent, const QString& subject, const QString& issuer, const QString& status,
                        const SectionTexts& texts = {});

    /// Fills the pages without running the dialog (steps 1 to 5 of Show certificate).
    void setCertificate(const QString& subject, const QString& issuer, const QString& status);

    bool isRejected() const { return m_rejected; }

    /// Splits a name text at commas and line breaks; a double or single quote opens a stretch, closed by
    /// the same quote, in which commas do not split (the quotes stay). Leading blanks are skipped and empty
    /// parts dropped.
    static QStringList splitName(const QString& text);

    /// The value of each field: a part whose attribute names a field (L; ST or S; C; CN; E or emailAddress;
    /// O; OU) goes there with what follows its first "=", the first one of each kind winning; parts with
    /// other attributes are left out; a part without "=" takes the field of its position (0 to 6) when that
    /// is still free.
    static NameFields placeName(const QString& text);

    QTabWidget* PageControl1;
    QLabel* CertInfoLabel;
    QLabel* RangeLabel;
    QLabel* RangeValueLabel;
    QLabel* MoreInfoLabel;
    QLabel* IssuedToLabel;
    QLabel* IssuedToValue;
    QLabel* IssuedByLabel;
    QLabel* IssuedByValue;
    QLabel* StatusLabel;
    QLabel* StatusValue;
    std::array<QLabel*, FieldCount> IssuerLabels;
    std::array<QLabel*, FieldCount> IssuerValues;
    std::array<QLabel*, FieldCount> SubjectLabels;
    std::array<QLabel*, FieldCount> SubjectValues;
    QPushButton* AcceptBtn;
    QPushButton* RejectBtn;

public Q_SLOTS:
    void reject() override;

private:
    void AcceptBtnClick();
    QWidget* namePage(const char* prefix, std::array<QLabel*, FieldCount>& labels,
                      std::array<QLabel*, FieldCount>& values);

    bool m_rejected = false;
};

} // namespace skyhaul
