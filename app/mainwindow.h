#pragma once

#include "data/maptables.h"
#include "data/structurestatics.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "ui_mainwindow.h"

#include <QMainWindow>

class QErrorMessage;
class QLineEdit;

// The generated form; its widgets are reached by their object names.
using MainWindowForm = Ui::MainWindow;

// The generator's one window. It owns the tables of the loaded data
// directory for the whole run, so only the first Generate pays for loading.
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

    void pickDirectory(QLineEdit *field, const QString &caption);
    void pickFile(QLineEdit *field, const QString &caption);
    void createStaticErrorDialog();
    void showAbout();

    MainWindowForm ui;
    MapTables m_tables;
    // Scratch grid of the pass and the structure statics it stamps; kept
    // with the window so repeated passes reuse them.
    KeyGrid m_keyGrid;
    StructureStatics m_structureStatics;
    GlibcRandom m_random;
    QErrorMessage *m_staticErrors = nullptr;
    bool m_generating = false;
};
