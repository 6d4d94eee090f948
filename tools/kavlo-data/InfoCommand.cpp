// `kavlo-data info`: prints what the demo's loaders read from a file or archive entry.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "FileInfo.h"
#include "rar/ArchiveList.h"
#include "rar/ArchiveInternal.h"
#include "rar/ArchiveReader.h"

namespace kavlodata {

namespace {

// Reads a regular file whole; anything else (a directory, a device) is refused.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out, std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = path + " is not a regular file";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    out->clear();
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) out->insert(out->end(), chunk, chunk + n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) *error = "cannot read " + path;
    return !failed;
}

bool ReadArchiveEntry(const std::string& archive, const std::string& entry,
                      const std::string& password, std::vector<unsigned char>* out,
                      std::string* error) {
    void* data = nullptr;
    unsigned long size = 0;
    if (!ArchiveGetFile(&data, &size, entry.c_str(), archive.c_str(), password.c_str())) {
        *error = "cannot extract " + entry + " from " + archive;
        return false;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    out->assign(bytes, bytes + size);
    std::free(data);  // the archive reader's buffer is ours
    return true;
}

}  // namespace

void InfoHelp(std::FILE* out) {
    std::fputs(
        "Usage: kavlo-data info FILE\n"
        "       kavlo-data info [--password=PW] [--debug-log] ARCHIVE.rar ENTRY\n"
        "       kavlo-data info ARCHIVE.rar\n"
        "\n"
        "Prints what the demo's loaders read from a scene or picture: for a .3ds file\n"
        "one line per object block with a triangle mesh,\n"
        "  NAME vertices=N faces=M min=(x,y,z) max=(x,y,z)\n"
        "and for a .jpg or .tga picture its size, channels and whether it becomes a\n"
        "texture (JPEG: square and colour; TGA: uncompressed type 2 or 3, square,\n"
        "24 or 32 bits, complete). The kind comes from the name's extension, or from\n"
        "the first bytes when the extension says nothing.\n"
        "\n"
        "With two arguments, ENTRY is extracted from ARCHIVE through the demo's\n"
        "archive reader first (decrypted with PW where the entry is encrypted);\n"
        "--debug-log has the reader write its debug_unrar.txt (never the password).\n"
        "An archive alone is listed as rarpack l lists it: every entry with its size,\n"
        "packed size and method (m0 stored .. m5; * encrypted), names with control\n"
        "characters escaped (\\n, \\x1b); a damaged header or block is named with its\n"
        "offset on stderr.\n"
        "\n"
        "Exit status: 0 described, 1 unreadable file or entry or damaged archive,\n"
        "2 bad usage.\n",
        out);
}

int InfoMain(int argc, char** argv) {
    std::string password;
    std::vector<std::string> operands;
    bool optionsDone = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsDone && (arg == "-h" || arg == "--help")) {
            InfoHelp(stdout);
            return 0;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg.rfind("--password=", 0) == 0) {
            password = arg.substr(std::strlen("--password="));
        } else if (!optionsDone && arg == "--debug-log") {
            ArchiveSetDebugLog(true);
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "kavlo-data: info: unknown option %s\n", ArchiveEscapeText(arg).c_str());
            InfoHelp(stderr);
            return 2;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.empty() || operands.size() > 2) {
        std::fprintf(stderr, "kavlo-data: info: expected FILE or ARCHIVE ENTRY\n");
        InfoHelp(stderr);
        return 2;
    }

    std::vector<unsigned char> bytes;
    std::string error;
    const std::string& name = operands.back();
    const bool read = operands.size() == 2
                          ? ReadArchiveEntry(operands[0], name, password, &bytes, &error)
                          : ReadWholeFile(name, &bytes, &error);
    if (!read) {
        std::fprintf(stderr, "kavlo-data: %s\n", ArchiveEscapeText(error).c_str());
        return 1;
    }

    ArchiveListing listing;
    std::string notArchive;
    if (operands.size() == 1 && ArchiveList(bytes.data(), bytes.size(), &listing, &notArchive)) {
        std::printf("%s: %s archive, %zu entries\n", ArchiveEscapeText(name).c_str(),
                    listing.solid ? "solid" : "non-solid", listing.entries.size());
        for (const ArchiveListedEntry& e : listing.entries)
            std::printf("%s size=%u packed=%u method=%s\n", ArchiveEscapeText(e.name).c_str(), e.unpacked, e.packed,
                        ArchiveMethodName(e).c_str());
        std::fflush(stdout);
        const std::vector<std::string> problems = ArchiveListingProblems(listing, name);
        for (const std::string& line : problems) std::fprintf(stderr, "kavlo-data: %s\n", line.c_str());
        return problems.empty() ? 0 : 1;
    }

    std::vector<std::string> lines;
    const bool described = DescribeFile(DetectKind(name, bytes), bytes, &lines, &error);
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    if (!described) {
        std::fprintf(stderr, "kavlo-data: %s: %s\n", ArchiveEscapeText(name).c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace kavlodata
