// Tests of the memory tracker: formatting, patterns, guards, the report and threads.
#include "MemoryTracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TRACKER_TEST_ASAN 1
#endif

namespace {

// Under AddressSanitizer the tracker poisons the guards of live blocks; the tests that
// read them, or damage them on purpose, open them first.
void OpenGuards(void* reported, size_t size) {
#ifdef TRACKER_TEST_ASAN
    ASAN_UNPOISON_MEMORY_REGION(static_cast<char*>(reported) - 16, size + 32);
#else
    (void)reported;
    (void)size;
#endif
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The report row of the one live unit owned by `file`, or "".
std::string ReportRowFor(const std::string& file) {
    MemoryTracker::WriteLeakReport();
    for (const std::string& line : SplitCrLf(ReadFile("memleaks.log")))
        if (line.find(file + "(") != std::string::npos) return line;
    return "";
}

// Keeps the compiler from eliding a new/delete pair whose block is never used.
template <class T>
T* Escape(T* p) {
    asm volatile("" : : "r"(p) : "memory");
    return p;
}

uint32_t WordAt(const void* p, size_t index) {
    uint32_t w;
    std::memcpy(&w, static_cast<const unsigned char*>(p) + 4 * index, 4);
    return w;
}

class MemoryTrackerTest : public ::testing::Test {
protected:
    void SetUp() override { std::remove("memory.log"); }
};

TEST(MemoryFormat, SizesSwitchUnitsAfterTheThresholds) {
    EXPECT_STREQ(MemoryTracker::FormatMemorySize(1024), "     1,024 bytes     ");
    EXPECT_STREQ(MemoryTracker::FormatMemorySize(1025), "     1,025 (   1.00K)");
    EXPECT_STREQ(MemoryTracker::FormatMemorySize(1048576), " 1,048,576 (1024.00K)");
    EXPECT_STREQ(MemoryTracker::FormatMemorySize(1048577), " 1,048,577 (   1.00M)");
    EXPECT_STREQ(MemoryTracker::FormatMemorySize(0), "         0 bytes     ");
}

TEST(MemoryFormat, ThousandsAndPathsAndOwner) {
    EXPECT_STREQ(MemoryTracker::FormatThousands(0), "0");
    EXPECT_STREQ(MemoryTracker::FormatThousands(999), "999");
    EXPECT_STREQ(MemoryTracker::FormatThousands(1000), "1,000");
    EXPECT_STREQ(MemoryTracker::FormatThousands(1234567), "1,234,567");
    EXPECT_STREQ(MemoryTracker::FormatThousands(4294967295u), "4,294,967,295");

    EXPECT_STREQ(MemoryTracker::StripSourcePath("c:\\src\\kavlo/x\\main.cpp"), "main.cpp");
    EXPECT_STREQ(MemoryTracker::StripSourcePath("/src/kavlo/main.cpp"), "main.cpp");
    EXPECT_STREQ(MemoryTracker::StripSourcePath("main.cpp"), "main.cpp");
    EXPECT_STREQ(MemoryTracker::FormatOwner("/a/b/object.cpp", 42, "??"), "object.cpp(00042)::??");
}

TEST_F(MemoryTrackerTest, FreshBlocksHoldThePatternAndCallocZeros) {
    unsigned char* p =
        static_cast<unsigned char*>(TrackedAllocate("fill.cpp", 1, "??", kAllocMalloc, 7));
    ASSERT_NE(p, nullptr);
    OpenGuards(p, 7);
    EXPECT_EQ(WordAt(p, 0), 0xFEEDFACEu);
    // The tail takes the pattern's low bytes, little-endian.
    EXPECT_EQ(p[4], 0xCE);
    EXPECT_EQ(p[5], 0xFA);
    EXPECT_EQ(p[6], 0xED);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(WordAt(p - 16, i), 0xBAADF00Du);
        EXPECT_EQ(WordAt(p + 7, i), 0xDEADC0DEu);
    }
    TrackedDeallocate("fill.cpp", 2, "??", kAllocFree, p);

    unsigned char* z =
        static_cast<unsigned char*>(TrackedAllocate("fill.cpp", 3, "??", kAllocCalloc, 9));
    ASSERT_NE(z, nullptr);
    OpenGuards(z, 9);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(z[i], 0) << i;
    EXPECT_EQ(WordAt(z + 9, 0), 0xDEADC0DEu);
    TrackedDeallocate("fill.cpp", 4, "??", kAllocFree, z);
}

TEST_F(MemoryTrackerTest, SizeZeroNewMakesAOneByteUnit) {
    ReportRowFor("warm-up");  // the stream library keeps its first allocations
    const unsigned before = MemoryTracker::LiveUnitCount();
    SetAllocationOwner("zero_size.cpp", 10, "??");
    char* p = Escape(new char[0]);
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before + 1);
    {
        const std::string row = ReportRowFor("zero_size.cpp");
        ASSERT_FALSE(row.empty());
        // Reported size 1, actual size 33.
        EXPECT_NE(row.find(" 0x00000001 "), std::string::npos) << row;
        EXPECT_NE(row.find(" 0x00000021 "), std::string::npos) << row;
        EXPECT_NE(row.find("new[]"), std::string::npos) << row;
    }
    SetAllocationOwner("zero_size.cpp", 12, "??");
    delete[] p;
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
}

