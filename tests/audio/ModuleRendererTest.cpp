// Offline module rendering: Zxx rows reported in playing order, again through jumps and
// loops, at their sample positions, and never audible.
#include "SoundTestSupport.h"

#include "audio/ModuleRenderer.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using soundtest::BasicModule;
using soundtest::Image;

namespace {

constexpr double kRowFrames = 5292;  // speed 6 at 125 BPM, 44100 Hz

struct Fired {
    int pattern, row;
    uint8_t param;
    uint64_t frame;
};

void Collect(void* user, const sound::SyncEvent& event) {
    static_cast<std::vector<Fired>*>(user)->push_back(
        Fired{event.pattern, event.row, event.param, event.frame});
}

// Renders `rows` rows' worth of audio with the renderer looping, as the device does.
std::vector<Fired> RenderRows(const xm::Module& song, double rows, int chunk = 64) {
    std::vector<uint8_t> image = Image(song);
    sound::ModuleRenderer renderer;
    renderer.SetChunkFrames(chunk);
    std::string error;
    EXPECT_TRUE(renderer.Load(image.data(), image.size(), &error)) << error;
    std::vector<Fired> fired;
    std::vector<float> buffer(2 * 1000);
    size_t total = static_cast<size_t>(rows * song.RowFrames());
    for (size_t done = 0; done < total;) {
        size_t n = std::min<size_t>(1000, total - done);
        size_t got = renderer.Render(buffer.data(), n, Collect, &fired);
        if (got == 0) break;
        done += got;
    }
    return fired;
}

std::vector<int> Params(const std::vector<Fired>& fired) {
    std::vector<int> params;
    for (const Fired& f : fired) params.push_back(f.param);
    return params;
}

}  // namespace

TEST(ModuleRenderer, SyncRowsFireInOrderAtTheirPositions) {
    xm::Module song = BasicModule(16, 2);
    song.patterns[0].At(2, 1).Sync();
    song.patterns[0].At(5, 1).Sync(0x05);
    song.patterns[0].At(9, 0).Sync();
    song.patterns[0].At(12, 1).Sync(0x7F);
    song.patterns[0].At(12, 0).Sync(0x01);  // two in a row: channel order
    std::vector<uint8_t> image = Image(song);
    std::vector<sound::SyncEvent> syncs;
    std::vector<float> samples;
    std::string error;
    ASSERT_TRUE(sound::RenderModuleOffline(image.data(), image.size(), 10.0, &samples, &syncs, &error, 16))
        << error;
    // The song does not loop offline: it stops after its 16 rows.
    EXPECT_EQ(samples.size() / 2, static_cast<size_t>(16 * kRowFrames));
    ASSERT_EQ(syncs.size(), 5u);
    const int rows[] = {2, 5, 9, 12, 12};
    const int params[] = {0x00, 0x05, 0x00, 0x01, 0x7F};
    for (size_t i = 0; i < syncs.size(); ++i) {
        EXPECT_EQ(syncs[i].row, rows[i]) << i;
        EXPECT_EQ(syncs[i].param, params[i]) << i;
        EXPECT_EQ(syncs[i].pattern, 0);
        EXPECT_EQ(syncs[i].order, 0);
        // Reported at the start of the 16-frame chunk in which the row begins.
        EXPECT_LE(static_cast<double>(syncs[i].frame), rows[i] * kRowFrames) << i;
        EXPECT_GT(static_cast<double>(syncs[i].frame) + 16, rows[i] * kRowFrames) << i;
    }
    EXPECT_EQ(syncs[3].channel, 0);
    EXPECT_EQ(syncs[4].channel, 1);
}

TEST(ModuleRenderer, SyncOnTheFirstRowFiresAtFrameZero) {
    xm::Module song = BasicModule(4);
    song.patterns[0].At(0, 1).Sync(0x42);
    std::vector<uint8_t> image = Image(song);
    std::vector<sound::SyncEvent> syncs;
    ASSERT_TRUE(sound::RenderModuleOffline(image.data(), image.size(), 0.01, nullptr, &syncs, nullptr));
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_EQ(syncs[0].frame, 0u);
    EXPECT_EQ(syncs[0].param, 0x42);
}

