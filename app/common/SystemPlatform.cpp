// The real machine: SDL's clock, the window layer, the music player and the pictures folder.
#include "SystemPlatform.h"

#include "Screenshot.h"
#include "platform/message/MessageBox.h"
#include "platform/pictures/PicturesFolder.h"
#include "platform/window/GLWindow.h"

#include <SDL.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

void SystemClock::StartAt(uint32_t ms) {
    originMs_ = ms;
    originTick_ = SDL_GetTicks();
    timed_ = false;
}

uint32_t SystemClock::FrameTime() {
    if (!timed_) frameMs_ = originMs_ + (SDL_GetTicks() - originTick_);
    timed_ = true;
    return frameMs_;
}

bool SystemMusic::OpenMusic(const char* fileName) {
    // The player's only failures are a sound output that cannot start, each with its box;
    // the way out goes to the terminal before the box waits for the user.
    platform::SetErrorBoxHint(
        "kavlo: no sound device could be opened; kavlo --mute plays the show without sound");
    const bool opened = music.Open(fileName);
    platform::SetErrorBoxHint(nullptr);
    return opened;
}

bool SystemScreen::CreateWindow(int width, int height, int refreshHz, int bitsPerPixel,
                                bool fullscreen) {
    return GLWindow::Create(width, height, refreshHz, bitsPerPixel, fullscreen);
}
bool SystemScreen::LoadExtensions() { return GLWindow::LoadExtensions(); }
void SystemScreen::SwapAndPump() { GLWindow::SwapAndPump(); }
void SystemScreen::DestroyWindow() { GLWindow::Destroy(); }
void SystemScreen::HoldPicture() { GLWindow::HoldPicture(); }
void SystemScreen::ShowHeldPicture() { GLWindow::ShowHeldPicture(); }
void SystemScreen::DrawUnseen(bool unseen) { GLWindow::DrawUnseen(unseen); }
// The pending events are handled each paused frame: often enough for keys, and idle
// otherwise.
void SystemScreen::IdleWhilePaused() { SDL_Delay(15); }

bool SystemInput::QuitRequested() { return quitRequested != 0; }
bool SystemInput::QuitPending() { return GLWindow::QuitPending(); }
PlayerKey SystemInput::TakeKey() { return PlayerKeyOf(GLWindow::TakeKey()); }

void SystemScreen::SaveScreenshot(uint32_t timeMs) {
    std::unique_ptr<uint8_t[]> rgba;
    int width = 0, height = 0;
    switch (GLWindow::ReadPicture(&rgba, &width, &height)) {
    case GLWindow::PictureRead::Done:
        break;
    case GLWindow::PictureRead::NoWindow:
        return;
    case GLWindow::PictureRead::NoMemory:
        // A huge --size: the show plays on without this picture.
        std::fprintf(stderr, "kavlo: the picture was not saved: not enough memory to read it\n");
        return;
    }
    std::string error;
    const std::string folder = platform::PicturesFolder();
    // Joined the system's way, so that the path said on Windows is all backslashes.
    const std::string kavloFolder =
        folder.empty() ? folder : (std::filesystem::u8path(folder) / "Kavlo").u8string();
    const std::string path =
        app::SaveScreenshot(kavloFolder, timeMs, width, height, rgba.get(), &error);
    if (path.empty())
        std::fprintf(stderr, "kavlo: the picture was not saved: %s\n", error.c_str());
    else
        std::fprintf(stderr, "kavlo: saved the picture at %u.%03u s in %s\n", timeMs / 1000,
                     timeMs % 1000, path.c_str());
}
