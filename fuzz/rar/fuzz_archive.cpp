// Fuzz target: the archive reader over arbitrary archive bytes (markers, headers,
// stored, unpacked and encrypted entries, solid chains): one ArchiveGetFile call, one
// walk over every entry and one listing, held to the walk's contract.
//
// The first input byte picks the password (bit 0), the requested name (bits 1-2) and,
// with bit 3, a name that is in no archive, so a solid chain is unpacked to its end.
// The rest is the archive. Seeds in corpus/archive name their entries "a", "b", "c";
// seed_crc_ranges holds the header forms of the RAR 2.0x archivers that rarpack does not
// write (comments, a sub-block, a recovery record, no end block).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "rar/ArchiveInternal.h"

namespace {

// The walk's contract: bytes exactly when the entry is good, and all of them, never
// with a broken header, whose entry is never offered to Wants. A listing hands over no
// bytes, ok as the header is. The name is cut to 259 bytes; nameSize says how long it was.
struct Checker : ArchiveVisitor {
    bool listing = false;
    int damaged = 0;
    std::vector<std::string> names;                                // every entry met
    std::vector<std::pair<std::string, std::string>> reachable;  // ArchiveGetFile gives the same
    bool Wants(const ArchiveEntryInfo& e) override { return listing || !e.headerOk ? (abort(), false) : true; }
    bool Take(const ArchiveEntryInfo& e, const uint8_t* data, unsigned long size, bool ok) override {
        const size_t kept = strlen(e.name);
        if (kept > 259 || kept > e.nameSize) abort();
        if (listing ? (data || size || ok != e.headerOk)
                    : (ok != (data != nullptr) || (ok && size != e.unpackedSize) || (!ok && size != 0) ||
                       (ok && !e.headerOk)))
            abort();
        volatile uint8_t sink = 0;  // ASan sees a short buffer
        for (unsigned long i = 0; i < size; ++i) sink ^= data[i];
        (void)sink;
        bool first = strlen(e.name) <= 255 && e.subBlockAhead == 0;
        for (const std::string& n : names) first = first && !ArchiveNamesMatch(n.c_str(), e.name);
        names.push_back(e.name);
        if (!listing && ok && first && reachable.size() < 4)
            reachable.emplace_back(e.name, std::string(reinterpret_cast<const char*>(data), size));
        return true;
    }
    void Damaged(const char*, uint64_t) override { ++damaged; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        ArchiveSetDebugLog(false);  // a log line per call would only slow the run
        return true;
    }();
    (void)once;
    if (size < 1) return 0;
    static const char* const kNames[4] = {"a", "b", "c", "DIR\\A"};
    const char* password = (data[0] & 1) ? "pw" : "";
    const char* name = (data[0] & 8) ? "not-in-any-archive" : kNames[(data[0] >> 1) & 3];
    void* out = nullptr;
    unsigned long outSize = 0;
    int ok = ArchiveGetFileFromMemory(&out, &outSize, name, data + 1, size - 1, "fuzz.rar", password);
    // The contract: success gives a buffer, failure gives null and 0.
    if (!ok && (out != nullptr || outSize != 0)) abort();
    if (ok && out == nullptr) abort();
    if (ok) {
        volatile uint8_t sink = 0;
        for (unsigned long i = 0; i < outSize; ++i) sink ^= static_cast<uint8_t*>(out)[i];
        (void)sink;
    }
    free(out);
    Checker walk, list;
    list.listing = true;
    bool solid = false;
    if (ArchiveWalkMemory(data + 1, size - 1, "fuzz.rar", password, walk) !=
            ArchiveListMemory(data + 1, size - 1, &solid, list) ||
        walk.names != list.names || walk.damaged > 1 || walk.damaged != list.damaged)
        abort();
    for (const auto& good : walk.reachable) {
        void* again = nullptr;
        unsigned long againSize = 0;
        if (!ArchiveGetFileFromMemory(&again, &againSize, good.first.c_str(), data + 1, size - 1, "fuzz.rar", password) ||
            againSize != good.second.size() || memcmp(again, good.second.data(), againSize) != 0)
            abort();
        free(again);
    }
    return 0;
}
