// The XM writer and the XM pattern scanner, each checked against libopenmpt's reading.
#include "SoundTestSupport.h"

#include "audio/XmScan.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <random>

using soundtest::BasicModule;
using soundtest::Image;

namespace {

openmpt_module* OpenWithLibopenmpt(const std::vector<uint8_t>& image) {
    return openmpt_module_create_from_memory2(image.data(), image.size(), openmpt_log_func_silent,
                                              nullptr, openmpt_error_func_ignore, nullptr, nullptr,
                                              nullptr, nullptr);
}

std::string Metadata(openmpt_module* module, const char* key) {
    const char* value = openmpt_module_get_metadata(module, key);
    std::string text = value ? value : "";
    openmpt_free_string(value);
    return text;
}

}  // namespace

TEST(XmNoteNumber, NamesMapToTrackerNotes) {
    EXPECT_EQ(xm::NoteNumber("C-0"), 1);
    EXPECT_EQ(xm::NoteNumber("C-4"), 49);
    EXPECT_EQ(xm::NoteNumber("C#4"), 50);
    EXPECT_EQ(xm::NoteNumber("Db4"), 50);
    EXPECT_EQ(xm::NoteNumber("a-4"), 58);
    EXPECT_EQ(xm::NoteNumber("B-7"), 96);
    EXPECT_EQ(xm::NoteNumber("Cb0"), 0);  // below C-0
    EXPECT_EQ(xm::NoteNumber("H-4"), 0);
    EXPECT_EQ(xm::NoteNumber("C-8"), 0);
    EXPECT_EQ(xm::NoteNumber("C-45"), 0);
    EXPECT_EQ(xm::NoteNumber(nullptr), 0);
}

TEST(XmWriter, LibopenmptReadsWhatWasWritten) {
    xm::Module song;
    song.name = "writer check";
    song.channels = 3;
    song.speed = 5;
    song.bpm = 140;
    int square = song.AddInstrument(xm::Instrument::FromSample(
        "square", xm::Sample::Wave(xm::Waveform::kSquare, 32, 4)));
    xm::Sample eight = xm::Sample::Wave(xm::Waveform::kSaw, 64, 2);
    eight.sixteenBit = false;
    eight.loop = xm::LoopType::kPingPong;
    int saw = song.AddInstrument(xm::Instrument::FromSample("saw", eight));
    xm::Instrument empty;
    empty.name = "empty";
    song.AddInstrument(empty);
    int a = song.AddPattern(8);
    int b = song.AddPattern(32);
    song.patterns[a].At(0, 0).Play("C-4", square).Volume(40);
    song.patterns[a].At(1, 1).Play("E-4", saw).Fx(xm::kFxVibrato, 0x44);
    song.patterns[a].At(2, 2).Play("G-4", square).Volume(64).Fx(xm::kFxSetVolume, 0x30);  // all five
    song.patterns[a].At(7, 0).Off();
    song.patterns[b].At(31, 2).Play("B-7", saw);
    song.orders = {a, b, a};
    song.restart = 1;
    std::vector<uint8_t> image = Image(song);
    ASSERT_FALSE(image.empty());

    openmpt_module* module = OpenWithLibopenmpt(image);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Metadata(module, "title"), "writer check");
    EXPECT_EQ(Metadata(module, "type"), "xm");
    EXPECT_EQ(openmpt_module_get_num_channels(module), 3);
    EXPECT_EQ(openmpt_module_get_num_orders(module), 3);
    EXPECT_EQ(openmpt_module_get_order_pattern(module, 1), b);
    EXPECT_EQ(openmpt_module_get_num_instruments(module), 3);
    EXPECT_EQ(openmpt_module_get_num_samples(module), 2);
    EXPECT_EQ(openmpt_module_get_pattern_num_rows(module, b), 32);
    EXPECT_EQ(openmpt_module_get_current_speed(module), 5);
    EXPECT_EQ(openmpt_module_get_current_tempo(module), 140);
    auto command = [&](int p, int r, int c, int which) {
        return openmpt_module_get_pattern_row_channel_command(module, p, r, c, which);
    };
    // libopenmpt counts notes an octave higher than XM does, and keys off as 255.
    EXPECT_EQ(command(a, 0, 0, OPENMPT_MODULE_COMMAND_NOTE), 49 + 12);
    EXPECT_EQ(command(a, 0, 0, OPENMPT_MODULE_COMMAND_INSTRUMENT), square);
    EXPECT_EQ(command(a, 0, 0, OPENMPT_MODULE_COMMAND_VOLUME), 40);
    EXPECT_EQ(command(a, 1, 1, OPENMPT_MODULE_COMMAND_INSTRUMENT), saw);
    EXPECT_EQ(command(a, 1, 1, OPENMPT_MODULE_COMMAND_PARAMETER), 0x44);
    EXPECT_EQ(command(a, 2, 2, OPENMPT_MODULE_COMMAND_NOTE), 56 + 12);
    EXPECT_EQ(command(a, 7, 0, OPENMPT_MODULE_COMMAND_NOTE), 255);
    EXPECT_EQ(command(b, 31, 2, OPENMPT_MODULE_COMMAND_NOTE), 96 + 12);
    EXPECT_EQ(command(b, 30, 2, OPENMPT_MODULE_COMMAND_NOTE), 0);

    // Both sample widths sound, and the loops keep them sounding well past their length.
    std::vector<float> audio(2 * 44100);
    openmpt_module_read_interleaved_float_stereo(module, 44100, 44100, audio.data());
    EXPECT_GT(soundtest::Peak(audio.data() + 2 * 20000, 2000), 0.01f);
    openmpt_module_destroy(module);
}

