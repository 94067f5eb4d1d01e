#include "staticsetfile.h"

#include "maptables.h"
#include "xmldocument.h"

#include <QDir>

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
                       const StaticSetMessageHandler &onMessage)
{
    const XmlDocumentResult xml = readXmlDocument(path);
    if (!xml.ok)
        return;
    const QDomElement root = xml.document.documentElement();
    StaticSet set;
    set.chance = root.attribute(QStringLiteral("Chance")).toInt();
    // Groups nest: a nested group is a group of its own, and its entries
    // also belong to every enclosing group.
    for (const QDomElement &groupElement : descendantElements(root, QStringLiteral("Statics"))) {
        StaticGroup group;
        group.freq = groupElement.attribute(QStringLiteral("Freq")).toInt();
        for (const QDomElement &entryElement :
             descendantElements(groupElement, QStringLiteral("Static"))) {
            StaticEntry entry;
            const QString tileId = entryElement.attribute(QStringLiteral("TileID"));
            entry.tileId = tileId.toUShort();
            if (entry.tileId == 0) {
                entry.tileId = tileId.toUShort(nullptr, 16);
                if (onMessage)
                    onMessage(QLatin1String("File ") + name
                              + QLatin1String(" appeared to have a hex tile id in static set ")
                              + groupElement.attribute(QStringLiteral("Description")));
            }
            // Offsets keep the low 8 bits of the 16-bit value, as two's complement.
            entry.x =
                static_cast<std::int8_t>(entryElement.attribute(QStringLiteral("X")).toShort());
            entry.y =
                static_cast<std::int8_t>(entryElement.attribute(QStringLiteral("Y")).toShort());
            entry.z =
                static_cast<std::int8_t>(entryElement.attribute(QStringLiteral("Z")).toShort());
            entry.hue = entryElement.attribute(QStringLiteral("Hue")).toUShort();
            group.entries.append(entry);
        }
        set.groups.append(group);
    }
    for (qsizetype index = 0; index < set.groups.size(); ++index)
        set.weightedGroups.append(int(index), set.groups[index].freq);
    tables.StaticSetTable.insert(name.toUpper(), set);
}
