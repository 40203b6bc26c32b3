// What a remote control (the desktop's media bus, the phone page) sees of
// the player and may ask of it. The remotes know nothing of the control
// window: the window hands them a TRemotePlayer that forwards every request
// to its own actions, so a key, a bus call and a phone button all take the
// same path.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

// Why the player's state changed (bit flags, several at once).
enum TRemoteChange : int {
    rcSection = 1,   // another section was entered
    rcRepeat = 2,    // the section started again (a repetition or a restart)
    rcSeek = 4,      // the position jumped
    rcPlayState = 8, // playing, paused or stopped
    rcRate = 16,
    rcVolume = 32,
    rcFile = 64,
    rcControls = 128 // the control window was shown or hidden
};

struct TRemoteState {
    QString Status = QStringLiteral("Stopped"); // "Playing", "Paused" or "Stopped"
    QString File;                               // file name without folder; empty: none
    QString FilePath;                           // full path; empty: none
    int Section = 0;                            // 1-based row of the schedule; 0: none
    int SectionCount = 0;
    QString Description;
    int Repeat = 0;         // which play of the section this is (1-based)
    int RepeatOf = 0;       // the section's count when it started
    int64_t PositionMs = 0; // in the media
    int64_t DurationMs = 0;
    // The section's stretch of the media; its end is the media's end for
    // the last section.
    int64_t SectionStartMs = 0;
    int64_t SectionEndMs = 0;
    double Rate = 1.0;
    int Volume = 0; // 0..10000
    QString EndMode;
    bool ControlsVisible = false;

    // "2 / 3", or empty when no section plays.
    QString RepeatText() const {
        return RepeatOf > 0 ? QStringLiteral("%1 / %2").arg(Repeat).arg(RepeatOf) : QString();
    }
};

// The remote-side view of the player. Every request runs on the
// user-interface thread and may keep handling events while the player waits
// (a section start waits a moment): a remote must not rely on its state
// between the call and its return.
class TRemotePlayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual TRemoteState State() const = 0;
    // The transport is not the remote's to steer now (the player follows a
    // leader): a remote says so instead of carrying a command out.
    virtual bool Busy() const { return false; }
    // The rates the player offers, ascending.
    virtual QList<double> Rates() const = 0;

    virtual void PlayPause() = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Skip(int seconds) = 0;  // -10 / +10
    virtual void SeekTo(int64_t ms) = 0; // inside the media, else ignored
    virtual void VolumeStep(int percent) = 0;
    virtual void SetVolume(int volume) = 0;   // 0..10000
    virtual void RateStep(int direction) = 0; // -1 / +1: the neighbouring rate
    virtual void SetRate(double rate) = 0;    // snapped to the nearest offered rate
    virtual void NextSection() = 0;
    virtual void PreviousSection() = 0;
    virtual void RestartSection() = 0;
    virtual void PlaySectionNumber(int n) = 0; // 1-based; ignored when there is none
    virtual void ToggleControls() = 0;
    virtual void ShowControls() = 0;
    // A local media file, opened as if chosen in the open dialog; why it was
    // not (the file is no media file, opening is locked), empty when it was.
    virtual QString OpenFile(const QString& path) = 0;

signals:
    void StateChanged(int reasons);
};
