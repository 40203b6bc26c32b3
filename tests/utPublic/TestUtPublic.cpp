// The shared helpers: fields, time text, switches, grid helpers, the row
// encoding with its file round trip, the event-handling delay and ending the
// own process.
#include "support/MemoryGrid.h"
#include "utPublic/Clock.h"
#include "utPublic/utPublic.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <pthread.h>

namespace {

const char kChildRole[] = "TAVRELO_UTPUBLIC_CHILD";

// Writes a marker file when its window is closed or it is destroyed: neither
// may happen when the process ends by TerminateSelf.
class MarkingWindow : public QWidget {
public:
    explicit MarkingWindow(QString marker) : marker_(std::move(marker)) {}
    ~MarkingWindow() override { Mark("destroyed"); }

protected:
    void closeEvent(QCloseEvent* e) override {
        Mark("closed");
        QWidget::closeEvent(e);
    }

private:
    void Mark(const char* what) {
        QFile f(marker_);
        if (f.open(QIODevice::Append))
            f.write(QByteArray(what) + '\n');
    }
    QString marker_;
};

QString markerForExit;
void MarkAtExit() {
    QFile f(markerForExit);
    if (f.open(QIODevice::Append))
        f.write("atexit\n");
}

// Child process: shows a window, then ends itself.
int RunTerminatingChild(int argc, char** argv) {
    QApplication app(argc, argv);
    markerForExit = qEnvironmentVariable("TAVRELO_MARKER");
    std::atexit(MarkAtExit);
    MarkingWindow window(markerForExit);
    window.show();
    std::printf("unflushed output");
    QTimer::singleShot(0, [] { TerminateSelf(); });
    return app.exec();
}

TMemoryGrid GridWithColumn(int col, const QStringList& texts) {
    TMemoryGrid grid(6, int(texts.size()) + 1);
    for (int r = 0; r < texts.size(); ++r) {
        grid.SetCell(col, r + 1, texts[r]);
        grid.SetCell(0, r + 1, QString::number(r + 1)); // follows its row
    }
    return grid;
}

QStringList Rows(const TMemoryGrid& grid) {
    QStringList out;
    for (int r = 0; r < grid.RowCount(); ++r)
        out.append(grid.RowTexts(r).join(u'|'));
    return out;
}

} // namespace

class TestUtPublic : public QObject {
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void timeStrToSec_data();
    void timeStrToSec();
    void secToTimeStr_data();
    void secToTimeStr();
    void switches_data();
    void switches();
    void padLeft_data();
    void padLeft();
    void roundHalfEven_data();
    void roundHalfEven();

    void iniReadsAndMissingFiles();

    void sortGridRows_data();
    void sortGridRows();
    void sortGridRowsLarge();
    void sortGridRowsSameOrderAsBefore();
    void sortGridRowsSmallStack();
    void appendRow_data();
    void appendRow();
    void deleteRow_data();
    void deleteRow();
    void fitColumn_data();
    void fitColumn();
    void dimColor_data();
    void dimColor();
    void gradientFill_data();
    void gradientFill();

    void cellMarks_data();
    void cellMarks();
    void textToRow_data();
    void textToRow();
    void gridFileRoundTrip();
    void gridFileLossRules_data();
    void gridFileLossRules();

    void delayZeroHandlesNothing();
    void delayHandlesEventsAndWaits();
    void delayNested();
    void terminateSelf();
};

// --- Fields, time text, switches ------------------------------------------------

void TestUtPublic::fields_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("empty") << ""
                           << ":" << 1 << QStringList{""};
    QTest::newRow("no separator") << "abc"
                                  << ":" << 1 << QStringList{"abc"};
    QTest::newRow("two") << "05:30"
                         << ":" << 2 << QStringList{"05", "30"};
    QTest::newRow("empty fields") << ":a::"
                                  << ":" << 4 << QStringList{"", "a", "", ""};
    QTest::newRow("long separator, no overlap") << "a^^^b^^"
                                                << "^^" << 3 << QStringList{"a", "^b", ""};
}

void TestUtPublic::fields() {
    QFETCH(QString, text);
    QFETCH(QString, sep);
    QFETCH(int, count);
    QFETCH(QStringList, fields);
    QCOMPARE(FieldCount(text, sep), count);
    for (int n = 1; n <= count; ++n)
        QCOMPARE(GetField(text, sep, n), fields[n - 1]);
    QCOMPARE(GetField(text, sep, 0), QString());
    QCOMPARE(GetField(text, sep, count + 1), QString());
}

