#pragma once
// Writing hex dump lines onto a drawing surface, page by page: the drawing half of
// THexToCanvas, independent of the editor it reads from.
#include "hexeditor/HexDumpLine.h"

#include <QFont>

#include <cstdint>
#include <string>

class QPainter;

// Where the lines go, in the surface's pixels. AreaBottom is the lowest y a line may
// reach; a footer lowers it by one line step for good.
struct TDrawArea {
    int32_t AreaTop = 0;
    int32_t AreaLeft = 0;
    int32_t AreaBottom = 0;
    int32_t AreaRight = 0;
};

// The data a dump is made of.
class THexDumpSource {
public:
    virtual ~THexDumpSource() = default;
    virtual int32_t DataSize() const = 0;
    virtual uint8_t ByteAt(int32_t position) const = 0;
    virtual uint8_t CharOf(uint8_t value) const = 0; // the character shown for a byte
    virtual int OffsetDisplayWidth() const = 0; // the editor's offset column width
};

// What the dump needs of a surface: its current font's size, text measures and text
// output with the text's top-left corner at (x, y).
class THexDumpCanvas {
public:
    virtual ~THexDumpCanvas() = default;
    virtual int FontSize() const = 0;
    virtual void SetFontSize(int size) = 0;
    virtual int TextWidth(const std::string& text) const = 0;
    virtual int TextHeight(const std::string& text) const = 0;
    virtual void TextOut(int x, int y, const std::string& text) = 0;
};

// A QPainter as a dump canvas: takes font while it lives and gives the painter its own
// font back when destroyed. Texts are Windows-1252 bytes.
class TPainterHexDumpCanvas : public THexDumpCanvas {
public:
    TPainterHexDumpCanvas(QPainter& painter, const QFont& font);
    ~TPainterHexDumpCanvas() override;
    TPainterHexDumpCanvas(const TPainterHexDumpCanvas&) = delete;
    TPainterHexDumpCanvas& operator=(const TPainterHexDumpCanvas&) = delete;

    int FontSize() const override;
    void SetFontSize(int size) override;
    int TextWidth(const std::string& text) const override;
    int TextHeight(const std::string& text) const override;
    void TextOut(int x, int y, const std::string& text) override;

private:
    QPainter& FPainter;
    QFont FSavedFont;
    QFont FFont;
};

struct THexDumpOptions {
    THexDumpLayout layout; // its offsetDisplayWidth is replaced by the source's
    bool shrinkToFit = true;
    bool stretchToFit = true;
};

// Font sizes the fitting stops at, whatever the area's width.
constexpr int HexDumpMinFontSize = 1;
constexpr int HexDumpMaxFontSize = 400;

// The distance between lines for a text height: 1.2 times it, rounded to the nearest
// integer (halves to even), at least one more than the height.
int HexDumpLineStep(int textHeight);

// Writes the lines from startPos up to endPos (cut to the data) that fit into area,
// with header above and footer below when they are not empty. The canvas's font size is
// fitted to the area's width first (the canvas keeps that size). Answers the first
// position not written; -1 for bytesPerLine below 1 or nothing to write; 0x7FFFFFFF
// without a source.
int32_t DrawHexDump(THexDumpCanvas& canvas, const THexDumpOptions& options, TDrawArea& area,
    const THexDumpSource* source, int32_t startPos, int32_t endPos, const std::string& header,
    const std::string& footer);
