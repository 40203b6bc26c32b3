#include "remote/Mpris.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The track id of "no track", as the MPRIS interface defines it.
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

constexpr int64_t kUsPerMs = 1000;

// The position inside the section, in µs.
int64_t TrackPositionUs(const TRemoteState& s) {
    return std::max<int64_t>(0, s.PositionMs - s.SectionStartMs) * kUsPerMs;
}

} // namespace

// --- Service ------------------------------------------------------------------------

TMprisService* TMprisService::Create(TRemotePlayer* player, const QDBusConnection& bus,
                                     QObject* parent) {
    if (!player || !bus.isConnected())
        return nullptr;
    auto* service = new TMprisService(player, bus, parent);
    new TMprisRootAdaptor(service);
    new TMprisPlayerAdaptor(service);
    QDBusConnection connection = bus;
    if (!connection.registerObject(QLatin1String(kObjectPath), service,
                                   QDBusConnection::ExportAdaptors)) {
        delete service;
        return nullptr;
    }
    QString name = QLatin1String(kServiceName);
    if (!connection.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!connection.registerService(name)) {
            connection.unregisterObject(QLatin1String(kObjectPath));
            delete service;
            return nullptr;
        }
    }
    service->serviceName_ = name;
    service->announced_ = service->PlayerProperties(player->State());
    return service;
}

TMprisService::TMprisService(TRemotePlayer* player, const QDBusConnection& bus, QObject* parent)
    : QObject(parent), player_(player), bus_(bus) {
    connect(player, &TRemotePlayer::StateChanged, this, &TMprisService::PlayerStateChanged);
}

TMprisService::~TMprisService() {
    if (!serviceName_.isEmpty()) {
        bus_.unregisterService(serviceName_);
        bus_.unregisterObject(QLatin1String(kObjectPath));
    }
}

QDBusObjectPath TMprisService::TrackId(int section) {
    if (section <= 0)
        return QDBusObjectPath(kNoTrack);
    return QDBusObjectPath(
        QStringLiteral("/org/mpris/MediaPlayer2/tavrelo/section/%1").arg(section));
}

QVariantMap TMprisService::Metadata(const TRemoteState& s) const {
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId(s.Section)));
    if (s.File.isEmpty())
        return m;
    QString title = s.File;
    if (s.Section > 0)
        title += QStringLiteral(" #%1").arg(s.Section);
    if (!s.Description.isEmpty())
        title += QLatin1Char(' ') + s.Description;
    m.insert(QStringLiteral("xesam:title"), title);
    m.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(s.FilePath).toString());
    if (s.SectionEndMs > s.SectionStartMs)
        m.insert(QStringLiteral("mpris:length"),
                 qlonglong((s.SectionEndMs - s.SectionStartMs) * kUsPerMs));
    return m;
}

QVariantMap TMprisService::PlayerProperties(const TRemoteState& s) const {
    const bool file = !s.File.isEmpty();
    QVariantMap p;
    p.insert(QStringLiteral("PlaybackStatus"), s.Status);
    p.insert(QStringLiteral("Rate"), s.Rate);
    p.insert(QStringLiteral("Volume"), s.Volume / 10000.0);
    p.insert(QStringLiteral("Metadata"), Metadata(s));
    p.insert(QStringLiteral("CanGoNext"), file && s.Section > 0 && s.Section < s.SectionCount);
    p.insert(QStringLiteral("CanGoPrevious"), file && s.Section > 0);
    p.insert(QStringLiteral("CanPlay"), file);
    p.insert(QStringLiteral("CanPause"), file);
    p.insert(QStringLiteral("CanSeek"), file && s.DurationMs > 0);
    return p;
}

void TMprisService::PlayerStateChanged(int reasons) {
    if (!player_)
        return;
    const TRemoteState s = player_->State();
    const QVariantMap now = PlayerProperties(s);
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    announced_ = now;
    if (!changed.isEmpty()) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QLatin1String(kObjectPath), kPropertiesInterface, QStringLiteral("PropertiesChanged"));
        signal << kPlayerInterface << changed << QStringList();
        bus_.send(signal);
    }
    if (reasons & (rcSeek | rcRepeat))
        if (auto* adaptor = findChild<TMprisPlayerAdaptor*>())
            emit adaptor->Seeked(qlonglong(TrackPositionUs(s)));
}

// --- org.mpris.MediaPlayer2 -------------------------------------------------------

