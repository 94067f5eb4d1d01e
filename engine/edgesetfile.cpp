#include "edgesetfile.h"

#include "data/xmldocument.h"

#include <QDir>
#include <QRegularExpression>

#include <limits>

std::optional<EdgeShape> EdgeSet::drawnAs(EdgeShape shape) const
{
    if (shapes[std::size_t(shape)])
        return shape;
    const std::optional<EdgeShape> fallback = fallbackShape(shape);
    if (fallback && shapes[std::size_t(*fallback)])
        return fallback;
    return std::nullopt;
}

namespace {

class EdgeSetReader
{
public:
    explicit EdgeSetReader(const QString &path)
        : m_path(path), m_file(QDir::toNativeSeparators(QDir::cleanPath(path)))
    {
    }

    EdgeSetFile read()
    {
        EdgeSetFile result;
        const XmlDocumentResult xml = readXmlDocument(m_path);
        if (!xml.opened) {
            error(0, 0, QStringLiteral("unreadable-file"),
                  QStringLiteral("cannot be read (%1)").arg(xml.errorMessage));
        } else if (!xml.ok) {
            error(xml.errorLine, xml.errorColumn, QStringLiteral("not-well-formed"),
                  QStringLiteral("is not well-formed XML (%1)").arg(xml.errorMessage));
        } else {
            const QDomElement root = xml.document.documentElement();
            const QList<QDomElement> elements = descendantElements(root, QStringLiteral("EdgeSet"));
            // An empty file is a world with no borders yet; elements but no
            // EdgeSet among them is a misspelling.
            if (elements.isEmpty() && !root.firstChildElement().isNull())
                error(0, 0, QStringLiteral("no-definitions"),
                      QStringLiteral("defines no EdgeSet elements (element names are "
                                     "case-sensitive)"));
            for (const QDomElement &element : elements)
                result.sets.append(readSet(element));
        }
        if (!m_problems.isEmpty())
            result.sets.clear();
        result.problems = m_problems;
        return result;
    }

private:
    void error(int line, int column, const QString &code, const QString &message)
    {
        m_problems.append({DataProblem::Severity::Error, code, m_file, line, column, message});
    }

    void error(const QDomElement &element, const QString &code, const QString &message)
    {
        error(element.lineNumber(), 0, code, message);
    }

    void checkAttributes(const QDomElement &element, const QStringList &known)
    {
        const QDomNamedNodeMap attributes = element.attributes();
        for (int i = 0; i < attributes.count(); ++i) {
            const QString name = attributes.item(i).nodeName();
            if (!known.contains(name))
                error(element, QStringLiteral("unknown-attribute"),
                      QStringLiteral("%1 has no attribute %2; it takes %3")
                          .arg(element.tagName(), name, known.join(QStringLiteral(", "))));
        }
    }

    // A whole decimal number from low to high; nothing, after an error,
    // when the text is not one.
    std::optional<int> number(const QDomElement &element, const QString &what, const QString &text,
                              int low, int high)
    {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (ok && value >= low && value <= high)
            return value;
        error(element, QStringLiteral("bad-number"),
              QStringLiteral("%1 '%2' is not a whole number from %3 to %4")
                  .arg(what, text)
                  .arg(low)
                  .arg(high));
        return std::nullopt;
    }

    std::optional<int> paletteIndex(const QDomElement &element, const QString &attribute)
    {
        if (!element.hasAttribute(attribute)) {
            error(element, QStringLiteral("missing-attribute"),
                  QStringLiteral("EdgeSet has no %1 (a terrain palette index)").arg(attribute));
            return std::nullopt;
        }
        return number(element, attribute, element.attribute(attribute), 0, 255);
    }

    QList<TransitionTile> tiles(const QDomElement &element, const QString &attribute,
                                std::int8_t altIdMod)
    {
        QList<TransitionTile> tiles;
        const QStringList ids =
            element.attribute(attribute).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &id : ids) {
            if (const auto tileId = number(element, attribute + QStringLiteral(" tile id"), id, 0,
                                           std::numeric_limits<std::uint16_t>::max()))
                tiles.append({std::uint16_t(*tileId), altIdMod});
        }
        return tiles;
    }