TEST(XmWriter, RefusesWhatTheFormatCannotHold) {
    std::string error;
    std::vector<uint8_t> out;
    xm::Module song = BasicModule(4);

    xm::Module outside = song;
    outside.patterns[0].At(4, 0).Play("C-4", 1);  // row 4 of a 4-row pattern
    EXPECT_FALSE(outside.Write(&out, &error));
    EXPECT_NE(error.find("outside the pattern"), std::string::npos) << error;

    xm::Module badOrder = song;
    badOrder.orders = {0, 3};
    EXPECT_FALSE(badOrder.Write(&out, &error));

    xm::Module noOrders = song;
    noOrders.orders.clear();
    EXPECT_FALSE(noOrders.Write(&out, &error));

    xm::Module badInstrument = song;
    badInstrument.patterns[0].At(1, 1).Play("D-4", 2);
    EXPECT_FALSE(badInstrument.Write(&out, &error));
    EXPECT_NE(error.find("instrument"), std::string::npos);

    xm::Module badLoop = song;
    badLoop.instruments[0].samples[0].loopLength = 100000;
    EXPECT_FALSE(badLoop.Write(&out, &error));

    xm::Module badEnvelope = song;
    badEnvelope.instruments[0].volumeEnvelope.points = {{0, 64}, {0, 32}};
    EXPECT_FALSE(badEnvelope.Write(&out, &error));

    xm::Module badSpeed = song;
    badSpeed.speed = 0;
    EXPECT_FALSE(badSpeed.Write(&out, &error));

    xm::Module mismatch = song;
    mismatch.patterns.emplace_back(4, 3);
    EXPECT_FALSE(mismatch.Write(&out, &error));

    EXPECT_TRUE(song.Write(&out, &error)) << error;
}

TEST(XmWriter, EnvelopesAndFadeoutReachThePlayer) {
    xm::Module song = BasicModule(8);
    xm::Envelope& envelope = song.instruments[0].volumeEnvelope;
    envelope.points = {{0, 64}, {10, 32}, {40, 0}};
    envelope.sustain = 1;
    song.instruments[0].fadeout = 0x400;
    std::vector<uint8_t> image = Image(song);
    ASSERT_FALSE(image.empty());
    openmpt_module* module = OpenWithLibopenmpt(image);
    ASSERT_NE(module, nullptr);
    std::vector<float> audio(2 * 4096);
    openmpt_module_read_interleaved_float_stereo(module, 44100, 4096, audio.data());
    EXPECT_GT(soundtest::Peak(audio), 0.01f);
    openmpt_module_destroy(module);
}

