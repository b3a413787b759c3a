#pragma once
// The undo stream: packed little-endian records, oldest first, each followed by a
// 4-byte trailer holding the record length plus 4, so the stream can be walked from
// its end. The byte layout is a contract (see TUndoRec).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

// The kinds of undo step.
enum TUndoKind : uint8_t {
    ukByteChanged = 0,
    ukBytesRemoved = 1,
    ukInsertBuffer = 2,
    ukReplaceSelection = 3,
    ukAppendBuffer = 4,
    ukInsertNibble = 5,
    ukDeleteNibble = 6,
    ukConvert = 7,
};

// The 33-byte record header. Offsets: kind 0, changed 1, modified 2, caretPos 3,
// digitOffset 7, inCharField 8, selFirst 9, selLast 13, selAnchor 17, position 21,
// count 25, fourth 29; the saved bytes follow at 33.
struct TUndoRec {
    uint8_t kind = 0;
    uint8_t changed = 0; // kinds 0, 5, 6: the byte's old change mark
    uint8_t modified = 0; // Modified before the edit
    int32_t caretPos = 0; // the caret's position, not clamped
    uint8_t digitOffset = 0; // hex field: which digit cell of the byte the caret was on
    uint8_t inCharField = 0;
    int32_t selFirst = -1;
    int32_t selLast = -1;
    int32_t selAnchor = -1;
    int32_t position = 0;
    int32_t count = 0;
    int32_t fourth = 0;

    static constexpr size_t HeaderSize = 33;
    void Encode(uint8_t* out) const; // writes HeaderSize bytes
    static TUndoRec Decode(const uint8_t* in); // reads HeaderSize bytes
};
using PUndoRec = TUndoRec*;

// The description shown for a kind ("Byte changed", ...); empty for an unknown kind.
std::string UndoKindDescription(uint8_t kind);

// The records live in one buffer; the stream is its part from a logical start on. Dropping
// the oldest record only moves that start, and the dead prefix is cut off when it
// outweighs the live part, so trimming costs about the size of the trimmed records, never
// the size of the stream. A side index of record lengths finds the oldest record's end
// without walking every record.
class UndoStore {
public:
    static constexpr int32_t MaxRecords = 500;
    // Records shorter than this carry one saved byte (zero when nothing is saved).
    static constexpr size_t ShortRecordSize = TUndoRec::HeaderSize + 1;

    // Appends a record; when more than MaxRecords would be kept, the oldest is dropped.
    // An empty saved block is stored as one zero byte.
    void Push(const TUndoRec& rec, const uint8_t* saved, size_t savedCount);

    bool Empty() const { return FCount == 0; }
    int32_t Count() const { return FCount; }
    size_t StreamSize() const { return FBuffer.size() - FStart; }
    // The stream: the records, oldest first, each followed by its trailer.
    std::span<const uint8_t> Stream() const { return {FBuffer.data() + FStart, StreamSize()}; }

    // The newest record; Empty() must be false.
    TUndoRec Newest() const;
    // Offset of the newest record's first byte in the stream.
    size_t NewestOffset() const;
    // Its saved bytes.
    const uint8_t* NewestSaved() const;
    size_t NewestSavedSize() const;

    // Shortens the stream by length (not below 0) and lowers the count by 1.
    void RemoveNewest(size_t length);
    // The newest record's length including its trailer.
    size_t NewestLength() const;

    void Clear();

    // Bytes moved to drop old records since construction: what trimming has cost.
    uint64_t BytesMoved() const { return FBytesMoved; }

private:
    void DropOldest();
    // Rebuilds the index by walking the trailers from the end (after a removal that did
    // not end on a record boundary).
    void RebuildIndex();

    std::vector<uint8_t> FBuffer;
    size_t FStart = 0;
    // The length (trailer included) of every record in the stream, oldest first.
    std::deque<uint32_t> FLengths;
    int32_t FCount = 0;
    uint64_t FBytesMoved = 0;
};
