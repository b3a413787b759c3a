// Save on a signed file: a question before any byte an intact signature depends on is written
// (default No); CheckSum alone is written without one.
#include "ViewerTestSupport.h"

#include <QFile>
#include <QLabel>
#include <QTreeView>

class FrmViewSignatureTest : public QObject {
    Q_OBJECT

private slots:
    void saveSignedFile_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("label"); // LabelSignature after the save
        QTest::newRow("TimeDateStamp, No")
            << "EdDateStamp" << int(MsgResult::No) << true << false << "intact";
        QTest::newRow("TimeDateStamp, Yes")
            << "EdDateStamp" << int(MsgResult::Yes) << true << true << "file changed after signing";
        QTest::newRow("CheckSum only") << "EdCheckSum" << int(MsgResult::No) << false << true << "intact";
    }
    void saveSignedFile()
    {
        QFETCH(QString, box);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, written);
        QFETCH(QString, label);
        // Debian's signed GRUB image (grub-efi-amd64-signed, scripts/install-deps test).
        const std::vector<uint8_t> original = Bytes("/usr/lib/grub/x86_64-efi-signed/grubx64.efi.signed");
        QVERIFY(!original.empty());
        auto opened = OpenImage(original, false, QStringLiteral("grubx64.efi"));
        QCOMPARE(opened->view->LabelSignature->text(), QStringLiteral("intact"));
        // The Contents tree's Signature node, opened before the save, is checked again after it.
        QAbstractItemModel* contents = opened->view->TreeContents->model();
        const QModelIndex signature = contents->index(contents->rowCount() - 2, 1);
        QVERIFY(contents->rowCount(signature.siblingAtColumn(0)) > 0);
        opened->log.answer = MsgResult(answer);
        TypeText(opened->view->findChild<TEdit*>(box), QStringLiteral("5"));
        opened->view->MnuSaveClick();

        const QStringList texts = opened->log.Texts();
        QCOMPARE(texts.contains(QString::fromLatin1(kSignatureBreakQuestion)), asked);
        if (asked)
            QCOMPARE(opened->log.records.front().buttons, MsgButtons::YesNo);
        QCOMPARE(Bytes(opened->path) != original, written);
        QCOMPARE(opened->view->LabelSignature->text(), label);
        QVERIFY2(signature.data().toString().contains(label), qPrintable(signature.data().toString()));
    }

    void unsignedFile()
    {
        auto opened = OpenImage(SampleBuilder().Build());
        QCOMPARE(opened->view->LabelSignature->text(), QStringLiteral("not signed"));
    }
};

QTEST_MAIN(FrmViewSignatureTest)
#include "FrmViewSignatureTest.moc"
