#pragma once

#include <QString>

class PaletteImage;

// What a map generation pass tells its user. The window shows these in its
// status bar, message boxes and progress dialog; the command-line tool
// prints them; tests record them.
class PassObserver
{
public:
    virtual ~PassObserver() = default;

    // A status message that stays until the next one replaces it.
    virtual void statusMessage(const QString &text) = 0;
    // One of the pass's two image checks failed; the pass ends.
    virtual void warning(const QString &title, const QString &text) = 0;
    // The output could not be written; the message names the file and the
    // reason. The pass ends and the previous map files stay as they were.
    virtual void error(const QString &text) = 0;

    // Progress over the blocks of the map, from 0 to maximum.
    virtual void progressStarted(int maximum) = 0;
    // Called once per block column; an interactive observer lets its event
    // loop run here so that the user can abort.
    virtual void progressChanged(int value) = 0;
    virtual bool isCancelled() = 0;
    virtual void progressFinished() = 0;

    // The two images as the pass read them, before it checks them (a null
    // image for one that could not be read). A front end that looks at the
    // map afterwards keeps them rather than reading them again.
    virtual void imagesRead(const PaletteImage &, const PaletteImage &) { }

    // A diagnostic line for standard output (without its line end).
    virtual void trace(const QString &line) = 0;

    // A step before the block loop that can take long: loading the data
    // directory ("Loading transition data"), stamping the structures
    // ("Preparing structures") or waiting for another pass to end ("waiting
    // for another pass writing DIR"). Comes when the step starts and then
    // about every 50 ms with the bytes done of total (0 while not known);
    // isCancelled is asked right after each, so an interactive observer lets
    // its event loop run here. Observers that show nothing need not care.
    virtual void stepProgress(const QString &, qint64, qint64) { }
    // The step ended, whole or cancelled.
    virtual void stepFinished() { }

    // Shows the step's progress and tells whether to stop it, as a read
    // poll's report does.
    bool reportStep(const QString &step, qint64 done, qint64 total)
    {
        stepProgress(step, done, total);
        return isCancelled();
    }
};
