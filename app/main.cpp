#include "mainwindow.h"
#include "programinfo.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTextStream>

#include <memory>
#include <string_view>

namespace {

// Help and the version need no display, so the application object that
// connects to one is made only when the window is to open.
bool printsOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "-h" || argument == "--help" || argument == "-v" || argument == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::unique_ptr<QCoreApplication> application(
        printsOnly(argc, argv) ? new QCoreApplication(argc, argv) : new QApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("mapgenerator"));
    // Where QSettings keeps the remembered choices.
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmoor"));
    QCoreApplication::setApplicationVersion(programVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quillmoor Map Generator: turns a painted terrain image and altitude "
                       "image into game map files."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("settings"),
        QStringLiteral("A settings file (such as a world's mapgenerator.xml) whose paths "
                       "replace those of mapgenerator.xml beside the program."),
        QStringLiteral("[settings]"));
    QTextStream err(stderr);
    const auto usage = [&err](const QString &problem) {
        err << "mapgenerator: " << problem << "\nRun 'mapgenerator --help' for the options."
            << Qt::endl;
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << helpText(parser, QStringLiteral("mapgenerator"));
        return 0;
    }
    if (parser.isSet(versionOption)) {
        QTextStream(stdout) << "mapgenerator " << programVersion() << Qt::endl;
        return 0;
    }
    // Lists Qt's own options (-style, -platform, ...) as well, and exits.
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(*application);
    const QStringList settings = parser.positionalArguments();
    if (settings.size() > 1)
        return usage(QStringLiteral("one settings file at most"));
    if (!settings.isEmpty() && !QFileInfo(settings.constFirst()).isFile())
        return usage(QStringLiteral("%1 is not a settings file; name a mapgenerator.xml")
                         .arg(settings.constFirst()));

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillmoor-mapgenerator.svg")));
    // Lets Wayland compositors match the window to its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmoor-mapgenerator"));
    MainWindow window;
    if (!settings.isEmpty())
        window.readSettings(settings.constFirst());
    QObject::connect(qApp, &QApplication::lastWindowClosed, qApp, &QApplication::quit);
    window.show();
    return QApplication::exec();
}
