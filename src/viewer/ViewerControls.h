#pragma once
// Small widget classes the main window is made of: an edit box whose maximum length
// limits typing only, a check box that reports every mouse-button release and every
// keyboard toggle, and a page control whose tabs are drawn by the window.
#include <QCheckBox>
#include <QLineEdit>
#include <QPoint>
#include <QTabBar>
#include <QTabWidget>
#include <QValidator>

#include <functional>

class QPainter;

// Maximum length as the classic edit control knows it: it stops the user from typing
// past the limit, but text the program writes is kept whole (a value converted to the
// other radix may need more digits than the user could type).
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent = nullptr);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int maxLength);
    // How the box stands against the value read at open: an edited value is drawn bold on a
    // pale yellow, a text that is no valid number for its field in the error colour (and
    // counts as edited).
    void SetLook(bool edited, bool invalid);
    bool Edited() const { return FEdited; }
    bool Invalid() const { return FInvalid; }
    // Its value differs from the file the window compares with: a blue frame, and a pale blue
    // ground where the edited and error colours do not take it.
    void SetCompared(bool compared);
    bool Compared() const { return FCompared; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ApplyColors();
    class LengthValidator : public QValidator {
    public:
        explicit LengthValidator(TEdit* edit)
            : QValidator(edit)
            , FEdit(edit)
        {
        }
        State validate(QString& input, int& pos) const override;

    private:
        TEdit* FEdit;
    };
    int FMaxLength = 0;
    bool FEdited = false;
    bool FInvalid = false;
    bool FCompared = false;
    qsizetype FAcceptedLength = 0; // length of the text before the edit being validated
};

// Runs OnMouseUp after the button has handled a mouse-button release (so a click has
// already toggled it), and also after a keyboard toggle, so that the value text always
// follows what the box shows.
class TCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using MouseUpHandler = std::function<void(
        TCheckBox* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos)>;
    explicit TCheckBox(const QString& caption, QWidget* parent = nullptr);
    MouseUpHandler OnMouseUp;
    // The state the box had before the release that OnMouseUp reports.
    Qt::CheckState StateBeforeRelease() const { return FStateBeforeRelease; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    Qt::CheckState FStateBeforeRelease = Qt::Unchecked;
};

// Tab bar that paints the tab shapes itself and leaves the captions to OnDrawTab.
class TOwnerDrawTabBar : public QTabBar {
    Q_OBJECT
public:
    using DrawTabHandler = std::function<void(QPainter& canvas, int index, const QRect& rect, bool active)>;
    explicit TOwnerDrawTabBar(QWidget* parent = nullptr)
        : QTabBar(parent)
    {
    }
    DrawTabHandler OnDrawTab;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A page control; an owner-drawn one gets the tab bar above.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* parent = nullptr, bool ownerDraw = false);
    TOwnerDrawTabBar* OwnerDrawTabBar() const { return FOwnerDrawTabBar; }

private:
    TOwnerDrawTabBar* FOwnerDrawTabBar = nullptr;
};
