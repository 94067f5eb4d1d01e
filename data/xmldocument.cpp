#include "xmldocument.h"

#include <QFile>

XmlDocumentResult readXmlDocument(const QString &path)
{
    XmlDocumentResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.errorMessage = file.errorString();
        return result;
    }
    result.opened = true;
    result.ok = result.document.setContent(&file, &result.errorMessage, &result.errorLine,
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
