// What the programs share: the render-size option and the pictures they save.
#include "app/common/Options.h"
#include "app/common/Screenshot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

// Pictures named by show time, of one moment kept apart, in a folder made on the way and
// joined the system's way (a backslash on Windows).
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