void TestUtPublic::timeStrToSec_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("seconds");
    QTest::newRow("mm:ss") << "05:30" << 330;
    QTest::newRow("blanks") << " 3 : 7 " << 187;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "ab:cd" << 0;
    QTest::newRow("third field ignored") << "1:2:3" << 62;
    QTest::newRow("seconds not limited") << "00:75" << 75;
    QTest::newRow("minutes only") << "5" << 300;
    QTest::newRow("tab and CR trimmed") << "\t2\r:\n05" << 125;
    QTest::newRow("signs") << "+2:-5" << 115;
    QTest::newRow("inner blank is not a number") << "1 0:10" << 10;
    QTest::newRow("header text") << "时间点" << 0;
    QTest::newRow("too big saturates") << "2000000000:00" << 2147483647;
}

void TestUtPublic::timeStrToSec() {
    QFETCH(QString, text);
    QFETCH(int, seconds);
    QCOMPARE(TimeStrToSec(text), seconds);
}

void TestUtPublic::secToTimeStr_data() {
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "00:00";
    QTest::newRow("59") << 59 << "00:59";
    QTest::newRow("309") << 309 << "05:09";
    QTest::newRow("3600") << 3600 << "60:00";
    QTest::newRow("3620 (59:50 + 30)") << 3620 << "60:20";
    QTest::newRow("6000") << 6000 << "100:00";
    QTest::newRow("7500") << 7500 << "125:00";
    QTest::newRow("99:99 as it plays") << TimeStrToSec("99:99") << "100:39";
    QTest::newRow("largest") << INT_MAX << "35791394:07";
    QTest::newRow("-1:30 as it plays") << TimeStrToSec("-1:30") << "00:00";
    QTest::newRow("most negative") << INT_MIN << "00:00";
}

void TestUtPublic::secToTimeStr() {
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(SecToTimeStr(seconds), text);
    QCOMPARE(TimeStrToSec(text), qMax(0, seconds));
}

void TestUtPublic::switches_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("value");
    QTest::newRow("yes") << "yes" << true;
    QTest::newRow("YES") << "YES" << true;
    QTest::newRow("True") << "True" << true;
    QTest::newRow("NO") << "NO" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("1") << "1" << false;
    QTest::newRow("blank around") << " YES" << false;
    QTest::newRow("fullwidth letters") << "ＹＥＳ" << false;
}

void TestUtPublic::switches() {
    QFETCH(QString, text);
    QFETCH(bool, value);
    QCOMPARE(TextToBool(text), value);
    QCOMPARE(TextToBool(BoolToText(value)), value);
    QCOMPARE(BoolToText(true), QStringLiteral("YES"));
    QCOMPARE(BoolToText(false), QStringLiteral("NO"));
}

void TestUtPublic::padLeft_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("result");
    QTest::newRow("row 1") << "1" << 3 << "  1";
    QTest::newRow("row 12") << "12" << 3 << " 12";
    QTest::newRow("long enough") << "1234" << 3 << "1234";
    QTest::newRow("width 0") << "" << 0 << "";
    QTest::newRow("negative width") << "abc" << -1 << "";
}

void TestUtPublic::padLeft() {
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, result);
    QCOMPARE(PadLeft(text, u' ', width), result);
}

void TestUtPublic::roundHalfEven_data() {
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("result");
    QTest::newRow("half down to even") << 2.5 << 2;
    QTest::newRow("half up to even") << 3.5 << 4;
    QTest::newRow("negative half") << -2.5 << -2;
    QTest::newRow("below half") << 2.49 << 2;
    QTest::newRow("NaN") << std::nan("") << 0;
    QTest::newRow("too large") << 1e12 << std::numeric_limits<int32_t>::max();
    QTest::newRow("too small") << -1e12 << std::numeric_limits<int32_t>::min();
}

void TestUtPublic::roundHalfEven() {
    QFETCH(double, v);
    QFETCH(int, result);
    QCOMPARE(RoundHalfEven(v), result);
}

// --- INI helpers -------------------------------------------------------------------

