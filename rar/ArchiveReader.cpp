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

using WalkResult = ::ArchiveWalkResult;

namespace {

constexpr const char* kSource = "ArchiveReader.cpp";

// In the working folder on every platform: today's Windows lets no user write to C:\.
constexpr const char* kLogPath = "debug_unrar.txt";

constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kFileEncrypted = 0x0004;
constexpr uint16_t kLongBlock = 0x8000;
constexpr uint8_t kTypeMain = 0x73;
constexpr uint8_t kTypeFile = 0x74;
constexpr uint8_t kTypeSub = 0x77;
constexpr uint8_t kTypeFirst = kTypeMain;  // the block types of RAR 2.0 run from 0x73 to 0x7B
constexpr uint8_t kTypeEnd = 0x7B;
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

namespace {

// Eight tables of the same CRC-32, so the update takes eight bytes per step; built
// once, they hold the same values as the table above.
struct CrcSlices {
    uint32_t t[8][256];
    CrcSlices() {
        for (unsigned n = 0; n < 256; ++n) {
            unsigned c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][n] = c;
        }
        for (unsigned n = 0; n < 256; ++n)
            for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
};

}  // namespace

unsigned Crc32Update(unsigned crc, const void* data, unsigned length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    static const CrcSlices slices;
    const auto& t = slices.t;
    for (; length >= 8; length -= 8, p += 8) {
        uint32_t lo = crc ^ (static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                             (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; length > 0; --length, ++p) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
}

// ---------------------------------------------------------------- debug log

namespace {

void DebugLogStart(const char* path) {
    g.logStartTick = TickMs();
    snprintf(g.logPath, sizeof g.logPath, "%s", path);
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

constexpr int kHeaderBroken = -1;
constexpr int kBlockPastEnd = -2;

// Damage that ends the walk, found in the current block: noted for the visitor and
// logged. Returns `code`.
int WalkDamage(const char* what, int code = kHeaderBroken) {
    g.damage = what;
    g.damageAt = g.blockStart;
    RAR_LOG(kSource, what);
    return code;
}

// The same for damage whose text names the block's type.
int WalkDamage(const char* format, uint8_t type) {
    snprintf(g.damageText, sizeof g.damageText, format, type);
    return WalkDamage(g.damageText);
}

// Continues `crc` over `count` more bytes from the current position; false when the
// archive ends first.
bool CrcOver(unsigned* crc, uint64_t count) {
    uint8_t buffer[256];
    while (count > 0) {
        const size_t n = g.archive.Read(buffer, count < sizeof buffer ? static_cast<size_t>(count) : sizeof buffer);
        if (n == 0) return false;
        *crc = Crc32Update(*crc, buffer, static_cast<unsigned>(n));
        count -= n;
    }
    return true;
}

// Whether `crc` is the low 16 bits of the complemented CRC-32 of the `length` bytes at
// `from`; false when the archive ends first.
bool CrcMatches(uint64_t from, uint64_t length, uint16_t crc) {
    unsigned c = 0xFFFFFFFFu;
    if (!g.archive.SeekAbsolute(from) || !CrcOver(&c, length)) return false;
    return static_cast<uint16_t>(~c & 0xFFFF) == crc;
}

// Whether a block other than a file header carries its CRC over the range its type
// covers in the archives the RAR 2.0 archivers write: a main header over its first 13
// bytes when an archive comment follows them, else over all of it; an old-style
// sub-block (0x77, such as a Unix owner record) over its header and its added data; any
// other block (recovery record, end block) over its header.
bool BlockCrcMatches(uint64_t start, uint8_t type, uint16_t size, uint64_t added, uint16_t crc) {
    if (type == kTypeMain && size > 13 && CrcMatches(start + 2, 11, crc)) return true;
    return CrcMatches(start + 2, size - 2u + (type == kTypeSub ? added : 0), crc);
}

// Finds the next file header, skipping blocks of other types by their header and added
// sizes. For ArchiveGetFile (`walk` false) a sub-block (type 0x77) ends the search too,
// for the caller to refuse. Returns the header bytes read (with the name); 0 at the end
// of the archive or, for ArchiveGetFile, at a block that cannot be one; kHeaderBroken
// for a file header cut short, which is logged; kBlockPastEnd for a block to skip whose
// added data runs past the end of the archive (nothing behind it can be found).
// The walk ends cleanly only at the end of the archive or at an end block, and checks
// what ArchiveGetFile takes on trust: every block's header CRC and type. Anything else
// that ends it is damage (kHeaderBroken, g.damage), and g.headerOk says whether a file
// header's CRC matched.
int ReadFileBlock(bool walk) {
    FileHeader kept = g.fileHeader;
    int count;
    for (;;) {
        g.blockStart = g.archive.Tell();
        count = ReadArchiveHeader(kTypeFile);
        // Nothing read before the end of the file is a read error, not the end.
        if (count == 0 && walk && g.blockStart < g.archiveSize) return WalkDamage("read error");
        if (count == 0) break;
        const bool fileBlock = count >= 3 && g.fileHeader.type == kTypeFile;
        if (count < 7 || g.fileHeader.size < 7) {
            g.fileHeader = kept;
            if (walk)
                return WalkDamage(count < 7 ? "block header cut short by the end of the archive"
                                            : "header size under 7 bytes");
            if (!fileBlock) return 0;
            RAR_LOG(kSource, "file header broken");
            return kHeaderBroken;
        }
        if (walk && (g.fileHeader.type < kTypeFirst || g.fileHeader.type > kTypeEnd)) {
            const uint8_t type = g.fileHeader.type;
            g.fileHeader = kept;
            return WalkDamage("block of unknown type 0x%02X", type);
        }
        if (walk && fileBlock && !(g.fileHeader.flags & kLongBlock)) {
            // Its data would be read as the next block's header: ArchiveGetFile and other
            // readers part ways here.
            g.fileHeader = kept;
            return WalkDamage("file header without the long-block flag (0x8000)");
        }
        uint64_t next = g.blockStart + g.fileHeader.size;
        if (g.fileHeader.flags & kLongBlock) next += g.fileHeader.packSize;
        g.nextBlockStart = next;
        if (g.fileHeader.type == kTypeFile || (!walk && g.fileHeader.type == kTypeSub)) break;
        if (walk) {
            // A block whose header is damaged cannot be stepped over: its sizes may be
            // what is damaged, and whatever they skip would be lost without a word.
            const FileHeader block = g.fileHeader;
            g.fileHeader = kept;
            const uint64_t added = (block.flags & kLongBlock) ? block.packSize : 0;
            if ((block.type == kTypeSub ? next : g.blockStart + block.size) > g.archiveSize)
                return WalkDamage("a block runs past the end of the archive", kBlockPastEnd);
            if (!BlockCrcMatches(g.blockStart, block.type, block.size, added, block.crc))
                return WalkDamage("header CRC mismatch (block type 0x%02X)", block.type);
            // What follows the end block (padding, a signature) is not the archive's.
            if (block.type == kTypeEnd) return 0;
            g.fileHeader = block;
        }
        if (g.fileHeader.type == kTypeSub && g.subBlockAt == 0) g.subBlockAt = g.blockStart;
        if (next > g.archiveSize) {
            g.fileHeader = kept;
            if (walk) return WalkDamage("a block runs past the end of the archive", kBlockPastEnd);
            return kBlockPastEnd;
        }
        if (!g.archive.SeekAbsolute(g.nextBlockStart)) return walk ? WalkDamage("read error") : 0;
    }
    g.blockHeader.crc = g.fileHeader.crc;
    g.blockHeader.type = g.fileHeader.type;
    g.blockHeader.flags = g.fileHeader.flags;
    g.blockHeader.size = g.fileHeader.size;
    g.blockHeader.dataSize = g.fileHeader.packSize;

    if (g.fileHeader.type == kTypeFile && count > 0) {
        // A file header cut short by the end of the archive, before or inside its
        // name, has no usable fields.
        const char* const cut = "file header cut short by the end of the archive";
        if (count < static_cast<int>(kFileHeaderFixed)) {
            g.fileHeader = kept;
            RAR_LOG(kSource, "file header broken");
            return walk ? WalkDamage(cut) : kHeaderBroken;
        }
        const unsigned fullName = g.fileHeader.nameSize;
        g.storedNameSize = fullName;
        unsigned nameSize = fullName;
        if (nameSize > kMaxNameBytes) nameSize = kMaxNameBytes;
        size_t got = g.archive.Read(g.fileHeader.name, nameSize);
        g.fileHeader.name[got] = '\0';
        if (got < nameSize) {
            g.fileHeader = kept;
            RAR_LOG(kSource, "file header broken");
            return walk ? WalkDamage(cut) : kHeaderBroken;
        }
        unsigned crc = Crc32Update(g.headerCrc, g.fileHeader.name, static_cast<unsigned>(got));
        // The CRC covers the name bytes beyond those kept too; the walk reads them.
        const bool named = !walk || CrcOver(&crc, fullName - nameSize);
        g.headerOk = named && static_cast<uint16_t>(~crc & 0xFFFF) == g.fileHeader.crc;
        // Later archivers cover the fields between the name and the data as well.
        const unsigned extra = g.fileHeader.size - kFileHeaderFixed - fullName;
        if (walk && named && !g.headerOk && kFileHeaderFixed + fullName < g.fileHeader.size && CrcOver(&crc, extra))
            g.headerOk = static_cast<uint16_t>(~crc & 0xFFFF) == g.fileHeader.crc;
        if (!g.headerOk) RAR_LOG(kSource, "file header broken");
        // A name reaching past the header runs into the data.
        if (kFileHeaderFixed + fullName > g.fileHeader.size) g.headerOk = false;
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

// Opens the walk over the archive: marker, main header and a zeroed window.
WalkResult BeginWalk() {
    if (!g.archive.IsOpen()) {
        RAR_LOG(kSource, "Error opening file.");
        return WalkResult::kCannotOpen;
    }
    if (!CheckMarker()) {
        RAR_LOG(kSource, "Not a RAR file");
        g.archive.Close();
        return WalkResult::kNotRar;
    }
    g.window = static_cast<uint8_t*>(calloc(kWindowSize, 1));
    if (!g.window) {
        RAR_LOG(kSource, "Can't allocate memory for decompression!");
        return WalkResult::kNoMemory;
    }
    UnpackNewArchive(g.window);
    if (g.mainHeader.size > 13) g.archive.SeekForward(g.mainHeader.size - 13u);
    g.archiveSize = g.archive.Size();
    return WalkResult::kComplete;
}

void EndWalk() {
    free(g.window);
    g.window = nullptr;
    g.archive.Close();
}

// Real archivers may put more fields (comment, salt, extended time) between the name
// and the data: the data always starts at block start + header size.
uint64_t DataStart() { return g.blockStart + g.fileHeader.size; }

// The most bytes `packed` bytes of data can unpack to: stored data is copied; every step
// of the RAR 2.0 decoder takes at least one bit (the last may start on the final bit)
// and writes at most 260 bytes. In 64 bits: 2 MB of packed data already reach 4 GB.
uint64_t MostUnpacked(uint64_t packed, bool stored) {
    if (stored) return packed;
    return packed >= (uint64_t{1} << 48) ? UINT64_MAX : (packed * 8 + 1) * 260;
}

// Whether the current entry's packed bytes that the archive holds can produce its
// unpacked size. Refusing the rest keeps a forged header from claiming gigabytes.
bool SizePlausible() {
    const uint64_t start = DataStart();
    uint64_t available = g.archiveSize > start ? g.archiveSize - start : 0;
    if (available > g.fileHeader.packSize) available = g.fileHeader.packSize;
    return g.fileHeader.unpSize <= MostUnpacked(available, g.fileHeader.method == 0x30);
}

// Unpacks the current entry, continuing the solid state, into the output buffer when
// there is one (found flag set), and checks its CRC-32 there. Failures are logged.
// PlanEntry has accepted the entry.
bool ProcessEntry() {
    g.encryptionVersion = 0;
    if (g.password[0] != '\0' && (g.fileHeader.flags & kFileEncrypted)) {
        g.encryptionVersion = g.fileHeader.unpVer;
        if (g.encryptionVersion != 0) SetupCryptKey(g.password);
    }
    g.packedLeft = g.fileHeader.packSize;
    g.unpackedLeft = g.fileHeader.unpSize;
    g.archive.SeekAbsolute(DataStart());
    if (g.fileHeader.method == 0x30) {
        if (!CopyStoredEntry()) {
            g.encryptionVersion = 0;
            return false;
        }
    } else {
        Unpack(g.window);
    }
    g.encryptionVersion = 0;
    if (g.output) {
        // Fewer bytes than the header promises can never be the entry.
        bool good = *g.outSize == g.fileHeader.unpSize;
        if (good) good = ~Crc32Update(0xFFFFFFFFu, g.output, g.fileHeader.unpSize) == g.fileHeader.fileCrc;
        if (!good) {
            RAR_LOG(kSource, "CRC32 error - file couldn't be decompressed correctly!");
            return false;
        }
    }
    return true;
}

bool SolidArchive() { return (g.mainHeader.flags & kMainSolid) != 0; }

// What the reader does with the entry whose header was just read.
enum class EntryStep {
    kSkip,     // its data is not read
    kUnpack,   // unpacked into the window only, for the solid entries after it
    kDeliver,  // unpacked into an output buffer of its unpacked size and CRC-checked
};

// The per-entry rules, one set for ArchiveGetFile and the walk so that both agree on
// every entry. `wanted`: the caller wants the entry's bytes; a wanted entry that gets
// anything but kDeliver has failed, and the log says why. A solid entry depends on
// every entry before it, so one that cannot be unpacked breaks the chain
// (`*chainBroken`): no entry after it can be delivered.
EntryStep PlanEntry(bool wanted, bool* chainBroken) {
    const bool solid = SolidArchive();
    if (!wanted && !solid) return EntryStep::kSkip;
    if (*chainBroken) {
        if (wanted) RAR_LOG(kSource, "An earlier entry of the solid chain failed: entry not extracted.");
        return EntryStep::kSkip;
    }
    if (g.fileHeader.unpVer < 13 || g.fileHeader.unpVer > 20) {
        RAR_LOG(kSource, "unknown compression method");
        *chainBroken = solid;
        return EntryStep::kSkip;
    }
    if (!wanted && g.fileHeader.method == 0x30) return EntryStep::kSkip;  // stored data never enters the window
    if (!SizePlausible()) {
        RAR_LOG(kSource, "CRC32 error - file couldn't be decompressed correctly!");
        *chainBroken = solid;
        return EntryStep::kSkip;
    }
    if (wanted && g.fileHeader.unpSize > kArchiveEntryLimit) {
        // Refused before the buffer is asked for; the chain goes on through the window.
        RAR_LOG(kSource, "Entry larger than the reader's limit of 1 GB: not extracted.");
        return solid ? EntryStep::kUnpack : EntryStep::kSkip;
    }
    return wanted ? EntryStep::kDeliver : EntryStep::kUnpack;
}

// The output buffer for the current entry (at least one byte, so an empty entry still
// gets a buffer); null, logged, when there is no memory for it.
uint8_t* AllocateOutput() {
    uint8_t* p = static_cast<uint8_t*>(malloc(g.fileHeader.unpSize ? g.fileHeader.unpSize : 1));
    if (!p) RAR_LOG(kSource, "can't allocate memory for the file decompression");
    return p;
}

int ExtractEntry() {
    g.found = false;
    if (BeginWalk() != WalkResult::kComplete) return 0;
    int ok = 0;
    bool chainBroken = false;
    for (int r = ReadFileBlock(false); r > 0; r = ReadFileBlock(false)) {
        if (g.blockHeader.type == kTypeSub) {
            RAR_LOG(kSource, "Sorry, sub-headers not supported.");
            break;
        }
        g.found = CompareEntryNames(g.requestedName, g.fileHeader.name) != 0;
        const EntryStep step = PlanEntry(g.found, &chainBroken);
        if (chainBroken || (g.found && step != EntryStep::kDeliver)) break;
        if (g.found) {
            *g.outSize = 0;
            g.output = AllocateOutput();
            if (!g.output) break;
        }
        if (step != EntryStep::kSkip && !ProcessEntry()) break;
        g.archive.SeekAbsolute(g.nextBlockStart);
        if (g.found) {
            ok = 1;
            break;
        }
    }
    EndWalk();
    return ok;
}

// Whether the block after the marker is one the walk can go on from: a main header of
// at least 13 bytes, no added data, within the archive, its CRC matching. ArchiveGetFile
// takes any 13 bytes there.
WalkResult CheckMainHeader() {
    g.blockStart = 7;
    if (g.mainHeader.type != kTypeMain) {
        WalkDamage("no main header after the marker");
        return WalkResult::kDamaged;
    }
    if (g.mainHeader.size < 13 || (g.mainHeader.flags & kLongBlock)) {
        WalkDamage("main header of an impossible size");
        return WalkResult::kDamaged;
    }
    if (7u + g.mainHeader.size > g.archiveSize) {
        WalkDamage("a block runs past the end of the archive");
        return WalkResult::kCutShort;
    }
    if (!BlockCrcMatches(7, kTypeMain, g.mainHeader.size, 0, g.mainHeader.crc)) {
        WalkDamage("header CRC mismatch (block type 0x%02X)", kTypeMain);
        return WalkResult::kDamaged;
    }
    g.archive.SeekAbsolute(7u + g.mainHeader.size);
    return WalkResult::kComplete;
}

// The walk of every entry: each is unpacked once, in order; the visitor takes the ones
// it wants. Unwanted entries of a solid archive are unpacked into the window only.
// `headersOnly`: nothing is unpacked, every entry goes to Take with its header's state.
WalkResult WalkEntries(ArchiveVisitor& visitor, bool headersOnly) {
    g.found = false;
    g.output = nullptr;
    g.damage = nullptr;
    g.subBlockAt = 0;
    WalkResult result = BeginWalk();
    if (result != WalkResult::kComplete) return result;
    unsigned long delivered = 0;
    g.outSize = &delivered;
    bool chainBroken = false;
    result = CheckMainHeader();
    while (result == WalkResult::kComplete) {
        g.headerOk = true;
        const int r = ReadFileBlock(true);
        if (r <= 0) {
            if (r == kHeaderBroken) result = WalkResult::kDamaged;
            if (r == kBlockPastEnd) result = WalkResult::kCutShort;
            break;
        }
        ArchiveEntryInfo info;
        info.name = g.fileHeader.name;
        info.packedSize = g.fileHeader.packSize;
        info.unpackedSize = g.fileHeader.unpSize;
        info.crc = g.fileHeader.fileCrc;
        info.flags = g.fileHeader.flags;
        info.version = g.fileHeader.unpVer;
        info.method = g.fileHeader.method;
        info.offset = g.blockStart;
        info.nameSize = g.storedNameSize;
        info.headerOk = g.headerOk;
        info.subBlockAhead = g.subBlockAt;
        bool goOn = true;
        if (headersOnly) {
            goOn = visitor.Take(info, nullptr, 0, info.headerOk);
        } else {
            info.chainBroken = chainBroken;
            // The name of a broken header cannot be trusted, so no visitor may pass the
            // entry over by it: it always reaches Take, failed. It still feeds a solid
            // chain, as it does for ArchiveGetFile, but is never delivered.
            const bool wanted = !info.headerOk || visitor.Wants(info);
            EntryStep step = PlanEntry(wanted && info.headerOk, &chainBroken);
            bool ok = step == EntryStep::kDeliver;
            if (ok) {
                g.output = AllocateOutput();
                if (!g.output) {
                    ok = false;
                    step = SolidArchive() ? EntryStep::kUnpack : EntryStep::kSkip;
                }
            }
            delivered = 0;
            if (step != EntryStep::kSkip) {
                g.found = ok;
                const bool processed = ProcessEntry();
                ok = ok && processed;
                g.found = false;
            }
            if (wanted) goOn = visitor.Take(info, ok ? g.output : nullptr, ok ? delivered : 0, ok);
            free(g.output);
            g.output = nullptr;
        }
        if (!goOn) {
            result = WalkResult::kStopped;
            break;
        }
        if (g.nextBlockStart > g.archiveSize) {
            WalkDamage("a block runs past the end of the archive");
            result = WalkResult::kCutShort;
            break;
        }
        g.archive.SeekAbsolute(g.nextBlockStart);
    }
    if (g.damage) visitor.Damaged(g.damage, g.damageAt);
    g.outSize = nullptr;
    EndWalk();
    return result;
}

void BeginCall(const char* archiveName, const char* password) {
    // With the log switched off the first call is still to come: the log starts with
    // the first call made while it is on.
    if (g.logFirstCall && !g.logDisabled) {
        g.logFirstCall = false;
        DebugLogStart(kLogPath);
    }
    Crc32Init();
    snprintf(g.archiveName, sizeof g.archiveName, "%s", archiveName ? archiveName : "");
    if (password) snprintf(g.password, sizeof g.password, "%s", password);
    g.encryptionVersion = 0;
}

void EndCall() {
    volatile char* pw = g.password;  // not optimised away: the password must not linger
    for (int i = 0; i < 255; ++i) pw[i] = 0;
    g.archive.Close();
    free(g.window);
    g.window = nullptr;
}

int GetFile(void** outData, unsigned long* outSize, const char* fileName,
            const char* archiveName, const char* password) {
    BeginCall(archiveName, password);
    snprintf(g.requestedName, sizeof g.requestedName, "%s", fileName ? fileName : "");
    g.output = nullptr;
    unsigned long delivered = 0;
    g.outSize = &delivered;

    char text[1024];
    // The log is a plain file that outlives the run: it says whether a password was
    // given, never which.
    snprintf(text, sizeof text, "Extracting >%s< from >%s< (password is >%s<)...", g.requestedName,
             g.archiveName, g.password[0] ? "(hidden)" : "");
    RAR_LOG(kSource, text);

    int result = ExtractEntry();
    EndCall();

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

// Holds the reader for one public call. A call made while another runs (a visitor
// calling back into the reader) must not touch the state that call is using: it is
// refused and logged, and the running call goes on as if nothing had happened.
class CallGuard {
public:
    CallGuard() : refused_(g.busy) {
        if (refused_)
            RAR_LOG(kSource, "Refused: the archive reader is already in a call (one call at a time).");
        g.busy = true;
    }
    ~CallGuard() {
        if (!refused_) g.busy = false;
    }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;
    bool Refused() const { return refused_; }

private:
    bool refused_;
};

int RefuseGetFile(void** outData, unsigned long* outSize, const char* fileName) {
    char text[512];
    snprintf(text, sizeof text, "%s>%.255s<%s%u Bytes%s", "Error - couldn't extract ", fileName ? fileName : "",
             " and allocated ", 0u, " of unused memory!");
    RAR_LOG(kSource, text);
    if (outData) *outData = nullptr;
    if (outSize) *outSize = 0;
    return 0;
}

}  // namespace
}  // namespace rar

// ---------------------------------------------------------------- public entry points

namespace {

char archiveFolder[4096] = {};

FILE* OpenArchiveFile(const char* name) {
    if (!name) return nullptr;
    if (!archiveFolder[0] || name[0] == '/') return fopen(name, "rb");
    char path[sizeof archiveFolder + 260];
    const int n = snprintf(path, sizeof path, "%s/%s", archiveFolder, name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) return nullptr;
    return fopen(path, "rb");
}

}  // namespace

bool ArchiveSetFolder(const char* folder) {
    if (!folder) folder = "";
    if (std::strlen(folder) >= sizeof archiveFolder) return false;
    snprintf(archiveFolder, sizeof archiveFolder, "%s", folder);
    return true;
}

int ArchiveGetFile(void** outData, unsigned long* outSize, const char* fileName,
                   const char* archiveName, const char* password) {
    using rar::g;
    rar::CallGuard guard;
    if (guard.Refused()) return rar::RefuseGetFile(outData, outSize, fileName);
    g.archive.Close();
    g.archive.file = OpenArchiveFile(archiveName);
    g.archive.open = g.archive.file != nullptr;
    return rar::GetFile(outData, outSize, fileName, archiveName, password);
}

int ArchiveGetFileFromMemory(void** outData, unsigned long* outSize, const char* fileName,
                             const uint8_t* data, size_t size, const char* archiveLabel,
                             const char* password) {
    using rar::g;
    rar::CallGuard guard;
    if (guard.Refused()) return rar::RefuseGetFile(outData, outSize, fileName);
    g.archive.Close();
    g.archive.memory = data;
    g.archive.memorySize = data ? size : 0;
    g.archive.memoryPos = 0;
    g.archive.open = data != nullptr;
    return rar::GetFile(outData, outSize, fileName, archiveLabel, password);
}

ArchiveWalkResult ArchiveWalk(const char* archiveName, const char* password, ArchiveVisitor& visitor) {
    using rar::g;
    rar::CallGuard guard;
    if (guard.Refused()) return ArchiveWalkResult::kBusy;
    g.archive.Close();
    g.archive.file = OpenArchiveFile(archiveName);
    g.archive.open = g.archive.file != nullptr;
    rar::BeginCall(archiveName, password);
    ArchiveWalkResult result = rar::WalkEntries(visitor, false);
    rar::EndCall();
    return result;
}

ArchiveWalkResult ArchiveWalkMemory(const uint8_t* data, size_t size, const char* archiveLabel,
                                    const char* password, ArchiveVisitor& visitor) {
    using rar::g;
    rar::CallGuard guard;
    if (guard.Refused()) return ArchiveWalkResult::kBusy;
    g.archive.Close();
    g.archive.memory = data;
    g.archive.memorySize = data ? size : 0;
    g.archive.memoryPos = 0;
    g.archive.open = data != nullptr;
    rar::BeginCall(archiveLabel, password);
    ArchiveWalkResult result = rar::WalkEntries(visitor, false);
    rar::EndCall();
    return result;
}

ArchiveWalkResult ArchiveListMemory(const uint8_t* data, size_t size, bool* solid, ArchiveVisitor& visitor) {
    using rar::g;
    rar::CallGuard guard;
    if (guard.Refused()) return ArchiveWalkResult::kBusy;
    // A listing leaves no trace in the debug log, nor creates it.
    const bool logDisabled = g.logDisabled;
    g.logDisabled = true;
    g.archive.Close();
    g.archive.memory = data;
    g.archive.memorySize = data ? size : 0;
    g.archive.memoryPos = 0;
    g.archive.open = data != nullptr;
    rar::BeginCall("", "");
    ArchiveWalkResult result = rar::WalkEntries(visitor, true);
    if (solid) *solid = rar::SolidArchive();
    rar::EndCall();
    g.logDisabled = logDisabled;
    return result;
}

bool ArchiveNamesMatch(const char* a, const char* b) { return rar::CompareEntryNames(a, b) != 0; }

void ArchiveSetDebugLog(bool enabled) { rar::g.logDisabled = !enabled; }

unsigned long ArchiveUnpackRaw(const uint8_t* packed, size_t packedSize, uint8_t* out,
                               uint32_t unpackedSize) {
    using rar::g;
    rar::CallGuard guard;
    if (guard.Refused()) return 0;
    // The same plausibility bound as for an archive's entries.
    if (unpackedSize > rar::MostUnpacked(packedSize, false)) return 0;
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
    g.unpackedLeft = unpackedSize;
    rar::Unpack(g.window);
    free(g.window);
    g.window = nullptr;
    g.output = nullptr;
    g.outSize = nullptr;
    g.archive.Close();
    return delivered;
}
