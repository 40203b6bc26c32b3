#include "engine/Schedule.h"

#include "utPublic/IniFile.h"
#include "utPublic/utPublicCore.h"

#include <algorithm>
#include <limits>

// The schedule seen as the string grid the row codec, the file's loader and
// saver and the row sort work on: row 0 the header, rows 1.. the sections.
class ScheduleGrid : public TStringGridLike {
public:
    explicit ScheduleGrid(Schedule& s) : s_(s) {}
    int ColCount() const override { return s_.columns_; }
    void SetColCount(int n) override {
        n = std::clamp(n, 1, Schedule::kMaxColumns);
        s_.columns_ = n;
        s_.header_.resize(n);
        for (Schedule::Row& r : s_.rows_)
            r.cells.resize(n);
    }
    int RowCount() const override { return int(s_.rows_.size()) + 1; }
    void SetRowCount(int n) override {
        // Rows are added one by one as a file loads: only the new ones are
        // given their cells.
        const qsizetype before = s_.rows_.size();
        s_.rows_.resize(std::max(0, n - 1));
        for (qsizetype r = before; r < s_.rows_.size(); ++r)
            s_.rows_[r].cells.resize(s_.columns_);
    }
    QString Cell(int col, int row) const override {
        if (col < 0 || col >= s_.columns_ || row < 0 || row > int(s_.rows_.size()))
            return {};
        if (row == 0)
            return s_.header_.value(col);
        return s_.rows_[row - 1].cells[col];
    }
    void SetCell(int col, int row, const QString& text) override {
        if (col < 0 || col >= s_.columns_ || row < 0 || row > int(s_.rows_.size()))
            return;
        (row == 0 ? s_.header_[col] : s_.rows_[row - 1].cells[col]) = text;
    }
    void ExchangeRows(int a, int b) override {
        if (a >= 1 && b >= 1 && a != b)
            s_.rows_.swapItemsAt(a - 1, b - 1);
        else
            TStringGridLike::ExchangeRows(a, b);
    }
    // No selection, scrolling or widths: a model, not a window.
    int Row() const override { return 1; }
    void SetRow(int) override {}
    int TopRow() const override { return 1; }
    void SetTopRow(int) override {}
    int ColWidth(int) const override { return 0; }
    void SetColWidth(int, int) override {}
    int GridWidth() const override { return 0; }
    bool HasVScrollBar() const override { return false; }

private:
    Schedule& s_;
};

const QStringList& Schedule::Titles() {
    // Row 0 of the schedule file holds them as written; the control window's
    // table shows their translation.
    static const QStringList titles = {QStringLiteral(QT_TRANSLATE_NOOP("TFrmMain", "序号")),
                                       QStringLiteral(QT_TRANSLATE_NOOP("TFrmMain", "播放")),
                                       QStringLiteral(QT_TRANSLATE_NOOP("TFrmMain", "加")),
                                       QStringLiteral(QT_TRANSLATE_NOOP("TFrmMain", "减")),
                                       QStringLiteral(QT_TRANSLATE_NOOP("TFrmMain", "时间点")),
                                       QStringLiteral(QT_TRANSLATE_NOOP("TFrmMain", "开播内容"))};
    return titles;
}

int32_t Schedule::TimePointMs(const QString& text) {
    // Seconds × 1000 in 64 bits: a huge or negative time point must not
    // turn into a negative position.
    const int64_t ms = int64_t(TimeStrToSec(text, QStringLiteral(":"))) * 1000;
    return int32_t(std::clamp<int64_t>(ms, 0, std::numeric_limits<int32_t>::max()));
}

Schedule::Schedule(QObject* parent) : QObject(parent), header_(Titles()) {
    rows_.append(Row{QStringList(kColumns, QString()), QString()});
    Renumber();
}

QString Schedule::Cell(int col, int row) const {
    if (!RowExists(row) || col < 0 || col >= columns_)
        return {};
    return rows_[row - 1].cells[col];
}

void Schedule::SetCell(int col, int row, const QString& text) {
    if (!RowExists(row) || col < 0 || col >= columns_ || rows_[row - 1].cells[col] == text)
        return;
    rows_[row - 1].cells[col] = text;
    emit RowChanged(row, col);
}

QString Schedule::StoredCount(int row) const {
    return RowExists(row) ? rows_[row - 1].storedCount : QString();
}

bool Schedule::HoldsSections() const {
    return !Count(1).isEmpty();
}

void Schedule::InsertRow(int at, const QStringList& cells) {
    Row r{cells, cells.value(ColCount)};
    r.cells.resize(columns_);
    if (!HoldsSections() && RowCount() == 1) {
        // The one empty row of a table without sections gives way.
        rows_[0] = r;
        Renumber();
        emit Reset();
        return;
    }
    at = std::clamp(at, 1, RowCount() + 1);
    rows_.insert(at - 1, r);
    Renumber();
    emit RowsInserted(at, at);
}

void Schedule::RemoveRow(int row) {
    if (!RowExists(row))
        return;
    if (RowCount() == 1) {
        // The last section leaves the one empty row of an empty table.
        rows_[0] = Row{QStringList(columns_, QString()), QString()};
    } else {
        rows_.removeAt(row - 1);
    }
    Renumber();
    emit RowsRemoved(row, row);
}

