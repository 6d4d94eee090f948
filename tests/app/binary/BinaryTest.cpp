// The real `kavlo` under every failure of its data, its sound device and its logs: each
// case runs the program in a scratch folder of its own (SDL's offscreen video driver,
// so the message boxes only write their stderr line) and checks its message, its exit
// status, that it neither crashed nor hung, and that the leak report names none of
// our sources. Runs that still play (a damaged picture is an empty texture) play the
// whole timeline on the program's stepped test clock and must show no GL error.
//
// The offscreen driver has no display mode to change: full screen there is the
// desktop's own mode with the picture scaled, so nothing is left to restore.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::string kShowDir = std::string(KAVLO_BINARY_DIR) + "/show";
constexpr int kHangSeconds = 30;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
Bytes ReadBytes(const std::string& path) {
    const std::string s = ReadText(path);
    return Bytes(s.begin(), s.end());
}
void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    while (n--) {
        crc ^= *p++;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint32_t Le(const Bytes& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

// One file entry of an archive, found by walking its headers.
struct Entry {
    std::string name;  // as the program asks for it, '/' separated
    size_t header = 0, nameAt = 0, nameSize = 0, data = 0, dataEnd = 0;
    bool IsScene() const { return name.size() > 4 && name.compare(name.size() - 4, 4, ".3ds") == 0; }
};

std::vector<Entry> WalkArchive(const Bytes& a) {
    std::vector<Entry> entries;
    size_t at = 7 + 13;
    while (at + 32 <= a.size()) {
        const uint32_t type = a[at + 2], flags = Le(a, at + 3, 2), size = Le(a, at + 5, 2);
        if (size < 7) break;
        size_t next = at + size + ((flags & 0x8000) ? Le(a, at + 7, 4) : 0);
        if (type == 0x74) {
            Entry e;
            e.header = at;
            e.nameAt = at + 32;
            e.nameSize = Le(a, at + 26, 2);
            e.name.assign(a.begin() + e.nameAt, a.begin() + e.nameAt + e.nameSize);
            std::replace(e.name.begin(), e.name.end(), '\\', '/');
            e.data = at + size;
            e.dataEnd = e.data + Le(a, at + 7, 4);
            next = e.dataEnd;
            entries.push_back(e);
        }
        at = next;
    }
    return entries;
}

struct ShowData {
    Bytes archive, music;
    std::vector<Entry> entries;
};
const ShowData& Show() {
    static const ShowData show = [] {
        ShowData s {ReadBytes(kShowDir + "/megadata.rar"), ReadBytes(kShowDir + "/musik.xm"), {}};
        s.entries = WalkArchive(s.archive);
        return s;
    }();
    return show;
}

Bytes RandomBytes(size_t n, uint32_t seed) {
    Bytes b(n);
    for (uint8_t& v : b) v = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    return b;
}

constexpr const char* kEffectFailed = "Error!: Error loading effect!";
constexpr const char* kNothingToPlay = "Sound Error: Tried to play a song before loading anything!";

// Makes one of the case's files; nullopt: the file is not there.
using Maker = std::function<std::optional<Bytes>()>;
Maker Intact(const Bytes& bytes) {
    return [&bytes] { return bytes; };
}
Maker Made(std::function<void(Bytes&)> change, const Bytes& from) {
    return [change, &from]() -> std::optional<Bytes> {
        Bytes b = from;
        change(b);
        return b;
    };
}
const Maker kAbsent = [] { return std::nullopt; };

struct Case {
    std::string name;
    Maker archive = Intact(Show().archive), music = Intact(Show().music);
    bool plays = true;                  // exit 0 after the whole show; else exit 1
    bool playsUnlessSceneFails = false; // the outcome follows the debug log instead
    std::vector<std::string> messages;  // lines the run must print
    // Entries the debug log may report failing; unset: not checked.
    std::optional<std::set<std::string>> mayFail = std::set<std::string>();
    std::set<std::string> mustFail;     // each of these fails where it is asked for
    std::string logHas;                 // a text the debug log must hold
    std::vector<std::string> env, args = {"--windowed", "--size", "64x64"};
    bool logsWritable = true;
    uint32_t frameMs = 500;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// A damaged archive: the entries `bad` fail where they are asked for, those of `may`
// may fail. The show plays on with empty pictures unless a scene fails.
Case Damaged(std::string name, std::function<void(Bytes&)> damage, const std::vector<size_t>& bad,
             const std::vector<size_t>& may) {
    Case c;
    c.name = std::move(name);
    c.archive = Made(std::move(damage), Show().archive);
    for (size_t i : bad) {
        c.mustFail.insert(Show().entries[i].name);
        if (Show().entries[i].IsScene()) c.plays = false;
    }
    for (size_t i : may) c.mayFail->insert(Show().entries[i].name);
    if (!c.plays) c.messages = {kEffectFailed};
    return c;
}

std::string Identifier(std::string s) {
    for (char& ch : s)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return s;
}

std::vector<Case> AllCases() {
    const ShowData& show = Show();
    const std::vector<Entry>& entries = show.entries;
    std::vector<Case> cases;
    auto add = [&](Case c) { cases.push_back(std::move(c)); };

    Case normal;
    normal.name = "normal_full_screen";
    normal.args = {"--size", "64x64"};
    normal.frameMs = 2000;  // every frame is scaled onto the desktop-sized window
    normal.messages = {"picture scaled"};
    add(normal);
    if (entries.empty()) return cases;  // the test says that the data is missing

    // A --data folder with none of the show's files is refused before the show starts
    // (the state folder test); with one of them the show fails on its own.
    Case missing;
    missing.name = "archive_missing";
    missing.archive = kAbsent;
    missing.plays = false;
    missing.messages = {kEffectFailed};
    missing.mayFail.reset();
    missing.logHas = "Error opening file.";
    add(missing);

    for (const char* name : {"archive_empty", "archive_random"}) {
        Case c = missing;
        c.name = name;
        const bool empty = c.name == "archive_empty";
        c.archive = Made([empty](Bytes& b) { b = empty ? Bytes() : RandomBytes(b.size(), 7); },
                         show.archive);
        c.logHas = "Not a RAR file";
        add(c);
    }

    // Cut inside the marker, the main header, the first file header, the first
    // entry's data, the middle, the last picture, one byte short.
    const size_t size = show.archive.size();
    for (size_t cut : {size_t(3), size_t(15), size_t(30), entries[0].data + 100, size / 2,
                       entries.back().data - 1000, size - 1}) {
        std::vector<size_t> bad;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].dataEnd > cut) bad.push_back(i);
        add(Damaged("archive_cut_at_" + std::to_string(cut), [cut](Bytes& b) { b.resize(cut); }, bad,
                    bad));
    }

    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        // One byte in the middle of the packed data. In a solid archive the later
        // entries unpack from a window that holds the damaged bytes: those that copy
        // from them fail their CRC too, so the outcome is read from the debug log.
        std::vector<size_t> later;
        for (size_t j = i; j < entries.size(); ++j) later.push_back(j);
        Case flipped = Damaged("flipped_" + Identifier(e.name),
                               [e](Bytes& b) { b[(e.data + e.dataEnd) / 2] ^= 0xFF; }, {i}, later);
        flipped.playsUnlessSceneFails = true;
        add(flipped);

        // Renamed (header CRC kept right), the entry is missing while the solid chain
        // through it stays intact.
        auto rename = [e](Bytes& b) {
            b[e.nameAt + e.nameSize - 1] = '#';
            const uint32_t crc = Crc32(&b[e.header + 2], e.nameAt + e.nameSize - e.header - 2);
            b[e.header] = static_cast<uint8_t>(crc);
            b[e.header + 1] = static_cast<uint8_t>(crc >> 8);
        };
        add(Damaged("missing_" + Identifier(e.name), rename, {i}, {i}));
    }

    Case noMusic;
    noMusic.name = "music_missing";
    noMusic.music = kAbsent;
    noMusic.plays = false;
    noMusic.messages = {kNothingToPlay};
    add(noMusic);
    // The sound layer plays whatever libopenmpt reads: a module cut after its header,
    // or one of another version, plays (silent where its data is gone).
    for (size_t cut : {size_t(10), size_t(60), size_t(100), size_t(400), show.music.size() / 2,
                       show.music.size() - 1}) {
        Case c = noMusic;
        c.name = "music_cut_at_" + std::to_string(cut);
        c.music = Made([cut](Bytes& b) { b.resize(cut); }, show.music);
        c.plays = cut >= 336;  // the 60-byte header and the 276-byte song header
        if (c.plays) c.messages.clear();
        add(c);
    }
    Case random = noMusic;
    random.name = "music_random";
    random.music = Made([](Bytes& b) { b = RandomBytes(b.size(), 11); }, show.music);
    add(random);
    Case version;
    version.name = "music_version_1_03";
    version.music = Made([](Bytes& b) { b[58] = 0x03; }, show.music);  // 0x0104 at offset 58
    add(version);

    Case noAudio;
    noAudio.name = "no_audio_device";
    noAudio.env = {"SDL_AUDIODRIVER=kavlo-no-such-driver"};
    noAudio.plays = false;
    // The way out right after the box's own line: before the box waits for the user.
    noAudio.messages = {"Sound Error: Error initializing output device.\n"
                        "kavlo: no sound device could be opened; kavlo --mute plays the show "
                        "without sound\n"};
    add(noAudio);

    Case noLogs;
    noLogs.name = "logs_not_writable";
    noLogs.logsWritable = false;
    noLogs.mayFail.reset();
    add(noLogs);
    return cases;
}

