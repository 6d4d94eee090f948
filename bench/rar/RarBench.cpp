// Archive benchmark: decode throughput of ArchiveGetFile against unar on the same
// archives (LZ-heavy and multimedia-heavy); whole-archive extraction and testing by
// the rarpack process against unar (a solid archive of 400 and of 4,000 text files, a
// mixed text and binary archive), optionally beside an older rarpack; and rarpack -m5
// sizes against gzip -9.
//
// usage: rar_bench [--mb N] [--reps N] [--keep DIR] [--file PATH]... [--before RARPACK]
//                  [--big-before] [--no-tools]
// Needs unar and gzip on PATH for the peer columns (prints "n/a" without them).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "RarWriter.h"
#include "rar/ArchiveInternal.h"
#include "rar/ArchiveReader.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

std::vector<uint8_t> LzHeavy(size_t n, uint32_t seed = 1) {
    static const char* words[] = {"scene ", "torus ", "vertex ", "normal ", "texture ", "camera ",
                                  "material ", "\n", "0.125 ", "-1.5 ", "beam ", "spiral "};
    std::vector<uint8_t> s;
    s.reserve(n);
    while (s.size() < n) {
        seed = seed * 1664525u + 1013904223u;
        const char* w = words[(seed >> 24) % 12];
        s.insert(s.end(), w, w + strlen(w));
    }
    s.resize(n);
    return s;
}

std::vector<uint8_t> MultimediaHeavy(size_t n) {
    // Raw RGB pictures: smooth gradients with a little noise, as textures are.
    std::vector<uint8_t> s;
    s.reserve(n);
    uint32_t seed = 2;
    const int w = 512;
    for (size_t i = 0; s.size() < n; ++i) {
        int x = static_cast<int>(i % w), y = static_cast<int>(i / w);
        seed = seed * 1664525u + 1013904223u;
        int noise = static_cast<int>(seed >> 30);
        s.push_back(static_cast<uint8_t>(128 + 100 * std::sin(x / 40.0 + y / 90.0) + noise));
        s.push_back(static_cast<uint8_t>((x + 2 * y) / 6 + noise));
        s.push_back(static_cast<uint8_t>(200 - y / 8 + noise));
    }
    s.resize(n);
    return s;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& b) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}

