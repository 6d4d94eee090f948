// The archive reader: extracts one named entry of a RAR 2.0 archive into memory.
//
// One call at a time: the reader keeps its state in one module-global record, so its
// calls must not overlap. Call it from one thread; a call made while another is still
// running (from inside a walk's visitor, say) is refused: it fails, logs why and leaves
// the running call untouched.
#pragma once

// Extracts `fileName` from `archiveName`, decrypting with `password` where the entry
// is encrypted. Returns nonzero on success and 0 on failure. On success *outData is a
// buffer of exactly the entry's unpacked size from the C runtime's malloc (not the
// tracked allocator) and *outSize the number of bytes delivered; the caller owns the
// buffer and releases it with free(). On failure *outData is null and *outSize is 0.
int ArchiveGetFile(void** outData, unsigned long* outSize, const char* fileName,
                   const char* archiveName, const char* password);

// From now on a relative archive name is opened in `folder` (null or "": the working
// folder again). For a program that reads its data in one folder and writes its logs
// in another. False, and nothing changed, for a folder name too long to keep.
bool ArchiveSetFolder(const char* folder);
