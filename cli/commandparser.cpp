#include "commandparser.h"

#include "programinfo.h"

#include <QDir>
#include <QFileInfo>

CommandParser::CommandParser(const QString &command, const QString &description)
    : m_command(command), m_err(stderr)
{
    setApplicationDescription(description);
    // Qt's --help-all would add Qt's internal options, which mean nothing to
    // a command; it is taken as --help and not listed.
    QCommandLineOption helpAll(QStringLiteral("help-all"));
    helpAll.setFlags(QCommandLineOption::HiddenFromHelp);
    addOptions({{{QStringLiteral("h"), QStringLiteral("help")},
                 QStringLiteral("Displays help on commandline options.")},
                helpAll});
}

std::optional<int> CommandParser::parseArguments(const QStringList &arguments,
                                                 const QList<QCommandLineOption> &required)
{
    if (!parse(arguments))
        return usage(errorText());
    if (isSet(QStringLiteral("help")) || isSet(QStringLiteral("help-all"))) {
        QTextStream(stdout) << ::helpText(*this, QStringLiteral("mapgenerator-cli ") + m_command);
        return success;
    }
    if (!positionalArguments().isEmpty())
        return usage(
            QStringLiteral("unexpected argument '%1'").arg(positionalArguments().constFirst()));
    for (const QCommandLineOption &option : required) {
        if (!isSet(option))
            return usage(QStringLiteral("--%1 is required").arg(option.names().constFirst()));
        // As an unset shell variable gives it; an empty path would mean the
        // current or the root directory.
        if (value(option).isEmpty())
            return usage(
                QStringLiteral("--%1 is empty; give it a path").arg(option.names().constFirst()));
    }
    return std::nullopt;
}

int CommandParser::usage(const QString &problem)
{
    m_err << "error: " << problem << "\nRun 'mapgenerator-cli " << m_command
          << " --help' for the options." << Qt::endl;
    return usageError;
}

bool dataDirectoryExists(const QString &dataDirectory)
{
    if (QFileInfo(dataDirectory).isDir())
        return true;
    QTextStream(stderr) << "error: data directory " << QDir::toNativeSeparators(dataDirectory)
                        << " does not exist; pass the directory that holds system/terrain.xml "
                           "with --data"
                        << Qt::endl;
    return false;
}
