// The archive reader: markers, the block walk, name matching, stored entries, CRC
// checks, every failure message of the debug log, and damaged archives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "RarTestUtil.h"
#include "RarWriter.h"
#include "rar/ArchiveInternal.h"
#include "rar/ArchiveReader.h"
#include "rar/RarState.h"

using namespace rartest;

namespace {

struct Result {
    int ok = 0;
    std::string data;
    bool nullData = true;
    unsigned long size = 0;
};

Result Extract(const char* name, const char* archive, const char* password = "") {
    Result r;
    void* p = reinterpret_cast<void*>(1);
    r.size = 12345;
    r.ok = ArchiveGetFile(&p, &r.size, name, archive, password);
    r.nullData = p == nullptr;
    if (p) {
        r.data.assign(static_cast<const char*>(p), r.size);
        free(p);
    }
    return r;
}

// The log text written since `mark` (a length of an earlier ReadLog()).
std::string LogSince(size_t mark) {
    std::string log = ReadLog();
    return mark <= log.size() ? log.substr(mark) : log;
}

Bytes SimpleArchive(std::initializer_list<FileBlock> blocks, uint16_t mainFlags = 0) {
    Bytes a = Concat({Marker(), MainHeader(mainFlags)});
    for (const FileBlock& b : blocks) {
        Bytes blk = Block(b);
        a.insert(a.end(), blk.begin(), blk.end());
    }
    return a;
}

TEST(ArchiveReader, LogStartsWithBannerAndLogsEachExtraction) {
    ASSERT_TRUE(WriteFile("log.rar", SimpleArchive({StoredEntry("x.txt", "hello")})));
    Result r = Extract("x.txt", "log.rar");
    ASSERT_TRUE(r.ok);
    std::string log = ReadLog();
    EXPECT_EQ(log.rfind("Debug log of Kolvar's Brindlekit\n~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\n"
                        "(executable compiled on ",
                        0),
              0u);
    const std::string message = "              - Extracting >x.txt< from >log.rar< (password is ><)...\n";
    size_t at = log.find(message);
    ASSERT_NE(at, std::string::npos);
    size_t lineStart = log.rfind('\n', at - 2) + 1;
    std::string head = log.substr(lineStart, at - lineStart);
    unsigned ms = 0, line = 0;
    char file[64] = {};
    ASSERT_EQ(sscanf(head.c_str(), " %8u ms (line %u in %63[^)]):", &ms, &line, file), 3) << head;
    EXPECT_EQ(head.substr(0, 1), " ");
    EXPECT_EQ(head.find(" ms (line "), 9u);  // " %8u" puts the number in 8 columns
    EXPECT_GT(line, 0u);
    EXPECT_STREQ(file, "ArchiveReader.cpp");
    EXPECT_NE(log.find("              - Extracted 5 Bytes.\n"), std::string::npos);
}

TEST(ArchiveReader, NamesMatchAcrossSeparatorsAndCaseFirstMatchWins) {
    ASSERT_TRUE(WriteFile("names.rar", SimpleArchive({StoredEntry("other.bin", "zz"),
                                                      StoredEntry("data\\beam.jpg", "first"),
                                                      StoredEntry("DATA_BEAM.JPG", "second")})));
    for (const char* name : {"data/beam.jpg", "DATA\\BEAM.JPG", "data_beam.jpg"}) {
        Result r = Extract(name, "names.rar");
        ASSERT_TRUE(r.ok) << name;
        EXPECT_EQ(r.data, "first") << name;
        EXPECT_EQ(r.size, 5u);
    }
}

TEST(ArchiveReader, MissingNameFailsWithNullAndZeroAndTheFailureLine) {
    ASSERT_TRUE(WriteFile("missing.rar", SimpleArchive({StoredEntry("a.txt", "abc")})));
    size_t mark = ReadLog().size();
    Result r = Extract("nope.txt", "missing.rar");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.nullData);
    EXPECT_EQ(r.size, 0u);
    EXPECT_NE(LogSince(mark).find("- Error - couldn't extract >nope.txt< and allocated 0 Bytes of unused memory!\n"),
              std::string::npos);
}

