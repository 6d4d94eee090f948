// Offline capture of the show: the real effect list driven by a virtual clock, with the
// music rendered alongside and its syncs placed on the frames they fall on.
#pragma once

#include "app/common/TestClock.h"
#include "main.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace capture {

// Frame n of a capture at `fps` frames per second shows demo time n * 1000 / fps ms.
uint32_t FrameTimeMs(uint64_t frame, int fps);

// One Zxx command of the music at its time on the demo clock.
struct SyncPoint {
    double timeMs;
    unsigned char param;
};

// The music's Zxx commands in time order, handed to the sync callback on the first
// frame whose time is at or after each one, as the live show would see them.
class SyncSchedule {
public:
    SyncSchedule() = default;
    explicit SyncSchedule(std::vector<SyncPoint> points) : points_(std::move(points)) {}
    // Calls `callback` for every command with time <= timeMs not yet delivered.
    void DeliverUpTo(uint32_t timeMs, SyncCallback callback);
    const std::vector<SyncPoint>& Points() const { return points_; }

private:
    std::vector<SyncPoint> points_;
    size_t next_ = 0;
};

// The music for a capture: 44100 Hz interleaved stereo and its sync points.
struct Music {
    std::vector<float> samples;
    std::vector<SyncPoint> syncs;
};
constexpr int kSampleRate = 44100;

// Renders `seconds` of the module in `fileName`; false with a reason on failure.
bool RenderMusic(const std::string& fileName, double seconds, Music* music, std::string* error);

// Writes interleaved stereo float samples as a 16-bit WAV file.
bool WriteWav(const std::string& path, const float* samples, size_t frames, std::string* error);

// Writes RGBA pixels whose first row is the bottom of the picture (GL's order) as PNG.
bool WritePngBottomUp(const std::string& path, int width, int height, const uint8_t* rgba);

// The ffmpeg options that encode the video (after its input options).
std::string VideoEncoderOptions();
// A file's name as ffmpeg is given it: with its file protocol named, as ffmpeg
// documents for local files, so that no name is read as an option ("-x.mp4") or as
// another protocol ("a:b.mp4", "pipe:1.mp4").
std::string FfmpegFileName(const std::string& path);

// How a sink wants its pixels: GL's order (RGBA, first row at the bottom) or the video
// order (BGRA, the renderer's own byte order, first row at the top).
enum class FrameLayout { kRgbaBottomUp, kBgraTopDown };

// Where captured frames go.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Whether the frame at this time is wanted (the show runs every frame regardless).
    virtual bool Wants(uint64_t frame, uint32_t timeMs) const = 0;
    // Whether no later frame is wanted, so the show can stop.
    virtual bool Done(uint32_t timeMs) const = 0;
    // The pixels in the sink's Layout().
    virtual bool Write(uint64_t frame, uint32_t timeMs, const uint8_t* pixels) = 0;
    virtual bool Finish(std::string* error) = 0;
    virtual FrameLayout Layout() const { return FrameLayout::kRgbaBottomUp; }
    // True where Wants and Done depend on the time alone: the capture may then read
    // frames back a few frames late and hand them to Write on a writer thread while
    // the next frames render.
    virtual bool Streams() const { return false; }
};

// Numbered PNG frames "frame_000000.png" ... for times in [fromMs, toMs].
std::unique_ptr<FrameSink> MakePngSequenceSink(const std::string& dir, uint32_t fromMs,
                                               uint32_t toMs, int width, int height);
// Single frames at the given times (the first frame at or after each), "at_65000.png".
std::unique_ptr<FrameSink> MakeSingleFrameSink(const std::string& dir,
                                               std::vector<uint32_t> timesMs, int width,
                                               int height);
// A video with sound through ffmpeg: raw frames piped in, the WAV muxed alongside. The
// video frame is videoWidth x videoHeight; a picture of another size or aspect is scaled
// to fit and centred on black.
std::unique_ptr<FrameSink> MakeVideoSink(const std::string& path, const std::string& wavPath,
                                         int fps, uint32_t fromMs, uint32_t toMs, int width,
                                         int height, int videoWidth, int videoHeight,
                                         std::string* error);
bool FfmpegAvailable();

// The show's machine for a capture: the test clock, the rendered music's syncs instead
// of the audio thread, and frames read back before each swap. The window is a plain
// (hidden where headless) one of the show's render size.
class CapturePlatform : public TestClock, public ShowMusic, public ShowScreen, public ShowInput {
public:
    // `endMs` is where the capture stops (for the progress line's estimate).
    CapturePlatform(int fps, SyncSchedule schedule, FrameSink* sink, uint32_t endMs, bool progress);
    ~CapturePlatform() override;

    // Every role of the show's machine is this one.
    ShellPlatform Shell() { return {*this, *this, *this, *this}; }

    // Syncs due by a frame's time reach that frame, as if the audio thread had raised
    // them since the previous one.
    uint32_t FrameTime() override;
    void FrameShown() override;

    bool OpenMusic(const char*) override { return true; }
    void SetSyncCallback(SyncCallback callback) override { callback_ = callback; }
    bool PlayMusic() override;
    bool CheckPosition() override { return true; }

    bool CreateWindow(int width, int height, int refreshHz, int bitsPerPixel,
                      bool fullscreen) override;
    bool LoadExtensions() override;
    void SwapAndPump() override;
    void DestroyWindow() override;

    // The last frame a sink wants, a failed write, or the window's own quit.
    bool QuitRequested() override;
    void Quit() { quit_ = true; }

    uint64_t FramesRendered() const { return framesRendered_; }
    bool ShowStarted() const { return playing_; }
    bool WriteFailed() const { return writeFailed_; }

private:
    class FrameWriter;
    void ReadBack(uint64_t frame, uint32_t timeMs);
    void CollectOldestReadBack();
    void Deliver(uint64_t frame, uint32_t timeMs, const uint8_t* pixels, bool topDown);
    void FinishReadBacks();

    int fps_;
    bool quit_ = false;
    bool frameTimed_ = false;  // the frame being drawn was asked its time
    SyncSchedule schedule_;
    FrameSink* sink_;
    uint32_t endMs_;
    bool progress_;
    SyncCallback callback_ = nullptr;
    bool playing_ = false;
    uint64_t frame_ = 0;          // the frame being drawn
    uint32_t frameTimeMs_ = 0;
    uint64_t framesRendered_ = 0;
    bool writeFailed_ = false;
    int width_ = 800, height_ = 600;
    std::vector<uint8_t> pixels_;
    // Read-back into pixel buffer objects, several frames in flight, for streaming sinks.
    struct PendingFrame {
        uint64_t frame;
        uint32_t timeMs;
        unsigned buffer;
    };
    std::vector<unsigned> packBuffers_;
    std::vector<PendingFrame> pending_;  // oldest first
    size_t nextPackBuffer_ = 0;
    bool packBuffersTried_ = false;
    std::unique_ptr<FrameWriter> writer_;
    double startSeconds_ = 0;
    double lastProgress_ = 0;
};

}  // namespace capture
