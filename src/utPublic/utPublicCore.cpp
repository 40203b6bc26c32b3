// Helpers without window code: text and time, switches, integers, INI
// access, the grid interface's row operations and sort, the row encoding.
#include "utPublic/utPublicCore.h"

#include "utPublic/Clock.h"
#include "utPublic/IniFile.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <QHash>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

int64_t PerfFrequency = QueryPerfFrequency();

namespace {

// Blanks and control characters, as trimmed around a time field.
QStringView TrimControls(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

// A decimal integer with an optional sign that fits 32 bits; 0 otherwise.
int64_t IntOrZero(QStringView s) {
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    return ok ? v : 0;
}

// a * b / c without overflowing for the counts used here (c > 0), truncating
// toward zero like the rest of the arithmetic.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
    return a / c * b + a % c * b / c;
}

// Waits until ticks counts of the high-resolution counter have passed since
// start. Events are handled while waiting: any handler of the program may run
// inside (a click, a position tick, a media notification) and may itself
// call DelayMs. Between events the thread sleeps in the event loop; a timer
// wakes it at the deadline.
void WaitTicks(int64_t start, int64_t ticks, int64_t freq) {
    std::optional<QTimer> wake;
    for (;;) {
        const int64_t passed = ReadPerfCounter() - start;
        if (passed >= ticks)
            return;
        const int64_t leftNs = MulDiv(ticks - passed, 1000000000, freq);
        if (!QCoreApplication::instance() || !QAbstractEventDispatcher::instance()) {
            SleepNs(leftNs); // no event loop on this thread: nothing to handle
            continue;
        }
        if (!wake) {
            wake.emplace();
            wake->setSingleShot(true);
            wake->setTimerType(Qt::PreciseTimer);
        }
        if (!wake->isActive())
            wake->start(int(std::clamp<int64_t>((leftNs + 999999) / 1000000, 1, INT_MAX)));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace

EWriteRefused::EWriteRefused(const QString& file, const QString& reason)
    : EAppError(QCoreApplication::translate("Messages", "Unable to write to %1: %2")
                    .arg(file, reason.isEmpty()
                                   ? QCoreApplication::translate("Messages", "unknown reason")
                                   : reason)),
      file_(file) {}

// --- Text and time ---------------------------------------------------------

int FieldCount(const QString& text, const QString& sep) {
    if (sep.isEmpty())
        return 1;
    int count = 1;
    for (qsizetype at = text.indexOf(sep); at >= 0; at = text.indexOf(sep, at + sep.size()))
        ++count;
    return count;
}

QString GetField(const QString& text, const QString& sep, int n) {
    if (n < 1 || FieldCount(text, sep) < n)
        return QString();
    if (sep.isEmpty())
        return text;
    qsizetype begin = 0;
    for (int k = 1; k < n; ++k)
        begin = text.indexOf(sep, begin) + sep.size();
    const qsizetype end = text.indexOf(sep, begin);
    return end < 0 ? text.mid(begin) : text.mid(begin, end - begin);
}

int TimeStrToSec(const QString& text, const QString& sep) {
    // 64 bits inside: absurdly many minutes saturate instead of wrapping.
    int64_t seconds = 0;
    const QString minutes = GetField(text, sep, 1);
    const QStringView m = TrimControls(minutes);
    if (!m.isEmpty())
        seconds += 60 * IntOrZero(m);
    const QString rest = GetField(text, sep, 2);
    const QStringView s = TrimControls(rest);
    if (!s.isEmpty())
        seconds += IntOrZero(s);
    return int(std::clamp<int64_t>(seconds, INT_MIN, INT_MAX));
}

// A negative time is written as 00:00, the position playback takes it for;
// for every other count TimeStrToSec(SecToTimeStr(n)) == n.
QString SecToTimeStr(int seconds) {
    seconds = qMax(0, seconds);
    const int minutes = seconds / 60;
    const int rest = seconds - 60 * minutes;
    return QString::asprintf("%2.2d:%2.2d", minutes, rest);
}

bool TextToBool(const QString& text) {
    QString upper = text;
    for (QChar& c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 'a' + 'A');
    return upper == QLatin1String("YES") || upper == QLatin1String("TRUE");
}

QString BoolToText(bool b) {
    return b ? QStringLiteral("YES") : QStringLiteral("NO");
}

QString PadLeft(const QString& text, QChar fill, int width) {
    if (width < 0)
        return QString();
    if (text.size() < width)
        return QString(width - text.size(), fill) + text;
    return text;
}

// --- INI access --------------------------------------------------------------

void WriteIniStr(const QString& file, const QString& section, const QString& key,
                 const QString& value) {
    if (file.isEmpty())
        return;
    QString reason;
    if (!IniFile::Edit(
            file, true, [&](IniDocument& doc) { doc.SetValue(section, key, value); }, &reason))
        throw EWriteRefused(file, reason);
}

QString ReadIniText(const QString& file, const QString& section, const QString& key) {
    return IniFile::ReadValue(file, section, key).value_or(QString());
}

QString ReadIniStr(const QString& file, const QString& section, const QString& key,
                   const QString& def) {
    return IniFile::ReadValue(file, section, key).value_or(def);
}

QString ScheduleFileName(const QString& mediaPath, const QString& appPath) {
    const int sep =
        std::max(mediaPath.lastIndexOf(QLatin1Char('/')), mediaPath.lastIndexOf(QLatin1Char('\\')));
    const int dot = mediaPath.lastIndexOf(QLatin1Char('.'));
    QString name;
    if (dot > sep)
        name = mediaPath.left(dot) + mediaPath.mid(dot + 1) + QStringLiteral(".INI");
    else
        name = mediaPath + QStringLiteral(".INI");
    const bool hasDir = sep >= 0 || (name.size() >= 2 && name.at(1) == QLatin1Char(':'));
    if (!hasDir)
        name = appPath + name;
    return name;
}

void EraseIniSection(const QString& file, const QString& section) {
    if (!IniFile::Exists(file))
        return;
    QString reason;
    if (!IniFile::Edit(
            file, false, [&](IniDocument& doc) { doc.EraseSection(section); }, &reason))
        throw EWriteRefused(file, reason);
}

// Rows are written in one replacement of the file, with the same result as
// erasing the section and writing the rows one by one: no write that fails
// halfway can leave the table cut short, and a large table costs one write.
void SaveGridToIni(const QString& file, const QString& section, const TStringGridLike& grid) {
    if (file.isEmpty())
        return;
    QString reason;
    const bool ok = IniFile::Edit(
        file, true, [&](IniDocument& doc) { SaveGridToDocument(doc, section, grid); }, &reason);
    if (!ok)
        throw EWriteRefused(file, reason);
}

void SaveGridToDocument(IniDocument& doc, const QString& section, const TStringGridLike& grid) {
    QList<std::pair<QString, QString>> rows;
    rows.reserve(grid.RowCount());
    for (int i = 0; i < grid.RowCount(); ++i)
        rows.append({QStringLiteral("Row%1").arg(i), RowToText(grid, i)});
    doc.ReplaceSection(section, rows);
}

// Reads the file once; the rows are the same as reading key after key.
void LoadGridFromIni(const QString& file, const QString& section, TStringGridLike& grid) {
    LoadGridFromDocument(IniFile::Load(file).value_or(IniDocument()), section, grid);
}

void LoadGridFromDocument(const IniDocument& doc, const QString& section, TStringGridLike& grid) {
    for (int r = 1; r < grid.RowCount(); ++r)
        grid.ClearRow(r);
    grid.SetRowCount(2);
    grid.ClearRow(1);
    // Key names compare without regard to case; the first of equal names counts.
    QHash<QString, QString> stored;
    for (const auto& [key, value] : doc.Entries(section)) {
        const QString folded = key.toCaseFolded();
        if (!stored.contains(folded))
            stored.insert(folded, value);
    }
    for (int i = 0;; ++i) {
        const auto found = stored.constFind(QStringLiteral("row%1").arg(i));
        if (found == stored.cend() || found->isEmpty())
            return;
        const QString v = CutToEncodedBytes(*found, doc.FileEncoding(), kIniMaxValueBytes);
        if (i == 0 && grid.ColCount() < CountCellMarks(v))
            grid.SetColCount(CountCellMarks(v));
        if (grid.RowCount() < i + 1)
            grid.SetRowCount(i + 1);
        TextToRow(v, grid, i);
    }
}

int StrToIntDef(const QString& text, int def) {
    int i = 0;
    const int n = text.size();
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i >= n)
        return def;
    int64_t v = 0;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return def;
        v = v * 10 + (c.unicode() - '0');
        if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1)
            return def;
    }
    if (negative)
        v = -v;
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return def;
    return static_cast<int>(v);
}

