// The INI service behind WriteIniStr, ReadIniText, ReadIniStr,
// EraseIniSection and the table save: encodings, line ends, names in any
// case, value length, refused writes, and atomic replacement.
#include "Unprivileged.h"

#include "support/MemoryGrid.h"
#include "utPublic/AtomicFile.h"
#include "utPublic/GbkCodec.h"
#include "utPublic/IniFile.h"
#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kChildRole[] = "TAVRELO_INI_CHILD";

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Gbk(const QString& text) {
    QByteArray out;
    GbkCodec::Encode(text, &out);
    return out;
}

// 循环播放 in GBK, as an older installation wrote it.
const QByteArray kLoopGbk = QByteArray::fromHex("d1adbbb7b2a5b7c5");

// A GBK file whose path is also valid UTF-8 (路 梅 as "·" "÷"); only 是 and
// the section [协]'s neighbour tell it from UTF-8.
const QByteArray kPathGbk =
    Gbk(QStringLiteral("[协]\r\nk=v\r\n[START]\r\nPlayFile=/mnt/路/梅.mp4\r\n"
                       "chkEdit=是\r\n[Sect]\r\nRow0=序号^^\r\n"));

// The table the child writes again and again: every cell names the round.
TMemoryGrid RoundTable(int round, int rows) {
    TMemoryGrid grid(6, rows);
    for (int r = 0; r < rows; ++r)
        grid.SetRowTexts(r, {QString::number(r), QString::number(round), "+", "-", "00:00",
                             QStringLiteral("第%1轮 第%2节").arg(round).arg(r)});
    return grid;
}
constexpr int kRoundRows = 400;

// Child process: rewrites the file as fast as it can until it is killed.
int RunWriterChild() {
    const QString path = qEnvironmentVariable("TAVRELO_INI_PATH");
    for (int round = 1;; ++round) {
        SaveGridToIni(path, "Sect", RoundTable(round, kRoundRows));
        WriteIniStr(path, "START", "round", QString::number(round));
        if (round == 1) {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
    }
}

// Whether the file holds one complete state the writer left: a whole table
// of one round and the round key of that round or the one before.
QString CheckComplete(const QByteArray& bytes) {
    if (!bytes.endsWith('\n'))
        return "file does not end with a line end";
    const IniDocument doc = IniDocument::Parse(bytes);
    const int round = doc.Value(u"START", u"round").value_or("0").toInt();
    const auto rows = doc.Entries(u"Sect");
    if (rows.size() != kRoundRows)
        return QString("%1 rows").arg(rows.size());
    const int t = rows[0].second.section("^^", 1, 1).toInt();
    if (t != round && t != round + 1)
        return QString("table of round %1, key of round %2").arg(t).arg(round);
    TMemoryGrid expected = RoundTable(t, kRoundRows);
    for (int r = 0; r < kRoundRows; ++r)
        if (rows[r].first != QString("Row%1").arg(r) || rows[r].second != RowToText(expected, r))
            return QString("row %1 differs").arg(r);
    return QString();
}

QStringList FolderEntries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                               QDir::NoDotAndDotDot);
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void write_data();
    void write();
    void untouchedReadTheSame_data();
    void untouchedReadTheSame();
    void specialFiles_data();
    void specialFiles();
    void staleTemporariesRemoved();
    void erase_data();
    void erase();
    void valueLength_data();
    void valueLength();
    void saveGridMatchesRowByRow_data();
    void saveGridMatchesRowByRow();
    void refusedWrite_data();
    void refusedWrite();
    void inPlaceWhenFolderRefuses();
    void writeFailsMidway_data();
    void writeFailsMidway();
    void keepsPermissionsAndLinks_data();
    void keepsPermissionsAndLinks();
    void killDuringWrites();
};

