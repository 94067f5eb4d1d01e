#include "generatorsettings.h"

#include "xmldocument.h"

#include <QDir>
#include <QFileInfo>

GeneratorSettings readGeneratorSettings(const QString &path)
{
    GeneratorSettings settings;
    const XmlDocumentResult xml = readXmlDocument(path);
    if (!xml.ok)
        return settings;
    const std::pair<QLatin1StringView, std::optional<QString> GeneratorSettings::*> fields[] = {
        {QLatin1StringView("XML"), &GeneratorSettings::dataDirectory},
        {QLatin1StringView("Terrain"), &GeneratorSettings::terrain},
        {QLatin1StringView("Altitude"), &GeneratorSettings::altitude},
        {QLatin1StringView("Destination"), &GeneratorSettings::destination},
    };
    // Relative paths start from the file's own folder, so that a world's
    // settings file works wherever the program was started.
    const QDir folder = QFileInfo(path).absoluteDir();
    for (QDomNode node = xml.document.documentElement().firstChild(); !node.isNull();
         node = node.nextSibling()) {
        const QString name = node.toElement().tagName();
        for (const auto &[element, field] : fields) {
            if (name == element) {
                const QString value = node.firstChild().toText().data();
                settings.*field = value.isEmpty() || QDir::isAbsolutePath(value)
                    ? value
                    : QDir::cleanPath(folder.filePath(value));
                break;
            }
        }
    }
    return settings;
}
