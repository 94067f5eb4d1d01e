#pragma once

#include <QFile>
#include <QString>

// A whole file mapped read-only into memory, so that map files of any size
// are read without copying them.
class MappedFile
{
public:
    // On failure errorString() says why, in words for the user.
    bool open(const QString &path);

    // Null for an empty file.
    const uchar *data() const { return m_data; }
    qint64 size() const { return m_size; }
    QString errorString() const { return m_errorString; }

private:
    QFile m_file;
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    QString m_errorString;
};
