#include "datadirectorychecker.h"

#include "engine/packedkey.h"
#include "staticsetfile.h"
#include "transitiondirectory.h"
#include "transitioninfo.h"
#include "xmldocument.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

namespace {

using Severity = DataProblem::Severity;

// How the loaders convert an attribute, and so what it may hold.
enum class NumberKind {
    PaletteIndex, // toUShort, the low 8 bits are kept
    Unsigned16, // toUShort
    Signed8, // toShort, the low 8 bits are kept as two's complement
    Integer, // toInt
};

enum class Presence { Required, Optional };

struct Definition
{
    QString file;
    int line = 0;
    // The File of a general transition, upper-cased; empty when it has none.
    QString staticSet;
};

struct StaticSetReference
{
    QString file;
    int line = 0;
    QString name;
};

QString displayPath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

QString location(const Definition &definition)
{
    return definition.line > 0
        ? definition.file + QLatin1Char(':') + QString::number(definition.line)
        : definition.file;
}

QString transitionLabel(TransitionKind kind)
{
    switch (kind) {
    case TransitionKind::General:
        return QStringLiteral("transition");
    case TransitionKind::Left:
        return QStringLiteral("left rough-edge transition");
    case TransitionKind::Top:
        return QStringLiteral("top rough-edge transition");
    case TransitionKind::Corner:
        return QStringLiteral("corner rough-edge transition");
    }
    return {};
}

class DataDirectoryChecker
{
public:
    explicit DataDirectoryChecker(const QString &dataDirectory) : m_dataDirectory(dataDirectory) { }

    QList<DataProblem> run()
    {
        // The load sequence of loadDataDirectory, file for file.
        const QString roughEdge = m_dataDirectory + QLatin1String("/system/roughedge/");
        checkTransitionFile(roughEdge + QLatin1String("lefttrans.xml"), TransitionKind::Left);
        checkTransitionFile(roughEdge + QLatin1String("toptrans.xml"), TransitionKind::Top);
        checkTransitionFile(roughEdge + QLatin1String("cornertrans.xml"), TransitionKind::Corner);
        checkTerrainFile(m_dataDirectory + QLatin1String("/system/terrain.xml"));
        checkAltitudeFile(m_dataDirectory + QLatin1String("/system/altitude.xml"));
        const QString transitions = m_dataDirectory + QLatin1String("/transitions/");
        checkFilesNeverLoaded(transitions);
        for (const QString &path : transitionDefinitionFiles(transitions))
            checkTransitionFile(path, TransitionKind::General);
        checkTransitionFile(transitions + QLatin1String("common.xml"), TransitionKind::General);
        const QString statics = m_dataDirectory + QLatin1String("/statics/");
        for (const QString &name : staticSetFileNames(statics))
            checkStaticSetFile(statics + QLatin1Char('/') + name, name);

        reportReplacedDefinitions();
        reportMissingStaticSets(statics);
        return sortedProblems();
    }

private:
    void noteFile(const QString &file)
    {
        if (!m_fileOrder.contains(file))
            m_fileOrder.insert(file, int(m_fileOrder.size()));
    }

    void report(Severity severity, const QString &code, const QString &file, int line, int column,
                const QString &message)
    {
        m_problems.append({severity, code, file, line, column, message});
    }

    void report(Severity severity, const QString &code, const QString &file, const QDomNode &node,
                const QString &message)
    {
        // The DOM's column is where the start tag ends, which points nowhere
        // useful; its line is good enough to find the element.
        report(severity, code, file, node.lineNumber(), 0, message);
    }

    // The root element, or nothing when the loaders would skip the file.
    // missingConsequence says what a required file's absence does to the
    // map; optional files may be absent.
    std::optional<QDomElement> readFile(const QString &path, const QString &file,
                                        const QString &missingConsequence = {})
    {
        noteFile(file);
        const XmlDocumentResult xml = readXmlDocument(path);
        if (!xml.opened) {
            if (QFileInfo::exists(path))
                report(Severity::Error, QStringLiteral("unreadable-file"), file, 0, 0,
                       QStringLiteral("cannot be read (%1); the generator skips it")
                           .arg(xml.errorMessage));
            else if (!missingConsequence.isEmpty())
                report(Severity::Error, QStringLiteral("missing-file"), file, 0, 0,
                       QStringLiteral("does not exist; %1").arg(missingConsequence));
            return std::nullopt;
        }
        if (!xml.ok) {
            report(Severity::Error, QStringLiteral("not-well-formed"), file, xml.errorLine,
                   xml.errorColumn,
                   QStringLiteral("is not well-formed XML (%1); the generator skips the whole "
                                  "file")
                       .arg(xml.errorMessage));
            return std::nullopt;
        }
        return xml.document.documentElement();
    }

