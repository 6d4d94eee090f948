// The pictures folder: by the XDG rules, or on Windows the profile's.
#include "platform/pictures/PicturesFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Sets (or with null unsets) a variable for the scope's lifetime.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvVar() {
        if (had_) setenv(name_.c_str(), old_.c_str(), 1);
        else unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

}  // namespace

TEST(PicturesFolder, ByTheXdgRulesOrTheProfiles) {
    const std::string root = std::string(std::getenv("KAVLO_TEST_OUTPUT") ? std::getenv("KAVLO_TEST_OUTPUT") : ".") +
                             "/pictures-test";
    std::filesystem::remove_all(root);
#ifdef _WIN32
    const std::string pictures = platform::PicturesFolder();
    EXPECT_EQ(pictures.substr(pictures.size() > 9 ? pictures.size() - 9 : 0), "\\Pictures") << pictures;
#else
    std::filesystem::create_directories(root + "/config");
    std::filesystem::create_directories(root + "/home");
    EnvVar home("HOME", (root + "/home").c_str()), config("XDG_CONFIG_HOME", (root + "/config").c_str());
    {
        EnvVar pictures("XDG_PICTURES_DIR", "/srv/shots");
        EXPECT_EQ(platform::PicturesFolder(), "/srv/shots");
    }
    EnvVar pictures("XDG_PICTURES_DIR", "relative/is/ignored");
    EXPECT_EQ(platform::PicturesFolder(), root + "/home/Pictures");
    const struct {
        const char* line;
        std::string folder;
    } listed[] = {{"XDG_PICTURES_DIR=\"$HOME/Bilder\"", root + "/home/Bilder"},
                  {"XDG_PICTURES_DIR=\"/data/pics\"", "/data/pics"},
                  {"XDG_PICTURES_DIR=\"Pictures\"", root + "/home/Pictures"},  // not allowed
                  {"# XDG_PICTURES_DIR=\"/commented\"", root + "/home/Pictures"}};
    for (const auto& l : listed) {
        std::FILE* f = std::fopen((root + "/config/user-dirs.dirs").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "XDG_MUSIC_DIR=\"$HOME/Music\"\n%s\n", l.line);
        std::fclose(f);
        EXPECT_EQ(platform::PicturesFolder(), l.folder) << l.line;
    }
    {
        EnvVar noHome("HOME", nullptr), noConfig("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(platform::PicturesFolder(), "");
    }
#endif
}
