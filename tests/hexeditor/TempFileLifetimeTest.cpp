// The hex editor's temporary files never outlive the program: they leave the temporary
// folder as soon as they are open, so even a process killed while it holds hundreds of
// MiB leaves nothing behind. The child processes are this test program itself, started
// with --hold: they fill an editor the way the hex viewer does and wait to be killed.
#include "HexEditorTestSupport.h"

#include "hexeditor/TempFileName.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr qint64 MiB = 1 << 20;

// A big file without holding it in memory: size bytes, each block a different pattern.
void PutBig(const std::string& name, int64_t size)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    std::vector<char> block(static_cast<size_t>(MiB));
    for (int64_t done = 0; done < size; done += MiB) {
        std::fill(block.begin(), block.end(), static_cast<char>(done / MiB));
        out.write(block.data(), static_cast<std::streamsize>(std::min<int64_t>(MiB, size - done)));
    }
}

// The files a process holds open in dir that have no name there (any more, or never had
// one: O_TMPFILE), with their sizes.
std::vector<int64_t> DeletedFilesHeld(qint64 pid, const QString& dir)
{
    std::vector<int64_t> sizes;
    const QString fds = QString("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)) {
        std::error_code error;
        const std::string target = fs::read_symlink((fds + "/" + fd).toStdString(), error).string();
        if (error)
            continue;
        if (QString::fromStdString(target).startsWith(dir + "/") && target.ends_with(" (deleted)")) {
            struct stat st { };
            if (::stat((fds + "/" + fd).toLocal8Bit().constData(), &st) == 0)
                sizes.push_back(st.st_size);
        }
    }
    return sizes;
}

// The child: fills an editor as told, says "ready" and waits to be killed.
//   --hold view SIZE            ReplaceSelection of SIZE bytes (the hex viewer's fill)
//   --hold load FILE            LoadFromFile
//   --hold saved FILE TARGET    LoadFromFile, change a byte, SaveToFile TARGET, load it
int Hold(int argc, char** argv)
{
    QApplication application(argc, argv);
    THexEditor ed;
    ed.Loaded();
    const std::string mode = argc > 2 ? argv[2] : "";
    if (mode == "view" && argc > 3) {
        const auto size = static_cast<size_t>(std::atoll(argv[3]));
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<uint8_t>(i * 7);
        ed.SetReadOnlyView(true);
        ed.ReplaceSelection(bytes.data(), static_cast<int32_t>(size));
        ed.SetSelStart(0);
    } else if (mode == "load" && argc > 3) {
        if (!ed.LoadFromFile(argv[3]))
            return 2;
    } else if (mode == "saved" && argc > 4) {
        if (!ed.LoadFromFile(argv[3]))
            return 2;
        ed.ChangeByte(ed.GetMemory(0), static_cast<uint8_t>(ed.GetMemory(0) ^ 0xFF), 0, 2, 0);
        if (!ed.SaveToFile(argv[4]) || !ed.LoadFromFile(argv[4]))
            return 3;
    } else {
        return 4;
    }
    std::printf("ready %d\n", ed.GetDataSize());
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
} // namespace

class TempFileLifetimeTest : public QObject {
    Q_OBJECT

private slots:
    // The platform is set up (and its runtime folder made) before any test moves TMPDIR.
    void initTestCase() { THexEditor().Loaded(); }

