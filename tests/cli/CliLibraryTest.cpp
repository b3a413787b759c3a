// korvex-cli's commands in process: a write that fails half way (FileStream's fault seam, handed
// in through the tool's stream opener) leaves the file as it was; every field the window saves
// can be set by its name and lands on exactly its bytes; values are held to their field's width.
#include "cli/Cli.h"
#include "header/FieldNames.h"
#include "header/HeaderSave.h"
#include "support/PeBuilder.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sstream>

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

Result Run(const std::vector<std::string>& arguments, const CliStreamOpener& opener = OpenCliStream)
{
    std::ostringstream out, err;
    Result result;
    result.status = RunCli(arguments, out, err, opener);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// A stream that counts the writes and flushes made through it.
class CountingStream : public FileStream {
public:
    CountingStream(const std::string& name, Mode mode, uint64_t& operations)
        : FileStream(name, mode)
        , FOperations(operations)
    {
    }
    void WriteAt(uint64_t pos, const void* buffer, size_t count) override
    {
        ++FOperations;
        FileStream::WriteAt(pos, buffer, count);
    }
    void Flush() override
    {
        ++FOperations;
        FileStream::Flush();
    }

private:
    uint64_t& FOperations;
};

std::vector<uint8_t> Image(bool pe32Plus)
{
    PeBuilder builder;
    if (pe32Plus)
        builder.Pe32Plus();
    builder.EntryPoint(0x1010).NumberOfRvaAndSizes(16).DataDirectory(1, 0x2000, 0x40);
    builder.AddSection(
        PeSection(".text").Virtual(0x1000, 0x300).Raw(0x400, 0x200).Characteristics(0x60000020));
    builder.AddSection(
        PeSection(".data").Virtual(0x2000, 0x100).Raw(0x600, 0x200).Characteristics(0xC0000040));
    builder.AddSection(PeSection(".bss").Virtual(0x3000, 0x80).Characteristics(0xC0000080));
    return builder.TruncateTo(0x800).Build();
}

} // namespace

class CliLibraryTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FDir;

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = FDir.filePath(QString::fromStdString(name)).toStdString();
        WriteFileBytes(path, bytes);
        return path;
    }

