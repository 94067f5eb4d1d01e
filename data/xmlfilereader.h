#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QXmlStreamReader>

#include <array>

class ReadPoll;

// Files nest a few levels; anything deeper than this is refused, whether it
// is read as a stream or as a DOM tree (whose cost grows with the depth).
constexpr int maxXmlElementDepth = 1000;

// Files up to this size are read whole and, when they keep to the plain XML
// our files are written in, scanned by a quick reader of their own; larger
// ones are streamed, so memory stays bounded (a definition file may hold a
// million definitions).
constexpr qint64 maxWholeXmlFileSize = 8 * 1024 * 1024;

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
// with the file past wholeFileLimit. Names and the keyword "True" compare
// case-sensitively, and namespaces are not processed, as the DOM parser was
// used before.
//
// A file of at most wholeFileLimit bytes is read whole first. When every
// byte of it lies in a plain subset of XML that is certainly well-formed
// (ASCII, no references, no DOCTYPE, CDATA or processing instructions but
// the declaration, tags that match), its tags come from a quick scan of the
// bytes; any other file is parsed by QXmlStreamReader from its start. Both
// give the same tags, lines, attributes and status.
class XmlFileReader
{
public:
    // poll, when given, is asked as the file is read and can stop it.
    XmlFileReader(const QString &path, ReadPoll *poll, qint64 wholeFileLimit = maxWholeXmlFileSize);

    // Moves to the next start or end tag. False at the end of the document,
    // at the first error (of syntax, or elements nested too deep), when the
    // file cannot be opened and when the poll stopped the read; status()
    // then says which.
    bool readNextTag();
    bool isStartTag() const { return m_plain ? m_plainStartTag : m_reader.isStartElement(); }
    // The depth of the current element; the root is at 1.
    int depth() const { return m_depth; }
    // Valid until the next readNextTag.
    QStringView name() const { return m_plain ? m_plainName : m_reader.qualifiedName(); }
    QXmlStreamAttributes attributes() const
    {
        return m_plain ? m_plainAttributes : m_reader.attributes();
    }
    // The line where the current tag ends, as the DOM parser numbered it.
    int lineNumber() const { return m_plain ? m_plainLine : int(m_reader.lineNumber()); }

    // Valid once readNextTag returned false. A stopped read is not ok.
    const XmlReadStatus &status() const { return m_status; }
    // Whether the file was read whole and scanned rather than parsed; known
    // after the first readNextTag.
    bool isScannedWhole() const { return m_plain; }

private:
    // Names repeat from tag to tag, so the strings made for them are kept,
    // a few by a hash of their bytes. Elements and attributes keep theirs
    // apart: no attribute takes the slot of the name handed out.
    struct PlainName
    {
        QByteArrayView bytes;
        QString text;
    };
    using PlainNames = std::array<PlainName, 32>;

    bool start();
    bool readNextParsedTag();
    bool readNextPlainTag();
    bool stopped(qint64 position);
    void fail(const QString &message);
    static const QString &plainName(PlainNames &names, const char *from, const char *to);

    QFile m_file;
    QXmlStreamReader m_reader;
    ReadPoll *m_poll;
    qint64 m_wholeFileLimit;
    XmlReadStatus m_status;
    int m_depth = 0;
    bool m_closeOnNext = false;
    bool m_started = false;
    bool m_done = false;

    // The scan of a plain file: its bytes, where the scan stands, and the
    // current tag.
    bool m_plain = false;
    QByteArray m_bytes;
    qsizetype m_at = 0;
    int m_line = 1;
    bool m_plainStartTag = false;
    // A self-closing tag is handed out again as its end tag.
    bool m_plainEndNext = false;
    QStringView m_plainName;
    int m_plainLine = 0;
    QXmlStreamAttributes m_plainAttributes;
    // See PlainName.
    PlainNames m_elementNames;
    PlainNames m_attributeNames;
};

// The column of the error in status, counted in characters rather than in
// UTF-16 units (a character outside the Basic Multilingual Plane is two
// units). Reads path again up to the error; where its text cannot be
// decoded as the parser did, the parser's column stays.
int errorColumnInCharacters(const QString &path, const XmlReadStatus &status);
