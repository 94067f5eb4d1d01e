#include "mainwindow.h"

#include "data/datadirectory.h"
#include "data/generatorsettings.h"
#include "engine/generatedmap.h"
#include "engine/mapanalysis.h"
#include "engine/mapfiles.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
#include "mappanel.h"
#include "mapview.h"
#include "problemlist.h"
#include "windowpassobserver.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QErrorMessage>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTime>
#include <QToolButton>
#include <QUrl>

namespace {

// The names under which QSettings keeps the choices.
const QString randomArtKey = QStringLiteral("randomArt");
const QString structureFileKey = QStringLiteral("structureFile");
const QString structuresEnabledKey = QStringLiteral("structuresEnabled");
const QString geometryKey = QStringLiteral("geometry");
const QString stateKey = QStringLiteral("windowState");
const QString overlayKeys[3] = {QStringLiteral("overlays/statics"),
                                QStringLiteral("overlays/unmatchedBorders"),
                                QStringLiteral("overlays/missingIndexes")};
const QString pathKeys[4] = {QStringLiteral("paths/data"), QStringLiteral("paths/terrain"),
                             QStringLiteral("paths/altitude"), QStringLiteral("paths/destination")};

} // namespace

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
    m_openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    m_analysisPool.setMaxThreadCount(1);
    createDocks();
    readSettings();
    restoreChoices();

    connect(ui.pushMLT, &QPushButton::clicked, this, &MainWindow::fileMLT);
    connect(ui.pushXML, &QPushButton::clicked, this, &MainWindow::dirXML);
    connect(ui.pushTerrain, &QPushButton::clicked, this, &MainWindow::fileTerrain);
    connect(ui.pushAlt, &QPushButton::clicked, this, &MainWindow::fileAlt);
    connect(ui.pushDest, &QPushButton::clicked, this, &MainWindow::dirDest);
    connect(ui.pushCancel, &QPushButton::clicked, this, &MainWindow::close);
    connect(ui.pushGenerate, &QPushButton::clicked, this, &MainWindow::generate);
    ui.pushGenerate->setToolTip(tr("Generate the map files (Ctrl+G, F5)"));
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::Key_G), QKeySequence(Qt::Key_F5)})
        connect(new QShortcut(keys, this), &QShortcut::activated, ui.pushGenerate,
                &QPushButton::click);
}

MainWindow::~MainWindow()
{
    m_analysisPool.clear();
    m_analysisPool.waitForDone();
    saveChoices();
}

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
    saveChoices();
    // The pass needs the processor more than the view's tiles do.
    MapView *view = m_mapPanel->view();
    view->setTilesPaused(true);
    const auto resumeTiles = qScopeGuard([view] { view->setTilesPaused(false); });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    WindowPassObserver observer(this);
    const QString dataDirectory = ui.lineXML->text();
    const QString altitudePath = ui.lineAlt->text();
    const QString terrainPath = ui.lineTerrain->text();
    // Without it every cell would be tile 0, which no one wants written.
    if (const QString problem = dataDirectoryProblem(dataDirectory); !problem.isEmpty()) {
        QApplication::restoreOverrideCursor();
        statusBar()->showMessage(problem);
        m_mapPanel->setResult(problem);
        startAnalysis(nullptr, dataDirectory, terrainPath, altitudePath, {});
        QMessageBox::warning(this, tr("Map files not written"), problem);
        return;
    }
    if (!loadData(dataDirectory, observer)) {
        statusBar()->showMessage(
            tr("Loading aborted; the next Generate loads the data directory again"));
        m_mapPanel->setResult(tr("Aborted while loading the data directory: the previous map "
                                 "files are unchanged"));
        QApplication::restoreOverrideCursor();
        return;
    }
    statusBar()->showMessage(tr("Processing map"));

    QElapsedTimer stopwatch;
    stopwatch.start();
    PassOptions options;
    options.destination = ui.lineDest->text();
    options.structureFile = ui.lineMLT->text();
    options.structuresEnabled = ui.checkMLT->isChecked();
    options.randomArt = ui.checkRandom->isChecked();
    const PassSummary summary = processMap(m_tables, m_structureStatics, m_keyGrid, m_random,
                                           terrainPath, altitudePath, options, observer);
    const qint64 milliseconds = stopwatch.elapsed();

    statusBar()->showMessage(
        tr("Ready (Map processing time, include structure setup, was %1 minutes)")
            .arg(milliseconds / 60000));
    showResult(summary, options.destination, milliseconds, observer.warningTitle());
    std::shared_ptr<GeneratedMap> map;
    if (summary.outcome == PassSummary::Outcome::Completed) {
        map = std::make_shared<GeneratedMap>(m_loadedTables, *observer.terrain(),
                                             *observer.altitude());
        if (map->open(options.destination, summary.mapNumber, summary.blocksHigh)) {
            m_mapPanel->setMap(map);
        } else {
            m_mapPanel->setResult(
                tr("Wrote the map files, but they cannot be shown: %1").arg(map->errorString()));
            map.reset();
        }
    }
    startAnalysis(map, dataDirectory, terrainPath, altitudePath,
                  {observer.terrain(), observer.altitude(), nullptr});
    QApplication::restoreOverrideCursor();
}

