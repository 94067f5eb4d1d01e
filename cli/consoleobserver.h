#pragma once

#include "engine/passobserver.h"

#include <QTextStream>

// Reports a pass on the console: trace lines on standard output (nothing
// else goes there, so scripts can compare it), everything else on standard
// error. A terminal gets a progress line that updates in place.
class ConsoleObserver : public PassObserver
{
public:
    explicit ConsoleObserver(bool quiet);

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

    // Installs SIGINT and SIGTERM handlers that abort the running pass.
    static void abortOnSignals();
    // The signal that aborted the pass, or 0.
    static int abortSignal();

private:
    void showBar(const QString &label, int percent);
    void endProgressLine();

    QTextStream m_out;
    QTextStream m_err;
    bool m_quiet;
    bool m_terminal;
    bool m_progressLineOpen = false;
    int m_maximum = 0;
};
