#include "FakeDialogs.h"

namespace trelwick::testing {

void FakeDialogs::maybeFail(Kind kind) {
    if (failNext && failNext->first == kind) {
        const AppError failure = failNext->second;
        failNext.reset();
        throw failure;
    }
}

MessageResult FakeDialogs::messageBox(const QString& text, const QString& title, MessageButtons buttons,
                                      MessageIcon icon) {
    calls.push_back({Kind::MessageBox, text, title, buttons, icon, {}, {}, nullptr});
    maybeFail(Kind::MessageBox);
    if (buttons == MessageButtons::Ok) {
        if (!messageAnswers.empty() && messageAnswers.front() == MessageResult::Ok)
            messageAnswers.pop_front();
        return MessageResult::Ok;
    }
    if (messageAnswers.empty()) return MessageResult::No;
    const MessageResult answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

QString FakeDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    calls.push_back(
        {Kind::InputBox, prompt, title, MessageButtons::Ok, MessageIcon::None, defaultText, {}, nullptr});
    maybeFail(Kind::InputBox);
    if (inputAnswers.empty()) return {};
    const QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

QStringList FakeDialogs::openFiles(const QString& title, const QStringList& filters) {
    calls.push_back(
        {Kind::OpenFiles, title, title, MessageButtons::Ok, MessageIcon::None, {}, filters, nullptr});
    maybeFail(Kind::OpenFiles);
    if (openFilesAnswers.empty()) return {};
    const QStringList answer = openFilesAnswers.front();
    openFilesAnswers.pop_front();
    return answer;
}

QString FakeDialogs::browseForFolder(QWidget* owner, const QString& title, const QString& initialFolder) {
    calls.push_back({Kind::BrowseForFolder,
                     title,
                     title,
                     MessageButtons::Ok,
                     MessageIcon::None,
                     initialFolder,
                     {},
                     owner});
    maybeFail(Kind::BrowseForFolder);
    if (folderAnswers.empty()) return {};
    const QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

bool FakeDialogs::openExternally(const QString& urlOrPath) {
    calls.push_back(
        {Kind::OpenExternally, urlOrPath, {}, MessageButtons::Ok, MessageIcon::None, {}, {}, nullptr});
    maybeFail(Kind::OpenExternally);
    return openExternallyResult;
}

std::vector<FakeDialogs::Call> FakeDialogs::callsOf(Kind kind) const {
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.kind == kind) out.push_back(c);
    return out;
}

std::vector<FakeDialogs::Call> FakeDialogs::errorReports() const {
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.kind == Kind::MessageBox && c.title == QLatin1String("Application Error")) out.push_back(c);
    return out;
}

}  // namespace trelwick::testing
