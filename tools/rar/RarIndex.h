#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The stored CRC32 of every file entry, read from the archive's own block headers. The extraction
// library does not check the checksum of stored (uncompressed) entries, so the tool does.
struct RarIndexEntry
{
    uint64_t size = 0;
    uint32_t crc = 0;
    bool hasCrc = false;
};

// Entries in archive order; empty when the layout is one this reader does not follow (volumes,
// encrypted headers, self-extracting stubs), in which case nothing is checked.
std::vector<RarIndexEntry> readRarIndex(const std::string& path);

uint32_t crc32Update(uint32_t crc, const void* data, size_t size);
