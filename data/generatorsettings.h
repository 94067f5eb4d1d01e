#pragma once

#include <QString>

#include <optional>

// The fields that mapgenerator.xml pre-fills. A field the file does not name
// stays unset, so the window keeps what it shows.
struct GeneratorSettings
{
    std::optional<QString> dataDirectory;
    std::optional<QString> terrain;
    std::optional<QString> altitude;
    std::optional<QString> destination;
};

// Reads the settings file; one that cannot be read or parsed sets nothing.
// Only the root's own children count, the last of a name wins, and a
// comment or a nested element as the first child gives an empty value.
// A relative path is taken from the folder that holds the file.
GeneratorSettings readGeneratorSettings(const QString &path);
