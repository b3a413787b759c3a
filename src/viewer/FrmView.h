#pragma once
// The main window: the header pages of the open file, its menus and file commands.
// The window keeps the values it read and the edited ones as numbers: the boxes show them in
// the radix in force and read what is typed into them.
#include "base/FileIdentity.h"
#include "header/Checksum.h"
#include "header/FieldTable.h"
#include "header/HeaderWriter.h"
#include "header/ImageReader.h"
#include "viewer/ViewerControls.h"

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class FileStream;
class ContentsModel;
class QModelIndex;
class QTreeView;
class QAction;
class QFileDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QUrl;
class QWidget;
class TFrmAbout;
class TFrmHex;
struct HeaderField;

// The startup file name from the program's arguments (without the program's own name):
// joined with single blanks, blanks and tabs in front skipped, nothing else parsed.
QString StartupTextFromArguments(const QStringList& arguments);

// Asked before a Save that would change bytes an intact Authenticode signature depends on.
inline constexpr const char* kSignatureBreakQuestion
    = "Saving will invalidate the file's digital signature. Save anyway?";

struct SaveChecks;

// A header box's tooltip: the field's PE name and its offset in its structure.
QString FieldToolTip(const HeaderField& field);

class TFrmView : public QMainWindow {
    Q_OBJECT
public:
    // startupFileName: the text after the program's name on the command line (empty: none).
    explicit TFrmView(QString startupFileName = {}, QWidget* parent = nullptr);
    ~TFrmView() override;

    // Opens the stream for a chosen file. Tests replace it to simulate a stream failure.
    using StreamOpener = std::function<std::unique_ptr<::FileStream>(const std::string& fileName)>;
    void SetStreamOpener(StreamOpener opener);

    // Whether the chosen file may be written: decided before it is opened, so opening never
    // changes it. Tests replace the probe to stand for a read-only mount.
    enum class WriteAccess : uint8_t {
        Writable,
        OwnerMayChange, // the user's own file, its mode forbids writing: Save asks to change it
        Denied, // not the user's to write (owner, mount): viewed read-only
    };
    struct WriteAccessAnswer {
        WriteAccess access = WriteAccess::Writable;
        QString reason; // why it may not be written, for Save's hint
    };
    using AccessProbe = std::function<WriteAccessAnswer(const std::string& fileName)>;
    void SetAccessProbe(AccessProbe probe);
    static WriteAccessAnswer ProbeWriteAccess(const std::string& fileName);
    // The open file is held read-only.
    bool ReadOnlyOpen() const { return FAccess.access != WriteAccess::Writable; }
    // Some value differs from what was read at open (or last saved).
    bool HasUnsavedEdits() const;

    // Handlers (all entered from Qt under Guarded()).
    void FormActivate();
    void MnuOpenClick();
    void MnuCloseFileClick();
    void MnuSaveClick();
    // Save; true when the file now holds every value shown.
    bool SaveFile();
    void ButSaveClick();
    void MnuExitClick();
    void MnuAboutClick();
    void MnuHexViewClick();
    void EdDateStampChange();
    void EdCharChange(QObject* sender);
    void CheckBoxExecMouseUp(
        QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);
    void EdDLLCharChange();
    void CheckBoxDllMouseUp(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);
    void EdMachineChange();
    void EdMagicChange();
    void EdSubsystemChange();
    void MnuCheckSumClick();
    void PageControl3DrawTab(QPainter& canvas, int tabIndex, const QRect& rect, bool active);
    void TabPEShow();
    void ButViewClick();
    void ButDumpClick();
    // Files dropped on the window: one local file is opened as Open opens the chosen one
    // (after closing the open file); anything else is refused with a message.
    void WMDropFiles(const QList<QUrl>& urls);

