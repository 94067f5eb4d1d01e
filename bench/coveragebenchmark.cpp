// Times what check-data --terrain and expand-edges --terrain add to a run:
// the border coverage scan and the expansion of a world's edge sets over its
// image. Run by hand:
//
//     build/bin/mapgenerator-coveragebench [--runs N] [--world DIR]
//
// The world directory (default: the example world) holds data/,
// terrain.png and edges.xml, as new-world writes them. Each figure is the
// best of N runs, also as a ratio to one plain read of every pixel of the
// image timed in the same run, so that a busy machine shows as a busy
// machine.

#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/bordercoverage.h"
#include "engine/edgeexpansion.h"
#include "engine/paletteimage.h"
#include "engine/transitionindex.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

// The best of runs timings of work, in milliseconds.
double bestOf(int runs, const std::function<void()> &work)
{
    double best = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        best = run == 0 ? ms : std::min(best, ms);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs (default 5)."),
                                        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption worldOption(QStringLiteral("world"),
                                         QStringLiteral("World directory."), QStringLiteral("DIR"),
                                         QStringLiteral(QUILLMOOR_EXAMPLE_WORLD));
    parser.addOptions({runsOption, worldOption});
    parser.process(application);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const QString world = parser.value(worldOption);
    QTextStream out(stdout);

    MapTables tables;
    loadDataDirectory(tables, world + QLatin1String("/data"));
    const PaletteImage terrain = PaletteImage::load(world + QLatin1String("/terrain.png"));
    const EdgeSetFile edges = readEdgeSetFile(world + QLatin1String("/edges.xml"));
    if (terrain.isNull() || terrain.depth() != 8 || !edges.problems.isEmpty()) {
        QTextStream(stderr) << "error: " << world
                            << " needs an 8-bit terrain.png and a sound edges.xml\n";
        return 1;
    }

    std::uint64_t sum = 0;
    const double floor = bestOf(runs, [&] {
        for (int y = 0; y < terrain.height(); ++y) {
            const std::uint8_t *row = terrain.row(y);
            for (int x = 0; x < terrain.width(); ++x)
                sum += row[x];
        }
    });
    qint64 unmatched = 0;
    const double index = bestOf(runs, [&] { TransitionIndex {tables}; });
    const double scan = bestOf(runs, [&] {
        unmatched = BorderCoverage(TransitionIndex(tables), terrain).unmatchedCells();
    });
    QList<BorderPattern> patterns;
    const double patternScan =
        bestOf(runs, [&] { patterns = BorderCoverage::allPatterns(terrain); });
    qint64 definitions = 0;
    const double expansion = bestOf(runs, [&] {
        const EdgeExpansion expanded = expandEdgeSets(edges.sets, &patterns);
        definitions = 0;
        for (const DesignerFile &file : edgeSetFiles(edges.sets, expanded, world, "edges.xml"))
            definitions += file.contents.count("<TransInfo ");
    });

    const auto line = [&](const char *what, double ms) {
        out << QString::asprintf("%-46s %8.1f ms  %6.2f x the floor\n", what, ms, ms / floor);
    };
    out << terrain.width() << " x " << terrain.height() << ", best of " << runs << " runs"
        << " (checksum " << sum % 1000 << ")\n";
    line("floor: read every pixel once", floor);
    line("transition index of the data directory", index);
    line("coverage scan, index included (check-data)", scan);
    line("all border patterns (expand-edges --terrain)", patternScan);
    line("expansion and its files' text", expansion);
    out << unmatched << " unmatched cells, " << patterns.size() << " border patterns, "
        << definitions << " transitions expanded" << Qt::endl;
    return 0;
}
