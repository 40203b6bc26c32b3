#include "platform/AtomicFile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local AtomicFileWriter::Method lastMethod = AtomicFileWriter::Method::None;

QString ErrnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

bool WriteAll(int fd, const QByteArray& data, int* err) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// The file a write lands in: a symbolic link is followed to its target, so
// that replacing does not turn the link into a plain file.
QByteArray TargetPath(const QString& path) {
    QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            return QFile::encodeName(target);
    }
    return QFile::encodeName(path);
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArray(".");
    if (slash == 0)
        return QByteArray("/");
    return path.left(slash);
}

// Rewrites an existing file in place; used only when its folder refuses a
// temporary file. Not atomic, so everything that can be checked beforehand
// is: the space a longer content needs is reserved and the file grown to its
// new size (which the file size limit may refuse) before the first byte of
// the old content is overwritten; a refusal up to there leaves the file as
// it was.
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
    const off_t newSize = off_t(data.size());
    if (newSize > oldSize) {
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS)
            return fail(errno);
        if (::ftruncate(fd, newSize) != 0)
            return fail(errno);
    }
    int err = 0;
    if (!WriteAll(fd, data, &err))
        return fail(err);
    if (newSize < oldSize && ::ftruncate(fd, newSize) != 0)
        return fail(errno);
    if (::fsync(fd) != 0 && errno != EINVAL)
        return fail(errno);
    if (::close(fd) != 0) {
        *reason = ErrnoText(errno);
        return false;
    }
    return true;
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
    const QByteArray target = TargetPath(path);
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            *reason = QStringLiteral("not a regular file");
            return false;
        }
        if ((old.st_mode & 0222) == 0) {
            *reason = QStringLiteral("the file is marked read-only");
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
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + '.' +
               QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
    bool ok = WriteAll(fd, data, &err);
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
