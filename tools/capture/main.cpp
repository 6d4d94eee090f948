// kavlo-capture: renders the show offline at a fixed frame rate, with its music, to a
// video, PNG frames, single frames or the sound alone.
#include "Capture.h"
#include "app/common/DataFolder.h"
#include "app/common/Options.h"
#include "platform/window/GLWindow.h"
#include "memory/MemoryTracker.h"
#include "platform/files/Files.h"
#include "platform/process/Process.h"

#include <SDL.h>

#include <cerrno>
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

// What the command line asks for.
struct Options {
    uint32_t fps = 60;
    uint32_t fromMs = 0, toMs = kShowLengthMs;
    std::string output, audioOnly;
    std::string atFolder = ".";  // where --at's frames go without -o
    const char* data = nullptr;
    std::vector<uint32_t> atTimes;
    bool listSyncs = false, quiet = false, printTimeline = false;
    RenderSize size, video;
    bool videoGiven = false;

    bool WantsFrames() const { return !output.empty() || !atTimes.empty(); }
};

// -1 when the command line asks for a capture, else the status to exit with.
int ReadOptions(int argc, char** argv, Options* o) {
    OptionReader read("kavlo-capture", argc, argv);
    while (read.Next()) {
        const char* text = nullptr;
        bool ok = true;
        if (read.Is("-h", "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (read.Is("-o")) {
            if ((ok = read.Text(&text, "a file or folder"))) o->output = text;
        } else if (read.Is("--fps")) {
            ok = read.FrameRate(&o->fps);
        } else if (read.Is("--size")) {
            ok = read.Size(&o->size);
        } else if (read.Is("--video")) {
            ok = o->videoGiven = read.Size(&o->video);
        } else if (read.Is("--from")) {
            ok = read.Time(UINT32_MAX, &o->fromMs);
        } else if (read.Is("--to")) {
            ok = read.Time(UINT32_MAX, &o->toMs);
        } else if (read.Is("--at")) {
            ok = read.Times(&o->atTimes);
        } else if (read.Is("--audio-only")) {
            if ((ok = read.Text(&text, "a WAV file"))) o->audioOnly = text;
        } else if (read.Is("--data")) {
            ok = read.Text(&o->data, "a folder");
        } else if (read.Is("--syncs")) {
            o->listSyncs = true;
        } else if (read.Is("--timeline")) {
            o->printTimeline = true;
        } else if (read.Is("-q", "--quiet")) {
            o->quiet = true;
        } else {
            read.Unknown(kUsage);
            return 2;
        }
        if (!ok) return 2;
    }
    return -1;
}

// The options against each other; -1 when there is a capture to make.
int CheckOptions(Options* o) {
    if (o->fromMs > o->toMs) return Fail("--from is after --to"), 2;
    // It needs no data.
    if (o->printTimeline) PrintTimeline();
    const bool work = o->WantsFrames() || !o->audioOnly.empty() || o->listSyncs;
    if (o->printTimeline && !work) return 0;
    if (!work) return Fail("nothing to do: give -o, --at, --audio-only or --syncs (see --help)"), 2;
    if (o->videoGiven && (!o->atTimes.empty() || o->output.empty() || EndsWith(o->output, "/") ||
                          platform::IsFolder(o->output)))
        return Fail("--video needs -o FILE.mp4"), 2;
    // H.264 in 4:2:0 needs even sides: an odd picture gets one black row or column.
    if (!o->videoGiven)
        o->video = {o->size.width + (o->size.width & 1), o->size.height + (o->size.height & 1)};
    if ((o->video.width | o->video.height) & 1) return Fail("--video needs even sides"), 2;
    return -1;
}

// Into the data folder (or the state folder for the installed data), once the files
// this run needs are there: a folder that lacks them keeps its memory.log and gets no
// log of this run. The output paths, named from the folder the capture was started in,
// are made absolute where the working folder changed.
int EnterData(Options* o) {
    const std::string startFolder = WorkingFolder();
    if (EnterDataFolder(kDataPlaces, o->data) != DataFolderResult::kEntered) return 1;
    std::vector<const char*> needed = {"musik.xm"};
    if (o->WantsFrames()) needed.push_back("megadata.rar");
    for (const char* name : needed) {
        if (!FileExists(name))
            return Fail(std::string(name) + " not found in " + DataFolderName() +
                        ": give --data DIR, the folder that holds the show's data");
    }
    MoveToStateFolderIfInstalled(kDataPlaces);
    MemoryTracker::ClearLogAtStart();  // the last run's, here where this run's will go
    if (WorkingFolder() == startFolder) return -1;
    for (std::string* path : {&o->output, &o->audioOnly, &o->atFolder})
        if (!path->empty())
            *path = (std::filesystem::u8path(startFolder) / std::filesystem::u8path(*path)).u8string();
    return -1;
}

// The music's sync list and the sound alone, as asked; -1 to go on to the frames.
int WriteMusic(const Options& o, const capture::Music& music, const std::string& shownAudio) {
    std::string error;
    if (o.listSyncs) {
        for (const capture::SyncPoint& s : music.syncs)
            if (s.param == 0) std::printf("%.0f\n", s.timeMs);
    }
    if (!o.audioOnly.empty()) {
        if (!capture::WriteWav(o.audioOnly, music.samples.data(), music.samples.size() / 2, &error))
            return Fail(error);
        if (!o.quiet) std::fprintf(stderr, "kavlo-capture: wrote %s\n", shownAudio.c_str());
    }
    return o.WantsFrames() ? -1 : 0;
}

// Where the frames go, with the sound of the captured range beside them.
struct Output {
    std::unique_ptr<capture::FrameSink> sink;
    RemovedOnExit temporaryWav, unfinishedVideo;
};

// A folder of PNG frames and audio.wav, or a video through ffmpeg (frames where there is
// no ffmpeg). False with the reason in `error`.
bool OpenVideoOrFrames(const Options& o, const capture::Music& music, Output* out,
                       std::string* error) {
    bool frames = EndsWith(o.output, "/") || platform::IsFolder(o.output);
    std::string dir = o.output, wavPath;
    if (!frames && !capture::FfmpegAvailable()) {
        dir = (EndsWith(o.output, ".mp4") ? o.output.substr(0, o.output.size() - 4) : o.output) +
              "_frames";
        std::fprintf(stderr,
                     "kavlo-capture: ffmpeg not found; writing PNG frames and audio.wav to "
                     "%s/ instead\n",
                     dir.c_str());
        frames = true;
    }
    const int width = o.size.width, height = o.size.height;
    if (frames) {
        if (!PrepareDirectory(dir, error)) return false;
        wavPath = dir + "/audio.wav";
        out->sink = capture::MakePngSequenceSink(dir, o.fromMs, o.toMs, width, height);
    } else {
        std::FILE* probe = std::fopen(o.output.c_str(), "wb");
        if (!probe) return *error = "cannot write " + o.output + ": " + std::strerror(errno), false;
        std::fclose(probe);
        out->unfinishedVideo.path = o.output;
        wavPath = o.output + ".audio.wav";
        out->temporaryWav.path = wavPath;
    }
    // The sound of the captured range.
    const size_t first = static_cast<size_t>(o.fromMs) * capture::kSampleRate / 1000;
    const size_t last = std::min(music.samples.size() / 2,
                                 static_cast<size_t>(o.toMs) * capture::kSampleRate / 1000);
    const size_t count = last > first ? last - first : 0;
    if (!capture::WriteWav(wavPath, music.samples.data() + 2 * first, count, error)) return false;
    if (frames) return true;
    out->sink = capture::MakeVideoSink(o.output, wavPath, static_cast<int>(o.fps), o.fromMs, o.toMs,
                                       width, height, o.video.width, o.video.height, error);
    return out->sink != nullptr;
}

bool OpenOutput(const Options& o, const capture::Music& music, Output* out, std::string* error) {
    if (o.atTimes.empty()) return OpenVideoOrFrames(o, music, out, error);
    const std::string dir = o.output.empty() ? o.atFolder : o.output;
    if (!PrepareDirectory(dir, error)) return false;
    out->sink = capture::MakeSingleFrameSink(dir, o.atTimes, o.size.width, o.size.height);
    return true;
}

// The show, drawn into the output; the exit status.
int CaptureShow(const Options& o, const capture::Music& music, Output* out,
                const std::string& shownOutput) {
    // Headless machines draw through SDL's offscreen driver.
    GLWindow::UseOffscreenWithoutDisplay();
    capture::CapturePlatform platform(static_cast<int>(o.fps), capture::SyncSchedule(music.syncs),
                                      out->sink.get(), o.toMs, !o.quiet);
    RunDemo(platform.Shell(), false, o.size);
    GLWindow::Destroy();
    std::string error;
    const bool finished = out->sink->Finish(&error);
    out->sink.reset();
    SDL_Quit();

    if (!platform.ShowStarted()) return Fail("the show did not start (see the message above)");
    // A frame that could not be piped most often means ffmpeg has gone: its status says why.
    if (!finished && !out->unfinishedVideo.path.empty()) return Fail(error);
    if (platform.WriteFailed()) return Fail("writing a frame failed");
    if (!finished) return Fail(error);
    out->unfinishedVideo.path.clear();
    if (!o.quiet && !o.output.empty())
        std::fprintf(stderr, "kavlo-capture: wrote %s\n", shownOutput.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // An ffmpeg that ends early must fail a write, not kill us before its status is read.
    platform::KeepRunningOnBrokenPipe();
    // No logs until the capture is in the folder they belong in: a run that ends at the
    // command line leaves none.
    MemoryTracker::HoldLogs();
    Options options;
    int status = ReadOptions(argc, argv, &options);
    if (status < 0) status = CheckOptions(&options);
    if (status >= 0) return status;
    const std::string shownOutput = options.output, shownAudio = options.audioOnly;
    if ((status = EnterData(&options)) >= 0) return status;

    // The music first: the sync points and --audio-only need nothing else.
    capture::Music music;
    std::string error;
    if (!capture::RenderMusic(DataPath("musik.xm"), kShowLengthMs / 1000.0, &music, &error))
        return Fail(error);
    if ((status = WriteMusic(options, music, shownAudio)) >= 0) return status;

    Output output;
    if (!OpenOutput(options, music, &output, &error)) return Fail(error);
    return CaptureShow(options, music, &output, shownOutput);
}
