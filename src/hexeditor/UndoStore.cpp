#include "hexeditor/UndoStore.h"

#include <cstring>

namespace {
void Put32(uint8_t* out, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v >> 16);
    out[3] = static_cast<uint8_t>(v >> 24);
}

int32_t Get32(const uint8_t* in)
{
    const uint32_t v
        = uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) | (uint32_t(in[3]) << 24);
    return static_cast<int32_t>(v);
}
} // namespace

void TUndoRec::Encode(uint8_t* out) const
{
    out[0] = kind;
    out[1] = changed;
    out[2] = modified;
    Put32(out + 3, caretPos);
    out[7] = digitOffset;
    out[8] = inCharField;
    Put32(out + 9, selFirst);
    Put32(out + 13, selLast);
    Put32(out + 17, selAnchor);
    Put32(out + 21, position);
    Put32(out + 25, count);
    Put32(out + 29, fourth);
}

TUndoRec TUndoRec::Decode(const uint8_t* in)
{
    TUndoRec r;
    r.kind = in[0];
    r.changed = in[1];
    r.modified = in[2];
    r.caretPos = Get32(in + 3);
    r.digitOffset = in[7];
    r.inCharField = in[8];
    r.selFirst = Get32(in + 9);
    r.selLast = Get32(in + 13);
    r.selAnchor = Get32(in + 17);
    r.position = Get32(in + 21);
    r.count = Get32(in + 25);
    r.fourth = Get32(in + 29);
    return r;
}

std::string UndoKindDescription(uint8_t kind)
{
    switch (kind) {
    case ukByteChanged:
        return "Byte changed";
    case ukBytesRemoved:
        return "Byte(s) removed";
    case ukInsertBuffer:
        return "Insert buffer";
    case ukReplaceSelection:
        return "Replace selection";
    case ukAppendBuffer:
        return "Append buffer";
    case ukInsertNibble:
        return "Insert nibble";
    case ukDeleteNibble:
        return "Delete nibble";
    case ukConvert:
        return "Convert";
    default:
        return {};
    }
}

void UndoStore::Push(const TUndoRec& rec, const uint8_t* saved, size_t savedCount)
{
    if (FCount + 1 > MaxRecords)
        DropOldest();
    const size_t k = savedCount == 0 ? 1 : savedCount;
    const size_t recordSize = TUndoRec::HeaderSize + k;
    const size_t start = FStream.size();
    FStream.resize(start + recordSize + 4);
    uint8_t* out = FStream.data() + start;
    rec.Encode(out);
    if (savedCount == 0)
        out[TUndoRec::HeaderSize] = 0;
    else
        std::memcpy(out + TUndoRec::HeaderSize, saved, savedCount);
    Put32(out + recordSize, static_cast<int32_t>(recordSize + 4));
    ++FCount;
}

void UndoStore::DropOldest()
{
    // Walk back from the end to find where the first record ends.
    size_t point = FStream.size();
    size_t firstEnd = point;
    while (point > 0) {
        firstEnd = point;
        const auto trailer = static_cast<size_t>(Get32(FStream.data() + point - 4));
        if (trailer == 0 || trailer > point)
            break; // a damaged stream: drop everything rather than loop
        point -= trailer;
    }
    if (point != 0)
        firstEnd = FStream.size();
    FStream.erase(FStream.begin(), FStream.begin() + static_cast<std::ptrdiff_t>(firstEnd));
    if (FCount > 0)
        --FCount;
}

size_t UndoStore::NewestLength() const
{
    if (FStream.size() < 4)
        return FStream.size();
    const auto trailer = static_cast<size_t>(Get32(FStream.data() + FStream.size() - 4));
    return trailer > FStream.size() ? FStream.size() : trailer;
}

size_t UndoStore::NewestOffset() const
{
    return FStream.size() - NewestLength();
}

TUndoRec UndoStore::Newest() const
{
    return TUndoRec::Decode(FStream.data() + NewestOffset());
}

const uint8_t* UndoStore::NewestSaved() const
{
    return FStream.data() + NewestOffset() + TUndoRec::HeaderSize;
}

size_t UndoStore::NewestSavedSize() const
{
    const size_t length = NewestLength();
    return length >= TUndoRec::HeaderSize + 4 ? length - TUndoRec::HeaderSize - 4 : 0;
}

void UndoStore::RemoveNewest(size_t length)
{
    FStream.resize(length >= FStream.size() ? 0 : FStream.size() - length);
    if (FCount > 0)
        --FCount;
}

void UndoStore::Clear()
{
    FStream.clear();
    FStream.shrink_to_fit();
    FCount = 0;
}
