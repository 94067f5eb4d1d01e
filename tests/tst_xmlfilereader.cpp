#include "data/xmlfilereader.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QString describe(char kind, int depth, QStringView name, qint64 line,
                 const QXmlStreamAttributes &attributes)
{
    QString text = QStringLiteral("%1 %2 %3 line %4")
                       .arg(QChar(kind), QString::number(depth), name, QString::number(line));
    for (const QXmlStreamAttribute &a : attributes)
        text += QStringLiteral(" [%1|%2|%3|%4|%5%6%7]")
                    .arg(a.qualifiedName(), a.name(), a.prefix(), a.namespaceUri(), a.value(),
                         a.value().isNull() ? u" null" : u"", a.isDefault() ? u" default" : u"");
    return text;
}

QString describe(bool ok, const QString &message, qint64 line, qint64 column, qint64 offset,
                 const QString &encoding)
{
    return QStringLiteral("ok %1 '%2' at %3:%4 (%5) encoding '%6'")
        .arg(QString::number(ok), message, QString::number(line), QString::number(column),
             QString::number(offset), encoding);
}

// The independent reference: the parser itself, with the depth limit.
QStringList parsed(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader reader(&file);
    reader.setNamespaceProcessing(false);
    QStringList events;
    QString encoding;
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartDocument)
            encoding = reader.documentEncoding().toString();
        if (token == QXmlStreamReader::StartElement && ++depth > maxXmlElementDepth)
            return events << describe(false, xmlTooDeepMessage(), reader.lineNumber(),
                                      reader.columnNumber(), reader.characterOffset(), encoding);
        if (token == QXmlStreamReader::StartElement || token == QXmlStreamReader::EndElement)
            events << describe(reader.isStartElement() ? 'S' : 'E', depth, reader.qualifiedName(),
                               reader.lineNumber(), reader.attributes());
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    if (!reader.hasError())
        return events << describe(true, QString(), 0, 0, 0, encoding);
    return events << describe(false, reader.errorString(), reader.lineNumber(),
                              reader.columnNumber(), reader.characterOffset(), encoding);
}

} // namespace

class TestXmlFileReader : public QObject
{
    Q_OBJECT

private slots:
    void sameAsParser_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("scanned");

        const QByteArray transitions(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- Edge set a-over-b,\n expanded -->\n"
            "<Transitions>\n  <TransInfo HashKey=\"010101010307070707\"><!-- Full -->\n"
            "    <MapTiles><MapTile TileID=\"1300\" AltIDMod=\"0\"/>"
            "<MapTile TileID=\"1301\" AltIDMod=\"-1\"/></MapTiles>\n"
            "    <StaticTiles><StaticTile TileID=\"3\"/></StaticTiles>\n  </TransInfo>\n"
            "</Transitions>\n");
        QTest::newRow("transition file") << transitions << true;
        QTest::newRow("CR LF") << QByteArray(transitions).replace("\n", "\r\n") << true;
        QTest::newRow("lone CR") << QByteArray(transitions).replace("\n", "\r") << true;
        QTest::newRow("tags over lines") << QByteArray(
            "<Statics\r\n Name='x'>\n<Static TileID = '1'\n\n Chance=\"\"\r\n/><Static\r"
            "/>\n<Static Freq='' X=''\r\n></Static\n>text > and ' \" ] ]>\n</Statics\r\n>")
                                         << true;
        QTest::newRow("comments everywhere")
            << QByteArray("<!----><R><!-- a - b -->t<X a='>'/></R>\n<!--\n-->\n \t") << true;
        QTest::newRow("declaration variants")
            << QByteArray("<?xml version = '1.0' encoding = 'utf8' standalone = 'no' ?>\n<R/>")
            << true;
        QTest::newRow("declaration, version only")
            << QByteArray("<?xml version='1.0'?><R/>") << true;
        QTest::newRow("declared ASCII")
            << QByteArray("<?xml version=\"1.0\" encoding=\"us-ascii\"?><R/>") << true;
        QTest::newRow("names") << QByteArray("<_a.B-9 c_.D-1='2'><x.y/></_a.B-9>") << true;
        // The comment's end is not the "-->" of its own opening.
        QTest::newRow("comment opened by <!-->") << QByteArray("<!--><x--><R/>") << true;
        QTest::newRow("comment opened by <!--->") << QByteArray("<!---><x =z--><R/>") << true;
        QTest::newRow("the other quote in a value")
            << QByteArray("<R a=\"it's\" b='say \"x\"'/>") << true;

