// What the programs share: the render-size option and the pictures they save.
#include "app/common/Options.h"
#include "app/common/Screenshot.h"
#include "app/common/TestClock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

TEST(RenderSizeOption, ReadsWidthByHeightAndRefusesAnythingElse) {
    RenderSize size;
    ASSERT_TRUE(ParseRenderSize("1440x1080", &size));
    EXPECT_EQ(size.width, 1440);
    EXPECT_EQ(size.height, 1080);
    for (const char* bad : {"", "800", "800x", "x600", "800x600x", "800X600", " 800x600",
                            "800x 600", "-800x600", "63x600", "800x16385", "99999999999x600"})
        EXPECT_FALSE(ParseRenderSize(bad, &size)) << bad;
    EXPECT_EQ(size.width, 1440);  // untouched by a refused text
}

// Every program's numbers and time lists: digits only, within their range, also where
// `unsigned long` has 32 bits. -1: refused, the value untouched.
TEST(NumberOptions, DigitsOnlyWithinTheirRange) {
    const struct {
        const char* text;
        uint32_t max;
        int64_t want;
    } numbers[] = {
        {"0", 1000, 0}, {"007", 1000, 7}, {"171999", 171999, 171999}, {"172000", 171999, -1},
        {"4294967295", UINT32_MAX, UINT32_MAX}, {"4294967296", UINT32_MAX, -1},
        {"18446744073709551617", UINT32_MAX, -1}, {"5x", 1000, -1}, {"", 1000, -1},
        {"-1", UINT32_MAX, -1}, {"+5", 1000, -1}, {" 5", 1000, -1}, {"5 ", 1000, -1},
        {"0x10", 1000, -1}, {"1e3", 1000, -1}, {"1001", 1000, -1}, {nullptr, 1000, -1},
    };
    for (const auto& n : numbers) {
        uint32_t value = 12345;
        EXPECT_EQ(ParseNumber(n.text, n.max, &value), n.want >= 0) << (n.text ? n.text : "null");
        EXPECT_EQ(value, n.want >= 0 ? n.want : 12345) << (n.text ? n.text : "null");
    }
    std::vector<uint32_t> times = {7};
    EXPECT_TRUE(ParseTimes("0,65000,4294967295", &times));
    EXPECT_EQ(times, (std::vector<uint32_t> {7, 0, 65000, UINT32_MAX}));
    for (const char* bad : {"", ",", "1,", ",1", "1,,2", "1;2", "1, 2", "5,4294967296", "5x", "-1"})
        EXPECT_FALSE(ParseTimes(bad, &times)) << '"' << bad << '"';
    EXPECT_EQ(times.size(), 4u) << "a refused list adds nothing";
}

// Pictures named by show time, of one moment kept apart, in a folder made on the way and
// joined the system's way (a backslash on Windows).
// Every program's options through one reader: values after their option, a missing or
// bad one refused with the option named, the reader's place kept for the next option.
TEST(OptionReader, ReadsEachKindAndRefusesBadOrMissingValues) {
    const char* modes[] = {"on", "off", nullptr};
    const struct {
        std::vector<const char*> args;
        bool ok;
    } cases[] = {
        {{"--size", "640x480", "--start", "1000", "--at", "1,2", "--fps", "30", "--v", "off"}, true},
        {{"--size"}, false},
        {{"--size", "640"}, false},
        {{"--start", "1001"}, false},
        {{"--start", "-1"}, false},
        {{"--fps", "0"}, false},
        {{"--fps", "1001"}, false},
        {{"--at", "1,,2"}, false},
        {{"--v", "maybe"}, false},
        {{"--v"}, false},
    };
    for (const auto& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("prog")};
        for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
        OptionReader read("prog", static_cast<int>(argv.size()), argv.data());
        RenderSize size;
        uint32_t start = 0, fps = 0;
        std::vector<uint32_t> at;
        int mode = -1, options = 0;
        bool ok = true;
        while (ok && read.Next()) {
            ++options;
            if (read.Is("--size")) ok = read.Size(&size);
            else if (read.Is("--start")) ok = read.Time(1000, &start);
            else if (read.Is("--at")) ok = read.Times(&at);
            else if (read.Is("--fps")) ok = read.FrameRate(&fps);
            else if (read.Is("--v")) ok = read.Choice(modes, &mode, "on or off");
        }
        EXPECT_EQ(ok, c.ok) << c.args[0];
        if (!c.ok) continue;
        EXPECT_EQ(options, 5);
        EXPECT_EQ(size.width * 1000 + size.height, 640480);
        EXPECT_EQ(start, 1000u);
        EXPECT_EQ(at, (std::vector<uint32_t> {1, 2}));
        EXPECT_EQ(fps, 30u);
        EXPECT_EQ(mode, 1);
    }
}

// Frame n after the clock is set shows its time plus n steps, rounded down per frame
// (not summed), so that 7 fps reaches a whole second on frame 7.
TEST(TestClockSteps, FramesComeAtFixedStepsFromWhereTheClockIsSet) {
    TestClock fps7 = TestClock::PerSecond(7);
    fps7.StartAt(0);
    std::vector<uint32_t> times;
    for (int n = 0; n < 8; ++n, fps7.FrameShown()) times.push_back(fps7.FrameTime());
    EXPECT_EQ(times, (std::vector<uint32_t> {0, 142, 285, 428, 571, 714, 857, 1000}));
    TestClock step = TestClock::PerFrameMs(50);
    step.StartAt(6000);
    EXPECT_EQ(step.FrameTime(), 6000u);
    EXPECT_EQ(step.FrameTime(), 6000u);  // the same frame until it is shown
    step.FrameShown();
    EXPECT_EQ(step.FrameTime(), 6050u);
    step.StartAt(100);
    EXPECT_EQ(step.FrameTime(), 100u);
}

TEST(Screenshots, NamesByShowTimeInAFolderMadeOnTheWay) {
    const std::string root = std::string(std::getenv("KAVLO_TEST_OUTPUT") ? std::getenv("KAVLO_TEST_OUTPUT") : ".") +
                             "/pictures-test";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    EXPECT_EQ(app::ScreenshotName(65016), "kavlo-065.016s.png");
    EXPECT_EQ(app::ScreenshotName(171999), "kavlo-171.999s.png");
    const uint8_t rgba[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 255};
    std::string error;
    const std::string folder = root + "/made/on/the/way";
    const std::string in = folder + static_cast<char>(std::filesystem::path::preferred_separator);
    EXPECT_EQ(app::SaveScreenshot(folder, 65016, 2, 2, rgba, &error), in + "kavlo-065.016s.png");
    EXPECT_EQ(app::SaveScreenshot(folder, 65016, 2, 2, rgba, &error), in + "kavlo-065.016s-2.png");
    std::fclose(std::fopen((root + "/file").c_str(), "w"));
    EXPECT_EQ(app::SaveScreenshot(root + "/file/sub", 0, 2, 2, rgba, &error), "");
    EXPECT_NE(error.find("cannot make"), std::string::npos) << error;
}