void TestUtPublic::iniReadsAndMissingFiles() {
    QTemporaryDir dir;
    const QString file = dir.filePath("a.INI");
    QCOMPARE(ReadIniText(file, "START", "x"), QString());
    QCOMPARE(ReadIniStr(file, "START", "x", "def"), QStringLiteral("def"));
    EraseIniSection(file, "START");
    QVERIFY2(!QFile::exists(file), "reads and erasing must not create the file");

    WriteIniStr(QString(), "START", "x", "1"); // nothing, no error
    WriteIniStr(file, "START", "empty", "");
    WriteIniStr(file, "START", "full", "v");
    QCOMPARE(ReadIniStr(file, "START", "empty", "def"), QString());
    QCOMPARE(ReadIniStr(file, "START", "absent", "def"), QStringLiteral("def"));
    QCOMPARE(ReadIniText(file, "START", "empty"), QString());
    QCOMPARE(ReadIniText(file, "start", "FULL"), QStringLiteral("v"));
    QCOMPARE(ReadIniStr(file, "Other", "full", "def"), QStringLiteral("def"));
}

// --- Grid helpers ---------------------------------------------------------------------

void TestUtPublic::sortGridRows_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("colon after digits")
        << QStringList{"10:00", "02:30", "100:00"} << QStringList{"02:30", "100:00", "10:00"};
    QTest::newRow("two rows") << QStringList{"20:00", "100:00"} << QStringList{"100:00", "20:00"};
    QTest::newRow("two rows in order")
        << QStringList{"00:10", "00:20"} << QStringList{"00:10", "00:20"};
    QTest::newRow("one row") << QStringList{"05:00"} << QStringList{"05:00"};
    QTest::newRow("prefix first") << QStringList{"ab", "a", ""} << QStringList{"", "a", "ab"};
    QTest::newRow("bytes unsigned")
        << QStringList{"é", "z", "A", "时"} << QStringList{"A", "z", "é", "时"};
    QTest::newRow("equal texts") << QStringList{"1", "0", "1", "0", "1"}
                                 << QStringList{"0", "0", "1", "1", "1"};
    QTest::newRow("reversed") << QStringList{"09", "08", "07", "06", "05", "04", "03", "02", "01"}
                              << QStringList{"01", "02", "03", "04", "05", "06", "07", "08", "09"};
}

void TestUtPublic::sortGridRows() {
    QFETCH(QStringList, texts);
    QFETCH(QStringList, sorted);
    TMemoryGrid grid = GridWithColumn(4, texts);
    grid.SetRowTexts(0, {"序号", "播放", "加", "减", "时间点", "开播内容"});
    SortGridRows(grid, 4, 1, grid.RowCount() - 1);
    QCOMPARE(grid.ColumnTexts(4), sorted);
    QCOMPARE(grid.Cell(4, 0), QStringLiteral("时间点")); // the header stays
    // Whole rows move: column 0 still names the original position.
    for (int r = 1; r < grid.RowCount(); ++r)
        QCOMPARE(grid.Cell(4, r), texts[grid.Cell(0, r).toInt() - 1]);
}

void TestUtPublic::sortGridRowsLarge() {
    QStringList texts;
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < 500; ++i)
        texts.append(SecToTimeStr(int(rng->bounded(7200))));
    TMemoryGrid grid = GridWithColumn(4, texts);
    SortGridRows(grid, 4, 1, grid.RowCount() - 1);
    QStringList expected = texts;
    std::sort(expected.begin(), expected.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    QCOMPARE(grid.ColumnTexts(4), expected);
    // An empty range is left alone.
    TMemoryGrid one(6, 1);
    one.SetCell(4, 0, "时间点");
    SortGridRows(one, 4, 1, 0);
    QCOMPARE(one.RowCount(), 1);
}