// --- TStringGridLike ----------------------------------------------------------

void TStringGridLike::ExchangeRows(int a, int b) {
    if (a == b)
        return;
    for (int c = 0; c < ColCount(); ++c) {
        const QString t = Cell(c, a);
        SetCell(c, a, Cell(c, b));
        SetCell(c, b, t);
    }
}

void TStringGridLike::ClearRow(int row) {
    for (int c = 0; c < ColCount(); ++c)
        SetCell(c, row, QString());
}

void TStringGridLike::RemoveRow(int row) {
    const int last = RowCount() - 1;
    for (int k = row; k < last; ++k)
        for (int c = 0; c < ColCount(); ++c)
            SetCell(c, k, Cell(c, k + 1));
    ClearRow(last);
    SetRowCount(last);
}

namespace {

// Cell texts compare as their UTF-8 bytes, unsigned; a prefix sorts first.
QByteArray SortKey(const TStringGridLike& grid, int col, int row) {
    return grid.Cell(col, row).toUtf8();
}

// The middle row is the pivot. The smaller part is sorted by a recursive
// call and the larger one by the next round of the loop, so the depth stays
// below log2(n) whatever the order of the rows; the parts are disjoint, so
// the comparisons and exchanges, and the resulting order, are those of
// sorting the left part first.
void SortRange(TStringGridLike& grid, int col, int first, int last) {
    while (first < last) { // first >= last: nothing to order; keeps the scans inside
        int i = first;
        int j = last;
        if (i + 1 == j && SortKey(grid, col, i) > SortKey(grid, col, j)) {
            grid.ExchangeRows(i, j);
            return;
        }
        const QByteArray pivot = SortKey(grid, col, (first + last) / 2);
        do {
            while (SortKey(grid, col, i) < pivot)
                ++i;
            while (SortKey(grid, col, j) > pivot)
                --j;
            if (i <= j) {
                grid.ExchangeRows(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        // Parts [first, j] and [i, last]; one that holds a single row or
        // none is already in order.
        if (j - first < last - i) {
            if (j > first)
                SortRange(grid, col, first, j);
            first = i;
        } else {
            if (i < last)
                SortRange(grid, col, i, last);
            last = j;
        }
    }
}

} // namespace

void SortGridRows(TStringGridLike& grid, int col, int first, int last) {
    SortRange(grid, col, first, last);
}

// --- Row encoding ---------------------------------------------------------------------

namespace {
const QString kCellMark = QStringLiteral("^^");
}

QString EncodeRow(const QStringList& cells) {
    QString text;
    for (const QString& cell : cells)
        text += cell + kCellMark;
    return text;
}

QStringList DecodeRow(const QString& text, int cols) {
    QStringList cells;
    qsizetype from = 0;
    for (int c = 0; c < cols; ++c) {
        const qsizetype mark = from < 0 ? -1 : text.indexOf(kCellMark, from);
        if (mark < 0) {
            cells.append(from < 0 ? QString() : text.mid(from));
            from = -1;
            continue;
        }
        cells.append(text.mid(from, mark - from));
        from = mark + kCellMark.size();
    }
    return cells;
}

QString RowToText(const TStringGridLike& grid, int row) {
    QStringList cells;
    for (int c = 0; c < grid.ColCount(); ++c)
        cells.append(grid.Cell(c, row));
    return EncodeRow(cells);
}

void TextToRow(const QString& text, TStringGridLike& grid, int row) {
    const QStringList cells = DecodeRow(text, grid.ColCount());
    for (int c = 0; c < grid.ColCount(); ++c)
        grid.SetCell(c, row, cells[c]);
}

int CountCellMarks(const QString& text) {
    int count = 0;
    for (qsizetype at = text.indexOf(kCellMark); at >= 0;
         at = text.indexOf(kCellMark, at + kCellMark.size()))
        ++count;
    return count;
}

// --- Delays ------------------------------------------------------------------------

void DelayUs(int32_t us, int64_t freq) {
    const int64_t start = ReadPerfCounter();
    if (start == 0)
        return;
    WaitTicks(start, freq > 0 ? MulDiv(us, freq, 1000000) : 0, freq);
}

// The microseconds are counted in 64 bits, so a wait of more than 2147483 ms
// lasts as long as asked instead of a wrapped-around time.
void DelayMs(int32_t ms) {
    const int64_t start = ReadPerfCounter();
    if (start == 0)
        return;
    const int64_t freq = PerfFrequency;
    WaitTicks(start, freq > 0 ? MulDiv(int64_t(ms) * 1000, freq, 1000000) : 0, freq);
}

QString MediaFileRefusal(const QString& path) {
    // stat, not open: opening a named pipe waits for a writer.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? QCoreApplication::translate("Messages", "it does not exist")
                               : QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISREG(st.st_mode))
        return {};
    QString kind = QCoreApplication::translate("Messages", "a special file");
    if (S_ISFIFO(st.st_mode))
        kind = QCoreApplication::translate("Messages", "a named pipe");
    else if (S_ISDIR(st.st_mode))
        kind = QCoreApplication::translate("Messages", "a folder");
    else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        kind = QCoreApplication::translate("Messages", "a device");
    else if (S_ISSOCK(st.st_mode))
        kind = QCoreApplication::translate("Messages", "a socket");
    return QCoreApplication::translate("Messages", "it is %1, not a regular file").arg(kind);
}
