#include "controls/FontCatalog.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <cmath>

namespace {

const QString kSongTi = QStringLiteral("宋体");

// Song-style (serif) faces first: they look like the requested face; then
// any face that covers simplified Chinese.
QString ChooseSongTiFallback() {
    const QStringList installed = QFontDatabase::families();
    const QStringList preferred = {
        QStringLiteral("SimSun"),
        QStringLiteral("NSimSun"),
        QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("AR PL UMing CN"),
        QStringLiteral("AR PL SungtiL GB"),
        QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Droid Sans Fallback"),
    };
    for (const QString& name : preferred) {
        if (installed.contains(name, Qt::CaseInsensitive))
            return name;
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    if (!chinese.isEmpty())
        return chinese.first();
    return kSongTi; // nothing better: let Qt's own substitution decide
}

QMutex cacheLock;

int TextCellHeight(QFont f, int px) {
    f.setPixelSize(px);
    return QFontMetrics(f).size(Qt::TextSingleLine, QStringLiteral("JR")).height();
}

} // namespace

QString ResolveFontFamily(const QString& requested) {
    if (requested.compare(kSongTi) != 0 &&
        requested.compare(QStringLiteral("SimSun"), Qt::CaseInsensitive) != 0)
        return requested;
    // Chosen once per run, so every caption uses the same face.
    static const QString chosen = [] {
        if (QFontDatabase::families().contains(kSongTi))
            return kSongTi;
        return ChooseSongTiFallback();
    }();
    return chosen;
}

QFont MakeFontPx(const QString& family, int pixelHeight) {
    QFont f(ResolveFontFamily(family));
    f.setStyleStrategy(QFont::PreferDefault);
    if (pixelHeight <= 0) {
        f.setPixelSize(1);
        return f;
    }
    // The pixel size giving this cell height depends on the face's ascent
    // and descent; search it once per (family, height).
    static QHash<QString, int> cache;
    const QString key = f.family() + QLatin1Char('/') + QString::number(pixelHeight);
    {
        QMutexLocker lock(&cacheLock);
        auto it = cache.constFind(key);
        if (it != cache.constEnd()) {
            f.setPixelSize(it.value());
            return f;
        }
    }
    auto heightAt = [&f](int px) { return TextCellHeight(f, px); };
    const int first = heightAt(pixelHeight);
    int px = first > 0 ? std::max(1, int(std::lround(double(pixelHeight) * pixelHeight / first)))
                       : pixelHeight;
    while (px > 1 && heightAt(px) > pixelHeight)
        --px;
    while (heightAt(px + 1) <= pixelHeight)
        ++px;
    {
        QMutexLocker lock(&cacheLock);
        cache.insert(key, px);
    }
    f.setPixelSize(px);
    return f;
}

QFont MakeFontPt(const QString& family, int points) {
    // At the layouts' 96 dots per inch a point is 4/3 of a pixel; the
    // original face's cell height equals its em size.
    return MakeFontPx(family, int(std::lround(points * 96.0 / 72.0)));
}

QFont SongTiFont(int pixelHeight) {
    return MakeFontPx(kSongTi, pixelHeight);
}
