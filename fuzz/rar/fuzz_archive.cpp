// Fuzz target: the archive reader over arbitrary archive bytes (markers, headers,
// stored, unpacked and encrypted entries, solid chains): one ArchiveGetFile call and
// one walk over every entry.
//
// The first input byte picks the password (bit 0), the requested name (bits 1-2) and,
// with bit 3, a name that is in no archive, so a solid chain is unpacked to its end.
// The rest is the archive. Seeds in corpus/archive name their entries "a", "b", "c".
#include <cstdint>
#include <cstdlib>

#include "kavlo/rar/ArchiveInternal.h"

namespace {

// The walk's contract: bytes exactly when the entry is good, and all of them.
struct Checker : ArchiveVisitor {
    bool Wants(const ArchiveEntryInfo&) override { return true; }
    bool Take(const ArchiveEntryInfo& e, const uint8_t* data, unsigned long size, bool ok) override {
        if (ok != (data != nullptr) || (ok && size != e.unpackedSize) || (!ok && size != 0)) abort();
        volatile uint8_t sink = 0;  // ASan sees a short buffer
        for (unsigned long i = 0; i < size; ++i) sink ^= data[i];
        (void)sink;
        return true;
    }
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
    Checker checker;
    ArchiveWalkMemory(data + 1, size - 1, "fuzz.rar", password, checker);
    return 0;
}
