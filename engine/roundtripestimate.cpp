#include "roundtripestimate.h"

#include "altitudevariation.h"
#include "data/maptables.h"
#include "data/structurestatics.h"
#include "glibcrandom.h"
#include "keygrid.h"
#include "mapfiles.h"
#include "mapfilewriter.h"
#include "mappass.h"
#include "mappedfile.h"
#include "packedkey.h"
#include "paletteimage.h"
#include "passobserver.h"
#include "passoptions.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// What one marker stands for: the tiles the pass draws from and the
// altitude variation it adds.
struct Rule
{
    // Into MarkedTables::ruleTiles().
    std::uint32_t firstTile = 0;
    std::uint32_t tileCount = 0;
    // Bit d + 2 for each difference d from -2 to 5 that the variation allows.
    std::uint8_t allowedDifferences = 0;

    bool allows(int difference) const
    {
        return unsigned(difference + 2) < 8 && (allowedDifferences >> (difference + 2) & 1);
    }
};

// The tables with markers in place of tile ids: marker N < 256 is terrain
// N's own tile, every other marker one transition tile list.
class MarkedTables
{
public:
    explicit MarkedTables(const MapTables &tables) : m_tables(tables), m_rules(256)
    {
        // An index terrain.xml lacks gets tile id 0 and no variation, as the
        // pass would enter it.
        for (int index = 0; index < 256; ++index) {
            const auto terrain = std::uint8_t(index);
            m_rules[index] = addRule({{tables.TerrainTable.value(terrain), 0}},
                                     ownTileVariation(tables.TerrainRandomTable, terrain));
            m_tables.TerrainTable.insert(terrain, std::uint16_t(index));
            m_tables.TerrainRandomTable.insert(terrain, false);
        }
        mark(m_tables.TransitionTable, &tables.TerrainRandomTable);
        mark(m_tables.LeftTransitionTable, nullptr);
        mark(m_tables.TopTransitionTable, nullptr);
        mark(m_tables.CornerTransitionTable, nullptr);
    }

    MapTables &tables() { return m_tables; }
    const std::vector<Rule> &rules() const { return m_rules; }
    const std::vector<TransitionTile> &ruleTiles() const { return m_ruleTiles; }
    bool fits() const { return m_rules.size() <= 65536; }

private:
    // randomTable, for the general table: a uniform key of a random
    // terrain keeps its variation.
    void mark(TransitionHash &table, const PaletteTable<bool> *randomTable)
    {
        for (auto it = table.begin(); it != table.end(); ++it) {
            if (it->mapTiles.isEmpty())
                continue;
            const auto key = PackedKey::fromText(it.key());
            const AltitudeVariation variation = randomTable && key
                ? generalTransitionVariation(*randomTable, *key)
                : AltitudeVariation::None;
            it->mapTiles = {{marker(it->mapTiles, variation), 0}};
        }
    }

    std::uint16_t marker(const QList<TransitionTile> &tiles, AltitudeVariation variation)
    {
        QByteArray identity;
        for (const TransitionTile &tile : tiles)
            identity.append(reinterpret_cast<const char *>(&tile.tileId), 2)
                .append(char(tile.altIdMod));
        identity.append(char(variation));
        auto found = m_markers.constFind(identity);
        if (found == m_markers.cend()) {
            m_rules.push_back(addRule(tiles, variation));
            found = m_markers.insert(identity, int(m_rules.size() - 1));
        }
        // Past 65535 markers the estimate is not made at all.
        return static_cast<std::uint16_t>(found.value());
    }

    Rule addRule(const QList<TransitionTile> &tiles, AltitudeVariation variation)
    {
        Rule rule {std::uint32_t(m_ruleTiles.size()), std::uint32_t(tiles.size())};
        for (int difference = -2; difference <= 5; ++difference) {
            if (allowsVariation(variation, difference))
                rule.allowedDifferences |= std::uint8_t(1 << (difference + 2));
        }
        m_ruleTiles.insert(m_ruleTiles.end(), tiles.cbegin(), tiles.cend());
        return rule;
    }

    MapTables m_tables;
    std::vector<Rule> m_rules;
    std::vector<TransitionTile> m_ruleTiles;
    QHash<QByteArray, int> m_markers;
};

