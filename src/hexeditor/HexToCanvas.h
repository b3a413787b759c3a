#pragma once
// THexToCanvas: writes the data of a linked THexEditor as plain hex dump lines onto any
// paint device (a printer page, an image), page by page. The font is fitted to the
// area's width; Draw answers where the next page starts.
#include "hexeditor/HexDumpRender.h"

#include <QFont>
#include <QObject>

#include <cstdint>
#include <string>

class QPainter;
class THexEditor;

// What a component is told about another one it refers to.
enum TOperation { opInsert, opRemove };

class THexToCanvas : public QObject {
    Q_OBJECT

public:
    explicit THexToCanvas(QObject* owner = nullptr);
    ~THexToCanvas() override;

    // ---------------------------------------------------------------- published properties
    THexEditor* GetHexEditor() const { return HexEditor; }
    // Links the editor (not owned); the link is cleared when the editor is destroyed.
    void SetHexEditor(THexEditor* editor);
    const QFont& GetFont() const { return Font; }
    // Copies the font's attributes; the component keeps its own font.
    void SetFont(const QFont& font);
    int32_t GetBytesPerLine() const { return BytesPerLine; }
    void SetBytesPerLine(int32_t value) { BytesPerLine = value; }
    TOffsetDisplayStyle GetOffsetDisplay() const { return OffsetDisplay; }
    void SetOffsetDisplay(TOffsetDisplayStyle value) { OffsetDisplay = value; }
    char GetOffsetSeparator() const { return OffsetSeparator; }
    void SetOffsetSeparator(char value) { OffsetSeparator = value; } // 0: none
    TOffsetDisplayStyle GetMemFieldDisplay() const { return MemFieldDisplay; }
    void SetMemFieldDisplay(TOffsetDisplayStyle value) { MemFieldDisplay = value; }
    char GetMemFieldSeparator() const { return MemFieldSeparator; }
    void SetMemFieldSeparator(char value) { MemFieldSeparator = value; } // 0: none
    bool GetDisplayCharField() const { return DisplayCharField; }
    void SetDisplayCharField(bool value) { DisplayCharField = value; }
    char GetCharFieldSeparator() const { return CharFieldSeparator; }
    void SetCharFieldSeparator(char value) { CharFieldSeparator = value; } // 0: none
    bool GetShrinkToFit() const { return ShrinkToFit; }
    void SetShrinkToFit(bool value) { ShrinkToFit = value; }
    bool GetStretchToFit() const { return StretchToFit; }
    void SetStretchToFit(bool value) { StretchToFit = value; }
    int32_t GetBytesPerColumn() const { return BytesPerColumn; }
    void SetBytesPerColumn(int32_t value) { BytesPerColumn = value; }
    bool GetSwapNibbles() const { return SwapNibbles; }
    void SetSwapNibbles(bool value) { SwapNibbles = value; }

    // Where the lines go; the caller sets it before every Draw (a footer lowers
    // AreaBottom for good).
    TDrawArea DrawArea;

    // When the linked editor goes away, the link is cleared.
    void Notification(QObject* component, TOperation operation);
    // Takes over the linked editor's layout settings.
    void GetLayout();
    // The text of the line that starts at start; positions above last are missing.
    std::string FormatLine(int32_t start, int32_t last);
    // Writes the lines from startPos to endPos that fit into DrawArea, with a header
    // above and a footer below when not empty. Answers the first position not written
    // (last + 1 when all were), -1 for BytesPerLine below 1 or nothing to write, and
    // 0x7FFFFFFF without an editor. The painter's font is put back afterwards.
    int32_t Draw(QPainter& canvas, int32_t startPos, int32_t endPos, const std::string& header,
        const std::string& footer);

private:
    THexDumpLayout Layout() const;
    // Offsets are padded to the editor's offset width, so it has to be known.
    void MeasureEditor();

    THexEditor* HexEditor = nullptr;
    QMetaObject::Connection FEditorGone;
    QFont Font;
    int32_t BytesPerLine = 16;
    TOffsetDisplayStyle OffsetDisplay = odHex;
    char OffsetSeparator = ':';
    TOffsetDisplayStyle MemFieldDisplay = odHex;
    char MemFieldSeparator = ';';
    bool DisplayCharField = true;
    char CharFieldSeparator = 0;
    bool ShrinkToFit = true;
    bool StretchToFit = true;
    int32_t BytesPerColumn = 2;
    bool SwapNibbles = false;
};
