#pragma once

#include "transitioninfo.h"

#include <QHash>
#include <QString>

#include <optional>

// Where a definition stands: its file, as the checker names files, and the
// line of its start tag.
struct DefinitionLocation
{
    QString file;
    int line = 0;
};

// The definition of each transition key that the tables keep: the last of
// its key in load order, since a later one replaces an earlier one.
class DefinitionLocations
{
public:
    void insert(TransitionKind kind, const QString &key, const DefinitionLocation &location)
    {
        m_locations.insert(qualified(kind, key), location);
    }
    std::optional<DefinitionLocation> find(TransitionKind kind, const QString &key) const
    {
        const auto it = m_locations.constFind(qualified(kind, key));
        return it != m_locations.cend() ? std::optional(*it) : std::nullopt;
    }

private:
    static QString qualified(TransitionKind kind, const QString &key)
    {
        return QString::number(int(kind)) + QLatin1Char(':') + key;
    }

    QHash<QString, DefinitionLocation> m_locations;
};
