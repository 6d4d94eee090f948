// Offline capture: virtual clock, rendered music, frame sinks (PNG, single frames, video).
#include "Capture.h"

#include "GLWindow.h"
#include "platform/sound/ModuleRenderer.h"

#include <SDL.h>
#include <GL/gl.h>
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

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
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        *error = "cannot read " + fileName;
        return false;
    }
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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

bool WriteWav(const std::string& path, const float* samples, size_t frames, std::string* error) {
    SF_INFO info {};
    info.samplerate = kSampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        *error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const sf_count_t written = sf_writef_float(file, samples, static_cast<sf_count_t>(frames));
    sf_close(file);
    if (written != static_cast<sf_count_t>(frames)) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool WritePngBottomUp(const std::string& path, int width, int height, const uint8_t* rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // Drop alpha: the frame's alpha channel is whatever blending left, not transparency.
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = rgba + static_cast<size_t>(height - 1 - y) * width * 4;
        uint8_t* dst = &rgb[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
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
    VideoSink(std::FILE* pipe, uint32_t from, uint32_t to, int w, int h)
        : pipe_(pipe), from_(from), to_(to), w_(w), h_(h) {}
    ~VideoSink() override {
        if (pipe_) pclose(pipe_);
    }
    bool Wants(uint64_t, uint32_t t) const override { return t >= from_ && t <= to_; }
    bool Done(uint32_t t) const override { return t >= to_; }
    bool Write(uint64_t, uint32_t, const uint8_t* rgba) override {
        const size_t bytes = static_cast<size_t>(w_) * h_ * 4;
        return std::fwrite(rgba, 1, bytes, pipe_) == bytes;
    }
    bool Finish(std::string* error) override {
        const int status = pclose(pipe_);
        pipe_ = nullptr;
        if (status != 0) {
            *error = "ffmpeg failed (exit status " + std::to_string(status) + ")";
            return false;
        }
        return true;
    }

private:
    std::FILE* pipe_;
    uint32_t from_, to_;
    int w_, h_;
};

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

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

bool FfmpegAvailable() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

std::unique_ptr<FrameSink> MakeVideoSink(const std::string& path, const std::string& wavPath,
                                         int fps, uint32_t fromMs, uint32_t toMs, int width,
                                         int height, int videoWidth, int videoHeight,
                                         std::string* error) {
    // GL rows come bottom-up; ffmpeg flips them.
    std::string filter = "vflip";
    if (videoWidth != width || videoHeight != height) {
        const std::string w = std::to_string(videoWidth), h = std::to_string(videoHeight);
        filter += ",scale=" + w + ":" + h +
                  ":force_original_aspect_ratio=decrease:flags=lanczos,pad=" + w + ":" + h +
                  ":(ow-iw)/2:(oh-ih)/2:black";
    }
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt rgba -s " +
        std::to_string(width) + "x" + std::to_string(height) + " -framerate " +
        std::to_string(fps) + " -i - -i " + ShellQuote(wavPath) + " -vf " + ShellQuote(filter) +
        " -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac -b:a 192k "
        "-shortest " +
        ShellQuote(path);
    std::FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) {
        *error = "cannot start ffmpeg";
        return nullptr;
    }
    return std::make_unique<VideoSink>(pipe, fromMs, toMs, width, height);
}

// ---------------------------------------------------------------------------------
// The capture platform

CapturePlatform::CapturePlatform(int fps, SyncSchedule schedule, FrameSink* sink, uint32_t endMs,
                                 bool progress)
    : fps_(fps), schedule_(std::move(schedule)), sink_(sink), endMs_(endMs), progress_(progress) {}

uint32_t CapturePlatform::Ticks() {
    if (!playing_) return 0;
    // The frame loop reads the clock twice before its first frame (its start and the
    // first time), then once at the start of every frame.
    const int call = ticksSincePlay_++;
    if (call < 2) return 0;
    frame_ = static_cast<uint64_t>(call - 2);
    frameTimeMs_ = FrameTimeMs(frame_, fps_);
    // Syncs due by this frame's time reach this frame, as if the audio thread had
    // raised them since the previous one.
    schedule_.DeliverUpTo(frameTimeMs_, callback_);
    return frameTimeMs_;
}

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
    if (playing_ && ticksSincePlay_ >= 3) {
        ++framesRendered_;
        if (sink_ && sink_->Wants(frame_, frameTimeMs_)) {
            pixels_.resize(static_cast<size_t>(width_) * height_ * 4);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadBuffer(GL_BACK);
            glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
            if (!sink_->Write(frame_, frameTimeMs_, pixels_.data())) {
                writeFailed_ = true;
                quitRequested = 1;
            }
        }
        if (sink_ && sink_->Done(frameTimeMs_)) quitRequested = 1;
        if (progress_) {
            const double now = NowSeconds();
            if (now - lastProgress_ >= 0.5 || quitRequested) {
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
    if (progress_ && framesRendered_) std::fprintf(stderr, "\n");
    GLWindow::Destroy();
}

}  // namespace capture
