// Offline capture: virtual clock, rendered music, frame sinks (PNG, single frames, video).
#include "Capture.h"

#include "platform/gl/Proc.h"
#include "platform/window/GLWindow.h"
#include "app/common/Screenshot.h"
#include "platform/process/Process.h"
#include "audio/ModuleRenderer.h"

#include <SDL.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace capture {

uint32_t FrameTimeMs(uint64_t frame, int fps) {
    return static_cast<uint32_t>(frame * 1000 / static_cast<uint64_t>(fps));
}

void SyncSchedule::DeliverUpTo(uint32_t timeMs, SyncCallback callback) {
    while (next_ < points_.size() && points_[next_].timeMs <= timeMs) {
        if (callback) callback(nullptr, points_[next_].param);
        ++next_;
    }
}

bool RenderMusic(const std::string& fileName, double seconds, Music* music, std::string* error) {
    std::FILE* in = std::fopen(fileName.c_str(), "rb");
    if (!in) {
        *error = "cannot read " + fileName;
        return false;
    }
    std::vector<char> data;
    char buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        data.insert(data.end(), buffer, buffer + n);
    const bool read = !std::ferror(in);
    std::fclose(in);
    if (!read) {
        *error = "cannot read " + fileName;
        return false;
    }
    std::vector<sound::SyncEvent> events;
    std::string reason;
    if (!sound::RenderModuleOffline(data.data(), data.size(), seconds, &music->samples, &events,
                                    &reason)) {
        *error = fileName + ": " + reason;
        return false;
    }
    // A short song falls silent rather than ending the capture early.
    music->samples.resize(static_cast<size_t>(std::llround(seconds * kSampleRate)) * 2, 0.0f);
    music->syncs.clear();
    for (const sound::SyncEvent& e : events)
        music->syncs.push_back({e.frame * 1000.0 / kSampleRate, e.param});
    return true;
}

namespace {

// libsndfile writes through our own FILE: its sf_open would read a UTF-8 name in the
// ANSI code page on Windows, where our fopen takes it through the wide API.
sf_count_t FileLength(void* file) {
    std::FILE* f = static_cast<std::FILE*>(file);
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(f);
    std::fseek(f, here, SEEK_SET);
    return end;
}
sf_count_t FileSeek(sf_count_t offset, int whence, void* file) {
    std::FILE* f = static_cast<std::FILE*>(file);
    return std::fseek(f, static_cast<long>(offset), whence) == 0 ? std::ftell(f) : -1;
}
sf_count_t FileRead(void* data, sf_count_t count, void* file) {
    return static_cast<sf_count_t>(
        std::fread(data, 1, static_cast<size_t>(count), static_cast<std::FILE*>(file)));
}
sf_count_t FileWrite(const void* data, sf_count_t count, void* file) {
    return static_cast<sf_count_t>(
        std::fwrite(data, 1, static_cast<size_t>(count), static_cast<std::FILE*>(file)));
}
sf_count_t FileTell(void* file) { return std::ftell(static_cast<std::FILE*>(file)); }

}  // namespace

bool WriteWav(const std::string& path, const float* samples, size_t frames, std::string* error) {
    std::FILE* out = std::fopen(path.c_str(), "w+b");
    if (!out) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    SF_INFO info {};
    info.samplerate = kSampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SF_VIRTUAL_IO io = {FileLength, FileSeek, FileRead, FileWrite, FileTell};
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, out);
    if (!file) {
        *error = "cannot write " + path + ": " + sf_strerror(nullptr);
        std::fclose(out);
        return false;
    }
    const sf_count_t written = sf_writef_float(file, samples, static_cast<sf_count_t>(frames));
    const bool closed = sf_close(file) == 0 && std::fclose(out) == 0;
    if (written != static_cast<sf_count_t>(frames) || !closed) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool WritePngBottomUp(const std::string& path, int width, int height, const uint8_t* rgba) {
    return app::WritePngBottomUp(path, width, height, rgba);
}

