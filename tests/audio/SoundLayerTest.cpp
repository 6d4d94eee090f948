// The sound layer on SDL's dummy and disk audio drivers: start-up and error codes,
// modules with their Zxx callback on the audio thread, streams on channels, real output.
#include "SoundTestSupport.h"

#include "audio/Sound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using soundtest::BasicModule;
using soundtest::Image;
using soundtest::ScopedEnv;

namespace {

class SoundLayer : public ::testing::Test {
protected:
    void TearDown() override { sound::Close(); }
    bool Start(int channels = 32) {
        return sound::SetOutput(2) && sound::SetDriver(0) && sound::Init(44100, channels, 0);
    }
};

template <typename Done>
bool WaitFor(Done done, int ms = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// What the Zxx callback saw, shared with the audio thread.
struct Seen {
    std::mutex mutex;
    std::vector<int> params;
    std::vector<std::thread::id> threads;
    sound::Module* module = nullptr;
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex);
        return params.size();
    }
} seen;

void OnZxx(sound::Module* module, unsigned char param) {
    std::lock_guard<std::mutex> lock(seen.mutex);
    seen.params.push_back(param);
    seen.threads.push_back(std::this_thread::get_id());
    seen.module = module;
}

void ResetSeen() {
    std::lock_guard<std::mutex> lock(seen.mutex);
    seen.params.clear();
    seen.threads.clear();
    seen.module = nullptr;
}

// Speed 1: a row every 882 frames (20 ms), so the test hears many rows quickly.
xm::Module FastSyncModule(int rows, int every) {
    xm::Module song = BasicModule(rows);
    song.speed = 1;
    for (int row = 0; row < rows; row += every) song.patterns[0].At(row, 1).Sync(static_cast<uint8_t>(row));
    return song;
}

}  // namespace

TEST_F(SoundLayer, CallsBeforeInitReportUninitialized) {
    EXPECT_EQ(sound::LoadSong("anything.xm"), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrUninitialized);
    char image[4] = {};
    EXPECT_EQ(sound::StreamOpen(image, sound::kLoadMemory, 4), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrUninitialized);
    EXPECT_EQ(sound::StreamPlay(-1, nullptr), -1);
    EXPECT_FALSE(sound::SetPan(0, -1));
    EXPECT_FALSE(sound::PlaySong(nullptr));
    // The player polls a null stream when a module plays: always 0.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sound::StreamGetPosition(nullptr), 0);
}

TEST_F(SoundLayer, StartsOnceAndRefusesSetupAfterwards) {
    EXPECT_GE(sound::GetVersion(), 3.33f);
    EXPECT_FALSE(sound::SetOutput(1));
    EXPECT_EQ(sound::GetError(), sound::kErrInvalidParam);
    EXPECT_FALSE(sound::SetDriver(-1));
    EXPECT_FALSE(sound::Init(44100, 0, 0));
    EXPECT_EQ(sound::GetError(), sound::kErrInvalidParam);
    ASSERT_TRUE(Start());
    EXPECT_EQ(sound::GetError(), sound::kErrNone);
    EXPECT_FALSE(sound::Init(44100, 32, 0));
    EXPECT_EQ(sound::GetError(), sound::kErrAlreadyInitialized);
    EXPECT_FALSE(sound::SetOutput(2));
    EXPECT_EQ(sound::GetError(), sound::kErrAlreadyInitialized);
    sound::MixerStats stats = sound::GetMixerStats();
    EXPECT_EQ(stats.deviceRate, 44100);
    sound::Close();
    sound::Close();  // twice is harmless
    EXPECT_TRUE(Start());
}

TEST_F(SoundLayer, NoAudioDeviceFailsWithTheInitCode) {
    ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    EXPECT_FALSE(Start());
    EXPECT_EQ(sound::GetError(), sound::kErrInit);
    EXPECT_EQ(sound::LoadSong("x.xm"), nullptr);  // still not started
    EXPECT_EQ(sound::GetError(), sound::kErrUninitialized);
}

TEST_F(SoundLayer, LoadSongReportsMissingAndUnreadableFiles) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(sound::LoadSong("missing.xm"), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrFileNotFound);
    ASSERT_TRUE(soundtest::WriteBytes("junk.xm", std::vector<uint8_t>(3000, 0x11)));
    EXPECT_EQ(sound::LoadSong("junk.xm"), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrFormat);
    ASSERT_TRUE(soundtest::WriteBytes("empty.xm", {}));
    EXPECT_EQ(sound::LoadSong("empty.xm"), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrFormat);
    EXPECT_EQ(sound::LoadSong(nullptr), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrInvalidParam);
    EXPECT_FALSE(sound::SetMasterVolume(nullptr, 255));
}

