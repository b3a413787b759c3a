#pragma once
// Shared helpers of the THexEditor tests.
#include "hexeditor/HexEditor.h"
#include "hexeditor/TempFileName.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// An editor whose cell checks can be bypassed, to put the caret where the checks
// would never let it go (past the end of the data).
class TestHexEditor : public THexEditor {
public:
    using THexEditor::THexEditor;
    bool BypassSelectCell = false;
    void ForceCell(int col, int row)
    {
        BypassSelectCell = true;
        MoveColRow(col, row, true, true);
        BypassSelectCell = false;
    }
    // The insert toggle normally flips with the Insert key.
    void SetInsertToggle(bool value) { InsertToggle = value; }
    // Makes the data size bytes of zeros at once (a sparse working file), to reach the
    // top of the position range without writing gigabytes.
    void SetSparseDataSize(int64_t size)
    {
        TestStream();
        FWorkingFile.SetFileSize(static_cast<uint64_t>(size));
        CalcSizes();
    }
    using THexEditor::CheckSelectCell;
    using THexEditor::InternalDeleteSelection;
    using THexEditor::InternalGetCurSel;
    using THexEditor::WMGetDlgCode;

protected:
    bool SelectCell(int col, int row) override
    {
        return BypassSelectCell || THexEditor::SelectCell(col, row);
    }
};

inline std::vector<uint8_t> Bytes(const QByteArray& hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return {raw.begin(), raw.end()};
}

inline void Fill(THexEditor& editor, const std::vector<uint8_t>& data)
{
    std::istringstream in(std::string(data.begin(), data.end()));
    editor.LoadFromStream(in);
}

inline std::vector<uint8_t> Data(THexEditor& editor)
{
    const std::string text = editor.GetAsText();
    return {text.begin(), text.end()};
}

inline QByteArray Hex(THexEditor& editor)
{
    return QByteArray::fromStdString(editor.GetAsHex());
}

// Files of the save and load tests.
inline void PutFile(const std::string& name, const std::vector<uint8_t>& data)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::vector<uint8_t> GetFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> RandomData(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Every entry of a folder, hidden ones too.
inline QStringList EntriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
}

// While alive, temporary files cannot leave their folder as soon as they are open, as in
// a folder that refuses to remove a file that is open (and cannot hold a file without a name).
struct FolderRefusesRemoval {
    FolderRefusesRemoval()
    {
        UnlinkOpenTempFile = [](const char*) {
            errno = EBUSY;
            return -1;
        };
        OpenNamelessTempFile = [](const char*) {
            errno = EOPNOTSUPP;
            return -1;
        };
    }
    ~FolderRefusesRemoval()
    {
        UnlinkOpenTempFile = ::unlink;
        OpenNamelessTempFile = OpenNamelessInFolder;
    }
    FolderRefusesRemoval(const FolderRefusesRemoval&) = delete;
    FolderRefusesRemoval& operator=(const FolderRefusesRemoval&) = delete;
};

// Points the temporary directory of the editors at a fresh folder, so tests can see
// every temporary file the editors leave.
class TempDirScope {
public:
    TempDirScope()
        : FOld(qgetenv("TMPDIR"))
    {
        qputenv("TMPDIR", Dir.path().toLocal8Bit());
    }
    ~TempDirScope() { qputenv("TMPDIR", FOld); }
    QStringList Entries() const { return EntriesOf(Dir.path()); }
    QTemporaryDir Dir;

private:
    QByteArray FOld;
};

// The temporary folder of each test function of a hex editor test: Init (from the test's
// init()) points TMPDIR at a fresh folder; Finish (from cleanup()) puts TMPDIR back and
// removes the folder before it answers what the editors left there, so a failing check
// of that answer leaves nothing pointing at a removed folder.
class TempDirFixture {
public:
    void Init() { FScope = std::make_unique<TempDirScope>(); }
    QStringList Finish()
    {
        if (!FScope)
            return {};
        const QStringList left = FScope->Entries();
        FScope.reset();
        return left;
    }
    QString Path() const { return FScope ? FScope->Dir.path() : QString(); }

private:
    std::unique_ptr<TempDirScope> FScope;
};
