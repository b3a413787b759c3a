// The main window's pages: the header and section pages with their labels, edit boxes and
// check boxes, laid out as the classic form had them, and the Save button.
#include "header/FieldTable.h"
#include "ui/Fonts.h"
#include "ui/Guard.h"
#include "viewer/FieldBoxes.h"
#include "viewer/FrmView.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>

#include <string_view>

namespace {

// Row geometry of the header pages.
constexpr int kLabelLeft = 16;
constexpr int kLabelWidth = 148;
constexpr int kEditLeft = 168;
constexpr int kEditWidth = 81;
// A box that holds 8 bytes in PE32+: 20 decimal digits.
constexpr int kWideEditWidth = 130;
constexpr int kEditHeight = 16;

void SetTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

struct NamedEdit {
    FieldId id;
    TEdit* TFrmView::*member;
};

// The edit members by field; the field table gives the order.
constexpr NamedEdit kNamedEdits[] = {
    {FieldId::LastPage, &TFrmView::EdLastPage},
    {FieldId::Pages, &TFrmView::EdPages},
    {FieldId::SizeHd, &TFrmView::EdSizeHd},
    {FieldId::MinRam, &TFrmView::EdMinRam},
    {FieldId::MaxRam, &TFrmView::EdMaxRam},
    {FieldId::SS, &TFrmView::Ed_SS},
    {FieldId::SP, &TFrmView::Ed_SP},
    {FieldId::IP, &TFrmView::Ed_IP},
    {FieldId::CS, &TFrmView::Ed_CS},
    {FieldId::Machine, &TFrmView::EdMachine},
    {FieldId::Sections, &TFrmView::EdSections},
    {FieldId::DateStamp, &TFrmView::EdDateStamp},
    {FieldId::SymbolTable, &TFrmView::EdSymbolTable},
    {FieldId::Symbols, &TFrmView::EdSymbols},
    {FieldId::SizeOptHd, &TFrmView::EdSizeOptHd},
    {FieldId::Char, &TFrmView::EdChar},
    {FieldId::Magic, &TFrmView::EdMagic},
    {FieldId::MajorLinker, &TFrmView::EdMajorLinker},
    {FieldId::MinorLinker, &TFrmView::EdMinorLinker},
    {FieldId::Code, &TFrmView::EdCode},
    {FieldId::InitData, &TFrmView::EdInitData},
    {FieldId::UnInitData, &TFrmView::EdUnInitData},
    {FieldId::EntryPoint, &TFrmView::EdEntryPoint},
    {FieldId::BaseCode, &TFrmView::EdBaseCode},
    {FieldId::BaseData, &TFrmView::EdBaseData},
    {FieldId::ImageBase, &TFrmView::EdImageBase},
    {FieldId::SectionAlign, &TFrmView::EdSectionAlign},
    {FieldId::FileAlign, &TFrmView::EdFileAlign},
    {FieldId::MajorOS, &TFrmView::EdMajorOS},
    {FieldId::MinorOS, &TFrmView::EdMinorOS},
    {FieldId::MajorImage, &TFrmView::EdMajorImage},
    {FieldId::MinorImage, &TFrmView::EdMinorImage},
    {FieldId::MajorSubsystem, &TFrmView::EdMajorSubsystem},
    {FieldId::MinorSubsystem, &TFrmView::EdMinorSubsystem},
    {FieldId::Win32Version, &TFrmView::EdWin32Version},
    {FieldId::SizeImage, &TFrmView::EdSizeImage},
    {FieldId::Win32SizeHd, &TFrmView::EdWin32SizeHd},
    {FieldId::CheckSum, &TFrmView::EdCheckSum},
    {FieldId::Subsystem, &TFrmView::EdSubsystem},
    {FieldId::DLLChar, &TFrmView::EdDLLChar},
    {FieldId::StackRes, &TFrmView::EdStackRes},
    {FieldId::StackCom, &TFrmView::EdStackCom},
    {FieldId::HeapRes, &TFrmView::EdHeapRes},
    {FieldId::HeapCom, &TFrmView::EdHeapCom},
    {FieldId::LoaderFlags, &TFrmView::EdLoaderFlags},
    {FieldId::Rva, &TFrmView::EdRva},
};

QWidget* MakePage(const char* name)
{
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    return page;
}

void FillPage(QWidget* page, QWidget* child, int top = 2)
{
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(2, top, 2, 2);
    layout->addWidget(child);
}

} // namespace