namespace {

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

class PngSequenceSink : public FrameSink {
public:
    PngSequenceSink(std::string dir, uint32_t from, uint32_t to, int w, int h)
        : dir_(std::move(dir)), from_(from), to_(to), w_(w), h_(h) {}
    bool Wants(uint64_t, uint32_t t) const override { return t >= from_ && t <= to_; }
    bool Done(uint32_t t) const override { return t >= to_; }
    bool Streams() const override { return true; }
    bool Write(uint64_t, uint32_t, const uint8_t* rgba) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(count_++));
        return WritePngBottomUp(JoinPath(dir_, name), w_, h_, rgba);
    }
    bool Finish(std::string*) override { return true; }

private:
    std::string dir_;
    uint32_t from_, to_;
    int w_, h_;
    uint64_t count_ = 0;
};

class SingleFrameSink : public FrameSink {
public:
    SingleFrameSink(std::string dir, std::vector<uint32_t> times, int w, int h)
        : dir_(std::move(dir)), times_(std::move(times)), w_(w), h_(h) {
        std::sort(times_.begin(), times_.end());
        times_.erase(std::unique(times_.begin(), times_.end()), times_.end());
    }
    bool Wants(uint64_t, uint32_t t) const override { return next_ < times_.size() && t >= times_[next_]; }
    bool Done(uint32_t) const override { return next_ >= times_.size(); }
    bool Write(uint64_t, uint32_t t, const uint8_t* rgba) override {
        bool ok = true;
        // One frame can stand for several asked times that fall before it.
        while (next_ < times_.size() && t >= times_[next_]) {
            char name[32];
            std::snprintf(name, sizeof name, "at_%u.png", times_[next_]);
            ok = WritePngBottomUp(JoinPath(dir_, name), w_, h_, rgba) && ok;
            ++next_;
        }
        return ok;
    }
    bool Finish(std::string* error) override {
        if (next_ < times_.size()) {
            *error = "the show ended before " + std::to_string(times_[next_]) + " ms";
            return false;
        }
        return true;
    }

private:
    std::string dir_;
    std::vector<uint32_t> times_;
    int w_, h_;
    size_t next_ = 0;
};

class VideoSink : public FrameSink {
public:
    VideoSink(std::unique_ptr<platform::ChildProcess> ffmpeg, uint32_t from, uint32_t to, int w,
              int h)
        : ffmpeg_(std::move(ffmpeg)), from_(from), to_(to), w_(w), h_(h) {}
    bool Wants(uint64_t, uint32_t t) const override { return t >= from_ && t <= to_; }
    bool Done(uint32_t t) const override { return t >= to_; }
    FrameLayout Layout() const override { return FrameLayout::kBgraTopDown; }
    bool Streams() const override { return true; }
    bool Write(uint64_t, uint32_t, const uint8_t* bgra) override {
        return ffmpeg_->Write(bgra, static_cast<size_t>(w_) * h_ * 4);
    }
    bool Finish(std::string* error) override {
        std::string how;
        if (ffmpeg_->Finish(&how)) return true;
        *error = "ffmpeg failed (" + how + ")";
        return false;
    }

private:
    std::unique_ptr<platform::ChildProcess> ffmpeg_;
    uint32_t from_, to_;
    int w_, h_;
};

double NowSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::unique_ptr<FrameSink> MakePngSequenceSink(const std::string& dir, uint32_t fromMs,
                                               uint32_t toMs, int width, int height) {
    return std::make_unique<PngSequenceSink>(dir, fromMs, toMs, width, height);
}

std::unique_ptr<FrameSink> MakeSingleFrameSink(const std::string& dir,
                                               std::vector<uint32_t> timesMs, int width,
                                               int height) {
    return std::make_unique<SingleFrameSink>(dir, std::move(timesMs), width, height);
}

