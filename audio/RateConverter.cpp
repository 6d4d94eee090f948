// Windowed-sinc rate conversion for nearby rates: a polyphase table, interpolated
// between neighbouring phases.
#include "RateConverter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace sound {
namespace {

constexpr int kTaps = 2 * RateConverter::kHalfTaps;
constexpr int kPhases = 256;
// Passband to about 18 kHz at 44100 Hz, images of the whole audible band far down.
constexpr double kCutoff = 0.46;  // of the input rate
constexpr double kKaiserBeta = 8.5;
constexpr double kPi = 3.14159265358979323846;

double BesselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

// Row q holds the weights of the kTaps input frames around a point q / kPhases of a
// frame past the first of the right half; row kPhases closes the last interval. Each row
// sums to 1, so a constant passes unchanged at every phase.
struct Kernel {
    float weights[kPhases + 1][kTaps];

    Kernel() {
        const double half = RateConverter::kHalfTaps;
        for (int q = 0; q <= kPhases; ++q) {
            double row[kTaps];
            double sum = 0;
            for (int t = 0; t < kTaps; ++t) {
                double x = (t - half + 1) - static_cast<double>(q) / kPhases;
                double u = x / half;
                double window = std::fabs(u) >= 1
                                    ? 0
                                    : BesselI0(kKaiserBeta * std::sqrt(1 - u * u)) / BesselI0(kKaiserBeta);
                double arg = 2 * kCutoff * x;
                double sinc = std::fabs(arg) < 1e-12 ? 1 : std::sin(kPi * arg) / (kPi * arg);
                row[t] = sinc * window;
                sum += row[t];
            }
            for (int t = 0; t < kTaps; ++t) weights[q][t] = static_cast<float>(row[t] / sum);
        }
    }
};

const Kernel& TheKernel() {
    // A static object, not a heap block: it lives as long as the process without
    // showing in the leak report.
    static const Kernel kernel;
    return kernel;
}

}  // namespace

bool RateConverter::Reset(int inRate, int outRate) {
    TheKernel();
    frames_.assign(2 * kCapacityFrames, 0.0f);
    inRate_ = outRate_ = 0;
    if (inRate <= 0 || outRate <= 0 || std::abs(inRate - outRate) * 100LL > outRate) return false;
    inRate_ = inRate;
    outRate_ = outRate;
    stepWhole_ = static_cast<uint32_t>(inRate / outRate);
    stepRest_ = static_cast<uint32_t>(inRate % outRate);
    pos_ = 0;
    rest_ = 0;
    framesOut_ = 0;
    // The song is preceded by silence, which the first output frames reach back into.
    base_ = -kHalfTaps;
    count_ = kHalfTaps;
    ended_ = false;
    endPos_ = 0;
    return true;
}

size_t RateConverter::InputNeeded(size_t outFrames) const {
    if (!inRate_ || ended_ || outFrames == 0) return 0;
    uint64_t advance = (rest_ + static_cast<uint64_t>(outFrames - 1) * inRate_) / outRate_;
    int64_t needEnd = pos_ + static_cast<int64_t>(advance) + kHalfTaps + 1;
    int64_t haveEnd = base_ + static_cast<int64_t>(count_);
    return needEnd > haveEnd ? static_cast<size_t>(needEnd - haveEnd) : 0;
}

void RateConverter::Compact() {
    int64_t keepFrom = pos_ - kHalfTaps;
    if (keepFrom <= base_) return;
    size_t drop = std::min(count_, static_cast<size_t>(keepFrom - base_));
    std::memmove(frames_.data(), frames_.data() + 2 * drop, (count_ - drop) * 2 * sizeof(float));
    count_ -= drop;
    base_ += static_cast<int64_t>(drop);
}

size_t RateConverter::Push(const float* in, size_t frames) {
    if (!inRate_ || ended_) return 0;
    // Room for the silence EndInput appends is always kept.
    const size_t room = kCapacityFrames - (kHalfTaps + 1);
    if (count_ + frames > room) Compact();
    size_t take = count_ < room ? std::min(frames, room - count_) : 0;
    std::memcpy(frames_.data() + 2 * count_, in, take * 2 * sizeof(float));
    count_ += take;
    return take;
}

void RateConverter::EndInput() {
    if (!inRate_ || ended_) return;
    endPos_ = base_ + static_cast<int64_t>(count_);
    // Silence after the end, for the right half of the last points' kernels.
    const size_t pad = kHalfTaps + 1;
    std::fill(frames_.begin() + 2 * count_, frames_.begin() + 2 * (count_ + pad), 0.0f);
    count_ += pad;
    ended_ = true;
}

size_t RateConverter::Pull(float* out, size_t frames) {
    if (!inRate_) return 0;
    const Kernel& kernel = TheKernel();
    const int64_t haveEnd = base_ + static_cast<int64_t>(count_);
    size_t made = 0;
    while (made < frames) {
        if (pos_ + kHalfTaps >= haveEnd || (ended_ && pos_ >= endPos_)) break;
        double phase = static_cast<double>(rest_) / outRate_ * kPhases;
        int q = static_cast<int>(phase);
        float mix = static_cast<float>(phase - q);
        const float* a = kernel.weights[q];
        const float* b = kernel.weights[q + 1];
        const float* x = frames_.data() + 2 * (pos_ - kHalfTaps + 1 - base_);
        float w[kTaps];
        for (int t = 0; t < kTaps; ++t) w[t] = a[t] + mix * (b[t] - a[t]);
        // Four running sums a side, so the products need not wait on each other.
        float sum[8] = {};
        for (int t = 0; t < kTaps; t += 4)
            for (int k = 0; k < 4; ++k) {
                sum[2 * k] += w[t + k] * x[2 * (t + k)];
                sum[2 * k + 1] += w[t + k] * x[2 * (t + k) + 1];
            }
        float left = (sum[0] + sum[2]) + (sum[4] + sum[6]);
        float right = (sum[1] + sum[3]) + (sum[5] + sum[7]);
        out[2 * made] = left;
        out[2 * made + 1] = right;
        ++made;
        pos_ += stepWhole_;
        rest_ += stepRest_;
        if (rest_ >= static_cast<uint32_t>(outRate_)) {
            rest_ -= static_cast<uint32_t>(outRate_);
            ++pos_;
        }
    }
    framesOut_ += made;
    return made;
}

void RateConverter::StartAt(uint64_t inputFrame, uint64_t outputFrame) {
    if (!inRate_) return;
    // Output frame j lies at input j * inRate / outRate: past the first frame pushed by
    // this many outRate-ths of a frame.
    const uint64_t past = outputFrame * static_cast<uint64_t>(inRate_) -
                          inputFrame * static_cast<uint64_t>(outRate_);
    pos_ = static_cast<int64_t>(past / static_cast<uint64_t>(outRate_));
    rest_ = static_cast<uint32_t>(past % static_cast<uint64_t>(outRate_));
}

uint64_t RateConverter::OutputFrameAt(uint64_t inputFrame) const {
    if (!inRate_) return inputFrame;
    return (inputFrame * static_cast<uint64_t>(outRate_) + inRate_ - 1) / inRate_;
}

}  // namespace sound