    void checkNumber(const QDomElement &element, const QString &attribute, NumberKind kind,
                     Presence presence, const QString &file)
    {
        if (!element.hasAttribute(attribute)) {
            if (presence == Presence::Required)
                report(Severity::Error, QStringLiteral("missing-attribute"), file, element,
                       QStringLiteral("%1 has no %2; the generator reads 0")
                           .arg(element.tagName(), attribute));
            return;
        }
        const QString text = element.attribute(attribute);
        bool ok = false;
        const auto notConverted = [&](const QString &range) {
            QString message = QStringLiteral("%1 '%2' is not a whole number from %3; the "
                                             "generator reads 0")
                                  .arg(attribute, text, range);
            bool hexadecimal = false;
            const uint asHex = text.toUShort(&hexadecimal, 16);
            if (hexadecimal && kind == NumberKind::Unsigned16)
                message += QStringLiteral(" (if it is hexadecimal, write %1)").arg(asHex);
            report(Severity::Error, QStringLiteral("bad-number"), file, element, message);
        };
        const auto lostBits = [&](const QString &range, int kept) {
            report(Severity::Error, QStringLiteral("lossy-number"), file, element,
                   QStringLiteral("%1 %2 is outside %3; the generator keeps the low 8 bits: %4")
                       .arg(attribute, text, range)
                       .arg(kept));
        };
        switch (kind) {
        case NumberKind::PaletteIndex: {
            const uint value = text.toUShort(&ok);
            if (!ok)
                notConverted(QStringLiteral("0 to 255"));
            else if (value > 255)
                lostBits(QStringLiteral("0 to 255"), int(value & 0xff));
            break;
        }
        case NumberKind::Unsigned16:
            text.toUShort(&ok);
            if (!ok)
                notConverted(QStringLiteral("0 to 65535"));
            break;
        case NumberKind::Signed8: {
            const int value = text.toShort(&ok);
            if (!ok)
                notConverted(QStringLiteral("-128 to 127"));
            else if (value < -128 || value > 127)
                lostBits(QStringLiteral("-128 to 127"), int(static_cast<std::int8_t>(value)));
            break;
        }
        case NumberKind::Integer:
            text.toInt(&ok);
            if (!ok)
                notConverted(QStringLiteral("-2147483648 to 2147483647"));
            break;
        }
    }

    void addDefinition(const QString &what, const Definition &definition)
    {
        m_definitions[what].append(definition);
    }

