#pragma once
// The small dialog behind "Go To Offset ...", "Go To Line ..." and "Find ...". Its OK
// logic also carries out "Find Next" without the dialog being shown. One instance
// (FrmEdit) lives from program start.
#include <QDialog>

#include <cstdint>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Added to the selection start to get the next search start: 1 after a successful
// search (so Find Next does not find the same match again), 0 after a failed one.
extern uint16_t FindSkip;

class TFrmEdit : public QDialog {
    Q_OBJECT
public:
    // Window heights: the go-to height hides the search-type radio buttons, the find
    // height shows them.
    static constexpr int kGoToHeight = 90;
    static constexpr int kFindHeight = 170;

    explicit TFrmEdit(QWidget* parent = nullptr);
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
    int FHeight = 0;
};

extern TFrmEdit* FrmEdit;
