// Save: what reaches the file, what never does, and what the user is told.
#include "ViewerTestSupport.h"

#include "FileStream.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kSaved = QStringLiteral("Save complete!");

struct Opened {
    ImageFolder folder;
    MessageLog log;
    QString path;
    std::vector<uint8_t> original;
    std::unique_ptr<TFrmView> view;
};

std::unique_ptr<Opened> Open(const std::vector<uint8_t>& bytes, bool show = false)
{
    auto opened = std::make_unique<Opened>();
    opened->original = bytes;
    opened->path = opened->folder.Write("s.exe", bytes);
    opened->view = OpenedView(opened->path, show);
    return opened;
}

TEdit* Edit(TFrmView& view, const QString& name)
{
    if (name.startsWith(QLatin1String("S")))
        return view.SectionEdits[size_t(
            name.mid(1, name.indexOf('.') - 1).toInt() * 9 + name.mid(name.indexOf('R') + 1).toInt())];
    return view.findChild<TEdit*>(name);
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
            {"EdMachine", "1869F", "99999", 0x84, 2, 0x869F}, // cut to the word
            {"EdDateStamp", "3A8F1C00", "982457344", 0x88, 4, 0x3A8F1C00},
            {"EdMajorLinker", "1FF", "511", 0x80 + 24 + 2, 1, 0xFF}, // cut to the byte
            {"EdImageBase", "00800000", "8388608", 0x80 + 24 + 28, 4, 0x00800000},
            {"EdRva", "ffffffff", "4294967295", 0x80 + 24 + 92, 4, 0xFFFFFFFF},
            {"EdSubsystem", "2", "2", 0x80 + 24 + 68, 2, 2},
            {"S1.R0", "00000123", "291", table + 40 + 8, 4, 0x123},
            {"S1.R6", "00012345", "74565", table + 40 + 32, 2, 0x2345}, // a 2-byte field
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
        StartupFileName = t->path;
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
        // Valid digits the 32-bit reader refuses: shown as the conversion error, nothing written.
        QTest::newRow("row 6, ten hex digits")
            << "S0.R6"
            << "FFFFFFFFFF" << true << "'0xFFFFFFFFFF' is not a valid integer value";
        QTest::newRow("row 7, above 2147483647")
            << "S1.R7"
            << "2147483648" << false << "'2147483648' is not a valid integer value";
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
        StartupFileName = path;
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
