// Process entry of `kavlo`: reads the command line, finds the show's data and runs the
// show on the real machine.
#include "app/common/DataFolder.h"
#include "app/common/Options.h"
#include "app/common/SystemPlatform.h"
#include "platform/window/GLWindow.h"
#include "rar/ArchiveInternal.h"
#include "memory/MemoryTracker.h"
#include "platform/process/Process.h"
#include "audio/Sound.h"

#include <SDL.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kUsage[] =
    "Usage: kavlo [OPTIONS]\n"
    "Plays the Kavlo demo: the music \"musik.xm\" and the effects of \"megadata.rar\".\n"
    "Full screen: in the display mode 800x600 at 75 Hz where the display has it,\n"
    "otherwise at the desktop's own mode with the picture scaled to fit. Escape ends\n"
    "the show; F11 or Alt+Enter switch between full screen and a window.\n"
    "\n"
    "  --windowed    play in a resizable window (800x600 at first)\n"
    "  --size WxH    draw the show at this size (default 800x600), e.g. 1440x1080\n"
    "                for a sharp picture on a 1080p screen\n"
    "  --data DIR    play the show's data in DIR (default: the working folder, else\n"
    "                the installed or built data)\n"
    "  --mute        play without sound and without a sound device (the music\n"
    "                still runs, silently and at its own pace, and drives the effects)\n"
    "  --exact-mode  full screen only in the exact display mode, as the original\n"
    "                did; without that mode, show an error and stop\n"
    "  --start MS    begin the show MS milliseconds in, once loading is done\n"
    "  --loop        play the show again and again until Escape (for exhibitions\n"
    "                and party screens)\n"
    "  --vsync on|off|adaptive\n"
    "                wait for the display's refresh before each frame (on, the\n"
    "                default), never (off), or unless the frame is late (adaptive,\n"
    "                where the driver offers it; on otherwise)\n"
    "  --display N   the screen to play full screen on, by SDL's display index\n"
    "                (0 is the first; the one taken is said on stderr)\n"
    "  -h, --help    show this text\n"
    "\n"
    "Keys:\n"
    "  Escape          end the show\n"
    "  F11, Alt+Enter  switch between full screen and a window\n"
    "  Space           pause and resume (the music with the picture)\n"
    "  Left, Right     5 s back, 5 s on\n"
    "  Page Up         the start of the effect before the one playing\n"
    "  Page Down       the start of the next effect\n"
    "  Home            the start of the show\n"
    "  . (period)      while paused: one frame (1/60 s) on\n"
    "  F12             save the picture as PNG in the pictures folder's Kavlo\n"
    "                  (named by the show time; the path is said on stderr)\n"
    "A seek shows the picture the show draws at that time when played at a steady\n"
    "60 frames a second.\n"
    "\n"
    "Files:\n"
    "  musik.xm         the music, read from the data folder\n"
    "  megadata.rar     the pictures and meshes, read from the data folder\n"
    "  memleaks.log     the memory tracker's report of the blocks still live at exit\n"
    "  memory.log       the memory tracker's problems (only when it finds one)\n"
    "  debug_unrar.txt  the archive reader's log\n"
    "The logs are written in the data folder, except when that is the data installed\n"
    "with kavlo (../share/kavlo from kavlo's folder; /usr/share/kavlo from the Debian\n"
    "package): then in $XDG_STATE_HOME/kavlo, by default ~/.local/state/kavlo. A run\n"
    "that finds no data, or ends at the command line, writes none.\n"
    "\n"
    "Environment:\n"
    "  KAVLO_CHECK_GUARDS  with 1, the memory tracker checks the guards of each\n"
    "                      block as it is released and of every block still live\n"
    "                      at exit, and writes each damaged one to memory.log\n"
    "  XDG_STATE_HOME      the folder for the state folder kavlo (an absolute path)\n"
    "  XDG_PICTURES_DIR    the pictures folder (else the one in\n"
    "                      ~/.config/user-dirs.dirs, else ~/Pictures)\n"
    "  SDL_VIDEODRIVER     SDL's display driver, e.g. x11 or wayland\n"
    "  SDL_AUDIODRIVER     SDL's sound driver, e.g. pulseaudio or alsa\n"
    "\n"
    "Exit status:\n"
    "  0  the show ended or Escape was pressed\n"
    "  1  an error, after its message\n"
    "  2  a bad command line\n";

// Where kavlo looks for the show's data beyond the working folder; the build gives the
// paths from kavlo's own folder.
const DataPlaces kDataPlaces = {"kavlo", KAVLO_INSTALLED_DATA, KAVLO_BUILD_DATA};

