#pragma once
// Shared pieces of the hex viewer tests: a message recorder, the two windows as the
// program creates them, and data put into the viewer the way the main window does.
#include "hexeditor/HexEditor.h"
#include "hexviewer/FrmEdit.h"
#include "hexviewer/FrmHex.h"
#include "support/MessageLog.h"
#include "support/ModalDriver.h"
#include "ui/Messages.h"

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// The viewer under test and its dialog, while a HexViewerWindows lives.
inline TFrmHex* FrmHex = nullptr;
inline TFrmEdit* FrmEdit = nullptr;

// The viewer as the main window makes it, with its dialog. The viewer is shown (not
// modally), so the editor's posted state notifications arrive.
class HexViewerWindows {
public:
    HexViewerWindows()
    {
        FrmHex = new TFrmHex;
        FrmEdit = FrmHex->FrmEdit;
        FrmHex->show();
        (void)QTest::qWaitForWindowExposed(FrmHex);
        QApplication::processEvents();
    }
    ~HexViewerWindows()
    {
        delete FrmHex; // takes FrmEdit with it
        FrmHex = nullptr;
        FrmEdit = nullptr;
    }
    HexViewerWindows(const HexViewerWindows&) = delete;
    HexViewerWindows& operator=(const HexViewerWindows&) = delete;
};

inline std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Puts bytes into the viewer's editor as the main window does, caret on the first byte.
inline void Fill(const std::vector<uint8_t>& bytes)
{
    FrmHex->PutBytes(
        static_cast<uint32_t>(bytes.size()), [&bytes](uint8_t* block, uint32_t offset, uint32_t n) {
            std::copy_n(bytes.data() + offset, n, block);
        });
    QApplication::processEvents();
}

// The dialog back in its start state: no text, "Text (Insensitive)", no skip.
inline void ResetDialog()
{
    FrmEdit->hide();
    FrmEdit->Edit1->clear();
    FrmEdit->RadioButtonTextI->setChecked(true);
    FrmHex->FindSkip = 0;
    FrmHex->EditMode = 0;
}

// The editor's selection as [first, last], or [-1, -1] without one.
inline std::pair<int32_t, int32_t> Selection()
{
    THexEditor* editor = FrmHex->HexEditor;
    if (editor->GetSelCount() == 0)
        return {-1, -1};
    return {editor->GetSelFirst(), editor->GetSelLast()};
}