// Compares the pass's map blocks, as they are written, with the original's.
// The comparing runs on a thread of its own: the pass's drawing thread sets
// the pace and only hands the bytes over.
class Comparison
{
public:
    Comparison(const MappedFile &original, const MarkedTables &marked, RoundTripEstimate &estimate)
        : m_original(original),
          m_rules(marked.rules()),
          m_tiles(marked.ruleTiles()),
          m_estimate(estimate),
          m_thread([this] { run(); })
    {
    }
    ~Comparison() { finish(); }

    // data is shared, not copied; the writer lets go of it after the write.
    void append(const QByteArray &data)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_chunks.push_back(data);
        }
        m_changed.notify_one();
    }

    // Waits until everything appended is compared.
    void finish()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_changed.notify_one();
        m_thread.join();
    }

private:
    void run()
    {
        for (;;) {
            QByteArray chunk;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_chunks.empty() || m_finished; });
                if (m_chunks.empty())
                    return;
                chunk = std::move(m_chunks.front());
                m_chunks.pop_front();
            }
            compare(chunk);
        }
    }

    // Writes need not end on a block's end; the rest waits for the next.
    void compare(const QByteArray &data)
    {
        const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
        qsizetype at = 0;
        if (!m_pending.isEmpty()) {
            at = std::min(data.size(), MapFiles::mapBlockSize - m_pending.size());
            m_pending.append(data.constData(), at);
            if (m_pending.size() < MapFiles::mapBlockSize)
                return;
            compareBlock(reinterpret_cast<const uchar *>(m_pending.constData()));
            m_pending.clear();
        }
        for (; data.size() - at >= MapFiles::mapBlockSize; at += MapFiles::mapBlockSize)
            compareBlock(bytes + at);
        m_pending.append(data.constData() + at, data.size() - at);
    }

    void compareBlock(const uchar *marked)
    {
        const qint64 offset = m_blocks++ * MapFiles::mapBlockSize;
        if (offset + MapFiles::mapBlockSize > m_original.size())
            return;
        const uchar *original = m_original.data() + offset + 4;
        marked += 4;
        // Counted here, as the bytes read could alias the estimate.
        int outcomes[3] = {};
        for (int i = 0; i < MapFiles::cellsPerBlock; ++i) {
            const auto marker = static_cast<std::uint16_t>(marked[0] | marked[1] << 8);
            const auto tile = static_cast<std::uint16_t>(original[0] | original[1] << 8);
            // The written altitude less the base altitude, as the rule adds to it.
            const auto raised = static_cast<std::uint8_t>(original[2] - marked[2]);
            marked += MapFiles::mapCellSize;
            original += MapFiles::mapCellSize;
            const std::uint64_t key =
                std::uint64_t(marker) << 24 | std::uint64_t(tile) << 8 | raised;
            std::uint64_t &known = m_known[(key * 0x9e3779b97f4a7c15ull) >> (64 - knownBits)];
            std::uint64_t slot = known;
            if (slot >> 2 != key) {
                slot = key << 2 | outcome(marker, tile, static_cast<std::int8_t>(raised));
                known = slot;
            }
            ++outcomes[slot & 3];
        }
        m_estimate.cells += MapFiles::cellsPerBlock;
        m_estimate.reproduced += outcomes[reproduced];
        m_estimate.tileDiffers += outcomes[tileDiffered];
        m_estimate.altitudeDiffers += outcomes[altitudeDiffered];
    }

    enum Outcome : std::uint8_t { reproduced, tileDiffered, altitudeDiffered };

    // How a cell compares whose rule is marker's, that holds tile and whose
    // altitude lies raised above the base altitude.
    Outcome outcome(std::uint16_t marker, std::uint16_t tile, std::int8_t raised) const
    {
        const Rule &rule = m_rules[marker];
        bool tileFound = false;
        for (std::uint32_t c = rule.firstTile; c < rule.firstTile + rule.tileCount; ++c) {
            if (m_tiles[c].tileId != tile)
                continue;
            tileFound = true;
            if (rule.allows(static_cast<std::int8_t>(raised - m_tiles[c].altIdMod)))
                return reproduced;
        }
        return tileFound ? altitudeDiffered : tileDiffered;
    }

    static constexpr int knownBits = 12;

    const MappedFile &m_original;
    const std::vector<Rule> &m_rules;
    const std::vector<TransitionTile> &m_tiles;
    RoundTripEstimate &m_estimate;
    QByteArray m_pending;
    qint64 m_blocks = 0;
    // Outcomes by a hash of marker, tile and raise, which neighbouring cells
    // mostly repeat: a slot holds the three, shifted past the two bits of
    // the outcome; all ones while empty.
    std::vector<std::uint64_t> m_known =
        std::vector<std::uint64_t>(std::size_t(1) << knownBits, ~std::uint64_t(0));
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_chunks;
    bool m_finished = false;
    // Last, so that it starts with everything else in place.
    std::thread m_thread;
};

