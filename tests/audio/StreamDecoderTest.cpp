// Stream decoding from memory: formats, looping and the position, resampling, and bad
// images.
#include "SoundTestSupport.h"

#include "audio/StreamDecoder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<uint8_t> Wav(int rate, int channels, int frames) {
    return soundtest::SoundFile(SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, channels, frames, "scratch.wav");
}

}  // namespace

TEST(StreamDecoder, PlaysAWavOnceThenEnds) {
    std::vector<uint8_t> wav = Wav(44100, 2, 1000);
    ASSERT_FALSE(wav.empty());
    sound::StreamDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Open(wav.data(), wav.size(), &error)) << error;
    EXPECT_EQ(decoder.SampleRate(), 44100);
    EXPECT_EQ(decoder.Channels(), 2);
    EXPECT_EQ(decoder.Frames(), 1000);
    std::vector<float> out(2 * 600);
    EXPECT_EQ(decoder.Read(out.data(), 600, 44100), 600u);
    EXPECT_EQ(decoder.Position(), 600);
    // Right is half of left, as written.
    EXPECT_NEAR(out[2 * 10 + 1], out[2 * 10] / 2, 1e-3);
    EXPECT_EQ(decoder.Read(out.data(), 600, 44100), 400u);
    EXPECT_TRUE(decoder.Ended());
    EXPECT_EQ(decoder.Read(out.data(), 600, 44100), 0u);
    decoder.Rewind();
    EXPECT_EQ(decoder.Position(), 0);
    EXPECT_EQ(decoder.Read(out.data(), 600, 44100), 600u);
}

TEST(StreamDecoder, LoopingGoesBackToPositionZero) {
    std::vector<uint8_t> wav = Wav(44100, 1, 1000);
    sound::StreamDecoder decoder;
    ASSERT_TRUE(decoder.Open(wav.data(), wav.size(), nullptr));
    decoder.SetLooping(true);
    std::vector<float> out(2 * 700);
    std::vector<int64_t> positions;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(decoder.Read(out.data(), 700, 44100), 700u);
        positions.push_back(decoder.Position());
        EXPECT_EQ(out[0], out[1]);  // mono on both sides
    }
    EXPECT_EQ(positions, (std::vector<int64_t>{700, 400, 100, 800}));
    EXPECT_FALSE(decoder.Ended());
}

TEST(StreamDecoder, ResamplesToTheMixRate) {
    std::vector<uint8_t> wav = Wav(22050, 1, 22050);
    sound::StreamDecoder decoder;
    ASSERT_TRUE(decoder.Open(wav.data(), wav.size(), nullptr));
    std::vector<float> out(2 * 44100);
    size_t got = decoder.Read(out.data(), 44100, 44100);
    EXPECT_NEAR(static_cast<double>(got), 44100, 4);
    EXPECT_NEAR(static_cast<double>(decoder.Position()), 22050, 2);
    // A 441 Hz tone is still 441 Hz: count rising zero crossings over one second.
    int crossings = 0;
    for (size_t i = 1; i < got; ++i) crossings += out[2 * (i - 1)] < 0 && out[2 * i] >= 0;
    EXPECT_NEAR(crossings, 441, 2);
}

TEST(StreamDecoder, ReadsOtherFormatsLibsndfileKnows) {
    int formats[] = {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_OGG | SF_FORMAT_VORBIS,
                     SF_FORMAT_AIFF | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_FLOAT};
    int tried = 0;
    for (int format : formats) {
        std::vector<uint8_t> file = soundtest::SoundFile(format, 48000, 2, 4800, "scratch.snd");
        if (file.empty()) continue;  // libsndfile here cannot write it
        ++tried;
        sound::StreamDecoder decoder;
        std::string error;
        ASSERT_TRUE(decoder.Open(file.data(), file.size(), &error)) << std::hex << format << " " << error;
        std::vector<float> out(2 * 4410);
        size_t got = decoder.Read(out.data(), 4410, 44100);
        EXPECT_GT(got, 4000u) << std::hex << format;
        EXPECT_GT(soundtest::Peak(out), 0.3f) << std::hex << format;
    }
    EXPECT_GE(tried, 2);
}

TEST(StreamDecoder, RefusesImagesWithoutAudio) {
    sound::StreamDecoder decoder;
    std::string error;
    EXPECT_FALSE(decoder.Open(nullptr, 10, &error));
    std::vector<uint8_t> text(5000, 'a');
    EXPECT_FALSE(decoder.Open(text.data(), text.size(), &error));
    EXPECT_FALSE(error.empty());
    std::vector<uint8_t> header = Wav(44100, 2, 0);
    if (!header.empty()) {
        EXPECT_FALSE(decoder.Open(header.data(), header.size(), &error));
    }
    float out[8];
    EXPECT_EQ(decoder.Read(out, 4, 44100), 0u);
}

TEST(StreamDecoder, RefusesRatesThatWouldStallTheMixer) {
    // A header claiming 2 GHz: every mixed frame would take 47000 source frames.
    std::vector<uint8_t> wav = Wav(44100, 2, 100);
    ASSERT_GE(wav.size(), 44u);
    auto setRate = [&](uint32_t rate) {
        for (int i = 0; i < 4; ++i) wav[24 + i] = static_cast<uint8_t>(rate >> (8 * i));
    };
    sound::StreamDecoder decoder;
    std::string error;
    setRate(2097152000u);
    EXPECT_FALSE(decoder.Open(wav.data(), wav.size(), &error));
    EXPECT_EQ(error, "sample rate out of range");
    setRate(500);
    EXPECT_FALSE(decoder.Open(wav.data(), wav.size(), &error));
    setRate(768000);
    EXPECT_TRUE(decoder.Open(wav.data(), wav.size(), &error)) << error;
}

TEST(StreamDecoder, SurvivesCutAndCorruptedFiles) {
    std::vector<uint8_t> wav = Wav(8000, 2, 400);
    std::vector<uint8_t> flac =
        soundtest::SoundFile(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, 2000, "scratch.flac");
    std::mt19937 random(11);
    std::vector<float> out(2 * 512);
    for (const std::vector<uint8_t>* source : {&wav, &flac}) {
        if (source->empty()) continue;
        for (size_t length = 0; length < source->size(); length += 1 + length / 8) {
            std::vector<uint8_t> cut(source->begin(), source->begin() + static_cast<long>(length));
            sound::StreamDecoder decoder;
            if (!decoder.Open(cut.data(), cut.size(), nullptr)) continue;
            decoder.SetLooping(true);
            for (int i = 0; i < 4; ++i) decoder.Read(out.data(), 512, 44100);
        }
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bytes = *source;
            for (int i = 0; i < 4; ++i) bytes[random() % std::min<size_t>(bytes.size(), 80)] = static_cast<uint8_t>(random());
            sound::StreamDecoder decoder;
            if (!decoder.Open(bytes.data(), bytes.size(), nullptr)) continue;
            decoder.SetLooping(true);
            for (int i = 0; i < 4; ++i) decoder.Read(out.data(), 512, 44100);
        }
    }
}
