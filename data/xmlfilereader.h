#pragma once

#include <QFile>
#include <QString>
#include <QXmlStreamReader>

class ReadPoll;

// Files nest a few levels; anything deeper than this is refused, whether it
// is read as a stream or as a DOM tree (whose cost grows with the depth).
constexpr int maxXmlElementDepth = 1000;

// Whether an XML input file could be opened and parsed, and if not, why and
// where the parser stopped.
struct XmlReadStatus
{
    bool opened = false;
    bool ok = false;
    QString errorMessage;
    int errorLine = 0;
    // In UTF-16 units, as the parser counts; see errorColumnInCharacters.
    int errorColumn = 0;
    // The parser's offset in UTF-16 units and the encoding the file
    // declared, kept to count the column again in characters.
    qint64 errorOffset = 0;
    QString declaredEncoding;
};

// Why a file nested deeper than maxXmlElementDepth is refused.
QString xmlTooDeepMessage();

// Opens the file read-only. A named pipe or a device is refused: the open could
// wait forever and the read never end. error receives the reason.
bool openXmlInput(QFile &file, QString &error);

// Reads an XML file tag by tag without keeping it: memory does not grow
// with the file. Names and the keyword "True" compare case-sensitively, and
// namespaces are not processed, as the DOM parser was used before.
class XmlFileReader
{
public:
    // poll, when given, is asked as the file is read and can stop it.
    XmlFileReader(const QString &path, ReadPoll *poll);

    // Moves to the next start or end tag. False at the end of the document,
    // at the first error (of syntax, or elements nested too deep), when the
    // file cannot be opened and when the poll stopped the read; status()
    // then says which.
    bool readNextTag();
    bool isStartTag() const { return m_reader.isStartElement(); }
    // The depth of the current element; the root is at 1.
    int depth() const { return m_depth; }
    QStringView name() const { return m_reader.qualifiedName(); }
    QXmlStreamAttributes attributes() const { return m_reader.attributes(); }
    // The line where the current tag ends, as the DOM parser numbered it.
    int lineNumber() const { return int(m_reader.lineNumber()); }

    // Valid once readNextTag returned false. A stopped read is not ok.
    const XmlReadStatus &status() const { return m_status; }

private:
    void fail(const QString &message);

    QFile m_file;
    QXmlStreamReader m_reader;
    ReadPoll *m_poll;
    XmlReadStatus m_status;
    int m_depth = 0;
    bool m_closeOnNext = false;
    bool m_started = false;
    bool m_done = false;
};

// The column of the error in status, counted in characters rather than in
// UTF-16 units (a character outside the Basic Multilingual Plane is two
// units). Reads path again up to the error; where its text cannot be
// decoded as the parser did, the parser's column stays.
int errorColumnInCharacters(const QString &path, const XmlReadStatus &status);