struct Result {
    bool hung = false;
    int exitCode = -1, signal = 0;
    std::string output;
};

// Runs kavlo on the case's files in `dir`, its output in dir/output.txt.
Result RunKavlo(const Case& c, const std::string& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (std::optional<Bytes> archive = c.archive()) WriteBytes(dir + "/megadata.rar", *archive);
    if (std::optional<Bytes> music = c.music()) WriteBytes(dir + "/musik.xm", *music);
    if (!c.logsWritable)
        for (const char* log : {"memleaks.log", "memory.log", "debug_unrar.txt"}) {
            // A folder in the log's place, not empty, so that nothing can remove it.
            fs::create_directories(dir + "/" + log);
            WriteBytes(dir + "/" + log + "/keep", {});
        }

    // The case's variables, then these, then the inherited ones: the first of a name wins.
    std::vector<std::string> given = c.env;
    for (const std::string& v :
         {std::string("SDL_VIDEODRIVER=offscreen"), std::string("SDL_AUDIODRIVER=dummy"),
          std::string("CI=1"), "KAVLO_TEST_FRAME_MS=" + std::to_string(c.frameMs),
          // GL drivers leave blocks that leak checking cannot attribute; a sanitizer
          // report is told apart from the program's own exit status 1.
          std::string("ASAN_OPTIONS=detect_leaks=0:exitcode=86")})
        given.push_back(v);
    for (char** e = environ; *e; ++e) given.push_back(*e);
    std::vector<std::string> env;
    std::set<std::string> names;
    for (const std::string& v : given)
        if (names.insert(v.substr(0, v.find('='))).second) env.push_back(v);
    std::vector<std::string> args = {KAVLO_PROGRAM, "--data", dir};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir + "/output.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    Result r;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        r.output = "cannot start " + args[0];
        return r;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kHangSeconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            r.hung = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.output = ReadText(dir + "/output.txt");
    return r;
}

