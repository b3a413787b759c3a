#pragma once
// The small dialog behind "Go To Offset ...", "Go To Line ..." and "Find ...". Its OK
// logic also carries out "Find Next" without the dialog being shown. The hex viewer owns
// one; it works on that viewer's editor and find state.
#include <QDialog>

#include <cstdint>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TFrmHex;

class TFrmEdit : public QDialog {
    Q_OBJECT
public:
    // Window heights: the go-to height hides the search-type radio buttons, the find
    // height shows them.
    static constexpr int kGoToHeight = 90;
    static constexpr int kFindHeight = 170;

    explicit TFrmEdit(TFrmHex& viewer);
    ~TFrmEdit() override;

    // Handlers (entered from Qt under Guarded()).
    void FormShow();
    void ButOkClick();
    void ButCloseClick();

    // The window's outer height as the caller sets it; the radio buttons are shown only
    // when they fit inside it.
    int Height() const { return FHeight; }
    void SetHeight(int height);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* ButOk = nullptr;
    QPushButton* ButClose = nullptr;
    QRadioButton* RadioButtonHex = nullptr;
    QRadioButton* RadioButtonTextS = nullptr;
    QRadioButton* RadioButtonTextI = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TFrmHex& FViewer;
    int FHeight = 0;
};
