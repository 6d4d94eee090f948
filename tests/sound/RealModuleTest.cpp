// Modules made by real trackers (FastTracker 2 files from Debian's bomberclone-data):
// they load, sound, and the pattern scan agrees cell by cell with libopenmpt's reading.
// Skipped where the package is not installed.
#include "SoundTestSupport.h"

#include "platform/sound/ModuleRenderer.h"
#include "platform/sound/Sound.h"
#include "platform/sound/XmScan.h"

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

}  // namespace

TEST(RealModules, ScanAgreesWithLibopenmptCellByCell) {
    std::vector<std::string> files = FilesEndingIn(".xm");
    if (files.empty()) GTEST_SKIP() << "bomberclone-data is not installed";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> image = soundtest::ReadBytes(path);
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
        size_t notes = 0, zCells = 0;
        for (size_t p = 0; p < scan.patterns.size(); ++p) {
            const sound::XmPattern& pattern = scan.patterns[p];
            int pi = static_cast<int>(p);
            ASSERT_EQ(pattern.rows, openmpt_module_get_pattern_num_rows(module, pi)) << p;
            for (int row = 0; row < pattern.rows; ++row) {
                for (int channel = 0; channel < scan.channels; ++channel) {
                    size_t i = static_cast<size_t>(row) * scan.channels + channel;
                    sound::XmCell cell = i < pattern.cells.size() ? pattern.cells[i] : sound::XmCell();
                    int note = openmpt_module_get_pattern_row_channel_command(module, pi, row, channel,
                                                                              OPENMPT_MODULE_COMMAND_NOTE);
                    int instrument = openmpt_module_get_pattern_row_channel_command(
                        module, pi, row, channel, OPENMPT_MODULE_COMMAND_INSTRUMENT);
                    // libopenmpt counts notes an octave higher than XM and keys off as 255.
                    int expected = cell.note == 97 ? 255 : cell.note ? cell.note + 12 : 0;
                    ASSERT_EQ(note, expected) << "pattern " << p << " row " << row << " channel " << channel;
                    ASSERT_EQ(instrument, cell.instrument) << "pattern " << p << " row " << row;
                    notes += cell.note != 0;
                    zCells += cell.effect == sound::kXmEffectSync;
                }
            }
        }
        EXPECT_GT(notes, 100u);
        // What the patterns hold in Z commands is exactly what the scan lists.
        EXPECT_EQ(scan.syncs.size(), zCells);
        std::printf("  %s: %zu patterns, %zu notes, %zu Z commands\n", path.c_str() + sizeof kMusicDir - 1,
                    scan.patterns.size(), notes, scan.syncs.size());
        openmpt_module_destroy(module);
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
