// libFuzzer target: the TGA texture loader and its read cursor on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <climits>

#include "MemoryTracker.h"
#include "TextureImageTGA.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT_MAX) return 0;
    const int length = static_cast<int>(size);

    // No GL context is current: the GL calls are no-ops, so this runs the whole load
    // (header checks, pixel read, byte swap, release) without a driver.
    TextureImageTGA texture(data, length);

    // Drive the cursor with the input itself: each 5-byte step picks a mode, an offset
    // and a read length, none of which may take a read outside the bytes.
    TgaStream* stream = TgaOpenMemory(data, length);
    if (!stream) return 0;
    unsigned char sink[512];
    for (size_t i = 0; i + 5 <= size && i < 200; i += 5) {
        const int mode = data[i] % 4;
        const int offset = static_cast<int8_t>(data[i + 1]) * (data[i + 2] + 1);
        TgaSeek(stream, offset, mode);
        if (stream->position < 0 || stream->position > stream->size) __builtin_trap();
        const int want = static_cast<int8_t>(data[i + 3]) * 4;
        const int got = TgaRead(sink, want > 512 ? 512 : want, stream);
        if (got < 0 || got > 512) __builtin_trap();
    }
    TgaHeader header;
    if (TgaReadHeader(stream, &header) && !TgaRejectReason(header)) {
        // Up to 65535 x 65535 pixels, more than an int holds: the read must refuse it.
        const long long count = static_cast<long long>(header.width) * header.width;
        unsigned char* pixels = texture.ReadPixels(
            stream, count > INT_MAX ? INT_MAX : static_cast<int>(count), header.bitsPerPixel);
        if (pixels) KAVLO_FREE(pixels);
    }
    TgaClose(stream);
    return 0;
}
