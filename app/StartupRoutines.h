#pragma once

#include <QString>
#include <functional>

namespace trelwick {

class Dialogs;
class Form1;
class PowerPointFactory;

// Recolours the window's white surfaces to button-face and applies the style sheet
// <programFolder>/x/o.cjs when that file is present as a normal file; does nothing without it.
// Throws AppError when the file cannot be read or is not a valid style sheet (after recolouring).
void ApplySkin(Form1& form, const QString& programFolder);

// Opens homePageUrl through the shell when draw() gives 7 (draw gives 1 to 100); throws AppError
// when the shell refuses it.
void OpenHomePageAtRandom(Dialogs& dialogs, const std::function<int()>& draw, const QString& homePageUrl);

// A whole number from 1 to 100 from a generator seeded with the seconds since midnight.
int DrawOneToHundred();

// The application title for productName: cut at its last blank, again while longer than 40
// characters; a name without a blank is kept whole.
QString SetApplicationTitle(const QString& productName);

// True when a "PowerPoint.Application" can be created (the object is dropped at once). Otherwise
// shows the not-installed message (OK, no icon, title) and gives false: the program must end.
bool CheckPowerPointInstalled(Dialogs& dialogs, PowerPointFactory& factory, const QString& title);

// The path of a shell special folder (0: the desktop), or "" when the platform cannot name it.
QString GetSpecialFolderPath(int folderNumber);

// The user's desktop folder with one trailing separator; throws AppError when it cannot be named.
QString DesktopFolderPath();

}  // namespace trelwick