// The real machine, with hooks for tests that are no documented options: with
// KAVLO_TEST_FRAME_MS=N in the environment the show's clock advances N ms per frame
// instead of following the tick counter, so that a test plays the whole timeline in
// seconds, and GL errors are looked for before every swap and reported on stderr
// ("kavlo: GL error ..."); with KAVLO_TEST_FLASH=1 each frame that carries a sync is
// drawn white (PlayOptions::flashSyncs).
class EntryPlatform : public SystemPlatform {
public:
    explicit EntryPlatform(uint32_t testStepMs) : stepMs_(testStepMs) {}
    uint32_t Ticks() override { return stepMs_ ? now_ += stepMs_ : SystemPlatform::Ticks(); }
    bool OpenMusic(const char* fileName) override {
        return SystemPlatform::OpenMusic(DataPath(fileName).c_str());
    }
    void SwapAndPump() override {
        ReportGLErrors();
        SystemPlatform::SwapAndPump();
    }
    void DestroyWindow() override {
        ReportGLErrors();
        SystemPlatform::DestroyWindow();
    }

private:
    void ReportGLErrors() {
        if (!stepMs_) return;
        // A lost context answers every call with an error; a few lines tell enough.
        for (int n = 0; n < 8; ++n) {
            const GLenum error = glGetError();
            if (error == GL_NO_ERROR) break;
            std::fprintf(stderr, "kavlo: GL error 0x%04X (show time %u ms)\n", error, now_);
        }
    }
    uint32_t stepMs_;
    uint32_t now_ = 0;
};

uint32_t TestFrameStep() {
    const char* text = std::getenv("KAVLO_TEST_FRAME_MS");
    if (!text) return 0;
    const long step = std::strtol(text, nullptr, 10);
    return step > 0 && step <= 10000 ? static_cast<uint32_t>(step) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::AttachParentConsole();
    // No logs until kavlo is in the folder they belong in.
    MemoryTracker::HoldLogs();
    bool fullscreen = true, exactMode = false, mute = false;
    RenderSize size;
    PlayOptions play;
    GLWindow::Vsync vsync = GLWindow::Vsync::On;
    long display = -1;
    const char* dataOption = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (std::strcmp(arg, "--windowed") == 0) {
            fullscreen = false;
        } else if (std::strcmp(arg, "--exact-mode") == 0) {
            exactMode = true;
        } else if (std::strcmp(arg, "--mute") == 0) {
            mute = true;
        } else if (std::strcmp(arg, "--size") == 0) {
            if (!ParseRenderSize(value(), &size)) {
                std::fprintf(stderr, "kavlo: --size needs WxH, each side %d to %d\n",
                             kMinRenderSide, kMaxRenderSide);
                return 2;
            }
        } else if (std::strcmp(arg, "--start") == 0) {
            uint32_t ms = 0;
            if (!ParseNumber(value(), kShowLengthMs - 1, &ms)) {
                std::fprintf(stderr, "kavlo: --start needs a time in ms, 0 to %u\n",
                             kShowLengthMs - 1);
                return 2;
            }
            play.startMs = ms;
        } else if (std::strcmp(arg, "--loop") == 0) {
            play.loop = true;
        } else if (std::strcmp(arg, "--vsync") == 0) {
            const char* mode = value();
            if (mode && std::strcmp(mode, "on") == 0) {
                vsync = GLWindow::Vsync::On;
            } else if (mode && std::strcmp(mode, "off") == 0) {
                vsync = GLWindow::Vsync::Off;
            } else if (mode && std::strcmp(mode, "adaptive") == 0) {
                vsync = GLWindow::Vsync::Adaptive;
            } else {
                std::fprintf(stderr, "kavlo: --vsync needs on, off or adaptive\n");
                return 2;
            }
        } else if (std::strcmp(arg, "--display") == 0) {
            uint32_t number = 0;
            if (!ParseNumber(value(), 1000, &number)) {
                std::fprintf(stderr, "kavlo: --display needs a display number (0 is the first)\n");
                return 2;
            }
            display = number;
        } else if (std::strcmp(arg, "--data") == 0) {
            dataOption = value();
            if (!dataOption) {
                std::fprintf(stderr, "kavlo: --data needs a folder\n");
                return 2;
            }
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "kavlo: unknown option '%s'\n%s", arg, kUsage);
            return 2;
        }
    }
    const DataFolderResult data = EnterDataFolder(kDataPlaces, dataOption);
    if (data == DataFolderResult::kFailed) return kExitFailure;
    // With no data anywhere the show fails with its own messages (a message box is all
    // that a double-click shows), and no folder of the user's gets the logs of that.
    if (data == DataFolderResult::kEntered && dataOption && !HasShowData(""))
        std::fprintf(stderr, "kavlo: the show's data (musik.xm and megadata.rar) is not in %s\n",
                     DataFolderName().c_str());
    if (data == DataFolderResult::kEntered) {
        MoveToStateFolderIfInstalled(kDataPlaces);
        MemoryTracker::ClearLogAtStart();  // the last run's, here where this run's will go
    } else {
        ArchiveSetDebugLog(false);
    }
    // No device: the music still runs, silently and at its own pace, and drives the syncs.
    if (mute) sound::UseSilentOutput(true);
    GLWindow::SetPresentation(exactMode ? GLWindow::Presentation::ExactMode
                                        : GLWindow::Presentation::Scaled);
    GLWindow::SetVsync(vsync);
    const char* flash = std::getenv("KAVLO_TEST_FLASH");
    play.flashSyncs = flash && std::strcmp(flash, "1") == 0;
    if (display >= 0) GLWindow::SetDisplay(static_cast<int>(display));

    EntryPlatform platform(TestFrameStep());
    const int result = RunDemo(platform, fullscreen, size, play);
    // Some ways out leave the window to the process's end; the display mode must not
    // outlive the process.
    GLWindow::Destroy();
    SDL_Quit();
    return result;
}
