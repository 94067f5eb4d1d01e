#pragma once

#include <QByteArray>
#include <QString>

// Text for the inside of an XML comment, which may not hold "--".
inline QByteArray xmlCommentText(const QString &text)
{
    QString safe = text;
    while (safe.contains(QLatin1String("--")))
        safe.replace(QLatin1String("--"), QLatin1String("- -"));
    return safe.toUtf8();
}

// Text for an attribute value in double quotes.
inline QByteArray xmlAttributeText(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}
