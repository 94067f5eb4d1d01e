#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QTextStream>

#include <optional>

// Exit statuses shared by every command.
enum ExitCode { success = 0, failure = 1, usageError = 2 };

// The argument parser of one command: --help, unexpected arguments and
// missing required options are answered the same way by every command.
class CommandParser : public QCommandLineParser
{
public:
    CommandParser(const QString &command, const QString &description);

    // Parses the arguments (the command's name already removed). Returns the
    // exit status when the command is done (help shown, or a usage error
    // reported), nothing when it should go on.
    std::optional<int> parseArguments(const QStringList &arguments,
                                      const QList<QCommandLineOption> &required);

    // Reports a problem with the arguments; returns usageError.
    int usage(const QString &problem);

private:
    QString m_command;
    QTextStream m_err;
};

// Reports a data directory that does not exist, naming it; false then.
bool dataDirectoryExists(const QString &dataDirectory);
