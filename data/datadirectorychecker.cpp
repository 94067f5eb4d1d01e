#include "datadirectorychecker.h"

#include "datadirectory.h"
#include "definitionreaders.h"
#include "engine/packedkey.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Severity = DataProblem::Severity;
using Kind = DataDirectoryEntry::Kind;

// How the loaders convert an attribute, and so what it may hold.
enum class NumberKind {
    PaletteIndex, // toUShort, the low 8 bits are kept
    Unsigned16, // toUShort
    Signed8, // toShort, the low 8 bits are kept as two's complement
    Integer, // toInt
};

enum class Presence { Required, Optional };

// What a definition defines, for the warning when a later one replaces it.
// Transition is followed by the other kinds of transition, in the order of
// TransitionKind.
enum class Defines { TerrainIndex, AltitudeIndex, StaticSet, Transition };

QString displayPath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

// A designer's text as a message quotes it: control characters written
// out, so that every message stays one line, and no more than 200
// characters of it.
QString echo(QStringView text)
{
    constexpr qsizetype maxShown = 200;
    QStringView shown = text.left(maxShown);
    if (shown.size() < text.size() && shown.back().isHighSurrogate())
        shown.chop(1);
    QString result;
    for (const QChar c : shown) {
        if (c == u'\t')
            result += "\\t"_L1;
        else if (c == u'\n')
            result += "\\n"_L1;
        else if (c == u'\r')
            result += "\\r"_L1;
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            result += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            result += c;
    }
    if (shown.size() < text.size()) {
        qsizetype characters = text.size();
        for (qsizetype i = 1; i < text.size(); ++i)
            characters -= text[i].isLowSurrogate() && text[i - 1].isHighSurrogate();
        result += QStringLiteral("... (%1 characters in all)").arg(characters);
    }
    return result;
}

// The problems of one file, held back until the file has parsed: a file
// that is not well-formed counts for nothing, and reports only that. Each
// problem keeps the place its element has in the order the definitions
// were once checked, definition by definition (or group by group), so that
// problems on one line come in the same order as ever.
class FileProblems
{
public:
    explicit FileProblems(const QString &file) : m_file(file) { }

    // The definition (or group) that the next problems belong to, and the
    // element they are found in, counted in document order.
    void at(int owner, int element)
    {
        m_owner = owner;
        m_element = element;
    }

    void report(Severity severity, const QString &code, int line, const QString &message)
    {
        m_problems.push_back({{severity, code, m_file, line, 0, message}, m_owner, m_element});
    }

    QList<DataProblem> inCheckingOrder()
    {
        std::stable_sort(m_problems.begin(), m_problems.end(),
                         [](const Pending &a, const Pending &b) {
                             return std::pair(a.owner, a.element) < std::pair(b.owner, b.element);
                         });
        QList<DataProblem> problems;
        for (Pending &pending : m_problems)
            problems.append(std::move(pending.problem));
        return problems;
    }

private:
    struct Pending
    {
        DataProblem problem;
        int owner;
        int element;
    };

    QString m_file;
    std::vector<Pending> m_problems;
    int m_owner = -1;
    int m_element = 0;
};

// Checks an element's numbers as the loaders convert them.
class NumberCheck
{
public:
    NumberCheck(FileProblems &problems, const XmlElement &element)
        : m_problems(problems), m_element(element)
    {
    }

