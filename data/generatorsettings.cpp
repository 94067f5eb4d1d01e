#include "generatorsettings.h"

#include "xmldocument.h"

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
    for (QDomNode node = xml.document.documentElement().firstChild(); !node.isNull();
         node = node.nextSibling()) {
        const QString name = node.toElement().tagName();
        for (const auto &[element, field] : fields) {
            if (name == element) {
                settings.*field = node.firstChild().toText().data();
                break;
            }
        }
    }
    return settings;
}
