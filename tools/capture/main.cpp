// kavlo-capture: renders the show offline at a fixed frame rate, with its music, to a
// video, PNG frames, single frames or the sound alone.
#include "Capture.h"
#include "DataFolder.h"
#include "GLWindow.h"
#include "memory/MemoryTracker.h"
#include "platform/files/Files.h"

#include <SDL.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: kavlo-capture [OPTIONS]\n"
    "Renders the Kavlo show offline with a virtual clock: frame n shows time\n"
    "n * 1000 / fps ms. It plays the show's data (musik.xm, megadata.rar) as kavlo\n"
    "does: the working folder's, else the folder --data names, else the data\n"
    "installed with it (run from its build folder, the build's).\n"
    "\n"
    "  -o FILE.mp4        video with the music (needs ffmpeg on PATH; without it,\n"
    "                     PNG frames and audio.wav go to FILE_frames/)\n"
    "  -o DIR/            numbered PNG frames and audio.wav in DIR\n"
    "  --at MS[,MS...]    single PNG frames at these times (at_MS.png, in the -o DIR/\n"
    "                     folder or the working directory); the show still runs from\n"
    "                     its start so that its state is as in the real show\n"
    "  --audio-only FILE.wav  the music as the show plays it (172 s)\n"
    "  --syncs            print the time in ms of every sync point, one per line\n"
    "  --timeline         print the show's length, its effect windows with their names\n"
    "                     and the contact sheet's times as JSON (the web page's seek\n"
    "                     bar and the frame checks read it)\n"
    "  --fps N            frames per second (default 60)\n"
    "  --size WxH         the size the show is drawn at (default 800x600)\n"
    "  --video WxH        with -o FILE.mp4: a video frame of this size, the picture\n"
    "                     scaled to fit and centred on black (e.g. --size 1440x1080\n"
    "                     --video 1920x1080 for a 1080p video with side bars)\n"
    "  --from MS --to MS  capture only this part of the show (default 0 to 172000)\n"
    "  --data DIR         play the show's data in DIR\n"
    "  -q, --quiet        no progress line\n"
    "  -h, --help         show this text\n"
    "\n"
    "Output paths are taken from the working folder. The logs (memleaks.log,\n"
    "debug_unrar.txt, memory.log) go where kavlo writes its own: into the data\n"
    "folder, or for the installed data into $XDG_STATE_HOME/kavlo, by default\n"
    "~/.local/state/kavlo. A run that ends at the command line writes none.\n";

// Where kavlo-capture looks for the show's data beyond the working folder, as kavlo
// does; the build gives the paths from the program's own folder.
const DataPlaces kDataPlaces = {"kavlo-capture", KAVLO_INSTALLED_DATA, KAVLO_BUILD_DATA};

int Fail(const std::string& message) {
    std::fprintf(stderr, "kavlo-capture: %s\n", message.c_str());
    return 1;
}

bool ParseMs(const char* text, uint32_t* out) {
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (errno || end == text || *end || v > 0xFFFFFFFFul) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool ParseTimes(const std::string& list, std::vector<uint32_t>* out) {
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                               : comma - start);
        uint32_t ms;
        if (!ParseMs(item.c_str(), &ms)) return false;
        out->push_back(ms);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return !out->empty();
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Makes the folder (one level) and checks that files can be written into it.
bool PrepareDirectory(const std::string& dir, std::string* error) {
    if (!platform::IsFolder(dir) && !platform::MakeFolder(dir)) {
        *error = "cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    if (access(dir.c_str(), W_OK) != 0) {
        *error = "cannot write into " + dir;
        return false;
    }
    return true;
}

bool FileExists(const std::string& name) { return access(name.c_str(), R_OK) == 0; }

std::string WorkingFolder() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : ".";
}

// The timeline as the show has it; names and numbers only, nothing to escape.
void PrintTimeline() {
    std::printf("{\n  \"lengthMs\": %u,\n  \"effects\": [\n", kShowLengthMs);
    for (int row = 0; row < kTimelineRows; ++row)
        std::printf("    {\"name\": \"%s\", \"startMs\": %u, \"endMs\": %u, \"overlay\": %s}%s\n",
                    kTimelineLabels[row].name, kTimeline[row].startMs, kTimeline[row].endMs,
                    kTimelineLabels[row].overlay ? "true" : "false",
                    row + 1 < kTimelineRows ? "," : "");
    std::printf("  ],\n  \"contactSheetMs\": [");
    const char* separator = "";
    for (const uint32_t ms : kContactSheetMs) {
        std::printf("%s%u", separator, ms);
        separator = ", ";
    }
    std::printf("]\n}\n");
}

