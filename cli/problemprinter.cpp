#include "problemprinter.h"

QString plural(qsizetype count, const char *noun)
{
    return QStringLiteral("%1 %2%3")
        .arg(count)
        .arg(QLatin1String(noun))
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

QString seconds(qint64 nanoseconds)
{
    return QString::number(nanoseconds / 1e9, 'f', 3) + QLatin1String(" s");
}

QString severityName(DataProblem::Severity severity)
{
    return severity == DataProblem::Severity::Error ? QStringLiteral("error")
                                                    : QStringLiteral("warning");
}

void printProblems(QTextStream &out, const QList<DataProblem> &problems)
{
    for (const DataProblem &problem : problems) {
        out << problem.file;
        if (problem.line > 0)
            out << ':' << problem.line;
        if (problem.column > 0)
            out << ':' << problem.column;
        const QStringList lines = problem.message.split(QLatin1Char('\n'));
        out << ": " << severityName(problem.severity) << ": " << lines.constFirst() << '\n';
        for (qsizetype i = 1; i < lines.size(); ++i)
            out << "    " << lines[i] << '\n';
    }
}