std::string VideoEncoderOptions() {
    // Against the show's PNG frames (RGB PSNR, 800 x 600, 60 fps, CRF 20): on 8 s from
    // 60 s, veryfast 33.3 dB in 6.8 ms of CPU a frame, superfast 34.5 dB in 5.3 ms,
    // ultrafast 34.9 dB in 3.2 ms; on 6 s of the twister 35.9, 37.3 and 37.3 dB. The
    // encoder shares two cores with the renderer, so its time is the capture's; the
    // price is a file about 1.5 to 1.9 times the size of superfast's.
    return "-c:v libx264 -preset ultrafast -crf 20 -pix_fmt yuv420p";
}

bool FfmpegAvailable() { return !platform::FindProgram("ffmpeg").empty(); }

std::string FfmpegFileName(const std::string& path) { return "file:" + path; }

std::unique_ptr<FrameSink> MakeVideoSink(const std::string& path, const std::string& wavPath,
                                         int fps, uint32_t fromMs, uint32_t toMs, int width,
                                         int height, int videoWidth, int videoHeight,
                                         std::string* error) {
    // The frames come top-down in the renderer's BGRA order, so no filter is needed
    // unless the video has another size.
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-y",
                                          "-f", "rawvideo", "-pix_fmt", "bgra", "-s", size,
                                          "-framerate", std::to_string(fps), "-i", "-",
                                          "-i", FfmpegFileName(wavPath)};
    if (videoWidth != width || videoHeight != height) {
        const std::string w = std::to_string(videoWidth), h = std::to_string(videoHeight);
        arguments.push_back("-vf");
        arguments.push_back("scale=" + w + ":" + h +
                            ":force_original_aspect_ratio=decrease:flags=lanczos,pad=" + w + ":" +
                            h + ":(ow-iw)/2:(oh-ih)/2:black");
    }
    const std::string options = VideoEncoderOptions();
    for (size_t at = 0; at < options.size();) {
        const size_t space = options.find(' ', at);
        arguments.push_back(options.substr(at, space == std::string::npos ? space : space - at));
        at = space == std::string::npos ? options.size() : space + 1;
    }
    for (const char* word : {"-c:a", "aac", "-b:a", "192k", "-shortest"}) arguments.push_back(word);
    arguments.push_back(FfmpegFileName(path));

    const std::string program = platform::FindProgram("ffmpeg");
    if (program.empty()) {
        *error = "ffmpeg not found";
        return nullptr;
    }
    auto ffmpeg = std::make_unique<platform::ChildProcess>();
    if (!ffmpeg->Start(program, arguments, error)) return nullptr;
    return std::make_unique<VideoSink>(std::move(ffmpeg), fromMs, toMs, width, height);
}

// ---------------------------------------------------------------------------------
// The capture platform

namespace {

constexpr int kPackBuffers = 3;    // frames read back but not yet handed to the sink
constexpr int kWriterBuffers = 4;  // frames queued for the writer thread

// Pixel buffer objects through the context's own entry points.
struct PackBufferCalls {
    PFNGLGENBUFFERSPROC gen = nullptr;
    PFNGLBINDBUFFERPROC bind = nullptr;
    PFNGLBUFFERDATAPROC data = nullptr;
    PFNGLMAPBUFFERPROC map = nullptr;
    PFNGLUNMAPBUFFERPROC unmap = nullptr;
    bool Load() {
        using platform::gl::LoadProc;
        using platform::gl::Proc;
        return LoadProc(Proc, "glGenBuffers", &gen) & LoadProc(Proc, "glBindBuffer", &bind) &
               LoadProc(Proc, "glBufferData", &data) & LoadProc(Proc, "glMapBuffer", &map) &
               LoadProc(Proc, "glUnmapBuffer", &unmap);
    }
};
PackBufferCalls packCalls;

// Copies a frame read back bottom-up, turning it over where the sink wants the top first.
void CopyFrame(const uint8_t* src, uint8_t* dst, int width, int height, bool topDown) {
    const size_t row = static_cast<size_t>(width) * 4;
    if (!topDown) {
        std::memcpy(dst, src, row * height);
        return;
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(dst + row * y, src + row * (height - 1 - y), row);
}

}  // namespace

// Hands frames to the sink's Write on a thread of its own: the render thread copies a
// frame into a free buffer and draws on while the sink encodes or writes it.
class CapturePlatform::FrameWriter {
public:
    FrameWriter(FrameSink* sink, size_t frameBytes) : sink_(sink) {
        storage_.resize(kWriterBuffers, std::vector<uint8_t>(frameBytes));
        for (auto& b : storage_) free_.push_back(b.data());
        thread_ = std::thread([this] { Run(); });
    }
    ~FrameWriter() { Finish(); }

