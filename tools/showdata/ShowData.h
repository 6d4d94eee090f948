// The default show data as a whole: every picture, scene and the music, packed into
// "megadata.rar" (solid, LZ and multimedia mode) beside "musik.xm".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace showdata {

struct ShowEntry {
    std::string name;  // archive entry name, '/' separated
    std::vector<uint8_t> bytes;
};

struct ShowData {
    std::vector<ShowEntry> entries;  // in archive order
    std::vector<uint8_t> archive;    // megadata.rar
    std::vector<uint8_t> music;      // musik.xm
};

struct BuildOptions {
    // Where PNG copies of every picture go for people to look at; empty: none.
    std::string previewDir;
    // Called with a short line about each stage (for a progress line on stderr).
    std::function<void(const std::string&)> progress;
};

// Every entry the effects load, in archive order: the loading picture first (it is
// fetched first), the other JPEGs, the scenes, then the large TGAs last, since a solid
// archive unpacks everything ahead of the entry asked for.
const std::vector<std::string>& ShowEntryNames();

// Makes everything, deterministically: the same bytes on every run. False with a
// reason (a font or library failure).
bool BuildShowData(const BuildOptions& options, ShowData* out, std::string* error);

// Writes megadata.rar and musik.xm into `dir` (which must exist). Files are written
// under a temporary name and renamed, so a reader never sees half a file.
bool WriteShowData(const ShowData& data, const std::string& dir, std::string* error);

// The conventional file names.
constexpr const char* kArchiveName = "megadata.rar";
constexpr const char* kMusicName = "musik.xm";

}  // namespace showdata