TEST_F(MemoryTrackerTest, EachAllocationGetsTheNextNumber) {
    int* a;
    int* b;
    a = KAVLO_NEW(int, 1), b = KAVLO_NEW(int, 2);  // one source line, two units
    const std::string rowA = ReportRowFor(std::string("MemoryTrackerTest.cpp"));
    ASSERT_FALSE(rowA.empty());
    std::vector<int> numbers;
    for (const std::string& line : SplitCrLf(ReadFile("memleaks.log")))
        if (line.find("MemoryTrackerTest.cpp(") != std::string::npos)
            numbers.push_back(std::atoi(line.substr(0, 6).c_str()));
    ASSERT_EQ(numbers.size(), 2u);
    // The chain lists the most recent unit first when both share a bucket; either way
    // the two numbers are consecutive.
    EXPECT_EQ(std::abs(numbers[0] - numbers[1]), 1);
    KAVLO_DELETE(a);
    KAVLO_DELETE(b);
}

TEST_F(MemoryTrackerTest, UnusedColumnCountsUntouchedWords) {
    void* eight = TrackedAllocate("unused8.cpp", 1, "??", kAllocMalloc, 8);
    void* five = TrackedAllocate("unused5.cpp", 1, "??", kAllocMalloc, 5);
    void* written = TrackedAllocate("unused_w.cpp", 1, "??", kAllocMalloc, 8);
    std::memset(written, 0, 4);
    auto unused = [](const std::string& row) {
        // Columns: number, 2 addresses/sizes pairs, then Unused.
        std::istringstream s(row);
        std::string number, repAddr, repSize, actAddr, actSize, unusedText;
        s >> number >> repAddr >> repSize >> actAddr >> actSize >> unusedText;
        return std::strtoul(unusedText.c_str(), nullptr, 16);
    };
    EXPECT_EQ(unused(ReportRowFor("unused8.cpp")), 8u);
    // The second word of a 5-byte block takes three bytes of the back guard.
    EXPECT_EQ(unused(ReportRowFor("unused5.cpp")), 4u);
    EXPECT_EQ(unused(ReportRowFor("unused_w.cpp")), 4u);
    TrackedDeallocate("t", 0, "??", kAllocFree, eight);
    TrackedDeallocate("t", 0, "??", kAllocFree, five);
    TrackedDeallocate("t", 0, "??", kAllocFree, written);
}

TEST_F(MemoryTrackerTest, ReleasingTwiceOrAForeignAddressIsLoggedNotFreed) {
    int* p = KAVLO_NEW(int, 3);
    const uintptr_t stale = reinterpret_cast<uintptr_t>(p);
    const unsigned live = MemoryTracker::LiveUnitCount();
    KAVLO_DELETE(p);
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), live - 1);
    // Already released.
    TrackedDeallocate("double.cpp", 1, "??", kAllocDelete, reinterpret_cast<void*>(stale));
    int onStack = 0;
    TrackedDeallocate("foreign.cpp", 1, "??", kAllocDelete, &onStack);
    void* fromMalloc = std::malloc(16);
    TrackedDeallocate("foreign.cpp", 2, "??", kAllocFree, fromMalloc);
    std::free(fromMalloc);
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), live - 1);
    const auto lines = SplitCrLf(ReadFile("memory.log"));
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines)
        EXPECT_EQ(line, "Request to deallocate RAM that was never allocated");
}

