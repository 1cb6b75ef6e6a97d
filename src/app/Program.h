#pragma once

// The whole program: opens the data file, loads the settings, builds the frame and runs
// until it closes.

#include <QString>

namespace kr {

struct ProgramOptions {
    QString dataDir;             // the working directory; the data file lives here
    QString configDir;           // where KR98.INI lives
    QString database;            // the server that holds the shared tables; empty: the data file
    bool inactive = false;       // "/I"
    bool exportOnBus = false;    // this program owns the folder's bus name: serve the interface
    bool waylandSession = false; // running through XWayland under a Wayland session
};

// Runs the program inside an existing QApplication; returns the exit status.
int RunProgram(const ProgramOptions& options);

} // namespace kr
