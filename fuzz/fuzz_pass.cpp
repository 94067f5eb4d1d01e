#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/passobserver.h"
#include "engine/passoptions.h"
#include "fuzzsupport.h"

#include <QDir>
#include <QImageReader>

namespace {

class QuietObserver : public PassObserver
{
public:
    void statusMessage(const QString &) override { }
    void warning(const QString &, const QString &) override { }
    void error(const QString &) override { }
    void progressStarted(int) override { }
    void progressChanged(int) override { }
    bool isCancelled() override { return false; }
    void progressFinished() override { }
    void trace(const QString &) override { }
};

// Tiny maps only: a fuzzed header may claim any size, and a pass over a big
// map would only make each run slow.
bool tiny(const QString &path)
{
    const QSize size = QImageReader(path).size();
    return !size.isValid() || (size.width() <= 128 && size.height() <= 128);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    QDir().mkpath(FuzzSupport::scratchPath(QStringLiteral("out")));
    return 0;
}

// Two images, then a tiny data directory (terrain, altitude, one general and
// one rough-edge transition file, one static set) and a structure file with
// its tile file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList files = {
        QStringLiteral("terrain.img"),
        QStringLiteral("altitude.img"),
        QStringLiteral("data/system/terrain.xml"),
        QStringLiteral("data/system/altitude.xml"),
        QStringLiteral("data/transitions/grass/grass.xml"),
        QStringLiteral("data/system/roughedge/lefttrans.xml"),
        QStringLiteral("data/statics/trees.xml"),
        QStringLiteral("structures.xml"),
        QStringLiteral("tile.mul"),
    };
    const QList<QByteArray> parts = FuzzSupport::sections(data, size, int(files.size()));
    for (qsizetype i = 0; i < files.size(); ++i)
        FuzzSupport::writeFile(FuzzSupport::scratchPath(files[i]), parts[i]);
    const QString terrain = FuzzSupport::scratchPath(files[0]);
    const QString altitude = FuzzSupport::scratchPath(files[1]);
    if (!tiny(terrain) || !tiny(altitude))
        return 0;

    MapTables tables;
    loadDataDirectory(tables, FuzzSupport::scratchPath(QStringLiteral("data")),
                      [](const QString &) {});
    PassOptions options;
    options.destination = FuzzSupport::scratchPath(QStringLiteral("out"));
    options.structureFile = FuzzSupport::scratchPath(files[7]);
    options.structuresEnabled = true;
    options.randomArt = true;
    StructureStatics structureStatics;
    KeyGrid keyGrid;
    GlibcRandom random(1);
    QuietObserver observer;
    processMap(tables, structureStatics, keyGrid, random, terrain, altitude, options, observer);
    return 0;
}