TEST_F(MemoryTrackerTest, ValidationFindsUnderrunsAndOverruns) {
    EXPECT_TRUE(MemoryTracker::ValidateAllAllocationUnits());
    EXPECT_EQ(ReadFile("memory.log"), "");

    unsigned char* p =
        static_cast<unsigned char*>(TrackedAllocate("guard.cpp", 77, "??", kAllocMalloc, 10));
    OpenGuards(p, 10);
    p[-1] = 0;   // last front word
    p[10] = 0;   // first back word
    p[15] = 0;   // second back word
    EXPECT_FALSE(MemoryTracker::ValidateAllAllocationUnits());
    const std::string log = ReadFile("memory.log");
    const auto lines = SplitCrLf(log);
    // Three damaged words: three reports of eight lines, then the summary.
    ASSERT_EQ(lines.size(), 3u * 8 + 1) << log;
    // Word positions are checked in order, front and back at each position.
    EXPECT_EQ(lines[0], "A memory allocation unit was corrupt because of an overrun:");
    EXPECT_EQ(lines[8], "A memory allocation unit was corrupt because of an overrun:");
    EXPECT_EQ(lines[16], "A memory allocation unit was corrupt because of an underrun:");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("  Address \\(reported\\): 0x[0-9A-F]{16}")))
        << lines[1];
    EXPECT_EQ(lines[3], "  Size (reported)   : 0x0000000A (        10 bytes     )");
    EXPECT_EQ(lines[4], "  Size (actual)     : 0x0000002A (        42 bytes     )");
    EXPECT_EQ(lines[5], "  Owner             : guard.cpp(77)::??");
    EXPECT_EQ(lines[6], "  Allocation type   : malloc");
    EXPECT_EQ(lines.back(),
              "While validting all allocation units, 1 allocation unit(s) were found to have "
              "problems");
    TrackedDeallocate("guard.cpp", 78, "??", kAllocFree, p);
    std::remove("memory.log");
    EXPECT_TRUE(MemoryTracker::ValidateAllAllocationUnits());
}

TEST_F(MemoryTrackerTest, OutOfMemoryConsultsTheNewHandlerThenThrows) {
    static int handlerCalls = 0;
    handlerCalls = 0;
    std::set_new_handler([] {
        ++handlerCalls;
        std::set_new_handler(nullptr);
    });
    const size_t tooBig = size_t(5) << 30;  // over what a unit can record
    try {
        char* p = Escape(new char[tooBig]);
        delete[] p;
        FAIL() << "no exception";
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "bad allocation");
    }
    EXPECT_EQ(handlerCalls, 1);
    EXPECT_EQ(Escape(new (std::nothrow) char[tooBig]), nullptr);
    const auto lines = SplitCrLf(ReadFile("memory.log"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Request for allocation failed. Out of memory.");
}

TEST_F(MemoryTrackerTest, OwnersArePerThreadAndResetAfterUse) {
    std::atomic<int> step{0};
    const char* otherFile = nullptr;
    std::thread other([&] {
        while (step.load() != 1) std::this_thread::yield();
        int line;
        const char* function;
        MemoryTracker::CurrentOwner(&otherFile, &line, &function);
        step.store(2);
    });
    SetAllocationOwner("main_thread.cpp", 5, "??");
    step.store(1);
    while (step.load() != 2) std::this_thread::yield();
    EXPECT_STREQ(otherFile, "??");
    const char* file;
    int line;
    const char* function;
    MemoryTracker::CurrentOwner(&file, &line, &function);
    EXPECT_STREQ(file, "main_thread.cpp");
    EXPECT_EQ(line, 5);
    int* p = Escape(new int(1));
    MemoryTracker::CurrentOwner(&file, &line, &function);
    EXPECT_STREQ(file, "??");
    EXPECT_EQ(line, 0);
    delete p;
    other.join();
}

// The over-aligned forms come from the C heap, untracked; an aligned delete of a tracked
// block (forms mixed by the caller) goes back to the tracker, not to free().
TEST_F(MemoryTrackerTest, OverAlignedFormsPairWithEachOtherAndWithTrackedBlocks) {
    struct alignas(64) Wide {
        char bytes[64];
    };
    Wide* one = Escape(new Wide);
    Wide* many = Escape(new Wide[3]);
    Wide* quiet = Escape(new (std::nothrow) Wide);
    void* raw = Escape(::operator new(100, std::align_val_t(32)));
    for (const void* p : {static_cast<const void*>(one), static_cast<const void*>(many),
                          static_cast<const void*>(quiet)})
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(raw) % 32, 0u);
    delete one;
    delete[] many;
    delete quiet;
    ::operator delete(raw, 100, std::align_val_t(32));

    const unsigned live = MemoryTracker::LiveUnitCount();
    void* tracked = Escape(::operator new(64));
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), live + 1);
    ::operator delete(tracked, std::align_val_t(64));
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), live);
    EXPECT_EQ(ReadFile("memory.log"), "");
}

