// The silent output's pace on systems with threads: a thread of its own, one buffer at
// a time, each due a whole buffer after the one before on the steady clock, so it keeps
// the mix rate exactly however late a single wake-up comes.
#include "SilentOutput.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace sound::silent {
namespace {

std::thread thread;
std::mutex lock;
std::atomic<bool> stop{false};

void Run(int rate, int frames, MixFunction mix, std::vector<float> buffer) {
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t n = 1; !stop.load(std::memory_order_acquire); ++n) {
        {
            std::lock_guard<std::mutex> hold(lock);
            mix(buffer.data(), frames);
        }
        std::this_thread::sleep_until(
            start + std::chrono::nanoseconds(static_cast<int64_t>(n * frames * 1000000000.0 / rate)));
    }
}

}  // namespace

bool Start(int rate, int frames, MixFunction mix) {
    if (thread.joinable()) return false;
    stop.store(false);
    thread = std::thread(Run, rate, frames, mix, std::vector<float>(2 * static_cast<size_t>(frames)));
    return true;
}

void Stop() {
    stop.store(true, std::memory_order_release);
    if (thread.joinable()) thread.join();
}

void Lock() { lock.lock(); }
void Unlock() { lock.unlock(); }

}  // namespace sound::silent
