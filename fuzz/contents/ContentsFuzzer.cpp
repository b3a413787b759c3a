// Feeds arbitrary bytes to every directory decoder and checks what must always hold: no crash,
// no read outside the file (the reader traps on one), every offset shown lies in the file, every
// anomaly names its place, and the results stay within a bound proportional to the file.
#include "contents/Contents.h"

#include <cstring>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A file image whose reader traps on a read that starts past its end (when strict: the header
// reader may ask for missing bytes, which read as 0; the decoders never do). In memory, it also
// hands out its bytes, as a mapped file does: the decoders then read them in place (AddressSanitizer
// watches those reads).
class StrictBytes : public ByteReader {
public:
    StrictBytes(const uint8_t* data, size_t size, bool strict, bool inMemory = false)
        : FData(data)
        , FSize(size)
        , FStrict(strict)
        , FInMemory(inMemory)
    {
    }
    const uint8_t* Bytes() const override { return FInMemory ? FData : nullptr; }
    uint64_t Size() const override { return FSize; }
    size_t ReadAt(uint64_t pos, void* buffer, size_t count) const override
    {
        Check(!FStrict || pos + count <= FSize);
        if (pos >= FSize)
            return 0;
        const size_t got = std::min<uint64_t>(count, FSize - pos);
        if (got != 0)
            std::memcpy(buffer, FData + pos, got);
        return got;
    }

private:
    const uint8_t* FData;
    size_t FSize;
    bool FStrict;
    bool FInMemory;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const ImageHeaders headers = ReadImageHeaders(StrictBytes(data, size, false));
    // Odd sizes are read in place, even ones through ReadAt: both ways are fuzzed.
    const StrictBytes file(data, size, true, size % 2 == 1);
    const ImageContents contents = DecodeContents(file, headers);

    const ImageMap map(file, headers);
    for (uint32_t rva : {0u, 0x1000u, headers.entryPointFileOffset, uint32_t(size / 2)}) {
        if (const auto offset = map.OffsetOf(rva))
            Check(*offset < size);
    }
    for (const std::string& anomaly : contents.anomalies)
        Check(anomaly.find(" at file offset 0x") != std::string::npos
            || anomaly == "More anomalies: not listed");
    Check(contents.anomalies.size() <= kMaxAnomalies + 1);
    for (const ResourceLeaf& leaf : contents.resources) {
        Check(leaf.offset + 12 <= size); // OffsetToData, Size, CodePage
        Check(leaf.dataOffset == 0 || leaf.dataOffset + leaf.size <= size);
    }
    for (const Certificate& certificate : contents.certificates)
        Check(certificate.offset + 8 <= size);
    if (contents.overlay.present)
        Check(contents.overlay.offset + contents.overlay.size == size && contents.overlay.size != 0);
    // Every entry shown takes bytes of its own in the file, or stops at a fixed limit.
    size_t functions = 0;
    for (const ImportDll& dll : contents.imports)
        functions += dll.functions.size();
    Check(functions <= size / 4 + contents.imports.size());
    Check(contents.exports.functions.size() <= size / 4);
    Check(contents.resources.size() <= size / 8);
    Check(contents.tls.callbacks.size() <= kMaxTlsCallbacks);
    Check(contents.relocations.blocks.size() <= size / 8);
    if (contents.manifest)
        Check(contents.manifest->size() <= kMaxManifestSize);
    return 0;
}
