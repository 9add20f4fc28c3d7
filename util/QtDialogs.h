#pragma once

#include "Dialogs.h"

namespace trelwick {

// The real dialogs: Qt's message box, input dialog, file dialogs and the desktop's URL handler.
class QtDialogs : public Dialogs {
  public:
    MessageResult messageBox(const QString& text, const QString& title, MessageButtons buttons,
                             MessageIcon icon) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QStringList openFiles(const QString& title, const QStringList& filters) override;
    QString browseForFolder(QWidget* owner, const QString& title, const QString& initialFolder) override;
    bool openExternally(const QString& urlOrPath) override;

    // The text as a message box shows it: "\r\n" and each lone "\r" become a line break, so two
    // carriage returns leave exactly one empty line.
    static QString displayText(const QString& text);

    // The picker's answer in the form callers expect: native separators, no trailing separator
    // except on a root; "" stays "".
    static QString chosenFolderText(const QString& path);
};

}  // namespace trelwick
