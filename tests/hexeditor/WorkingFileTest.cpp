// The Qt-free pieces under the hex editor: temporary names, the working file with its
// read window and size cache, tail moves, the shift file and nibble shifts, change
// marks.
#include "hexeditor/WorkingFile.h"
#include "HexEditorTestSupport.h"
#include "base/Errors.h"
#include "base/FileStream.h"
#include "hexeditor/ChangeMarks.h"
#include "hexeditor/TempFileName.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<uint8_t> ReadAll(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& name, const std::vector<uint8_t>& data)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> Contents(WorkingFile& file)
{
    std::vector<uint8_t> v(static_cast<size_t>(file.FileSize()));
    if (!v.empty())
        file.GetMemAtPos(v.data(), 0, v.size());
    return v;
}

// The classic shift: 512-byte blocks, zero padded, one extra byte after an exact
// multiple of 512.
std::vector<uint8_t> ClassicShift(const std::vector<uint8_t>& data, size_t start)
{
    std::vector<uint8_t> out;
    uint8_t carry = 0;
    size_t pos = start;
    while (pos < data.size()) {
        uint8_t block[512] = {};
        const size_t n = std::min<size_t>(512, data.size() - pos);
        std::copy(data.begin() + static_cast<ptrdiff_t>(pos), data.begin() + static_cast<ptrdiff_t>(pos + n),
            block);
        for (uint8_t& b : block) {
            const uint8_t low = b & 0x0F;
            b = static_cast<uint8_t>((b >> 4) | (carry << 4));
            carry = low;
        }
        out.insert(out.end(), block, block + 512);
        pos += n;
    }
    if ((data.size() - start) % 512 == 0)
        out.push_back(static_cast<uint8_t>(carry << 4));
    return out;
}

std::vector<uint8_t> ClassicInsertNibble(std::vector<uint8_t> data, size_t p, bool high)
{
    const size_t len = data.size();
    const uint8_t b = data[p];
    const auto shift = ClassicShift(data, p);
    data.resize(std::max(len, p + shift.size()));
    std::copy(shift.begin(), shift.end(), data.begin() + static_cast<ptrdiff_t>(p));
    data[p] = high ? static_cast<uint8_t>(b >> 4) : static_cast<uint8_t>(b & 0xF0);
    data.resize(len + 1);
    return data;
}

std::vector<uint8_t> ClassicDeleteNibble(std::vector<uint8_t> data, size_t p, bool high)
{
    const size_t len = data.size();
    const uint8_t b = data[p];
    const auto shift = ClassicShift(data, p);
    data.resize(std::max(len, p + shift.size() - 1));
    std::copy(shift.begin() + 1, shift.end(), data.begin() + static_cast<ptrdiff_t>(p));
    if (!high)
        data[p] = static_cast<uint8_t>((b & 0xF0) | (data[p] & 0x0F));
    data.resize(len);
    return data;
}

// Names of every entry in dir.
QStringList Entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
}

} // namespace

class WorkingFileTest : public QObject {
    Q_OBJECT

private slots:
    void tempNameFormat()
    {
        QCOMPARE(TempFileNameForTick("/t/", 0x1A2B), std::string("/t/00001A2B.ZQUT"));
        QCOMPARE(TempFileNameForTick("/t/", 0xFFFFFFFFu), std::string("/t/FFFFFFFF.ZQUT"));
        const std::string dir = TempDirectory();
        QVERIFY(!dir.empty());
        QCOMPARE(dir.back(), '/');
        QVERIFY(dir.front() > ' ');
    }

