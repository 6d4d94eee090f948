// rarpack: creates, lists, tests and extracts RAR 2.0 archives; extraction and testing
// go through the system's own archive reader.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "ExtractPaths.h"
#include "RarWriter.h"
#include "rar/ArchiveInternal.h"
#include "rar/ArchiveList.h"
#include "rar/ArchiveReader.h"
#include "rar/RarState.h"
#include "platform/files/Files.h"
#include "platform/process/Process.h"

// Paths are UTF-8 in std::string on every platform: fs::u8path and u8string() say so to
// Windows' std::filesystem, which otherwise reads narrow names in another code page.
namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: rarpack a [-s] [-m0..-m5] [-mm] [-p PASSWORD] ARCHIVE FILE...\n"
    "       rarpack l ARCHIVE\n"
    "       rarpack t [-v] [-p PASSWORD] ARCHIVE\n"
    "       rarpack x [-v] [-p PASSWORD] ARCHIVE [NAME...] [-o DIR]\n"
    "\n"
    "  a    add FILEs (directories recursively) to a new ARCHIVE\n"
    "  l    list the entries of ARCHIVE\n"
    "  t    test every entry's CRC-32\n"
    "  x    extract all entries, or the NAMEs given, into DIR (default: .)\n"
    "       (both read the archive once, front to back, each entry whole into memory,\n"
    "       at most 1 GB an entry; a progress line on stderr for archives over 8 MB)\n"
    "\n"
    "  l, t and x stop at the archive's end block and ignore what follows it. An entry\n"
    "  whose header CRC is wrong fails; other damage (a block of unknown type, a header\n"
    "  CRC that does not match) ends the reading, named with its offset; either gives\n"
    "  exit status 1. Names are shown with control characters escaped (\\n, \\x1b).\n"
    "  t tests every entry, also one that repeats an earlier name. x writes each entry\n"
    "  below DIR (a leading drive or '/' dropped) and refuses, with exit status 1, a\n"
    "  name holding \"..\" or ':', a name over 259 bytes, and an entry whose path an\n"
    "  earlier entry was written to (ASCII case and trailing dots ignored).\n"
    "\n"
    "  -s          solid archive (entries continue each other's dictionary)\n"
    "  -m0         store only; -m1 .. -m5 compression effort (default -m3)\n"
    "  -mm         allow the multimedia mode where it compresses better\n"
    "  -p PASSWORD encrypt / decrypt with the RAR 2.0 cipher\n"
    "  -o DIR      extraction folder\n"
    "  -v          t, x: a line for every entry; t also names the entries the show's\n"
    "              own loader would not reach (it stops at a sub-block ahead of them, or\n"
    "              finds an earlier entry of the same name)\n"
    "  --debug-log write the archive reader's debug_unrar.txt (never the password)\n"
    "  --help      this text\n";

