// kavlo-data: tools around the demo's data, one subcommand each.
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "rar/ArchiveInternal.h"

namespace {

const kavlodata::Command kCommands[] = {
    {"info", "print what the demo's loaders read from a .3ds, .jpg or .tga file",
     kavlodata::InfoMain, kavlodata::InfoHelp},
#ifdef KAVLO_DATA_BUILD
    {"build", "write the default show data (megadata.rar, musik.xm) into a folder",
     kavlodata::BuildMain, kavlodata::BuildHelp},
#endif
};

void Usage(std::FILE* out) {
    std::fputs("Usage: kavlo-data COMMAND [ARGS...]\n"
               "       kavlo-data help COMMAND\n\nCommands:\n",
               out);
    for (const kavlodata::Command& c : kCommands) std::fprintf(out, "  %-6s %s\n", c.name, c.summary);
    std::fputs("\nRun 'kavlo-data COMMAND --help' for a command's arguments.\n", out);
}

const kavlodata::Command* Find(const char* name) {
    for (const kavlodata::Command& c : kCommands)
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // The archive reader's debug log only when asked for (info --debug-log).
    ArchiveSetDebugLog(false);
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    const char* first = argv[1];
    if (std::strcmp(first, "-h") == 0 || std::strcmp(first, "--help") == 0) {
        Usage(stdout);
        return 0;
    }
    if (std::strcmp(first, "help") == 0) {
        if (argc < 3) {
            Usage(stdout);
            return 0;
        }
        const kavlodata::Command* c = Find(argv[2]);
        if (!c) {
            std::fprintf(stderr, "kavlo-data: unknown command '%s'\n", argv[2]);
            return 2;
        }
        c->help(stdout);
        return 0;
    }
    const kavlodata::Command* c = Find(first);
    if (!c) {
        std::fprintf(stderr, "kavlo-data: unknown command '%s'\n", first);
        Usage(stderr);
        return 2;
    }
    return c->run(argc - 2, argv + 2);
}
