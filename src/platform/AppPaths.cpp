#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {
QString WithSlash(const QString& dir) {
    return dir.endsWith(u'/') ? dir : dir + u'/';
}
} // namespace

QString ExecutableDir() {
    if (QCoreApplication::instance())
        return WithSlash(QCoreApplication::applicationDirPath());
    // Before the application object exists.
    const QFileInfo exe(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    return WithSlash(exe.absolutePath());
}

bool IsFolderWritable(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    // AT_EACCESS: judged by the effective user, who does the writing.
    return QFileInfo(folder).isDir() &&
           ::faccessat(AT_FDCWD, path.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

QString UserConfigDir() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return WithSlash(base) + QStringLiteral("tavrelo/");
}

QString SettingsFilePath(const QString& exeDir) {
    if (IsFolderWritable(exeDir))
        return WithSlash(exeDir) + QStringLiteral("system.INI");
    const QString dir = UserConfigDir();
    QDir().mkpath(dir);
    return dir + QStringLiteral("system.INI");
}
