#include "windowpassobserver.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

#include <cstdio>

WindowPassObserver::WindowPassObserver(QMainWindow *window) : m_window(window) { }

WindowPassObserver::~WindowPassObserver() = default;

void WindowPassObserver::statusMessage(const QString &text)
{
    m_window->statusBar()->showMessage(text);
}

void WindowPassObserver::warning(const QString &title, const QString &text)
{
    QMessageBox::warning(m_window, title, text);
}

void WindowPassObserver::error(const QString &text)
{
    QMessageBox::warning(m_window, tr("Map files not written"), text);
}

void WindowPassObserver::waiting(const QString &text)
{
    statusMessage(text);
    // No maximum: a busy bar until the other pass ends.
    showProgress(text, 0);
}

void WindowPassObserver::progressStarted(int maximum)
{
    showProgress(tr("Processing Map"), maximum);
}

void WindowPassObserver::showProgress(const QString &label, int maximum)
{
    // The dialog of a wait goes on as the pass's, without closing between.
    if (!m_progress) {
        m_progress = std::make_unique<QProgressDialog>(label, tr("Abort"), 0, maximum, m_window);
        m_progress->setWindowTitle(tr("Quillmoor Map Generator"));
        // Shown at once and window-modal: while the pass lets events run,
        // the window must not start a second pass or close under it.
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setMinimumDuration(0);
        // A wait's busy bar is at its maximum from the start.
        m_progress->setAutoReset(false);
    }
    m_progress->setLabelText(label);
    m_progress->setRange(0, maximum);
    m_progress->show();
}

void WindowPassObserver::progressChanged(int value)
{
    // Abort hides the dialog and so unblocks the window; events that came
    // in since then must wait until the pass has ended.
    if (m_progress->wasCanceled())
        return;
    m_progress->setValue(value);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 500);
}

bool WindowPassObserver::isCancelled()
{
    return m_progress->wasCanceled();
}

void WindowPassObserver::progressFinished()
{
    m_progress.reset();
}

void WindowPassObserver::trace(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}
