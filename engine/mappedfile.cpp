#include "mappedfile.h"

bool MappedFile::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.exists()) {
        m_errorString = QStringLiteral("does not exist");
        return false;
    }
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_errorString = QStringLiteral("cannot be read (%1)").arg(m_file.errorString());
        return false;
    }
    m_size = m_file.size();
    if (m_size == 0)
        return true;
    m_data = m_file.map(0, m_size);
    if (!m_data) {
        m_errorString = QStringLiteral("cannot be read (%1)").arg(m_file.errorString());
        return false;
    }
    return true;
}
