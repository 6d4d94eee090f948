// Files and folders by UTF-8 name, and the folders a program keeps its things in: a
// file per system (FilesPosix.cpp, FilesWindows.cpp).
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace platform {

bool IsFolder(const std::string& path);
// Makes one folder; false (errno says why) when it cannot or it is there already.
bool MakeFolder(const std::string& path);
// Makes the folder and those above it that are missing, each private to the user, as
// the base-directory rules ask for the state folder; true when the folder is there.
bool MakeFolders(const std::string& path);
// The file's last modification time, in the C library's time_t.
bool ModifiedTime(const std::string& path, std::time_t* time);
// Creates the file for writing (binary) where nothing has its name yet, not even a
// link that leads nowhere; null otherwise, errno EEXIST where the name is taken.
std::FILE* CreateNewFile(const std::string& path);
// The absolute path with every link resolved, or "" where `path` does not exist.
std::string RealPath(const std::string& path);

// The base folder for a user's state (logs, histories): $XDG_STATE_HOME, else
// ~/.local/state; on Windows the local application data. "" when none can be named.
std::string UserStateFolder();
// Whether data installed with the programs belongs to the installation rather than the
// user (a package's, on Linux: shared and read-only), so that a program working on it
// writes its logs in the user's state folder. The Windows zip, unpacked by the user, is
// the user's own folder.
bool InstalledDataIsShared();

}  // namespace platform
