// Loading of uncompressed TGA pictures into RGB(A) textures, through a bounds-checked
// cursor over the file's bytes.
#include "TextureImageTGA.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "MemoryTracker.h"
#include "rar/ArchiveReader.h"

namespace {

TgaStream* NewStream(const unsigned char* data, int size, bool ownsData) {
    TgaStream* stream = static_cast<TgaStream*>(KAVLO_MALLOC(sizeof(TgaStream)));
    if (!stream) return nullptr;
    stream->size = size;
    stream->position = 0;
    stream->data = data;
    stream->ownsData = ownsData;
    return stream;
}

int Remaining(const TgaStream* stream) { return stream->size - stream->position; }

}  // namespace

TgaStream* TgaOpen(const char* name) {
    if (!name) return nullptr;
    void* data = nullptr;
    unsigned long size = 0;
    if (!ArchiveGetFile(&data, &size, name, "megadata.rar", "")) return nullptr;
    if (!data || size > static_cast<unsigned long>(INT_MAX)) {
        std::free(data);
        return nullptr;
    }
    TgaStream* stream = NewStream(static_cast<const unsigned char*>(data), static_cast<int>(size),
                                  true);
    if (!stream) std::free(data);
    return stream;
}

TgaStream* TgaOpenMemory(const unsigned char* data, int size) {
    if ((!data && size != 0) || size < 0) return nullptr;
    return NewStream(data, size, false);
}

void TgaClose(TgaStream* stream) {
    if (!stream) return;
    // The archive's buffer is malloc'd and nothing reads it after the pixels.
    if (stream->ownsData) std::free(const_cast<unsigned char*>(stream->data));
    KAVLO_FREE(stream);
}

int TgaRead(void* destination, int length, TgaStream* stream) {
    if (!stream || !destination || length <= 0) return 0;
    if (length > Remaining(stream)) length = Remaining(stream);
    if (length <= 0) return 0;
    std::memcpy(destination, stream->data + stream->position, static_cast<size_t>(length));
    stream->position += length;
    return length;
}

void TgaSeek(TgaStream* stream, int offset, int mode) {
    if (!stream) return;
    long long position = stream->position;
    if (mode == 0)
        position = offset;
    else if (mode == 1)
        position += offset;
    else if (mode == 2)
        position = static_cast<long long>(stream->size) + offset;
    // A cursor before the start would let TgaRead copy from before the buffer.
    if (position < 0) position = 0;
    if (position > stream->size) position = stream->size;
    stream->position = static_cast<int>(position);
}

bool TgaReadHeader(TgaStream* stream, TgaHeader* header) {
    if (!stream || !header) return false;
    unsigned char start[3];
    unsigned char image[6];
    TgaSeek(stream, 0, 0);
    if (TgaRead(start, 3, stream) != 3) return false;
    TgaSeek(stream, 12, 0);
    if (TgaRead(image, 6, stream) != 6) return false;
    header->idLength = start[0];
    header->colourMapType = start[1];
    header->imageType = start[2];
    header->width = image[0] + 256 * image[1];
    header->height = image[2] + 256 * image[3];
    header->bitsPerPixel = image[4];
    header->descriptor = image[5];
    return true;
}

const char* TgaRejectReason(const TgaHeader& header) {
    if (header.colourMapType != 0) return "colour-mapped";
    if (header.imageType != 2 && header.imageType != 3)
        return "not uncompressed true-colour or grey";
    if (header.width != header.height) return "not square";
    if (header.width == 0) return "empty";
    if (header.bitsPerPixel != 32 && header.bitsPerPixel != 24)
        return "not 24 or 32 bits per pixel";
    return nullptr;
}

long long TgaPixelBytes(const TgaHeader& header) {
    return static_cast<long long>(header.width) * header.width * (header.bitsPerPixel / 8);
}

TextureImageTGA::TextureImageTGA(const char* name) { Load(name); }

TextureImageTGA::TextureImageTGA(const unsigned char* data, int size) {
    TgaStream* stream = TgaOpenMemory(data, size);
    if (stream) LoadStream(stream);
}

unsigned char* TextureImageTGA::ReadPixels(TgaStream* stream, int pixelCount, int bitsPerPixel) {
    if (bitsPerPixel == 24) return ReadPixels24(stream, pixelCount);
    if (bitsPerPixel == 32) return ReadPixels32(stream, pixelCount);
    return nullptr;
}

unsigned char* TextureImageTGA::ReadPixels32(TgaStream* stream, int pixelCount) {
    unsigned char* pixels = ReadSwapped(stream, pixelCount, 4);
    if (pixels) format = GL_RGBA;
    return pixels;
}

unsigned char* TextureImageTGA::ReadPixels24(TgaStream* stream, int pixelCount) {
    unsigned char* pixels = ReadSwapped(stream, pixelCount, 3);
    if (pixels) format = GL_RGB;
    return pixels;
}

// Reads pixelCount pixels of bytesPerPixel bytes and turns B, G, R (, A) into
// R, G, B (, A). A short file is refused before anything is reserved, so a header
// that claims 65535 x 65535 pixels costs nothing.
unsigned char* TextureImageTGA::ReadSwapped(TgaStream* stream, int pixelCount, int bytesPerPixel) {
    if (!stream || pixelCount < 0) return nullptr;
    const long long bytes = static_cast<long long>(pixelCount) * bytesPerPixel;
    if (bytes == 0 || bytes > Remaining(stream)) return nullptr;
    unsigned char* pixels = static_cast<unsigned char*>(KAVLO_MALLOC(static_cast<size_t>(bytes)));
    if (!pixels) return nullptr;
    if (TgaRead(pixels, static_cast<int>(bytes), stream) != bytes) {
        KAVLO_FREE(pixels);
        return nullptr;
    }
    for (long long i = 0; i < bytes; i += bytesPerPixel) {
        const unsigned char blue = pixels[i];
        pixels[i] = pixels[i + 2];
        pixels[i + 2] = blue;
    }
    return pixels;
}

void TextureImageTGA::Load(const char* name) {
    TgaStream* stream = TgaOpen(name);
    if (stream) LoadStream(stream);
}

// Takes over `stream` and closes it on every path.
void TextureImageTGA::LoadStream(TgaStream* stream) {
    TgaHeader header;
    if (!TgaReadHeader(stream, &header) || TgaRejectReason(header) ||
        TgaPixelBytes(header) > Remaining(stream)) {
        TgaClose(stream);
        return;
    }
    const int width = header.width;
    unsigned char* pixels = ReadPixels(stream, width * width, header.bitsPerPixel);
    TgaClose(stream);
    if (!pixels) return;
    if (header.bitsPerPixel == 32)
        UploadRGBA(pixels, width, width);
    else
        UploadRGB(pixels, width, width);
    KAVLO_FREE(pixels);
}
