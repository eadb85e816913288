// SPDX-License-Identifier: Apache-2.0
#include "model/outputfile.h"

#include <QCoreApplication>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Unbuffered, so that every write failure is seen here; binary unless the caller asks for text.
constexpr QIODevice::OpenMode BaseMode = QIODevice::WriteOnly | QIODevice::Unbuffered;

// Writes all of `bytes`, going on after a short write: a write that then fails carries the
// system's reason (a full disk, a file size limit), which a failed flush does not always do.
bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

// Replaces the plain file `fileName`, or puts one there, only once all of `bytes` is written.
bool replaceFile(const QString &fileName, const QByteArray &bytes, QIODevice::OpenMode mode, QString *error)
{
    // QSaveFile::commit() does not notice a failed flush of its own buffer and would rename a cut
    // file onto the old one; unbuffered, writeAll() sees the failure first.
    QSaveFile file(fileName);
    if (!file.open(BaseMode | mode)) {
        *error = file.errorString();
        return false;
    }
    if (!writeAll(file, bytes)) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

#ifdef Q_OS_UNIX
QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// `fileName` with the symbolic links at its end followed, as QSaveFile would follow them, while
// each belongs to this user or to root; nothing, with the reason in `error`, at a link of anyone
// else: planted in a shared folder, it could lead to any file of this user.
std::optional<QString> followOwnLinks(const QString &fileName, QString *error)
{
    constexpr int MaxLinks = 40; // as many as the system follows in one path
    QString path = fileName;
    for (int links = 0; links <= MaxLinks; ++links) {
        struct stat status = {};
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        if (status.st_uid != ::geteuid() && status.st_uid != 0) {
            *error =
                QCoreApplication::translate("OutputFile", "%1 is a symbolic link of another user and is not followed")
                    .arg(path);
            return std::nullopt;
        }
        path = QFileInfo(path).symLinkTarget();
    }
    *error = systemError(ELOOP);
    return std::nullopt;
}

// Writes `bytes` to what is at `path`, decided by what the descriptor opened there is, so that
// nothing put in its place after a check is taken for what was checked: a plain file is
// replaced, a device written in place, a pipe or socket refused. The open neither follows a link
// nor waits for a reader.
bool writeTo(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode, QString *error)
{
    const QByteArray nativePath = QFile::encodeName(path);
    const QString notWritten =
        QCoreApplication::translate("OutputFile", "%1 is a pipe or socket, not a file or device").arg(path);
    int fd = ::open(nativePath.constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        // The new file is made here, so that no link can take its place before QSaveFile replaces
        // it; it goes again when the writing fails.
        fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            *error = systemError(errno);
            return false;
        }
        ::close(fd);
        if (replaceFile(path, bytes, mode, error))
            return true;
        ::unlink(nativePath.constData());
        return false;
    }
    struct stat status = {};
    if (fd < 0) {
        // A pipe without a reader does not open for writing, a socket never does.
        const int openError = errno;
        const bool pipeOrSocket = openError == ENXIO && ::lstat(nativePath.constData(), &status) == 0 &&
                                  (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
        *error = pipeOrSocket ? notWritten : systemError(openError);
        return false;
    }
    ::fstat(fd, &status); // should it fail, the mode stays 0: refused below
    if (S_ISREG(status.st_mode)) {
        ::close(fd);
        return replaceFile(path, bytes, mode, error);
    }
    if (!S_ISCHR(status.st_mode) && !S_ISBLK(status.st_mode)) {
        ::close(fd);
        *error = notWritten;
        return false;
    }
    // A device cannot be replaced by renaming a new file onto it (that would put a plain file in
    // its place): it is written in place, and waited for as any program writing to it would.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, BaseMode | mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return false;
    }
    if (!writeAll(file, bytes)) {
        *error = file.errorString();
        return false;
    }
    return true;
}
#endif

} // namespace

bool OutputFile::write(const QString &fileName, const QByteArray &bytes, QString *error, QIODevice::OpenMode mode)
{
#ifdef Q_OS_UNIX
    const std::optional<QString> path = followOwnLinks(fileName, error);
    return path && writeTo(*path, bytes, mode, error);
#else
    // A device, or any other file that is not a plain one, cannot be replaced by renaming a new
    // file onto it (that would put a plain file in its place): it is written in place.
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile() && !target.isDir()) {
        QFile file(fileName);
        if (!file.open(BaseMode | mode) || !writeAll(file, bytes)) {
            *error = file.errorString();
            return false;
        }
        return true;
    }
    return replaceFile(fileName, bytes, mode, error);
#endif
}
