// The subcommands of kavlo-data: each takes the arguments after its own name.
#pragma once

#include <cstdio>

namespace kavlodata {

// A subcommand's entry point: returns the process exit status (0 success, 1 failure,
// 2 bad usage). Messages go to stderr prefixed "kavlo-data: ".
using CommandMain = int (*)(int argc, char** argv);

struct Command {
    const char* name;
    const char* summary;
    CommandMain run;
    void (*help)(std::FILE* out);
};

int InfoMain(int argc, char** argv);
void InfoHelp(std::FILE* out);

int BuildMain(int argc, char** argv);
void BuildHelp(std::FILE* out);

}  // namespace kavlodata
