#pragma once
// The change marks: one bit per byte position, set when the byte was overwritten in
// place. A growable bit set: reading at or beyond the size gives false, setting a bit
// beyond the size to true grows the set (new bits false).
#include <cstddef>
#include <cstdint>
#include <vector>

class ChangeMarks {
public:
    int64_t Size() const { return FSize; }
    void SetSize(int64_t size);
    void Clear() { SetSize(0); }
    bool Get(int64_t position) const;
    void Set(int64_t position, bool flag);
    // Drops every mark from position on, when the set is at least that long.
    void CutAt(int64_t position);
    int64_t CountSet() const;

private:
    std::vector<uint64_t> FWords;
    int64_t FSize = 0;
};