    void check(QLatin1StringView attribute, NumberKind kind, Presence presence)
    {
        if (!m_element.has(attribute)) {
            if (presence == Presence::Required)
                m_problems.report(Severity::Error, QStringLiteral("missing-attribute"),
                                  m_element.line,
                                  QStringLiteral("%1 has no %2; the generator reads 0")
                                      .arg(echo(m_element.name), attribute));
            return;
        }
        const QStringView text = m_element.value(attribute);
        bool ok = false;
        switch (kind) {
        case NumberKind::PaletteIndex: {
            const uint value = text.toUShort(&ok);
            if (!ok)
                notConverted(attribute, text, kind, QStringLiteral("0 to 255"));
            else if (value > 255)
                lostBits(attribute, text, QStringLiteral("0 to 255"), int(value & 0xff));
            break;
        }
        case NumberKind::Unsigned16:
            static_cast<void>(text.toUShort(&ok));
            if (!ok)
                notConverted(attribute, text, kind, QStringLiteral("0 to 65535"));
            break;
        case NumberKind::Signed8: {
            const int value = text.toShort(&ok);
            if (!ok)
                notConverted(attribute, text, kind, QStringLiteral("-128 to 127"));
            else if (value < -128 || value > 127)
                lostBits(attribute, text, QStringLiteral("-128 to 127"),
                         int(static_cast<std::int8_t>(value)));
            break;
        }
        case NumberKind::Integer:
            static_cast<void>(text.toInt(&ok));
            if (!ok)
                notConverted(attribute, text, kind, QStringLiteral("-2147483648 to 2147483647"));
            break;
        }
    }

private:
    void notConverted(QLatin1StringView attribute, QStringView text, NumberKind kind,
                      const QString &range)
    {
        QString message = QStringLiteral("%1 '%2' is not a whole number from %3; the "
                                         "generator reads 0")
                              .arg(attribute, echo(text), range);
        bool hexadecimal = false;
        const uint asHex = text.toUShort(&hexadecimal, 16);
        if (hexadecimal && kind == NumberKind::Unsigned16)
            message += QStringLiteral(" (if it is hexadecimal, write %1)").arg(asHex);
        m_problems.report(Severity::Error, QStringLiteral("bad-number"), m_element.line, message);
    }

    void lostBits(QLatin1StringView attribute, QStringView text, const QString &range, int kept)
    {
        m_problems.report(Severity::Error, QStringLiteral("lossy-number"), m_element.line,
                          QStringLiteral("%1 %2 is outside %3; the generator keeps the low 8 "
                                         "bits: %4")
                              .arg(attribute, echo(text), range)
                              .arg(kept));
    }

    FileProblems &m_problems;
    const XmlElement &m_element;
};

class DataDirectoryChecker
{
public:
    explicit DataDirectoryChecker(const QString &dataDirectory) : m_dataDirectory(dataDirectory) { }

    QList<DataProblem> run()
    {
        // The load sequence of loadDataDirectory, file for file.
        for (const DataDirectoryEntry &entry : dataDirectoryEntries(m_dataDirectory)) {
            switch (entry.kind) {
            case Kind::TransitionFile:
                checkTransitionFile(entry.path, entry.transitionKind);
                break;
            case Kind::TerrainFile:
                checkTerrainFile(entry.path);
                break;
            case Kind::AltitudeFile:
                checkAltitudeFile(entry.path);
                checkFilesNeverLoaded(m_dataDirectory + QLatin1String("/transitions/"));
                break;
            case Kind::StaticSetFile:
                checkStaticSetFile(entry.path, entry.name);
                break;
            case Kind::SkippedLink:
                reportSkippedLink(entry);
                break;
            case Kind::UnreadableDirectory:
                report(Severity::Error, QStringLiteral("unreadable-directory"),
                       noteFile(entry.path),
                       QStringLiteral("cannot be read; the generator loads none of its files and "
                                      "subdirectories"));
                break;
            }
        }
        reportReplacedDefinitions();
        reportMissingStaticSets(m_dataDirectory + QLatin1String("/statics/"));
        return sortedProblems();
    }

    void locateTransitions(DefinitionLocations &winners) const
    {
        for (auto it = m_lastDefinition.cbegin(); it != m_lastDefinition.cend(); ++it) {
            const int defines = it.key().section(QLatin1Char(':'), 0, 0).toInt();
            if (defines < int(Defines::Transition))
                continue;
            const Definition &winner = m_definitions[std::size_t(it.value() - 1)];
            winners.insert(TransitionKind(defines - int(Defines::Transition)),
                           it.key().section(QLatin1Char(':'), 1),
                           {m_files[winner.file], winner.line});
        }
    }

private:
    // A definition as the replacement warning needs it.
    struct Definition
    {
        int file;
        int line;
        // The one before of the same key, or -1.
        int previous;
        // Index into m_staticSetNames of a general transition's File, or -1.
        int staticSet;
    };

    struct PendingDefinition
    {
        QString key;
        int line = 0;
        QString staticSet;
    };

    struct StaticSetReference
    {
        QString file;
        int line = 0;
        QString name;
    };

    QString noteFile(const QString &path)
    {
        const QString file = displayPath(path);
        if (!m_fileOrder.contains(file)) {
            m_fileOrder.insert(file, int(m_files.size()));
            m_files.append(file);
        }
        return file;
    }

    void report(Severity severity, const QString &code, const QString &file, const QString &message)
    {
        m_problems.append({severity, code, file, 0, 0, message});
    }

