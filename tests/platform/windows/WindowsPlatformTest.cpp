// fopen, remove, rename, chdir, access, getcwd and mkdir of the Windows build take UTF-8
// names (linked with --wrap to the wide API); text that is not UTF-8 still reaches the
// narrow call. Command lines carry UTF-8 arguments whole.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <io.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/process/Process.h"
#include "platform/windows/Windows.h"

namespace {

using platform::windows::Narrow;
using platform::windows::Widen;

bool WideFileHolds(const wchar_t* name, const char* text) {
    FILE* f = _wfopen(name, L"rb");
    if (!f) return false;
    char buffer[64] = {};
    const size_t n = fread(buffer, 1, sizeof buffer - 1, f);
    fclose(f);
    return n == std::strlen(text) && std::memcmp(buffer, text, n) == 0;
}

TEST(WindowsNames, UtfEightNamesOpenTheFileTheWideApiSees) {
    struct Case {
        const char* utf8;
        const wchar_t* wide;
    };
    const Case cases[] = {
        {"plain.txt", L"plain.txt"},
        {"\xc3\xbcmlaut.txt", L"\u00fcmlaut.txt"},                        // in the ANSI page
        {"\xd0\xb0\xd1\x80\xd1\x85\xd0\xb8\xd0\xb2.txt", L"\u0430\u0440\u0445\u0438\u0432.txt"},
        {"\xe5\x90\x8d\xe5\x89\x8d.txt", L"\u540d\u524d.txt"},
        {"\xf0\x9f\x8e\xb5.txt", L"\U0001F3B5.txt"},                      // a surrogate pair
    };
    for (const Case& c : cases) {
        FILE* f = fopen(c.utf8, "wb");
        ASSERT_NE(f, nullptr) << c.utf8;
        fputs("kavlo", f);
        fclose(f);
        EXPECT_TRUE(WideFileHolds(c.wide, "kavlo")) << c.utf8;
        EXPECT_EQ(access(c.utf8, 0), 0) << c.utf8;
        const std::string moved = std::string(c.utf8) + ".moved";
        EXPECT_EQ(std::rename(c.utf8, moved.c_str()), 0) << c.utf8;
        EXPECT_TRUE(WideFileHolds((std::wstring(c.wide) + L".moved").c_str(), "kavlo")) << c.utf8;
        EXPECT_EQ(std::remove(moved.c_str()), 0) << c.utf8;
        EXPECT_NE(access(moved.c_str(), 0), 0) << c.utf8;
    }
}

TEST(WindowsNames, TextThatIsNotUtfEightGoesToTheNarrowCall) {
    // 0xFC alone is "ü" in the Western ANSI page and no UTF-8 at all.
    FILE* f = fopen("\xfc" "ber.txt", "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(access("\xfc" "ber.txt", 0), 0);
    EXPECT_EQ(std::remove("\xfc" "ber.txt"), 0);
    EXPECT_EQ(fopen(nullptr, "rb"), nullptr);
}

TEST(WindowsNames, ChdirAndGetcwdKeepUtfEight) {
    const char* folder = "\xd0\x94\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5-\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf";
    std::wstring wide;
    ASSERT_TRUE(Widen(folder, &wide));
    _wmkdir(wide.c_str());
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(folder), 0);
    char inside[4096];
    ASSERT_NE(getcwd(inside, sizeof inside), nullptr);
    const std::string here = inside;
    EXPECT_EQ(here.substr(here.size() - std::strlen(folder)), folder);
    char tiny[4];
    EXPECT_EQ(getcwd(tiny, sizeof tiny), nullptr);  // too small: an error, never a cut name
    ASSERT_EQ(chdir(before), 0);
    EXPECT_EQ(_wrmdir(wide.c_str()), 0);
}

TEST(WindowsNames, ConversionsRefuseBrokenTextAndRoundTrip) {
    std::wstring wide = L"kept";
    EXPECT_FALSE(Widen("\xc3", &wide));  // a cut sequence
    EXPECT_FALSE(Widen("\xed\xa0\x80", &wide));  // an encoded surrogate
    EXPECT_EQ(wide, L"kept");
    std::string text;
    ASSERT_TRUE(Narrow(L"\u540d\U0001F3B5", &text));
    EXPECT_EQ(text, "\xe5\x90\x8d\xf0\x9f\x8e\xb5");
    ASSERT_TRUE(Widen(text.c_str(), &wide));
    EXPECT_EQ(wide, L"\u540d\U0001F3B5");
    EXPECT_TRUE(Widen("", &wide));
    EXPECT_TRUE(wide.empty());
}

TEST(WindowsNames, ArgumentsComeInUtfEight) {
    const std::vector<std::string> args = platform::windows::Utf8Arguments();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find("windows_platform_test"), std::string::npos);
}

