// fopen, chdir, access and getcwd of the Windows build take UTF-8 names (linked with
// --wrap to the wide API); text that is not UTF-8 still reaches the narrow call.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <io.h>
#include <string>
#include <unistd.h>
#include <vector>

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
        _wremove(c.wide);
        EXPECT_NE(access(c.utf8, 0), 0) << c.utf8;
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
    ASSERT_EQ(platform::windows::MakeDirectory(folder), 0);
    EXPECT_TRUE(platform::windows::IsDirectory(folder));
    EXPECT_NE(platform::windows::MakeDirectory(folder), 0);  // already there
    EXPECT_EQ(_wrmdir(L"\u540d\u524d"), 0);
}

}  // namespace
