// The window on PE32+ files: the 8-byte boxes, Base Of Data, the data directories page, the
// DLL characteristics boxes, the value names, the checksum label and Recompute Checksum, and
// that every new control fits the window.
#include "ViewerTestSupport.h"

#include "header/Checksum.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

PeBuilder Plus()
{
    return PeBuilder()
        .Pe32Plus()
        .EntryPoint(0x1010)
        .ImageBase(0x123456789ABCDEF0ull)
        .Optional(88, 0xFFFFFFFFFFFFFFFFull, 8)
        .Optional(64, 0xCAFEF00D, 4)
        .NumberOfRvaAndSizes(3)
        .DataDirectory(0, 0x3000, 0x40)
        .DataDirectory(2, 0x5000, 0x180)
        .DataDirectory(3, 0x7777, 0x8888) // beyond NumberOfRvaAndSizes: not shown
        .AddSection(PeSection(".text").Virtual(0x1000, 0x200).Raw(0x400, 0x200).Characteristics(0x60000020));
}

std::unique_ptr<OpenedImage> Open(const std::vector<uint8_t>& bytes, bool show = false)
{
    return OpenImage(bytes, show, QStringLiteral("plus.exe"));
}

TEdit* Box(TFrmView& view, const QString& name)
{
    return view.findChild<TEdit*>(name);
}

