// Tests of the offline capture: frame times, deltas, where syncs land, the frame and
// sound outputs, and the command line.
#include "Capture.h"
#include "platform/window/GLWindow.h"
#include "audio/ModuleRenderer.h"
#include "audio/XmScan.h"
#include "tools/xm/XmWriter.h"

#include <gtest/gtest.h>
#include <GL/gl.h>
#include <png.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Drawn {
    unsigned timeMs;
    int deltaMs;
    bool sync;
};
std::vector<Drawn> drawn;

// Fills the screen with a colour that encodes the frame's time.
class TimeColourEffect : public Effect {
public:
    void Render(unsigned timeMs, int deltaMs, bool sync) override {
        drawn.push_back({timeMs, deltaMs, sync});
        glClearColor((timeMs % 256) / 255.0f, sync ? 1.0f : 0.0f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        // The top row white, so that the row order of a read-back shows.
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, viewport[3] - 1, viewport[2], 1);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }
};

class TestCapturePlatform : public capture::CapturePlatform {
public:
    using CapturePlatform::CapturePlatform;
    ShellPlatform Shell() {
        ShellPlatform shell = CapturePlatform::Shell();
        shell.createEffects = [](std::vector<EffectEntry>& effects) {
            effects.push_back({new TimeColourEffect, 0});  // row 0: 0 to 18000
        };
        return shell;
    }
};

class RecordingSink : public capture::FrameSink {
public:
    uint32_t to = 1000;
    std::vector<uint32_t> written;
    bool Wants(uint64_t, uint32_t t) const override { return t % 200 == 0; }
    bool Done(uint32_t t) const override { return t >= to; }
    bool Write(uint64_t, uint32_t t, const uint8_t* rgba) override {
        written.push_back(t);
        firstPixel = rgba[0];
        return true;
    }
    bool Finish(std::string*) override { return true; }
    uint8_t firstPixel = 0;
};