bool Have(const char* tool) {
    std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

struct Case {
    const char* label;
    std::vector<uint8_t> data;
    bool multimedia;
};

// Wall time of a shell command, best of `reps` runs (`prepare` runs untimed before
// each); negative when it fails.
double TimeCommand(const std::string& cmd, const std::string& prepare, int reps) {
    double best = 1e30;
    for (int r = 0; r < reps; ++r) {
        if (!prepare.empty() && system(prepare.c_str()) != 0) return -1;
        auto t0 = Clock::now();
        int rc = system((cmd + " >/dev/null 2>&1").c_str());
        auto t1 = Clock::now();
        if (rc != 0) return -1;
        best = std::min(best, Seconds(t0, t1));
    }
    return best;
}

std::vector<uint8_t> Binary(size_t n, uint32_t seed) {
    // Bytes with short repeats, as compiled code and packed tables have.
    std::vector<uint8_t> s;
    s.reserve(n);
    while (s.size() < n) {
        seed = seed * 1103515245u + 12345u;
        if ((seed & 0x30000) == 0x30000 && s.size() > 300) {
            size_t back = 1 + (seed >> 20) % 300, len = 4 + (seed >> 8) % 12;
            for (size_t i = 0; i < len; ++i) s.push_back(s[s.size() - back]);
        } else {
            s.push_back(static_cast<uint8_t>(seed >> 24));
        }
    }
    s.resize(n);
    return s;
}

struct ToolCase {
    std::string label;
    std::string archive;
    double mb;
};

// rarpack x and t against unar on whole archives.
int RunTools(const std::string& dir, int reps, const std::string& before, bool bigBefore, bool unar) {
    const std::string rarpack = RARPACK_TOOL;
    std::vector<ToolCase> cases;
    for (int files : {400, 4000}) {
        std::string src = dir + "/text" + std::to_string(files);
        mkdir(src.c_str(), 0755);
        rarpack::ArchiveOptions ao;
        ao.solid = true;
        rarpack::RarWriter w(ao);
        size_t total = 0;
        for (int i = 0; i < files; ++i) {
            std::vector<uint8_t> text = LzHeavy(29250 + 97 * (i % 3), 1000u + static_cast<uint32_t>(i));
            char name[32];
            snprintf(name, sizeof name, "doc%04d.txt", i);
            w.Add(std::string("text/") + name, text.data(), text.size(), rarpack::EntryOptions());
            total += text.size();
        }
        fprintf(stderr, "rar_bench: packing %d text files (solid -m3)...\n", files);
        std::string archive = dir + "/text" + std::to_string(files) + ".rar", error;
        if (!w.WriteFile(archive, &error)) {
            fprintf(stderr, "rar_bench: %s\n", error.c_str());
            return 1;
        }
        cases.push_back({std::to_string(files) + " text, solid", archive, total / 1048576.0});
    }
    {
        rarpack::RarWriter w;
        size_t total = 0;
        for (int i = 0; i < 10; ++i) {
            std::vector<uint8_t> text = LzHeavy(524288 + 1000 * i, 50u + i), bin = Binary(524288 + 777 * i, 7u + i);
            w.Add("mixed/text" + std::to_string(i) + ".txt", text.data(), text.size(), rarpack::EntryOptions());
            w.Add("mixed/data" + std::to_string(i) + ".bin", bin.data(), bin.size(), rarpack::EntryOptions());
            total += text.size() + bin.size();
        }
        fprintf(stderr, "rar_bench: packing the mixed archive (-m3)...\n");
        std::string archive = dir + "/mixed.rar", error;
        if (!w.WriteFile(archive, &error)) return 1;
        cases.push_back({"text+binary", archive, total / 1048576.0});
    }
    printf("%-18s %7s %6s %10s %10s %8s", "whole archive", "MB", "cmd", "rarpack s", "unar s", "unar/ours");
    if (!before.empty()) printf(" %10s %12s", "before s", "before/ours");
    printf("\n");
    const std::string out = dir + "/out";
    double first = 0;
    for (size_t c = 0; c < cases.size(); ++c) {
        const ToolCase& k = cases[c];
        for (const char* cmd : {"x", "t"}) {
            fprintf(stderr, "rar_bench: %s %s...\n", cmd, k.label.c_str());
            const std::string clean = "rm -rf '" + out + "'";
            const bool x = cmd[0] == 'x';
            auto ours = [&](const std::string& tool) {
                return TimeCommand("'" + tool + "' " + cmd + " '" + k.archive + "'" + (x ? " -o '" + out + "'" : ""),
                                   clean, reps);
            };
            double mine = ours(rarpack);
            double peer = -1;
            if (unar)
                peer = TimeCommand(x ? "unar -q -D -o '" + out + "' '" + k.archive + "'"
                                     : "lsar -t '" + k.archive + "'",
                                   clean, reps);
            char peerText[32] = "n/a", ratioText[32] = "n/a";
            if (peer > 0 && mine > 0) {
                snprintf(peerText, sizeof peerText, "%.3f", peer);
                snprintf(ratioText, sizeof ratioText, "%.2f", peer / mine);
            }
            printf("%-18s %7.1f %6s %10.3f %10s %8s", k.label.c_str(), k.mb, cmd, mine, peerText, ratioText);
            if (!before.empty()) {
                if (c == 1 && !bigBefore) {
                    printf(" %10s %12s", "skipped", "-");
                } else {
                    double old = ours(before);
                    printf(" %10.3f %12.2f", old, old / mine);
                }
            }
            printf("\n");
            if (c == 0 && x) first = mine;
            if (c == 1 && x && first > 0) printf("%-18s %7s %6s %10.2f (4,000 files against 400)\n", "", "", "ratio", mine / first);
            fflush(stdout);
        }
    }
    printf("(processes, best of %d; t against lsar -t)\n\n", reps);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    size_t mb = 8;
    int reps = 3;
    std::string keep;
    std::vector<std::string> files;
    std::string before;
    bool bigBefore = false, tools = true;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help")) {
            printf("usage: rar_bench [--mb N] [--reps N] [--keep DIR] [--file PATH]... [--before RARPACK]\n"
                   "                 [--big-before] [--no-tools]\n"
                   "Packs an LZ-heavy and a multimedia-heavy input of N MB (default 8), decodes each\n"
                   "archive with ArchiveGetFile and with unar (best of --reps runs, default 3) and\n"
                   "prints MB/s and the ratio. Then times rarpack x and t as processes against unar\n"
                   "and lsar -t on a solid archive of 400 and of 4,000 text files and on a mixed\n"
                   "text and binary archive, and beside an older rarpack with --before (its 4,000-file\n"
                   "runs only with --big-before). Last, compares rarpack -m5 sizes with gzip -9, also\n"
                   "on each --file (packed with -mm).\n");
            return 0;
        } else if (!strcmp(argv[i], "--before") && i + 1 < argc) {
            before = argv[++i];
        } else if (!strcmp(argv[i], "--big-before")) {
            bigBefore = true;
        } else if (!strcmp(argv[i], "--no-tools")) {
            tools = false;
        } else if (!strcmp(argv[i], "--mb") && i + 1 < argc) {
            mb = static_cast<size_t>(atoi(argv[++i]));
        } else if (!strcmp(argv[i], "--reps") && i + 1 < argc) {
            reps = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--file") && i + 1 < argc) {
            files.push_back(argv[++i]);
        } else if (!strcmp(argv[i], "--keep") && i + 1 < argc) {
            keep = argv[++i];
        } else {
            fprintf(stderr, "rar_bench: unknown argument %s (see --help)\n", argv[i]);
            return 2;
        }
    }
    if (mb == 0 || mb > 512 || reps < 1) {
        fprintf(stderr, "rar_bench: --mb must be 1..512 and --reps at least 1\n");
        return 2;
    }
    char tmpl[] = "/tmp/rar_bench.XXXXXX";
    std::string dir = keep.empty() ? std::string(mkdtemp(tmpl) ? tmpl : "") : keep;
    if (dir.empty()) {
        fprintf(stderr, "rar_bench: cannot create a temporary folder\n");
        return 1;
    }
    mkdir(dir.c_str(), 0755);
    ArchiveSetDebugLog(false);
    const bool unar = Have("unar"), gzip = Have("gzip");

    std::vector<Case> cases;
    cases.push_back({"lz-heavy (text)", LzHeavy(mb << 20), false});
    cases.push_back({"multimedia (RGB)", MultimediaHeavy(mb << 20), true});

    printf("%-18s %10s %12s %12s %12s %8s\n", "input", "MB", "packed -m3", "ours MB/s", "unar MB/s",
           "ours/unar");
    for (size_t c = 0; c < cases.size(); ++c) {
        Case& k = cases[c];
        fprintf(stderr, "rar_bench: packing %s...\n", k.label);
        rarpack::RarWriter w;
        rarpack::EntryOptions o;
        o.method = 3;
        o.multimedia = k.multimedia;
        w.Add("data.bin", k.data.data(), k.data.size(), o);
        std::string archive = dir + "/case" + std::to_string(c) + ".rar";
        std::string error;
        if (!w.WriteFile(archive, &error)) {
            fprintf(stderr, "rar_bench: %s\n", error.c_str());
            return 1;
        }
        double mbytes = k.data.size() / 1048576.0;
        fprintf(stderr, "rar_bench: decoding %s...\n", k.label);
        double best = 1e30;
        for (int r = 0; r < reps; ++r) {
            void* p = nullptr;
            unsigned long size = 0;
            auto t0 = Clock::now();
            int ok = ArchiveGetFile(&p, &size, "data.bin", archive.c_str(), "");
            auto t1 = Clock::now();
            if (!ok || size != k.data.size() || memcmp(p, k.data.data(), size) != 0) {
                fprintf(stderr, "rar_bench: our decode of %s failed\n", k.label);
                return 1;
            }
            free(p);
            best = std::min(best, Seconds(t0, t1));
        }
        double ours = mbytes / best;
        double peer = 0;
        if (unar) {
            double bestPeer = 1e30;
            std::string out = dir + "/unar" + std::to_string(c);
            for (int r = 0; r < reps; ++r) {
                std::string cmd = "rm -rf '" + out + "' && unar -q -D -o '" + out + "' '" + archive + "' >/dev/null 2>&1";
                auto t0 = Clock::now();
                int rc = system(cmd.c_str());
                auto t1 = Clock::now();
                if (rc != 0 || FileSize(out + "/data.bin") != static_cast<long>(k.data.size())) {
                    fprintf(stderr, "rar_bench: unar failed on %s\n", k.label);
                    bestPeer = 0;
                    break;
                }
                bestPeer = std::min(bestPeer, Seconds(t0, t1));
            }
            if (bestPeer > 0) peer = mbytes / bestPeer;
        }
        char peerText[32] = "n/a", ratioText[32] = "n/a";
        if (peer > 0) {
            snprintf(peerText, sizeof peerText, "%.1f", peer);
            snprintf(ratioText, sizeof ratioText, "%.2f", ours / peer);
        }
        printf("%-18s %10.1f %12ld %12.1f %12s %8s\n", k.label, mbytes, FileSize(archive), ours, peerText,
               ratioText);
    }
    printf("(unar times include its process start; decode of one %zu MB entry, best of %d)\n\n", mb, reps);
    if (tools && RunTools(dir, reps, before, bigBefore, unar) != 0) return 1;

    for (const std::string& f : files) {
        Case k{f.c_str(), {}, true};
        FILE* in = fopen(f.c_str(), "rb");
        if (!in) {
            fprintf(stderr, "rar_bench: cannot read %s\n", f.c_str());
            return 1;
        }
        int ch;
        while ((ch = fgetc(in)) != EOF) k.data.push_back(static_cast<uint8_t>(ch));
        fclose(in);
        cases.push_back(std::move(k));
    }
    printf("%-18s %12s %12s %12s %8s\n", "input", "bytes", "rarpack -m5", "gzip -9", "rar/gzip");
    for (size_t c = 0; c < cases.size(); ++c) {
        Case& k = cases[c];
        fprintf(stderr, "rar_bench: packing %s at -m5...\n", k.label);
        rarpack::RarWriter w;
        rarpack::EntryOptions o;
        o.method = 5;
        o.multimedia = k.multimedia;
        w.Add("data.bin", k.data.data(), k.data.size(), o);
        std::string archive = dir + "/m5_" + std::to_string(c) + ".rar";
        std::string error;
        if (!w.WriteFile(archive, &error)) return 1;
        long gz = -1;
        if (gzip) {
            std::string raw = dir + "/raw" + std::to_string(c);
            WriteFile(raw, k.data);
            std::string cmd = "gzip -9 -c '" + raw + "' > '" + raw + ".gz'";
            if (system(cmd.c_str()) == 0) gz = FileSize(raw + ".gz");
        }
        char gzText[32] = "n/a", ratioText[32] = "n/a";
        if (gz > 0) {
            snprintf(gzText, sizeof gzText, "%ld", gz);
            snprintf(ratioText, sizeof ratioText, "%.3f", static_cast<double>(FileSize(archive)) / gz);
        }
        printf("%-18s %12zu %12ld %12s %8s\n", k.label, k.data.size(), FileSize(archive), gzText, ratioText);
    }
    if (keep.empty()) {
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "rar_bench: could not remove %s\n", dir.c_str());
    }
    return 0;
}