QString Hex8(uint32_t value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace

class FrmViewPe32PlusTest : public QObject {
    Q_OBJECT

private slots:
    void boxesInTheirLayout_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("image base") << "EdImageBase"
                                    << "123456789ABCDEF0"
                                    << "1311768467463790320" << 20 << true;
        QTest::newRow("heap reserve all ones") << "EdHeapRes"
                                               << "FFFFFFFFFFFFFFFF"
                                               << "18446744073709551615" << 20 << true;
        QTest::newRow("stack reserve") << "EdStackRes"
                                       << "0000000000100000"
                                       << "1048576" << 20 << true;
        QTest::newRow("loader flags") << "EdLoaderFlags"
                                      << "00000000"
                                      << "0" << 10 << true;
        QTest::newRow("rva count") << "EdRva"
                                   << "00000003"
                                   << "3" << 10 << true;
        QTest::newRow("checksum") << "EdCheckSum"
                                  << "CAFEF00D"
                                  << "3405705229" << 10 << true;
        QTest::newRow("base of data") << "EdBaseData"
                                      << ""
                                      << "" << 10 << false;
        QTest::newRow("export rva") << "EdDirRva0"
                                    << "00003000"
                                    << "12288" << 10 << true;
        QTest::newRow("resource size") << "EdDirSize2"
                                       << "00000180"
                                       << "384" << 10 << true;
        QTest::newRow("exception, past the count") << "EdDirRva3"
                                                   << ""
                                                   << "" << 10 << false;
        QTest::newRow("reserved") << "EdDirSize15"
                                  << ""
                                  << "" << 10 << false;
    }
    void boxesInTheirLayout()
    {
        QFETCH(QString, box);
        QFETCH(QString, hex);
        QFETCH(QString, decimal);
        QFETCH(int, maxLength);
        QFETCH(bool, enabled);
        auto t = Open(Plus().Build());
        TEdit* edit = Box(*t->view, box);
        QVERIFY(edit);
        QCOMPARE(t->view->Layout(), OptionalLayout::Pe32Plus);
        QCOMPARE(edit->text(), hex);
        QCOMPARE(edit->MaxLength(), maxLength);
        QCOMPARE(edit->isEnabled(), enabled);
        t->view->MnuHexView->trigger();
        QCOMPARE(edit->text(), decimal);
        t->view->MnuHexView->trigger();
        QCOMPARE(edit->text(), hex);
        QVERIFY(t->log.records.empty());
        // Its label is greyed with it.
        for (QLabel* label : edit->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->geometry().top() == edit->geometry().top() && label->geometry().right() < edit->x())
                QCOMPARE(label->isEnabled(), enabled);
        }
    }

    // The layout is the one read at open: editing the magic does not relayout the window,
    // and a PE32 file opened after a PE32+ file gets the PE32 boxes back.
    void layoutFollowsTheFileOpened()
    {
        auto t = Open(Plus().Build());
        TypeText(t->view->EdMagic, QStringLiteral("010B"));
        QCOMPARE(t->view->Layout(), OptionalLayout::Pe32Plus);
        QVERIFY(!t->view->EdBaseData->isEnabled());
        QCOMPARE(t->view->LabelMagic->text(), QStringLiteral("PE32"));
        t->view->MnuCloseFile->trigger();
        const QString pe32
            = t->folder.Write("pe32.exe", SampleBuilder().DataDirectory(9, 0x9000, 0x18).Build());
        t->view->StartupFileName = pe32;
        t->view->MnuOpen->trigger();
        QCOMPARE(t->view->Layout(), OptionalLayout::Pe32);
        QVERIFY(t->view->EdBaseData->isEnabled());
        QCOMPARE(t->view->EdBaseData->text(), QStringLiteral("00000000"));
        QCOMPARE(t->view->EdImageBase->text(), QStringLiteral("80000000"));
        QCOMPARE(t->view->EdImageBase->MaxLength(), 10);
        QCOMPARE(Box(*t->view, "EdDirRva9")->text(), QStringLiteral("00009000"));
        QVERIFY(Box(*t->view, "EdDirSize15")->isEnabled());
        QCOMPARE(t->view->LabelMagic->text(), QStringLiteral("PE32"));
        QCOMPARE(t->view->LabelMachine->text(), QStringLiteral("Intel 386"));
    }

    void editsReachTheirBytes_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::newRow("hex") << true;
        QTest::newRow("decimal") << false;
    }
    void editsReachTheirBytes()
    {
        QFETCH(bool, hex);
        auto t = Open(Plus().Build());
        if (!hex)
            t->view->MnuHexView->trigger();
        std::vector<uint8_t> expected = t->original;
        const uint64_t optional = 0x80 + 24;
        auto type = [&](const char* box, uint64_t value, uint64_t offset, int width) {
            TypeText(Box(*t->view, box), hex ? QString::number(value, 16) : QString::number(value));
            WriteLe(expected, optional + offset, value, width);
        };
        type("EdImageBase", 0xFEDCBA9876543210ull, 24, 8);
        type("EdStackCom", 0x8000000000000001ull, 80, 8);
        type("EdHeapCom", 0x1ull, 96, 8);
        type("EdRva", 2, 108, 4);
        type("EdDirSize0", 0x44, 112 + 4, 4);
        type("EdDirRva2", 0xABCDEF01, 112 + 16, 4);
        TypeText(t->view->EdBaseData, QStringLiteral("1234")); // disabled and never written
        t->view->MnuSave->trigger();
        QCOMPARE(t->log.Texts(), QStringList{QStringLiteral("Save complete!")});
        QCOMPARE(Bytes(t->path), expected);
    }

    void eightByteBoxesRefuseWiderValues_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("saved");
        QTest::newRow("decimal max") << false << "18446744073709551615" << true;
        QTest::newRow("decimal max + 1") << false << "18446744073709551616" << false;
        QTest::newRow("hex 16 digits") << true << "ffffffffffffffff" << true;
        QTest::newRow("hex 17 digits") << true << "10000000000000000" << false;
    }
    void eightByteBoxesRefuseWiderValues()
    {
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(bool, saved);
        auto t = Open(Plus().Build());
        if (!hex)
            t->view->MnuHexView->trigger();
        TypeText(t->view->EdStackRes, text);
        t->view->MnuSave->trigger();
        if (saved) {
            QCOMPARE(t->log.Texts(), QStringList{QStringLiteral("Save complete!")});
            QCOMPARE(ReadLe(Bytes(t->path), 0x80 + 24 + 72, 8), ~0ull);
            return;
        }
        QCOMPARE(t->log.Texts(),
            QStringList{QStringLiteral(
                "The value of \"Size Of Stack Reserve:\" does not fit its field of 8 bytes.")});
        QCOMPARE(Bytes(t->path), t->original);
        // The toggle refuses it the same way and changes nothing.
        t->log.Clear();
        t->view->MnuHexView->trigger();
        QCOMPARE(t->log.records.size(), size_t(1));
        QCOMPARE(t->view->EdStackRes->text(), text);
    }

    void dllCheckBoxes_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("keyboard");
        QTest::addColumn<QString>("after");
        QTest::newRow("CFG on") << true << "8160"
                                << "CheckBoxDllControlFlowGuard" << false << "C160";
        QTest::newRow("ASLR off") << true << "8160"
                                  << "CheckBoxDllDynamicBase" << false << "8120";
        QTest::newRow("NX off by keyboard") << true << "8160"
                                            << "CheckBoxDllNxCompatible" << true << "8060";
        QTest::newRow("high entropy off, decimal") << false << "33120"
                                                   << "CheckBoxDllHighEntropyVA" << false << "33088";
        QTest::newRow("terminal server off") << true << "8000"
                                             << "CheckBoxDllTerminalServerAware" << false << "0000";
        QTest::newRow("no SEH on, other bits kept") << true << "001F"
                                                    << "CheckBoxDllNoSEH" << false << "041F";
    }
    void dllCheckBoxes()
    {
        QFETCH(bool, hex);
        QFETCH(QString, value);
        QFETCH(QString, box);
        QFETCH(bool, keyboard);
        QFETCH(QString, after);
        auto t = Open(Plus().Build(), true);
        if (!hex)
            t->view->MnuHexView->trigger();
        TypeText(t->view->EdDLLChar, value);
        const uint16_t before = uint16_t(value.toUInt(nullptr, hex ? 16 : 10));
        const auto flags = DllCharacteristicFlags();
        for (size_t f = 0; f < flags.size(); ++f)
            QCOMPARE(t->view->DllCheckBoxes()[f]->isChecked(), (before & flags[f].bit) != 0);
        auto* check = t->view->findChild<TCheckBox*>(box);
        QVERIFY(check);
        ShowPagesOf(check);
        if (keyboard) {
            check->setFocus();
            QTest::keyClick(check, Qt::Key_Space);
        } else {
            ClickBox(check);
        }
        QCOMPARE(t->view->EdDLLChar->text(), after);
        const uint16_t now = uint16_t(after.toUInt(nullptr, hex ? 16 : 10));
        for (size_t f = 0; f < flags.size(); ++f)
            QCOMPARE(t->view->DllCheckBoxes()[f]->isChecked(), (now & flags[f].bit) != 0);
        // A right click does not toggle and changes nothing; the radix toggle leaves the boxes.
        ClickBox(check, Qt::RightButton);
        QCOMPARE(t->view->EdDLLChar->text(), after);
        t->view->MnuHexView->trigger();
        for (size_t f = 0; f < flags.size(); ++f)
            QCOMPARE(t->view->DllCheckBoxes()[f]->isChecked(), (now & flags[f].bit) != 0);
        QVERIFY(t->log.records.empty());
    }

    void dllCheckBoxWithUnreadableTextGoesBack()
    {
        auto t = Open(Plus().Build(), true);
        TypeText(t->view->EdDLLChar, QStringLiteral("XYZ"));
        // The text itself cannot be read: the boxes keep their states.
        QCOMPARE(t->log.Texts(), QStringList{QStringLiteral("'0xXYZ' is not a valid integer value")});
        t->log.Clear();
        ShowPagesOf(t->view->CheckBoxDllNoBind);
        const bool was = t->view->CheckBoxDllNoBind->isChecked();
        ClickBox(t->view->CheckBoxDllNoBind);
        QCOMPARE(t->view->CheckBoxDllNoBind->isChecked(), was);
        QCOMPARE(t->log.Texts(), QStringList{QStringLiteral("'0xXYZ' is not a valid integer value")});
        TypeText(t->view->EdDLLChar, QString());
        QCOMPARE(t->view->EdDLLChar->text(), QStringLiteral("0"));
    }

    void valueNames_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("name");
        QTest::newRow("arm64") << "EdMachine" << true << "AA64"
                               << "LabelMachine"
                               << "ARM64";
        QTest::newRow("i386 decimal") << "EdMachine" << false << "332"
                                      << "LabelMachine"
                                      << "Intel 386";
        QTest::newRow("unknown machine") << "EdMachine" << true << "1234"
                                         << "LabelMachine"
                                         << "unknown";
        QTest::newRow("unreadable") << "EdMachine" << false << "x64"
                                    << "LabelMachine"
                                    << "";
        QTest::newRow("ROM") << "EdMagic" << true << "107"
                             << "LabelMagic"
                             << "ROM";
        QTest::newRow("EFI application") << "EdSubsystem" << true << "000A"
                                         << "LabelSubsystem"
                                         << "EFI application";
        QTest::newRow("boot driver") << "EdSubsystem" << false << "11"
                                     << "LabelSubsystem"
                                     << "EFI boot service driver";
        QTest::newRow("empty") << "EdSubsystem" << true << ""
                               << "LabelSubsystem"
                               << "";
    }
    void valueNames()
    {
        QFETCH(QString, box);
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(QString, label);
        QFETCH(QString, name);
        auto t = Open(Plus().Build());
        QCOMPARE(t->view->LabelMachine->text(), QStringLiteral("x64"));
        QCOMPARE(t->view->LabelMagic->text(), QStringLiteral("PE32+"));
        QCOMPARE(t->view->LabelSubsystem->text(), QStringLiteral("Windows console"));
        if (!hex)
            t->view->MnuHexView->trigger();
        TypeText(Box(*t->view, box), text);
        auto* shown = t->view->findChild<QLabel*>(label);
        QCOMPARE(shown->text(), name);
        if (!name.isEmpty()) {
            // The other radix names the same value.
            t->view->MnuHexView->trigger();
            QCOMPARE(shown->text(), name);
        }
        QVERIFY(t->log.records.empty());
    }

    void checksumLabelAndRecompute()
    {
        auto t = Open(Plus().Build());
        const uint32_t onDisk = PlainChecksum(t->original);
        QCOMPARE(t->view->LabelCheckSum->text(), Hex8(onDisk) + ", differs");
        QVERIFY(t->view->MnuCheckSum->isEnabled());
        QCOMPARE(t->view->MnuCheckSum->shortcut(), QKeySequence(Qt::Key_F5));

        // An invalid box: the message Save gives, and the checksum box keeps its text.
        TypeText(Box(*t->view, "EdDirSize0"), QStringLiteral("G"));
        t->view->MnuCheckSum->trigger();
        QCOMPARE(t->log.Texts(), QStringList{QStringLiteral("Invalid Hex value.")});
        QCOMPARE(t->view->EdCheckSum->text(), QStringLiteral("CAFEF00D"));
        t->log.Clear();

        // The checksum of the file as Save will write it, in the radix shown; nothing written.
        TypeText(Box(*t->view, "EdDirSize0"), QStringLiteral("41"));
        TypeText(t->view->EdImageBase, QStringLiteral("180000000"));
        t->view->MnuHexView->trigger();
        t->view->MnuCheckSum->trigger();
        QCOMPARE(Bytes(t->path), t->original);
        std::vector<uint8_t> expected = t->original;
        WriteLe(expected, 0x80 + 24 + 112 + 4, 0x41, 4);
        WriteLe(expected, 0x80 + 24 + 24, 0x180000000ull, 8);
        const uint32_t after = PlainChecksum(expected);
        QCOMPARE(t->view->EdCheckSum->text(), QString::number(after));
        QCOMPARE(t->view->LabelCheckSum->text(), QString::number(onDisk) + ", differs");

        t->view->MnuSave->trigger();
        WriteLe(expected, 0x80 + 24 + 64, after, 4);
        QCOMPARE(Bytes(t->path), expected);
        QCOMPARE(t->view->LabelCheckSum->text(), QString::number(after) + ", matches");
        QCOMPARE(PlainChecksum(Bytes(t->path)), after);
    }

    void checksumCommandNeedsAPeFile()
    {
        MessageLog log;
        TFrmView view;
        QVERIFY(!view.MnuCheckSum->isEnabled());
        ImageFolder folder;
        view.StartupFileName = folder.Write("dos.exe", PeBuilder().DosOnly().Build());
        ActivateWindow(view);
        QVERIFY(view.MnuHexView->isEnabled());
        QVERIFY(!view.MnuCheckSum->isEnabled());
        QVERIFY(view.LabelCheckSum->text().isEmpty());
        view.MnuCloseFile->trigger();
        view.StartupFileName = folder.Write("pe.exe", SampleBuilder().Build());
        view.MnuOpen->trigger();
        QVERIFY(view.MnuCheckSum->isEnabled());
        view.MnuCloseFile->trigger();
        QVERIFY(!view.MnuCheckSum->isEnabled());
        QVERIFY(view.LabelCheckSum->text().isEmpty());
        QVERIFY(log.records.empty());
    }

    // Every new control lies inside its page, clear of the others and of "Sa&ve", and its
    // longest text fits; the window keeps its size.
    void newControlsFit()
    {
        auto t = Open(Plus().Build(), true);
        TFrmView& view = *t->view;
        QCOMPARE(view.size(), QSize(618, 410));
        QList<QWidget*> controls;
        for (auto* name : {"LabelMachine", "LabelMagic", "LabelSubsystem", "LabelCheckSum", "GroupBoxDll"})
            controls << view.findChild<QWidget*>(name);
        for (int e = 0; e < kDataDirectoryCount; ++e)
            controls << view.findChild<QWidget*>(QString("LabelDir%1").arg(e));
        for (TEdit* edit : view.DirectoryEdits())
            controls << edit;
        for (const char* box : {"EdImageBase", "EdStackRes", "EdStackCom", "EdHeapRes", "EdHeapCom"})
            controls << view.findChild<QWidget*>(box);
        for (TCheckBox* box : view.DllCheckBoxes())
            controls << box;
        QFont nameFont = view.LabelCheckSum->font();
        const QStringList longest{"4294967295, matches", "4294967295, differs", "FFFFFFFF, matches",
            "Windows boot application", "Native Windows 9x driver", "EFI boot service driver"};
        for (const QString& text : longest)
            QVERIFY2(QFontMetrics(nameFont).horizontalAdvance(text) <= view.LabelCheckSum->width(),
                qPrintable(text));
        QVERIFY(
            QFontMetrics(view.LabelMagic->font()).horizontalAdvance("unknown") <= view.LabelMagic->width());
        QVERIFY(QFontMetrics(view.LabelMachine->font()).horizontalAdvance("Hitachi SH3 DSP")
            <= view.LabelMachine->width());
        for (QWidget* control : controls) {
            QVERIFY(control);
            ShowPagesOf(control);
            QWidget* page = control->parentWidget();
            QVERIFY2(page->rect().contains(control->geometry()),
                qPrintable(control->objectName()
                    + QString(" %1 in %2").arg(control->geometry().right()).arg(page->width())));
            const QRect save(
                page->mapFromGlobal(view.ButSave->mapToGlobal(QPoint(0, 0))), view.ButSave->size());
            QVERIFY2(!save.intersects(control->geometry()), qPrintable(control->objectName()));
            for (QWidget* other : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (other != control && other->isVisibleTo(page) && control->isVisibleTo(page))
                    QVERIFY2(!other->geometry().intersects(control->geometry()),
                        qPrintable(control->objectName() + " / " + other->objectName()));
            }
            if (auto* label = qobject_cast<QLabel*>(control))
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                    qPrintable(label->text()));
            if (auto* box = qobject_cast<QCheckBox*>(control))
                QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
        }
        // A 20-digit decimal fits its box.
        view.MnuHexView->trigger();
        QLineEdit* heap = view.EdHeapRes;
        QVERIFY(heap->fontMetrics().horizontalAdvance(heap->text()) <= heap->contentsRect().width() - 4);
    }

    void viewButtonLinesUpWithSave_data()
    {
        QTest::addColumn<int>("sections");
        QTest::newRow("no sections") << 0;
        QTest::newRow("two sections") << 2;
    }
    void viewButtonLinesUpWithSave()
    {
        QFETCH(int, sections);
        PeBuilder builder = PeBuilder().Pe32Plus();
        for (int i = 0; i < sections; ++i)
            builder.AddSection(PeSection("s"));
        auto t = Open(builder.Build(), true);
        TFrmView& view = *t->view;
        ShowPagesOf(view.ButView);
        QVERIFY(view.ButView->isVisible());
        QCOMPARE(view.ButView->mapTo(view.centralWidget(), QPoint(0, 0)).y(), view.ButSave->y());
        QVERIFY(view.TabSecHd->rect().contains(view.ButView->geometry()));
        QCOMPARE(view.ButView->font().weight(), view.ButSave->font().weight());
    }
};

QTEST_MAIN(FrmViewPe32PlusTest)
#include "FrmViewPe32PlusTest.moc"