TEST(ModuleRenderer, SongLoopAndPositionJumpFireAgain) {
    // The song's own loop: one 4-row pattern, a sync on row 0, heard three times.
    xm::Module once = BasicModule(4);
    once.patterns[0].At(0, 1).Sync();
    EXPECT_EQ(RenderRows(once, 4 * 3 - 0.5).size(), 3u);

    // B01 at the end of order 1 loops it; the sync of order 0 is heard once.
    xm::Module jump = BasicModule(4);
    int second = jump.AddPattern(4);
    jump.patterns[0].At(0, 1).Sync(0x10);
    jump.patterns[second].At(2, 1).Sync(0x20);
    jump.patterns[second].At(3, 0).Fx(xm::kFxPositionJump, 1);
    jump.orders = {0, second};
    std::vector<Fired> fired = RenderRows(jump, 4 + 4 * 3);
    EXPECT_EQ(Params(fired), (std::vector<int>{0x10, 0x20, 0x20, 0x20}));
    for (size_t i = 2; i < fired.size(); ++i)
        EXPECT_NEAR(static_cast<double>(fired[i].frame - fired[i - 1].frame), 4 * kRowFrames, 64);
}

TEST(ModuleRenderer, PatternBreakSkipsRowsAndTheirSyncs) {
    xm::Module song = BasicModule(8);
    song.patterns[0].At(1, 1).Sync(1);
    song.patterns[0].At(2, 0).Fx(xm::kFxPatternBreak, 0x04);  // to row 4 of the next order
    song.patterns[0].At(3, 1).Sync(3);                         // skipped on the way
    song.patterns[0].At(5, 1).Sync(5);
    song.orders = {0, 0};
    std::vector<uint8_t> image = Image(song);
    std::vector<sound::SyncEvent> syncs;
    ASSERT_TRUE(sound::RenderModuleOffline(image.data(), image.size(), 10, nullptr, &syncs, nullptr));
    std::vector<int> params;
    for (const auto& s : syncs) params.push_back(s.param);
    // Order 0: rows 0-2, then order 1 from row 4: rows 4-7 (row 1 never comes again).
    EXPECT_EQ(params, (std::vector<int>{1, 5}));
}

TEST(ModuleRenderer, PatternLoopFiresEveryPass) {
    xm::Module song = BasicModule(8, 2);
    song.patterns[0].At(1, 0).Fx(xm::kFxExtended, xm::ExtendedParam(xm::kExtPatternLoop, 0));
    song.patterns[0].At(2, 1).Sync();
    song.patterns[0].At(3, 0).Fx(xm::kFxExtended, xm::ExtendedParam(xm::kExtPatternLoop, 2));
    song.patterns[0].At(5, 1).Sync(0x09);
    std::vector<Fired> fired = RenderRows(song, 1 + 3 * 3 + 4 - 0.5);
    EXPECT_EQ(Params(fired), (std::vector<int>{0, 0, 0, 9}));
    EXPECT_NEAR(static_cast<double>(fired[1].frame - fired[0].frame), 3 * kRowFrames, 64);
}

TEST(ModuleRenderer, RowLoopingOntoItselfFiresEachTime) {
    // A one-row song: every pass is the same order and row, so libopenmpt's position never
    // changes; each pass still fires.
    xm::Module song = BasicModule(1, 2);
    song.patterns[0].At(0, 1).Sync(0x33);
    std::vector<Fired> fired = RenderRows(song, 4.5);
    ASSERT_EQ(fired.size(), 5u);
    for (size_t i = 1; i < fired.size(); ++i) {
        EXPECT_EQ(fired[i].row, 0);
        // Known only once the row outlasts itself, so up to half a tick late.
        EXPECT_NEAR(static_cast<double>(fired[i].frame - fired[0].frame), i * kRowFrames, 882 / 2 + 64);
    }

    // FastTracker 2 keeps a loop start per channel: E6x loops back to where E60 stood
    // in the same channel (here the top), and the sync row fires on every pass.
    xm::Module loop = BasicModule(4, 3);
    loop.patterns[0].At(1, 0).Fx(xm::kFxExtended, xm::ExtendedParam(xm::kExtPatternLoop, 0));
    loop.patterns[0].At(1, 1).Sync(0x33);
    loop.patterns[0].At(1, 2).Fx(xm::kFxExtended, xm::ExtendedParam(xm::kExtPatternLoop, 3));
    EXPECT_EQ(RenderRows(loop, 2 * 4 + 2 - 0.5).size(), 4u);
}

