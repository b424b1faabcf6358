#pragma once

#include <QWidget>

class QLabel;

namespace skyhaul {

/**
 * The small information panel of the folder walks: a borderless, always-on-top window of 293 x 48 pixels,
 * centred on the window that holds its owner, showing one line ("Adding Root", "Adding /pub"). setInfo()
 * repaints at once, because nothing else paints while a walk runs.
 */
class TInfoForm : public QWidget {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget* owner);

    /// Shows the panel centred on the owner's window.
    void showCentred();
    void setInfo(const QString& caption);
    QString info() const;

    QLabel* Info;

private:
    QWidget* m_owner;
    QString m_full;
};

} // namespace skyhaul
