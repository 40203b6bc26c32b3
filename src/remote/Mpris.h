// The player on the desktop's session bus as an MPRIS 2 media player
// (org.mpris.MediaPlayer2.tavrelo): media keys, the desktop's media widgets
// and phone bridges that speak MPRIS reach it there. A section of the
// schedule is a track: Next and Previous move between sections, the track id
// names the section, and the title carries the file name, the section number
// and its description. Position and length are the section's, as clients
// expect of a track (they count a new track's position from 0).
#pragma once

#include "remote/RemotePlayer.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

class TMprisService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.tavrelo";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    // Registers on the given bus; null when there is no bus or it refuses the
    // object. A name already owned (a second player running) is taken with
    // an ".instance<pid>" suffix, as media players do.
    static TMprisService* Create(TRemotePlayer* player, const QDBusConnection& bus,
                                 QObject* parent = nullptr);
    ~TMprisService() override;

    TRemotePlayer* Player() const { return player_; }
    QDBusConnection Bus() const { return bus_; }
    QString ServiceName() const { return serviceName_; }

    // The track id of a section ("/org/mpris/MediaPlayer2/tavrelo/section/3").
    static QDBusObjectPath TrackId(int section);
    QVariantMap Metadata(const TRemoteState& s) const;
    // The properties of the player interface that are announced when they
    // change (all but Position).
    QVariantMap PlayerProperties(const TRemoteState& s) const;

private:
    TMprisService(TRemotePlayer* player, const QDBusConnection& bus, QObject* parent);
    void PlayerStateChanged(int reasons);

    QPointer<TRemotePlayer> player_;
    QDBusConnection bus_;
    QString serviceName_;
    QVariantMap announced_; // the player properties as last announced
};

// org.mpris.MediaPlayer2
class TMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit TMprisRootAdaptor(TMprisService* service);
    // Ending the practice is the user's decision at the computer.
    bool CanQuit() const { return false; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Tavrelo"); }
    QString DesktopEntry() const { return QStringLiteral("tavrelo"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const;

public slots:
    void Raise();
    void Quit() {}

private:
    TMprisService* service_;
};

// org.mpris.MediaPlayer2.Player
class TMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ MinimumRate)
    Q_PROPERTY(double MaximumRate READ MaximumRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit TMprisPlayerAdaptor(TMprisService* service);

    QString PlaybackStatus() const;
    double Rate() const;
    void SetRate(double rate);
    double MinimumRate() const;
    double MaximumRate() const;
    QVariantMap Metadata() const;
    double Volume() const; // 0..1
    void SetVolume(double volume);
    qlonglong Position() const; // µs
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanControl() const { return true; }

public slots:
    void Next() { Forward(&TRemotePlayer::NextSection); }
    void Previous() { Forward(&TRemotePlayer::PreviousSection); }
    void Pause() { Forward(&TRemotePlayer::Pause); }
    void PlayPause() { Forward(&TRemotePlayer::PlayPause); }
    void Stop() { Forward(&TRemotePlayer::Stop); }
    void Play() { Forward(&TRemotePlayer::Play); }
    void Seek(qlonglong offset);                                          // µs
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position); // µs
    void OpenUri(const QString& uri, const QDBusMessage& message);

signals:
    void Seeked(qlonglong position); // µs

private:
    TRemoteState State() const;
    // The player, or null while its transport is not its own to steer
    // (following a leader): play, pause, seek, rate and sections rest then.
    TRemotePlayer* Steerable() const;
    // Hands a command on to the player, while there is one to steer.
    void Forward(void (TRemotePlayer::*command)());
    TMprisService* service_;
};