bool MainWindow::loadData(const QString &dataDirectory, WindowPassObserver &observer)
{
    // The tables stay loaded once the data directory gave general
    // transitions, as long as it is the same directory with the same files;
    // until then every Generate tries again.
    const DataDirectoryFingerprint fingerprint = DataDirectoryFingerprint::take(dataDirectory);
    const bool changed = fingerprint != m_loadedFingerprint;
    if (!m_tables.TransitionTable.isEmpty() && !changed)
        return true;
    statusBar()->showMessage(tr("Loading transition data"));
    createStaticErrorDialog();
    MapTables loaded;
    if (!loadDataDirectory(
            loaded, dataDirectory, [this](const QString &message) { emit errorStatic(message); },
            &observer))
        return false;
    m_loadedTables = loaded;
    // Another directory's or an edited file's definitions must not linger.
    if (changed)
        m_tables = std::move(loaded);
    else
        m_tables.insertAll(std::move(loaded));
    m_loadedFingerprint = fingerprint;
    return true;
}

void MainWindow::showResult(const PassSummary &summary, const QString &destination,
                            qint64 milliseconds, const QString &warningTitle)
{
    switch (summary.outcome) {
    case PassSummary::Outcome::Completed: {
        QStringList names;
        for (const MapFiles::Kind kind :
             {MapFiles::Kind::Map, MapFiles::Kind::Index, MapFiles::Kind::Statics})
            names << QFileInfo(MapFiles::path(destination, kind, summary.mapNumber)).fileName();
        m_mapPanel->setResult(
            tr("Wrote %1 to %2 in %3 s")
                .arg(names.join(QStringLiteral(", ")), QDir::toNativeSeparators(destination))
                .arg(milliseconds / 1000.0, 0, 'f', 2),
            QFileInfo(destination).absoluteFilePath());
        return;
    }
    case PassSummary::Outcome::Aborted:
        m_mapPanel->setResult(tr("Aborted: the previous map files are unchanged"));
        return;
    case PassSummary::Outcome::InvalidImages:
        m_mapPanel->setResult(
            tr("%1: %2; nothing was written").arg(warningTitle, summary.errorText));
        return;
    case PassSummary::Outcome::UnreadableImage:
    case PassSummary::Outcome::OutputFailed:
        m_mapPanel->setResult(
            tr("Not written, the previous map files are unchanged: %1")
                .arg(QString(summary.errorText).replace(QLatin1Char('\n'), QStringLiteral("; "))));
        return;
    }
}

void MainWindow::startAnalysis(std::shared_ptr<const GeneratedMap> map,
                               const QString &dataDirectory, const QString &terrainPath,
                               const QString &altitudePath, const DataCheckShortcuts &images)
{
    const quint64 generation = ++m_analysisGeneration;
    m_problemDock->setWindowTitle(tr("Data problems (checking)"));
    // Only the newest is shown; one not begun yet need not run.
    m_analysisPool.clear();
    m_analysisPool.start([=, this] {
        const std::shared_ptr<const MapAnalysis> analysis =
            analyseMap(map, dataDirectory, terrainPath, altitudePath, images);
        QMetaObject::invokeMethod(
            this,
            [this, generation, analysis, dataDirectory] {
                analysisReady(generation, analysis, dataDirectory);
            },
            Qt::QueuedConnection);
    });
}

