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

void TestAppPaths::moduleStartUp() {
    InitPublicModule();
    QCOMPARE(ExecutableDir(), QCoreApplication::applicationDirPath() + "/");
    QCOMPARE(IniFileName, QCoreApplication::applicationDirPath() + "/system.INI");
    QVERIFY(PerfFrequency > 0);
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "TestAppPaths.moc"