    EdgeTiles readShape(const QDomElement &element, const QString &setFile)
    {
        checkAttributes(element,
                        {QStringLiteral("Tiles"), QStringLiteral("Statics"),
                         QStringLiteral("AltIDMod"), QStringLiteral("File")});
        std::int8_t altIdMod = 0;
        if (element.hasAttribute(QStringLiteral("AltIDMod")))
            altIdMod = std::int8_t(number(element, QStringLiteral("AltIDMod"),
                                          element.attribute(QStringLiteral("AltIDMod")), -128, 127)
                                       .value_or(0));
        EdgeTiles shape;
        shape.mapTiles = tiles(element, QStringLiteral("Tiles"), altIdMod);
        shape.staticTiles = tiles(element, QStringLiteral("Statics"), altIdMod);
        shape.staticSet = element.attribute(QStringLiteral("File"), setFile);
        if (shape.mapTiles.isEmpty() && shape.staticTiles.isEmpty())
            error(element, QStringLiteral("no-tiles"),
                  QStringLiteral("%1 names no Tiles or Statics, so it would draw nothing")
                      .arg(element.tagName()));
        return shape;
    }

    // One edge set per pair of different terrains, whichever is drawn over.
    void checkPair(const QDomElement &element, std::uint8_t over, std::uint8_t under)
    {
        const int pair = std::min(over, under) * 256 + std::max(over, under);
        if (over == under)
            error(element, QStringLiteral("same-terrain"),
                  QStringLiteral("EdgeSet draws terrain %1 over itself").arg(over));
        else if (m_pairs.contains(pair))
            error(element, QStringLiteral("duplicate-edge-set"),
                  QStringLiteral("terrains %1 and %2 already have the edge set at line %3; one "
                                 "pair, one edge set")
                      .arg(over)
                      .arg(under)
                      .arg(m_pairs.value(pair)));
        else
            m_pairs.insert(pair, element.lineNumber());
    }

    EdgeSet readSet(const QDomElement &element)
    {
        checkAttributes(element,
                        {QStringLiteral("Name"), QStringLiteral("Over"), QStringLiteral("Under"),
                         QStringLiteral("File")});
        EdgeSet set;
        set.name = element.attribute(QStringLiteral("Name"));
        // The name becomes a directory under transitions/.
        static const QRegularExpression directoryName(
            QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]*$"));
        if (!directoryName.match(set.name).hasMatch())
            error(element, QStringLiteral("bad-name"),
                  QStringLiteral("EdgeSet Name '%1' cannot name a directory: use letters, "
                                 "digits, '.', '-' and '_', starting with a letter or digit")
                      .arg(set.name));
        else if (m_names.contains(set.name.toLower()))
            error(element, QStringLiteral("duplicate-edge-set"),
                  QStringLiteral("EdgeSet Name '%1' is taken by the one at line %2 (names "
                                 "ignore case)")
                      .arg(set.name)
                      .arg(m_names.value(set.name.toLower())));
        else
            m_names.insert(set.name.toLower(), element.lineNumber());

        const std::optional<int> over = paletteIndex(element, QStringLiteral("Over"));
        const std::optional<int> under = paletteIndex(element, QStringLiteral("Under"));
        set.over = std::uint8_t(over.value_or(0));
        set.under = std::uint8_t(under.value_or(0));
        if (over && under)
            checkPair(element, set.over, set.under);

        const QString setFile = element.attribute(QStringLiteral("File"));
        for (QDomElement child = element.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement()) {
            const std::optional<EdgeShape> shape = edgeShapeNamed(child.tagName());
            if (!shape) {
                QStringList names;
                for (int i = 0; i < edgeShapeCount; ++i)
                    names << edgeShapeName(EdgeShape(i));
                error(child, QStringLiteral("unknown-shape"),
                      QStringLiteral("%1 is no shape; the shapes are %2")
                          .arg(child.tagName(), names.join(QStringLiteral(", "))));
                continue;
            }
            if (set.shapes[std::size_t(*shape)]) {
                error(child, QStringLiteral("duplicate-shape"),
                      QStringLiteral("%1 is named twice in this EdgeSet").arg(child.tagName()));
                continue;
            }
            set.shapes[std::size_t(*shape)] = readShape(child, setFile);
        }
        return set;
    }

    QString m_path;
    QString m_file;
    QList<DataProblem> m_problems;
    // Lower-case name, and the pair of terrains (low * 256 + high), to the
    // line of the edge set that took it.
    QHash<QString, int> m_names;
    QHash<int, int> m_pairs;
};

} // namespace

EdgeSetFile readEdgeSetFile(const QString &path)
{
    return EdgeSetReader(path).read();
}