TEST(ModuleRenderer, PatternDelayIsStillOneRow) {
    xm::Module song = BasicModule(4, 2);
    song.patterns[0].At(1, 0).Fx(xm::kFxExtended, xm::ExtendedParam(xm::kExtPatternDelay, 3));
    song.patterns[0].At(1, 1).Sync();
    song.patterns[0].At(2, 1).Sync(2);
    std::vector<Fired> fired = RenderRows(song, 1 + 4 + 1 - 0.5);
    ASSERT_EQ(Params(fired), (std::vector<int>{0, 2}));
    EXPECT_NEAR(static_cast<double>(fired[1].frame - fired[0].frame), 4 * kRowFrames, 64);
}

TEST(ModuleRenderer, SpeedAndTempoChangesKeepRowsApart) {
    xm::Module song = BasicModule(8, 2);
    song.patterns[0].At(0, 0).Fx(xm::kFxSetSpeed, 2);
    song.patterns[0].At(4, 0).Fx(xm::kFxSetSpeed, 200);  // tempo 200 from row 4
    for (int row = 0; row < 8; ++row) song.patterns[0].At(row, 1).Sync(static_cast<uint8_t>(row));
    std::vector<uint8_t> image = Image(song);
    std::vector<sound::SyncEvent> syncs;
    ASSERT_TRUE(sound::RenderModuleOffline(image.data(), image.size(), 10, nullptr, &syncs, nullptr, 8));
    ASSERT_EQ(syncs.size(), 8u);
    for (int row = 0; row < 8; ++row) EXPECT_EQ(syncs[row].param, row);
    EXPECT_NEAR(static_cast<double>(syncs[1].frame - syncs[0].frame), 2 * 882, 16);
    EXPECT_NEAR(static_cast<double>(syncs[6].frame - syncs[5].frame), 2 * 44100 * 2.5 / 200, 16);
}