// A video-like sink: frames come top-down in BGRA, on the capture's writer thread.
class StreamingSink : public capture::FrameSink {
public:
    struct Frame {
        uint32_t timeMs;
        uint8_t top[4], bottom[4];
        bool onWriterThread;
    };
    std::vector<Frame> frames;
    std::thread::id renderThread = std::this_thread::get_id();
    size_t rowBytes = 800 * 4, rows = 600;
    bool Wants(uint64_t, uint32_t t) const override { return t % 200 == 0; }
    bool Done(uint32_t t) const override { return t >= 1000; }
    capture::FrameLayout Layout() const override { return capture::FrameLayout::kBgraTopDown; }
    bool Streams() const override { return true; }
    bool Write(uint64_t, uint32_t t, const uint8_t* bgra) override {
        Frame f{t, {}, {}, std::this_thread::get_id() != renderThread};
        std::memcpy(f.top, bgra, 4);
        std::memcpy(f.bottom, bgra + rowBytes * (rows - 1), 4);
        frames.push_back(f);
        return true;
    }
    bool Finish(std::string*) override { return true; }
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

TEST(CaptureClock, FrameTimesFollowTheFrameRate) {
    EXPECT_EQ(capture::FrameTimeMs(0, 60), 0u);
    EXPECT_EQ(capture::FrameTimeMs(1, 60), 16u);
    EXPECT_EQ(capture::FrameTimeMs(3900, 60), 65000u);
    EXPECT_EQ(capture::FrameTimeMs(10320, 60), 172000u);
    EXPECT_EQ(capture::FrameTimeMs(1, 7), 142u);
    EXPECT_EQ(capture::FrameTimeMs(7, 7), 1000u);
}

TEST(CaptureClock, SyncsAreDeliveredOnceOnTheFirstFrameAtOrAfterThem) {
    std::vector<unsigned char> got;
    static std::vector<unsigned char>* sink;
    sink = &got;
    auto callback = [](sound::Module*, unsigned char p) { sink->push_back(p); };
    capture::SyncSchedule schedule({{100.0, 0}, {150.5, 4}, {150.6, 0}});
    schedule.DeliverUpTo(99, callback);
    EXPECT_TRUE(got.empty());
    schedule.DeliverUpTo(100, callback);
    EXPECT_EQ(got, std::vector<unsigned char>({0}));
    schedule.DeliverUpTo(150, callback);
    EXPECT_EQ(got.size(), 1u);
    schedule.DeliverUpTo(151, callback);
    EXPECT_EQ(got, std::vector<unsigned char>({0, 4, 0}));
    schedule.DeliverUpTo(100000, callback);
    EXPECT_EQ(got.size(), 3u);
}

TEST(CaptureShow, VirtualClockDrivesTheRealFrameLoop) {
    drawn.clear();
    RecordingSink sink;
    // A sync at 250 ms reaches the 300 ms frame; one at 620 is withdrawn at 640.
    capture::SyncSchedule schedule({{250.0, 0}, {620.0, 0}, {640.0, 9}});
    TestCapturePlatform platform(10, schedule, &sink, 1000, false);
    RunDemo(platform.Shell(), false);
    GLWindow::Destroy();
    ASSERT_TRUE(platform.ShowStarted());
    // Frame 0 (0 ms) draws nothing: windows are strict.
    ASSERT_EQ(drawn.size(), 10u);
    for (size_t i = 0; i < drawn.size(); ++i) {
        EXPECT_EQ(drawn[i].timeMs, 100u * (i + 1));
        EXPECT_EQ(drawn[i].deltaMs, 100);
        EXPECT_EQ(drawn[i].sync, drawn[i].timeMs == 300) << drawn[i].timeMs;
    }
    EXPECT_EQ(sink.written, std::vector<uint32_t>({0, 200, 400, 600, 800, 1000}));
    EXPECT_EQ(sink.firstPixel, 1000 % 256);  // read back from the frame just drawn
    EXPECT_EQ(platform.FramesRendered(), 11u);
}

TEST(CaptureShow, StreamedFramesArriveInOrderTopDownAndComplete) {
    drawn.clear();
    StreamingSink sink;
    TestCapturePlatform platform(10, capture::SyncSchedule(), &sink, 1000, false);
    RunDemo(platform.Shell(), false);
    GLWindow::Destroy();
    ASSERT_TRUE(platform.ShowStarted());
    EXPECT_FALSE(platform.WriteFailed());
    // Frames read back a few frames late are all handed over before the show returns.
    ASSERT_EQ(sink.frames.size(), 6u) << platform.FramesRendered();
    for (size_t i = 0; i < sink.frames.size(); ++i) {
        const StreamingSink::Frame& f = sink.frames[i];
        EXPECT_EQ(f.timeMs, 200u * i);
        EXPECT_TRUE(f.onWriterThread);
        if (f.timeMs == 0) continue;  // nothing is drawn at 0 ms
        EXPECT_EQ(f.top[0], 255) << "first row is the top";
        EXPECT_EQ(f.bottom[0], 128) << "blue first";
        EXPECT_EQ(f.bottom[2], f.timeMs % 256) << "red third, from this frame";
    }
}

TEST(CaptureOutput, PngSequenceSingleFramesAndWav) {
    const int w = 4, h = 2;
    std::vector<uint8_t> rgba(w * h * 4, 0);
    // Bottom row red, top row blue, in GL's bottom-up order.
    for (int x = 0; x < w; ++x) {
        rgba[4 * x] = 255;
        rgba[(w + x) * 4 + 2] = 255;
    }
    mkdir("seq", 0777);
    auto seq = capture::MakePngSequenceSink("seq", 100, 200, w, h);
    EXPECT_FALSE(seq->Wants(0, 99));
    EXPECT_TRUE(seq->Wants(1, 100));
    EXPECT_TRUE(seq->Wants(2, 200));
    EXPECT_FALSE(seq->Done(199));
    EXPECT_TRUE(seq->Done(200));
    ASSERT_TRUE(seq->Write(1, 100, rgba.data()));
    ASSERT_TRUE(seq->Write(2, 200, rgba.data()));
    EXPECT_TRUE(Exists("seq/frame_000000.png"));
    EXPECT_TRUE(Exists("seq/frame_000001.png"));

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, "seq/frame_000000.png"));
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(rgb[2], 255);            // first row of the file is the top: blue
    EXPECT_EQ(rgb[w * 3 + 0], 255);    // second row red

    auto at = capture::MakeSingleFrameSink(".", {300, 150, 300}, w, h);
    EXPECT_FALSE(at->Wants(0, 149));
    EXPECT_TRUE(at->Wants(1, 160));
    ASSERT_TRUE(at->Write(1, 160, rgba.data()));
    EXPECT_TRUE(Exists("at_150.png"));
    EXPECT_FALSE(at->Done(160));
    std::string error;
    EXPECT_FALSE(at->Finish(&error));
    EXPECT_NE(error.find("300"), std::string::npos);
    ASSERT_TRUE(at->Write(2, 400, rgba.data()));
    EXPECT_TRUE(Exists("at_300.png"));
    EXPECT_TRUE(at->Done(400));
    EXPECT_TRUE(at->Finish(&error));

    std::vector<float> samples(2 * 441, 0.25f);
    ASSERT_TRUE(capture::WriteWav("tone.wav", samples.data(), 441, &error)) << error;
    SF_INFO info {};
    SNDFILE* f = sf_open("tone.wav", SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.frames, 441);
    sf_close(f);
    EXPECT_FALSE(capture::WriteWav("no/such/dir/x.wav", samples.data(), 441, &error));
}

