#include "verifycommand.h"

#include "commandparser.h"
#include "engine/mapverification.h"
#include "mapchoice.h"

#include <QTextStream>

namespace {

} // namespace

int runVerifyCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandParser parser(
        QStringLiteral("verify"),
        QStringLiteral("Checks map<N>.mul, staidx<N>.mul and statics<N>.mul: whole records, "
                       "block headers in order, index entries that match the statics file, and "
                       "every static inside its block."));
    const QCommandLineOption destOption(QStringLiteral("dest"),
                                        QStringLiteral("Directory that holds the map files."),
                                        QStringLiteral("DIR"));
    MapChoice mapChoice;
    parser.addOption(destOption);
    parser.addOptions(mapChoice.options());
    if (const auto done = parser.parseArguments(arguments, {destOption}))
        return *done;
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
