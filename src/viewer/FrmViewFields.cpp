// The values in the boxes: radix toggle and validation, the date label and the
// characteristics check boxes.
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
    if (FTracked.count(FDosExtraEdits[0]) != 0) {
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

void TFrmView::MnuHexViewClick()
{
    const bool hex = HexShown();
    const std::vector<ConvertedBox> set = ConvertedSet();

    for (const ConvertedBox& box : set) {
        if (!box.edit)
            continue; // LabelFileoffset is never validated
        const QString text = box.edit->text();
        if (hex ? !IsHexText(text) : !IsDecimalText(text)) {
            if (hex)
                ShowInvalidHex();
            else
                ShowInvalidInteger();
            FocusBox(box.edit);
            return;
        }
        // A value wider than its field in the file would lose digits when saved or show a
        // number the field cannot hold. Save parses at its own width (section rows 6 and 7
        // at 32 bits), the conversion at the display class's.
        if (!ParseFittingValue(Text(text), hex, *box.field, ValidateOnly)) {
            ShowMessage(ToQString(FieldWidthMessage(BoxName(box), box.field->width)));
            FocusBox(box.edit);
            return;
        }
    }
    if (ValidateOnly) {
        ValidationPassed = true;
        return;
    }

    FTrackingPaused = true;
    struct Resume {
        bool& flag;
        ~Resume() { flag = false; }
    } resume{FTrackingPaused};
    for (const ConvertedBox& box : set) {
        const QString text = box.edit ? box.edit->text() : box.label->text();
        const int64_t value = ParseClassValue(Text(text), hex, box.valueClass);
        const QString converted = ToQString(ClassValueText(value, !hex, box.valueClass));
        if (box.suppressBefore)
            SuppressFieldChange = true;
        if (box.edit)
            box.edit->setText(converted);
        else
            box.label->setText(converted);
        // The flag is one-shot for the handler of the box just written. When the text
        // did not change no handler ran: drop it, or it would swallow the next real edit.
        if (box.suppressEnds)
            SuppressFieldChange = false;
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

void TFrmView::TrackEdit(TEdit* edit, const HeaderField* field)
{
    FTracked[edit] = TrackedValue{field, edit->text()};
    edit->SetLook(false, false);
}

void TFrmView::SetReadValue(TEdit* edit, const QString& text)
{
    auto found = FTracked.find(edit);
    if (found != FTracked.end())
        found->second.readText = text;
}

std::vector<TEdit*> TFrmView::TrackedEdits() const
{
    std::vector<TEdit*> edits;
    edits.reserve(FTracked.size());
    for (const auto& [edit, value] : FTracked)
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
    const auto found = FTracked.find(edit);
    if (found == FTracked.end())
        return;
    const TrackedValue& tracked = found->second;
    const QString text = edit->text();
    if (!tracked.field) { // a section name
        edit->SetLook(text != tracked.readText, !IsSectionNameText(text));
        return;
    }
    // The read value was kept in decimal; the text is in the radix shown.
    const bool hex = HexShown();
    const std::string value = Text(text);
    const bool digits = hex ? ::IsHexText(value) : ::IsDecimalText(value);
    std::optional<int64_t> now;
    if (digits)
        now = ParseFittingValue(value, hex, *tracked.field, true);
    const std::optional<int64_t> read
        = ParseFittingValue(Text(tracked.readText), false, *tracked.field, true);
    const uint64_t mask = tracked.field->width >= 8 ? ~0ull : (1ull << (8 * tracked.field->width)) - 1;
    const bool edited = !now || !read || (uint64_t(*now) & mask) != (uint64_t(*read) & mask);
    edit->SetLook(edited, !now);
}

void TFrmView::UpdateEditLooks()
{
    for (const auto& [edit, value] : FTracked)
        UpdateEditLook(edit);
    UpdateTitle();
}

void TFrmView::RebaseEditValues()
{
    // What the file now holds is the new reference: kept in decimal, as at open.
    const bool hex = HexShown();
    for (auto& [edit, tracked] : FTracked) {
        if (!tracked.field) {
            tracked.readText = edit->text();
            continue;
        }
        if (const auto value = ParseFittingValue(Text(edit->text()), hex, *tracked.field, true))
            tracked.readText = ToQString(ClassValueText(*value, false, tracked.field->valueClass));
    }
}

bool TFrmView::HasUnsavedEdits() const
{
    for (const auto& [edit, value] : FTracked) {
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
