#include "transitionfile.h"

#include "definitionreaders.h"
#include "maptables.h"
#include "readpoll.h"

using namespace Qt::StringLiterals;

namespace {

// The definitions of one file, kept until the file has parsed whole.
class TransitionCollector : public TransitionFileVisitor
{
public:
    struct Definition
    {
        QString key;
        TransitionInfo info;
        // The File of a general definition, upper-cased; empty when none.
        QString staticSet;
    };

    explicit TransitionCollector(TransitionKind kind) : m_kind(kind) { }

    void definition(int, const XmlElement &element) override
    {
        Definition definition {element.value("HashKey"_L1).toString(), {}, {}};
        if (m_kind == TransitionKind::General)
            definition.staticSet = element.value("File"_L1).toString().toUpper();
        definitions.append(std::move(definition));
    }

    void tile(bool mapTile, const std::vector<int> &owners, const XmlElement &element) override
    {
        TransitionTile tile;
        tile.tileId = element.value("TileID"_L1).toUShort();
        // The low 8 bits of the 16-bit value, as two's complement.
        tile.altIdMod = static_cast<std::int8_t>(element.value("AltIDMod"_L1).toShort());
        for (const int owner : owners) {
            TransitionInfo &info = definitions[owner].info;
            (mapTile ? info.mapTiles : info.staticTiles).append(tile);
        }
    }

    QList<Definition> definitions;

private:
    TransitionKind m_kind;
};

} // namespace

void loadTransitionFile(MapTables &tables, const QString &path, TransitionKind kind, ReadPoll *poll)
{
    TransitionCollector collector(kind);
    if (!readTransitionFile(path, collector, poll).ok)
        return;
    TransitionHash &table = tables.transitionTable(kind);
    for (TransitionCollector::Definition &definition : collector.definitions) {
        // A million definitions take a second to enter.
        if (poll && poll->poll())
            return;
        // Without a File the key keeps the set an earlier definition named.
        if (!definition.staticSet.isEmpty())
            tables.TransitionFileTable.insert(definition.key, definition.staticSet);
        table.insert(std::move(definition.key), std::move(definition.info));
    }
}
