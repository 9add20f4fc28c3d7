#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

#include "util/AppError.h"
#include "util/Dialogs.h"

namespace trelwick::testing {

// A scripted Dialogs for tests: answers come from queues, every call is recorded in order.
// With an empty queue: message boxes answer Ok (Ok box) or No (Yes/No box), the input box and the
// pickers answer as if cancelled, and openExternally answers openExternallyResult.
class FakeDialogs : public Dialogs {
  public:
    enum class Kind { MessageBox, InputBox, OpenFiles, BrowseForFolder, OpenExternally };

    struct Call {
        Kind kind;
        QString text;  // message text, prompt, dialog title (pickers) or the URL/path opened
        QString title;
        MessageButtons buttons = MessageButtons::Ok;
        MessageIcon icon = MessageIcon::None;
        QString defaultText;  // input box prefill, or the picker's initial folder
        QStringList filters;
        QWidget* owner = nullptr;
    };

    std::deque<MessageResult> messageAnswers;
    std::deque<QString> inputAnswers;
    std::deque<QStringList> openFilesAnswers;
    std::deque<QString> folderAnswers;
    bool openExternallyResult = true;
    // When set, the next call of that kind throws this failure instead of answering (then it clears).
    std::optional<std::pair<Kind, AppError>> failNext;

    std::vector<Call> calls;

    MessageResult messageBox(const QString& text, const QString& title, MessageButtons buttons,
                             MessageIcon icon) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QStringList openFiles(const QString& title, const QStringList& filters) override;
    QString browseForFolder(QWidget* owner, const QString& title, const QString& initialFolder) override;
    bool openExternally(const QString& urlOrPath) override;

    // The recorded calls of one kind, in order.
    std::vector<Call> callsOf(Kind kind) const;
    // The recorded message boxes titled "Application Error".
    std::vector<Call> errorReports() const;

  private:
    void maybeFail(Kind kind);
};

}  // namespace trelwick::testing
