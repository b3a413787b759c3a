// End to end: korvex-snapshot views every section and dumps the entry point of real PE32
// files nobody here wrote, through the real buttons and the real modal viewer. The
// expectations come from the files' bytes.
#include "support/Snapshot.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>

namespace {

// The first bytes of a range as the tool prints them; bytes past the end of the file are 0.
QString FirstHex(const QByteArray& bytes, qsizetype from, qsizetype count)
{
    QByteArray slice = bytes.mid(from, count);
    slice.append(QByteArray(count - slice.size(), '\0'));
    return QString::fromLatin1(slice.toHex().toUpper());
}

} // namespace

class SnapshotViewerEndToEndTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FDir;

private slots:
    void viewAndDump_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("System.dll") << QStringLiteral("/usr/share/nsis/Plugins/x86-ansi/System.dll");
        QTest::newRow("nsDialogs.dll") << QStringLiteral("/usr/share/nsis/Plugins/x86-ansi/nsDialogs.dll");
        QTest::newRow("zlib-x86-ansi") << QStringLiteral("/usr/share/nsis/Stubs/zlib-x86-ansi");
        QTest::newRow("lzma_solid-x86-unicode")
            << QStringLiteral("/usr/share/nsis/Stubs/lzma_solid-x86-unicode");
    }

    void viewAndDump()
    {
        QFETCH(QString, source);
        if (!QFile::exists(source))
            QSKIP("nsis-common is not installed (scripts/install-deps test installs it)");
        const QString path = FDir.filePath(QStringLiteral("copy.exe"));
        QFile::remove(path);
        QVERIFY(QFile::copy(source, path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();

        const uint32_t pe = Le(bytes, 60, 4);
        const uint32_t count = Le(bytes, pe + 6, 2);
        const uint32_t table = pe + 24 + Le(bytes, pe + 20, 2);
        QStringList arguments{path};
        for (uint32_t i = 0; i < count; ++i)
            arguments << QStringLiteral("--view") << QString::number(i);
        arguments << QStringLiteral("--dump");
        const QJsonObject json = Snapshot(arguments);
        QVERIFY(!json.isEmpty());
        const QJsonArray views = json[QStringLiteral("views")].toArray();
        QCOMPARE(uint32_t(views.size()), count + 1);

        QStringList expectedMessages;
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype header = table + 40 * i;
            const uint32_t size = Le(bytes, header + 16, 4);
            const uint32_t pointer = Le(bytes, header + 20, 4);
            const QJsonObject viewed = views[int(i)].toObject();
            QVERIFY(viewed[QStringLiteral("caption")].toString().startsWith(
                QStringLiteral("View Section Body  [")));
            if (size == 0) {
                QVERIFY(!viewed[QStringLiteral("shown")].toBool());
                expectedMessages << QStringLiteral("Section size is zero.");
                continue;
            }
            QVERIFY(pointer + qsizetype(size) <= bytes.size());
            QVERIFY(viewed[QStringLiteral("shown")].toBool());
            QCOMPARE(viewed[QStringLiteral("size")].toInt(), int(size));
            QCOMPARE(viewed[QStringLiteral("first")].toString(),
                FirstHex(bytes, pointer, std::min<qsizetype>(size, 32)));
            QCOMPARE(viewed[QStringLiteral("status")].toString(), QStringLiteral("Selection: 0"));
        }

        const QJsonObject dumped = views[int(count)].toObject();
        QCOMPARE(dumped[QStringLiteral("caption")].toString(), QStringLiteral("Dump of entry point"));
        QVERIFY(dumped[QStringLiteral("shown")].toBool());
        QCOMPARE(dumped[QStringLiteral("size")].toInt(), 512);
        const uint32_t entry
            = json[QStringLiteral("labels")].toObject()[QStringLiteral("LabelFileoffset")].toString().toUInt(
                nullptr, 16);
        QCOMPARE(dumped[QStringLiteral("first")].toString(), FirstHex(bytes, entry, 32));

        QStringList messages;
        for (const auto& message : json[QStringLiteral("messages")].toArray())
            messages << message.toObject()[QStringLiteral("text")].toString();
        QCOMPARE(messages, expectedMessages);
    }
};

QTEST_MAIN(SnapshotViewerEndToEndTest)
#include "SnapshotViewerEndToEndTest.moc"
