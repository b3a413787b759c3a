// Authenticode verification against osslsigncode and sbverify, on real signed EFI images and on
// a DLL signed here with a throw-away key; hostile certificate tables never crash and say why.
#include "contents/Authenticode.h"
#include "base/FileStream.h"
#include "support/ImageBytes.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString out;
};

Run RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit) {
        run.status = process.exitCode();
        run.out = QString::fromUtf8(process.readAll());
    }
    return run;
}

AuthenticodeReport Verify(const QString& path)
{
    const FileStream file(path.toStdString(), FileStream::Mode::OpenRead);
    return VerifyAuthenticode(file, ReadImageHeaders(file));
}

// Every "<label>: HEX" line of osslsigncode verify, lower-cased.
QStringList OsslValues(const QString& output, const QString& label)
{
    QStringList values;
    const QRegularExpression line(
        QRegularExpression::escape(label) + QStringLiteral(R"(\s*:\s*([0-9A-F]+))"));
    for (auto match = line.globalMatch(output); match.hasNext();)
        values << match.next().captured(1).toLower();
    return values;
}

// Where the test finds the CheckSum field and the Security directory entry, read its own way.
qsizetype CheckSumAt(const QByteArray& image)
{
    return qsizetype(Le(image, 0x3C, 4)) + 88;
}
qsizetype SecurityEntryAt(const QByteArray& image)
{
    const qsizetype pe = qsizetype(Le(image, 0x3C, 4));
    return pe + 24 + (Le(image, pe + 24, 2) == 0x20B ? 112 : 96) + 4 * 8;
}

} // namespace

class AuthenticodeTest : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    QString FSigned, FNested, FUnsigned;

