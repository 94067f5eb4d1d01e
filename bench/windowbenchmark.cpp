// Times what the window adds to a pass: a Generate in the window against
// the command-line tool's load and pass, alternating in one process; the
// time from the pass's end to the first paint of the map; and the data
// check that the window runs after the pass. Run by hand, under a display
// (Xvfb will do):
//
//     build/bin/mapgenerator-windowbench [--runs N] [--world DIR] [--view WxH]
//
// The world directory (default: the example world) holds data/,
// terrain.png, altitude.png and, as new-world writes it,
// structures/structures.xml; with that, passes run with Random Art and the
// structures, as bench/largeworld.sh does. The map files go to a
// temporary directory.
// Each figure is the best of N runs.

#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/datacheck.h"
#include "engine/generatedmap.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mapanalysis.h"
#include "engine/mappass.h"
#include "engine/passobserver.h"
#include "engine/passoptions.h"
#include "mainwindow.h"
#include "mapview.h"
#include "silentobserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

struct World
{
    QString data;
    QString terrain;
    QString altitude;
    QString destination;
    QString structures;
};

PassOptions optionsFor(const World &world)
{
    PassOptions options;
    options.destination = world.destination;
    options.randomArt = !world.structures.isEmpty();
    options.structuresEnabled = !world.structures.isEmpty();
    options.structureFile = world.structures;
    return options;
}

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// As generate does it: load the data directory, then one pass. loaded
// receives the tables as loaded.
PassSummary commandLinePass(const World &world, MapTables &loaded)
{
    SilentObserver observer;
    MapTables tables;
    loadDataDirectory(tables, world.data);
    loaded = tables;
    StructureStatics structureStatics;
    KeyGrid keyGrid;
    GlibcRandom random(1);
    return processMap(tables, structureStatics, keyGrid, random, world.terrain, world.altitude,
                      optionsFor(world), observer);
}

struct WindowTimes
{
    double firstPaint = 0;
    double problemsListed = 0;
    // As the window's result line gives it.
    QString pass;
};

