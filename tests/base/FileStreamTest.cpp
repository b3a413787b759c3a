#include "base/FileStream.h"
#include "base/Errors.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>

class FileStreamTest : public QObject {
    Q_OBJECT
private slots:
    void openFailuresName_data();
    void openFailuresName();
    void exclusiveCreateNeverOpensExistingOrLink();
    void readsShortAtEndAndWritesPositionally();
    void writeFailureNamesFileAndReason();
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

QTEST_GUILESS_MAIN(FileStreamTest)
#include "FileStreamTest.moc"
