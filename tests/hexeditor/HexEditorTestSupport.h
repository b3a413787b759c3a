#pragma once
// Shared helpers of the THexEditor tests.
#include "HexEditor.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <sstream>
#include <string>
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
    QStringList Entries() const
    {
        return QDir(Dir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    }
    QTemporaryDir Dir;

private:
    QByteArray FOld;
};
