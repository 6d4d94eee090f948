// Entry points of the archive reader beyond ArchiveGetFile, for the packer's tools,
// the tests, the fuzz targets and the benchmarks; the demo itself never calls them.
#pragma once

#include <cstddef>
#include <cstdint>

// Same as ArchiveGetFile, but the archive bytes come from `data` (`size` bytes, not
// copied, read only during the call) instead of a file. `archiveLabel` only appears
// in the debug log. Ownership of *outData is as for ArchiveGetFile (free()).
int ArchiveGetFileFromMemory(void** outData, unsigned long* outSize, const char* fileName,
                             const uint8_t* data, size_t size, const char* archiveLabel,
                             const char* password);

// Turns the debug log off (false) or back on (true) for the rest of the run. Off, no
// log file is created or written.
void ArchiveSetDebugLog(bool enabled);

// Runs the RAR 2.0 unpacker alone over `packed` as the data of one non-solid,
// unencrypted entry of `unpackedSize` bytes. `out` must hold `unpackedSize` bytes;
// returns the number of bytes delivered into it (equal to unpackedSize when the data
// was complete and consistent).
unsigned long ArchiveUnpackRaw(const uint8_t* packed, size_t packedSize, uint8_t* out,
                               uint32_t unpackedSize);