namespace {

// Syncs in every encoding a cell can take: packed with and without a parameter byte,
// and the plain five-byte form (every field set).
xm::Module SyncModule() {
    xm::Module song = BasicModule(16, 3);
    int second = song.AddPattern(8);
    song.patterns[0].At(0, 1).Sync();                                  // Z00: effect byte only
    song.patterns[0].At(3, 2).Sync(0x05);                              // effect and parameter
    song.patterns[0].At(9, 0).Play("D-4", 1).Volume(32).Sync(0x7F);    // all five fields
    song.patterns[0].At(9, 2).Fx(xm::kFxSetVolume, 0x20);              // another effect
    song.patterns[second].At(7, 2).Sync(0xFF);
    song.orders = {0, second};
    return song;
}

}  // namespace

TEST(XmScan, FindsSyncsInEveryCellEncoding) {
    std::vector<uint8_t> image = Image(SyncModule());
    sound::XmScan scan;
    std::string error;
    ASSERT_TRUE(sound::ScanXm(image.data(), image.size(), &scan, nullptr, &error)) << error;
    EXPECT_EQ(scan.channels, 3);
    EXPECT_EQ(scan.speed, 6);
    EXPECT_EQ(scan.tempo, 125);
    EXPECT_EQ(scan.orders, (std::vector<int>{0, 1}));
    ASSERT_EQ(scan.patterns.size(), 2u);
    EXPECT_EQ(scan.patterns[1].rows, 8);
    ASSERT_EQ(scan.syncs.size(), 4u);
    auto expect = [&](size_t i, int pattern, int row, int channel, int param) {
        EXPECT_EQ(scan.syncs[i].pattern, pattern) << i;
        EXPECT_EQ(scan.syncs[i].row, row) << i;
        EXPECT_EQ(scan.syncs[i].channel, channel) << i;
        EXPECT_EQ(scan.syncs[i].param, param) << i;
    };
    expect(0, 0, 0, 1, 0x00);
    expect(1, 0, 3, 2, 0x05);
    expect(2, 0, 9, 0, 0x7F);
    expect(3, 1, 7, 2, 0xFF);
    const sound::XmCell& full = scan.patterns[0].cells[9 * 3 + 0];
    EXPECT_EQ(full.note, 51);
    EXPECT_EQ(full.volume, 0x10 + 32);
    EXPECT_EQ(scan.patterns[0].cells[9 * 3 + 2].effect, xm::kFxSetVolume);
}

TEST(XmScan, StrippedCopyDiffersOnlyInTheSyncBytes) {
    std::vector<uint8_t> image = Image(SyncModule());
    sound::XmScan scan, again;
    std::vector<uint8_t> stripped;
    ASSERT_TRUE(sound::ScanXm(image.data(), image.size(), &scan, &stripped, nullptr));
    ASSERT_EQ(stripped.size(), image.size());
    size_t changed = 0;
    for (size_t i = 0; i < image.size(); ++i) changed += image[i] != stripped[i];
    EXPECT_EQ(changed, 7u);  // four effect bytes and three parameters (Z00 had none stored)
    ASSERT_TRUE(sound::ScanXm(stripped.data(), stripped.size(), &again, nullptr, nullptr));
    EXPECT_TRUE(again.syncs.empty());
    const sound::XmCell& full = again.patterns[0].cells[9 * 3 + 0];
    EXPECT_EQ(full.note, 51);
    EXPECT_EQ(full.effect, 0);
    EXPECT_EQ(full.param, 0);
    EXPECT_EQ(again.patterns[0].cells[9 * 3 + 2].effect, xm::kFxSetVolume);
}

