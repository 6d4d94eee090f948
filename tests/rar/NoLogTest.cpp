// When the debug log cannot be created, extraction works the same and nothing is
// logged for the rest of the run. Its own program: the log is set up by the first
// call of the process.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "RarTestUtil.h"
#include "rar/ArchiveReader.h"

using namespace rartest;

TEST(ArchiveReaderLog, UncreatableLogLeavesExtractionWorking) {
    system("rm -rf debug_unrar.txt");
    ASSERT_EQ(mkdir("debug_unrar.txt", 0755), 0);  // a folder where the log would go
    Bytes a = Concat({Marker(), MainHeader(0), Block(StoredEntry("x", "works"))});
    ASSERT_TRUE(WriteFile("nolog.rar", a));
    for (int i = 0; i < 2; ++i) {
        void* p = nullptr;
        unsigned long size = 0;
        ASSERT_TRUE(ArchiveGetFile(&p, &size, "x", "nolog.rar", ""));
        EXPECT_EQ(std::string(static_cast<char*>(p), size), "works");
        free(p);
        EXPECT_FALSE(ArchiveGetFile(&p, &size, "y", "nolog.rar", ""));
    }
    rmdir("debug_unrar.txt");
    void* p = nullptr;
    unsigned long size = 0;
    ASSERT_TRUE(ArchiveGetFile(&p, &size, "x", "nolog.rar", ""));
    free(p);
    struct stat st;
    EXPECT_NE(stat("debug_unrar.txt", &st), 0);  // stays off once it failed
}