namespace {

// The row sort as it was before its depth was bounded: the saved order must
// stay byte for byte what it gave.
void ReferenceSort(TStringGridLike& grid, int col, int first, int last) {
    if (first >= last)
        return;
    auto key = [&](int r) { return grid.Cell(col, r).toUtf8(); };
    int i = first, j = last;
    if (i + 1 == j && key(i) > key(j)) {
        grid.ExchangeRows(i, j);
        return;
    }
    const QByteArray p = key((first + last) / 2);
    do {
        while (key(i) < p)
            ++i;
        while (key(j) > p)
            --j;
        if (i <= j)
            grid.ExchangeRows(i++, j--);
    } while (i <= j);
    ReferenceSort(grid, col, first, j);
    ReferenceSort(grid, col, i, last);
}

// Times for rows 1..n in the order that puts the largest time left in the
// middle row of every range the sort takes: each round splits off one row.
QStringList AdversarialTimes(int n) {
    QList<int> at(n + 1); // at[row] = which time goes there, 1-based
    std::iota(at.begin(), at.end(), 0);
    QList<int> value(n + 1);
    for (int last = n; last >= 2; --last) {
        const int mid = (1 + last) / 2;
        value[at[mid]] = last;
        std::swap(at[mid], at[last]);
    }
    value[at[1]] = 1;
    QStringList texts;
    for (int k = 1; k <= n; ++k)
        texts.append(QString::asprintf("%06d", value[k]));
    return texts;
}

} // namespace

void TestUtPublic::sortGridRowsSameOrderAsBefore() {
    // Many equal keys (the sort is not stable) with the rows told apart by
    // column 0.
    auto* rng = QRandomGenerator::global();
    for (int round = 0; round < 20; ++round) {
        QStringList texts;
        for (int i = 0; i < 300; ++i)
            texts.append(SecToTimeStr(int(rng->bounded(round + 2)) * 30));
        TMemoryGrid ours = GridWithColumn(4, texts);
        TMemoryGrid before = GridWithColumn(4, texts);
        SortGridRows(ours, 4, 1, ours.RowCount() - 1);
        ReferenceSort(before, 4, 1, before.RowCount() - 1);
        QCOMPARE(ours.ColumnTexts(0), before.ColumnTexts(0));
    }
}

void TestUtPublic::sortGridRowsSmallStack() {
    // A crafted schedule on a 64 KiB stack: the unbounded recursion needed
    // one frame per row.
    const QStringList texts = AdversarialTimes(1500);
    TMemoryGrid grid = GridWithColumn(4, texts);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 64 * 1024);
    pthread_t thread;
    auto run = [](void* g) -> void* {
        auto* grid = static_cast<TMemoryGrid*>(g);
        SortGridRows(*grid, 4, 1, grid->RowCount() - 1);
        return nullptr;
    };
    QCOMPARE(pthread_create(&thread, &attr, run, &grid), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    QStringList expected = texts;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(grid.ColumnTexts(4), expected);
}

void TestUtPublic::appendRow_data() {
    QTest::addColumn<QStringList>("counts"); // column 1 of rows 1..
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("selected");
    QTest::newRow("empty table reuses row 1") << QStringList{""} << 2 << 1;
    QTest::newRow("one section") << QStringList{"3"} << 3 << 2;
    QTest::newRow("three sections") << QStringList{"3", "0", "1"} << 5 << 4;
    QTest::newRow("empty count in row 1 keeps the rows below")
        << QStringList{"", "2", "2"} << 5 << 4;
    QTest::newRow("empty rows only reuse row 1") << QStringList{"", ""} << 2 << 1;
}

void TestUtPublic::appendRow() {
    QFETCH(QStringList, counts);
    QFETCH(int, rows);
    QFETCH(int, selected);
    TMemoryGrid grid = GridWithColumn(1, counts);
    grid.SetColCount(6);
    AppendRow(grid);
    QCOMPARE(grid.RowCount(), rows);
    QCOMPARE(grid.Row(), selected);
    if (rows == int(counts.size()) + 2) // the new row is empty
        QCOMPARE(grid.RowTexts(rows - 1).join(QString()), QString());
}

void TestUtPublic::deleteRow_data() {
    QTest::addColumn<int>("rows");     // rows before, header included
    QTest::addColumn<int>("selected"); // selection before
    QTest::addColumn<int>("deleted");
    QTest::addColumn<QStringList>("left"); // column 5 of the data rows after
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("only section is emptied") << 2 << 1 << 1 << QStringList{""} << 1;
    QTest::newRow("last row") << 4 << 3 << 3 << QStringList{"r1", "r2"} << 2;
    QTest::newRow("middle row") << 4 << 2 << 2 << QStringList{"r1", "r3"} << 2;
    QTest::newRow("first row") << 5 << 1 << 1 << QStringList{"r2", "r3", "r4"} << 1;
    QTest::newRow("header is never deleted") << 3 << 1 << 0 << QStringList{"r1", "r2"} << 1;
}