TEST_F(SoundLayer, ModuleSyncsReachTheCallbackOnTheAudioThread) {
    ASSERT_TRUE(soundtest::WriteBytes("syncs.xm", Image(FastSyncModule(16, 2))));
    ASSERT_TRUE(Start());
    sound::Module* module = sound::LoadSong("syncs.xm");
    ASSERT_NE(module, nullptr);
    ResetSeen();
    EXPECT_TRUE(sound::SetZxxCallback(module, OnZxx));
    EXPECT_FALSE(sound::SetMasterVolume(module, 256));
    EXPECT_TRUE(sound::SetMasterVolume(module, 255));
    EXPECT_FALSE(sound::IsSongPlaying(module));
    ASSERT_TRUE(sound::PlaySong(module));
    EXPECT_TRUE(sound::IsSongPlaying(module));
    // 16 rows of 20 ms: the song loops, so the row-0 sync comes again after row 14.
    ASSERT_TRUE(WaitFor([] { return seen.Count() >= 10; }));
    EXPECT_TRUE(sound::StopSong(module));
    {
        // Released before FreeSong: the callback takes it under the device lock, so
        // holding it while taking the device lock orders the two locks both ways.
        std::lock_guard<std::mutex> lock(seen.mutex);
        for (size_t i = 0; i < 10; ++i)
            EXPECT_EQ(seen.params[i], static_cast<int>((2 * i) % 16)) << i;
        for (std::thread::id id : seen.threads) EXPECT_NE(id, std::this_thread::get_id());
        EXPECT_EQ(seen.module, module);
    }
    EXPECT_GE(sound::GetMixerStats().syncsDelivered, 10u);
    sound::FreeSong(module);
}

TEST_F(SoundLayer, StoppedAndSilencedSongsDeliverNothingMore) {
    ASSERT_TRUE(soundtest::WriteBytes("syncs.xm", Image(FastSyncModule(8, 1))));
    ASSERT_TRUE(Start());
    sound::Module* module = sound::LoadSong("syncs.xm");
    ASSERT_NE(module, nullptr);
    ResetSeen();
    sound::SetZxxCallback(module, OnZxx);
    sound::PlaySong(module);
    ASSERT_TRUE(WaitFor([] { return seen.Count() >= 2; }));
    sound::SetZxxCallback(module, nullptr);  // from here on, rows pass unheard
    // A callback the audio thread had already picked up may still land; let it.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    size_t before = seen.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(seen.Count(), before);
    sound::SetZxxCallback(module, OnZxx);
    sound::StopSong(module);
    before = seen.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(seen.Count(), before);
    EXPECT_FALSE(sound::IsSongPlaying(module));
    sound::FreeSong(module);
}

TEST_F(SoundLayer, HandlesOutliveClose) {
    ASSERT_TRUE(soundtest::WriteBytes("syncs.xm", Image(FastSyncModule(8, 1))));
    ASSERT_TRUE(Start());
    sound::Module* module = sound::LoadSong("syncs.xm");
    ASSERT_NE(module, nullptr);
    sound::PlaySong(module);
    sound::Close();
    EXPECT_FALSE(sound::IsSongPlaying(module));
    EXPECT_FALSE(sound::PlaySong(module));
    EXPECT_EQ(sound::GetError(), sound::kErrUninitialized);
    ASSERT_TRUE(Start());
    ResetSeen();
    sound::SetZxxCallback(module, OnZxx);
    EXPECT_TRUE(sound::PlaySong(module));
    EXPECT_TRUE(WaitFor([] { return seen.Count() >= 1; }));
    sound::FreeSong(module);
    EXPECT_FALSE(sound::PlaySong(module));  // refused, not used after free
    EXPECT_EQ(sound::GetError(), sound::kErrInvalidParam);
}

