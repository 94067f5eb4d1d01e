#pragma once

#include <QString>

// One thing in a designer's inputs that the generator would take silently
// but that does not do what its text suggests.
struct DataProblem
{
    // An error changes the map; a warning is likely a mistake but the map
    // is what the text says.
    enum class Severity { Error, Warning };

    Severity severity = Severity::Error;
    // A stable name of the kind of problem, for scripts ("key-never-matches").
    QString code;
    QString file;
    // 0 when the problem concerns the whole file.
    int line = 0;
    int column = 0;
    // One line, or more: lines after the first show what it concerns, such
    // as a drawn border pattern.
    QString message;
};
