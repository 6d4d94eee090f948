// Where each sync's flash lands against its note, from recordings of the screen and of
// the sound on the wall clock (bench/sync/run.sh):
//   kavlo-sync-offsets clock REC.raw SECONDS
//       watches a raw recording (16-bit stereo, 44100 Hz) grow for SECONDS and prints
//       the wall time of its first frame, fitted from the earliest arrivals
//   kavlo-sync-offsets LUMA.txt REC.raw FRAME0 REFERENCE.wav SYNCS.txt
//       LUMA.txt: ffmpeg's signalstats of each screen frame (pts on the wall clock, and
//       YAVG); REC.raw the recorded sound, whose first frame arrived at FRAME0 (s);
//       REFERENCE.wav the music as kavlo-capture renders it; SYNCS.txt its sync times
//       (ms). Each note is found by matching the reference around its row against the
//       recording (after a pause, past the silence it left); the flash is the first
//       white frame (mean luma 225 of 235) near it.
//       Prints a line per sync and a summary: flash minus note, in ms (positive: the
//       picture is late).
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;

double WallSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// A recorder's first samples come some hundreds of ms after it starts, and then in bursts:
// frame 0 arrived no later than any arrival minus the frames before it.
int ClockCommand(const char* path, double seconds) {
    const double end = WallSeconds() + seconds;
    double best = 1e300;
    long lastSize = -1;
    while (WallSeconds() < end) {
        struct stat info;
        const double now = WallSeconds();
        if (stat(path, &info) == 0 && info.st_size != lastSize && info.st_size > 0) {
            lastSize = info.st_size;
            best = std::min(best, now - static_cast<double>(info.st_size / 4) / kRate);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (best > 1e299) return 1;
    std::printf("%.4f\n", best);
    return 0;
}

bool ReadRaw(const char* path, std::vector<float>* mono) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    int16_t frame[2];
    while (std::fread(frame, 2, 2, f) == 2) mono->push_back((frame[0] + frame[1]) / 65536.0f);
    std::fclose(f);
    return true;
}

bool ReadMono(const char* path, std::vector<float>* mono, int* rate) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) return false;
    std::vector<float> samples(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    mono->resize(static_cast<size_t>(info.frames));
    for (size_t i = 0; i < mono->size(); ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c) sum += samples[i * info.channels + c];
        (*mono)[i] = sum / info.channels;
    }
    *rate = info.samplerate;
    return true;
}

long FirstNote(const std::vector<float>& x) {
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > 1e-3f) return static_cast<long>(i);
    return -1;
}

double Correlation(const float* a, const float* b, size_t n) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) ab += a[i] * b[i], aa += a[i] * a[i], bb += b[i] * b[i];
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct VideoFrame {
    double t;
    double yAvg;
};

