// Hostile files made from real ones by patching: cycles, huge counts, pointers outside the file,
// truncated tables. Each ends with what could be read and an anomaly naming the damage; none
// crashes or hangs (the sanitizer build and the test's time limit watch that).
#include "contents/Contents.h"

#include <QFile>
#include <QTest>

#include <cstring>

namespace {

void Put32(std::vector<uint8_t>& bytes, uint64_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

ImageContents Decode(const std::vector<uint8_t>& bytes, ImageHeaders& headers)
{
    const MemoryBytes file(bytes);
    headers = ReadImageHeaders(file);
    return DecodeContents(file, headers);
}

size_t PartCount(const ImageContents& contents, const QString& part)
{
    if (part == "resources")
        return contents.resources.size();
    if (part == "exports")
        return contents.exports.functions.size();
    if (part == "imports")
        return contents.imports.size();
    if (part == "relocations")
        return contents.relocations.blocks.size();
    if (part == "tls")
        return contents.tls.fields.size();
    return 1;
}

} // namespace

class ContentsHostileTest : public QObject {
    Q_OBJECT

private slots:
    void EndsSoundly_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("patch");
        QTest::addColumn<QString>("anomaly");
        QTest::addColumn<QString>("part"); // what must still have been read
        const QString stub = "/usr/share/nsis/Stubs/zlib-x86-unicode";
        const QString plugin = "/usr/share/nsis/Plugins/x86-unicode/nsDialogs.dll";
        const QString dll = "/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll";
        const QString signedEfi = "/usr/lib/shim/mmx64.efi.signed";
        QTest::newRow("resource cycle") << stub << "resource-cycle"
                                        << "(a cycle)"
                                        << "resources";
        QTest::newRow("resource name 0xFFFFFFFF") << stub << "resource-name"
                                                  << "Resource name at"
                                                  << "resources";
        QTest::newRow("resource tree truncated") << stub << "truncate-resources"
                                                 << "run past the end"
                                                 << "";
        QTest::newRow("NumberOfFunctions 0xFFFFFFFF") << plugin << "export-count"
                                                      << "NumberOfFunctions 4294967295"
                                                      << "exports";
        QTest::newRow("NumberOfNames 0xFFFFFFFF") << plugin << "export-names"
                                                  << "NumberOfNames"
                                                  << "exports";
        QTest::newRow("AddressOfNames outside") << plugin << "export-names-outside"
                                                << "name tables"
                                                << "exports";
        QTest::newRow("import directory outside") << dll << "import-outside"
                                                  << "is not in the file"
                                                  << "";
        QTest::newRow("import chain never ends") << dll << "import-endless"
                                                 << "no zero descriptor ends the list"
                                                 << "imports";
        QTest::newRow("relocation block of size 0") << dll << "relocation-zero"
                                                    << "is below 8"
                                                    << "relocations";
        QTest::newRow("TLS callbacks outside") << dll << "tls-callbacks"
                                               << "AddressOfCallBacks"
                                               << "tls";
        QTest::newRow("WIN_CERTIFICATE dwLength 0") << signedEfi << "certificate-zero"
                                                    << "dwLength 0"
                                                    << "";
        QTest::newRow("certificate table past the end") << signedEfi << "certificate-size"
                                                        << "past the end"
                                                        << "";
    }

