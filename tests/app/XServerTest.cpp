// The real `kavlo` on a real X server (Xvfb at 1920 x 1080, whose only mode is its own):
// full screen scaled with black sides, a resized window, F11, Escape, --exact-mode, the
// player keys, and Escape behind a burst of them.
// Screenshots are taken from the X server with ffmpeg and kept in the test's folder.
#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const std::string kKavlo = std::string(KAVLO_BINARY_DIR) + "/app/desktop/kavlo";
const std::string kShowData = std::string(KAVLO_BINARY_DIR) + "/show";

bool OnPath(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// A child process with its own environment additions and its output in a file.
class Process {
public:
    Process(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& outputFile) {
        // The given variables replace inherited ones of the same name.
        std::vector<std::string> envStrings = env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string key = entry.substr(0, entry.find('=') + 1);
            bool replaced = false;
            for (const std::string& mine : env) replaced = replaced || mine.rfind(key, 0) == 0;
            if (!replaced) envStrings.push_back(entry);
        }
        std::vector<char*> argv, envp;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const std::string& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Started() const { return pid_ > 0; }
    bool Running() {
        if (exited_) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            status_ = status;
        }
        return !exited_;
    }
    // The exit status, or -1 if it did not end in time (it is then killed).
    int Wait(double seconds) {
        for (double t = 0; t < seconds && Running(); t += 0.1) Sleep(0.1);
        if (Running()) return -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Waits until `text` shows in the file, or gives up.
bool WaitForText(const std::string& path, const std::string& text, double seconds) {
    for (double t = 0; t < seconds; t += 0.1) {
        if (ReadFile(path).find(text) != std::string::npos) return true;
        Sleep(0.1);
    }
    return false;
}

struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    // Mean brightness of a rectangle (top-left origin).
    double Mean(int x0, int y0, int x1, int y1) const {
        double sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                for (int c = 0; c < 3; ++c) sum += rgb[(static_cast<size_t>(y) * width + x) * 3 + c];
        return sum / (3.0 * (x1 - x0) * (y1 - y0));
    }
    // The runs of columns on row y that are not black, left to right.
    std::vector<std::pair<int, int>> LitRuns(int y) const {
        std::vector<std::pair<int, int>> runs;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            if (!(p[0] | p[1] | p[2])) continue;
            if (!runs.empty() && runs.back().second == x - 1)
                runs.back().second = x;
            else
                runs.push_back({x, x});
        }
        return runs;
    }
    // The first and last column, on row y, that is not black.
    std::pair<int, int> LitColumns(int y) const {
        int first = -1, last = -1;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            if (p[0] | p[1] | p[2]) {
                if (first < 0) first = x;
                last = x;
            }
        }
        return {first, last};
    }
};

class XServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "ffmpeg", "xdotool"})
            if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        if (access(kKavlo.c_str(), X_OK) != 0 || access((kShowData + "/megadata.rar").c_str(), R_OK) != 0)
            GTEST_SKIP() << "kavlo or the show's data is not built";
        const char* out = std::getenv("KAVLO_TEST_OUTPUT");
        dir_ = out ? out : ".";
        // Xvfb picks a free display and writes its number to the pipe.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const std::string fd = std::to_string(fds[1]);
        xvfb_ = std::make_unique<Process>(
            std::vector<std::string> {"Xvfb", "-displayfd", fd, "-screen", "0", "1920x1080x24",
                                      "-nolisten", "tcp"},
            std::vector<std::string> {}, dir_ + "/xvfb.log");
        close(fds[1]);
        ASSERT_TRUE(xvfb_->Started());
        char number[16] = {};
        const ssize_t got = read(fds[0], number, sizeof number - 1);
        close(fds[0]);
        ASSERT_GT(got, 0) << ReadFile(dir_ + "/xvfb.log");
        display_ = ":" + std::string(number, std::strcspn(number, "\n"));
    }

    std::vector<std::string> Env() const {
        return {"DISPLAY=" + display_, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "CI=1",
                "ASAN_OPTIONS=detect_leaks=0", "XDG_PICTURES_DIR=" + dir_ + "/pictures"};
    }

    std::unique_ptr<Process> StartKavlo(const std::vector<std::string>& options,
                                        const std::string& log) {
        std::vector<std::string> args = {kKavlo, "--data", kShowData};
        args.insert(args.end(), options.begin(), options.end());
        return std::make_unique<Process>(args, Env(), dir_ + "/" + log);
    }

    void Run(const std::vector<std::string>& args) {
        Process p(args, Env(), dir_ + "/tool.log");
        EXPECT_EQ(p.Wait(20), 0) << args[0] << ": " << ReadFile(dir_ + "/tool.log");
    }

    Screenshot Shot(const std::string& name) {
        const std::string path = dir_ + "/" + name;
        Run({"ffmpeg", "-loglevel", "error", "-y", "-f", "x11grab", "-video_size", "1920x1080",
             "-i", display_, "-frames:v", "1", path});
        Screenshot shot;
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path.c_str())) return shot;
        image.format = PNG_FORMAT_RGB;
        shot.rgb.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, shot.rgb.data(), 0, nullptr)) {
            shot.width = static_cast<int>(image.width);
            shot.height = static_cast<int>(image.height);
        }
        return shot;
    }

    // Screenshots until the rectangle is lit (the show is drawing there), for up to
    // 60 s; the last one either way.
    Screenshot ShotOnceLit(const std::string& name, int x0, int y0, int x1, int y1) {
        Screenshot shot;
        for (int i = 0; i < 60; ++i) {
            shot = Shot(name);
            if (shot.width == 1920 && shot.Mean(x0, y0, x1, y1) > 10.0) break;
            Sleep(1);
        }
        return shot;
    }

    std::string dir_;
    std::string display_;
    std::unique_ptr<Process> xvfb_;
};

