// The values the boxes show: reading what is typed, the radix toggle and validation, edit
// tracking, the date label and the characteristics check boxes.
#include "viewer/FrmView.h"

#include "header/FieldTable.h"
#include "header/FieldValue.h"
#include "header/ImageNames.h"
#include "header/TimeStamp.h"
#include "ui/Guard.h"
#include "ui/Messages.h"

#include <QAction>
#include <QLabel>

namespace {

std::string Text(const QString& text)
{
    return text.toStdString();
}

QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

// The check boxes of a flags word show its bits.
void ShowFlags(uint16_t value, std::span<const FileFlag> flags, std::span<TCheckBox* const> boxes)
{
    for (size_t f = 0; f < flags.size() && f < boxes.size(); ++f)
        boxes[f]->setChecked((value & flags[f].bit) != 0);
}

// When sender is one of the boxes, writes value with the box's bit as the box now shows it
// into edit and answers true.
bool ApplyFlagBox(QObject* sender, TEdit* edit, uint16_t value, bool hex, std::span<const FileFlag> flags,
    std::span<TCheckBox* const> boxes)
{
    for (size_t f = 0; f < flags.size() && f < boxes.size(); ++f) {
        if (boxes[f] != sender)
            continue;
        const uint16_t bit = flags[f].bit;
        const auto changed = static_cast<uint16_t>(boxes[f]->isChecked() ? (value | bit) : (value & ~bit));
        edit->setText(ToQString(FieldValueText(changed, hex, 4)));
        return true;
    }
    return false;
}

} // namespace

bool TFrmView::HexShown() const
{
    return MnuHexView->isChecked();
}

bool TFrmView::IsHexText(const QString& text)
{
    return ::IsHexText(Text(text));
}

bool TFrmView::IsDecimalText(const QString& text)
{
    return ::IsDecimalText(Text(text));
}

void TFrmView::ShowInvalidHex()
{
    ShowMessage(QStringLiteral("Invalid Hex value."));
}

void TFrmView::ShowInvalidInteger()
{
    ShowMessage(QStringLiteral("Invalid Integer value."));
}

QString TFrmView::MonthName(unsigned month)
{
    return ToQString(::MonthName(month));
}

std::vector<TFrmView::ConvertedBox> TFrmView::ConvertedSet() const
{
    std::vector<ConvertedBox> set;
    const bool pe = PeTabShown();
    // The layout as read at open: a box its layout does not have takes no part.
    const OptionalLayout layout = pe ? FOpened.layout : OptionalLayout::Pe32;
    const auto fields = HeaderFields(layout);
    const int count = pe ? kHeaderFieldCount : kDosFieldCount;
    set.reserve(static_cast<size_t>(count + 1) + FDosExtraEdits.size() + FDirectoryEdits.size()
        + SectionEdits.size());
    for (int i = 0; i < count; ++i) {
        const HeaderField& field = fields[static_cast<size_t>(i)];
        if (i == HeaderIndex(FieldId::EntryPoint) + 1) {
            ConvertedBox offset;
            offset.label = LabelFileoffset;
            set.push_back(offset);
        }
        if (!field.Present())
            continue;
        ConvertedBox box;
        box.edit = FHeaderEdits[static_cast<size_t>(i)];
        box.valueClass = field.valueClass;
        box.field = &field;
        // EdMachine and EdSections have no change handler, so the flag set before
        // EdMachine is the date stamp's; EdChar and EdDLLChar consume their own.
        box.suppressBefore = box.edit == EdMachine || box.edit == EdChar || box.edit == EdDLLChar;
        box.suppressEnds = box.edit == EdDateStamp || box.edit == EdChar || box.edit == EdDLLChar;
        set.push_back(box);
    }
    // The DOS header's other words (e_lfanew too: shown in the same radix, never changed).
    if (FValues.count(FDosExtraEdits[0]) != 0) {
        const auto extra = DosExtraFields();
        for (size_t i = 0; i < extra.size(); ++i) {
            ConvertedBox box;
            box.edit = FDosExtraEdits[i];
            box.field = &extra[i];
            box.valueClass = extra[i].valueClass;
            set.push_back(box);
        }
    }
    if (pe) {
        const auto directories = DataDirectoryFields(layout);
        for (int i = 0; i < 2 * FOpened.directoryEntries; ++i) {
            ConvertedBox box;
            box.edit = FDirectoryEdits[static_cast<size_t>(i)];
            box.field = &directories[static_cast<size_t>(i)];
            box.valueClass = box.field->valueClass;
            set.push_back(box);
        }
        const auto rows = SectionFields();
        for (size_t i = 0; i < SectionEdits.size(); ++i) {
            ConvertedBox box;
            box.edit = SectionEdits[i];
            box.field = &rows[i % rows.size()];
            box.section = static_cast<int>(i / rows.size());
            box.suppressBefore = true;
            box.suppressEnds = true;
            set.push_back(box);
        }
    }
    return set;
}