TEST(XmScan, RefusesHeadersItCannotRead) {
    std::vector<uint8_t> image = Image(SyncModule());
    sound::XmScan scan;
    std::string error;
    EXPECT_FALSE(sound::LooksLikeXm("Extended Modul", 14));
    EXPECT_FALSE(sound::ScanXm(image.data(), 40, &scan, nullptr, &error));

    std::vector<uint8_t> version = image;
    version[58] = 0x03;  // 1.03 puts its data elsewhere
    EXPECT_FALSE(sound::ScanXm(version.data(), version.size(), &scan, nullptr, &error));

    std::vector<uint8_t> header = image;
    header[60] = 10;
    header[61] = header[62] = header[63] = 0;
    EXPECT_FALSE(sound::ScanXm(header.data(), header.size(), &scan, nullptr, &error));

    std::vector<uint8_t> huge = image;
    huge[63] = 0x7F;  // header size far past the end
    EXPECT_FALSE(sound::ScanXm(huge.data(), huge.size(), &scan, nullptr, &error));

    std::vector<uint8_t> channels = image;
    channels[68] = channels[69] = 0;
    EXPECT_FALSE(sound::ScanXm(channels.data(), channels.size(), &scan, nullptr, &error));

    std::vector<uint8_t> patterns = image;
    patterns[71] = 0x10;  // 4098 patterns
    EXPECT_FALSE(sound::ScanXm(patterns.data(), patterns.size(), &scan, nullptr, &error));
    EXPECT_FALSE(error.empty());
}

TEST(XmScan, EmptyPatternDataReadsAsBlankRows) {
    xm::Module song = BasicModule(4);
    song.patterns[0] = xm::Pattern(4, song.channels);
    std::vector<uint8_t> image = Image(song);
    // Rewrite the first pattern as FT2 stores an untouched one: no data at all.
    size_t pattern = 60 + 276;
    uint16_t packed = static_cast<uint16_t>(image[pattern + 7] | (image[pattern + 8] << 8));
    image.erase(image.begin() + static_cast<long>(pattern + 9),
                image.begin() + static_cast<long>(pattern + 9 + packed));
    image[pattern + 7] = image[pattern + 8] = 0;
    sound::XmScan scan;
    ASSERT_TRUE(sound::ScanXm(image.data(), image.size(), &scan, nullptr, nullptr));
    ASSERT_EQ(scan.patterns.size(), 1u);
    EXPECT_EQ(scan.patterns[0].rows, 4);
    EXPECT_TRUE(scan.patterns[0].cells.empty());
    openmpt_module* module = OpenWithLibopenmpt(image);
    ASSERT_NE(module, nullptr);
    openmpt_module_destroy(module);
}

// Whatever the bytes, the scan ends, and what it reports lies inside what it read.
void CheckScanOf(const std::vector<uint8_t>& bytes) {
    sound::XmScan scan;
    std::vector<uint8_t> stripped;
    if (!sound::ScanXm(bytes.data(), bytes.size(), &scan, &stripped, nullptr)) return;
    ASSERT_EQ(stripped.size(), bytes.size());
    for (const sound::XmSync& sync : scan.syncs) {
        ASSERT_LT(static_cast<size_t>(sync.pattern), scan.patterns.size());
        ASSERT_LT(sync.row, scan.patterns[sync.pattern].rows);
        ASSERT_LT(sync.channel, scan.channels);
    }
    for (const sound::XmPattern& pattern : scan.patterns)
        ASSERT_LE(pattern.cells.size(), static_cast<size_t>(pattern.rows) * scan.channels);
}

TEST(XmScan, SurvivesTruncationAndCorruption) {
    std::vector<uint8_t> image = Image(SyncModule());
    for (size_t length = 0; length <= image.size(); ++length) {
        std::vector<uint8_t> cut(image.begin(), image.begin() + static_cast<long>(length));
        CheckScanOf(cut);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = image;
        int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            // Mostly the header and pattern area, where the lengths and counts sit.
            size_t at = random() % (round % 2 ? bytes.size() : std::min<size_t>(bytes.size(), 500));
            bytes[at] = static_cast<uint8_t>(random());
        }
        CheckScanOf(bytes);
    }
}
