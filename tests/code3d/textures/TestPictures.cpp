// JPEG encoding through libjpeg and hand-built TGA files for the texture tests.
#include "TestPictures.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace testpictures {

Bytes EncodeJpeg(int width, int height, int components, const Pattern& pattern,
                 bool progressive) {
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
    info.in_color_space = components == 4 ? JCS_CMYK : components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int i = 0; i < info.num_components; ++i) {
        info.comp_info[i].h_samp_factor = 1;
        info.comp_info[i].v_samp_factor = 1;
    }
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    Bytes row(static_cast<size_t>(width) * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = pattern(x, y);
            if (components == 4) {
                row[x * 4] = c.r;
                row[x * 4 + 1] = c.g;
                row[x * 4 + 2] = c.b;
                row[x * 4 + 3] = 0;
            } else if (components == 3) {
                row[x * 3] = c.r;
                row[x * 3 + 1] = c.g;
                row[x * 3 + 2] = c.b;
            } else {
                row[x] = c.r;
            }
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes result(out, out + outSize);
    std::free(out);
    return result;
}

Bytes MakeTga(int imageType, int colourMapType, int width, int height, int bitsPerPixel,
              const Bytes& pixelBytes, int idLength) {
    Bytes file(18, 0);
    file[0] = static_cast<unsigned char>(idLength);
    file[1] = static_cast<unsigned char>(colourMapType);
    file[2] = static_cast<unsigned char>(imageType);
    file[12] = static_cast<unsigned char>(width & 0xff);
    file[13] = static_cast<unsigned char>(width >> 8);
    file[14] = static_cast<unsigned char>(height & 0xff);
    file[15] = static_cast<unsigned char>(height >> 8);
    file[16] = static_cast<unsigned char>(bitsPerPixel);
    file[17] = 0x20;
    for (int i = 0; i < idLength; ++i) file.push_back(static_cast<unsigned char>(0xA0 + i));
    file.insert(file.end(), pixelBytes.begin(), pixelBytes.end());
    return file;
}

Bytes RepeatPixel(int width, int height, const Bytes& pixel) {
    Bytes out;
    out.reserve(static_cast<size_t>(width) * height * pixel.size());
    for (long i = 0; i < static_cast<long>(width) * height; ++i)
        out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

}  // namespace testpictures
