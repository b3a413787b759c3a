#include "hexeditor/UndoStore.h"

#include <algorithm>
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
    const size_t start = FBuffer.size();
    const size_t needed = start + recordSize + 4;
    // Room for what follows a big record now, while it is being copied anyway: doubling
    // later would move the big record again in the middle of a run of small edits.
    if (needed > FBuffer.capacity())
        FBuffer.reserve(std::max(needed + needed / 2, 2 * FBuffer.capacity()));
    FBuffer.resize(needed);
    uint8_t* out = FBuffer.data() + start;
    rec.Encode(out);
    if (savedCount == 0)
        out[TUndoRec::HeaderSize] = 0;
    else
        std::memcpy(out + TUndoRec::HeaderSize, saved, savedCount);
    Put32(out + recordSize, static_cast<int32_t>(recordSize + 4));
    FLengths.push_back(static_cast<uint32_t>(recordSize + 4));
    ++FCount;
}

void UndoStore::DropOldest()
{
    if (FLengths.empty()) {
        // A stream without records (a damaged one): drop everything rather than loop.
        FStart = FBuffer.size();
    } else {
        FStart += std::min<size_t>(FLengths.front(), StreamSize());
        FLengths.pop_front();
    }
    if (FCount > 0)
        --FCount;
    // Cut the dead prefix off once it outweighs what is left: the bytes moved then are
    // fewer than the bytes dropped since the last cut.
    if (FStart > StreamSize()) {
        FBytesMoved += StreamSize();
        FBuffer.erase(FBuffer.begin(), FBuffer.begin() + static_cast<std::ptrdiff_t>(FStart));
        FStart = 0;
        // Give back the memory of a big record that is gone (the live part is small here).
        if (FBuffer.capacity() > 4 * FBuffer.size() + (size_t(1) << 20))
            FBuffer.shrink_to_fit();
    }
}

void UndoStore::RebuildIndex()
{
    FLengths.clear();
    const uint8_t* stream = FBuffer.data() + FStart;
    size_t point = StreamSize();
    while (point >= 4) {
        const auto trailer = static_cast<size_t>(Get32(stream + point - 4));
        if (trailer < 4 || trailer > point)
            break;
        FLengths.push_front(static_cast<uint32_t>(trailer));
        point -= trailer;
    }
    // Bytes before the first whole record belong to no record; the oldest absorbs them.
    if (point > 0 && !FLengths.empty())
        FLengths.front() += static_cast<uint32_t>(point);
}

size_t UndoStore::NewestLength() const
{
    const size_t size = StreamSize();
    if (size < 4)
        return size;
    const auto trailer = static_cast<size_t>(Get32(FBuffer.data() + FBuffer.size() - 4));
    return trailer > size ? size : trailer;
}

size_t UndoStore::NewestOffset() const
{
    return StreamSize() - NewestLength();
}

TUndoRec UndoStore::Newest() const
{
    return TUndoRec::Decode(FBuffer.data() + FStart + NewestOffset());
}

const uint8_t* UndoStore::NewestSaved() const
{
    return FBuffer.data() + FStart + NewestOffset() + TUndoRec::HeaderSize;
}

size_t UndoStore::NewestSavedSize() const
{
    const size_t length = NewestLength();
    return length >= TUndoRec::HeaderSize + 4 ? length - TUndoRec::HeaderSize - 4 : 0;
}

void UndoStore::RemoveNewest(size_t length)
{
    const size_t removed = std::min(length, StreamSize());
    FBuffer.resize(FBuffer.size() - removed);
    if (FCount > 0)
        --FCount;
    if (!FLengths.empty() && FLengths.back() == removed)
        FLengths.pop_back();
    else
        RebuildIndex();
    if (StreamSize() == 0) {
        FBuffer.clear();
        FStart = 0;
    }
}

void UndoStore::Clear()
{
    FBuffer.clear();
    FBuffer.shrink_to_fit();
    FStart = 0;
    FLengths.clear();
    FCount = 0;
}
