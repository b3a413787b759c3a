#include "hexeditor/CellLook.h"

#include <utility>

TCellKind CellKind(int col, int bytesPerLine)
{
    if (col == 0)
        return ckOffset;
    if (col == 1)
        return ckMarker;
    const int gap = 2 * bytesPerLine + 2;
    if (col == gap)
        return ckGap;
    return col > gap ? ckChar : ckHex;
}

int MarkerFontSize(int size)
{
    if (size < 0)
        return -MarkerFontSize(-size);
    const int scaled = 3 * size;
    int result = scaled / 4;
    const int rest = scaled % 4;
    if (rest > 2 || (rest == 2 && result % 2 != 0))
        ++result;
    return result;
}

char HexCellDigit(int col, uint8_t value, int swapNibbles)
{
    static const char digits[] = "0123456789ABCDEF";
    const bool high = (col - 2) % 2 == swapNibbles;
    return digits[high ? value >> 4 : value & 0x0F];
}

namespace {

// The colours of a byte's cell: changed bytes in their own colours, hex groups alternating,
// characters in the font colour; selected cells swap text and background.
void ByteColors(const TCellFacts& facts, const TColors& colors, bool hex, TCellLook& look)
{
    const int groupColumns = 2 * (facts.bytesPerColumn < 1 ? 1 : facts.bytesPerColumn);
    const bool evenGroup = ((facts.col - 2) / groupColumns) % 2 == 0; // group 0 is the first, "odd" one
    if (facts.changed) {
        look.textColor = colors.ChangedText();
        look.backColor = colors.ChangedBackground();
    } else if (!hex) {
        look.textColor = facts.fontColor;
        look.backColor = colors.Background();
    } else {
        look.textColor = evenGroup ? colors.OddColumn() : colors.EvenColumn();
        look.backColor = colors.Background();
    }

    if (facts.selectionExists && facts.selected) {
        std::swap(look.textColor, look.backColor);
        if (!facts.changed && hex)
            look.textColor = evenGroup ? colors.OddColumnInverted() : colors.EvenColumnInverted();
    }
}

} // namespace

TCellLook DecideCell(const TCellFacts& facts, const TColors& colors)
{
    TCellLook look;
    const TCellKind kind = CellKind(facts.col, facts.bytesPerLine);

    if (facts.noData && facts.row == 0) {
        look.text = kind == ckOffset ? facts.offsetText : std::string(3, ' ');
        look.textColor = colors.Offset();
        look.backColor = colors.Background();
        if (facts.col == 2)
            look.mark = cmCaret;
        return look;
    }

    switch (kind) {
    case ckOffset:
        look.text = facts.offsetText;
        look.textColor = colors.Offset();
        look.backColor = colors.Background();
        return look;
    case ckMarker:
        if (facts.marker < 0) {
            look.text.assign(1, ' ');
            look.textColor = facts.fontColor;
            look.backColor = colors.Background();
        } else {
            look.text = std::to_string(facts.marker);
            look.textColor = colors.PositionText();
            look.backColor = colors.PositionBackground();
            look.font = cfMarker;
        }
        return look;
    case ckGap:
        look.text.assign(1, ' ');
        look.textColor = facts.fontColor;
        look.backColor = colors.Background();
        return look;
    case ckHex:
    case ckChar:
        break;
    }

    if (facts.beyondData) {
        look.text.assign(1, ' ');
        look.textColor = facts.fontColor;
        look.backColor = colors.Background();
        return look;
    }

    const bool hex = kind == ckHex;
    if (hex)
        look.text = std::string(1, HexCellDigit(facts.col, facts.value, facts.swapNibbles));
    else
        look.text = std::string(1, char(facts.charByte));

    ByteColors(facts, colors, hex, look);

    if (facts.focused && facts.row == facts.currentRow) {
        if (facts.col == facts.currentCol)
            look.mark = cmCaret;
        else if (facts.col == facts.otherFieldCol)
            look.mark = facts.focusFrame ? cmFocusFrame : cmOutlineFrame;
    }
    return look;
}
