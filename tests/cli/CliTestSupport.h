#pragma once
// Shared by the korvex-cli tests: running the tool as a process, reading files, the real PE
// files nobody here wrote, and an independent checksum.
#include "support/ImageBytes.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolRun RunTool(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

inline ToolRun RunCliTool(const QStringList& arguments)
{
    return RunTool(QStringLiteral(KORVEX_CLI), arguments);
}

// Every file the window's end-to-end tests use: NSIS's stubs (two of which are no PE image at
// all) and plug-ins (x86 and amd64), systemd-boot's EFI images, MinGW-w64's x86-64 runtime DLLs.
inline QStringList RealFiles()
{
    QStringList files;
    auto add = [&files](const QString& dir, const QStringList& filters) {
        for (const QString& name : QDir(dir).entryList(filters, QDir::Files, QDir::Name))
            files << dir + "/" + name;
    };
    add(QStringLiteral("/usr/share/nsis/Stubs"), {});
    for (const QString& set :
        QDir(QStringLiteral("/usr/share/nsis/Plugins")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        add("/usr/share/nsis/Plugins/" + set, {QStringLiteral("*.dll")});
    add(QStringLiteral("/usr/lib/systemd/boot/efi"), {});
    for (const QString& dir :
        QDir(QStringLiteral("/usr/lib/gcc/x86_64-w64-mingw32")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        add("/usr/lib/gcc/x86_64-w64-mingw32/" + dir, {QStringLiteral("*.dll")});
    return files;
}