void MainWindow::analysisReady(quint64 generation,
                               const std::shared_ptr<const MapAnalysis> &analysis,
                               const QString &dataDirectory)
{
    if (generation != m_analysisGeneration)
        return;
    m_problemList->setProblems(analysis->report.problems, dataDirectory);
    m_problemDock->setWindowTitle(tr("Data problems (%1)").arg(analysis->report.problems.size()));
    m_mapPanel->setAnalysis(analysis);
}

void MainWindow::createDocks()
{
    m_mapPanel = new MapPanel(this);
    m_mapDock = new QDockWidget(tr("Map"), this);
    m_mapDock->setObjectName(QStringLiteral("dockMap"));
    // No menu could bring a closed dock back.
    m_mapDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_mapDock->setWidget(m_mapPanel);
    addDockWidget(Qt::BottomDockWidgetArea, m_mapDock);

    m_problemList = new ProblemList(this);
    m_problemList->setObjectName(QStringLiteral("treeProblems"));
    m_problemDock = new QDockWidget(tr("Data problems"), this);
    m_problemDock->setObjectName(QStringLiteral("dockProblems"));
    m_problemDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_problemDock->setWidget(m_problemList);
    addDockWidget(Qt::BottomDockWidgetArea, m_problemDock);
    // A taller window is room for the map, not for the form's spacer.
    centralWidget()->setMaximumHeight(centralWidget()->sizeHint().height());

    connect(m_mapPanel, &MapPanel::openFolderRequested, this,
            [this](const QString &folder) { m_openUrl(QUrl::fromLocalFile(folder)); });
    connect(m_problemList, &ProblemList::openRequested, this,
            [this](const QString &file) { m_openUrl(QUrl::fromLocalFile(file)); });
}

void MainWindow::restoreChoices()
{
    const QSettings settings;
    ui.checkRandom->setChecked(settings.value(randomArtKey, false).toBool());
    ui.lineMLT->setText(settings.value(structureFileKey).toString());
    ui.checkMLT->setChecked(settings.value(structuresEnabledKey, false).toBool());
    for (int i = 0; i < 3; ++i)
        m_mapPanel->setOverlayShown(MapOverlay(i), settings.value(overlayKeys[i], false).toBool());
    // Room for the map below the form on a first start.
    if (!restoreGeometry(settings.value(geometryKey).toByteArray()))
        resize(1100, 900);
    // The form keeps the height it asks for; the docks take the rest.
    if (!restoreState(settings.value(stateKey).toByteArray())) {
        const int docks =
            height() - centralWidget()->sizeHint().height() - statusBar()->sizeHint().height();
        resizeDocks({m_mapDock, m_problemDock}, {docks, docks}, Qt::Vertical);
        resizeDocks({m_mapDock, m_problemDock}, {width() * 3 / 5, width() * 2 / 5}, Qt::Horizontal);
    }
}

void MainWindow::saveChoices() const
{
    QSettings settings;
    settings.setValue(randomArtKey, ui.checkRandom->isChecked());
    settings.setValue(structureFileKey, ui.lineMLT->text());
    settings.setValue(structuresEnabledKey, ui.checkMLT->isChecked());
    for (int i = 0; i < 3; ++i)
        settings.setValue(overlayKeys[i], m_mapPanel->isOverlayShown(MapOverlay(i)));
    settings.setValue(geometryKey, saveGeometry());
    settings.setValue(stateKey, saveState());
    const QLineEdit *fields[4] = {ui.lineXML, ui.lineTerrain, ui.lineAlt, ui.lineDest};
    for (int i = 0; i < 4; ++i)
        settings.setValue(pathKeys[i], fields[i]->text());
}

void MainWindow::readSettings()
{
    readStartSettings(QCoreApplication::applicationDirPath() + QLatin1String("/mapgenerator.xml"));
}

void MainWindow::readStartSettings(const QString &path)
{
    if (QFileInfo::exists(path))
        return readSettings(path);
    // Without one, the paths of the last run.
    const QSettings settings;
    QLineEdit *fields[4] = {ui.lineXML, ui.lineTerrain, ui.lineAlt, ui.lineDest};
    for (int i = 0; i < 4; ++i)
        fields[i]->setText(settings.value(pathKeys[i]).toString());
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