QString FieldToolTip(const HeaderField& field)
{
    const char* structure = "DOS header";
    switch (field.structure) {
    case HeaderStructure::Dos:
        break;
    case HeaderStructure::File:
        structure = "file header";
        break;
    case HeaderStructure::Optional:
        structure = "optional header";
        break;
    case HeaderStructure::Section:
        structure = "section header";
        break;
    }
    return QStringLiteral("%1 at offset %2 (0x%3) of the %4")
        .arg(QString::fromLatin1(field.peName))
        .arg(field.offset)
        .arg(field.offset, 2, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(structure));
}

TEdit* TFrmView::CreateEdit(QWidget* parent, const QString& name, int maxLength)
{
    auto* edit = new TEdit(parent);
    if (!name.isEmpty())
        edit->setObjectName(name);
    edit->SetMaxLength(maxLength);
    edit->setFixedHeight(kEditHeight);
    edit->setTextMargins(0, 0, 0, 0);
    // A file dropped on a box opens, as anywhere on the window, rather than typing its name.
    edit->setAcceptDrops(false);
    connect(edit, &QLineEdit::textChanged, this, [this, edit] {
        if (!FTrackingPaused && FValues.count(edit) != 0) {
            BoxTextChanged(edit);
            UpdateTitle();
        }
    });
    return edit;
}