TEST(WindowsNames, FoldersByUtfEightName) {
    const char* folder = "\xe5\x90\x8d\xe5\x89\x8d";
    EXPECT_FALSE(platform::windows::IsDirectory(folder));
    ASSERT_EQ(mkdir(folder, 0700), 0);  // the POSIX shim
    EXPECT_TRUE(platform::windows::IsDirectory(folder));
    EXPECT_NE(platform::windows::MakeDirectory(folder), 0);  // already there
    EXPECT_EQ(_wrmdir(L"\u540d\u524d"), 0);
}

// Each argument comes back whole from the command line its quoted form is put in.
TEST(WindowsCommandLine, QuotedArgumentsReadBackAsGiven) {
    const std::vector<std::string> args = {
        "plain", "", "two words", "tab\there", "say \"hi\"", "C:\\a b\\", "trail\\",
        "back\\\\\"quote", "\\\\server\\share", "-vf", "scale=8:6:(ow-iw)/2",
        "\xd0\xb2\xd0\xb8\xd0\xb4 \xe5\x90\x8d.mp4",
    };
    std::string line = "program.exe";
    for (const std::string& arg : args) line += " " + platform::windows::QuoteArgument(arg);
    std::wstring wide;
    ASSERT_TRUE(Widen(line.c_str(), &wide));
    int count = 0;
    wchar_t** read = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(count, static_cast<int>(args.size()) + 1) << line;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string back;
        EXPECT_TRUE(Narrow(read[i + 1], &back));
        EXPECT_EQ(back, args[i]) << line;
    }
    LocalFree(read);
}

TEST(WindowsCommandLine, ProgramsAreFoundAndTheirStatusReported) {
    // cmd.exe is on every Windows (and Wine) PATH.
    const std::string cmd = platform::FindProgram("cmd");
    ASSERT_FALSE(cmd.empty());
    EXPECT_TRUE(platform::FindProgram("kavlo-no-such-program").empty());
    platform::ChildProcess child;
    std::string error, how;
    ASSERT_TRUE(child.Start(cmd, {"/c", "exit 3"}, &error)) << error;
    EXPECT_FALSE(child.Finish(&how));
    EXPECT_EQ(how, "exit status 3");
}

// A program is looked for beside the running one, then in PATH's folders, and never in
// the working folder (Downloads, a --data folder): an ffmpeg.exe planted there must not run.
TEST(WindowsCommandLine, ProgramsBesideUsThenOnPathNeverInTheWorkingFolder) {
    wchar_t self[MAX_PATH], oldPath[32767];
    ASSERT_LT(GetModuleFileNameW(nullptr, self, MAX_PATH), static_cast<DWORD>(MAX_PATH));
    std::string own;
    char cwd[4096];
    ASSERT_TRUE(Narrow(self, &own) && getcwd(cwd, sizeof cwd));
    own.erase(own.find_last_of('\\'));
    const std::string here = cwd, path = here + "\\on-path", probe = "\\kavlo-find-probe.exe";
    mkdir(path.c_str(), 0700);
    const DWORD hadPath = GetEnvironmentVariableW(L"PATH", oldPath, 32767);
    const struct {
        bool beside, inHere, onPath;
        std::string pathVariable, found;
    } cases[] = {
        {false, true, false, path, ""},
        {false, true, true, path, path + probe},
        {true, true, true, path, own + probe},
        {false, true, false, ".;;" + here, here + probe},  // named by an absolute entry
        {false, true, true, ".;\"" + path + "\"", path + probe},
        {false, true, true, path + "\\", path + probe},
    };
    for (const auto& c : cases) {
        for (const auto& [folder, planted] : {std::pair(own, c.beside), {here, c.inHere}, {path, c.onPath}}) {
            if (planted) std::fclose(std::fopen((folder + probe).c_str(), "wb"));
            else std::remove((folder + probe).c_str());
        }
        std::wstring wide;
        ASSERT_TRUE(Widen(c.pathVariable.c_str(), &wide));
        SetEnvironmentVariableW(L"PATH", wide.c_str());
        EXPECT_EQ(platform::FindProgram("kavlo-find-probe"), c.found) << c.pathVariable;
    }
    SetEnvironmentVariableW(L"PATH", hadPath ? oldPath : nullptr);
    for (const std::string& folder : {own, here, path}) std::remove((folder + probe).c_str());
}

}  // namespace
