#include "mainwindow.h"

#include "data/datadirectory.h"
#include "data/generatorsettings.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
#include "windowpassobserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QErrorMessage>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTime>
#include <QToolButton>

MainWindow::MainWindow(QWidget *parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    m_random.seed(static_cast<std::uint32_t>(QTime::currentTime().msec()));
    ui.setupUi(this);
    setWindowTitle(tr("Quillmoor Map Generator"));
    // __DATE__ pads a one-digit day with a blank.
    auto *buildLabel =
        new QLabel(tr("Build: ") + QStringLiteral(__DATE__ " " __TIME__).simplified(), statusBar());
    // About sits in the status bar, left of the build label, so that the
    // form keeps its layout.
    auto *about = new QToolButton(statusBar());
    about->setObjectName(QStringLiteral("toolAbout"));
    about->setText(tr("About"));
    about->setAutoRaise(true);
    about->setShortcut(QKeySequence::HelpContents);
    connect(about, &QToolButton::clicked, this, &MainWindow::showAbout);
    statusBar()->addPermanentWidget(about, 0);
    statusBar()->addPermanentWidget(buildLabel, 0);
    readSettings();

    connect(ui.pushMLT, &QPushButton::clicked, this, &MainWindow::fileMLT);
    connect(ui.pushXML, &QPushButton::clicked, this, &MainWindow::dirXML);
    connect(ui.pushTerrain, &QPushButton::clicked, this, &MainWindow::fileTerrain);
    connect(ui.pushAlt, &QPushButton::clicked, this, &MainWindow::fileAlt);
    connect(ui.pushDest, &QPushButton::clicked, this, &MainWindow::dirDest);
    connect(ui.pushCancel, &QPushButton::clicked, this, &MainWindow::close);
    connect(ui.pushGenerate, &QPushButton::clicked, this, &MainWindow::generate);
}

MainWindow::~MainWindow() = default;

void MainWindow::dirXML()
{
    pickDirectory(ui.lineXML, tr("Select XML Data Directory (KTX Data Directory)"));
}

void MainWindow::fileTerrain()
{
    pickFile(ui.lineTerrain, tr("Select Terrain image file"));
}

void MainWindow::fileAlt()
{
    pickFile(ui.lineAlt, tr("Select Altitude image file"));
}

void MainWindow::dirDest()
{
    pickDirectory(ui.lineDest, tr("Select Destination Directory"));
}

void MainWindow::fileMLT()
{
    pickFile(ui.lineMLT, tr("Select Structure File"));
}

void MainWindow::generate()
{
    // The pass lets events run; a click that reached Generate anyway (one
    // queued as Abort closed the progress dialog) must not start a second
    // pass inside the first, which shares the window's tables and grids.
    if (m_generating)
        return;
    const QScopedValueRollback<bool> generating(m_generating, true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    WindowPassObserver observer(this);
    // The tables stay loaded for the rest of the run once the data directory
    // gave general transitions; until then every Generate tries again.
    if (m_tables.TransitionTable.isEmpty()) {
        statusBar()->showMessage(tr("Loading transition data"));
        createStaticErrorDialog();
        if (!loadDataDirectory(
                m_tables, ui.lineXML->text(),
                [this](const QString &message) { emit errorStatic(message); }, &observer)) {
            statusBar()->showMessage(
                tr("Loading aborted; the next Generate loads the data directory again"));
            QApplication::restoreOverrideCursor();
            return;
        }
    }
    statusBar()->showMessage(tr("Processing map"));

    QElapsedTimer stopwatch;
    stopwatch.start();
    const QString altitudePath = ui.lineAlt->text();
    const QString terrainPath = ui.lineTerrain->text();
    PassOptions options;
    options.destination = ui.lineDest->text();
    options.structureFile = ui.lineMLT->text();
    options.structuresEnabled = ui.checkMLT->isChecked();
    options.randomArt = ui.checkRandom->isChecked();
    processMap(m_tables, m_structureStatics, m_keyGrid, m_random, terrainPath, altitudePath,
               options, observer);

    const qint64 minutes = stopwatch.elapsed() / 60000;
    statusBar()->showMessage(
        tr("Ready (Map processing time, include structure setup, was %1 minutes)").arg(minutes));
    QApplication::restoreOverrideCursor();
}

void MainWindow::readSettings()
{
    readSettings(QCoreApplication::applicationDirPath() + QLatin1String("/mapgenerator.xml"));
}

void MainWindow::readSettings(const QString &path)
{
    const GeneratorSettings settings = readGeneratorSettings(path);
    const std::pair<const std::optional<QString> &, QLineEdit *> fields[] = {
        {settings.dataDirectory, ui.lineXML},
        {settings.terrain, ui.lineTerrain},
        {settings.altitude, ui.lineAlt},
        {settings.destination, ui.lineDest},
    };
    for (const auto &[value, field] : fields) {
        if (value)
            field->setText(*value);
    }
}

QString MainWindow::chooseDirectory(const QString &caption, const QString &start)
{
    return QFileDialog::getExistingDirectory(this, caption, start, QFileDialog::ShowDirsOnly);
}

QString MainWindow::chooseFile(const QString &caption, const QString &start)
{
    return QFileDialog::getOpenFileName(this, caption, start);
}

void MainWindow::pickDirectory(QLineEdit *field, const QString &caption)
{
    const QString path = chooseDirectory(caption, field->text());
    if (!path.isEmpty())
        field->setText(path);
}

void MainWindow::pickFile(QLineEdit *field, const QString &caption)
{
    const QString path = chooseFile(caption, field->text());
    if (!path.isEmpty())
        field->setText(path);
}

// One dialog for the whole run, so that a repeated load shows each message
// once rather than once per earlier load.
void MainWindow::createStaticErrorDialog()
{
    if (m_staticErrors)
        return;
    m_staticErrors = new QErrorMessage(this);
    m_staticErrors->setWindowTitle(tr("Random static entry errors"));
    connect(this, &MainWindow::errorStatic, m_staticErrors,
            qOverload<const QString &>(&QErrorMessage::showMessage));
}

// The same name and version as --version, which main() sets.
void MainWindow::showAbout()
{
    QMessageBox::about(
        this, tr("About Quillmoor Map Generator"),
        tr("<p><b>Quillmoor Map Generator</b></p><p>%1 %2</p>"
           "<p>Turns a painted terrain image and altitude image into game map files.</p>")
            .arg(QCoreApplication::applicationName().toHtmlEscaped(),
                 QCoreApplication::applicationVersion().toHtmlEscaped()));
}