    // Compare With...: marks the boxes whose values differ from another file's and lists the rest
    // under "Differences" on the Contents page; the other file is only read. The chooser names
    // the file (the file dialog unless tests replace it; empty when cancelled).
    using FileChooser = std::function<QString()>;
    void SetCompareChooser(FileChooser chooser);
    void MnuCompareClick();
    void MnuCloseCompareClick();
    // The file the window compares with (empty when it compares with none).
    QString ComparedFileName() const;

    bool ReadHeaders(::FileStream& stream);
    // Asks "Save changes to FILE?" when there are unsaved edits: true when the caller may go on
    // (saved, discarded or nothing to save).
    bool SaveChangesAnswered();

    // The Contents page (decoded directories): filled at open, emptied at close.
    void ShowContents();
    void ClearContents();
    void UpdateContentsRadix();
    void TreeContentsActivated(const QModelIndex& index);
    void TreeContentsCopy();

    static bool IsHexText(const QString& text);
    static bool IsDecimalText(const QString& text);
    void ShowInvalidHex();
    void ShowInvalidInteger();
    static QString MonthName(unsigned month);

    // Fixed controls, named as in the form.
    TPageControl* PageControl1 = nullptr;
    QWidget* TabMZ = nullptr;
    QWidget* TabPE = nullptr;
    TPageControl* PageControl2 = nullptr;
    QWidget* TabFileHd = nullptr;
    QWidget* TabOptHd = nullptr;
    TPageControl* PageControlOption = nullptr;
    QWidget* TabStandard = nullptr;
    QWidget* TabNT = nullptr;
    QWidget* TabDataDir = nullptr;
    QWidget* TabSecHd = nullptr;
    QWidget* TabContents = nullptr;
    QTreeView* TreeContents = nullptr;
    TPageControl* PageControl3 = nullptr;
    QPushButton* ButView = nullptr;
    QPushButton* ButDump = nullptr;
    QPushButton* ButSave = nullptr;
    QLabel* LabelDate = nullptr;
    QLabel* LabelFileoffset = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    TCheckBox* CheckBoxSystem = nullptr;
    TCheckBox* CheckBoxDLL = nullptr;
    TCheckBox* CheckBoxExec = nullptr;
    TCheckBox* CheckBox32Bit = nullptr;
    TEdit* EdLfanew = nullptr; // shown, never written
    // Names of the values beside their boxes, and the checksum of the file on disk.
    QLabel* LabelMachine = nullptr;
    QLabel* LabelMagic = nullptr;
    QLabel* LabelSubsystem = nullptr;
    QLabel* LabelCheckSum = nullptr;
    QLabel* LabelSignature = nullptr; // the signature's state; the tooltip has signer and chain
    // DLL characteristics, mirroring EdDLLChar.
    QGroupBox* GroupBoxDll = nullptr;
    TCheckBox* CheckBoxDllHighEntropyVA = nullptr;
    TCheckBox* CheckBoxDllDynamicBase = nullptr;
    TCheckBox* CheckBoxDllForceIntegrity = nullptr;
    TCheckBox* CheckBoxDllNxCompatible = nullptr;
    TCheckBox* CheckBoxDllNoIsolation = nullptr;
    TCheckBox* CheckBoxDllNoSEH = nullptr;
    TCheckBox* CheckBoxDllNoBind = nullptr;
    TCheckBox* CheckBoxDllAppContainer = nullptr;
    TCheckBox* CheckBoxDllWDMDriver = nullptr;
    TCheckBox* CheckBoxDllControlFlowGuard = nullptr;
    TCheckBox* CheckBoxDllTerminalServerAware = nullptr;

