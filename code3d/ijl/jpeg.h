// JPEG decoding glue: turns JPEG bytes in memory into tightly packed pixels.
#pragma once

// The pixels of the last decoded picture (tracked new[]), or null. Owned here from
// JpegDecode until JpegRelease; the texture loader uploads them in between.
extern unsigned char* jpegDecodedPixels;

// Largest decoded picture accepted, in bytes (width x height x channels). Pictures
// beyond it are refused before any pixel memory is reserved.
constexpr long long kJpegMaxPixelBytes = 64ll * 1024 * 1024;

// Decodes `size` bytes at `data`. Once the header is read, stores the picture's width,
// height and channel count (also when decoding fails later). On success returns its
// pixels: rows top to bottom, no padding, R G B for colour pictures, one byte per
// pixel for grey ones. The pointer is jpegDecodedPixels
// and stays valid until JpegRelease or the next JpegDecode. Returns null for corrupt
// or truncated data, a picture over kJpegMaxPixelBytes, or any decoder complaint;
// the process is never stopped. Not re-entrant (one global picture).
unsigned char* JpegDecode(int* width, int* height, int* channels, const unsigned char* data,
                          int size);

// Releases the last decoded picture, if any, and sets jpegDecodedPixels to null.
void JpegRelease();
