#include "hexeditor/ChangeMarks.h"

#include <bit>

void ChangeMarks::SetSize(int64_t size)
{
    if (size < 0)
        size = 0;
    if (size < FSize) {
        // Clear the bits beyond the new end so that growing again yields false bits.
        const int64_t words = (size + 63) / 64;
        FWords.resize(static_cast<size_t>(words));
        if (size % 64 != 0)
            FWords.back() &= (uint64_t(1) << (size % 64)) - 1;
        FWords.shrink_to_fit();
    } else {
        FWords.resize(static_cast<size_t>((size + 63) / 64), 0);
    }
    FSize = size;
}

bool ChangeMarks::Get(int64_t position) const
{
    if (position < 0 || position >= FSize)
        return false;
    return (FWords[static_cast<size_t>(position / 64)] >> (position % 64)) & 1u;
}

void ChangeMarks::Set(int64_t position, bool flag)
{
    if (position < 0)
        return;
    if (position >= FSize) {
        if (!flag)
            return;
        SetSize(position + 1);
    }
    uint64_t& word = FWords[static_cast<size_t>(position / 64)];
    const uint64_t bit = uint64_t(1) << (position % 64);
    word = flag ? (word | bit) : (word & ~bit);
}

void ChangeMarks::CutAt(int64_t position)
{
    if (position >= 0 && FSize >= position)
        SetSize(position);
}

int64_t ChangeMarks::CountSet() const
{
    int64_t n = 0;
    for (uint64_t w : FWords)
        n += std::popcount(w);
    return n;
}
