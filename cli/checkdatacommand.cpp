#include "checkdatacommand.h"

#include "commandparser.h"
#include "data/designerfiles.h"
#include "engine/datacheck.h"
#include "engine/transitionskeletons.h"
#include "problemprinter.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

struct Counts
{
    qsizetype errors = 0;
    qsizetype warnings = 0;
    // Only with a terrain image that the scan could read.
    const BorderCoverage *coverage = nullptr;
};

void printText(QTextStream &out, const QList<DataProblem> &problems, const Counts &counts)
{
    printProblems(out, problems);
    out << plural(counts.errors, "error") << ", " << plural(counts.warnings, "warning");
    if (counts.coverage)
        out << ", " << plural(counts.coverage->patterns().size(), "unmatched border pattern")
            << " (" << plural(counts.coverage->unmatchedCells(), "cell") << ')';
    out << Qt::endl;
}

void printJson(QTextStream &out, const QString &dataDirectory, const QList<DataProblem> &problems,
               const Counts &counts)
{
    QJsonArray list;
    for (const DataProblem &problem : problems)
        list.append(QJsonObject {{QStringLiteral("severity"), severityName(problem.severity)},
                                 {QStringLiteral("code"), problem.code},
                                 {QStringLiteral("file"), problem.file},
                                 {QStringLiteral("line"), problem.line},
                                 {QStringLiteral("column"), problem.column},
                                 {QStringLiteral("message"), problem.message}});
    QJsonObject report {{QStringLiteral("dataDirectory"), dataDirectory},
                        {QStringLiteral("errors"), counts.errors},
                        {QStringLiteral("warnings"), counts.warnings},
                        {QStringLiteral("problems"), list}};
    if (counts.coverage) {
        QJsonArray unmatched;
        for (const BorderPattern &pattern : counts.coverage->patterns()) {
            QJsonArray terrains;
            for (std::uint8_t index : pattern.terrains)
                terrains.append(int(index));
            unmatched.append(
                QJsonObject {{QStringLiteral("key"), pattern.key.toText()},
                             {QStringLiteral("cells"), pattern.cells},
                             {QStringLiteral("first"),
                              QJsonArray {pattern.firstCell.x(), pattern.firstCell.y()}},
                             {QStringLiteral("terrains"), terrains}});
        }
        report.insert(QStringLiteral("unmatched"), unmatched);
        report.insert(QStringLiteral("unmatchedCells"), counts.coverage->unmatchedCells());
    }
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
                       "file, definition and number that does not do what it says, every "
                       "palette index of the images that the data directory lacks, and every "
                       "border pattern of the terrain image that no transition matches."));
    const QCommandLineOption dataOption(
        QStringLiteral("data"), QStringLiteral("Data directory (holds system/terrain.xml)."),
        QStringLiteral("DIR"));
    const QCommandLineOption terrainOption(
        QStringLiteral("terrain"),
        QStringLiteral("Terrain image to check as well, with its border patterns."),
        QStringLiteral("FILE"));
    const QCommandLineOption altitudeOption(QStringLiteral("altitude"),
                                            QStringLiteral("Altitude image to check as well."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print the report as JSON."));
    const QCommandLineOption writeMissingOption(
        QStringLiteral("write-missing"),
        QStringLiteral("Write a transitions file with an open definition for every unmatched "
                       "border pattern (needs --terrain)."),
        QStringLiteral("FILE.xml"));
    const QCommandLineOption forceOption(
        QStringLiteral("force"), QStringLiteral("Replace the --write-missing file if it exists."));
    parser.addOptions(
        {dataOption, terrainOption, altitudeOption, jsonOption, writeMissingOption, forceOption});
    if (const auto done = parser.parseArguments(arguments, {dataOption}))
        return *done;
    const QString skeletonPath = parser.value(writeMissingOption);
    if (!skeletonPath.isEmpty() && !parser.isSet(terrainOption))
        return parser.usage(QStringLiteral("--write-missing needs the terrain image (--terrain) "
                                           "whose border patterns it writes"));
    // Refused before anything is read, so a designer's file is never at risk.
    if (!skeletonPath.isEmpty() && !parser.isSet(forceOption)
        && !existingFiles({{skeletonPath, {}}}).isEmpty()) {
        err << "error: " << QDir::toNativeSeparators(skeletonPath)
            << " exists and is left as it is; choose another file or pass --force to replace it"
            << Qt::endl;
        return failure;
    }

    const QString dataDirectory = parser.value(dataOption);
    if (!dataDirectoryExists(dataDirectory))
        return failure;

    const QString terrainPath = parser.value(terrainOption);
    const DataCheckReport report =
        checkData(dataDirectory, terrainPath, parser.value(altitudeOption));
    const QList<DataProblem> &problems = report.problems;
    Counts counts;
    counts.errors = report.errors;
    counts.warnings = report.warnings;
    if (report.coverage)
        counts.coverage = &*report.coverage;
    if (parser.isSet(jsonOption))
        printJson(out, QDir::toNativeSeparators(dataDirectory), problems, counts);
    else
        printText(out, problems, counts);

    if (!skeletonPath.isEmpty()) {
        if (!report.coverage) {
            err << "error: " << QDir::toNativeSeparators(skeletonPath)
                << " not written: the terrain image cannot be scanned (see its error)" << Qt::endl;
            return failure;
        }
        if (report.coverage->patterns().isEmpty()) {
            err << "Every border pattern has a transition; "
                << QDir::toNativeSeparators(skeletonPath) << " not written" << Qt::endl;
            return counts.errors > 0 ? failure : success;
        }
        QString errorText;
        const QByteArray skeletons = transitionSkeletons(report.coverage->patterns(), report.names,
                                                         QFileInfo(terrainPath).fileName());
        if (!writeDesignerFiles({{skeletonPath, skeletons}}, &errorText)) {
            err << "error: " << errorText << Qt::endl;
            return failure;
        }
        err << "Wrote " << plural(report.coverage->patterns().size(), "open transition") << " to "
            << QDir::toNativeSeparators(skeletonPath)
            << "; move it under transitions/ and fill in the tiles" << Qt::endl;
    }
    return counts.errors > 0 ? failure : success;
}
