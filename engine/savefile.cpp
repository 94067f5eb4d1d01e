#include "savefile.h"

#include "mapfilewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray temporaryName(const QString &target)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix(6, QLatin1Char('x'));
    for (QChar &letter : suffix)
        letter = QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return QFile::encodeName(target + QLatin1String(".tmp-") + suffix);
}

class SaveFile : public MapOutputFile
{
public:
    explicit SaveFile(const QString &path) : m_path(path) { }
    // Destroyed without commit() or cancel(), a temporary file that sync()
    // named stays: a commit record may name it.
    ~SaveFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool open() override
    {
        m_target = SaveFiles::resolvedTarget(m_path);
        const QByteArray target = QFile::encodeName(m_target);
        struct stat existing = {};
        const bool exists = ::stat(target.constData(), &existing) == 0;
        if (exists && S_ISDIR(existing.st_mode))
            return fail(EISDIR);
        // A map file made read-only is not to be replaced behind its
        // owner's back.
        if (exists && ::access(target.constData(), W_OK) != 0)
            return fail(errno);
        const QByteArray directory = QFile::encodeName(QFileInfo(m_target).path());
        m_fd = ::open(directory.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // File systems without unnamed files get a named one at once.
        if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
                const QByteArray name = temporaryName(m_target);
                m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                if (m_fd >= 0)
                    m_temporary = QFile::decodeName(name);
                else if (errno != EEXIST)
                    break;
            }
        }
        if (m_fd < 0)
            return fail(errno);
        // The new file keeps the permissions of the one it replaces.
        if (exists && ::fchmod(m_fd, existing.st_mode & 07777) != 0) {
            const int error = errno;
            cancel();
            return fail(error);
        }
        return true;
    }

    bool write(const QByteArray &data) override
    {
        return writeBytes(data.constData(), data.size());
    }

    bool writeBytes(const char *data, qsizetype size) override
    {
        const char *at = data;
        qsizetype left = size;
        while (left > 0) {
            const ssize_t written = ::write(m_fd, at, std::size_t(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return fail(errno);
            at += written;
            left -= written;
        }
        m_written += size;
        // Starts getting what was written onto the disk while the pass goes
        // on, so that sync() at the end waits for little more than the last
        // chunks. Only a head start: sync() still makes the guarantee. A
        // few megabytes at a time: every start costs the disk's queue a
        // round of requests and interrupts, whatever its length.
        if (m_written - m_writeBehind >= writeBehindStep) {
            ::sync_file_range(m_fd, m_writeBehind, m_written - m_writeBehind,
                              SYNC_FILE_RANGE_WRITE);
            m_writeBehind = m_written;
        }
        return true;
    }

    bool sync() override
    {
        if (::fsync(m_fd) != 0)
            return fail(errno);
        return nameTemporary() && SaveFiles::syncDirectory(QFileInfo(m_target).path(), &m_error);
    }

    bool commit() override
    {
        const int closed = ::close(m_fd);
        m_fd = -1;
        if (closed != 0)
            return fail(errno);
        if (::rename(QFile::encodeName(m_temporary).constData(),
                     QFile::encodeName(m_target).constData())
            != 0)
            return fail(errno);
        m_temporary.clear();
        return true;
    }

    void cancel() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        if (!m_temporary.isEmpty())
            ::unlink(QFile::encodeName(m_temporary).constData());
        m_temporary.clear();
    }

    QString fileName() const override { return m_path; }
    QString temporaryFileName() const override { return m_temporary; }
    QString errorString() const override { return m_error; }

private:
    bool fail(int error)
    {
        m_error = qt_error_string(error);
        return false;
    }

    // Gives the unnamed file its temporary name, so that it can be renamed.
    bool nameTemporary()
    {
        if (!m_temporary.isEmpty())
            return true;
        const QByteArray handle = "/proc/self/fd/" + QByteArray::number(m_fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = temporaryName(m_target);
            if (::linkat(AT_FDCWD, handle.constData(), AT_FDCWD, name.constData(),
                         AT_SYMLINK_FOLLOW)
                == 0) {
                m_temporary = QFile::decodeName(name);
                return true;
            }
            if (errno != EEXIST)
                break;
        }
        return fail(errno);
    }

    QString m_path;
    QString m_target;
    QString m_temporary;
    QString m_error;
    int m_fd = -1;
    off_t m_written = 0;
    // Where the write-behind has got to.
    off_t m_writeBehind = 0;
    static constexpr off_t writeBehindStep = off_t(4) << 20;
};

} // namespace

std::unique_ptr<MapOutputFile> createSaveFile(const QString &path)
{
    return std::make_unique<SaveFile>(path);
}

namespace SaveFiles {

QString resolvedTarget(const QString &path)
{
    // As many links as the kernel follows; a longer chain fails at open.
    QString name = path;
    for (int link = 0; link < 40; ++link) {
        const QFileInfo info(name);
        if (!info.isSymLink())
            break;
        name = QDir::cleanPath(info.absoluteDir().filePath(info.symLinkTarget()));
    }
    return name;
}

QString temporaryTarget(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^(.+)\\.tmp-[A-Za-z0-9]{6}$"));
    return pattern.match(name).captured(1);
}

bool syncDirectory(const QString &directory, QString *error)
{
    const int fd =
        ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = qt_error_string(errno);
        return false;
    }
    // EINVAL: a file system that has nothing to sync for a directory.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    if (!synced)
        *error = qt_error_string(errno);
    ::close(fd);
    return synced;
}

} // namespace SaveFiles