        QTest::newRow("entity") << QByteArray("<R a='&amp;'/>") << false;
        QTest::newRow("character reference") << QByteArray("<R>&#65;</R>") << false;
        QTest::newRow("non-ASCII") << QByteArray("<R a='\xc3\xa9'/>\n<X>") << false;
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf<R/>") << false;
        QTest::newRow("DOCTYPE") << QByteArray("<!DOCTYPE R [<!ENTITY e 'x'>]><R>&e;</R>") << false;
        QTest::newRow("CDATA") << QByteArray("<R><![CDATA[<x>]]></R>") << false;
        QTest::newRow("processing instruction") << QByteArray("<R><?pi x?></R>") << false;
        QTest::newRow("tab in a value") << QByteArray("<R a='1\t2'/>") << false;
        QTest::newRow("line end in a value") << QByteArray("<R a='1\r\n2'/>") << false;
        QTest::newRow("duplicate attribute") << QByteArray("<R a='1' a='2'/>") << false;
        QTest::newRow("no space between attributes") << QByteArray("<R a='1'b='2'/>") << false;
        QTest::newRow("namespace") << QByteArray("<R xmlns:p='u' p:a='1'/>") << false;
        QTest::newRow("mismatched tag") << QByteArray("<R>\n<A></B></R>") << false;
        QTest::newRow("unclosed") << QByteArray("<R><A>\n") << false;
        QTest::newRow("text after the root") << QByteArray("<R/>\nx") << false;
        QTest::newRow("second root") << QByteArray("<R/><R/>") << false;
        QTest::newRow("-- in a comment") << QByteArray("<R><!-- a -- b --></R>") << false;
        QTest::newRow("]]> in text") << QByteArray("<R>]]></R>") << false;
        QTest::newRow("control character") << QByteArray("<R>\x01</R>") << false;
        QTest::newRow("declaration not first") << QByteArray(" <?xml version='1.0'?><R/>") << false;
        QTest::newRow("version 1.1") << QByteArray("<?xml version='1.1'?><R/>") << false;
        QTest::newRow("declared Latin-1")
            << QByteArray("<?xml version='1.0' encoding='ISO-8859-1'?><R a='\xe9'/>") << false;
        QTest::newRow("no root") << QByteArray("<!-- x -->\n") << false;
        QTest::newRow("name of 5,000 characters")
            << QByteArray("<R ") + QByteArray(5000, 'b') + QByteArray("='1'/>") << false;
        QTest::newRow("too deep, self-closing at the limit")
            << QByteArray("<a>").repeated(maxXmlElementDepth) + "\n<a/>"
                + QByteArray("</a>").repeated(maxXmlElementDepth)
            << false;
    }

    void sameAsParser()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, scanned);

        QTemporaryDir directory;
        const QString path = directory.filePath(QStringLiteral("file.xml"));
        TestSupport::writeFile(path, xml);
        XmlFileReader reader(path, nullptr);
        QStringList events;
        while (reader.readNextTag())
            events << describe(reader.isStartTag() ? 'S' : 'E', reader.depth(), reader.name(),
                               reader.lineNumber(), reader.attributes());
        const XmlReadStatus &status = reader.status();
        QVERIFY(status.opened);
        events << describe(status.ok, status.errorMessage, status.errorLine, status.errorColumn,
                           status.errorOffset, status.declaredEncoding);
        QCOMPARE(events, parsed(path));
        QCOMPARE(reader.isScannedWhole(), scanned);
    }
};

QTEST_GUILESS_MAIN(TestXmlFileReader)
#include "tst_xmlfilereader.moc"
