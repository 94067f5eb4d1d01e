#include "xmldocument.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace {

// Building a DOM tree costs time in proportion to the depth of every node,
// so a file nested a hundred thousand levels deep takes hours. Our files
// nest a few levels; anything this deep is refused before the DOM sees it.
constexpr int maxElementDepth = 1000;

// The line and column of the first element deeper than maxElementDepth, or
// 0 when there is none. A streaming reader keeps only its tag stack, so this
// costs the same at any depth; syntax errors are left to the DOM parser.
int tooDeepAt(const QByteArray &contents, int &column)
{
    QXmlStreamReader reader(contents);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > maxElementDepth) {
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
    // A named pipe or a device would block the open or never end the read.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        result.errorMessage = QStringLiteral("not a regular file");
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.errorMessage = file.errorString();
        return result;
    }
    result.opened = true;
    const QByteArray contents = file.readAll();
    result.errorLine = tooDeepAt(contents, result.errorColumn);
    if (result.errorLine > 0) {
        result.errorMessage =
            QStringLiteral("elements nested more than %1 levels deep").arg(maxElementDepth);
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