// The names of the entries the debug log reports as not extracted.
std::set<std::string> FailedEntries(const std::string& log) {
    std::set<std::string> names;
    const std::string mark = "Error - couldn't extract >";
    for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) {
        const size_t from = at + mark.size();
        names.insert(log.substr(from, log.find('<', from) - from));
    }
    return names;
}

// Lines of the leak report's table whose block was allocated by one of our sources.
std::vector<std::string> OwnLeaks(const std::string& report) {
    std::vector<std::string> own;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        const bool row = line.size() > 6 && std::all_of(line.begin(), line.begin() + 6, [](char ch) {
                             return std::isdigit(static_cast<unsigned char>(ch)) != 0;
                         });
        if (row && line.find("?\?(00000)::?\?") == std::string::npos) own.push_back(line);
    }
    return own;
}

std::string Folder() {
    const char* out = std::getenv("KAVLO_TEST_OUTPUT");
    return out ? out : fs::current_path().string();
}

class BinaryTest : public ::testing::TestWithParam<Case> {
public:
    // Every case runs up front, a few at a time; the tests then read their results.
    static void SetUpTestSuite() {
        const std::vector<Case> cases = AllCases();
        std::atomic<size_t> next {0};
        std::mutex lock;
        std::vector<std::thread> workers;
        const unsigned n = std::max(2u, std::min(4u, std::thread::hardware_concurrency()));
        for (unsigned w = 0; w < n; ++w)
            workers.emplace_back([&] {
                for (size_t i; (i = next++) < cases.size();) {
                    Result r = RunKavlo(cases[i], Folder() + "/" + cases[i].name);
                    std::lock_guard<std::mutex> hold(lock);
                    results[cases[i].name] = std::move(r);
                }
            });
        for (std::thread& t : workers) t.join();
    }
    static std::map<std::string, Result> results;
};
std::map<std::string, Result> BinaryTest::results;

