// Measures (and prints, never asserts on) how quickly a Zxx row reaches its callback
// and how much of the audio thread's time the mixer takes while a module plays.
#include "SoundTestSupport.h"

#include "audio/ModuleRenderer.h"
#include "audio/Sound.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int kRows = 64;
std::atomic<int> arrivals{0};
int64_t arrivalNs[4096];

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Arrive(sound::Module*, unsigned char) {
    int i = arrivals.fetch_add(1);
    if (i < 4096) arrivalNs[i] = NowNs();
}

struct Figures {
    double seconds, cpuShare, meanLatencyUs, maxLatencyUs;
    uint64_t syncs;
};

Figures Play(const std::string& path, double seconds) {
    Figures f{};
    EXPECT_TRUE(sound::SetOutput(2) && sound::SetDriver(0) && sound::Init(44100, 32, 0));
    sound::Module* module = sound::LoadSong(path.c_str());
    EXPECT_NE(module, nullptr);
    if (!module) return f;
    sound::SetZxxCallback(module, Arrive);
    arrivals = 0;
    sound::PlaySong(module);
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    sound::MixerStats stats = sound::GetMixerStats();
    sound::Close();
    sound::FreeSong(module);
    f.seconds = static_cast<double>(stats.framesMixed) / stats.deviceRate;
    f.cpuShare = stats.busyNs / 1e9 / f.seconds;
    f.syncs = stats.syncsDelivered;
    f.meanLatencyUs = stats.syncsDelivered ? stats.syncLatencyTotalNs / 1e3 / stats.syncsDelivered : 0;
    f.maxLatencyUs = stats.syncLatencyMaxNs / 1e3;
    return f;
}

}  // namespace

TEST(SoundTiming, SyncLatencyAndMixerLoad) {
    // Speed 1 at 125 BPM: a row, and a sync, every 20 ms.
    xm::Module song = soundtest::BasicModule(kRows, 4);
    song.speed = 1;
    for (int row = 0; row < kRows; ++row) song.patterns[0].At(row, 3).Sync(static_cast<uint8_t>(row));
    for (int row = 0; row < kRows; row += 2) song.patterns[0].At(row, 1).Play("E-5", 1);
    ASSERT_TRUE(soundtest::WriteBytes("timing.xm", soundtest::Image(song)));

    const double kFrameMs = 1000.0 / 75;
    Figures f = Play("timing.xm", 2.0);
    ASSERT_GT(f.syncs, 20u);
    // Arrival spread against the rows' own clock: a straight line fitted through the
    // arrival times (the dummy driver's clock runs at its own rate) leaves the bursts of
    // one device buffer rendered ahead at a time.
    int n = std::min(arrivals.load(), 4096);
    double sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
    for (int i = 0; i < n; ++i) {
        double y = static_cast<double>(arrivalNs[i] - arrivalNs[0]);
        sumX += i;
        sumY += y;
        sumXX += static_cast<double>(i) * i;
        sumXY += i * y;
    }
    double slope = (n * sumXY - sumX * sumY) / (n * sumXX - sumX * sumX);
    double intercept = (sumY - slope * sumX) / n;
    double low = 1e18, high = -1e18;
    for (int i = 0; i < n; ++i) {
        double residual = static_cast<double>(arrivalNs[i] - arrivalNs[0]) - (intercept + slope * i);
        low = std::min(low, residual);
        high = std::max(high, residual);
    }
    double rowMs = song.RowFrames() / 44100 * 1000;
    sound::MixerStats buffer = sound::GetMixerStats();
    std::printf("sound timing: %llu syncs in %.2f s of audio; render-to-callback latency mean %.1f us, "
                "max %.1f us (%.4f of a %.1f ms frame); rows %.2f ms apart arrive every %.2f ms, "
                "spread %.2f ms around that (device buffer %d frames = %.1f ms)\n",
                static_cast<unsigned long long>(f.syncs), f.seconds, f.meanLatencyUs, f.maxLatencyUs,
                f.maxLatencyUs / 1000 / kFrameMs, kFrameMs, rowMs, slope / 1e6, (high - low) / 1e6,
                buffer.deviceBufferFrames,
                buffer.deviceBufferFrames * 1000.0 / 44100);
    std::printf("sound timing: audio thread busy %.2f%% of real time (sync test module)\n",
                100 * f.cpuShare);

    const char* real = "/usr/share/games/bomberclone/music/slice_me_nice.xm";
    if (std::FILE* file = std::fopen(real, "rb")) {
        std::fclose(file);
        Figures r = Play(real, 2.0);
        std::printf("sound timing: audio thread busy %.2f%% of real time (14-channel FastTracker 2 song)\n",
                    100 * r.cpuShare);
    }
}