    // DOS header
    TEdit* EdLastPage = nullptr;
    TEdit* EdPages = nullptr;
    TEdit* EdSizeHd = nullptr;
    TEdit* EdMinRam = nullptr;
    TEdit* EdMaxRam = nullptr;
    TEdit* Ed_SS = nullptr;
    TEdit* Ed_SP = nullptr;
    TEdit* Ed_IP = nullptr;
    TEdit* Ed_CS = nullptr;
    // File header
    TEdit* EdMachine = nullptr;
    TEdit* EdSections = nullptr;
    TEdit* EdDateStamp = nullptr;
    TEdit* EdSymbolTable = nullptr;
    TEdit* EdSymbols = nullptr;
    TEdit* EdSizeOptHd = nullptr;
    TEdit* EdChar = nullptr;
    // Optional header, standard fields
    TEdit* EdMagic = nullptr;
    TEdit* EdMajorLinker = nullptr;
    TEdit* EdMinorLinker = nullptr;
    TEdit* EdCode = nullptr;
    TEdit* EdInitData = nullptr;
    TEdit* EdUnInitData = nullptr;
    TEdit* EdEntryPoint = nullptr;
    TEdit* EdBaseCode = nullptr;
    TEdit* EdBaseData = nullptr;
    // Optional header, additional fields
    TEdit* EdImageBase = nullptr;
    TEdit* EdSectionAlign = nullptr;
    TEdit* EdFileAlign = nullptr;
    TEdit* EdMajorOS = nullptr;
    TEdit* EdMinorOS = nullptr;
    TEdit* EdMajorImage = nullptr;
    TEdit* EdMinorImage = nullptr;
    TEdit* EdMajorSubsystem = nullptr;
    TEdit* EdMinorSubsystem = nullptr;
    TEdit* EdWin32Version = nullptr;
    TEdit* EdSizeImage = nullptr;
    TEdit* EdWin32SizeHd = nullptr;
    TEdit* EdCheckSum = nullptr;
    TEdit* EdSubsystem = nullptr;
    TEdit* EdDLLChar = nullptr;
    TEdit* EdStackRes = nullptr;
    TEdit* EdStackCom = nullptr;
    TEdit* EdHeapRes = nullptr;
    TEdit* EdHeapCom = nullptr;
    TEdit* EdLoaderFlags = nullptr;
    TEdit* EdRva = nullptr;

    // Menu
    QMenu* MnuFile = nullptr;
    QAction* MnuOpen = nullptr;
    QAction* MnuCloseFile = nullptr;
    QAction* MnuSave = nullptr;
    QAction* MnuCompare = nullptr;
    QAction* MnuCloseCompare = nullptr;
    QAction* Dash = nullptr;
    QAction* MnuExit = nullptr;
    QMenu* MnuConvert = nullptr;
    QAction* MnuHexView = nullptr;
    QAction* MnuCheckSum = nullptr;
    QMenu* MnuHelp = nullptr;
    QAction* MnuAbout = nullptr;

    QFileDialog* OpenDlg = nullptr; // made on first use

    // Per-file state.
    std::unique_ptr<::FileStream> FileStream;
    uint32_t PEOffset = 0;
    uint16_t SectionCount = 0;
    uint16_t OptHeaderSize = 0;
    std::vector<QWidget*> SectionTabs;
    std::array<QLabel*, 9> SectionLabels{};
    std::vector<TEdit*> SectionEdits; // section i, row r at i * 9 + r
    std::vector<TCheckBox*> SectionCheckBoxes; // section i, flag f at i * 13 + f
    std::vector<TEdit*> SectionNameEdits; // the name box of section i
    QGroupBox* CharGroupBox = nullptr;
    uint32_t RawDataPointer = 0;
    uint32_t RawDataSize = 0;

    const std::array<QString, 9> SectionLabelTexts;
    const std::array<QString, 13> CharacteristicTexts;
    const std::array<uint32_t, 13> CharacteristicMasks;

    // The file the first activation opens; that open consumes it.
    QString StartupFileName;
    // The window's about box and hex viewer, made with it.
    TFrmAbout* FrmAbout = nullptr;
    TFrmHex* FrmHex = nullptr;

    bool SuppressFieldChange = false;
    bool ValidateOnly = false;
    bool ValidationPassed = false;

