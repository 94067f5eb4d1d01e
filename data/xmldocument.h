#pragma once

#include <QDomDocument>
#include <QList>
#include <QString>

// The outcome of reading one XML input file. Loaders skip a file silently
// when it fails; diagnostics tools report the parser's message and position.
struct XmlDocumentResult
{
    QDomDocument document;
    bool ok = false;
    bool opened = false;
    QString errorMessage;
    int errorLine = 0;
    int errorColumn = 0;
};

// Opens the file read-only and parses it whole with the DOM parser, without
// namespace processing.
XmlDocumentResult readXmlDocument(const QString &path);

// Every element with the given name below the element (never the element
// itself), in document order.
QList<QDomElement> descendantElements(const QDomElement &element, const QString &name);