// ---------------------------------------------------------------------------------
// The command

int RunTool(const std::string& args, std::string* output = nullptr) {
    const std::string cmd = std::string(CAPTURE_TOOL) + " " + args + " > cmd_out.txt 2>&1";
    const int status = std::system(cmd.c_str());
    if (output) *output = Slurp("cmd_out.txt");
    return WEXITSTATUS(status);
}

void WriteSyncModule(const std::string& path) {
    xm::Module song;
    song.channels = 2;
    int lead = song.AddInstrument(xm::Instrument::FromSample(
        "lead", xm::Sample::Wave(xm::Waveform::kSquare, 32, 16)));
    int p = song.AddPattern(16);
    song.patterns[p].At(0, 0).Play("C-4", lead).Sync();
    song.patterns[p].At(8, 1).Play("G-4", lead).Sync();
    song.patterns[p].At(12, 1).Sync(5);
    song.orders = {p, p};
    std::string error;
    ASSERT_TRUE(song.WriteFile(path, &error)) << error;
}

TEST(CaptureCommand, HelpUsageAndMissingData) {
    std::string out;
    EXPECT_EQ(RunTool("--help", &out), 0);
    EXPECT_NE(out.find("--audio-only"), std::string::npos);
    EXPECT_EQ(RunTool("", &out), 2);
    EXPECT_EQ(RunTool("--bogus", &out), 2);
    EXPECT_EQ(RunTool("--fps 0 --syncs", &out), 2);
    EXPECT_EQ(RunTool("--at 12,x", &out), 2);
    EXPECT_EQ(RunTool("--size 800x600x --syncs", &out), 2);
    EXPECT_EQ(RunTool("--video 1920x1080 --at 100", &out), 2);
    EXPECT_NE(out.find("--video needs -o FILE.mp4"), std::string::npos) << out;
    EXPECT_EQ(RunTool("--video 1921x1080 -o x.mp4", &out), 2);
    mkdir("empty", 0777);
    EXPECT_EQ(RunTool("--syncs --data empty", &out), 1);
    EXPECT_NE(out.find("the show's data (musik.xm and megadata.rar) is not in"), std::string::npos) << out;
    EXPECT_EQ(RunTool("--syncs --data no-such-folder", &out), 1);
    EXPECT_NE(out.find("cannot use --data no-such-folder"), std::string::npos) << out;
}

