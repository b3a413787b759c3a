// File > Compare With... on a real DLL and a copy patched through korvex-cli (fields, time stamps
// and one code byte): exactly the boxes korvex-cli diff names are marked, each tooltip adds the
// other value in the radix shown, the Differences node lists the rest of what diff lists, and
// Close Comparison puts every box, tooltip and the tree back.
#include "ViewerTestSupport.h"

#include "cli/Cli.h"
#include "header/FieldNames.h"
#include "header/FieldValue.h"
#include "viewer/ContentsModel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTreeView>

#include <sstream>

namespace {

const QString kDll = QStringLiteral("/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll");

QByteArray Cli(const QStringList& arguments)
{
    std::vector<std::string> args;
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    std::ostringstream out, err;
    RunCli(args, out, err);
    return QByteArray::fromStdString(out.str());
}

// Every box and check box as it looks, in the window's order.
QStringList Looks(const TFrmView& view)
{
    QStringList looks;
    for (const QWidget* w : view.findChildren<QWidget*>()) {
        if (qobject_cast<const TEdit*>(w) || qobject_cast<const TCheckBox*>(w))
            looks << w->toolTip() + "|" + w->palette().color(QPalette::Base).name() + "|"
                    + w->palette().color(QPalette::Window).name() + "|" + QString::number(w->font().bold())
                    + QString::number(w->autoFillBackground());
    }
    return looks;
}

QStringList Rows(const QAbstractItemModel& model, const QModelIndex& parent = {})
{
    QStringList rows;
    for (int r = 0; r < model.rowCount(parent); ++r)
        rows << model.index(r, 0, parent).data().toString() + "\t"
                + model.index(r, 1, parent).data().toString();
    return rows;
}

} // namespace