    // Takes a file's problems when it parsed whole; else
    // reports why the loaders skip it. missingConsequence says what a
    // required file's absence does to the map; optional files may be absent.
    bool finishFile(const QString &path, const XmlReadStatus &status, FileProblems &problems,
                    const QString &missingConsequence = {})
    {
        const QString file = displayPath(path);
        if (!status.opened) {
            if (QFileInfo::exists(path))
                report(Severity::Error, QStringLiteral("unreadable-file"), file,
                       QStringLiteral("cannot be read (%1); the generator skips it")
                           .arg(echo(status.errorMessage)));
            else if (!missingConsequence.isEmpty())
                report(Severity::Error, QStringLiteral("missing-file"), file,
                       QStringLiteral("does not exist; %1").arg(missingConsequence));
            return false;
        }
        if (!status.ok) {
            m_problems.append({Severity::Error, QStringLiteral("not-well-formed"), file,
                               status.errorLine, errorColumnInCharacters(path, status),
                               QStringLiteral("is not well-formed XML (%1); the generator skips "
                                              "the whole file")
                                   .arg(echo(status.errorMessage))});
            return false;
        }
        m_problems += problems.inCheckingOrder();
        return true;
    }

    void addDefinitions(Defines defines, const QString &file,
                        const QList<PendingDefinition> &definitions)
    {
        const int fileIndex = m_fileOrder.value(file);
        const QString prefix = QString::number(int(defines)) + QLatin1Char(':');
        for (const PendingDefinition &pending : definitions) {
            int staticSet = -1;
            if (!pending.staticSet.isEmpty()) {
                const auto name = m_staticSetNames.constFind(pending.staticSet);
                staticSet =
                    name != m_staticSetNames.cend() ? name.value() : int(m_staticSetNames.size());
                m_staticSetNames.insert(pending.staticSet, staticSet);
            }
            // Stored one higher, so that a new key's 0 means none.
            int &last = m_lastDefinition[prefix + pending.key];
            m_definitions.push_back({fileIndex, pending.line, last - 1, staticSet});
            last = int(m_definitions.size());
        }
    }

    // Terrain and altitude files: every element named elementName is a
    // definition of the palette index its keyAttribute holds.
    void checkPaletteFile(const QString &path, QLatin1StringView elementName,
                          QLatin1StringView keyAttribute, Defines defines,
                          const QString &missingConsequence,
                          const std::function<void(FileProblems &, const XmlElement &)> &check)
    {
        const QString file = noteFile(path);
        FileProblems problems(file);
        QList<PendingDefinition> definitions;
        const auto read = [&](const XmlElement &element) {
            problems.at(0, int(definitions.size()));
            check(problems, element);
            const int index = element.value(keyAttribute).toUShort() & 0xff;
            definitions.append({QString::number(index), element.line, {}});
        };
        const XmlReadStatus status = readPaletteFile(path, elementName, read, nullptr);
        if (!finishFile(path, status, problems, missingConsequence))
            return;
        if (definitions.isEmpty())
            report(Severity::Warning, QStringLiteral("no-definitions"), file,
                   QStringLiteral("defines no %1 elements (element names are case-sensitive)")
                       .arg(elementName));
        addDefinitions(defines, file, definitions);
    }

    void checkTerrainFile(const QString &path)
    {
        checkPaletteFile(
            path, "Terrain"_L1, "ID"_L1, Defines::TerrainIndex,
            QStringLiteral("the generator then knows no terrain and gives every cell tile id 0"),
            [](FileProblems &problems, const XmlElement &terrain) {
                NumberCheck numbers(problems, terrain);
                numbers.check("ID"_L1, NumberKind::PaletteIndex, Presence::Required);
                numbers.check("TileID"_L1, NumberKind::Unsigned16, Presence::Required);
                const QStringView random = terrain.value("Random"_L1);
                if (random != u"True"
                    && random.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                    problems.report(Severity::Error, QStringLiteral("flag-not-true"), terrain.line,
                                    QStringLiteral("Random '%1' reads as false: only True, "
                                                   "written exactly so, varies the altitude")
                                        .arg(echo(random)));
            });
    }

    void checkAltitudeFile(const QString &path)
    {
        checkPaletteFile(
            path, "Altitude"_L1, "Key"_L1, Defines::AltitudeIndex,
            QStringLiteral("the generator then knows no altitude and gives every cell altitude 0"),
            [](FileProblems &problems, const XmlElement &altitude) {
                NumberCheck numbers(problems, altitude);
                numbers.check("Key"_L1, NumberKind::PaletteIndex, Presence::Required);
                numbers.check("Altitude"_L1, NumberKind::Signed8, Presence::Required);
            });
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
            report(Severity::Warning, QStringLiteral("never-loaded"), noteFile(transitions + name),
                   QStringLiteral("is never loaded: the generator reads transitions/common.xml "
                                  "and the files in subdirectories of transitions/ only"));
        }
    }