void TestIniFile::read_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value"); // null: absent
    const QString absent;
    QTest::newRow("LF") << QByteArray("[START]\ncbDelay=3\n") << "START"
                        << "cbDelay"
                        << "3";
    QTest::newRow("CRLF") << QByteArray("[START]\r\ncbDelay=3\r\nchkHide=YES\r\n") << "START"
                          << "chkHide"
                          << "YES";
    QTest::newRow("GBK caption") << "[START]\r\novermode=" + kLoopGbk + "\r\n"
                                 << "START"
                                 << "overmode" << QStringLiteral("循环播放");
    QTest::newRow("GBK section name") << "[" + kLoopGbk + "]\nk=v\n"
                                      << QStringLiteral("循环播放") << "K"
                                      << "v";
    QTest::newRow("UTF-8 caption") << QByteArray("[START]\nSOUNDCHL=左声道\n") << "START"
                                   << "SOUNDCHL" << QStringLiteral("左声道");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF[START]\nk=值\n") << "START"
                                    << "k" << QStringLiteral("值");
    QTest::newRow("names in any case") << QByteArray("[start]\nOverMode=x\n") << "START"
                                       << "OVERMODE"
                                       << "x";
    QTest::newRow("blanks around") << QByteArray("  [ START ]  \n  key  =  a b  \n") << "START"
                                   << "key"
                                   << "a b";
    QTest::newRow("equals in value") << QByteArray("[S]\na=b=c\n") << "S"
                                     << "a"
                                     << "b=c";
    QTest::newRow("empty value") << QByteArray("[S]\na=\n") << "S"
                                 << "a"
                                 << "";
    QTest::newRow("no final line end") << QByteArray("[S]\na=1") << "S"
                                       << "a"
                                       << "1";
    QTest::newRow("other section") << QByteArray("[A]\nk=1\n[B]\nx=2\n") << "B"
                                   << "k" << absent;
    QTest::newRow("first of two sections") << QByteArray("[A]\nk=1\n[a]\nk=2\n") << "A"
                                           << "k"
                                           << "1";
    QTest::newRow("comment is no key") << QByteArray("[S]\n;k=1\n") << "S"
                                       << "k" << absent;
    QTest::newRow("key before any section") << QByteArray("k=1\n[S]\n") << "S"
                                            << "k" << absent;
    QTest::newRow("bare CR at the end") << QByteArray("[START]\nchkEdit=YES\r") << "START"
                                        << "chkEdit"
                                        << "YES";
    QTest::newRow("padding of an interrupted write")
        << QByteArray("[S]\na=1\n" + QByteArray(300, ' ')) << "S"
        << "a"
        << "1";
    QTest::newRow("UTF-8 beside a stray byte")
        << QByteArray("[START]\nPlayFile=/mnt/中文/视频.mp4\nnote=caf\xE9 ok\n") << "START"
        << "PlayFile" << QStringLiteral("/mnt/中文/视频.mp4");
    QTest::newRow("GBK that looks like UTF-8") << kPathGbk << "START"
                                               << "PlayFile" << QStringLiteral("/mnt/路/梅.mp4");
    QTest::newRow("marked GBK") << "; encoding: GBK\n[START]\nPlayFile=" + Gbk("/mnt/路") + "\n"
                                << "START"
                                << "PlayFile" << QStringLiteral("/mnt/路");
}

void TestIniFile::read() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString path = dir.filePath("t.INI");
    QVERIFY(WriteBytes(path, file));
    QCOMPARE(ReadIniText(path, section, key), value.isNull() ? QString() : value);
    QCOMPARE(ReadIniStr(path, section, key, "(default)"),
             value.isNull() ? QStringLiteral("(default)") : value);
    QCOMPARE(ReadBytes(path), file); // reading never changes the file
}

