// The show's music: "musik.xm", composed in code with synthesised instruments, its
// sections lined up with the timeline and Z00 syncs where the effects kick their
// cameras.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/xm/XmWriter.h"

namespace showdata {

// 120 BPM at speed 6: a row lasts 6 x 2.5 / 120 = 0.125 s exactly, so every effect
// change of the timeline (all on whole or half seconds) falls on a row. (A tick is then
// 1000 frames at 48000 Hz but 918.75 at 44100; the sound layer plays the song at a rate
// where it is whole and converts, so the rows keep these times at either rate.)
constexpr int kMusicSpeed = 6;
constexpr int kMusicBpm = 120;
constexpr int kRowsPerBeat = 4;
constexpr int kRowsPerBar = 16;
constexpr double kRowSeconds = kMusicSpeed * 2.5 / kMusicBpm;

// The row that starts at `seconds` (rounded to the nearest row).
int RowAt(double seconds);

struct MusicSection {
    const char* name;
    int firstRow;  // inclusive
    int endRow;    // exclusive
};

// The sections in play order; they cover the whole song without gaps. Their
// boundaries are the timeline's effect changes: 17, 27, 44, 74, 100, 114, 140, 155 s.
const std::vector<MusicSection>& MusicSections();

// Total rows of the song (it lasts TotalRows() x kRowSeconds seconds, at least 175).
int MusicTotalRows();

// The composed module.
xm::Module ComposeMusic();

// Rows (from the song's start) that carry a Z00 sync, in order.
std::vector<int> SyncRows(const xm::Module& module);

}  // namespace showdata