    void reportSkippedLink(const DataDirectoryEntry &entry)
    {
        const QString target = QDir::toNativeSeparators(entry.target);
        const QString data = QFileInfo(m_dataDirectory).canonicalFilePath();
        report(Severity::Warning, QStringLiteral("link-above-data"), noteFile(entry.path),
               (entry.target == data
                    ? QStringLiteral("leads back to the data directory (%1)").arg(target)
                    : QStringLiteral("leads to %1, which holds the data directory").arg(target))
                   + QStringLiteral("; the generator does not follow it, as it would read the "
                                    "data directory's own files as transitions"));
    }

    void checkTransitionFile(const QString &path, TransitionKind kind)
    {
        class Visitor : public TransitionFileVisitor
        {
        public:
            Visitor(FileProblems &problems, TransitionKind kind)
                : m_problems(problems), m_kind(kind)
            {
            }

            void definition(int index, const XmlElement &element) override
            {
                m_definitionElements.push_back(m_elements);
                m_tiles.push_back(0);
                m_problems.at(index, m_elements++);
                checkHashKey(element);
                PendingDefinition pending {
                    element.value("HashKey"_L1).toString(), element.line, {}};
                if (m_kind == TransitionKind::General) {
                    const QStringView file = element.value("File"_L1);
                    pending.staticSet = file.toString().toUpper();
                    if (!file.isEmpty())
                        references.append({{}, element.line, file.toString()});
                }
                definitions.append(std::move(pending));
            }

            // A tile inside a definition nested in another is read for
            // both; it is checked with the outer one.
            void tile(bool, const std::vector<int> &owners, const XmlElement &element) override
            {
                for (const int owner : owners)
                    ++m_tiles[owner];
                m_problems.at(owners.front(), m_elements++);
                NumberCheck numbers(m_problems, element);
                numbers.check("TileID"_L1, NumberKind::Unsigned16, Presence::Required);
                numbers.check("AltIDMod"_L1, NumberKind::Signed8, Presence::Optional);
            }

            // A definition without tiles still answers its key, so its
            // cells keep their own tile; one that names a static set still
            // decorates.
            void reportEmptyDefinitions()
            {
                for (qsizetype i = 0; i < definitions.size(); ++i) {
                    const PendingDefinition &definition = definitions[i];
                    if (m_tiles[i] > 0 || !definition.staticSet.isEmpty()
                        || !PackedKey::fromText(definition.key))
                        continue;
                    m_problems.at(int(i), m_definitionElements[i]);
                    m_problems.report(Severity::Warning, QStringLiteral("empty-transition"),
                                      definition.line,
                                      QStringLiteral("the %1 %2 has no MapTile or StaticTile: "
                                                     "the cells it matches keep their terrain's "
                                                     "own tile")
                                          .arg(transitionLabel(m_kind), definition.key));
                }
            }

            QList<PendingDefinition> definitions;
            QList<StaticSetReference> references;

        private:
            void checkHashKey(const XmlElement &definition)
            {
                if (!definition.has("HashKey"_L1)) {
                    m_problems.report(Severity::Error, QStringLiteral("missing-attribute"),
                                      definition.line,
                                      QStringLiteral("TransInfo has no HashKey, so it never "
                                                     "matches"));
                    return;
                }
                const QString key = definition.value("HashKey"_L1).toString();
                if (PackedKey::fromText(key))
                    return;
                QString message = QStringLiteral("HashKey '%1' never matches: a key is exactly "
                                                 "18 upper-case hexadecimal digits, two per cell")
                                      .arg(echo(key));
                const QString likely = key.trimmed().toUpper();
                if (PackedKey::fromText(likely))
                    message += QStringLiteral("; write %1").arg(likely);
                else if (key.size() != 18)
                    message += QStringLiteral(", and it has %1").arg(key.size());
                m_problems.report(Severity::Error, QStringLiteral("key-never-matches"),
                                  definition.line, message);
            }

            FileProblems &m_problems;
            TransitionKind m_kind;
            int m_elements = 0;
            // Per definition: its element's place and the tiles it holds.
            std::vector<int> m_definitionElements;
            std::vector<qsizetype> m_tiles;
        };

        const QString file = noteFile(path);
        FileProblems problems(file);
        Visitor visitor(problems, kind);
        const XmlReadStatus status = readTransitionFile(path, visitor, nullptr);
        visitor.reportEmptyDefinitions();
        if (!finishFile(path, status, problems))
            return;
        for (StaticSetReference &reference : visitor.references) {
            reference.file = file;
            m_staticSetReferences.append(std::move(reference));
        }
        addDefinitions(Defines(int(Defines::Transition) + int(kind)), file, visitor.definitions);
    }

