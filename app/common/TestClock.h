// The test clock every program offers (kavlo's KAVLO_TEST_FRAME_MS, kavlo-capture's
// --fps, the web page's --test-fps): frames come at fixed steps of show time, however
// long each takes to draw.
#pragma once

#include "kavlo/ShellPlatform.h"

#include <cstdint>

// Frame n after the clock is set to S shows S + floor(n * stepMs / stepParts): with
// (1000, fps) frame n of a run from 0 shows n * 1000 / fps ms, as a video's frames do.
class TestClock : public ShowClock {
public:
    static TestClock PerSecond(uint32_t fps) { return TestClock(1000, fps); }
    static TestClock PerFrameMs(uint32_t ms) { return TestClock(ms, 1); }

    void StartAt(uint32_t ms) override {
        originMs_ = ms;
        frame_ = 0;
    }
    uint32_t FrameTime() override {
        return originMs_ + static_cast<uint32_t>(frame_ * stepMs_ / stepParts_);
    }
    void FrameShown() override { ++frame_; }
    // The frame to draw next, counted from the clock's last setting.
    uint64_t Frame() const { return frame_; }

protected:
    TestClock(uint32_t stepMs, uint32_t stepParts)
        : stepMs_(stepMs), stepParts_(stepParts ? stepParts : 1) {}

private:
    uint64_t stepMs_, stepParts_;
    uint32_t originMs_ = 0;
    uint64_t frame_ = 0;
};
