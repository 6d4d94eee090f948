// Measurements for the desktop checks (tests/app/desktop/*.sh), printed as "name value"
// lines and judged by their exit status:
//   desktop-check picture SHOT.png [--bars]
//       the screenshot shows the show: not one flat colour; with --bars, a 4:3 picture
//       centred between black side bars
//   desktop-check clock FILE SECONDS FRAME_BYTES RATE
//       watches a raw recording grow and prints the wall time (s since the epoch) of
//       its first frame, fitted from the earliest arrivals, since a recorder's first
//       samples come some hundreds of ms after it starts
//   desktop-check sound REC.raw RATE REF.wav [FRAME0 LAUNCHED]
//       aligns a 16-bit stereo recording on the reference's first note after silence,
//       then compares each 4 s window (normalised correlation >= 0.9); with the clock
//       and the launch time, prints how long the first note took
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

double WallSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// ------------------------------------------------------------------- pictures

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    int Luma(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
    }
};

bool ReadPng(const char* path, Picture* picture) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return false;
    image.format = PNG_FORMAT_RGB;
    picture->width = static_cast<int>(image.width);
    picture->height = static_cast<int>(image.height);
    picture->rgb.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, picture->rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// A column is black when no pixel in it is brighter than a little noise.
bool BlackColumn(const Picture& p, int x) {
    for (int y = 0; y < p.height; ++y)
        if (p.Luma(x, y) > 8) return false;
    return true;
}

int PictureCommand(int argc, char** argv) {
    if (argc < 1) return 2;
    Picture p;
    if (!ReadPng(argv[0], &p) || p.width == 0) {
        std::fprintf(stderr, "desktop-check: cannot read %s\n", argv[0]);
        return 2;
    }
    const bool bars = argc > 1 && std::strcmp(argv[1], "--bars") == 0;
    long histogram[256] = {};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) ++histogram[p.Luma(x, y)];
    const long pixels = static_cast<long>(p.width) * p.height;
    int levels = 0;
    for (long count : histogram) levels += count > pixels / 10000;
    int left = 0, right = p.width - 1;
    while (left < p.width && BlackColumn(p, left)) ++left;
    while (right > left && BlackColumn(p, right)) --right;
    const int content = right - left + 1;
    std::printf("size %dx%d\nlevels %d\ncontent_columns %d..%d\n", p.width, p.height, levels, left, right);
    bool ok = levels >= 16;
    if (bars) {
        // The picture is as high as the screen and 4:3 wide, give or take its own
        // black edges, and centred.
        const int expected = p.height * 4 / 3;
        const int slack = p.width / 40;
        ok = ok && content <= expected + 2 && content >= expected - 2 * slack &&
             std::abs(left - (p.width - 1 - right)) <= slack && left >= (p.width - expected) / 2 - slack;
        std::printf("expected_columns %d\n", expected);
    }
    std::printf("%s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

// ---------------------------------------------------------------- the clock

int ClockCommand(int argc, char** argv) {
    if (argc < 4) return 2;
    const char* path = argv[0];
    const double seconds = std::atof(argv[1]);
    const long frameBytes = std::atol(argv[2]);
    const double rate = std::atof(argv[3]);
    if (frameBytes <= 0 || rate <= 0) return 2;
    const double end = WallSeconds() + seconds;
    double best = 1e300;
    long lastSize = -1;
    while (WallSeconds() < end) {
        struct stat info;
        const double now = WallSeconds();
        if (stat(path, &info) == 0 && info.st_size != lastSize && info.st_size > 0) {
            lastSize = info.st_size;
            // This many frames had arrived by now: frame 0 came no later than this.
            best = std::min(best, now - static_cast<double>(info.st_size / frameBytes) / rate);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (best > 1e299) {
        std::fprintf(stderr, "desktop-check: %s never grew\n", path);
        return 1;
    }
    std::printf("%.4f\n", best);
    return 0;
}

// ---------------------------------------------------------------- the sound

// Mono, as floats: the mean of the channels.
std::vector<float> Mono(const std::vector<float>& interleaved, int channels) {
    std::vector<float> mono(interleaved.size() / channels);
    for (size_t i = 0; i < mono.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) sum += interleaved[i * channels + c];
        mono[i] = sum / channels;
    }
    return mono;
}

bool ReadRaw(const char* path, std::vector<float>* mono) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::vector<float> samples;
    int16_t buffer[8192];
    for (size_t n; (n = std::fread(buffer, 2, 8192, f)) > 0;)
        for (size_t i = 0; i < n; ++i) samples.push_back(buffer[i] / 32768.0f);
    std::fclose(f);
    *mono = Mono(samples, 2);
    return true;
}

bool ReadWav(const char* path, std::vector<float>* mono, int* rate) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) return false;
    std::vector<float> samples(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    *rate = info.samplerate;
    *mono = Mono(samples, info.channels);
    return true;
}

