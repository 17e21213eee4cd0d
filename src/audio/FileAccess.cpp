#include "audio/FileAccess.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSaveFile>

namespace kestrelon {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

MessageCode fileKind(unsigned mode)
{
    return S_ISDIR(mode) ? MessageCode::KindFolder
        : S_ISFIFO(mode) ? MessageCode::KindFifo
        : S_ISCHR(mode)  ? MessageCode::KindCharDevice
        : S_ISBLK(mode)  ? MessageCode::KindBlockDevice
        : S_ISSOCK(mode) ? MessageCode::KindSocket
                         : MessageCode::KindOther;
}

bool openRegularFile(const QString& path, QFile& file, Message* reason, QIODevice::OpenMode mode)
{
    auto failWith = [&](const Message& why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return failWith(Message(MessageCode::CannotOpen, errnoText(ENOENT)));
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failWith(Message(MessageCode::CannotOpen, errnoText(errno)));
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return failWith(Message(MessageCode::CannotOpen, errnoText(error)));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return failWith(Message(MessageCode::NotRegularFile, fileKind(st.st_mode)));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd, mode | QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failWith(Message(MessageCode::CannotOpen, file.errorString()));
    }
    return true;
}

bool readRegularFile(const QString& path, int64_t maxBytes, QByteArray* bytes, Message* reason)
{
    QFile file;
    if (!openRegularFile(path, file, reason, QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    const qint64 size = file.size();
    if (size > maxBytes) {
        if (reason)
            *reason = Message(MessageCode::FileTooLarge, size, maxBytes);
        return false;
    }
    QByteArray out;
    out.resize(qsizetype(size));
    qint64 got = 0;
    while (got < size) {
        const qint64 n = file.read(out.data() + got, size - got);
        if (n < 0) {
            if (reason)
                *reason = Message(MessageCode::CannotRead, file.errorString());
            return false;
        }
        if (n == 0)
            break; // the file shrank while it was read
        got += n;
    }
    out.resize(qsizetype(got));
    char probe = 0;
    if (got == size && file.read(&probe, 1) > 0) {
        if (reason)
            *reason = MessageCode::FileGrew;
        return false;
    }
    *bytes = std::move(out);
    return true;
}

bool checkOutputPath(const QString& path, Message* reason)
{
    auto failWith = [&](const Message& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return failWith(MessageCode::NamesFolder);
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return true; // nothing there yet (or nothing reachable: creating it will say why)
    if (S_ISDIR(st.st_mode))
        return failWith(MessageCode::NamesFolder);
    if (!S_ISREG(st.st_mode))
        return failWith(Message(MessageCode::OutputNotRegularFile, fileKind(st.st_mode)));
    return true;
}

bool isSameFile(const QString& a, const QString& b)
{
    struct stat sa { };
    struct stat sb { };
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0
        || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int existingPermissions(const QString& path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return int(st.st_mode & 07777);
}

bool carryPermissions(QSaveFile& file, int mode)
{
    if (mode < 0)
        return true;
    const int fd = file.handle();
    return fd >= 0 && ::fchmod(fd, mode_t(mode)) == 0;
}

bool saveFileAtomically(const QString& path,
    const std::function<bool(QSaveFile& file, QString* why)>& write, Message* reason)
{
    auto failWith = [&](const Message& message) {
        if (reason)
            *reason = message;
        return false;
    };
    try {
        Message refused;
        if (!checkOutputPath(path, &refused))
            return failWith(Message(MessageCode::CannotWrite, refused));
        QString why;
        const int permissions = existingPermissions(path);
        QSaveFile file(path);
        file.setDirectWriteFallback(false);
        // unbuffered: a write that fails reports its cause at once
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return failWith(Message(MessageCode::CannotCreate, file.errorString()));
        if (!write(file, &why)) {
            file.cancelWriting();
            return failWith(Message(MessageCode::CannotWrite, why));
        }
        if (!carryPermissions(file, permissions)) {
            why = errnoText(errno);
            file.cancelWriting();
            return failWith(Message(MessageCode::CannotKeepPermissions, why));
        }
        // A file system that finds it full (or failing) only when the data reach the
        // disk says so here; QSaveFile's own sync would let that pass.
        if (::fsync(file.handle()) != 0 && errno != EINVAL) {
            why = errnoText(errno);
            file.cancelWriting();
            return failWith(Message(MessageCode::CannotWrite, why));
        }
        if (!file.commit())
            return failWith(Message(MessageCode::CannotWrite, file.errorString()));
        if (reason)
            *reason = Message();
        return true;
    } catch (...) {
        return failWith(MessageCode::CannotWriteNoMemory);
    }
}

} // namespace kestrelon
