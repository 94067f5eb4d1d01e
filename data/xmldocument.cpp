#include "xmldocument.h"

#include "xmlfilereader.h"

#include <QFile>
#include <QXmlStreamReader>

namespace {

// Building a DOM tree costs time in proportion to the depth of every node,
// so a file nested a hundred thousand levels deep takes hours: anything too
// deep is refused before the DOM sees it.
// The line and column of the first element deeper than maxXmlElementDepth,
// or 0 when there is none. A streaming reader keeps only its tag stack, so this
// costs the same at any depth; syntax errors are left to the DOM parser.
int tooDeepAt(const QByteArray &contents, int &column)
{
    QXmlStreamReader reader(contents);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > maxXmlElementDepth) {
                column = int(reader.columnNumber());
                return int(reader.lineNumber());
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return 0;
}

} // namespace

XmlDocumentResult readXmlDocument(const QString &path)
{
    XmlDocumentResult result;
    QFile file(path);
    if (!openXmlInput(file, result.errorMessage))
        return result;
    result.opened = true;
    const QByteArray contents = file.readAll();
    result.errorLine = tooDeepAt(contents, result.errorColumn);
    if (result.errorLine > 0) {
        result.errorMessage = xmlTooDeepMessage();
        return result;
    }
    result.ok = result.document.setContent(contents, &result.errorMessage, &result.errorLine,
                                           &result.errorColumn);
    return result;
}

QList<QDomElement> descendantElements(const QDomElement &element, const QString &name)
{
    QList<QDomElement> found;
    // Pre-order walk without recursion, so deeply nested files cannot
    // exhaust the stack.
    QDomNode node = element.firstChild();
    while (!node.isNull()) {
        if (node.isElement() && node.nodeName() == name)
            found.append(node.toElement());
        if (node.hasChildNodes()) {
            node = node.firstChild();
            continue;
        }
        while (!node.isNull() && node.nextSibling().isNull()) {
            node = node.parentNode();
            if (node == element)
                return found;
        }
        if (!node.isNull())
            node = node.nextSibling();
    }
    return found;
}