private slots:
    void failingWrite_data()
    {
        QTest::addColumn<QString>("command"); // set or checksum --fix
        QTest::addColumn<int>("failAt"); // 1: the one write; 2: the flush
        // The write that puts the old bytes back fails too (having stored them): read back, they
        // are the old ones.
        QTest::addColumn<bool>("everyLater");
        QTest::newRow("set, the write") << "set" << 1 << false;
        QTest::newRow("set, the flush") << "set" << 2 << false;
        QTest::newRow("checksum --fix, the write") << "checksum" << 1 << false;
        QTest::newRow("checksum --fix, the flush") << "checksum" << 2 << false;
        QTest::newRow("set, every write") << "set" << 1 << true;
    }

    // The save either happens whole or leaves the file as it was, and says which.
    void failingWrite()
    {
        QFETCH(QString, command);
        QFETCH(int, failAt);
        QFETCH(bool, everyLater);
        const std::vector<uint8_t> original = Image(false);
        const std::vector<std::string> arguments = command == "set"
            ? std::vector<std::string>{"set", "--checksum", "", "TimeDateStamp=0x12345678",
                "section.2.Characteristics=1"}
            : std::vector<std::string>{"checksum", "--fix", ""};
        auto withFile = [&](const std::string& path) {
            std::vector<std::string> all = arguments;
            all[2] = path;
            return all;
        };

        // How many writes and flushes a save of this file makes.
        uint64_t operations = 0;
        const std::string counted = Write("counted", original);
        const Result ok = Run(withFile(counted), [&](const std::string& name, FileStream::Mode mode) {
            return std::make_unique<CountingStream>(name, mode, operations);
        });
        QCOMPARE(ok.status, 0);
        QCOMPARE(operations, uint64_t(2)); // one write of the whole span, one flush
        QVERIFY(ReadFileBytes(counted) != original);

        const std::string path = Write("failing", original);
        FileStream::FaultSeam seam;
        seam.failAt = uint64_t(failAt);
        seam.everyLater = everyLater;
        seam.errorNumber = ENOSPC;
        const Result failed = Run(withFile(path), [&](const std::string& name, FileStream::Mode mode) {
            auto stream = std::make_unique<FileStream>(name, mode);
            stream->SetFaultSeam(seam);
            return stream;
        });
        QCOMPARE(failed.status, 3);
        QVERIFY(failed.out.empty());
        QVERIFY2(failed.err.rfind("korvex-cli: " + path + ": Cannot write file " + path, 0) == 0,
            failed.err.c_str());
        if (failAt == 2) {
            // Nothing is put back after a failed flush, and nothing is claimed about it.
            QVERIFY2(
                failed.err.find("may not have reached the disk") != std::string::npos, failed.err.c_str());
            QCOMPARE(ReadFileBytes(path), ReadFileBytes(counted));
        } else {
            QVERIFY2(failed.err.find("the file was left unchanged") != std::string::npos, failed.err.c_str());
            QCOMPARE(ReadFileBytes(path), original);
        }
    }

    void everyFieldByName_data()
    {
        QTest::addColumn<bool>("pe32Plus");
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 3; ++seed) {
            QTest::addRow("PE32, seed %u", seed) << false << seed;
            QTest::addRow("PE32+, seed %u", seed) << true << seed;
        }
    }

    // Every field a save of the file writes, set by its name to a random value of its width (in
    // decimal or hexadecimal), lands on exactly its bytes; nothing else changes.
    void everyFieldByName()
    {
        QFETCH(bool, pe32Plus);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const std::vector<uint8_t> original = Image(pe32Plus);
        const ImageHeaders headers = ReadImageHeaders(MemoryBytes(original));
        const HeaderWriteInput input = WriteInputAsRead(headers);
        std::vector<uint8_t> expected = original;
        std::vector<std::string> arguments{"set", Write("every field", original)};
        const std::vector<FieldRef> fields = PlannedFields(input);
        // The header rows, the DOS header's other words but e_lfanew, the directories and
        // each section's name and rows.
        QCOMPARE(fields.size(), size_t((pe32Plus ? 45 : 46) + 19 + 2 * 16 + 3 * 10));
        for (const FieldRef& ref : fields) {
            const HeaderField& field = ref.Field();
            const uint64_t mask = field.width == 8 ? ~0ull : (1ull << (8 * field.width)) - 1;
            uint64_t value = random.generate64() & mask;
            const std::string name = FieldPeName(ref);
            std::ostringstream text;
            if (ref.section >= 0 && ref.index == FieldRef::kNameRow) { // a name: 1 to 8 letters
                std::string letters(1 + random.bounded(8), 'a');
                for (char& c : letters)
                    c = char('a' + random.bounded(26));
                value = PackSectionName(letters);
                text << letters;
            } else if (random.bounded(2)) {
                text << "0x" << std::hex << value;
            } else {
                text << value;
            }
            arguments.push_back(name + "=" + text.str());
            const uint32_t at = FieldPosition(
                field, headers.peOffset, headers.optHeaderSize, ref.section < 0 ? 0u : uint32_t(ref.section));
            WriteLe(expected, at, value, field.width);
        }
        const Result result = Run(arguments);
        QCOMPARE(result.err, std::string());
        QCOMPARE(result.status, 0);
        QCOMPARE(std::count(result.out.begin(), result.out.end(), '\n'), std::ptrdiff_t(fields.size()));
        QCOMPARE(ReadFileBytes(arguments[1]), expected);
    }

    void valueWidths_data()
    {
        QTest::addColumn<bool>("pe32Plus");
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QString>("shown"); // the new value as printed; empty when refused
        QTest::newRow("byte at its top") << false << "MajorLinkerVersion=255"
                                         << "FF";
        QTest::newRow("byte too wide") << false << "MajorLinkerVersion=256"
                                       << "";
        QTest::newRow("byte in hex") << false << "MajorLinkerVersion=0xff"
                                     << "FF";
        QTest::newRow("byte in hex too wide") << false << "MajorLinkerVersion=0x100"
                                              << "";
        QTest::newRow("word at its top") << false << "e_cblp=65535"
                                         << "FFFF";
        QTest::newRow("word too wide") << false << "e_cblp=65536"
                                       << "";
        QTest::newRow("dword at its top") << false << "TimeDateStamp=4294967295"
                                          << "FFFFFFFF";
        QTest::newRow("dword too wide") << false << "TimeDateStamp=4294967296"
                                        << "";
        QTest::newRow("dword in hex, leading zeros") << false << "TimeDateStamp=0x00000000000000FF"
                                                     << "000000FF";
        QTest::newRow("dword in hex too wide") << false << "TimeDateStamp=0x100000000"
                                               << "";
        QTest::newRow("section word shown as dword") << false << "section.0.NumberOfRelocations=65535"
                                                     << "0000FFFF";
        QTest::newRow("section word too wide") << false << "section.0.NumberOfLinenumbers=65536"
                                               << "";
        QTest::newRow("section word far too wide") << false << "section.0.NumberOfRelocations=99999999999"
                                                   << "";
        QTest::newRow("PE32 image base is a dword") << false << "ImageBase=0x100000000"
                                                    << "";
        QTest::newRow("qword at its top") << true << "ImageBase=18446744073709551615"
                                          << "FFFFFFFFFFFFFFFF";
        QTest::newRow("qword too wide") << true << "ImageBase=18446744073709551616"
                                        << "";
        QTest::newRow("qword in hex") << true << "SizeOfStackReserve=0xFFFFFFFFFFFFFFFF"
                                      << "FFFFFFFFFFFFFFFF";
        QTest::newRow("qword in hex too wide") << true << "SizeOfStackReserve=0x10000000000000000"
                                               << "";
        QTest::newRow("negative") << false << "TimeDateStamp=-1"
                                  << "";
        QTest::newRow("plus sign") << false << "TimeDateStamp=+5"
                                   << "";
        QTest::newRow("prefix only") << false << "TimeDateStamp=0x"
                                     << "";
        QTest::newRow("blank") << false << "TimeDateStamp= 5"
                               << "";
        QTest::newRow("exponent") << false << "TimeDateStamp=1e3"
                                  << "";
        QTest::newRow("dollar hex") << false << "TimeDateStamp=$FF"
                                    << "";
    }

    // A value is decimal or 0x-hexadecimal and must fit its field's width, as the window's Save
    // holds a box to it; 8-byte PE32+ fields take the whole 64-bit range.
    void valueWidths()
    {
        QFETCH(bool, pe32Plus);
        QFETCH(QString, assignment);
        QFETCH(QString, shown);
        const std::vector<uint8_t> original = Image(pe32Plus);
        const std::string path = Write("widths", original);
        const Result result = Run({"set", "--dry-run", path, assignment.toStdString()});
        QCOMPARE(ReadFileBytes(path), original);
        if (shown.isEmpty()) {
            QCOMPARE(result.status, 2);
            QVERIFY(result.out.empty());
            const std::string name = assignment.section('=', 0, 0).toStdString();
            QVERIFY2(result.err.find(name) != std::string::npos, result.err.c_str());
            return;
        }
        QCOMPARE(result.status, 0);
        const std::string tail = " -> " + shown.toStdString() + "\n";
        QVERIFY2(result.out.size() > tail.size()
                && result.out.compare(result.out.size() - tail.size(), tail.size(), tail) == 0,
            result.out.c_str());
    }
};

QTEST_GUILESS_MAIN(CliLibraryTest)
#include "CliLibraryTest.moc"
