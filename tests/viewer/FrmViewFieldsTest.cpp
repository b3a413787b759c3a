// The values in the boxes: radix toggle and its validation, the date label, and the
// characteristics check boxes in both directions.
#include "ViewerTestSupport.h"

#include <QLabel>

namespace {

std::unique_ptr<OpenedImage> Open(PeBuilder builder = SampleBuilder(), bool show = false)
{
    return OpenImage(builder.Build(), show);
}

QStringList BoxTexts(TFrmView& view)
{
    QStringList texts;
    for (TEdit* edit : view.HeaderEdits())
        texts << edit->text();
    for (TEdit* edit : view.SectionEdits)
        texts << edit->text();
    texts << view.LabelFileoffset->text();
    return texts;
}

// Keyed by box: bringing a page to the front reorders the window's children.
QMap<QCheckBox*, bool> CheckStates(TFrmView& view)
{
    QMap<QCheckBox*, bool> states;
    for (QCheckBox* box : view.findChildren<QCheckBox*>())
        states[box] = box->isChecked();
    return states;
}

TEdit* Edit(TFrmView& view, const QString& name)
{
    if (name.startsWith(QLatin1String("S"))) // S<i>.R<r>
        return view.SectionEdits[size_t(
            name.mid(1, name.indexOf('.') - 1).toInt() * 9 + name.mid(name.indexOf('R') + 1).toInt())];
    return view.findChild<TEdit*>(name);
}

} // namespace

