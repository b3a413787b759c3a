// THexEditor: the working file, loading and saving, byte and range access.
#include "hexeditor/HexEditor.h"

#include "base/Errors.h"
#include "hexeditor/Hourglass.h"

#include <filesystem>

namespace {
// The name with its extension (from the last '.' of the last path element) replaced.
std::string ChangeFileExt(const std::string& name, const std::string& extension)
{
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return name.substr(0, dot) + extension;
    return name + extension;
}
} // namespace

void THexEditor::FreeFile()
{
    FWorkingFile.Free();
    FWorkingFile.InvalidateWindow();
    FWorkingFile.InvalidateSize();
}

void THexEditor::TestStream()
{
    if (FWorkingFile.IsOpen())
        return;
    FWorkingFile.CreateEmpty();
    FChangeMarks.Clear();
}

int32_t THexEditor::GetDataSize()
{
    return FWorkingFile.DataSize();
}

void THexEditor::CreateEmptyFile(const std::string& name)
{
    FreeFile();
    FileName = name;
    ResetUndo();
    ResetSelection(false);
    FChangeMarks.Clear();
    CalcSizes();
    Modified = false;
    ReadOnlyFile = true;
    MoveTo(2, 0);
}

bool THexEditor::LoadFromFile(const std::string& fileName)
{
    ReadOnlyFile = true;
    try {
        FileStream probe(fileName, FileStream::Mode::OpenRead);
    } catch (const EStreamError&) {
        return false;
    }
    try {
        FileStream probe(fileName, FileStream::Mode::OpenReadWrite);
        ReadOnlyFile = false;
    } catch (const EStreamError&) {
    }

    FreeFile();
    THourglass hourglass;
    try {
        FWorkingFile.LoadCopyOf(fileName);
        FileName = fileName;
    } catch (...) {
        FinishLoad();
        throw;
    }
    FinishLoad();
    return true;
}

bool THexEditor::LoadFromStream(std::istream& stream)
{
    FreeFile();
    THourglass hourglass;
    try {
        FWorkingFile.LoadFromStream(stream);
    } catch (...) {
        FinishLoad();
        throw;
    }
    FinishLoad();
    return true;
}

bool THexEditor::LoadFromFileRange(const FileStream& source, uint64_t offset, int32_t count)
{
    if (count < 0)
        throw Exception("Invalid LoadFromFileRange argument");
    FreeFile();
    THourglass hourglass;
    try {
        FWorkingFile.LoadRangeOf(source, offset, count);
    } catch (...) {
        FinishLoad();
        throw;
    }
    FinishLoad();
    return true;
}

// The common end of the loads, also when the copy failed.
void THexEditor::FinishLoad()
{
    ResetUndo();
    FChangeMarks.Clear();
    CalcSizes();
    Modified = false;
    Selecting = false;
    MoveTo(2, 0);
}

bool THexEditor::SaveToFile(const std::string& fileName)
{
    THourglass hourglass;
    if (CreateBackup && Modified && fileName == FileName) {
        // A file that is gone has nothing to back up; saving must still be possible.
        std::error_code error;
        if (std::filesystem::exists(fileName, error)) {
            std::filesystem::copy_file(fileName, ChangeFileExt(fileName, BackupExtension),
                std::filesystem::copy_options::overwrite_existing, error);
            if (error) {
                Invalidate();
                return false;
            }
        }
    }
    const bool result = FWorkingFile.SaveCopyTo(fileName);
    if (result) {
        FChangeMarks.Clear();
        Modified = false;
        ReadOnlyFile = false;
        FileName = fileName;
        ResetUndo();
    }
    Invalidate();
    return result;
}

bool THexEditor::SaveToStream(std::ostream& stream)
{
    THourglass hourglass;
    return FWorkingFile.SaveToStream(stream);
}

// ------------------------------------------------------------------ byte and range access

uint8_t THexEditor::GetByteAtPos(int32_t position)
{
    return FWorkingFile.GetByteAtPos(position);
}

void THexEditor::SetByteAtPos(int32_t position, uint8_t value)
{
    FWorkingFile.SetByteAtPos(position, value);
}

void THexEditor::GetMemAtPos(uint8_t* buffer, int32_t position, int32_t count)
{
    if (count > 0)
        FWorkingFile.GetMemAtPos(buffer, position, static_cast<size_t>(count));
}

void THexEditor::SetMemAtPos(const uint8_t* buffer, int32_t position, int32_t count)
{
    if (count > 0)
        FWorkingFile.SetMemAtPos(buffer, position, static_cast<size_t>(count));
}

uint8_t THexEditor::GetMemory(int32_t position)
{
    if (position < 0 || position >= GetDataSize())
        throw Exception("Invalid GetMemory index");
    return GetByteAtPos(position);
}

void THexEditor::SetMemory(int32_t position, uint8_t value)
{
    if (position < 0 || position >= GetDataSize())
        throw Exception("Invalid SetMemory index");
    SetByteAtPos(position, value);
    FWorkingFile.InvalidateWindow();
}

std::unique_ptr<uint8_t[]> THexEditor::BufferFromFile(int32_t position, int32_t& count)
{
    const int32_t size = GetDataSize();
    if (position < 0 || position >= size)
        throw Exception("Invalid BufferFromFile argument");
    if (count < 0)
        count = 0;
    if (static_cast<int64_t>(position) + count > size)
        count = size - position;
    try {
        std::unique_ptr<uint8_t[]> block(new uint8_t[static_cast<size_t>(count)]);
        const size_t got = FWorkingFile.GetMemAtPos(block.get(), position, static_cast<size_t>(count));
        if (got != static_cast<size_t>(count)) {
            count = 0;
            return nullptr;
        }
        return block;
    } catch (const std::exception&) {
        count = 0;
        return nullptr;
    }
}

void THexEditor::MoveFileMem(int32_t from, int32_t to, int32_t count)
{
    FWorkingFile.MoveFileMem(from, to, count);
}

void THexEditor::CheckInternalBuffer(int32_t position)
{
    FWorkingFile.CheckInternalBuffer(position, FLayout.BytesPerLine());
}

void THexEditor::SetInternalBufferByte(int32_t position, uint8_t value)
{
    FWorkingFile.SetInternalBufferByte(position, value, FLayout.BytesPerLine());
}
