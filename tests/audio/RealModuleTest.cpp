// Modules made by real trackers (FastTracker 2 files from Debian's bomberclone-data):
// they load, sound, and the pattern scan agrees cell by cell with libopenmpt's reading.
// Skipped where the package is not installed.
#include "SoundTestSupport.h"

#include "audio/ModuleRenderer.h"
#include "audio/Sound.h"
#include "audio/XmScan.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <thread>

namespace {

const char kMusicDir[] = "/usr/share/games/bomberclone/music/";

std::vector<std::string> FilesEndingIn(const std::string& suffix) {
    std::vector<std::string> files;
    DIR* dir = opendir(kMusicDir);
    if (!dir) return files;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            files.push_back(kMusicDir + name);
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

// The scan against libopenmpt's own reading of the same file: orders, rows, every
// cell's note and instrument, and the Z commands (libopenmpt shows them as 'Z').
void CrossCheck(const std::vector<uint8_t>& image, size_t* notesOut, size_t* syncsOut) {
    sound::XmScan scan;
    std::string error;
    ASSERT_TRUE(sound::ScanXm(image.data(), image.size(), &scan, nullptr, &error)) << error;
    openmpt_module* module = openmpt_module_create_from_memory2(
        image.data(), image.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(scan.channels, openmpt_module_get_num_channels(module));
    ASSERT_EQ(static_cast<int>(scan.orders.size()), openmpt_module_get_num_orders(module));
    for (size_t o = 0; o < scan.orders.size(); ++o)
        EXPECT_EQ(scan.orders[o], openmpt_module_get_order_pattern(module, static_cast<int>(o)));
    size_t notes = 0;
    std::vector<sound::XmSync> seen;
    for (size_t p = 0; p < scan.patterns.size(); ++p) {
        const sound::XmPattern& pattern = scan.patterns[p];
        int pi = static_cast<int>(p);
        ASSERT_EQ(pattern.rows, openmpt_module_get_pattern_num_rows(module, pi)) << p;
        for (int row = 0; row < pattern.rows; ++row) {
            for (int channel = 0; channel < scan.channels; ++channel) {
                size_t i = static_cast<size_t>(row) * scan.channels + channel;
                sound::XmCell cell = i < pattern.cells.size() ? pattern.cells[i] : sound::XmCell();
                auto command = [&](int which) {
                    return openmpt_module_get_pattern_row_channel_command(module, pi, row, channel, which);
                };
                // libopenmpt counts notes an octave higher than XM and keys off as 255.
                int expected = cell.note == 97 ? 255 : cell.note ? cell.note + 12 : 0;
                ASSERT_EQ(command(OPENMPT_MODULE_COMMAND_NOTE), expected)
                    << "pattern " << p << " row " << row << " channel " << channel;
                ASSERT_EQ(command(OPENMPT_MODULE_COMMAND_INSTRUMENT), cell.instrument)
                    << "pattern " << p << " row " << row << " channel " << channel;
                notes += cell.note != 0;
                const char* effect = openmpt_module_format_pattern_row_channel_command(
                    module, pi, row, channel, OPENMPT_MODULE_COMMAND_EFFECT);
                if (effect && std::string(effect) == "Z")
                    seen.push_back(sound::XmSync{pi, row, channel,
                                                 static_cast<uint8_t>(command(OPENMPT_MODULE_COMMAND_PARAMETER))});
                openmpt_free_string(effect);
            }
        }
    }
    ASSERT_EQ(scan.syncs.size(), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(scan.syncs[i].pattern, seen[i].pattern) << i;
        EXPECT_EQ(scan.syncs[i].row, seen[i].row) << i;
        EXPECT_EQ(scan.syncs[i].channel, seen[i].channel) << i;
        EXPECT_EQ(scan.syncs[i].param, seen[i].param) << i;
    }
    *notesOut = notes;
    *syncsOut = seen.size();
    openmpt_module_destroy(module);
}

}  // namespace

TEST(RealModules, CrossCheckFindsTheSyncsOfAWrittenModule) {
    xm::Module song = soundtest::BasicModule(16, 3);
    song.patterns[0].At(0, 1).Sync();
    song.patterns[0].At(7, 2).Play("A-3", 1).Volume(20).Sync(0x99);
    song.patterns[song.AddPattern(4)].At(3, 0).Sync(0x01);
    song.orders = {1, 0};
    size_t notes = 0, syncs = 0;
    CrossCheck(soundtest::Image(song), &notes, &syncs);
    EXPECT_EQ(syncs, 3u);
}

TEST(RealModules, ScanAgreesWithLibopenmptCellByCell) {
    std::vector<std::string> files = FilesEndingIn(".xm");
    if (files.empty()) GTEST_SKIP() << "bomberclone-data is not installed";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        size_t notes = 0, syncs = 0;
        CrossCheck(soundtest::ReadBytes(path), &notes, &syncs);
        EXPECT_GT(notes, 100u);
        std::printf("  %s: %zu notes, %zu Z commands\n", path.c_str() + sizeof kMusicDir - 1, notes, syncs);
    }
}

TEST(RealModules, RenderNonSilentAudio) {
    std::vector<std::string> files = FilesEndingIn(".xm");
    std::vector<std::string> mods = FilesEndingIn(".mod");
    files.insert(files.end(), mods.begin(), mods.end());
    if (files.empty()) GTEST_SKIP() << "bomberclone-data is not installed";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> image = soundtest::ReadBytes(path);
        std::vector<float> samples;
        std::string error;
        ASSERT_TRUE(sound::RenderModuleOffline(image.data(), image.size(), 4.0, &samples, nullptr, &error))
            << error;
        EXPECT_EQ(samples.size(), 2u * 4 * 44100);
        EXPECT_GT(soundtest::Peak(samples), 0.05f);
    }
}

TEST(RealModules, PlayThroughTheSoundLayer) {
    std::vector<std::string> files = FilesEndingIn(".xm");
    if (files.empty()) GTEST_SKIP() << "bomberclone-data is not installed";
    ASSERT_TRUE(sound::SetOutput(2) && sound::SetDriver(0) && sound::Init(44100, 32, 0));
    sound::Module* module = sound::LoadSong(files[0].c_str());
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(sound::PlaySong(module));
    EXPECT_TRUE(sound::SetMasterVolume(module, 255));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(sound::IsSongPlaying(module));
    EXPECT_GT(sound::GetMixerStats().framesMixed, 0u);
    sound::Close();
    sound::FreeSong(module);
}
