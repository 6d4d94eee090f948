// What the show needs from the machine, by role: a clock, the music, a screen and the
// viewer's input. Each program hands RunDemo its own of each (app/common's for the real
// machine); a test or a capture replaces only the roles it drives.
#pragma once

#include "MusicPlayer.h"
#include "PlayerKey.h"
#include "Timeline.h"

#include <cstdint>
#include <functional>
#include <vector>

// The show's clock as the frame loop uses it: set where the show time stands, asked the
// time of each frame drawn as the show plays, told when that frame is on the screen.
class ShowClock {
public:
    virtual ~ShowClock() = default;
    // The show time is `ms` now: the music starts, resumes, or plays on from a seek.
    virtual void StartAt(uint32_t ms) = 0;
    // The show time of the frame to draw next, the same until FrameShown.
    virtual uint32_t FrameTime() = 0;
    // The frame drawn last, or the picture of the time StartAt set, is on the screen.
    virtual void FrameShown() {}
};

// The music and its Zxx commands.
class ShowMusic {
public:
    virtual ~ShowMusic() = default;
    virtual bool OpenMusic(const char* fileName) = 0;
    virtual void SetSyncCallback(SyncCallback callback) = 0;
    virtual bool PlayMusic() = 0;
    // False once the song has started over (the show then ends).
    virtual bool CheckPosition() = 0;
    // Stops the music where it is; plays it from `ms` into it, returning once that
    // moment is heard (false when it cannot play); its Zxx commands and their times.
    virtual void PauseMusic() {}
    virtual bool PlayMusicFrom(uint32_t ms) {
        (void)ms;
        return true;
    }
    virtual std::vector<MusicSync> MusicSyncs() { return {}; }
};

// The window the show draws in.
class ShowScreen {
public:
    virtual ~ShowScreen() = default;
    virtual bool CreateWindow(int width, int height, int refreshHz, int bitsPerPixel,
                              bool fullscreen) = 0;
    virtual bool LoadExtensions() = 0;
    virtual void SwapAndPump() = 0;
    virtual void DestroyWindow() = 0;
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
};

// The viewer's side: the player keys, controls beside them, and the signal to end.
class ShowInput {
public:
    virtual ~ShowInput() = default;
    // Whether the show is to end: Escape, a closed window, or the program's own end
    // (a capture's last frame). The frame loop checks it after each SwapAndPump.
    virtual bool QuitRequested() = 0;
    // The same, looking for a new request now: a long seek asks now and then, and stops.
    virtual bool QuitPending() { return QuitRequested(); }
    // The next player key found by SwapAndPump, None when there is none left.
    virtual PlayerKey TakeKey() { return PlayerKey::None; }
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

// An input with no keys that ends the show when its owner says so.
class QuitOnlyInput : public ShowInput {
public:
    bool QuitRequested() override { return quit_; }
    void Quit() { quit_ = true; }

private:
    bool quit_ = false;
};

// The machine as the show sees it: one of each role.
struct ShellPlatform {
    ShowClock& clock;
    ShowMusic& music;
    ShowScreen& screen;
    ShowInput& input;
    // Makes the effects of the run; tests hand in their own.
    std::function<void(std::vector<EffectEntry>&)> createEffects = AppendEffects;
};
