#pragma once
// The hex editor's geometry without a widget: which column shows what for B bytes per
// line, the rows (fixed length B, or each with its own length), and the mapping between
// a byte position and a cell.
//
// Columns for B bytes per line (3B + 3 in all): 0 offset, 1 marker, 2..2B+1 hex (two
// nibble columns per byte), 2B+2 the gap between the fields, 2B+3..3B+2 characters.
//
// Line starts. In variable mode the stored list holds row starts; rows past its end have
// length B. The const queries read such rows as if the list had grown to them; Reach
// stores them, which the editor does wherever the list is meant to grow on demand.
// Starts are kept as positions: rows past the last position that fits start at
// INT32_MAX.
#include "hexeditor/GridCoord.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class HexLayout {
public:
    // ---------------------------------------------------------------- settings
    int32_t BytesPerLine() const { return FBytesPerLine; }
    // Also forgets the line lengths and ends variable mode. No range check (the editor's
    // setter has it).
    void SetBytesPerLine(int32_t value);
    int32_t BytesPerColumn() const { return FBytesPerColumnDoubled / 2; }
    int32_t BytesPerColumnDoubled() const { return FBytesPerColumnDoubled; }
    void SetBytesPerColumn(int32_t value) { FBytesPerColumnDoubled = 2 * value; }
    bool Variable() const { return FVariable; }
    void SetVariable(bool value) { FVariable = value; }

    // ---------------------------------------------------------------- columns
    int ColCount() const { return 3 * FBytesPerLine + 3; }
    int LastHexCol() const { return 2 * FBytesPerLine + 1; }
    int GapCol() const { return 2 * FBytesPerLine + 2; }
    int CharStart() const { return 2 * FBytesPerLine + 3; }
    // Whether a column lies in the character field (the gap counts as hex field).
    bool IsCharCol(int col) const { return col > GapCol(); }
    // The same byte's column in the other field: the first hex column from the
    // character field, the character column from the hex field.
    int OtherFieldCol(int col) const;
    // Width in character cells of a column from 1 on: the marker column 1 or 0, the last
    // nibble column of every group of BytesPerColumn bytes 2, every other column 1. (The
    // offset column is as wide as its text.)
    int ColWidthInChars(int col, bool showMarkerColumn) const;

    // ---------------------------------------------------------------- rows
    int32_t LineOffset(int row) const;
    int32_t LineLength(int row) const;
    // The row of a position among rowCount rows (variable mode: the last row whose start
    // is not beyond the position).
    int RowOf(int32_t position, int rowCount) const;
    // Rows for a data size of at least 1 byte: every row starting below the size.
    int RowCountFor(int32_t dataSize) const;
    // Whether a column is past its row's end (never in fixed mode).
    bool OutOfBounds(int col, int row) const;
    bool IsAtLineEnd(int col, int row) const { return !OutOfBounds(col, row) && OutOfBounds(col + 1, row); }
    // The last column of the row in col's field (searched below colCount - 1).
    int LastColumnOfLine(int col, int row, int colCount) const;

    // ---------------------------------------------------------------- mapping
    // The position a cell shows (never below 0; cells past the data give positions at or
    // past its end), and whether the cell lies in the character field.
    int32_t PosAtCell(int col, int row, bool& inCharField) const;
    // The cell of a position: its first hex column, or its character column.
    TGridCoord CellAtPos(int32_t position, bool inCharField, int rowCount) const;

    // ---------------------------------------------------------------- the stored list
    const std::vector<int32_t>& Offsets() const { return FOffsets; }
    void ClearOffsets() { FOffsets.clear(); }
    // Variable mode: stores the starts of rows up to row (at least entry 0).
    void Reach(int row);
    // Stores entries up to count (at least entry 0), in either mode.
    void GrowTo(size_t count);
    // Gives row its length (1..B, else "Invalid Line Length argument", after the list
    // has grown to rowCount + 1 entries). Answers whether anything changed. The stored
    // length counts, also while variable mode is off.
    bool SetLineLength(int row, int32_t length, int rowCount);
    // Rows 0..n-1 get the n lengths (each 1..B, else "Invalid Line Length argument" and
    // nothing changes); rows past them length B.
    void SetLineLengths(const std::vector<int32_t>& lengths);
    // Raises "Invalid Line Length argument" unless every length is 1..B.
    void CheckLineLengths(const std::vector<int32_t>& lengths) const;

private:
    // Entry k of the list as stored or as growth would store it.
    int32_t Entry(int64_t k) const;

    int32_t FBytesPerLine = 16;
    int32_t FBytesPerColumnDoubled = 4;
    bool FVariable = false;
    std::vector<int32_t> FOffsets;
};
