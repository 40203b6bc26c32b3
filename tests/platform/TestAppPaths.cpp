// Where the settings file lives: beside the executable, or in the user's
// configuration folder when the executable's folder is not writable or the
// executable is an installed copy.
#include "Unprivileged.h"

#include "platform/AppPaths.h"
#include "utPublic.h"

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
    void readOnlyFolderSettingsCopied_data();
    void readOnlyFolderSettingsCopied();
    void moduleStartUp();
};

void TestAppPaths::settingsFile_data() {
    QTest::addColumn<int>("exeMode");    // of the executable's folder
    QTest::addColumn<QString>("xdg");    // $XDG_CONFIG_HOME, "<tmp>" for the test folder
    QTest::addColumn<bool>("installed"); // <tmp>/share/applications/tavrelo.desktop exists
    QTest::addColumn<QString>("expected");
    QTest::newRow("writable: beside the executable")
        << 0777 << "<tmp>/cfg" << false << "<tmp>/bin/system.INI";
    QTest::newRow("read-only: XDG_CONFIG_HOME")
        << 0555 << "<tmp>/cfg" << false << "<tmp>/cfg/tavrelo/system.INI";
    QTest::newRow("read-only, no XDG_CONFIG_HOME: ~/.config")
        << 0555 << "" << false << "<tmp>/home/.config/tavrelo/system.INI";
    QTest::newRow("read-only, relative XDG_CONFIG_HOME is ignored")
        << 0555 << "cfg" << false << "<tmp>/home/.config/tavrelo/system.INI";
    QTest::newRow("installed under a writable prefix: XDG_CONFIG_HOME")
        << 0777 << "<tmp>/cfg" << true << "<tmp>/cfg/tavrelo/system.INI";
}

void TestAppPaths::settingsFile() {
    QFETCH(int, exeMode);
    QFETCH(QString, xdg);
    QFETCH(bool, installed);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(SetMode(dir.path(), 0777));
    const QString exeDir = dir.filePath("bin") + "/";
    QVERIFY(QDir().mkpath(exeDir));
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
    QString path;
    {
        UnprivilegedScope asUser;
        path = SettingsFilePath(exeDir);
    }
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldXdg);
    SetMode(exeDir, 0755);
    QCOMPARE(path, QString(expected).replace("<tmp>", dir.path()));
    QVERIFY2(QFileInfo(QFileInfo(path).path()).isDir(), "the settings folder exists");
}

// A system.INI beside an executable in a read-only folder is where the user
// starts from: copied to the configuration folder when that has none, never
// over one it has; an installed copy's folder is never read.
void TestAppPaths::readOnlyFolderSettingsCopied_data() {
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("existing"); // already in the configuration folder
    QTest::addColumn<QString>("expected");
    QTest::newRow("portable, first start") << false << QString() << "PlayFile=/m/a.mp4";
    QTest::newRow("portable, already copied") << false << "PlayFile=/m/b.mp4"
                                              << "PlayFile=/m/b.mp4";
    QTest::newRow("installed") << true << QString() << QString();
}

void TestAppPaths::readOnlyFolderSettingsCopied() {
    QFETCH(bool, installed);
    QFETCH(QString, existing);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(SetMode(dir.path(), 0777));
    const QString exeDir = dir.filePath("bin") + "/";
    QVERIFY(QDir().mkpath(exeDir));
    auto write = [](const QString& file, const QString& text) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly) && f.write(("[START]\n" + text + "\n").toUtf8()) > 0;
    };
    QVERIFY(write(exeDir + "system.INI", "PlayFile=/m/a.mp4"));
    QVERIFY(SetMode(exeDir + "system.INI", 0644));
    QVERIFY(SetMode(exeDir, 0555));
    const QString cfg = dir.filePath("cfg");
    QVERIFY(QDir().mkpath(cfg + "/tavrelo"));
    QVERIFY(SetMode(cfg, 0777) && SetMode(cfg + "/tavrelo", 0777));
    if (!existing.isEmpty())
        QVERIFY(write(cfg + "/tavrelo/system.INI", existing) &&
                SetMode(cfg + "/tavrelo/system.INI", 0666));
    if (installed) {
        QVERIFY(QDir().mkpath(dir.filePath("share/applications")));
        QFile entry(dir.filePath("share/applications/tavrelo.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
    }
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(cfg));
    QString path;
    {
        UnprivilegedScope asUser;
        path = SettingsFilePath(exeDir);
    }
    qputenv("XDG_CONFIG_HOME", oldXdg);
    SetMode(exeDir, 0755);
    QCOMPARE(path, cfg + "/tavrelo/system.INI");
    QFile f(path);
    const QString text = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    QCOMPARE(text.section('\n', 1, 1), expected);
}

void TestAppPaths::moduleStartUp() {
    InitPublicModule();
    QCOMPARE(ExecutableDir(), QCoreApplication::applicationDirPath() + "/");
    QCOMPARE(IniFileName, QCoreApplication::applicationDirPath() + "/system.INI");
    QVERIFY(PerfFrequency > 0);
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "TestAppPaths.moc"
