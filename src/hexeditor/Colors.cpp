#include "hexeditor/Colors.h"

#include "hexeditor/CustomGrid.h"

TColors::TColors(TCustomGrid* control)
    : FControl(control)
{
}

void TColors::Changed()
{
    if (FControl)
        FControl->Invalidate();
}

void TColors::SetBackground(TColor value)
{
    if (value == FBackground)
        return;
    FBackground = value;
    if (FControl) {
        FControl->SetColor(value);
        FControl->Repaint();
    }
}

void TColors::SetPositionBackground(TColor value)
{
    if (value == FPositionBackground)
        return;
    FPositionBackground = value;
    Changed();
}

void TColors::SetPositionText(TColor value)
{
    if (value == FPositionText)
        return;
    FPositionText = value;
    Changed();
}

void TColors::SetChangedBackground(TColor value)
{
    if (value == FChangedBackground)
        return;
    FChangedBackground = value;
    Changed();
}

void TColors::SetChangedText(TColor value)
{
    if (value == FChangedText)
        return;
    FChangedText = value;
    Changed();
}

void TColors::SetCursorFrame(TColor value)
{
    if (value == FCursorFrame)
        return;
    FCursorFrame = value;
    Changed();
}

void TColors::SetOffset(TColor value)
{
    if (value == FOffset)
        return;
    FOffset = value;
    Changed();
}

void TColors::SetOddColumn(TColor value)
{
    if (value == FOddColumn)
        return;
    FOddColumn = value;
    FOddColumnInverted = InvertColor(value);
    Changed();
}

void TColors::SetEvenColumn(TColor value)
{
    if (value == FEvenColumn)
        return;
    FEvenColumn = value;
    FEvenColumnInverted = InvertColor(value);
    Changed();
}

const std::array<TColors::TPublishedColor, 9>& TColors::Published()
{
    static const std::array<TPublishedColor, 9> list = {{
        {"Background", &TColors::Background, &TColors::SetBackground},
        {"PositionBackground", &TColors::PositionBackground, &TColors::SetPositionBackground},
        {"PositionText", &TColors::PositionText, &TColors::SetPositionText},
        {"ChangedBackground", &TColors::ChangedBackground, &TColors::SetChangedBackground},
        {"ChangedText", &TColors::ChangedText, &TColors::SetChangedText},
        {"CursorFrame", &TColors::CursorFrame, &TColors::SetCursorFrame},
        {"Offset", &TColors::Offset, &TColors::SetOffset},
        {"OddColumn", &TColors::OddColumn, &TColors::SetOddColumn},
        {"EvenColumn", &TColors::EvenColumn, &TColors::SetEvenColumn},
    }};
    return list;
}