QLabel* TFrmView::CreateFieldLabel(QWidget* parent, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setFont(FFieldLabelFont);
    label->setPalette(FFieldLabelPalette);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* TFrmView::CreateNameLabel(QWidget* page, const char* name, const QWidget* beside, int width)
{
    auto* label = new QLabel(page);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font()); // the window's plain face: the longest names fit beside their box
    SetTextColor(label, QColor(0, 128, 0));
    label->setGeometry(beside->x() + beside->width() + 3, beside->y(), width, kEditHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

void TFrmView::CreateFieldRows(QWidget* page, int firstField, int count, const RowGeometry& geometry)
{
    const auto fields = HeaderFields();
    const auto wide = HeaderFields(OptionalLayout::Pe32Plus);
    int top = geometry.top;
    for (int i = firstField; i < firstField + count; ++i) {
        const HeaderField& field = fields[static_cast<size_t>(i)];
        QLabel* label = CreateFieldLabel(page, QString::fromLatin1(field.caption));
        label->setGeometry(geometry.left + geometry.labelLeft, top, geometry.labelWidth, kEditHeight);
        TEdit* edit = CreateEdit(page, QString::fromLatin1(BoxOf(field.id).name), BoxOf(field.id).maxLength);
        // The same box holds 8 bytes when a PE32+ file is open.
        const int width = wide[static_cast<size_t>(i)].width == 8 ? kWideEditWidth : kEditWidth;
        edit->setGeometry(geometry.left + geometry.editLeft, top, width, kEditHeight);
        edit->setToolTip(FieldToolTip(field));
        FHeaderEdits[static_cast<size_t>(i)] = edit;
        FHeaderLabels[static_cast<size_t>(i)] = label;
        for (const NamedEdit& named : kNamedEdits) {
            if (named.id == field.id)
                this->*named.member = edit;
        }
        top += geometry.step;
    }
}

void TFrmView::CreatePages()
{
    // The pages scroll when the window is smaller than they are (a small screen, a large
    // scale factor); the frameless area keeps the client's coordinates as they were.
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName(QStringLiteral("ClientScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setMinimumSize(618, 410 - 24);
    scroller->setWidget(client);
    setCentralWidget(scroller);

    PageControl1 = new TPageControl(client);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFont(FormFace(SansFamilies(), true));
    auto* clientLayout = new QHBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->addWidget(PageControl1);

    CreateTabMZ();
    CreateTabPE();
    CreateTabContents();
    CreateButSave(client);

    // Text changes run the change handlers (they fire only when the text really changes).
    connect(EdDateStamp, &QLineEdit::textChanged, this, [this] { Guarded([this] { EdDateStampChange(); }); });
    connect(EdChar, &QLineEdit::textChanged, this, [this] { Guarded([this] { EdCharChange(EdChar); }); });
    connect(EdDLLChar, &QLineEdit::textChanged, this, [this] { Guarded([this] { EdDLLCharChange(); }); });
    connect(EdMachine, &QLineEdit::textChanged, this, [this] { Guarded([this] { EdMachineChange(); }); });
    connect(EdMagic, &QLineEdit::textChanged, this, [this] { Guarded([this] { EdMagicChange(); }); });
    connect(EdSubsystem, &QLineEdit::textChanged, this, [this] { Guarded([this] { EdSubsystemChange(); }); });

    PageControl1->setTabVisible(PageControl1->indexOf(TabMZ), false);
    PageControl1->setTabVisible(PageControl1->indexOf(TabPE), false);
    UpdatePageArea();
}

void TFrmView::CreateTabMZ()
{
    TabMZ = MakePage("TabMZ");
    CreateFieldRows(TabMZ, 0, kDosFieldCount, RowGeometry{});
    // The other words beside them: two narrow columns; e_lfanew below the classic rows.
    const auto extra = DosExtraFields();
    for (int i = 0; i < kDosExtraFieldCount; ++i) {
        const HeaderField& field = extra[static_cast<size_t>(i)];
        int left = kLabelLeft, labelWidth = kLabelWidth, editLeft = kEditLeft, row = kDosFieldCount;
        if (i != kLfanewExtraIndex) {
            const bool third = field.peName.starts_with("e_res2");
            left = third ? 440 : 262;
            labelWidth = third ? 86 : 108;
            editLeft = left + labelWidth + 2;
            row = third ? i - 9 : i;
        }
        const int top = 24 + 24 * row;
        QLabel* label = CreateFieldLabel(TabMZ, QString::fromLatin1(field.caption));
        label->setGeometry(left, top, labelWidth, kEditHeight);
        TEdit* edit = CreateEdit(TabMZ, QString::fromLatin1(BoxOf(field.id).name), BoxOf(field.id).maxLength);
        edit->setGeometry(editLeft, top, i == kLfanewExtraIndex ? kEditWidth : 50, kEditHeight);
        edit->setToolTip(FieldToolTip(field));
        FDosExtraEdits[static_cast<size_t>(i)] = edit;
        FDosExtraLabels[static_cast<size_t>(i)] = label;
    }
    EdLfanew = FDosExtraEdits[kLfanewExtraIndex];
    EdLfanew->setReadOnly(true);
    // The file's Authenticode signature, on the page a file opens at, below the DOS rows.
    QLabel* caption = CreateFieldLabel(TabMZ, QStringLiteral("Signature:"));
    caption->setGeometry(kLabelLeft, 24 + 24 * (kDosFieldCount + 1), kLabelWidth, kEditHeight);
    LabelSignature = CreateNameLabel(TabMZ, "LabelSignature", caption, 260);
    LabelSignature->move(kEditLeft, caption->y());
    PageControl1->addTab(TabMZ, QStringLiteral("&MZ Header"));
}

void TFrmView::CreateTabPE()
{
    TabPE = MakePage("TabPE");
    PageControl2 = new TPageControl(TabPE);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    // No top margin: the section page then starts where "&View" at the form's top 288 is level
    // with "Sa&ve".
    FillPage(TabPE, PageControl2, 0);
    PageControl1->addTab(TabPE, QStringLiteral("&PE Header"));
    CreateTabFileHd();
    CreateTabOptHd();
    CreateTabSecHd();
    TabPE->installEventFilter(this);
}

void TFrmView::CreateTabFileHd()
{
    TabFileHd = MakePage("TabFileHd");
    CreateFieldRows(TabFileHd, kDosFieldCount, kFileFieldCount, RowGeometry{});
    LabelDate = new QLabel(TabFileHd);
    LabelDate->setObjectName(QStringLiteral("LabelDate"));
    LabelDate->setFont(FFieldLabelFont);
    SetTextColor(LabelDate, QColor(0, 128, 0));
    LabelDate->setGeometry(kEditLeft + kEditWidth + 12, EdDateStamp->y(), 200, kEditHeight);
    LabelDate->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LabelMachine = CreateNameLabel(TabFileHd, "LabelMachine", EdMachine, 200);
    LabelMachine->move(LabelDate->x(), LabelMachine->y());

    GroupBox2 = new QGroupBox(QStringLiteral("&Characteristics"), TabFileHd);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    // All sixteen bits in two columns: the four classic boxes head the first.
    GroupBox2->setGeometry(256, 96, 356, 186);
    TCheckBox** fileBoxes[] = {&CheckBoxSystem, &CheckBoxDLL, &CheckBoxExec, &CheckBox32Bit};
    const auto fileFlags = FileCharacteristicFlags();
    for (size_t f = 0; f < fileFlags.size() && f < FFileCheckBoxes.size(); ++f) {
        auto* box = new TCheckBox(QString::fromLatin1(fileFlags[f].caption), GroupBox2);
        box->setObjectName(QString::fromLatin1(FileFlagBoxes()[f]));
        box->setGeometry(8 + 174 * static_cast<int>(f / 8), 18 + 20 * static_cast<int>(f % 8), 170, 17);
        box->setToolTip(
            QStringLiteral("Characteristics bit 0x%1").arg(fileFlags[f].bit, 4, 16, QLatin1Char('0')));
        box->OnMouseUp = [this](TCheckBox* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                             QPoint pos) { RunCheckBoxMouseUp(sender, button, shift, pos); };
        if (f < 4)
            *fileBoxes[f] = box;
        FFileCheckBoxes[f] = box;
    }
    PageControl2->addTab(TabFileHd, QStringLiteral("Fil&e Header"));
}

void TFrmView::CreateTabOptHd()
{
    TabOptHd = MakePage("TabOptHd");
    PageControlOption = new TPageControl(TabOptHd);
    PageControlOption->setObjectName(QStringLiteral("PageControlOption"));
    FillPage(TabOptHd, PageControlOption);
    PageControl2->addTab(TabOptHd, QStringLiteral("&Optional Header"));
    CreateTabStandard();
    CreateTabNT();
    CreateTabDataDir();
}

void TFrmView::CreateTabStandard()
{
    const int firstOptional = kDosFieldCount + kFileFieldCount;
    const int standardCount = HeaderIndex(FieldId::BaseData) - firstOptional + 1;
    TabStandard = MakePage("TabStandard");
    CreateFieldRows(TabStandard, firstOptional, standardCount, RowGeometry{});
    LabelMagic = CreateNameLabel(TabStandard, "LabelMagic", EdMagic, 52);
    Label1 = CreateFieldLabel(TabStandard, QStringLiteral("File Offset Of Entry Point:"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(312, 24, kLabelWidth, kEditHeight);
    LabelFileoffset = new QLabel(QStringLiteral("0"), TabStandard);
    LabelFileoffset->setObjectName(QStringLiteral("LabelFileoffset"));
    SetTextColor(LabelFileoffset, Qt::black);
    LabelFileoffset->setGeometry(312 + kEditLeft - kLabelLeft, 24, 100, kEditHeight);
    LabelFileoffset->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ButDump = new QPushButton(QStringLiteral("&Dump"), TabStandard);
    ButDump->setObjectName(QStringLiteral("ButDump"));
    ButDump->setToolTip(QStringLiteral("Dump Entry Point"));
    ButDump->setGeometry(312 + kEditLeft - kLabelLeft, 52, 75, 25);
    connect(ButDump, &QPushButton::clicked, this, [this] { Guarded([this] { ButDumpClick(); }); });
    PageControlOption->addTab(TabStandard, QStringLiteral("Standard Fields"));
}

void TFrmView::CreateTabNT()
{
    // Two columns. The first holds Image Base (8 bytes in PE32+); the second the boxes with
    // a name or the checksum beside them and the four 8-byte stack and heap sizes.
    TabNT = MakePage("TabNT");
    const int ntFirst = HeaderIndex(FieldId::ImageBase);
    const int ntCount = kHeaderFieldCount - ntFirst;
    const int leftColumn = (ntCount + 1) / 2;
    RowGeometry left{0, 16, 22, 4, 126, 132};
    RowGeometry right{262, 16, 22, 0, 127, 127};
    CreateFieldRows(TabNT, ntFirst, leftColumn, left);
    CreateFieldRows(TabNT, ntFirst + leftColumn, ntCount - leftColumn, right);
    LabelCheckSum = CreateNameLabel(TabNT, "LabelCheckSum", EdCheckSum, 125);
    LabelCheckSum->setToolTip(QStringLiteral("The checksum of the file on disk, computed at open and after "
                                             "Save, and whether the stored CheckSum matches it"));
    LabelSubsystem = CreateNameLabel(TabNT, "LabelSubsystem", EdSubsystem, 125);
    PageControlOption->addTab(TabNT, QStringLiteral("Additional Fields"));
}

void TFrmView::CreateTabDataDir()
{
    // Sixteen entries in two columns of eight, each an RVA and a size, and the DLL
    // characteristics below them, clear of the Save button in the window's lower left corner.
    TabDataDir = MakePage("TabDataDir");
    constexpr int kColumn = 296;
    constexpr int kNameWidth = 100;
    constexpr int kTop = 22;
    constexpr int kStep = 20;
    const auto fields = DataDirectoryFields(OptionalLayout::Pe32);
    for (int column = 0; column < 2; ++column) {
        const int left = 6 + column * kColumn;
        for (const auto& [text, x] :
            {std::pair{"RVA", left + kNameWidth + 2}, std::pair{"Size", left + kNameWidth + 87}}) {
            QLabel* heading = CreateFieldLabel(TabDataDir, QString::fromLatin1(text));
            heading->setGeometry(x, 4, kEditWidth, kEditHeight);
        }
    }
    for (int entry = 0; entry < kDataDirectoryCount; ++entry) {
        const int left = 6 + (entry / 8) * kColumn;
        const int top = kTop + (entry % 8) * kStep;
        QLabel* name = CreateFieldLabel(
            TabDataDir, QString::fromLatin1(DataDirectoryNames()[static_cast<size_t>(entry)]));
        name->setObjectName(QStringLiteral("LabelDir%1").arg(entry));
        name->setGeometry(left, top, kNameWidth, kEditHeight);
        FDirectoryLabels[static_cast<size_t>(entry)] = name;
        for (int half = 0; half < 2; ++half) {
            const size_t row = static_cast<size_t>(2 * entry + half);
            const FieldBox& named = BoxOf(fields[row].id);
            TEdit* edit = CreateEdit(TabDataDir, QString::fromLatin1(named.name), named.maxLength);
            edit->setToolTip(FieldToolTip(fields[row]));
            edit->setGeometry(left + kNameWidth + 2 + 85 * half, top, kEditWidth, kEditHeight);
            FDirectoryEdits[row] = edit;
        }
    }

    GroupBoxDll = new QGroupBox(QStringLiteral("D&LL Characteristics"), TabDataDir);
    GroupBoxDll->setObjectName(QStringLiteral("GroupBoxDll"));
    GroupBoxDll->setGeometry(104, kTop + 8 * kStep + 2, 492, 100);
    TCheckBox** dllBoxes[] = {&CheckBoxDllHighEntropyVA, &CheckBoxDllDynamicBase, &CheckBoxDllForceIntegrity,
        &CheckBoxDllNxCompatible, &CheckBoxDllNoIsolation, &CheckBoxDllNoSEH, &CheckBoxDllNoBind,
        &CheckBoxDllAppContainer, &CheckBoxDllWDMDriver, &CheckBoxDllControlFlowGuard,
        &CheckBoxDllTerminalServerAware};
    const auto dllFlags = DllCharacteristicFlags();
    for (size_t f = 0; f < dllFlags.size() && f < FDllCheckBoxes.size(); ++f) {
        auto* box = new TCheckBox(QString::fromLatin1(dllFlags[f].caption), GroupBoxDll);
        box->setObjectName(QString::fromLatin1(DllFlagBoxes()[f]));
        box->setFont(FCheckBoxFont);
        box->setPalette(FCheckBoxPalette);
        const int column = static_cast<int>(f) / 4;
        const int row = static_cast<int>(f) % 4;
        box->setGeometry(10 + 160 * column, 18 + 19 * row, 156, 17);
        box->OnMouseUp
            = [this](TCheckBox* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos) {
                  RunCheckBoxMouseUp(sender, button, shift, pos, &TFrmView::CheckBoxDllMouseUp);
              };
        *dllBoxes[f] = box;
        FDllCheckBoxes[f] = box;
    }
    PageControlOption->addTab(TabDataDir, QStringLiteral("Data Directories"));
}

void TFrmView::CreateTabSecHd()
{
    TabSecHd = MakePage("TabSecHd");
    PageControl3 = new TPageControl(TabSecHd, true);
    PageControl3->setObjectName(QStringLiteral("PageControl3"));
    PageControl3->OwnerDrawTabBar()->OnDrawTab
        = [this](QPainter& canvas, int index, const QRect& rect, bool active) {
              Guarded([&] { PageControl3DrawTab(canvas, index, rect, active); });
          };
    FillPage(TabSecHd, PageControl3);
    ButView = new QPushButton(QStringLiteral("&View"), TabSecHd);
    ButView->setObjectName(QStringLiteral("ButView"));
    ButView->setToolTip(QStringLiteral("View Section Body"));
    ButView->setGeometry(kEditLeft, 288, 75, 25);
    ButView->raise();
    TabSecHd->installEventFilter(this);
    connect(ButView, &QPushButton::clicked, this, [this] { Guarded([this] { ButViewClick(); }); });
    PageControl2->addTab(TabSecHd, QStringLiteral("&Section Header"));
}

void TFrmView::CreateButSave(QWidget* client)
{
    ButSave = new QPushButton(QStringLiteral("Sa&ve"), client);
    ButSave->setObjectName(QStringLiteral("ButSave"));
    // The same face as the buttons on the pages ("&View" lines up with it).
    ButSave->setFont(PageControl1->font());
    ButSave->setGeometry(24, 336, 75, 25);
    ButSave->setEnabled(false);
    ButSave->raise();
    connect(ButSave, &QPushButton::clicked, this, [this] { Guarded([this] { ButSaveClick(); }); });
}