std::string TFrmView::BoxName(const ConvertedBox& box) const
{
    if (box.section < 0)
        return FieldDisplayName(box.field->caption);
    return FieldDisplayName(box.field->caption, Text(PageControl3->tabText(box.section)));
}

std::vector<std::string> TFrmView::SectionCaptions() const
{
    std::vector<std::string> captions;
    for (int i = 0; i < SectionCount && i < PageControl3->count(); ++i)
        captions.push_back(Text(PageControl3->tabText(i)));
    return captions;
}

int64_t TFrmView::ShownNumber(const ConvertedBox& box) const
{
    if (box.label) // not a box of the header: it converts its own text
        return ParseClassValue(Text(box.label->text()), HexShown(), box.valueClass);
    if (box.edit == EdLfanew) // shown, never edited
        return static_cast<int64_t>(FOpened.dosExtra[kLfanewExtraIndex]);
    return FValues.at(box.edit).value.value_or(0);
}

void TFrmView::MnuHexViewClick()
{
    const bool hex = HexShown();
    const std::vector<ConvertedBox> set = ConvertedSet();

    for (const ConvertedBox& box : set) {
        if (!box.edit)
            continue; // LabelFileoffset is never validated
        // A value wider than its field in the file would lose digits when saved or show a
        // number the field cannot hold. Save reads at its own width (section rows 6 and 7
        // at 32 bits), the conversion at the display class's.
        const FieldReading reading = ReadFieldText(Text(box.edit->text()), hex, *box.field, ValidateOnly);
        if (reading.error == FieldTextError::None)
            continue;
        if (reading.error == FieldTextError::Width)
            ShowMessage(ToQString(FieldWidthMessage(BoxName(box), box.field->width)));
        else if (hex)
            ShowInvalidHex();
        else
            ShowInvalidInteger();
        FocusBox(box.edit);
        return;
    }
    if (ValidateOnly) {
        ValidationPassed = true;
        return;
    }

    // Every box is drawn again from its number in the other radix.
    FTrackingPaused = true;
    struct Resume {
        bool& flag;
        ~Resume() { flag = false; }
    } resume{FTrackingPaused};
    for (const ConvertedBox& box : set) {
        const std::string converted = ClassValueText(ShownNumber(box), !hex, box.valueClass);
        if (box.suppressBefore)
            SuppressFieldChange = true;
        if (box.edit)
            box.edit->setText(ToQString(converted));
        else
            box.label->setText(ToQString(converted));
        // The flag is one-shot for the handler of the box just written. When the text
        // did not change no handler ran: drop it, or it would swallow the next real edit.
        if (box.suppressEnds)
            SuppressFieldChange = false;
        // The value stays; only a text that does not read back in the new radix (a negative
        // word drawn as "-1" in decimal) leaves the box without one.
        if (auto found = FValues.find(box.edit); found != FValues.end())
            found->second.value = ReadFieldText(converted, !hex, *box.field, true).value;
    }
    MnuHexView->setChecked(!hex);
    FTrackingPaused = false;
    UpdateEditLooks();
    // The names were looked up while the texts changed under the old radix.
    UpdateValueNames();
    UpdateCheckSumLabel();
    UpdateContentsRadix();
}

