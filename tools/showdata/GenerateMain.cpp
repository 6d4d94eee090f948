// kavlo-showdata: writes the default show data (megadata.rar, musik.xm) into a folder.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "ShowData.h"

namespace {

void Usage(std::FILE* out) {
    std::fputs("Usage: kavlo-showdata [--preview DIR] [--quiet] OUTDIR\n"
               "Writes megadata.rar and musik.xm, the default show data, into OUTDIR.\n\n"
               "  --preview DIR  also write a PNG copy of every picture into DIR\n"
               "  --quiet        no progress lines on stderr\n"
               "  -h, --help     this text\n",
               out);
}

}  // namespace

int main(int argc, char** argv) {
    showdata::BuildOptions options;
    bool quiet = false;
    const char* outDir = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            Usage(stdout);
            return 0;
        } else if (!std::strcmp(argv[i], "--quiet")) {
            quiet = true;
        } else if (!std::strcmp(argv[i], "--preview")) {
            if (i + 1 >= argc) {
                std::fputs("kavlo-showdata: --preview needs a folder\n", stderr);
                return 2;
            }
            options.previewDir = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "kavlo-showdata: unknown option '%s'\n", argv[i]);
            Usage(stderr);
            return 2;
        } else if (!outDir) {
            outDir = argv[i];
        } else {
            std::fputs("kavlo-showdata: only one output folder\n", stderr);
            return 2;
        }
    }
    if (!outDir) {
        Usage(stderr);
        return 2;
    }
    if (!quiet) options.progress = [](const std::string& s) { std::fprintf(stderr, "kavlo-showdata: %s\n", s.c_str()); };
    auto start = std::chrono::steady_clock::now();
    showdata::ShowData data;
    std::string error;
    if (!showdata::BuildShowData(options, &data, &error) ||
        !showdata::WriteShowData(data, outDir, &error)) {
        std::fprintf(stderr, "kavlo-showdata: %s\n", error.c_str());
        return 1;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!quiet)
        std::fprintf(stderr, "kavlo-showdata: wrote %s (%zu bytes, %zu entries) and %s (%zu bytes) in %.1f s\n",
                     showdata::kArchiveName, data.archive.size(), data.entries.size(),
                     showdata::kMusicName, data.music.size(), seconds);
    return 0;
}
