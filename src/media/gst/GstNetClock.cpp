// The shared clock of a room of players (see GstNetClock.h).
#include "media/gst/GstNetClock.h"

#include <gst/net/net.h>

#include <mutex>

namespace {

std::mutex lock;
GstClock* shared = nullptr;             // the clock pipelines use, or null
GstNetTimeProvider* provider = nullptr; // leading: publishes `shared`
bool following = false;

void ResetLocked() {
    if (provider)
        gst_object_unref(provider);
    if (shared)
        gst_object_unref(shared);
    provider = nullptr;
    shared = nullptr;
    following = false;
}

} // namespace

bool LeadNetClock(const char* address, uint16_t* port) {
    std::lock_guard<std::mutex> guard(lock);
    ResetLocked();
    // The system clock (CLOCK_MONOTONIC) rather than a sound card's: it is
    // there for every pipeline and every file, and the sinks slave to it.
    GstClock* clock = gst_system_clock_obtain();
    GstNetTimeProvider* p = gst_net_time_provider_new(clock, address, port ? *port : 0);
    if (!p) {
        gst_object_unref(clock);
        return false;
    }
    gint bound = 0;
    g_object_get(p, "port", &bound, nullptr);
    if (port)
        *port = uint16_t(bound);
    provider = p;
    shared = clock;
    return true;
}

void FollowNetClock(const char* address, uint16_t port) {
    std::lock_guard<std::mutex> guard(lock);
    ResetLocked();
    // Starts near the local monotonic time; the first exchanges with the
    // leader move it to the leader's.
    GstClock* system = gst_system_clock_obtain();
    const GstClockTime now = gst_clock_get_time(system);
    gst_object_unref(system);
    shared = gst_net_client_clock_new("tavrelo-room-clock", address, port, now);
    following = shared != nullptr;
}

void StopNetClock() {
    std::lock_guard<std::mutex> guard(lock);
    ResetLocked();
}

GstClock* NetClockRef() {
    std::lock_guard<std::mutex> guard(lock);
    return shared ? GST_CLOCK(gst_object_ref(shared)) : nullptr;
}

bool NetClockSynced() {
    std::lock_guard<std::mutex> guard(lock);
    if (!shared)
        return false;
    return !following || gst_clock_is_synced(shared);
}

void UseNetClock(GstElement* pipeline) {
    if (GstClock* clock = NetClockRef()) {
        gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
        gst_object_unref(clock);
    }
}
