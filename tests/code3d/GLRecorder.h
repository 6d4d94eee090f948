// Records the GL calls the engine makes, by name and arguments, while still passing
// each one on to the driver. The test program is linked with --wrap for every entry
// point listed in GLRecorder.cpp (see this folder's CMakeLists).
#pragma once

#include <string>
#include <vector>

namespace glrec {

// Clears the log and starts recording.
void Start();
// Stops recording and returns the calls, e.g. "glEnable(2884)", "glRotatef(10,1,0,0)".
std::vector<std::string> Stop();
// Appends one entry while recording (used by the test's own function pointers).
void Record(const std::string& call);
// The spelling the recorder uses for a pointer argument.
std::string Ptr(const void* p);
// Number of entries in `calls` that start with `prefix`.
int Count(const std::vector<std::string>& calls, const std::string& prefix);

}  // namespace glrec