void TFrmView::FocusBox(QWidget* box)
{
    for (QWidget* w = box; w && w->parentWidget(); w = w->parentWidget()) {
        auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget());
        if (tabs && tabs->indexOf(w) >= 0)
            tabs->setCurrentWidget(w);
    }
    box->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(box))
        edit->selectAll();
}

void TFrmView::TrackEdit(TEdit* edit, const HeaderField* field, int64_t value)
{
    FValues[edit] = BoxValue{field, value, value, field ? QString() : edit->text()};
    edit->SetLook(false, false);
}

void TFrmView::BoxTextChanged(TEdit* edit)
{
    const auto found = FValues.find(edit);
    if (found == FValues.end())
        return;
    if (found->second.field)
        found->second.value = ReadFieldText(Text(edit->text()), HexShown(), *found->second.field, true).value;
    UpdateEditLook(edit);
}

std::vector<TEdit*> TFrmView::TrackedEdits() const
{
    std::vector<TEdit*> edits;
    edits.reserve(FValues.size());
    for (const auto& [edit, value] : FValues)
        edits.push_back(edit);
    return edits;
}

namespace {

// A section name: at most 8 characters, each one byte in Latin-1.
bool IsSectionNameText(const QString& text)
{
    if (text.size() > kSectionNameBytes)
        return false;
    for (const QChar c : text) {
        if (c.unicode() > 0xFF || c.unicode() == 0)
            return false;
    }
    return true;
}

} // namespace

void TFrmView::UpdateEditLook(TEdit* edit)
{
    const auto found = FValues.find(edit);
    if (found == FValues.end())
        return;
    const BoxValue& box = found->second;
    if (!box.field) { // a section name
        const QString text = edit->text();
        edit->SetLook(text != box.readText, !IsSectionNameText(text));
        return;
    }
    // Compared as the field stores them: a negative value is its two's complement.
    const uint64_t mask = box.field->width >= 8 ? ~0ull : (1ull << (8 * box.field->width)) - 1;
    const bool edited = !box.value || (uint64_t(*box.value) & mask) != (uint64_t(box.read) & mask);
    edit->SetLook(edited, !box.value);
}

void TFrmView::UpdateEditLooks()
{
    for (const auto& [edit, value] : FValues)
        UpdateEditLook(edit);
    UpdateTitle();
}

void TFrmView::RebaseEditValues()
{
    // What the file now holds is the new reference.
    for (auto& [edit, box] : FValues) {
        if (!box.field)
            box.readText = edit->text();
        else if (box.value)
            box.read = *box.value;
    }
}

bool TFrmView::HasUnsavedEdits() const
{
    for (const auto& [edit, value] : FValues) {
        if (edit->Edited())
            return true;
    }
    return false;
}

void TFrmView::EdMachineChange()
{
    LabelMachine->setText(
        ToQString(std::string(ValueNameOfText(ValueNames::Machine, Text(EdMachine->text()), HexShown()))));
}

void TFrmView::EdMagicChange()
{
    LabelMagic->setText(
        ToQString(std::string(ValueNameOfText(ValueNames::Magic, Text(EdMagic->text()), HexShown()))));
}

void TFrmView::EdSubsystemChange()
{
    LabelSubsystem->setText(ToQString(
        std::string(ValueNameOfText(ValueNames::Subsystem, Text(EdSubsystem->text()), HexShown()))));
}

void TFrmView::UpdateValueNames()
{
    EdMachineChange();
    EdMagicChange();
    EdSubsystemChange();
}

void TFrmView::UpdateCheckSumLabel()
{
    if (!FDiskChecksum) {
        LabelCheckSum->setText(QString());
        return;
    }
    // "<computed>, matches" or "<computed>, differs"; the tooltip says what the number is.
    LabelCheckSum->setText(ToQString(FieldValueText(FDiskChecksum->computed, HexShown(), 8))
        + (FDiskChecksum->Matches() ? QStringLiteral(", matches") : QStringLiteral(", differs")));
}

