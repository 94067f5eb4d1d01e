#pragma once

#include <QString>

class QCommandLineParser;

// The version both programs report: "0.1", or "0.1 (git 1a2b3c4d5e6f)" when
// built from a git checkout.
QString programVersion();

// The parser's help with its usage line naming the command as a user types
// it ("mapgenerator-cli generate [options]") rather than the path the
// program was started by.
QString helpText(const QCommandLineParser &parser, const QString &command);