// The first frame louder than -60 dB after the silence at the start: the first note.
// -1 when there is none.
long FirstNote(const std::vector<float>& x) {
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > 1e-3f) return static_cast<long>(i);
    return -1;
}

double Correlation(const float* a, const float* b, size_t n) {
    double ab = 0, aa = 0, bb = 0, ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= n, mb /= n;
    for (size_t i = 0; i < n; ++i) {
        const double da = a[i] - ma, db = b[i] - mb;
        ab += da * db, aa += da * da, bb += db * db;
    }
    if (aa == 0 || bb == 0) return 0;
    return ab / std::sqrt(aa * bb);
}

int SoundCommand(int argc, char** argv) {
    if (argc < 3) return 2;
    std::vector<float> rec, ref;
    const int rate = std::atoi(argv[1]);
    int refRate = 0;
    if (!ReadRaw(argv[0], &rec) || !ReadWav(argv[2], &ref, &refRate)) {
        std::fprintf(stderr, "desktop-check: cannot read %s or %s\n", argv[0], argv[2]);
        return 2;
    }
    if (refRate != rate) {
        std::fprintf(stderr, "desktop-check: the recording is at %d Hz, the reference at %d Hz\n", rate, refRate);
        return 2;
    }
    const long recNote = FirstNote(rec), refNote = FirstNote(ref);
    if (recNote < 0 || refNote < 0) {
        std::printf("first_note none\nFAILED\n");
        return 1;
    }
    std::printf("first_note_recording_s %.4f\nfirst_note_reference_s %.4f\n",
                recNote / static_cast<double>(rate), refNote / static_cast<double>(rate));

    // Aligned on the first notes, the recording is followed in steps of 0.25 s. Where a
    // step no longer matches where the last one did, it is looked for within 100 ms
    // (rows are 125 ms apart and often alike, bars repeat every 2 s, so no further);
    // found more than 2 ms away, the recording has a gap (later) or a repeat (earlier)
    // there. A 4 s window's correlation is that of its steps, weighted by their energy.
    const size_t step = static_cast<size_t>(rate / 4), window = 16 * step;
    const long search = rate / 10, jumpLimit = rate / 500;
    long offset = recNote - refNote;
    auto matchAt = [&](size_t part, long at) {
        if (at < 0 || at + static_cast<long>(step) > static_cast<long>(rec.size())) return -2.0;
        return Correlation(&ref[part], &rec[at], step);
    };
    double lowest = 2;
    int windows = 0, failed = 0, jumps = 0;
    bool first = true;
    for (size_t from = refNote; from + window <= ref.size(); from += window, ++windows) {
        double sum = 0, weight = 0;
        bool missing = false;
        for (size_t part = from; part < from + window; part += step) {
            double best = matchAt(part, static_cast<long>(part) + offset);
            if (best < 0.9 || first) {
                long bestShift = 0;
                for (long shift = -search; shift <= search; ++shift) {
                    const double c = matchAt(part, static_cast<long>(part) + offset + shift);
                    if (c > best + 1e-9) best = c, bestShift = shift;
                }
                if (!first && std::labs(bestShift) > jumpLimit) {
                    std::printf("%s of %.1f ms at %.2f s\n", bestShift > 0 ? "gap" : "repeat",
                                std::labs(bestShift) * 1000.0 / rate, (part - refNote) / static_cast<double>(rate));
                    ++jumps;
                }
                offset += bestShift;
            }
            first = false;
            if (best < -1) {
                missing = true;
                break;
            }
            double energy = 0;
            for (size_t i = part; i < part + step; ++i) energy += ref[i] * ref[i];
            sum += best * energy, weight += energy;
        }
        if (missing) {
            // The show may stop a device buffer or two before the reference's end.
            const bool last = from + 2 * window > ref.size();
            std::printf("window %d %s\n", windows, last ? "cut short (the end)" : "missing");
            failed += !last;
            break;
        }
        const double c = weight > 0 ? sum / weight : 1;
        std::printf("window %d %.4f\n", windows, c);
        lowest = std::min(lowest, c);
        failed += c < 0.9;
    }
    std::printf("offset_frames %ld\njumps %d\n", offset, jumps);
    std::printf("windows %d\nlowest %.4f\n", windows, lowest);
    if (argc >= 5) {
        const double frame0 = std::atof(argv[3]), launched = std::atof(argv[4]);
        std::printf("launch_to_first_note_s %.3f\n", frame0 + recNote / static_cast<double>(rate) - launched);
    }
    const bool ok = windows > 0 && failed == 0 && jumps == 0;
    std::printf("%s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "picture") == 0) return PictureCommand(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "clock") == 0) return ClockCommand(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "sound") == 0) return SoundCommand(argc - 2, argv + 2);
    std::fprintf(stderr,
                 "Usage: desktop-check picture SHOT.png [--bars]\n"
                 "       desktop-check clock FILE SECONDS FRAME_BYTES RATE\n"
                 "       desktop-check sound REC.raw RATE REF.wav [FRAME0 LAUNCHED]\n");
    return 2;
}
