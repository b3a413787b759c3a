#pragma once
// A plain byte vector that mirrors THexEditor's operations, and a driver that runs one
// operation on the editor and on the vector and tells how they disagree. The model-based
// editor test draws the operations from a seeded generator, the operation fuzzer from
// its input; both go through this one driver.
//
// Header-only, so that it needs nothing but the hex editor library.
#include "hexeditor/HexEditor.h"
#include "search/Translation.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace hexmodel {

using Bytes = std::vector<uint8_t>;

inline Bytes NibblesOf(const Bytes& data, size_t from)
{
    Bytes n;
    for (size_t i = from; i < data.size(); ++i) {
        n.push_back(data[i] >> 4);
        n.push_back(data[i] & 0x0F);
    }
    return n;
}

inline Bytes WithNibbles(Bytes data, size_t from, Bytes nibbles, size_t bytes)
{
    nibbles.resize(bytes * 2, 0);
    data.resize(from);
    for (size_t i = 0; i < bytes; ++i)
        data.push_back(static_cast<uint8_t>((nibbles[2 * i] << 4) | nibbles[2 * i + 1]));
    return data;
}

// The data after InsertNibble (p, high): a zero nibble before (high) or after the high
// nibble of p, every later nibble one place on, one byte more.
inline Bytes InsertNibble(const Bytes& data, size_t p, bool high)
{
    Bytes n = NibblesOf(data, p);
    if (high)
        n.insert(n.begin(), 0);
    else
        n.insert(n.begin() + 1, 0);
    return WithNibbles(data, p, n, data.size() - p + 1);
}

// The data after DeleteNibble (p, high): the high (or low) nibble of p gone, every later
// nibble one place back, the size kept.
inline Bytes DeleteNibble(const Bytes& data, size_t p, bool high)
{
    Bytes n = NibblesOf(data, p);
    n.erase(n.begin() + (high ? 0 : 1));
    return WithNibbles(data, p, n, data.size() - p);
}

// The naive scan of Find: the lowest p >= start with all bytes matching and the match
// ending at or before end (cut to the data); the pattern is already lower-cased when
// ignoreCase is on.
inline int32_t Find(const Bytes& data, const Bytes& pattern, int32_t start, int32_t end, bool ignoreCase)
{
    const int64_t last = std::min<int64_t>(end, static_cast<int64_t>(data.size()) - 1);
    if (start < 0)
        start = 0;
    if (pattern.empty())
        return -1;
    for (int64_t p = start; p + static_cast<int64_t>(pattern.size()) - 1 <= last; ++p) {
        bool match = true;
        for (size_t j = 0; j < pattern.size() && match; ++j) {
            const uint8_t c = data[static_cast<size_t>(p) + j];
            match = (ignoreCase ? AnsiLowerChar(c) : c) == pattern[j];
        }
        if (match)
            return static_cast<int32_t>(p);
    }
    return -1;
}

// The operations, by number. The first ClassicKinds are those the model test has always
// drawn (two numbers for undo, so it comes twice as often); the rest look at the data
// without changing it, or save and load it.
enum Kind {
    ChangeByte,
    InsertBlock,
    AppendBlock,
    ReplaceSelection,
    DeleteSelection,
    Erase,
    InsertNibbleOp,
    DeleteNibbleOp,
    ConvertRange,
    UndoStep,
    UndoStep2,
    ClassicKinds,
    SelectRange = ClassicKinds,
    FindPattern,
    SeekCaret,
    SaveAndReload,
    AllKinds
};

