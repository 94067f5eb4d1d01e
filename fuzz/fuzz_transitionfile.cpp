#include "data/maptables.h"
#include "data/transitionfile.h"
#include "data/xmlfilereader.h"
#include "fuzzsupport.h"

namespace {

// Every tag and the status as one text, read with the quick scan where the
// file allows it (wholeFileLimit) or always by the parser (-1).
QString readTags(const QString &path, qint64 wholeFileLimit)
{
    XmlFileReader reader(path, nullptr, wholeFileLimit);
    QString text;
    while (reader.readNextTag()) {
        // One arg() each: a '%' in a name or value stays text.
        text += QStringLiteral("\n%1 %2 %3 %4")
                    .arg(QString::number(reader.isStartTag()), QString::number(reader.depth()),
                         reader.name(), QString::number(reader.lineNumber()));
        for (const QXmlStreamAttribute &a : reader.attributes())
            text += QStringLiteral(" [%1|%2|%3|%4|%5 %6 %7]")
                        .arg(a.qualifiedName(), a.name(), a.prefix(), a.namespaceUri(), a.value(),
                             QString::number(a.value().isNull()), QString::number(a.isDefault()));
    }
    const XmlReadStatus &status = reader.status();
    return text
        + QStringLiteral("\n%1 %2 %3 %4:%5 (%6) %7")
              .arg(QString::number(status.opened), QString::number(status.ok), status.errorMessage,
                   QString::number(status.errorLine), QString::number(status.errorColumn),
                   QString::number(status.errorOffset), status.declaredEncoding);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzSupport::scratchPath(QStringLiteral("transitions.xml"));
    FuzzSupport::writeFile(path, FuzzSupport::bytes(data, size));
    // The quick scan of a plain file gives what the parser gives.
    if (readTags(path, maxWholeXmlFileSize) != readTags(path, -1))
        __builtin_trap();
    MapTables tables;
    // A general file also names static sets; a rough-edge file fills its own table.
    loadTransitionFile(tables, path, TransitionKind::General);
    loadTransitionFile(tables, path, TransitionKind::Left);
    if (tables.LeftTransitionTable.size() != tables.TransitionTable.size()
        || tables.TransitionFileTable.size() > tables.TransitionTable.size())
        __builtin_trap();
    return 0;
}
