// JPEG decoding over libjpeg-turbo, with its fatal errors turned into a null result.
#include "ijl/jpeg.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "MemoryTracker.h"

unsigned char* jpegDecodedPixels = nullptr;

namespace {

// A corrupt progressive file can hold thousands of tiny scans; well-formed pictures
// use a handful, so more than this is treated as damage rather than decoded slowly.
constexpr long kMaxScans = 500;

// Memory the library may use for a progressive picture's coefficient buffers.
constexpr long kMaxLibraryMemory = 256l * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf escape;
};

// libjpeg's default would print and exit(); jump back to JpegDecode instead.
void OnFatalError(j_common_ptr cinfo) {
    ErrorManager* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(errors->escape, 1);
}

// Warnings mean damaged data (a premature end, a bad Huffman code): refuse the picture
// rather than upload a half-grey one. Trace messages (level > 0) are ignored.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) OnFatalError(cinfo);
}

void OnProgress(j_common_ptr cinfo) {
    j_decompress_ptr decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->is_decompressor && decompress->input_scan_number > kMaxScans)
        OnFatalError(cinfo);
}

// Destroys the decompressor on every way out, including the allocator's exception.
struct Decompressor {
    jpeg_decompress_struct info;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    bool created = false;
    ~Decompressor() {
        if (created) jpeg_destroy_decompress(&info);
    }
};

void FreePixels() {
    if (jpegDecodedPixels) KAVLO_DELETE_ARRAY(jpegDecodedPixels);
    jpegDecodedPixels = nullptr;
}

// The part between setjmp and the last library call. It keeps nothing in locals that
// must survive a longjmp: the pixels live in the global, the results in `d`.
bool Decode(Decompressor& d, const unsigned char* data, int size, int* width, int* height,
            int* channels) {
    if (setjmp(d.errors.escape)) return false;

    jpeg_create_decompress(&d.info);
    d.created = true;
    d.info.mem->max_memory_to_use = kMaxLibraryMemory;
    d.progress.progress_monitor = OnProgress;
    d.info.progress = &d.progress;
    jpeg_mem_src(&d.info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;

    const int components = d.info.num_components;
    // Stored before the checks so that a refused picture still tells its size.
    *width = static_cast<int>(d.info.image_width);
    *height = static_cast<int>(d.info.image_height);
    *channels = components;
    const long long bytes = static_cast<long long>(d.info.image_width) * d.info.image_height *
                            components;
    if (bytes <= 0 || bytes > kJpegMaxPixelBytes) return false;

    // Colour pictures become R, G, B and grey ones stay grey; any other component
    // count is handed out unconverted (the loader drops it anyway).
    if (components == 3)
        d.info.out_color_space = JCS_RGB;
    else if (components == 1)
        d.info.out_color_space = JCS_GRAYSCALE;
    else
        d.info.out_color_space = d.info.jpeg_color_space;

    if (!jpeg_start_decompress(&d.info)) return false;
    if (d.info.output_components != components ||
        d.info.output_width != d.info.image_width || d.info.output_height != d.info.image_height)
        return false;

    jpegDecodedPixels = KAVLO_NEW_ARRAY(unsigned char, static_cast<size_t>(bytes));

    const size_t rowBytes = static_cast<size_t>(d.info.output_width) * components;
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = jpegDecodedPixels + d.info.output_scanline * rowBytes;
        if (jpeg_read_scanlines(&d.info, &row, 1) != 1) return false;
    }
    return jpeg_finish_decompress(&d.info) == TRUE;
}

}  // namespace

unsigned char* JpegDecode(int* width, int* height, int* channels, const unsigned char* data,
                          int size) {
    FreePixels();
    if (!width || !height || !channels || !data || size <= 0) return nullptr;

    Decompressor d;
    d.info.err = jpeg_std_error(&d.errors.base);
    d.errors.base.error_exit = OnFatalError;
    d.errors.base.emit_message = OnMessage;
    if (!Decode(d, data, size, width, height, channels)) {
        FreePixels();
        return nullptr;
    }
    return jpegDecodedPixels;
}

void JpegRelease() { FreePixels(); }
