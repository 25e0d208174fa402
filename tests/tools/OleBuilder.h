#pragma once

// Minimal compound (OLE2) files holding one stream, and the smallest Word and PowerPoint
// streams whose text the catdoc tools read. Written by hand for tests: nothing on this platform
// writes the old binary Word or PowerPoint formats.

#include <QByteArray>
#include <QString>

namespace oletest {

inline void put32(QByteArray& out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void put16(QByteArray& out, quint16 value)
{
    out.append(static_cast<char>(value & 0xFF)).append(static_cast<char>(value >> 8));
}

inline QByteArray utf16(const QString& text)
{
    QByteArray out;
    for (QChar c : text)
        put16(out, c.unicode());
    return out;
}

// 512-byte sectors: 0 = allocation table, 1 = directory, 2.. = the stream (at least 4096 bytes,
// so it lives in regular sectors rather than the mini stream).
inline QByteArray compoundFile(const QString& streamName, QByteArray data)
{
    const quint32 kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD, kNone = 0xFFFFFFFF;
    if (data.size() < 4096)
        data.append(QByteArray(4096 - data.size(), '\0'));
    const int sectors = (data.size() + 511) / 512;
    data.append(QByteArray(sectors * 512 - data.size(), '\0'));

    QByteArray out("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    out.append(QByteArray(16, '\0'));
    put16(out, 0x3E);
    put16(out, 3);
    put16(out, 0xFFFE);
    put16(out, 9);
    put16(out, 6);
    out.append(QByteArray(6, '\0'));
    for (quint32 v : { 0u, 1u, 1u, 0u, 4096u, kEnd, 0u, kEnd, 0u })
        put32(out, v);
    put32(out, 0); // the allocation table is sector 0
    for (int i = 0; i < 108; ++i)
        put32(out, kFree);

    QByteArray fat;
    put32(fat, kFatSector);
    put32(fat, kEnd);
    for (int i = 0; i < sectors; ++i)
        put32(fat, i + 1 < sectors ? quint32(3 + i) : kEnd);
    while (fat.size() < 512)
        put32(fat, kFree);
    out.append(fat);

    auto entry = [&](const QString& name, quint8 type, quint32 child, quint32 start, quint32 size) {
        QByteArray e = utf16(name);
        e.append("\0\0", 2);
        const quint16 nameBytes = static_cast<quint16>(e.size());
        e.append(QByteArray(64 - e.size(), '\0'));
        put16(e, nameBytes);
        e.append(static_cast<char>(type)).append('\1');
        put32(e, kNone);
        put32(e, kNone);
        put32(e, child);
        e.append(QByteArray(36, '\0'));
        put32(e, start);
        put32(e, size);
        put32(e, 0);
        return e;
    };
    out.append(entry("Root Entry", 5, 1, kEnd, 0));
    out.append(entry(streamName, 2, kNone, 2, static_cast<quint32>(data.size())));
    out.append(QByteArray(256, '\0'));
    out.append(data);
    return out;
}

// A Word 97 document stream: the file information block, then the text as UTF-16 from offset 512.
inline QByteArray wordFile(const QString& text)
{
    const QByteArray chars = utf16(text);
    QByteArray fib(512, '\0');
    auto set = [&fib](int at, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            fib[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    set(0, 0xA5EC, 2);
    set(2, 193, 2);
    set(10, 0x1000, 2); // text stored as UTF-16
    set(24, 512, 4);
    set(28, 512 + chars.size(), 4);
    return compoundFile("WordDocument", fib + chars);
}

// A PowerPoint stream with one UTF-16 text atom and one 8-bit text atom.
inline QByteArray slidesFile(const QString& wide, const QByteArray& narrow)
{
    QByteArray records;
    const QByteArray chars = utf16(wide);
    put16(records, 0);
    put16(records, 4000);
    put32(records, chars.size());
    records.append(chars);
    put16(records, 0);
    put16(records, 4008);
    put32(records, narrow.size());
    records.append(narrow);
    return compoundFile("PowerPoint Document", records);
}

} // namespace oletest
