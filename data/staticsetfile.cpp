#include "staticsetfile.h"

#include "definitionreaders.h"
#include "maptables.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

// The set of one file and its messages, kept until the file has parsed
// whole.
class StaticSetCollector : public StaticSetFileVisitor
{
public:
    explicit StaticSetCollector(const QString &name) : m_name(name) { }

    void root(const XmlElement &element) override
    {
        set.chance = element.value("Chance"_L1).toInt();
    }

    void group(int, const XmlElement &element) override
    {
        StaticGroup group;
        group.freq = element.value("Freq"_L1).toInt();
        set.groups.append(group);
        m_descriptions.append(element.value("Description"_L1).toString());
        messages.append(QStringList());
    }

    // Groups nest: a nested group is a group of its own, and its entries
    // also belong to every enclosing group.
    void entry(const std::vector<int> &groups, const XmlElement &element) override
    {
        StaticEntry entry;
        const QStringView tileId = element.value("TileID"_L1);
        entry.tileId = tileId.toUShort();
        const bool readAsHex = entry.tileId == 0;
        if (readAsHex)
            entry.tileId = tileId.toUShort(nullptr, 16);
        // Offsets keep the low 8 bits of the 16-bit value, as two's complement.
        entry.x = static_cast<std::int8_t>(element.value("X"_L1).toShort());
        entry.y = static_cast<std::int8_t>(element.value("Y"_L1).toShort());
        entry.z = static_cast<std::int8_t>(element.value("Z"_L1).toShort());
        entry.hue = element.value("Hue"_L1).toUShort();
        for (const int group : groups) {
            set.groups[group].entries.append(entry);
            if (readAsHex)
                messages[group].append(QLatin1String("File ") + m_name
                                       + QLatin1String(" appeared to have a hex tile id in "
                                                       "static set ")
                                       + m_descriptions[group]);
        }
    }

    StaticSet set;
    // Per group, in the order the groups are read.
    QList<QStringList> messages;

private:
    QString m_name;
    QStringList m_descriptions;
};

} // namespace

void scanStaticSetDirectory(MapTables &tables, const QString &directory,
                            const StaticSetMessageHandler &onMessage)
{
    for (const QString &name : staticSetFileNames(directory))
        loadStaticSetFile(tables, directory + QLatin1Char('/') + name, name, onMessage);
}

QStringList staticSetFileNames(const QString &directory)
{
    return QDir(directory, QStringLiteral("*.xml"), QDir::Name | QDir::IgnoreCase, QDir::Files)
        .entryList();
}

void loadStaticSetFile(MapTables &tables, const QString &path, const QString &name,
                       const StaticSetMessageHandler &onMessage, ReadPoll *poll)
{
    StaticSetCollector collector(name);
    if (!readStaticSetFile(path, collector, poll).ok)
        return;
    if (onMessage) {
        for (const QStringList &messages : std::as_const(collector.messages)) {
            for (const QString &message : messages)
                onMessage(message);
        }
    }
    StaticSet &set = collector.set;
    for (qsizetype index = 0; index < set.groups.size(); ++index)
        set.weightedGroups.append(int(index), set.groups[index].freq);
    tables.StaticSetTable.insert(name.toUpper(), std::move(set));
}
