#pragma once
// Cell coordinates of a grid: a cell (column x, row y) and a block of cells. Qt-free, so
// the layout arithmetic can use them without a widget.

struct TGridCoord {
    int x = 0;
    int y = 0;
    friend bool operator==(const TGridCoord&, const TGridCoord&) = default;
};

// A block of cells, inclusive on all sides.
struct TGridRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const TGridRect&, const TGridRect&) = default;
};
