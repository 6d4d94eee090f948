// Tests of the demo's control flow with a scripted clock, window and music: which
// effects draw when, frame times, the sync flag, the failure paths and the shutdown order.
#include "GLTestContext.h"
#include "platform/window/GLWindow.h"
#include "Player.h"
#include "main.h"
#include "platform/message/MessageBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> events;

struct Frame {
    unsigned timeMs;
    int deltaMs;
    bool sync;
};
// Frames drawn by each recording effect, by its id: the run deletes the effects.
std::map<int, std::vector<Frame>> frameLog;
// Every frame an effect was passed since its last state reset, drawn or only stepped
// (a seek's replay), and the resets, by effect id.
std::map<int, std::vector<Frame>> passLog;
std::map<int, int> resets;

// An effect that records its Init and every Render.
class RecordingEffect : public Effect {
public:
    explicit RecordingEffect(int id, bool initResult = true) : id(id), initResult(initResult) {}
    ~RecordingEffect() override { events.push_back("delete " + std::to_string(id)); }
    bool Init(int w, int h, unsigned start, unsigned end) override {
        Effect::Init(w, h, start, end);
        events.push_back("init " + std::to_string(id));
        return initResult;
    }
    void Render(unsigned timeMs, int deltaMs, bool sync) override {
        frameLog[id].push_back({timeMs, deltaMs, sync});
        passLog[id].push_back({timeMs, deltaMs, sync});
    }
    void ResetState() override {
        ++resets[id];
        passLog[id].clear();
    }
    void StepState(unsigned timeMs, int deltaMs, bool sync) override {
        passLog[id].push_back({timeMs, deltaMs, sync});
    }
    // Fades at both ends, as the show's main effects have.
    std::vector<unsigned> PhaseEdges() const override {
        return {startMs, startMs + 1000, endMs - 1000, endMs};
    }
    int id;
    bool initResult;
    int Width() const { return width; }
    unsigned Start() const { return startMs; }
    unsigned End() const { return endMs; }
};

// Every role of the machine, scripted.
class FakePlatform : public ShowClock, public ShowMusic, public ShowScreen, public ShowInput {
public:
    // The clock: the show time of each frame drawn as the show plays is the time the
    // clock was last set to plus the next of these (the last one repeats).
    std::deque<uint32_t> elapsed = {0};
    bool openResult = true, playResult = true, createResult = true, extensionsResult = true;
    SyncCallback callback = nullptr;
    // Called before each SwapAndPump with the number of swaps so far.
    std::function<void(int)> onSwap;
    // CheckPosition results by call number (default true).
    std::vector<bool> positions;
    int swaps = 0, positionChecks = 0;
    bool createdFullscreen = false;
    std::vector<RecordingEffect*> effects;
    std::vector<int> rows;  // timeline rows of the effects (default: their position)
    bool quit = false;      // the signal to end the show

    ShellPlatform Shell() {
        ShellPlatform shell {*this, *this, *this, *this};
        shell.createEffects = [this](std::vector<EffectEntry>& list) {
            for (size_t i = 0; i < effects.size(); ++i)
                list.push_back({effects[i], i < rows.size() ? rows[i] : static_cast<int>(i)});
        };
        return shell;
    }

    void StartAt(uint32_t ms) override {
        originMs_ = ms;
        timed_ = false;
    }
    uint32_t FrameTime() override {
        if (!timed_) {
            frameMs_ = originMs_ + elapsed.front();
            if (elapsed.size() > 1) elapsed.pop_front();
            timed_ = true;
        }
        return frameMs_;
    }
    void FrameShown() override { timed_ = false; }
    bool QuitRequested() override { return quit; }

    bool OpenMusic(const char* name) override {
        events.push_back(std::string("open ") + name);
        return openResult;
    }
    void SetSyncCallback(SyncCallback cb) override {
        callback = cb;
        events.push_back("callback");
    }
    bool PlayMusic() override {
        events.push_back("play");
        return playResult;
    }
    bool CheckPosition() override {
        const int n = positionChecks++;
        return n < static_cast<int>(positions.size()) ? positions[n] : true;
    }
    bool CreateWindow(int w, int h, int hz, int bpp, bool fullscreen) override {
        events.push_back("create " + std::to_string(w) + "x" + std::to_string(h) + "@" +
                         std::to_string(hz) + "/" + std::to_string(bpp));
        createdFullscreen = fullscreen;
        return createResult;
    }
    bool LoadExtensions() override {
        events.push_back("extensions");
        return extensionsResult;
    }
    void SwapAndPump() override {
        if (onSwap) onSwap(swaps);
        ++swaps;
    }
    void DestroyWindow() override { events.push_back("destroy"); }

