// The Contents page end to end on a real DLL: the tree is filled lazily, Enter shows an export's
// address table entry in the hex viewer selected, Ctrl+C copies the row, the values follow the
// hex/decimal toggle, and a damaged file shows "Warnings" first. On signed EFI images the
// Signature and Hardening nodes say what korvex-cli verify and check say.
#include "ViewerTestSupport.h"

#include "cli/Cli.h"
#include "hexeditor/HexEditor.h"
#include "hexviewer/FrmHex.h"
#include "support/ModalDriver.h"
#include "viewer/ContentsModel.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <sstream>

namespace {

const QString kDll = QStringLiteral("/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll");

QModelIndex TopRow(QAbstractItemModel* model, const QString& item, const QModelIndex& parent = {})
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        if (model->index(row, 0, parent).data().toString() == item)
            return model->index(row, 0, parent);
    }
    return {};
}

QJsonObject CliJson(const std::vector<std::string>& arguments)
{
    std::ostringstream out, err;
    RunCli(arguments, out, err);
    return QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
}

} // namespace

class FrmViewContentsTest : public QObject {
    Q_OBJECT

private slots:
    void ExportsOpenLazilyAndShowTheirBytes()
    {
        auto view = OpenedView(kDll, true);
        auto* tree = view->findChild<QTreeView*>(QStringLiteral("TreeContents"));
        QVERIFY(tree);
        auto* model = qobject_cast<ContentsModel*>(tree->model());
        QVERIFY(model);
        const QModelIndex exports = TopRow(model, QStringLiteral("Exports"));
        QVERIFY(exports.isValid());
        QVERIFY(!TopRow(model, QStringLiteral("Warnings")).isValid());
        // 5,781 exports: none is made before the node is opened.
        QVERIFY(model->NodesMade() < 100);
        tree->expand(exports);
        QVERIFY(model->rowCount(exports) > 5000);

        // The first function after the directory's name and 11 fields.
        const QModelIndex function = model->index(12, 0, exports);
        const auto [offset, length] = model->ItemBytes(function);
        QCOMPARE(length, uint64_t(4));
        TFrmHex* FrmHex = view->FrmHex;
        view->PageControl1->setCurrentWidget(view->TabContents);
        tree->setFocus();
        tree->setCurrentIndex(function);
        QByteArray shown;
        int selected = 0;
        QVERIFY(WhileModal(
            FrmHex, [&] { QTest::keyClick(tree, Qt::Key_Return); },
            [&] {
                const std::string text = FrmHex->HexEditor->GetAsText();
                shown = QByteArray(text.data(), static_cast<qsizetype>(text.size()));
                selected = FrmHex->HexEditor->GetSelCount();
                FrmHex->close();
            }));
        QFile file(kDll);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.seek(qint64(offset)));
        QCOMPARE(shown, file.read(4));
        QCOMPARE(selected, 4);

        QTest::keyClick(tree, Qt::Key_C, Qt::ControlModifier);
        const QString copied = QApplication::clipboard()->text();
        QVERIFY2(
            copied.startsWith(QStringLiteral("  ") + function.data().toString() + '\t'), qPrintable(copied));

        const QString hex = model->index(12, 1, exports).data().toString();
        QVERIFY(hex.startsWith(QStringLiteral("0x")));
        view->MnuHexViewClick();
        QCOMPARE(model->index(12, 1, exports).data().toString(),
            QString::number(hex.mid(2).section(' ', 0, 0).toULongLong(nullptr, 16)));
        view->MnuCloseFileClick();
        QCOMPARE(model->rowCount(), 0);
    }

    void SignatureAndHardeningAsTheCli()
    {
        // Debian's signed GRUB image (grub-efi-amd64-signed, scripts/install-deps test).
        const std::string file = "/usr/lib/grub/x86_64-efi-signed/grubx64.efi.signed";
        auto view = OpenedView(QString::fromStdString(file));
        auto* model = view->findChild<QTreeView*>(QStringLiteral("TreeContents"))->model();
        const QModelIndex signature = TopRow(model, QStringLiteral("Signature"));
        QCOMPARE(signature.siblingAtColumn(1).data().toString(), QStringLiteral("verified when opened"));
        const QModelIndex first = TopRow(model, QStringLiteral("signature 1"), signature);
        QVERIFY(
            signature.siblingAtColumn(1).data().toString().startsWith(QStringLiteral("signature intact")));
        const QJsonObject verified = CliJson({"verify", "--json", file})["signatures"][0].toObject();
        QCOMPARE(TopRow(model, QStringLiteral("signer"), first).siblingAtColumn(1).data().toString(),
            verified["signer"]["subject"].toString());

        const QModelIndex hardening = TopRow(model, QStringLiteral("Hardening"));
        const QJsonArray properties = CliJson({"check", "--json", file})["properties"].toArray();
        QCOMPARE(model->rowCount(hardening), properties.size());
        for (int row = 0; row < properties.size(); ++row)
            QCOMPARE(model->index(row, 0, hardening).data().toString() + ": "
                    + model->index(row, 1, hardening).data().toString(),
                properties[row]["title"].toString() + ": " + properties[row]["state"].toString() + "  "
                    + properties[row]["evidence"].toString());
    }

    void DamageComesFirstAsWarnings()
    {
        QTemporaryDir dir;
        const QString copy = dir.path() + "/damaged.dll";
        QVERIFY(QFile::copy(QStringLiteral("/usr/share/nsis/Plugins/x86-unicode/nsDialogs.dll"), copy));
        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadWrite));
        // The import directory's RVA (PE32: optional header + 96 + 8) points outside the file.
        file.seek(0x3C);
        uint32_t peOffset = 0;
        file.read(reinterpret_cast<char*>(&peOffset), 4);
        file.seek(peOffset + 24 + 96 + 8);
        const uint32_t outside = 0x7FFFFFF0;
        file.write(reinterpret_cast<const char*>(&outside), 4);
        file.close();

        auto view = OpenedView(copy);
        auto* model = view->findChild<QTreeView*>(QStringLiteral("TreeContents"))->model();
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Warnings"));
        QVERIFY(model->index(0, 1, model->index(0, 0)).data().toString().contains("is not in the file"));
    }
};

QTEST_MAIN(FrmViewContentsTest)
#include "FrmViewContentsTest.moc"
