// The demo's control flow: music, window, loading screen, the timeline of effects and
// the frame loop. `RunDemo` is the whole program; the process entry (entry.cpp) only
// reads the command line and hands it the real platform.
#pragma once

#include "Effect.h"
#include "MusicPlayer.h"
#include "PlayerKey.h"

#include <atomic>
#include <cstdint>
#include <vector>

// One row of the timeline: the window of the effect at the same position in the list.
struct TimelineRow {
    uint32_t startMs;
    uint32_t endMs;
};
constexpr int kTimelineRows = 11;
extern const TimelineRow kTimeline[kTimelineRows];

// The timeline's rows as a viewer reads them (a player's seek bar): a name each, and
// whether the effect draws over another one rather than being the picture's ground.
struct TimelineLabel {
    const char* name;
    bool overlay;
};
extern const TimelineLabel kTimelineLabels[kTimelineRows];

// One or two times in each effect window: the frames the contact sheet shows and the
// checks that hold whole frames against each other take.
constexpr uint32_t kContactSheetMs[] = {3000,  10000,  22000,  35000,  50000,  65000,
                                        85000, 107000, 125000, 148000, 158000, 168000};

// The show is cut off here, during the last effect's window.
constexpr uint32_t kShowLengthMs = 172000;

// Raised by the music's sync callback on the audio thread, read before each Render and
// cleared after each render pass. One byte, no lock.
extern std::atomic<unsigned char> syncPending;

// The Zxx callback: parameter 0 raises a sync, any other parameter withdraws one that the
// frame loop has not seen yet.
void OnSync(sound::Module* module, unsigned char param);

// An effect of the list together with its timeline row.
struct EffectEntry {
    Effect* effect;
    int row;
};

// Appends one new object of each effect class in timeline order, each with its row.
void AppendEffects(std::vector<EffectEntry>& effects);

// What the control flow needs from the machine; tests replace it to drive frames with
// chosen times. The real one (SystemPlatform) uses GLWindow, MusicPlayer and the clock.
class ShellPlatform {
public:
    virtual ~ShellPlatform() = default;
    virtual uint32_t Ticks() = 0;  // a millisecond clock
    virtual bool OpenMusic(const char* fileName) = 0;
    virtual void SetSyncCallback(SyncCallback callback) = 0;
    virtual bool PlayMusic() = 0;
    virtual bool CheckPosition() = 0;
    virtual bool CreateWindow(int width, int height, int refreshHz, int bitsPerPixel,
                              bool fullscreen) = 0;
    virtual bool LoadExtensions() = 0;
    virtual void SwapAndPump() = 0;
    virtual void DestroyWindow() = 0;
    virtual void CreateEffects(std::vector<EffectEntry>& effects) { AppendEffects(effects); }

    // What the show as a player needs; the defaults have no keys and do nothing.
    // The next player key found by SwapAndPump, None when there is none left.
    virtual PlayerKey TakeKey() { return PlayerKey::None; }
    // Stops the music where it is; plays it from `ms` into it, returning once that
    // moment is heard (false when it cannot play); its Zxx commands and their times.
    virtual void PauseMusic() {}
    virtual bool PlayMusicFrom(uint32_t ms) {
        (void)ms;
        return true;
    }
    virtual std::vector<MusicSync> MusicSyncs() { return {}; }
    // The picture while paused: kept after the frame is drawn, put back before each
    // SwapAndPump that shows it again.
    virtual void HoldPicture() {}
    virtual void ShowHeldPicture() {}
    // Saves the picture just drawn (or put back) as taken at show time `timeMs`.
    virtual void SaveScreenshot(uint32_t timeMs) { (void)timeMs; }
    // Between the frames of a paused show, so that it does not spin.
    virtual void IdleWhilePaused() {}
    // With true, what is drawn goes nowhere (or as little as can be) until false: a seek
    // draws some frames only for the GL state they leave.
    virtual void DrawUnseen(bool unseen) { (void)unseen; }
    // For controls beside the keys (a web page's): the show time of the picture about to
    // be shown and whether the show is paused on it; and a seek they asked for since the
    // last call, taken after the keys (true with its show time).
    virtual void ShowingFrame(uint32_t timeMs, bool paused) {
        (void)timeMs;
        (void)paused;
    }
    virtual bool TakeSeek(uint32_t* ms) {
        (void)ms;
        return false;
    }
};

// The real machine: SDL's millisecond clock, GLWindow and MusicPlayer.
class SystemPlatform : public ShellPlatform {
public:
    uint32_t Ticks() override;
    bool OpenMusic(const char* fileName) override;
    void SetSyncCallback(SyncCallback callback) override { music.SetSyncCallback(callback); }
    bool PlayMusic() override { return music.Play(); }
    bool CheckPosition() override { return music.CheckPosition(); }
    bool CreateWindow(int width, int height, int refreshHz, int bitsPerPixel,
                      bool fullscreen) override;
    bool LoadExtensions() override;
    void SwapAndPump() override;
    void DestroyWindow() override;
    PlayerKey TakeKey() override;
    void PauseMusic() override { music.Pause(); }
    bool PlayMusicFrom(uint32_t ms) override { return music.PlayFrom(ms); }
    std::vector<MusicSync> MusicSyncs() override { return music.Syncs(); }
    void HoldPicture() override;
    void ShowHeldPicture() override;
    // In the pictures folder's Kavlo, said on stderr.
    void SaveScreenshot(uint32_t timeMs) override;
    void IdleWhilePaused() override;
    void DrawUnseen(bool unseen) override;

private:
    MusicPlayer music;
};

// Exit statuses of the show. The original returned 0 on every path, so a run that only
// showed an error box looked like a success to whoever started it.
constexpr int kExitSuccess = 0;  // the show ended by its length, Escape or the music
constexpr int kExitFailure = 1;  // a failure, after its message was shown

// The size the effects draw their picture at. The show was made for 800 x 600; larger
// sizes give a sharper picture of the same show, not more of it.
struct RenderSize {
    int width = 800;
    int height = 600;
};

// Reads "WxH" (for example "1440x1080"); false for anything else or a side outside
// kMinRenderSide..kMaxRenderSide.
constexpr int kMinRenderSide = 64;
constexpr int kMaxRenderSide = 16384;
bool ParseRenderSize(const char* text, RenderSize* size);

// How the show plays beyond the original's one run from the start.
struct PlayOptions {
    // Where the show begins once loading is done: the frame a steady 60 fps run draws
    // at or after it (0: the show's own start, as the original).
    uint32_t startMs = 0;
    // At the end (or when a music stream starts over) the show starts again, until
    // Escape.
    bool loop = false;
    // A test hook, no option: every frame drawn with the sync flag is white (and those
    // in the 40 ms of show time after it), so that a recording of the screen and the
    // sound shows where each sync lands.
    bool flashSyncs = false;
};

// The whole show. `fullscreen` false opens a window instead of changing the display
// mode. kExitSuccess after a normal end or Escape, kExitFailure after any failure.
// Between frames the player keys (PlayerKey) pause, seek, step and save the picture;
// shown without a key, the show is the original's.
int RunDemo(ShellPlatform& platform, bool fullscreen, RenderSize size = RenderSize(),
            PlayOptions options = PlayOptions());