void TestIniFile::write_data() {
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("new file is UTF-8 with LF")
        << QByteArray() << "START"
        << "SOUNDCHL" << QStringLiteral("左声道") << QByteArray("[START]\nSOUNDCHL=左声道\n");
    QTest::newRow("new key after the section's last line, blank lines kept")
        << QByteArray("; settings\n[A]\na=1\n\n[B]\nb=2\n") << "A"
        << "c"
        << "3" << QByteArray("; settings\n[A]\na=1\nc=3\n\n[B]\nb=2\n");
    QTest::newRow("replace keeps the key's spelling and the other lines")
        << QByteArray("[A]\n; note\nKey = 1\nz=9\n[B]\nkey=2\n") << "a"
        << "KEY"
        << "5" << QByteArray("[A]\n; note\nKey=5\nz=9\n[B]\nkey=2\n");
    QTest::newRow("CRLF file keeps CRLF") << QByteArray("[A]\r\na=1\r\n") << "A"
                                          << "b"
                                          << "2" << QByteArray("[A]\r\na=1\r\nb=2\r\n");
    QTest::newRow("new section at the end, missing line end added")
        << QByteArray("[A]\r\na=1") << "B"
        << "b"
        << "2" << QByteArray("[A]\r\na=1\r\n[B]\r\nb=2\r\n");
    QTest::newRow("GBK file stays GBK")
        << "[START]\r\novermode=" + kLoopGbk + "\r\ncbDelay=1\r\n"
        << "START"
        << "cbDelay" << QStringLiteral("播完退出")
        << "[START]\r\novermode=" + kLoopGbk + "\r\ncbDelay=" + Gbk(QStringLiteral("播完退出")) +
               "\r\n";
    QTest::newRow("GBK file becomes UTF-8 for a text without GBK form")
        << "[START]\r\novermode=" + kLoopGbk + "\r\n"
        << "START"
        << "title" << QStringLiteral("🎵 한국")
        << QByteArray("[START]\r\novermode=循环播放\r\ntitle=🎵 한국\r\n");
    QTest::newRow("BOM kept") << QByteArray("\xEF\xBB\xBF[A]\na=1\n") << "A"
                              << "a"
                              << "2" << QByteArray("\xEF\xBB\xBF[A]\na=2\n");
    QTest::newRow("line breaks become blanks")
        << QByteArray("[A]\n") << "A"
        << "d"
        << "one\r\ntwo\nthree\rfour" << QByteArray("[A]\nd=one two three four\n");
    QTest::newRow("empty section gets its first key") << QByteArray("[A]\n\n[B]\n") << "A"
                                                      << "k"
                                                      << "" << QByteArray("[A]\nk=\n\n[B]\n");
    QTest::newRow("padding dropped") << QByteArray("[A]\na=1\n   ") << "A"
                                     << "a"
                                     << "2" << QByteArray("[A]\na=2\n");
    QTest::newRow("bare CR at the end rewritten") << QByteArray("[A]\nchkEdit=YES\r") << "A"
                                                  << "chkEdit"
                                                  << "NO" << QByteArray("[A]\nchkEdit=NO");
}

void TestIniFile::untouchedReadTheSame_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("edit");      // section/key=value, or -section
    QTest::addColumn<QByteArray>("marker"); // put on top, or empty
    const QByteArray gbkMark = "; encoding: GBK\r\n";
    QTest::newRow("GBK loses its last GBK-only bytes")
        << Gbk(QStringLiteral("[START]\r\nPlayFile=/mnt/路/梅.mp4\r\nchkEdit=是\r\n"))
        << "START/chkEdit=YES" << gbkMark;
    QTest::newRow("GBK section name [协]") << kPathGbk << "-Sect" << QByteArray();
    QTest::newRow("GBK, table erased")
        << Gbk(QStringLiteral("[协]\r\nk=v\r\n[Sect]\r\nRow0=是\r\n")) << "-Sect" << gbkMark;
    QTest::newRow("GBK, whole file to UTF-8 for a text without GBK form")
        << gbkMark + kPathGbk << "START/title=🎵" << QByteArray();
    QTest::newRow("UTF-8 loses its Chinese beside a stray byte")
        << QByteArray("[START]\nPlayFile=/mnt/中文.mp4\nname=é\nbad=\xFF\n")
        << "START/PlayFile=/x.mp4" << QByteArray("; encoding: UTF-8\n");
    QTest::newRow("plain UTF-8 needs no marker")
        << QByteArray("[START]\nPlayFile=/mnt/中文.mp4\nname=é\n") << "START/PlayFile=/x.mp4"
        << QByteArray();
}

