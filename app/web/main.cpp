// Entry of the show in a web browser: the page hands over its options as arguments and
// the show's data in the module's file system; the show yields to the browser after
// every frame and starts its music on the viewer's click.
#include "app/common/Options.h"
#include "app/common/SystemPlatform.h"
#include "app/common/TestClock.h"
#include "platform/gl/Errors.h"
#include "platform/window/GLWindow.h"
#include "audio/Sound.h"
#include "platform/web/Page.h"

#include <SDL.h>
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Arguments the page passes to kavlo:\n"
    "  --size WxH         draw the show at this size (default 800x600)\n"
    "  --mute             no sound device; the music runs silently at its own pace\n"
    "  --start MS         begin the show MS milliseconds in (the page's ?t=MS)\n"
    "  --check-gl         look for GL errors before every swap and report them\n"
    "  --test-fps N       a test clock: frame n shows time n * 1000 / N ms, the music\n"
    "                     silent and moved with it (as kavlo-capture does)\n"
    "  --at MS[,MS...]    with --test-fps: hand these frames to the page, then end\n"
    "  --flash-syncs      draw each frame that carries a sync white (to measure them)\n";

struct Options {
    RenderSize size;
    bool mute = false;
    bool checkGl = false;
    uint32_t testFps = 0;
    std::vector<uint32_t> at;
    PlayOptions play;
    // No sound device: asked for, or a test clock that moves the music itself.
    bool Silent() const { return mute || testFps; }
};

bool ParseOptions(int argc, char** argv, Options* options) {
    OptionReader read("kavlo", argc, argv);
    while (read.Next()) {
        bool ok = true;
        if (read.Is("--mute")) {
            options->mute = true;
        } else if (read.Is("--check-gl")) {
            options->checkGl = true;
        } else if (read.Is("--flash-syncs")) {
            options->play.flashSyncs = true;
        } else if (read.Is("--size")) {
            ok = read.Size(&options->size);
        } else if (read.Is("--test-fps")) {
            ok = read.FrameRate(&options->testFps);
        } else if (read.Is("--at")) {
            ok = read.Times(&options->at);
        } else if (read.Is("--start")) {
            ok = read.Time(kShowLengthMs - 1, &options->play.startMs);
        } else {
            read.Unknown(kUsage);
            return false;
        }
        if (!ok) return false;
    }
    return true;
}

// Set by the platform, read by the sync callback (a plain function pointer).
SyncCallback showSyncCallback = nullptr;
// The mixer's frame count when the song was started (it mixes silence before).
uint64_t songStartFrames = 0;
bool songStarted = false;

// The music's time of the sync being delivered: where its row began.
void OnSyncReported(sound::Module* module, unsigned char param) {
    if (param == 0) {
        const sound::MixerStats stats = sound::GetMixerStats();
        page::ReportSync(stats.lastSyncFrame * 1000.0 / 44100.0);
    }
    if (showSyncCallback) showSyncCallback(module, param);
}

// What the page's controls asked for since the show last looked: set by the page between
// frames, while the program waits for the browser.
struct PageControls {
    int paused = -1;  // the state asked for; -1 when nothing is asked
    bool seek = false;
    uint32_t seekMs = 0;
};
PageControls pageControls;

// The test clock, with the silent music mixed up to each frame's time: every row begun
// by then has delivered its syncs to that frame.
class WebTestClock : public TestClock {
public:
    explicit WebTestClock(uint32_t fps) : TestClock(1000, fps) {}
    uint32_t FrameTime() override {
        const uint32_t ms = TestClock::FrameTime();
        sound::MixSilentOutput(static_cast<uint64_t>(ms) * 44100 / 1000 + 1);
        return ms;
    }
};

// The browser as the show's machine. With a test clock it runs as the capture does:
// virtual time, the music moved with it, chosen frames handed out.
class WebPlatform : public SystemMusic, public SystemScreen, public SystemInputWithQuit {
public:
    explicit WebPlatform(const Options& options)
        : options_(options), testClock_(options.testFps ? options.testFps : 1) {}

    ShellPlatform Shell() {
        ShowClock& clock = options_.testFps ? static_cast<ShowClock&>(testClock_) : systemClock_;
        return {clock, *this, *this, *this};
    }

    bool OpenMusic(const char* fileName) override {
        // A browser without Web Audio: the show plays silently rather than not at all.
        if (!options_.Silent() && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            std::fprintf(stderr, "kavlo: this browser offers no sound; the show plays without it\n");
            sound::UseSilentOutput(true);
        } else if (!options_.Silent()) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        return SystemMusic::OpenMusic(fileName);
    }

    void SetSyncCallback(SyncCallback callback) override {
        showSyncCallback = callback;
        SystemMusic::SetSyncCallback(OnSyncReported);
    }

    bool PlayMusic() override {
        WaitForTheClick();
        return SystemMusic::PlayMusic();
    }

    // The first call starts the show (?t=MS), later ones resume or seek.
    bool PlayMusicFrom(uint32_t ms) override {
        WaitForTheClick();
        return SystemMusic::PlayMusicFrom(ms);
    }

