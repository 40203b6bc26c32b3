// The shared clock of a room of players: a leader publishes its pipelines'
// clock on the network (GstNetTimeProvider, UDP), a follower's pipelines run
// on a GstNetClientClock that follows it. Process-wide: every pipeline built
// while a mode is on uses that clock; nothing changes while it is off.
// No Qt here: GIO's headers, which GStreamer's network library brings in,
// use Qt's keywords as names. Internal to src/media/gst/ (the rest of the program goes through
// engine/SyncGraph.h and SetSyncClock in media/GraphPlayback.h).
#pragma once

#include <gst/gst.h>

#include <cstdint>

// Publishes the system clock on address:port (0: any free port); *port gets
// the port bound. False when the port cannot be bound.
bool LeadNetClock(const char* address, uint16_t* port);
// Follows the clock published on address:port.
void FollowNetClock(const char* address, uint16_t port);
// Back to each pipeline's own choice of clock.
void StopNetClock();
// The clock pipelines use now (a new reference), or null when no mode is on.
GstClock* NetClockRef();
// The client clock has found the leader's time and had a moment to settle
// on it (always true when leading).
bool NetClockSynced();
// Makes pipeline use the shared clock when a mode is on.
void UseNetClock(GstElement* pipeline);