TEST_F(SoundLayer, StreamsPlayOnFreeChannelsAndLoop) {
    // 0.1 s at 44100 Hz, looping: the position climbs and falls back to near 0.
    std::vector<uint8_t> wav = soundtest::SoundFile(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 4410, "s.wav");
    ASSERT_FALSE(wav.empty());
    ASSERT_TRUE(Start(2));
    EXPECT_EQ(sound::StreamOpen(wav.data(), sound::kLoadMemory, 0), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrInvalidParam);
    sound::Stream* a = sound::StreamOpen(wav.data(), 0x8052, static_cast<int>(wav.size()));
    sound::Stream* b = sound::StreamOpen(wav.data(), 0x8052, static_cast<int>(wav.size()));
    sound::Stream* c = sound::StreamOpen(wav.data(), 0x8052, static_cast<int>(wav.size()));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(sound::StreamGetPosition(a), 0);
    EXPECT_EQ(sound::StreamPlay(-1, a), 0);
    EXPECT_EQ(sound::StreamPlay(-1, b), 1);
    EXPECT_EQ(sound::StreamPlay(-1, c), -1);
    EXPECT_EQ(sound::GetError(), sound::kErrChannelAlloc);
    EXPECT_EQ(sound::StreamPlay(5, c), -1);
    EXPECT_EQ(sound::GetError(), sound::kErrInvalidParam);
    EXPECT_TRUE(sound::SetPan(0, sound::kPanStereo));
    EXPECT_TRUE(sound::SetPan(1, 255));
    EXPECT_FALSE(sound::SetPan(1, 256));
    EXPECT_FALSE(sound::SetPan(2, 0));
    EXPECT_EQ(sound::GetError(), sound::kErrInvalidParam);

    int highest = 0;
    bool wrapped = WaitFor([&] {
        int p = sound::StreamGetPosition(a);
        if (p < highest) return true;
        highest = p;
        return false;
    });
    EXPECT_TRUE(wrapped);
    EXPECT_GT(highest, 0);
    EXPECT_LE(highest, 4410);
    EXPECT_TRUE(sound::IsStreamPlaying(a));
    EXPECT_TRUE(sound::StreamStop(b));
    EXPECT_FALSE(sound::IsStreamPlaying(b));
    EXPECT_EQ(sound::StreamPlay(-1, c), 1);  // the freed channel
    sound::StreamClose(a);
    sound::StreamClose(b);
    sound::StreamClose(c);
}

TEST_F(SoundLayer, AStreamThatDoesNotLoopEndsAndFreesItsChannel) {
    std::vector<uint8_t> wav = soundtest::SoundFile(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 1000, "s.wav");
    ASSERT_TRUE(Start(1));
    sound::Stream* once = sound::StreamOpen(wav.data(), sound::kLoadMemory, static_cast<int>(wav.size()));
    ASSERT_NE(once, nullptr);
    EXPECT_EQ(sound::StreamPlay(-1, once), 0);
    EXPECT_TRUE(WaitFor([&] { return !sound::IsStreamPlaying(once); }));
    EXPECT_EQ(sound::StreamGetPosition(once), 1000);
    EXPECT_EQ(sound::StreamPlay(-1, once), 0);  // from the start again
    sound::StreamClose(once);
}

TEST_F(SoundLayer, StreamsOpenByFileNameAndRefuseNonAudio) {
    std::vector<uint8_t> wav = soundtest::SoundFile(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 441, "s.wav");
    ASSERT_TRUE(soundtest::WriteBytes("tone.wav", wav));
    ASSERT_TRUE(soundtest::WriteBytes("notes.txt", std::vector<uint8_t>(2000, 'x')));
    ASSERT_TRUE(Start());
    sound::Stream* byName = sound::StreamOpen("tone.wav", sound::kLoopNormal, 0);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(sound::StreamOpen("missing.wav", 0, 0), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrFileNotFound);
    std::vector<uint8_t> text(2000, 'x');
    EXPECT_EQ(sound::StreamOpen(text.data(), 0x8052, static_cast<int>(text.size())), nullptr);
    EXPECT_EQ(sound::GetError(), sound::kErrFormat);
    sound::StreamClose(byName);
}

TEST_F(SoundLayer, SoundComesOutOfTheDevice) {
    const char* path = "disk-output.raw";
    std::remove(path);
    {
        ScopedEnv driver("SDL_AUDIODRIVER", "disk");
        ScopedEnv file("SDL_DISKAUDIOFILE", path);
        ASSERT_TRUE(soundtest::WriteBytes("tone.xm", Image(BasicModule(8))));
        ASSERT_TRUE(Start());
        sound::Module* module = sound::LoadSong("tone.xm");
        ASSERT_NE(module, nullptr);
        ASSERT_TRUE(sound::PlaySong(module));
        ASSERT_TRUE(WaitFor([] { return sound::GetMixerStats().framesMixed >= 22050; }));
        sound::Close();
        sound::FreeSong(module);
    }
    // The disk driver writes the device's own format: float stereo at 44100 Hz.
    std::vector<uint8_t> raw = soundtest::ReadBytes(path);
    ASSERT_GE(raw.size(), 22050u * 8);
    std::vector<float> samples(raw.size() / sizeof(float));
    std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
    EXPECT_GT(soundtest::Peak(samples), 0.05f);
    std::remove(path);
}