void TestIniFile::untouchedReadTheSame() {
    QFETCH(QByteArray, before);
    QFETCH(QString, edit);
    QFETCH(QByteArray, marker);
    QTemporaryDir dir;
    const QString path = dir.filePath("t.INI");
    QVERIFY(WriteBytes(path, before));
    const IniDocument old = IniDocument::Parse(before);
    QString editedSection, editedKey;
    if (edit.startsWith('-')) {
        editedSection = edit.mid(1);
        EraseIniSection(path, editedSection);
    } else {
        editedSection = edit.section('/', 0, 0);
        editedKey = edit.section('/', 1).section('=', 0, 0);
        WriteIniStr(path, editedSection, editedKey, edit.section('=', 1));
    }
    const QByteArray after = ReadBytes(path);
    QVERIFY(after.startsWith(marker));
    const IniDocument now = IniDocument::Parse(after);
    for (const QString section : {"协", "START", "Sect"}) {
        if (section == editedSection && editedKey.isEmpty())
            continue;
        for (const auto& [key, value] : old.Entries(section))
            if (section != editedSection || key != editedKey)
                QCOMPARE(now.Value(section, key), std::optional<QString>(value));
    }
}

void TestIniFile::specialFiles_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("named pipe") << "fifo"
                                << "it is a named pipe, not a regular file";
    QTest::newRow("link to /dev/zero") << "zero"
                                       << "it is a character device, not a regular file";
    QTest::newRow("larger than any schedule") << "huge"
                                              << "it is larger than 64 MB";
}

void TestIniFile::specialFiles() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath("system.INI");
    if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    else if (kind == "zero")
        QVERIFY(QFile::link("/dev/zero", path));
    else
        QVERIFY(QFile(path).open(QIODevice::WriteOnly) &&
                QFile::resize(path, kIniMaxFileBytes + 1));
    QString why;
    QVERIFY(!IniFile::ReadFileBytes(path, &why));
    QCOMPARE(why, reason);
    QCOMPARE(ReadIniStr(path, "START", "cbDelay", "(default)"), QStringLiteral("(default)"));
    TMemoryGrid grid(6, 5);
    grid.SetRowTexts(3, {"x"});
    LoadGridFromIni(path, "Sect", grid);
    QCOMPARE(grid.RowCount(), 2);
    QString refused;
    try {
        WriteIniStr(path, "START", "cbDelay", "3");
    } catch (const EAppError& e) {
        refused = e.Text();
    }
    QVERIFY2(refused.startsWith("Unable to write to " + path), qPrintable(refused));
    QCOMPARE(QFileInfo(path).isSymLink(), kind == "zero");
    QCOMPARE(QFileInfo(path).size(), kind == "huge" ? kIniMaxFileBytes + 1 : 0);
    QCOMPARE(FolderEntries(dir.path()), QStringList{"system.INI"});
}

void TestIniFile::staleTemporariesRemoved() {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.INI");
    const QStringList names{".t.INI.1z141z3.tmp", ".t.INI.fresh.tmp", ".t.INI.OLD.tmp",
                            ".x.INI.abc.tmp", ".t.INI.abc.tmp.keep"};
    for (const QString& name : names) {
        QVERIFY(WriteBytes(dir.filePath(name), "x"));
        if (name != ".t.INI.fresh.tmp") {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                  QFileDevice::FileModificationTime));
        }
    }
    WriteIniStr(path, "A", "a", "1");
    QStringList expected = names.mid(1);
    expected.append("t.INI");
    expected.sort(Qt::CaseInsensitive);
    QCOMPARE(FolderEntries(dir.path()), expected);
}

void TestIniFile::write() {
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.filePath("t.INI");
    if (!before.isNull())
        QVERIFY(WriteBytes(path, before));
    WriteIniStr(path, section, key, value);
    QCOMPARE(ReadBytes(path), after);
    QCOMPARE(ReadIniText(path, section, key),
             QString(value).replace("\r\n", " ").replace(QRegularExpression("[\r\n]"), " "));
    QCOMPARE(FolderEntries(dir.path()), QStringList{"t.INI"}); // no temporary left
}

void TestIniFile::erase_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("middle section") << QByteArray("[A]\na=1\n[Sect]\nRow0=x\n; c\n\n[B]\nb=2\n")
                                    << QByteArray("[A]\na=1\n[B]\nb=2\n");
    QTest::newRow("every copy, any case")
        << QByteArray("[sect]\nr=1\n[A]\na=1\n[SECT]\nr=2\n") << QByteArray("[A]\na=1\n");
    QTest::newRow("absent section leaves the file as it is")
        << QByteArray("[A]\r\na=1") << QByteArray("[A]\r\na=1");
}