// Choice is a source of numbers: uint32_t Next(), of which a byte takes the low 8 bits,
// and optionally int64_t Below (n), a number in 0 .. n-1 (else Next() mod n).
template <class Choice> class Driver {
public:
    Driver(THexEditor& editor, Choice& choice, std::string saveDir = {})
        : FEditor(editor)
        , FChoice(choice)
        , FSaveDir(std::move(saveDir))
    {
    }

    int64_t Below(int64_t n)
    {
        if (n <= 0)
            return 0;
        // A source that can do better than "mod n" (the fuzzer spends fewer input bytes).
        if constexpr (requires { FChoice.Below(n); })
            return FChoice.Below(n);
        else
            return static_cast<int64_t>(FChoice.Next() % uint64_t(n));
    }
    Bytes RandomBytes(int n)
    {
        Bytes b(static_cast<size_t>(n));
        for (auto& x : b)
            x = static_cast<uint8_t>(FChoice.Next());
        return b;
    }

    // Fresh data and an empty undo store.
    void Start(const Bytes& data)
    {
        FModel = data;
        std::string text(data.begin(), data.end());
        std::istringstream in(text);
        FEditor.LoadFromStream(in);
        ForgetHistory();
    }

    const Bytes& Model() const { return FModel; }
    // The oldest state the undo store can go back to.
    size_t HistorySize() const { return FHistory.size(); }

    // Runs operation kind on both; answers what went wrong, or nothing.
    std::string Step(int kind)
    {
        THexEditor& ed = FEditor;
        Bytes& model = FModel;
        const bool fixedSize = ed.GetNoSizeChange();
        const auto size = static_cast<int32_t>(model.size());
        // The state before the step, kept as an undo state if the step is recorded.
        Bytes before = TakeSpare();
        before.assign(model.begin(), model.end());
        bool recorded = false;
        switch (kind) {
        case ChangeByte: {
            if (size == 0)
                break;
            const auto p = static_cast<int32_t>(Below(size));
            const auto b = static_cast<uint8_t>(Below(4) == 0 ? model[size_t(p)] : FChoice.Next());
            const TGridCoord cell = ed.GetCursorAtPos(p, false);
            ed.ChangeByte(model[size_t(p)], b, p, cell.x, cell.y);
            recorded = b != model[size_t(p)];
            model[size_t(p)] = b;
            break;
        }
        case InsertBlock: {
            const auto p = static_cast<int32_t>(Below(size + 1));
            const Bytes block = RandomBytes(static_cast<int>(1 + Below(20)));
            if (size > 0 && Below(2) == 0)
                ed.SetSelStart(std::min(p, size - 1));
            ed.InsertBuffer(block.data(), static_cast<int32_t>(block.size()), p);
            if (!fixedSize) {
                model.insert(model.begin() + p, block.begin(), block.end());
                recorded = true;
            }
            break;
        }
        case AppendBlock: {
            const Bytes block = RandomBytes(static_cast<int>(1 + Below(20)));
            ed.AppendBuffer(block.data(), static_cast<int32_t>(block.size()));
            if (!fixedSize) {
                model.insert(model.end(), block.begin(), block.end());
                recorded = true;
            }
            break;
        }
        case ReplaceSelection: {
            Bytes block = RandomBytes(static_cast<int>(1 + Below(12)));
            if (size == 0) {
                ed.ReplaceSelection(block.data(), static_cast<int32_t>(block.size()));
                if (!fixedSize) {
                    model = block;
                    recorded = true;
                }
                break;
            }
            const auto a = static_cast<int32_t>(Below(size));
            const auto b = static_cast<int32_t>(std::min<int64_t>(size - 1, a + Below(15)));
            ed.SetSelStart(a);
            if (Below(5) != 0)
                ed.SetSelEnd(b);
            if (ed.GetSelCount() == 0) {
                const int32_t at = ed.GetSelStart();
                ed.ReplaceSelection(block.data(), static_cast<int32_t>(block.size()));
                if (!fixedSize) {
                    model.insert(model.begin() + at, block.begin(), block.end());
                    recorded = true;
                }
                break;
            }
            const int32_t first = ed.GetSelFirst();
            const int32_t length = ed.GetSelCount();
            ed.ReplaceSelection(block.data(), static_cast<int32_t>(block.size()));
            if (fixedSize) {
                const size_t n = std::min<size_t>(block.size(), static_cast<size_t>(length));
                std::copy(block.begin(), block.begin() + static_cast<ptrdiff_t>(n), model.begin() + first);
            } else {
                model.erase(model.begin() + first, model.begin() + first + length);
                model.insert(model.begin() + first, block.begin(), block.end());
            }
            recorded = true;
            break;
        }
        case DeleteSelection: {
            if (size == 0) {
                ed.DeleteSelection();
                break;
            }
            const auto a = static_cast<int32_t>(Below(size));
            ed.SetSelStart(a);
            if (Below(2) == 0)
                ed.SetSelEnd(static_cast<int32_t>(Below(size)));
            int32_t first = a;
            int32_t length = 1;
            if (ed.GetSelCount() > 0) {
                first = ed.GetSelFirst();
                length = ed.GetSelCount();
            }
            ed.DeleteSelection();
            if (!fixedSize) {
                model.erase(model.begin() + first, model.begin() + first + length);
                recorded = true;
            }
            break;
        }
        case Erase: {
            const bool backspace = Below(2) == 0;
            int32_t p = 0;
            if (size > 0) {
                p = static_cast<int32_t>(Below(size));
                ed.SetSelStart(p);
            }
            ed.InternalErase(backspace);
            if (!fixedSize && size > 0) {
                if (backspace && p > 0) {
                    model.erase(model.begin() + p - 1);
                    recorded = true;
                } else if (!backspace) {
                    model.erase(model.begin() + p);
                    recorded = true;
                }
            }
            break;
        }
        case InsertNibbleOp:
        case DeleteNibbleOp: {
            const bool high = Below(2) == 0;
            const auto p = static_cast<int32_t>(Below(size));
            if (kind == InsertNibbleOp) {
                if (ed.InsertNibble(p, high) != (size == 0 || !fixedSize))
                    return "InsertNibble answered wrong";
                if (!fixedSize) {
                    model
                        = size == 0 ? Bytes{0} : hexmodel::InsertNibble(model, static_cast<size_t>(p), high);
                    recorded = true;
                }
            } else {
                if (ed.DeleteNibble(p, high) != (size > 0 && !fixedSize))
                    return "DeleteNibble answered wrong";
                if (size > 0 && !fixedSize) {
                    model = hexmodel::DeleteNibble(model, static_cast<size_t>(p), high);
                    recorded = true;
                }
            }
            break;
        }
        case ConvertRange: {
            if (size == 0)
                break;
            const auto a = static_cast<int32_t>(Below(size));
            const auto b = static_cast<int32_t>(std::min<int64_t>(size - 1, a + Below(30)));
            const auto from = static_cast<TTranslationType>(Below(5));
            const auto to = static_cast<TTranslationType>(Below(5));
            ed.ConvertRange(a, b, from, to);
            if (from != to) {
                TranslateBufferToAnsi(from, model.data() + a, model.data() + a, b - a + 1);
                TranslateBufferFromAnsi(to, model.data() + a, model.data() + a, b - a + 1);
                recorded = true;
            }
            break;
        }
        case UndoStep:
        case UndoStep2: {
            const bool expected = !FHistory.empty();
            if (ed.Undo() != expected)
                return expected ? "Undo took nothing back" : "Undo took back a step that was not there";
            if (expected) {
                std::swap(model, FHistory.back());
                GiveSpare(std::move(FHistory.back()));
                FHistory.pop_back();
            }
            break;
        }
        case SelectRange: {
            if (size == 0)
                break;
            const auto a = static_cast<int32_t>(Below(size));
            const auto b = static_cast<int32_t>(Below(size));
            ed.SetSelStart(a);
            ed.SetSelEnd(b);
            // In insert mode the caret stands between bytes: the far end is not taken.
            int32_t first = std::min(a, b);
            int32_t last = std::max(a, b);
            if (ed.IsInsertMode() && a != b)
                --last;
            if (ed.GetSelFirst() != first || ed.GetSelLast() != last || ed.GetSelAnchor() == -1)
                return "the selection is not what was selected";
            break;
        }
        case FindPattern: {
            const int32_t length = static_cast<int32_t>(1 + Below(8));
            Bytes pattern;
            if (size > 0 && Below(4) != 0) {
                const auto at = static_cast<size_t>(Below(size));
                pattern.assign(model.begin() + static_cast<ptrdiff_t>(at),
                    model.begin() + static_cast<ptrdiff_t>(std::min(model.size(), at + size_t(length))));
            } else {
                pattern = RandomBytes(length);
            }
            const auto start = static_cast<int32_t>(Below(int64_t(size) + 2) - 1);
            const auto end = static_cast<int32_t>(Below(int64_t(size) + 10));
            const bool ignoreCase = Below(2) == 0;
            Bytes lowered = pattern;
            if (ignoreCase)
                AnsiLowerBuffer(lowered.data(), static_cast<int32_t>(lowered.size()));
            const int32_t expected = hexmodel::Find(model, lowered, start, end, ignoreCase);
            Bytes buffer = pattern;
            const int32_t found = ed.Find(
                buffer.data(), static_cast<int32_t>(buffer.size()), start, end, ignoreCase, Below(2) == 0);
            if (found != expected)
                return "Find answered " + std::to_string(found) + ", the scan " + std::to_string(expected);
            // The pattern is lower-cased in place once the scan starts (not when it cannot
            // fit between start and the end).
            const int64_t last = std::min<int64_t>(end, int64_t(size) - 1);
            const bool scanned = std::max(start, 0) + int64_t(pattern.size()) <= last + 1;
            if (buffer != (scanned ? lowered : pattern))
                return "Find left another pattern than expected";
            break;
        }
        case SeekCaret: {
            const int32_t caret = ed.GetCursorPos();
            const auto offset = static_cast<int32_t>(Below(2 * int64_t(size) + 3) - size - 1);
            const auto origin = static_cast<int32_t>(Below(4));
            const bool refuse = Below(2) == 0;
            int64_t p = caret;
            if (origin == 0)
                p = offset;
            else if (origin == 1)
                p = int64_t(caret) + offset;
            else if (origin == 2)
                p = int64_t(size) - 1 + offset;
            bool expected = size > 0;
            if (expected && (p < 0 || p >= size)) {
                expected = !refuse;
                p = std::clamp<int64_t>(p, 0, size - 1);
            }
            if (ed.Seek(offset, origin, refuse) != expected)
                return "Seek answered wrong";
            if (expected && (ed.GetCursorPos() != p || ed.GetSelCount() != 0))
                return "Seek put the caret elsewhere";
            if (!expected && ed.GetCursorPos() != caret)
                return "a refused Seek moved the caret";
            break;
        }
        case SaveAndReload: {
            if (FSaveDir.empty())
                break;
            const std::string name = FSaveDir + "/data.bin";
            if (!ed.SaveToFile(name))
                return "SaveToFile failed";
            std::ifstream in(name, std::ios::binary);
            FRead.assign(model.size() + 1, 0); // one byte more shows a file that is too long
            in.read(reinterpret_cast<char*>(FRead.data()), static_cast<std::streamsize>(FRead.size()));
            if (static_cast<size_t>(in.gcount()) != model.size()
                || !std::equal(model.begin(), model.end(), FRead.begin()))
                return "the saved file differs";
            for (const auto& entry : std::filesystem::directory_iterator(FSaveDir)) {
                const std::string leaf = entry.path().filename().string();
                if (leaf != "data.bin" && leaf != "data.bak")
                    return "the save left " + leaf + " behind";
            }
            if (!ed.LoadFromFile(name))
                return "LoadFromFile failed";
            if (ed.GetModified() || ed.GetCanUndo())
                return "a load left the data modified or undoable";
            ForgetHistory();
            break;
        }
        default:
            break;
        }
        if (recorded) {
            FHistory.push_back(std::move(before));
            if (FHistory.size() > size_t(UndoStore::MaxRecords)) {
                GiveSpare(std::move(FHistory.front()));
                FHistory.pop_front();
            }
        } else {
            GiveSpare(std::move(before));
        }
        return Check();
    }

    // The editor against the model: data, size, undo steps, change marks.
    std::string Check()
    {
        THexEditor& ed = FEditor;
        if (!HoldsModel())
            return "data differs";
        if (ed.GetDataSize() != static_cast<int32_t>(FModel.size()))
            return "DataSize differs";
        if (ed.GetUndoStore().Count() != static_cast<int32_t>(FHistory.size()))
            return "the undo store holds " + std::to_string(ed.GetUndoStore().Count()) + " steps, not "
                + std::to_string(FHistory.size());
        if (!ed.IsInsertMode() && ed.GetChangeMarks().Size() > static_cast<int64_t>(FModel.size()))
            return "change marks past the data";
        return {};
    }

    // Undoes every step the store holds, checking each; then no step is left and the
    // data is the oldest state, unmodified.
    std::string UndoAll()
    {
        // Where all undos must lead: the state before the oldest step kept.
        const Bytes oldest = FHistory.empty() ? FModel : FHistory.front();
        while (!FHistory.empty()) {
            if (!FEditor.Undo())
                return "Undo took nothing back";
            std::swap(FModel, FHistory.back());
            GiveSpare(std::move(FHistory.back()));
            FHistory.pop_back();
            if (!HoldsModel())
                return "data differs after an undo";
        }
        if (FEditor.Undo())
            return "Undo took back a step that was not there";
        if (FModel != oldest || FEditor.GetAsText() != std::string(oldest.begin(), oldest.end()))
            return "undoing everything did not reach the oldest state";
        if (FEditor.GetModified())
            return "undoing everything left the data modified";
        return {};
    }

private:
    // Whether the editor holds exactly the model's bytes.
    bool HoldsModel()
    {
        if (FEditor.GetDataSize() != static_cast<int32_t>(FModel.size()))
            return false;
        FRead.resize(FModel.size());
        FEditor.GetMemAtPos(FRead.data(), 0, static_cast<int32_t>(FRead.size()));
        return FRead == FModel;
    }

    Bytes TakeSpare()
    {
        if (FSpares.empty())
            return {};
        Bytes spare = std::move(FSpares.back());
        FSpares.pop_back();
        return spare;
    }
    void GiveSpare(Bytes&& spare)
    {
        if (FSpares.size() < 4)
            FSpares.push_back(std::move(spare));
    }
    void ForgetHistory()
    {
        while (!FHistory.empty()) {
            GiveSpare(std::move(FHistory.back()));
            FHistory.pop_back();
        }
    }

    THexEditor& FEditor;
    Choice& FChoice;
    std::string FSaveDir;
    Bytes FModel;
    std::deque<Bytes> FHistory; // the state before each recorded step
    // Buffers of states no longer needed, reused so that a step on large data does not
    // allocate (allocations under the sanitizers cost page faults).
    std::vector<Bytes> FSpares;
    Bytes FRead;
};

} // namespace hexmodel
