// Entry points of the archive reader beyond ArchiveGetFile, for the packer's tools,
// the tests, the fuzz targets and the benchmarks; the demo itself never calls them.
// Like ArchiveGetFile they run one at a time (ArchiveReader.h): a nested call, such as
// a visitor's Take calling ArchiveGetFileFromMemory, is refused.
#pragma once

#include <cstddef>
#include <cstdint>

// Same as ArchiveGetFile, but the archive bytes come from `data` (`size` bytes, not
// copied, read only during the call) instead of a file. `archiveLabel` only appears
// in the debug log. Ownership of *outData is as for ArchiveGetFile (free()).
int ArchiveGetFileFromMemory(void** outData, unsigned long* outSize, const char* fileName,
                             const uint8_t* data, size_t size, const char* archiveLabel,
                             const char* password);

// One entry as the walk below meets it.
struct ArchiveEntryInfo {
    const char* name = "";  // as stored, with the archive's separators, cut to 259 bytes
    unsigned nameSize = 0;  // the name's size as stored: over 259, `name` is cut short
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    uint32_t crc = 0;
    uint16_t flags = 0;     // 0x0004 encrypted, 0x0010 continues a solid chain
    uint8_t version = 0;
    uint8_t method = 0;     // 0x30 stored
    uint64_t offset = 0;    // where its header starts in the archive
    // Whether the header's CRC matches (and its name fits in it). An entry whose header
    // does not is never delivered: its name and sizes cannot be trusted, so it reaches
    // Take (failed) without Wants being asked.
    bool headerOk = true;
    // The first sub-block (type 0x77) ahead of the entry, 0 when none: ArchiveGetFile
    // stops there and never reaches this entry.
    uint64_t subBlockAhead = 0;
    // An earlier entry of the solid chain could not be unpacked: this one cannot be either.
    bool chainBroken = false;
};

// What a walk does with each entry.
class ArchiveVisitor {
public:
    virtual ~ArchiveVisitor() = default;
    // Whether the entry's bytes are wanted; asked only for an entry whose header is
    // sound. An unwanted entry of a solid archive is still unpacked (into the window
    // only) for the entries after it.
    virtual bool Wants(const ArchiveEntryInfo& entry) = 0;
    // Each wanted entry, in archive order: its bytes (valid during the call only) when
    // it unpacked with a matching CRC-32 (ok), else null and 0 (the debug log says
    // why). Returns false to end the walk.
    virtual bool Take(const ArchiveEntryInfo& entry, const uint8_t* data, unsigned long size,
                      bool ok) = 0;
    // Damage that ended the walk (kDamaged, kCutShort): what it is, and the archive
    // offset of the block it was found in. Called at most once, after every entry ahead.
    virtual void Damaged(const char* what, uint64_t offset) {
        (void)what;
        (void)offset;
    }
};

enum class ArchiveWalkResult {
    kComplete,    // every entry was met: the walk reached the end of the archive or its
                  // end block (0x7B, header CRC matching), where it stops; bytes after
                  // that are not read
    kStopped,     // the visitor ended the walk
    kCannotOpen,  // the archive cannot be opened
    kNotRar,      // no RAR (or "Kolvar!") marker and 13 bytes after it
    kNoMemory,    // no window
    kDamaged,     // damage ended the walk (the visitor's Damaged says what and where)
    kCutShort,    // a block runs past the end of the archive: the walk ended there
    kBusy,        // refused: called while another call of the reader was running
};

// The most one entry may unpack into memory. A header's unpacked size is trusted only
// this far and only as far as its packed bytes can produce; beyond either the entry
// fails before any buffer is allocated.
constexpr uint32_t kArchiveEntryLimit = 1u << 30;

// Walks every entry of `archiveName` once, in order, with the reader's header parsing
// and unpacker: a whole archive costs one pass, solid or not. Same password handling
// and debug-log messages as ArchiveGetFile, and the same per-entry rules. The contract
// between the two: an entry the walk delivers as good is one ArchiveGetFile extracts by
// that name (up to 255 bytes), with the same bytes, whenever it reaches the entry, that
// is when no earlier entry (sound or not) has the same name and no sub-block (type
// 0x77) lies ahead of it (entry.subBlockAhead). ArchiveGetFile stops at a sub-block; the
// walk steps over every block that is not a file header (sub-blocks, comments, recovery
// records) by its header and added size.
// The walk is stricter than ArchiveGetFile about the blocks, which the show's loader
// takes on trust as the original reader did (its data CRC-32 still guards every byte it
// delivers): the walk ends cleanly only at the end of the archive or at an end block,
// and takes as damage a first block that is not the main header, a block type outside
// 0x73..0x7B, a header CRC that does not match over the range its type covers (main
// header: its first 13 bytes or all of it; sub-block 0x77: header and added data; others:
// the header), a header under 7 bytes or cut short, a file header without added data
// (flag 0x8000) and a failed read. A file header whose CRC does not match (over its
// fixed part and name, or its whole header) fails its entry, so the damage is always
// reported, and the walk goes on by the header's sizes.
ArchiveWalkResult ArchiveWalk(const char* archiveName, const char* password, ArchiveVisitor& visitor);
// The same over archive bytes in memory (not copied, read only during the call).
ArchiveWalkResult ArchiveWalkMemory(const uint8_t* data, size_t size, const char* archiveLabel,
                                    const char* password, ArchiveVisitor& visitor);
// The walk's checks of the blocks and headers alone, over archive bytes in memory:
// nothing is unpacked or decrypted and Wants is not asked; every entry reaches Take with
// no data, ok when its header is sound. *solid: the main header's solid flag.
ArchiveWalkResult ArchiveListMemory(const uint8_t* data, size_t size, bool* solid, ArchiveVisitor& visitor);

// Whether two entry names are the same entry for ArchiveGetFile: '\' and '/' count as
// '_', ASCII letters in either case.
bool ArchiveNamesMatch(const char* a, const char* b);

// Turns the debug log off (false) or back on (true) for the rest of the run. Off, no
// log file is created or written; the first call made while it is on creates it.
void ArchiveSetDebugLog(bool enabled);

// Runs the RAR 2.0 unpacker alone over `packed` as the data of one non-solid,
// unencrypted entry of `unpackedSize` bytes. `out` must hold `unpackedSize` bytes;
// returns the number of bytes delivered into it (equal to unpackedSize when the data
// was complete and consistent; 0 for a size the packed bytes cannot produce).
unsigned long ArchiveUnpackRaw(const uint8_t* packed, size_t packedSize, uint8_t* out,
                               uint32_t unpackedSize);