void TestIniFile::erase() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.filePath("t.INI");
    QVERIFY(WriteBytes(path, before));
    EraseIniSection(path, "Sect");
    QCOMPARE(ReadBytes(path), after);
}

void TestIniFile::valueLength_data() {
    QTest::addColumn<bool>("gbk");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("chars"); // read back
    QTest::newRow("3000 ASCII bytes") << false << QString(3000, u'x') << 2047;
    QTest::newRow("2047 ASCII bytes") << false << QString(2047, u'x') << 2047;
    QTest::newRow("UTF-8, no half character") << false << QString(1000, u'节') << 682;
    QTest::newRow("GBK, no half character") << true << QString(1500, u'节') << 1023;
    QTest::newRow("GBK, odd cut") << true << "a" + QString(1500, u'节') << 1024;
}

void TestIniFile::valueLength() {
    QFETCH(bool, gbk);
    QFETCH(QString, value);
    QFETCH(int, chars);
    QTemporaryDir dir;
    const QString path = dir.filePath("t.INI");
    if (gbk)
        QVERIFY(WriteBytes(path, "[S]\r\nmode=" + kLoopGbk + "\r\n"));
    WriteIniStr(path, "S", "long", value);
    QCOMPARE(IniDocument::Parse(ReadBytes(path)).FileEncoding(),
             gbk ? IniDocument::Encoding::Gbk : IniDocument::Encoding::Utf8);
    QCOMPARE(ReadIniText(path, "S", "long"), value.left(chars));
    QCOMPARE(ReadIniStr(path, "S", "long", ""), value.left(chars));
}

void TestIniFile::saveGridMatchesRowByRow_data() {
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::newRow("no file") << QByteArray();
    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("longer table before other keys")
        << QByteArray("[Sect]\nRow0=a^^\nRow1=b^^\nRow2=c^^\nRow3=d^^\nRow4=e^^\n"
                      "[START]\nSOUNDCHL=左声道\ntbZoom=25\n");
    QTest::newRow("GBK, CRLF") << "[START]\r\nSOUNDCHL=" + Gbk(QStringLiteral("左声道")) +
                                      "\r\n\r\n[Sect]\r\nRow0=x\r\n";
}

void TestIniFile::saveGridMatchesRowByRow() {
    QFETCH(QByteArray, before);
    TMemoryGrid grid(6, 4);
    grid.SetRowTexts(0, {"序号", "播放", "加", "减", "时间点", "开播内容"});
    grid.SetRowTexts(1, {"  1", "3", "+", "-", "00:00", "新的一节"});
    grid.SetRowTexts(2, {"  2", "0", "+", "-", "00:30", "line\nbreak"});
    grid.SetRowTexts(3, {"  3", "1", "+", "-", "01:00", ""});
    QTemporaryDir dir;
    const QString once = dir.filePath("once.INI");
    const QString rows = dir.filePath("rows.INI");
    if (!before.isNull()) {
        QVERIFY(WriteBytes(once, before));
        QVERIFY(WriteBytes(rows, before));
    }
    SaveGridToIni(once, "Sect", grid);
    EraseIniSection(rows, "Sect");
    for (int i = 0; i < grid.RowCount(); ++i)
        WriteIniStr(rows, "Sect", QString("Row%1").arg(i), RowToText(grid, i));
    QCOMPARE(ReadBytes(once), ReadBytes(rows));
}

void TestIniFile::refusedWrite_data() {
    QTest::addColumn<QString>("file");   // relative to the test folder
    QTest::addColumn<int>("folderMode"); // of folder "d"
    QTest::addColumn<int>("fileMode");   // of d/old.INI
    QTest::addColumn<QString>("reason"); // after "Unable to write to <path>: "
    QTest::newRow("file marked read-only")
        << "d/old.INI" << 0777 << 0444 << "the file is marked read-only";
    QTest::newRow("file and folder read-only")
        << "d/old.INI" << 0555 << 0644 << "Permission denied";
    QTest::newRow("new file in read-only folder")
        << "d/new.INI" << 0555 << 0666 << "Permission denied";
    QTest::newRow("folder missing")
        << "d/missing/new.INI" << 0777 << 0666 << "No such file or directory";
    QTest::newRow("folder is a file") << "d/old.INI/new.INI" << 0777 << 0666 << "Not a directory";
}