    void checkTerrainFile(const QString &path)
    {
        const QString file = displayPath(path);
        const auto root = readFile(
            path, file,
            QStringLiteral("the generator then knows no terrain and gives every cell tile id 0"));
        if (!root)
            return;
        const QList<QDomElement> terrains = descendantElements(*root, QStringLiteral("Terrain"));
        if (terrains.isEmpty())
            report(Severity::Warning, QStringLiteral("no-definitions"), file, 0, 0,
                   QStringLiteral("defines no Terrain elements (element names are "
                                  "case-sensitive)"));
        for (const QDomElement &terrain : terrains) {
            checkNumber(terrain, QStringLiteral("ID"), NumberKind::PaletteIndex, Presence::Required,
                        file);
            checkNumber(terrain, QStringLiteral("TileID"), NumberKind::Unsigned16,
                        Presence::Required, file);
            const QString random = terrain.attribute(QStringLiteral("Random"));
            if (random != QLatin1String("True")
                && random.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                report(Severity::Error, QStringLiteral("flag-not-true"), file, terrain,
                       QStringLiteral("Random '%1' reads as false: only True, written exactly "
                                      "so, varies the altitude")
                           .arg(random));
            const int index = terrain.attribute(QStringLiteral("ID")).toUShort() & 0xff;
            addDefinition(QStringLiteral("the definition of terrain palette index %1").arg(index),
                          {file, terrain.lineNumber(), {}});
        }
    }

    void checkAltitudeFile(const QString &path)
    {
        const QString file = displayPath(path);
        const auto root =
            readFile(path, file,
                     QStringLiteral("the generator then knows no altitude and gives every cell "
                                    "altitude 0"));
        if (!root)
            return;
        const QList<QDomElement> altitudes = descendantElements(*root, QStringLiteral("Altitude"));
        if (altitudes.isEmpty())
            report(Severity::Warning, QStringLiteral("no-definitions"), file, 0, 0,
                   QStringLiteral("defines no Altitude elements (element names are "
                                  "case-sensitive)"));
        for (const QDomElement &altitude : altitudes) {
            checkNumber(altitude, QStringLiteral("Key"), NumberKind::PaletteIndex,
                        Presence::Required, file);
            checkNumber(altitude, QStringLiteral("Altitude"), NumberKind::Signed8,
                        Presence::Required, file);
            const int index = altitude.attribute(QStringLiteral("Key")).toUShort() & 0xff;
            addDefinition(QStringLiteral("the definition of altitude palette index %1").arg(index),
                          {file, altitude.lineNumber(), {}});
        }
    }

    // The scan loads only subdirectories; a file beside common.xml is a
    // file the designer believes in and the generator never reads.
    void checkFilesNeverLoaded(const QString &transitions)
    {
        const QStringList names =
            QDir(transitions, QStringLiteral("*.xml"), QDir::Name | QDir::IgnoreCase, QDir::Files)
                .entryList();
        for (const QString &name : names) {
            if (name == QLatin1String("common.xml"))
                continue;
            const QString file = displayPath(transitions + name);
            noteFile(file);
            report(Severity::Warning, QStringLiteral("never-loaded"), file, 0, 0,
                   QStringLiteral("is never loaded: the generator reads transitions/common.xml "
                                  "and the files in subdirectories of transitions/ only"));
        }
    }

    void checkHashKey(const QDomElement &definition, const QString &file)
    {
        if (!definition.hasAttribute(QStringLiteral("HashKey"))) {
            report(Severity::Error, QStringLiteral("missing-attribute"), file, definition,
                   QStringLiteral("TransInfo has no HashKey, so it never matches"));
            return;
        }
        const QString key = definition.attribute(QStringLiteral("HashKey"));
        if (PackedKey::fromText(key))
            return;
        QString message = QStringLiteral("HashKey '%1' never matches: a key is exactly 18 "
                                         "upper-case hexadecimal digits, two per cell")
                              .arg(key);
        const QString likely = key.trimmed().toUpper();
        if (PackedKey::fromText(likely))
            message += QStringLiteral("; write %1").arg(likely);
        else if (key.size() != 18)
            message += QStringLiteral(", and it has %1").arg(key.size());
        report(Severity::Error, QStringLiteral("key-never-matches"), file, definition, message);
    }

    // Returns the number of tiles.
    qsizetype checkTiles(const QDomElement &group, const QString &tileName, const QString &file)
    {
        const QList<QDomElement> tiles = descendantElements(group, tileName);
        for (const QDomElement &tile : tiles) {
            checkNumber(tile, QStringLiteral("TileID"), NumberKind::Unsigned16, Presence::Required,
                        file);
            checkNumber(tile, QStringLiteral("AltIDMod"), NumberKind::Signed8, Presence::Optional,
                        file);
        }
        return tiles.size();
    }

    void checkTransitionFile(const QString &path, TransitionKind kind)
    {
        const QString file = displayPath(path);
        const auto root = readFile(path, file);
        if (!root)
            return;
        for (const QDomElement &definition :
             descendantElements(*root, QStringLiteral("TransInfo"))) {
            checkHashKey(definition, file);
            // The tiles that the loader reads: those inside a MapTiles or
            // StaticTiles child of this very definition.
            qsizetype tiles = 0;
            for (QDomElement child = definition.firstChildElement(); !child.isNull();
                 child = child.nextSiblingElement()) {
                if (child.tagName() == QLatin1String("MapTiles"))
                    tiles += checkTiles(child, QStringLiteral("MapTile"), file);
                else if (child.tagName() == QLatin1String("StaticTiles"))
                    tiles += checkTiles(child, QStringLiteral("StaticTile"), file);
            }
            const QString key = definition.attribute(QStringLiteral("HashKey"));
            // A definition that names a static set still decorates; one
            // without anything is open (a skeleton) and still stops the
            // lookup.
            if (tiles == 0 && PackedKey::fromText(key)
                && (kind != TransitionKind::General
                    || definition.attribute(QStringLiteral("File")).isEmpty()))
                report(Severity::Warning, QStringLiteral("empty-transition"), file, definition,
                       QStringLiteral("the %1 %2 has no MapTile or StaticTile: the cells it "
                                      "matches keep their terrain's own tile")
                           .arg(transitionLabel(kind), key));
            Definition stored {file, definition.lineNumber(), {}};
            if (kind == TransitionKind::General) {
                stored.staticSet = definition.attribute(QStringLiteral("File")).toUpper();
                if (!stored.staticSet.isEmpty())
                    m_staticSetReferences.append({file, definition.lineNumber(),
                                                  definition.attribute(QStringLiteral("File"))});
            }
            addDefinition(QStringLiteral("the %1 %2").arg(transitionLabel(kind), key), stored);
        }
    }

    void checkStaticTileId(const QDomElement &entry, const QString &file)
    {
        if (!entry.hasAttribute(QStringLiteral("TileID"))) {
            report(Severity::Error, QStringLiteral("missing-attribute"), file, entry,
                   QStringLiteral("Static has no TileID; the generator places tile id 0"));
            return;
        }
        const QString text = entry.attribute(QStringLiteral("TileID"));
        bool decimal = false;
        if (text.toUShort(&decimal) != 0)
            return;
        // The loader reads a tile id again as hexadecimal when decimal gives 0.
        const uint asHex = text.toUShort(nullptr, 16);
        if (asHex != 0)
            report(Severity::Warning, QStringLiteral("hex-tile-id"), file, entry,
                   QStringLiteral("TileID '%1' is read as hexadecimal: tile id %2")
                       .arg(text)
                       .arg(asHex));
        else if (decimal)
            report(Severity::Warning, QStringLiteral("tile-id-zero"), file, entry,
                   QStringLiteral("TileID 0 places tile id 0, which the generator reports as "
                                  "UNUSED"));
        else
            report(Severity::Error, QStringLiteral("bad-number"), file, entry,
                   QStringLiteral("TileID '%1' is neither a decimal nor a hexadecimal number "
                                  "from 0 to 65535; the generator places tile id 0")
                       .arg(text));
    }

    void checkStaticSetFile(const QString &path, const QString &name)
    {
        const QString file = displayPath(path);
        m_listedStaticSets.insert(name.toUpper());
        const auto root = readFile(path, file);
        if (!root)
            return;
        m_loadedStaticSets.insert(name.toUpper());
        addDefinition(QStringLiteral("the static set %1").arg(name.toUpper()), {file, 0, {}});

        checkNumber(*root, QStringLiteral("Chance"), NumberKind::Integer, Presence::Optional, file);
        bool converted = false;
        const int chance = root->attribute(QStringLiteral("Chance")).toInt(&converted);
        if (!root->hasAttribute(QStringLiteral("Chance")))
            report(Severity::Warning, QStringLiteral("set-never-decorates"), file, *root,
                   QStringLiteral("%1 has no Chance, so the set never decorates a cell")
                       .arg(root->tagName()));
        else if (converted && chance <= 0)
            report(Severity::Warning, QStringLiteral("set-never-decorates"), file, *root,
                   QStringLiteral("Chance is %1, so the set never decorates a cell").arg(chance));

        for (const QDomElement &group : descendantElements(*root, QStringLiteral("Statics"))) {
            checkNumber(group, QStringLiteral("Freq"), NumberKind::Integer, Presence::Optional,
                        file);
            const int freq = group.attribute(QStringLiteral("Freq")).toInt(&converted);
            const QString description = group.attribute(QStringLiteral("Description"));
            if (!group.hasAttribute(QStringLiteral("Freq")))
                report(Severity::Warning, QStringLiteral("group-never-drawn"), file, group,
                       QStringLiteral("Statics '%1' has no Freq, so the group is never drawn")
                           .arg(description));
            else if (converted && freq <= 0)
                report(Severity::Warning, QStringLiteral("group-never-drawn"), file, group,
                       QStringLiteral("Statics '%1' has Freq %2, so the group is never drawn")
                           .arg(description)
                           .arg(freq));
            for (const QDomElement &entry : descendantElements(group, QStringLiteral("Static"))) {
                checkStaticTileId(entry, file);
                for (const char *offset : {"X", "Y", "Z"})
                    checkNumber(entry, QLatin1String(offset), NumberKind::Signed8,
                                Presence::Optional, file);
                checkNumber(entry, QStringLiteral("Hue"), NumberKind::Unsigned16,
                            Presence::Optional, file);
            }
        }
    }

    // Every definition but the last of its key gives way; the warning
    // names the last one, which is what the map uses.
    void reportReplacedDefinitions()
    {
        for (auto it = m_definitions.cbegin(); it != m_definitions.cend(); ++it) {
            const QList<Definition> &definitions = it.value();
            const Definition &winner = definitions.constLast();
            // A general definition without File keeps the set an earlier
            // one named.
            qsizetype keptSet = -1;
            if (winner.staticSet.isEmpty()) {
                for (qsizetype i = definitions.size() - 2; i >= 0 && keptSet < 0; --i) {
                    if (!definitions[i].staticSet.isEmpty())
                        keptSet = i;
                }
            }
            for (qsizetype i = 0; i + 1 < definitions.size(); ++i) {
                QString message = QStringLiteral("%1 is replaced by the one at %2")
                                      .arg(it.key(), location(winner));
                if (i == keptSet)
                    message += QStringLiteral("; its File %1 stays in use, as that one names "
                                              "none")
                                   .arg(definitions[i].staticSet);
                report(Severity::Warning, QStringLiteral("replaced-definition"),
                       definitions[i].file, definitions[i].line, 0, message);
            }
        }
    }

    void reportMissingStaticSets(const QString &statics)
    {
        for (const StaticSetReference &reference : std::as_const(m_staticSetReferences)) {
            const QString name = reference.name.toUpper();
            if (m_loadedStaticSets.contains(name))
                continue;
            const QString reason = m_listedStaticSets.contains(name)
                ? QStringLiteral("the generator skips that file (see its error)")
                : QStringLiteral("%1 has no such file (names ignore case)")
                      .arg(displayPath(statics));
            report(Severity::Error, QStringLiteral("missing-static-set"), reference.file,
                   reference.line, 0,
                   QStringLiteral("File '%1' names no static set: %2").arg(reference.name, reason));
        }
    }

    QList<DataProblem> sortedProblems() const
    {
        QList<DataProblem> problems;
        QSet<QString> seen;
        // A tile inside a definition nested in another is read for both.
        for (const DataProblem &problem : m_problems) {
            const QString identity = problem.file + QLatin1Char(':') + QString::number(problem.line)
                + QLatin1Char(':') + QString::number(problem.column) + problem.message;
            if (!seen.contains(identity)) {
                seen.insert(identity);
                problems.append(problem);
            }
        }
        std::stable_sort(problems.begin(), problems.end(),
                         [this](const DataProblem &a, const DataProblem &b) {
                             const int fileA = m_fileOrder.value(a.file);
                             const int fileB = m_fileOrder.value(b.file);
                             if (fileA != fileB)
                                 return fileA < fileB;
                             if (a.line != b.line)
                                 return a.line < b.line;
                             return a.column < b.column;
                         });
        return problems;
    }

    QString m_dataDirectory;
    QList<DataProblem> m_problems;
    QHash<QString, int> m_fileOrder;
    // Every definition of each key, in load order; the hash key says what is
    // defined ("the definition of terrain palette index 3").
    QHash<QString, QList<Definition>> m_definitions;
    QList<StaticSetReference> m_staticSetReferences;
    QSet<QString> m_listedStaticSets;
    QSet<QString> m_loadedStaticSets;
};

} // namespace

QList<DataProblem> checkDataDirectory(const QString &dataDirectory)
{
    return DataDirectoryChecker(dataDirectory).run();
}
