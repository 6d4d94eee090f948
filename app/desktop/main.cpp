// Process entry of `kavlo`: reads the command line, finds the show's data and runs the
// show on the real machine.
#include "app/common/DataFolder.h"
#include "app/common/Options.h"
#include "app/common/SystemPlatform.h"
#include "app/common/TestClock.h"
#include "platform/gl/Errors.h"
#include "platform/window/GLWindow.h"
#include "rar/ArchiveInternal.h"
#include "memory/MemoryTracker.h"
#include "platform/process/Process.h"
#include "audio/Sound.h"

#include <SDL.h>

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

// What the command line asks for.
struct Options {
    bool fullscreen = true, exactMode = false, mute = false;
    RenderSize size;
    PlayOptions play;
    GLWindow::Vsync vsync = GLWindow::Vsync::On;
    long display = -1;
    const char* data = nullptr;
};

// -1 when the command line asks for the show, else the status to exit with.
int ReadOptions(int argc, char** argv, Options* options) {
    static const char* const kVsyncModes[] = {"on", "off", "adaptive", nullptr};
    static const GLWindow::Vsync kVsyncs[] = {GLWindow::Vsync::On, GLWindow::Vsync::Off,
                                              GLWindow::Vsync::Adaptive};
    OptionReader read("kavlo", argc, argv);
    while (read.Next()) {
        uint32_t number = 0;
        int choice = 0;
        if (read.Is("--windowed")) {
            options->fullscreen = false;
        } else if (read.Is("--exact-mode")) {
            options->exactMode = true;
        } else if (read.Is("--mute")) {
            options->mute = true;
        } else if (read.Is("--loop")) {
            options->play.loop = true;
        } else if (read.Is("--size")) {
            if (!read.Size(&options->size)) return 2;
        } else if (read.Is("--start")) {
            if (!read.Time(kShowLengthMs - 1, &options->play.startMs)) return 2;
        } else if (read.Is("--vsync")) {
            if (!read.Choice(kVsyncModes, &choice, "on, off or adaptive")) return 2;
            options->vsync = kVsyncs[choice];
        } else if (read.Is("--display")) {
            if (!read.Number(1000, &number, "a display number (0 is the first)")) return 2;
            options->display = number;
        } else if (read.Is("--data")) {
            if (!read.Text(&options->data, "a folder")) return 2;
        } else if (read.Is("--help", "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            read.Unknown(kUsage);
            return 2;
        }
    }
    return -1;
}

// Into the data folder, the logs set up for it. False when there is no way on.
bool EnterData(const char* dataOption) {
    const DataFolderResult data = EnterDataFolder(kDataPlaces, dataOption);
    if (data == DataFolderResult::kFailed) return false;
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
    return true;
}

// The music from the data folder.
class EntryMusic : public SystemMusic {
public:
    bool OpenMusic(const char* fileName) override {
        return SystemMusic::OpenMusic(DataPath(fileName).c_str());
    }
};

// With the test clock, GL errors are looked for before every swap.
class EntryScreen : public SystemScreen {
public:
    EntryScreen(bool checkGl, ShowClock& clock) : checkGl_(checkGl), clock_(clock) {}
    void SwapAndPump() override {
        if (checkGl_) platform::gl::ReportGLErrors(clock_.FrameTime());
        SystemScreen::SwapAndPump();
    }
    void DestroyWindow() override {
        if (checkGl_) platform::gl::ReportGLErrors(clock_.FrameTime());
        SystemScreen::DestroyWindow();
    }

private:
    bool checkGl_;
    ShowClock& clock_;
};

// Hooks for tests that are no documented options: with KAVLO_TEST_FRAME_MS=N (1 to
// 10000) in the environment the show's clock advances N ms per frame instead of
// following the tick counter, so that a test plays the whole timeline in seconds, and
// GL errors are reported on stderr; with KAVLO_TEST_FLASH=1 each frame that carries a
// sync is drawn white (PlayOptions::flashSyncs).
uint32_t TestFrameStep() {
    uint32_t step = 0;
    return ParseNumber(std::getenv("KAVLO_TEST_FRAME_MS"), 10000, &step) ? step : 0;
}

bool TestFlash() {
    const char* flash = std::getenv("KAVLO_TEST_FLASH");
    return flash && std::strcmp(flash, "1") == 0;
}

// The window layer set up as asked, before the show opens its window.
void SetUpWindow(const Options& options) {
    GLWindow::SetPresentation(options.exactMode ? GLWindow::Presentation::ExactMode
                                                : GLWindow::Presentation::Scaled);
    GLWindow::SetVsync(options.vsync);
    if (options.display >= 0) GLWindow::SetDisplay(static_cast<int>(options.display));
}

int PlayShow(const Options& options) {
    const uint32_t step = TestFrameStep();
    SystemClock systemClock;
    TestClock testClock = TestClock::PerFrameMs(step);
    ShowClock& clock = step ? static_cast<ShowClock&>(testClock) : systemClock;
    EntryMusic music;
    EntryScreen screen(step != 0, clock);
    SystemInput input;
    PlayOptions play = options.play;
    play.flashSyncs = TestFlash();
    return RunDemo({clock, music, screen, input}, options.fullscreen, options.size, play);
}

}  // namespace

int main(int argc, char** argv) {
    platform::AttachParentConsole();
    // No logs until kavlo is in the folder they belong in.
    MemoryTracker::HoldLogs();
    Options options;
    const int status = ReadOptions(argc, argv, &options);
    if (status >= 0) return status;
    if (!EnterData(options.data)) return kExitFailure;
    // No device: the music still runs, silently and at its own pace, and drives the syncs.
    if (options.mute) sound::UseSilentOutput(true);
    SetUpWindow(options);
    const int result = PlayShow(options);
    // Some ways out leave the window to the process's end; the display mode must not
    // outlive the process.
    GLWindow::Destroy();
    SDL_Quit();
    return result;
}
