#include "xmlfilereader.h"

#include "readpoll.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// The poll is told positions a step at a time, as the parser's buffered
// reads would move them, so that it looks at its clock only now and then.
constexpr qsizetype pollStep = 8 * 1024;

// More attributes on one tag than this leave the file to the parser: the
// check for repeated names compares each with all before it.
constexpr int maxPlainAttributes = 32;

// Longer names leave the file to the parser, which cuts names of several
// thousand characters short rather than taking them whole.
constexpr qsizetype maxPlainNameLength = 1024;

enum ByteClass : unsigned char {
    // Printable ASCII, tab, LF, CR.
    Plain = 1,
    Space = 2,
    NameStart = 4,
    NameChar = 8,
    // In an attribute value: printable ASCII but '<' and '&'.
    ValueChar = 16,
    // In text: plain but '<', '&' and ']', which may begin "]]>".
    TextChar = 32,
    // In a comment: plain but '-'.
    CommentChar = 64,
};

constexpr std::array<unsigned char, 256> makeByteClasses()
{
    std::array<unsigned char, 256> classes {};
    for (int c = 0; c < 256; ++c) {
        const bool printable = c >= 0x20 && c < 0x7f;
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        const bool nameStart = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool plain = printable || space;
        unsigned char bits = 0;
        if (plain)
            bits |= Plain;
        if (space)
            bits |= Space;
        if (nameStart)
            bits |= NameStart | NameChar;
        if ((c >= '0' && c <= '9') || c == '.' || c == '-')
            bits |= NameChar;
        if (printable && c != '<' && c != '&')
            bits |= ValueChar;
        if (plain && c != '<' && c != '&' && c != ']')
            bits |= TextChar;
        if (plain && c != '-')
            bits |= CommentChar;
        classes[c] = bits;
    }
    return classes;
}

constexpr std::array<unsigned char, 256> byteClasses = makeByteClasses();

bool is(char c, unsigned char classes)
{
    return byteClasses[static_cast<unsigned char>(c)] & classes;
}

// Whether a line ends at p: lines end at LF, CR LF or a lone CR. Reads the
// byte after p, which a QByteArray always has (its terminating NUL at the
// end).
bool endsLine(const char *p)
{
    return *p == '\n' || (*p == '\r' && p[1] != '\n');
}

int lineEnds(const char *from, const char *to)
{
    int count = 0;
    for (const char *p = from; p < to; ++p)
        count += endsLine(p);
    return count;
}

// Whether a document lies wholly in the subset of XML 1.0 that the quick
// scan reads: printable ASCII, tab, LF and CR; an optional declaration of
// version 1.0, in UTF-8 or ASCII; comments; elements with names of ASCII
// letters, digits, '_', '.' and '-' (no namespace prefix), matched end
// tags, at most maxXmlElementDepth deep, one root; attributes with values
// in either quote without '<', '&' or the tab and line ends the parser
// would turn into spaces, no name twice, none starting with "xmlns"; text
// without references or "]]>", only white space outside the root. Anything
// else, valid or not, is left to the parser, which then reports its own
// errors. encoding receives the declared encoding.
//
// The loops stop at the NUL that ends every QByteArray, which belongs to no
// class, so they need no bounds check of their own.
class PlainXmlCheck
{
public:
    explicit PlainXmlCheck(const QByteArray &bytes)
        : m_p(bytes.constData()), m_end(m_p + bytes.size())
    {
    }

    bool run(QString &encoding)
    {
        if (take("<?xml") && !declaration(encoding))
            return false;
        std::vector<QByteArrayView> open;
        bool rootDone = false;
        for (;;) {
            if (open.empty()) {
                skipSpace();
            } else {
                for (;;) {
                    while (is(*m_p, TextChar))
                        ++m_p;
                    if (*m_p != ']')
                        break;
                    if (m_p[1] == ']' && m_p[2] == '>')
                        return false;
                    ++m_p;
                }
            }
            if (m_p == m_end)
                return rootDone;
            if (!take("<"))
                return false;
            if (take("!--")) {
                if (!comment())
                    return false;
            } else if (take("/")) {
                if (open.empty() || name() != open.back())
                    return false;
                skipSpace();
                if (!take(">"))
                    return false;
                open.pop_back();
                rootDone = open.empty();
            } else {
                if (rootDone)
                    return false;
                const QByteArrayView element = name();
                bool empty = false;
                if (element.isEmpty() || open.size() == size_t(maxXmlElementDepth)
                    || !attributes(empty))
                    return false;
                if (empty)
                    rootDone = open.empty();
                else
                    open.push_back(element);
            }
        }
    }

private:
    template<size_t N> bool take(const char (&literal)[N])
    {
        constexpr qsizetype size = N - 1;
        if (m_end - m_p < size || std::memcmp(m_p, literal, size) != 0)
            return false;
        m_p += size;
        return true;
    }

