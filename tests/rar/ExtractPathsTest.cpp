// Where rarpack x writes entries: every name lands below the extraction folder, and no
// two entries on one file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExtractPaths.h"

namespace {

TEST(RarpackExtractPaths, NoTwoEntriesLandOnOneFile) {
    const std::string deep = std::string(200, 'd') + "/" + std::string(58, 'L');  // 259 bytes
    const std::string same = "!same output path as an earlier entry ";
    const struct {
        std::vector<std::string> names;  // in archive order
        std::vector<std::string> paths;  // where each goes, or "!" and why it does not
    } cases[] = {
        {{"dir\\a:1", "dir\\b:2", "ab:c", "C:"}, {"!unsafe name", "!unsafe name", "!unsafe name", "!unsafe name"}},
        {{"x.txt", "\\x.txt", "/x.txt"}, {"x.txt", same + "(x.txt)", same + "(x.txt)"}},
        {{"d\\x.txt", "d\\\\x.txt", ".\\d\\x.txt", "d/./x.txt"}, {"d/x.txt", same + "(d\\x.txt)", same + "(d\\x.txt)",
                                                                   same + "(d\\x.txt)"}},
        {{"C:\\x.txt", "x.txt", "c:y"}, {"x.txt", same + "(C:\\x.txt)", "y"}},
        {{"X.TXT", "x.txt", "x.txt. ", "a_b", "a/b"}, {"X.TXT", same + "(X.TXT)", same + "(X.TXT)", "a_b", "a/b"}},
        {{"../up", "a/../../b", "..\\c"}, {"!unsafe name", "!unsafe name", "!unsafe name"}},
        {{deep, deep + "A", deep + "B"}, {deep, "!name longer than 259 bytes", "!name longer than 259 bytes"}},
    };
    for (const auto& c : cases) {
        rarpack::ExtractPaths paths;
        for (size_t i = 0; i < c.names.size(); ++i) {
            std::filesystem::path rel;
            std::string why;
            const std::string& name = c.names[i];
            // The reader keeps 259 bytes of a name and says how long it was.
            const bool ok = paths.Plan(name.substr(0, 259), static_cast<unsigned>(name.size()), &rel, &why);
            if (ok) paths.Written(rel, name);
            EXPECT_EQ(ok ? rel.generic_u8string() : "!" + why, c.paths[i]) << name;
        }
    }
}

}  // namespace
