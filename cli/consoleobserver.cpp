#include "consoleobserver.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t receivedSignal = 0;

extern "C" void onAbortSignal(int signal)
{
    receivedSignal = signal;
}
} // namespace

ConsoleObserver::ConsoleObserver(bool quiet)
    : m_out(stdout), m_err(stderr), m_quiet(quiet), m_terminal(isatty(STDERR_FILENO) != 0)
{
}

void ConsoleObserver::statusMessage(const QString &text)
{
    if (m_quiet)
        return;
    endProgressLine();
    m_err << text << Qt::endl;
}

void ConsoleObserver::warning(const QString &title, const QString &text)
{
    endProgressLine();
    m_err << "error: " << title << ": " << text << Qt::endl;
}

void ConsoleObserver::error(const QString &text)
{
    endProgressLine();
    m_err << "error: " << text << Qt::endl;
}

void ConsoleObserver::progressStarted(int maximum)
{
    m_maximum = maximum;
    progressChanged(0);
}

void ConsoleObserver::progressChanged(int value)
{
    if (m_quiet || !m_terminal || m_maximum <= 0)
        return;
    showBar(QStringLiteral("Processing Map"), int(qint64(value) * 100 / m_maximum));
}

void ConsoleObserver::stepProgress(const QString &step, qint64 done, qint64 total)
{
    if (m_quiet || !m_terminal)
        return;
    showBar(step, total > 0 ? int(done * 100 / total) : 0);
}

void ConsoleObserver::stepFinished()
{
    endProgressLine();
}

void ConsoleObserver::showBar(const QString &label, int percent)
{
    // A file that grew since it was measured can read past 100 %.
    percent = std::clamp(percent, 0, 100);
    constexpr int barWidth = 40;
    const int filled = percent * barWidth / 100;
    m_err << '\r' << label << " [" << QString(filled, QLatin1Char('#'))
          << QString(barWidth - filled, QLatin1Char(' ')) << "] " << percent << '%';
    m_err.flush();
    m_progressLineOpen = true;
}

bool ConsoleObserver::isCancelled()
{
    return receivedSignal != 0;
}

void ConsoleObserver::progressFinished()
{
    if (m_progressLineOpen && m_maximum > 0)
        progressChanged(m_maximum);
    endProgressLine();
}

void ConsoleObserver::trace(const QString &line)
{
    m_out << line << Qt::endl;
}

void ConsoleObserver::endProgressLine()
{
    if (!m_progressLineOpen)
        return;
    m_err << Qt::endl;
    m_progressLineOpen = false;
}

void ConsoleObserver::abortOnSignals()
{
    std::signal(SIGINT, onAbortSignal);
    std::signal(SIGTERM, onAbortSignal);
}

int ConsoleObserver::abortSignal()
{
    return receivedSignal;
}
