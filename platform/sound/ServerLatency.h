// What a sound server reports of the sound this process plays through it: how long a
// frame written now waits in the stream's buffer and in the device behind it before it
// is heard. SDL writes to the server and keeps this to itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace sound {

class ServerLatency {
public:
    ServerLatency();
    ~ServerLatency();
    ServerLatency(const ServerLatency&) = delete;
    ServerLatency& operator=(const ServerLatency&) = delete;

    // Connects to the session's server (PulseAudio's protocol, which PipeWire speaks
    // too) and asks it a few times a second from a thread of its own. False where there
    // is none to ask (or on a system without one), and then nothing is ever reported.
    bool Start();
    void Stop();
    // The last report for this process's playback streams, in ns; 0 before the first.
    int64_t LatencyNs() const { return latencyNs_.load(std::memory_order_relaxed); }

    struct Connection;  // the server side, per system

private:
    std::unique_ptr<Connection> connection_;
    std::atomic<int64_t> latencyNs_{0};
};

}  // namespace sound