    // Player keys, each handed out once that many swaps have been made.
    std::deque<std::pair<int, PlayerKey>> keys;
    std::vector<MusicSync> syncs;
    PlayerKey TakeKey() override {
        if (keys.empty() || keys.front().first > swaps) return PlayerKey::None;
        const PlayerKey key = keys.front().second;
        keys.pop_front();
        return key;
    }
    void PauseMusic() override { events.push_back("pause"); }
    bool PlayMusicFrom(uint32_t ms) override {
        events.push_back("play from " + std::to_string(ms));
        return playResult;
    }
    std::vector<MusicSync> MusicSyncs() override { return syncs; }
    void HoldPicture() override { events.push_back("hold"); }
    void ShowHeldPicture() override { ++heldShown; }
    void SaveScreenshot(uint32_t ms) override { events.push_back("screenshot " + std::to_string(ms)); }
    int heldShown = 0;
    // Escape found at this look between swaps (counted from 1); never with 0.
    int quitAtLook = 0, looks = 0;
    bool QuitPending() override {
        if (quitAtLook && ++looks >= quitAtLook) quit = true;
        return quit;
    }

    // Seeks by controls beside the keys, each handed out once that many swaps have been
    // made; what those controls are told before each swap.
    std::deque<std::pair<int, uint32_t>> seeks;
    std::vector<std::pair<uint32_t, bool>> shown;
    bool TakeSeek(uint32_t* ms) override {
        if (seeks.empty() || seeks.front().first > swaps) return false;
        *ms = seeks.front().second;
        seeks.pop_front();
        return true;
    }
    void ShowingFrame(uint32_t ms, bool paused) override { shown.push_back({ms, paused}); }

private:
    uint32_t originMs_ = 0, frameMs_ = 0;
    bool timed_ = false;
};

bool Has(const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::SharedGL().Ok()) << testsupport::SharedGL().Error();
        events.clear();
        frameLog.clear();
        passLog.clear();
        resets.clear();
        syncPending = 0;
        platform::SetMessageBoxHook([this](const char* text, const char* caption) {
            boxes.push_back(std::string(caption) + ": " + text);
            events.push_back("box " + std::string(text));
        });
    }
    void TearDown() override { platform::SetMessageBoxHook({}); }

    // Effects for the given timeline rows, owned by the run (deleted at its end).
    void AddEffects(const std::vector<int>& rows) {
        for (int row : rows) {
            fake.effects.push_back(new RecordingEffect(row));
            fake.rows.push_back(row);
        }
    }

    FakePlatform fake;
    std::vector<std::string> boxes;
};

TEST(Timeline, WindowsAreStrictAtBothEnds) {
    RecordingEffect e(0);
    e.Init(800, 600, 60000, 70000);
    EXPECT_FALSE(e.IsActive(60000));
    EXPECT_TRUE(e.IsActive(60001));
    EXPECT_TRUE(e.IsActive(69999));
    EXPECT_FALSE(e.IsActive(70000));
    EXPECT_FALSE(e.IsActive(0));
    RecordingEffect first(1);
    first.Init(800, 600, 0, 18000);
    EXPECT_FALSE(first.IsActive(0));
    events.clear();
}

TEST(Timeline, MainEffectsOverlapExceptAtTheTwoHandOvers) {
    for (int row = 0; row + 1 < 9; ++row) {
        const uint32_t end = kTimeline[row].endMs, nextStart = kTimeline[row + 1].startMs;
        if (end == 114000 || end == 155000)
            EXPECT_EQ(end, nextStart) << row;
        else
            EXPECT_EQ(end, nextStart + 1000) << row;
    }
    EXPECT_EQ(kTimeline[8].endMs, 174000u);
    EXPECT_GT(kTimeline[8].endMs, kShowLengthMs);
}

