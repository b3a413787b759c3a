#pragma once
// What one cell of the hex editor shows: its text, colours, font and cursor mark. This
// is the decision only; painting the answer is the editor's.
#include "hexeditor/Colors.h"

#include <cstdint>
#include <string>

// Column kinds for B bytes per line: 0 offset, 1 marker, 2..2B+1 hex (two nibble columns
// per byte), 2B+2 the gap between the fields, 2B+3..3B+2 characters.
enum TCellKind { ckOffset, ckMarker, ckHex, ckGap, ckChar };
TCellKind CellKind(int col, int bytesPerLine);

// How the cursor shows in a cell.
enum TCursorMark {
    cmNone,
    cmCaret, // the caret goes to the cell's top-left corner (it exists only with the focus)
    cmFocusFrame, // a dotted inverting frame over (left, top, left + CharWidth, bottom)
    cmOutlineFrame, // a CursorFrame outline, clear inside, over the same rectangle
};

enum TCellFont {
    cfNormal, // the control's font
    cfMarker, // "Arial" at MarkerFontSize of the control's font size
};

// Everything the decision depends on. The editor fills in what applies to the cell's
// kind; the rest is ignored.
struct TCellFacts {
    int col = 0;
    int row = 0;
    int bytesPerLine = 16; // B
    int bytesPerColumn = 2; // G; below 1 counts as 1
    bool noData = false; // DataSize < 1
    std::string offsetText; // column 0: the row's offset text (the empty-data text when noData)
    int marker = -1; // column 1: the lowest marker index on this row, -1 for none
    bool beyondData = false; // position >= DataSize, or out of its line's bounds
    uint8_t value = 0; // the byte at the cell's position
    int swapNibbles = 0; // 0 or 1
    uint8_t charByte = 0; // character field: the translated character of value
    bool changed = false; // HasChanged(position)
    bool selectionExists = false; // SelAnchor != -1
    bool selected = false; // IsSelected(position)
    bool focused = false; // the control has the input focus
    int currentCol = -1; // Col
    int currentRow = -1; // Row
    int otherFieldCol = -1; // GetOtherFieldCol(Col): the same byte in the other field
    bool focusFrame = true; // FocusFrame
    TColor fontColor = clWindowText; // the control's font colour
};

struct TCellLook {
    std::string text; // Windows-1252 bytes
    TColor textColor = clBlack;
    TColor backColor = clWindow;
    TCellFont font = cfNormal;
    TCursorMark mark = cmNone;
};

TCellLook DecideCell(const TCellFacts& facts, const TColors& colors);

// Three quarters of a font size, rounded to the nearest integer with halves to even
// (12 -> 9, 10 -> 8, 14 -> 10). Negative sizes (pixel heights) keep their sign.
int MarkerFontSize(int size);

// The hex digit a nibble column shows for value: the high nibble when
// (col - 2) mod 2 equals swapNibbles, else the low one.
char HexCellDigit(int col, uint8_t value, int swapNibbles);