    void checkStaticSetFile(const QString &path, const QString &name)
    {
        class Visitor : public StaticSetFileVisitor
        {
        public:
            explicit Visitor(FileProblems &problems) : m_problems(problems) { }

            void root(const XmlElement &element) override
            {
                m_problems.at(-1, m_elements++);
                NumberCheck(m_problems, element)
                    .check("Chance"_L1, NumberKind::Integer, Presence::Optional);
                bool converted = false;
                const int chance = element.value("Chance"_L1).toInt(&converted);
                if (!element.has("Chance"_L1))
                    m_problems.report(Severity::Warning, QStringLiteral("set-never-decorates"),
                                      element.line,
                                      QStringLiteral("%1 has no Chance, so the set never "
                                                     "decorates a cell")
                                          .arg(echo(element.name)));
                else if (converted && chance <= 0)
                    m_problems.report(Severity::Warning, QStringLiteral("set-never-decorates"),
                                      element.line,
                                      QStringLiteral("Chance is %1, so the set never decorates "
                                                     "a cell")
                                          .arg(chance));
            }

            void group(int index, const XmlElement &element) override
            {
                m_problems.at(index, m_elements++);
                NumberCheck(m_problems, element)
                    .check("Freq"_L1, NumberKind::Integer, Presence::Optional);
                bool converted = false;
                const int freq = element.value("Freq"_L1).toInt(&converted);
                const QString description = echo(element.value("Description"_L1));
                if (!element.has("Freq"_L1))
                    m_problems.report(Severity::Warning, QStringLiteral("group-never-drawn"),
                                      element.line,
                                      QStringLiteral("Statics '%1' has no Freq, so the group is "
                                                     "never drawn")
                                          .arg(description));
                else if (converted && freq <= 0)
                    m_problems.report(Severity::Warning, QStringLiteral("group-never-drawn"),
                                      element.line,
                                      QStringLiteral("Statics '%1' has Freq %2, so the group is "
                                                     "never drawn")
                                          .arg(description)
                                          .arg(freq));
            }

            // An entry of nested groups is read for each; it is checked with
            // the outermost.
            void entry(const std::vector<int> &groups, const XmlElement &element) override
            {
                m_problems.at(groups.front(), m_elements++);
                checkTileId(element);
                NumberCheck numbers(m_problems, element);
                for (const QLatin1StringView offset : {"X"_L1, "Y"_L1, "Z"_L1})
                    numbers.check(offset, NumberKind::Signed8, Presence::Optional);
                numbers.check("Hue"_L1, NumberKind::Unsigned16, Presence::Optional);
            }

        private:
            void checkTileId(const XmlElement &entry)
            {
                if (!entry.has("TileID"_L1)) {
                    m_problems.report(Severity::Error, QStringLiteral("missing-attribute"),
                                      entry.line,
                                      QStringLiteral("Static has no TileID; the generator places "
                                                     "tile id 0"));
                    return;
                }
                const QStringView text = entry.value("TileID"_L1);
                bool decimal = false;
                if (text.toUShort(&decimal) != 0)
                    return;
                // The loader reads a tile id again as hexadecimal when
                // decimal gives 0.
                const uint asHex = text.toUShort(nullptr, 16);
                if (asHex != 0)
                    m_problems.report(Severity::Warning, QStringLiteral("hex-tile-id"), entry.line,
                                      QStringLiteral("TileID '%1' is read as hexadecimal: tile id "
                                                     "%2")
                                          .arg(echo(text))
                                          .arg(asHex));
                else if (decimal)
                    m_problems.report(Severity::Warning, QStringLiteral("tile-id-zero"), entry.line,
                                      QStringLiteral("TileID 0 places tile id 0, which the "
                                                     "generator reports as UNUSED"));
                else
                    m_problems.report(Severity::Error, QStringLiteral("bad-number"), entry.line,
                                      QStringLiteral("TileID '%1' is neither a decimal nor a "
                                                     "hexadecimal number from 0 to 65535; the "
                                                     "generator places tile id 0")
                                          .arg(echo(text)));
            }

            FileProblems &m_problems;
            int m_elements = 0;
        };

        const QString file = noteFile(path);
        m_listedStaticSets.insert(name.toUpper());
        FileProblems problems(file);
        Visitor visitor(problems);
        if (!finishFile(path, readStaticSetFile(path, visitor, nullptr), problems))
            return;
        m_loadedStaticSets.insert(name.toUpper());
        addDefinitions(Defines::StaticSet, file, {{name.toUpper(), 0, {}}});
    }

