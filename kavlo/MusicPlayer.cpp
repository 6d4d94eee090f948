// The music player over the sound layer.
#include "MusicPlayer.h"

#include "platform/message/MessageBox.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int lastStreamPosition = 0;

namespace {

const char* const kErrorTexts[20] = {
    "No errors",
    "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
    "This command failed because FSOUND_Init was not called",
    "Error initializing output device.",
    "The output device is already in use and cannot be reused.",
    "Playing the sound failed.",
    "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
    "Error setting cooperative level for hardware.",
    "Error creating hardware sound buffer.",
    "File not found",
    "Unknown file format",
    "Error loading file",
    "Not enough memory ",
    "The version number of this file format is not supported",
    "An invalid parameter was passed to this function",
    "Tried to use an EAX command on a non EAX enabled channel or output.",
    "Tried to use an advanced EAX2 command on a non EAX2 enabled channel or output.",
    "Failed to allocate a new channel",
    "Recording not supported on this device",
    "Required Mediaplayer codec is not installed",
};

// The sound layer's own project site stands where the vendor's address stood.
const char kVersionMessage[] =
    "Wrong FMOD version, please download the latest from https://lib.openmpt.org/";

// "xm" or "XM" at the end; mixed case and names shorter than two characters do not count.
bool IsModuleName(const char* name) {
    size_t n = std::strlen(name);
    if (n < 2) return false;
    char a = name[n - 2], b = name[n - 1];
    return (a == 'x' && b == 'm') || (a == 'X' && b == 'M');
}

}  // namespace

const char* ErrorText(unsigned code) {
    return code < 20 ? kErrorTexts[code] : "Unknown error";
}

MusicPlayer::MusicPlayer() : stream(nullptr), module(nullptr) {}

bool MusicPlayer::Open(const char* fileName) {
    if (sound::GetVersion() < 3.33f) {
        platform::ShowErrorBox(kVersionMessage, "Sound Error");
        return false;
    }
    sound::SetOutput(2);
    sound::SetDriver(0);
    if (!sound::Init(44100, 32, 0)) {
        platform::ShowErrorBox(ErrorText(static_cast<unsigned>(sound::GetError())), "Sound Error");
        sound::Close();
        return false;
    }
    if (IsModuleName(fileName)) {
        stream = nullptr;
        module = sound::LoadSong(fileName);
        return true;
    }
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) {
        std::printf("Error!\n");
        std::printf("File Not Found\n");
        std::fflush(stdout);
        sound::Close();
        return true;
    }
    long length = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
    // A file whose size cannot be told, or that the stream's int length cannot hold,
    // loads nothing; Play then reports it.
    bool sized = length > 0 && length <= INT_MAX && std::fseek(file, 0, SEEK_SET) == 0;
    // Plain heap, never freed: the stream reads from it for the rest of the run.
    void* buffer = sized ? std::malloc(static_cast<size_t>(length)) : nullptr;
    if (buffer && std::fread(buffer, static_cast<size_t>(length), 1, file) != 1) {
        std::free(buffer);
        buffer = nullptr;
    }
    std::fclose(file);
    stream = buffer ? sound::StreamOpen(buffer, 0x8052, static_cast<int>(length)) : nullptr;
    // Nothing reads a buffer the stream layer refused.
    if (!stream) std::free(buffer);
    module = nullptr;
    return true;
}

void MusicPlayer::SetSyncCallback(SyncCallback callback) {
    if (module) sound::SetZxxCallback(module, callback);
}

bool MusicPlayer::Play() {
    if (stream) {
        int channel = sound::StreamPlay(-1, stream);
        if (channel == -1) {
            platform::ShowErrorBox(ErrorText(static_cast<unsigned>(sound::GetError())),
                                   "Sound Error");
            sound::Close();
            return false;
        }
        sound::SetPan(channel, -1);
        return true;
    }
    if (module) {
        sound::PlaySong(module);
        sound::SetMasterVolume(module, 255);
        return true;
    }
    platform::ShowErrorBox("Tried to play a song before loading anything!", "Sound Error");
    return false;
}

void MusicPlayer::Pause() {
    if (stream) sound::StreamStop(stream);
    if (module) sound::StopSong(module);
}

bool MusicPlayer::PlayFrom(uint32_t ms) {
    if (stream) {
        // A stream moved back is not one that started over.
        sound::StreamSetTime(stream, ms);
        lastStreamPosition = sound::StreamGetPosition(stream);
        return Play();
    }
    // A module that does not last so long stays silent; the show goes on.
    if (module) {
        sound::PlaySongFrom(module, ms);
        return true;
    }
    return Play();
}

std::vector<MusicSync> MusicPlayer::Syncs() const {
    std::vector<MusicSync> syncs;
    std::vector<sound::SongSync> song;
    if (!module || !sound::GetSongSyncs(module, &song)) return syncs;
    for (const sound::SongSync& sync : song) syncs.push_back({sync.ms, sync.param});
    return syncs;
}

bool MusicPlayer::CheckPosition() {
    int position = sound::StreamGetPosition(stream);
    int previous = lastStreamPosition;
    lastStreamPosition = position;
    return previous <= position;
}
