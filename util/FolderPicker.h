#pragma once

#include <QString>

class QWidget;

namespace trelwick {

class Dialogs;

// Lets the user choose one file-system folder, modal to owner, opening with initialFolder selected
// when it exists. Gives the chosen path without a trailing separator (a root keeps its own), or ""
// when the user cancels. Reads and writes no settings: callers keep their own last folder.
QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& initialFolder);

}  // namespace trelwick
