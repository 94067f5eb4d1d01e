#pragma once

#include <QByteArray>
#include <QString>

class PassObserver;

// Keeps two passes from writing into one destination at once: an advisory
// lock on a lock file in it, which the kernel releases when the process
// dies however it dies. The lock file is removed on unlock.
class DestinationLock
{
public:
    enum class Result { Locked, Busy, Cancelled, Failed };

    DestinationLock() = default;
    ~DestinationLock();
    DestinationLock(const DestinationLock &) = delete;
    DestinationLock &operator=(const DestinationLock &) = delete;

    // Locks destination. When another pass holds it, returns Busy at once
    // unless wait is set; then it tells the observer that it waits, as a
    // step reported about every 50 ms, until the lock is free or the
    // observer is cancelled.
    Result lock(const QString &destination, bool wait, PassObserver &observer);
    void unlock();
    // The system's reason after Failed.
    QString errorString() const { return m_errorString; }

private:
    Result tryLock();

    QByteArray m_path;
    int m_fd = -1;
    QString m_errorString;
};
