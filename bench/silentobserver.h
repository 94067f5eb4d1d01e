#pragma once

#include "engine/passobserver.h"

#include <QtGlobal>

// A benchmark's observer: it shows nothing, and a pass that cannot run ends
// the benchmark, since its figures would mean nothing.
class SilentObserver : public PassObserver
{
public:
    void statusMessage(const QString &) override { }
    void warning(const QString &, const QString &text) override { qFatal("%s", qPrintable(text)); }
    void error(const QString &text) override { qFatal("%s", qPrintable(text)); }
    void progressStarted(int) override { }
    void progressChanged(int) override { }
    bool isCancelled() override { return false; }
    void progressFinished() override { }
    void trace(const QString &) override { }
};
