#pragma once
// Joining a row's neighbouring cells that look alike into runs, so that a row is drawn
// with a few text calls instead of one per cell.
#include "hexeditor/CellLook.h"

#include <QRect>

#include <string>
#include <vector>

struct TCellRun {
    QRect rect; // the cells' rectangles joined
    std::string text; // Windows-1252 bytes, drawn from rect's top-left corner, cut by rect
    TColor textColor = clBlack;
    TColor backColor = clWindow;
    TCellFont font = cfNormal;
    int firstCell = 0; // index of the first cell of the run in the input
    int cellCount = 0;
};

// looks[i] is drawn into rects[i]; the cells lie side by side from left to right in one
// row. A run joins cells that touch, have the same height and share colours and font.
// Each joined cell adds its text padded with blanks to width / charWidth characters, so
// with a fixed-pitch font whose characters are charWidth wide every glyph lands where
// drawing cell by cell would put it. A cell whose width is not a whole number of
// characters, or whose text is longer than its width, stays a run of its own. Cells of
// no width are left out.
std::vector<TCellRun> JoinCellRuns(
    const std::vector<TCellLook>& looks, const std::vector<QRect>& rects, int charWidth);
