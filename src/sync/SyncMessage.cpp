#include "sync/SyncMessage.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace {

constexpr int64_t kMiB = 1024 * 1024;
// Clock and media times fit a double exactly below 2^53 ns (104 days).
constexpr double kMaxNs = 9007199254740992.0;

const char* PlayName(SyncState::Play p) {
    switch (p) {
    case SyncState::Play::Hold:
        return "hold";
    case SyncState::Play::Run:
        return "run";
    case SyncState::Play::Ended:
        return "ended";
    default:
        return "idle";
    }
}

const char* EndName(EndMode m) {
    switch (m) {
    case EndMode::Exit:
        return "exit";
    case EndMode::PowerOff:
        return "poweroff";
    default:
        return "loop";
    }
}

// A whole number in [lo, hi], or nothing.
std::optional<int64_t> Whole(const QJsonValue& v, double lo, double hi) {
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < lo || d > hi)
        return std::nullopt;
    return int64_t(d);
}

bool IsHex(const QString& s) {
    for (const QChar c : s)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

} // namespace

SyncFileId SyncFileId::Of(const QString& path) {
    SyncFileId id;
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return id;
    const int64_t size = f.size();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QByteArray head = f.read(std::min(size, kMiB));
    if (head.size() != std::min(size, kMiB))
        return id;
    hash.addData(head);
    if (size > kMiB) {
        const int64_t tailFrom = std::max(kMiB, size - kMiB);
        if (!f.seek(tailFrom))
            return id;
        const QByteArray tail = f.read(size - tailFrom);
        if (tail.size() != size - tailFrom)
            return id;
        hash.addData(tail);
    }
    id.Name = QFileInfo(path).fileName();
    id.Size = size;
    id.Hash = hash.result().toHex();
    return id;
}

