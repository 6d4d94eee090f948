// Lists the entries of a RAR archive held in memory, from its headers alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rarpack {

struct ListedEntry {
    std::string name;
    uint32_t packed = 0, unpacked = 0, crc = 0;
    uint8_t method = 0, version = 0;  // method 0x30 (stored) .. 0x35 (best)
    uint16_t flags = 0;               // 0x04: encrypted, 0x10: continues a solid chain
};

// Walks the headers of an archive held in memory; every read is bounds-checked. False
// with a reason when the bytes are not an archive or a header is cut short.
bool ListArchive(const std::vector<uint8_t>& archive, bool* solid, std::vector<ListedEntry>* out,
                 std::string* error);

// "m0".."m5", with "*" for an encrypted entry.
std::string MethodName(const ListedEntry& entry);

}  // namespace rarpack
