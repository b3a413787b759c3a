// Save: what reaches the file, what never does, and what the user is told.
#include "ViewerTestSupport.h"

#include "base/FileStream.h"
#include "header/FieldValue.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {

const QString kSaved = QStringLiteral("Save complete!");

using Opened = OpenedImage;

std::unique_ptr<Opened> Open(const std::vector<uint8_t>& bytes, bool show = false)
{
    return OpenImage(bytes, show, QStringLiteral("s.exe"));
}

TEdit* Edit(TFrmView& view, const QString& name)
{
    if (name.startsWith(QLatin1String("S")))
        return view.SectionEdits[size_t(
            name.mid(1, name.indexOf('.') - 1).toInt() * 9 + name.mid(name.indexOf('R') + 1).toInt())];
    return view.findChild<TEdit*>(name);
}

// A four-section image with every box edited in hexadecimal, and the file the save should give.
std::unique_ptr<Opened> EditEverything(std::vector<uint8_t>& expected)
{
    PeBuilder builder = SampleBuilder();
    builder.AddSection(PeSection("c").Characteristics(1)).AddSection(PeSection("d"));
    auto t = Open(builder.Build());
    expected = t->original;
    uint32_t value = 0x12345678;
    auto edit = [&](TEdit* box, const HeaderField& field, uint32_t section) {
        value = value * 0x9E3779B1u + 1;
        const uint32_t stored = field.width == 4 ? value : value & ((1u << (8 * field.width)) - 1);
        TypeText(box, QString::fromStdString(FieldValueText(stored, true, 0)));
        WriteLe(expected, FieldPosition(field, 0x80, 0xE0, section), stored, field.width);
    };
    for (size_t i = 0; i < HeaderFields().size(); ++i)
        edit(t->view->HeaderEdits()[i], HeaderFields()[i], 0);
    for (size_t i = 0; i < t->view->SectionEdits.size(); ++i)
        edit(t->view->SectionEdits[i], SectionFields()[i % 9], uint32_t(i / 9));
    return t;
}

QString Refusal(const QString& file, const QString& what)
{
    return "Cannot save file " + file + ": " + what + " Nothing was written.";
}

std::vector<uint8_t> WithSections(int count)
{
    PeBuilder builder;
    for (int i = 0; i < count; ++i)
        builder.AddSection(PeSection("s").Virtual(0x1000u * (i + 1), 0x10).Characteristics(0x40000040));
    return builder.Build();
}

} // namespace

class FrmViewSaveTest : public QObject {
    Q_OBJECT

private slots:
    void saveWithoutEditsChangesNothing_data()
    {
        QTest::addColumn<std::vector<uint8_t>>("bytes");
        QTest::addColumn<bool>("decimal");
        const uint64_t table = SampleBuilder().SectionTableOffset();
        // Junk in the words the writer skips and after the headers.
        auto junk = SampleBuilder().Build();
        WriteLe(junk, 6, 0xBEEF, 2);
        WriteLe(junk, 18, 0xCAFE, 2);
        QTest::newRow("sample") << junk << false;
        QTest::newRow("sample in decimal") << junk << true;
        QTest::newRow("MZ only") << PeBuilder().DosOnly().Build() << false;
        QTest::newRow("MZ alone") << std::vector<uint8_t>{'M', 'Z', 1} << false;
        QTest::newRow("ends in DOS header") << SampleBuilder().TruncateTo(21).Build() << false;
        QTest::newRow("ends in file header") << SampleBuilder().TruncateTo(0x80 + 4 + 9).Build() << false;
        QTest::newRow("ends in optional header")
            << SampleBuilder().TruncateTo(0x80 + 24 + 61).Build() << true;
        QTest::newRow("ends in section table")
            << SampleBuilder().TruncateTo(table + 40 + 21).Build() << false;
        QTest::newRow("optional header past end")
            << SampleBuilder().SizeOfOptionalHeader(0xFFF0).Build() << false;
        QTest::newRow("96 sections") << WithSections(96) << false;
        QTest::newRow("0 sections") << WithSections(0) << true;
        QTest::newRow("top bits")
            << SampleBuilder().Optional(64, 0xFFFFFFFF, 4).Optional(70, 0xFFFF, 2).Build() << true;
    }
    void saveWithoutEditsChangesNothing()
    {
        QFETCH(std::vector<uint8_t>, bytes);
        QFETCH(bool, decimal);
        auto t = Open(bytes);
        if (decimal)
            t->view->MnuHexView->trigger();
        t->view->MnuSave->trigger();
        QCOMPARE(t->log.Texts(), QStringList{kSaved});
        QCOMPARE(t->log.records[0].caption, QStringLiteral("Saved All"));
        QCOMPARE(t->log.records[0].icon, MsgIcon::Information);
        QCOMPARE(t->log.records[0].buttons, MsgButtons::Ok);
        QCOMPARE(Bytes(t->path), bytes);
        // Saving leaves the window as it was; a second save writes the same again.
        QCOMPARE(t->view->MnuHexView->isChecked(), !decimal);
        QVERIFY(t->view->FileStream);
        t->view->ButSave->click();
        QCOMPARE(t->log.records.size(), size_t(2));
        QCOMPARE(Bytes(t->path), bytes);
    }

