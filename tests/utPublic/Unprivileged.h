// File permission tests as an ordinary user: the suite runs as root, whom
// permission bits do not stop. While an UnprivilegedScope lives, a process
// running as root acts as user and group "nobody" (65534) for file access;
// for any other user it changes nothing, and the bits apply anyway.
#pragma once

#include <QFile>
#include <QString>

#include <QList>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

class UnprivilegedScope {
public:
    UnprivilegedScope() {
        if (::geteuid() != 0)
            return;
        groups_ = ::getgroups(0, nullptr);
        if (groups_ > 0) {
            saved_.resize(groups_);
            ::getgroups(groups_, saved_.data());
        }
        const gid_t none[] = {65534};
        active_ = ::setgroups(1, none) == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~UnprivilegedScope() {
        if (::geteuid() == 65534 && ::seteuid(0) == 0) {
            if (::setegid(0) != 0 || ::setgroups(size_t(saved_.size()), saved_.data()) != 0) {
            }
        }
    }
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;
    bool Active() const { return active_; }

private:
    bool active_ = false;
    int groups_ = 0;
    QList<gid_t> saved_;
};

// Sets the permission bits of a file or folder (e.g. 0555).
inline bool SetMode(const QString& path, int mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}
