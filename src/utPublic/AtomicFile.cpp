#include "utPublic/AtomicFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local AtomicFileWriter::Method lastMethod = AtomicFileWriter::Method::None;

// A temporary file untouched for this long belongs to no running write.
constexpr time_t kStaleTempSeconds = 60;

QString ErrnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// The file a write lands in: a symbolic link is followed to its target, so
// that replacing does not turn the link into a plain file. Only a link of
// this user's to a file in the link's own folder is written through: one
// that another user planted in a shared folder, or one that leads elsewhere
// (a schedule beside downloaded media pointing at the user's own files), is
// refused (empty, with *reason).
QByteArray TargetPath(const QString& path, QString* reason) {
    QFileInfo info(path);
    if (!info.isSymLink())
        return QFile::encodeName(path);
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid != ::geteuid()) {
        *reason = QCoreApplication::translate("Messages", "it is a link of another user's");
        return {};
    }
    const QString target = info.canonicalFilePath();
    if (target.isEmpty())
        return QFile::encodeName(path);
    if (QFileInfo(target).absolutePath() != QFileInfo(info.absolutePath()).canonicalFilePath()) {
        *reason =
            QCoreApplication::translate("Messages", "it is a link to a file in another folder");
        return {};
    }
    return QFile::encodeName(target);
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArray(".");
    if (slash == 0)
        return QByteArray("/");
    return path.left(slash);
}

bool WriteAllAt(int fd, const char* p, qsizetype left, off_t at, int* err) {
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, size_t(left), at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        p += n;
        left -= n;
        at += n;
    }
    return true;
}

// Rewrites an existing file in place; used only when its folder refuses a
// temporary file. The INI reader takes blanks at the very end of a file for
// nothing, so the file is only ever the old content or the new one, each
// possibly followed by blanks, whenever the writer is stopped:
//  - growing: the space is reserved, the file padded with blanks to its new
//    size (old content + blanks) and synced, then the new content written;
//  - shrinking: the new content is written followed by blanks up to the old
//    size (new content + blanks), synced, then the file cut to its size.
// A refusal before the new content is written (a full disk, the file size
// limit) cuts the padding off again and leaves the file byte for byte as it
// was. The new content itself goes in with one write call.
bool WriteInPlace(const QByteArray& target, off_t oldSize, const QByteArray& data,
                  QString* reason) {
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    auto fail = [fd, reason](int err) {
        ::close(fd);
        *reason = ErrnoText(err);
        return false;
    };
    auto sync = [fd] { return ::fsync(fd) == 0 || errno == EINVAL; };
    const off_t newSize = off_t(data.size());
    int err = 0;
    if (newSize > oldSize) {
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS)
            return fail(errno);
        const QByteArray blanks(qsizetype(newSize - oldSize), ' ');
        if (!WriteAllAt(fd, blanks.constData(), blanks.size(), oldSize, &err) || !sync()) {
            if (err == 0)
                err = errno;
            if (::ftruncate(fd, oldSize) != 0) {
                // The blanks left read as nothing.
            }
            return fail(err);
        }
        if (!WriteAllAt(fd, data.constData(), data.size(), 0, &err))
            return fail(err);
    } else {
        QByteArray padded = data;
        padded.append(qsizetype(oldSize - newSize), ' ');
        if (!WriteAllAt(fd, padded.constData(), padded.size(), 0, &err))
            return fail(err);
        if (newSize < oldSize && (!sync() || ::ftruncate(fd, newSize) != 0))
            return fail(errno);
    }
    if (!sync())
        return fail(errno);
    if (::close(fd) != 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    return true;
}

// Whether name is one of our temporary files for base: "." + base + "." +
// 1 to 7 base-36 digits + ".tmp".
bool IsOurTemp(const char* name, const QByteArray& base) {
    const QByteArrayView n(name);
    if (!n.startsWith('.') || !n.endsWith(".tmp") || n.size() < base.size() + 7)
        return false;
    if (n.sliced(1, base.size()) != base || n[base.size() + 1] != '.')
        return false;
    const QByteArrayView digits = n.sliced(base.size() + 2, n.size() - base.size() - 6);
    if (digits.isEmpty() || digits.size() > 7)
        return false;
    for (char c : digits)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

// A kill between writing the temporary file and renaming it leaves the
// temporary behind. Ours for this file, regular, owned by this user and not
// written to for a while (another writer may be using a fresh one): removed.
void RemoveStaleTemps(const QByteArray& folder, const QByteArray& base) {
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(dir)) {
        if (!IsOurTemp(e->d_name, base))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
            now - st.st_mtime < kStaleTempSeconds)
            continue;
        ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace

bool AtomicFileWriter::Replace(const QString& path, const QByteArray& data, QString* reason) {
    QString ignored;
    if (!reason)
        reason = &ignored;
    if (path.isEmpty()) {
        *reason = QStringLiteral("empty path");
        return false;
    }
    const QByteArray target = TargetPath(path, reason);
    if (target.isEmpty())
        return false;
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            *reason = QCoreApplication::translate("Messages", "not a regular file");
            return false;
        }
        if ((old.st_mode & 0222) == 0) {
            *reason = QCoreApplication::translate("Messages", "the file is marked read-only");
            return false;
        }
        if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0) {
            *reason = ErrnoText(errno);
            return false;
        }
    } else if (errno != ENOENT) {
        *reason = ErrnoText(errno);
        return false;
    }

    const QByteArray folder = FolderOf(target);
    const QByteArray base = target.mid(target.lastIndexOf('/') + 1);
    RemoveStaleTemps(folder, base);
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + '.' +
               QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        // Never more open than the file it replaces, even for a moment.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    exists ? old.st_mode & 0666 : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int err = errno;
        // Only a folder that forbids new files; a full disk refuses the write.
        const bool folderRefuses = err == EACCES || err == EPERM;
        if (exists && folderRefuses) {
            if (!WriteInPlace(target, old.st_size, data, reason))
                return false;
            lastMethod = Method::InPlace;
            return true;
        }
        *reason = ErrnoText(err);
        return false;
    }

    int err = 0;
    // A new file: writing at 0 is writing from its start.
    bool ok = WriteAllAt(fd, data.constData(), data.size(), 0, &err);
    if (ok && exists) {
        // Keep the owner (root saving a user's file) and the permissions.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed for an ordinary user; the file then belongs to them.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
            err = errno;
            ok = false;
        }
    }
    if (ok && ::fsync(fd) != 0 && errno != EINVAL) {
        err = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    if (ok && ::rename(temp.constData(), target.constData()) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.constData());
        *reason = ErrnoText(err);
        return false;
    }
    lastMethod = Method::Replaced;
    return true;
}

AtomicFileWriter::Method AtomicFileWriter::LastMethod() {
    return lastMethod;
}

bool AtomicFileWriter::MakePrivate(const QString& path, QString* reason) {
    QString why;
    auto fail = [&](const QString& text) {
        if (reason)
            *reason = text;
        return false;
    };
    const QByteArray target = TargetPath(path, &why);
    if (target.isEmpty())
        return fail(why);
    // (Not blocking on a pipe planted under the name.)
    const int fd =
        ::open(target.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(ErrnoText(errno));
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok)
        why = ErrnoText(errno);
    else if (!S_ISREG(st.st_mode)) {
        ok = false;
        why = QCoreApplication::translate("Messages", "it is not a regular file");
    } else if ((st.st_mode & 077) != 0 && ::fchmod(fd, st.st_mode & 0700) != 0) {
        ok = false;
        why = ErrnoText(errno);
    }
    ::close(fd);
    return ok || fail(why);
}
