// `kavlo-data info` run as a program: output lines, exit status and error messages.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "TestPictures.h"
#include "RarWriter.h"
#include "Writer3DS.h"

using testpictures::Bytes;
using testpictures::EncodeJpeg;
using testpictures::MakeTga;
using testpictures::RepeatPixel;
using testpictures::Rgb;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs kavlo-data with `args` (already shell-quoted where needed).
Result RunTool(const std::string& args) {
    const std::string command = std::string("'") + KAVLO_DATA_EXE + "' " + args + " 2>stderr.txt";
    Result r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = Slurp("stderr.txt");
    return r;
}

void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(KavloData, HelpAndUsageErrors) {
    Result r = RunTool("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: kavlo-data COMMAND"), std::string::npos);
    EXPECT_NE(r.out.find("info"), std::string::npos);

    r = RunTool("info --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("ARCHIVE.rar ENTRY"), std::string::npos);

    EXPECT_EQ(RunTool("").status, 2);
    r = RunTool("frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(RunTool("info").status, 2);
    EXPECT_EQ(RunTool("info --bogus x.jpg").status, 2);
    EXPECT_EQ(RunTool("info a b c").status, 2);
}

TEST(KavloData, Pictures) {
    const auto colour = [](int x, int y) {
        return Rgb{static_cast<unsigned char>(x), static_cast<unsigned char>(y), 7};
    };
    Write("square.jpg", EncodeJpeg(64, 64, 3, colour));
    Write("wide.JPG", EncodeJpeg(64, 32, 3, colour));
    Write("grey.jpeg", EncodeJpeg(32, 32, 1, colour));
    Write("alpha.tga", MakeTga(2, 0, 8, 8, 32, RepeatPixel(8, 8, {1, 2, 3, 4})));
    Bytes shortTga = MakeTga(2, 0, 8, 8, 24, RepeatPixel(8, 8, {1, 2, 3}));
    shortTga.pop_back();
    Write("short.tga", shortTga);
    Write("rle.tga", MakeTga(10, 0, 8, 8, 24, RepeatPixel(8, 8, {1, 2, 3})));
    Write("picture.bin", EncodeJpeg(16, 16, 3, colour));  // kind from the bytes

    const std::pair<const char*, const char*> cases[] = {
        {"square.jpg", "jpeg 64x64 channels=3 texture=yes\n"},
        {"wide.JPG", "jpeg 64x32 channels=3 texture=no (not square)\n"},
        {"grey.jpeg", "jpeg 32x32 channels=1 texture=no (not colour)\n"},
        {"alpha.tga", "tga 8x8 channels=4 type=2 texture=yes\n"},
        {"short.tga", "tga 8x8 channels=3 type=2 texture=no (pixel data short: 191 of 192 bytes)\n"},
        {"rle.tga", "tga 8x8 channels=3 type=10 texture=no (not uncompressed true-colour or grey)\n"},
        {"picture.bin", "jpeg 16x16 channels=3 texture=yes\n"},
    };
    for (const auto& c : cases) {
        const Result r = RunTool(std::string("info ") + c.first);
        EXPECT_EQ(r.status, 0) << c.first << ": " << r.err;
        EXPECT_EQ(r.out, c.second);
    }
}

TEST(KavloData, SceneMeshes) {
    threeds::Mesh box;
    box.name = "Box01";
    box.vertices = {{0, 0, 0}, {1, 2, 3}, {-1, 0.5f, 5}};
    box.faces = {{0, 1, 2}};
    threeds::Mesh flare;
    flare.name = "flare";
    flare.vertices = {{2, 2, 2}, {3, 2, 2}, {2, 3, 2}, {3, 3, 2}};
    flare.faces = {{0, 1, 2}, {1, 3, 2}};
    std::string error;
    ASSERT_TRUE(threeds::Write3DSFile("scene.3ds", {box, flare}, &error)) << error;

    const Result r = RunTool("info scene.3ds");
    EXPECT_EQ(r.status, 0) << r.err;
    // The loader flips z, so the bounds are over (x, y, -z).
    EXPECT_EQ(r.out,
              "Box01 vertices=3 faces=1 min=(-1,0,-5) max=(1,2,0)\n"
              "flare vertices=4 faces=2 min=(2,2,-2) max=(3,3,-2)\n");
}

TEST(KavloData, ArchiveEntries) {
    threeds::Mesh tri;
    tri.name = "Tri";
    tri.vertices = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    tri.faces = {{0, 1, 2}};
    std::vector<uint8_t> scene;
    std::string error;
    ASSERT_TRUE(threeds::Write3DS({tri}, &scene, &error)) << error;
    const Bytes jpeg = EncodeJpeg(32, 32, 3, [](int, int) { return Rgb{9, 9, 9}; });
    rarpack::RarWriter writer;
    rarpack::EntryOptions packed;
    writer.Add("data/tri.3ds", scene.data(), scene.size(), packed);
    rarpack::EntryOptions locked;
    locked.password = "kavlo";
    writer.Add("data/locked.jpg", jpeg.data(), jpeg.size(), locked);
    ASSERT_TRUE(writer.WriteFile("show.rar", &error)) << error;

    Result r = RunTool("info show.rar data/tri.3ds");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Tri vertices=3 faces=1 min=(0,0,-1) max=(1,1,-1)\n");
    r = RunTool("info --password=kavlo show.rar data/locked.jpg");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "jpeg 32x32 channels=3 texture=yes\n");
    r = RunTool("info show.rar");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "show.rar: non-solid archive, 2 entries");
    EXPECT_NE(r.out.find("data\\tri.3ds size=" + std::to_string(scene.size()) + " packed="),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("data\\locked.jpg size=" + std::to_string(jpeg.size())), std::string::npos);
    EXPECT_NE(r.out.find("*\n"), std::string::npos) << "the encrypted entry is marked";
    r = RunTool("info show.rar data/none.jpg");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot extract data/none.jpg from show.rar"), std::string::npos);
}