    void EndsSoundly()
    {
        QFETCH(QString, file);
        QFETCH(QString, patch);
        QFETCH(QString, anomaly);
        QFETCH(QString, part);
        QFile image(file);
        QVERIFY2(image.open(QIODevice::ReadOnly), "installed by scripts/install-deps test");
        const QByteArray data = image.readAll();
        std::vector<uint8_t> bytes(data.begin(), data.end());
        ImageHeaders headers;
        const ImageContents clean = Decode(bytes, headers);
        QVERIFY(clean.anomalies.empty());
        const MemoryBytes original(bytes);
        const ImageMap map(original, headers);
        auto directory = [&](int entry) { return map.DirectoryEntryOffset(entry); };
        auto resourceBase = [&]() { return *map.OffsetOf(map.DirectoryRva(2)); };

        if (patch == "resource-cycle") {
            Put32(bytes, resourceBase() + 16 + 4, 0x80000000u); // the first type's subtree is the root
        } else if (patch == "resource-name") {
            Put32(bytes, resourceBase() + 16, 0xFFFFFFFFu);
        } else if (patch == "truncate-resources") {
            bytes.resize(resourceBase() + 24);
        } else if (patch == "export-count") {
            Put32(bytes, clean.exports.offset + 20, 0xFFFFFFFFu);
        } else if (patch == "export-names") {
            Put32(bytes, clean.exports.offset + 24, 0xFFFFFFFFu);
        } else if (patch == "export-names-outside") {
            Put32(bytes, clean.exports.offset + 32, 0x7FFFFFF0u);
        } else if (patch == "import-outside") {
            Put32(bytes, directory(1), 0x7FFFFFF0u);
        } else if (patch == "import-endless") {
            const uint64_t terminator = clean.imports.back().offset + 20;
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(terminator), 20, uint8_t(0x41));
        } else if (patch == "relocation-zero") {
            QVERIFY(clean.relocations.blocks.size() > 2);
            Put32(bytes, clean.relocations.blocks[1].offset + 4, 0);
        } else if (patch == "tls-callbacks") {
            Put32(bytes, clean.tls.fields[3].offset, 0xFFFFFFF0u);
        } else if (patch == "certificate-zero") {
            Put32(bytes, clean.certificates.at(0).offset, 0);
        } else if (patch == "certificate-size") {
            Put32(bytes, directory(4) + 4, 0x7FFFFFF0u);
        }

        const ImageContents hostile = Decode(bytes, headers);
        QString anomalies;
        for (const std::string& text : hostile.anomalies)
            anomalies += QString::fromStdString(text) + '\n';
        QVERIFY2(anomalies.contains(anomaly), qPrintable(anomalies));
        QVERIFY2(anomalies.contains("at file offset 0x"), qPrintable(anomalies));
        QVERIFY(PartCount(hostile, part) > 0);
    }

    // Not hostile: a small file naming one short string many times. Each name costs what it
    // scanned, so the string limit (a few times the file's size) leaves none of them empty.
    void ManyShortNamesInSmallFile()
    {
        QFile image("/usr/share/nsis/Plugins/x86-unicode/nsDialogs.dll");
        QVERIFY(image.open(QIODevice::ReadOnly));
        const QByteArray data = image.readAll();
        std::vector<uint8_t> bytes(data.begin(), data.end());
        ImageHeaders headers;
        const ImageContents clean = Decode(bytes, headers);
        const uint32_t tableRva = headers.sections.at(0).rows[1]; // .text: room for the tables
        const uint64_t table = *ImageMap(MemoryBytes(bytes), headers).OffsetOf(tableRva);
        constexpr uint32_t count = 1000;
        QVERIFY(table + 6 * count <= headers.sections[0].rows[3] + headers.sections[0].rows[2]);
        for (uint32_t i = 0; i < count; ++i) {
            Put32(bytes, table + 4 * i, static_cast<uint32_t>(clean.exports.fields[4].value)); // Name
            bytes[table + 4 * count + 2 * i] = bytes[table + 4 * count + 2 * i + 1] = 0;
        }
        Put32(bytes, clean.exports.offset + 24, count);
        Put32(bytes, clean.exports.offset + 32, tableRva);
        Put32(bytes, clean.exports.offset + 36, tableRva + 4 * count);
        const ImageContents many = Decode(bytes, headers);
        const std::vector<std::string> expected(count, clean.exports.name);
        QVERIFY(many.exports.functions.at(0).names == expected);
    }
};

QTEST_GUILESS_MAIN(ContentsHostileTest)
#include "ContentsHostileTest.moc"