    QString definitionLabel(const QString &key) const
    {
        const auto defines = Defines(key.section(QLatin1Char(':'), 0, 0).toInt());
        const QString text = key.section(QLatin1Char(':'), 1);
        switch (defines) {
        case Defines::TerrainIndex:
            return QStringLiteral("the definition of terrain palette index %1").arg(text);
        case Defines::AltitudeIndex:
            return QStringLiteral("the definition of altitude palette index %1").arg(text);
        case Defines::StaticSet:
            return QStringLiteral("the static set %1").arg(text);
        case Defines::Transition:
            break;
        }
        const auto kind = TransitionKind(int(defines) - int(Defines::Transition));
        return QStringLiteral("the %1 %2").arg(transitionLabel(kind), echo(text));
    }

    QString location(const Definition &definition) const
    {
        const QString &file = m_files[definition.file];
        return definition.line > 0 ? file + QLatin1Char(':') + QString::number(definition.line)
                                   : file;
    }

    // Every definition but the last of its key gives way; the warning
    // names the last one, which is what the map uses.
    void reportReplacedDefinitions()
    {
        // Reported in load order, whatever order the hash keeps its keys in.
        QList<std::pair<int, DataProblem>> replaced;
        for (auto it = m_lastDefinition.cbegin(); it != m_lastDefinition.cend(); ++it) {
            const int winner = it.value() - 1;
            if (m_definitions[winner].previous < 0)
                continue;
            const QString message =
                QStringLiteral("%1 is replaced by the one at %2")
                    .arg(definitionLabel(it.key()), location(m_definitions[winner]));
            // A general definition without File keeps the set of the latest
            // earlier one that named one.
            bool setKept = m_definitions[winner].staticSet >= 0;
            for (int i = m_definitions[winner].previous; i >= 0; i = m_definitions[i].previous) {
                const Definition &definition = m_definitions[i];
                QString text = message;
                if (!setKept && definition.staticSet >= 0) {
                    setKept = true;
                    text += QStringLiteral("; its File %1 stays in use, as that one names none")
                                .arg(echo(m_staticSetNames.key(definition.staticSet)));
                }
                replaced.append({i,
                                 {Severity::Warning, QStringLiteral("replaced-definition"),
                                  m_files[definition.file], definition.line, 0, text}});
            }
        }
        std::sort(replaced.begin(), replaced.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &[index, problem] : replaced)
            m_problems.append(std::move(problem));
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
            m_problems.append({Severity::Error, QStringLiteral("missing-static-set"),
                               reference.file, reference.line, 0,
                               QStringLiteral("File '%1' names no static set: %2")
                                   .arg(echo(reference.name), reason)});
        }
    }

    QList<DataProblem> sortedProblems() const
    {
        QList<DataProblem> problems;
        QSet<QString> seen;
        // The same text on the same line is one problem.
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
    // Files in load order, and each one's place in it.
    QStringList m_files;
    QHash<QString, int> m_fileOrder;
    // Every definition in load order.
    std::vector<Definition> m_definitions;
    // What a definition defines and its key -> its last definition, + 1.
    QHash<QString, int> m_lastDefinition;
    QHash<QString, int> m_staticSetNames;
    QList<StaticSetReference> m_staticSetReferences;
    QSet<QString> m_listedStaticSets;
    QSet<QString> m_loadedStaticSets;
};

} // namespace

QList<DataProblem> checkDataDirectory(const QString &dataDirectory, DefinitionLocations *winners)
{
    DataDirectoryChecker checker(dataDirectory);
    QList<DataProblem> problems = checker.run();
    if (winners)
        checker.locateTransitions(*winners);
    return problems;
}