// The renderer's cost (64-frame chunks with row tracking, as the mixer runs it) against
// libopenmpt rendering the same song in large blocks, measured in the same run.
TEST(SoundTiming, RowTrackingCostAgainstPlainLibopenmpt) {
    std::string path = "/usr/share/games/bomberclone/music/slice_me_nice.xm";
    std::vector<uint8_t> image = soundtest::ReadBytes(path);
    if (image.empty()) {
        xm::Module song = soundtest::BasicModule(64, 4);
        for (int row = 0; row < 64; ++row) song.patterns[0].At(row, 2).Play("G-4", 1).Sync();
        image = soundtest::Image(song);
    }
    const size_t kFrames = 10 * 44100;
    std::vector<float> out(2 * 4096);
    auto plain = [&] {
        openmpt_module* module = openmpt_module_create_from_memory2(
            image.data(), image.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
            nullptr, nullptr, nullptr, nullptr);
        openmpt_module_set_repeat_count(module, -1);
        int64_t start = NowNs();
        for (size_t done = 0; done < kFrames; done += 4096)
            openmpt_module_read_interleaved_float_stereo(module, 44100, 4096, out.data());
        int64_t ns = NowNs() - start;
        openmpt_module_destroy(module);
        return ns;
    };
    auto tracked = [&] {
        sound::ModuleRenderer renderer;
        EXPECT_TRUE(renderer.Load(image.data(), image.size(), nullptr));
        int64_t start = NowNs();
        for (size_t done = 0; done < kFrames; done += 512) renderer.Render(out.data(), 512, nullptr, nullptr);
        return NowNs() - start;
    };
    int64_t best[2] = {INT64_MAX, INT64_MAX};
    for (int round = 0; round < 3; ++round) {
        best[0] = std::min(best[0], plain());
        best[1] = std::min(best[1], tracked());
    }
    std::printf("sound timing: 10 s of music rendered in %.1f ms by libopenmpt in 4096-frame blocks, "
                "%.1f ms by the renderer in 64-frame chunks with row tracking: ratio %.2f\n",
                best[0] / 1e6, best[1] / 1e6, static_cast<double>(best[1]) / best[0]);
}

namespace {

// Each beat's sync: the song frame its row began at, and when it was delivered.
std::atomic<int> beats{0};
uint64_t beatFrame[512];
int64_t beatDeliveredNs[512];

void Beat(sound::Module*, unsigned char) {
    int i = beats.fetch_add(1);
    if (i >= 512) return;
    beatFrame[i] = sound::GetMixerStats().lastSyncFrame;
    beatDeliveredNs[i] = NowNs();
}

// Plays the module on SDL's disk driver (paced, or as fast as it can go with
// SDL_DISKAUDIODELAY=0) until the beat at `seconds` has come.
struct LiveRun {
    int64_t playCalledNs = 0, playReturnedNs = 0, endNs = 0;
    uint64_t framesAtPlay = 0;  // the device runs, silent, from Init on
    sound::MixerStats stats;
};
LiveRun PlayOnDisk(const char* path, int rate, double seconds, bool paced) {
    LiveRun run;
    soundtest::ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    soundtest::ScopedEnv file("SDL_DISKAUDIOFILE", "/dev/null");
    soundtest::ScopedEnv delay("SDL_DISKAUDIODELAY", paced ? nullptr : "0");
    EXPECT_TRUE(sound::SetOutput(2) && sound::SetDriver(0) && sound::Init(rate, 32, 0));
    sound::Module* module = sound::LoadSong(path);
    EXPECT_NE(module, nullptr);
    if (!module) return run;
    sound::SetZxxCallback(module, Beat);
    beats = 0;
    run.playCalledNs = NowNs();
    sound::PlaySong(module);
    run.playReturnedNs = NowNs();
    run.framesAtPlay = sound::GetMixerStats().framesMixed;
    const int64_t giveUp =
        NowNs() + static_cast<int64_t>(seconds * 1e9) * (paced ? 2 : 1) + 120000000000LL;
    while (beats.load() <= static_cast<int>(seconds * 2) && NowNs() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(paced ? 5 : 20));
    run.endNs = NowNs();
    run.stats = sound::GetMixerStats();
    sound::Close();
    sound::FreeSong(module);
    return run;
}

}  // namespace

