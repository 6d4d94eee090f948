// libFuzzer target: JPEG decoding on arbitrary bytes; it must return, never exit.
#include <cstddef>
#include <cstdint>
#include <climits>

#include "ijl/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT_MAX) return 0;
    int width = 0, height = 0, channels = 0;
    const unsigned char* pixels = JpegDecode(&width, &height, &channels, data,
                                             static_cast<int>(size));
    if (pixels) {
        // Touch the last byte: the buffer must hold the whole picture it claims.
        const long long bytes = static_cast<long long>(width) * height * channels;
        if (bytes <= 0 || bytes > kJpegMaxPixelBytes) __builtin_trap();
        volatile unsigned char last = pixels[bytes - 1];
        (void)last;
    }
    JpegRelease();
    if (jpegDecodedPixels) __builtin_trap();
    return 0;
}