private slots:
    void initTestCase()
    {
        FUnsigned = QDir("/usr/lib/gcc/x86_64-w64-mingw32").entryList({"12*"}, QDir::Dirs).isEmpty()
            ? QString()
            : "/usr/lib/gcc/x86_64-w64-mingw32/"
                + QDir("/usr/lib/gcc/x86_64-w64-mingw32").entryList({"12*"}, QDir::Dirs)[0]
                + "/libgcc_s_seh-1.dll";
        QVERIFY2(QFile::exists(FUnsigned), "gcc-mingw-w64-x86-64-win32-runtime (scripts/install-deps test)");
        const QString key = FDir.filePath("key.pem"), cert = FDir.filePath("cert.pem");
        QCOMPARE(RunTool("openssl",
                     {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                         "/CN=Korvex Throw-away", "-keyout", key, "-out", cert})
                     .status,
            0);
        FSigned = FDir.filePath("signed.dll");
        FNested = FDir.filePath("nested.dll");
        const QStringList sign{"sign", "-certs", cert, "-key", key};
        QCOMPARE(
            RunTool("osslsigncode", sign + QStringList{"-h", "sha256", "-in", FUnsigned, "-out", FSigned})
                .status,
            0);
        QCOMPARE(RunTool("osslsigncode",
                     sign + QStringList{"-nest", "-h", "sha1", "-in", FSigned, "-out", FNested})
                     .status,
            0);
    }

    void realSignedFiles_data()
    {
        QTest::addColumn<QString>("path");
        for (const QString dir :
            {"/usr/lib/shim", "/usr/lib/grub/x86_64-efi-signed", "/usr/libexec/fwupd/efi"})
            for (const QString& name : QDir(dir).entryList({"*.signed"}, QDir::Files))
                QTest::newRow(qPrintable(name)) << dir + "/" + name;
        QVERIFY2(
            QFile::exists("/usr/lib/shim/shimx64.efi.signed"), "shim-signed (scripts/install-deps test)");
    }
    void realSignedFiles()
    {
        QFETCH(QString, path);
        const AuthenticodeReport report = Verify(path);
        QCOMPARE(
            SignatureStateText(report), "signature intact (digest matches, signer's signature verifies)");
        // sbverify: the same signatures, each signer among its certificates and issuers.
        const QString listed = RunTool("sbverify", {"--list", path}).out;
        QStringList blocks
            = listed.split(QRegularExpression("^signature \\d+\\n", QRegularExpression::MultilineOption),
                Qt::SkipEmptyParts);
        blocks = blocks.filter("image signature issuers:"); // not its warnings
        QCOMPARE(qsizetype(report.signatures.size()), blocks.size());
        for (size_t i = 0; i < report.signatures.size(); ++i) {
            const SignatureCheck& check = report.signatures[i];
            QVERIFY(blocks[qsizetype(i)].contains(
                "subject: " + QString::fromStdString(check.signerSubject) + "\n"));
            QVERIFY(blocks[qsizetype(i)].contains(
                "issuer:  " + QString::fromStdString(check.signerIssuer) + "\n"));
            QVERIFY(!check.chainTrusted); // Debian's and Microsoft's UEFI roots are not in /etc/ssl/certs
            QVERIFY(
                QString::fromStdString(check.trust).startsWith("the root is not in the system trust store"));
        }
        // osslsigncode reads tables of one entry only: there it states and computes the same digest.
        const Run ossl = RunTool("osslsigncode", {"verify", "-in", path});
        const QStringList stated = OsslValues(ossl.out, "Current message digest");
        if (report.signatures.size() == 1) {
            QCOMPARE(stated, QStringList{QString::fromStdString(report.signatures[0].statedDigest)});
            QCOMPARE(OsslValues(ossl.out, "Calculated message digest"),
                QStringList{QString::fromStdString(report.signatures[0].computedDigest)});
        }
    }

    void signedAndPatched_data()
    {
        QTest::addColumn<bool>("nested");
        QTest::addColumn<QString>("patch");
        QTest::addColumn<int>("state");
        for (const bool nested : {false, true}) {
            const char* kind = nested ? "nested " : "";
            QTest::addRow("%sas signed", kind) << nested << "none" << int(SignatureState::Intact);
            QTest::addRow("%sCheckSum only", kind) << nested << "checksum" << int(SignatureState::Intact);
            QTest::addRow("%sTimeDateStamp", kind) << nested << "stamp" << int(SignatureState::Changed);
            QTest::addRow("%scode byte", kind) << nested << "code" << int(SignatureState::Changed);
        }
    }
    void signedAndPatched()
    {
        QFETCH(bool, nested);
        QFETCH(QString, patch);
        QFETCH(int, state);
        const QString path = CopyTo(FDir, nested ? FNested : FSigned, "patched.dll");
        QByteArray image = ReadAll(path);
        const qsizetype pe = qsizetype(Le(image, 0x3C, 4));
        if (patch == "checksum")
            Put(image, CheckSumAt(image), Le(image, CheckSumAt(image), 4) ^ 0x5A5A, 4);
        else if (patch == "stamp")
            Put(image, pe + 8, Le(image, pe + 8, 4) + 1, 4);
        else if (patch == "code")
            image[0x400] = char(image[0x400] ^ 0x01);
        QVERIFY(WriteAll(path, image));

        const AuthenticodeReport report = Verify(path);
        QCOMPARE(int(report.state), state);
        QCOMPARE(report.signatures.size(), size_t{1});
        QCOMPARE(report.signatures[0].nested.size(), size_t(nested ? 1 : 0));
        // Each signature's computed digest is osslsigncode's, outer first.
        const Run ossl = RunTool("osslsigncode", {"verify", "-in", path});
        QStringList ours{QString::fromStdString(report.signatures[0].computedDigest)};
        if (nested)
            ours << QString::fromStdString(report.signatures[0].nested[0].computedDigest);
        QCOMPARE(OsslValues(ossl.out, "Calculated message digest"), ours);
        QCOMPARE(report.signatures[0].signerSubject, std::string("/CN=Korvex Throw-away"));
    }

    void hostileTables_data()
    {
        QTest::addColumn<int>("at"); // from the table's start; -1: the Security entry
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("tableSize"); // 0: as signed
        const QByteArray notSignedData = QByteArray::fromHex("300b06092a864886f70d010701");
        QTest::newRow("dwLength below header")
            << 0 << QByteArray::fromHex("04000000") << "less than its 8-byte header" << 0;
        QTest::newRow("dwLength past table")
            << 0 << QByteArray::fromHex("ffffff7f") << "past the end of the certificate table" << 0;
        QTest::newRow("not PKCS#7 SignedData type")
            << 6 << QByteArray::fromHex("0100") << "holds no PKCS#7 SignedData" << 0;
        QTest::newRow("garbage DER") << 8 << QByteArray(64, '\xff') << "not a DER PKCS#7 structure" << 0;
        QTest::newRow("DER length too long")
            << 8 << QByteArray::fromHex("3084ffffffff") << "not a DER PKCS#7 structure" << 0;
        QTest::newRow("DER truncated")
            << 0 << QByteArray::fromHex("40000000") << "not a DER PKCS#7 structure" << 0x40;
        QTest::newRow("PKCS#7 data, not SignedData") << 8 << notSignedData << "not a PKCS#7 SignedData" << 0;
        QTest::newRow("table past end of file")
            << -1 << QByteArray::fromHex("00f0ffff") << "runs past the end of the file" << 0;
        QTest::newRow("table over the headers")
            << -1 << QByteArray::fromHex("10000000") << "overlaps the headers" << 0;
        QTest::newRow("table shorter than header")
            << -2 << QByteArray::fromHex("04000000") << "shorter than a WIN_CERTIFICATE" << 0;
    }
    void hostileTables()
    {
        QFETCH(int, at);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QFETCH(int, tableSize);
        const QString path = CopyTo(FDir, FNested, "hostile.dll");
        QByteArray image = ReadAll(path);
        const qsizetype entry = SecurityEntryAt(image);
        const qsizetype where = at == -1 ? entry : at == -2 ? entry + 4 : qsizetype(Le(image, entry, 4)) + at;
        image.replace(where, bytes.size(), bytes);
        if (tableSize != 0)
            Put(image, entry + 4, quint64(tableSize), 4);
        QVERIFY(WriteAll(path, image));
        const std::string text = SignatureStateText(Verify(path));
        QVERIFY2(QString::fromStdString(text).startsWith("malformed signature: ")
                && text.find(problem.toStdString()) != std::string::npos,
            text.c_str());
    }

    // The signing time of an RFC 3161 time stamp, made by osslsigncode's own TSA at a given time.
    void timeStamp()
    {
        if (!RunTool("osslsigncode", {"--help"}).out.contains("-TSA-certs"))
            QSKIP("this osslsigncode cannot time-stamp without a server (2.6 or later can)");
        const QString key = FDir.filePath("tsa-key.pem"), cert = FDir.filePath("tsa.pem");
        QCOMPARE(
            RunTool("openssl",
                {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Korvex TSA",
                    "-addext", "extendedKeyUsage=critical,timeStamping", "-keyout", key, "-out", cert})
                .status,
            0);
        const QString stamped = FDir.filePath("stamped.dll");
        QCOMPARE(
            RunTool("osslsigncode",
                {"sign", "-certs", FDir.filePath("cert.pem"), "-key", FDir.filePath("key.pem"), "-TSA-certs",
                    cert, "-TSA-key", key, "-TSA-time", "1700000000", "-in", FUnsigned, "-out", stamped})
                .status,
            0);
        const SignatureCheck check = Verify(stamped).signatures.at(0);
        QCOMPARE(check.signingTime,
            QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC)
                .toString("yyyy-MM-dd HH:mm:ss 'UTC'")
                .toStdString());
        QCOMPARE(check.timeSource, std::string("RFC 3161 time stamp"));
        QVERIFY(check.timeStampMatches);
    }

    // set, checksum --fix and set-timestamps write no byte an intact signature depends on without
    // --break-signature.
    void signatureProtection_data()
    {
        QTest::addColumn<QString>("before"); // "signed", "bad checksum" or "changed"
        QTest::addColumn<QStringList>("command"); // FILE goes after the command's name
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("after");
        const int intact = int(SignatureState::Intact), changed = int(SignatureState::Changed);
        QTest::newRow("set TimeDateStamp")
            << "signed" << QStringList{"set", "TimeDateStamp=5"} << 1 << intact;
        QTest::newRow("set --dry-run")
            << "signed" << QStringList{"set", "--dry-run", "TimeDateStamp=5"} << 1 << intact;
        QTest::newRow("set Security size")
            << "signed" << QStringList{"set", "directory.Security.Size=8"} << 1 << intact;
        QTest::newRow("set --break-signature")
            << "signed" << QStringList{"set", "--break-signature", "TimeDateStamp=5"} << 0 << changed;
        QTest::newRow("set CheckSum") << "signed" << QStringList{"set", "CheckSum=0x1234"} << 0 << intact;
        QTest::newRow("checksum --fix") << "bad checksum" << QStringList{"checksum", "--fix"} << 0 << intact;
        QTest::newRow("set on a changed file")
            << "changed" << QStringList{"set", "TimeDateStamp=5"} << 0 << changed;
        QTest::newRow("set-timestamps")
            << "signed" << QStringList{"set-timestamps", "--time", "5"} << 1 << intact;
        QTest::newRow("set-timestamps on a changed file")
            << "changed" << QStringList{"set-timestamps", "--time", "5"} << 0 << changed;
    }
    void signatureProtection()
    {
        QFETCH(QString, before);
        QFETCH(QStringList, command);
        QFETCH(int, status);
        QFETCH(int, after);
        const QString path = CopyTo(FDir, FNested, "protected.dll");
        QByteArray image = ReadAll(path);
        if (before == "bad checksum")
            Put(image, CheckSumAt(image), 0x1234, 4);
        else if (before == "changed")
            image[0x400] = char(image[0x400] ^ 0x01);
        QVERIFY(WriteAll(path, image));
        QStringList arguments = command;
        arguments.insert(command[0] == "set" ? command.size() - 1 : 1, path);
        const Run run = RunTool(KORVEX_CLI, arguments);
        QCOMPARE(run.status, status);
        if (status == 1) {
            QVERIFY(
                run.out.contains(path + ": nothing was written") && run.out.contains("digital signature"));
            QCOMPARE(ReadAll(path), image);
        }
        QCOMPARE(int(Verify(path).state), after);
    }

    void verifyCommand()
    {
        const QString changed = CopyTo(FDir, FSigned, "changed.dll");
        QByteArray image = ReadAll(changed);
        image[0x400] = char(image[0x400] ^ 0x01);
        QVERIFY(WriteAll(changed, image));
        const Run run = RunTool(KORVEX_CLI, {"verify", "--json", FNested, FUnsigned, changed});
        QCOMPARE(run.status, 1);
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QStringList states;
        for (const QString& line : lines)
            states << QJsonDocument::fromJson(line.toUtf8()).object().value("state").toString();
        QCOMPARE(states, (QStringList{"intact", "not-signed", "changed"}));
        QCOMPARE(RunTool(KORVEX_CLI, {"verify", FNested, FSigned}).status, 0);
        QCOMPARE(RunTool(KORVEX_CLI, {"verify", FDir.filePath("missing.dll")}).status, 3);
        QCOMPARE(RunTool(KORVEX_CLI, {"verify"}).status, 2);
    }
};

QTEST_GUILESS_MAIN(AuthenticodeTest)
#include "AuthenticodeTest.moc"
