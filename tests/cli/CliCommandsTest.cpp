// korvex-cli as a process on copies of real files: set and checksum change exactly the bytes of
// their fields, dump prints what hexdump -C prints, find reports every match with its section,
// and bad input gets a clear message, the documented exit status and an untouched file.
#include "CliTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kStub = QStringLiteral("/usr/share/nsis/Stubs/zlib-x86-ansi");
const QString kPe32Plus = QStringLiteral("/usr/share/nsis/Plugins/amd64-unicode/System.dll");

// Where a file's structures start, read straight from its bytes.
struct Layout {
    qsizetype pe = 0, optional = 0, directories = 0, sections = 0;
    bool pe32Plus = false;
    int sectionCount = 0;
    explicit Layout(const QByteArray& bytes)
    {
        pe = qsizetype(Le(bytes, 60, 4));
        optional = pe + 24;
        pe32Plus = Le(bytes, optional, 2) == 0x20B;
        directories = optional + (pe32Plus ? 112 : 96);
        sections = optional + qsizetype(Le(bytes, pe + 20, 2));
        sectionCount = int(Le(bytes, pe + 6, 2));
    }
    qsizetype Base(const QString& name) const
    {
        return name == "dos" ? 0
            : name == "file" ? pe + 4
            : name == "opt"  ? optional
            : name == "dir"  ? directories
                             : sections;
    }
};

// An edit a set command should make: width bytes at a structure's start + offset.
struct Patch {
    QString base; // dos, file, opt, dir, sec
    int offset = 0;
    quint64 value = 0;
    int width = 0;
};

