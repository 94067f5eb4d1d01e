#include "checkdatacommand.h"
#include "expandedgescommand.h"
#include "generatecommand.h"
#include "importcommand.h"
#include "newworldcommand.h"
#include "previewcommand.h"
#include "programinfo.h"
#include "verifycommand.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {
void printUsage(QTextStream &stream)
{
    stream << "Usage: mapgenerator-cli COMMAND [OPTIONS]\n\n"
              "Commands:\n"
              "  generate      generate the map files from two images and a data directory\n"
              "  check-data    report what the generator would take silently in a data "
              "directory\n"
              "  verify        check map files for everything their readers rely on\n"
              "  preview       draw generated map files as a PNG\n"
              "  import        map files back into a terrain and an altitude image\n"
              "  new-world     write a starter world to paint over\n"
              "  expand-edges  write the transitions of an edge-set file\n\n"
              "Run 'mapgenerator-cli COMMAND --help' for the options of a command,\n"
              "'mapgenerator-cli --version' for the version.\n";
    stream.flush();
}
} // namespace

int main(int argc, char *argv[])
{
    // A core application needs no display, so the tool runs on servers and
    // in CI jobs as it is.
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mapgenerator-cli"));

    QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        QTextStream err(stderr);
        printUsage(err);
        return 2;
    }
    const QString command = arguments.takeAt(1);
    if (command == QLatin1String("generate"))
        return runGenerateCommand(arguments);
    if (command == QLatin1String("new-world"))
        return runNewWorldCommand(arguments);
    if (command == QLatin1String("check-data"))
        return runCheckDataCommand(arguments);
    if (command == QLatin1String("verify"))
        return runVerifyCommand(arguments);
    if (command == QLatin1String("preview"))
        return runPreviewCommand(arguments);
    if (command == QLatin1String("import"))
        return runImportCommand(arguments);
    if (command == QLatin1String("expand-edges"))
        return runExpandEdgesCommand(arguments);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")
        || command == QLatin1String("help")) {
        QTextStream out(stdout);
        printUsage(out);
        return 0;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        QTextStream(stdout) << "mapgenerator-cli " << programVersion() << Qt::endl;
        return 0;
    }
    QTextStream err(stderr);
    err << "error: unknown command '" << command << "'\n";
    printUsage(err);
    return 2;
}
