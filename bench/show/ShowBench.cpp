// kavlo-show-bench: frame times of each effect window against the 75 Hz budget, the
// show's loading time, and the capture speed against real time. Run it in a folder that
// holds the show's data; `--archive FILE` loads from another archive of the same entries.
#include "Capture.h"
#include "platform/window/GLWindow.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>
#include <vector>

namespace {

const char* const kEffectNames[9] = {"EffectSpiral",  "EffectFeedback", "EffectVortexC",
                                     "EffectTwister", "EffectBeam",     "EffectTorus",
                                     "EffectTorus2",  "EffectOrdan",    "EffectOrdan2"};
constexpr double kBudgetMs = 1000.0 / 75.0;
// The goals of a window: three quarters of the budget as median, and no frame more than
// half as long again as the median (a stutter).
constexpr double kMedianGoalMs = 10.0;
constexpr double kSpreadGoal = 1.5;

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Processor time of the whole process (the renderer's threads included), in seconds:
// on a machine shared with other work it grows far less than the wall clock does.
double ProcessCpu() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// The capture platform with a stopwatch around loading and around every frame (from the
// clock read that starts it to the end of glFinish).
class TimingPlatform : public capture::CapturePlatform {
public:
    TimingPlatform(int fps, uint32_t endMs)
        : CapturePlatform(fps, capture::SyncSchedule(), nullptr, endMs, false), endMs_(endMs) {}

    ShellPlatform Shell() {
        ShellPlatform shell = CapturePlatform::Shell();
        shell.createEffects = [this](std::vector<EffectEntry>& effects) {
            loadStart = Now();
            loadCpuStart = ProcessCpu();
            AppendEffects(effects);
        };
        return shell;
    }
    bool PlayMusic() override {
        loadSeconds = Now() - loadStart;
        loadCpuSeconds = ProcessCpu() - loadCpuStart;
        showStart = Now();
        return CapturePlatform::PlayMusic();
    }
    uint32_t FrameTime() override {
        const uint32_t t = CapturePlatform::FrameTime();
        if (!timing_) {
            frameStart_ = Now();
            frameCpu_ = ProcessCpu();
            frameTime_ = t;
            timing_ = true;
        }
        return t;
    }
    void SwapAndPump() override {
        if (timing_) {
            glFinish();
            frames.push_back({frameTime_, (Now() - frameStart_) * 1000.0,
                              (ProcessCpu() - frameCpu_) * 1000.0});
            if (frameTime_ >= endMs_) Quit();
            timing_ = false;
        }
        CapturePlatform::SwapAndPump();
    }

    struct Frame {
        uint32_t timeMs;
        double ms;     // wall clock
        double cpuMs;  // processor time of all the process's threads
    };
    std::vector<Frame> frames;
    double loadStart = 0, loadSeconds = 0, showStart = 0;
    double loadCpuStart = 0, loadCpuSeconds = 0;

private:
    uint32_t endMs_;
    bool timing_ = false;  // a frame was asked its time and is not yet swapped
    uint32_t frameTime_ = 0;
    double frameStart_ = 0, frameCpu_ = 0;
};

struct WindowFigures {
    size_t frames = 0;
    double median = 0, worst = 0;
    double cpuMedian = 0, cpuWorst = 0;
    double first[3] = {0, 0, 0};
};

WindowFigures FiguresOf(const std::vector<TimingPlatform::Frame>& frames, const TimelineRow& row) {
    WindowFigures w;
    std::vector<double> ms, cpu;
    for (const auto& f : frames)
        if (row.startMs < f.timeMs && f.timeMs < row.endMs) {
            if (ms.size() < 3) w.first[ms.size()] = f.ms;
            ms.push_back(f.ms);
            cpu.push_back(f.cpuMs);
        }
    w.frames = ms.size();
    if (ms.empty()) return w;
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    w.median = ms[ms.size() / 2];
    w.worst = ms.back();
    w.cpuMedian = cpu[cpu.size() / 2];
    w.cpuWorst = cpu.back();
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    int fps = 30;
    uint32_t endMs = kShowLengthMs;
    const char* framesFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--fps") && i + 1 < argc) {
            fps = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--to") && i + 1 < argc) {
            endMs = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) {
            framesFile = argv[++i];
        } else if (!std::strcmp(argv[i], "--help")) {
            std::printf("Usage: kavlo-show-bench [--fps N] [--to MS] [--frames FILE]\n"
                        "Times the show in the current folder: loading, then every frame\n"
                        "of the virtual clock at N fps (default 30) up to MS. Per effect\n"
                        "window: median and worst frame against the 13.3 ms of a 75 Hz\n"
                        "frame and the goals (median <= 10 ms, worst <= 13.3 ms, worst <=\n"
                        "1.5 x median), the processor time of the frames (all threads),\n"
                        "and the first three frames. --frames writes every frame's time,\n"
                        "wall and processor milliseconds to FILE.\n");
            return 0;
        } else {
            std::fprintf(stderr, "kavlo-show-bench: unknown option '%s'\n", argv[i]);
            return 2;
        }
    }
    if (fps < 1) fps = 1;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    TimingPlatform platform(fps, endMs);
    RunDemo(platform.Shell(), false);
    GLWindow::Destroy();
    if (!platform.ShowStarted()) {
        std::fprintf(stderr, "kavlo-show-bench: the show did not start\n");
        return 1;
    }
    const double showSeconds = Now() - platform.showStart;

    std::printf("loading: %.3f s (archive, decode, upload of every effect; processor %.3f s)\n",
                platform.loadSeconds, platform.loadCpuSeconds);
    std::printf("%-15s %6s %9s %9s %11s %10s %12s %8s %8s  %s\n", "window", "frames",
                "median ms", "worst ms", "median/13.3", "worst/13.3", "worst/median", "cpu med",
                "cpu max", "first three frames ms");
    int met = 0, windows = 0;
    for (int row = 0; row < 9; ++row) {
        const WindowFigures w = FiguresOf(platform.frames, kTimeline[row]);
        if (w.frames == 0) continue;
        ++windows;
        const double spread = w.median > 0 ? w.worst / w.median : 0;
        const bool meets = w.median <= kMedianGoalMs && w.worst <= kBudgetMs && spread <= kSpreadGoal;
        met += meets;
        std::printf("%-15s %6zu %9.2f %9.2f %11.2f %10.2f %12.2f %8.2f %8.2f  %.2f %.2f %.2f%s\n",
                    kEffectNames[row], w.frames, w.median, w.worst, w.median / kBudgetMs,
                    w.worst / kBudgetMs, spread, w.cpuMedian, w.cpuWorst, w.first[0],
                    w.first[1], w.first[2], meets ? "" : "  (misses a goal)");
    }
    std::printf("goals met (median <= %.0f ms, worst <= %.1f ms, worst <= %.1f x median): "
                "%d of %d windows\n",
                kMedianGoalMs, kBudgetMs, kSpreadGoal, met, windows);
    const double shown = std::min(endMs, kShowLengthMs) / 1000.0;
    std::printf("capture: %zu frames of %.1f s of show in %.1f s: %.2f x real time\n",
                platform.frames.size(), shown, showSeconds, shown / showSeconds);
    if (framesFile) {
        std::FILE* out = std::fopen(framesFile, "w");
        if (!out) {
            std::fprintf(stderr, "kavlo-show-bench: cannot write %s\n", framesFile);
            return 1;
        }
        for (const auto& f : platform.frames)
            std::fprintf(out, "%u %.3f %.3f\n", f.timeMs, f.ms, f.cpuMs);
        std::fclose(out);
    }
    return 0;
}
