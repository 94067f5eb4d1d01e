#include "newworldcommand.h"

#include "engine/starterworld.h"

#include <QCommandLineParser>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>

int runNewWorldCommand(const QStringList &arguments)
{
    QTextStream err(stderr);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a starter world: a terrain and an altitude image and a complete "
                       "data directory for them, ready to generate."));
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("Directory to write the world into."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption sizeOption(QStringLiteral("size"),
                                        QStringLiteral("Map size in cells (default 1024x1024)."),
                                        QStringLiteral("WxH"), QStringLiteral("1024x1024"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the world (default 1)."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({outOption, sizeOption, seedOption});
    const auto usage = [&err](const QString &problem) {
        err << "error: " << problem << "\nRun 'mapgenerator-cli new-world --help' for the options."
            << Qt::endl;
        return 2;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (!parser.isSet(outOption))
        return usage(QStringLiteral("--out is required"));

    StarterWorldOptions options;
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"))
            .match(parser.value(sizeOption));
    if (!size.hasMatch())
        return usage(QStringLiteral("--size takes WIDTHxHEIGHT in cells, such as 1024x1024"));
    options.width = size.captured(1).toInt();
    options.height = size.captured(2).toInt();
    if (options.width < 16 || options.height < 16 || options.width > 16384
        || options.height > 16384)
        return usage(QStringLiteral("--size takes 16 to 16384 cells in each direction"));
    bool seedOk = false;
    options.seed = parser.value(seedOption).toUInt(&seedOk);
    if (!seedOk)
        return usage(QStringLiteral("--seed takes a whole number from 0 to 4294967295"));

    QString errorText;
    const QString out = parser.value(outOption);
    if (!writeStarterWorld(out, options, &errorText)) {
        err << "error: " << errorText << Qt::endl;
        return 1;
    }
    err << "Wrote a " << options.width << " x " << options.height << " starter world (seed "
        << options.seed << ") to " << QDir::toNativeSeparators(out) << "; see README.txt there."
        << Qt::endl;
    return 0;
}
