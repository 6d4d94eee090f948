// Where kavlo and kavlo-capture find the show's data and write their logs.
#include "DataFolder.h"

#include "rar/ArchiveReader.h"
#include "platform/files/Files.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The folder the show's data is read from when the working folder is another one
// (empty: the working folder).
std::string dataFolder;

std::string WorkingFolder() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : ".";
}

// `relative` from the program's own folder, with no "." or ".." left in it, so that a
// message names each folder once and as a user would write it.
std::string FromProgram(const char* relative) {
    char* base = SDL_GetBasePath();
    if (!base) return std::string();
    std::string path = (fs::u8path(base) / fs::u8path(relative)).lexically_normal().u8string();
    SDL_free(base);
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\') &&
           path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

// The build's show folder, for a program that runs in its build tree: that is known by
// CMake's cache at the top of the tree, which an installed copy has nowhere above it.
std::string BuildData(const DataPlaces& places) {
    if (!places.buildData[0]) return std::string();
    const std::string show = FromProgram(places.buildData);
    const std::string cache = (fs::u8path(show).parent_path() / "CMakeCache.txt").u8string();
    return !show.empty() && access(cache.c_str(), F_OK) == 0 ? show : std::string();
}

// Where a program started away from its data looks: in its build tree the build's data,
// elsewhere the data installed with it.
std::vector<std::string> SearchFolders(const DataPlaces& places) {
    const std::string build = BuildData(places);
    const std::string folder = build.empty() ? FromProgram(places.installedData) : build;
    return folder.empty() ? std::vector<std::string>() : std::vector<std::string>{folder};
}

// The data the installation owns: nobody's to write into.
bool IsInstalledData(const DataPlaces& places, const std::string& folder) {
    if (!platform::InstalledDataIsShared()) return false;
    const std::string real = platform::RealPath(folder);
    return !real.empty() && real == platform::RealPath(FromProgram(places.installedData));
}

}  // namespace

const char* const kShowDataFiles[2] = {"musik.xm", "megadata.rar"};

bool HasShowData(const std::string& folder) {
    for (const char* name : kShowDataFiles) {
        const std::string path = folder.empty() ? name : folder + "/" + name;
        if (access(path.c_str(), R_OK) != 0) return false;
    }
    return true;
}

DataFolderResult EnterDataFolder(const DataPlaces& places, const char* dataOption) {
    const char* program = places.program;
    if (dataOption) {
        if (chdir(dataOption) != 0) {
            std::fprintf(stderr, "%s: cannot use --data %s: %s\n", program, dataOption,
                         std::strerror(errno));
            return DataFolderResult::kFailed;
        }
        // A folder without any of the show's files is no data folder (a typo such as
        // --data ~): the logs must not land there, nor the last run's memory.log go.
        bool any = false;
        for (const char* name : kShowDataFiles) any = any || access(name, F_OK) == 0;
        if (!any) {
            std::fprintf(stderr, "%s: the show's data (musik.xm and megadata.rar) is not in %s\n",
                         program, WorkingFolder().c_str());
            return DataFolderResult::kFailed;
        }
        return DataFolderResult::kEntered;
    }
    if (HasShowData("")) return DataFolderResult::kEntered;
    const std::string here = WorkingFolder();
    const std::vector<std::string> folders = SearchFolders(places);
    for (const std::string& folder : folders) {
        if (HasShowData(folder) && chdir(folder.c_str()) == 0) {
            std::fprintf(stderr, "%s: playing the show's data in %s\n", program,
                         WorkingFolder().c_str());
            return DataFolderResult::kEntered;
        }
    }
    std::fprintf(stderr, "%s: the show's data (musik.xm and megadata.rar) is not in %s", program,
                 here.c_str());
    for (const std::string& folder : folders)
        if (folder != here) std::fprintf(stderr, ", %s", folder.c_str());
    std::fprintf(stderr, ".\n%s: start %s in the folder that holds it, or give --data DIR%s.\n",
                 program, program,
                 BuildData(places).empty() ? "" : "; ./run.sh builds it into build/release/show");
    return DataFolderResult::kNotFound;
}

void MoveToStateFolderIfInstalled(const DataPlaces& places) {
    if (!IsInstalledData(places, ".")) return;
    const std::string data = platform::RealPath(".");
    const std::string base = platform::UserStateFolder();
    if (base.empty()) {
        std::fprintf(stderr, "%s: neither XDG_STATE_HOME nor HOME names a folder for the logs\n",
                     places.program);
        return;
    }
    const std::string state = base + "/kavlo";
    if (!platform::MakeFolders(state) || chdir(state.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot use %s for the logs: %s\n", places.program,
                     state.c_str(), std::strerror(errno));
        return;
    }
    // realpath's answer always fits the reader's folder name.
    ArchiveSetFolder(data.c_str());
    dataFolder = data;
    std::fprintf(stderr, "%s: writing the logs in %s\n", places.program, state.c_str());
}

std::string DataPath(const std::string& name) {
    if (dataFolder.empty() || name.empty() || name[0] == '/') return name;
    return dataFolder + "/" + name;
}

std::string DataFolderName() { return dataFolder.empty() ? WorkingFolder() : dataFolder; }
