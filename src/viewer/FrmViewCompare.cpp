// Compare With...: the open file beside another one, which is only read. Each box whose value
// differs from the other file's is marked (a blue frame and ground; check boxes get the ground)
// and its tooltip adds the other value; the Contents page gets a last "Differences" node with
// the rest of what korvex-cli diff names. The marks tell about the two files on disk, as the
// command line would: edits typed since do not move them, a save compares again. Closing the
// comparison puts every look, tooltip and the tree back as they were.
#include "viewer/FrmView.h"

#include "base/FileStream.h"
#include "contents/Diff.h"
#include "contents/ImageMap.h"
#include "header/FieldValue.h"
#include "ui/Guard.h"
#include "ui/Messages.h"
#include "ui/Modal.h"
#include "viewer/ContentsModel.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

namespace {

const QColor kComparedGround(214, 232, 255);

QString Utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The wait cursor while both files are read through.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

struct TFrmView::Comparison {
    QString fileName;
    // A marked box, what it looked like before, and the line its tooltip gains (in a radix).
    struct Mark {
        QPointer<QWidget> widget;
        QString toolTip;
        bool checkBox = false;
        QPalette palette;
        bool autoFill = false;
        std::function<QString(bool hex)> note;
    };
    std::vector<Mark> marks;

    QString OtherName() const { return QFileInfo(fileName).fileName(); }

    void MarkEdit(TEdit* edit, std::function<QString(bool)> note)
    {
        marks.push_back({edit, edit->toolTip(), false, {}, false, std::move(note)});
        edit->SetCompared(true);
    }

    void MarkCheckBox(TCheckBox* box, bool otherSet)
    {
        marks.push_back({box, box->toolTip(), true, box->palette(), box->autoFillBackground(),
            [name = OtherName(), otherSet](
                bool) { return name + (otherSet ? QStringLiteral(": set") : QStringLiteral(": clear")); }});
        QPalette colors = box->palette();
        colors.setColor(box->backgroundRole(), kComparedGround);
        box->setPalette(colors);
        box->setAutoFillBackground(true);
    }

    // The check boxes of a flags field whose bits differ between the values.
    template <typename Bit>
    void MarkFlags(TCheckBox* const* boxes, size_t count, Bit bitOf, uint64_t value, uint64_t other)
    {
        for (size_t k = 0; k < count; ++k) {
            const uint64_t bit = bitOf(k);
            if (boxes[k] && (value & bit) != (other & bit))
                MarkCheckBox(boxes[k], (other & bit) != 0);
        }
    }

    // Marks the box (and check boxes) of a difference in a header field of the open file; false
    // when the window shows no box for it.
    bool MarkField(TFrmView& view, const Difference& d)
    {
        const FieldRef& ref = *d.field;
        const auto at = [](const auto& list, size_t i) { return i < list.size() ? list[i] : nullptr; };
        const auto index = static_cast<size_t>(ref.index);
        TEdit* edit = nullptr;
        if (ref.section == FieldRef::kHeader)
            edit = at(view.HeaderEdits(), index);
        else if (ref.section == FieldRef::kDosExtra)
            edit = at(view.DosExtraEdits(), index);
        else if (ref.section == FieldRef::kDirectories)
            edit = at(view.DirectoryEdits(), index);
        else if (ref.index == FieldRef::kNameRow)
            edit = at(view.SectionNameEdits, static_cast<size_t>(ref.section));
        else
            edit = at(view.SectionEdits, static_cast<size_t>(ref.section) * kSectionRowCount + index);
        if (!edit)
            return false;

        const QString name = OtherName();
        if (d.change == DiffChange::Removed && ref.index == FieldRef::kNameRow && ref.section >= 0) {
            // A section the other file has no match for: its name and every row.
            const auto note
                = [name](bool) { return name + QStringLiteral(" has no section matching this one"); };
            MarkEdit(edit, note);
            for (int r = 0; r < kSectionRowCount; ++r) {
                if (TEdit* row
                    = at(view.SectionEdits, static_cast<size_t>(ref.section * kSectionRowCount + r)))
                    MarkEdit(row, note);
            }
            return true;
        }
        if (d.change == DiffChange::Removed) {
            MarkEdit(edit, [name](bool) { return name + QStringLiteral(" does not have this field"); });
            return true;
        }
        if (!d.newValue) { // a section's name
            MarkEdit(
                edit, [name, text = Utf8(d.newText)](bool) { return name + QStringLiteral(": ") + text; });
            return true;
        }
        const uint64_t other = *d.newValue;
        const ValueClass valueClass = ref.Field().valueClass;
        QString where = name;
        if (ref.section >= 0 && ref.index != FieldRef::kNameRow && d.otherSection != ref.section)
            where += QStringLiteral(" (section %1)").arg(d.otherSection);
        MarkEdit(edit, [where, other, valueClass, words = Utf8(d.newText)](bool hex) {
            QString line = where + QStringLiteral(": ")
                + Utf8(ClassValueText(static_cast<int64_t>(other), hex, valueClass));
            if (!words.isEmpty())
                line += QStringLiteral(" (") + words + QStringLiteral(")");
            return line;
        });

        const uint64_t value = *d.oldValue;
        if (edit == view.EdChar) {
            const auto flags = FileCharacteristicFlags();
            MarkFlags(
                view.FileCheckBoxes().data(), std::min(flags.size(), view.FileCheckBoxes().size()),
                [&flags](size_t k) { return flags[k].bit; }, value, other);
        } else if (edit == view.EdDLLChar) {
            const auto flags = DllCharacteristicFlags();
            MarkFlags(
                view.DllCheckBoxes().data(), std::min(flags.size(), view.DllCheckBoxes().size()),
                [&flags](size_t k) { return flags[k].bit; }, value, other);
        } else if (ref.section >= 0 && ref.index == kSectionRowCount - 1) {
            const size_t first = static_cast<size_t>(ref.section) * kSectionFlagCount;
            if (first + kSectionFlagCount <= view.SectionCheckBoxes.size())
                MarkFlags(
                    view.SectionCheckBoxes.data() + first, kSectionFlagCount,
                    [&view](size_t k) { return view.CharacteristicMasks[k]; }, value, other);
        }
        return true;
    }

