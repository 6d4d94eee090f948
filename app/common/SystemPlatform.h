// The show's roles on the real machine, which every program's main hands to RunDemo:
// SDL's clock, MusicPlayer, the window layer and its keys.
#pragma once

#include "kavlo/MusicPlayer.h"
#include "kavlo/ShellPlatform.h"

// SDL's millisecond counter: the show time runs on from where it was set.
class SystemClock : public ShowClock {
public:
    void StartAt(uint32_t ms) override;
    uint32_t FrameTime() override;
    void FrameShown() override { timed_ = false; }

private:
    uint32_t originMs_ = 0, originTick_ = 0;
    uint32_t frameMs_ = 0;
    bool timed_ = false;  // frameMs_ holds the time of the frame being drawn
};

class SystemMusic : public ShowMusic {
public:
    bool OpenMusic(const char* fileName) override;
    void SetSyncCallback(SyncCallback callback) override { music.SetSyncCallback(callback); }
    bool PlayMusic() override { return music.Play(); }
    bool CheckPosition() override { return music.CheckPosition(); }
    void PauseMusic() override { music.Pause(); }
    bool PlayMusicFrom(uint32_t ms) override { return music.PlayFrom(ms); }
    std::vector<MusicSync> MusicSyncs() override { return music.Syncs(); }

private:
    MusicPlayer music;
};

class SystemScreen : public ShowScreen {
public:
    bool CreateWindow(int width, int height, int refreshHz, int bitsPerPixel,
                      bool fullscreen) override;
    bool LoadExtensions() override;
    void SwapAndPump() override;
    void DestroyWindow() override;
    void HoldPicture() override;
    void ShowHeldPicture() override;
    // In the pictures folder's Kavlo, said on stderr.
    void SaveScreenshot(uint32_t timeMs) override;
    void IdleWhilePaused() override;
    void DrawUnseen(bool unseen) override;
};

// The window's keys; the show ends on Escape or when the window is closed.
class SystemInput : public ShowInput {
public:
    bool QuitRequested() override;
    bool QuitPending() override;
    PlayerKey TakeKey() override;
};

// A program's own end beside the window's: the show ends on either.
class SystemInputWithQuit : public SystemInput {
public:
    bool QuitRequested() override { return quit_ || SystemInput::QuitRequested(); }
    bool QuitPending() override { return quit_ || SystemInput::QuitPending(); }
    void Quit() { quit_ = true; }

private:
    bool quit_ = false;
};