    void killedProcessLeavesNothing_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<qint64>("size");
        QTest::newRow("hex viewer fill, 64 MiB") << "view" << 64 * MiB;
        QTest::newRow("loaded file, 256 MiB") << "load" << 256 * MiB;
        QTest::newRow("saved and reloaded, 3 MiB") << "saved" << 3 * MiB;
    }
    void killedProcessLeavesNothing()
    {
        QFETCH(QString, mode);
        QFETCH(qint64, size);
        QTemporaryDir temp; // the child's temporary folder
        QTemporaryDir files; // its source and save target
        const QString source = files.path() + "/source.bin";
        const QString target = files.path() + "/target.bin";
        QStringList arguments{"--hold", mode};
        if (mode == "view") {
            arguments << QString::number(size);
        } else {
            PutBig(source.toStdString(), size);
            arguments << source;
            if (mode == "saved")
                arguments << target;
        }
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QTemporaryDir runtime; // else Qt makes its runtime folder in TMPDIR
        environment.insert("TMPDIR", temp.path());
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), arguments);
        QVERIFY(child.waitForStarted());
        QByteArray said;
        while (!said.contains('\n') && child.waitForReadyRead(120000))
            said += child.readAllStandardOutput();
        QCOMPARE(said.trimmed(), QByteArray("ready ") + QByteArray::number(size));

        // Alive, holding the data: in a file of the temporary folder that has no name.
        QCOMPARE(DeletedFilesHeld(child.processId(), temp.path()), std::vector<int64_t>{size});
        QCOMPARE(EntriesOf(temp.path()), QStringList());
        if (mode == "saved") {
            // The save left nothing beside its target either.
            QCOMPARE(EntriesOf(files.path()), (QStringList{"source.bin", "target.bin"}));
            const auto saved = GetFile(target.toStdString());
            QCOMPARE(saved.size(), size_t(size));
            QCOMPARE(saved[0], uint8_t(0xFF));
        }

        QCOMPARE(::kill(static_cast<pid_t>(child.processId()), SIGKILL), 0);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(EntriesOf(temp.path()), QStringList());
    }

    // Every operation works on the open file, none needs its name: the folder stays empty
    // from the first byte to the last, in a run of loads, edits, nibble shifts, saves and
    // undos. Where the folder refuses to let an open file go, the working file keeps its
    // name while it is in use and is removed when the editor is done with it.
    void editorWorksWithoutNames_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::newRow("folder lets open files go") << false;
        QTest::newRow("folder refuses early removal") << true;
    }
    void editorWorksWithoutNames()
    {
        QFETCH(bool, refused);
        QTemporaryDir files; // outside the temporary folder under watch
        TempDirScope temp;
        std::optional<FolderRefusesRemoval> refusal;
        if (refused)
            refusal.emplace();
        const std::string source = files.path().toStdString() + "/source.bin";
        const std::string target = files.path().toStdString() + "/target.bin";
        std::vector<uint8_t> model = RandomData(200000, 9);
        PutFile(source, model);
        const qsizetype named = refused ? 1 : 0;
        {
            THexEditor ed;
            ed.Loaded();
            QCOMPARE(temp.Entries().size(), 0); // nothing until data arrives
            QVERIFY(ed.LoadFromFile(source));
            QCOMPARE(temp.Entries().size(), named);
            ed.ChangeByte(model[10], 0x5A, 10, 2, 0);
            model[10] = 0x5A;
            const uint8_t block[] = {1, 2, 3};
            ed.InsertBuffer(block, 3, 70000);
            model.insert(model.begin() + 70000, block, block + 3);
            QVERIFY(ed.InsertNibble(5, true));
            QVERIFY(ed.DeleteNibble(5, true)); // the nibble is gone, the byte it added stays
            model.push_back(0);
            QCOMPARE(temp.Entries().size(), named);
            QVERIFY(ed.SaveToFile(target));
            QVERIFY(GetFile(target) == model);
            QCOMPARE(EntriesOf(files.path()), (QStringList{"source.bin", "target.bin"}));
            // The working file stays open across the save and is still the data.
            ed.AppendBuffer(block, 3);
            QVERIFY(ed.Undo());
            QVERIFY(Data(ed) == model);
            QCOMPARE(fs::file_size(ed.WorkingFileName()), uintmax_t(model.size()));
            QVERIFY(ed.LoadFromFile(target));
            QVERIFY(Data(ed) == model);
            QCOMPARE(temp.Entries().size(), named);
            Fill(ed, {1, 2, 3});
            QCOMPARE(Data(ed), (std::vector<uint8_t>{1, 2, 3}));
            QCOMPARE(temp.Entries().size(), named);
        }
        refusal.reset();
        QCOMPARE(temp.Entries(), QStringList());
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hold") == 0)
        return Hold(argc, argv);
    QApplication application(argc, argv);
    TempFileLifetimeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TempFileLifetimeTest.moc"
