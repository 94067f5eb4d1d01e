#pragma once

#include "engine/passobserver.h"

#include <QCoreApplication>

#include <memory>

class QMainWindow;
class QProgressDialog;

// Shows a pass in the main window: status bar messages, warning boxes and
// a window-modal progress dialog whose "Abort" ends the pass, also while it
// waits for another pass writing the destination.
class WindowPassObserver : public PassObserver
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    explicit WindowPassObserver(QMainWindow *window);
    ~WindowPassObserver() override;

    void statusMessage(const QString &text) override;
    void warning(const QString &title, const QString &text) override;
    void error(const QString &text) override;
    void waiting(const QString &text) override;
    void progressStarted(int maximum) override;
    void progressChanged(int value) override;
    bool isCancelled() override;
    void progressFinished() override;
    void trace(const QString &line) override;

private:
    void showProgress(const QString &label, int maximum);

    QMainWindow *m_window;
    std::unique_ptr<QProgressDialog> m_progress;
};
