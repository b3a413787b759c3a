#pragma once
// Shared by the korvex-cli tests: running the tool as a process, reading files, the real PE
// files nobody here wrote, and an independent checksum.
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

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline quint64 Le(const QByteArray& bytes, qsizetype offset, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | uint8_t(offset + i < bytes.size() ? bytes[offset + i] : 0);
    return value;
}

inline void Put(QByteArray& bytes, qsizetype offset, quint64 value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = char(value >> (8 * i));
}

inline QString Hex(quint64 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

// The checksum as the format describes it, one word at a time.
inline quint32 PlainChecksum(QByteArray bytes)
{
    const qsizetype field = qsizetype(Le(bytes, 60, 4)) + 24 + 64;
    for (qsizetype b = field; b < field + 4 && b < bytes.size(); ++b)
        bytes[b] = 0;
    quint32 sum = 0;
    for (qsizetype i = 0; i < bytes.size(); i += 2) {
        sum += uint8_t(bytes[i]) | (i + 1 < bytes.size() ? uint8_t(bytes[i + 1]) << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + quint32(bytes.size());
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