// ffmpeg -vf signalstats,metadata=print:file=...: a "frame:N pts:P pts_time:T" line, then
// "lavfi.signalstats.KEY=VALUE" lines. pts_time is printed with six digits, so the time
// is taken from pts in the time base that pts_time shows (a power of ten).
std::vector<VideoFrame> ReadLuma(const char* path) {
    std::vector<VideoFrame> frames;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const size_t pts = line.find(" pts:"), time = line.find("pts_time:");
        if (pts != std::string::npos && time != std::string::npos) {
            const double ticks = std::atof(line.c_str() + pts + 5);
            const double seconds = std::atof(line.c_str() + time + 9);
            const double base = ticks > 0 ? std::pow(10.0, std::round(std::log10(seconds / ticks))) : 0;
            frames.push_back({ticks * base, 0});
        } else if (!frames.empty() && line.rfind("lavfi.signalstats.YAVG=", 0) == 0) {
            frames.back().yAvg = std::atof(line.c_str() + 23);
        }
    }
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "clock") == 0) return ClockCommand(argv[2], std::atof(argv[3]));
    if (argc != 6) {
        std::fprintf(stderr, "usage: kavlo-sync-offsets clock REC.raw SECONDS\n"
                             "       kavlo-sync-offsets LUMA.txt REC.raw FRAME0 REFERENCE.wav SYNCS.txt\n");
        return 2;
    }
    std::vector<float> rec, ref;
    int rate = kRate;
    if (!ReadRaw(argv[2], &rec) || !ReadMono(argv[4], &ref, &rate) || rate != kRate) {
        std::fprintf(stderr, "kavlo-sync-offsets: cannot read the sound, or the reference is not at 44100 Hz\n");
        return 1;
    }
    const double audioStart = std::atof(argv[3]);
    const std::vector<VideoFrame> video = ReadLuma(argv[1]);
    std::vector<double> syncs;
    std::ifstream list(argv[5]);
    for (double ms; list >> ms;) syncs.push_back(ms);
    const long recFirst = FirstNote(rec), refFirst = FirstNote(ref);
    if (syncs.empty() || recFirst < 0 || refFirst < 0) {
        std::fprintf(stderr, "kavlo-sync-offsets: no syncs or notes\n");
        return 1;
    }
    // Silence of 200 ms or more: in the recording where the music is not silent, a pause.
    auto silences = [rate](const std::vector<float>& x) {
        std::vector<bool> silent(x.size(), false);
        for (long i = 0, run = 0; i < static_cast<long>(x.size()); ++i) {
            run = std::fabs(x[i]) < 1e-4f ? run + 1 : 0;
            if (run >= rate / 5)
                for (long k = run == rate / 5 ? i - run + 1 : i; k <= i; ++k) silent[k] = true;
        }
        return silent;
    };
    const std::vector<bool> recSilent = silences(rec), refSilent = silences(ref);
    // The music starts on a note: the first one places the song in the recording, and
    // each sync's row is then found within 250 ms of where the last one put it, moved on
    // by any pause between (then 400 ms either way: the tail it cut off is unknown).
    long lag0 = recFirst - refFirst, lastFrom = refFirst;
    const long window = rate / 5;
    std::vector<double> offsets;
    for (double ms : syncs) {
        const long row = static_cast<long>(std::lround(ms * rate / 1000));
        const long from = row - rate / 50;  // the tail of the note before, 20 ms
        if (from < 0 || from + window > static_cast<long>(ref.size())) continue;
        long at = lastFrom + lag0, silent = 0;
        for (long heard = 0; at < static_cast<long>(rec.size()) && heard < from - lastFrom; ++at)
            recSilent[at] && !refSilent[lastFrom + heard] ? ++silent : ++heard;
        const long reach = silent ? rate * 2 / 5 : rate / 4;
        const long around = lag0 + silent;
        long bestLag = 0;
        double best = -2;
        for (long lag = around - reach; lag <= around + reach; ++lag) {
            if (from + lag < 0 || from + lag + window > static_cast<long>(rec.size())) continue;
            const double c = Correlation(&ref[from], &rec[from + lag], static_cast<size_t>(window));
            if (c > best) best = c, bestLag = lag;
        }
        if (best < 0.8) {
            std::printf("sync %8.0f ms  note not found (best match %.2f): gaps in the sound?\n", ms, best);
            continue;
        }
        lag0 = bestLag;
        lastFrom = from;
        const double heard = audioStart + static_cast<double>(row + bestLag) / rate;
        double flash = -1;
        for (const VideoFrame& f : video)
            if (f.yAvg >= 225 && f.t > heard - 0.45 && f.t < heard + 0.45) {
                flash = f.t;
                break;
            }
        if (flash < 0) {
            std::printf("sync %8.0f ms  heard %.3f  no flash\n", ms, heard);
            continue;
        }
        const double offset = 1000 * (flash - heard);
        offsets.push_back(offset);
        std::printf("sync %8.0f ms  heard %.3f  flash %+7.1f ms  (match %.3f)\n", ms, heard, offset, best);
    }
    if (offsets.empty()) {
        std::fprintf(stderr, "kavlo-sync-offsets: no sync measured\n");
        return 1;
    }
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    double mean = 0;
    for (double o : offsets) mean += o;
    mean /= offsets.size();
    // Video frames come every 1 / fps: a flash is seen up to one frame after it is drawn.
    double step = 0;
    if (video.size() > 1) step = (video.back().t - video.front().t) / (video.size() - 1) * 1000;
    std::printf("syncs %zu  flash minus note: mean %+.1f ms, median %+.1f ms, min %+.1f ms, max %+.1f ms "
                "(screen grabbed every %.1f ms)\n",
                offsets.size(), mean, sorted[sorted.size() / 2], sorted.front(), sorted.back(), step);
    return 0;
}
