#include "checkdatacommand.h"

#include "commandparser.h"
#include "data/datadirectorychecker.h"
#include "engine/mapimagecheck.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

QString severityName(DataProblem::Severity severity)
{
    return severity == DataProblem::Severity::Error ? QStringLiteral("error")
                                                    : QStringLiteral("warning");
}

QString plural(qsizetype count, const char *noun)
{
    return QStringLiteral("%1 %2%3")
        .arg(count)
        .arg(QLatin1String(noun))
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

// One line per problem, FILE:LINE: severity: message (with :COLUMN where
// the parser gives one), as compilers print them, so editors can jump there.
void printText(QTextStream &out, const QList<DataProblem> &problems, qsizetype errors,
               qsizetype warnings)
{
    for (const DataProblem &problem : problems) {
        out << problem.file;
        if (problem.line > 0)
            out << ':' << problem.line;
        if (problem.column > 0)
            out << ':' << problem.column;
        out << ": " << severityName(problem.severity) << ": " << problem.message << '\n';
    }
    out << plural(errors, "error") << ", " << plural(warnings, "warning") << Qt::endl;
}

void printJson(QTextStream &out, const QString &dataDirectory, const QList<DataProblem> &problems,
               qsizetype errors, qsizetype warnings)
{
    QJsonArray list;
    for (const DataProblem &problem : problems)
        list.append(QJsonObject {{QStringLiteral("severity"), severityName(problem.severity)},
                                 {QStringLiteral("code"), problem.code},
                                 {QStringLiteral("file"), problem.file},
                                 {QStringLiteral("line"), problem.line},
                                 {QStringLiteral("column"), problem.column},
                                 {QStringLiteral("message"), problem.message}});
    const QJsonObject report {{QStringLiteral("dataDirectory"), dataDirectory},
                              {QStringLiteral("errors"), errors},
                              {QStringLiteral("warnings"), warnings},
                              {QStringLiteral("problems"), list}};
    out << QJsonDocument(report).toJson() << Qt::flush;
}

} // namespace

int runCheckDataCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandParser parser(
        QStringLiteral("check-data"),
        QStringLiteral("Reads a data directory with the generator's rules and reports every "
                       "file, definition and number that does not do what it says, and every "
                       "palette index of the images that the data directory lacks."));
    const QCommandLineOption dataOption(
        QStringLiteral("data"), QStringLiteral("Data directory (holds system/terrain.xml)."),
        QStringLiteral("DIR"));
    const QCommandLineOption terrainOption(QStringLiteral("terrain"),
                                           QStringLiteral("Terrain image to check as well."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption altitudeOption(QStringLiteral("altitude"),
                                            QStringLiteral("Altitude image to check as well."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print the report as JSON."));
    parser.addOptions({dataOption, terrainOption, altitudeOption, jsonOption});
    if (const auto done = parser.parseArguments(arguments, {dataOption}))
        return *done;

    const QString dataDirectory = parser.value(dataOption);
    if (!dataDirectoryExists(dataDirectory))
        return failure;

    QList<DataProblem> problems = checkDataDirectory(dataDirectory);
    problems +=
        checkMapImages(dataDirectory, parser.value(terrainOption), parser.value(altitudeOption));
    const qsizetype errors =
        std::count_if(problems.cbegin(), problems.cend(), [](const DataProblem &problem) {
            return problem.severity == DataProblem::Severity::Error;
        });
    const qsizetype warnings = problems.size() - errors;
    if (parser.isSet(jsonOption))
        printJson(out, QDir::toNativeSeparators(dataDirectory), problems, errors, warnings);
    else
        printText(out, problems, errors, warnings);
    return errors > 0 ? failure : success;
}