// The screen has no 800 x 600 at 75 Hz: plain kavlo plays full screen at the desktop's
// mode, the 4:3 picture filling the height, centred, black at the sides.
TEST_F(XServerTest, FullScreenWithoutTheExactModeIsScaledAndCentred) {
    auto kavlo = StartKavlo({}, "fullscreen.log");
    ASSERT_TRUE(WaitForText(dir_ + "/fullscreen.log",
                            "no 800x600 at 75 Hz; full screen at 1920x1080, picture scaled", 30))
        << ReadFile(dir_ + "/fullscreen.log");
    // Loading, then the first frames of the show (slow under sanitizers or load).
    // The left edge of the picture is lit once the show plays (the loading picture's
    // edges are dark).
    const Screenshot shot = ShotOnceLit("fullscreen.png", 240, 0, 300, 1080);
    ASSERT_EQ(shot.width, 1920);
    EXPECT_EQ(shot.Mean(0, 0, 240, 1080), 0.0);      // left bar
    EXPECT_EQ(shot.Mean(1680, 0, 1920, 1080), 0.0);  // right bar
    EXPECT_GT(shot.Mean(240, 0, 1680, 1080), 10.0);  // the picture
    const auto lit = shot.LitColumns(540);
    EXPECT_LE(lit.first, 250);
    EXPECT_GE(lit.second, 1670);

    Run({"xdotool", "key", "Escape"});
    EXPECT_EQ(kavlo->Wait(20), 0) << ReadFile(dir_ + "/fullscreen.log");
}

// With a window manager: a window resized to 1200 x 700 shows the picture scaled and
// centred in it; F11 makes it full screen and back.
TEST_F(XServerTest, AResizedWindowScalesThePictureAndF11Toggles) {
    if (!OnPath("openbox")) GTEST_SKIP() << "openbox is not installed (scripts/setup installs it)";
    Process wm({"openbox"}, Env(), dir_ + "/openbox.log");
    Sleep(1);
    auto kavlo = StartKavlo({"--windowed"}, "windowed.log");
    // --sync waits until the window is mapped. A window that is being mapped or
    // re-parented by the window manager as it is found gives BadWindow: try again.
    bool resized = false;
    for (int attempt = 0; attempt < 5 && !resized; ++attempt) {
        Process resize({"xdotool", "search", "--sync", "--onlyvisible", "--name",
                        "Dansk OpenGL tutorial", "windowsize", "1200", "700"},
                       Env(), dir_ + "/resize.log");
        resized = resize.Wait(30) == 0;
        if (!resized) Sleep(1);
    }
    ASSERT_TRUE(resized) << ReadFile(dir_ + "/resize.log") << ReadFile(dir_ + "/windowed.log");
    Process where({"xdotool", "search", "--name", "Dansk OpenGL tutorial", "getwindowgeometry",
                   "--shell"},
                  Env(), dir_ + "/geometry.log");
    ASSERT_EQ(where.Wait(20), 0);
    int x = -1, y = -1, w = 0, h = 0;
    std::istringstream lines(ReadFile(dir_ + "/geometry.log"));
    for (std::string line; std::getline(lines, line);) {
        std::sscanf(line.c_str(), "X=%d", &x);
        std::sscanf(line.c_str(), "Y=%d", &y);
        std::sscanf(line.c_str(), "WIDTH=%d", &w);
        std::sscanf(line.c_str(), "HEIGHT=%d", &h);
    }
    ASSERT_EQ(w, 1200);
    ASSERT_EQ(h, 700);
    ASSERT_TRUE(x >= 0 && y >= 0 && x + w <= 1920 && y + h <= 1080) << x << "," << y;
    // On the window's middle row, between the frame's borders: the picture 933 columns
    // wide (700 * 4 / 3) with black bars of 133 columns either side. Retaken until so
    // (the window may be resized while the show is still loading, when frames are few).
    struct Span {
        int left = -1, width = -1, right = -1;  // bar, picture, bar
    } span;
    for (int i = 0; i < 60; ++i) {
        const Screenshot window = Shot("window_1200x700.png");
        const std::vector<std::pair<int, int>> runs =
            window.width == 1920 ? window.LitRuns(y + h / 2) : std::vector<std::pair<int, int>> {};
        if (runs.size() >= 3) {
            const int first = runs[1].first, last = runs[runs.size() - 2].second;
            span = {first - runs.front().second - 1, last - first + 1,
                    runs.back().first - last - 1};
            if (std::abs(span.width - 933) <= 3 && std::abs(span.left - 133) <= 3) break;
        }
        Sleep(1);
    }
    EXPECT_NEAR(span.width, 933, 3);
    EXPECT_NEAR(span.left, 133, 3);
    EXPECT_NEAR(span.right, 133, 3);

    Run({"xdotool", "key", "F11"});
    Sleep(1);
    // The top rows: lit in full screen only (the window stood lower).
    const Screenshot full = ShotOnceLit("after_f11.png", 240, 0, 1680, 80);
    EXPECT_EQ(full.Mean(0, 0, 240, 1080), 0.0);
    EXPECT_EQ(full.Mean(1680, 0, 1920, 1080), 0.0);
    EXPECT_GT(full.Mean(240, 0, 1680, 1080), 10.0);

    Run({"xdotool", "key", "Escape"});
    EXPECT_EQ(kavlo->Wait(20), 0) << ReadFile(dir_ + "/windowed.log");
}

