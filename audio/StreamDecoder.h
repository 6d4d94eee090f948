// Decodes a sound file image held in memory (any format libsndfile reads: WAV, FLAC,
// Ogg Vorbis, ...) into interleaved float stereo at the mixer's rate, looping if asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace sound {

class StreamDecoder {
public:
    StreamDecoder() = default;
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Opens the image; the data is not copied, so the caller keeps it alive and
    // unchanged while the decoder exists. False with a reason when libsndfile cannot
    // read it, it holds no audio, or its rate is outside 1000..768000 Hz.
    bool Open(const void* data, size_t size, std::string* error);

    void SetLooping(bool loop) { looping_ = loop; }

    // Writes up to `frames` stereo frames at `outRate` (resampled linearly when the file
    // has another rate; mono is copied to both sides, channels past two are dropped).
    // Returns fewer frames only when a stream that does not loop has ended.
    size_t Read(float* out, size_t frames, int outRate);

    // Back to the start of the audio.
    void Rewind();
    // To source frame `frame` (wrapped into the file when it loops); false past the end
    // of one that does not.
    bool Seek(int64_t frame);

    // Source frames taken since the start; goes back to 0 each time the stream loops.
    int64_t Position() const { return position_; }
    bool Ended() const { return ended_; }
    int SampleRate() const { return sampleRate_; }
    int Channels() const { return channels_; }
    int64_t Frames() const { return frames_; }

    // libsndfile's view of the image: read position within the bytes.
    struct Image {
        const uint8_t* data = nullptr;
        int64_t size = 0;
        int64_t offset = 0;
    };

private:
    bool NextFrame(float* left, float* right);
    void Close();

    Image image_;
    SNDFILE* file_ = nullptr;
    int sampleRate_ = 0;
    int channels_ = 0;
    int64_t frames_ = 0;
    bool looping_ = false;
    bool ended_ = false;
    int64_t position_ = 0;
    std::vector<float> block_;  // decoded frames not yet taken
    size_t blockFrames_ = 0;
    size_t blockNext_ = 0;
    // Resampling state: the two source frames around the output point.
    float prev_[2] = {0, 0};
    float next_[2] = {0, 0};
    double phase_ = 0;
    bool primed_ = false;
};

}  // namespace sound