void Schedule::Load(const QString& file) {
    ScheduleGrid grid(*this);
    LoadGridFromIni(file, kScheduleSection, grid);
    // Whatever the file's header row held only sets the column count.
    if (columns_ < kColumns)
        grid.SetColCount(kColumns);
    for (int c = 0; c < kColumns; ++c)
        header_[c] = Titles()[c];
    Renumber();
    for (Row& r : rows_)
        r.storedCount = r.cells[ColCount];
    emit Reset();
}

void Schedule::Save(const QString& file) {
    if (file.isEmpty())
        return;
    for (Row& r : rows_)
        r.cells[ColTime] = SecToTimeStr(TimeStrToSec(r.cells[ColTime], QStringLiteral(":")));
    for (qsizetype i = 0; i < rows_.size(); ++i)
        rows_[i].origin = int(i) + 1;
    ScheduleGrid grid(*this);
    SortGridRows(grid, ColTime, 1, RowCount());
    Renumber();
    QList<int> origins;
    for (const Row& r : rows_)
        origins << r.origin;
    emit RowsSorted(origins);
    emit Reset();
    Write(file);
    for (Row& r : rows_)
        r.storedCount = r.cells[ColCount];
}

void Schedule::StoreMarkedRow(const QString& file, const QString& time) {
    // Playback has used up counts in the table; the schedule file is the
    // copy "复原播放安排表" brings back. So the new row goes in among the rows as
    // stored, read as loading reads them (up to the first missing key), and
    // no other row's cells change: those before it keep their lines, those
    // after it move down one key with their numbers.
    const int32_t markMs = TimePointMs(time);
    const auto key = [](int r) { return QStringLiteral("Row%1").arg(r); };
    QString reason;
    const bool stored = IniFile::Edit(
        file, true,
        [&](IniDocument& doc) {
            QStringList rows;
            const bool untitled = doc.Value(kScheduleSection, key(0)).value_or(QString()).isEmpty();
            for (int r = 0;; ++r) {
                const QString v = doc.Value(kScheduleSection, key(r)).value_or(QString());
                if (v.isEmpty())
                    break;
                rows << v;
            }
            if (rows.isEmpty())
                rows << EncodeRow(Titles());
            const int cols = std::max(int(kColumns), CountCellMarks(rows.first()));
            // A table without sections is one row with an empty count.
            if (rows.size() == 2 && DecodeRow(rows[1], cols).at(ColCount).isEmpty())
                rows.removeLast();
            int at = 1;
            while (at < rows.size() && TimePointMs(DecodeRow(rows[at], cols).at(ColTime)) <= markMs)
                ++at;
            QStringList cells(cols);
            cells[ColCount] = QStringLiteral("1");
            cells[ColPlus] = QStringLiteral("+");
            cells[ColMinus] = QStringLiteral("-");
            cells[ColTime] = time;
            rows.insert(at, EncodeRow(cells));
            if (untitled)
                doc.SetValue(kScheduleSection, key(0), rows.first());
            for (int r = at; r < rows.size(); ++r) {
                QStringList c = DecodeRow(rows[r], cols);
                c[ColNumber] = PadLeft(QString::number(r), QLatin1Char(' '), 3);
                doc.SetValue(kScheduleSection, key(r), EncodeRow(c));
            }
        },
        &reason);
    if (!stored)
        throw EWriteRefused(file, reason);
}

void Schedule::Write(const QString& file) const {
    // The grid only reads here.
    ScheduleGrid grid(const_cast<Schedule&>(*this));
    SaveGridToIni(file, kScheduleSection, grid);
}

void Schedule::RestoreStoredCounts() {
    for (Row& r : rows_)
        r.cells[ColCount] = r.storedCount;
    emit Reset();
}

void Schedule::SetHeaderCell(int col, const QString& text) {
    if (col < 0 || col >= columns_ || header_[col] == text)
        return;
    header_[col] = text;
    emit RowChanged(0, col);
}

void Schedule::SetColumnCount(int n) {
    n = std::clamp(n, 1, kMaxColumns);
    if (n == columns_)
        return;
    ScheduleGrid(*this).SetColCount(n);
    emit Reset();
}

void Schedule::SetRowCount(int n) {
    n = std::max(n, 1);
    const int before = RowCount();
    if (n == before)
        return;
    ScheduleGrid(*this).SetRowCount(n + 1);
    if (n > before)
        emit RowsInserted(before + 1, n);
    else
        emit RowsRemoved(n + 1, before);
}

void Schedule::ExchangeRows(int a, int b) {
    if (!RowExists(a) || !RowExists(b) || a == b)
        return;
    rows_.swapItemsAt(a - 1, b - 1);
    emit RowChanged(a, -1);
    emit RowChanged(b, -1);
}

void Schedule::Renumber() {
    for (int r = 0; r < RowCount(); ++r)
        rows_[r].cells[ColNumber] = PadLeft(QString::number(r + 1), QLatin1Char(' '), 3);
}