// Space holds the picture (two screenshots a second apart are the same), '.' moves it on
// a frame at a time, F12 saves it where XDG_PICTURES_DIR says, Right seeks while paused, and
// Space plays on.
TEST_F(XServerTest, PlayerKeysPauseStepSaveAndSeek) {
    std::system(("rm -rf '" + dir_ + "/pictures'").c_str());
    // Past the opening's still second; even here the picture holds for a frame now and
    // then, so three steps are taken.
    auto kavlo = StartKavlo({"--start", "3000"}, "player.log");
    ShotOnceLit("playing.png", 240, 0, 300, 1080);
    Run({"xdotool", "key", "space"});
    Sleep(1);
    const Screenshot held = Shot("paused_1.png");
    Sleep(1);
    const Screenshot still = Shot("paused_2.png");
    ASSERT_EQ(held.width, 1920);
    EXPECT_EQ(held.rgb, still.rgb);
    Run({"xdotool", "key", "period", "period", "period"});
    Sleep(1);
    const Screenshot stepped = Shot("stepped.png");
    EXPECT_NE(stepped.rgb, still.rgb);
    Run({"xdotool", "key", "F12"});
    ASSERT_TRUE(WaitForText(dir_ + "/player.log", "kavlo: saved the picture at ", 20))
        << ReadFile(dir_ + "/player.log");
    const std::string log = ReadFile(dir_ + "/player.log");
    const size_t in = log.find(" in ", log.find("saved the picture at "));
    const std::string path = log.substr(in + 4, log.find('\n', in) - in - 4);
    EXPECT_EQ(path.rfind(dir_ + "/pictures/Kavlo/kavlo-", 0), 0u) << path;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path;
    EXPECT_EQ(image.width, 800u);  // the render size, not the screen's
    EXPECT_EQ(image.height, 600u);
    png_image_free(&image);
    Run({"xdotool", "key", "Right"});
    Sleep(1);
    const Screenshot sought = Shot("sought.png");
    EXPECT_NE(sought.rgb, stepped.rgb);
    Sleep(1);
    EXPECT_EQ(Shot("sought_2.png").rgb, sought.rgb);  // still paused
    Run({"xdotool", "key", "space"});
    Sleep(1);
    const Screenshot playing = Shot("resumed_1.png");
    Sleep(1);
    EXPECT_NE(Shot("resumed_2.png").rgb, playing.rgb);
    Run({"xdotool", "key", "Escape"});
    EXPECT_EQ(kavlo->Wait(20), 0) << ReadFile(dir_ + "/player.log");
}

// Escape right behind a burst of player keys (several hundred events, more than the
// frames of many seconds) still ends the show: each frame handles every pending event.
TEST_F(XServerTest, EscapeBehindABurstOfKeysEndsTheShow) {
    auto kavlo = StartKavlo({"--loop"}, "burst.log");
    ShotOnceLit("burst.png", 240, 0, 300, 1080);
    const char* names[] = {"space", "Left", "Right", "Prior", "Next", "Home", "period", "F11", "F12"};
    std::vector<std::string> args = {"xdotool", "key", "--delay", "1"};
    unsigned seed = 33;
    for (int n = 0; n < 400; ++n) {
        seed = seed * 1103515245u + 12345u;
        args.push_back(names[(seed >> 16) % 9]);
    }
    args.push_back("Escape");
    Run(args);
    EXPECT_EQ(kavlo->Wait(30), 0) << ReadFile(dir_ + "/burst.log");
}

// --exact-mode keeps the original rule: the exact mode or the message, then exit 1.
TEST_F(XServerTest, ExactModeWithoutTheModeShowsTheMessageAndFails) {
    auto kavlo = StartKavlo({"--exact-mode"}, "exact.log");
    EXPECT_EQ(kavlo->Wait(30), 1);
    EXPECT_NE(ReadFile(dir_ + "/exact.log").find("Error: The selected screenmode is not supported!"),
              std::string::npos)
        << ReadFile(dir_ + "/exact.log");
}

}  // namespace
