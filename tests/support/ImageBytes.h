#pragma once
// Whole image files as byte arrays: reading and writing them, little-endian fields, and the
// plain checksum of PeBuilder.h.
#include "support/PeBuilder.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

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

// A copy of source in dir under name that its owner may read and write; empty on failure.
inline QString CopyTo(const QTemporaryDir& dir, const QString& source, const QString& name)
{
    const QString target = dir.filePath(name);
    QFile::remove(target);
    return QFile::copy(source, target) && QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner)
        ? target
        : QString();
}

// The unsigned little-endian value of width bytes at offset; bytes past the end read 0.
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

inline quint32 PlainChecksum(const QByteArray& bytes)
{
    return PlainChecksum(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}
