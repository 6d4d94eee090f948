// The sound layer: the calls the music player makes, with the results it relies on.
// Modules play through libopenmpt, streams decode through libsndfile, output goes
// through SDL2 audio. All calls are made from the main thread; the Zxx callback runs
// on the audio thread.
#pragma once

#include <cstdint>

namespace sound {

struct Module;  // a loaded tracker module
struct Stream;  // a stream opened from a file image in memory

// Called with the parameter byte of each Zxx command as playback reaches its row.
using ZxxCallback = void (*)(Module* module, unsigned char param);

// Stream mode bit: the first argument of StreamOpen is a memory image of `length` bytes.
constexpr unsigned kLoadMemory = 0x8000;

// Error codes of GetError (the music player's table gives their texts).
enum Error {
    kErrNone = 0,
    kErrUninitialized = 2,
    kErrInit = 3,
    kErrPlay = 5,
    kErrFileNotFound = 9,
    kErrFormat = 10,
    kErrFileLoad = 11,
    kErrMemory = 12,
    kErrInvalidParam = 14,
    kErrChannelAlloc = 17,
};

float GetVersion();                                  // at least 3.33
bool SetOutput(int outputType);                      // 2: the system's default audio device
bool SetDriver(int driver);                          // 0: the first (default) device
bool Init(int mixRate, int maxChannels, unsigned flags);  // false with kErrInit if no device
int GetError();                                      // code of the last failure
void Close();

Module* LoadSong(const char* fileName);              // null on failure
bool SetZxxCallback(Module* module, ZxxCallback callback);
bool PlaySong(Module* module);
bool SetMasterVolume(Module* module, int volume);    // 0..255

Stream* StreamOpen(const void* data, unsigned mode, int length);  // null on failure
int StreamPlay(int channel, Stream* stream);         // channel played on, or -1
bool SetPan(int channel, int pan);
int StreamGetPosition(Stream* stream);               // 0 for a null stream

}  // namespace sound