// The show's length at both rates SDL opens here, through the device callback: every
// beat's row begins on the device's frame clock where the tempo puts it. The offsets a
// clock started after PlaySong sees against what is heard are printed, not asserted.
TEST(SoundTiming, ShowLengthSongKeepsItsBeatOnTheDeviceAtBothRates) {
    // 120 BPM at speed 6, as the show's music: a row every 125 ms, a sync every beat.
    xm::Module song = soundtest::BasicModule(64, 4);
    song.bpm = 120;
    for (int row = 0; row < 64; row += 4) song.patterns[0].At(row, 3).Sync();
    song.orders.assign(22, 0);  // 176 s
    std::vector<uint8_t> image = soundtest::Image(song);
    ASSERT_TRUE(soundtest::WriteBytes("show-length.xm", image));
    for (int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        // libopenmpt on its own, for comparison: where the beat at 170 s begins.
        openmpt_module* plain = openmpt_module_create_from_memory2(
            image.data(), image.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
            nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(plain, nullptr);
        std::vector<float> block(2 * 64);
        uint64_t plainFrame = 0;
        auto readUntil = [&](int row, size_t step) {
            while (openmpt_module_get_current_order(plain) < 21 ||
                   openmpt_module_get_current_row(plain) < row)
                plainFrame += openmpt_module_read_interleaved_float_stereo(plain, rate, step, block.data());
        };
        readUntil(15, 64);
        readUntil(16, 1);
        openmpt_module_destroy(plain);
        const double plainAt170 = (plainFrame - 1) * 1000.0 / rate - 170000;

        // Paced as a device: the start, and how far ahead of its sound a sync arrives.
        LiveRun paced = PlayOnDisk("show-length.xm", rate, 2, true);
        EXPECT_GE(paced.playReturnedNs, paced.stats.songStartNs)
            << "PlaySong returned before its song was due";
        ASSERT_GE(beats.load(), 1);
        const double bufferMs = paced.stats.deviceBufferFrames * 1000.0 / rate;
        // Offsets: when the sound of a moment is heard minus when the clock shows it.
        const double startMs = (paced.stats.songStartNs - paced.playReturnedNs) / 1e6;
        const double unwaitedMs = (paced.stats.songStartNs - paced.playCalledNs) / 1e6;
        const double aheadMs = (paced.stats.songStartNs - beatDeliveredNs[0]) / 1e6;
        const double pacing = (paced.stats.framesMixed - paced.framesAtPlay) * 1e9 / rate /
                              (paced.endNs - paced.playReturnedNs);

        // The whole show as fast as the driver goes: every beat on the device's frames.
        PlayOnDisk("show-length.xm", rate, 172, false);
        int n = std::min(beats.load(), 512);
        ASSERT_GE(n, 345);
        double worst = 0;
        for (int i = 0; i < n; ++i) {
            double ms = beatFrame[i] * 1000.0 / rate;
            EXPECT_NEAR(ms, i * 500.0, 1.0) << "beat " << i;
            worst = std::max(worst, std::fabs(ms - i * 500.0));
        }
        const double at170 = beatFrame[340] * 1000.0 / rate - 170000;
        std::printf("live sync at %d Hz, device buffer %d frames (%.1f ms), sound heard minus "
                    "clock: at the start %+.2f ms (PlaySong waited %.1f ms; without the wait "
                    "%+.1f ms), at 170 s %+.2f ms (beats within %.3f ms of their rows; libopenmpt "
                    "alone would be %+.1f ms there, %+.1f ms without the wait); a sync arrives "
                    "%.1f ms before it is heard; the disk driver itself runs %.1f%% fast\n",
                    rate, paced.stats.deviceBufferFrames, bufferMs, startMs,
                    (paced.playReturnedNs - paced.playCalledNs) / 1e6, unwaitedMs, startMs + at170,
                    worst, startMs + plainAt170, unwaitedMs + plainAt170, aheadMs,
                    100 * (pacing - 1));
    }
}

// The silent output (kavlo --mute) plays and syncs with no device, and never gets ahead
// of the steady clock: its buffers are due on absolute times, where SDL's dummy driver
// sleeps whole milliseconds per buffer and runs a few percent fast.
TEST(SoundTiming, SilentOutputSyncsWithoutADeviceAndKeepsTheClock) {
    xm::Module song = soundtest::BasicModule(64, 4);
    for (int row = 0; row < 64; row += 4) song.patterns[0].At(row, 3).Sync();
    ASSERT_TRUE(soundtest::WriteBytes("silent.xm", soundtest::Image(song)));
    soundtest::ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");  // no device at all
    sound::UseSilentOutput(true);
    const int64_t initNs = NowNs();
    ASSERT_TRUE(sound::SetOutput(2) && sound::SetDriver(0) && sound::Init(44100, 32, 0));
    sound::Module* module = sound::LoadSong("silent.xm");
    ASSERT_NE(module, nullptr);
    arrivals = 0;
    sound::SetZxxCallback(module, Arrive);
    sound::PlaySong(module);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const sound::MixerStats stats = sound::GetMixerStats();
    const int64_t elapsedNs = NowNs() - initNs;
    sound::Close();
    sound::FreeSong(module);
    sound::UseSilentOutput(false);
    EXPECT_GE(arrivals.load(), 1);
    EXPECT_EQ(stats.deviceRate, 44100);
    // At most the buffer being mixed ahead of the clock.
    EXPECT_LE(static_cast<double>(stats.framesMixed),
              elapsedNs * 44100.0 / 1e9 + stats.deviceBufferFrames);
    EXPECT_GT(stats.framesMixed, 0u);
}

// Paced by hand (a test clock), the silent output mixes exactly as far as it is told,
// delivers the sync of a row once the row's first frame is mixed and not before, and
// mixes nothing while nobody asks.
TEST(SoundTiming, SilentOutputPacedByHandMixesOnlyWhatItIsTold) {
    xm::Module song = soundtest::BasicModule(16, 4);
    for (int row = 0; row < 16; row += 4) song.patterns[0].At(row, 3).Sync();
    ASSERT_TRUE(soundtest::WriteBytes("byhand.xm", soundtest::Image(song)));
    sound::UseSilentOutput(true);
    sound::PaceSilentOutputByHand(true);
    ASSERT_TRUE(sound::Init(44100, 32, 0));
    sound::Module* module = sound::LoadSong("byhand.xm");
    ASSERT_NE(module, nullptr);
    arrivals = 0;
    sound::SetZxxCallback(module, Arrive);
    sound::PlaySong(module);
    constexpr uint64_t kSyncRow = 4 * 5292;  // frames from one sync row to the next
    const struct {
        uint64_t mixTo;
        int syncs;
    } steps[] = {{1, 1}, {kSyncRow, 1}, {kSyncRow + 1, 2}, {kSyncRow + 1, 2}, {3 * kSyncRow + 1, 4}};
    for (const auto& step : steps) {
        sound::MixSilentOutput(step.mixTo);
        EXPECT_EQ(sound::GetMixerStats().framesMixed, step.mixTo);
        EXPECT_EQ(arrivals.load(), step.syncs) << "mixed to frame " << step.mixTo;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sound::GetMixerStats().framesMixed, 3 * kSyncRow + 1);
    sound::Close();
    sound::FreeSong(module);
    sound::PaceSilentOutputByHand(false);
    sound::UseSilentOutput(false);
}

// Handed over by hand (a browser's frames), the syncs wait, in order, until the program
// asks for those heard by a time; a song moved meanwhile drops the ones it queued.
TEST(SoundTiming, SyncsHandedOverByHandWaitForTheirTime) {
    xm::Module song = soundtest::BasicModule(16, 4);
    for (int row = 0; row < 16; row += 4) song.patterns[0].At(row, 3).Sync(static_cast<uint8_t>(row));
    ASSERT_TRUE(soundtest::WriteBytes("heard.xm", soundtest::Image(song)));
    sound::UseSilentOutput(true);
    sound::PaceSilentOutputByHand(true);
    sound::DeliverSyncsByHand(true);
    ASSERT_TRUE(sound::Init(44100, 32, 0));
    sound::Module* module = sound::LoadSong("heard.xm");
    ASSERT_NE(module, nullptr);
    arrivals = 0;
    sound::SetZxxCallback(module, Arrive);
    sound::PlaySong(module);
    constexpr int64_t kHourNs = 3600LL * 1000000000;
    constexpr uint64_t kSyncRow = 4 * 5292;
    sound::MixSilentOutput(2 * kSyncRow + 1);
    sound::DeliverHeardSyncs(-kHourNs);
    EXPECT_EQ(arrivals.load(), 0);
    sound::DeliverHeardSyncs(kHourNs);
    EXPECT_EQ(arrivals.load(), 3);
    EXPECT_EQ(sound::GetMixerStats().lastSyncFrame, 2 * kSyncRow);
    sound::MixSilentOutput(3 * kSyncRow + 1);
    sound::StopSong(module);
    sound::DeliverHeardSyncs(kHourNs);
    EXPECT_EQ(arrivals.load(), 3);
    sound::Close();
    sound::FreeSong(module);
    sound::DeliverSyncsByHand(false);
    sound::PaceSilentOutputByHand(false);
    sound::UseSilentOutput(false);
}
