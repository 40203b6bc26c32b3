// Replacing a file's whole content so that a reader, a crash or a kill in the
// middle sees either the old or the new content, never a mixture or a
// truncated file.
#pragma once

#include <QByteArray>
#include <QString>

class AtomicFileWriter {
public:
    enum class Method { None, Replaced, InPlace };

    // Writes data as the new content of path: into a temporary file in the
    // same folder, flushed to disk, then renamed over path (a symbolic link is
    // followed, so the link stays, but only a link of this user's to a file
    // in its own folder). The permissions and owner of an existing file are
    // kept (the temporary file is never more open than it); a new file gets
    // 0666 less the umask.
    //
    // When the folder refuses a new file but the file exists and is writable
    // (a schedule beside media in a folder the user may not add to), the file
    // is rewritten in place instead, padded with blanks so that a stop at any
    // step leaves the old or the new content followed by blanks, which the
    // INI reader takes for nothing (see WriteInPlace).
    //
    // Temporary files of this file that an earlier writer left when killed
    // before its rename (".<name>.<digits>.tmp", ours, idle for a minute) are
    // removed.
    //
    // A file marked read-only (no write permission bit at all) is refused
    // also for root, as the owner meant it to be left alone.
    //
    // Returns false and leaves path untouched when the write is refused;
    // *reason (if given) then says why.
    static bool Replace(const QString& path, const QByteArray& data, QString* reason = nullptr);

    // Makes path readable and writable by its owner alone (its group's and
    // others' permissions taken away; Replace keeps that), making an empty
    // one when there is none. A link is followed as Replace follows it;
    // false (with *reason) when refused or when path is no regular file.
    static bool MakePrivate(const QString& path, QString* reason = nullptr);

    // How the last successful Replace() on this thread wrote its file.
    static Method LastMethod();
};