TMprisRootAdaptor::TMprisRootAdaptor(TMprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

QStringList TMprisRootAdaptor::SupportedMimeTypes() const {
    return {QStringLiteral("video/mp4"),       QStringLiteral("video/x-matroska"),
            QStringLiteral("video/x-msvideo"), QStringLiteral("video/mpeg"),
            QStringLiteral("video/x-flv"),     QStringLiteral("video/x-ms-wmv"),
            QStringLiteral("video/quicktime"), QStringLiteral("video/mp2t"),
            QStringLiteral("audio/mpeg"),      QStringLiteral("audio/x-wav"),
            QStringLiteral("audio/x-ms-wma")};
}

void TMprisRootAdaptor::Raise() {
    if (TRemotePlayer* p = service_->Player())
        p->ShowControls();
}

// --- org.mpris.MediaPlayer2.Player ----------------------------------------------------

TMprisPlayerAdaptor::TMprisPlayerAdaptor(TMprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

TRemoteState TMprisPlayerAdaptor::State() const {
    TRemotePlayer* p = service_->Player();
    return p ? p->State() : TRemoteState{};
}

QString TMprisPlayerAdaptor::PlaybackStatus() const {
    return State().Status;
}

double TMprisPlayerAdaptor::Rate() const {
    return State().Rate;
}

void TMprisPlayerAdaptor::SetRate(double rate) {
    // A rate of 0 (which would mean pause) or anything not a number is not
    // one of the offered rates: ignored.
    if (TRemotePlayer* p = Steerable(); p && std::isfinite(rate) && rate > 0)
        p->SetRate(std::clamp(rate, MinimumRate(), MaximumRate()));
}

double TMprisPlayerAdaptor::MinimumRate() const {
    const TRemotePlayer* p = service_->Player();
    const QList<double> rates = p ? p->Rates() : QList<double>{};
    return rates.isEmpty() ? 1.0 : rates.first();
}

double TMprisPlayerAdaptor::MaximumRate() const {
    const TRemotePlayer* p = service_->Player();
    const QList<double> rates = p ? p->Rates() : QList<double>{};
    return rates.isEmpty() ? 1.0 : rates.last();
}

QVariantMap TMprisPlayerAdaptor::Metadata() const {
    return service_->Metadata(State());
}

double TMprisPlayerAdaptor::Volume() const {
    return State().Volume / 10000.0;
}

void TMprisPlayerAdaptor::SetVolume(double volume) {
    if (TRemotePlayer* p = service_->Player(); p && std::isfinite(volume))
        p->SetVolume(int(std::lround(std::clamp(volume, 0.0, 1.0) * 10000)));
}

qlonglong TMprisPlayerAdaptor::Position() const {
    return qlonglong(TrackPositionUs(State()));
}

bool TMprisPlayerAdaptor::CanGoNext() const {
    return service_->PlayerProperties(State()).value(QStringLiteral("CanGoNext")).toBool();
}

bool TMprisPlayerAdaptor::CanGoPrevious() const {
    return service_->PlayerProperties(State()).value(QStringLiteral("CanGoPrevious")).toBool();
}

bool TMprisPlayerAdaptor::CanPlay() const {
    return !State().File.isEmpty();
}

bool TMprisPlayerAdaptor::CanPause() const {
    return !State().File.isEmpty();
}

bool TMprisPlayerAdaptor::CanSeek() const {
    const TRemoteState s = State();
    return !s.File.isEmpty() && s.DurationMs > 0;
}

TRemotePlayer* TMprisPlayerAdaptor::Steerable() const {
    TRemotePlayer* p = service_->Player();
    return p && !p->Busy() ? p : nullptr;
}

void TMprisPlayerAdaptor::Forward(void (TRemotePlayer::*command)()) {
    if (TRemotePlayer* p = Steerable())
        (p->*command)();
}

void TMprisPlayerAdaptor::Seek(qlonglong offset) {
    TRemotePlayer* p = Steerable();
    if (!p)
        return;
    const TRemoteState s = p->State();
    if (s.DurationMs <= 0 || s.Section <= 0)
        return;
    const int64_t to = s.PositionMs + offset / kUsPerMs;
    // Past the section's end counts as Next, as the interface asks; before
    // its start is its start.
    if (to >= s.SectionEndMs)
        p->NextSection();
    else
        p->SeekTo(std::max(to, s.SectionStartMs));
}

void TMprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
    TRemotePlayer* p = Steerable();
    if (!p)
        return;
    const TRemoteState s = p->State();
    // A stale track id (another section has begun since) is ignored.
    if (s.Section <= 0 || trackId != TMprisService::TrackId(s.Section) || position < 0 ||
        position / kUsPerMs > s.SectionEndMs - s.SectionStartMs)
        return;
    p->SeekTo(s.SectionStartMs + position / kUsPerMs);
}

void TMprisPlayerAdaptor::OpenUri(const QString& uri, const QDBusMessage& message) {
    QUrl url(uri, QUrl::StrictMode);
    const bool local = url.isValid() && url.isLocalFile() &&
                       (url.host().isEmpty() || url.host() == QLatin1String("localhost"));
    // "file://localhost/a" is "file:///a" (RFC 8089); a host left in would
    // make a network path of it.
    url.setHost({});
    const QString path = local ? url.toLocalFile() : QString();
    TRemotePlayer* p = service_->Player();
    QString error = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    QString why;
    if (!local)
        why = QStringLiteral("Only local files (file://) can be opened: %1").arg(uri);
    else if (!QFileInfo::exists(path))
        why = QStringLiteral("No such file: %1").arg(path);
    else if (!p)
        why = QStringLiteral("No player");
    else if (const QString refusal = p->OpenFile(path); !refusal.isEmpty()) {
        // The file is there: the player says why it did not open it.
        error = QStringLiteral("org.freedesktop.DBus.Error.Failed");
        why = QStringLiteral("Not opened: %1: %2").arg(path, refusal);
    }
    if (!why.isEmpty()) {
        message.setDelayedReply(true);
        service_->Bus().send(message.createErrorReply(error, why));
    }
}
