// A room of players in step, as the control window offers it: "领播" (lead)
// and "跟播" (follow) in the practice row, and, while "跟播" is on, a panel at
// the foot of the table with the leader's address and PIN, what the
// follower is doing, this screen's latency offset, and "退出跟播". Leading serves the room over the
// phone remote's server (its port, PIN and hardening); following plays what the leader plays
// (sync/SyncFollower.h) while the window's own engine rests.
#pragma once

#include <QElapsedTimer>
#include <QObject>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class SyncFollower;
class SyncLeader;
class SyncLink;
class TFrmMain;

class TFrmMainSync : public QObject {
    Q_OBJECT
public:
    explicit TFrmMainSync(TFrmMain& frm);

    QCheckBox* chkLead = nullptr;
    QCheckBox* chkFollow = nullptr;
    QFrame* plSync = nullptr; // the follower's panel, inside the window
    QLineEdit* edFollowAddress = nullptr;
    QLineEdit* edFollowPin = nullptr;
    QLabel* lbSync = nullptr;
    QPushButton* btnLeave = nullptr;
    // This screen's latency offset (ms, stored as FollowLatencyMs).
    QSpinBox* seLatency = nullptr;

    bool Following() const { return follower_ != nullptr; }
    bool Leading() const { return leader_ != nullptr; }
    // The UDP port the leader's clock answers on; 0 when not leading.
    uint16_t ClockPort() const;
    // The switches as stored; from FormCreate, once the window is up.
    void LoadSwitches();

    void chkLeadClick(QObject* Sender);
    void chkFollowClick(QObject* Sender);
    void btnLeaveClick(QObject* Sender);
    void seLatencyChange(QObject* Sender);
    void PlacePanel();

private:
    void StartLeading();
    void StopLeading();
    void StartFollowing();
    void StopFollowing();
    void ShowFollowerStatus();
    void EnableTransport(bool on);

    // Connected to the leader, how long the clock has been waited for; past
    // kClockWaitMs the panel says the clock's port may be blocked.
    static constexpr int kClockWaitMs = 10000;
    QElapsedTimer clockWait_;

    TFrmMain& frm_;
    SyncLeader* leader_ = nullptr;
    SyncFollower* follower_ = nullptr;
    SyncLink* link_ = nullptr;
};
