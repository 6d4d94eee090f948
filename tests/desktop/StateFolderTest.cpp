// Where the real `kavlo` writes its logs: in the data folder it plays, except when that
// is an installed one (share/kavlo beside its bin/), which belongs to the package and is
// not the user's to write: then in the user's state folder. Each case lays out a prefix
// of its own with a copy of the program, so the program finds "its" installed data
// there, and runs the whole timeline on the stepped test clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kShowDir = std::string(KAVLO_BINARY_DIR) + "/show";
const std::set<std::string> kLogs = {"memleaks.log", "debug_unrar.txt"};

// Folders of a case, relative to its root: "prefix/share/kavlo" is the installed data,
// "home" is HOME, "start" an empty folder, "copy" a folder holding its own data.
struct Case {
    std::string name;
    std::string cwd;                  // where kavlo is started
    std::vector<std::string> args;    // after the program; @ stands for the case's root
    std::string xdgStateHome;         // "" unset; @ for the root
    std::string logsIn;               // the folder that must receive the logs
    std::string message;              // a line kavlo must print
    bool blockState = false;          // a file where ~/.local should be
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::vector<Case> Cases() {
    const std::string installed = "prefix/share/kavlo";
    return {
        {"InstalledFoundFromElsewhere", "start", {}, "@/xdg", "xdg/kavlo", "writing the logs in"},
        {"InstalledWithoutXdgStateHome", "start", {}, "", "home/.local/state/kavlo", ""},
        {"RelativeXdgStateHomeIsIgnored", "start", {}, "xdg", "home/.local/state/kavlo", ""},
        {"InstalledNamedByData", "start", {"--data", "@/" + installed}, "@/xdg", "xdg/kavlo", ""},
        {"InstalledNamedAnotherWay", "start", {"--data", "@/prefix/bin/../share/./kavlo"}, "@/xdg",
         "xdg/kavlo", ""},
        {"StartedInTheInstalledFolder", installed, {}, "@/xdg", "xdg/kavlo", ""},
        {"OwnDataInTheWorkingFolder", "copy", {}, "@/xdg", "copy", ""},
        {"OwnDataNamedByData", "start", {"--data", "@/copy"}, "@/xdg", "copy", ""},
        {"StateFolderCannotBeMade", "start", {}, "", installed, "kavlo: cannot use", true},
    };
}

std::string Replace(std::string text, const std::string& root) {
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, root);
    return text;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::set<std::string> Files(const std::string& dir) {
    std::set<std::string> names;
    if (!fs::is_directory(dir)) return names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class StateFolderTest : public ::testing::TestWithParam<Case> {};

TEST_P(StateFolderTest, LogsLandInTheirFolderAndNowhereElse) {
    const Case& c = GetParam();
    const char* out = std::getenv("KAVLO_TEST_OUTPUT");
    const std::string root = (out ? std::string(out) : fs::current_path().string()) + "/" + c.name;
    fs::remove_all(root);
    const std::string installed = root + "/prefix/share/kavlo";
    fs::create_directories(root + "/prefix/bin");
    fs::create_directories(installed);
    fs::create_directories(root + "/home");
    fs::create_directories(root + "/start");
    fs::create_directories(root + "/copy");
    // A copy, not a link: the program finds its installed data from its own real path.
    fs::copy_file(KAVLO_PROGRAM, root + "/prefix/bin/kavlo");
    for (const char* name : {"musik.xm", "megadata.rar"}) {
        fs::copy_file(kShowDir + "/" + name, installed + "/" + name);
        fs::copy_file(kShowDir + "/" + name, root + "/copy/" + name);
    }
    if (c.blockState) std::ofstream(root + "/home/.local") << "not a folder";
    std::ofstream(root + "/start/memory.log") << "the user's own file";

    std::string command = "cd " + Quote(root + "/" + c.cwd) + " && env -u XDG_STATE_HOME HOME=" +
                          Quote(root + "/home") +
                          " SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy KAVLO_TEST_FRAME_MS=4000"
                          " ASAN_OPTIONS=detect_leaks=0";
    if (!c.xdgStateHome.empty()) command += " XDG_STATE_HOME=" + Quote(Replace(c.xdgStateHome, root));
    command += " " + Quote(root + "/prefix/bin/kavlo") + " --windowed --mute";
    for (const std::string& a : c.args) command += " " + Quote(Replace(a, root));
    command += " > " + Quote(root + "/output.txt") + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string output = ReadText(root + "/output.txt");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << output;
    if (!c.message.empty()) {
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }

    const std::string logsIn = root + "/" + c.logsIn;
    for (const std::string& log : kLogs) EXPECT_TRUE(fs::exists(logsIn + "/" + log)) << log << " not in " << logsIn;
    EXPECT_NE(ReadText(logsIn + "/memleaks.log").find("Memory leak report for:"), std::string::npos);
    // Every other folder holds what it held before.
    const std::set<std::string> data = {"musik.xm", "megadata.rar"};
    const std::set<std::string> withLogs = {"musik.xm", "megadata.rar", "memleaks.log", "debug_unrar.txt"};
    for (const std::string& dir : {std::string("prefix/share/kavlo"), std::string("copy")})
        EXPECT_EQ(Files(root + "/" + dir), dir == c.logsIn ? withLogs : data) << dir;
    if (c.cwd == "start") {
        EXPECT_EQ(Files(root + "/start"), std::set<std::string>{"memory.log"}) << "start";
    }
    for (const std::string& state : {std::string("xdg/kavlo"), std::string("home/.local/state/kavlo")}) {
        if (state != c.logsIn) {
            EXPECT_TRUE(Files(root + "/" + state).empty()) << state;
        }
    }
    if (!HasFailure()) fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Cases, StateFolderTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
