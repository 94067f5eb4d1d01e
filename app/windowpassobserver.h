#pragma once

#include "engine/paletteimage.h"
#include "engine/passobserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>
#include <optional>

class QMainWindow;
class QProgressDialog;

// Shows a pass in the main window: status bar messages, warning boxes and
// a window-modal progress dialog whose "Abort" ends the pass, and also the
// loading of the data directory before it.
class WindowPassObserver : public PassObserver
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    explicit WindowPassObserver(QMainWindow *window);
    ~WindowPassObserver() override;

    void statusMessage(const QString &text) override;
    void warning(const QString &title, const QString &text) override;
    void error(const QString &text) override;
    void progressStarted(int maximum) override;
    void progressChanged(int value) override;
    bool isCancelled() override;
    void progressFinished() override;
    void trace(const QString &line) override;
    void stepProgress(const QString &step, qint64 done, qint64 total) override;
    void stepFinished() override;
    void imagesRead(const PaletteImage &terrain, const PaletteImage &altitude) override;

    // The images as the pass read them, once it did.
    const std::optional<PaletteImage> &terrain() const { return m_terrain; }
    const std::optional<PaletteImage> &altitude() const { return m_altitude; }
    // The title of the last warning box, which names the image check that failed.
    const QString &warningTitle() const { return m_warningTitle; }

private:
    // One dialog serves the steps and the block loop, under their labels.
    void showProgress(const QString &label, int maximum);
    void closeProgress();

    QMainWindow *m_window;
    std::unique_ptr<QProgressDialog> m_progress;
    // Since the current step began.
    QElapsedTimer m_stepTime;
    // Since the block loop's progress was last shown.
    QElapsedTimer m_lastUpdate;
    std::optional<PaletteImage> m_terrain;
    std::optional<PaletteImage> m_altitude;
    QString m_warningTitle;
};