TEST(ModuleRenderer, SyncCommandsChangeNothingAudible) {
    xm::Module plain = BasicModule(16, 4);
    plain.patterns[0].At(2, 2).Play("G-4", 1).Volume(50);
    plain.patterns[0].At(6, 3).Play("E-5", 1).Fx(xm::kFxVibrato, 0x37);
    xm::Module synced = plain;
    // Every kind of parameter, with and without notes, in free channels and beside effects.
    synced.patterns[0].At(0, 1).Sync();
    synced.patterns[0].At(2, 3).Sync(0x7F);
    synced.patterns[0].At(4, 0).Sync(0x40);  // the cell of a note
    synced.patterns[0].At(8, 2).Sync(0x80);
    synced.patterns[0].At(10, 3).Play("C-5", 1).Volume(64).Sync(0xFF);
    plain.patterns[0].At(10, 3).Play("C-5", 1).Volume(64);
    std::vector<uint8_t> plainImage = Image(plain), syncedImage = Image(synced);
    std::vector<float> a, b;
    std::vector<sound::SyncEvent> syncs;
    ASSERT_TRUE(sound::RenderModuleOffline(plainImage.data(), plainImage.size(), 3, &a, nullptr, nullptr));
    ASSERT_TRUE(sound::RenderModuleOffline(syncedImage.data(), syncedImage.size(), 3, &b, &syncs, nullptr));
    EXPECT_EQ(syncs.size(), 5u);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(soundtest::Peak(a), 0.05f);
    EXPECT_TRUE(a == b) << "the rendered audio differs";

    // libopenmpt alone plays Zxx as a filter macro: that is what the copy avoids.
    openmpt_module* raw = openmpt_module_create_from_memory2(
        syncedImage.data(), syncedImage.size(), openmpt_log_func_silent, nullptr,
        openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(raw, nullptr);
    std::vector<float> c(a.size());
    openmpt_module_read_interleaved_float_stereo(raw, 44100, c.size() / 2, c.data());
    openmpt_module_destroy(raw);
    EXPECT_FALSE(a == c);
}

TEST(ModuleRenderer, RestartPlaysFromTheTopAgain) {
    xm::Module song = BasicModule(4);
    song.patterns[0].At(0, 1).Sync(1);
    song.patterns[0].At(2, 1).Sync(2);
    std::vector<uint8_t> image = Image(song);
    sound::ModuleRenderer renderer;
    ASSERT_TRUE(renderer.Load(image.data(), image.size(), nullptr));
    std::vector<Fired> fired;
    std::vector<float> buffer(2 * 8000);
    renderer.Render(buffer.data(), 8000, Collect, &fired);  // rows 0 and 1
    renderer.Restart();
    EXPECT_EQ(renderer.FramesRendered(), 0u);
    renderer.Render(buffer.data(), 8000, Collect, &fired);
    EXPECT_EQ(Params(fired), (std::vector<int>{1, 1}));
}

TEST(ModuleRenderer, RefusesWhatLibopenmptCannotRead) {
    sound::ModuleRenderer renderer;
    std::string error;
    std::vector<uint8_t> junk(4000, 0x5A);
    EXPECT_FALSE(renderer.Load(junk.data(), junk.size(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(renderer.Load(nullptr, 0, &error));
    EXPECT_FALSE(renderer.IsLoaded());
    float out[4];
    EXPECT_EQ(renderer.Render(out, 2, nullptr, nullptr), 0u);
    EXPECT_FALSE(sound::RenderModuleOffline(junk.data(), junk.size(), 1, nullptr, nullptr, &error));
    // A cut-off XM still plays as far as libopenmpt can take it, without crashing.
    std::vector<uint8_t> image = Image(BasicModule(16));
    for (size_t length : {size_t(60), size_t(340), image.size() - 100, image.size() - 1}) {
        sound::ModuleRenderer cut;
        if (cut.Load(image.data(), length, nullptr)) cut.Render(out, 2, nullptr, nullptr);
    }
}

// ---- whole ticks: the song's rows where its tempo puts them, at any output rate

TEST(RateConverter, KeepsTonesAndTimingWhateverTheBlockSizes) {
    const int in = 44112, out = 44100;
    const size_t n = in;  // one second
    std::vector<float> x(2 * n);
    const double kTwoPi = 6.283185307179586;
    for (size_t i = 0; i < n; ++i) {
        x[2 * i] = static_cast<float>(0.4 * std::sin(kTwoPi * 1000 * i / in) +
                                      0.4 * std::sin(kTwoPi * 15000 * i / in));
        x[2 * i + 1] = static_cast<float>(0.5 * std::cos(kTwoPi * 5000 * i / in));
    }
    // All at once, then in awkward pieces: the same frames.
    auto convert = [&](size_t pushStep, size_t pullStep) {
        sound::RateConverter c;
        EXPECT_TRUE(c.Reset(in, out));
        std::vector<float> y, block(2 * pullStep);
        size_t fed = 0;
        for (;;) {
            while (fed < n && c.InputNeeded(pullStep) > 0) {
                size_t take = std::min(pushStep, n - fed);
                EXPECT_EQ(c.Push(&x[2 * fed], take), take);
                fed += take;
            }
            if (fed == n) c.EndInput();
            size_t got = c.Pull(block.data(), pullStep);
            y.insert(y.end(), block.begin(), block.begin() + 2 * got);
            if (got == 0) break;
        }
        return y;
    };
    std::vector<float> whole = convert(1024, 4096);
    EXPECT_TRUE(convert(37, 301) == whole);
    EXPECT_TRUE(convert(256, 1) == whole);
    ASSERT_EQ(whole.size(), 2u * out);  // every input frame's time, and no more
    // Against the tones at the output's own sample times: nothing moved, nothing added.
    double err = 0, sig = 0;
    for (size_t j = 100; j + 100 < whole.size() / 2; ++j) {
        double l = 0.4 * std::sin(kTwoPi * 1000 * j / out) + 0.4 * std::sin(kTwoPi * 15000 * j / out);
        double r = 0.5 * std::cos(kTwoPi * 5000 * j / out);
        double dl = whole[2 * j] - l, dr = whole[2 * j + 1] - r;
        err += dl * dl + dr * dr;
        sig += l * l + r * r;
    }
    EXPECT_LT(10 * std::log10(err / sig), -80.0);

    // An impulse comes out at its own time, converting upwards too.
    sound::RateConverter up;
    ASSERT_TRUE(up.Reset(44044, 44100));
    std::vector<float> click(2 * 4000, 0.0f), y(2 * 5000);
    click[2 * 3000] = 1;
    up.Push(click.data(), 4000);
    up.EndInput();
    ASSERT_EQ(up.Pull(y.data(), 5000), static_cast<size_t>(up.OutputFrameAt(4000)));
    EXPECT_EQ(std::max_element(y.begin(), y.end()) - y.begin(), 2 * 3004);  // 3000 x 44100 / 44044

    // Rates further apart are not what it is for.
    sound::RateConverter far;
    EXPECT_FALSE(far.Reset(48000, 44100));
    EXPECT_EQ(far.Push(click.data(), 10), 0u);
    EXPECT_EQ(far.Pull(y.data(), 10), 0u);
}

namespace {

struct Delivery {
    const sound::ModuleRenderer* renderer;
    uint64_t renderedBefore;  // output frames done when the Render call began
    std::vector<Fired> fired;
    bool early = false, late = false;
};

void CollectInOrder(void* user, const sound::SyncEvent& event) {
    Delivery* d = static_cast<Delivery*>(user);
    d->early |= event.frame >= d->renderer->FramesRendered();
    d->late |= event.frame < d->renderedBefore;
    d->fired.push_back(Fired{event.pattern, event.row, event.param, event.frame});
}

}  // namespace

TEST(ModuleRenderer, RowsFallOnTheirTempoAtEveryOutputRate) {
    EXPECT_EQ(sound::WholeTickRate(44100, 120), 44112);  // 918.75 frames a tick -> 919
    EXPECT_EQ(sound::WholeTickRate(48000, 120), 48000);  // 1000 already
    EXPECT_EQ(sound::WholeTickRate(44100, 125), 44100);  // 882 already
    EXPECT_EQ(sound::WholeTickRate(44100, 121), 44044);  // 910 frames: 121 needs a fifth
    EXPECT_EQ(sound::WholeTickRate(192000, 254), 192000);  // the nearest lies past 192000

    // 120 BPM at speed 6: a row is 125 ms, 5512.5 frames at 44100 Hz.
    xm::Module song = BasicModule(16, 2);
    song.bpm = 120;
    for (int row = 0; row < 16; row += 4)
        song.patterns[0].At(row, 1).Sync(static_cast<uint8_t>(row));
    song.orders = {0, 0, 0, 0};
    std::vector<uint8_t> image = Image(song);
    for (int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        sound::ModuleRenderer renderer;
        renderer.SetSampleRate(rate);  // the live mixer's chunking, in uneven blocks
        ASSERT_TRUE(renderer.Load(image.data(), image.size(), nullptr));
        Delivery d{&renderer, 0, {}};
        std::vector<float> buffer(2 * 700);
        const uint64_t end = static_cast<uint64_t>(rate) * 8;  // the song, once
        while (renderer.FramesRendered() < end) {
            d.renderedBefore = renderer.FramesRendered();
            size_t block = std::min<uint64_t>(100 + d.renderedBefore % 600, end - d.renderedBefore);
            renderer.Render(buffer.data(), block, CollectInOrder, &d);
        }
        ASSERT_EQ(d.fired.size(), 16u);
        for (size_t i = 0; i < d.fired.size(); ++i)
            EXPECT_EQ(d.fired[i].frame, static_cast<uint64_t>(std::ceil(i * 0.5 * rate))) << i;
        EXPECT_FALSE(d.early) << "a sync came before the output of its row";
        EXPECT_FALSE(d.late) << "a sync waited past the call that rendered its row";
    }

    // Offline, as the capture renders: the song lasts exactly its 64 rows.
    std::vector<float> samples;
    std::vector<sound::RowStart> rows;
    ASSERT_TRUE(sound::RenderModuleOffline(image.data(), image.size(), 10, &samples, nullptr,
                                           nullptr, 16, &rows));
    EXPECT_EQ(samples.size(), 2u * 8 * 44100);
    ASSERT_EQ(rows.size(), 64u);
    EXPECT_EQ(rows[63].frame, static_cast<uint64_t>(std::ceil(63 * 5512.5)));
    EXPECT_EQ(rows[63].order, 3);
    EXPECT_EQ(rows[63].row, 15);
}

// ---- seeking: the song plays on from a frame as if it had played there

// Rows begun before the frame, and one beginning on it, are not reported again; those
// after it come at their frames from the song's start. The list of syncs taken at load
// holds every one at the frame the song plays it at.
TEST(ModuleRenderer, SeekPlaysOnFromAFrameAndTheSyncListHoldsEveryRow) {
    xm::Module song = BasicModule(8);
    song.patterns[0].At(2, 1).Sync(2);
    song.patterns[0].At(5, 1).Sync(5);
    song.patterns[0].At(7, 1).Sync(7);
    song.orders = {0, 0};
    const std::vector<uint8_t> image = Image(song);
    sound::ModuleRenderer renderer;
    ASSERT_TRUE(renderer.Load(image.data(), image.size(), nullptr));
    ASSERT_EQ(renderer.Syncs().size(), 6u);
    const int rows[] = {2, 5, 7, 10, 13, 15};
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(static_cast<double>(renderer.Syncs()[i].frame), rows[i] * kRowFrames) << i;
    std::vector<float> buffer(2 * 1000);
    for (const double at : {5.0, 5.5, 12.0}) {
        SCOPED_TRACE(at);
        const uint64_t frame = static_cast<uint64_t>(at * kRowFrames);
        ASSERT_TRUE(renderer.Seek(frame));
        EXPECT_EQ(renderer.FramesRendered(), frame);
        std::vector<Fired> fired;
        while (renderer.FramesRendered() < 16 * kRowFrames)
            renderer.Render(buffer.data(), 1000, Collect, &fired);
        ASSERT_FALSE(fired.empty());
        EXPECT_GT(static_cast<double>(fired[0].frame), at * kRowFrames);
        for (const Fired& f : fired) {
            const int row = f.row + (f.frame >= 8 * kRowFrames ? 8 : 0);
            EXPECT_NEAR(static_cast<double>(f.frame), row * kRowFrames, 64) << f.row;
        }
    }
    EXPECT_FALSE(renderer.Seek(static_cast<uint64_t>(40 * kRowFrames)));  // past the end
    EXPECT_EQ(renderer.FramesRendered(), 0u);
}

// At 120 BPM and 44100 Hz the song is converted from 44112 Hz: after a seek the sound
// is the one played through, to the output frame, and the rows are where they were. A
// note on every row, so that no note carries over the seek (libopenmpt's own business).
TEST(ModuleRenderer, SeekThroughTheRateConverterKeepsSoundAndRows) {
    xm::Module song = BasicModule(32);
    song.bpm = 120;
    for (int row = 0; row < 32; ++row) song.patterns[0].At(row, 0).Play(row % 2 ? "E-4" : "C-4", 1);
    for (int row = 0; row < 32; row += 4) song.patterns[0].At(row, 1).Sync();
    const std::vector<uint8_t> image = Image(song);
    sound::ModuleRenderer through, seeking;
    ASSERT_TRUE(through.Load(image.data(), image.size(), nullptr));
    ASSERT_TRUE(seeking.Load(image.data(), image.size(), nullptr));
    ASSERT_NE(through.RenderRate(), 44100);
    // Row 13 begins half an output frame past a whole one.
    const size_t total = 44100 * 3, from = 13 * 5512 + 3000, frames = 44100;
    std::vector<float> all(2 * total), part(2 * frames);
    through.Render(all.data(), total, nullptr, nullptr);
    ASSERT_TRUE(seeking.Seek(from));
    std::vector<Fired> fired;
    seeking.Render(part.data(), frames, Collect, &fired);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 512; i < 2 * frames; ++i) {  // past the converter's first taps
        const double a = all[2 * from + i], b = part[i];
        ab += a * b, aa += a * a, bb += b * b;
    }
    EXPECT_GT(ab / std::sqrt(aa * bb), 0.999);
    ASSERT_FALSE(fired.empty());
    for (const Fired& f : fired)  // rows of 125 ms, syncs on every fourth
        EXPECT_NEAR(f.frame * 1000.0 / 44100, std::round(f.frame * 2.0 / 44100) * 500, 1.0);
}