void AllocateFromThreads() {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::vector<std::vector<int>*> held;
            for (int i = 0; i < 3000; ++i) {
                held.push_back(new std::vector<int>(static_cast<size_t>(i % 17 + t)));
                if (i % 3 == 0) {
                    delete held.back();
                    held.pop_back();
                }
            }
            for (auto* v : held) delete v;
        });
    }
    for (auto& th : threads) th.join();
}

TEST_F(MemoryTrackerTest, ConcurrentAllocationsKeepTheTableConsistent) {
    AllocateFromThreads();  // the thread runtime keeps a few first-use blocks
    const unsigned before = MemoryTracker::LiveUnitCount();
    AllocateFromThreads();
    EXPECT_EQ(MemoryTracker::LiveUnitCount(), before);
    EXPECT_TRUE(MemoryTracker::ValidateAllAllocationUnits());
}

// ---------------------------------------------------------------------------------
// The exit report, from a small tracked program of its own.

std::string RunProbe(const std::string& args, const std::string& env = "") {
    const std::string dir = std::string("probe_") + std::to_string(std::rand());
    const std::string cmd = "mkdir -p " + dir + " && cd " + dir +
                            " && rm -f memleaks.log memory.log && " + env + " " +
                            TRACKER_PROBE + " " + args + " > out.txt";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return dir;
}

TEST(MemoryLeakReport, CountsLiveUnitsAtExit) {
    const std::string rule = " " + std::string(130, '-') + " ";
    for (int n = 0; n <= 2; ++n) {
        const std::string dir = RunProbe("leaks " + std::to_string(n));
        const std::string report = ReadFile(dir + "/memleaks.log");
        const auto lines = SplitCrLf(report);
        ASSERT_GE(lines.size(), 7u) << report;
        EXPECT_EQ(lines[0], rule);
        EXPECT_TRUE(std::regex_match(
            lines[1], std::regex("\\| {42}Memory leak report for:  \\d\\d/\\d\\d/\\d{4} "
                                 "\\d\\d:\\d\\d:\\d\\d {44}\\|")))
            << lines[1];
        EXPECT_EQ(lines[1].size(), 132u);
        EXPECT_EQ(lines[2], rule);
        EXPECT_EQ(lines[3], "");
        EXPECT_EQ(lines[4], "");
        if (n == 0) {
            EXPECT_EQ(lines[5], "Congratulations! No memory leaks found!");
            EXPECT_EQ(lines[6], "");
            EXPECT_EQ(lines.size(), 7u);
            continue;
        }
        EXPECT_EQ(lines[5], n == 1 ? "1 memory leak found:" : "2 memory leaks found:");
        EXPECT_EQ(lines[6], "");
        ASSERT_EQ(lines.size(), 10u + n) << report;
        EXPECT_EQ(lines[7],
                  "Alloc.   Addr       Size       Addr       Size                        "
                  "BreakOn BreakOn              ");
        EXPECT_EQ(lines[8],
                  "Number Reported   Reported    Actual     Actual     Unused    Method  "
                  "Dealloc Realloc Allocated by ");
        EXPECT_EQ(lines[9].substr(0, 7), "------ ");
        for (int row = 0; row < n; ++row) {
            EXPECT_TRUE(std::regex_match(
                lines[10 + row],
                std::regex("\\d{6} 0x[0-9A-F]{16} 0x00000004 0x[0-9A-F]{16} 0x00000024 "
                           "0x00000000 new         N       N    tracker_probe\\.cpp\\(\\d{5}\\)::\\?\\?")))
                << lines[10 + row];
        }
    }
}

// A shared library's blocks, those it asked for through the C++ runtime included, are
// counted in one line after the table, not listed as the program's leaks; a leak of the
// program's own is still listed with its owner.
TEST(MemoryLeakReport, LibraryBlocksAreCountedApartFromTheProgramsLeaks) {
    // 100 + 28 bytes, and a string object (32) with its buffer of 68.
    const std::string libraryLine =
        "Not listed: 4 blocks (228 bytes) still held by libraries (the OpenGL driver, the C++ "
        "runtime, the sound library).";
    const auto alone = SplitCrLf(ReadFile(RunProbe("library 0") + "/memleaks.log"));
    ASSERT_EQ(alone.size(), 8u);
    EXPECT_EQ(alone[5], "Congratulations! No memory leaks found!");
    EXPECT_EQ(alone[7], libraryLine);

    const auto mixed = SplitCrLf(ReadFile(RunProbe("library 1") + "/memleaks.log"));
    ASSERT_EQ(mixed.size(), 13u);
    EXPECT_EQ(mixed[5], "1 memory leak found:");
    EXPECT_NE(mixed[10].find("tracker_probe.cpp("), std::string::npos) << mixed[10];
    EXPECT_EQ(mixed[11], "");
    EXPECT_EQ(mixed[12], libraryLine);
}