// A file removed when it goes out of scope, unless kept: the WAV handed to ffmpeg, and a
// video that ffmpeg did not finish.
struct RemovedOnExit {
    std::string path;
    ~RemovedOnExit() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
    // An ffmpeg that ends early must fail a write, not kill us before its status is read.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // No logs until the capture is in the folder they belong in: a run that ends at the
    // command line leaves none.
    MemoryTracker::HoldLogs();
    int fps = 60;
    uint32_t fromMs = 0, toMs = kShowLengthMs;
    std::string output, audioOnly;
    const char* dataOption = nullptr;
    std::vector<uint32_t> atTimes;
    bool listSyncs = false, quiet = false, printTimeline = false;
    RenderSize size, video;
    bool videoGiven = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kavlo-capture: %s needs %s\n", arg.c_str(), what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "-o") {
            output = value("a file or folder");
        } else if (arg == "--fps") {
            const char* v = value("a number");
            fps = std::atoi(v);
            if (fps < 1 || fps > 1000) return Fail(std::string("bad frame rate '") + v + "'"), 2;
        } else if (arg == "--size" || arg == "--video") {
            const char* v = value("a size WxH");
            if (!ParseRenderSize(v, arg == "--size" ? &size : &video))
                return Fail(std::string("bad size '") + v + "' (WxH, each side " +
                            std::to_string(kMinRenderSide) + " to " +
                            std::to_string(kMaxRenderSide) + ")"),
                       2;
            if (arg == "--video") videoGiven = true;
        } else if (arg == "--from" || arg == "--to") {
            const char* v = value("a time in ms");
            if (!ParseMs(v, arg == "--from" ? &fromMs : &toMs))
                return Fail(std::string("bad time '") + v + "'"), 2;
        } else if (arg == "--at") {
            const char* v = value("times in ms");
            if (!ParseTimes(v, &atTimes)) return Fail(std::string("bad time list '") + v + "'"), 2;
        } else if (arg == "--audio-only") {
            audioOnly = value("a WAV file");
        } else if (arg == "--data") {
            dataOption = value("a folder");
        } else if (arg == "--syncs") {
            listSyncs = true;
        } else if (arg == "--timeline") {
            printTimeline = true;
        } else if (arg == "-q" || arg == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "kavlo-capture: unknown option '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (fromMs > toMs) return Fail("--from is after --to"), 2;
    // It needs no data.
    if (printTimeline) PrintTimeline();
    if (printTimeline && output.empty() && atTimes.empty() && audioOnly.empty() && !listSyncs)
        return 0;
    if (output.empty() && atTimes.empty() && audioOnly.empty() && !listSyncs)
        return Fail("nothing to do: give -o, --at, --audio-only or --syncs (see --help)"), 2;
    if (videoGiven && (!atTimes.empty() || output.empty() || EndsWith(output, "/") ||
                       platform::IsFolder(output)))
        return Fail("--video needs -o FILE.mp4"), 2;
    // H.264 in 4:2:0 needs even sides: an odd picture gets one black row or column.
    if (!videoGiven) video = {size.width + (size.width & 1), size.height + (size.height & 1)};
    if ((video.width | video.height) & 1) return Fail("--video needs even sides"), 2;

    // The files the user names are named from the folder the capture was started in; it
    // then works in the data folder, or in the state folder for the installed data.
    const std::string startFolder = WorkingFolder();
    if (EnterDataFolder(kDataPlaces, dataOption) != DataFolderResult::kEntered) return 1;
    MoveToStateFolderIfInstalled(kDataPlaces);
    MemoryTracker::ClearLogAtStart();  // the last run's, here where this run's will go
    const bool moved = WorkingFolder() != startFolder;
    auto named = [&](const std::string& path) {
        return moved ? (std::filesystem::u8path(startFolder) / std::filesystem::u8path(path)).u8string()
                     : path;
    };
    const std::string shownOutput = output, shownAudio = audioOnly;
    if (!output.empty()) output = named(output);
    if (!audioOnly.empty()) audioOnly = named(audioOnly);

    if (!FileExists(DataPath("musik.xm")))
        return Fail("musik.xm not found in " + DataFolderName() +
                    ": give --data DIR, the folder that holds the show's data");

    // The music first: the sync points and --audio-only need nothing else.
    capture::Music music;
    std::string error;
    const double seconds = kShowLengthMs / 1000.0;
    if (!capture::RenderMusic(DataPath("musik.xm"), seconds, &music, &error)) return Fail(error);
    if (listSyncs) {
        for (const capture::SyncPoint& s : music.syncs)
            if (s.param == 0) std::printf("%.0f\n", s.timeMs);
    }
    if (!audioOnly.empty()) {
        if (!capture::WriteWav(audioOnly, music.samples.data(), music.samples.size() / 2, &error))
            return Fail(error);
        if (!quiet) std::fprintf(stderr, "kavlo-capture: wrote %s\n", shownAudio.c_str());
    }
    if (output.empty() && atTimes.empty()) return 0;

    if (!FileExists(DataPath("megadata.rar")))
        return Fail("megadata.rar not found in " + DataFolderName() +
                    ": give --data DIR, the folder that holds the show's data");

    // Choose the sink.
    std::unique_ptr<capture::FrameSink> sink;
    std::string wavPath;
    RemovedOnExit temporaryWav, unfinishedVideo;
    const int width = size.width, height = size.height;
    if (!atTimes.empty()) {
        std::string dir = output.empty() ? named(".") : output;
        if (!PrepareDirectory(dir, &error)) return Fail(error);
        sink = capture::MakeSingleFrameSink(dir, atTimes, width, height);
    } else {
        bool frames = EndsWith(output, "/") || platform::IsFolder(output);
        std::string dir = output;
        if (!frames && !capture::FfmpegAvailable()) {
            dir = (EndsWith(output, ".mp4") ? output.substr(0, output.size() - 4) : output) +
                  "_frames";
            std::fprintf(stderr,
                         "kavlo-capture: ffmpeg not found; writing PNG frames and audio.wav to "
                         "%s/ instead\n",
                         dir.c_str());
            frames = true;
        }
        if (frames) {
            if (!PrepareDirectory(dir, &error)) return Fail(error);
            wavPath = dir + "/audio.wav";
            sink = capture::MakePngSequenceSink(dir, fromMs, toMs, width, height);
        } else {
            std::FILE* probe = std::fopen(output.c_str(), "wb");
            if (!probe) return Fail("cannot write " + output + ": " + std::strerror(errno));
            std::fclose(probe);
            unfinishedVideo.path = output;
            wavPath = output + ".audio.wav";
            temporaryWav.path = wavPath;
        }
        // The sound of the captured range.
        const size_t first = static_cast<size_t>(fromMs) * capture::kSampleRate / 1000;
        const size_t last = std::min(music.samples.size() / 2,
                                     static_cast<size_t>(toMs) * capture::kSampleRate / 1000);
        const size_t count = last > first ? last - first : 0;
        if (!capture::WriteWav(wavPath, music.samples.data() + 2 * first, count, &error))
            return Fail(error);
        if (!frames) {
            sink = capture::MakeVideoSink(output, wavPath, fps, fromMs, toMs, width, height,
                                          video.width, video.height, &error);
            if (!sink) return Fail(error);
        }
    }

#ifndef _WIN32  // Windows always has a desktop to make the hidden window on
    // Headless machines draw through SDL's offscreen driver.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!std::getenv("SDL_VIDEODRIVER") && !(display && *display) && !(wayland && *wayland))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
#endif

    capture::CapturePlatform platform(fps, capture::SyncSchedule(music.syncs), sink.get(), toMs,
                                      !quiet);
    RunDemo(platform, false, size);
    GLWindow::Destroy();
    const bool finished = sink->Finish(&error);
    sink.reset();
    SDL_Quit();

    if (!platform.ShowStarted()) return Fail("the show did not start (see the message above)");
    // A frame that could not be piped most often means ffmpeg has gone: its status says why.
    if (!finished && !unfinishedVideo.path.empty()) return Fail(error);
    if (platform.WriteFailed()) return Fail("writing a frame failed");
    if (!finished) return Fail(error);
    unfinishedVideo.path.clear();
    if (!quiet && !output.empty())
        std::fprintf(stderr, "kavlo-capture: wrote %s\n", shownOutput.c_str());
    return 0;
}