    // A free buffer; waits while every buffer is queued.
    uint8_t* Acquire() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty(); });
        uint8_t* b = free_.back();
        free_.pop_back();
        return b;
    }
    void Submit(uint8_t* buffer, uint64_t frame, uint32_t timeMs) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back({buffer, frame, timeMs});
        }
        changed_.notify_all();
    }
    // Writes what is queued, then stops the thread.
    void Finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    bool Failed() const { return failed_.load(); }

private:
    struct Job {
        uint8_t* buffer;
        uint64_t frame;
        uint32_t timeMs;
    };
    void Run() {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) return;
                job = queue_.front();
                queue_.pop_front();
            }
            // After a failure the frames are dropped, so the render thread never waits
            // on buffers that no longer come back.
            if (!failed_.load() && !sink_->Write(job.frame, job.timeMs, job.buffer))
                failed_.store(true);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                free_.push_back(job.buffer);
            }
            changed_.notify_all();
        }
    }

    FrameSink* sink_;
    std::vector<std::vector<uint8_t>> storage_;
    std::vector<uint8_t*> free_;
    std::deque<Job> queue_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

CapturePlatform::CapturePlatform(int fps, SyncSchedule schedule, FrameSink* sink, uint32_t endMs,
                                 bool progress)
    : TestClock(1000, static_cast<uint32_t>(fps)), fps_(fps), schedule_(std::move(schedule)), sink_(sink), endMs_(endMs), progress_(progress) {}

CapturePlatform::~CapturePlatform() = default;

void CapturePlatform::ReadBack(uint64_t frame, uint32_t timeMs) {
    const bool topDown = sink_->Layout() == FrameLayout::kBgraTopDown;
    const GLenum format = topDown ? GL_BGRA : GL_RGBA;
    const size_t bytes = static_cast<size_t>(width_) * height_ * 4;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    if (sink_->Streams()) {
        if (!writer_) writer_ = std::make_unique<FrameWriter>(sink_, bytes);
        if (!packBuffersTried_) {
            packBuffersTried_ = true;
            if (packCalls.Load()) {
                packBuffers_.resize(kPackBuffers);
                packCalls.gen(kPackBuffers, packBuffers_.data());
                for (unsigned b : packBuffers_) {
                    packCalls.bind(GL_PIXEL_PACK_BUFFER, b);
                    packCalls.data(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr,
                                   GL_STREAM_READ);
                }
                packCalls.bind(GL_PIXEL_PACK_BUFFER, 0);
            }
        }
        if (!packBuffers_.empty()) {
            if (pending_.size() == packBuffers_.size()) CollectOldestReadBack();
            const unsigned b = packBuffers_[nextPackBuffer_];
            nextPackBuffer_ = (nextPackBuffer_ + 1) % packBuffers_.size();
            packCalls.bind(GL_PIXEL_PACK_BUFFER, b);
            glReadPixels(0, 0, width_, height_, format, GL_UNSIGNED_BYTE, nullptr);
            packCalls.bind(GL_PIXEL_PACK_BUFFER, 0);
            pending_.push_back({frame, timeMs, b});
            return;
        }
    }
    pixels_.resize(bytes);
    glReadPixels(0, 0, width_, height_, format, GL_UNSIGNED_BYTE, pixels_.data());
    Deliver(frame, timeMs, pixels_.data(), topDown);
}