// Started away from any data, the capture in the build tree plays the build's show.
TEST(CaptureCommand, FindsTheBuildsDataFromElsewhere) {
    if (access((std::string(KAVLO_BINARY_DIR) + "/show/musik.xm").c_str(), R_OK) != 0)
        GTEST_SKIP() << "the show data is not built";
    mkdir("elsewhere", 0777);
    ASSERT_EQ(chdir("elsewhere"), 0);
    std::string out;
    const int rc = RunTool("--syncs", &out);
    ASSERT_EQ(chdir(".."), 0);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("playing the show's data in " + std::string(KAVLO_BINARY_DIR) + "/show\n"),
              std::string::npos) << out;
}

TEST(CaptureCommand, SyncListAndAudioOnly) {
    mkdir("music", 0777);
    WriteSyncModule("music/musik.xm");
    ASSERT_EQ(chdir("music"), 0);
    std::string out;
    const int rc = RunTool("--data . --syncs --audio-only show.wav -q", &out);
    // Rows last 120 ms at speed 6, 125 BPM: Z00 at rows 0 and 8 of two patterns.
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.substr(0, 16), "0\n960\n1920\n2880\n") << out;
    SF_INFO info {};
    SNDFILE* f = sf_open("show.wav", SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.frames, 172 * 44100);
    sf_close(f);
    // Frames need the archive too.
    EXPECT_EQ(RunTool("--data . -o frames/ -q", &out), 1);
    EXPECT_NE(out.find("megadata.rar not found"), std::string::npos) << out;
    ASSERT_EQ(chdir(".."), 0);
}

// ---------------------------------------------------------------------------------
// The show's own music, as the build made it: on its tempo for the whole show

struct ShowMusic {
    std::string dir;               // the build's show folder
    std::vector<uint8_t> bytes;
    double rowMs = 0;              // at the header's speed and tempo
    std::vector<double> syncMs;    // every Z00, in play order, at its row's time
};

// Reads musik.xm from the build's show folder; false (the test skips) where there is none.
bool LoadShowMusic(ShowMusic* music) {
    music->dir = std::string(KAVLO_BINARY_DIR) + "/show";
    std::string text = Slurp(music->dir + "/musik.xm");
    if (text.empty()) return false;
    music->bytes.assign(text.begin(), text.end());
    sound::XmScan scan;
    EXPECT_TRUE(sound::ScanXm(music->bytes.data(), music->bytes.size(), &scan, nullptr, nullptr));
    EXPECT_GT(scan.tempo, 0);
    music->rowMs = scan.speed * 2500.0 / scan.tempo;
    int index = 0;  // rows from the start, which is their time as long as nothing jumps
    for (int order : scan.orders) {
        const sound::XmPattern& pattern = scan.patterns.at(static_cast<size_t>(order));
        for (const sound::XmCell& cell : pattern.cells) {
            // No speed or tempo change, jump, break, loop or delay: row i begins at i rows.
            EXPECT_TRUE(cell.effect != 0x0F && cell.effect != 0x0B && cell.effect != 0x0D &&
                        !(cell.effect == 0x0E && (cell.param >> 4 == 6 || cell.param >> 4 == 0xE)));
        }
        for (const sound::XmSync& sync : scan.syncs)
            if (sync.pattern == order && sync.param == 0)
                music->syncMs.push_back((index + sync.row) * music->rowMs);
        index += pattern.rows;
    }
    return true;
}

TEST(CaptureShowMusic, SyncListIsOnTheRowsOfTheModule) {
    ShowMusic music;
    if (!LoadShowMusic(&music)) GTEST_SKIP() << "the show data is not built";
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    const std::string listed = std::string(here) + "/show_syncs.txt";
    const std::string cmd =
        "cd '" + music.dir + "' && " + CAPTURE_TOOL + " --syncs > '" + listed + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::istringstream in(Slurp(listed));
    std::vector<double> times;
    for (double t; in >> t;) times.push_back(t);
    ASSERT_EQ(times.size(), music.syncMs.size());
    ASSERT_GT(times.size(), 40u);
    for (size_t i = 0; i < times.size(); ++i)
        EXPECT_NEAR(times[i], music.syncMs[i], 1.0) << "sync " << i;
}

