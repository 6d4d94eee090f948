// The show's platform on the real machine, which every program's main hands to RunDemo.
#pragma once

#include "kavlo/MusicPlayer.h"
#include "kavlo/main.h"

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
    bool QuitPending() override;

private:
    MusicPlayer music;
};
