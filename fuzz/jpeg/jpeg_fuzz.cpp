// libFuzzer target: JPEG decoding on arbitrary bytes; it must return, never exit.
//
// libjpeg itself is not built with coverage, so raw mutation rarely gets past the
// header. Half of the inputs therefore describe a picture instead: it is encoded here
// (size, grey or colour, baseline or progressive) and then damaged at the positions the
// input gives, which drives the decoder deep into its error paths.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <climits>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "ijl/jpeg.h"

namespace {

void DecodeAndCheck(const unsigned char* data, size_t size) {
    if (size > INT_MAX) return;
    int width = 0, height = 0, channels = 0;
    const unsigned char* pixels = JpegDecode(&width, &height, &channels, data,
                                             static_cast<int>(size));
    if (pixels) {
        // The buffer must hold the whole picture it claims.
        const long long bytes = static_cast<long long>(width) * height * channels;
        if (bytes <= 0 || bytes > kJpegMaxPixelBytes) __builtin_trap();
        volatile unsigned char last = pixels[bytes - 1];
        (void)last;
    }
    JpegRelease();
    if (jpegDecodedPixels) __builtin_trap();
}

std::vector<unsigned char> Encode(const uint8_t* data, size_t size) {
    const int width = 1 + data[1] % 48;
    const int height = 1 + data[2] % 48;
    const int components = (data[3] & 1) ? 3 : 1;
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 10 + data[4] % 91, TRUE);
    if (data[3] & 2) jpeg_simple_progression(&info);
    if (data[3] & 4) info.optimize_coding = TRUE;
    if (data[3] & 8) info.restart_interval = 1 + data[4] % 4;
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<size_t>(width) * components);
    for (int y = 0; y < height; ++y) {
        for (size_t x = 0; x < row.size(); ++x) row[x] = data[(x * 7 + y * 13) % size];
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<unsigned char> file(out, out + outSize);
    std::free(out);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 6 && data[0] == 'E') {
        std::vector<unsigned char> file = Encode(data, size);
        // Each 3 bytes after the header: a position and a new byte; 0xFFFF truncates.
        for (size_t i = 5; i + 3 <= size && !file.empty(); i += 3) {
            const size_t position = (data[i] | data[i + 1] << 8);
            if (position == 0xffff) {
                file.resize(file.size() / 2);
                continue;
            }
            file[position % file.size()] = data[i + 2];
        }
        DecodeAndCheck(file.data(), file.size());
        return 0;
    }
    DecodeAndCheck(data, size);
    return 0;
}
