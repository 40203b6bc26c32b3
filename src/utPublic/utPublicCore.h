// The helpers that need no window: field splitting, "mm:ss" time text, the
// "YES"/"NO" switches, decimal integers, one-shot INI access, the grid
// interface with its row sorting, and the schedule file's row encoding.
// Qt Core only: the section engine uses them without any window code.
#pragma once

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

class IniDocument;

// An error raised by a helper and meant for the application's top-level
// error display (a message box titled "Tavrelo" with the text).
class EAppError : public std::runtime_error {
public:
    explicit EAppError(const QString& text) : std::runtime_error(text.toStdString()) {}
    QString Text() const { return QString::fromStdString(what()); }
};

// A write to a settings or schedule file that the system refused. The text
// is "Unable to write to <file>: <reason>", the reason in the system's words
// ("Permission denied").
class EWriteRefused : public EAppError {
public:
    EWriteRefused(const QString& file, const QString& reason);
    QString File() const { return file_; }

private:
    QString file_;
};

// --- Text and time ---------------------------------------------------------

int FieldCount(const QString& text, const QString& sep);
QString GetField(const QString& text, const QString& sep, int n);
int TimeStrToSec(const QString& text, const QString& sep = QStringLiteral(":"));
QString SecToTimeStr(int seconds);
bool TextToBool(const QString& text);
QString BoolToText(bool b);
QString PadLeft(const QString& text, QChar fill, int width);

// Nearest integer, halves to the even neighbour (2.5 gives 2); NaN gives 0
// and out-of-range values are held at the 32-bit limits.
inline int RoundHalfEven(double v) {
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v);
    if (r >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (r <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int>(r);
}

// --- INI access (each call opens the file for that one access) -------------

// Raises EWriteRefused when the write is refused.
void WriteIniStr(const QString& file, const QString& section, const QString& key,
                 const QString& value);
QString ReadIniText(const QString& file, const QString& section, const QString& key);
QString ReadIniStr(const QString& file, const QString& section, const QString& key,
                   const QString& def);
void EraseIniSection(const QString& file, const QString& section);

// The schedule file of a media file: the extension's dot dropped and ".INI"
// added, beside the media (dance.mp4 gives dancemp4.INI). Both separators
// count, so that paths an older installation stored ("D:\v\dance.mp4")
// follow the same rule; a bare name (no folder, no drive letter) goes into
// appPath, which ends with a separator.
QString ScheduleFileName(const QString& mediaPath, const QString& appPath);

// Decimal integer text with optional leading blanks and sign; anything else
// (trailing characters, empty text, a value beyond 32 bits) gives def.
int StrToIntDef(const QString& text, int def);

// --- Grids -------------------------------------------------------------------

// The string grid the helpers work on: cells addressed (column, row) from 0,
// row 0 the fixed header row. The schedule grid of the control window
// implements it.
class TStringGridLike {
public:
    virtual ~TStringGridLike() = default;
    virtual int ColCount() const = 0;
    virtual void SetColCount(int n) = 0;
    virtual int RowCount() const = 0;
    virtual void SetRowCount(int n) = 0;
    virtual QString Cell(int col, int row) const = 0;
    virtual void SetCell(int col, int row, const QString& text) = 0;
    // The selected row.
    virtual int Row() const = 0;
    virtual void SetRow(int row) = 0;
    // The top visible (scrollable) row.
    virtual int TopRow() const = 0;
    virtual void SetTopRow(int row) = 0;
    virtual int ColWidth(int col) const = 0;
    virtual void SetColWidth(int col, int width) = 0;
    // Width of the grid's client area in pixels.
    virtual int GridWidth() const = 0;
    virtual bool HasVScrollBar() const = 0;
    // Exchanges the texts of every column of rows a and b.
    virtual void ExchangeRows(int a, int b);
    // Empties every cell of a row.
    virtual void ClearRow(int row);
    // Takes row (1..RowCount()-1) out: the rows below move up one.
    virtual void RemoveRow(int row);
};

// Byte-wise (UTF-8) quicksort of rows first..last by the text in column col.
void SortGridRows(TStringGridLike& grid, int col, int first, int last);

// --- Row encoding of the schedule file ----------------------------------------

// The schedule's rows are keys "Row0" (the column titles), "Row1", ... of
// this section; each value is every cell followed by the mark "^^".
inline const QString kScheduleSection = QStringLiteral("Sect");
QString EncodeRow(const QStringList& cells);
// The first cols cells of a row's value (missing ones empty): the text up to
// each mark, and the text after the last mark for the cell after it.
QStringList DecodeRow(const QString& text, int cols);
QString RowToText(const TStringGridLike& grid, int row);
void TextToRow(const QString& text, TStringGridLike& grid, int row);
int CountCellMarks(const QString& text);
// Rewrites the whole section in one replacement of the file.
void SaveGridToIni(const QString& file, const QString& section, const TStringGridLike& grid);
void LoadGridFromIni(const QString& file, const QString& section, TStringGridLike& grid);
// The same on a document in memory (the two above read or edit the file once
// through these).
void SaveGridToDocument(IniDocument& doc, const QString& section, const TStringGridLike& grid);
void LoadGridFromDocument(const IniDocument& doc, const QString& section, TStringGridLike& grid);

// --- Media files ----------------------------------------------------------------

// Why path cannot be handed to the media framework ("it is a named pipe, not
// a regular file"), empty for a regular file. Never opens the file, so a
// named pipe or a device cannot block.
QString MediaFileRefusal(const QString& path);

// --- Delays --------------------------------------------------------------------

// Counts per second of the high-resolution (monotonic) counter; 0 if none. Read at
// start; InitPublicModule reads it again.
extern int64_t PerfFrequency;

// Waits while the event loop keeps processing events (clicks, timers, media
// notifications may run inside the wait); sleeps until the next event or the
// deadline instead of spinning. DelayMs(0) returns without processing events.
void DelayUs(int32_t us, int64_t freq);
void DelayMs(int32_t ms);
