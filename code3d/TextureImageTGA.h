// A texture made from an uncompressed TGA picture of the data archive, through a
// small bounds-checked read cursor over the file's bytes.
#pragma once

#include "TextureImage.h"

// Read cursor over one file's bytes; the record itself comes from the tracked malloc.
// 0 <= position <= size always holds.
struct TgaStream {
    int size;
    int position;
    const unsigned char* data;
    // Set when the bytes came from the archive reader: TgaClose then frees them.
    bool ownsData;
};

// Fetches `name` from "megadata.rar" into a new stream that owns the bytes; null when
// the entry cannot be had (or is over 2 GiB).
TgaStream* TgaOpen(const char* name);
// A stream over bytes that the caller keeps owning; null for a null or negative input.
TgaStream* TgaOpenMemory(const unsigned char* data, int size);
// Releases the record, and the file bytes where the stream owns them. Null is allowed.
void TgaClose(TgaStream* stream);
// Copies up to `length` bytes from the cursor and advances it; returns the number
// copied, fewer (down to 0) at the end of the file or for a negative length.
int TgaRead(void* destination, int length, TgaStream* stream);
// Mode 0 sets the cursor to `offset`, 1 moves it by `offset`, 2 sets it to
// size + offset; other modes leave it. The result is clamped into [0, size].
void TgaSeek(TgaStream* stream, int offset, int mode);

// The header bytes the loader looks at (offsets 0-2 and 12-17).
struct TgaHeader {
    int idLength;
    int colourMapType;
    int imageType;
    int width;
    int height;
    int bitsPerPixel;
    int descriptor;
};

// Reads the header from the start of the stream and leaves the cursor at byte 18,
// where the pixel data is taken to start (the ID field is not skipped). False when
// the file is shorter than the header.
bool TgaReadHeader(TgaStream* stream, TgaHeader* header);
// Why the loader refuses this header ("colour-mapped", "not uncompressed
// true-colour or grey", "not square", "empty", "not 24 or 32 bits per pixel"), or
// null when it accepts it. Checked in that order.
const char* TgaRejectReason(const TgaHeader& header);
// Bytes of pixel data the header asks for: width x width x bits / 8.
long long TgaPixelBytes(const TgaHeader& header);

// Accepts types 2 and 3 at 24 or 32 bits, square; the stored bytes are taken as
// B, G, R (, A) and the first stored row becomes texture row t = 0 whatever the
// descriptor's origin bits say. Anything else leaves the texture empty, silently.
class TextureImageTGA : public TextureImage {
public:
    // GL_RGBA after 32-bit pixels were read, GL_RGB after 24-bit ones; 0 before.
    GLenum format = 0;

    // Fetches `name` from "megadata.rar", checks, converts and uploads it.
    explicit TextureImageTGA(const char* name);
    // The same for TGA bytes already in memory (borrowed, not kept).
    TextureImageTGA(const unsigned char* data, int size);

    // Reads pixelCount pixels at the cursor into a new buffer of R, G, B (, A) bytes
    // from the tracked malloc, which the caller releases with KAVLO_FREE. Null for a
    // depth other than 24 or 32, or when the stream holds fewer bytes than asked
    // (nothing is reserved then).
    unsigned char* ReadPixels(TgaStream* stream, int pixelCount, int bitsPerPixel);
    unsigned char* ReadPixels32(TgaStream* stream, int pixelCount);
    unsigned char* ReadPixels24(TgaStream* stream, int pixelCount);

private:
    void Load(const char* name);
    void LoadStream(TgaStream* stream);
    unsigned char* ReadSwapped(TgaStream* stream, int pixelCount, int bytesPerPixel);
};