void TestUtPublic::deleteRow() {
    QFETCH(int, rows);
    QFETCH(int, selected);
    QFETCH(int, deleted);
    QFETCH(QStringList, left);
    QFETCH(int, selectedAfter);
    TMemoryGrid grid(6, rows);
    grid.SetRowTexts(0, {"序号", "播放", "加", "减", "时间点", "开播内容"});
    for (int r = 1; r < rows; ++r)
        grid.SetRowTexts(r, {QString::number(r), "1", "+", "-", "00:00", "r" + QString::number(r)});
    grid.SetRow(selected);
    DeleteRow(grid, deleted);
    QCOMPARE(grid.ColumnTexts(5), left);
    QCOMPARE(grid.Row(), selectedAfter);
    QCOMPARE(grid.Cell(5, 0), QStringLiteral("开播内容"));
    if (rows >= 3 && deleted >= 1) {
        // Every column moved up, and the old last row is gone, not just hidden.
        QCOMPARE(grid.RowCount(), rows - 1);
        grid.SetRowCount(rows);
        QCOMPARE(grid.RowTexts(rows - 1).join(QString()), QString());
    }
}

void TestUtPublic::fitColumn_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("scrollBar");
    QTest::addColumn<int>("width");
    // Design widths 63, 67, 46, 45, 99, 208 on a 602-pixel grid.
    QTest::newRow("column 5") << 5 << false << 602 - (63 + 67 + 46 + 45 + 99) - 6 - 1;
    QTest::newRow("column 1") << 1 << false << 602 - (63 + 46 + 45 + 99 + 208) - 6 - 1;
    QTest::newRow("no such column") << 6 << false << -1;
    QTest::newRow("with scroll bar") << 5 << true << -2;
}

void TestUtPublic::fitColumn() {
    QFETCH(int, col);
    QFETCH(bool, scrollBar);
    QFETCH(int, width);
    TMemoryGrid grid(6, 2);
    const int widths[] = {63, 67, 46, 45, 99, 208};
    for (int c = 0; c < 6; ++c)
        grid.SetColWidth(c, widths[c]);
    grid.SetGridWidth(602);
    grid.SetVScrollBar(scrollBar);
    FitColumn(grid, col);
    if (width == -1) {
        for (int c = 0; c < 6; ++c)
            QCOMPARE(grid.ColWidth(c), widths[c]);
        return;
    }
    if (width == -2) {
        const int bar = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        QVERIFY(bar > 0);
        width = 602 - (63 + 67 + 46 + 45 + 99) - bar - 6 - 2;
    }
    QCOMPARE(grid.ColWidth(col), width);
    // A grid narrower than the other columns gives no negative width.
    grid.SetGridWidth(100);
    FitColumn(grid, col);
    QCOMPARE(grid.ColWidth(col), 0);
}

void TestUtPublic::dimColor_data() {
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<double>("factor");
    QTest::addColumn<QColor>("dimmed");
    QTest::newRow("1.0") << QColor(0, 0, 255) << 1.0 << QColor(0, 0, 255);
    QTest::newRow("2.7 truncates") << QColor(128, 128, 128) << 2.7 << QColor(47, 47, 47);
    QTest::newRow("1.5") << QColor(255, 255, 0) << 1.5 << QColor(170, 170, 0);
    QTest::newRow("below 1 stays in range") << QColor(200, 10, 0) << 0.5 << QColor(255, 20, 0);
    QTest::newRow("zero factor") << QColor(200, 0, 0) << 0.0 << QColor(255, 0, 0);
}

void TestUtPublic::dimColor() {
    QFETCH(QColor, colour);
    QFETCH(double, factor);
    QFETCH(QColor, dimmed);
    QCOMPARE(DimColor(colour, factor), dimmed);
}

void TestUtPublic::gradientFill_data() {
    QTest::addColumn<int>("scale");
    QTest::newRow("scale 1") << 1;
    // A 4K screen at QT_SCALE_FACTOR=2: each line two device pixels high.
    QTest::newRow("scale 2") << 2;
}