TEST(ArchiveReader, EmptyEntryGivesNonNullZeroLengthBuffer) {
    ASSERT_TRUE(WriteFile("empty.rar", SimpleArchive({StoredEntry("e", "")})));
    Result r = Extract("e", "empty.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.nullData);
    EXPECT_EQ(r.size, 0u);
}

TEST(ArchiveReader, KolvarMarkerReadsLikeTheRarMarker) {
    Bytes a = SimpleArchive({StoredEntry("k.txt", "kolvar data")});
    memcpy(a.data(), "Kolvar!", 7);
    ASSERT_TRUE(WriteFile("kolvar.rar", a));
    Result r = Extract("k.txt", "kolvar.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.data, "kolvar data");
}

TEST(ArchiveReader, RefusedArchivesLogTheirReasons) {
    struct Case {
        Bytes bytes;
        const char* first;  // message before "Not a RAR file", or null
    };
    Bytes old = {0x52, 0x45, 0x7E, 0x5E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes zip = {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes shortMarker = {0x52, 0x61, 0x72};
    Bytes shortMain = Concat({Marker(), Bytes{1, 2, 3}});
    const Case cases[] = {
        {old, "Attention: format as OLD detected! Can't handel archive!"},
        {zip, "unknown archive type (only plain RAR supported (normal and solid archives), "
              "SFX and Volumes are NOT supported!)"},
        {shortMarker, nullptr},
        {shortMain, nullptr},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFile("refused.rar", c.bytes));
        size_t mark = ReadLog().size();
        Result r = Extract("a", "refused.rar");
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.nullData);
        std::string log = LogSince(mark);
        size_t notRar = log.find("- Not a RAR file\n");
        ASSERT_NE(notRar, std::string::npos);
        if (c.first) {
            size_t first = log.find(std::string("- ") + c.first + "\n");
            ASSERT_NE(first, std::string::npos) << c.first;
            EXPECT_LT(first, notRar);
        }
    }
    size_t mark = ReadLog().size();
    EXPECT_FALSE(Extract("a", "no-such-archive.rar").ok);
    EXPECT_NE(LogSince(mark).find("- Error opening file.\n"), std::string::npos);
}

TEST(ArchiveReader, BrokenHeaderCrcIsLoggedButExtractionGoesOn) {
    FileBlock f = StoredEntry("crc.txt", "header crc is wrong");
    f.breakCrc = true;
    ASSERT_TRUE(WriteFile("hcrc.rar", SimpleArchive({f})));
    size_t mark = ReadLog().size();
    Result r = Extract("crc.txt", "hcrc.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.data, "header crc is wrong");
    EXPECT_NE(LogSince(mark).find("- file header broken\n"), std::string::npos);
}

TEST(ArchiveReader, WrongDataCrcFails) {
    FileBlock f = StoredEntry("bad.txt", "data crc is wrong");
    f.crc ^= 1;
    ASSERT_TRUE(WriteFile("dcrc.rar", SimpleArchive({f})));
    size_t mark = ReadLog().size();
    Result r = Extract("bad.txt", "dcrc.rar");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.nullData);
    EXPECT_NE(LogSince(mark).find("- CRC32 error - file couldn't be decompressed correctly!\n"),
              std::string::npos);
}

TEST(ArchiveReader, OtherBlocksAreSkippedSubBlocksRefused) {
    Bytes comment = OtherBlock(0x75, Bytes(40, 'c'), false);
    Bytes longOther = OtherBlock(0x7A, Bytes(300, 'x'), true);
    Bytes end = OtherBlock(0x7B, {}, false);
    Bytes a = Concat({Marker(), MainHeader(0), comment, Block(StoredEntry("one", "1")), longOther,
                      Block(StoredEntry("two", "22")), end});
    ASSERT_TRUE(WriteFile("other.rar", a));
    Result r = Extract("two", "other.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.data, "22");

    Bytes sub = OtherBlock(0x77, Bytes(10, 's'), true);
    ASSERT_TRUE(WriteFile("sub.rar", Concat({Marker(), MainHeader(0), Block(StoredEntry("one", "1")),
                                             sub, Block(StoredEntry("two", "22"))})));
    size_t mark = ReadLog().size();
    EXPECT_TRUE(Extract("one", "sub.rar").ok);  // found before the sub-block
    EXPECT_FALSE(Extract("two", "sub.rar").ok);
    EXPECT_NE(LogSince(mark).find("- Sorry, sub-headers not supported.\n"), std::string::npos);
}

TEST(ArchiveReader, MainHeaderLongerThan13BytesIsSkipped) {
    Bytes a = Concat({Marker(), MainHeader(0, 20), Block(StoredEntry("m", "main"))});
    ASSERT_TRUE(WriteFile("longmain.rar", a));
    Result r = Extract("m", "longmain.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.data, "main");
}

TEST(ArchiveReader, UnknownVersionIsRefused) {
    FileBlock f = StoredEntry("v29", "new format");
    f.version = 29;
    ASSERT_TRUE(WriteFile("ver.rar", SimpleArchive({f})));
    size_t mark = ReadLog().size();
    EXPECT_FALSE(Extract("v29", "ver.rar").ok);
    EXPECT_NE(LogSince(mark).find("- unknown compression method\n"), std::string::npos);
}

// Real archivers put a comment, salt or extended time after the name; the data starts
// at block start + header size.
TEST(ArchiveReader, FieldsAfterTheNameAreSkipped) {
    FileBlock f = StoredEntry("ext.txt", "payload after extras");
    f.extra = Bytes(9, 0xEE);
    ASSERT_TRUE(WriteFile("extra.rar", SimpleArchive({f, StoredEntry("next", "n")})));
    Result r = Extract("ext.txt", "extra.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.data, "payload after extras");
    EXPECT_TRUE(Extract("next", "extra.rar").ok);

    // The same for a compressed entry.
    std::string text(5000, 'q');
    for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('a' + i % 13);
    Bytes packed = rarpack::CompressRaw(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 3, false);
    FileBlock c;
    c.name = "packed.txt";
    c.packed = packed;
    c.unpackedSize = static_cast<uint32_t>(text.size());
    c.crc = FileCrc(Bytes(text.begin(), text.end()));
    c.method = 0x33;
    c.extra = Bytes(5, 0x11);
    ASSERT_TRUE(WriteFile("extra2.rar", SimpleArchive({c})));
    r = Extract("packed.txt", "extra2.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.data, text);
}

TEST(ArchiveReader, ShortStoredDataFailsWithoutReadingPastIt) {
    FileBlock f = StoredEntry("short", "only ten b");
    f.unpackedSize = 20;  // claims more than the data holds
    ASSERT_TRUE(WriteFile("short.rar", SimpleArchive({f})));
    Result r = Extract("short", "short.rar");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.nullData);
    EXPECT_EQ(r.size, 0u);
}

TEST(ArchiveReader, ImpossibleSizesFailQuickly) {
    FileBlock f = StoredEntry("huge", "tiny");
    f.unpackedSize = 0xFFFFFFF0u;
    f.method = 0x33;
    ASSERT_TRUE(WriteFile("huge.rar", SimpleArchive({f})));
    EXPECT_FALSE(Extract("huge", "huge.rar").ok);

    // A packed size beyond the end of the file.
    Bytes a = SimpleArchive({StoredEntry("cut", "0123456789")});
    a.resize(a.size() - 4);
    ASSERT_TRUE(WriteFile("cut.rar", a));
    EXPECT_FALSE(Extract("cut", "cut.rar").ok);
}

// The password lingers neither in memory nor in the log, which only says one was given.
TEST(ArchiveReader, PasswordIsZeroedAfterEveryCallAndNeverLogged) {
    ASSERT_TRUE(WriteFile("pw.rar", SimpleArchive({StoredEntry("p", "x")})));
    const size_t mark = ReadLog().size();
    Extract("p", "pw.rar", "secret password");
    EXPECT_NE(LogSince(mark).find("- Extracting >p< from >pw.rar< (password is >(hidden)<)...\n"), std::string::npos);
    EXPECT_EQ(ReadLog().find("secret"), std::string::npos);
    for (int i = 0; i < 255; ++i) ASSERT_EQ(rar::g.password[i], 0) << i;
    Extract("p", "pw.rar", nullptr);  // null keeps the (zeroed) buffer
    EXPECT_EQ(rar::g.password[0], 0);
}

// Every prefix and many single-byte changes of real archives: each call either
// succeeds with the right bytes or fails cleanly; the sanitizer build checks memory.
TEST(ArchiveReader, DamagedArchivesFailCleanly) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += static_cast<char>("abcdefgh"[(i * i) % 8]);
    rarpack::ArchiveOptions solid;
    solid.solid = true;
    rarpack::RarWriter w(solid);
    rarpack::EntryOptions lz;
    w.Add("a", text.data(), text.size(), lz);
    rarpack::EntryOptions mm;
    mm.multimedia = true;
    w.Add("b", text.data(), 1000, mm);
    rarpack::EntryOptions enc;
    enc.password = "pw";
    w.Add("c", text.data() + 7, 1500, enc);
    Bytes archive;
    std::string error;
    ASSERT_TRUE(w.Build(&archive, &error)) << error;
    ArchiveSetDebugLog(false);
    for (size_t n = 0; n <= archive.size(); n += (n < 200 ? 1 : 13)) {
        void* p = nullptr;
        unsigned long size = 0;
        int ok = ArchiveGetFileFromMemory(&p, &size, "c", archive.data(), n, "cut", "pw");
        if (ok) {
            EXPECT_GE(n, archive.size() - 7);  // all of "c" is there; the end block may be cut
            EXPECT_EQ(std::string(static_cast<char*>(p), size), text.substr(7, 1500));
        } else {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(size, 0u);
        }
        free(p);
    }
    uint32_t seed = 12345;
    for (int round = 0; round < 1500; ++round) {
        Bytes bad = archive;
        for (int k = 0; k < 1 + round % 3; ++k) {
            seed = seed * 1103515245u + 12345u;
            bad[(seed >> 8) % bad.size()] ^= static_cast<uint8_t>(1 + (seed >> 24) % 255);
        }
        for (const char* name : {"a", "b", "c"}) {
            void* p = nullptr;
            unsigned long size = 0;
            int ok = ArchiveGetFileFromMemory(&p, &size, name, bad.data(), bad.size(), "bad", "pw");
            if (!ok) {
                EXPECT_EQ(p, nullptr);
                EXPECT_EQ(size, 0u);
            }
            free(p);
        }
    }
    ArchiveSetDebugLog(true);
}

}  // namespace

namespace {

// A first entry that claims to continue a solid state has none to continue: each call
// starts from the same zeroed state, whatever the call before it left behind.
TEST(ArchiveReader, ForgedSolidContinuationDecodesTheSameEveryTime) {
    std::string text(6000, 'w');
    for (size_t i = 0; i < text.size(); i += 3) text[i] = static_cast<char>('a' + i % 17);
    rarpack::ArchiveOptions ao;
    ao.solid = true;
    rarpack::RarWriter w(ao);
    rarpack::EntryOptions o;
    w.Add("a", text.data(), text.size(), o);
    w.Add("b", text.data() + 10, 3000, o);
    Bytes archive;
    std::string error;
    ASSERT_TRUE(w.Build(&archive, &error));
    archive[20 + 3] |= 0x10;  // flags of the first file header
    std::string other(9000, 'z');
    rarpack::RarWriter w2;
    w2.Add("z", other.data(), other.size(), o);
    Bytes unrelated;
    ASSERT_TRUE(w2.Build(&unrelated, &error));
    ArchiveSetDebugLog(false);
    std::string first;
    for (int round = 0; round < 3; ++round) {
        void* p = nullptr;
        unsigned long size = 0;
        ArchiveGetFileFromMemory(&p, &size, "z", unrelated.data(), unrelated.size(), "z", "");
        free(p);
        p = nullptr;
        int ok = ArchiveGetFileFromMemory(&p, &size, "b", archive.data(), archive.size(), "forged", "");
        std::string got = std::to_string(ok) + ":" + std::string(static_cast<char*>(p ? p : (void*)""), size);
        free(p);
        if (round == 0) first = got;
        EXPECT_EQ(got, first);
    }
    ArchiveSetDebugLog(true);
}

}  // namespace

namespace {

// Collects what a walk hands over; takes the entries `only` names (all when empty) and
// stops after `stopAfter` of them.
struct Collector : ArchiveVisitor {
    std::string only;
    int stopAfter = 1000;
    std::vector<std::string> names, data;
    std::vector<bool> ok;
    bool Wants(const ArchiveEntryInfo& e) override { return only.empty() || only == e.name; }
    bool Take(const ArchiveEntryInfo& e, const uint8_t* p, unsigned long size, bool good) override {
        names.push_back(e.name);
        data.push_back(p ? std::string(reinterpret_cast<const char*>(p), size) : "<null>");
        ok.push_back(good);
        return static_cast<int>(names.size()) < stopAfter;
    }
};

TEST(ArchiveWalk, EveryEntryOnceInArchiveOrder) {
    std::string base;
    for (int i = 0; i < 4000; ++i) base += "abcdefghijklmnop"[(i * 7 + i / 50) % 16];
    rarpack::ArchiveOptions ao;
    ao.solid = true;
    rarpack::RarWriter w(ao);
    rarpack::EntryOptions o, enc;
    enc.password = "pw";
    w.Add("a", base.data(), 3000, o);
    w.Add("dir/b", base.data() + 100, 3000, o);  // matches reach back into "a"
    w.Add("c", base.data() + 50, 2500, enc);
    Bytes solid;
    std::string error;
    ASSERT_TRUE(w.Build(&solid, &error));
    Collector all;
    EXPECT_EQ(ArchiveWalkMemory(solid.data(), solid.size(), "walk", "pw", all), ArchiveWalkResult::kComplete);
    ASSERT_EQ(all.names.size(), 3u);
    EXPECT_EQ(all.names[1], "dir\\b");
    EXPECT_EQ(all.data[0], base.substr(0, 3000));
    EXPECT_EQ(all.data[1], base.substr(100, 3000));
    EXPECT_EQ(all.data[2], base.substr(50, 2500));
    Collector last;  // the entries ahead are unpacked for it, not handed over
    last.only = "c";
    ArchiveWalkMemory(solid.data(), solid.size(), "walk", "pw", last);
    ASSERT_EQ(last.data.size(), 1u);
    EXPECT_EQ(last.data[0], base.substr(50, 2500));
    Collector first;
    first.stopAfter = 1;
    EXPECT_EQ(ArchiveWalkMemory(solid.data(), solid.size(), "walk", "pw", first), ArchiveWalkResult::kStopped);
    EXPECT_EQ(first.names.size(), 1u);

    // A bad entry is reported and the walk goes on; a cut header ends it.
    FileBlock bad = StoredEntry("bad", "wrong crc");
    bad.crc ^= 1;
    Bytes plain = SimpleArchive({StoredEntry("x", "one"), bad, StoredEntry("y", "two")});
    Collector some;
    EXPECT_EQ(ArchiveWalkMemory(plain.data(), plain.size(), "walk", "", some), ArchiveWalkResult::kComplete);
    EXPECT_EQ(some.ok, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(some.data[2], "two");
    Bytes cut(plain.begin(), plain.end() - 20);
    Collector shortWalk;
    EXPECT_EQ(ArchiveWalkMemory(cut.data(), cut.size(), "walk", "", shortWalk), ArchiveWalkResult::kDamaged);
    EXPECT_EQ(shortWalk.names.size(), 2u);
    Collector none;
    EXPECT_EQ(ArchiveWalk("no-such-archive.rar", "", none), ArchiveWalkResult::kCannotOpen);
    Bytes zip = {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ArchiveWalkMemory(zip.data(), zip.size(), "walk", "", none), ArchiveWalkResult::kNotRar);
    EXPECT_TRUE(none.names.empty());
}

// A solid archive whose first entry claims 2^31 bytes from ten packed bytes, followed
// by the requested entry or with the requested name absent: the chain fails cleanly
// (the sanitizer build checks there is no overflow on the way).
TEST(ArchiveReader, ForgedHugeSizeAheadInASolidChainFailsCleanly) {
    FileBlock huge;
    huge.name = "a";
    huge.packed = Bytes(10, 0x5A);
    huge.unpackedSize = 0x80000000u;
    huge.method = 0x33;
    Bytes forged = SimpleArchive({huge, StoredEntry("b", "tail")}, 0x0008);
    EXPECT_LT(forged.size(), 110u);
    ASSERT_TRUE(WriteFile("forged.rar", forged));
    for (const char* name : {"b", "absent"}) {
        size_t mark = ReadLog().size();
        Result r = Extract(name, "forged.rar");
        EXPECT_FALSE(r.ok) << name;
        EXPECT_TRUE(r.nullData);
        EXPECT_EQ(r.size, 0u);
        EXPECT_NE(LogSince(mark).find("- CRC32 error - file couldn't be decompressed correctly!\n"), std::string::npos);
    }
    Collector walk;  // "b" follows a chain that broke at "a", as for ArchiveGetFile
    ArchiveWalk("forged.rar", "", walk);
    EXPECT_EQ(walk.ok, (std::vector<bool>{false, false}));
    uint8_t out[16];
    EXPECT_EQ(ArchiveUnpackRaw(huge.packed.data(), huge.packed.size(), out, 0x80000000u), 0u);

    // A stored entry ahead is skipped, not unpacked: its size is not the chain's business.
    FileBlock stored = StoredEntry("s", "tiny");
    stored.unpackedSize = 1000;
    std::string text(3000, 'k');
    for (size_t i = 0; i < text.size(); i += 5) text[i] = static_cast<char>('a' + i % 7);
    FileBlock packed;
    packed.name = "p";
    packed.packed = rarpack::CompressRaw(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 3, false);
    packed.unpackedSize = static_cast<uint32_t>(text.size());
    packed.crc = FileCrc(Bytes(text.begin(), text.end()));
    packed.method = 0x33;
    ASSERT_TRUE(WriteFile("storedahead.rar", SimpleArchive({stored, packed}, 0x0008)));
    Result r = Extract("p", "storedahead.rar");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.data, text);
}

// A file header cut before its 32 bytes, or inside its name, is "broken": logged, and
// the walk ends there as before.
TEST(ArchiveReader, CutFileHeadersAreLoggedAsBroken) {
    Bytes whole = SimpleArchive({StoredEntry("first", "1"), StoredEntry("second-name", "22")});
    const size_t secondAt = 20 + 32 + 5 + 1;
    for (size_t keep : {size_t{5}, size_t{20}, size_t{32 + 4}}) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<long>(secondAt + keep));
        ASSERT_TRUE(WriteFile("cuthdr.rar", cut));
        EXPECT_TRUE(Extract("first", "cuthdr.rar").ok);
        size_t mark = ReadLog().size();
        EXPECT_FALSE(Extract("second-name", "cuthdr.rar").ok) << keep;
        EXPECT_NE(LogSince(mark).find("- file header broken\n"), std::string::npos) << keep;
    }
}

}  // namespace
