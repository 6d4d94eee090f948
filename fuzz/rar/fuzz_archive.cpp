// Fuzz target: ArchiveGetFile's whole walk (markers, headers, stored, unpacked and
// encrypted entries, solid chains) over arbitrary archive bytes.
//
// The first input byte picks the password (bit 0) and the requested name (bits 1-2);
// the rest is the archive. Seeds in corpus/archive name their entries "a", "b", "c".
#include <cstdint>
#include <cstdlib>

#include "kavlo/rar/ArchiveInternal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        ArchiveSetDebugLog(false);  // a log line per call would only slow the run
        return true;
    }();
    (void)once;
    if (size < 1) return 0;
    static const char* const kNames[4] = {"a", "b", "c", "DIR\\A"};
    const char* password = (data[0] & 1) ? "pw" : "";
    const char* name = kNames[(data[0] >> 1) & 3];
    void* out = nullptr;
    unsigned long outSize = 0;
    int ok = ArchiveGetFileFromMemory(&out, &outSize, name, data + 1, size - 1, "fuzz.rar", password);
    // The contract: success gives a buffer, failure gives null and 0.
    if (!ok && (out != nullptr || outSize != 0)) abort();
    if (ok && out == nullptr) abort();
    if (ok) {
        // Touch every delivered byte so ASan sees any short buffer.
        volatile uint8_t sink = 0;
        for (unsigned long i = 0; i < outSize; ++i) sink ^= static_cast<uint8_t*>(out)[i];
        (void)sink;
    }
    free(out);
    return 0;
}
