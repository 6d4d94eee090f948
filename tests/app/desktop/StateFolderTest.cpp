// Where the real `kavlo` and `kavlo-capture` write their logs: in the data folder they
// play, except when that is an installed one (share/kavlo beside their bin/), which
// belongs to the package and is not the user's to write: then in the user's state
// folder; and never in a working folder that is not the data's. Each case lays out a
// prefix of its own with copies of the programs, so that they find "their" installed
// data there; kavlo runs the whole timeline on the stepped test clock.
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
    int status = 0;
    std::string program = "kavlo";
    std::set<std::string> logs = kLogs;  // the logs that logsIn must receive
    std::set<std::string> made = {};     // what the program writes into "start"
    bool installedData = true;
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
        // Runs that end before the show write no logs anywhere.
        {"HelpWritesNothing", "start", {"--help"}, "@/xdg", "", "Usage: kavlo"},
        {"BadOptionWritesNothing", "start", {"--bogus"}, "@/xdg", "", "unknown option", false, 2},
        {"MissingDataFolderWritesNothing", "start", {"--data", "@/nowhere"}, "@/xdg", "",
         "cannot use --data", false, 1},
        // A --data folder with none of the show's files (a typo such as --data ~): refused,
        // its own memory.log kept.
        {"DataFolderWithoutDataIsRefused", "start", {"--data", "@/start"}, "@/xdg", "",
         "kavlo: the show's data (musik.xm and megadata.rar) is not in @/start\n", false, 1},
        {"HomeAsDataFolderIsRefused", "start", {"--data", "@/home"}, "@/xdg", "", "is not in @/home\n",
         false, 1},
        {"CaptureDataFolderWithoutDataIsRefused", "start", {"--syncs", "--data", "@/start"}, "@/xdg", "",
         "is not in @/start\n", false, 1, "kavlo-capture"},
        {"NoDataAnywhereWritesNothing", "start", {}, "@/xdg", "", "is not in @/start, @/prefix/share/kavlo.\n",
         false, 1, "kavlo", {}, {}, false},
        // The installed capture finds the installed data as kavlo does; what the user names
        // lands in the working folder, the logs in the state folder.
        {"CaptureFromElsewhere", "start", {"-q", "--fps", "5", "--to", "400", "--size", "64x64", "-o", "clip/"},
         "@/xdg", "xdg/kavlo", "playing the show's data in @/prefix/share/kavlo", false, 0,
         "kavlo-capture", kLogs, {"clip"}},
        {"CaptureSoundOnly", "start", {"--audio-only", "show.wav"}, "@/xdg", "xdg/kavlo", "", false, 0,
         "kavlo-capture", {"memleaks.log"}, {"show.wav"}},
        {"CaptureOwnData", "start", {"--syncs", "--data", "@/copy"}, "@/xdg", "copy", "", false, 0,
         "kavlo-capture", {"memleaks.log"}},
        {"CaptureWithoutData", "start", {"--syncs"}, "@/xdg", "", "kavlo-capture: start kavlo-capture in",
         false, 1, "kavlo-capture", {}, {}, false},
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
    if (c.installedData) fs::create_directories(installed);
    fs::create_directories(root + "/home");
    fs::create_directories(root + "/start");
    fs::create_directories(root + "/copy");
    // A copy, not a link: the program finds its installed data from its own real path.
    fs::copy_file(KAVLO_PROGRAM, root + "/prefix/bin/kavlo");
    fs::copy_file(KAVLO_CAPTURE_PROGRAM, root + "/prefix/bin/kavlo-capture");
    for (const char* name : {"musik.xm", "megadata.rar"}) {
        if (c.installedData) fs::copy_file(kShowDir + "/" + name, installed + "/" + name);
        fs::copy_file(kShowDir + "/" + name, root + "/copy/" + name);
    }
    if (c.blockState) std::ofstream(root + "/home/.local") << "not a folder";
    for (const char* dir : {"start", "home"})
        std::ofstream(root + "/" + dir + "/memory.log") << "the user's own file";

    std::string command = "cd " + Quote(root + "/" + c.cwd) + " && env -u XDG_STATE_HOME HOME=" +
                          Quote(root + "/home") +
                          " SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy KAVLO_TEST_FRAME_MS=4000"
                          " ASAN_OPTIONS=detect_leaks=0";
    if (!c.xdgStateHome.empty()) command += " XDG_STATE_HOME=" + Quote(Replace(c.xdgStateHome, root));
    command += " " + Quote(root + "/prefix/bin/" + c.program);
    if (c.program == "kavlo") command += " --windowed --mute";
    for (const std::string& a : c.args) command += " " + Quote(Replace(a, root));
    command += " > " + Quote(root + "/output.txt") + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string output = ReadText(root + "/output.txt");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << command << "\n" << output;
    if (!c.message.empty()) {
        EXPECT_NE(output.find(Replace(c.message, root)), std::string::npos) << output;
    }

    const std::string logsIn = root + "/" + c.logsIn;
    if (!c.logsIn.empty()) {
        for (const std::string& log : c.logs) EXPECT_TRUE(fs::exists(logsIn + "/" + log)) << log << " not in " << logsIn;
        EXPECT_NE(ReadText(logsIn + "/memleaks.log").find("Memory leak report for:"), std::string::npos);
    }
    // Every other folder holds what it held before.
    std::set<std::string> data = {"musik.xm", "megadata.rar"};
    for (const std::string& dir : {std::string("prefix/share/kavlo"), std::string("copy")}) {
        std::set<std::string> expected = c.installedData || dir == "copy" ? data : std::set<std::string>{};
        if (dir == c.logsIn) expected.insert(c.logs.begin(), c.logs.end());
        EXPECT_EQ(Files(root + "/" + dir), expected) << dir;
    }
    if (c.cwd == "start") {
        std::set<std::string> expected = c.made;
        expected.insert("memory.log");
        EXPECT_EQ(Files(root + "/start"), expected) << "start";
        EXPECT_EQ(ReadText(root + "/start/memory.log"), "the user's own file");
    }
    // No run writes into the home folder itself.
    EXPECT_EQ(ReadText(root + "/home/memory.log"), "the user's own file");
    for (const std::string& log : kLogs) EXPECT_FALSE(fs::exists(root + "/home/" + log)) << log;
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
