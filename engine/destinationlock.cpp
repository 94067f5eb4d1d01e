#include "destinationlock.h"

#include "passobserver.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

DestinationLock::~DestinationLock()
{
    unlock();
}

DestinationLock::Result DestinationLock::lock(const QString &destination, bool wait,
                                              PassObserver &observer)
{
    unlock();
    m_path = QFile::encodeName(destination + QLatin1String("/.mapgenerator.lock"));
    Result result = tryLock();
    if (result != Result::Busy || !wait)
        return result;
    const QString step = QStringLiteral("waiting for another pass writing %1")
                             .arg(QDir::toNativeSeparators(destination));
    observer.statusMessage(step);
    while (result == Result::Busy) {
        // No total: how long the other pass takes is not known.
        if (observer.reportStep(step, 0, 0)) {
            result = Result::Cancelled;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        result = tryLock();
    }
    observer.stepFinished();
    return result;
}

void DestinationLock::unlock()
{
    if (m_fd < 0)
        return;
    // Removed while still locked: a pass that opened it meanwhile finds
    // that it locked a file no longer in the directory and tries again.
    ::unlink(m_path.constData());
    ::close(m_fd);
    m_fd = -1;
}

DestinationLock::Result DestinationLock::tryLock()
{
    for (;;) {
        int fd = ::open(m_path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        // Another user's lock file can still be locked through reading.
        if (fd < 0 && errno == EACCES) {
            fd = ::open(m_path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                errno = EACCES;
        }
        if (fd < 0) {
            m_errorString = qt_error_string(errno);
            return Result::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return Result::Busy;
            if (error == EINTR)
                continue;
            m_errorString = qt_error_string(error);
            return Result::Failed;
        }
        struct stat locked = {};
        struct stat named = {};
        if (::fstat(fd, &locked) == 0 && ::lstat(m_path.constData(), &named) == 0
            && locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            m_fd = fd;
            return Result::Locked;
        }
        ::close(fd);
    }
}
