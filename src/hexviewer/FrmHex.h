#pragma once
// The hex viewer: a read-only hex editor showing bytes handed over by the main window,
// a status bar with the selection's size, and an "&Edit" menu with copy, go-to and find.
// One instance (FrmHex) lives from program start; every view reuses it.
#include <QDialog>

#include <cstdint>
#include <functional>

class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class THexEditor;

// What the go-to/find dialog's OK logic does: 'a' go to offset, 'b' go to line, 'c' find.
extern char EditMode;

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

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Prepares the dialog for one of the three commands that show it, and shows it.
    void ShowEditDialog(char mode, const QString& caption, int height, const QString& prompt);

    QLabel* FStatusPanel = nullptr;
};

extern TFrmHex* FrmHex;
