#pragma once
// Positional byte access, so that readers and writers work the same on a file
// stream and on an image held in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ByteReader {
public:
    virtual ~ByteReader() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to count bytes at pos; answers how many were read (fewer only at the end).
    virtual size_t ReadAt(uint64_t pos, void* buffer, size_t count) const = 0;
    // All Size() bytes, when the reader holds them in memory (else null), so a hot loop can
    // look at them without a call and a copy per field.
    virtual const uint8_t* Bytes() const { return nullptr; }
};

class ByteWriter : public ByteReader {
public:
    // Writes all count bytes at pos or throws EWriteError.
    virtual void WriteAt(uint64_t pos, const void* buffer, size_t count) = 0;
    // Makes the written bytes durable or throws EWriteError.
    virtual void Flush() = 0;
};

// An image in memory (tests, the fuzzer, the sample generator).
class MemoryBytes : public ByteWriter {
public:
    MemoryBytes() = default;
    explicit MemoryBytes(std::vector<uint8_t> data)
        : bytes(std::move(data))
    {
    }
    uint64_t Size() const override { return bytes.size(); }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override;
    const uint8_t* Bytes() const override { return bytes.data(); }
    void WriteAt(uint64_t pos, const void* buffer, size_t count) override;
    void Flush() override { }

    std::vector<uint8_t> bytes;
};