// An archive alone is listed by rarpack l's rule and escaping: a damaged header or block
// fails (exit 1, named with its offset), and no name reaches the terminal raw.
TEST(KavloData, ArchiveListingSharesRarpacksRules) {
    const std::string evil = "e\x1b]0;title\x07\x1b[31mred";
    rarpack::RarWriter writer;
    rarpack::EntryOptions stored;
    stored.method = 0;
    writer.Add(evil, "a", 1, stored);
    writer.Add("b", "b", 1, stored);
    Bytes sound;
    std::string error;
    ASSERT_TRUE(writer.Build(&sound, &error)) << error;
    const size_t second = 20 + 32 + evil.size() + 1;
    Bytes crc = sound, skip = sound, type = sound;
    crc[20 + 20] ^= 1;  // the first entry's file time, under its header CRC
    skip[20 + 7] = static_cast<uint8_t>(skip[20 + 7] + 32 + 1 + 1);  // its packed size now skips "b"
    type[second + 2] = 0x30;  // "b" no longer a block type
    const std::string unknown = "kavlo-data: listed.rar: damaged: block of unknown type 0x30 (at offset " +
                                std::to_string(second) + ")\n";
    const struct {
        Bytes archive;
        int status;
        const char* err;
    } cases[] = {
        {sound, 0, ""},
        {crc, 1, "kavlo-data: e\\x1b]0;title\\x07\\x1b[31mred: damaged header at offset 20\n"},
        {skip, 1, "damaged header at offset 20"},
        {type, 1, unknown.c_str()},
    };
    for (const auto& c : cases) {
        Write("listed.rar", c.archive);
        const Result r = RunTool("info listed.rar");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find("e\\x1b]0;title\\x07\\x1b[31mred size=1 packed="), std::string::npos) << r.out;
        EXPECT_EQ((r.out + r.err).find('\x1b'), std::string::npos);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// The reader's debug log only when asked for, and never with the password in it.
TEST(KavloData, NoPasswordInAnyFile) {
    rarpack::RarWriter writer;
    rarpack::EntryOptions locked;
    locked.password = "sesame";
    writer.Add("x.tga", "not a picture", 13, locked);
    std::string error;
    ASSERT_TRUE(writer.WriteFile("locked.rar", &error)) << error;
    std::remove("debug_unrar.txt");
    RunTool("info --password=sesame locked.rar x.tga");
    EXPECT_EQ(Slurp("debug_unrar.txt"), "");
    RunTool("info --debug-log --password=sesame locked.rar x.tga");
    const std::string log = Slurp("debug_unrar.txt");
    EXPECT_NE(log.find("(password is >(hidden)<)"), std::string::npos) << log;
    EXPECT_EQ(log.find("sesame"), std::string::npos);
    std::remove("debug_unrar.txt");
}

TEST(KavloData, UnreadableInputs) {
    Result r = RunTool("info no-such-file.jpg");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open no-such-file.jpg"), std::string::npos);

    r = RunTool("info .");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(". is not a regular file"), std::string::npos);

    Write("noise.dat", Bytes(40, 0x11));
    r = RunTool("info noise.dat");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown file kind"), std::string::npos);

    Write("noise.jpg", Bytes(40, 0x11));
    r = RunTool("info noise.jpg");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a readable JPEG file"), std::string::npos);

    Write("tiny.tga", Bytes(5, 0));
    EXPECT_EQ(RunTool("info tiny.tga").status, 1);

    Write("bad.3ds", Bytes(40, 0x4d));
    r = RunTool("info bad.3ds");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a readable 3DS file"), std::string::npos);

    r = RunTool("info no-such-archive.rar data/loading.jpg");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot extract data/loading.jpg from no-such-archive.rar"),
              std::string::npos);
}

}  // namespace
