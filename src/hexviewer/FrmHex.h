#pragma once
// The hex viewer: a read-only hex editor showing bytes handed over by the main window,
// a status bar with the selection's size, and an "&Edit" menu with copy, go-to and find.
// The main window owns one instance for its life; every view reuses it. The viewer owns
// its go-to/find dialog and the state that dialog works with.
#include <QDialog>

#include <cstdint>
#include <functional>

class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class FileStream;
class TFrmEdit;
class THexEditor;

class TFrmHex : public QDialog {
    Q_OBJECT
public:
    explicit TFrmHex(QWidget* parent = nullptr);
    ~TFrmHex() override;

    // Handlers (entered from Qt under Guarded()).
    void HexEditorStateChanged();
    void MnuItemCopyClick();
    void MenuItemOffsetClick();
    void MenuItemLineClick();
    void MenuItemFindClick();
    void MenuItemNextClick();

    // The lowest position p >= start at which all length bytes of pattern match and
    // p + length <= end (end cut to the data); -1 when there is none, also when start
    // lies outside the data.
    int32_t FindBytes(const uint8_t* pattern, int32_t length, int32_t end, int32_t start);

    // The text of the status bar's one panel.
    QString StatusText() const;

    // Supplies bytes offset .. offset + n - 1 of what is to be shown into block.
    using BlockFiller = std::function<void(uint8_t* block, uint32_t offset, uint32_t n)>;
    // Puts count bytes into the hex editor in place of what it showed: the bytes come in
    // blocks of at most 4 MiB, so a big view needs no buffer of its size. Afterwards the
    // caret is on the first byte, nothing is selected and there is nothing to undo.
    void PutBytes(uint32_t count, const BlockFiller& fill);
    // PutBytes, then shows the viewer modally.
    void ShowBytes(uint32_t count, const BlockFiller& fill);
    // As PutBytes, with count bytes of source from offset on (bytes past its end show as 0).
    // The kernel copies them into the editor's working file, so the view is the file as it
    // was at this moment: later writes to it, by this program or another, do not show.
    void PutFileRange(const FileStream& source, uint64_t offset, uint32_t count);
    // PutFileRange, then shows the viewer modally.
    void ShowFileRange(const FileStream& source, uint64_t offset, uint32_t count);
    // Selects every byte shown (nothing when the viewer is empty).
    void SelectAllBytes();

    THexEditor* HexEditor = nullptr;
    QStatusBar* StatusBar = nullptr;
    QMenuBar* MenuHexEdit = nullptr;
    QMenu* MnuEdit = nullptr;
    QAction* MnuItemCopy = nullptr;
    QAction* MenuItemOffset = nullptr;
    QAction* MenuItemLine = nullptr;
    QAction* MenuItemFind = nullptr;
    QAction* MenuItemNext = nullptr;
    // The go-to/find dialog, made with the viewer.
    TFrmEdit* FrmEdit = nullptr;

    // What the dialog's OK logic does: 'a' go to offset, 'b' go to line, 'c' find.
    char EditMode = 0;
    // Added to the selection start to get the next search start: 1 after a successful
    // search (so Find Next does not find the same match again), 0 after a failed one.
    uint16_t FindSkip = 0;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Prepares the dialog for one of the three commands that show it, and shows it.
    void ShowEditDialog(char mode, const QString& caption, int height, const QString& prompt);

    QLabel* FStatusPanel = nullptr;
};
