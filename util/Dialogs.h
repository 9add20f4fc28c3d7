#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace trelwick {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Warning };
enum class MessageResult { Ok, Yes, No };

// Every modal dialog and shell call of the program goes through this interface, so that tests can
// drive the whole window with a scripted fake. Texts may hold "\r" and "\r\n" line breaks.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // Modal message box; returns the button pressed (Ok for an Ok-only box).
    virtual MessageResult messageBox(const QString& text, const QString& title, MessageButtons buttons,
                                     MessageIcon icon) = 0;

    // Modal one-line input box prefilled with defaultText; returns "" when cancelled.
    virtual QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) = 0;

    // Multi-select open-files dialog; filters are Qt name filters, the first one selected.
    // Returns the chosen full paths in the dialog's order, or an empty list when cancelled.
    // May throw AppError (code kDialogBufferTooSmall) when the dialog cannot return the selection.
    virtual QStringList openFiles(const QString& title, const QStringList& filters) = 0;

    // Modal folder chooser with initialFolder selected when it exists; returns the chosen folder
    // without a trailing separator (except a root), or "" when cancelled.
    virtual QString browseForFolder(QWidget* owner, const QString& title, const QString& initialFolder) = 0;

    // Hands a web address or a local folder to the desktop shell; returns false when it refused.
    virtual bool openExternally(const QString& urlOrPath) = 0;
};

}  // namespace trelwick
