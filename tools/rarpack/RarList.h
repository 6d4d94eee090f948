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
    uint64_t offset = 0;              // of its header in the archive
    bool headerOk = true;             // the header's CRC matches
};

// Walks the headers of an archive held in memory with the reader's checks. False with
// a reason when the bytes are not an archive or damage ends the walk; for damage
// *damaged is set, the reason names the offset and the entries ahead of it are in *out.
bool ListArchive(const std::vector<uint8_t>& archive, bool* solid, std::vector<ListedEntry>* out,
                 std::string* error, bool* damaged = nullptr);

// Damage the walk reports, with where it was found: "WHAT (at offset N)".
std::string DamageText(const char* what, uint64_t offset);

// "m0".."m5", with "*" for an encrypted entry.
std::string MethodName(const ListedEntry& entry);

}  // namespace rarpack
