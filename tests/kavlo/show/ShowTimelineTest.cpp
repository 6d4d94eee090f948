// The whole timeline: one frame every 500 ms of the show, from 0 to 172000, through the
// real shell and effect list with a virtual clock, on the default data.
#include "Capture.h"
#include "platform/window/GLWindow.h"
#include "MemoryTracker.h"

#include <gtest/gtest.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Checks every frame as it is read back: GL errors and whether anything was drawn.
class CheckingSink : public capture::FrameSink {
public:
    std::map<uint32_t, bool> lit;  // frame time -> not black
    std::vector<std::string> glErrors;
    bool Wants(uint64_t, uint32_t) const override { return true; }
    bool Done(uint32_t) const override { return false; }
    bool Write(uint64_t, uint32_t t, const uint8_t* rgba) override {
        for (GLenum e; (e = glGetError()) != GL_NO_ERROR;)
            glErrors.push_back("GL error " + std::to_string(e) + " at " + std::to_string(t));
        bool any = false;
        for (size_t i = 0; i < 800u * 600u * 4 && !any; i += 4)
            any = rgba[i] > 8 || rgba[i + 1] > 8 || rgba[i + 2] > 8;
        lit[t] = any;
        return true;
    }
    bool Finish(std::string*) override { return true; }
};

TEST(ShowTimeline, EveryEffectWindowDrawsWithoutErrors) {
    const std::string show = std::string(KAVLO_BINARY_DIR) + "/show";
    if (access((show + "/megadata.rar").c_str(), R_OK) != 0)
        GTEST_SKIP() << "no default show data in " << show;
    ASSERT_EQ(chdir(show.c_str()), 0);
    std::remove("memory.log");

    CheckingSink sink;
    capture::CapturePlatform platform(2, capture::SyncSchedule(), &sink, kShowLengthMs, false);
    RunDemo(platform.Shell(), false);
    GLWindow::Destroy();
    ASSERT_TRUE(platform.ShowStarted()) << "the show did not start";
    EXPECT_EQ(sink.lit.size(), 345u);  // 0, 500, ... 172000
    EXPECT_TRUE(sink.glErrors.empty()) << sink.glErrors.front();

    // Inside each main effect's window, away from the hand-overs, frames are not black.
    for (int row = 0; row < 9; ++row) {
        const uint32_t start = kTimeline[row].startMs + 1000;
        const uint32_t end = std::min(kTimeline[row].endMs, kShowLengthMs) - 1000;
        int litFrames = 0, frames = 0;
        for (const auto& [t, on] : sink.lit) {
            if (t > start && t < end) {
                ++frames;
                litFrames += on;
            }
        }
        EXPECT_GT(litFrames, 0) << "row " << row << ": " << frames << " frames, all black";
    }
    // Released blocks were checked as they went (KAVLO_CHECK_GUARDS); now the live ones.
    EXPECT_TRUE(MemoryTracker::ValidateAllAllocationUnits());
    std::ifstream log("memory.log");
    std::string problems((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(problems, "") << "the tracker logged problems";
}

}  // namespace
