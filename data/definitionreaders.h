#pragma once

#include "xmlfilereader.h"

#include <functional>
#include <vector>

class ReadPoll;

// The readers of the definition files, shared by the loaders and by
// check-data so that both see the same definitions. Each streams its file
// and hands over every definition in document order, with the line of its
// start tag and its attributes. A caller keeps what it needs and applies it
// only when the status says the whole file parsed: a file that is not
// well-formed counts for nothing.

// An element as a reader hands it over; valid only during the call.
struct XmlElement
{
    QStringView name;
    int line = 0;
    QXmlStreamAttributes attributes;

    // The attribute's text, empty when it is absent.
    QStringView value(QLatin1StringView attribute) const { return attributes.value(attribute); }
    // Also true for an attribute whose text is empty.
    bool has(QLatin1StringView attribute) const;
};

// Every element named elementName below the root, at any depth: Terrain in
// system/terrain.xml, Altitude in system/altitude.xml.
XmlReadStatus readPaletteFile(const QString &path, QLatin1StringView elementName,
                              const std::function<void(const XmlElement &)> &onDefinition,
                              ReadPoll *poll);

class TransitionFileVisitor
{
public:
    virtual ~TransitionFileVisitor() = default;

    // A TransInfo below the root, at any depth; a TransInfo inside another
    // is a definition of its own. Definitions are numbered from 0.
    virtual void definition(int index, const XmlElement &element) = 0;
    // A MapTile (mapTile) or StaticTile at any depth below a MapTiles or
    // StaticTiles child of each definition in owners, outermost first.
    virtual void tile(bool mapTile, const std::vector<int> &owners, const XmlElement &element) = 0;
};

XmlReadStatus readTransitionFile(const QString &path, TransitionFileVisitor &visitor,
                                 ReadPoll *poll);

class StaticSetFileVisitor
{
public:
    virtual ~StaticSetFileVisitor() = default;

    virtual void root(const XmlElement &element) = 0;
    // A Statics below the root, at any depth, numbered from 0; one inside
    // another is a group of its own.
    virtual void group(int index, const XmlElement &element) = 0;
    // A Static at any depth below each group in groups, outermost first.
    virtual void entry(const std::vector<int> &groups, const XmlElement &element) = 0;
};

XmlReadStatus readStaticSetFile(const QString &path, StaticSetFileVisitor &visitor, ReadPoll *poll);