void TestUtPublic::gradientFill() {
    // A 34-pixel cell: the middle line (17) has the full colour, every line a
    // pixel further out is dimmer, the top line uses factor 2.7.
    QFETCH(int, scale);
    QImage image(20 * scale, 40 * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::magenta);
    {
        QPainter p(&image);
        GradientFill(QRect(2, 3, 10, 34), p, QColor(255, 255, 255));
    }
    // A logical pixel: every device pixel of it alike.
    const auto pixel = [&](int x, int y) {
        const QColor c = image.pixelColor(x * scale, y * scale);
        return image.pixelColor(x * scale + scale - 1, y * scale + scale - 1) == c ? c : QColor();
    };
    const QColor white(255, 255, 255);
    QCOMPARE(pixel(2, 3 + 17), white);
    QCOMPARE(pixel(11, 3 + 17), white);
    QCOMPARE(pixel(5, 3), DimColor(white, 2.7));
    QCOMPARE(pixel(5, 3 + 16), DimColor(white, 1.1));
    QCOMPARE(pixel(5, 3 + 18), DimColor(white, 1.1));
    QCOMPARE(pixel(5, 3 + 33), DimColor(white, 2.6));
    // Nothing outside the rectangle.
    QCOMPARE(pixel(5, 3 + 34), QColor(Qt::magenta));
    QCOMPARE(pixel(12, 20), QColor(Qt::magenta));
    QCOMPARE(pixel(1, 20), QColor(Qt::magenta));
}

// --- Row encoding ------------------------------------------------------------------------

void TestUtPublic::cellMarks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("marks");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("row") << "  1^^3^^+^^-^^00:00^^新的一节^^" << 6;
    QTest::newRow("no overlap") << "^^^" << 1;
    QTest::newRow("four carets") << "^^^^" << 2;
}

void TestUtPublic::cellMarks() {
    QFETCH(QString, text);
    QFETCH(int, marks);
    QCOMPARE(CountCellMarks(text), marks);
}

void TestUtPublic::textToRow_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("cells");
    QTest::newRow("full row") << "  1^^3^^+^^-^^00:00^^新的一节^^"
                              << QStringList{"  1", "3", "+", "-", "00:00", "新的一节"};
    QTest::newRow("mark in description dropped")
        << "  1^^3^^+^^-^^00:00^^a^^b^^" << QStringList{"  1", "3", "+", "-", "00:00", "a"};
    QTest::newRow("short row, no final mark")
        << "1^^2^^tail" << QStringList{"1", "2", "tail", "", "", ""};
    QTest::newRow("empty") << "" << QStringList{"", "", "", "", "", ""};
}

void TestUtPublic::textToRow() {
    QFETCH(QString, text);
    QFETCH(QStringList, cells);
    TMemoryGrid grid(6, 3);
    grid.SetRowTexts(1, {"x", "x", "x", "x", "x", "x"});
    TextToRow(text, grid, 1);
    QCOMPARE(grid.RowTexts(1), cells);
    if (CountCellMarks(text) == 6) {
        grid.SetRowTexts(2, cells);
        QCOMPARE(RowToText(grid, 2), text);
    }
}

void TestUtPublic::gridFileRoundTrip() {
    QTemporaryDir dir;
    const QString file = dir.filePath("dancemp4.INI");
    TMemoryGrid grid(6, 4);
    grid.SetRowTexts(0, {"序号", "播放", "加", "减", "时间点", "开播内容"});
    grid.SetRowTexts(1, {"1", "3", "+", "-", "00:00", "新的一节"});
    grid.SetRowTexts(2, {"2", "0", "+", "-", "00:30", "=;[x]"});
    grid.SetRowTexts(3, {"3", "99", "+", "-", "100:00", ""});
    SaveGridToIni(file, "Sect", grid);
    // A shorter table replaces the longer one entirely.
    WriteIniStr(file, "START", "tbZoom", "25");
    TMemoryGrid loaded(6, 40);
    LoadGridFromIni(file, "Sect", loaded);
    QCOMPARE(Rows(loaded), Rows(grid));
    grid.SetRowCount(2);
    SaveGridToIni(file, "Sect", grid);
    LoadGridFromIni(file, "Sect", loaded);
    QCOMPARE(Rows(loaded), Rows(grid));
    QCOMPARE(ReadIniText(file, "Sect", "Row2"), QString());
    QCOMPARE(ReadIniText(file, "START", "tbZoom"), QStringLiteral("25"));
}

