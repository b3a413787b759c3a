// Save on a signed file: a question before any byte an intact signature depends on is written
// (default No); CheckSum alone is written without one.
#include "ViewerTestSupport.h"

#include <QFile>

class FrmViewSignatureTest : public QObject {
    Q_OBJECT

private slots:
    void saveSignedFile_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("written");
        QTest::newRow("TimeDateStamp, No") << "EdDateStamp" << int(MsgResult::No) << true << false;
        QTest::newRow("TimeDateStamp, Yes") << "EdDateStamp" << int(MsgResult::Yes) << true << true;
        QTest::newRow("CheckSum only") << "EdCheckSum" << int(MsgResult::No) << false << true;
    }
    void saveSignedFile()
    {
        QFETCH(QString, box);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, written);
        // Debian's signed GRUB image (grub-efi-amd64-signed, scripts/install-deps test).
        const std::vector<uint8_t> original = Bytes("/usr/lib/grub/x86_64-efi-signed/grubx64.efi.signed");
        QVERIFY(!original.empty());
        auto opened = OpenImage(original, false, QStringLiteral("grubx64.efi"));
        opened->log.answer = MsgResult(answer);
        TypeText(opened->view->findChild<TEdit*>(box), QStringLiteral("5"));
        opened->view->MnuSaveClick();

        const QStringList texts = opened->log.Texts();
        QCOMPARE(texts.contains(QString::fromLatin1(kSignatureBreakQuestion)), asked);
        if (asked)
            QCOMPARE(opened->log.records.front().buttons, MsgButtons::YesNo);
        QCOMPARE(Bytes(opened->path) != original, written);
    }
};

QTEST_MAIN(FrmViewSignatureTest)
#include "FrmViewSignatureTest.moc"