// Keeps the pass's output in memory: the map file goes to the comparison,
// the index and statics files nowhere.
class MemoryFile : public MapOutputFile
{
public:
    MemoryFile(const QString &path, Comparison *comparison) : m_path(path), m_comparison(comparison)
    {
    }

    bool open() override { return true; }
    bool write(const QByteArray &data) override
    {
        if (m_comparison)
            m_comparison->append(data);
        return true;
    }
    bool sync() override { return true; }
    bool commit() override { return true; }
    void cancel() override { }
    QString fileName() const override { return m_path; }
    QString errorString() const override { return {}; }

private:
    QString m_path;
    Comparison *m_comparison;
};

// Keeps the reason a pass could not run, and shows nothing else.
class QuietObserver : public PassObserver
{
public:
    void statusMessage(const QString &) override { }
    void warning(const QString &, const QString &text) override { problem = text; }
    void error(const QString &text) override { problem = text; }
    void progressStarted(int) override { }
    void progressChanged(int) override { }
    bool isCancelled() override { return false; }
    void progressFinished() override { }
    void trace(const QString &) override { }

    QString problem;
};

} // namespace

RoundTripEstimate estimateRoundTrip(const QString &destination, int mapNumber,
                                    const MapTables &tables, const QImage &terrain,
                                    const QImage &altitude)
{
    RoundTripEstimate estimate;
    MarkedTables marked(tables);
    if (!marked.fits()) {
        estimate.errorText =
            QStringLiteral("the data directory has more different transition tile lists than "
                           "the estimate can tell apart (65280)");
        return estimate;
    }
    const QString mapPath = MapFiles::path(destination, MapFiles::Kind::Map, mapNumber);
    MappedFile original;
    if (!original.open(mapPath)) {
        estimate.errorText = QDir::toNativeSeparators(QDir::cleanPath(mapPath)) + QLatin1Char(' ')
            + original.errorString();
        return estimate;
    }
    Comparison comparison(original, marked, estimate);
    const MapOutputFileFactory inMemory = [&comparison](const QString &path) {
        const bool isMap = QFileInfo(path).fileName().startsWith(QLatin1String("map"));
        return std::make_unique<MemoryFile>(path, isMap ? &comparison : nullptr);
    };
    // Output of its own: the pass needs no destination and locks none.
    const PassOptions options;
    StructureStatics structureStatics;
    KeyGrid keyGrid;
    GlibcRandom random;
    QuietObserver observer;
    const QString inMemoryName = QStringLiteral("in memory");
    const PassSummary summary = processMap(
        marked.tables(), structureStatics, keyGrid, random, PaletteImage::fromImage(terrain),
        inMemoryName, PaletteImage::fromImage(altitude), inMemoryName, options, observer, inMemory);
    comparison.finish();
    if (summary.outcome != PassSummary::Outcome::Completed) {
        estimate = RoundTripEstimate();
        estimate.errorText = summary.errorText.isEmpty() ? observer.problem : summary.errorText;
        return estimate;
    }
    if (summary.cells / MapFiles::cellsPerBlock * MapFiles::mapBlockSize != original.size()) {
        estimate = RoundTripEstimate();
        estimate.errorText = QStringLiteral("the images make %1 blocks, the map has %2")
                                 .arg(summary.cells / MapFiles::cellsPerBlock)
                                 .arg(original.size() / MapFiles::mapBlockSize);
    }
    return estimate;
}