void TestIniFile::refusedWrite() {
    QFETCH(QString, file);
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(SetMode(dir.path(), 0755));
    const QString folder = dir.filePath("d");
    const QString old = dir.filePath("d/old.INI");
    const QByteArray oldBytes = "[Sect]\r\nRow0=" + kLoopGbk + "^^\r\nRow1=1^^\r\n";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(WriteBytes(old, oldBytes));
    QVERIFY(SetMode(old, fileMode));
    QVERIFY(SetMode(folder, folderMode));
    const QString path = dir.filePath(file);
    TMemoryGrid grid(6, 3);
    grid.SetRowTexts(1, {"changed"});
    const QStringList entriesBefore = FolderEntries(folder);
    {
        UnprivilegedScope asUser;
        auto expectRefused = [&path, &reason](const std::function<void()>& write) {
            try {
                write();
            } catch (const EWriteRefused& e) {
                return e.Text() == "Unable to write to " + path + ": " + reason && e.File() == path;
            }
            return false;
        };
        QVERIFY(expectRefused([&] { WriteIniStr(path, "Sect", "Row1", "changed"); }));
        QVERIFY(expectRefused([&] { SaveGridToIni(path, "Sect", grid); }));
        if (QFile::exists(path))
            QVERIFY(expectRefused([&] { EraseIniSection(path, "Sect"); }));
    }
    QVERIFY(SetMode(folder, 0755));
    QCOMPARE(ReadBytes(old), oldBytes);
    QCOMPARE(FolderEntries(folder), entriesBefore);
}

void TestIniFile::inPlaceWhenFolderRefuses() {
    // A schedule beside media in a folder the user may not add files to, but
    // the schedule itself is writable: written in place.
    QTemporaryDir dir;
    QVERIFY(SetMode(dir.path(), 0755));
    const QString folder = dir.filePath("media");
    const QString path = folder + "/dancemp4.INI";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(WriteBytes(path, "[START]\ntbZoom=10\n[Sect]\nRow0=a^^\nRow1=b^^\nRow2=c^^\n"));
    QVERIFY(SetMode(path, 0666));
    QVERIFY(SetMode(folder, 0555));
    TMemoryGrid grid(6, 2);
    grid.SetRowTexts(1, {"x"});
    {
        UnprivilegedScope asUser;
        SaveGridToIni(path, "Sect", grid);
        QCOMPARE(AtomicFileWriter::LastMethod(), AtomicFileWriter::Method::InPlace);
        WriteIniStr(path, "START", "tbZoom", "25");
    }
    QVERIFY(SetMode(folder, 0755));
    QCOMPARE(ReadBytes(path), QByteArray("[START]\ntbZoom=25\n[Sect]\nRow0=^^^^^^^^^^^^\n"
                                         "Row1=x^^^^^^^^^^^^\n"));
    QCOMPARE(FolderEntries(folder), QStringList{"dancemp4.INI"});
}

void TestIniFile::writeFailsMidway_data() {
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("replacing") << false;
    QTest::newRow("in place") << true;
}

