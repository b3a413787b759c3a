// The PE checksum: every summing kernel against a plain word-by-word sum, whole images against
// the plainest implementation written here, real files whose linker stored a checksum, and the
// checksum a save will give against the checksum of the saved file.
#include "header/Checksum.h"
#include "base/FileStream.h"
#include "header/FieldValue.h"
#include "header/HeaderSave.h"
#include "header/ImageReader.h"
#include "support/PeBuilder.h"

#include <QDir>
#include <QTest>

#include <random>

Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = uint8_t(random());
    return bytes;
}

uint16_t PlainFold(const uint8_t* bytes, size_t count)
{
    std::vector<uint8_t> copy(bytes, bytes + count);
    return uint16_t(PlainChecksum(copy, ~0ull) - uint32_t(count));
}

HeaderWriteInput Unedited(const ImageHeaders& headers)
{
    HeaderWriteInput input;
    input.layout = headers.layout;
    input.hasPe = true;
    input.peOffset = headers.peOffset;
    input.optHeaderSize = headers.optHeaderSize;
    for (size_t i = 0; i < input.values.size(); ++i)
        input.values[i] = int64_t(headers.values[i]);
    for (int e = 0; e < headers.directoryEntries; ++e)
        input.directories.push_back(
            {headers.directories[size_t(2 * e)], headers.directories[size_t(2 * e + 1)]});
    for (const SectionValues& section : headers.sections) {
        auto& rows = input.sections.emplace_back();
        for (size_t r = 0; r < rows.size(); ++r)
            rows[r] = section.rows[r];
    }
    return input;
}

int Index(FieldId id)
{
    return HeaderIndex(id);
}

} // namespace

class ChecksumTest : public QObject {
    Q_OBJECT
private slots:
    void kernelsAgreeWithPlainSum_data();
    void kernelsAgreeWithPlainSum();
    void imageChecksum_data();
    void imageChecksum();
    void realFilesHaveTheirStoredChecksum_data();
    void realFilesHaveTheirStoredChecksum();
    void checksumAfterSaveIsTheSavedFilesChecksum_data();
    void checksumAfterSaveIsTheSavedFilesChecksum();
    void checksumAfterSaveRefusesWhatSaveRefuses();
};

void ChecksumTest::kernelsAgreeWithPlainSum_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    QTest::addColumn<int>("start"); // the sum starts this far into the buffer (unaligned loads)
    for (size_t count : {0, 1, 2, 3, 31, 63, 64, 65, 127, 128, 129, 130, 255, 4097})
        QTest::addRow("random %zu", count) << RandomBytes(count, uint32_t(count)) << 0;
    QTest::newRow("random, odd address") << RandomBytes(1001, 7) << 1;
    QTest::newRow("random, address + 6") << RandomBytes(4096 + 6, 8) << 6;
    // All ones: every lane carries as often as it can; sums that are multiples of 0xFFFF.
    QTest::newRow("all FF") << std::vector<uint8_t>(1 << 20, 0xFF) << 0;
    QTest::newRow("all FF, odd length") << std::vector<uint8_t>(4099, 0xFF) << 0;
    QTest::newRow("all zero") << std::vector<uint8_t>(300, 0) << 0;
    std::vector<uint8_t> one(256, 0);
    one[255] = 0xFF;
    one[254] = 0xFF;
    QTest::newRow("one FFFF word") << one << 0;
    // More than the kernels sum between folds.
    QTest::newRow("random 40 MiB") << RandomBytes(40u << 20, 40) << 0;
}

void ChecksumTest::kernelsAgreeWithPlainSum()
{
    QFETCH(std::vector<uint8_t>, bytes);
    QFETCH(int, start);
    const uint8_t* data = bytes.data() + start;
    const size_t count = bytes.size() - size_t(start);
    const uint16_t expected = PlainFold(data, count);
    int tried = 0;
    for (SumKernel kernel : {SumKernel::Portable, SumKernel::Sse2, SumKernel::Avx2}) {
        if (!SumKernelAvailable(kernel))
            continue;
        ++tried;
        QCOMPARE(FoldOnesComplement(OnesComplementSum(kernel, data, count)), expected);
    }
    QVERIFY(tried >= 1);
    QCOMPARE(FoldOnesComplement(OnesComplementSum(data, count)), expected);
}

void ChecksumTest::imageChecksum_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    QTest::addColumn<quint64>("field");
    const uint64_t field = 0x80 + 24 + 64;
    auto big = [](uint32_t peOffset, uint64_t size) {
        return PeBuilder().PeOffset(peOffset).Optional(64, 0x12345678, 4).TruncateTo(size).Build();
    };
    const auto image = PeBuilder()
                           .Optional(64, 0xFFFFFFFF, 4)
                           .AddSection(PeSection(".text").Raw(0x400, 0x200).Data(RandomBytes(0x200, 1)))
                           .Build();
    QTest::newRow("PE32") << image << quint64(field);
    QTest::newRow("PE32+") << PeBuilder().Pe32Plus().Optional(64, 0xABCD, 4).Build() << quint64(field);
    QTest::newRow("odd length") << PeBuilder().TruncateTo(0x3FF).Build() << quint64(field);
    QTest::newRow("field straddles a 256 KiB block") << big(0x40000 - 90, 0x50000) << quint64(0x40000 - 2);
    QTest::newRow("field at an odd offset") << big(0x101, 0x400) << quint64(0x101 + 88);
    QTest::newRow("field partly past the end") << PeBuilder().TruncateTo(field + 2).Build() << quint64(field);
    QTest::newRow("field past the end") << PeBuilder().TruncateTo(0x90).Build() << quint64(field);
    QTest::newRow("several blocks") << big(0x80, (3u << 20) + 3) << quint64(field);
}

