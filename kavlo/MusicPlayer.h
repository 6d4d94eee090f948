// The music player: plays one music file (a tracker module, or any file the sound layer
// can stream, read whole into memory first), hands the module's Zxx commands to a
// callback, and tells the frame loop when a stream has started over.
#pragma once

#include "audio/Sound.h"

#include <cstdint>
#include <vector>

// The Zxx callback signature of the sound layer.
using SyncCallback = sound::ZxxCallback;

// A Zxx command of the music and when it plays, in ms from the music's start.
struct MusicSync {
    double timeMs;
    unsigned char param;
};

class MusicPlayer {
public:
    MusicPlayer();

    // Starts the sound layer and loads fileName: a module when the name ends in "xm" or
    // "XM", a memory stream otherwise. False (after its message box) only when the sound
    // layer cannot start; a file that fails to load surfaces in Play.
    bool Open(const char* fileName);
    // Registers the Zxx callback with the module; with a stream nothing is registered.
    void SetSyncCallback(SyncCallback callback);
    // Starts what Open loaded; false (after its message box) when nothing can play.
    bool Play();
    // False once when the stream position went backwards (the stream started over);
    // always true for a module.
    bool CheckPosition();

    // For a player that pauses and seeks: stops the music where it is; plays it again
    // from `ms` into it, returning once that moment is heard (false, after its message
    // box, when nothing can play); the music's Zxx commands and their times, as it plays
    // once through (none for a stream).
    void Pause();
    bool PlayFrom(uint32_t ms);
    std::vector<MusicSync> Syncs() const;

private:
    sound::Stream* stream;
    sound::Module* module;
};

// The sound layer's error texts; codes outside 0..19 give "Unknown error".
const char* ErrorText(unsigned code);

// The stream position seen by the previous CheckPosition.
extern int lastStreamPosition;
