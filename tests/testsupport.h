#pragma once

#include "engine/passobserver.h"
#include "engine/passsummary.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

namespace TestSupport {

// Writes text to a file, creating its directories.
void writeFile(const QString &path, const QByteArray &contents);
QByteArray readFile(const QString &path);
// Every file below directory, hidden ones too, by its path from there
// ("/data/system/terrain.xml").
QMap<QString, QByteArray> filesBelow(const QString &directory);

// An 8-bit paletted image with a gray palette whose pixel (x, y) has the
// palette index index(x, y).
QImage paletteImage(int width, int height, const std::function<int(int, int)> &index);
void writePaletteImage(const QString &path, int width, int height,
                       const std::function<int(int, int)> &index);

// One land cell of a hand-made map.
struct Cell
{
    int tileId = 0;
    int z = 0;
};
using CellFunction = std::function<Cell(int x, int y)>;

// Writes map0.mul, staidx0.mul and statics0.mul the way the format lays
// them out: blocks column by column, cells row by row within a block. Each
// of statics puts one object on its cell.
void writeMap(const QString &destination, int blocksWide, int blocksHigh, const CellFunction &cell,
              const QList<QPoint> &statics = {});

// Decodes bytes with one of the engine's own image readers (GifReader,
// BmpReader), allowing 2^30 pixels; error receives the reason it refused.
template<typename Reader> QImage readImage(const QByteArray &bytes, QString *error = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    Reader reader;
    const QImage image = reader.read(buffer, 1 << 30);
    if (error)
        *error = reader.errorString();
    return image;
}

} // namespace TestSupport

struct MapTables;
struct PassOptions;
class PassObserver;

namespace TestSupport {

// One pass with a fresh key grid, structure statics and generator seeded
// with seed, as a front end runs it.
PassSummary runPass(MapTables &tables, const QString &terrainPath, const QString &altitudePath,
                    unsigned seed, const PassOptions &options, PassObserver &observer);

} // namespace TestSupport

// Keeps everything a pass reports, in order; cancels at a chosen progress
// value or step to play a user pressing Abort.
class RecordingObserver : public PassObserver
{
public:
    void statusMessage(const QString &text) override
    {
        noteThread();
        statusMessages << text;
    }
    void warning(const QString &title, const QString &text) override
    {
        noteThread();
        warnings << title + QLatin1String(": ") + text;
    }
    void error(const QString &text) override
    {
        noteThread();
        errors << text;
    }
    void progressStarted(int maximum) override { progressMaximum = maximum; }
    void progressChanged(int value) override
    {
        noteThread();
        progressValues << value;
        if (cancelAtProgress >= 0 && value >= cancelAtProgress)
            cancelled = true;
    }
    bool isCancelled() override { return cancelled; }
    void progressFinished() override { ++progressFinishedCount; }
    void trace(const QString &line) override
    {
        noteThread();
        traceLines << line;
    }
    void stepProgress(const QString &step, qint64, qint64) override
    {
        steps << step;
        if (step == cancelAtStep)
            cancelled = true;
    }
    void stepFinished() override { ++stepsFinished; }

    QStringList statusMessages;
    QStringList warnings;
    QStringList errors;
    QStringList traceLines;
    QList<int> progressValues;
    int progressMaximum = -1;
    int progressFinishedCount = 0;
    int cancelAtProgress = -1;
    // Each report of a step, by its name; the named step is cancelled.
    QStringList steps;
    QString cancelAtStep;
    int stepsFinished = 0;
    bool cancelled = false;
    // The pass tells its observer from the thread that runs it only.
    bool calledOffThread = false;

private:
    void noteThread() { calledOffThread |= QThread::currentThread() != m_thread; }

    QThread *m_thread = QThread::currentThread();
};
