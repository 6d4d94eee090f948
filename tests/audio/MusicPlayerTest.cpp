// The music player: its messages, the module/stream name rule, the failure paths, the
// sync callback and the position check that ends the show when a stream wraps.
#include "SoundTestSupport.h"

#include "kavlo/MusicPlayer.h"
#include "platform/message/MessageBox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using soundtest::BasicModule;
using soundtest::Image;
using soundtest::ScopedEnv;

namespace {

struct Box {
    std::string text, caption;
};

class MusicPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        lastStreamPosition = 0;
        platform::SetMessageBoxHook(
            [this](const char* text, const char* caption) { boxes.push_back({text, caption}); });
    }
    void TearDown() override {
        platform::SetMessageBoxHook({});
        sound::OverrideVersion(0);
        sound::Close();
    }
    std::vector<Box> boxes;
};

std::vector<uint8_t> LoopWav(int frames) {
    return soundtest::SoundFile(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, frames, "scratch.wav");
}

std::atomic<int> syncCount{0};
std::atomic<int> lastParam{-1};
void CountSync(sound::Module*, unsigned char param) {
    lastParam = param;
    ++syncCount;
}

}  // namespace

TEST(ErrorText, CoversTheTableAndNothingElse) {
    EXPECT_STREQ(ErrorText(0), "No errors");
    EXPECT_STREQ(ErrorText(1), "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.");
    EXPECT_STREQ(ErrorText(3), "Error initializing output device.");
    EXPECT_STREQ(ErrorText(12), "Not enough memory ");
    EXPECT_STREQ(ErrorText(19), "Required Mediaplayer codec is not installed");
    EXPECT_STREQ(ErrorText(20), "Unknown error");
    EXPECT_STREQ(ErrorText(1000), "Unknown error");
    EXPECT_STREQ(ErrorText(static_cast<unsigned>(-1)), "Unknown error");
    // The layer's own codes all have their texts.
    for (unsigned code : {2u, 5u, 9u, 10u, 11u, 14u, 17u}) EXPECT_STRNE(ErrorText(code), "Unknown error");
}

