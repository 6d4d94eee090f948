// rarpack's archives in every mode, read back byte-exact through ArchiveGetFile and,
// where it is installed, by unar/lsar as an independent extractor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "RarTestUtil.h"
#include "RarWriter.h"
#include "rar/ArchiveInternal.h"
#include "rar/ArchiveReader.h"

using namespace rartest;

namespace {

struct Item {
    std::string name;  // as given to the writer, with '/'
    std::string data;
    rarpack::EntryOptions options;
};

std::string Text(size_t n, uint32_t seed) {
    static const char* words[] = {"kavlo ", "demo ", "torus ", "beam ", "spiral ", "vortex ", "\n", "greetings "};
    std::string s;
    while (s.size() < n) {
        seed = seed * 1664525u + 1013904223u;
        s += words[(seed >> 24) % 8];
    }
    s.resize(n);
    return s;
}

std::string Pixels(int w, int h, int channels) {
    std::string s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                s += static_cast<char>(c == 3 ? 255 : (x * (c + 1) + y * 2 + ((x ^ y) & 3)) & 255);
    return s;
}

std::string Wave(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(static_cast<int>(100 * std::sin(i / 20.0)) + ((i * 7) % 3));
    return s;
}

std::string Binary(size_t n, uint32_t seed) {
    std::string s;
    while (s.size() < n) {
        seed = seed * 1103515245u + 12345u;
        if (seed & 0x10000 && s.size() > 100) s += s.substr(s.size() - 1 - (seed >> 20) % 100, 8);
        else s += static_cast<char>(seed >> 24);
    }
    s.resize(n);
    return s;
}

bool HaveUnar() { return system("unar -v >/dev/null 2>&1") == 0 && system("lsar -v >/dev/null 2>&1") == 0; }

// Packs `items`, then checks each entry through ArchiveGetFile and, when present, unar.
void CheckArchive(const std::string& file, const std::vector<Item>& items, bool solid,
                  const std::string& password = "") {
    rarpack::ArchiveOptions ao;
    ao.solid = solid;
    rarpack::RarWriter w(ao);
    for (const Item& it : items) w.Add(it.name, it.data.data(), it.data.size(), it.options);
    std::string error;
    ASSERT_TRUE(w.WriteFile(file, &error)) << error;

    // Ask for entries last-first too, so a solid archive rebuilds its state each time.
    for (size_t k = 0; k < items.size(); ++k) {
        const Item& it = items[k % 2 ? items.size() - 1 - k / 2 : k / 2];
        void* p = nullptr;
        unsigned long size = 0;
        ASSERT_TRUE(ArchiveGetFile(&p, &size, it.name.c_str(), file.c_str(), password.c_str()))
            << file << " " << it.name;
        EXPECT_EQ(size, it.data.size());
        EXPECT_TRUE(std::string(static_cast<char*>(p), size) == it.data) << file << " " << it.name;
        free(p);
    }
    if (!HaveUnar()) return;
    std::string dir = file + ".unar";
    std::string cmd = "rm -rf '" + dir + "' && unar -q -D -o '" + dir + "' " +
                      (password.empty() ? "" : "-p '" + password + "' ") + "'" + file + "' >/dev/null 2>&1";
    ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    for (const Item& it : items) {
        Bytes got = ReadFile(dir + "/" + it.name);
        EXPECT_EQ(got.size(), it.data.size()) << "unar: " << it.name;
        EXPECT_TRUE(std::string(got.begin(), got.end()) == it.data) << "unar: " << it.name;
    }
    std::string listing = file + ".lsar";
    cmd = "lsar -l '" + file + "' > '" + listing + "' 2>&1";
    ASSERT_EQ(system(cmd.c_str()), 0);
    Bytes l = ReadFile(listing);
    std::string text(l.begin(), l.end());
    for (const Item& it : items) {
        EXPECT_NE(text.find(it.name), std::string::npos) << text;
        EXPECT_NE(text.find(" " + std::to_string(it.data.size()) + " "), std::string::npos) << it.name;
    }
}

// The round trips below check against unar/lsar whenever they are installed; this
// shows in the test report when they were not.
TEST(RarRoundTrip, PeerExtractorPresent) {
    if (!HaveUnar()) GTEST_SKIP() << "unar/lsar not installed: round trips check ArchiveGetFile only";
}

TEST(RarRoundTrip, StoredAndEveryEffort) {
    for (int method = 0; method <= 5; ++method) {
        rarpack::EntryOptions o;
        o.method = method;
        std::vector<Item> items = {{"text.txt", Text(40000, 1), o},
                                   {"dir/bin.dat", Binary(30000, 2), o},
                                   {"empty", "", o},
                                   {"one", "1", o}};
        CheckArchive("effort" + std::to_string(method) + ".rar", items, false);
    }
}

TEST(RarRoundTrip, MultimediaWithOneToFourChannels) {
    rarpack::EntryOptions o;
    o.method = 4;
    o.multimedia = true;
    std::vector<Item> items = {{"wave.raw", Wave(70000), o},
                               {"rgb.raw", Pixels(120, 100, 3), o},
                               {"rgba.raw", Pixels(100, 90, 4), o},
                               {"stereo.raw", Pixels(200, 100, 2), o},
                               {"text.txt", Text(20000, 3), o}};
    CheckArchive("multimedia.rar", items, false);
}

TEST(RarRoundTrip, SolidWithManyEntriesReachingBack) {
    rarpack::EntryOptions o;
    o.method = 3;
    std::vector<Item> items;
    std::string base = Text(30000, 4);
    for (int i = 0; i < 40; ++i)
        items.push_back({"many/entry" + std::to_string(i) + ".txt",
                         base.substr(static_cast<size_t>(i) * 500, 2000 + static_cast<size_t>(i) * 37), o});
    items.push_back({"many/empty", "", o});
    items.push_back({"many/copy", base.substr(0, 20000), o});
    CheckArchive("solid.rar", items, true);

    // The copy refers back to earlier entries: its packed data is tiny.
    rarpack::ArchiveOptions ao;
    ao.solid = true;
    rarpack::RarWriter w(ao);
    w.Add("a", base.data(), 20000, o);
    w.Add("b", base.data(), 20000, o);
    Bytes archive;
    std::string error;
    ASSERT_TRUE(w.Build(&archive, &error));
    rarpack::RarWriter single;
    single.Add("a", base.data(), 20000, o);
    Bytes one;
    ASSERT_TRUE(single.Build(&one, &error));
    EXPECT_LT(archive.size(), one.size() + 200);
}

TEST(RarRoundTrip, SolidMultimediaMixed) {
    rarpack::EntryOptions o;
    o.method = 5;
    o.multimedia = true;
    std::vector<Item> items = {{"a.txt", Text(9000, 5), o},   {"b.raw", Pixels(64, 64, 3), o},
                               {"c.raw", Wave(30000), o},     {"d.txt", Text(9000, 6), o},
                               {"e.raw", Pixels(32, 64, 4), o}};
    CheckArchive("solidmm.rar", items, true);
}

// Four-channel waves between runs of text, 64 KB each: the packer switches mode every
// block and sends the tables as differences to what the unpacker keeps past the
// smaller LZ table.
TEST(RarRoundTrip, ModeSwitchesWithTablesAsDifferences) {
    std::string data;
    for (int k = 0; k < 8; ++k) {
        if (k % 2) {
            data += Text(65536, static_cast<uint32_t>(k));
            continue;
        }
        for (int i = 0; i < 65536 / 4; ++i)
            for (int c = 0; c < 4; ++c)
                data += static_cast<char>(static_cast<int>(100 * std::sin(i / (20.0 + 5 * c) + k)) + 110 + (i * c) % 3);
    }
    rarpack::EntryOptions o;
    o.multimedia = true;
    CheckArchive("switching.rar", {{"mixed.bin", data, o}}, false);
    std::vector<Item> parts;
    for (int k = 0; k < 4; ++k)
        parts.push_back({"part" + std::to_string(k), data.substr(static_cast<size_t>(k) * 131072, 131072), o});
    CheckArchive("switchsolid.rar", parts, true);
}

TEST(RarRoundTrip, EntriesOverOneMegabyte) {
    rarpack::EntryOptions o;
    o.method = 1;
    std::vector<Item> items = {{"big1.bin", Binary(1500000, 8), o}, {"big2.txt", Text(1200000, 9), o}};
    CheckArchive("big.rar", items, false);
    CheckArchive("bigsolid.rar", items, true);
}

TEST(RarRoundTrip, EncryptedCompressedAndStoredWithOddSizes) {
    rarpack::EntryOptions packed;
    packed.password = "s3cret";
    rarpack::EntryOptions stored = packed;
    stored.method = 0;
    std::vector<Item> items;
    for (size_t n : {1u, 15u, 16u, 17u, 31u, 1000u, 8191u}) {
        items.push_back({"stored" + std::to_string(n), Binary(n, static_cast<uint32_t>(n)), stored});
        items.push_back({"packed" + std::to_string(n), Text(n, static_cast<uint32_t>(n)), packed});
    }
    items.push_back({"empty", "", stored});
    CheckArchive("encrypted.rar", items, false, "s3cret");
    CheckArchive("encsolid.rar", items, true, "s3cret");
}

TEST(RarRoundTrip, WrongOrMissingPasswordFailsTheCrc) {
    rarpack::EntryOptions o;
    o.password = "right";
    std::string data = Text(5000, 11);
    rarpack::RarWriter w;
    w.Add("e.txt", data.data(), data.size(), o);
    o.method = 0;
    w.Add("s.txt", data.data(), 777, o);
    std::string error;
    ASSERT_TRUE(w.WriteFile("pw.rar", &error));
    for (const char* name : {"e.txt", "s.txt"}) {
        for (const char* pw : {"wrong", ""}) {  // an empty password never decrypts
            size_t mark = ReadLog().size();
            void* p = nullptr;
            unsigned long size = 1;
            EXPECT_FALSE(ArchiveGetFile(&p, &size, name, "pw.rar", pw)) << name << pw;
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(size, 0u);
            EXPECT_NE(ReadLog().substr(mark).find("- CRC32 error - file couldn't be decompressed correctly!\n"),
                      std::string::npos);
        }
    }
}

TEST(RarRoundTrip, OldCipherVersionIsReportedAndFails) {
    rarpack::EntryOptions o;
    o.method = 0;
    o.password = "pw";
    std::string data = Text(100, 12);
    rarpack::RarWriter w;
    w.Add("old", data.data(), data.size(), o);
    Bytes archive;
    std::string error;
    ASSERT_TRUE(w.Build(&archive, &error));
    archive[20 + 24] = 15;  // unpack version 15: the older cipher
    Bytes body(archive.begin() + 22, archive.begin() + 20 + 32 + 3);
    uint16_t crc = ~Crc32(body.data(), body.size()) & 0xFFFF;
    archive[20] = static_cast<uint8_t>(crc);
    archive[21] = static_cast<uint8_t>(crc >> 8);
    ASSERT_TRUE(WriteFile("old.rar", archive));
    size_t mark = ReadLog().size();
    void* p = nullptr;
    unsigned long size = 0;
    EXPECT_FALSE(ArchiveGetFile(&p, &size, "old", "old.rar", "pw"));
    std::string log = ReadLog().substr(mark);
    EXPECT_NE(log.find("- Old Crypt() not supported!\n"), std::string::npos);
    EXPECT_EQ(log.find("file header broken"), std::string::npos);
    EXPECT_NE(log.find("- CRC32 error"), std::string::npos);
}

TEST(RarRoundTrip, ToolPacksListsTestsAndExtracts) {
    const std::string tool = RARPACK_TOOL;
    ASSERT_EQ(system("rm -rf tool_in tool_out tool_one && mkdir -p tool_in/sub"), 0);
    std::string a = Text(12000, 13), b = Pixels(40, 40, 3);
    WriteFile("tool_in/a.txt", Bytes(a.begin(), a.end()));
    WriteFile("tool_in/sub/b.raw", Bytes(b.begin(), b.end()));
    auto run = [&](const std::string& args) { return system((tool + " " + args + " >tool.out 2>tool.err").c_str()); };
    EXPECT_EQ(run("--help"), 0);
    ASSERT_EQ(run("a -s -m5 -mm -p pw tool.rar tool_in"), 0);
    EXPECT_EQ(run("l tool.rar"), 0);
    Bytes listing = ReadFile("tool.out");
    std::string text(listing.begin(), listing.end());
    EXPECT_NE(text.find("tool_in\\a.txt"), std::string::npos) << text;
    EXPECT_NE(text.find("tool_in\\sub\\b.raw"), std::string::npos) << text;
    EXPECT_EQ(run("t -p pw tool.rar"), 0);
    EXPECT_NE(run("t -p nope tool.rar"), 0);
    Bytes err = ReadFile("tool.err");
    EXPECT_NE(std::string(err.begin(), err.end()).find("wrong password"), std::string::npos);
    ASSERT_EQ(run("x -p pw tool.rar -o tool_out"), 0);
    EXPECT_EQ(ReadFile("tool_out/tool_in/a.txt"), Bytes(a.begin(), a.end()));
    EXPECT_EQ(ReadFile("tool_out/tool_in/sub/b.raw"), Bytes(b.begin(), b.end()));
    EXPECT_TRUE(ReadFile("tool.out").empty());  // per-entry lines only with -v
    ASSERT_EQ(run("x -v -p pw tool.rar tool_in/SUB/B.RAW -o tool_one"), 0);
    Bytes one = ReadFile("tool.out");
    EXPECT_EQ(std::string(one.begin(), one.end()), "tool_one/tool_in/sub/b.raw\n");
    EXPECT_NE(run("x -p pw tool.rar tool_in/missing.txt -o tool_one"), 0);
    err = ReadFile("tool.err");
    EXPECT_NE(std::string(err.begin(), err.end()).find("tool_in/missing.txt: not in the archive"), std::string::npos);
    ASSERT_EQ(run("t -v -p pw tool.rar"), 0);
    Bytes tested = ReadFile("tool.out");
    EXPECT_EQ(std::string(tested.begin(), tested.end()), "OK   tool_in/a.txt\nOK   tool_in/sub/b.raw\n2 entries OK\n");

    // Big archives show their progress on stderr.
    WriteFile("tool_big.bin", Bytes(9u << 20, 'b'));
    ASSERT_EQ(run("a -m0 tool_big.rar tool_big.bin"), 0);
    ASSERT_EQ(run("x tool_big.rar -o tool_big_out"), 0);
    err = ReadFile("tool.err");
    EXPECT_NE(std::string(err.begin(), err.end()).find("extracting 100%"), std::string::npos);
    EXPECT_EQ(ReadFile("tool_big_out/tool_big.bin").size(), 9u << 20);
    EXPECT_EQ(system("rm -rf tool_big.bin tool_big.rar tool_big_out"), 0);

    EXPECT_NE(run("a x.rar does-not-exist"), 0);
    EXPECT_NE(run("l tool_in/a.txt"), 0);
    EXPECT_NE(run("x no-such-archive-here.rar"), 0);
    EXPECT_NE(run("frobnicate"), 0);

    // t tests every entry, also one that repeats an earlier name; x never writes two
    // entries on one file, and says so.
    const Bytes head = Concat({Marker(), MainHeader(0)}), a1 = Block(StoredEntry("a.txt", "one"));
    const Bytes b1 = Block(StoredEntry("b.txt", "two")), slashed = Block(StoredEntry("\\A.TXT", "three"));
    FileBlock damaged = StoredEntry("a.txt", "one");
    damaged.packed[0] ^= 1;
    const struct {
        Bytes archive;
        const char* command;
        bool ok;
        const char* says;
    } cases[] = {
        {Concat({head, a1, b1, a1}), "t -v", true,
         "OK   a.txt (same name as an earlier entry: the show's loader gets that one)\n3 entries OK\n"},
        {Concat({head, a1, b1, Block(damaged)}), "t", false, "a.txt: failed (missing or corrupt entry)"},
        {Concat({head, a1, b1, a1}), "x -o tool_same", false,
         "a.txt: same output path as an earlier entry (a.txt), not extracted"},
        {Concat({head, a1, slashed, b1}), "x -o tool_same", false,
         "A.TXT: same output path as an earlier entry (a.txt), not extracted"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile("tool_same.rar", c.archive));
        EXPECT_EQ(run(std::string(c.command) + " tool_same.rar") == 0, c.ok) << c.command;
        const Bytes out = ReadFile(c.ok ? "tool.out" : "tool.err");
        EXPECT_NE(std::string(out.begin(), out.end()).find(c.says), std::string::npos) << c.command;
    }
    EXPECT_EQ(ReadFile("tool_same/a.txt"), Bytes({'o', 'n', 'e'}));  // the first one stays
    EXPECT_EQ(ReadFile("tool_same/b.txt"), Bytes({'t', 'w', 'o'}));  // the others are extracted
}

}  // namespace