void TFrmView::EdDateStampChange()
{
    if (SuppressFieldChange) {
        SuppressFieldChange = false;
        return;
    }
    if (EdDateStamp->text().isEmpty())
        EdDateStamp->setText(QStringLiteral("0"));
    const int64_t value = ParseFieldValue(Text(EdDateStamp->text()), HexShown(), 64);
    LabelDate->setText(QString());
    LabelDate->setText(LabelDate->text() + ToQString(StampCaption(static_cast<uint32_t>(value))));
}

void TFrmView::EdCharChange(QObject* sender)
{
    if (SuppressFieldChange) {
        SuppressFieldChange = false;
        return;
    }
    if (EdChar->text().isEmpty())
        EdChar->setText(QStringLiteral("0"));
    const bool hex = HexShown();
    if (sender == EdChar) {
        const auto value = static_cast<uint16_t>(ParseFieldValue(Text(EdChar->text()), hex, 32));
        ShowFlags(value, FileCharacteristicFlags(), FFileCheckBoxes);
        return;
    }
    for (size_t i = 0; i < SectionCount && i * kSectionRowCount + 8 < SectionEdits.size(); ++i) {
        TEdit* row = SectionEdits[i * kSectionRowCount + 8];
        if (row != sender)
            continue;
        if (row->text().isEmpty())
            row->setText(QStringLiteral("0"));
        const auto value = static_cast<uint32_t>(ParseFieldValue(Text(row->text()), hex, 64));
        for (size_t f = 0; f < kSectionFlagCount; ++f)
            SectionCheckBoxes[i * kSectionFlagCount + f]->setChecked((value & CharacteristicMasks[f]) != 0);
    }
}

void TFrmView::CheckBoxExecMouseUp(QObject* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)
{
    const bool hex = HexShown();
    const auto fileValue = static_cast<uint16_t>(ParseFieldValue(Text(EdChar->text()), hex, 32));

    if (ApplyFlagBox(sender, EdChar, fileValue, hex, FileCharacteristicFlags(), FFileCheckBoxes))
        return;

    for (size_t i = 0; i < SectionCount && i * kSectionRowCount + 8 < SectionEdits.size(); ++i) {
        TEdit* row = SectionEdits[i * kSectionRowCount + 8];
        const auto value = static_cast<uint32_t>(ParseFieldValue(Text(row->text()), hex, 64));
        for (size_t f = 0; f < kSectionFlagCount; ++f) {
            TCheckBox* box = SectionCheckBoxes[i * kSectionFlagCount + f];
            if (box != sender)
                continue;
            const uint32_t mask = CharacteristicMasks[f];
            const uint32_t changed = box->isChecked() ? (value | mask) : (value & ~mask);
            row->setText(ToQString(FieldValueText(changed, hex, 8)));
        }
    }
}

void TFrmView::EdDLLCharChange()
{
    if (SuppressFieldChange) {
        SuppressFieldChange = false;
        return;
    }
    if (EdDLLChar->text().isEmpty())
        EdDLLChar->setText(QStringLiteral("0"));
    const auto value = static_cast<uint16_t>(ParseFieldValue(Text(EdDLLChar->text()), HexShown(), 32));
    ShowFlags(value, DllCharacteristicFlags(), FDllCheckBoxes);
}

void TFrmView::CheckBoxDllMouseUp(QObject* sender, Qt::MouseButton, Qt::KeyboardModifiers, QPoint)
{
    const bool hex = HexShown();
    const auto value = static_cast<uint16_t>(ParseFieldValue(Text(EdDLLChar->text()), hex, 32));
    ApplyFlagBox(sender, EdDLLChar, value, hex, DllCharacteristicFlags(), FDllCheckBoxes);
}

void TFrmView::RunCheckBoxMouseUp(TCheckBox* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
    QPoint pos, MouseUpHandler handler)
{
    // When the value text cannot be read, the box goes back to the state it had, so
    // it never shows a flag that Save would not write.
    if (!Guarded([&] { (this->*handler)(sender, button, shift, pos); }))
        sender->setCheckState(sender->StateBeforeRelease());
}