// A Generate in a window that has not loaded the data yet, as the first
// one after the start: from the click until the map is painted, and until
// the data problems are listed.
WindowTimes windowGenerate(const World &world, QSize viewSize)
{
    WindowTimes times;
    MainWindow window;
    window.resize(viewSize.width(), viewSize.height() + 400);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window did not show");
    window.findChild<QLineEdit *>(QStringLiteral("lineXML"))->setText(world.data);
    window.findChild<QLineEdit *>(QStringLiteral("lineTerrain"))->setText(world.terrain);
    window.findChild<QLineEdit *>(QStringLiteral("lineAlt"))->setText(world.altitude);
    window.findChild<QLineEdit *>(QStringLiteral("lineDest"))->setText(world.destination);
    window.findChild<QLineEdit *>(QStringLiteral("lineMLT"))->setText(world.structures);
    const bool decorated = !world.structures.isEmpty();
    window.findChild<QCheckBox *>(QStringLiteral("checkRandom"))->setChecked(decorated);
    window.findChild<QCheckBox *>(QStringLiteral("checkMLT"))->setChecked(decorated);
    auto *view = window.findChild<MapView *>(QStringLiteral("mapView"));
    auto *problems = window.findChild<QDockWidget *>(QStringLiteral("dockProblems"));
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton *>(QStringLiteral("pushGenerate"))->click();
    if (!view->map())
        qFatal("the window's pass wrote no map");
    view->repaint();
    times.firstPaint = milliseconds(timer);
    times.pass = window.findChild<QLabel *>(QStringLiteral("labelResult"))
                     ->text()
                     .section(QLatin1Char(' '), -2, -1);
    const QRegularExpression counted(QStringLiteral("\\(\\d+\\)"));
    while (!problems->windowTitle().contains(counted))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    times.problemsListed = milliseconds(timer);
    // Closing waits for the tiles being drawn, so the next run starts idle.
    return times;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The windows' remembered choices stay out of the user's settings.
    QStandardPaths::setTestModeEnabled(true);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs (default 3)."),
                                        QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption worldOption(QStringLiteral("world"),
                                         QStringLiteral("World directory."), QStringLiteral("DIR"),
                                         QStringLiteral(QUILLMOOR_EXAMPLE_WORLD));
    const QCommandLineOption viewOption(QStringLiteral("view"),
                                        QStringLiteral("The map view's size (default 800x450)."),
                                        QStringLiteral("WxH"), QStringLiteral("800x450"));
    parser.addOptions({runsOption, worldOption, viewOption});
    parser.process(application);
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const QStringList size = parser.value(viewOption).split(QLatin1Char('x'));
    const QSize viewSize(size.value(0).toInt(), size.value(1).toInt());
    const QString directory = QDir(parser.value(worldOption)).absolutePath();
    // Structure tile paths are relative to the world.
    QDir::setCurrent(directory);
    // Not the world's own out/, which the example world keeps in the
    // repository.
    const QTemporaryDir destination;
    World world {directory + QLatin1String("/data"),
                 directory + QLatin1String("/terrain.png"),
                 directory + QLatin1String("/altitude.png"),
                 destination.path(),
                 {}};
    if (QFileInfo::exists(directory + QLatin1String("/structures/structures.xml")))
        world.structures = QStringLiteral("structures/structures.xml");
    QTextStream out(stdout);

    double bestPass = 0, bestWindow = 0, bestListed = 0, bestFirstPaint = 0, bestAnalysis = 0,
           bestCheck = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        MapTables loaded;
        const PassSummary summary = commandLinePass(world, loaded);
        const double pass = milliseconds(timer);
        if (summary.outcome != PassSummary::Outcome::Completed)
            qFatal("the pass did not complete: %s", qPrintable(summary.errorText));

        // What the window does once its pass has returned.
        timer.restart();
        MapView view;
        view.resize(viewSize);
        // The detail is timed below, alone; its tiles would run into the
        // window's pass.
        view.setTilesPaused(true);
        view.show();
        auto map = std::make_shared<GeneratedMap>(loaded, PaletteImage::load(world.terrain),
                                                  PaletteImage::load(world.altitude));
        const double decode = milliseconds(timer);
        timer.restart();
        map->open(world.destination, summary.mapNumber, summary.blocksHigh);
        view.setMap(map);
        view.repaint();
        const double firstPaint = milliseconds(timer);
        view.hide();
        // The detail that replaces the quick look, on one thread.
        const int level =
            1 << int(std::floor(std::log2(
                std::max(1.0,
                         1.0
                             / std::min(double(viewSize.width()) / map->renderer().width(),
                                        double(viewSize.height()) / map->renderer().height())))));
        timer.restart();
        map->renderer().render(QRect(0, 0, map->renderer().width(), map->renderer().height()),
                               level);
        const double detail = milliseconds(timer);

        timer.restart();
        analyseMap(map, world.data, world.terrain, world.altitude, {});
        const double analysis = milliseconds(timer);
        timer.restart();
        checkData(world.data, world.terrain, world.altitude);
        const double check = milliseconds(timer);

        const WindowTimes window = windowGenerate(world, viewSize);

        out << "run " << run + 1 << ": load and pass " << pass << " ms, window Generate until "
            << "painted " << window.firstPaint << " ms (" << window.firstPaint / pass
            << " x; its pass " << window.pass << "), until its problems are listed "
            << window.problemsListed << " ms; pass end "
            << "to first paint " << firstPaint << " ms (images read again for it in " << decode
            << " ms), the whole map's detail at " << level << " cells a pixel " << detail
            << " ms; data check after the pass " << analysis << " ms, as check-data " << check
            << " ms" << Qt::endl;
        const auto keep = [run](double &best, double value) {
            best = run == 0 ? value : std::min(best, value);
        };
        keep(bestPass, pass);
        keep(bestWindow, window.firstPaint);
        keep(bestListed, window.problemsListed);
        keep(bestFirstPaint, firstPaint);
        keep(bestAnalysis, analysis);
        keep(bestCheck, check);
    }
    out << "best of " << runs << ": load and pass " << bestPass << " ms; window Generate until "
        << "painted " << bestWindow << " ms (" << bestWindow / bestPass << " x), until its "
        << "problems are listed " << bestListed << " ms; pass end to first paint " << bestFirstPaint
        << " ms; data check after the pass " << bestAnalysis << " ms, as check-data " << bestCheck
        << " ms" << Qt::endl;
    return 0;
}
