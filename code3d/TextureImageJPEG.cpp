// Loading of JPEG pictures from the data archive into RGB textures.
#include "TextureImageJPEG.h"

#include <climits>
#include <cstdlib>

#include "ijl/jpeg.h"
#include "rar/ArchiveReader.h"

namespace {

// The archive's buffer comes from malloc and is ours once fetched; released on every
// way out, the allocator's exception included.
struct ArchiveBuffer {
    void* data = nullptr;
    unsigned long size = 0;
    ~ArchiveBuffer() { std::free(data); }
};

}  // namespace

TextureImageJPEG::TextureImageJPEG(const char* name) { Load(name); }

TextureImageJPEG::TextureImageJPEG(const unsigned char* data, int size) {
    LoadFromMemory(data, size);
}

void TextureImageJPEG::Load(const char* name) {
    if (!name) return;
    ArchiveBuffer file;
    if (!ArchiveGetFile(&file.data, &file.size, name, "megadata.rar", "")) return;
    if (!file.data || file.size > static_cast<unsigned long>(INT_MAX)) return;
    LoadFromMemory(static_cast<const unsigned char*>(file.data), static_cast<int>(file.size));
}

void TextureImageJPEG::LoadFromMemory(const unsigned char* data, int size) {
    int width = 0, height = 0, channels = 0;
    const unsigned char* pixels = JpegDecode(&width, &height, &channels, data, size);
    if (pixels && width == height && channels == 3) UploadRGB(pixels, width, height);
    JpegRelease();
}