TEST_P(BinaryTest, EndsWithItsMessageAndStatusAndLeavesNoOwnBlock) {
    const Case& c = GetParam();
    const std::string dir = Folder() + "/" + c.name;
    ASSERT_TRUE(fs::exists(KAVLO_PROGRAM)) << KAVLO_PROGRAM;
    ASSERT_FALSE(Show().entries.empty()) << "no show data in " << kShowDir;
    const Result& r = results.at(c.name);
    ASSERT_FALSE(r.hung) << "still running after " << kHangSeconds << " s:\n" << r.output;
    ASSERT_EQ(r.signal, 0) << "killed by signal " << r.signal << ":\n" << r.output;
    EXPECT_EQ(r.output.find("Sanitizer"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("runtime error"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("GL error"), std::string::npos) << r.output;

    const std::string log = ReadText(dir + "/debug_unrar.txt");
    const std::set<std::string> failed = FailedEntries(log);
    bool plays = c.plays;
    std::vector<std::string> messages = c.messages;
    if (c.playsUnlessSceneFails) {
        plays = std::none_of(failed.begin(), failed.end(), [](const std::string& name) {
            return name.size() > 4 && name.compare(name.size() - 4, 4, ".3ds") == 0;
        });
        if (!plays) messages = {kEffectFailed};
    }
    EXPECT_EQ(r.exitCode, plays ? 0 : 1) << r.output;
    for (const std::string& message : messages)
        EXPECT_NE(r.output.find(message), std::string::npos) << "no \"" << message << "\":\n" << r.output;
    if (plays) {
        for (const char* caption : {"Error: ", "Error!: ", "Sound Error: ", "Fejl: ", "OpenGL Setup Error!: "})
            EXPECT_EQ(("\n" + r.output).find(std::string("\n") + caption), std::string::npos) << r.output;
    }

    if (!c.logsWritable) {
        for (const char* name : {"memleaks.log", "memory.log", "debug_unrar.txt"})
            EXPECT_TRUE(fs::is_directory(dir + "/" + name) && fs::exists(dir + "/" + name + "/keep")) << name;
        return;
    }
    const std::string report = ReadText(dir + "/memleaks.log");
    EXPECT_NE(report.find("Memory leak report for:"), std::string::npos) << "no leak report";
    const std::vector<std::string> own = OwnLeaks(report);
    EXPECT_TRUE(own.empty()) << own.size() << " blocks of our sources, first: " << own[0];

    if (!c.logHas.empty()) {
        EXPECT_NE(log.find(c.logHas), std::string::npos) << log;
    }
    if (c.mayFail) {
        for (const std::string& name : failed) EXPECT_TRUE(c.mayFail->count(name)) << name << " failed";
    }
    for (const std::string& name : c.mustFail) {
        if (log.find("Extracting >" + name + "<") != std::string::npos) {
            EXPECT_TRUE(failed.count(name)) << name << " was extracted";
        }
    }
    if (!HasFailure()) {
        fs::remove(dir + "/megadata.rar");
        fs::remove(dir + "/musik.xm");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BinaryTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
