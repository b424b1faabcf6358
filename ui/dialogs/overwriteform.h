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
 * transferred (new) with icon, size and date, and returns the answer as its result: Yes (6), No (7),
 * Yes to All (10), No to All (9), Resume (4), Resume All (5), Cancel (3); Esc and the close box give 2.
 *
 * The caller sets the fields, then exec().
 */
class TOVerwriteForm : public QDialog {
    Q_OBJECT
public:
    /// `texts`: the section "OverWriteForm" as read from the language file; without it the English texts.
    explicit TOVerwriteForm(QWidget* parent = nullptr, const SectionTexts& texts = {});

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
    /// Esc and the close box: the result Cancel (2), which ends the run.
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
    OverwriteAnswer askOverwrite(const OverwriteQuestion& question) override;

private:
    QWidget* m_parent;
    std::function<SectionTexts()> m_texts;
};

} // namespace skyhaul