    void SwapAndPump() override {
        if (options_.checkGl) platform::gl::ReportGLErrors(shownMs_);
        // A frame of the show, not of the loading screen.
        const bool showFrame = playing_ && frameAnnounced_;
        frameAnnounced_ = false;
        if (showFrame && options_.testFps) HandFrameIfWanted();
        SystemScreen::SwapAndPump();
        if (showFrame) {
            if (!started_) page::ShowStarted();
            else page::ReportFrameTime(shownMs_, emscripten_get_now() - workStart_);
            started_ = true;
        }
        page::WaitForNextFrame();
        const double now = emscripten_get_now();
        // The syncs heard by half a frame from now are drawn in this frame: each lands on
        // the frame nearest its beat rather than the one after it.
        const double periodMs = now - workStart_;
        if (workStart_ > 0 && periodMs < 200) halfFrameMs_ += (periodMs / 2 - halfFrameMs_) / 4;
        workStart_ = now;
        sound::DeliverHeardSyncs(static_cast<int64_t>(halfFrameMs_ * 1e6));
    }

    // Each paused frame already waits for the browser's next one.
    void IdleWhilePaused() override {}

    // The keys first; then the page's play or pause, as the key that toggles, only where
    // it changes what is shown (a second click before the next frame asks nothing new).
    PlayerKey TakeKey() override {
        const PlayerKey key = SystemInput::TakeKey();
        if (key != PlayerKey::None) return key;
        const int wanted = pageControls.paused;
        pageControls.paused = -1;
        if (wanted >= 0 && (wanted != 0) != pausedShown_) return PlayerKey::PlayPause;
        return PlayerKey::None;
    }

    bool TakeSeek(uint32_t* ms) override {
        if (!pageControls.seek) return false;
        pageControls.seek = false;
        *ms = pageControls.seekMs;
        return true;
    }

    void ShowingFrame(uint32_t timeMs, bool paused) override {
        shownMs_ = timeMs;
        frameAnnounced_ = true;
        pausedShown_ = paused;
        page::ShowTime(timeMs, paused);
    }

    void DestroyWindow() override {
        if (options_.checkGl) platform::gl::ReportGLErrors(shownMs_);
        SystemScreen::DestroyWindow();
    }

private:
    void WaitForTheClick() {
        if (playing_) return;
        page::ShowReady();
        page::WaitForPlay();
        playing_ = true;
        // The mixer runs between frames only, so nothing is mixed from here to the start.
        songStartFrames = sound::GetMixerStats().framesMixed;
        songStarted = true;
    }

    // The first frame at or after each wanted time, read before the swap; the show ends
    // after the last one.
    void HandFrameIfWanted() {
        if (nextWanted_ >= options_.at.size()) return;
        if (shownMs_ < options_.at[nextWanted_]) return;
        while (nextWanted_ < options_.at.size() && options_.at[nextWanted_] <= shownMs_)
            ++nextWanted_;
        const int w = options_.size.width, h = options_.size.height;
        pixels_.resize(static_cast<size_t>(w) * h * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
        page::HandFrame(shownMs_, pixels_.data(), w, h);
        if (nextWanted_ >= options_.at.size()) Quit();
    }

    Options options_;
    SystemClock systemClock_;
    WebTestClock testClock_;
    bool playing_ = false;
    bool started_ = false;
    bool pausedShown_ = false;
    bool frameAnnounced_ = false;  // ShowingFrame since the last swap
    uint32_t shownMs_ = 0;         // the show time of the picture about to be shown
    double workStart_ = 0;
    double halfFrameMs_ = 0;  // half the time between the browser's frames, smoothed
    size_t nextWanted_ = 0;
    std::vector<uint8_t> pixels_;
};

// The runtime's exit (the tracker's report, then the page's onExit) in a task of its
// own: main returns into a resumed frame of the browser's, where an exit's unwinding
// would surface as an uncaught error.
void ExitNow(void* status) {
    emscripten_force_exit(static_cast<int>(reinterpret_cast<intptr_t>(status)));
}

}  // namespace

// The music's position for the page's test: milliseconds of the song mixed so far.
extern "C" EMSCRIPTEN_KEEPALIVE double kavlo_music_ms() {
    if (!songStarted) return 0;
    return static_cast<double>(sound::GetMixerStats().framesMixed - songStartFrames) * 1000.0 /
           44100.0;
}

// The page's controls, acting between frames as the player's keys do: play or pause
// (non-zero: paused), and a seek to a show time in ms (past the end: its last frame).
extern "C" EMSCRIPTEN_KEEPALIVE void kavlo_set_paused(int paused) {
    pageControls.paused = paused ? 1 : 0;
}

extern "C" EMSCRIPTEN_KEEPALIVE void kavlo_seek(double ms) {
    if (!(ms >= 0)) ms = 0;  // NaN too
    pageControls.seekMs = ms < kShowLengthMs ? static_cast<uint32_t>(ms) : kShowLengthMs;
    pageControls.seek = true;
}

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        emscripten_async_call(ExitNow, reinterpret_cast<void*>(intptr_t {2}), 0);
        return 2;
    }
    if (options.Silent()) sound::UseSilentOutput(true);
    if (options.testFps) sound::PaceSilentOutputByHand(true);

    WebPlatform platform(options);
    const int result = RunDemo(platform.Shell(), false, options.size, options.play);
    GLWindow::Destroy();
    SDL_Quit();
    emscripten_async_call(ExitNow, reinterpret_cast<void*>(static_cast<intptr_t>(result)), 0);
    return result;
}