    // The open dialog's file name (or the startup file name that stood in for it).
    QString OpenFileName() const { return FFileName; }
    // The 46 header boxes in table order.
    const std::array<TEdit*, 46>& HeaderEdits() const { return FHeaderEdits; }
    // The data directory boxes: entry i has its RVA at 2 i and its size at 2 i + 1.
    const std::array<TEdit*, kDataDirectoryFieldCount>& DirectoryEdits() const { return FDirectoryEdits; }
    // The DLL characteristics boxes in the order of DllCharacteristicFlags().
    const std::array<TCheckBox*, 11>& DllCheckBoxes() const { return FDllCheckBoxes; }
    // The file characteristics boxes in the order of FileCharacteristicFlags().
    const std::array<TCheckBox*, 16>& FileCheckBoxes() const { return FFileCheckBoxes; }
    // The DOS header's other boxes in DosExtraFields() order (EdLfanew last).
    const std::array<TEdit*, kDosExtraFieldCount>& DosExtraEdits() const { return FDosExtraEdits; }
    // The optional header's layout as read when the file was opened; editing EdMagic does not
    // change it (the boxes keep the layout they were read in until the file is reopened).
    OptionalLayout Layout() const { return FOpened.layout; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Open's steps after the file name is chosen (FFileName): open, read, show.
    void OpenChosenFile();
    // Close without asking.
    void CloseFile();
    void UpdateTitle();
    // Save's enabled state and hint for the open file's write access.
    void UpdateSaveState();
    // For a file of the user's whose mode forbids writing: asks once, then adds the owner's
    // write permission and reopens the file for writing. False when the user declines.
    bool MakeWritable();
    // The values: each box's value as read at open (or at the last save), the value its text
    // gives now, and its look (edited, invalid). A section name (no field) is kept as text.
    void TrackEdit(TEdit* edit, const HeaderField* field, int64_t value = 0);
    // Reads a box's text into its value, as it was typed or written.
    void BoxTextChanged(TEdit* edit);
    void UpdateEditLook(TEdit* edit);
    void UpdateEditLooks();
    void RebaseEditValues();
    std::vector<TEdit*> TrackedEdits() const;
    TEdit* EditOf(const FieldRef& ref) const;
    // The box a refused value came from comes to the front with the focus.
    void FocusBox(QWidget* box);
    void CreateMenus();
    // The comparison (FrmViewCompare.cpp). CompareWith: false when the other file is no PE image.
    struct Comparison;
    bool CompareWith(const QString& fileName);
    // Puts every look and tooltip and the Contents tree back (nothing when not comparing).
    void CloseComparison();
    // After a save: compares the file on disk again, or ends the comparison when that fails.
    void RefreshComparison();
    void UpdateComparisonRadix();
    QString ComparisonTitle() const;
    void CreatePages();
    void CreateTabMZ();
    void CreateTabPE();
    void CreateTabFileHd();
    void CreateTabOptHd();
    void CreateTabStandard();
    void CreateTabNT();
    void CreateTabDataDir();
    void CreateTabSecHd();
    void CreateTabContents();
    void CreateButSave(QWidget* client);
    // Where a column of header rows goes on its page.
    struct RowGeometry {
        int left = 0; // the column's offset
        int top = 24;
        int step = 24;
        int labelLeft = 16;
        int labelWidth = 148;
        int editLeft = 168;
    };
    void CreateFieldRows(QWidget* page, int firstField, int count, const RowGeometry& geometry);
    QLabel* CreateNameLabel(QWidget* page, const char* name, const QWidget* beside, int width);
    TEdit* CreateEdit(QWidget* parent, const QString& name, int maxLength);
    QLabel* CreateFieldLabel(QWidget* parent, const QString& caption);
    void BuildSectionPage(int section, const QString& caption, const uint32_t* rows);
    void DestroySectionPages();
    using MouseUpHandler = void (TFrmView::*)(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, QPoint);
    // Runs a check box's handler under the guard; puts the box back when the handler fails.
    void RunCheckBoxMouseUp(TCheckBox* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
        QPoint pos, MouseUpHandler handler = &TFrmView::CheckBoxExecMouseUp);
    void SetFileOpenState(bool open);
    void ShowPeHeaderValues(const ImageHeaders& headers);
    // Enables the boxes the layout has (and the directory entries shown), greys the others and
    // sets the boxes' maximum lengths.
    void ApplyLayout(OptionalLayout layout, int directoryEntries);
    // Runs the validate-only radix toggle: true when every box holds a valid value that fits.
    bool ValidateShownValues();
    // Every shown box parsed as Save parses it (validated before).
    HeaderWriteInput ShownValues() const;
    // True when saving input leaves an intact signature intact, or the user answers Yes to
    // kSignatureBreakQuestion (default No).
    bool ConfirmSignatureBreak(const HeaderWriteInput& input, const SaveChecks& checks);
    void UpdateValueNames();
    void ComputeDiskChecksum();
    void UpdateCheckSumLabel();
    // Verifies the file's signature as it is on disk and shows the outcome in LabelSignature.
    void UpdateSignatureLabel();
    void AlignViewButton();
    void UpdatePageArea();
    bool PeTabShown() const;
    // Members of the converted set in order: the edit (or LabelFileoffset) and its class.
    struct ConvertedBox {
        TEdit* edit = nullptr; // a header or section edit, or
        QLabel* label = nullptr; // LabelFileoffset, converted but never validated
        ValueClass valueClass = ValueClass::Dword; // digits written and width parsed by the toggle
        const HeaderField* field = nullptr; // its row of the field tables (edits only)
        int section = -1; // section page of a section row
        bool suppressBefore = false; // set SuppressFieldChange before writing it
        bool suppressEnds = false; // the flag's consumer: clear what it left after writing
    };
    std::vector<ConvertedBox> ConvertedSet() const;
    // The number a box of the converted set shows (validated before).
    int64_t ShownNumber(const ConvertedBox& box) const;
    bool HexShown() const;
    // How messages name a box of the converted set.
    std::string BoxName(const ConvertedBox& box) const;
    // The captions of the section pages, in UTF-8.
    std::vector<std::string> SectionCaptions() const;

    std::array<TEdit*, 46> FHeaderEdits{};
    std::array<QLabel*, 46> FHeaderLabels{};
    std::array<TEdit*, kDataDirectoryFieldCount> FDirectoryEdits{};
    std::array<QLabel*, kDataDirectoryCount> FDirectoryLabels{};
    std::array<TCheckBox*, 11> FDllCheckBoxes{};
    std::array<TCheckBox*, 16> FFileCheckBoxes{};
    std::array<TEdit*, kDosExtraFieldCount> FDosExtraEdits{};
    std::array<QLabel*, kDosExtraFieldCount> FDosExtraLabels{};
    // The value of each box: what was read (or last saved) and what its text gives now.
    struct BoxValue {
        const HeaderField* field = nullptr; // none: a section name, kept as text
        int64_t read = 0;
        std::optional<int64_t> value; // as Save reads the text; none while it reads as no value
        QString readText; // a section name as read
    };
    std::map<TEdit*, BoxValue> FValues;
    bool FTrackingPaused = false;
    AccessProbe FAccessProbe;
    WriteAccessAnswer FAccess;
    bool FClosingAsked = false;
    // The checksum of the file on disk (computed at open and after a save) and its stored value.
    std::optional<ImageChecksum> FDiskChecksum;
    QString FFileName;
    ImageHeaders FOpened; // what the reader gave at open: the size and the values then
    FileIdentity FIdentity; // the file held open, as it was at open
    StreamOpener FStreamOpener;
    QFont FFieldLabelFont;
    QFont FCheckBoxFont;
    QPalette FFieldLabelPalette;
    QPalette FCheckBoxPalette;
    ContentsModel* FContentsModel = nullptr;
    std::shared_ptr<Comparison> FComparison; // shared_ptr: the type is complete in its own file
    FileChooser FCompareChooser;
};