    void createSkipsPlantedFileAndLink()
    {
        QTemporaryDir tmp;
        const std::string dir = tmp.path().toStdString() + "/";
        const uint32_t tick = 0x00C0FFEE;
        const std::string first = TempFileNameForTick(dir, tick);
        const std::string second = TempFileNameForTick(dir, tick + 1);
        const std::string dangling = TempFileNameForTick(dir, tick + 2);
        const std::string victim = dir + "victim";
        WriteAll(first, {1, 2, 3});
        WriteAll(victim, {9, 9});
        QCOMPARE(::symlink(victim.c_str(), second.c_str()), 0);
        QCOMPARE(::symlink((dir + "nowhere").c_str(), dangling.c_str()), 0);

        std::string name;
        auto stream = CreateTempFile(name, dir, tick);
        QCOMPARE(name, TempFileNameForTick(dir, tick + 3));
        stream->WriteAt(0, "x", 1);
        // The planted entries are untouched: nothing was truncated, written or followed.
        QCOMPARE(ReadAll(first), (std::vector<uint8_t>{1, 2, 3}));
        QCOMPARE(ReadAll(victim), (std::vector<uint8_t>{9, 9}));
        QVERIFY(fs::is_symlink(second));
        QVERIFY(!fs::exists(dir + "nowhere"));
        struct stat st { };
        QCOMPARE(::stat(name.c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));
    }

    void workingFileNeverFollowsPlantedLink()
    {
        QTemporaryDir tmp;
        const std::string dir = tmp.path().toStdString() + "/";
        const std::string victim = dir + "victim";
        WriteAll(victim, {7, 7, 7});
        QStringList before;
        {
            WorkingFile file(dir);
            // Someone plants a link at the chosen name before the file is created.
            QCOMPARE(::symlink(victim.c_str(), file.Path().c_str()), 0);
            const std::string planted = file.Path();
            file.CreateEmpty();
            QVERIFY(file.Path() != planted);
            file.SetMemAtPos(reinterpret_cast<const uint8_t*>("abc"), 0, 3);
            QCOMPARE(ReadAll(victim), (std::vector<uint8_t>{7, 7, 7}));
            QVERIFY(fs::is_symlink(planted));

            // Loading a copy also goes around a planted entry.
            const std::string source = dir + "source";
            WriteAll(source, {4, 5});
            file.LoadCopyOf(source);
            QCOMPARE(Contents(file), (std::vector<uint8_t>{4, 5}));
            QCOMPARE(ReadAll(victim), (std::vector<uint8_t>{7, 7, 7}));
            fs::remove(source);
            fs::remove(planted);
        }
        fs::remove(victim);
        QCOMPARE(Entries(tmp.path()), QStringList());
    }

