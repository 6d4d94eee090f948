// Sound-file decoding from memory through libsndfile's virtual I/O.
#include "StreamDecoder.h"

#include <sndfile.h>

#include <cstring>

namespace sound {
namespace {

constexpr size_t kBlockFrames = 1024;
constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 768000;

using Image = StreamDecoder::Image;

sf_count_t ImageLength(void* user) { return static_cast<Image*>(user)->size; }

sf_count_t ImageSeek(sf_count_t offset, int whence, void* user) {
    Image* image = static_cast<Image*>(user);
    sf_count_t base = whence == SEEK_CUR ? image->offset : whence == SEEK_END ? image->size : 0;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    // Guard the sum before forming it: offsets come from the file's own headers.
    if (offset > 0 && base > image->size - offset) return -1;
    sf_count_t target = base + offset;
    if (target < 0 || target > image->size) return -1;
    image->offset = target;
    return target;
}

sf_count_t ImageRead(void* ptr, sf_count_t count, void* user) {
    Image* image = static_cast<Image*>(user);
    if (count <= 0) return 0;
    sf_count_t left = image->size - image->offset;
    sf_count_t n = count < left ? count : left;
    std::memcpy(ptr, image->data + image->offset, static_cast<size_t>(n));
    image->offset += n;
    return n;
}

sf_count_t ImageWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t ImageTell(void* user) { return static_cast<Image*>(user)->offset; }

}  // namespace

StreamDecoder::~StreamDecoder() { Close(); }

void StreamDecoder::Close() {
    if (file_) sf_close(file_);
    file_ = nullptr;
}

bool StreamDecoder::Open(const void* data, size_t size, std::string* error) {
    Close();
    if (!data || size == 0 || size > static_cast<size_t>(INT64_MAX)) {
        if (error) *error = "empty sound data";
        return false;
    }
    image_.data = static_cast<const uint8_t*>(data);
    image_.size = static_cast<int64_t>(size);
    image_.offset = 0;
    SF_VIRTUAL_IO io = {ImageLength, ImageSeek, ImageRead, ImageWrite, ImageTell};
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    file_ = sf_open_virtual(&io, SFM_READ, &info, &image_);
    if (!file_) {
        if (error) *error = sf_strerror(nullptr);
        return false;
    }
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames <= 0 || info.channels > 64) {
        if (error) *error = "the file holds no audio";
        Close();
        return false;
    }
    // The mixer takes rate / mix rate source frames for each frame it plays: a header
    // claiming billions of frames a second would stall the audio thread.
    if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate) {
        if (error) *error = "sample rate out of range";
        Close();
        return false;
    }
    sampleRate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = info.frames;
    block_.assign(kBlockFrames * static_cast<size_t>(channels_), 0.0f);
    Rewind();
    return true;
}

void StreamDecoder::Rewind() { Seek(0); }

bool StreamDecoder::Seek(int64_t frame) {
    if (!file_ || frame < 0) return false;
    if (frame >= frames_) {
        if (!looping_) return false;
        frame %= frames_;
    }
    if (sf_seek(file_, frame, SEEK_SET) < 0) return false;
    position_ = frame;
    ended_ = false;
    blockFrames_ = blockNext_ = 0;
    primed_ = false;
    phase_ = 0;
    return true;
}

bool StreamDecoder::NextFrame(float* left, float* right) {
    if (ended_ || !file_) return false;
    if (blockNext_ == blockFrames_) {
        sf_count_t n = sf_readf_float(file_, block_.data(), static_cast<sf_count_t>(kBlockFrames));
        if (n <= 0 && looping_) {
            sf_seek(file_, 0, SEEK_SET);
            position_ = 0;
            n = sf_readf_float(file_, block_.data(), static_cast<sf_count_t>(kBlockFrames));
        }
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        blockFrames_ = static_cast<size_t>(n);
        blockNext_ = 0;
    }
    const float* frame = &block_[blockNext_ * static_cast<size_t>(channels_)];
    *left = frame[0];
    *right = channels_ > 1 ? frame[1] : frame[0];
    ++blockNext_;
    ++position_;
    return true;
}

size_t StreamDecoder::Read(float* out, size_t frames, int outRate) {
    if (!file_ || !out || outRate <= 0) return 0;
    size_t i = 0;
    if (outRate == sampleRate_) {
        for (; i < frames; ++i)
            if (!NextFrame(&out[2 * i], &out[2 * i + 1])) break;
        return i;
    }
    if (!primed_) {
        if (!NextFrame(&prev_[0], &prev_[1])) return 0;
        if (!NextFrame(&next_[0], &next_[1])) {
            next_[0] = prev_[0];
            next_[1] = prev_[1];
        }
        ended_ = false;  // a one-frame file still plays its frame
        primed_ = true;
        phase_ = 0;
    }
    double step = static_cast<double>(sampleRate_) / outRate;
    for (; i < frames; ++i) {
        while (phase_ >= 1.0) {
            prev_[0] = next_[0];
            prev_[1] = next_[1];
            if (!NextFrame(&next_[0], &next_[1])) return i;
            phase_ -= 1.0;
        }
        float t = static_cast<float>(phase_);
        out[2 * i] = prev_[0] + (next_[0] - prev_[0]) * t;
        out[2 * i + 1] = prev_[1] + (next_[1] - prev_[1]) * t;
        phase_ += step;
    }
    return i;
}

}  // namespace sound
