// The floor of bench/largeworld.sh, as a process of its own so that it
// pays the same start-up as the command-line pass it is compared with:
//
//     build/bin/mapgenerator-floor --terrain FILE --altitude FILE --sizes-of DIR
//
// decodes the two images and writes and syncs three files of the sizes of
// the map files in DIR, in DIR, then removes them.

#include "passfloor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption terrainOption(
        QStringLiteral("terrain"), QStringLiteral("Terrain image."), QStringLiteral("FILE"));
    const QCommandLineOption altitudeOption(
        QStringLiteral("altitude"), QStringLiteral("Altitude image."), QStringLiteral("FILE"));
    const QCommandLineOption sizesOption(QStringLiteral("sizes-of"),
                                         QStringLiteral("Directory with the pass's map files."),
                                         QStringLiteral("DIR"));
    parser.addOptions({terrainOption, altitudeOption, sizesOption});
    parser.process(application);
    const QString directory = parser.value(sizesOption);
    const std::array<qint64, 3> sizes = PassFloor::outputSizes(directory);
    if (sizes[0] == 0) {
        QTextStream(stderr) << "no single map in " << directory << Qt::endl;
        return 1;
    }
    const qint64 ns =
        PassFloor::run(parser.value(terrainOption), parser.value(altitudeOption), directory, sizes);
    QTextStream(stdout) << "floor: " << QString::number(ns / 1e6, 'f', 1) << " ms ("
                        << sizes[0] + sizes[1] + sizes[2] << " bytes written)" << Qt::endl;
    return 0;
}
