#pragma once
// One axis of a grid, the columns or the rows, as a value: how many cells, how many of
// them are fixed, which scrolling cell comes first, and where each cell starts. Columns
// have a width each (their starts are summed once); rows share one height, so their
// starts are arithmetic and nothing is proportional to the row count. The queries that
// mean the same for both axes are written here once: arithmetic for rows, binary searches
// over the starts (which never decrease) for columns.
//
// Positions are pixels from the viewport's near edge; a cell's pitch is its size plus
// the grid line after it.
#include <cstdint>
#include <vector>

class GridAxis {
public:
    // Columns: starts[c] is the sum of the pitches of the columns before c (count + 1
    // entries), sizes[c] the width of column c.
    static GridAxis PerCell(int count, int fixed, int first, int client, const std::vector<int>& starts,
        const std::vector<int>& sizes);
    // Rows: one size; fixed rows and scrolling rows each have their own pitch.
    static GridAxis Uniform(int count, int fixed, int first, int client, int size, int fixedPitch, int pitch);

    int Count() const { return FCount; }
    int Fixed() const { return FFixed; }
    int First() const { return FFirst; }
    int Client() const { return FClient; }

    // Where cell i starts when nothing is scrolled.
    int64_t Start(int i) const;
    int Size(int i) const;
    int Pitch(int i) const { return int(Start(i + 1) - Start(i)); }
    // The extent of the fixed cells (kept far from overflowing int).
    int FixedExtent() const;
    // Where cell i starts on the viewport: fixed cells where they are, scrolling ones
    // after the fixed part, counted from First.
    int64_t Pos(int i) const;

    // The last cell at least partly on the viewport, -1 when none is. Cells of no size
    // on a uniform axis show nothing.
    int LastVisible() const;
    // The cell covering a pixel (cells and the lines after them), -1 for none.
    int CellAt(int pixel) const;
    // The first and last visible index of [from, to] (visible: the fixed cells on the
    // viewport, then First .. LastVisible); false when there is none.
    bool VisibleSpan(int from, int to, int& spanFirst, int& spanLast) const;

private:
    // The first scrolling index in [from, to) whose predicate holds, to when none does;
    // the predicate must go from false to true once along the indices.
    template <typename Predicate> int FirstWhere(int from, int to, Predicate holds) const;

    int FCount = 0;
    int FFixed = 0;
    int FFirst = 0;
    int FClient = 0;
    const std::vector<int>* FStarts = nullptr;
    const std::vector<int>* FSizes = nullptr;
    int FSize = 0;
    int FFixedPitch = 0;
    int FPitch = 0;
};
