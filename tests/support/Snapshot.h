#pragma once
// Running korvex-snapshot from an end-to-end test: the tool's JSON for a file and its
// actions, on the offscreen platform, beside the image bytes the tests compare it with.
// Header-only; the test names the tool with KORVEX_SNAPSHOT.
#include "support/ImageBytes.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdint>

// The tool's output for arguments; an empty object (and a warning with the tool's
// complaint) when it fails or takes longer than two minutes.
inline QJsonObject RunSnapshot(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning("korvex-snapshot failed: %s", process.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

#ifdef KORVEX_SNAPSHOT
inline QJsonObject Snapshot(const QStringList& arguments)
{
    return RunSnapshot(QStringLiteral(KORVEX_SNAPSHOT), arguments);
}
#endif
