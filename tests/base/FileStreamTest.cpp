#include "base/FileStream.h"
#include "base/Errors.h"
#include "base/MappedFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

class FileStreamTest : public QObject {
    Q_OBJECT
private slots:
    void openFailuresName_data();
    void openFailuresName();
    void exclusiveCreateNeverOpensExistingOrLink();
    void readsShortAtEndAndWritesPositionally();
    void writeFailureNamesFileAndReason();
    void lockWaitsForEitherKindOfHolder_data();
    void lockWaitsForEitherKindOfHolder();
    void mappedFileReadsZerosPastACut();
};

void FileStreamTest::openFailuresName_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("missing") << "missing";
    QTest::newRow("directory") << "directory";
}

void FileStreamTest::openFailuresName()
{
    QFETCH(QString, what);
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + (what == "missing" ? "/nothing.exe" : "");
    try {
        FileStream stream(path, FileStream::Mode::OpenReadWrite);
        QFAIL("opened");
    } catch (const EFOpenError& e) {
        QCOMPARE(QString::fromStdString(e.what()), QString::fromStdString("Cannot open file " + path));
    }
}

void FileStreamTest::exclusiveCreateNeverOpensExistingOrLink()
{
    QTemporaryDir dir;
    std::string existing = dir.path().toStdString() + "/existing";
    std::ofstream(existing) << "keep";
    QVERIFY_THROWS_EXCEPTION(EFCreateError, FileStream(existing, FileStream::Mode::CreateExclusive));
    QCOMPARE(std::filesystem::file_size(existing), 4u);

    std::string target = dir.path().toStdString() + "/target";
    std::string link = dir.path().toStdString() + "/link";
    std::filesystem::create_symlink(target, link);
    QVERIFY_THROWS_EXCEPTION(EFCreateError, FileStream(link, FileStream::Mode::CreateExclusive));
    QVERIFY(!std::filesystem::exists(target));
}

void FileStreamTest::readsShortAtEndAndWritesPositionally()
{
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/data";
    FileStream stream(path, FileStream::Mode::Create);
    stream.WriteAt(2, "AB", 2);
    QCOMPARE(stream.Size(), 4u);
    char buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    QCOMPARE(stream.ReadAt(1, buffer, 8), size_t(3));
    QCOMPARE(buffer[0], '\0');
    QCOMPARE(buffer[1], 'A');
    QCOMPARE(buffer[2], 'B');
    QCOMPARE(buffer[3], char(9));
    stream.Seek(-1, SeekOrigin::End);
    QCOMPARE(stream.Position(), 3);
    stream.SetSize(2);
    QCOMPARE(stream.Size(), 2u);
}

void FileStreamTest::writeFailureNamesFileAndReason()
{
    if (!std::filesystem::exists("/dev/full"))
        QSKIP("no /dev/full");
    FileStream stream("/dev/full", FileStream::Mode::OpenReadWrite);
    try {
        stream.WriteAt(0, "x", 1);
        QFAIL("write succeeded");
    } catch (const EWriteError& e) {
        QString text = QString::fromStdString(e.what());
        QVERIFY2(text.contains("/dev/full") && text.contains("No space left"), qPrintable(text));
    }
}

void FileStreamTest::lockWaitsForEitherKindOfHolder_data()
{
    QTest::addColumn<bool>("byFlock"); // flock(1) and its kind, or lockf() and fcntl() users
    QTest::newRow("flock") << true;
    QTest::newRow("lockf") << false;
}

// On Linux the two kinds of lock do not see each other; a save must wait for a holder of either,
// and for a bounded time only.
void FileStreamTest::lockWaitsForEitherKindOfHolder()
{
    QFETCH(bool, byFlock);
    QTemporaryDir dir;
    const std::string path = dir.filePath("locked.exe").toStdString();
    std::ofstream(path) << "MZ";
    const int holder = ::open(path.c_str(), O_RDWR);
    QVERIFY(holder >= 0);
    QCOMPARE(byFlock ? ::flock(holder, LOCK_EX) : ::lockf(holder, F_LOCK, 0), 0);
    FileStream stream(path, FileStream::Mode::OpenReadWrite);
    try {
        stream.Lock(std::chrono::milliseconds(50));
        QFAIL("locked although another holder has the lock");
    } catch (const ELockError& e) {
        QCOMPARE(QString::fromStdString(e.what()),
            QString::fromStdString(
                "Cannot lock file " + path + ". Another program has kept it locked for 0.05 seconds"));
    }
    QVERIFY(!stream.Locked());
    ::close(holder); // drops either lock
    stream.Lock(std::chrono::milliseconds(50));
    QVERIFY(stream.Locked());
    // Now the other kind of holder is kept out in turn.
    const int late = ::open(path.c_str(), O_RDWR);
    QCOMPARE(byFlock ? ::flock(late, LOCK_EX | LOCK_NB) : ::lockf(late, F_TLOCK, 0), -1);
    stream.Unlock();
    QCOMPARE(byFlock ? ::flock(late, LOCK_EX | LOCK_NB) : ::lockf(late, F_TLOCK, 0), 0);
    ::close(late);
}

// Another program cuts a mapped file: the bytes past the new end read as 0 (no SIGBUS), and the
// mapping says so; the bytes before it are the file's.
void FileStreamTest::mappedFileReadsZerosPastACut()
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/image";
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::ofstream(path, std::ios::binary) << std::string(3 * page, '\xAB');
    FileStream stream(path, FileStream::Mode::OpenRead);
    const MappedFile mapped(stream.Handle(), stream.Size());
    QVERIFY(mapped.Data() != nullptr);
    QCOMPARE(mapped.Data()[2 * page], 0xAB);
    QVERIFY(!mapped.Shrank());
    std::filesystem::resize_file(path, page + 1);
    QCOMPARE(mapped.Data()[page], 0xAB);
    QCOMPARE(mapped.Data()[3 * page - 1], 0);
    QCOMPARE(mapped.Data()[2 * page], 0);
    QVERIFY(mapped.Shrank());
}

QTEST_GUILESS_MAIN(FileStreamTest)
#include "FileStreamTest.moc"
