#pragma once
// Shared pieces of the packaging checks: running a tool, the tools they need, and the file
// lists CMake hands over.
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

struct ToolRun {
    bool started = false;
    int exitCode = -1;
    QString out;
    QString err;
    QString Describe() const { return QStringLiteral("exit %1\n%2%3").arg(exitCode).arg(out, err); }
};

inline ToolRun RunTool(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    ToolRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    run.started = process.waitForStarted();
    if (!run.started)
        return run;
    process.closeWriteChannel();
    process.waitForFinished(5 * 60 * 1000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The tools of tools that are not on PATH; scripts/install-deps test brings them all.
inline QStringList MissingTools(const QStringList& tools)
{
    QStringList missing;
    for (const QString& tool : tools)
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing << tool;
    return missing;
}

inline QString MissingToolsMessage(const QStringList& missing)
{
    return QStringLiteral("missing %1: run scripts/install-deps test").arg(missing.join(QLatin1String(", ")));
}

inline QStringList ListFromCMake(const char* text)
{
    return QString::fromUtf8(text).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

// Every file under root (symbolic links included), relative to it, sorted.
inline QStringList FilesUnder(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

inline QString SourcePath(const QString& relative)
{
    return QStringLiteral(KORVEX_SOURCE_DIR "/") + relative;
}