    bool skipSpace()
    {
        const char *const from = m_p;
        while (is(*m_p, Space))
            ++m_p;
        return m_p != from;
    }

    // Empty for none, and for a name longer than the parser may take whole.
    QByteArrayView name()
    {
        const char *const from = m_p;
        if (!is(*m_p, NameStart))
            return {};
        while (is(*m_p, NameChar))
            ++m_p;
        if (m_p - from > maxPlainNameLength)
            return {};
        return QByteArrayView(from, m_p - from);
    }

    bool equals()
    {
        skipSpace();
        if (!take("="))
            return false;
        skipSpace();
        return true;
    }

    // A quoted attribute value; null when there is none.
    QByteArrayView value()
    {
        const char quote = *m_p;
        if (quote != '"' && quote != '\'')
            return {};
        const char *const from = ++m_p;
        while (*m_p != quote && is(*m_p, ValueChar))
            ++m_p;
        if (*m_p != quote)
            return {};
        ++m_p;
        // Not null even when empty.
        return QByteArrayView(from, m_p - 1 - from);
    }

    // After "<?xml": the rest of the declaration.
    bool declaration(QString &encoding)
    {
        if (!skipSpace() || !take("version") || !equals())
            return false;
        const QByteArrayView version = value();
        if (version != "1.0")
            return false;
        bool space = skipSpace();
        if (space && take("encoding")) {
            if (!equals())
                return false;
            const QByteArrayView name = value();
            if (!isPlainEncoding(name))
                return false;
            encoding = QString::fromLatin1(name);
            space = skipSpace();
        }
        if (space && take("standalone")) {
            if (!equals())
                return false;
            const QByteArrayView standalone = value();
            if (standalone != "yes" && standalone != "no")
                return false;
            skipSpace();
        }
        return take("?>");
    }

    // UTF-8 in any spelling Qt knows, or ASCII where the parser can decode
    // it: an ASCII file reads the same either way. The parser wants a letter
    // first.
    static bool isPlainEncoding(QByteArrayView name)
    {
        if (name.isEmpty() || !is(name.front(), NameStart) || name.front() == '_'
            || !std::all_of(name.begin(), name.end(),
                            [](char c) { return is(c, NameChar) && c != '.'; }))
            return false;
        const QByteArray text = name.toByteArray();
        if (QStringConverter::encodingForName(text.constData()) == QStringConverter::Utf8)
            return true;
        return (name.compare("US-ASCII", Qt::CaseInsensitive) == 0
                || name.compare("ASCII", Qt::CaseInsensitive) == 0)
            && QStringDecoder(text.constData()).isValid();
    }

    // After "<!--": the rest of the comment, without "--" inside.
    bool comment()
    {
        for (;;) {
            while (is(*m_p, CommentChar))
                ++m_p;
            if (*m_p != '-')
                return false;
            if (m_p[1] == '-') {
                if (m_p[2] != '>')
                    return false;
                m_p += 3;
                return true;
            }
            ++m_p;
        }
    }

    // After the name of a start tag: its attributes and its end; empty
    // tells "/>".
    bool attributes(bool &empty)
    {
        std::array<QByteArrayView, maxPlainAttributes> names;
        int count = 0;
        for (;;) {
            const bool space = skipSpace();
            if (take(">"))
                return true;
            if (take("/>")) {
                empty = true;
                return true;
            }
            const QByteArrayView attribute = name();
            if (!space || attribute.isEmpty() || attribute.startsWith("xmlns")
                || count == maxPlainAttributes || !equals() || value().isNull())
                return false;
            if (std::find(names.begin(), names.begin() + count, attribute) != names.begin() + count)
                return false;
            names[count++] = attribute;
        }
    }

    const char *m_p;
    const char *const m_end;
};

bool isPlainXml(const QByteArray &bytes, QString &encoding)
{
    return PlainXmlCheck(bytes).run(encoding);
}

} // namespace

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

XmlFileReader::XmlFileReader(const QString &path, ReadPoll *poll, qint64 wholeFileLimit)
    : m_file(path), m_poll(poll), m_wholeFileLimit(wholeFileLimit)
{
}

bool XmlFileReader::readNextTag()
{
    if (m_done)
        return false;
    if (!m_started && !start())
        return false;
    if (m_closeOnNext) {
        --m_depth;
        m_closeOnNext = false;
    }
    return m_plain ? readNextPlainTag() : readNextParsedTag();
}