TEST(CaptureShowMusic, EveryRowAndSectionChangeKeepsTheTimeline) {
    ShowMusic music;
    if (!LoadShowMusic(&music)) GTEST_SKIP() << "the show data is not built";
    // As the capture renders it for its sound track.
    std::vector<sound::RowStart> rows;
    std::string error;
    ASSERT_TRUE(sound::RenderModuleOffline(music.bytes.data(), music.bytes.size(),
                                           kShowLengthMs / 1000.0, nullptr, nullptr, &error, 16,
                                           &rows))
        << error;
    ASSERT_GE(rows.size() * music.rowMs, kShowLengthMs - music.rowMs);
    std::map<long, bool> orderStarts;  // ms -> a new pattern of the order list begins there
    for (size_t i = 0; i < rows.size(); ++i) {
        const double ms = rows[i].frame * 1000.0 / capture::kSampleRate;
        EXPECT_NEAR(ms, i * music.rowMs, 1.0) << "row " << i;
        if (rows[i].row == 0) orderStarts[std::lround(ms)] = true;
    }
    // The music changes section where each main effect's window opens.
    for (int i = 0; i < 9; ++i) {
        const long start = kTimeline[i].startMs;
        if (start == 0) continue;
        bool found = false;
        for (long ms = start - 1; ms <= start + 1; ++ms) found |= orderStarts.count(ms) != 0;
        EXPECT_TRUE(found) << "no section of the music begins at " << start << " ms";
    }
}

bool ShowDataAndFfmpegPresent() {
    return access((std::string(KAVLO_BINARY_DIR) + "/show/megadata.rar").c_str(), R_OK) == 0 &&
           std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") == 0;
}

// The tool run in the built show folder; paths in `args` are taken from the test's folder
// through `Here()`.
std::string Here() {
    char here[4096];
    return getcwd(here, sizeof here) ? here : "";
}
int RunToolInShow(const std::string& args, std::string* output) {
    const std::string here = Here();
    if (chdir((std::string(KAVLO_BINARY_DIR) + "/show").c_str()) != 0) return -1;
    const int rc = RunTool(args, output);
    return chdir(here.c_str()) == 0 ? rc : -1;
}

// --size and --video on the real show: a 160x120 picture in a 320x120 video, centred
// between black bars.
TEST(CaptureCommand, VideoOfAnotherAspectIsPaddedWithBlackBars) {
    if (!ShowDataAndFfmpegPresent()) GTEST_SKIP() << "needs the show's data and ffmpeg";
    const std::string video = Here() + "/padded.mp4";
    std::string out;
    ASSERT_EQ(RunToolInShow("--fps 5 --to 1000 --size 160x120 --video 320x120 -q -o " + video, &out), 0)
        << out;
    ASSERT_EQ(std::system(("ffprobe -v error -select_streams v -show_entries stream=width,height "
                           "-of csv=p=0 " + video + " > probe.txt").c_str()),
              0);
    EXPECT_EQ(Slurp("probe.txt"), "320,120\n");
    ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -i " + video +
                           " -f rawvideo -pix_fmt gray frames.gray").c_str()),
              0);
    const std::string frames = Slurp("frames.gray");
    ASSERT_GE(frames.size(), 320u * 120u);
    const std::string gray = frames.substr(frames.size() - 320 * 120);  // the last frame
    auto mean = [&](int x0, int x1) {
        double sum = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = x0; x < x1; ++x) sum += static_cast<unsigned char>(gray[y * 320 + x]);
        return sum / (120.0 * (x1 - x0));
    };
    EXPECT_LT(mean(0, 70), 20.0);    // black (as encoded: studio range, a little above 0)
    EXPECT_LT(mean(250, 320), 20.0);
    EXPECT_GT(mean(90, 230), mean(0, 70) + 15.0) << "the picture between the bars";
}


