#include "controls/FontCatalog.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

#include <algorithm>
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
    // Qt's pixel size is the em size, as the original's negative heights.
    f.setPixelSize(std::max(1, pixelHeight));
    return f;
}

QFont MakeFontPt(const QString& family, int points) {
    // Not QFont::setPointSize: the layouts assume 96 dots per inch whatever
    // the screen reports.
    return MakeFontPx(family, int(std::lround(points * 96.0 / 72.0)));
}

QFont SongTiFont(int pixelHeight) {
    return MakeFontPx(kSongTi, pixelHeight);
}

namespace {
bool IsSongTi(const QFont& f) {
    return f.family() == ResolveFontFamily(kSongTi);
}
int EmPixels(const QFont& f) {
    return f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
}
} // namespace

int LayoutTextHeight(const QFont& f) {
    if (IsSongTi(f))
        return EmPixels(f);
    return QFontMetrics(f).size(Qt::TextSingleLine, QStringLiteral("JR")).height();
}

int LayoutTextRaise(const QFont& f) {
    if (!IsSongTi(f))
        return 0;
    // Line the em boxes up: the original's cell is its em box, and a CJK
    // face's em box reaches 0.88 em above the baseline; the stand-ins'
    // taller ascents would push the glyphs down and out of the boxes.
    const int raise = QFontMetrics(f).ascent() - int(std::lround(EmPixels(f) * 0.88));
    return std::max(0, raise);
}