bool XmlFileReader::start()
{
    m_started = true;
    if (!openXmlInput(m_file, m_status.errorMessage)) {
        m_done = true;
        return false;
    }
    m_status.opened = true;
    const qint64 size = m_file.size();
    if (size <= m_wholeFileLimit) {
        // One byte more than the size tells a file that grew meanwhile.
        m_bytes = m_file.read(size + 1);
        QString encoding;
        if (m_bytes.size() <= size && isPlainXml(m_bytes, encoding)) {
            m_plain = true;
            m_status.declaredEncoding = encoding;
            return true;
        }
        m_bytes = QByteArray();
        if (!m_file.seek(0)) {
            m_done = true;
            m_status.errorMessage = m_file.errorString();
            return false;
        }
    }
    m_reader.setDevice(&m_file);
    m_reader.setNamespaceProcessing(false);
    return true;
}

bool XmlFileReader::stopped(qint64 position)
{
    if (!m_poll || !m_poll->poll(position))
        return false;
    m_done = true;
    m_status.errorMessage = QStringLiteral("stopped");
    return true;
}

bool XmlFileReader::readNextParsedTag()
{
    for (;;) {
        if (stopped(m_file.pos()))
            return false;
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

bool XmlFileReader::readNextPlainTag()
{
    if (m_plainEndNext) {
        // The end of a self-closing tag: same name and line, no attributes.
        m_plainEndNext = false;
        m_plainStartTag = false;
        m_plainAttributes.clear();
        m_closeOnNext = true;
        return true;
    }
    // The file checked whole, so each markup is known to be complete and
    // well-formed here; the scan only finds its parts. Line ends are
    // counted up to each tag's '>', where the parser stands when it
    // reports the tag.
    const char *const data = m_bytes.constData();
    const char *const end = data + m_bytes.size();
    const char *p = data + m_at;
    const auto advance = [&](const char *to) {
        m_line += lineEnds(p, to);
        p = to;
        m_at = p - data;
    };
    for (;;) {
        if (stopped(m_at - m_at % pollStep))
            return false;
        const char *const markup = static_cast<const char *>(std::memchr(p, '<', end - p));
        if (!markup) {
            m_done = true;
            m_status.ok = true;
            return false;
        }
        advance(markup);
        if (p[1] == '!' || p[1] == '?') {
            // A comment, or the declaration at the start. Its end is looked
            // for after its opening: "<!-->" opens a comment that goes on.
            const bool comment = p[1] == '!';
            const QByteArrayView close = comment ? QByteArrayView("-->") : QByteArrayView("?>");
            const qsizetype opening = comment ? 4 : 5;
            const qsizetype at = QByteArrayView(p + opening, end - p - opening).indexOf(close);
            advance(p + opening + at + close.size());
            continue;
        }
        const bool startTag = p[1] != '/';
        const char *const name = p + (startTag ? 1 : 2);
        const char *q = name;
        while (is(*q, NameChar))
            ++q;
        m_plainName = plainName(m_elementNames, name, q);
        m_plainStartTag = startTag;
        m_plainAttributes.clear();
        // Inside a tag, lines end only in its white space.
        const auto skipSpace = [&] {
            for (; is(*q, Space); ++q)
                m_line += endsLine(q);
        };
        for (;;) {
            skipSpace();
            if (*q == '>' || *q == '/')
                break;
            const char *const attribute = q;
            while (is(*q, NameChar))
                ++q;
            const char *const attributeEnd = q;
            skipSpace();
            ++q; // '='
            skipSpace();
            const char quote = *q;
            const char *const value = ++q;
            q = static_cast<const char *>(std::memchr(q, quote, end - q));
            // Values are plain ASCII, so Latin-1 decodes them as UTF-8
            // would; an empty one is an empty, not a null string, as the
            // parser gives it.
            m_plainAttributes.append(
                QXmlStreamAttribute(QString(), plainName(m_attributeNames, attribute, attributeEnd),
                                    QString::fromLatin1(value, q - value)));
            ++q;
        }
        if (*q == '/') {
            m_plainEndNext = true;
            ++q;
        }
        m_plainLine = m_line;
        m_at = q + 1 - data;
        if (startTag)
            ++m_depth;
        else
            m_closeOnNext = true;
        return true;
    }
}

const QString &XmlFileReader::plainName(PlainNames &names, const char *from, const char *to)
{
    const QByteArrayView bytes(from, to - from);
    // Our names differ in length or in their first or last letter.
    const size_t hash = size_t(bytes.size()) * 7 + static_cast<unsigned char>(bytes.front())
        + static_cast<unsigned char>(bytes.back()) * 3;
    PlainName &name = names[hash % names.size()];
    if (name.bytes.size() != bytes.size()
        || std::memcmp(name.bytes.data(), bytes.data(), bytes.size()) != 0) {
        name.bytes = bytes;
        name.text = QString::fromLatin1(bytes);
    }
    return name.text;
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
