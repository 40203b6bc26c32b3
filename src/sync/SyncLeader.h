// The leader's side of a room of players: reads the section engine (its
// properties and change signals) and the graph's place on the shared clock,
// and publishes the whole state as a SyncMessage on every change and every
// kHeartbeatMs. Publishing is a signal: the remote server sends it to its
// paired followers, never waiting for one.
#pragma once

#include "sync/SyncMessage.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class SectionEngine;
class SyncGraph;

class SyncLeader : public QObject {
    Q_OBJECT
public:
    static constexpr int kHeartbeatMs = 500;
    // How often a run not yet settled on the clock (a start, a seek, a new
    // rate on its way) is looked at again.
    static constexpr int kSettlePollMs = 10;

    SyncLeader(SectionEngine& engine, SyncGraph& graph, QObject* parent = nullptr);

    void SetClockPort(uint16_t port) { clockPort_ = port; }
    uint16_t ClockPort() const { return clockPort_; }
    // The state now; nothing while a run is not yet settled on the clock.
    std::optional<SyncState> Current();
    // The last message published (sent to a follower when it joins).
    QByteArray LastMessage() const { return last_; }

signals:
    void Publish(const QByteArray& message);

private:
    void Update(bool always);
    void OnState();

    SectionEngine& engine_;
    SyncGraph& graph_;
    uint16_t clockPort_ = 0;
    uint64_t seq_ = 0;
    QByteArray last_;
    std::optional<SyncState> lastState_;
    QTimer heartbeat_;
    QTimer settle_;     // a run waiting for its place on the clock; the countdown
    QElapsedTimer gap_; // since the repeat pause began
    QString idFile_;    // the file whose identity is in id_
    int64_t idSize_ = -1;
    SyncFileId id_;
};
