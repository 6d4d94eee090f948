// A seek draws what a steady 60 fps run draws there: kavlo-capture's frame at that time,
// for a start option and for a seek back by key, with the music's syncs as the sound
// layer lists them (which are the capture's own). PSNR and the seek's time are printed.
#include "platform/window/GLWindow.h"
#include "app/common/Options.h"
#include "main.h"
#include "audio/ModuleRenderer.h"
#include "Psnr.h"

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kShow = std::string(KAVLO_BINARY_DIR) + "/show";
// Small, so that the reference run to the last time stays quick on the software
// renderer; KAVLO_SEEK_SIZE (WxH) measures at another.
RenderSize SeekSize() {
    RenderSize size {200, 150};
    if (const char* text = std::getenv("KAVLO_SEEK_SIZE")) ParseRenderSize(text, &size);
    return size;
}
const RenderSize kSize = SeekSize();

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The music's syncs as kavlo's sound layer lists them.
std::vector<MusicSync> SoundLayerSyncs() {
    std::ifstream in(kShow + "/musik.xm", std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    sound::ModuleRenderer renderer;
    std::vector<MusicSync> syncs;
    if (!renderer.Load(bytes.data(), bytes.size(), nullptr)) return syncs;
    for (const sound::SyncEvent& e : renderer.Syncs())
        syncs.push_back({e.frame * 1000.0 / sound::ModuleRenderer::kSampleRate, e.param});
    return syncs;
}

// The show with a clock that stands still, so that only the frames a seek fixes move
// it; each frame is read back before its swap, and the scripted keys are handed out
// one after each frame.
class SeekPlatform : public ShowClock, public ShowMusic, public ShowScreen, public ShowInput {
public:
    ShellPlatform Shell() { return {*this, *this, *this, *this}; }
    std::vector<MusicSync> syncs;
    std::vector<PlayerKey> keys;
    size_t framesWanted = 1;
    std::vector<std::vector<uint8_t>> pictures;
    double loadedAt = 0, firstSwapAt = 0, keyAt = 0, lastSwapAt = 0;

    void StartAt(uint32_t ms) override { originMs_ = ms; }
    uint32_t FrameTime() override { return originMs_; }
    bool QuitRequested() override { return quit_; }
    bool OpenMusic(const char*) override { return true; }
    void SetSyncCallback(SyncCallback) override {}
    bool PlayMusic() override { return Started(); }
    bool PlayMusicFrom(uint32_t) override { return Started(); }
    std::vector<MusicSync> MusicSyncs() override { return syncs; }
    bool CheckPosition() override { return true; }
    bool CreateWindow(int w, int h, int hz, int bpp, bool) override {
        return GLWindow::Create(w, h, hz, bpp, false);
    }
    bool LoadExtensions() override { return GLWindow::LoadExtensions(); }
    void SwapAndPump() override {
        if (playing_) {
            std::unique_ptr<uint8_t[]> rgba;
            int w = 0, h = 0;
            GLWindow::ReadPicture(&rgba, &w, &h);
            pictures.emplace_back(rgba.get(), rgba.get() + static_cast<size_t>(w) * h * 4);
            (pictures.size() == 1 ? firstSwapAt : lastSwapAt) = NowSeconds();
            if (pictures.size() >= framesWanted) quit_ = true;
        } else {
            loadedAt = NowSeconds();
        }
        GLWindow::SwapAndPump();
    }
    void DestroyWindow() override { GLWindow::Destroy(); }
    PlayerKey TakeKey() override {
        if (pictures.empty() || nextKey_ >= keys.size() || pictures.size() <= nextKey_) return PlayerKey::None;
        keyAt = NowSeconds();
        return keys[nextKey_++];
    }

private:
    bool Started() {
        playing_ = true;
        return true;
    }
    bool playing_ = false, quit_ = false;
    uint32_t originMs_ = 0;
    size_t nextKey_ = 0;
};

std::vector<uint8_t> ReadPng(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint8_t> rgb;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return rgb;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) rgb.clear();
    return rgb;
}

class SeekTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access((kShow + "/megadata.rar").c_str(), R_OK) != 0) GTEST_SKIP() << "the show data is not built";
        struct stat st;
        if (stat("megadata.rar", &st) != 0) {
            ASSERT_EQ(symlink((kShow + "/megadata.rar").c_str(), "megadata.rar"), 0);
        }
        syncPending = 0;
    }
    // kavlo-capture's frames at these times, at kSize.
    std::vector<std::vector<uint8_t>> Reference(const std::vector<uint32_t>& times) {
        char here[4096];
        EXPECT_NE(getcwd(here, sizeof here), nullptr);
        std::string list;
        for (uint32_t t : times) list += (list.empty() ? "" : ",") + std::to_string(t);
        const std::string cmd = "cd '" + kShow + "' && " + CAPTURE_TOOL + " -q --size " +
                                std::to_string(kSize.width) + "x" + std::to_string(kSize.height) +
                                " --at " + list + " -o '" + here + "/reference/' > /dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::vector<std::vector<uint8_t>> frames;
        for (uint32_t t : times)
            frames.push_back(ReadPng(std::string(here) + "/reference/at_" + std::to_string(t) + ".png"));
        return frames;
    }
};

// The sound layer knows the syncs at the times the capture places them (its --syncs).
TEST_F(SeekTest, SoundLayerListsTheCapturesSyncs) {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    const std::string cmd = "cd '" + kShow + "' && " + CAPTURE_TOOL + " --syncs > '" + here + "/syncs.txt'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::istringstream in([&] {
        std::ifstream f(std::string(here) + "/syncs.txt");
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }());
    std::vector<double> captured;
    for (double t; in >> t;) captured.push_back(t);
    const std::vector<MusicSync> listedSyncs = SoundLayerSyncs();
    ASSERT_EQ(listedSyncs.size(), captured.size());
    for (size_t i = 0; i < captured.size(); ++i) {
        EXPECT_EQ(listedSyncs[i].timeMs, captured[i]) << i;
        EXPECT_EQ(listedSyncs[i].param, 0) << i;
    }
}

// Times in KAVLO_SEEK_TIMES (comma-separated) are checked instead of the default ones.
TEST_F(SeekTest, StartAndSeekBackDrawTheCapturesFrame) {
    std::vector<uint32_t> times = {20500, 30000};
    if (const char* env = std::getenv("KAVLO_SEEK_TIMES")) {
        times.clear();
        std::stringstream list(env);
        for (std::string t; std::getline(list, t, ',');) times.push_back(static_cast<uint32_t>(std::stoul(t)));
    }
    const std::vector<std::vector<uint8_t>> reference = Reference(times);
    const std::vector<MusicSync> syncs = SoundLayerSyncs();
    for (size_t i = 0; i < times.size(); ++i) {
        SCOPED_TRACE(times[i]);
        // Started 5 s later and sent back by Left: the state of the later time must go.
        const bool viaKey = times[i] + 5000 < kShowLengthMs;
        SeekPlatform seek;
        seek.syncs = syncs;
        if (viaKey) {
            seek.keys = {PlayerKey::Back};
            seek.framesWanted = 2;
        }
        PlayOptions options;
        options.startMs = viaKey ? times[i] + 5000 : times[i];
        ASSERT_EQ(RunDemo(seek.Shell(), false, kSize, options), kExitSuccess);
        ASSERT_EQ(seek.pictures.size(), seek.framesWanted);
        const std::vector<uint8_t> picture =
            testsupport::RgbTopDown(seek.pictures.back(), kSize.width, kSize.height);
        const double psnr = testsupport::Psnr(picture, reference[i]);
        std::printf("seek to %u ms: PSNR %.1f dB against the capture; %s %.0f ms\n", times[i], psnr,
                    viaKey ? "Left took" : "--start took",
                    1000 * (viaKey ? seek.lastSwapAt - seek.keyAt : seek.firstSwapAt - seek.loadedAt));
        EXPECT_GE(psnr, 40.0);
    }
}

}  // namespace
