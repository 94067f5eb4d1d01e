#include "windowpassobserver.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

#include <algorithm>
#include <cstdio>

WindowPassObserver::WindowPassObserver(QMainWindow *window) : m_window(window) { }

WindowPassObserver::~WindowPassObserver() = default;

void WindowPassObserver::statusMessage(const QString &text)
{
    m_window->statusBar()->showMessage(text);
}

void WindowPassObserver::warning(const QString &title, const QString &text)
{
    m_warningTitle = title;
    closeProgress();
    QMessageBox::warning(m_window, title, text);
}

void WindowPassObserver::error(const QString &text)
{
    closeProgress();
    QMessageBox::warning(m_window, tr("Map files not written"), text);
}

void WindowPassObserver::progressStarted(int maximum)
{
    showProgress(tr("Processing Map"), maximum);
}

void WindowPassObserver::progressChanged(int value)
{
    // Abort hides the dialog and so unblocks the window; events that came
    // in since then must wait until the pass has ended.
    if (m_progress->wasCanceled())
        return;
    // Painting the dialog (about 2 ms) for each of a large map's 896
    // columns cost its pass a tenth or more of its time; ten times a second
    // is as much as anyone sees, and Abort is seen as soon.
    constexpr qint64 updateMs = 100;
    if (m_lastUpdate.isValid() && m_lastUpdate.elapsed() < updateMs)
        return;
    m_lastUpdate.start();
    m_progress->setValue(value);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 500);
}

bool WindowPassObserver::isCancelled()
{
    return m_progress && m_progress->wasCanceled();
}

void WindowPassObserver::progressFinished()
{
    closeProgress();
}

void WindowPassObserver::stepProgress(const QString &step, qint64 done, qint64 total)
{
    // A step that ends quickly, as most loads do, shows no dialog; until one
    // shows, no events run either, so the window stays as it was.
    constexpr qint64 dialogDelayMs = 300;
    if (!m_progress) {
        if (!m_stepTime.isValid())
            m_stepTime.start();
        if (m_stepTime.elapsed() < dialogDelayMs)
            return;
    }
    // Bytes are shown in thousandths: the dialog counts in int.
    constexpr int scale = 1000;
    showProgress(step, total > 0 ? scale : 0);
    if (m_progress->wasCanceled())
        return;
    m_progress->setValue(total > 0 ? int(std::min(done, total) * scale / total) : 0);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 500);
}

void WindowPassObserver::stepFinished()
{
    m_stepTime.invalidate();
}

void WindowPassObserver::imagesRead(const PaletteImage &terrain, const PaletteImage &altitude)
{
    // Shared, not copied.
    m_terrain = terrain;
    m_altitude = altitude;
}

void WindowPassObserver::showProgress(const QString &label, int maximum)
{
    if (m_progress) {
        m_progress->setLabelText(label);
        m_progress->setRange(0, maximum);
        return;
    }
    m_progress = std::make_unique<QProgressDialog>(label, tr("Abort"), 0, maximum, m_window);
    m_progress->setWindowTitle(tr("Quillmoor Map Generator"));
    // Shown at once and window-modal: while the pass lets events run, the
    // window must not start a second pass or close under it.
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    // A step that reaches its end hands the dialog on to the next.
    m_progress->setAutoReset(false);
    m_progress->show();
}

void WindowPassObserver::closeProgress()
{
    m_progress.reset();
}

void WindowPassObserver::trace(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}
