#pragma once

// Writes small RAR archives with stored (uncompressed) entries, byte by byte, for tests: no RAR
// writer exists on this platform. Both the 4.x and the 5.0 block layouts are supported.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

namespace rartest {

inline quint32 crc32(const QByteArray& data)
{
    static quint32 table[256] = {};
    if (table[1] == 0) {
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    }
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data)
        crc = table[(crc ^ static_cast<quint8>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

struct RarItem
{
    enum Kind { File, Directory, Symlink };
    QByteArray name; // as stored; UTF-8 for RAR 5
    QByteArray data; // content, or the link target
    Kind kind = File;
    bool encrypted = false; // RAR 4 only: sets the password flag and a salt
    bool unicodeName = false; // RAR 4 only: name is UTF-8 here, stored in the archiver's UTF-16 form
};

inline RarItem rarFile(const QByteArray& name, const QByteArray& data)
{
    return { name, data, RarItem::File, false };
}

inline RarItem rarDir(const QByteArray& name)
{
    return { name, {}, RarItem::Directory, false };
}

inline void putLe(QByteArray& out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// RAR 4 Unicode name field: a plain name, a zero byte, then the UTF-16 name encoded with the
// "two explicit bytes" operation for every character.
inline QByteArray rar4UnicodeName(const QByteArray& utf8)
{
    const QString name = QString::fromUtf8(utf8);
    QByteArray out;
    for (QChar c : name)
        out.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '_');
    out.append('\0');
    out.append('\0'); // high byte, unused by this operation
    for (int i = 0; i < name.size(); ++i) {
        if (i % 4 == 0)
            out.append(static_cast<char>(0xAA));
        out.append(static_cast<char>(name.at(i).unicode() & 0xFF));
        out.append(static_cast<char>(name.at(i).unicode() >> 8));
    }
    return out;
}

inline QByteArray rar4(const QVector<RarItem>& items)
{
    QByteArray out("Rar!\x1a\x07\x00", 7);
    auto block = [&out](quint8 type, quint16 flags, const QByteArray& body) {
        QByteArray head;
        head.append(static_cast<char>(type));
        putLe(head, flags, 2);
        putLe(head, 2 + 5 + body.size(), 2);
        head.append(body);
        putLe(out, crc32(head) & 0xFFFF, 2);
        out.append(head);
    };
    block(0x73, 0, QByteArray(6, '\0'));
    for (const RarItem& item : items) {
        const bool unixHost = item.kind == RarItem::Symlink;
        quint16 flags = 0x8000;
        quint32 attr = 0x20; // archive bit
        if (item.kind == RarItem::Directory) {
            flags |= 0x00E0;
            attr = 0x10;
        } else if (unixHost) {
            attr = 0120777;
        }
        if (item.encrypted)
            flags |= 0x0004 | 0x0400;
        if (item.unicodeName)
            flags |= 0x0200;
        const QByteArray name = item.unicodeName ? rar4UnicodeName(item.name) : item.name;
        QByteArray body;
        putLe(body, item.data.size(), 4); // packed size
        putLe(body, item.data.size(), 4); // unpacked size
        body.append(static_cast<char>(unixHost ? 3 : 2));
        putLe(body, crc32(item.data), 4);
        putLe(body, 0x58210000u, 4); // 2024-01-01 00:00 in DOS time
        body.append(static_cast<char>(29));
        body.append(static_cast<char>(0x30)); // stored
        putLe(body, name.size(), 2);
        putLe(body, attr, 4);
        body.append(name);
        if (item.encrypted)
            body.append(QByteArray(8, '\x5a'));
        block(0x74, flags, body);
        out.append(item.data);
    }
    block(0x7B, 0x4000, {});
    return out;
}

inline void putVint(QByteArray& out, quint64 value)
{
    do {
        quint8 byte = value & 0x7F;
        value >>= 7;
        if (value)
            byte |= 0x80;
        out.append(static_cast<char>(byte));
    } while (value);
}

inline QByteArray rar5(const QVector<RarItem>& items)
{
    QByteArray out("Rar!\x1a\x07\x01\x00", 8);
    auto header = [&out](const QByteArray& fields) {
        QByteArray sized;
        putVint(sized, fields.size());
        sized.append(fields);
        putLe(out, crc32(sized), 4);
        out.append(sized);
    };
    QByteArray main;
    putVint(main, 1); // main archive header
    putVint(main, 0);
    putVint(main, 0); // archive flags
    header(main);
    for (const RarItem& item : items) {
        QByteArray f;
        putVint(f, 2); // file header
        putVint(f, 0x0002); // data area present, empty for folders
        putVint(f, item.data.size());
        quint64 fileFlags = 0x0002 | 0x0004; // mtime and CRC present
        if (item.kind == RarItem::Directory)
            fileFlags |= 0x0001;
        putVint(f, fileFlags);
        putVint(f, item.data.size());
        putVint(f, item.kind == RarItem::Directory ? 0x10 : 0x20);
        putLe(f, 1704067200u, 4);
        putLe(f, crc32(item.data), 4);
        putVint(f, 0); // version 0, stored
        putVint(f, 0); // Windows host
        putVint(f, item.name.size());
        f.append(item.name);
        header(f);
        out.append(item.data);
    }
    QByteArray end;
    putVint(end, 5);
    putVint(end, 0);
    putVint(end, 0);
    header(end);
    return out;
}

} // namespace rartest
