#include "programinfo.h"

#include "buildcommit.h"

#include <QCommandLineParser>
#include <QCoreApplication>

QString programVersion()
{
    const QString version = QStringLiteral(QUILLMOOR_VERSION);
    const QString commit = QStringLiteral(QUILLMOOR_COMMIT);
    return commit.isEmpty() ? version : QStringLiteral("%1 (git %2)").arg(version, commit);
}

QString helpText(const QCommandLineParser &parser, const QString &command)
{
    QString text = parser.helpText();
    // Qt names the program by its first argument, as it was started.
    const QString started = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
    if (text.startsWith(started))
        text.replace(0, started.size(), QStringLiteral("Usage: ") + command);
    return text;
}