TEST(Timeline, OnSyncRaisesWithZeroAndWithdrawsOtherwise) {
    syncPending = 0;
    OnSync(nullptr, 0);
    EXPECT_EQ(syncPending.load(), 1);
    OnSync(nullptr, 3);
    EXPECT_EQ(syncPending.load(), 0);
}

TEST_F(ShellTest, StartUpOrderAndLoadingInitsEachEffectWithItsRow) {
    AddEffects({0, 3, 10});
    fake.elapsed = {199000};
    EXPECT_EQ(RunDemo(fake.Shell(), true), kExitSuccess);
    EXPECT_TRUE(fake.createdFullscreen);
    const std::vector<std::string> expected = {
        "open musik.xm", "callback", "create 800x600@75/32", "extensions", "init 0", "init 3",
        "init 10", "play", "destroy", "delete 0", "delete 3", "delete 10"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(fake.effects.size(), 3u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ShellTest, FramesDrawOnlyTheEffectsWhoseWindowHoldsTheTime) {
    AddEffects({0, 1, 5, 6, 9});
    fake.elapsed = {0, 17500, 114000, 171999, 172040};
    RunDemo(fake.Shell(), true);
    // Frame times 0, 17500, 114000, 171999, 172040: the limit is tested on the previous
    // frame's time, so 172040 is still drawn.
    ASSERT_EQ(fake.swaps, 5 + 1 + 5);  // loading steps, after loading, frames
    EXPECT_EQ(frameLog[0].size(), 1u);      // spiral: 17500 only
    EXPECT_EQ(frameLog[0][0].timeMs, 17500u);
    EXPECT_EQ(frameLog[1].size(), 1u);      // feedback: 17500
    EXPECT_EQ(frameLog[9].size(), 1u);      // hexagons: 17500
    EXPECT_TRUE(frameLog[5].empty());       // torus ends at exactly 114000
    EXPECT_TRUE(frameLog[6].empty());       // torus2 starts at exactly 114000
}

TEST_F(ShellTest, FirstFrameDeltaIsItsTimeAndLaterDeltasAreDifferences) {
    AddEffects({8});
    fake.elapsed = {155040, 155050, 155049, 172500};
    RunDemo(fake.Shell(), true);
    ASSERT_EQ(frameLog[8].size(), 4u);
    EXPECT_EQ(frameLog[8][0].timeMs, 155040u);
    EXPECT_EQ(frameLog[8][0].deltaMs, 155040);
    EXPECT_EQ(frameLog[8][1].deltaMs, 10);
    EXPECT_EQ(frameLog[8][2].deltaMs, -1);  // a clock that steps back gives a negative delta
    EXPECT_EQ(frameLog[8][3].deltaMs, 172500 - 155049);
}

TEST_F(ShellTest, SyncReachesEveryEffectOfTheNextFrameOnly) {
    AddEffects({0, 9});
    fake.elapsed = {17100, 17200, 17300, 17400, 200000};
    fake.onSwap = [&](int swap) {
        // Swaps 0 and 1 show the loading steps, 2 follows loading, 3.. follow the frames.
        if (swap == 3) fake.callback(nullptr, 0);  // after frame 1
        if (swap == 4) {                            // after frame 2: raised, then withdrawn
            fake.callback(nullptr, 0);
            fake.callback(nullptr, 7);
        }
    };
    RunDemo(fake.Shell(), true);
    ASSERT_EQ(frameLog[0].size(), 4u);
    ASSERT_EQ(frameLog[9].size(), 4u);
    const bool expected[] = {false, true, false, false};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(frameLog[0][i].sync, expected[i]) << i;
        EXPECT_EQ(frameLog[9][i].sync, expected[i]) << i;
    }
}

TEST_F(ShellTest, EscapeDuringLoadingLoadsEverythingThenShutsDownWithoutAFrame) {
    AddEffects({0, 1});
    fake.onSwap = [&](int swap) {
        if (swap == 0) fake.quit = true;
    };
    RunDemo(fake.Shell(), true);
    const std::vector<std::string> expected = {"open musik.xm", "callback",
                                               "create 800x600@75/32", "extensions", "init 0",
                                               "init 1", "play", "destroy", "delete 0",
                                               "delete 1"};
    EXPECT_EQ(events, expected);
    EXPECT_TRUE(frameLog[0].empty());
}

TEST_F(ShellTest, EscapeDuringTheShowEndsBeforeTheNextFrame) {
    AddEffects({0});
    fake.elapsed = {100, 200, 300, 400};
    fake.onSwap = [&](int swap) {
        if (swap == 2) fake.quit = true;  // after the first frame
    };
    EXPECT_EQ(RunDemo(fake.Shell(), true), kExitSuccess);
    EXPECT_EQ(frameLog[0].size(), 1u);
    EXPECT_EQ(events.back(), "delete 0");
    EXPECT_EQ(events[events.size() - 2], "destroy");
}

TEST_F(ShellTest, AStreamThatStartsOverEndsTheShow) {
    AddEffects({0});
    fake.elapsed = {100, 200, 300, 400, 500};
    fake.positions = {true, true, false};  // first check, after frame 1, after frame 2
    RunDemo(fake.Shell(), true);
    EXPECT_EQ(frameLog[0].size(), 2u);
    EXPECT_EQ(events.back(), "delete 0");
}

TEST_F(ShellTest, FailurePathsShowTheirMessagesStopWhereTheyShouldAndExitNonZero) {
    {
        fake.openResult = false;
        EXPECT_EQ(RunDemo(fake.Shell(), true), kExitFailure);
        EXPECT_EQ(events, std::vector<std::string>({"open musik.xm"}));
    }
    events.clear();
    {
        FakePlatform f;
        f.createResult = false;
        EXPECT_EQ(RunDemo(f.Shell(), false), kExitFailure);
        EXPECT_FALSE(f.createdFullscreen);
        EXPECT_EQ(events.back(), "box The selected screenmode is not supported!");
        EXPECT_EQ(boxes.back(), "Error: The selected screenmode is not supported!");
    }
    events.clear();
    {
        FakePlatform f;
        f.extensionsResult = false;
        RecordingEffect* never = new RecordingEffect(0);
        f.effects.push_back(never);
        EXPECT_EQ(RunDemo(f.Shell(), true), kExitFailure);
        // No effect was constructed by the run, no window destroyed.
        EXPECT_EQ(events.back(), "extensions");
        delete never;
    }
    events.clear();
    {
        FakePlatform f;
        RecordingEffect* ok = new RecordingEffect(0);
        RecordingEffect* bad = new RecordingEffect(1, false);
        RecordingEffect* later = new RecordingEffect(2);
        f.effects = {ok, bad, later};
        EXPECT_EQ(RunDemo(f.Shell(), true), kExitFailure);
        // The window goes first, then the box; every effect is deleted on the way out.
        const std::vector<std::string> expected = {
            "open musik.xm", "callback", "create 800x600@75/32", "extensions", "init 0",
            "init 1", "destroy", "box Error loading effect!", "delete 0", "delete 1",
            "delete 2"};
        EXPECT_EQ(events, expected);
        EXPECT_EQ(boxes.back(), "Error!: Error loading effect!");
    }
    events.clear();
    {
        FakePlatform f;
        f.playResult = false;
        RecordingEffect* e = new RecordingEffect(0);
        f.effects = {e};
        EXPECT_EQ(RunDemo(f.Shell(), true), kExitFailure);
        EXPECT_EQ(events.back(), "delete 0");
        EXPECT_EQ(events[events.size() - 2], "play");
        EXPECT_TRUE(frameLog[0].empty());
    }
}


// ---------------------------------------------------------------------------------
// The show as a player

std::vector<uint32_t> Times(const std::vector<Frame>& frames) {
    std::vector<uint32_t> times;
    for (const Frame& f : frames) times.push_back(f.timeMs);
    return times;
}

TEST(PlayerRun, GridSyncFlagsAndEffectStarts) {
    const std::pair<uint32_t, uint32_t> grid[] = {
        {0, 0}, {1, 16}, {16, 16}, {17, 33}, {1000, 1000}, {17345, 17350}, {171999, 172000}};
    for (const auto& [ms, time] : grid)
        EXPECT_EQ(player::GridTime(player::GridFrameAt(ms)), time) << ms;
    // A non-zero parameter withdraws the sync before it, as in the live show.
    const std::vector<MusicSync> syncs = {{100, 0}, {150, 7}, {200, 0}};
    const struct {
        double after, at;
        bool flag;
    } flags[] = {{-1, 99, false}, {-1, 100, true}, {100, 150, false}, {100, 199, false},
                 {150, 200, true}, {99, 200, true}, {200, 1000, false}};
    for (const auto& f : flags) EXPECT_EQ(player::SyncFlag(syncs, f.after, f.at), f.flag) << f.at;
    const std::pair<uint32_t, uint32_t> previous[] = {
        {0, 0}, {16999, 0}, {17000, 0}, {27000, 17000}, {50000, 27000}, {65000, 44000}, {171000, 140000}};
    for (const auto& [at, start] : previous) EXPECT_EQ(player::PreviousEffectStart(at), start) << at;
    const std::pair<uint32_t, uint32_t> next[] = {
        {0, 17000}, {17000, 27000}, {59999, 60000}, {155000, kShowLengthMs}};
    for (const auto& [at, start] : next) EXPECT_EQ(player::NextEffectStart(at), start) << at;
}

// Space draws one more frame and holds it; the music stops, and plays on from the held
// frame's time on the second Space, where the clock starts again.
TEST_F(ShellTest, PauseHoldsTheFrameAndResumesTheMusicFromIt) {
    AddEffects({0});
    // 100 and 200 ms from the start; 50 ms after the resume at 200; then past the end.
    fake.elapsed = {100, 200, 50, 196000};
    fake.keys = {{3, PlayerKey::PlayPause}, {6, PlayerKey::PlayPause}};
    EXPECT_EQ(RunDemo(fake.Shell(), true), kExitSuccess);
    EXPECT_EQ(Times(frameLog[0]), (std::vector<uint32_t> {100, 200, 250}));
    EXPECT_EQ(frameLog[0][2].deltaMs, 50);
    EXPECT_TRUE(Has("pause") && Has("hold") && Has("play from 200"));
    EXPECT_GE(fake.heldShown, 2);  // shown again on each swap while paused
}

// Right seeks 5 s on: every effect's state is reset and stepped through the steady run,
// the last frame of each phase before the seek and the frame before it are drawn, and
// the seek's frame carries the run's delta and sync. The music plays on from there.
TEST_F(ShellTest, ASeekReplaysTheStateAndDrawsTheRunsFrame) {
    AddEffects({0});
    fake.syncs = {{6000, 0}};
    fake.elapsed = {1000, 100, 244000};  // the second and third from the seek's frame
    fake.keys = {{3, PlayerKey::Forward}};
    RunDemo(fake.Shell(), true);
    EXPECT_EQ(resets[0], 1);
    // After the reset the effect is passed every frame of the run in its window up to the
    // seek's, in order, each once: stepped or drawn, as the state needs.
    std::vector<uint32_t> run;
    for (uint64_t n = 1; player::GridTime(n) <= 6100; ++n)
        if (player::GridTime(n) <= 6000) run.push_back(player::GridTime(n));
    run.push_back(6100);
    EXPECT_EQ(Times(passLog[0]), run);
    EXPECT_EQ(Times(frameLog[0]).front(), 1000u);
    EXPECT_EQ(frameLog[0][frameLog[0].size() - 3].timeMs, 5983u);  // the frame before, drawn
    EXPECT_EQ(frameLog[0][frameLog[0].size() - 2].deltaMs, 17);
    EXPECT_TRUE(frameLog[0][frameLog[0].size() - 2].sync);
    EXPECT_EQ(frameLog[0].back().timeMs, 6100u);
    EXPECT_EQ(frameLog[0].back().deltaMs, 100);
    EXPECT_TRUE(Has("pause") && Has("play from 6000"));
}

// '.' while paused draws the next frame of the steady run, with the syncs between.
TEST_F(ShellTest, AFrameStepWhilePausedDrawsTheNextFrameOfTheRun) {
    AddEffects({0});
    fake.syncs = {{210, 0}};
    fake.elapsed = {100, 200};
    fake.keys = {{3, PlayerKey::PlayPause}, {5, PlayerKey::StepFrame}};
    fake.onSwap = [&](int swap) {
        if (swap == 8) fake.quit = true;
    };
    RunDemo(fake.Shell(), true);
    EXPECT_EQ(Times(frameLog[0]), (std::vector<uint32_t> {100, 200, 216}));
    EXPECT_EQ(frameLog[0][2].deltaMs, 16);
    EXPECT_TRUE(frameLog[0][2].sync);
    EXPECT_EQ(std::count(events.begin(), events.end(), "hold"), 2);
    EXPECT_FALSE(Has("play from 216"));  // still paused
}

// --loop: past the show's length the show starts over at 0, state and music with it.
TEST_F(ShellTest, LoopingStartsTheShowOverAtTheEnd) {
    AddEffects({0});
    fake.elapsed = {100, 172100, 50};  // the last from the new start
    fake.onSwap = [&](int swap) {
        if (swap == 5) fake.quit = true;
    };
    PlayOptions options;
    options.loop = true;
    EXPECT_EQ(RunDemo(fake.Shell(), true, RenderSize(), options), kExitSuccess);
    EXPECT_EQ(Times(frameLog[0]), (std::vector<uint32_t> {100, 50}));
    EXPECT_EQ(resets[0], 1);
    EXPECT_TRUE(Has("play from 0"));
}

// F12 saves the next frame while playing, the held one while paused.
TEST_F(ShellTest, ScreenshotsAreOfTheNextFrameOrTheHeldOne) {
    AddEffects({0});
    fake.elapsed = {100, 200, 300, 400};
    fake.keys = {{3, PlayerKey::Screenshot}, {4, PlayerKey::PlayPause}, {6, PlayerKey::Screenshot}};
    fake.onSwap = [&](int swap) {
        if (swap == 8) fake.quit = true;
    };
    RunDemo(fake.Shell(), true);
    EXPECT_TRUE(Has("screenshot 200"));
    EXPECT_TRUE(Has("screenshot 300"));
    EXPECT_EQ(Times(frameLog[0]), (std::vector<uint32_t> {100, 200, 300}));
}

// The keys of one frame act together, in order: seeks add up, two Spaces cancel, F12
// saves the picture the keys before it lead to, once however often it came, and keys
// that came with Escape do nothing. Each run pauses or seeks after its 1000 ms frame.
TEST_F(ShellTest, TheKeysOfOneFrameActTogether) {
    using K = PlayerKey;
    using Keys = std::deque<std::pair<int, PlayerKey>>;
    const struct {
        const char* what;
        Keys keys;
        bool escape;  // with the first keys
        const char* want;  // once
        const char* unwanted;
        long screenshots;
    } cases[] = {
        {"ten Rights", Keys(10, {3, K::Forward}), false, "play from 51000", "", 0},
        {"two Spaces", {{3, K::PlayPause}, {3, K::PlayPause}}, false, "", "pause", 0},
        {"F12 thrice on the held picture",
         {{3, K::PlayPause}, {5, K::Screenshot}, {5, K::Screenshot}, {5, K::Screenshot}}, false,
         "screenshot 1100", "", 1},
        {"F12 after a seek while paused", {{3, K::PlayPause}, {5, K::Forward}, {5, K::Screenshot}},
         false, "screenshot 6100", "screenshot 1100", 1},
        {"a seek with Escape", {{3, K::Forward}}, true, "", "pause", 0},
    };
    for (const auto& c : cases) {
        events.clear();
        FakePlatform run;
        run.effects.push_back(new RecordingEffect(0));
        run.elapsed = {1000, 1100, 1200, 1300};
        run.keys = c.keys;
        run.onSwap = [&run, escape = c.escape](int swap) {
            if (swap == 8 || (escape && swap == 2)) run.quit = true;
        };
        EXPECT_EQ(RunDemo(run.Shell(), true), kExitSuccess) << c.what;
        EXPECT_TRUE(!*c.want || std::count(events.begin(), events.end(), c.want) == 1) << c.what;
        EXPECT_FALSE(*c.unwanted && Has(c.unwanted)) << c.what;
        EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                [](const std::string& e) { return e.rfind("screenshot", 0) == 0; }),
                  c.screenshots)
            << c.what;
    }
}