    void ShowNotes(bool hex) const
    {
        for (const Mark& mark : marks) {
            if (mark.widget)
                mark.widget->setToolTip(mark.toolTip + QLatin1Char('\n') + mark.note(hex));
        }
    }

    void Unmark()
    {
        for (auto mark = marks.rbegin(); mark != marks.rend(); ++mark) {
            if (!mark->widget)
                continue;
            mark->widget->setToolTip(mark->toolTip);
            if (mark->checkBox) {
                mark->widget->setPalette(mark->palette);
                mark->widget->setAutoFillBackground(mark->autoFill);
            } else {
                static_cast<TEdit*>(mark->widget.data())->SetCompared(false);
            }
        }
        marks.clear();
    }
};

void TFrmView::SetCompareChooser(FileChooser chooser)
{
    FCompareChooser = std::move(chooser);
}

QString TFrmView::ComparedFileName() const
{
    return FComparison ? FComparison->fileName : QString();
}

QString TFrmView::ComparisonTitle() const
{
    return FComparison ? QStringLiteral("  compared with [") + FComparison->fileName + QStringLiteral("]")
                       : QString();
}

void TFrmView::MnuCompareClick()
{
    if (!FileStream || FOpened.kind != ImageKind::Pe)
        return;
    QString chosen;
    if (FCompareChooser) {
        chosen = FCompareChooser();
    } else {
        QFileDialog dialog(this, QStringLiteral("Compare With"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDirectory(QFileInfo(FFileName).absolutePath());
        if (ShowModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (!chosen.isEmpty())
        CompareWith(chosen);
}

void TFrmView::MnuCloseCompareClick()
{
    CloseComparison();
}

bool TFrmView::CompareWith(const QString& fileName)
{
    // Read-only: the other file is never written, whoever owns it.
    ::FileStream other(QFile::encodeName(fileName).toStdString(), ::FileStream::Mode::OpenRead);
    const ImageHeaders otherHeaders = ReadImageHeaders(other);
    const auto notPe = [this] {
        MessageBox(
            this, Utf8(std::string(kNotPeText)), QStringLiteral("Korvex"), MsgButtons::Ok, MsgIcon::None);
    };
    switch (otherHeaders.kind) {
    case ImageKind::Pe:
        break;
    case ImageKind::TooManySections:
        ShowMessage(Utf8(std::string(kTooManySectionsText)));
        notPe();
        return false;
    case ImageKind::NotMz:
        notPe();
        return false;
    case ImageKind::DosOnly:
        MessageBox(this,
            QStringLiteral("The file has no PE header (only an MZ header), so there is nothing to compare."),
            QStringLiteral("Korvex"), MsgButtons::Ok, MsgIcon::None);
        return false;
    }

    std::vector<Difference> differences;
    {
        const WaitCursor wait;
        // The open file as it is on disk now, as korvex-cli diff would read it.
        const ImageHeaders headers = ReadImageHeaders(*FileStream);
        const ImageContents contents = DecodeContents(BlockCachedReader(*FileStream), headers);
        const ImageContents otherContents = DecodeContents(BlockCachedReader(other), otherHeaders);
        differences = DiffImages({*FileStream, headers, contents}, {other, otherHeaders, otherContents});
    }

    CloseComparison();
    FComparison = std::make_shared<Comparison>();
    FComparison->fileName = fileName;
    const bool equal = differences.empty();
    std::vector<Difference> rest;
    size_t marked = 0;
    for (Difference& d : differences) {
        if (d.field && FComparison->MarkField(*this, d))
            ++marked;
        else
            rest.push_back(std::move(d));
    }
    FComparison->ShowNotes(HexShown());
    const QString summary = equal ? QStringLiteral("none: the files are equal")
                                  : QStringLiteral("%1 more with %2 (%3 in the boxes)")
                                        .arg(rest.size())
                                        .arg(FComparison->OtherName())
                                        .arg(marked);
    FContentsModel->SetDifferences(summary, std::move(rest));
    MnuCloseCompare->setEnabled(true);
    UpdateTitle();
    return true;
}

void TFrmView::CloseComparison()
{
    if (!FComparison)
        return;
    FComparison->Unmark();
    FComparison.reset();
    FContentsModel->ClearDifferences();
    MnuCloseCompare->setEnabled(false);
    UpdateTitle();
}

void TFrmView::RefreshComparison()
{
    if (!FComparison)
        return;
    const QString fileName = FComparison->fileName;
    bool compared = false;
    Guarded([&] { compared = CompareWith(fileName); });
    if (!compared)
        CloseComparison();
}

void TFrmView::UpdateComparisonRadix()
{
    if (FComparison)
        FComparison->ShowNotes(HexShown());
}
