// The server's report through libpulse: the sink inputs of this process, queried from a
// threaded main loop on a timer.
#include "ServerLatency.h"

#include <pulse/pulseaudio.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace sound {

namespace {
constexpr pa_usec_t kQueryEveryUs = 250000;
}

struct ServerLatency::Connection {
    std::atomic<int64_t>* out = nullptr;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_time_event* timer = nullptr;
    std::string pid = std::to_string(getpid());
    pa_usec_t largest = 0;  // of this round's sink inputs
    bool found = false;

    static void StateChanged(pa_context* c, void* user) {
        auto* self = static_cast<Connection*>(user);
        const pa_context_state_t state = pa_context_get_state(c);
        if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
            pa_threaded_mainloop_signal(self->loop, 0);
    }

    // One sink input per call, then a last call with eol set.
    static void SinkInput(pa_context*, const pa_sink_input_info* info, int eol, void* user) {
        auto* self = static_cast<Connection*>(user);
        if (eol) {
            // The queue's fill swings with each write; a running mean steadies it.
            if (!self->found) return;
            const int64_t now = static_cast<int64_t>(self->largest) * 1000;
            const int64_t last = self->out->load(std::memory_order_relaxed);
            self->out->store(last > 0 ? (3 * last + now) / 4 : now, std::memory_order_relaxed);
            return;
        }
        const char* pid = info->proplist
                              ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID)
                              : nullptr;
        if (!pid || self->pid != pid || info->corked) return;
        const pa_usec_t latency = info->buffer_usec + info->sink_usec;
        if (!self->found || latency > self->largest) self->largest = latency;
        self->found = true;
    }

    static void Tick(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* user) {
        auto* self = static_cast<Connection*>(user);
        self->largest = 0;
        self->found = false;
        if (pa_operation* op = pa_context_get_sink_input_info_list(self->context, SinkInput, self))
            pa_operation_unref(op);
        pa_context_rttime_restart(self->context, event, pa_rtclock_now() + kQueryEveryUs);
    }
};

ServerLatency::ServerLatency() = default;
ServerLatency::~ServerLatency() { Stop(); }

bool ServerLatency::Start() {
    Stop();
    auto c = std::make_unique<Connection>();
    c->out = &latencyNs_;
    latencyNs_.store(0);
    c->loop = pa_threaded_mainloop_new();
    if (!c->loop) return false;
    c->context = pa_context_new(pa_threaded_mainloop_get_api(c->loop), "kavlo latency");
    if (!c->context) {
        pa_threaded_mainloop_free(c->loop);
        return false;
    }
    pa_context_set_state_callback(c->context, Connection::StateChanged, c.get());
    pa_threaded_mainloop_lock(c->loop);
    bool ready = pa_context_connect(c->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                 pa_threaded_mainloop_start(c->loop) >= 0;
    while (ready) {
        const pa_context_state_t state = pa_context_get_state(c->context);
        if (state == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(state)) ready = false;
        else pa_threaded_mainloop_wait(c->loop);
    }
    if (ready)
        c->timer = pa_context_rttime_new(c->context, pa_rtclock_now(), Connection::Tick, c.get());
    pa_threaded_mainloop_unlock(c->loop);
    connection_ = std::move(c);
    if (!ready || !connection_->timer) {
        Stop();
        return false;
    }
    return true;
}

void ServerLatency::Stop() {
    if (!connection_) return;
    Connection& c = *connection_;
    if (c.loop) {
        pa_threaded_mainloop_lock(c.loop);
        if (c.timer) pa_threaded_mainloop_get_api(c.loop)->time_free(c.timer);
        if (c.context) pa_context_disconnect(c.context);
        pa_threaded_mainloop_unlock(c.loop);
        pa_threaded_mainloop_stop(c.loop);
        if (c.context) pa_context_unref(c.context);
        pa_threaded_mainloop_free(c.loop);
    }
    connection_.reset();
}

}  // namespace sound