class FrmViewCompareTest : public QObject {
    Q_OBJECT

private slots:
    void MarksThePatchAndPutsItBack()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.dll"), b = dir.filePath("b.dll");
        QVERIFY(QFile::copy(kDll, a) && QFile::copy(kDll, b));
        QVERIFY(!Cli({"set", b, "DllCharacteristics=0x40", "section.1.Characteristics=0x60000020",
                         "e_oemid=7", "directory.Architecture.Size=16"})
                     .isEmpty());
        QVERIFY(!Cli({"set-timestamps", "--time", "0", b}).isEmpty());
        QFile patched(b); // and one code byte no field names
        QVERIFY(patched.open(QIODevice::ReadWrite));
        QVERIFY(patched.seek(
            Cli({"get", "--decimal", b, "section.0.PointerToRawData"}).trimmed().toLongLong() + 64));
        const char byte = static_cast<char>(~patched.peek(1).at(0));
        QVERIFY(patched.write(&byte, 1) == 1);
        patched.close();
        const std::vector<uint8_t> other = Bytes(b);
        QMap<QString, QJsonObject> diff;
        for (const QByteArray& line : Cli({"diff", "--json", a, b}).split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!line.isEmpty())
                diff.insert(object["name"].toString(), object);
        }

        MessageLog log;
        auto view = OpenedView(a);
        auto* model = view->findChild<QTreeView*>(QStringLiteral("TreeContents"))->model();
        const QStringList looks = Looks(*view), tree = Rows(*model);
        const QString title = view->windowTitle();
        view->SetCompareChooser([b] { return b; });
        view->MnuCompare->trigger();
        QVERIFY(view->windowTitle().endsWith(QStringLiteral("compared with [") + b + "]"));

        // Every box by its field's name, as diff names it.
        const OptionalLayout layout = view->Layout();
        QMap<QString, std::pair<TEdit*, FieldRef>> boxes;
        auto add = [&](TEdit* edit, FieldRef ref) {
            boxes[QString::fromStdString(FieldPeName(ref))] = {edit, ref};
        };
        for (int i = 0; i < kHeaderFieldCount; ++i) {
            if (HeaderFields(layout)[size_t(i)].Present())
                add(view->HeaderEdits()[size_t(i)], {FieldRef::kHeader, i, layout});
        }
        for (int i = 0; i < kDosExtraFieldCount; ++i)
            add(view->DosExtraEdits()[size_t(i)], {FieldRef::kDosExtra, i, layout});
        for (int i = 0; i < kDataDirectoryFieldCount; ++i)
            add(view->DirectoryEdits()[size_t(i)], {FieldRef::kDirectories, i, layout});
        for (int s = 0; s < view->SectionCount; ++s) {
            add(view->SectionNameEdits[size_t(s)], {s, FieldRef::kNameRow, layout});
            for (int r = 0; r < kSectionRowCount; ++r)
                add(view->SectionEdits[size_t(s * kSectionRowCount + r)], {s, r, layout});
        }
        QStringList rest;
        for (const QString& name : diff.keys()) {
            if (!boxes.contains(name))
                rest << name;
        }
        QCOMPARE(diff.size() - rest.size(), 6); // the four fields set, TimeDateStamp and CheckSum
        auto otherValue = [&](const QString& name, bool hex) {
            return QStringLiteral("\nb.dll: ")
                + QString::fromStdString(ClassValueText(
                    diff[name]["new"].toInteger(), hex, boxes[name].second.Field().valueClass));
        };
        for (auto box = boxes.begin(); box != boxes.end(); ++box) {
            TEdit* edit = box.value().first;
            QCOMPARE(edit->Compared(), diff.contains(box.key()));
            if (diff.contains(box.key()))
                QVERIFY2(edit->toolTip().contains(otherValue(box.key(), true)), qPrintable(edit->toolTip()));
        }
        // The check boxes of exactly the bits that differ.
        for (size_t f = 0; f < kSectionFlagCount; ++f)
            QCOMPARE(view->SectionCheckBoxes[kSectionFlagCount + f]->autoFillBackground(),
                ((0xC0000040 ^ 0x60000020) & view->CharacteristicMasks[f]) != 0);
        view->MnuHexView->trigger(); // the tooltips follow the radix
        QVERIFY(view->EdCheckSum->toolTip().endsWith(otherValue(QStringLiteral("CheckSum"), false)));

        // The rest, by part, under Differences: exports.TimeDateStamp and the code byte at least.
        const QModelIndex top = model->index(model->rowCount() - 1, 0);
        QCOMPARE(top.data().toString(), QStringLiteral("Differences"));
        QStringList listed;
        for (int p = 0; p < model->rowCount(top); ++p) {
            for (const QString& row : Rows(*model, model->index(p, 0, top)))
                listed << row.section('\t', 0, 0);
        }
        listed.sort();
        QCOMPARE(listed, rest);
        QVERIFY(rest.contains(QStringLiteral("exports.TimeDateStamp"))
            && rest.contains(QStringLiteral("section.0 (.text)")));

        view->MnuHexView->trigger();
        view->MnuCloseCompare->trigger();
        QCOMPARE(Looks(*view), looks);
        QCOMPARE(Rows(*model), tree);
        QCOMPARE(view->windowTitle(), title);
        QVERIFY(Bytes(b) == other); // only read
        QVERIFY(log.Texts().isEmpty());
    }

    // A section the other file has no match for is marked as lacking, name and rows.
    void SectionTheOtherLacks()
    {
        auto t = OpenImage(SampleBuilder().Build());
        const QString other
            = t->folder.Write(QStringLiteral("one.exe"), SampleBuilder().SectionCount(1).Build());
        t->view->SetCompareChooser([other] { return other; });
        t->view->MnuCompare->trigger();
        QVERIFY(t->view->EdSections->Compared());
        for (TEdit* edit : {t->view->SectionNameEdits[1], t->view->SectionEdits[kSectionRowCount + 3]})
            QVERIFY2(
                edit->Compared() && edit->toolTip().endsWith("\none.exe has no section matching this one"),
                qPrintable(edit->toolTip()));
        // A file that cannot be compared is refused as Open refuses it; the comparison stays.
        const QString text = t->folder.Write(QStringLiteral("text.exe"), {'h', 'i'});
        for (const QString& bad : {text, t->folder.Path(QStringLiteral("missing.exe"))}) {
            t->view->SetCompareChooser([bad] { return bad; });
            t->view->MnuCompare->trigger();
            QCOMPARE(t->view->ComparedFileName(), other);
        }
        QCOMPARE(t->log.Texts(),
            QStringList({QString::fromLatin1(kNotPeText.data(), kNotPeText.size()),
                "Cannot open file " + t->folder.Path(QStringLiteral("missing.exe"))}));
        // Typing leaves the marks; a save compares the file on disk again.
        TypeText(t->view->EdSections, QStringLiteral("0001"));
        QVERIFY(t->view->EdSections->Compared());
        t->view->MnuSave->trigger();
        QVERIFY(!t->view->EdSections->Compared() && !t->view->SectionNameEdits[1]->Compared());
        QCOMPARE(t->view->ComparedFileName(), other);
        t->view->MnuCloseFile->trigger(); // closing ends the comparison too
        QVERIFY(!t->view->SectionNameEdits.size() && !t->view->EdSections->Compared());
    }
};

QTEST_MAIN(FrmViewCompareTest)
#include "FrmViewCompareTest.moc"
