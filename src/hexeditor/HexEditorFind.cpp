// THexEditor: find, seek, character translation and the whole data as text or hex.
#include "hexeditor/HexEditor.h"

#include "hexeditor/Hourglass.h"
#include "search/PatternSearch.h"

#include <algorithm>
#include <vector>

uint8_t THexEditor::TranslateToAnsiChar(uint8_t value) const
{
    return ::TranslateToAnsiChar(Translation, static_cast<uint8_t>(MaskChar), value);
}

uint8_t THexEditor::TranslateFromAnsiChar(uint8_t value) const
{
    return ::TranslateFromAnsiChar(Translation, value);
}

void THexEditor::ConvertRange(int32_t from, int32_t to, TTranslationType fromType, TTranslationType toType)
{
    if (from > to || fromType == toType || to >= GetDataSize() || from < 0)
        return;
    if (!CreateUndo(ukConvert, from, to - from + 1, 0))
        return;
    InternalConvertRange(from, to, fromType, toType);
    FWorkingFile.InvalidateWindow();
    Invalidate();
}

void THexEditor::InternalConvertRange(
    int32_t from, int32_t to, TTranslationType fromType, TTranslationType toType)
{
    THourglass hourglass;
    // Each byte translates on its own, so a bounded block gives the same bytes as one
    // block of the range's size.
    const int64_t total = static_cast<int64_t>(to) - from + 1;
    const int32_t blockSize = static_cast<int32_t>(std::min<int64_t>(total, int64_t(1) << 20));
    std::vector<uint8_t> block(static_cast<size_t>(std::max(blockSize, 0)));
    for (int64_t done = 0; done < total;) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(blockSize, total - done));
        const int32_t at = static_cast<int32_t>(from + done);
        GetMemAtPos(block.data(), at, n);
        TranslateBufferToAnsi(fromType, block.data(), block.data(), n);
        TranslateBufferFromAnsi(toType, block.data(), block.data(), n);
        SetMemAtPos(block.data(), at, n);
        done += n;
    }
}

int32_t THexEditor::Find(
    uint8_t* pattern, int32_t count, int32_t start, int32_t end, bool ignoreCase, bool asText)
{
    const int32_t size = GetDataSize();
    const int32_t last = end >= size ? size - 1 : end;
    // A negative start would read before the data.
    if (start < 0)
        start = 0;
    if (count < 1 || static_cast<int64_t>(start) + count > static_cast<int64_t>(last) + 1)
        return -1;
    THourglass hourglass;
    if (asText && Translation != ttAnsi)
        TranslateBufferFromAnsi(Translation, pattern, pattern, count);
    if (ignoreCase)
        AnsiLowerBuffer(pattern, count);

    PatternScanner scanner(pattern, count, ignoreCase);
    scanner.Reset(start);
    for (int32_t i = start; i <= last;) {
        // The scan goes through the read window, a whole fresh window per reload.
        int32_t available;
        if (FWorkingFile.WindowStart() != -1 && i >= FWorkingFile.WindowStart()
            && i < FWorkingFile.WindowStart() + FWorkingFile.WindowFill())
            available = FWorkingFile.WindowStart() + FWorkingFile.WindowFill() - i;
        else
            available = FWorkingFile.FillWindowFrom(i);
        if (available <= 0)
            break;
        const int32_t n = std::min(available, last - i + 1);
        const int32_t found = scanner.Feed(FWorkingFile.WindowData() + (i - FWorkingFile.WindowStart()), n);
        if (found >= 0)
            return found;
        i += n;
    }
    return -1;
}

bool THexEditor::Seek(int32_t offset, int32_t origin, bool refuseOutside)
{
    int64_t p = GetCursorPos();
    const int32_t size = GetDataSize();
    switch (origin) {
    case 0:
        p = offset;
        break;
    case 1:
        p = static_cast<int64_t>(GetCursorPos()) + offset;
        break;
    case 2:
        p = static_cast<int64_t>(size) - 1 + offset;
        break;
    default:
        break;
    }
    if (size <= 0)
        return false;
    if (p < 0) {
        if (refuseOutside)
            return false;
        p = 0;
    }
    if (p >= size) {
        if (refuseOutside)
            return false;
        p = size - 1;
    }
    SetSelStart(static_cast<int32_t>(p));
    return true;
}

std::string THexEditor::GetAsText()
{
    const int32_t size = GetDataSize();
    if (size <= 0)
        return {};
    std::string text(static_cast<size_t>(size), '\0');
    GetMemAtPos(reinterpret_cast<uint8_t*>(text.data()), 0, size);
    return text;
}

void THexEditor::SetAsText(const std::string& text)
{
    if (GetDataSize() > 0) {
        SetSelStart(0);
        SetSelEnd(GetDataSize() - 1);
    }
    std::vector<uint8_t> block(text.begin(), text.end());
    const auto length = static_cast<int32_t>(block.size());
    TranslateBufferFromAnsi(Translation, block.data(), block.data(), length);
    ReplaceSelection(block.data(), length);
}

std::string THexEditor::GetAsHex()
{
    int32_t size = GetDataSize();
    if (size <= 0)
        return {};
    const auto bytes = BufferFromFile(0, size);
    if (!bytes)
        return {};
    std::string text(static_cast<size_t>(size) * 2 + 1, '\0');
    ConvertBinToHex(bytes.get(), text.data(), size, SwapNibbles != 0);
    text.resize(static_cast<size_t>(size) * 2);
    return text;
}

void THexEditor::SetAsHex(const std::string& text)
{
    if (GetDataSize() > 0) {
        SetSelStart(0);
        SetSelEnd(GetDataSize() - 1);
    }
    std::vector<uint8_t> block(text.size() / 2 + 1);
    int32_t n = 0;
    ConvertHexToBin(text.data(), block.data(), static_cast<int32_t>(text.size()), SwapNibbles != 0, n);
    ReplaceSelection(block.data(), n);
}
