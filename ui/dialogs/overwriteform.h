#pragma once

#include "store/texts.h"
#include "transfer/transferrun.h"

#include <QDialog>
#include <QIcon>

class QLabel;
class QPushButton;

namespace skyhaul {

/**
 * The overwrite prompt: names a file that exists already, shows the existing copy (old) and the one being
 * transferred (new) with icon, size and date, and returns the answer as its modal result (ModalResult);
 * choiceOf() says what the user chose.
 *
 * The caller sets the fields, then exec().
 */
class TOVerwriteForm : public QDialog {
    Q_OBJECT
public:
    /// `texts`: the section "OverWriteForm" as read from the language file; without it the English texts.
    explicit TOVerwriteForm(QWidget* parent = nullptr, const SectionTexts& texts = {});

    /// The results exec() returns, the numbers of the platform's modal results.
    enum ModalResult : int {
        mrCancel = 2,   ///< Esc and the close box
        mrAbort = 3,    ///< "&Cancel"
        mrRetry = 4,    ///< "&Resume"
        mrIgnore = 5,   ///< "Re&sume All"
        mrYes = 6,      ///< "&Yes"
        mrNo = 7,       ///< "&No"
        mrNoToAll = 9,  ///< "N&o To All"
        mrYesToAll = 10 ///< "Yes To &All"
    };
    /// What the user chose by a result of exec(); any other number (the form went away unanswered) ends the
    /// run, as Esc does.
    static OverwriteChoice choiceOf(int modalResult);

    bool DownloadMode = true;
    QString FilePath;
    qint64 OldSize = 0;
    qint64 NewSize = 0;
    QString OldDate;
    QString NewDate;

    /// Takes the fields from a question of the run.
    void setQuestion(const OverwriteQuestion& question);

    QLabel* Image1;
    QLabel* FileNameLabel;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label8;
    QLabel* OldImage;
    QLabel* NewImage;
    QLabel* OldSizeLabel;
    QLabel* NewSizeLabel;
    QLabel* OldDateLabel;
    QLabel* NewDateLabel;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button7;
    QPushButton* Button6;

    /// A size as the labels show it: digits grouped by the locale ("1,234,567").
    static QString groupedSize(qint64 bytes);

public Q_SLOTS:
    /// Esc and the close box: the result mrCancel, which ends the run.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    QString m_fileNameText; ///< the label's text before the file name is put in front
    QString m_sizeFormat;
    QIcon OldIcon;
    QIcon NewIcon;
};

/// The run's prompt through the dialog: a new form for each question, freed when it is answered.
class OverwriteDialogPrompt : public OverwritePrompt {
public:
    /// `parent`: the window the dialog is centred on; `texts`: the "OverWriteForm" section, read per
    /// question.
    explicit OverwriteDialogPrompt(QWidget* parent, std::function<SectionTexts()> texts = {});
    OverwriteChoice askOverwrite(const OverwriteQuestion& question) override;

private:
    QWidget* m_parent;
    std::function<SectionTexts()> m_texts;
};

} // namespace skyhaul