TEST_F(MusicPlayerTest, VersionGateLetsExactly333Through) {
    sound::OverrideVersion(3.32f);
    MusicPlayer old;
    EXPECT_FALSE(old.Open("musik.xm"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Wrong FMOD version, please download the latest from https://lib.openmpt.org/");
    EXPECT_EQ(boxes[0].caption, "Sound Error");

    sound::OverrideVersion(3.33f);
    MusicPlayer exact;
    EXPECT_TRUE(exact.Open("musik.xm"));
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(MusicPlayerTest, NoOutputDeviceFailsOpenWithTheTableText) {
    ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    MusicPlayer player;
    EXPECT_FALSE(player.Open("musik.xm"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error initializing output device.");
    EXPECT_EQ(boxes[0].caption, "Sound Error");
}

TEST_F(MusicPlayerTest, MissingModuleSurfacesInPlay) {
    std::remove("musik.xm");
    MusicPlayer player;
    EXPECT_TRUE(player.Open("musik.xm"));
    player.SetSyncCallback(CountSync);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(player.Play());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Tried to play a song before loading anything!");
    EXPECT_EQ(boxes[0].caption, "Sound Error");
}

TEST_F(MusicPlayerTest, MissingStreamFilePrintsAndClosesTheLayer) {
    MusicPlayer player;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(player.Open("missing.ogg"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error!\nFile Not Found\n");
    EXPECT_TRUE(boxes.empty());
    // The layer was closed, so it starts again cleanly.
    EXPECT_TRUE(sound::Init(44100, 32, 0));
    sound::Close();
    EXPECT_FALSE(player.Play());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Tried to play a song before loading anything!");
}

TEST_F(MusicPlayerTest, ModulePlaysWithSyncsAndAlwaysPassesThePositionCheck) {
    xm::Module song = BasicModule(8);
    song.speed = 1;
    song.patterns[0].At(1, 1).Sync();
    song.patterns[0].At(5, 1).Sync(0x2A);  // a non-zero parameter arrives as it is
    ASSERT_TRUE(soundtest::WriteBytes("musik.xm", Image(song)));
    MusicPlayer player;
    ASSERT_TRUE(player.Open("musik.xm"));
    syncCount = 0;
    player.SetSyncCallback(CountSync);
    ASSERT_TRUE(player.Play());
    EXPECT_TRUE(boxes.empty());
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (syncCount < 4 && std::chrono::steady_clock::now() < until) {
        EXPECT_TRUE(player.CheckPosition());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(syncCount.load(), 4);
    EXPECT_TRUE(lastParam == 0 || lastParam == 0x2A);
    EXPECT_EQ(lastStreamPosition, 0);
}

TEST_F(MusicPlayerTest, MixedCaseNameIsAStreamThatEndsTheShowOnce) {
    // Upper-case X with lower-case m is not a module name: the WAV is streamed.
    ASSERT_TRUE(soundtest::WriteBytes("song.xM", LoopWav(4410)));
    MusicPlayer player;
    ASSERT_TRUE(player.Open("song.xM"));
    syncCount = 0;
    player.SetSyncCallback(CountSync);  // registers nothing for a stream
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(player.CheckPosition());  // records the starting position
    int falses = 0, trues = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (falses == 0 && std::chrono::steady_clock::now() < until) {
        if (player.CheckPosition()) ++trues;
        else ++falses;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    EXPECT_EQ(falses, 1);
    EXPECT_GT(trues, 0);
    // After the wrap the position climbs again (polled: on a loaded machine one sleep
    // can last past the next wrap of this 0.1 s loop).
    bool climbed = false;
    for (int i = 0; i < 200 && !climbed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        climbed = player.CheckPosition() && lastStreamPosition > 0;
    }
    EXPECT_TRUE(climbed);
    EXPECT_EQ(syncCount.load(), 0);
    EXPECT_TRUE(boxes.empty());
}

// Playing from a time: a module's first sync is the first after it, and its sync list
// has them all; a stream moved back is not one that started over.
TEST_F(MusicPlayerTest, PlayFromAndTheSyncList) {
    xm::Module song = BasicModule(16);
    song.speed = 1;  // rows of 20 ms
    for (int row = 2; row < 16; row += 4) song.patterns[0].At(row, 1).Sync(static_cast<uint8_t>(row));
    ASSERT_TRUE(soundtest::WriteBytes("musik.xm", Image(song)));
    {
        MusicPlayer player;
        ASSERT_TRUE(player.Open("musik.xm"));
        const std::vector<MusicSync> syncs = player.Syncs();
        ASSERT_EQ(syncs.size(), 4u);
        for (size_t i = 0; i < syncs.size(); ++i) EXPECT_NEAR(syncs[i].timeMs, 40 + 80.0 * i, 0.1);
        lastParam = -1;
        player.SetSyncCallback(CountSync);
        ASSERT_TRUE(player.PlayFrom(130));  // between rows 6 and 10
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (lastParam < 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(lastParam.load(), 10);
        player.Pause();
        sound::Close();
    }
    ASSERT_TRUE(soundtest::WriteBytes("song.wav", LoopWav(44100)));
    MusicPlayer stream;
    ASSERT_TRUE(stream.Open("song.wav"));
    ASSERT_TRUE(stream.PlayFrom(800));
    EXPECT_TRUE(stream.CheckPosition());
    EXPECT_GE(lastStreamPosition, 800 * 44100 / 1000);
    ASSERT_TRUE(stream.PlayFrom(100));
    EXPECT_TRUE(stream.CheckPosition());
    EXPECT_TRUE(stream.Syncs().empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MusicPlayerTest, UpperCaseNameIsAModuleEvenWhenItHoldsAWav) {
    ASSERT_TRUE(soundtest::WriteBytes("SONG.XM", LoopWav(441)));
    MusicPlayer player;
    ASSERT_TRUE(player.Open("SONG.XM"));  // the failed module load is not Open's business
    EXPECT_FALSE(player.Play());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Tried to play a song before loading anything!");
}

TEST_F(MusicPlayerTest, UnreadableStreamFileLoadsNothing) {
    ASSERT_TRUE(soundtest::WriteBytes("notes.txt", std::vector<uint8_t>(3000, 'n')));
    ASSERT_TRUE(soundtest::WriteBytes("empty.ogg", {}));
    for (const char* name : {"notes.txt", "empty.ogg", "m"}) {
        if (name[0] == 'm') {  // one letter is never a module name
            ASSERT_TRUE(soundtest::WriteBytes(name, LoopWav(441)));
        }
        boxes.clear();
        MusicPlayer player;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(player.Open(name)) << name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << name;
        if (name[0] == 'm') {
            EXPECT_TRUE(player.Play()) << name;
        } else {
            EXPECT_FALSE(player.Play()) << name;
            ASSERT_EQ(boxes.size(), 1u) << name;
            EXPECT_EQ(boxes[0].text, "Tried to play a song before loading anything!");
        }
        sound::Close();
    }
}