int Fail(const std::string& message) {
    fprintf(stderr, "rarpack: %s\n", ArchiveEscapeText(message).c_str());
    return 1;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out->clear();
    uint8_t buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

uint32_t DosTime(const std::string& path) {
    time_t t;
    if (!platform::ModifiedTime(path, &t)) return 0x00210000u;
    struct tm tmv;
    if (!localtime_r(&t, &tmv) || tmv.tm_year < 80) return 0x00210000u;
    return static_cast<uint32_t>(((tmv.tm_year - 80) << 25) | ((tmv.tm_mon + 1) << 21) |
                                 (tmv.tm_mday << 16) | (tmv.tm_hour << 11) | (tmv.tm_min << 5) |
                                 (tmv.tm_sec / 2));
}

std::string EntryName(std::string path) {
    while (path.rfind("./", 0) == 0) path.erase(0, 2);
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
    return path;
}

int CmdAdd(int argc, char** argv) {
    rarpack::ArchiveOptions aopt;
    rarpack::EntryOptions eopt;
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-s") aopt.solid = true;
        else if (a.size() == 3 && a.rfind("-m", 0) == 0 && a[2] >= '0' && a[2] <= '5') eopt.method = a[2] - '0';
        else if (a == "-mm") eopt.multimedia = true;
        else if (a == "-p") {
            if (i + 1 >= argc) return Fail("-p needs a password");
            eopt.password = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') return Fail("unknown option " + a + " (see --help)");
        else args.push_back(a);
    }
    if (args.size() < 2) return Fail("a needs an archive and at least one file (see --help)");
    if (eopt.password.size() > 255) return Fail("password longer than 255 characters");
    const std::string archive = args[0];
    struct Input {
        std::string path, name;
    };
    std::vector<Input> inputs;
    for (size_t i = 1; i < args.size(); ++i) {
        std::error_code ec;
        const fs::path p = fs::u8path(args[i]);
        if (fs::is_directory(p, ec)) {
            std::vector<Input> found;
            for (fs::recursive_directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec))
                if (it->is_regular_file(ec))
                    found.push_back({it->path().u8string(), EntryName(it->path().generic_u8string())});
            if (ec) return Fail("cannot read folder " + args[i] + ": " + ec.message());
            std::sort(found.begin(), found.end(), [](const Input& a, const Input& b) { return a.name < b.name; });
            inputs.insert(inputs.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(p, ec)) {
            inputs.push_back({args[i], EntryName(p.generic_u8string())});
        } else {
            return Fail("no such file: " + args[i]);
        }
    }
    uint64_t total = 0;
    for (const Input& in : inputs) {
        std::error_code ec;
        total += fs::file_size(fs::u8path(in.path), ec);
    }
    const bool showProgress = total > (8u << 20);
    int lastPercent = -1;
    aopt.progress = [&](uint64_t done, uint64_t all) {
        if (!showProgress || all == 0) return;
        int percent = static_cast<int>(done * 100 / all);
        if (percent / 5 != lastPercent / 5) {
            fprintf(stderr, "rarpack: packing %3d%% (%llu of %llu bytes)\n", percent,
                    static_cast<unsigned long long>(done), static_cast<unsigned long long>(all));
            lastPercent = percent;
        }
    };
    rarpack::RarWriter writer(aopt);
    for (const Input& in : inputs) {
        std::vector<uint8_t> data;
        if (!ReadWholeFile(in.path, &data)) return Fail("cannot read " + in.path);
        writer.Add(in.name, data.data(), data.size(), eopt, DosTime(in.path));
    }
    std::string error;
    if (!writer.WriteFile(archive, &error)) return Fail(error);
    return 0;
}

int CmdList(int argc, char** argv) {
    if (argc != 1) return Fail("l needs exactly one archive (see --help)");
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(argv[0], &bytes)) return Fail(std::string("cannot read ") + argv[0]);
    ArchiveListing listing;
    std::string error;
    if (!ArchiveList(bytes.data(), bytes.size(), &listing, &error)) return Fail(std::string(argv[0]) + ": " + error);
    printf("Archive %s%s\n", ArchiveEscapeText(argv[0]).c_str(), listing.solid ? " (solid)" : "");
    printf("%12s %12s  %-6s %-8s %s\n", "Size", "Packed", "Method", "CRC32", "Name");
    for (const ArchiveListedEntry& e : listing.entries)
        printf("%12u %12u  %-6s %08X %s\n", e.unpacked, e.packed, ArchiveMethodName(e).c_str(), e.crc,
               ArchiveEscapeText(e.name).c_str());
    printf("%zu entries\n", listing.entries.size());
    fflush(stdout);
    const std::vector<std::string> problems = ArchiveListingProblems(listing, argv[0]);
    for (const std::string& line : problems) fprintf(stderr, "rarpack: %s\n", line.c_str());
    return problems.empty() ? 0 : 1;
}

// A stored name as this platform writes paths: '\' and '/' both become its separator.
std::string DisplayName(const char* stored) {
    std::string s = stored;
    for (char& ch : s)
        if (ch == '\\' || ch == '/') ch = static_cast<char>(fs::path::preferred_separator);
    return ArchiveEscapeText(s);
}

