// Where `rarpack x` writes each entry: stored names made safe below the extraction
// folder, and never two entries on one file.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace rarpack {

// A stored name made safe to write below the extraction folder, separators as '/': a
// leading drive ("C:"), the root, empty and "." parts are dropped; a ".." part, or a ':'
// anywhere else (a drive or a Windows file stream), makes it unsafe (false).
bool SafeRelativePath(const std::string& name, std::filesystem::path* out);

// Two safe paths name one file exactly when their keys are equal, on any system the
// archive may be extracted on: Windows and other case-insensitive file systems ignore
// ASCII case, and Windows drops a name's trailing dots and spaces.
std::string OutputKey(const std::filesystem::path& rel);

// The paths of one extraction. Dropping parts of names can turn two names into one
// path: the later entry is refused rather than written over the earlier one.
class ExtractPaths {
public:
    // Where the entry named `name` (`storedSize` bytes as stored, of which the reader
    // keeps 259) goes, in *rel; false with the reason in *refusal when it must not be
    // written: "unsafe name", "name longer than 259 bytes", or "same output path as an
    // earlier entry (NAME)".
    bool Plan(const std::string& name, unsigned storedSize, std::filesystem::path* rel, std::string* refusal) const;
    // Notes that the entry `name` was written to `rel`.
    void Written(const std::filesystem::path& rel, const std::string& name);

private:
    std::map<std::string, std::string> written_;  // OutputKey -> the entry written there
};

}  // namespace rarpack