// basic_string<char> is compiled into the C++ runtime, so a string grows by a request
// from the runtime's code: the program's strings, with an owner and without, are still
// the program's and are listed with their buffers.
TEST(MemoryLeakReport, StringsGrownInsideTheRuntimeAreThePrograms) {
    const auto lines = SplitCrLf(ReadFile(RunProbe("strings") + "/memleaks.log"));
    ASSERT_GE(lines.size(), 6u);
    ASSERT_EQ(lines[5], "4 memory leaks found:");
    ASSERT_EQ(lines.size(), 14u);  // four rows and no libraries' line
    std::vector<unsigned long> sizes;
    for (size_t row = 10; row < lines.size(); ++row)
        sizes.push_back(std::stoul(lines[row].substr(26, 10), nullptr, 16));
    std::sort(sizes.begin(), sizes.end());
    EXPECT_GT(sizes[2], 150u);
    EXPECT_GT(sizes[3], 200u);
}

TEST(MemoryLeakReport, FirstAllocationOfTheRunIsNumberOne) {
    const std::string dir = RunProbe("first");
    const std::string before = ReadFile(dir + "/out.txt");
    if (before != "0\n") GTEST_SKIP() << "the runtime allocated before main: " << before;
    const std::string leak = RunProbe("leaks 1");
    const auto lines = SplitCrLf(ReadFile(leak + "/memleaks.log"));
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[10].substr(0, 7), "000001 ");
}

TEST(MemoryLeakReport, IsRewrittenAfterReleasesThatFollowTheExitStep) {
    const std::string dir = RunProbe("late");
    const auto lines = SplitCrLf(ReadFile(dir + "/memleaks.log"));
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[5], "Congratulations! No memory leaks found!");
}

// ---------------------------------------------------------------------------------
// The guard check switch, in the probe: a block damaged a few bytes past either end.

std::vector<std::string> ProbeLog(const std::string& args, bool checkGuards) {
    const std::string dir =
        RunProbe(args, checkGuards ? "KAVLO_CHECK_GUARDS=1" : "KAVLO_CHECK_GUARDS=0");
    return SplitCrLf(ReadFile(dir + "/memory.log"));
}

TEST(MemoryGuardCheck, ReleaseReportsOverrunsAndUnderrunsWhenOn) {
    const auto over = ProbeLog("overrun", true);
    ASSERT_EQ(over.size(), 8u);
    EXPECT_EQ(over[0], "A memory allocation unit was corrupt because of an overrun:");
    EXPECT_EQ(over[3], "  Size (reported)   : 0x0000000A (        10 bytes     )");
    EXPECT_TRUE(std::regex_match(
        over[5], std::regex("  Owner             : tracker_probe\\.cpp\\(\\d+\\)::\\?\\?")))
        << over[5];
    EXPECT_EQ(over[6], "  Allocation type   : new[]");

    const auto under = ProbeLog("underrun", true);
    ASSERT_EQ(under.size(), 8u);
    EXPECT_EQ(under[0], "A memory allocation unit was corrupt because of an underrun:");

    for (const char* args : {"overrun", "underrun", "damaged-leak"})
        EXPECT_TRUE(ProbeLog(args, false).empty()) << args << " logged with the check off";
}

#ifdef TRACKER_TEST_ASAN
TEST(MemoryGuardCheck, UnderAddressSanitizerAWriteIntoAGuardStopsAtTheWrite) {
    EXPECT_DEATH(
        {
            char* block = KAVLO_NEW_ARRAY(char, 10);
            asm volatile("" : "+r"(block));  // hides the size from UBSan's bounds check
            volatile char* p = block;
            p[12] = 1;
        },
        "use-after-poison");
}
#endif

TEST(MemoryGuardCheck, ExitStepChecksTheBlocksStillLive) {
    const auto lines = ProbeLog("damaged-leak", true);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "A memory allocation unit was corrupt because of an overrun:");
    EXPECT_EQ(lines[8],
              "While validting all allocation units, 1 allocation unit(s) were found to have "
              "problems");
}

}  // namespace