    // Unsaved edits are marked and never lost without a word: every way of leaving the file
    // asks once, and each answer does what it says.
    void unsavedEditsAsk_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("answer");
        for (const char* way : {"close", "drop", "exit", "window"}) {
            QTest::addRow("%s, save", way) << way << int(MsgResult::Ok);
            QTest::addRow("%s, discard", way) << way << int(MsgResult::Discard);
            QTest::addRow("%s, cancel", way) << way << int(MsgResult::Cancel);
        }
    }
    void unsavedEditsAsk()
    {
        QFETCH(QString, way);
        QFETCH(int, answer);
        auto t = Open(SampleBuilder().Build(), true);
        TFrmView& view = *t->view;
        const QString title = view.windowTitle();
        TypeText(view.EdMachine, QStringLiteral("8664"));
        QVERIFY(view.EdMachine->font().bold());
        QCOMPARE(view.windowTitle(), title + " *");
        TypeText(view.EdMachine, QStringLiteral("14c")); // the value read: no edit
        QVERIFY(!view.EdMachine->font().bold());
        QCOMPARE(view.windowTitle(), title);
        TypeText(view.EdMachine, QStringLiteral("8664"));
        view.MnuHexView->trigger(); // still edited in decimal
        QVERIFY(view.EdMachine->font().bold());
        const QString other = t->folder.Write("other.exe", SampleBuilder().Build());
        t->log.answer = MsgResult(answer);
        if (way == "close")
            view.MnuCloseFile->trigger();
        else if (way == "drop")
            view.WMDropFiles({QUrl::fromLocalFile(other)});
        else if (way == "exit")
            view.MnuExit->trigger();
        else
            view.close();
        const bool save = answer == int(MsgResult::Ok);
        const QString question = "Save changes to " + t->path + "?";
        QCOMPARE(t->log.Texts(), (save ? QStringList{question, kSaved} : QStringList{question}));
        QCOMPARE(t->log.records[0].buttons, MsgButtons::SaveDiscardCancel);
        QCOMPARE(Bytes(t->path)[0x84], save ? uint8_t(0x64) : uint8_t(0x4C));
        if (answer == int(MsgResult::Cancel)) {
            QVERIFY(view.isVisible());
            QCOMPARE(view.windowTitle(), title + " *");
            QCOMPARE(view.EdMachine->text(), QStringLiteral("34404"));
            return;
        }
        if (way == "close")
            QVERIFY(!view.FileStream);
        else if (way == "drop")
            QCOMPARE(view.windowTitle(), "Korvex  -  [" + other + "]");
        else
            QVERIFY(!view.isVisible());
    }

    void editedFieldsReachTheFile_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::newRow("hex") << true;
        QTest::newRow("decimal") << false;
    }
    void editedFieldsReachTheFile()
    {
        QFETCH(bool, hex);
        auto t = Open(SampleBuilder().Build(), true);
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        const uint64_t table = SampleBuilder().SectionTableOffset();
        struct Change {
            const char* box;
            const char* hexText;
            const char* decimalText;
            uint64_t offset;
            int width;
            uint64_t stored;
        };
        const Change changes[] = {
            {"EdLastPage", "1234", "4660", 2, 2, 0x1234},
            {"Ed_CS", "FFFF", "65535", 22, 2, 0xFFFF},
            {"EdMachine", "869F", "34463", 0x84, 2, 0x869F},
            {"EdDateStamp", "3A8F1C00", "982457344", 0x88, 4, 0x3A8F1C00},
            {"EdMajorLinker", "FF", "255", 0x80 + 24 + 2, 1, 0xFF},
            {"EdImageBase", "00800000", "8388608", 0x80 + 24 + 28, 4, 0x00800000},
            {"EdRva", "ffffffff", "4294967295", 0x80 + 24 + 92, 4, 0xFFFFFFFF},
            {"EdSubsystem", "2", "2", 0x80 + 24 + 68, 2, 2},
            {"S1.R0", "00000123", "291", table + 40 + 8, 4, 0x123},
            {"S1.R6", "00002345", "9029", table + 40 + 32, 2, 0x2345}, // a 2-byte field
            {"S0.R7", "7", "7", table + 34, 2, 7},
        };
        std::vector<uint8_t> expected = t->original;
        for (const Change& change : changes) {
            TypeText(Edit(view, QString::fromLatin1(change.box)),
                QString::fromLatin1(hex ? change.hexText : change.decimalText));
            WriteLe(expected, change.offset, change.stored, change.width);
        }
        // A click on "File is a DLL" rewrites the characteristics.
        ShowPagesOf(view.CheckBoxDLL);
        ClickBox(view.CheckBoxDLL);
        WriteLe(expected, 0x80 + 4 + 18, 0x210F, 2);
        view.MnuSave->trigger();
        QCOMPARE(t->log.Texts(), QStringList{kSaved});
        QCOMPARE(Bytes(t->path), expected);

        // Reopened, the window shows the stored values.
        view.MnuCloseFile->trigger();
        view.StartupFileName = t->path;
        view.MnuOpen->trigger();
        QCOMPARE(view.EdMachine->text(), QStringLiteral("869F"));
        QCOMPARE(view.EdMajorLinker->text(), QStringLiteral("FF"));
        QCOMPARE(view.EdChar->text(), QStringLiteral("210F"));
        QVERIFY(view.CheckBoxDLL->isChecked());
        QCOMPARE(view.LabelDate->text(), QStringLiteral("Feb  18, 2001   0:49:4"));
        QCOMPARE(Edit(view, "S1.R6")->text(), QStringLiteral("00002345"));
        QCOMPARE(Edit(view, "S1.R0")->text(), QStringLiteral("00000123"));
    }

    void sectionTableStaysWhereItWasRead()
    {
        auto t = Open(SampleBuilder().Build());
        TFrmView& view = *t->view;
        TypeText(view.EdSections, QStringLiteral("0001"));
        TypeText(view.EdSizeOptHd, QStringLiteral("0010"));
        TypeText(Edit(view, "S1.R2"), QStringLiteral("00000400"));
        view.MnuSave->trigger();
        std::vector<uint8_t> expected = t->original;
        WriteLe(expected, 0x80 + 6, 1, 2);
        WriteLe(expected, 0x80 + 20, 0x10, 2);
        WriteLe(expected, SampleBuilder().SectionTableOffset() + 40 + 16, 0x400, 4);
        QCOMPARE(Bytes(t->path), expected);
    }

    void invalidBoxWritesNothing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty in hex") << "EdCheckSum"
                                      << "" << true << "Invalid Hex value.";
        QTest::newRow("empty section row") << "S1.R4"
                                           << "" << true << "Invalid Hex value.";
        QTest::newRow("letter in decimal") << "Ed_IP"
                                           << "1x" << false << "Invalid Integer value.";
        // Valid digits the 32-bit reader refuses: too wide for the field, nothing written.
        QTest::newRow("row 6, ten hex digits") << "S0.R6"
                                               << "FFFFFFFFFF" << true
                                               << "The value of \"Number Of Relocations:\" on page \".text  "
                                                  "*\" does not fit its field of 2 bytes.";
        QTest::newRow("row 7, above 2147483647") << "S1.R7"
                                                 << "2147483648" << false
                                                 << "The value of \"Number Of Line Numbers:\" on page "
                                                    "\".data\" does not fit its field of 2 bytes.";
    }
    void invalidBoxWritesNothing()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(bool, hex);
        QFETCH(QString, message);
        auto t = Open(SampleBuilder().Build());
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        // Edits before the bad box would be written first by a field-by-field save.
        TypeText(view.EdLastPage, QStringLiteral("7"));
        TypeText(Edit(view, "S0.R0"), QStringLiteral("7"));
        TypeText(Edit(view, box), text);
        t->log.Clear();
        view.MnuSave->trigger();
        QCOMPARE(t->log.Texts(), QStringList{message});
        QCOMPARE(Bytes(t->path), t->original);
        QVERIFY(!view.ValidateOnly);
        QVERIFY(!view.ValidationPassed);
        QCOMPARE(view.MnuHexView->isChecked(), hex);
        // After the box is put right, the save goes through.
        TypeText(Edit(view, box), QStringLiteral("1"));
        t->log.Clear();
        view.MnuSave->trigger();
        QCOMPARE(t->log.Texts(), QStringList{kSaved});
        QCOMPARE(ReadLe(Bytes(t->path), 2, 2), 7u);
    }

    // A stream that refuses to write: the user sees the file's name and the system's
    // reason, never the completion message.
    void writeFailureIsReported()
    {
        ImageFolder folder;
        const std::vector<uint8_t> bytes = SampleBuilder().Build();
        const QString path = folder.Write("w.exe", bytes);
        MessageLog log;
        TFrmView view;
        view.SetStreamOpener([](const std::string& name) {
            return std::make_unique<FileStream>(name, FileStream::Mode::OpenRead);
        });
        view.StartupFileName = path;
        ActivateWindow(view);
        QVERIFY(log.records.empty());
        TypeText(view.EdMachine, QStringLiteral("1234"));
        view.MnuSave->trigger();
        QCOMPARE(log.records.size(), size_t(1));
        QCOMPARE(log.records[0].kind, MsgKind::Error);
        QVERIFY2(log.records[0].text.startsWith(QStringLiteral("Cannot write file ") + path + ". "),
            qPrintable(log.records[0].text));
        QVERIFY(log.records[0].text.size() > QString("Cannot write file " + path + ". ").size());
        QVERIFY(!log.Texts().contains(kSaved));
        QCOMPARE(Bytes(path), bytes);
        QVERIFY(view.MnuCloseFile->isEnabled());
    }

    // Every box holds the widest value its field takes; one more is refused by Save and by
    // the toggle alike, naming the field, and nothing is written or converted.
    void valuesMustFitTheirField_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("stored"); // -1: Save refuses
        QTest::addColumn<QString>("converted"); // empty: the toggle refuses
        QTest::addColumn<QString>("name");
        const QString linker = "\"Major Linker Version:\"", os = "\"Major Operating Version:\"";
        const QString base = "\"Image Base:\"", relocs = "\"Number Of Relocations:\" on page \".text  *\"";
        QTest::newRow("byte FF") << "EdMajorLinker" << true << "FF" << 0xFFll << "255" << linker;
        QTest::newRow("byte 100") << "EdMajorLinker" << true << "100" << -1ll << "" << linker;
        QTest::newRow("byte 255") << "EdMajorLinker" << false << "255" << 0xFFll << "FF" << linker;
        QTest::newRow("byte 256") << "EdMajorLinker" << false << "256" << -1ll << "" << linker;
        QTest::newRow("word FFFF") << "EdMajorOS" << true << "FFFF" << 0xFFFFll << "65535" << os;
        QTest::newRow("word 12345") << "EdMajorOS" << true << "12345" << -1ll << "" << os;
        QTest::newRow("word FFFFFFFF is -1") << "EdMajorOS" << true << "FFFFFFFF" << 0xFFFFll << "-1" << os;
        QTest::newRow("word FFFF8000") << "EdMajorOS" << true << "FFFF8000" << 0x8000ll << "-32768" << os;
        QTest::newRow("word FFFF7FFF") << "EdMajorOS" << true << "FFFF7FFF" << -1ll << "" << os;
        QTest::newRow("word 65535") << "EdMajorOS" << false << "65535" << 0xFFFFll << "FFFF" << os;
        QTest::newRow("word 65536") << "EdMajorOS" << false << "65536" << -1ll << "" << os;
        QTest::newRow("dword FFFFFFFF")
            << "EdImageBase" << true << "FFFFFFFF" << 0xFFFFFFFFll << "4294967295" << base;
        QTest::newRow("dword 1234567890") << "EdImageBase" << true << "1234567890" << -1ll << "" << base;
        QTest::newRow("dword 4294967296") << "EdImageBase" << false << "4294967296" << -1ll << "" << base;
        QTest::newRow("row 6 FFFF") << "S0.R6" << true << "FFFF" << 0xFFFFll << "65535" << relocs;
        QTest::newRow("row 6 10000") << "S0.R6" << true << "10000" << -1ll << "" << relocs;
        QTest::newRow("row 6 65535") << "S0.R6" << false << "65535" << 0xFFFFll << "0000FFFF" << relocs;
        QTest::newRow("row 6 65536") << "S0.R6" << false << "65536" << -1ll << "" << relocs;
        // Save reads rows 6 and 7 at 32 bits (-1), the toggle at 64 (4294967295).
        QTest::newRow("row 6 FFFFFFFF") << "S0.R6" << true << "FFFFFFFF" << 0xFFFFll << "" << relocs;
    }
    void valuesMustFitTheirField()
    {
        QFETCH(QString, box);
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(qint64, stored);
        QFETCH(QString, converted);
        QFETCH(QString, name);
        auto t = Open(SampleBuilder().Build());
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        Edit(view, box)->setText(text); // longer than a user could type in some rows
        const int width = box == "EdMajorLinker" ? 1 : box == "EdImageBase" ? 4 : 2;
        const QString refusal = "The value of " + name + " does not fit its field of "
            + QString::number(width) + (width == 1 ? " byte." : " bytes.");
        const uint64_t offset = box == "EdMajorLinker" ? 0x9A
            : box == "EdMajorOS"                       ? 0xC0
            : box == "EdImageBase"                     ? 0xB4
                                                       : SampleBuilder().SectionTableOffset() + 32;
        view.MnuSave->trigger();
        std::vector<uint8_t> expected = t->original;
        if (stored >= 0)
            WriteLe(expected, offset, uint64_t(stored), width);
        QCOMPARE(t->log.Texts(), QStringList{stored >= 0 ? kSaved : refusal});
        QCOMPARE(Bytes(t->path), expected);

        t->log.Clear();
        view.MnuHexView->trigger();
        QCOMPARE(t->log.Texts(), converted.isEmpty() ? QStringList{refusal} : QStringList{});
        QCOMPARE(Edit(view, box)->text(), converted.isEmpty() ? text : converted);
        QCOMPARE(view.MnuHexView->isChecked(), converted.isEmpty() == hex);
    }

    // A failing write leaves the old file, a failing flush the new one with a message that it
    // may not have reached the disk, never a mix: the whole span goes in one write. A file
    // that another program cuts or grows while the save writes is never reported saved.
    void failedWriteLeavesOldFile_data()
    {
        QTest::addColumn<int>("error");
        QTest::newRow("ENOSPC") << ENOSPC;
        QTest::newRow("EIO") << EIO;
    }
    void failedWriteLeavesOldFile()
    {
        QFETCH(int, error);
        std::vector<uint8_t> expected;
        auto clean = EditEverything(expected);
        clean->view->MnuSave->trigger();
        QCOMPARE(clean->log.Texts(), QStringList{kSaved});
        QCOMPARE(Bytes(clean->path), expected);
        const uint64_t operations = clean->view->FileStream->WriteOperations();
        QCOMPARE(operations, uint64_t(1 + 1)); // the write and the flush

        const QString failure = "Cannot write file %1. " + QString::fromUtf8(std::strerror(error));
        const QStringList told{failure + "; the file was left unchanged.",
            failure + "; the new header bytes were written, but they may not have reached the disk.", kSaved};
        for (uint64_t n = 1; n <= operations + 1; ++n) {
            auto t = EditEverything(expected);
            t->view->FileStream->SetFaultSeam({n, false, error});
            t->view->MnuSave->trigger();
            QCOMPARE(Bytes(t->path), n == 1 ? t->original : expected);
            QCOMPARE(t->log.Texts(), QStringList{told[int(n - 1)].arg(t->path)});
        }

        // The write putting the old bytes back fails too, after storing half of them: reading
        // the span back shows the old bytes, so the file is unchanged, and it says so.
        auto t = EditEverything(expected);
        t->view->FileStream->SetFaultSeam({1, true, error});
        t->view->MnuSave->trigger();
        QCOMPARE(Bytes(t->path), t->original);
        QCOMPARE(t->log.Texts(), QStringList{told[0].arg(t->path)});
        QCOMPARE(t->log.records[0].kind, MsgKind::Error);

        for (const uint64_t size : {expected.size() - 100, expected.size() + 100}) {
            auto resized = EditEverything(expected);
            resized->view->FileStream->SetResizeSeam(1, size);
            resized->view->MnuSave->trigger();
            QCOMPARE(resized->log.Texts(),
                QStringList{"The file " + resized->path + " changed size while saving, from "
                    + QString::number(expected.size()) + " to " + QString::number(size)
                    + " bytes: another program is writing it. The header bytes were written; check the "
                      "file."});
        }
    }

    // The file under the name is no longer the one opened, or lost bytes: nothing is written
    // into either file.
    void changedFileWritesNothing_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("what");
        QTest::newRow("deleted") << "deleted"
                                 << "it was deleted or renamed after it was opened.";
        QTest::newRow("renamed") << "renamed"
                                 << "it was deleted or renamed after it was opened.";
        QTest::newRow("replaced") << "replaced"
                                  << "another file was put in its place after it was opened.";
        QTest::newRow("truncated") << "truncated"
                                   << "it was truncated from 456 to 300 bytes after it was opened.";
        QTest::newRow("no MZ") << "no MZ"
                               << "it no longer starts with \"MZ\".";
    }
    void changedFileWritesNothing()
    {
        QFETCH(QString, change);
        QFETCH(QString, what);
        auto t = Open(SampleBuilder().Build());
        const std::string path = t->path.toStdString(), kept = path + ".kept";
        QCOMPARE(::link(path.c_str(), kept.c_str()), 0); // the opened file stays reachable
        std::vector<uint8_t> old = t->original, other = PeBuilder().Build();
        QCOMPARE(old.size(), size_t(456));
        if (change == "deleted")
            QCOMPARE(::unlink(path.c_str()), 0);
        if (change == "renamed")
            QCOMPARE(::rename(path.c_str(), (path + ".moved").c_str()), 0);
        if (change == "replaced") {
            WriteFileBytes(path + ".new", other);
            QCOMPARE(::rename((path + ".new").c_str(), path.c_str()), 0);
        }
        if (change == "truncated") {
            QCOMPARE(::truncate(path.c_str(), 300), 0);
            old.resize(300);
        }
        if (change == "no MZ") {
            old[0] = 'Z';
            WriteFileBytes(kept, old); // the same file: it is rewritten in place
        }
        TypeText(t->view->EdMachine, QStringLiteral("1234"));
        TypeText(Edit(*t->view, "S1.R8"), QStringLiteral("1"));
        t->view->MnuSave->trigger();
        QCOMPARE(t->log.Texts(), QStringList{Refusal(t->path, what)});
        QCOMPARE(t->log.records[0].kind, MsgKind::Error);
        QCOMPARE(Bytes(QString::fromStdString(kept)), old);
        if (change == "replaced")
            QCOMPARE(Bytes(t->path), other);
    }

    // Another program changed header bytes in place after the open: Save writes nothing, names
    // the fields that differ and offers to reopen; OK reopens the file as it is now.
    void staleOverwriteRefused_data()
    {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("keep") << false;
        QTest::newRow("reopen") << true;
    }
    void staleOverwriteRefused()
    {
        QFETCH(bool, reopen);
        auto t = Open(SampleBuilder().Build());
        std::vector<uint8_t> changed = t->original;
        WriteLe(changed, 0x80 + 8, 0x11223344, 4); // TimeDateStamp
        WriteLe(changed, SampleBuilder().SectionTableOffset() + 40 + 36, 0x40000040, 4);
        {
            QFile file(t->path); // in place: the same file, the same size
            QVERIFY(file.open(QIODevice::ReadWrite));
            QCOMPARE(file.write(reinterpret_cast<const char*>(changed.data()), qint64(changed.size())),
                qint64(changed.size()));
        }
        TypeText(t->view->EdMachine, QStringLiteral("8664"));
        t->log.answer = reopen ? MsgResult::Ok : MsgResult::Cancel;
        t->view->MnuSave->trigger();
        QCOMPARE(t->log.Texts(),
            QStringList{"Cannot save file " + t->path
                + ": it was changed by another program since it was opened. These fields differ from what "
                  "was read then:\n\"Time Date Stamp:\"\n\"Characteristics:\" on page \".data\"\n"
                  "Nothing was written.\n\nReopen the file? OK reopens it as it is now and discards your "
                  "edits."});
        QCOMPARE(Bytes(t->path), changed);
        QCOMPARE(t->view->EdDateStamp->text(),
            reopen
                ? QStringLiteral("11223344")
                : QString::fromStdString(FieldValueText(int64_t(ReadLe(t->original, 0x80 + 8, 4)), true, 8)));
        QCOMPARE(t->view->EdMachine->text(), reopen ? QStringLiteral("014C") : QStringLiteral("8664"));
    }

    // The file ends inside the second section header: the edited fields there are not
    // written, and the completion message names them; the others are written.
    void editsBeyondTheEndAreNamed()
    {
        const uint64_t table = SampleBuilder().SectionTableOffset();
        auto t = Open(SampleBuilder().TruncateTo(table + 40 + 30).Build());
        TFrmView& view = *t->view;
        TypeText(view.EdImageBase, QStringLiteral("00500000"));
        TypeText(Edit(view, "S1.R0"), QStringLiteral("777"));
        TypeText(Edit(view, "S1.R5"), QStringLiteral("ABCDEF")); // two of its bytes are in the file
        TypeText(Edit(view, "S1.R8"), QStringLiteral("E0000020"));
        TypeText(Edit(view, "S1.R7"), QStringLiteral("0")); // reads as 0 there: not an edit
        view.MnuSave->trigger();
        QCOMPARE(t->log.Texts(),
            QStringList{
                "Save complete, except for these edited fields, which were not written because the file "
                "ends before them:\n\"Pointer To Line Numbers:\" on page \".data\"\n"
                "\"Characteristics:\" on page \".data\""});
        QCOMPARE(t->log.records[0].caption, QStringLiteral("Saved All"));
        std::vector<uint8_t> expected = t->original;
        WriteLe(expected, 0x80 + 24 + 28, 0x500000, 4);
        WriteLe(expected, table + 40 + 8, 0x777, 4);
        QCOMPARE(Bytes(t->path), expected);
    }

    // The real modal confirmation, answered by a timer.
    void realConfirmationBox()
    {
        ImageFolder folder;
        const QString path = folder.Write("r.exe", SampleBuilder().Build());
        std::unique_ptr<TFrmView> view;
        {
            MessageLog quiet;
            view = OpenedView(path, true);
        }
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        view->MnuSaveClick();
        QCOMPARE(text, kSaved);
        QCOMPARE(title, QStringLiteral("Saved All"));
        QCOMPARE(icon, QMessageBox::Information);
    }
};

QTEST_MAIN(FrmViewSaveTest)
#include "FrmViewSaveTest.moc"
