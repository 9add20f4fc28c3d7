#include "FolderPicker.h"

#include "Dialogs.h"

namespace trelwick {

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title,
                        const QString& initialFolder) {
    return dialogs.browseForFolder(owner, title, initialFolder);
}

}  // namespace trelwick