QByteArray SyncMessage::Encode(const SyncState& s) {
    QJsonObject file;
    if (s.File.Valid())
        file = {{QStringLiteral("name"), s.File.Name.left(kMaxNameChars)},
                {QStringLiteral("size"), double(s.File.Size)},
                {QStringLiteral("hash"), QString::fromLatin1(s.File.Hash)}};
    const QJsonObject o{
        {QStringLiteral("v"), 1},
        {QStringLiteral("seq"), double(s.Seq)},
        {QStringLiteral("play"), QLatin1String(PlayName(s.PlayState))},
        {QStringLiteral("file"), file},
        {QStringLiteral("section"), s.Section},
        {QStringLiteral("repeat"), s.Repeat},
        {QStringLiteral("of"), s.Of},
        {QStringLiteral("sectionEnd"), double(s.SectionEndMs)},
        {QStringLiteral("line"), s.Line.left(kMaxLineChars)},
        {QStringLiteral("notice"), s.Notice},
        {QStringLiteral("countdown"), s.Countdown},
        {QStringLiteral("clock"), double(s.ClockNs)},
        {QStringLiteral("pos"), double(s.PositionNs)},
        {QStringLiteral("rate"), s.Rate},
        {QStringLiteral("end"), QLatin1String(EndName(s.End))},
        {QStringLiteral("clockPort"), int(s.ClockPort)},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<SyncState> SyncMessage::Decode(const QByteArray& text, QString* why) {
    auto refuse = [why](const QString& reason) -> std::optional<SyncState> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (text.size() > kMaxBytes)
        return refuse(QStringLiteral("too large"));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return refuse(QStringLiteral("not a JSON object"));
    const QJsonObject o = doc.object();
    static const QSet<QString> keys{
        QStringLiteral("v"),        QStringLiteral("seq"),        QStringLiteral("play"),
        QStringLiteral("file"),     QStringLiteral("section"),    QStringLiteral("repeat"),
        QStringLiteral("of"),       QStringLiteral("sectionEnd"), QStringLiteral("line"),
        QStringLiteral("notice"),   QStringLiteral("countdown"),  QStringLiteral("clock"),
        QStringLiteral("pos"),      QStringLiteral("rate"),       QStringLiteral("end"),
        QStringLiteral("clockPort")};
    if (o.size() != keys.size())
        return refuse(QStringLiteral("expected %1 fields").arg(keys.size()));
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!keys.contains(it.key()))
            return refuse(QStringLiteral("unknown field %1").arg(it.key().left(32)));
    if (Whole(o.value(QStringLiteral("v")), 1, 1) != 1)
        return refuse(QStringLiteral("unknown version"));

    SyncState s;
    const auto seq = Whole(o.value(QStringLiteral("seq")), 0, kMaxNs);
    const auto section = Whole(o.value(QStringLiteral("section")), 0, 1000000);
    const auto repeat = Whole(o.value(QStringLiteral("repeat")), 0, 1000000);
    const auto of = Whole(o.value(QStringLiteral("of")), 0, 1000000);
    const auto sectionEnd = Whole(o.value(QStringLiteral("sectionEnd")), 0, kMaxNs / 1e6);
    const auto countdown = Whole(o.value(QStringLiteral("countdown")), 0, 3600);
    const auto clock = Whole(o.value(QStringLiteral("clock")), 0, kMaxNs);
    const auto pos = Whole(o.value(QStringLiteral("pos")), 0, kMaxNs);
    const auto port = Whole(o.value(QStringLiteral("clockPort")), 0, 65535);
    if (!seq || !section || !repeat || !of || !sectionEnd || !countdown || !clock || !pos || !port)
        return refuse(QStringLiteral("a number out of range"));
    const QJsonValue rate = o.value(QStringLiteral("rate"));
    if (!rate.isDouble() || !(rate.toDouble() >= kMinRate && rate.toDouble() <= kMaxRate))
        return refuse(QStringLiteral("rate out of range"));
    const QJsonValue line = o.value(QStringLiteral("line"));
    const QJsonValue notice = o.value(QStringLiteral("notice"));
    if (!line.isString() || line.toString().size() > kMaxLineChars || !notice.isBool())
        return refuse(QStringLiteral("bad line or notice"));

    const QString play = o.value(QStringLiteral("play")).toString();
    if (play == QLatin1String("idle"))
        s.PlayState = SyncState::Play::Idle;
    else if (play == QLatin1String("hold"))
        s.PlayState = SyncState::Play::Hold;
    else if (play == QLatin1String("run"))
        s.PlayState = SyncState::Play::Run;
    else if (play == QLatin1String("ended"))
        s.PlayState = SyncState::Play::Ended;
    else
        return refuse(QStringLiteral("unknown play state"));
    const QString end = o.value(QStringLiteral("end")).toString();
    if (end == QLatin1String("exit"))
        s.End = EndMode::Exit;
    else if (end == QLatin1String("poweroff"))
        s.End = EndMode::PowerOff;
    else if (end == QLatin1String("loop"))
        s.End = EndMode::Loop;
    else
        return refuse(QStringLiteral("unknown end mode"));

    const QJsonValue fileValue = o.value(QStringLiteral("file"));
    if (!fileValue.isObject())
        return refuse(QStringLiteral("file is no object"));
    const QJsonObject file = fileValue.toObject();
    if (!file.isEmpty()) {
        const QJsonValue name = file.value(QStringLiteral("name"));
        const auto size = Whole(file.value(QStringLiteral("size")), 0, kMaxNs);
        const QJsonValue hash = file.value(QStringLiteral("hash"));
        // A bare name: never a path that could point anywhere.
        if (file.size() != 3 || !name.isString() || name.toString().isEmpty() ||
            name.toString().size() > kMaxNameChars || name.toString().contains(u'/') ||
            name.toString().contains(u'\\') || name.toString() == QLatin1String("..") || !size ||
            !hash.isString() || hash.toString().size() != 64 || !IsHex(hash.toString()))
            return refuse(QStringLiteral("bad file identity"));
        s.File.Name = name.toString();
        s.File.Size = *size;
        s.File.Hash = hash.toString().toLatin1();
    }
    if (s.PlayState != SyncState::Play::Idle && s.PlayState != SyncState::Play::Ended &&
        !s.File.Valid())
        return refuse(QStringLiteral("playing without a file"));
    if (*port == 0 && s.PlayState == SyncState::Play::Run)
        return refuse(QStringLiteral("running without a clock"));

    s.Seq = uint64_t(*seq);
    s.Section = int(*section);
    s.Repeat = int(*repeat);
    s.Of = int(*of);
    s.SectionEndMs = *sectionEnd;
    s.Line = line.toString();
    s.Notice = notice.toBool();
    s.Countdown = int(*countdown);
    s.ClockNs = *clock;
    s.PositionNs = *pos;
    s.Rate = rate.toDouble();
    s.ClockPort = uint16_t(*port);
    return s;
}
