// The archive reader: walks a RAR 2.0 archive to one named entry and extracts it into a
// heap buffer, with the CRC-32 check and the timed debug log.
//
// Sections: stream access, CRC-32, debug log, headers, stored entries, the walk,
// public entry points.
#include "ArchiveReader.h"

#include <chrono>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ArchiveInternal.h"
#include "RarState.h"

namespace rar {

ReaderState g;

namespace {

constexpr const char* kSource = "ArchiveReader.cpp";

#ifdef _WIN32
constexpr const char* kLogPath = "C:\\debug_unrar.txt";
#else
constexpr const char* kLogPath = "debug_unrar.txt";
#endif

constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kFileEncrypted = 0x0004;
constexpr uint16_t kLongBlock = 0x8000;
constexpr uint8_t kTypeMain = 0x73;
constexpr uint8_t kTypeFile = 0x74;
constexpr uint8_t kTypeSub = 0x77;
constexpr unsigned kFileHeaderFixed = 32;
constexpr unsigned kMaxNameBytes = 259;

uint32_t TickMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

// ---------------------------------------------------------------- stream access

size_t ArchiveStream::Read(void* dst, size_t count) {
    if (!open || count == 0) return 0;
    if (file) return fread(dst, 1, count, file);
    if (memoryPos >= memorySize) return 0;
    size_t n = memorySize - memoryPos;
    if (n > count) n = count;
    memcpy(dst, memory + memoryPos, n);
    memoryPos += n;
    return n;
}

bool ArchiveStream::SeekAbsolute(uint64_t pos) {
    if (!open) return false;
    if (file) {
        // Offsets in a RAR 2.0 archive never pass 4 GB plus a block; long is enough
        // on the platforms we build for, and the cast is checked.
        if (pos > static_cast<uint64_t>(0x7FFFFFFFFFFFFFFFLL)) return false;
        return fseeko(file, static_cast<off_t>(pos), SEEK_SET) == 0;
    }
    memoryPos = pos > memorySize ? memorySize : static_cast<size_t>(pos);
    return true;
}

bool ArchiveStream::SeekForward(uint64_t delta) { return SeekAbsolute(Tell() + delta); }

uint64_t ArchiveStream::Tell() const {
    if (!open) return 0;
    if (file) {
        off_t p = ftello(file);
        return p < 0 ? 0 : static_cast<uint64_t>(p);
    }
    return memoryPos;
}

uint64_t ArchiveStream::Size() const {
    if (!open) return 0;
    if (file) {
        off_t here = ftello(file);
        if (fseeko(file, 0, SEEK_END) != 0) return 0;
        off_t end = ftello(file);
        fseeko(file, here, SEEK_SET);
        return end < 0 ? 0 : static_cast<uint64_t>(end);
    }
    return memorySize;
}

void ArchiveStream::Close() {
    if (file) fclose(file);
    file = nullptr;
    memory = nullptr;
    memorySize = memoryPos = 0;
    open = false;
}

// ---------------------------------------------------------------- CRC-32

void Crc32Init() {
    for (unsigned n = 0; n < 256; ++n) {
        unsigned c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        g.crcTable[n] = c;
    }
}

unsigned Crc32Update(unsigned crc, const void* data, unsigned length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (unsigned i = 0; i < length; ++i) crc = g.crcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// ---------------------------------------------------------------- debug log

namespace {

void DebugLogStart(const char* path) {
    g.logStartTick = TickMs();
    snprintf(g.logPath, sizeof g.logPath, "%s", path);
    if (g.logDisabled) return;
    FILE* f = fopen(g.logPath, "w");
    if (!f) return;  // the log stays off for the whole run
    g.logActive = true;
    fputs("Debug log of Kolvar's Brindlekit\n~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\n", f);
    fprintf(f, "(executable compiled on %s at %s)\n\n", __DATE__, __TIME__);
    fclose(f);
}

}  // namespace

void DebugLogWrite(const char* message, const char* sourceFile, unsigned line) {
    if (!g.logActive || g.logDisabled) return;
    FILE* f = fopen(g.logPath, "at");
    if (!f) return;
    fprintf(f, " %8u ms (line %u in %s):\n              - %s\n", TickMs() - g.logStartTick, line,
            sourceFile, message);
    fclose(f);
}

// ---------------------------------------------------------------- packed input

unsigned ReadPackedInto(unsigned char* buffer, unsigned count, unsigned capacity);

unsigned ReadPacked(unsigned char* buffer, unsigned count) {
    return ReadPackedInto(buffer, count, count);
}

// Reads up to `count` packed bytes and decrypts them. A last cipher block cut short by
// the end of the packed data is zero-filled and decrypted only when `capacity` leaves
// room for the whole block; otherwise its bytes stay as read.
unsigned ReadPackedInto(unsigned char* buffer, unsigned count, unsigned capacity) {
    unsigned got = 0;
    if (count > 0) {
        unsigned want = count < g.packedLeft ? count : g.packedLeft;
        got = g.archive.IsOpen() ? static_cast<unsigned>(g.archive.Read(buffer, want)) : 0;
        g.packedLeft -= got;
    }
    if (g.encryptionVersion != 0) {
        if (g.encryptionVersion < 20) {
            RAR_LOG(kSource, "Old Crypt() not supported!");
            return got;
        }
        unsigned whole = got & ~15u;
        for (unsigned i = 0; i < whole; i += 16) DecryptBlock(buffer + i);
        if (whole < got && whole + 16 <= capacity) {
            memset(buffer + got, 0, whole + 16 - got);
            DecryptBlock(buffer + whole);
        }
    }
    return got;
}

// ---------------------------------------------------------------- headers

namespace {

// Reads one header of `kind` at the current position; returns the bytes read (0 at
// the end of the archive).
int ReadArchiveHeader(int kind) {
    if (kind == kTypeMain) {
        uint8_t raw[13] = {};
        size_t n = g.archive.Read(raw, sizeof raw);
        ByteCursor c(raw, n);
        MainHeader h;
        c.U16(&h.crc);
        c.U8(&h.type);
        c.U16(&h.flags);
        c.U16(&h.size);
        c.U16(&h.reserved1);
        c.U32(&h.reserved2);
        g.mainHeader = h;
        // Computed for completeness; archivers disagree on it, so it is not compared.
        (void)Crc32Update(0xFFFFFFFFu, raw + 2, 11);
        return static_cast<int>(n);
    }
    uint8_t raw[kFileHeaderFixed] = {};
    size_t n = g.archive.Read(raw, sizeof raw);
    ByteCursor c(raw, n);
    FileHeader h;
    c.U16(&h.crc);
    c.U8(&h.type);
    c.U16(&h.flags);
    c.U16(&h.size);
    c.U32(&h.packSize);
    c.U32(&h.unpSize);
    c.U8(&h.hostOS);
    c.U32(&h.fileCrc);
    c.U32(&h.fileTime);
    c.U8(&h.unpVer);
    c.U8(&h.method);
    c.U16(&h.nameSize);
    c.U32(&h.attributes);
    g.fileHeader = h;
    g.blockHeader.dataSize = h.packSize;  // the 4 bytes at offset 7 of any long block
    g.headerCrc = Crc32Update(0xFFFFFFFFu, raw + 2, kFileHeaderFixed - 2);
    return static_cast<int>(n);
}

// Finds the next file header, skipping blocks of other types by their sizes. Returns
// the header bytes read (with the name), or 0 / the short count at the end or on a
// broken block.
int ReadFileBlock() {
    FileHeader kept = g.fileHeader;
    int count;
    for (;;) {
        g.blockStart = g.archive.Tell();
        count = ReadArchiveHeader(kTypeFile);
        if (count == 0) break;
        if (count < 7 || g.fileHeader.size < 7) {
            g.fileHeader = kept;
            return 0;
        }
        uint64_t next = g.blockStart + g.fileHeader.size;
        if (g.fileHeader.flags & kLongBlock) next += g.fileHeader.packSize;
        if (next <= g.blockStart) {
            g.fileHeader = kept;
            return 0;
        }
        g.nextBlockStart = next;
        if (g.fileHeader.type == kTypeFile || g.fileHeader.type == kTypeSub) break;
        if (!g.archive.SeekAbsolute(g.nextBlockStart)) return 0;
    }
    g.blockHeader.crc = g.fileHeader.crc;
    g.blockHeader.type = g.fileHeader.type;
    g.blockHeader.flags = g.fileHeader.flags;
    g.blockHeader.size = g.fileHeader.size;
    g.blockHeader.dataSize = g.fileHeader.packSize;

    if (g.fileHeader.type == kTypeFile && count > 0) {
        // A file header cut short by the end of the archive has no usable fields.
        if (count < static_cast<int>(kFileHeaderFixed)) {
            g.fileHeader = kept;
            return 0;
        }
        unsigned nameSize = g.fileHeader.nameSize;
        if (nameSize > kMaxNameBytes) nameSize = kMaxNameBytes;
        size_t got = g.archive.Read(g.fileHeader.name, nameSize);
        g.fileHeader.name[got] = '\0';
        unsigned crc = Crc32Update(g.headerCrc, g.fileHeader.name, static_cast<unsigned>(got));
        if (static_cast<uint16_t>(~crc & 0xFFFF) != g.fileHeader.crc)
            RAR_LOG(kSource, "file header broken");
        g.fileHeader.nameSize = static_cast<uint16_t>(got);
        return count + static_cast<int>(got);
    }
    g.fileHeader = kept;
    g.archive.SeekAbsolute(g.blockStart);
    return count;
}

bool CheckMarker() {
    uint8_t marker[7];
    if (g.archive.Read(marker, 7) < 7) return false;
    static const uint8_t kRar[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    static const uint8_t kKolvar[7] = {'K', 'o', 'l', 'v', 'a', 'r', '!'};
    if (memcmp(marker, kRar, 7) == 0 || memcmp(marker, kKolvar, 7) == 0)
        return ReadArchiveHeader(kTypeMain) == 13;
    static const uint8_t kOld[4] = {0x52, 0x45, 0x7E, 0x5E};
    if (memcmp(marker, kOld, 4) == 0) {
        RAR_LOG(kSource, "Attention: format as OLD detected! Can't handel archive!");
    } else {
        char text[160];
        snprintf(text, sizeof text, "%s%s%s%s", "unknown archive type (only plain RAR ",
                 "supported (normal and solid ", "archives), SFX and Volumes ",
                 "are NOT supported!)");
        RAR_LOG(kSource, text);
    }
    return false;
}

int CompareEntryNames(const char* a, const char* b) {
    char x[513], y[513];
    snprintf(x, sizeof x, "%.512s", a);
    snprintf(y, sizeof y, "%.512s", b);
    for (char* s : {x, y}) {
        for (; *s; ++s) {
            if (*s == '\\' || *s == '/') *s = '_';
            if (*s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
        }
    }
    return strcmp(x, y) == 0;
}

// ---------------------------------------------------------------- stored entries

int CopyStoredEntry() {
    unsigned size = g.fileHeader.unpSize;
    if (!g.output) return 1;  // a stored entry ahead of the requested one: nothing to keep
    unsigned delivered;
    if (g.encryptionVersion >= 20 && (size & 15) != 0) {
        // The last cipher block reaches past the entry's bytes: read the whole block
        // aside and keep only the entry's part of it.
        unsigned whole = size & ~15u;
        delivered = ReadPacked(g.output, whole);
        if (delivered == whole) {
            unsigned char block[16] = {};
            unsigned got = ReadPackedInto(block, 16, sizeof block);
            unsigned tail = size - whole;
            if (got > tail) got = tail;
            memcpy(g.output + whole, block, got);
            delivered += got;
        }
    } else {
        delivered = ReadPacked(g.output, size);
    }
    *g.outSize = delivered;
    if (delivered == static_cast<unsigned>(-1)) {
        RAR_LOG(kSource, "Read error of stored file!");
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------- the walk

// The most bytes `packed` bytes of RAR 2.0 data can ever unpack to: each decoding step
// takes at least one bit and writes at most 260 bytes.
uint64_t MaxUnpackedFrom(uint64_t packed, bool stored) {
    return stored ? packed : packed * 8 * 260;
}

int ExtractEntry() {
    g.found = false;
    if (!g.archive.IsOpen()) {
        RAR_LOG(kSource, "Error opening file.");
        return 0;
    }
    if (!CheckMarker()) {
        RAR_LOG(kSource, "Not a RAR file");
        g.archive.Close();
        return 0;
    }
    g.window = static_cast<uint8_t*>(calloc(kWindowSize, 1));
    if (!g.window) {
        RAR_LOG(kSource, "Can't allocate memory for decompression!");
        return 0;
    }
    UnpackNewArchive(g.window);
    if (g.mainHeader.size > 13) g.archive.SeekForward(g.mainHeader.size - 13u);

    const uint64_t archiveSize = g.archive.Size();
    int ok = 0;
    int r = ReadFileBlock();
    while (r > 0) {
        if (g.blockHeader.type == kTypeSub) {
            RAR_LOG(kSource, "Sorry, sub-headers not supported.");
            break;
        }
        g.found = CompareEntryNames(g.requestedName, g.fileHeader.name) != 0;
        const bool stored = g.fileHeader.method == 0x30;
        // Real archivers may put more fields (comment, salt, extended time) between
        // the name and the data: the data always starts at block start + header size.
        const uint64_t dataStart = g.blockStart + g.fileHeader.size;
        if (g.found) {
            uint64_t available = archiveSize > dataStart ? archiveSize - dataStart : 0;
            if (available > g.fileHeader.packSize) available = g.fileHeader.packSize;
            // A size the packed bytes cannot produce is corrupt; refusing it here keeps
            // a forged header from claiming gigabytes.
            if (g.fileHeader.unpSize > MaxUnpackedFrom(available, stored)) {
                RAR_LOG(kSource, "CRC32 error - file couldn't be decompressed correctly!");
                break;
            }
            g.output = static_cast<uint8_t*>(malloc(g.fileHeader.unpSize ? g.fileHeader.unpSize : 1));
            *g.outSize = 0;
            if (!g.output) {
                RAR_LOG(kSource, "can't allocate memory for the file decompression");
                break;
            }
        }
        if ((g.mainHeader.flags & kMainSolid) || g.found) {
            if (g.fileHeader.unpVer < 13 || g.fileHeader.unpVer > 20) {
                RAR_LOG(kSource, "unknown compression method");
                break;
            }
            g.encryptionVersion = 0;
            if (g.password[0] != '\0' && (g.fileHeader.flags & kFileEncrypted)) {
                g.encryptionVersion = g.fileHeader.unpVer;
                if (g.encryptionVersion != 0) SetupCryptKey(g.password);
            }
            g.packedLeft = g.fileHeader.packSize;
            g.unpackedLeft = static_cast<int32_t>(g.fileHeader.unpSize);
            g.archive.SeekAbsolute(dataStart);
            if (stored) {
                if (!CopyStoredEntry()) break;
            } else {
                Unpack(g.window);
            }
            g.encryptionVersion = 0;
            if (g.output) {
                // Fewer bytes than the header promises can never be the entry.
                bool good = *g.outSize == g.fileHeader.unpSize;
                if (good) {
                    unsigned crc = ~Crc32Update(0xFFFFFFFFu, g.output, g.fileHeader.unpSize);
                    good = crc == g.fileHeader.fileCrc;
                }
                if (!good) {
                    RAR_LOG(kSource, "CRC32 error - file couldn't be decompressed correctly!");
                    break;
                }
            }
        }
        g.archive.SeekAbsolute(g.nextBlockStart);
        if (g.found) {
            ok = 1;
            break;
        }
        r = ReadFileBlock();
    }
    free(g.window);
    g.window = nullptr;
    g.archive.Close();
    return ok;
}

int GetFile(void** outData, unsigned long* outSize, const char* fileName,
            const char* archiveName, const char* password) {
    if (g.logFirstCall) {
        g.logFirstCall = false;
        DebugLogStart(kLogPath);
    }
    Crc32Init();
    snprintf(g.requestedName, sizeof g.requestedName, "%s", fileName ? fileName : "");
    snprintf(g.archiveName, sizeof g.archiveName, "%s", archiveName ? archiveName : "");
    if (password) snprintf(g.password, sizeof g.password, "%s", password);
    g.output = nullptr;
    unsigned long delivered = 0;
    g.outSize = &delivered;
    g.encryptionVersion = 0;

    char text[1024];
    snprintf(text, sizeof text, "Extracting >%s< from >%s< (password is >%s<)...", g.requestedName,
             g.archiveName, g.password);
    RAR_LOG(kSource, text);

    int result = ExtractEntry();

    volatile char* pw = g.password;  // not optimised away: the password must not linger
    for (int i = 0; i < 255; ++i) pw[i] = 0;
    g.archive.Close();
    free(g.window);
    g.window = nullptr;

    if (result) {
        snprintf(text, sizeof text, "Extracted %u Bytes.", static_cast<unsigned>(delivered));
    } else {
        free(g.output);
        g.output = nullptr;
        delivered = 0;
        snprintf(text, sizeof text, "%s>%s<%s%u Bytes%s", "Error - couldn't extract ",
                 g.requestedName, " and allocated ", static_cast<unsigned>(delivered),
                 " of unused memory!");
    }
    RAR_LOG(kSource, text);
    if (outSize) *outSize = delivered;
    if (outData) {
        *outData = g.output;
    } else {
        free(g.output);  // a caller that takes no buffer cannot free it either
    }
    g.output = nullptr;
    g.outSize = nullptr;
    return result;
}

}  // namespace
}  // namespace rar

// ---------------------------------------------------------------- public entry points

int ArchiveGetFile(void** outData, unsigned long* outSize, const char* fileName,
                   const char* archiveName, const char* password) {
    using rar::g;
    g.archive.Close();
    g.archive.file = archiveName ? fopen(archiveName, "rb") : nullptr;
    g.archive.open = g.archive.file != nullptr;
    return rar::GetFile(outData, outSize, fileName, archiveName, password);
}

int ArchiveGetFileFromMemory(void** outData, unsigned long* outSize, const char* fileName,
                             const uint8_t* data, size_t size, const char* archiveLabel,
                             const char* password) {
    using rar::g;
    g.archive.Close();
    g.archive.memory = data;
    g.archive.memorySize = data ? size : 0;
    g.archive.memoryPos = 0;
    g.archive.open = data != nullptr;
    return rar::GetFile(outData, outSize, fileName, archiveLabel, password);
}

void ArchiveSetDebugLog(bool enabled) { rar::g.logDisabled = !enabled; }

unsigned long ArchiveUnpackRaw(const uint8_t* packed, size_t packedSize, uint8_t* out,
                               uint32_t unpackedSize) {
    using rar::g;
    rar::Crc32Init();
    g.archive.Close();
    g.archive.memory = packed;
    g.archive.memorySize = packed ? packedSize : 0;
    g.archive.open = true;
    g.window = static_cast<uint8_t*>(calloc(rar::kWindowSize, 1));
    if (!g.window) {
        g.archive.Close();
        return 0;
    }
    rar::UnpackNewArchive(g.window);
    unsigned long delivered = 0;
    g.output = out;
    g.outSize = &delivered;
    g.found = true;
    g.encryptionVersion = 0;
    g.fileHeader = rar::FileHeader();
    g.fileHeader.unpSize = unpackedSize;
    g.fileHeader.unpVer = 20;
    g.packedLeft = packedSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(packedSize);
    g.unpackedLeft = static_cast<int32_t>(unpackedSize);
    rar::Unpack(g.window);
    free(g.window);
    g.window = nullptr;
    g.output = nullptr;
    g.outSize = nullptr;
    g.archive.Close();
    return delivered;
}