// A seek to the show's start draws its first frame over the cleared picture the show
// starts on, as kavlo-capture does, not over the (red) picture left on the screen.
TEST_F(ShellTest, ASeekToTheStartBeginsOnTheClearedPicture) {
    AddEffects({0});
    fake.elapsed = {1000, 100, 200};
    fake.keys = {{3, PlayerKey::Start}};
    fake.onSwap = [&](int swap) {
        if (swap == 2) {
            glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        fake.quit = swap == 4;
    };
    RunDemo(fake.Shell(), true);
    unsigned char pixel[4] = {1, 1, 1, 1};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_TRUE(Has("play from 0") && pixel[0] == 0);
}

// Escape during a seek's replay stops it: the show ends without the rest of it.
TEST_F(ShellTest, EscapeDuringASeekStopsItsReplay) {
    AddEffects({0});
    fake.elapsed = {1000, 100, 244000};
    fake.keys = {{3, PlayerKey::Forward}};  // 360 frames to replay
    fake.quitAtLook = 2;
    EXPECT_EQ(RunDemo(fake.Shell(), true), kExitSuccess);
    EXPECT_EQ(resets[0], 1);
    ASSERT_FALSE(passLog[0].empty());
    EXPECT_LT(passLog[0].back().timeMs, 5983u) << "the replay was cut short";
    for (const Frame& f : frameLog[0]) EXPECT_LT(f.timeMs, 5983u) << "nothing of the seek's end";
    EXPECT_FALSE(Has("play from 6000"));
}

// Two '.' in one frame: the effects get both frames of the run, each with its delta.
TEST_F(ShellTest, TwoStepsInOneFrameDrawBothFramesOfTheRun) {
    AddEffects({0});
    fake.elapsed = {1000, 1100};
    fake.keys = {{3, PlayerKey::PlayPause}, {5, PlayerKey::StepFrame}, {5, PlayerKey::StepFrame}};
    fake.onSwap = [&](int swap) {
        if (swap == 8) fake.quit = true;
    };
    RunDemo(fake.Shell(), true);
    ASSERT_EQ(Times(frameLog[0]), (std::vector<uint32_t> {1000, 1100, 1116, 1133}));
    EXPECT_EQ(frameLog[0][2].deltaMs, 16);
    EXPECT_EQ(frameLog[0][3].deltaMs, 17);
}

// --start: the state and first frame of the steady run there, and the music from there.
TEST_F(ShellTest, TheStartOptionBeginsOnItsFrameOfTheRun) {
    AddEffects({0});
    fake.elapsed = {100, 247000};
    PlayOptions options;
    options.startMs = 2990;
    RunDemo(fake.Shell(), true, RenderSize(), options);
    EXPECT_TRUE(Has("play from 3000"));
    EXPECT_FALSE(Has("play"));
    EXPECT_EQ(Times(frameLog[0]), (std::vector<uint32_t> {983, 2983, 3000, 3100}));
    EXPECT_EQ(frameLog[0][2].deltaMs, 17);
}

// Controls beside the keys (a web page's) are told each picture's time and whether it is
// held, and their seek acts as a key's, playing or paused; a key taken in the same frame
// goes first.
TEST_F(ShellTest, ControlsBesideTheKeysSeeEachPictureAndSeek) {
    AddEffects({0});
    fake.elapsed = {100, 100};  // from the start, then from the seek to 7000
    fake.seeks = {{3, 7000}, {5, 15000}};
    fake.keys = {{4, PlayerKey::PlayPause}, {5, PlayerKey::Forward}};
    fake.onSwap = [&](int swap) {
        if (swap == 7) fake.quit = true;
    };
    RunDemo(fake.Shell(), true);
    EXPECT_TRUE(Has("play from 7000"));
    EXPECT_FALSE(Has("play from 15000"));  // paused, and the page's seek after the key's
    EXPECT_EQ(frameLog[0].back().timeMs, 15000u);
    const std::vector<std::pair<uint32_t, bool>> shown = {
        {100, false}, {7000, false}, {7100, true}, {15000, true}, {15000, true}, {15000, true}};
    EXPECT_EQ(fake.shown, shown);
}

}  // namespace
