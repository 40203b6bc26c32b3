// Shared pieces of the control window's tests: a temporary folder holding
// the settings file, helpers that read settings and schedule files the way
// a person would look at them, and a window built on that folder.
#pragma once

#include "uFrmMain.h"
#include "uFrmMainGrid.h"
#include "utPublic/GbkCodec.h"
#include "utPublic/utPublic.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace FrmMainTest {

// Writes a file in UTF-8 (default) or GBK, with LF or CRLF line ends.
inline bool WriteText(const QString& path, const QStringList& lines, bool gbk = false,
                      bool crlf = false) {
    QString text = lines.join(crlf ? QStringLiteral("\r\n") : QStringLiteral("\n"));
    text += crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QByteArray bytes;
    if (gbk) {
        if (!GbkCodec::Encode(text, &bytes))
            return false;
    } else {
        bytes = text.toUtf8();
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// The file's lines, decoded as UTF-8 when valid, else as GBK; line ends cut.
inline QStringList ReadLines(const QString& path) {
    const QByteArray bytes = ReadBytes(path);
    QString text;
    if (IsValidUtf8(bytes))
        text = QString::fromUtf8(bytes);
    else
        GbkCodec::Decode(bytes, &text);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The keys of the file's entry lines, in file order.
inline QStringList Keys(const QString& path) {
    QStringList keys;
    for (const QString& line : ReadLines(path)) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys << line.left(eq);
    }
    return keys;
}

inline QString StoredSetting(const QString& key) {
    return ReadIniText(IniFileName, QStringLiteral("START"), key);
}

// A temporary folder with the settings file in it; the window is made on
// demand so that a test can prepare the files first.
class Env {
public:
    Env() { IniFileName = dir.filePath(QStringLiteral("system.INI")); }
    ~Env() { frm.reset(); }
    QString Path(const QString& name) const { return dir.filePath(name); }
    // A media file that exists (its content does not matter here).
    QString Media(const QString& name = QStringLiteral("舞蹈.mp4")) const {
        const QString p = Path(name);
        QFile f(p);
        if (f.open(QIODevice::WriteOnly))
            f.write("media");
        return p;
    }
    // Settings lines written before the window is made.
    bool Settings(const QStringList& lines, bool gbk = false, bool crlf = false) const {
        return WriteText(IniFileName, QStringList{QStringLiteral("[START]")} + lines, gbk, crlf);
    }
    TFrmMain& Make() {
        frm = std::make_unique<TFrmMain>();
        return *frm;
    }
    // Writes a schedule file for media: the header row and the given rows,
    // each "count|time|description".
    static bool Schedule(const TFrmMain& f, const QString& media, const QStringList& rows,
                         const QStringList& extra = {}) {
        QStringList lines{QStringLiteral("[Sect]"),
                          QStringLiteral("Row0=序号^^播放^^加^^减^^时间点^^开播内容^^")};
        for (int i = 0; i < rows.size(); ++i) {
            const QStringList p = rows[i].split(QLatin1Char('|'));
            lines << QStringLiteral("Row%1=").arg(i + 1) +
                         EncodeRow({QStringLiteral("%1").arg(i + 1, 3), p.value(0),
                                    QStringLiteral("+"), QStringLiteral("-"), p.value(1),
                                    p.value(2)});
        }
        return WriteText(f.ScheduleFileNameFor(media), lines + extra);
    }

    QTemporaryDir dir;
    std::unique_ptr<TFrmMain> frm;
};

// Texts of one grid column, rows 1..RowCount-1.
inline QStringList Column(const TScheduleGrid& g, int col) {
    QStringList out;
    for (int r = 1; r < g.RowCount(); ++r)
        out << g.Cell(col, r);
    return out;
}

// The values of Row1.. as the file holds them (blanks included), split into
// cells; stops at the first missing row.
inline QList<QStringList> SavedRows(const QString& schedFile) {
    const QStringList lines = ReadLines(schedFile);
    QList<QStringList> rows;
    for (int i = 1;; ++i) {
        const QString prefix = QStringLiteral("Row%1=").arg(i);
        const auto it = std::find_if(lines.begin(), lines.end(),
                                     [&](const QString& l) { return l.startsWith(prefix); });
        if (it == lines.end())
            break;
        const QString text = it->mid(prefix.size());
        rows << DecodeRow(text, CountCellMarks(text)); // not the text after the last mark
    }
    return rows;
}

} // namespace FrmMainTest