// Every match of needle in bytes (overlapping ones too), compared as fold() makes the bytes.
QList<qsizetype> NaiveMatches(const QByteArray& bytes, const QByteArray& needle, char (*fold)(char) = nullptr)
{
    QList<qsizetype> hits;
    for (qsizetype i = 0; i + needle.size() <= bytes.size(); ++i) {
        bool same = true;
        for (qsizetype k = 0; k < needle.size() && same; ++k)
            same = (fold ? fold(bytes[i + k]) : bytes[i + k]) == needle[k];
        if (same)
            hits << i;
    }
    return hits;
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

// What find prints for each offset: the section whose raw data holds it, and the RVA there.
QString ExpectedFindLines(const QByteArray& bytes, const QList<qsizetype>& hits)
{
    const Layout layout(bytes);
    QString lines;
    for (const qsizetype hit : hits) {
        lines += Hex(quint64(hit), 8);
        for (int s = 0; s < layout.sectionCount; ++s) {
            const qsizetype header = layout.sections + 40 * s;
            const quint64 pointer = Le(bytes, header + 20, 4), size = Le(bytes, header + 16, 4);
            if (quint64(hit) >= pointer && quint64(hit) - pointer < size) {
                const QByteArray name = bytes.mid(header, 8);
                lines += "\t"
                    + QString::fromLatin1(name.left(name.indexOf('\0') < 0 ? 8 : name.indexOf('\0'))) + "\t"
                    + Hex(Le(bytes, header + 12, 4) + (quint64(hit) - pointer), 8);
                break;
            }
        }
        lines += '\n';
    }
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Patch)
Q_DECLARE_METATYPE(QList<Patch>)

class CliCommandsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FDir;

    QString Copy(const QString& source, const QString& name) { return CopyTo(FDir, source, name); }

    QString Make(const QString& name, const QByteArray& bytes)
    {
        const QString path = FDir.filePath(name);
        return WriteAll(path, bytes) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(kStub) || !QFile::exists(kPe32Plus))
            QSKIP("nsis-common is not installed (scripts/install-deps test installs it)");
    }

    void setChangesExactlyItsFields_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("assignments");
        QTest::addColumn<QList<Patch>>("patches");
        QTest::newRow("time stamp zeroed")
            << kStub << QStringList{"TimeDateStamp=0"} << QList<Patch>{{"file", 4, 0, 4}};
        QTest::newRow("DLL characteristics in hex")
            << kStub << QStringList{"DllCharacteristics=0x8160"} << QList<Patch>{{"opt", 70, 0x8160, 2}};
        QTest::newRow("DOS and optional header fields")
            << kStub
            << QStringList{"e_cblp=0x1234", "e_cs=7", "MajorLinkerVersion=255", "SizeOfStackReserve=0x100000"}
            << QList<Patch>{
                   {"dos", 2, 0x1234, 2}, {"dos", 22, 7, 2}, {"opt", 2, 255, 1}, {"opt", 72, 0x100000, 4}};
        QTest::newRow("section rows")
            << kStub
            << QStringList{"section.1.Characteristics=3221225536", "section.0.NumberOfRelocations=65535"}
            << QList<Patch>{{"sec", 40 + 36, 3221225536u, 4}, {"sec", 32, 65535, 2}};
        QTest::newRow("directories by name and by index")
            << kStub
            << QStringList{"directory.Security.VirtualAddress=0x1234", "directory.4.Size=16",
                   "directory.BaseRelocation.Size=0"}
            << QList<Patch>{{"dir", 32, 0x1234, 4}, {"dir", 36, 16, 4}, {"dir", 44, 0, 4}};
        QTest::newRow("PE32+ 8-byte fields")
            << kPe32Plus
            << QStringList{"ImageBase=0xFFFFFFFFFFFFFFFF", "SizeOfHeapCommit=18446744073709551615",
                   "LoaderFlags=1"}
            << QList<Patch>{{"opt", 24, ~0ull, 8}, {"opt", 96, ~0ull, 8}, {"opt", 104, 1, 4}};
        QTest::newRow("PE32+ directory")
            << kPe32Plus << QStringList{"directory.Debug.Size=0x1C"} << QList<Patch>{{"dir", 52, 0x1C, 4}};
        QTest::newRow("names in any case, a section by name")
            << kStub
            << QStringList{"timedatestamp=0x12345678", "section[.data].characteristics=0xC0000040",
                   "DIRECTORY.security.SIZE=8"}
            << QList<Patch>{{"file", 4, 0x12345678, 4}, {"sec", 40 + 36, 0xC0000040, 4}, {"dir", 36, 8, 4}};
    }

    // set writes exactly the fields named (and --checksum the checksum the result has), prints
    // NAME: old -> new for each; --dry-run prints the same and writes nothing.
    void setChangesExactlyItsFields()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, assignments);
        QFETCH(QList<Patch>, patches);
        for (const bool checksum : {false, true}) {
            const QString path = Copy(source, QStringLiteral("set target"));
            const QByteArray before = ReadAll(path);
            const Layout layout(before);
            QByteArray expected = before;
            QString lines;
            for (int i = 0; i < patches.size(); ++i) {
                const Patch& patch = patches[i];
                const qsizetype at = layout.Base(patch.base) + patch.offset;
                const int digits = patch.base == "sec" ? 8 : 2 * patch.width;
                lines += assignments[i].section('=', 0, 0) + ": " + Hex(Le(before, at, patch.width), digits)
                    + " -> " + Hex(patch.value, digits) + "\n";
                Put(expected, at, patch.value, patch.width);
            }
            if (checksum) {
                const quint32 sum = PlainChecksum(expected);
                lines += "CheckSum: " + Hex(Le(before, layout.optional + 64, 4), 8) + " -> " + Hex(sum, 8)
                    + "\n";
                Put(expected, layout.optional + 64, sum, 4);
            }
            QStringList arguments{QStringLiteral("set")};
            if (checksum)
                arguments << QStringLiteral("--checksum");
            const ToolRun dry
                = RunCliTool(arguments + QStringList{QStringLiteral("--dry-run"), path} + assignments);
            QCOMPARE(dry.status, 0);
            QCOMPARE(QString::fromUtf8(dry.out), lines);
            QCOMPARE(ReadAll(path), before);

            const ToolRun run = RunCliTool(arguments + QStringList{path} + assignments);
            QCOMPARE(run.err, QByteArray());
            QCOMPARE(run.status, 0);
            QCOMPARE(QString::fromUtf8(run.out), lines);
            QCOMPARE(ReadAll(path), expected);
            if (checksum)
                QCOMPARE(RunCliTool({QStringLiteral("checksum"), path}).status, 0);
        }

        // get reads the same fields back under the same names, in hexadecimal with 0x or decimal.
        const QString path = Copy(source, QStringLiteral("set target"));
        QStringList names;
        for (const QString& assignment : assignments)
            names << assignment.section('=', 0, 0);
        QCOMPARE(RunCliTool(QStringList{QStringLiteral("set"), path} + assignments).status, 0);
        const ToolRun hex = RunCliTool(QStringList{QStringLiteral("get"), path} + names);
        const ToolRun decimal
            = RunCliTool(QStringList{QStringLiteral("get"), QStringLiteral("--decimal"), path} + names);
        QCOMPARE(hex.status, 0);
        QCOMPARE(decimal.status, 0);
        const QByteArray after = ReadAll(path);
        QString hexLines, decimalLines;
        for (const Patch& patch : patches) {
            const quint64 value = Le(after, Layout(after).Base(patch.base) + patch.offset, patch.width);
            hexLines += "0x" + Hex(value, patch.base == "sec" ? 8 : 2 * patch.width) + "\n";
            decimalLines += QString::number(value) + "\n";
        }
        QCOMPARE(QString::fromUtf8(hex.out), hexLines);
        QCOMPARE(QString::fromUtf8(decimal.out), decimalLines);
    }

    // checksum tells stored from computed, exits 1 on a difference; a stored 0 is "not set" (exit 0)
    // unless --strict; --fix writes the sum and nothing else.
    void checksumAndFix()
    {
        const QString unset = Copy(kStub, QStringLiteral("unset.exe"));
        QCOMPARE(Le(ReadAll(unset), Layout(ReadAll(unset)).optional + 64, 4), 0u);
        const QString unsetLine
            = unset + ": stored 00000000, computed " + Hex(PlainChecksum(ReadAll(unset)), 8);
        ToolRun run = RunCliTool({QStringLiteral("checksum"), unset});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.out), unsetLine + ", not set\n");
        run = RunCliTool({QStringLiteral("checksum"), QStringLiteral("--strict"), unset});
        QCOMPARE(run.status, 1);
        QCOMPARE(QString::fromUtf8(run.out), unsetLine + ", differs\n");

        const QString wrong = Copy(kStub, QStringLiteral("stub.exe"));
        QCOMPARE(RunCliTool({QStringLiteral("set"), wrong, QStringLiteral("CheckSum=1")}).status, 0);
        const QByteArray before = ReadAll(wrong);
        const Layout layout(before);
        const quint32 sum = PlainChecksum(before);
        QVERIFY(Le(before, layout.optional + 64, 4) != sum);
        QStringList efi;
        for (const QString& file : RealFiles())
            if (file.endsWith(QLatin1String(".efi")) || file.endsWith(QLatin1String("libssp-0.dll")))
                efi << file;

        const QString stored = Hex(Le(before, layout.optional + 64, 4), 8);
        run = RunCliTool(QStringList{QStringLiteral("checksum"), wrong} + efi);
        QCOMPARE(run.status, 1); // the stub's differs
        QVERIFY(run.out.startsWith(
            (wrong + ": stored " + stored + ", computed " + Hex(sum, 8) + ", differs\n").toUtf8()));
        for (const QString& file : efi) {
            const QByteArray bytes = ReadAll(file);
            const bool matches = PlainChecksum(bytes) == Le(bytes, Layout(bytes).optional + 64, 4);
            QVERIFY(run.out.contains((file + ": stored " + Hex(Le(bytes, Layout(bytes).optional + 64, 4), 8)
                + ", computed " + Hex(PlainChecksum(bytes), 8) + (matches ? ", matches\n" : ", differs\n"))
                                         .toUtf8()));
        }
        QCOMPARE(ReadAll(wrong), before);

        run = RunCliTool({QStringLiteral("checksum"), QStringLiteral("--fix"), wrong});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.out),
            wrong + ": stored " + stored + ", computed " + Hex(sum, 8) + ", fixed\n");
        QByteArray expected = before;
        Put(expected, layout.optional + 64, sum, 4);
        QCOMPARE(ReadAll(wrong), expected);
        run = RunCliTool({QStringLiteral("checksum"), wrong});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.endsWith(", matches\n"));
    }

    void dumpAsHexdump_data()
    {
        QTest::addColumn<QString>("source"); // a real file, or a made one ("zeros", "letters")
        QTest::addColumn<QStringList>("arguments"); // after FILE
        QTest::addColumn<QStringList>("hexdumpArguments"); // -s and -n of the same bytes
        QTest::newRow("offset and length") << kStub << QStringList{"--offset", "0", "--length", "100"}
                                           << QStringList{"-s", "0", "-n", "100"};
        QTest::newRow("hexadecimal offset, odd length")
            << kStub << QStringList{"--offset", "0x3c", "--length", "37"}
            << QStringList{"-s", "60", "-n", "37"};
        QTest::newRow("offset to the end")
            << kStub << QStringList{"--offset", "0x8000"} << QStringList{"-s", "32768"};
        QTest::newRow("repeated lines squeezed")
            << "zeros" << QStringList{"--offset", "5"} << QStringList{"-s", "5"};
        QTest::newRow("at the end of the file")
            << "zeros" << QStringList{"--offset", "4100"} << QStringList{"-s", "4100"};
        QTest::newRow("nine bytes") << "letters" << QStringList{"--offset", "0", "--length", "9"}
                                    << QStringList{"-n", "9"};
        QTest::newRow("whole made file") << "letters" << QStringList{"--offset", "0"} << QStringList{};
    }

    // dump prints byte for byte what hexdump -C prints for the same range.
    void dumpAsHexdump()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, hexdumpArguments);
        if (QStandardPaths::findExecutable(QStringLiteral("hexdump")).isEmpty())
            QSKIP("no hexdump");
        QString path = source;
        if (source == "zeros") {
            QByteArray bytes(4100, '\0');
            bytes.replace(2000, 5, "hello");
            path = Make(source, bytes);
        } else if (source == "letters") {
            QByteArray bytes;
            for (int i = 0; i < 300; ++i)
                bytes.append(char(i * 7));
            path = Make(source, bytes);
        }
        const ToolRun dump = RunCliTool(QStringList{QStringLiteral("dump"), path} + arguments);
        const ToolRun hexdump = RunTool(QStringLiteral("hexdump"),
            QStringList{QStringLiteral("-C")} + hexdumpArguments + QStringList{path});
        QCOMPARE(dump.status, 0);
        QVERIFY(!hexdump.out.isEmpty());
        QCOMPARE(dump.out, hexdump.out);
    }

    // --section dumps a section's raw data (by index or name) and --entry the 512 bytes at the
    // entry point, as hexdump shows those ranges; the View checks refuse with the window's texts.
    void dumpSectionsAndEntry()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("hexdump")).isEmpty())
            QSKIP("no hexdump");
        for (const QString& file : {kStub, kPe32Plus}) {
            const QByteArray bytes = ReadAll(file);
            const Layout layout(bytes);
            for (int s = 0; s < layout.sectionCount; ++s) {
                const qsizetype header = layout.sections + 40 * s;
                const quint64 size = Le(bytes, header + 16, 4), pointer = Le(bytes, header + 20, 4);
                const ToolRun dump = RunCliTool(
                    {QStringLiteral("dump"), file, QStringLiteral("--section"), QString::number(s)});
                if (size == 0) {
                    QCOMPARE(dump.status, 3);
                    QCOMPARE(
                        QString::fromUtf8(dump.err), "korvex-cli: " + file + ": Section size is zero.\n");
                    continue;
                }
                const ToolRun hexdump = RunTool(QStringLiteral("hexdump"),
                    {QStringLiteral("-C"), QStringLiteral("-s"), QString::number(pointer),
                        QStringLiteral("-n"), QString::number(size), file});
                QCOMPARE(dump.status, 0);
                QCOMPARE(dump.out, hexdump.out);
            }
        }
        const ToolRun byName = RunCliTool(
            {QStringLiteral("dump"), kStub, QStringLiteral("--section"), QStringLiteral(".text")});
        QCOMPARE(byName.out,
            RunCliTool({QStringLiteral("dump"), kStub, QStringLiteral("--section"), QStringLiteral("0")})
                .out);

        const QJsonObject json = QJsonDocument::fromJson(
            RunCliTool({QStringLiteral("show"), QStringLiteral("--json"), kStub}).out)
                                     .object();
        const qint64 entry = json[QStringLiteral("entry_point_file_offset")].toInteger();
        QVERIFY(entry > 0);
        ToolRun dump = RunCliTool({QStringLiteral("dump"), kStub, QStringLiteral("--entry")});
        QCOMPARE(dump.status, 0);
        QCOMPARE(dump.out,
            RunTool(QStringLiteral("hexdump"),
                {QStringLiteral("-C"), QStringLiteral("-s"), QString::number(entry), QStringLiteral("-n"),
                    QStringLiteral("512"), kStub})
                .out);

        // Past the end of the file: only the bytes the file has, and a note.
        const QString cut = Make(QStringLiteral("cut"), ReadAll(kStub).left(entry + 100));
        dump = RunCliTool({QStringLiteral("dump"), cut, QStringLiteral("--entry")});
        QCOMPARE(dump.status, 0);
        QCOMPARE(dump.out,
            RunTool(QStringLiteral("hexdump"),
                {QStringLiteral("-C"), QStringLiteral("-s"), QString::number(entry), cut})
                .out);
        QVERIFY(dump.err.contains("412 of the 512 bytes"));
        const QString none = Make(QStringLiteral("none"), ReadAll(kStub).left(entry));
        dump = RunCliTool({QStringLiteral("dump"), none, QStringLiteral("--entry")});
        QCOMPARE(dump.status, 3);
        QVERIFY(dump.out.isEmpty());

        // The View checks, on section 0 made to point past the end and to run past it.
        const QString path = Copy(kStub, QStringLiteral("bad sections"));
        const qsizetype size = ReadAll(path).size();
        QCOMPARE(RunCliTool(
                     {QStringLiteral("set"), path, "section.0.PointerToRawData=" + QString::number(size + 1)})
                     .status,
            0);
        dump = RunCliTool({QStringLiteral("dump"), path, QStringLiteral("--section"), QStringLiteral("0")});
        QCOMPARE(dump.status, 3);
        QCOMPARE(QString::fromUtf8(dump.err), "korvex-cli: " + path + ": Pointer to raw data passes EOF.\n");
        QCOMPARE(RunCliTool(
                     {QStringLiteral("set"), path, "section.0.PointerToRawData=" + QString::number(size - 16),
                         QStringLiteral("section.0.SizeOfRawData=17")})
                     .status,
            0);
        dump = RunCliTool({QStringLiteral("dump"), path, QStringLiteral("--section"), QStringLiteral("0")});
        QCOMPARE(dump.status, 3);
        QCOMPARE(QString::fromUtf8(dump.err), "korvex-cli: " + path + ": Section size is to large.\n");
        QCOMPARE(
            RunCliTool({QStringLiteral("set"), path, QStringLiteral("section.0.SizeOfRawData=16")}).status,
            0);
        QCOMPARE(RunCliTool({QStringLiteral("dump"), path, QStringLiteral("--section"), QStringLiteral("0")})
                     .status,
            0);
    }

    void findMatches_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("pattern"); // the bytes looked for
        QTest::addColumn<bool>("ignoreCase");
        QTest::newRow("DOS stub text")
            << kStub << QStringList{} << QByteArray("This program cannot be run in DOS mode") << false;
        QTest::newRow("hex bytes") << kStub << QStringList{"--hex"} << QByteArray("\x4D\x5A", 2) << false;
        QTest::newRow("overlapping zero words")
            << kStub << QStringList{"--hex"} << QByteArray("\0\0\0\0\0\0\0\0", 8) << false;
        QTest::newRow("ignore case") << kPe32Plus << QStringList{"-i"} << QByteArray("kernel32.dll") << true;
        QTest::newRow("case kept") << kPe32Plus << QStringList{} << QByteArray("KERNEL32.dll") << false;
    }

    // find reports every match of the editor's search, overlapping ones too, with the section
    // whose raw data holds it and the RVA there; exit 1 when there is none.
    void findMatches()
    {
        QFETCH(QString, source);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, pattern);
        QFETCH(bool, ignoreCase);
        const QByteArray bytes = ReadAll(source);
        const QList<qsizetype> hits = NaiveMatches(bytes, pattern, ignoreCase ? AsciiLower : nullptr);
        const QString given
            = options.contains("--hex") ? QString::fromLatin1(pattern.toHex()) : QString::fromLatin1(pattern);
        const ToolRun run
            = RunCliTool(QStringList{QStringLiteral("find")} + options + QStringList{source, given});
        QCOMPARE(run.status, hits.isEmpty() ? 1 : 0);
        QCOMPARE(QString::fromUtf8(run.out), ExpectedFindLines(bytes, hits));
    }

    // Across the tool's read blocks, Windows-1252 case folding, patterns it refuses.
    void findEdges()
    {
        QByteArray big(3 << 20, 'a');
        big[(1 << 20) - 3] = 'n';
        big.replace((1 << 20) - 2, 5, "eedle");
        big.replace((2 << 20) - 1, 6, "needle");
        const QString path = Make(QStringLiteral("big"), big);
        ToolRun run = RunCliTool({QStringLiteral("find"), path, QStringLiteral("needle")});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.out), Hex((1 << 20) - 3, 8) + "\n" + Hex((2 << 20) - 1, 8) + "\n");
        run = RunCliTool({QStringLiteral("find"), path, QStringLiteral("aaaa")});
        QCOMPARE(run.out.count('\n'), qsizetype(NaiveMatches(big, "aaaa").size()));

        const QString accents
            = Make(QStringLiteral("accents"), QByteArray("xx\xC9T\xC9yy\xE9t\xE9zz\xE9t\xC9", 16));
        run = RunCliTool({QStringLiteral("find"), QStringLiteral("-i"), accents, QStringLiteral("été")});
        QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("00000002\n00000007\n0000000C\n"));
        run = RunCliTool({QStringLiteral("find"), accents, QStringLiteral("été")});
        QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("00000007\n"));
        run = RunCliTool({QStringLiteral("find"), accents, QStringLiteral("€")});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.isEmpty());

        const struct {
            QStringList arguments;
            const char* message;
        } refused[] = {{{"Ω"}, "has no Windows-1252 code"}, {{"--hex", "ABC"}, "Invalid Hex value."},
            {{"--hex", "4G"}, "Invalid Hex value."}, {{"--hex", "-i", "4D"}, "--ignore-case"},
            {{""}, "empty"}};
        for (const auto& [arguments, message] : refused) {
            QStringList all{QStringLiteral("find")};
            all << arguments;
            all.insert(all.size() - 1, accents);
            run = RunCliTool(all);
            QCOMPARE(run.status, 2);
            QVERIFY2(run.err.contains(message), run.err.constData());
        }
    }

    void findWide_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("ignoreCase");
        QTest::newRow("installer") << "/usr/share/nsis/Stubs/zlib-x86-unicode"
                                   << "installer" << false;
        QTest::newRow("INSTALLER, any case") << "/usr/share/nsis/Stubs/lzma-x86-unicode"
                                             << "INSTALLER" << true;
        QTest::newRow("EFI variable") << "/usr/lib/systemd/boot/efi/systemd-bootx64.efi"
                                      << "LoaderConfig" << false;
        QTest::newRow("plug-in, any case") << "/usr/share/nsis/Plugins/x86-unicode/InstallOptions.dll"
                                           << "fIELD" << true;
    }

    // find --utf16 finds what strings -el finds: a printable pattern of four characters or more lies
    // only in the wide strings strings -el lists, at its offset plus two bytes a character.
    void findWide()
    {
        QFETCH(QString, source);
        QFETCH(QString, pattern);
        QFETCH(bool, ignoreCase);
        const ToolRun strings = RunTool(QStringLiteral("strings"), {"-el", "-t", "x", source});
        QVERIFY(strings.status == 0 && !strings.out.isEmpty());
        QString expected;
        const Qt::CaseSensitivity sensitivity = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
        static const QRegularExpression listed(QStringLiteral("^ *([0-9a-f]+) (.*)$"));
        for (const QString& line : QString::fromLatin1(strings.out).split('\n', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = listed.match(line);
            const quint64 offset = match.captured(1).toULongLong(nullptr, 16);
            const QString text = match.captured(2);
            for (qsizetype at = text.indexOf(pattern, 0, sensitivity); at >= 0;
                 at = text.indexOf(pattern, at + 1, sensitivity))
                expected += Hex(offset + 2 * quint64(at), 8) + "\n";
        }
        QVERIFY(!expected.isEmpty());
        QStringList arguments{QStringLiteral("find"), QStringLiteral("--utf16"), source, pattern};
        if (ignoreCase)
            arguments.insert(1, QStringLiteral("-i"));
        const ToolRun run = RunCliTool(arguments);
        QCOMPARE(run.status, 0);
        QString offsets;
        for (const QString& line : QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts))
            offsets += line.section('\t', 0, 0) + "\n";
        QCOMPARE(offsets, expected);
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("file"); // stub, pe32plus, missing, directory, text, 97, truncated, none
        QTest::addColumn<QStringList>("arguments"); // FILE stands for the file
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("messages"); // lines expected on standard error, in order
        QTest::newRow("missing file")
            << "missing" << QStringList{"show", "FILE"} << 3
            << QStringList{"FILE: Cannot open file FILE (No such file or directory)"};
        QTest::newRow("directory") << "directory" << QStringList{"show", "FILE"} << 3
                                   << QStringList{"FILE: Cannot open file FILE (it is a directory)"};
        QTest::newRow("not a PE file")
            << "text" << QStringList{"set", "FILE", "TimeDateStamp=0"} << 3
            << QStringList{"FILE: The file does not have a valid MZ or PE header."};
        QTest::newRow("97 sections") << "97" << QStringList{"show", "--json", "FILE"} << 3
                                     << QStringList{"FILE: To many sections. File might be corrupted.",
                                            "FILE: The file does not have a valid MZ or PE header."};
        QTest::newRow("truncated headers")
            << "truncated" << QStringList{"show", "FILE"} << 3
            << QStringList{"FILE: the file ends at 400 bytes, inside its headers"};
        QTest::newRow("field past the end of a truncated file")
            << "truncated" << QStringList{"set", "FILE", "section.2.Characteristics=0"} << 3
            << QStringList{"FILE: nothing was written: the file ends before section.2.Characteristics"};
        QTest::newRow("unknown field")
            << "stub" << QStringList{"set", "FILE", "TimeStamp=0"} << 2
            << QStringList{"FILE: unknown field TimeStamp (did you mean `TimeDateStamp`?)"};
        QTest::newRow("unknown section row")
            << "stub" << QStringList{"get", "FILE", "section.0.Characteristic"} << 2
            << QStringList{"FILE: unknown field section.0.Characteristic (did you mean "
                           "`section.0.Characteristics`?)"};
        QTest::newRow("no section of that name")
            << "stub" << QStringList{"get", "FILE", "section[.txt].VirtualSize"} << 2
            << QStringList{"FILE: no section named .txt (did you mean `.text`?) (the file has .text, .data,"};
        QTest::newRow("get: every name checked first")
            << "pe32plus" << QStringList{"get", "FILE", "Machine", "BaseOfData", "section.20.Name"} << 2
            << QStringList{"FILE: BaseOfData: a PE32+ optional header has no such field",
                   "FILE: section.20.Name: the file has 11 sections"};
        QTest::newRow("get: missing file") << "missing" << QStringList{"get", "FILE", "Machine"} << 3
                                           << QStringList{"FILE: Cannot open file FILE"};
        QTest::newRow("value too wide")
            << "stub" << QStringList{"set", "FILE", "TimeDateStamp=4294967296"} << 2
            << QStringList{"FILE: The value of TimeDateStamp does not fit its field of 4 bytes."};
        QTest::newRow("not a number") << "stub" << QStringList{"set", "FILE", "Machine=x86"} << 2
                                      << QStringList{"FILE: Machine: 'x86' is not a valid integer value"};
        QTest::newRow("malformed assignment") << "stub" << QStringList{"set", "FILE", "TimeDateStamp"} << 2
                                              << QStringList{"FILE: malformed assignment 'TimeDateStamp'"};
        QTest::newRow("e_lfanew") << "stub" << QStringList{"set", "FILE", "e_lfanew=0x100"} << 2
                                  << QStringList{"FILE: e_lfanew cannot be set"};
        QTest::newRow("Base Of Data of PE32+")
            << "pe32plus" << QStringList{"set", "FILE", "BaseOfData=0"} << 2
            << QStringList{"FILE: BaseOfData cannot be set: a PE32+ optional header"};
        QTest::newRow("section out of range")
            << "stub" << QStringList{"set", "FILE", "section.9.VirtualSize=0"} << 2
            << QStringList{"FILE: section.9.VirtualSize cannot be set: the file has"};
        QTest::newRow("section name too long")
            << "stub" << QStringList{"set", "FILE", "section.0.Name=.toolongname"} << 2
            << QStringList{"FILE: section.0.Name: a section name has at most 8 characters"};
        QTest::newRow("assigned twice") << "stub" << QStringList{"set", "FILE", "e_cp=1", "e_cp=2"} << 2
                                        << QStringList{"FILE: e_cp is assigned twice"};
        QTest::newRow("every bad assignment named, good ones not written")
            << "stub" << QStringList{"set", "FILE", "e_cp=1", "Foo=1", "e_ss=65536"} << 2
            << QStringList{
                   "FILE: unknown field Foo", "FILE: The value of e_ss does not fit its field of 2 bytes."};
        QTest::newRow("no command") << "none" << QStringList{} << 2
                                    << QStringList{"a command is required: show, get, set, checksum, dump, "
                                                   "find, set-timestamps, diff, verify or check"};
        QTest::newRow("unknown command")
            << "none" << QStringList{"patch", "x"} << 2
            << QStringList{"unknown command `patch` (the commands are show, get, set, checksum, dump, find, "
                           "set-timestamps, diff, verify or check)"};
        QTest::newRow("check: required and present")
            << "stub" << QStringList{"check", "--require", "DEP,no-wx", "FILE"} << 0 << QStringList{};
        QTest::newRow("check: required and missing")
            << "stub" << QStringList{"check", "--require", "dep", "--require", "aslr", "FILE"} << 1
            << QStringList{};
        QTest::newRow("check: unknown property")
            << "stub" << QStringList{"check", "--require", "aslr,dpe", "FILE"} << 2
            << QStringList{"unknown property `dpe` for --require (did you mean `dep`?)"};
        QTest::newRow("mistyped command") << "none" << QStringList{"shwo", "x"} << 2
                                          << QStringList{"unknown command `shwo` (did you mean `show`?)"};
        QTest::newRow("dump without a range")
            << "stub" << QStringList{"dump", "FILE"} << 2
            << QStringList{"dump: give exactly one of --section, --entry and --offset"};
        QTest::newRow("dump of a missing section")
            << "stub" << QStringList{"dump", "FILE", "--section", ".nothing"} << 2
            << QStringList{"dump: no section .nothing"};
        QTest::newRow("dump offset past the end")
            << "stub" << QStringList{"dump", "FILE", "--offset", "0x7FFFFFFF"} << 3
            << QStringList{"FILE: offset 2147483647 passes EOF"};
    }

    // Bad input: the message names the file and the field, the exit status is the documented
    // one, and the file keeps every byte.
    void badInput()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, messages);
        QString path;
        if (file == "stub" || file == "97" || file == "truncated")
            path = Copy(kStub, file);
        else if (file == "pe32plus")
            path = Copy(kPe32Plus, file);
        else if (file == "missing")
            path = FDir.filePath(QStringLiteral("no such file.exe"));
        else if (file == "directory")
            path = FDir.path();
        else if (file == "text")
            path = Make(file, "just some text\n");
        if (file == "97") {
            QCOMPARE(
                RunCliTool({QStringLiteral("set"), path, QStringLiteral("NumberOfSections=97")}).status, 0);
        } else if (file == "truncated") {
            QVERIFY(WriteAll(path, ReadAll(path).left(400))); // inside the section table
        }
        const QByteArray before = path.isEmpty() ? QByteArray() : ReadAll(path);
        for (QString& argument : arguments)
            argument.replace(QLatin1String("FILE"), path);
        const ToolRun run = RunCliTool(arguments);
        QCOMPARE(run.status, status);
        const QStringList lines = QString::fromUtf8(run.err).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= messages.size(), run.err.constData());
        for (int i = 0; i < messages.size(); ++i) {
            QString message = messages[i];
            message.replace(QLatin1String("FILE"), path);
            QVERIFY2(lines[i].startsWith("korvex-cli: " + message), qPrintable(lines[i]));
        }
        if (file == "none")
            QVERIFY(run.err.contains("--help"));
        if (status == 2)
            QVERIFY(run.out.isEmpty());
        if (!path.isEmpty())
            QCOMPARE(ReadAll(path), before);
    }

    // --version gives the project's version; --help documents the exit statuses.
    void helpAndVersion()
    {
        ToolRun run = RunCliTool({QStringLiteral("--version")});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.out).trimmed(), QStringLiteral("korvex-cli " KORVEX_VERSION));
        for (const QString& command : {QString(), QStringLiteral("show"), QStringLiteral("get"),
                 QStringLiteral("set"), QStringLiteral("checksum"), QStringLiteral("dump"),
                 QStringLiteral("find"), QStringLiteral("verify"), QStringLiteral("check")}) {
            run = RunCliTool(command.isEmpty() ? QStringList{QStringLiteral("--help")}
                                               : QStringList{command, QStringLiteral("--help")});
            QCOMPARE(run.status, 0);
            QVERIFY(run.out.contains("Exit status: 0 success; 1 check failed"));
            QVERIFY(run.out.contains("3 file or header error"));
        }
    }
};

QTEST_GUILESS_MAIN(CliCommandsTest)
#include "CliCommandsTest.moc"