void TestIniFile::writeFailsMidway() {
    // A disk that takes no more than 4 KiB of a file: the process's file size
    // limit makes the write fail after its first 4096 bytes.
    QFETCH(bool, inPlace);
    QTemporaryDir dir;
    QVERIFY(SetMode(dir.path(), 0755));
    const QString folder = dir.filePath("media");
    const QString path = folder + "/dancemp4.INI";
    QVERIFY(QDir().mkpath(folder));
    const QByteArray oldBytes("[Sect]\nRow0=h^^\nRow1=1^^\n[START]\ncbRate=6\n");
    QVERIFY(WriteBytes(path, oldBytes));
    QVERIFY(SetMode(path, 0666));
    QVERIFY(SetMode(folder, inPlace ? 0555 : 0777));
    const TMemoryGrid table = RoundTable(7, 1000);
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QString error;
    {
        UnprivilegedScope asUser;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        try {
            SaveGridToIni(path, "Sect", table);
        } catch (const EAppError& e) {
            error = e.Text();
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
    }
    ::signal(SIGXFSZ, SIG_DFL);
    QVERIFY(SetMode(folder, 0755));
    QCOMPARE(error, "Unable to write to " + path + ": File too large");
    QCOMPARE(ReadBytes(path), oldBytes);
    QCOMPARE(FolderEntries(folder), QStringList{"dancemp4.INI"});
}

// A link of the user's to a file beside it is written through and stays a
// link; one planted by another user, or one leading out of its folder (a
// schedule beside downloaded media pointing at the user's files), is read
// but never written. Making the file private (a settings file holding a
// PIN) takes the same links, and changes nothing else.
void TestIniFile::keepsPermissionsAndLinks_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("foreignOwner");
    QTest::addColumn<bool>("makePrivate");
    QTest::addColumn<bool>("written");
    QTest::newRow("beside it") << "real.INI" << false << false << true;
    QTest::newRow("another folder") << "victim/real.INI" << false << false << false;
    QTest::newRow("another user's link") << "real.INI" << true << false << false;
    QTest::newRow("private, beside it") << "real.INI" << false << true << true;
    QTest::newRow("private, another folder") << "victim/real.INI" << false << true << false;
    QTest::newRow("private, another user's link") << "real.INI" << true << true << false;
}

void TestIniFile::keepsPermissionsAndLinks() {
    QFETCH(QString, target);
    QFETCH(bool, foreignOwner);
    QFETCH(bool, makePrivate);
    QFETCH(bool, written);
    if (foreignOwner && ::geteuid() != 0)
        QSKIP("giving a link to another user needs root");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("victim"));
    const QString real = dir.filePath(target);
    const QString link = dir.filePath("dancemp4.INI");
    QVERIFY(WriteBytes(real, "[START]\n"));
    QVERIFY(SetMode(real, 0640));
    QVERIFY(QFile::link(real, link));
    if (foreignOwner)
        QCOMPARE(::lchown(QFile::encodeName(link).constData(), 65534, 65534), 0);
    QString error;
    constexpr auto kOwner =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    if (makePrivate) {
        QCOMPARE(AtomicFileWriter::MakePrivate(link, &error), written);
        QCOMPARE(error.isEmpty(), written);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadBytes(real), QByteArray("[START]\n"));
        QCOMPARE(QFileInfo(real).permissions() & 0x7777,
                 written ? kOwner : kOwner | QFile::ReadGroup);
        return;
    }
    try {
        WriteIniStr(link, "START", "chkHide", "YES");
    } catch (const EWriteRefused& e) {
        error = e.Text();
    }
    QCOMPARE(ReadIniText(link, "START", "chkHide"), written ? QString("YES") : QString());
    QCOMPARE(error.isEmpty(), written);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadBytes(real), written ? QByteArray("[START]\nchkHide=YES\n") : "[START]\n");
    QCOMPARE(QFileInfo(real).permissions() & 0x7777, kOwner | QFile::ReadGroup);
}

void TestIniFile::killDuringWrites() {
    QTemporaryDir dir;
    const QString path = dir.filePath("dancemp4.INI");
    auto* rng = QRandomGenerator::global();
    for (int run = 0; run < 12; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildRole, "writer");
        env.insert("TAVRELO_INI_PATH", path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        while (!child.canReadLine() && child.state() == QProcess::Running)
            child.waitForReadyRead(1000);
        QCOMPARE(child.readLine(), QByteArray("ready\n"));
        // While it writes, every read sees a whole file; where the kill then
        // lands is left to chance.
        const int reads = int(rng->bounded(5, 60));
        for (int r = 0; r < reads; ++r) {
            const QString problem = CheckComplete(ReadBytes(path));
            QVERIFY2(problem.isEmpty(), qPrintable(QString("read %1: %2").arg(r).arg(problem)));
        }
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const QString problem = CheckComplete(ReadBytes(path));
        QVERIFY2(problem.isEmpty(), qPrintable(QString("run %1: %2").arg(run).arg(problem)));
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariable(kChildRole) == QLatin1String("writer")) {
        QCoreApplication app(argc, argv);
        return RunWriterChild();
    }
    QCoreApplication app(argc, argv);
    TestIniFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestIniFile.moc"
