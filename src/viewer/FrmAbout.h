#pragma once
// The about box: program name, version, a contact line and the program's icon.
#include <QDialog>

class QLabel;
class QPushButton;

class TFrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAbout(QWidget* parent = nullptr);
    ~TFrmAbout() override;

    void ButCloseClick();

    // The 32 x 32 program icon, drawn rather than loaded.
    static QPixmap ProgramIcon();

    QPushButton* ButClose = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Image1 = nullptr;
};
