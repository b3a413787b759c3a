// THexEditor::SaveToFile on real files when things go wrong: a full file system (the
// file size limit makes every write past it fail with EFBIG), a target that is no file,
// and what a save keeps of the file it replaces (mode, owner, the link that names it).
// A failed save must leave the target exactly as it was and nothing else in its folder.
#include "HexEditorTestSupport.h"

#include <QApplication>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct stat StatOf(const std::string& name)
{
    struct stat st { };
    if (::stat(name.c_str(), &st) != 0)
        st.st_mode = 0;
    return st;
}

// A file system with only limit bytes per file: writes past it fail with EFBIG (the
// signal that would end the process is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = FOld;
        lower.rlim_cur = limit;
        FActive = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    bool Active() const { return FActive; }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
    bool FActive = false;
};

enum Target { OtherFile, SameNameWithBackup, NewFile, Folder, LinkToFile };
} // namespace

class HexEditorSaveTest : public QObject {
    Q_OBJECT

    TempDirFixture FTemp;

private slots:
    void init() { FTemp.Init(); }
    void cleanup()
    {
        // The working files never show up in the temporary folder.
        QCOMPARE(FTemp.Finish(), QStringList());
    }

    void failedSaveLeavesTargetUntouched_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("dataSize");
        // Entries of the save folder afterwards, besides the target.
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("full disk, over another file") << int(OtherFile) << 100000 << QStringList();
        // The old file fits under the limit, so its backup is made before the save fails.
        QTest::newRow("full disk, over the loaded file with backup")
            << int(SameNameWithBackup) << 100000 << QStringList{"target.bak"};
        QTest::newRow("full disk, new file") << int(NewFile) << 100000 << QStringList();
        QTest::newRow("target is a folder") << int(Folder) << 1000 << QStringList();
        QTest::newRow("full disk, through a link") << int(LinkToFile) << 100000 << QStringList{"link"};
    }
    void failedSaveLeavesTargetUntouched()
    {
        QFETCH(int, target);
        QFETCH(int, dataSize);
        QFETCH(QStringList, extra);
        QTemporaryDir folder;
        QTemporaryDir sources;
        const std::string dir = folder.path().toStdString() + "/";
        const std::string name = dir + "target.bin";
        const auto old = RandomData(40000, 1);
        if (target == Folder)
            QVERIFY(QDir().mkdir(QString::fromStdString(name)));
        else if (target != NewFile)
            PutFile(name, old);
        if (target != Folder && target != NewFile)
            QCOMPARE(::chmod(name.c_str(), 0640), 0);
        std::string saveName = name;
        if (target == LinkToFile) {
            saveName = dir + "link";
            QCOMPARE(::symlink("target.bin", saveName.c_str()), 0);
        }
        const struct stat before = StatOf(name);

        THexEditor ed;
        ed.Loaded();
        const auto data = RandomData(static_cast<size_t>(dataSize), 2);
        if (target == SameNameWithBackup) {
            QVERIFY(ed.LoadFromFile(name));
            ed.AppendBuffer(data.data() + old.size(), dataSize - static_cast<int32_t>(old.size()));
        } else {
            const std::string source = sources.path().toStdString() + "/source.bin";
            PutFile(source, data);
            QVERIFY(ed.LoadFromFile(source));
            ed.ChangeByte(data[0], static_cast<uint8_t>(data[0] + 1), 0, 2, 0);
        }
        const std::string fileName = ed.GetFileName();
        bool saved = true;
        {
            FileSizeLimit limit(65536);
            QVERIFY(limit.Active());
            saved = ed.SaveToFile(saveName);
        }
        QVERIFY(!saved);

        const struct stat after = StatOf(name);
        QCOMPARE(after.st_mode, before.st_mode);
        if (target != Folder && target != NewFile) {
            QCOMPARE(GetFile(name), old);
            QCOMPARE(after.st_ino, before.st_ino); // the very same file, not a copy
        }
        if (target == SameNameWithBackup)
            QCOMPARE(GetFile(dir + "target.bak"), old);
        QStringList expected = extra;
        if (target != NewFile)
            expected << "target.bin";
        expected.sort();
        QCOMPARE(QDir(folder.path())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            expected);
        // The editor keeps its data and state, and can save elsewhere afterwards.
        QVERIFY(ed.GetModified());
        QVERIFY(ed.GetCanUndo());
        QCOMPARE(ed.GetFileName(), fileName);
        QCOMPARE(ed.GetDataSize(), dataSize);
        const std::string elsewhere = sources.path().toStdString() + "/elsewhere.bin";
        QVERIFY(ed.SaveToFile(elsewhere));
        QCOMPARE(GetFile(elsewhere).size(), size_t(dataSize));
    }

    void saveKeepsWhatTheTargetHad_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("mode"); // the target's mode before (-1: no target)
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("expected"); // the mode afterwards
        QTest::newRow("existing 0755") << int(OtherFile) << 0755 << 022 << 0755;
        QTest::newRow("existing 0600 under umask 0") << int(OtherFile) << 0600 << 0 << 0600;
        QTest::newRow("existing 0640, backup made") << int(SameNameWithBackup) << 0640 << 022 << 0640;
        QTest::newRow("new file, umask 027") << int(NewFile) << -1 << 027 << 0640;
        QTest::newRow("new file, umask 0") << int(NewFile) << -1 << 0 << 0666;
        QTest::newRow("through a link") << int(LinkToFile) << 0604 << 022 << 0604;
    }
    void saveKeepsWhatTheTargetHad()
    {
        QFETCH(int, target);
        QFETCH(int, mode);
        QFETCH(int, umask);
        QFETCH(int, expected);
        QTemporaryDir folder;
        const std::string dir = folder.path().toStdString() + "/";
        const std::string name = dir + "target.bin";
        const auto old = RandomData(5000, 3);
        const auto data = RandomData(70000, 4);
        const bool root = ::geteuid() == 0;
        if (target != NewFile) {
            PutFile(name, old);
            QCOMPARE(::chmod(name.c_str(), static_cast<mode_t>(mode)), 0);
            // Someone else's file (only root may give it away): the owner stays.
            if (root)
                QCOMPARE(::chown(name.c_str(), 4321, 4322), 0);
        }
        std::string saveName = name;
        if (target == LinkToFile) {
            saveName = dir + "link";
            QCOMPARE(::symlink("target.bin", saveName.c_str()), 0);
        }
        const struct stat before = StatOf(name);

        THexEditor ed;
        ed.Loaded();
        if (target == SameNameWithBackup) {
            QVERIFY(ed.LoadFromFile(name));
            ed.SetAsText(std::string(data.begin(), data.end()));
        } else {
            Fill(ed, data);
        }
        const mode_t oldMask = ::umask(static_cast<mode_t>(umask));
        const bool saved = ed.SaveToFile(saveName);
        ::umask(oldMask);
        QVERIFY(saved);
        QCOMPARE(GetFile(name), data);
        const struct stat after = StatOf(name);
        QCOMPARE(int(after.st_mode & 07777), expected);
        if (target != NewFile) {
            QCOMPARE(after.st_uid, before.st_uid);
            QCOMPARE(after.st_gid, before.st_gid);
        }
        QStringList entries{"target.bin"};
        if (target == SameNameWithBackup) {
            entries << "target.bak";
            QCOMPARE(GetFile(dir + "target.bak"), old);
        }
        if (target == LinkToFile) {
            entries << "link";
            QVERIFY(QFileInfo(QString::fromStdString(saveName)).isSymLink());
        }
        entries.sort();
        QCOMPARE(QDir(folder.path())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            entries);
        QVERIFY(!ed.GetModified());
        QCOMPARE(ed.GetFileName(), saveName);
    }
};

QTEST_MAIN(HexEditorSaveTest)
#include "HexEditorSaveTest.moc"
