#pragma once

#include "data/dataproblem.h"

#include <QList>
#include <QTextStream>

// "3 errors", "1 warning".
QString plural(qsizetype count, const char *noun);

// "1.940 s", as the summaries give their times.
QString seconds(qint64 nanoseconds);

// One line per problem, FILE:LINE: severity: message (with :COLUMN where
// the parser gives one), as compilers print them, so editors can jump
// there; further lines of the message follow, indented.
void printProblems(QTextStream &out, const QList<DataProblem> &problems);

QString severityName(DataProblem::Severity severity);
