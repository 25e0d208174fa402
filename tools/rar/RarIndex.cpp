#include "RarIndex.h"

#include <fstream>
#include <iterator>

namespace {

// At most this much of an archive is scanned for headers; larger archives go unchecked.
constexpr uint64_t kMaxScan = 4ull * 1024 * 1024 * 1024;

class Reader
{
public:
    explicit Reader(std::ifstream& in)
        : in(in)
    {
    }

    bool seek(uint64_t pos)
    {
        if (pos > kMaxScan)
            return false;
        in.clear();
        in.seekg(static_cast<std::streamoff>(pos));
        return bool(in);
    }
    bool bytes(void* out, size_t n)
    {
        in.read(static_cast<char*>(out), static_cast<std::streamsize>(n));
        return in.gcount() == static_cast<std::streamsize>(n);
    }
    bool le(uint64_t& out, int n)
    {
        unsigned char b[8];
        if (!bytes(b, static_cast<size_t>(n)))
            return false;
        out = 0;
        for (int i = n - 1; i >= 0; --i)
            out = (out << 8) | b[i];
        return true;
    }
    bool vint(uint64_t& out)
    {
        out = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            unsigned char b;
            if (!bytes(&b, 1))
                return false;
            out |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80))
                return true;
        }
        return false;
    }
    uint64_t tell() { return static_cast<uint64_t>(in.tellg()); }

private:
    std::ifstream& in;
};

bool readRar4(Reader& r, std::vector<RarIndexEntry>& out)
{
    uint64_t pos = 7;
    for (;;) {
        uint64_t crc, type, flags, headSize;
        if (!r.seek(pos) || !r.le(crc, 2) || !r.le(type, 1))
            return false;
        if (!r.le(flags, 2) || !r.le(headSize, 2) || headSize < 7)
            return false;
        if (type == 0x7B)
            return true;
        if (type == 0x73 && (flags & 0x0080))
            return false; // encrypted headers
        uint64_t addSize = 0;
        if ((flags & 0x8000) || type == 0x74 || type == 0x7A) {
            if (!r.le(addSize, 4))
                return false;
        }
        if (type == 0x74) {
            uint64_t unpSize, host, fileCrc;
            if (headSize < 32 || !r.le(unpSize, 4) || !r.le(host, 1) || !r.le(fileCrc, 4))
                return false;
            if (flags & 0x0003)
                return false; // split across volumes
            if (flags & 0x0100) {
                uint64_t highPack, highUnp, skip;
                // time, version + method + name length, attributes, then the high halves
                if (headSize < 40 || !r.le(skip, 4) || !r.le(skip, 4) || !r.le(skip, 4) || !r.le(highPack, 4)
                    || !r.le(highUnp, 4))
                    return false;
                addSize |= highPack << 32;
                unpSize |= highUnp << 32;
            }
            out.push_back({ unpSize, static_cast<uint32_t>(fileCrc), (flags & 0x00E0) != 0x00E0 });
        }
        pos += headSize + addSize;
    }
}

bool readRar5(Reader& r, std::vector<RarIndexEntry>& out)
{
    uint64_t pos = 8;
    for (;;) {
        uint64_t headerCrc, headerSize, type, flags, extraSize = 0, dataSize = 0;
        if (!r.seek(pos) || !r.le(headerCrc, 4) || !r.vint(headerSize))
            return false;
        const uint64_t start = r.tell();
        if (!r.vint(type) || !r.vint(flags))
            return false;
        if ((flags & 0x0001) && !r.vint(extraSize))
            return false;
        if ((flags & 0x0002) && !r.vint(dataSize))
            return false;
        if (type == 4 || (flags & 0x0018))
            return false; // encrypted headers, or split across volumes
        if (type == 5)
            return true;
        if (type == 2) {
            uint64_t fileFlags, size, attributes, value;
            if (!r.vint(fileFlags) || !r.vint(size) || !r.vint(attributes))
                return false;
            if ((fileFlags & 0x0002) && !r.le(value, 4))
                return false;
            RarIndexEntry entry { size, 0, false };
            if (fileFlags & 0x0004) {
                if (!r.le(value, 4))
                    return false;
                entry.crc = static_cast<uint32_t>(value);
                entry.hasCrc = !(fileFlags & 0x0001);
            }
            out.push_back(entry);
        }
        if (headerSize > kMaxScan || dataSize > kMaxScan)
            return false;
        pos = start + headerSize + dataSize;
    }
}

} // namespace

std::vector<RarIndexEntry> readRarIndex(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[8] = {};
    in.read(magic, sizeof magic);
    Reader reader(in);
    std::vector<RarIndexEntry> entries;
    bool ok = false;
    if (in.gcount() >= 7 && std::string(magic, 7) == std::string("Rar!\x1a\x07\x00", 7))
        ok = readRar4(reader, entries);
    else if (in.gcount() == 8 && std::string(magic, 8) == std::string("Rar!\x1a\x07\x01\x00", 8))
        ok = readRar5(reader, entries);
    if (!ok)
        entries.clear();
    return entries;
}

uint32_t crc32Update(uint32_t crc, const void* data, size_t size)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    const unsigned char* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
