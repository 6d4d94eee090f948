// Converts interleaved float stereo between two nearby sample rates (within 1 %) with a
// windowed-sinc kernel. The module renderer uses it to play a song at a rate where its
// tick is a whole number of frames and hand the result out at the device's rate.
//
// Output frame j is the input signal at input position j * inRate / outRate: the
// conversion delays nothing, it only reads kHalfTaps input frames ahead of that point.
// No allocation after Reset, so it runs on the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sound {

class RateConverter {
public:
    static constexpr int kHalfTaps = 32;
    // Most input frames held at once (the few behind the next output point included).
    static constexpr size_t kCapacityFrames = 8192;

    // Rates more than 1 % apart are refused (false), and the converter passes nothing.
    bool Reset(int inRate, int outRate);
    // Right after Reset, for a song started part-way: the first input frame pushed is
    // frame `inputFrame` of the song and the first output frame is `outputFrame`, the
    // first output frame at or after it (OutputFrameAt); the output keeps the positions
    // it has when the song is converted from its start.
    void StartAt(uint64_t inputFrame, uint64_t outputFrame);

    // Input frames still to push before `outFrames` more output frames can be pulled.
    size_t InputNeeded(size_t outFrames) const;
    // Appends input and returns how much of it was taken: all of it while the converter
    // holds less than about kCapacityFrames.
    size_t Push(const float* in, size_t frames);
    // The input ends after what was pushed: the last frames can then be pulled too.
    void EndInput();
    // Writes up to `frames` output frames (fewer once the input runs short).
    size_t Pull(float* out, size_t frames);

    // The first output frame whose position is at or after input frame `inputFrame`.
    uint64_t OutputFrameAt(uint64_t inputFrame) const;
    uint64_t FramesOut() const { return framesOut_; }

private:
    void Compact();

    int inRate_ = 0, outRate_ = 0;
    // Input advance per output frame: stepWhole_ + stepRest_ / outRate_.
    uint32_t stepWhole_ = 0, stepRest_ = 0;
    // Input position of the next output frame: pos_ + rest_ / outRate.
    int64_t pos_ = 0;
    uint32_t rest_ = 0;
    uint64_t framesOut_ = 0;
    // Input frames from absolute index base_ on (negative indices are the silence before
    // the song); base_ + count_ is one past the last frame pushed.
    std::vector<float> frames_;
    int64_t base_ = 0;
    size_t count_ = 0;
    bool ended_ = false;
    int64_t endPos_ = 0;  // frames pushed before EndInput
};

}  // namespace sound
