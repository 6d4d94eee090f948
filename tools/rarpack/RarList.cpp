// Lists the entries of a RAR archive held in memory.
#include "RarList.h"

#include <cstdio>

#include "rar/ArchiveInternal.h"

namespace rarpack {

namespace {

struct Lister : ArchiveVisitor {
    std::vector<ListedEntry>* out;
    std::string damage;
    explicit Lister(std::vector<ListedEntry>* entries) : out(entries) {}
    bool Wants(const ArchiveEntryInfo&) override { return false; }
    bool Take(const ArchiveEntryInfo& e, const uint8_t*, unsigned long, bool) override {
        ListedEntry l;
        l.name = e.name;
        l.packed = e.packedSize;
        l.unpacked = e.unpackedSize;
        l.crc = e.crc;
        l.method = e.method;
        l.version = e.version;
        l.flags = e.flags;
        l.offset = e.offset;
        l.headerOk = e.headerOk;
        out->push_back(l);
        return true;
    }
    void Damaged(const char* what, uint64_t offset) override { damage = DamageText(what, offset); }
};

}  // namespace

// The reader's own walk over the headers, so that listing, testing and extracting
// agree on what is damaged.
bool ListArchive(const std::vector<uint8_t>& a, bool* solid, std::vector<ListedEntry>* out,
                 std::string* error, bool* damaged) {
    Lister lister(out);
    if (damaged) *damaged = false;
    switch (ArchiveListMemory(a.data(), a.size(), solid, lister)) {
        case ArchiveWalkResult::kComplete:
        case ArchiveWalkResult::kStopped:
            return true;
        case ArchiveWalkResult::kNotRar:
        case ArchiveWalkResult::kCannotOpen:
            *error = "not a RAR archive";
            return false;
        case ArchiveWalkResult::kNoMemory:
            *error = "out of memory";
            return false;
        case ArchiveWalkResult::kBusy:
            *error = "the archive reader is already in use";
            return false;
        case ArchiveWalkResult::kDamaged:
        case ArchiveWalkResult::kCutShort:
            break;
    }
    *error = lister.damage;
    if (damaged) *damaged = true;
    return false;
}

std::string DamageText(const char* what, uint64_t offset) {
    char text[200];
    std::snprintf(text, sizeof text, "%s (at offset %llu)", what, static_cast<unsigned long long>(offset));
    return text;
}

std::string MethodName(const ListedEntry& e) {
    char method[8];
    std::snprintf(method, sizeof method, "m%d%s", e.method >= 0x30 ? e.method - 0x30 : 0,
                  (e.flags & 4) ? "*" : "");
    return method;
}

}  // namespace rarpack
