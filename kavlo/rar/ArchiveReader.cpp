// Placeholder until the archive reader lands: every extraction fails.
#include "ArchiveReader.h"

int ArchiveGetFile(void** outData, unsigned long* outSize, const char*, const char*,
                   const char*) {
    if (outData) *outData = nullptr;
    if (outSize) *outSize = 0;
    return 0;
}
