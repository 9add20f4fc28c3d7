#include "Form1Environment.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <cstdio>
#include <cstdlib>

#include "StartupRoutines.h"
#include "filelist/ProgramResources.h"
#include "util/PathHelpers.h"

#ifndef TRELWICK_HOME_PAGE
#define TRELWICK_HOME_PAGE "https://www.example.com/"
#endif
#ifndef TRELWICK_CONTACT_PAGE
#define TRELWICK_CONTACT_PAGE "https://www.example.com/contact/"
#endif

namespace trelwick {

Form1Environment Form1Environment::standard() {
    Form1Environment e;
    // The folder of the program's own files: beside it in a build, the data folder once installed.
    e.programFolder = QFileInfo(ProgramResources::locate(QStringLiteral("HAND-M.CUR"))).absolutePath();
    e.homePageUrl = QStringLiteral(TRELWICK_HOME_PAGE);
    e.contactPageUrl = QStringLiteral(TRELWICK_CONTACT_PAGE);
    e.currentDateText = [] { return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat); };
    e.drawOneToHundred = &DrawOneToHundred;
    e.desktopFolderPath = &DesktopFolderPath;
    e.endProgram = [] { QCoreApplication::exit(0); };
    // A close that arrives while a long handler yields to the window system must not wait for
    // that handler: settings are already stored, and the saves it handed on are in place by now.
    e.endProgramNow = [] {
        std::fflush(nullptr);
        std::_Exit(0);
    };
    return e;
}

}  // namespace trelwick
