#pragma once
// TColors: the hex editor's colour set. Every setter that changes a value repaints the
// control the set belongs to; the background is also the control's own colour.
#include "hexeditor/Graphics.h"

#include <array>

class TCustomGrid;

// Red, green and blue of the stored value each replaced by 255 minus itself; the top
// byte of the result is 0. A system colour is not looked up first.
constexpr TColor InvertColor(TColor color)
{
    return ~color & 0xFFFFFF;
}

class TColors {
public:
    // control: the grid repainted when a colour changes (may be null).
    explicit TColors(TCustomGrid* control);

    TColor Offset() const { return FOffset; }
    TColor OddColumn() const { return FOddColumn; }
    TColor OddColumnInverted() const { return FOddColumnInverted; }
    TColor EvenColumn() const { return FEvenColumn; }
    TColor EvenColumnInverted() const { return FEvenColumnInverted; }
    TCustomGrid* Control() const { return FControl; }
    TColor PositionBackground() const { return FPositionBackground; }
    TColor CursorFrame() const { return FCursorFrame; }
    TColor Background() const { return FBackground; }
    TColor ChangedText() const { return FChangedText; }
    TColor PositionText() const { return FPositionText; }
    TColor ChangedBackground() const { return FChangedBackground; }

    void SetBackground(TColor value); // also the control's colour, repainted at once
    void SetPositionBackground(TColor value);
    void SetPositionText(TColor value);
    void SetChangedBackground(TColor value);
    void SetChangedText(TColor value);
    void SetCursorFrame(TColor value);
    void SetOffset(TColor value);
    void SetOddColumn(TColor value); // also OddColumnInverted
    void SetEvenColumn(TColor value); // also EvenColumnInverted

    // The published colours in the order they are streamed.
    struct TPublishedColor {
        const char* name;
        TColor (TColors::*get)() const;
        void (TColors::*set)(TColor);
    };
    static const std::array<TPublishedColor, 9>& Published();

private:
    void Changed();

    TColor FOffset = clBlack;
    TColor FOddColumn = clBlue;
    TColor FOddColumnInverted = InvertColor(clBlue);
    TColor FEvenColumn = clNavy;
    TColor FEvenColumnInverted = InvertColor(clNavy);
    TCustomGrid* FControl = nullptr;
    TColor FPositionBackground = clMaroon;
    TColor FCursorFrame = clNavy;
    TColor FBackground = clWindow;
    TColor FChangedText = clMaroon;
    TColor FPositionText = clWhite;
    TColor FChangedBackground = 0xA8FFFF;
};
