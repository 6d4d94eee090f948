// Where kavlo and kavlo-capture find the show's data and write their logs. The data: the
// working folder's, else the folder --data names, else the data installed with the
// program, else (a program in its build tree) the build's. The logs: in the data folder,
// except when that is installed data the installation owns; then in the user's state
// folder. Both programs work in the folder their logs go to.
#pragma once

#include <string>

// Where a program looks beyond the working folder, as paths from its own folder (the
// build gives them; they hold no absolute path, so the program's bytes do not depend on
// where it was built or installed).
struct DataPlaces {
    const char* program;        // the name its messages begin with
    const char* installedData;  // the data installed with it
    const char* buildData;      // its build's show folder; "" for none
};

enum class DataFolderResult {
    kEntered,   // the working folder holds the data, or is the folder --data named
                // (which holds one of the files at least; the program checks for the
                // files it needs)
    kNotFound,  // no folder has it: said so, where it looked; the working folder is kept
    kFailed,    // --data names a folder that cannot be entered or holds none of the
                // show's files: said so
};

// The show's data files, and whether `folder` ("" for the working one) holds both.
extern const char* const kShowDataFiles[2];
bool HasShowData(const std::string& folder);

// Makes the data folder the working folder (see above); `dataOption` is --data's folder
// or null. A folder found elsewhere is named on stderr.
DataFolderResult EnterDataFolder(const DataPlaces& places, const char* dataOption);

// After EnterDataFolder: where the data is installed data the installation owns, moves
// on to the user's state folder for the logs ($XDG_STATE_HOME/kavlo) and reads the data
// from where it is. Where that folder cannot be made, says so and stays with the data.
void MoveToStateFolderIfInstalled(const DataPlaces& places);

// The name to open one of the show's files by from the working folder, and the data
// folder's own name, for messages.
std::string DataPath(const std::string& name);
std::string DataFolderName();