void ChecksumTest::imageChecksum()
{
    QFETCH(std::vector<uint8_t>, bytes);
    QFETCH(quint64, field);
    QCOMPARE(PeChecksum(MemoryBytes(bytes), field), PlainChecksum(bytes, field));
    QCOMPARE(PeChecksum(bytes.data(), bytes.size(), field), PlainChecksum(bytes, field));
    // The field's own bytes never count.
    std::vector<uint8_t> other = bytes;
    for (uint64_t b = field; b < field + 4 && b < other.size(); ++b)
        other[b] ^= 0x5A;
    QCOMPARE(PeChecksum(MemoryBytes(other), field), PlainChecksum(bytes, field));
    QCOMPARE(PeChecksum(other.data(), other.size(), field), PlainChecksum(bytes, field));
}

void ChecksumTest::realFilesHaveTheirStoredChecksum_data()
{
    QTest::addColumn<QString>("path");
    // Linkers that store a checksum: systemd-boot's EFI images and MinGW-w64's runtime DLLs
    // (scripts/install-deps test installs them).
    QStringList files;
    for (const QString& name :
        QDir("/usr/lib/systemd/boot/efi").entryList({"*.efi", "*.efi.stub"}, QDir::Files))
        files << "/usr/lib/systemd/boot/efi/" + name;
    for (const QString& dir :
        QDir("/usr/lib/gcc/x86_64-w64-mingw32").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& name :
            QDir("/usr/lib/gcc/x86_64-w64-mingw32/" + dir).entryList({"*.dll"}, QDir::Files))
            files << "/usr/lib/gcc/x86_64-w64-mingw32/" + dir + "/" + name;
    if (files.isEmpty())
        QSKIP("no PE images with a stored checksum are installed (scripts/install-deps test)");
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << file;
}

void ChecksumTest::realFilesHaveTheirStoredChecksum()
{
    QFETCH(QString, path);
    const FileStream file(path.toStdString(), FileStream::Mode::OpenRead);
    const ImageHeaders headers = ReadImageHeaders(file);
    QCOMPARE(headers.kind, ImageKind::Pe);
    const uint64_t stored = headers.values[size_t(Index(FieldId::CheckSum))];
    QVERIFY(stored != 0);
    QCOMPARE(uint64_t(PeChecksum(file, CheckSumPosition(headers.peOffset))), stored);
    // Saving them unchanged keeps it right.
    QCOMPARE(uint64_t(*ChecksumAfterSave(Unedited(headers), headers, file)), stored);
}

void ChecksumTest::checksumAfterSaveIsTheSavedFilesChecksum_data()
{
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    QTest::addColumn<bool>("truncated"); // the edited section row lies past the end
    const auto plus = PeBuilder()
                          .Pe32Plus()
                          .DataDirectory(2, 0x5000, 0x100)
                          .AddSection(PeSection(".text").Raw(0x400, 0x200).Data(RandomBytes(0x200, 2)))
                          .AddSection(PeSection(".data").Raw(0x600, 0x201).Data(RandomBytes(0x201, 3)));
    QTest::newRow("PE32+") << plus.Build() << false;
    QTest::newRow("PE32+, cut in the section table")
        << PeBuilder(plus).TruncateTo(plus.SectionTableOffset() + 50).Build() << true;
    QTest::newRow("PE32") << PeBuilder().AddSection(PeSection("a")).AddSection(PeSection("b")).Build()
                          << false;
}

void ChecksumTest::checksumAfterSaveIsTheSavedFilesChecksum()
{
    QFETCH(std::vector<uint8_t>, bytes);
    QFETCH(bool, truncated);
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(bytes));
    HeaderWriteInput input = Unedited(headers);
    input.values[size_t(Index(FieldId::ImageBase))]
        = headers.layout == OptionalLayout::Pe32Plus ? 0x180000000 : 0x10000000;
    input.values[size_t(Index(FieldId::CheckSum))] = 0x11111111; // its own value never counts
    input.values[size_t(Index(FieldId::DLLChar))] ^= 0x40;
    if (!input.directories.empty())
        input.directories[2][1] = 0x180;
    input.sections[1][8] = 0x40000040;

    const MemoryBytes before(bytes);
    const std::optional<uint32_t> predicted = ChecksumAfterSave(input, headers, before);
    QVERIFY(predicted);
    QCOMPARE(before.bytes, bytes); // nothing written

    MemoryBytes saved(bytes);
    const SaveResult result = SaveHeaders(input, headers, saved);
    QCOMPARE(int(result.outcome), int(SaveOutcome::Saved));
    QCOMPARE(result.notWritten.empty(), !truncated);
    QVERIFY(saved.bytes != bytes);
    const uint64_t field = CheckSumPosition(headers.peOffset);
    QCOMPARE(*predicted, PlainChecksum(saved.bytes, field));
    QVERIFY(*predicted != PlainChecksum(bytes, field));
}

void ChecksumTest::checksumAfterSaveRefusesWhatSaveRefuses()
{
    const std::vector<uint8_t> bytes = PeBuilder().Build();
    const ImageHeaders headers = ReadImageHeaders(MemoryBytes(bytes));
    HeaderWriteInput input = Unedited(headers);
    input.values[size_t(Index(FieldId::MajorOS))] = 0x10000;
    QVERIFY(!ChecksumAfterSave(input, headers, MemoryBytes(bytes)));
    QVERIFY(PlanSave(input, headers).tooWide);
}

QTEST_APPLESS_MAIN(ChecksumTest)
#include "ChecksumTest.moc"
