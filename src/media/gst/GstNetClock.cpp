// The shared clock of a room of players (see GstNetClock.h).
#include "media/gst/GstNetClock.h"

#include <gst/net/net.h>

#include <mutex>

namespace {

std::mutex lock;
GstClock* shared = nullptr;             // the clock pipelines use, or null
GstNetTimeProvider* provider = nullptr; // leading: publishes `shared`
bool following = false;
gint64 followingSinceUs = 0; // g_get_monotonic_time() when following began

// The client clock asks the leader every kPollNs and fits its line over the
// last kWindow answers. GStreamer's own pace (one question a second, 32
// answers) takes some 20 s to settle within a few ms when the network's
// delay varies by a few ms; ten a second settle within about a second and
// cost a follower 10 small datagrams a second.
constexpr guint64 kPollNs = 100 * GST_MSECOND;
constexpr int kWindow = 64;
// Its first answers carry the network's jitter whole; the room's time is
// trusted once the clock has had this long to average them.
constexpr gint64 kSettleUs = 1000 * 1000;

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
    followingSinceUs = g_get_monotonic_time();
    // The pace is the shared internal clock's (the one that asks); the
    // same-named properties of the clock handed out are not passed on to it.
    GstClock* asking = nullptr;
    if (shared)
        g_object_get(shared, "internal-clock", &asking, nullptr);
    if (asking) {
        g_object_set(asking, "timeout", kPollNs, "window-size", kWindow, nullptr);
        gst_object_unref(asking);
    }
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
    return !following ||
           (gst_clock_is_synced(shared) && g_get_monotonic_time() - followingSinceUs >= kSettleUs);
}

void UseNetClock(GstElement* pipeline) {
    if (GstClock* clock = NetClockRef()) {
        gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
        gst_object_unref(clock);
    }
}
