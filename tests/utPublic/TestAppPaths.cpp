// Where the settings file lives: beside the executable, or in the user's
// configuration folder when the executable's folder is not writable or the
// executable is an installed copy.
#include "Unprivileged.h"

#include "utPublic/AppPaths.h"
#include "utPublic/utPublic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestAppPaths : public QObject {
    Q_OBJECT

private slots:
    void settingsFile_data();
    void settingsFile();
    void moduleStartUp();
};

void TestAppPaths::settingsFile_data() {
    QTest::addColumn<int>("exeMode");    // of the executable's folder
    QTest::addColumn<QString>("xdg");    // $XDG_CONFIG_HOME, "<tmp>" for the test folder
    QTest::addColumn<bool>("installed"); // <tmp>/share/applications/tavrelo.desktop exists
    QTest::addColumn<QString>("expected");
    // A settings file beside the executable (its line, empty: none), one
    // already in the configuration folder, and the line the chosen file holds.
    QTest::addColumn<QString>("beside");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("holds");
    const QString cfg = "<tmp>/cfg/tavrelo/system.INI";
    const QString a = "PlayFile=/m/a.mp4", b = "PlayFile=/m/b.mp4";
    QTest::newRow("writable: beside the executable")
        << 0777 << "<tmp>/cfg" << false << "<tmp>/bin/system.INI" << a << "" << a;
    QTest::newRow("read-only: XDG_CONFIG_HOME") << 0555 << "<tmp>/cfg" << false << cfg << ""
                                                << ""
                                                << "";
    QTest::newRow("read-only, no XDG_CONFIG_HOME: ~/.config")
        << 0555 << "" << false << "<tmp>/home/.config/tavrelo/system.INI"
        << ""
        << ""
        << "";
    QTest::newRow("read-only, relative XDG_CONFIG_HOME is ignored")
        << 0555 << "cfg" << false << "<tmp>/home/.config/tavrelo/system.INI"
        << ""
        << ""
        << "";
    QTest::newRow("installed under a writable prefix: XDG_CONFIG_HOME")
        << 0777 << "<tmp>/cfg" << true << cfg << ""
        << ""
        << "";
    // A portable copy in a read-only folder starts from its settings file.
    QTest::newRow("read-only with settings: copied")
        << 0555 << "<tmp>/cfg" << false << cfg << a << "" << a;
    QTest::newRow("read-only with settings: kept ones win")
        << 0555 << "<tmp>/cfg" << false << cfg << a << b << b;
    // No regular file: its place cannot be read or replaced; the user hears
    // where the settings are kept instead.
    QTest::newRow("writable, system.INI a link to /dev/zero")
        << 0777 << "<tmp>/cfg" << false << cfg << "-> /dev/zero"
        << ""
        << "";
    QTest::newRow("installed with settings: not read")
        << 0555 << "<tmp>/cfg" << true << cfg << a << ""
        << "";
}

void TestAppPaths::settingsFile() {
    QFETCH(int, exeMode);
    QFETCH(QString, xdg);
    QFETCH(bool, installed);
    QFETCH(QString, expected);
    QFETCH(QString, beside);
    QFETCH(QString, kept);
    QFETCH(QString, holds);
    QTemporaryDir dir;
    QVERIFY(SetMode(dir.path(), 0777));
    const QString exeDir = dir.filePath("bin") + "/";
    QVERIFY(QDir().mkpath(exeDir));
    auto write = [](const QString& file, const QString& line) {
        QFile f(file);
        return QDir().mkpath(QFileInfo(file).path()) && f.open(QIODevice::WriteOnly) &&
               f.write(("[START]\n" + line + "\n").toUtf8()) > 0 && SetMode(file, 0666);
    };
    const bool special = beside.startsWith("-> ");
    if (special)
        QVERIFY(QFile::link(beside.mid(3), exeDir + "system.INI"));
    else if (!beside.isEmpty())
        QVERIFY(write(exeDir + "system.INI", beside));
    if (!kept.isEmpty())
        QVERIFY(write(dir.filePath("cfg/tavrelo/system.INI"), kept) &&
                SetMode(dir.filePath("cfg"), 0777) && SetMode(dir.filePath("cfg/tavrelo"), 0777));
    QVERIFY(SetMode(exeDir, exeMode));
    QVERIFY(QDir().mkpath(dir.filePath("home")));
    QVERIFY(SetMode(dir.filePath("home"), 0777));
    if (installed) {
        QVERIFY(QDir().mkpath(dir.filePath("share/applications")));
        QFile entry(dir.filePath("share/applications/tavrelo.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
    }
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(dir.filePath("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(QString(xdg).replace("<tmp>", dir.path())));
    QString path, notice;
    {
        UnprivilegedScope asUser;
        path = SettingsFilePath(exeDir, &notice);
    }
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldXdg);
    SetMode(exeDir, 0755);
    QCOMPARE(path, QString(expected).replace("<tmp>", dir.path()));
    QCOMPARE(notice.isEmpty(), !special);
    QVERIFY2(QFileInfo(QFileInfo(path).path()).isDir(), "the settings folder exists");
    QFile f(path);
    const QString text = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    QCOMPARE(text.section('\n', 1, 1), holds);
}

void TestAppPaths::moduleStartUp() {
    InitPublicModule();
    QCOMPARE(ExecutableDir(), QCoreApplication::applicationDirPath() + "/");
    QCOMPARE(IniFileName, QCoreApplication::applicationDirPath() + "/system.INI");
    QVERIFY(PerfFrequency > 0);
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "TestAppPaths.moc"
