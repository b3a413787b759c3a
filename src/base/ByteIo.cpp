#include "base/ByteIo.h"

#include <algorithm>
#include <cstring>

size_t MemoryBytes::ReadAt(uint64_t pos, void* buffer, size_t count) const
{
    if (pos >= bytes.size())
        return 0;
    size_t n = std::min<uint64_t>(count, bytes.size() - pos);
    std::memcpy(buffer, bytes.data() + pos, n);
    return n;
}

void MemoryBytes::WriteAt(uint64_t pos, const void* buffer, size_t count)
{
    if (pos + count > bytes.size())
        bytes.resize(pos + count);
    std::memcpy(bytes.data() + pos, buffer, count);
}
