#include "verifycommand.h"

#include "engine/mapverification.h"
#include "mapchoice.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

enum ExitCode { success = 0, failure = 1, usageError = 2 };

int usage(QTextStream &err, const QString &problem)
{
    err << "error: " << problem << "\nRun 'mapgenerator-cli verify --help' for the options."
        << Qt::endl;
    return usageError;
}

} // namespace

int runVerifyCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks map<N>.mul, staidx<N>.mul and statics<N>.mul: whole records, "
                       "block headers in order, index entries that match the statics file, and "
                       "every static inside its block."));
    parser.addHelpOption();
    const QCommandLineOption destOption(QStringLiteral("dest"),
                                        QStringLiteral("Directory that holds the map files."),
                                        QStringLiteral("DIR"));
    MapChoice mapChoice;
    parser.addOption(destOption);
    parser.addOptions(mapChoice.options());
    if (!parser.parse(arguments))
        return usage(err, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return success;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(err,
                     QStringLiteral("unexpected argument '%1'")
                         .arg(parser.positionalArguments().constFirst()));
    if (!parser.isSet(destOption))
        return usage(err, QStringLiteral("--dest is required"));
    const QString destination = parser.value(destOption);
    if (const auto exitCode = mapChoice.read(parser, destination, err))
        return *exitCode;

    const MapVerification result =
        verifyMapFiles(destination, mapChoice.mapNumber(), mapChoice.blocksHigh());
    out << "Map " << result.mapNumber << ": " << result.blocks << " blocks";
    if (result.blocksHigh > 0 && result.blocks % result.blocksHigh == 0)
        out << " (" << result.blocks / result.blocksHigh << " x " << result.blocksHigh << ")";
    out << ", " << result.statics << " statics\n";
    if (result.problem) {
        out << "problem: " << result.problem->text() << Qt::endl;
        return failure;
    }
    out << "OK" << Qt::endl;
    return success;
}
