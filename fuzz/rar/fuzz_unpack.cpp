// Fuzz target: the RAR 2.0 unpacker alone (code tables, LZ, audio mode, window wrap)
// over arbitrary packed data.
//
// The first three input bytes give the unpacked size (up to 2 MB, so the window can
// wrap); the rest is the packed data.
#include <cstdint>
#include <cstdlib>

#include "rar/ArchiveInternal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        ArchiveSetDebugLog(false);
        return true;
    }();
    (void)once;
    if (size < 3) return 0;
    uint32_t unpacked = (data[0] | (data[1] << 8) | (static_cast<uint32_t>(data[2]) << 16)) & 0x1FFFFF;
    uint8_t* out = static_cast<uint8_t*>(malloc(unpacked ? unpacked : 1));
    if (!out) return 0;
    unsigned long got = ArchiveUnpackRaw(data + 3, size - 3, out, unpacked);
    if (got > unpacked) abort();
    free(out);
    return 0;
}