    void nothingLeftBehind_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<bool>("refused"); // the folder refuses to remove an open file
        // Entries in the folder while the working file is alive.
        QTest::addColumn<int>("named");
        for (bool refused : {false, true}) {
            const char* folder = refused ? ", folder refuses early removal" : "";
            QTest::addRow("never created%s", folder) << 0 << refused << 0;
            QTest::addRow("created empty%s", folder) << 1 << refused << (refused ? 1 : 0);
            QTest::addRow("freed%s", folder) << 2 << refused << (refused ? 1 : 0);
            QTest::addRow("loaded%s", folder) << 3 << refused << (refused ? 1 : 0);
            QTest::addRow("load of missing source fails%s", folder) << 4 << refused << 0;
            QTest::addRow("stream load fails%s", folder) << 5 << refused << 0;
            QTest::addRow("nibble shifts%s", folder) << 6 << refused << (refused ? 1 : 0);
            QTest::addRow("loaded twice%s", folder) << 7 << refused << (refused ? 1 : 0);
        }
    }
    void nothingLeftBehind()
    {
        QFETCH(int, scenario);
        QFETCH(bool, refused);
        QFETCH(int, named);
        QTemporaryDir tmp;
        QTemporaryDir sources;
        const std::string dir = tmp.path().toStdString() + "/";
        const std::string source = sources.path().toStdString() + "/src.bin";
        WriteAll(source, RandomBytes(3000, 1));
        std::optional<FolderRefusesRemoval> refusal;
        if (refused)
            refusal.emplace();
        {
            WorkingFile file(dir);
            switch (scenario) {
            case 1:
                file.CreateEmpty();
                break;
            case 2:
                file.LoadCopyOf(source);
                file.Free();
                QVERIFY(!file.IsOpen());
                // Only a file that kept its name stays, emptied, until destruction.
                if (refused)
                    QCOMPARE(fs::file_size(file.Path()), uintmax_t(0));
                break;
            case 3:
                file.LoadCopyOf(source);
                break;
            case 4:
                QVERIFY_THROWS_EXCEPTION(
                    EStreamError, file.LoadCopyOf(sources.path().toStdString() + "/missing"));
                QVERIFY(!file.IsOpen());
                QCOMPARE(file.DataSize(), 0);
                QCOMPARE(Entries(tmp.path()), QStringList());
                break;
            case 5: {
                std::istringstream in("abc");
                in.setstate(std::ios::badbit);
                struct BadBuf : std::streambuf {
                    int_type underflow() override { throw std::ios_base::failure("gone"); }
                } bad;
                std::istream broken(&bad);
                broken.exceptions(std::ios::goodbit);
                QVERIFY_THROWS_EXCEPTION(EStreamError, file.LoadFromStream(broken));
                QVERIFY(!file.IsOpen());
                QCOMPARE(Entries(tmp.path()), QStringList());
                break;
            }
            case 6:
                file.LoadCopyOf(source);
                QVERIFY(ShiftInsertNibble(file, 5, true));
                QVERIFY(ShiftDeleteNibble(file, 5, false));
                break;
            case 7:
                // The second load closes the first working file; a named one goes with it.
                file.LoadCopyOf(source);
                file.LoadCopyOf(source);
                QCOMPARE(Contents(file), RandomBytes(3000, 1));
                break;
            }
            // Alive, and holding data in most rows: nothing has a name in the folder unless
            // the folder refused to remove it (then exactly the working file).
            QCOMPARE(Entries(tmp.path()).size(), named);
            QCOMPARE(file.OwnsFile(), named == 1);
            if (file.IsOpen())
                QCOMPARE(fs::file_size(file.ReachablePath()), uintmax_t(file.FileSize()));
        }
        QCOMPARE(Entries(tmp.path()), QStringList());
    }

    void loadKeepsReadOnlySourceWritableCopy()
    {
        QTemporaryDir tmp;
        const std::string source = tmp.path().toStdString() + "/ro.bin";
        WriteAll(source, {1, 2, 3, 4});
        ::chmod(source.c_str(), 0444);
        WorkingFile file(tmp.path().toStdString());
        file.LoadCopyOf(source);
        file.SetByteAtPos(0, 0xAA);
        QCOMPARE(file.GetByteAtPos(0), uint8_t(0xAA));
        QCOMPARE(ReadAll(source)[0], uint8_t(1));
    }

    void saveKeepsTargetPermissions()
    {
        QTemporaryDir tmp;
        const std::string target = tmp.path().toStdString() + "/t.bin";
        WriteAll(target, {0});
        ::chmod(target.c_str(), 0640);
        WorkingFile file(tmp.path().toStdString());
        file.CreateEmpty();
        file.SetMemAtPos(reinterpret_cast<const uint8_t*>("xyz"), 0, 3);
        QVERIFY(file.SaveCopyTo(target));
        QCOMPARE(ReadAll(target), (std::vector<uint8_t>{'x', 'y', 'z'}));
        struct stat st { };
        ::stat(target.c_str(), &st);
        QCOMPARE(st.st_mode & 0777, mode_t(0640));
        QVERIFY(!file.SaveCopyTo(tmp.path().toStdString() + "/no/such/dir/x"));
        // Empty data (no stream) saves an empty file.
        WorkingFile empty(tmp.path().toStdString());
        QVERIFY(empty.SaveCopyTo(target));
        QCOMPARE(fs::file_size(target), uintmax_t(0));
    }

    void refusesWhatIsNoPlainFileOrNotTheSaversToKeep()
    {
        // A device has no end: loading it is refused at once instead of filling the folder.
        QTemporaryDir tmp;
        WorkingFile device(tmp.path().toStdString());
        QVERIFY_THROWS_EXCEPTION(EFOpenError, device.LoadCopyOf("/dev/zero"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

        // Someone else's set-user-id program, saved over by another user: the new file is the
        // saver's, so it must not keep the set-id bits.
        if (::geteuid() != 0)
            QSKIP("needs root to give the file away and to save as another user");
        const std::string target = tmp.path().toStdString() + "/setid";
        WriteAll(target, {1, 2, 3});
        QCOMPARE(::chmod(target.c_str(), 04755), 0);
        QCOMPARE(::chmod(tmp.path().toLocal8Bit().constData(), 0777), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            WorkingFile file(tmp.path().toStdString());
            file.CreateEmpty();
            file.SetMemAtPos(reinterpret_cast<const uint8_t*>("xyz"), 0, 3);
            ::_exit(file.SaveCopyTo(target) ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(status, 0);
        QCOMPARE(ReadAll(target), (std::vector<uint8_t>{'x', 'y', 'z'}));
        struct stat st { };
        QCOMPARE(::stat(target.c_str(), &st), 0);
        QCOMPARE(st.st_uid, uid_t(65534));
        QCOMPARE(st.st_mode & 07777, mode_t(0755));
    }

    void streamsRoundTrip()
    {
        QTemporaryDir tmp;
        WorkingFile file(tmp.path().toStdString());
        const auto data = RandomBytes(WorkingFile::CopyBlockSize * 2 + 77, 3);
        std::string text(data.begin(), data.end());
        std::istringstream in(text);
        in.seekg(100); // loading starts at position 0 whatever the stream's position
        file.LoadFromStream(in);
        QCOMPARE(Contents(file), data);
        std::ostringstream out;
        out << "head";
        QVERIFY(file.SaveToStream(out));
        QCOMPARE(out.str(), "head" + text);
        WorkingFile none(tmp.path().toStdString());
        std::ostringstream out2;
        QVERIFY(!none.SaveToStream(out2));
    }

    // A range is a snapshot: later writes to the source do not reach it; bytes past the
    // source's end read as 0.
    void rangeIsSnapshot_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("workDir"); // empty: beside the source
        QTest::newRow("inside") << qint64(1000) << 5000 << QString();
        QTest::newRow("past the end") << qint64(9000) << 3000 << QString();
        QTest::newRow("beyond the end") << qint64(20000) << 10 << QString();
        // The kernel copies between file systems another way (sendfile).
        QTest::newRow("to another file system") << qint64(9000) << 3000 << QStringLiteral("/dev/shm");
    }

    void rangeIsSnapshot()
    {
        QFETCH(qint64, offset);
        QFETCH(int, count);
        QFETCH(QString, workDir);
        QTemporaryDir tmp;
        const std::string source = tmp.filePath("source").toStdString();
        auto data = RandomBytes(10000, 5);
        WriteAll(source, data);
        struct stat sourceStat {
        }, workStat{};
        if (!workDir.isEmpty()
            && (::stat(workDir.toLocal8Bit().constData(), &workStat) != 0
                || ::stat(source.c_str(), &sourceStat) != 0 || workStat.st_dev == sourceStat.st_dev))
            QSKIP("no folder on another file system");
        WorkingFile file(workDir.isEmpty() ? tmp.path().toStdString() : workDir.toStdString());
        {
            FileStream in(source, FileStream::Mode::OpenReadWrite);
            file.LoadRangeOf(in, static_cast<uint64_t>(offset), count);
            const std::vector<uint8_t> other(10000, 0xFF);
            in.WriteAt(0, other.data(), other.size());
        }
        data.resize(20000 + static_cast<size_t>(count), 0);
        const auto from = data.begin() + offset;
        QCOMPARE(Contents(file), std::vector<uint8_t>(from, from + count));
    }

    void readWindowRules()
    {
        QTemporaryDir tmp;
        const std::string source = tmp.path().toStdString() + "/d.bin";
        const auto data = RandomBytes(200000, 4);
        WriteAll(source, data);
        WorkingFile file(tmp.path().toStdString());
        file.LoadCopyOf(source);
        QCOMPARE(file.WindowStart(), -1);
        file.CheckInternalBuffer(100, 16);
        QCOMPARE(file.WindowStart(), 0); // centred, cut at 0
        QCOMPARE(file.WindowByte(100), data[100]);
        file.CheckInternalBuffer(65520, 16); // still inside: no reload
        QCOMPARE(file.WindowStart(), 0);
        file.CheckInternalBuffer(65521, 16); // the line would leave the window
        QCOMPARE(file.WindowStart(), 65521 - 32768);
        file.CheckInternalBuffer(199990, 16);
        QCOMPARE(file.WindowStart(), 199990 - 32768);
        QCOMPARE(file.WindowByte(199999), data[199999]);
        QCOMPARE(file.WindowFill(), 200000 - (199990 - 32768));
        // A byte near the window's end (where no full line fits) still follows a write.
        file.FillWindowFrom(0);
        file.SetInternalBufferByte(65530, 0x5A, 16);
        QCOMPARE(file.WindowByte(65530), uint8_t(0x5A));
        file.SetInternalBufferByte(65536, 0x5A, 16); // outside: ignored
    }

    void dataSizeCache()
    {
        QTemporaryDir tmp;
        WorkingFile file(tmp.path().toStdString());
        QCOMPARE(file.DataSize(), 0);
        file.CreateEmpty();
        file.SetMemAtPos(RandomBytes(100, 5).data(), 0, 100);
        QCOMPARE(file.DataSize(), 100);
        file.CheckInternalBuffer(0, 16);
        QCOMPARE(file.CachedSize(), -1); // a reload forgets the size
        QCOMPARE(file.DataSize(), 100);
        QCOMPARE(file.CachedSize(), 100);
        // Trusted while the window is valid: a write behind the cache's back is not seen.
        const uint8_t b = 1;
        file.Stream()->WriteAt(150, &b, 1);
        QCOMPARE(file.DataSize(), 100);
        file.InvalidateWindow();
        QCOMPARE(file.DataSize(), 151);
        file.SetFileSize(10);
        QCOMPARE(file.DataSize(), 10);
    }

    void moveFileMem_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<qint64>("count");
        const qint64 big = 3 * qint64(WorkingFile::MoveBlockSize) + 12345;
        QTest::newRow("small up by 1") << qint64(100) << qint64(0) << qint64(1) << qint64(99);
        QTest::newRow("small down by 3") << qint64(100) << qint64(10) << qint64(7) << qint64(90);
        QTest::newRow("blocks up by 1") << big << qint64(0) << qint64(1) << big - 1;
        QTest::newRow("blocks down by 1") << big << qint64(1) << qint64(0) << big - 1;
        QTest::newRow("blocks up by a block and a bit")
            << big << qint64(5) << qint64(WorkingFile::MoveBlockSize + 9)
            << big - qint64(WorkingFile::MoveBlockSize) - 9;
        QTest::newRow("blocks down, far") << big << qint64(WorkingFile::MoveBlockSize + 100) << qint64(3)
                                          << big - qint64(WorkingFile::MoveBlockSize) - 100;
    }
    void moveFileMem()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(qint64, count);
        QTemporaryDir tmp;
        WorkingFile file(tmp.path().toStdString());
        file.CreateEmpty();
        auto data = RandomBytes(static_cast<size_t>(size), 6);
        file.SetMemAtPos(data.data(), 0, data.size());
        file.MoveFileMem(from, to, count);
        std::vector<uint8_t> expected = data;
        std::copy(data.begin() + from, data.begin() + from + count, expected.begin() + to);
        QVERIFY(Contents(file) == expected);
    }

    void shiftFileMatchesClassicBlocks_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("start");
        for (int size : {1, 2, 511, 512, 513, 1024, 1536 + 7, int(WorkingFile::CopyBlockSize) + 512})
            for (int start : {0, 1, size - 1})
                if (start >= 0 && start < size)
                    QTest::addRow("size %d start %d", size, start) << size << start;
    }
    void shiftFileMatchesClassicBlocks()
    {
        QFETCH(int, size);
        QFETCH(int, start);
        QTemporaryDir tmp;
        WorkingFile file(tmp.path().toStdString());
        file.CreateEmpty();
        const auto data = RandomBytes(static_cast<size_t>(size), static_cast<uint32_t>(size));
        file.SetMemAtPos(data.data(), 0, data.size());
        std::string name;
        auto shift = CreateShift4BitStream(*file.Stream(), start, size, file.Directory(), name);
        QVERIFY(shift);
        // Neither the working file nor the shift file has a name in the folder.
        QCOMPARE(Entries(tmp.path()), QStringList());
        QVERIFY(name.empty());
        const auto classic = ClassicShift(data, static_cast<size_t>(start));
        const size_t meaningful = static_cast<size_t>(size - start) + 1;
        std::vector<uint8_t> got(static_cast<size_t>(shift->Size()));
        shift->ReadAt(0, got.data(), got.size());
        QCOMPARE(got.size(), meaningful);
        QVERIFY(std::equal(got.begin(), got.end(), classic.begin()));
        shift.reset();
        RemoveFileEntry(name);

        for (bool high : {true, false}) {
            file.SetFileSize(0);
            file.SetMemAtPos(data.data(), 0, data.size());
            QVERIFY(ShiftInsertNibble(file, start, high));
            QVERIFY(Contents(file) == ClassicInsertNibble(data, static_cast<size_t>(start), high));
            file.SetFileSize(0);
            file.SetMemAtPos(data.data(), 0, data.size());
            QVERIFY(ShiftDeleteNibble(file, start, high));
            QVERIFY(Contents(file) == ClassicDeleteNibble(data, static_cast<size_t>(start), high));
        }
    }

    void nibbleExamples_data()
    {
        QTest::addColumn<bool>("insert");
        QTest::addColumn<bool>("high");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("insert high") << true << true << QByteArray::fromHex("012340");
        QTest::newRow("insert low") << true << false << QByteArray::fromHex("102340");
        QTest::newRow("delete high") << false << true << QByteArray::fromHex("2340");
        QTest::newRow("delete low") << false << false << QByteArray::fromHex("1340");
    }
    void nibbleExamples()
    {
        QFETCH(bool, insert);
        QFETCH(bool, high);
        QFETCH(QByteArray, expected);
        QTemporaryDir tmp;
        WorkingFile file(tmp.path().toStdString());
        file.CreateEmpty();
        const uint8_t bytes[] = {0x12, 0x34};
        file.SetMemAtPos(bytes, 0, 2);
        QVERIFY(insert ? ShiftInsertNibble(file, 0, high) : ShiftDeleteNibble(file, 0, high));
        const auto got = Contents(file);
        QCOMPARE(
            QByteArray(reinterpret_cast<const char*>(got.data()), static_cast<int>(got.size())), expected);
        WorkingFile empty(tmp.path().toStdString());
        QVERIFY(!ShiftInsertNibble(empty, 0, true));
    }

    void changeMarks()
    {
        ChangeMarks marks;
        QVERIFY(!marks.Get(5));
        marks.Set(5, false);
        QCOMPARE(marks.Size(), 0); // clearing beyond the end does not grow
        marks.Set(100, true);
        QCOMPARE(marks.Size(), 101);
        QVERIFY(marks.Get(100));
        QVERIFY(!marks.Get(99));
        marks.Set(3, true);
        marks.CutAt(50);
        QCOMPARE(marks.Size(), 50);
        QVERIFY(marks.Get(3));
        marks.CutAt(70); // shorter than 70: nothing
        QCOMPARE(marks.Size(), 50);
        marks.CutAt(2);
        marks.SetSize(100); // bits that come back are false
        QVERIFY(!marks.Get(3));
        QCOMPARE(marks.CountSet(), 0);
    }
};

QTEST_APPLESS_MAIN(WorkingFileTest)
#include "WorkingFileTest.moc"