void TestUtPublic::gridFileLossRules_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("cols");
    QTest::addColumn<QStringList>("rows"); // cells joined by "|"
    QTest::newRow("no file") << QByteArray() << 6 << QStringList{"|||||", "|||||"};
    QTest::newRow("no Row0") << QByteArray("[Sect]\nRow1=1^^2^^+^^-^^00:10^^a^^\n") << 6
                             << QStringList{"|||||", "|||||"};
    QTest::newRow("gap stops loading")
        << QByteArray("[Sect]\nRow0=h^^\nRow1=1^^\nRow2=2^^\nRow4=4^^\n") << 6
        << QStringList{"h|||||", "1|||||", "2|||||"};
    QTest::newRow("empty value stops loading")
        << QByteArray("[Sect]\nRow0=h^^\nRow1=\nRow2=2^^\n") << 6 << QStringList{"h|||||", "|||||"};
    QTest::newRow("Row0 with 8 marks widens")
        << QByteArray("[Sect]\nRow0=a^^b^^c^^d^^e^^f^^g^^h^^\nRow1=1^^2^^3^^4^^5^^6^^7^^8^^\n") << 8
        << QStringList{"a|b|c|d|e|f|g|h", "1|2|3|4|5|6|7|8"};
    QTest::newRow("blanks around the value are not kept")
        << QByteArray("[Sect]\nRow0=h^^\nRow1=  1^^3^^+^^-^^00:00^^x  \n") << 6
        << QStringList{"h|||||", "1|3|+|-|00:00|x"};
    QTest::newRow("keys in any case")
        << QByteArray("[SECT]\nrow0=h^^\nROW1=1^^\n") << 6 << QStringList{"h|||||", "1|||||"};
}

void TestUtPublic::gridFileLossRules() {
    QFETCH(QByteArray, file);
    QFETCH(int, cols);
    QFETCH(QStringList, rows);
    QTemporaryDir dir;
    const QString path = dir.filePath("s.INI");
    if (!file.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    TMemoryGrid grid(6, 10);
    grid.SetRowTexts(5, {"old", "old"});
    LoadGridFromIni(path, "Sect", grid);
    QCOMPARE(grid.ColCount(), cols);
    QCOMPARE(Rows(grid), rows);
}

// --- Delays ---------------------------------------------------------------------------------

void TestUtPublic::delayZeroHandlesNothing() {
    bool ran = false;
    QTimer::singleShot(0, this, [&ran] { ran = true; });
    DelayMs(0);
    DelayMs(-5);
    DelayUs(1000, 0); // no counter frequency: no wait at all
    QVERIFY2(!ran, "a zero delay must not handle events");
    DelayMs(1);
    QVERIFY(ran);
}

void TestUtPublic::delayHandlesEventsAndWaits() {
    QVERIFY(PerfFrequency > 0);
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start(5);
    bool posted = false;
    QMetaObject::invokeMethod(
        this, [&posted] { posted = true; }, Qt::QueuedConnection);
    const int64_t start = ReadPerfCounter();
    DelayMs(60);
    // The counter guarantees the lower bound; no upper bound is asserted.
    QVERIFY(ReadPerfCounter() - start >= 60 * PerfFrequency / 1000);
    QVERIFY(posted);
    QVERIFY2(ticks >= 2, qPrintable(QString::number(ticks)));
    timer.stop();
}

void TestUtPublic::delayNested() {
    // A handler running inside a wait may wait itself; both waits end.
    QStringList order;
    QTimer::singleShot(1, this, [&order] {
        order << "inner start";
        DelayMs(30);
        order << "inner end";
    });
    DelayMs(10);
    order << "outer end";
    QCOMPARE(order, (QStringList{"inner start", "inner end", "outer end"}));
}

void TestUtPublic::terminateSelf() {
    QTemporaryDir dir;
    const QString marker = dir.filePath("marker");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildRole, "terminate");
    env.insert("TAVRELO_MARKER", marker);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    QCOMPARE(child.readAllStandardOutput(), QByteArray("unflushed output"));
    QVERIFY2(!QFile::exists(marker), "no close handler, destructor or exit handler may run");
}

int main(int argc, char** argv) {
    if (qEnvironmentVariable(kChildRole) == QLatin1String("terminate"))
        return RunTerminatingChild(argc, argv);
    QApplication app(argc, argv);
    InitPublicModule();
    TestUtPublic test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestUtPublic.moc"
