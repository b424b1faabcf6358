#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace skyhaul {

/// The program's picture (the application icon) at the given size (the toolbar's Image1 and the about box use
/// it).
QPixmap programPicture(const QSize& size);

} // namespace skyhaul

/// The about box: the picture, the version, the maker and the notices, closed with "&OK" or Escape.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* Version = nullptr;
    QLabel* Maker = nullptr;
    QLabel* WebAddress = nullptr;
    QLabel* Notice1 = nullptr;
    QLabel* Notice2 = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};