// Two names are the same entry (ArchiveNamesMatch) exactly when their keys are equal.
std::string NameKey(const char* name) {
    std::string s = name;
    for (char& ch : s) {
        if (ch == '\\' || ch == '/') ch = '_';
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return s;
}

// Extraction and testing: one walk over the archive, each entry unpacked once.
class ExtractVisitor : public ArchiveVisitor {
public:
    ExtractVisitor(bool extract, bool verbose, bool password, std::string outDir, std::vector<std::string> names,
                   uint64_t archiveBytes)
        : extract_(extract), verbose_(verbose), password_(password), outDir_(std::move(outDir)),
          names_(std::move(names)), found_(names_.size(), false), archiveBytes_(archiveBytes) {}

    bool Wants(const ArchiveEntryInfo& e) override {
        Progress(e.packedSize);
        bool wanted = names_.empty();
        for (size_t i = 0; i < names_.size(); ++i) {
            if (ArchiveNamesMatch(names_[i].c_str(), e.name)) {
                wanted = !found_[i];  // the first entry of a name, as ArchiveGetFile
                found_[i] = true;
            }
        }
        return wanted && (!extract_ || PlanOutput(e));
    }

    bool Take(const ArchiveEntryInfo& e, const uint8_t* data, unsigned long size, bool ok) override {
        if (!e.headerOk) Progress(e.packedSize);  // met without Wants
        ++entries_;
        const std::string name = DisplayName(e.name);
        if (!ok) {
            fprintf(stderr, "rarpack: %s: failed (%s)\n", name.c_str(), Reason(e).c_str());
            ++failures_;
            return true;
        }
        if (!extract_) {
            // Every entry is tested; the notes say which ones the show's loader never reaches.
            const bool repeat = !seen_.insert(NameKey(e.name)).second;
            if (!verbose_) return true;
            if (e.subBlockAhead)
                printf("OK   %s (the show's loader stops at the sub-block at offset %llu before it)\n", name.c_str(),
                       static_cast<unsigned long long>(e.subBlockAhead));
            else if (repeat)
                printf("OK   %s (same name as an earlier entry: the show's loader gets that one)\n", name.c_str());
            else
                printf("OK   %s\n", name.c_str());
            return true;
        }
        fs::path dest = fs::u8path(outDir_) / rel_;
        std::error_code ec;
        if (dest.has_parent_path() && dest.parent_path() != lastFolder_) {  // entries come folder by folder
            fs::create_directories(dest.parent_path(), ec);
            lastFolder_ = dest.parent_path();
        }
        FILE* f = fopen(dest.u8string().c_str(), "wb");
        bool written = f && fwrite(data, 1, size, f) == size;
        if (f) written = fclose(f) == 0 && written;
        if (!written) {
            fprintf(stderr, "rarpack: cannot write %s\n", ArchiveEscapeText(dest.u8string()).c_str());
            ++failures_;
            return true;
        }
        paths_.Written(rel_, name);
        if (verbose_) printf("%s\n", ArchiveEscapeText(dest.u8string()).c_str());
        return true;
    }

    void Damaged(const char* what, uint64_t offset) override {
        fprintf(stderr, "rarpack: %s: damaged: %s\n", archive_.c_str(), ArchiveDamageText(what, offset).c_str());
    }

    // Names asked for that no entry had; each counts as a failure.
    int ReportMissing() {
        int missing = 0;
        for (size_t i = 0; i < names_.size(); ++i) {
            if (found_[i]) continue;
            fprintf(stderr, "rarpack: %s: not in the archive\n", ArchiveEscapeText(names_[i]).c_str());
            ++missing;
        }
        return missing;
    }

    void EndProgress() {
        if (lastPercent_ >= 0 && lastPercent_ < 100) Progress(0, true);
    }

    int failures() const { return failures_; }
    int entries() const { return entries_; }
    void SetArchive(const std::string& archive) { archive_ = ArchiveEscapeText(archive); }

private:
    // Where an entry is to be written (rel_), or a message and a failure when it cannot
    // be written without losing it or another entry.
    bool PlanOutput(const ArchiveEntryInfo& e) {
        std::string refusal;
        if (paths_.Plan(e.name, e.nameSize, &rel_, &refusal)) return true;
        fprintf(stderr, "rarpack: %s: %s, not extracted\n", DisplayName(e.name).c_str(), refusal.c_str());
        ++entries_;
        ++failures_;
        return false;
    }

    std::string Reason(const ArchiveEntryInfo& e) const {
        char text[120];
        if (!e.headerOk)
            snprintf(text, sizeof text, "damaged header at offset %llu", static_cast<unsigned long long>(e.offset));
        else if (e.chainBroken)
            snprintf(text, sizeof text, "an earlier entry of the solid chain failed");
        else if (e.unpackedSize > kArchiveEntryLimit)
            snprintf(text, sizeof text, "over the reader's 1 GB limit for one entry");
        else if (e.version < 13 || e.version > 20)
            snprintf(text, sizeof text, "unpack version %u: the reader takes 13 to 20", e.version);
        else if ((e.flags & 4) && !password_)
            snprintf(text, sizeof text, "encrypted: give the password with -p");
        else if (e.flags & 4)
            snprintf(text, sizeof text, "CRC error: wrong password?");
        else
            snprintf(text, sizeof text, "missing or corrupt entry");
        return text;
    }

    // A line every 5% of the archive's bytes, for archives of more than 8 MB.
    void Progress(uint64_t packed, bool end = false) {
        done_ += packed;
        if (archiveBytes_ <= (8u << 20)) return;
        uint64_t done = end ? archiveBytes_ : std::min(done_, archiveBytes_);
        int percent = static_cast<int>(done * 100 / archiveBytes_);
        if (percent / 5 == lastPercent_ / 5 && !end) return;
        fprintf(stderr, "rarpack: %s %3d%% (%llu of %llu bytes)\n", extract_ ? "extracting" : "testing",
                percent, static_cast<unsigned long long>(done),
                static_cast<unsigned long long>(archiveBytes_));
        lastPercent_ = percent;
    }

    bool extract_, verbose_, password_;
    std::string archive_;
    std::string outDir_;
    std::vector<std::string> names_;
    std::vector<bool> found_;
    std::set<std::string> seen_;                 // t: NameKey of the entries tested
    rarpack::ExtractPaths paths_;                // x: the paths written
    fs::path rel_;                               // x: where the entry just wanted goes
    fs::path lastFolder_;
    uint64_t archiveBytes_;
    uint64_t done_ = 0;
    int lastPercent_ = -1;
    int failures_ = 0;
    int entries_ = 0;
};

int CmdExtractOrTest(int argc, char** argv, bool extract) {
    std::string password, outDir = ".", archive;
    std::vector<std::string> names;
    bool verbose = false;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-p" || (extract && a == "-o")) {
            if (i + 1 >= argc) return Fail(a + " needs a value");
            (a == "-p" ? password : outDir) = argv[++i];
        } else if (a == "-v") {
            verbose = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Fail("unknown option " + a + " (see --help)");
        } else if (archive.empty()) {
            archive = a;
        } else if (extract) {
            names.push_back(a);
        } else {
            return Fail("t takes no entry names");
        }
    }
    if (archive.empty()) return Fail("missing archive (see --help)");
    if (password.size() > 255) return Fail("password longer than 255 characters");
    std::error_code ec;
    const uint64_t bytes = fs::file_size(fs::u8path(archive), ec);
    if (ec) return Fail("cannot read " + archive);
    ExtractVisitor visitor(extract, verbose, !password.empty(), outDir, names, bytes);
    visitor.SetArchive(archive);
    const ArchiveWalkResult result = ArchiveWalk(archive.c_str(), password.c_str(), visitor);
    visitor.EndProgress();
    switch (result) {
        case ArchiveWalkResult::kComplete:
        case ArchiveWalkResult::kStopped:
            break;
        case ArchiveWalkResult::kCannotOpen:
            return Fail("cannot read " + archive);
        case ArchiveWalkResult::kNotRar:
            return Fail(archive + ": not a RAR archive");
        case ArchiveWalkResult::kNoMemory:
            return Fail("out of memory");
        case ArchiveWalkResult::kBusy:
            return Fail("the archive reader is already in use");
        case ArchiveWalkResult::kDamaged:  // the visitor has said what and where
        case ArchiveWalkResult::kCutShort:
            break;
    }
    const int missing = visitor.ReportMissing();
    const bool cut = result == ArchiveWalkResult::kDamaged || result == ArchiveWalkResult::kCutShort;
    if (visitor.failures() || cut)
        fprintf(stderr, "rarpack: %d of %d entries failed%s\n", visitor.failures(), visitor.entries(),
                result == ArchiveWalkResult::kCutShort ? ", archive cut short"
                : cut                                  ? ", archive damaged"
                                                       : "");
    if (visitor.failures() || missing || cut) return 1;
    if (!extract) printf("%d entries OK\n", visitor.entries());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // File names in any language: the command line in UTF-8.
    std::vector<std::string> utf8 = platform::Utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& arg : utf8) utf8Argv.push_back(&arg[0]);
    if (!utf8Argv.empty()) {
        argc = static_cast<int>(utf8Argv.size());
        argv = utf8Argv.data();
    }
    std::vector<char*> args;
    bool debugLog = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            fputs(kUsage, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--debug-log")) debugLog = true;
        else args.push_back(argv[i]);
    }
    if (args.empty()) {
        fputs(kUsage, stderr);
        return 2;
    }
    ArchiveSetDebugLog(debugLog);
    std::string cmd = args[0];
    int n = static_cast<int>(args.size()) - 1;
    char** rest = args.data() + 1;
    if (cmd == "a") return CmdAdd(n, rest);
    if (cmd == "l") return CmdList(n, rest);
    if (cmd == "t") return CmdExtractOrTest(n, rest, false);
    if (cmd == "x") return CmdExtractOrTest(n, rest, true);
    fprintf(stderr, "rarpack: unknown command '%s'\n%s", cmd.c_str(), kUsage);
    return 2;
}
