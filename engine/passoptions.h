#pragma once

#include <QString>

// What a pass takes from the user besides the two image paths.
struct PassOptions
{
    // Output directory, used exactly as typed.
    QString destination;
    // Structure file, read only when structuresEnabled is set.
    QString structureFile;
    bool structuresEnabled = false;
    bool randomArt = false;
    // When another pass is writing the destination: wait for it to end, or
    // fail at once.
    bool waitForDestination = true;
};
