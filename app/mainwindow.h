#pragma once

#include "data/datadirectoryfingerprint.h"
#include "data/maptables.h"
#include "data/structurestatics.h"
#include "engine/datacheck.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/passsummary.h"
#include "ui_mainwindow.h"

#include <QMainWindow>
#include <QThreadPool>

#include <functional>
#include <memory>

class GeneratedMap;
class MapPanel;
class ProblemList;
class QDockWidget;
class QErrorMessage;
class QLineEdit;
class WindowPassObserver;
struct MapAnalysis;

// The generated form; its widgets are reached by their object names.
using MainWindowForm = Ui::MainWindow;

// The generator's one window. It owns the tables of the loaded data
// directory, so that only the first Generate pays for loading, until the
// data directory field names another directory or a file in it changes.
// Below the form, docks show the map each pass wrote and the problems of its
// data.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

    // Fills the fields that the settings file names; relative paths in it
    // are relative to its folder.
    void readSettings(const QString &path);

signals:
    // A problem the static-set loader found; shown in the static entry
    // error dialog.
    void errorStatic(const QString &message);

public slots:
    void dirXML();
    void fileTerrain();
    void fileAlt();
    void dirDest();
    void fileMLT();
    void generate();

protected:
    // Pre-fills the data directory, the images and the destination from
    // mapgenerator.xml beside the program.
    void readSettings();

    // The modal pickers; an empty result means the user cancelled.
    virtual QString chooseDirectory(const QString &caption, const QString &start);
    virtual QString chooseFile(const QString &caption, const QString &start);

private:
    // The tests read settings files from paths of their own.
    friend class TestMainWindow;

    // The settings file at path, or the paths of the last run when there is
    // none.
    void readStartSettings(const QString &path);
    void pickDirectory(QLineEdit *field, const QString &caption);
    void pickFile(QLineEdit *field, const QString &caption);
    void createStaticErrorDialog();
    void showAbout();
    void createDocks();
    // Loads the data directory unless the tables hold it as it is now;
    // false when the user aborted the load.
    bool loadData(const QString &dataDirectory, WindowPassObserver &observer);
    void showResult(const PassSummary &summary, const QString &destination, qint64 milliseconds,
                    const QString &warningTitle);
    void startAnalysis(std::shared_ptr<const GeneratedMap> map, const QString &dataDirectory,
                       const QString &terrainPath, const QString &altitudePath,
                       const DataCheckShortcuts &images);
    void analysisReady(quint64 generation, const std::shared_ptr<const MapAnalysis> &analysis,
                       const QString &dataDirectory);
    // Random Art, the structure file, the view's overlays, the window's
    // geometry and the four paths, between runs.
    void restoreChoices();
    void saveChoices() const;

    MainWindowForm ui;
    MapTables m_tables;
    // The tables as the last load left them, before passes entered missing
    // palette indexes, and what that load read.
    MapTables m_loadedTables;
    DataDirectoryFingerprint m_loadedFingerprint;
    // Scratch grid of the pass and the structure statics it stamps; kept
    // with the window so repeated passes reuse them.
    KeyGrid m_keyGrid;
    StructureStatics m_structureStatics;
    GlibcRandom m_random;
    QErrorMessage *m_staticErrors = nullptr;
    bool m_generating = false;
    MapPanel *m_mapPanel = nullptr;
    ProblemList *m_problemList = nullptr;
    QDockWidget *m_mapDock = nullptr;
    QDockWidget *m_problemDock = nullptr;
    // Opens a folder or file in the desktop's program for it; the tests
    // watch it instead.
    std::function<bool(const QUrl &)> m_openUrl;
    // The newest analysis is the one shown.
    quint64 m_analysisGeneration = 0;
    // Last, so that a running analysis ends before the window goes.
    QThreadPool m_analysisPool;
};