// Names that ffmpeg would read as an option or as a protocol reach it as files: run in
// a data folder, where the names stay as given, each video lands under its own name.
TEST(CaptureCommand, VideoNamesReachFfmpegAsFiles) {
    if (!ShowDataAndFfmpegPresent()) GTEST_SKIP() << "needs the show's data and ffmpeg";
    mkdir("named", 0777);
    for (const std::string name : {"musik.xm", "megadata.rar"})
        symlink((std::string(KAVLO_BINARY_DIR) + "/show/" + name).c_str(), ("named/" + name).c_str());
    ASSERT_EQ(chdir("named"), 0);
    for (const std::string name : {"-x.mp4", "a:b.mp4", "pipe:1.mp4"}) {
        std::string out;
        EXPECT_EQ(RunTool("--fps 5 --to 400 --size 64x64 -q -o '" + name + "'", &out), 0) << name << out;
        struct stat info;
        EXPECT_TRUE(stat(name.c_str(), &info) == 0 && info.st_size > 1000) << name;
        EXPECT_TRUE(out.empty()) << name << ": " << out;
    }
    ASSERT_EQ(chdir(".."), 0);
}

// An ffmpeg that ends early, at once or after a few frames (each frame larger than a
// pipe's buffer): its exit status is reported, the tool exits 1 instead of dying of
// SIGPIPE, and neither the WAV handed to ffmpeg nor the unfinished video is left.
TEST(CaptureCommand, FfmpegThatEndsEarlyIsReported) {
    if (access((std::string(KAVLO_BINARY_DIR) + "/show/megadata.rar").c_str(), R_OK) != 0)
        GTEST_SKIP() << "the show data is not built";
    const std::string here = Here();
    const struct {
        const char* body;
        const char* status;
    } cases[] = {
        {"exit 3", "ffmpeg failed (exit status 3)"},
        {"head -c 1000000 >/dev/null; exit 4", "ffmpeg failed (exit status 4)"},
        {"head -c 1000000 >/dev/null; kill -9 $$", "ffmpeg failed (killed by signal 9)"},
    };
    const std::string oldPath = std::getenv("PATH");
    for (const auto& c : cases) {
        mkdir("fakebin", 0777);
        {
            std::ofstream script("fakebin/ffmpeg");
            script << "#!/bin/sh\n" << c.body << "\n";
        }
        chmod("fakebin/ffmpeg", 0755);
        setenv("PATH", (here + "/fakebin:" + oldPath).c_str(), 1);
        std::string out;
        const int rc = RunToolInShow("--fps 5 --to 3000 --size 320x240 -q -o " + here +
                                         "/early.mp4", &out);
        setenv("PATH", oldPath.c_str(), 1);
        EXPECT_EQ(rc, 1) << c.body << "\n" << out;
        EXPECT_NE(out.find(c.status), std::string::npos) << c.body << "\n" << out;
        EXPECT_NE(access("early.mp4.audio.wav", F_OK), 0) << c.body;
        EXPECT_NE(access("early.mp4", F_OK), 0) << c.body;
    }
}

// The encoder's speed must not cost picture quality: a frame of the video against the
// same moment drawn as a PNG (about 32 dB at this size; a flipped or shifted frame, or a
// much coarser encoding, falls far below 30).
TEST(CaptureCommand, VideoFramesKeepThePictureQuality) {
    if (!ShowDataAndFfmpegPresent()) GTEST_SKIP() << "needs the show's data and ffmpeg";
    const std::string here = Here();
    std::string out;
    ASSERT_EQ(RunToolInShow("--fps 10 --from 60000 --to 61000 --size 320x240 -q -o " + here +
                                "/quality.mp4", &out), 0) << out;
    ASSERT_EQ(RunToolInShow("--fps 10 --at 60500 --size 320x240 -q -o " + here + "/", &out), 0)
        << out;
    ASSERT_EQ(std::system("ffmpeg -hide_banner -i quality.mp4 -i at_60500.png -filter_complex "
                          "'[0]select=eq(n\\,5),format=rgb24[a];[1]format=rgb24[b];[a][b]psnr' "
                          "-f null - 2> psnr.txt"),
              0);
    const std::string log = Slurp("psnr.txt");
    const size_t at = log.find("average:");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_GE(std::atof(log.c_str() + at + 8), 30.0) << log.substr(at);
}

}  // namespace

