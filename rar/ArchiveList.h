// The listing of an archive and the escaping of its names, shared by every tool over the
// archive reader, so that they agree on what is damaged and show names the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ArchiveListedEntry {
    std::string name;                 // as stored (raw: show it through ArchiveEscapeText)
    uint32_t packed = 0, unpacked = 0, crc = 0;
    uint8_t method = 0, version = 0;  // method 0x30 (stored) .. 0x35 (best)
    uint16_t flags = 0;               // 0x04: encrypted, 0x10: continues a solid chain
    uint64_t offset = 0;              // of its header in the archive
    bool headerOk = true;             // the header's CRC matches
};

struct ArchiveListing {
    bool solid = false;
    std::vector<ArchiveListedEntry> entries;  // up to the damage, when there is some
    std::string damage;                       // "WHAT (at offset N)"; empty when none
};

// Lists an archive held in memory from its headers, with the walk's checks. False with
// a reason when the bytes cannot be listed at all (not an archive); damage is no
// failure here: it ends the listing and is noted in out->damage.
bool ArchiveList(const uint8_t* data, size_t size, ArchiveListing* out, std::string* error);

// What is wrong with a listed archive, one escaped line each ("NAME: damaged header at
// offset N", "ARCHIVE: damaged: WHAT (at offset N)"): none means the listing is sound
// (exit status 0), any means it is not (exit status 1).
std::vector<std::string> ArchiveListingProblems(const ArchiveListing& listing, const std::string& archive);

// Damage the walk reports, with where it was found: "WHAT (at offset N)".
std::string ArchiveDamageText(const char* what, uint64_t offset);

// "m0".."m5", with "*" for an encrypted entry.
std::string ArchiveMethodName(const ArchiveListedEntry& entry);

// Text from an archive or a command line as it may reach a terminal: control characters
// (C0, DEL, C1) and bytes that are not UTF-8 become escapes (\n, \x1b), so a stored name
// can neither forge a line of a tool's output nor send escape codes.
std::string ArchiveEscapeText(const std::string& text);