class FrmViewFieldsTest : public QObject {
    Q_OBJECT

private slots:
    void toggleConvertsEveryBox_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("decimal");
        QTest::newRow("word zero") << "Ed_CS"
                                   << "0000"
                                   << "0";
        QTest::newRow("word") << "EdMachine"
                              << "014C"
                              << "332";
        QTest::newRow("byte top value") << "EdMajorLinker"
                                        << "FF"
                                        << "255";
        QTest::newRow("byte") << "EdMinorLinker"
                              << "07"
                              << "7";
        QTest::newRow("dword top bit") << "EdImageBase"
                                       << "80000000"
                                       << "2147483648";
        QTest::newRow("dword stamp") << "EdDateStamp"
                                     << "38BB0C00"
                                     << "951782400";
        QTest::newRow("section row 6 shown as dword") << "S1.R6"
                                                      << "00000003"
                                                      << "3";
        QTest::newRow("section characteristics") << "S1.R8"
                                                 << "C0000040"
                                                 << "3221225536";
    }
    void toggleConvertsEveryBox()
    {
        QFETCH(QString, box);
        QFETCH(QString, hex);
        QFETCH(QString, decimal);
        auto t = Open();
        TFrmView& view = *t->view;
        QCOMPARE(Edit(view, box)->text(), hex);
        view.MnuHexView->trigger();
        QVERIFY(!view.MnuHexView->isChecked());
        QCOMPARE(Edit(view, box)->text(), decimal);
        QCOMPARE(view.LabelFileoffset->text(), QStringLiteral("1040"));
        view.MnuHexView->trigger();
        QVERIFY(view.MnuHexView->isChecked());
        QCOMPARE(Edit(view, box)->text(), hex);
        QCOMPARE(view.LabelFileoffset->text(), QStringLiteral("00000410"));
        QVERIFY(t->log.records.empty());
    }

    void typedValuesConvert_data()
    {
        QTest::addColumn<bool>("fromHex");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("converted"); // empty: refused as too wide, the text stays
        QTest::newRow("lower-case hex") << true << "EdImageBase"
                                        << "ffffffff"
                                        << "4294967295";
        QTest::newRow("short hex") << true << "EdMachine"
                                   << "1"
                                   << "1";
        QTest::newRow("decimal max dword") << false << "EdCode"
                                           << "4294967295"
                                           << "FFFFFFFF";
        QTest::newRow("decimal too large for a word") << false << "EdMachine"
                                                      << "99999"
                                                      << "";
        QTest::newRow("long hex in a byte box is refused") << true << "EdMajorLinker"
                                                           << "FFF"
                                                           << "";
        QTest::newRow("ten hex digits") << true << "EdCode"
                                        << "FFFFFFFFFF"
                                        << "";
    }
    void typedValuesConvert()
    {
        QFETCH(bool, fromHex);
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, converted);
        auto t = Open();
        TFrmView& view = *t->view;
        if (!fromHex)
            view.MnuHexView->trigger();
        TypeText(Edit(view, box), typed);
        QCOMPARE(Edit(view, box)->text(), typed);
        view.MnuHexView->trigger();
        QCOMPARE(Edit(view, box)->text(), converted.isEmpty() ? typed : converted);
        QCOMPARE(view.MnuHexView->isChecked(), fromHex == converted.isEmpty());
        QCOMPARE(t->log.records.size(), size_t(converted.isEmpty() ? 1 : 0));
    }

    void maxLengthLimitsTypingOnly()
    {
        auto t = Open();
        TFrmView& view = *t->view;
        view.EdMajorLinker->setFocus();
        view.EdMajorLinker->selectAll();
        QTest::keyClicks(view.EdMajorLinker, QStringLiteral("ABCD"));
        QCOMPARE(view.EdMajorLinker->text(), QStringLiteral("ABC"));
        // A longer text the program wrote can still be shortened.
        view.EdMajorLinker->setText(QStringLiteral("4095"));
        QCOMPARE(view.EdMajorLinker->text(), QStringLiteral("4095"));
        view.EdMajorLinker->setCursorPosition(4);
        QTest::keyClick(view.EdMajorLinker, Qt::Key_Backspace);
        QCOMPARE(view.EdMajorLinker->text(), QStringLiteral("409"));
    }

    void invalidBoxBlocksToggle_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty in hex") << true << "EdMagic"
                                      << ""
                                      << "Invalid Hex value.";
        QTest::newRow("prefix in hex") << true << "EdMachine"
                                       << "0x10"
                                       << "Invalid Hex value.";
        QTest::newRow("blank in hex") << true << "EdCode"
                                      << "1 2"
                                      << "Invalid Hex value.";
        QTest::newRow("G in hex") << true << "S0.R3"
                                  << "G"
                                  << "Invalid Hex value.";
        QTest::newRow("non-ASCII in hex")
            << true << "Ed_SS" << QString::fromUtf8("\xC3\xA4") << "Invalid Hex value.";
        QTest::newRow("empty in decimal") << false << "EdRva"
                                          << ""
                                          << "Invalid Integer value.";
        QTest::newRow("sign in decimal") << false << "EdMachine"
                                         << "-1"
                                         << "Invalid Integer value.";
        QTest::newRow("hex digit in decimal") << false << "S1.R8"
                                              << "1A"
                                              << "Invalid Integer value.";
    }
    void invalidBoxBlocksToggle()
    {
        QFETCH(bool, hex);
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        auto t = Open();
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        const QMap<QCheckBox*, bool> checks = CheckStates(view);
        const QString date = view.LabelDate->text();
        TEdit* edit = Edit(view, box);
        TypeText(edit, text);
        QVERIFY(edit->Invalid()); // drawn in the error colour while typing
        t->log.Clear();
        const QStringList before = BoxTexts(view);
        view.MnuHexView->trigger();
        QCOMPARE(t->log.Texts(), QStringList{message});
        QCOMPARE(t->log.records[0].kind, MsgKind::Plain);
        QCOMPARE(t->log.records[0].caption, QStringLiteral("Korvex"));
        QCOMPARE(BoxTexts(view), before);
        QCOMPARE(view.MnuHexView->isChecked(), hex);
        QCOMPARE(CheckStates(view), checks);
        QCOMPARE(view.LabelDate->text(), date);
        QVERIFY(!view.ValidationPassed);
        // The refused box is in front (its pages shown) and has the focus.
        QVERIFY(edit->isVisibleTo(&view));
        QCOMPARE(view.focusWidget(), edit);
    }

    void labelFileoffsetIsNotValidated()
    {
        auto t = Open();
        TFrmView& view = *t->view;
        view.LabelFileoffset->setText(QStringLiteral("12"));
        view.MnuHexView->trigger();
        QVERIFY(t->log.records.empty());
        QCOMPARE(view.LabelFileoffset->text(), QStringLiteral("18"));
    }

    void dosOnlyTogglesDosBoxesOnly()
    {
        ImageFolder folder;
        MessageLog log;
        // A PE file first, so the hidden PE boxes hold texts that must not be touched.
        auto view = OpenedView(folder.Write("a.exe", SampleBuilder().Build()));
        view->MnuCloseFileClick();
        TypeText(view->EdMachine, QStringLiteral("xyz"));
        view->StartupFileName = folder.Write("d.exe", PeBuilder().DosOnly().Build());
        ActivateWindow(*view);
        QVERIFY(log.records.empty());
        QCOMPARE(view->EdLastPage->text(), QStringLiteral("0090"));
        QCOMPARE(view->EdMachine->text(), QStringLiteral("xyz"));
        view->MnuHexView->trigger();
        QCOMPARE(view->EdLastPage->text(), QStringLiteral("144"));
        QCOMPARE(view->EdMachine->text(), QStringLiteral("xyz"));
        QVERIFY(log.records.empty());
    }

    void toggleLeavesLabelAndBoxes()
    {
        auto t = Open();
        TFrmView& view = *t->view;
        const QMap<QCheckBox*, bool> checks = CheckStates(view);
        const QString date = view.LabelDate->text();
        for (int i = 0; i < 3; ++i) {
            view.MnuHexView->trigger();
            QCOMPARE(CheckStates(view), checks);
            QCOMPARE(view.LabelDate->text(), date);
            QVERIFY(!view.SuppressFieldChange);
        }
    }

    // A toggle that leaves a text unchanged fires no change event; the flag set for it
    // must not swallow the user's next edit.
    void unchangedTextLeavesNoStaleSuppression()
    {
        auto t = Open();
        TFrmView& view = *t->view;
        view.MnuHexView->trigger(); // decimal
        TypeText(view.EdChar, QStringLiteral("0002"));
        TypeText(view.EdDateStamp, QStringLiteral("00000000"));
        view.MnuHexView->trigger(); // hex: "0002" and "00000000" stay as they are
        QCOMPARE(view.EdChar->text(), QStringLiteral("0002"));
        QVERIFY(!view.SuppressFieldChange);
        TypeText(view.EdChar, QStringLiteral("2002"));
        QVERIFY(view.CheckBoxDLL->isChecked());
        QVERIFY(view.CheckBoxExec->isChecked());
        TypeText(view.EdDateStamp, QStringLiteral("3A8F1C00"));
        QCOMPARE(view.LabelDate->text(), QStringLiteral("Feb  18, 2001   0:49:4"));
    }

    void dateLabel_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("epoch") << false << "0"
                               << "Jan  1, 1970   0:0:0";
        QTest::newRow("leap day 2000") << false << "951782400"
                                       << "Feb  29, 2000   0:0:0";
        QTest::newRow("2038 unsigned") << false << "2147483648"
                                       << "Jan  19, 2038   3:14:8";
        QTest::newRow("hexadecimal") << true << "3A8F1C00"
                                     << "Feb  18, 2001   0:49:4";
        QTest::newRow("lower-case hex") << true << "3a8f1c00"
                                        << "Feb  18, 2001   0:49:4";
        QTest::newRow("only low 32 bits count") << false << "4294967296"
                                                << "Jan  1, 1970   0:0:0";
        QTest::newRow("nine hex digits") << true << "100000000"
                                         << "Jan  1, 1970   0:0:0";
    }
    void dateLabel()
    {
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        auto t = Open();
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        TypeText(view.EdDateStamp, text);
        QCOMPARE(view.LabelDate->text(), caption);
        QCOMPARE(view.EdDateStamp->text(), text);
        QVERIFY(t->log.records.empty());
    }

    void clearedStampBecomesZero()
    {
        auto t = Open();
        TFrmView& view = *t->view;
        TypeText(view.EdDateStamp, QString());
        QCOMPARE(view.EdDateStamp->text(), QStringLiteral("0"));
        QCOMPARE(view.LabelDate->text(), QStringLiteral("Jan  1, 1970   0:0:0"));
    }

    void monthNames()
    {
        const QStringList names{
            "NA", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec", "NA"};
        for (unsigned m = 0; m < 14; ++m)
            QCOMPARE(TFrmView::MonthName(m), names[int(m)]);
    }

    void nonNumberTextShowsConversionError_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("stamp in hex") << true << "EdDateStamp"
                                      << "XYZ"
                                      << "'0xXYZ' is not a valid integer value";
        QTest::newRow("stamp in decimal") << false << "EdDateStamp"
                                          << "12a"
                                          << "'12a' is not a valid integer value";
        QTest::newRow("characteristics in hex") << true << "EdChar"
                                                << "Q"
                                                << "'0xQ' is not a valid integer value";
        QTest::newRow("section characteristics") << true << "S0.R8"
                                                 << "-"
                                                 << "'0x-' is not a valid integer value";
    }
    void nonNumberTextShowsConversionError()
    {
        QFETCH(bool, hex);
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QString, message);
        auto t = Open();
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        const QString date = view.LabelDate->text();
        const QMap<QCheckBox*, bool> checks = CheckStates(view);
        TypeText(Edit(view, box), text);
        QCOMPARE(t->log.Texts(), QStringList{message});
        QCOMPARE(t->log.records[0].kind, MsgKind::Error);
        QCOMPARE(Edit(view, box)->text(), text);
        QCOMPARE(view.LabelDate->text(), date);
        QCOMPARE(CheckStates(view), checks);
        // The window stays usable: the toggle reports the box, a good text heals it.
        t->log.Clear();
        view.MnuHexView->trigger();
        QCOMPARE(t->log.Texts(), QStringList{hex ? "Invalid Hex value." : "Invalid Integer value."});
        TypeText(Edit(view, box), QStringLiteral("0"));
        t->log.Clear();
        view.MnuHexView->trigger();
        QVERIFY(t->log.records.empty());
    }

    void fileCharacteristicsFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<bool>>("checks"); // System, DLL, Exec, 32 bit
        QTest::newRow("010F") << "010F" << QList<bool>{false, false, true, true};
        QTest::newRow("3102") << "3102" << QList<bool>{true, true, true, true};
        QTest::newRow("0000") << "0000" << QList<bool>{false, false, false, false};
        QTest::newRow("wider than 16 bits") << "12000" << QList<bool>{false, true, false, false};
        QTest::newRow("cleared becomes 0") << "" << QList<bool>{false, false, false, false};
    }
    void fileCharacteristicsFromText()
    {
        QFETCH(QString, text);
        QFETCH(QList<bool>, checks);
        auto t = Open();
        TFrmView& view = *t->view;
        TypeText(view.EdChar, text);
        QCOMPARE(view.EdChar->text(), text.isEmpty() ? QStringLiteral("0") : text);
        QCOMPARE((QList<bool>{view.CheckBoxSystem->isChecked(), view.CheckBoxDLL->isChecked(),
                     view.CheckBoxExec->isChecked(), view.CheckBox32Bit->isChecked()}),
            checks);
    }

    void fileCheckBoxClicks_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("once");
        QTest::newRow("DLL in hex") << true << "CheckBoxDLL"
                                    << "010F"
                                    << "210F";
        QTest::newRow("DLL in decimal") << false << "CheckBoxDLL"
                                        << "271"
                                        << "8463";
        QTest::newRow("system") << true << "CheckBoxSystem"
                                << "010F"
                                << "110F";
        QTest::newRow("exec off") << true << "CheckBoxExec"
                                  << "010F"
                                  << "010D";
        QTest::newRow("32 bit off in decimal") << false << "CheckBox32Bit"
                                               << "271"
                                               << "15";
    }
    void fileCheckBoxClicks()
    {
        QFETCH(bool, hex);
        QFETCH(QString, box);
        QFETCH(QString, start);
        QFETCH(QString, once);
        auto t = Open(SampleBuilder(), true);
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        QCOMPARE(view.EdChar->text(), start);
        auto* check = view.findChild<TCheckBox*>(box);
        ShowPagesOf(check);
        const bool before = check->isChecked();
        ClickBox(check);
        QCOMPARE(check->isChecked(), !before);
        QCOMPARE(view.EdChar->text(), once);
        ClickBox(check);
        QCOMPARE(check->isChecked(), before);
        QCOMPARE(view.EdChar->text(), hex ? start : QString::number(start.toInt()));
        // A right-button release does not toggle and leaves the value as it is.
        ClickBox(check, Qt::RightButton);
        QCOMPARE(check->isChecked(), before);
        QCOMPARE(view.EdChar->text(), hex ? start : QString::number(start.toInt()));
        QVERIFY(t->log.records.empty());
    }

    // The space bar toggles a box too; the text must follow it, or Save would write
    // something else than the boxes show.
    void keyboardToggleUpdatesText()
    {
        auto t = Open(SampleBuilder(), true);
        TFrmView& view = *t->view;
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(t->view.get()));
        ShowPagesOf(view.CheckBoxDLL);
        view.CheckBoxDLL->setFocus();
        QTest::keyClick(view.CheckBoxDLL, Qt::Key_Space);
        QVERIFY(view.CheckBoxDLL->isChecked());
        QCOMPARE(view.EdChar->text(), QStringLiteral("210F"));
        QTest::keyClick(view.CheckBoxDLL, Qt::Key_Space);
        QVERIFY(!view.CheckBoxDLL->isChecked());
        QCOMPARE(view.EdChar->text(), QStringLiteral("010F"));

        TCheckBox* writeable = view.SectionCheckBoxes[13 + 6];
        ShowPagesOf(writeable);
        writeable->setFocus();
        QTest::keyClick(writeable, Qt::Key_Space);
        QVERIFY(!writeable->isChecked());
        QCOMPARE(view.SectionEdits[9 + 8]->text(), QStringLiteral("40000040"));
        // Keys that toggle nothing change nothing.
        QTest::keyClick(writeable, Qt::Key_A);
        QCOMPARE(view.SectionEdits[9 + 8]->text(), QStringLiteral("40000040"));
    }

    void sectionCheckBoxesFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("checked");
        QTest::newRow("C0000040") << "C0000040" << QList<int>{5, 6, 8};
        QTest::newRow("code exec read write") << "E0000020" << QList<int>{4, 5, 6, 7};
        QTest::newRow("zero") << "0" << QList<int>{};
        QTest::newRow("all flags") << "FF000AE0" << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        QTest::newRow("cleared becomes 0") << "" << QList<int>{};
    }
    void sectionCheckBoxesFromText()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, checked);
        auto t = Open();
        TFrmView& view = *t->view;
        TypeText(view.SectionEdits[9 + 8], text);
        if (text.isEmpty())
            QCOMPARE(view.SectionEdits[9 + 8]->text(), QStringLiteral("0"));
        for (int f = 0; f < 13; ++f)
            QCOMPARE(view.SectionCheckBoxes[size_t(13 + f)]->isChecked(), checked.contains(f));
        // The other section's boxes are not touched.
        QCOMPARE(view.SectionCheckBoxes[4]->isChecked(), true);
        QVERIFY(t->log.records.empty());
    }

    void sectionCheckBoxClicks_data()
    {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("once");
        QTest::newRow("writeable off in hex") << true << 6 << "C0000040"
                                              << "40000040";
        QTest::newRow("writeable off in decimal") << false << 6 << "3221225536"
                                                  << "1073741888";
        QTest::newRow("discardable on") << true << 0 << "C0000040"
                                        << "C2000040";
        QTest::newRow("extended relocations on") << true << 12 << "C0000040"
                                                 << "C1000040";
    }
    void sectionCheckBoxClicks()
    {
        QFETCH(bool, hex);
        QFETCH(int, flag);
        QFETCH(QString, start);
        QFETCH(QString, once);
        auto t = Open(SampleBuilder(), true);
        TFrmView& view = *t->view;
        if (!hex)
            view.MnuHexView->trigger();
        TEdit* row = view.SectionEdits[9 + 8];
        QCOMPARE(row->text(), start);
        TCheckBox* box = view.SectionCheckBoxes[size_t(13 + flag)];
        ShowPagesOf(box);
        const bool before = box->isChecked();
        ClickBox(box);
        QCOMPARE(row->text(), once);
        QCOMPARE(box->isChecked(), !before);
        ClickBox(box);
        QCOMPARE(row->text(), start);
        QCOMPARE(
            view.SectionEdits[8]->text(), hex ? QStringLiteral("60000020") : QStringLiteral("1610612768"));
        QVERIFY(t->log.records.empty());
    }

    // When the value cannot be read, the error is shown and the box returns to what
    // the text says.
    void unreadableValueRevertsClickedBox_data()
    {
        QTest::addColumn<QString>("badBox");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("sectionBox");
        QTest::newRow("file box, EdChar bad") << "EdChar"
                                              << "'0xZZ' is not a valid integer value" << false;
        QTest::newRow("section box, EdChar bad") << "EdChar"
                                                 << "'0xZZ' is not a valid integer value" << true;
        QTest::newRow("section box, other section bad") << "S0.R8"
                                                        << "'0xZZ' is not a valid integer value" << true;
    }
    void unreadableValueRevertsClickedBox()
    {
        QFETCH(QString, badBox);
        QFETCH(QString, message);
        QFETCH(bool, sectionBox);
        auto t = Open(SampleBuilder(), true);
        TFrmView& view = *t->view;
        TypeText(Edit(view, badBox), QStringLiteral("ZZ"));
        t->log.Clear();
        TCheckBox* box = sectionBox ? view.SectionCheckBoxes[13 + 6] : view.CheckBoxDLL;
        ShowPagesOf(box);
        const bool before = box->isChecked();
        const QString text = view.SectionEdits[9 + 8]->text();
        ClickBox(box);
        QCOMPARE(t->log.Texts(), QStringList{message});
        QCOMPARE(box->isChecked(), before);
        QCOMPARE(view.SectionEdits[9 + 8]->text(), text);
        QCOMPARE(Edit(view, badBox)->text(), QStringLiteral("ZZ"));
    }
};

QTEST_MAIN(FrmViewFieldsTest)
#include "FrmViewFieldsTest.moc"
