#include "newworldcommand.h"

#include "commandparser.h"
#include "engine/starterworld.h"

#include <QDir>
#include <QRegularExpression>
#include <QTextStream>

int runNewWorldCommand(const QStringList &arguments)
{
    QTextStream err(stderr);
    CommandParser parser(
        QStringLiteral("new-world"),
        QStringLiteral("Writes a starter world: a terrain and an altitude image and a complete "
                       "data directory for them, ready to generate."));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("Directory to write the world into."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption sizeOption(QStringLiteral("size"),
                                        QStringLiteral("Map size in cells (default 1024x1024)."),
                                        QStringLiteral("WxH"), QStringLiteral("1024x1024"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the world (default 1)."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption forceOption(
        QStringLiteral("force"),
        QStringLiteral("Write into a directory that is not empty, replacing files of the same "
                       "names."));
    parser.addOptions({outOption, sizeOption, seedOption, forceOption});
    if (const auto done = parser.parseArguments(arguments, {outOption}))
        return *done;

    StarterWorldOptions options;
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"))
            .match(parser.value(sizeOption));
    if (!size.hasMatch())
        return parser.usage(
            QStringLiteral("--size takes WIDTHxHEIGHT in cells, such as 1024x1024"));
    options.width = size.captured(1).toInt();
    options.height = size.captured(2).toInt();
    if (options.width < 16 || options.height < 16 || options.width > 16384
        || options.height > 16384)
        return parser.usage(QStringLiteral("--size takes 16 to 16384 cells in each direction"));
    bool seedOk = false;
    options.seed = parser.value(seedOption).toUInt(&seedOk);
    if (!seedOk)
        return parser.usage(QStringLiteral("--seed takes a whole number from 0 to 4294967295"));

    QString errorText;
    const QString out = parser.value(outOption);
    if (const QString obstacle = starterWorldObstacle(out);
        !obstacle.isEmpty() && !parser.isSet(forceOption)) {
        err << "error: " << obstacle << "; pass --force to write over it" << Qt::endl;
        return failure;
    }
    if (!writeStarterWorld(out, options, &errorText)) {
        err << "error: " << errorText << Qt::endl;
        return failure;
    }
    err << "Wrote a " << options.width << " x " << options.height << " starter world (seed "
        << options.seed << ") to " << QDir::toNativeSeparators(out) << "; see README.txt there."
        << Qt::endl;
    return success;
}
