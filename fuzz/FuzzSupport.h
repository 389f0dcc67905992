#pragma once

// What the targets share: the bytes as a QByteArray, and a stored (uncompressed) ZIP built
// from parts, so that the fuzzer mutates the XML of a workbook rather than deflate data
// whose checksum would refuse nearly every mutation.
#include "scadenzio/Error.h"

#include <QByteArray>
#include <QList>
#include <QPair>

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline void put(QByteArray& b, quint64 v, int n)
{
    for (int i = 0; i < n; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

inline QByteArray storedZip(const QList<QPair<QByteArray, QByteArray>>& parts)
{
    QByteArray out, directory;
    for (const auto& [name, data] : parts) {
        const quint64 crc = crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()));
        const quint64 offset = quint64(out.size());
        put(out, 0x04034b50, 4);
        put(out, 20, 2), put(out, 0, 2), put(out, 0, 2), put(out, 0, 2), put(out, 0x21, 2);
        put(out, crc, 4), put(out, quint64(data.size()), 4), put(out, quint64(data.size()), 4);
        put(out, quint64(name.size()), 2), put(out, 0, 2);
        out += name + data;
        put(directory, 0x02014b50, 4);
        put(directory, 20, 2), put(directory, 20, 2), put(directory, 0, 2), put(directory, 0, 2);
        put(directory, 0, 2), put(directory, 0x21, 2);
        put(directory, crc, 4), put(directory, quint64(data.size()), 4), put(directory, quint64(data.size()), 4);
        put(directory, quint64(name.size()), 2), put(directory, 0, 2), put(directory, 0, 2), put(directory, 0, 2);
        put(directory, 0, 2), put(directory, 0, 4), put(directory, offset, 4);
        directory += name;
    }
    const quint64 start = quint64(out.size());
    out += directory;
    put(out, 0x06054b50, 4);
    put(out, 0, 2), put(out, 0, 2), put(out, quint64(parts.size()), 2), put(out, quint64(parts.size()), 2);
    put(out, quint64(directory.size()), 4), put(out, start, 4), put(out, 0, 2);
    return out;
}

// The input cut at NUL bytes into at most n pieces (the last keeps any further NULs).
inline QList<QByteArray> pieces(const QByteArray& in, int n)
{
    QList<QByteArray> out;
    qsizetype from = 0;
    while (out.size() + 1 < n) {
        const qsizetype nul = in.indexOf('\0', from);
        if (nul < 0) break;
        out << in.mid(from, nul - from);
        from = nul + 1;
    }
    out << in.mid(from);
    return out;
}

} // namespace fuzz
