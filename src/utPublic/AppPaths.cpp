#include "utPublic/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {
QString WithSlash(const QString& dir) {
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

// An installed copy is an executable in <prefix>/bin beside the menu entry
// that installing puts in <prefix>/share/applications. Even under a prefix the
// user may write to, its folder is shared by other programs, so the settings
// must not go there.
bool IsInstalledCopy(const QString& exeDir) {
    return QFileInfo::exists(WithSlash(exeDir) +
                             QStringLiteral("../share/applications/tavrelo.desktop"));
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

QString SettingsFilePath(const QString& exeDir, QString* notice) {
    const QString beside = WithSlash(exeDir) + QStringLiteral("system.INI");
    const bool installed = IsInstalledCopy(exeDir);
    // Something there that is no regular file (a link to a device, a pipe,
    // a folder) can be neither read nor replaced: the settings go where a
    // read-only program folder would keep them.
    const QFileInfo at(beside);
    const bool special = at.exists() && !at.isFile();
    if (!installed && !special && IsFolderWritable(exeDir))
        return beside;
    const QString dir = UserConfigDir();
    QDir().mkpath(dir);
    const QString file = dir + QStringLiteral("system.INI");
    // A portable copy in a folder the user may not write to (a shared
    // machine, a read-only medium): its settings file is where the user
    // starts from. Only a regular file is taken; a pipe or a device there
    // would block or never end.
    const QFileInfo from(beside);
    if (!installed && !QFileInfo::exists(file) && from.isFile() && !from.isSymLink()) {
        if (QFile::copy(beside, file)) {
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
            std::fprintf(stderr, "tavrelo: %s cannot be written; its settings are now kept in %s\n",
                         QFile::encodeName(beside).constData(),
                         QFile::encodeName(file).constData());
        }
    }
    if (special && notice)
        *notice = QCoreApplication::translate(
                      "Messages", "%1 is not a regular file; the settings are kept in %2")
                      .arg(QDir::toNativeSeparators(beside), QDir::toNativeSeparators(file));
    return file;
}
