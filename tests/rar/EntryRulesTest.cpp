// The rules the reader and its walk share: the blocks the walk steps over, the damage
// it reports, one decision per entry for both, one call at a time, and the memory one
// entry may ask for.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "RarTestUtil.h"
#include "RarWriter.h"
#include "rar/ArchiveInternal.h"

#if defined(__SANITIZE_ADDRESS__)
#define KAVLO_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KAVLO_TEST_ASAN 1
#endif
#endif
#ifdef KAVLO_TEST_ASAN
// From the sanitizer runtime (GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                        void (*)(const volatile void*));
#endif

using namespace rartest;

namespace {

struct Collector : ArchiveVisitor {
    std::vector<std::string> data;  // "<failed>" for an entry that failed
    std::vector<bool> ok;
    uint64_t damageAt = 0;
    bool Wants(const ArchiveEntryInfo&) override { return true; }
    bool Take(const ArchiveEntryInfo&, const uint8_t* p, unsigned long size, bool good) override {
        data.push_back(!good ? "<failed>" : p ? std::string(reinterpret_cast<const char*>(p), size) : "");
        ok.push_back(good);
        return true;
    }
    void Damaged(const char*, uint64_t offset) override { damageAt = offset; }
};

// Entry "f<i>": text compressed by rarpack's encoder as one self-contained stream.
FileBlock Packed(int i) {
    std::string text;
    while (text.size() < 3000u + 700u * i) text += "kavlo walks every block " + std::to_string(text.size() % 89);
    text.resize(3000u + 700u * i);
    FileBlock f = StoredEntry("f" + std::to_string(i), text);
    f.packed = rarpack::CompressRaw(f.packed.data(), f.packed.size(), 3, false);
    f.method = 0x33;
    return f;
}

int GetFile(const Bytes& a, const char* name) {
    void* p = nullptr;
    unsigned long size = 0;
    const int ok = ArchiveGetFileFromMemory(&p, &size, name, a.data(), a.size(), "rules", "");
    free(p);
    return ok;
}

// Each block's header CRC over the range the RAR 2.0 archivers cover (main header with
// an archive comment: its first 13 bytes; sub-block: header and data; others: the
// header); a type outside 0x73..0x7B is damage.
TEST(ArchiveWalkBlocks, BlocksTheWalkDoesNotUseAreSteppedOverByTheirSizes) {
    const Bytes f0 = Block(Packed(0)), f1 = Block(Packed(1)), f2 = Block(Packed(2));
    const Bytes head = Concat({Marker(), MainHeader(0)}), end = OtherBlock(0x7B, {}, false);
    Bytes commented = Concat({Marker(), MainHeader(0x0002, 40)});  // CRC over the 13 bytes ahead
    std::fill(commented.begin() + 20, commented.end(), 'c');        // of the comment
    Bytes whole = commented;
    const uint16_t crc = ~Crc32(whole.data() + 9, 38) & 0xFFFF;  // CRC over all of it
    whole[7] = static_cast<uint8_t>(crc);
    whole[8] = static_cast<uint8_t>(crc >> 8);
    const Bytes owner = OtherBlock(0x77, {1, 1, 0, 5, 0, 5, 0, 'k', 'a', 'v', 'l', 'o', 'u', 's', 'e', 'r', 's'}, true);
    const Bytes recovery = OtherBlock(0x78, Bytes(1500, 0xA5), true);  // its data runs to the end
    Bytes ownerHeaderCrc = owner;  // a CRC over the header alone does not do for a sub-block
    const uint16_t headerCrc = ~Crc32(owner.data() + 2, 9) & 0xFFFF;
    ownerHeaderCrc[0] = static_cast<uint8_t>(headerCrc);
    ownerHeaderCrc[1] = static_cast<uint8_t>(headerCrc >> 8);
    Bytes pastEnd = OtherBlock(0x77, Bytes(10, 0), true);
    pastEnd[9] = 0x80;  // added size 8 MB: far beyond the end
    const struct {
        Bytes archive;
        ArchiveWalkResult result;
        size_t entries;
        int rarpackStatus;
    } cases[] = {
        {Concat({head, f0, owner, f1, owner, f2, owner, end}), ArchiveWalkResult::kComplete, 3, 0},
        {Concat({commented, f0, owner, f1, owner, f2, owner, recovery}), ArchiveWalkResult::kComplete, 3, 0},
        {Concat({whole, f0, f1, f2}), ArchiveWalkResult::kComplete, 3, 0},
        {Concat({head, f0, ownerHeaderCrc, f1, f2, end}), ArchiveWalkResult::kDamaged, 1, 1},
        {Concat({head, f0, OtherBlock(0x7E, Bytes(300, 'u'), true), f1, f2, end}), ArchiveWalkResult::kDamaged, 1, 1},
        {Concat({head, f0, f1, pastEnd, f2, end}), ArchiveWalkResult::kCutShort, 2, 1},
    };
    for (const auto& c : cases) {
        Collector walk;
        EXPECT_EQ(ArchiveWalkMemory(c.archive.data(), c.archive.size(), "blocks", "", walk), c.result);
        EXPECT_EQ(walk.ok, std::vector<bool>(c.entries, true));
        for (size_t i = 0; i < walk.data.size(); ++i) EXPECT_EQ(walk.data[i].size(), 3000u + 700u * i);
        if (testsystem::kPosixShell) {  // the tool runs through a POSIX shell
            ASSERT_TRUE(WriteFile("blocks.rar", c.archive));
            const int status = system((std::string(RARPACK_TOOL) + " t blocks.rar >blocks.out 2>&1").c_str());
            EXPECT_EQ(testsystem::ExitStatus(status), c.rarpackStatus);
        }
    }
}

// Where the walk ends and what it calls damage, with its offset: the walk, the listing
// and rarpack's l, t and x agree on each archive, and no name reaches the output raw.
TEST(ArchiveWalkBlocks, OnlyTheEndEndsTheWalkAndDamageSaysWhere) {
    const Bytes head = Concat({Marker(), MainHeader(0)}), a = Block(StoredEntry("small.txt", "first"));
    const Bytes b = Block(StoredEntry("b", "second")), end = {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00};
    FileBlock shortBlock = StoredEntry("small.txt", "first");
    shortBlock.flags = 0;  // its header CRC stays right
    Bytes renamed = a, longName = a;
    renamed[32] ^= 1;  // "rmall.txt", header CRC stale
    longName[26] += 4;  // the name runs into the data
    const std::string second = std::to_string(20 + a.size());
    const Bytes owner = OtherBlock(0x77, Bytes(12, 'o'), true);
    // One damaged byte in a header: the walk must not step over the block by its sizes.
    Bytes retyped = b, untyped = b, badEnd = end, skipFirst = head, sameName = Block(StoredEntry("small.txa", "second"));
    retyped[2] = 0x75;
    untyped[2] = 0x30;
    badEnd[3] ^= 0x01;
    skipFirst[7 + 5] = static_cast<uint8_t>(13 + a.size());  // the main header swallows "small.txt"
    sameName[32 + 8] = 't';  // now "small.txt" as well, header CRC stale
    const struct {
        const char* what;
        Bytes archive;
        ArchiveWalkResult result;
        std::vector<bool> ok;
        uint64_t damageAt;
        std::string says;  // by rarpack t -v
    } cases[] = {
        {"no main header", Concat({Marker(), a, b, end}), ArchiveWalkResult::kDamaged, {}, 7,
         "damaged: no main header after the marker (at offset 7)"},
        {"file header first", Concat({Marker(), a, MainHeader(0), b, end}), ArchiveWalkResult::kDamaged, {}, 7,
         "damaged: no main header after the marker (at offset 7)"},
        {"no long-block flag", Concat({head, Block(shortBlock), b, end}), ArchiveWalkResult::kDamaged, {}, 20,
         "damaged: file header without the long-block flag (0x8000) (at offset 20)"},
        {"eight zero bytes", Concat({head, a, Bytes(8, 0), b, end}), ArchiveWalkResult::kDamaged, {true},
         20 + a.size(), "damaged: header size under 7 bytes (at offset " + second + ")"},
        {"name byte flipped", Concat({head, renamed, b, end}), ArchiveWalkResult::kComplete, {false, true}, 0,
         "rmall.txt: failed (damaged header at offset 20)"},
        {"name size flipped", Concat({head, longName, b, end}), ArchiveWalkResult::kComplete, {false, true}, 0,
         "failed (damaged header at offset 20)"},
        {"control characters", Concat({head, Block(StoredEntry("evil\n\x1b[31mred.txt", "x")), b, end}),
         ArchiveWalkResult::kComplete, {true, true}, 0, "OK   evil\\n\\x1b[31mred.txt\n"},
        {"bytes after the end block", Concat({head, a, b, end, Bytes(40, 0x5A)}), ArchiveWalkResult::kComplete,
         {true, true}, 0, "2 entries OK"},
        {"sub-block ahead", Concat({head, a, owner, b, end}), ArchiveWalkResult::kComplete, {true, true}, 0,
         "OK   b (the show's loader stops at the sub-block at offset " + second + " before it)"},
        {"file header retyped 0x75", Concat({head, a, retyped, end}), ArchiveWalkResult::kDamaged, {true},
         20 + a.size(), "damaged: header CRC mismatch (block type 0x75) (at offset " + second + ")"},
        {"type outside 0x73..0x7B", Concat({head, a, untyped, end}), ArchiveWalkResult::kDamaged, {true},
         20 + a.size(), "damaged: block of unknown type 0x30 (at offset " + second + ")"},
        {"main header size", Concat({skipFirst, a, b, end}), ArchiveWalkResult::kDamaged, {}, 7,
         "damaged: header CRC mismatch (block type 0x73) (at offset 7)"},
        {"end block damaged", Concat({head, a, b, badEnd}), ArchiveWalkResult::kDamaged, {true, true},
         20 + a.size() + b.size(), "header CRC mismatch (block type 0x7B)"},
        {"name turned into an earlier one", Concat({head, a, sameName, end}), ArchiveWalkResult::kComplete,
         {true, false}, 0, "small.txt: failed (damaged header at offset " + second + ")"},
    };
    ArchiveSetDebugLog(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Collector walk, list;
        EXPECT_EQ(ArchiveWalkMemory(c.archive.data(), c.archive.size(), "damage", "", walk), c.result);
        EXPECT_EQ(walk.ok, c.ok);
        EXPECT_EQ(walk.damageAt, c.damageAt);
        bool solid = true;
        EXPECT_EQ(ArchiveListMemory(c.archive.data(), c.archive.size(), &solid, list), c.result);
        EXPECT_EQ(list.ok, c.ok);
        if (testsystem::kPosixShell) {  // the tool runs through a POSIX shell
            ASSERT_TRUE(WriteFile("damage.rar", c.archive));
            ASSERT_EQ(system("rm -rf damage_out"), 0);
            const bool whole = c.result == ArchiveWalkResult::kComplete && std::count(c.ok.begin(), c.ok.end(), false) == 0;
            for (const std::string command : {"l", "t -v", "x -v -o damage_out"}) {
                const int status = system((std::string(RARPACK_TOOL) + " " + command + " damage.rar >damage.out 2>&1").c_str());
                EXPECT_EQ(testsystem::ExitStatus(status), whole ? 0 : 1) << command;
                const Bytes out = ReadFile("damage.out");
                EXPECT_EQ(std::count(out.begin(), out.end(), 0x1B), 0) << command;
                if (command == "t -v") {
                    EXPECT_NE(std::string(out.begin(), out.end()).find(c.says), std::string::npos);
                }
            }
            std::error_code ec;  // x writes exactly the good entries
            const std::filesystem::directory_iterator files("damage_out", ec), none;
            EXPECT_EQ(std::distance(files, none), std::count(c.ok.begin(), c.ok.end(), true));
        }
    }
    ArchiveSetDebugLog(true);
}

// In a solid archive an entry that cannot be unpacked ends the chain for both the walk
// and ArchiveGetFile; a wrong CRC alone does not (the bytes still reach the window).
TEST(ArchiveEntryRules, WalkAndGetFileAgreeOnEveryEntryOfAChain) {
    const struct {
        int forged;
        void (*forge)(FileBlock&);
        std::vector<bool> ok;
    } cases[] = {
        {0, [](FileBlock& f) { f.version = 29; }, {false, false, false}},
        {0, [](FileBlock& f) { f.crc ^= 1; }, {false, true, true}},
        {1, [](FileBlock& f) { f.unpackedSize = 0x7FFFFFFF; }, {true, false, false}},
    };
    ArchiveSetDebugLog(false);
    for (const auto& c : cases) {
        Bytes a = Concat({Marker(), MainHeader(0x0008)});
        for (int i = 0; i < 3; ++i) {
            FileBlock f = Packed(i);
            if (i == c.forged) c.forge(f);
            a = Concat({a, Block(f)});
        }
        Collector walk;
        EXPECT_EQ(ArchiveWalkMemory(a.data(), a.size(), "chain", "", walk), ArchiveWalkResult::kComplete);
        EXPECT_EQ(walk.ok, c.ok);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(GetFile(a, ("f" + std::to_string(i)).c_str()) != 0, c.ok[i]) << i;
    }
    ArchiveSetDebugLog(true);
}

// A visitor calling back into the reader is refused every way in, and the outer walk
// goes on whole (the sanitizer build checks that nothing leaks).
TEST(ArchiveEntryRules, NestedCallsAreRefusedAndTheOuterWalkGoesOn) {
    struct Nesting : Collector {
        Bytes a;
        bool Take(const ArchiveEntryInfo& e, const uint8_t* p, unsigned long size, bool good) override {
            void* out = &a;
            unsigned long outSize = 7;
            EXPECT_EQ(ArchiveGetFileFromMemory(&out, &outSize, "f1", a.data(), a.size(), "inner", ""), 0);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(outSize, 0u);
            Collector inner;
            EXPECT_EQ(ArchiveWalkMemory(a.data(), a.size(), "inner", "", inner), ArchiveWalkResult::kBusy);
            uint8_t raw[16];
            EXPECT_EQ(ArchiveUnpackRaw(a.data(), a.size(), raw, sizeof raw), 0u);
            return Collector::Take(e, p, size, good);
        }
    } walk;
    walk.a = Concat({Marker(), MainHeader(0x0008), Block(Packed(0)), Block(Packed(1))});
    const size_t mark = ReadLog().size();
    EXPECT_EQ(ArchiveWalkMemory(walk.a.data(), walk.a.size(), "outer", "", walk), ArchiveWalkResult::kComplete);
    EXPECT_EQ(walk.ok, (std::vector<bool>{true, true}));
    EXPECT_NE(ReadLog().substr(mark).find("- Refused: the archive reader is already in a call (one call at a time).\n"),
              std::string::npos);
    EXPECT_TRUE(GetFile(walk.a, "f1"));  // free again afterwards
}

#ifdef KAVLO_TEST_ASAN
std::atomic<size_t> largestMalloc{0};
void NoteMalloc(const volatile void*, size_t size) {
    for (size_t seen = largestMalloc; size > seen && !largestMalloc.compare_exchange_weak(seen, size);) {
    }
}
void NoteFree(const volatile void*) {}
#endif

// 3 MB of packed bytes could in principle unpack to 4 GB, so only the limit on one
// entry stops this forged claim: the entry fails before its buffer is asked for
// (checked through the allocator under AddressSanitizer); a solid chain goes on.
TEST(ArchiveEntryRules, ForgedFourGigabyteEntryFailsWithoutTheAllocation) {
#ifdef KAVLO_TEST_ASAN
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(NoteMalloc, NoteFree) != 0;
    ASSERT_TRUE(hooked);
#endif
    FileBlock huge = StoredEntry("huge", "");
    uint32_t seed = 7;
    for (size_t i = 0; i < (3u << 20); ++i) huge.packed.push_back(static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24));
    huge.unpackedSize = 0xFFFFFFFFu;
    huge.method = 0x33;
    for (uint16_t mainFlags : {0, 0x0008}) {
        const Bytes a = Concat({Marker(), MainHeader(mainFlags), Block(huge), Block(StoredEntry("after", "tail"))});
#ifdef KAVLO_TEST_ASAN
        largestMalloc = 0;
#endif
        EXPECT_FALSE(GetFile(a, "huge"));
        EXPECT_TRUE(GetFile(a, "after"));
        Collector walk;
        EXPECT_EQ(ArchiveWalkMemory(a.data(), a.size(), "huge", "", walk), ArchiveWalkResult::kComplete);
        EXPECT_EQ(walk.data, (std::vector<std::string>{"<failed>", "tail"}));
#ifdef KAVLO_TEST_ASAN
        EXPECT_LT(largestMalloc.load(), size_t{16} << 20);
#endif
    }
}

}  // namespace
