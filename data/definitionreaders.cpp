#include "definitionreaders.h"

#include <algorithm>

namespace {

XmlElement currentElement(const XmlFileReader &reader)
{
    return {reader.name(), reader.lineNumber(), reader.attributes()};
}

} // namespace

bool XmlElement::has(QLatin1StringView attribute) const
{
    // value() gives an empty view for an empty value and for an absent
    // attribute alike (as a null view, in some Qt versions, for both), so
    // presence is looked up by name.
    return std::any_of(attributes.cbegin(), attributes.cend(), [&](const QXmlStreamAttribute &a) {
        return a.qualifiedName() == attribute;
    });
}

XmlReadStatus readPaletteFile(const QString &path, QLatin1StringView elementName,
                              const std::function<void(const XmlElement &)> &onDefinition,
                              ReadPoll *poll)
{
    XmlFileReader reader(path, poll);
    while (reader.readNextTag()) {
        if (reader.isStartTag() && reader.depth() > 1 && reader.name() == elementName)
            onDefinition(currentElement(reader));
    }
    return reader.status();
}

XmlReadStatus readTransitionFile(const QString &path, TransitionFileVisitor &visitor,
                                 ReadPoll *poll)
{
    enum class Group { None, MapTiles, StaticTiles };
    // Per open element: the definition it is, or -1, and the tile group of
    // its parent definition that it is.
    struct Open
    {
        int definition = -1;
        Group group = Group::None;
    };
    std::vector<Open> open;
    std::vector<int> mapOwners;
    std::vector<int> staticOwners;
    int definitions = 0;

    XmlFileReader reader(path, poll);
    while (reader.readNextTag()) {
        if (!reader.isStartTag()) {
            if (open.back().group == Group::MapTiles)
                mapOwners.pop_back();
            else if (open.back().group == Group::StaticTiles)
                staticOwners.pop_back();
            open.pop_back();
            continue;
        }
        const QStringView name = reader.name();
        const int parent = open.empty() ? -1 : open.back().definition;
        Open element;
        if (reader.depth() > 1 && name == u"TransInfo") {
            element.definition = definitions++;
            visitor.definition(element.definition, currentElement(reader));
        } else if (parent >= 0 && name == u"MapTiles") {
            element.group = Group::MapTiles;
            mapOwners.push_back(parent);
        } else if (parent >= 0 && name == u"StaticTiles") {
            element.group = Group::StaticTiles;
            staticOwners.push_back(parent);
        } else if (name == u"MapTile" && !mapOwners.empty()) {
            visitor.tile(true, mapOwners, currentElement(reader));
        } else if (name == u"StaticTile" && !staticOwners.empty()) {
            visitor.tile(false, staticOwners, currentElement(reader));
        }
        open.push_back(element);
    }
    return reader.status();
}

XmlReadStatus readStaticSetFile(const QString &path, StaticSetFileVisitor &visitor, ReadPoll *poll)
{
    // Per open element, whether it is a group.
    std::vector<bool> open;
    std::vector<int> groups;
    int count = 0;

    XmlFileReader reader(path, poll);
    while (reader.readNextTag()) {
        if (!reader.isStartTag()) {
            if (open.back())
                groups.pop_back();
            open.pop_back();
            continue;
        }
        const bool isGroup = reader.depth() > 1 && reader.name() == u"Statics";
        if (reader.depth() == 1)
            visitor.root(currentElement(reader));
        else if (isGroup)
            visitor.group(count, currentElement(reader));
        else if (reader.name() == u"Static" && !groups.empty())
            visitor.entry(groups, currentElement(reader));
        if (isGroup)
            groups.push_back(count++);
        open.push_back(isGroup);
    }
    return reader.status();
}
