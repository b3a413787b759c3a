// Two korvex-cli runs that set different fields of one file at the same moment: each run reads
// the headers under the file's lock, so both edits land, in every round.
#include "CliTestSupport.h"

#include <QTemporaryDir>
#include <QTest>

class CliRaceTest : public QObject {
    Q_OBJECT

private slots:
    void concurrentSetsBothLand()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("race.exe"));
        const QByteArray original = ReadAll(QStringLiteral("/usr/share/nsis/Stubs/zlib-x86-ansi"));
        const qsizetype pe = qsizetype(Le(original, 60, 4));
        const qsizetype stamp = pe + 8, imageBase = pe + 24 + 28;
        for (int round = 1; round <= 50; ++round) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(original);
            file.close();
            QProcess first, second;
            // Both also recompute the checksum: a run that read the headers before the other
            // wrote them would put a stale sum (and a stale field) back.
            first.start(QStringLiteral(KORVEX_CLI),
                {"set", "--checksum", path, "TimeDateStamp=" + QString::number(round)});
            second.start(QStringLiteral(KORVEX_CLI),
                {"set", "--checksum", path, "ImageBase=" + QString::number(0x10000 * round)});
            QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
            QCOMPARE(first.exitCode(), 0);
            QCOMPARE(second.exitCode(), 0);
            const QByteArray bytes = ReadAll(path);
            QCOMPARE(Le(bytes, stamp, 4), quint64(round));
            QCOMPARE(Le(bytes, imageBase, 4), quint64(0x10000 * round));
            QCOMPARE(RunCliTool({"checksum", path}).status, 0);
        }
    }
};

QTEST_GUILESS_MAIN(CliRaceTest)
#include "CliRaceTest.moc"
