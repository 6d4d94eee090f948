// The sound layer: the calls the music player makes, with the results it relies on.
// Modules play through libopenmpt, streams decode through libsndfile, output goes
// through SDL2 audio (SDL_AUDIODRIVER=dummy or disk work where no device exists).
//
// Threads: calls are made from the main thread, except the ones marked "any thread"
// (the Zxx callback, the play state, the stream position, the error code and the mixer
// figures), which are lock-free and may also be made from the Zxx callback. The Zxx
// callback runs on a thread of the layer's own when its row is heard: the row is
// rendered ahead on the audio thread and its sync waits out the output's latency. Where
// the program has one thread (a browser), the syncs wait for DeliverHeardSyncs instead.
//
// Handles stay valid until FreeSong / StreamClose, also across Close; Close stops all
// playback. Handles still live at exit are reclaimed with the process.
#pragma once

#include <cstdint>
#include <vector>

namespace sound {

struct Module;  // a loaded tracker module
struct Stream;  // a stream opened from a file image in memory

// Called with the parameter byte of each Zxx command as its row is heard; a song stopped
// or moved before then drops its syncs still waiting.
using ZxxCallback = void (*)(Module* module, unsigned char param);

// Stream mode bits: the first argument of StreamOpen is a memory image of `length`
// bytes (otherwise a file name); the stream starts over when it ends.
constexpr unsigned kLoadMemory = 0x8000;
constexpr unsigned kLoopNormal = 0x0002;

// Output type of SetOutput: the system's default audio device through SDL.
constexpr int kOutputDefaultDevice = 2;

// Pan values of SetPan: 0 (left) .. 128 (centre) .. 255 (right), or the stream's own
// stereo image untouched.
constexpr int kPanStereo = -1;

// Error codes of GetError (the music player's table gives their texts).
enum Error {
    kErrNone = 0,
    kErrAlreadyInitialized = 1,
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
int GetError();                                      // code of the last failure; any thread
void Close();

Module* LoadSong(const char* fileName);              // null on failure
bool SetZxxCallback(Module* module, ZxxCallback callback);  // any thread
// From the start; the song loops. Returns once its first frame is heard (the buffer it
// begins in, plus the one playing ahead of it; through a sound server, what the server
// says waits in it), so that a clock started after the call keeps step with the sound.
bool PlaySong(Module* module);
bool SetMasterVolume(Module* module, int volume);    // 0..255
// PlaySong from `ms` into the song instead of its start (what a player's seek and
// resume need): rows begun before that time, and one beginning exactly at it, do not
// raise their Zxx callback. False with kErrInvalidParam where the song does not last
// that long (it is then stopped).
bool PlaySongFrom(Module* module, uint32_t ms);

// A Zxx command of a song and when its row begins, in ms from the song's start (to the
// frame at the mix rate).
struct SongSync {
    double ms = 0;
    unsigned char param = 0;
};
// The song's Zxx commands in play order as it plays once through from its start.
bool GetSongSyncs(Module* module, std::vector<SongSync>* syncs);

Stream* StreamOpen(const void* data, unsigned mode, int length);  // null on failure
int StreamPlay(int channel, Stream* stream);         // channel played on, or -1
bool SetPan(int channel, int pan);
int StreamGetPosition(Stream* stream);               // 0 for a null stream; any thread
// Moves a stream to `ms` from its start (wrapped into it when it loops); its position
// reads as there at once.
bool StreamSetTime(Stream* stream, uint32_t ms);

// Beyond the calls the player makes.
bool StopSong(Module* module);
bool IsSongPlaying(Module* module);                  // any thread
void FreeSong(Module* module);                       // stops it first; null is ignored
bool StreamStop(Stream* stream);
void StreamClose(Stream* stream);                    // stops it first; the image is not freed
bool IsStreamPlaying(Stream* stream);                // any thread

// What the mixer has done since Init; any thread.
struct MixerStats {
    uint64_t callbacks = 0;        // audio device callbacks served
    uint64_t framesMixed = 0;      // frames handed to the device
    int64_t busyNs = 0;            // time spent mixing on the audio thread
    uint64_t syncsDelivered = 0;   // Zxx callbacks made
    int64_t syncLatencyTotalNs = 0;  // from the start of the row's render to its callback
    int64_t syncLatencyMaxNs = 0;
    int deviceRate = 0;            // the device's frames per second
    int deviceBufferFrames = 0;    // frames per device callback
    uint64_t lastSyncFrame = 0;    // song frame where the last delivered sync's row began
    int64_t songStartNs = 0;       // steady clock: when the last started song's first
                                   // frame was due at the output
};
MixerStats GetMixerStats();

// Before Init: no device is opened; the mixer runs at the mix rate, paced by the steady
// clock (on a thread of the layer's own, or in a browser between the page's frames), and
// the sound is dropped. Songs, syncs and positions go on as with a device (for machines
// without one). SDL's dummy driver is no stand-in: it sleeps whole milliseconds per
// buffer and so runs a few percent fast.
void UseSilentOutput(bool silent);
// Before Init, with the silent output: nothing paces it but MixSilentOutput, so that a
// test clock can move the music in step with the show's own virtual time.
void PaceSilentOutputByHand(bool byHand);
// Mixes the silent output paced by hand until `frames` frames have been mixed since
// Init; the syncs of every row begun by then are delivered before it returns.
void MixSilentOutput(uint64_t frames);

// Before Init: the syncs wait, each with when its row is heard, for DeliverHeardSyncs
// rather than for a thread of the layer's own (always so in a browser, which has none).
void DeliverSyncsByHand(bool byHand);
// Hands over, in order, the waiting syncs whose rows are heard within `aheadNs` from now
// (the program calls it once a frame, with how far ahead its picture is seen); nothing
// where a thread of the layer's own delivers them.
void DeliverHeardSyncs(int64_t aheadNs);

// Tests check the player's version gate with this; 0 restores the layer's own version.
void OverrideVersion(float version);

}  // namespace sound
