#include "xmlfilereader.h"

#include "readpoll.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <optional>

bool openXmlInput(QFile &file, QString &error)
{
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile()) {
        error = QStringLiteral("not a regular file");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    return true;
}

QString xmlTooDeepMessage()
{
    return QStringLiteral("elements nested more than %1 levels deep").arg(maxXmlElementDepth);
}

XmlFileReader::XmlFileReader(const QString &path, ReadPoll *poll) : m_file(path), m_poll(poll) { }

bool XmlFileReader::readNextTag()
{
    if (m_done)
        return false;
    if (!m_started) {
        m_started = true;
        if (!openXmlInput(m_file, m_status.errorMessage)) {
            m_done = true;
            return false;
        }
        m_status.opened = true;
        m_reader.setDevice(&m_file);
        m_reader.setNamespaceProcessing(false);
    }
    if (m_closeOnNext) {
        --m_depth;
        m_closeOnNext = false;
    }
    for (;;) {
        if (m_poll && m_poll->poll(m_file.pos())) {
            m_done = true;
            m_status.errorMessage = QStringLiteral("stopped");
            return false;
        }
        switch (m_reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            m_status.declaredEncoding = m_reader.documentEncoding().toString();
            break;
        case QXmlStreamReader::StartElement:
            if (++m_depth > maxXmlElementDepth) {
                fail(xmlTooDeepMessage());
                return false;
            }
            return true;
        case QXmlStreamReader::EndElement:
            // The element stays current until the next call.
            m_closeOnNext = true;
            return true;
        case QXmlStreamReader::EndDocument:
            m_done = true;
            m_status.ok = true;
            return false;
        case QXmlStreamReader::Invalid:
            fail(m_reader.errorString());
            return false;
        default:
            break;
        }
    }
}

void XmlFileReader::fail(const QString &message)
{
    m_done = true;
    m_status.errorMessage = message;
    m_status.errorLine = int(m_reader.lineNumber());
    m_status.errorColumn = int(m_reader.columnNumber());
    m_status.errorOffset = m_reader.characterOffset();
}

int errorColumnInCharacters(const QString &path, const XmlReadStatus &status)
{
    QFile file(path);
    if (status.errorLine < 1 || !file.open(QIODevice::ReadOnly))
        return status.errorColumn;
    // The parser's own choice: a byte order mark or the UTF-16 or UTF-32
    // form of '<' first, else the declared encoding, else UTF-8. An initial
    // byte order mark is no character to either.
    const std::optional<QStringConverter::Encoding> detected =
        QStringConverter::encodingForData(file.peek(4), u'<');
    QStringDecoder decoder = detected ? QStringDecoder(*detected)
        : status.declaredEncoding.isEmpty()
        ? QStringDecoder(QStringConverter::Utf8)
        : QStringDecoder(status.declaredEncoding.toLatin1().constData());
    if (!decoder.isValid())
        return status.errorColumn;

    // Lines end at LF, CR LF or a lone CR, as the parser counts them.
    int line = 1;
    qint64 offset = 0;
    int column = 0;
    int characters = 0;
    QChar previous;
    while (!file.atEnd()) {
        const QString text = decoder.decode(file.read(64 * 1024));
        for (const QChar c : text) {
            if (line == status.errorLine) {
                if (column == status.errorColumn)
                    return offset == status.errorOffset ? characters : status.errorColumn;
                // The LF of a CR LF that began the line is no column of it;
                // the second half of a pair is no character of its own.
                if (!(c == u'\n' && previous == u'\r')) {
                    ++column;
                    if (!(c.isLowSurrogate() && previous.isHighSurrogate()))
                        ++characters;
                }
            }
            if (c == u'\r' || (c == u'\n' && previous != u'\r'))
                ++line;
            previous = c;
            ++offset;
            if (line > status.errorLine)
                return status.errorColumn;
        }
    }
    return line == status.errorLine && column == status.errorColumn && offset == status.errorOffset
        ? characters
        : status.errorColumn;
}
