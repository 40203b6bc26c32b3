// The schedule: one row per section of the media, as the schedule file
// holds it (section "Sect", keys Row0..Rown, cells separated by "^^").
//
// Rows are numbered from 1 like the table shows them; row 0 is the header.
// Each row keeps its cells as text, exactly as loaded or typed, so a save
// writes the same bytes the table shows. Two counts per row:
// - Count(): the plays still to go, shown in the "播放" column; playback
//   uses it up and the count buttons change it;
// - StoredCount(): the count as the schedule file holds it (set by Load,
//   Save and a mark). A mark and a loop pass never change it.
// A table without sections holds exactly one row, empty but for its number.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>

class Schedule : public QObject {
    Q_OBJECT
public:
    // The table's columns; a file may bring more, which are kept and saved.
    enum Column { ColNumber, ColCount, ColPlus, ColMinus, ColTime, ColDescription, kColumns };
    // The header row: "序号", "播放", "加", "减", "时间点", "开播内容".
    static const QStringList& Titles();
    // A time point "mm:ss" as a media position: seconds × 1000, held inside
    // 0 .. 2^31 - 1 ms.
    static int32_t TimePointMs(const QString& text);

    explicit Schedule(QObject* parent = nullptr);

    // Data rows (at least 1).
    int RowCount() const { return int(rows_.size()); }
    bool RowExists(int row) const { return row >= 1 && row <= RowCount(); }
    // Columns of every row, the header's included (at least kColumns).
    int ColumnCount() const { return columns_; }
    // Out of range: empty text; nothing is changed.
    QString Cell(int col, int row) const;
    void SetCell(int col, int row, const QString& text);

    QString Count(int row) const { return Cell(ColCount, row); }
    void SetCount(int row, const QString& text) { SetCell(ColCount, row, text); }
    QString StoredCount(int row) const;
    QString TimeText(int row) const { return Cell(ColTime, row); }
    int32_t StartMs(int row) const { return TimePointMs(TimeText(row)); }
    QString Description(int row) const { return Cell(ColDescription, row); }
    // Whether any row holds a section (row 1's count is not empty).
    bool HoldsSections() const;

    // Inserts a row before row `at` (RowCount() + 1: at the end) and
    // renumbers; its stored count is its count. In a table without
    // sections the new row takes the place of the empty one.
    void InsertRow(int at, const QStringList& cells);
    void RemoveRow(int row);

    // Replaces the table by the file's "Sect" rows (one empty row when
    // there are none); the header becomes Titles(), the rows are numbered.
    void Load(const QString& file);
    // Time points normalised to "mm:ss", rows sorted by them (as text, the
    // sort the program always used), renumbered and written; the counts
    // shown become the stored ones.
    void Save(const QString& file);
    // What a mark stores: a new row (count 1, time point `time`) put in among
    // the file's rows as stored, after every row at or before its time; no
    // other row's cells change (counts used up by playback, unsaved edits and
    // the file's order stay as the file has them). Throws EWriteRefused.
    static void StoreMarkedRow(const QString& file, const QString& time);
    // Every row's count back to its stored one (a loop pass with
    // "chkLoopCounts" on).
    void RestoreStoredCounts();

    // --- The table as the control window's grid edits it -----------------------
    // Row 0, the header, as stored (the titles and any extra cells).
    QString HeaderCell(int col) const { return header_.value(col); }
    void SetHeaderCell(int col, const QString& text);
    // 1..kMaxColumns; cells beyond the count are dropped.
    void SetColumnCount(int n);
    // Data rows, at least 1; new rows are empty.
    void SetRowCount(int n);
    void ExchangeRows(int a, int b);
    // A file's header may announce any number of cells; every column costs
    // memory per row and a place in the painted row.
    static constexpr int kMaxColumns = 64;

signals:
    void RowsInserted(int first, int last);
    void RowsRemoved(int first, int last);
    // One cell changed by SetCell (also a count used up by playback); row 0:
    // the header; column -1: the whole row (rows exchanged).
    void RowChanged(int row, int column);
    // Everything may have changed: loaded, sorted, counts restored.
    void Reset();
    // Save sorted the rows: row i+1 is the row that was origins[i] before.
    // Comes before the Reset of that save.
    void RowsSorted(const QList<int>& origins);

private:
    struct Row {
        QStringList cells; // ColumnCount() texts
        QString storedCount;
        int origin = 0; // while a save sorts: the row's number before
    };
    friend class ScheduleGrid;
    void Renumber();
    void Write(const QString& file) const;

    QStringList header_;
    QList<Row> rows_;
    int columns_ = kColumns;
};
