#include "expandedgescommand.h"

#include "commandparser.h"
#include "engine/edgeexpansion.h"
#include "engine/paletteimage.h"
#include "problemprinter.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

QString terrainList(const QList<std::uint8_t> &terrains)
{
    QStringList numbers;
    for (std::uint8_t index : terrains)
        numbers << QString::number(index);
    return numbers.join(QStringLiteral(", "));
}

void printUncovered(QTextStream &out, const QList<EdgeSet> &sets, const EdgeExpansion &expansion,
                    bool fromImage)
{
    for (const UncoveredBorders &uncovered : expansion.uncovered) {
        out << plural(uncovered.patterns, "pattern");
        if (uncovered.set >= 0)
            out << " of " << sets[uncovered.set].name
                << (uncovered.patterns == 1 ? " needs" : " need") << " the shape "
                << edgeShapeName(uncovered.shape) << ", which it does not name";
        else
            out << " of the terrains " << terrainList(uncovered.terrains)
                << (uncovered.patterns == 1 ? " has" : " have")
                << " no edge set that pairs the centre with a terrain around it";
        if (fromImage)
            out << " (" << plural(uncovered.cells, "cell") << ", first at ("
                << uncovered.firstCell.x() << ", " << uncovered.firstCell.y() << "))";
        out << '\n';
    }
}

} // namespace

int runExpandEdgesCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandParser parser(
        QStringLiteral("expand-edges"),
        QStringLiteral("Writes the transitions of an edge-set file: for each edge set, every "
                       "3 x 3 border pattern of its two terrains that its shapes draw, into "
                       "DIR/NAME/NAME.xml."));
    const QCommandLineOption edgesOption(QStringLiteral("edges"),
                                         QStringLiteral("Edge-set file to expand."),
                                         QStringLiteral("FILE.xml"));
    const QCommandLineOption outOption(
        QStringLiteral("out"),
        QStringLiteral("Directory for the transitions files, such as DATA/transitions."),
        QStringLiteral("DIR"));
    const QCommandLineOption terrainOption(
        QStringLiteral("terrain"),
        QStringLiteral("Write only the patterns of this terrain image, also where more than two "
                       "terrains meet."),
        QStringLiteral("IMAGE"));
    const QCommandLineOption forceOption(QStringLiteral("force"),
                                         QStringLiteral("Replace transitions files that exist."));
    parser.addOptions({edgesOption, outOption, terrainOption, forceOption});
    if (const auto done = parser.parseArguments(arguments, {edgesOption, outOption}))
        return *done;

    const QString edgesPath = parser.value(edgesOption);
    const EdgeSetFile edges = readEdgeSetFile(edgesPath);
    if (!edges.problems.isEmpty()) {
        printProblems(out, edges.problems);
        out << plural(edges.problems.size(), "error") << "; nothing written" << Qt::endl;
        return failure;
    }

    std::optional<QList<BorderPattern>> imagePatterns;
    if (parser.isSet(terrainOption)) {
        const QString path = parser.value(terrainOption);
        const PaletteImage terrain = PaletteImage::load(path);
        if (terrain.isNull() || terrain.depth() != 8) {
            err << "error: terrain image " << QDir::toNativeSeparators(path)
                << (terrain.isNull()
                        ? QStringLiteral(" cannot be read (%1)").arg(terrain.errorString())
                        : QStringLiteral(" is not an 8-bit image"))
                << "; nothing written" << Qt::endl;
            return failure;
        }
        imagePatterns = BorderCoverage::allPatterns(terrain);
    }
    const EdgeExpansion expansion =
        expandEdgeSets(edges.sets, imagePatterns ? &*imagePatterns : nullptr);
    const QList<DesignerFile> files = edgeSetFiles(edges.sets, expansion, parser.value(outOption),
                                                   QFileInfo(edgesPath).fileName());

    const QStringList existing = existingFiles(files);
    if (!parser.isSet(forceOption) && !existing.isEmpty()) {
        if (existing.size() == 1)
            err << "error: " << existing.constFirst()
                << " exists; nothing written. Pass --force to replace it with the expansion";
        else
            err << "error: " << existing.size()
                << " of the files exist; nothing written. Pass --force to replace them with the "
                   "expansion:\n    "
                << existing.join(QStringLiteral("\n    "));
        err << Qt::endl;
        return failure;
    }
    QString errorText;
    if (!writeDesignerFiles(files, &errorText)) {
        err << "error: " << errorText << Qt::endl;
        return failure;
    }

    qsizetype written = 0, idle = 0;
    for (qsizetype i = 0; i < edges.sets.size(); ++i) {
        const qsizetype count = expansion.definitions[i].size();
        if (count == 0) {
            ++idle;
            continue;
        }
        out << QDir::toNativeSeparators(edgeSetFilePath(parser.value(outOption), edges.sets[i]))
            << ": " << plural(count, "transition") << '\n';
        written += count;
    }
    if (idle > 0)
        out << plural(idle, "edge set") << " without a pattern to draw, so without a file\n";
    printUncovered(out, edges.sets, expansion, imagePatterns.has_value());
    qsizetype uncovered = 0;
    for (const UncoveredBorders &borders : expansion.uncovered)
        uncovered += borders.patterns;
    out << plural(written, "transition") << " in " << plural(files.size(), "file") << ", "
        << plural(uncovered, "pattern") << " that no shape draws" << Qt::endl;
    return success;
}
