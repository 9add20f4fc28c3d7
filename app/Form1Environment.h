#pragma once

#include <QString>
#include <functional>

namespace trelwick {

// What Form1 takes from its surroundings; tests replace any part.
struct Form1Environment {
    QString programFolder;                       // holds HAND-M.CUR, x/o.cjs and Samples
    QString homePageUrl;                         // opened about once in a hundred starts
    QString contactPageUrl;                      // named by the "Help" message
    std::function<QString()> currentDateText;    // default of the two date fields
    std::function<int()> drawOneToHundred;       // the home page draw
    std::function<QString()> desktopFolderPath;  // default output folder, with a trailing separator
    std::function<void()> endProgram;            // run by Form_Unload: leaves the event loop
    std::function<void()> endProgramNow;         // run by Form_Unload when a handler is still running

    // The running program's environment: its own folder, the build's addresses, the clock,
    // the system's short date format and the real desktop.
    static Form1Environment standard();
};

}  // namespace trelwick