void CapturePlatform::CollectOldestReadBack() {
    const PendingFrame p = pending_.front();
    pending_.erase(pending_.begin());
    packCalls.bind(GL_PIXEL_PACK_BUFFER, p.buffer);
    const void* mapped = packCalls.map(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    if (mapped) {
        Deliver(p.frame, p.timeMs, static_cast<const uint8_t*>(mapped),
                sink_->Layout() == FrameLayout::kBgraTopDown);
        packCalls.unmap(GL_PIXEL_PACK_BUFFER);
    } else {
        writeFailed_ = true;
        quit_ = true;
    }
    packCalls.bind(GL_PIXEL_PACK_BUFFER, 0);
}

void CapturePlatform::Deliver(uint64_t frame, uint32_t timeMs, const uint8_t* pixels, bool topDown) {
    if (writer_) {
        uint8_t* buffer = writer_->Acquire();
        CopyFrame(pixels, buffer, width_, height_, topDown);
        writer_->Submit(buffer, frame, timeMs);
        return;
    }
    const uint8_t* out = pixels;
    std::vector<uint8_t> turned;
    if (topDown) {
        turned.resize(static_cast<size_t>(width_) * height_ * 4);
        CopyFrame(pixels, turned.data(), width_, height_, true);
        out = turned.data();
    }
    if (!sink_->Write(frame, timeMs, out)) {
        writeFailed_ = true;
        quit_ = true;
    }
}

void CapturePlatform::FinishReadBacks() {
    while (!pending_.empty()) CollectOldestReadBack();
    if (writer_) {
        writer_->Finish();
        if (writer_->Failed()) writeFailed_ = true;
    }
}

uint32_t CapturePlatform::FrameTime() {
    frame_ = Frame();
    frameTimeMs_ = TestClock::FrameTime();
    frameTimed_ = true;
    schedule_.DeliverUpTo(frameTimeMs_, callback_);
    return frameTimeMs_;
}

void CapturePlatform::FrameShown() {
    frameTimed_ = false;
    TestClock::FrameShown();
}

bool CapturePlatform::QuitRequested() { return quit_ || quitRequested != 0; }

bool CapturePlatform::PlayMusic() {
    playing_ = true;
    startSeconds_ = NowSeconds();
    lastProgress_ = startSeconds_;
    return true;
}

bool CapturePlatform::CreateWindow(int width, int height, int refreshHz, int bitsPerPixel, bool) {
    width_ = width;
    height_ = height;
    return GLWindow::Create(width, height, refreshHz, bitsPerPixel, false);
}

bool CapturePlatform::LoadExtensions() { return GLWindow::LoadExtensions(); }

void CapturePlatform::SwapAndPump() {
    if (playing_ && frameTimed_) {
        ++framesRendered_;
        if (sink_ && sink_->Wants(frame_, frameTimeMs_)) ReadBack(frame_, frameTimeMs_);
        if (writer_ && writer_->Failed()) {
            writeFailed_ = true;
            quit_ = true;
        }
        if (sink_ && sink_->Done(frameTimeMs_)) quit_ = true;
        if (progress_) {
            const double now = NowSeconds();
            if (now - lastProgress_ >= 0.5 || quit_) {
                lastProgress_ = now;
                const double elapsed = now - startSeconds_;
                const double rate = elapsed > 0 ? framesRendered_ / elapsed : 0;
                const uint64_t total = static_cast<uint64_t>(endMs_) * fps_ / 1000 + 1;
                const double left = rate > 0 && total > framesRendered_
                                        ? (total - framesRendered_) / rate
                                        : 0;
                std::fprintf(stderr, "\rkavlo-capture: frame %llu/%llu  %.1f fps  %.0f s left   ",
                             static_cast<unsigned long long>(framesRendered_),
                             static_cast<unsigned long long>(total), rate, left);
                std::fflush(stderr);
            }
        }
    }
    GLWindow::SwapAndPump();
}

void CapturePlatform::DestroyWindow() {
    // The frames still in flight, while the context lives.
    FinishReadBacks();
    if (progress_ && framesRendered_) std::fprintf(stderr, "\n");
    GLWindow::Destroy();
}

}  // namespace capture
