#include "PowerPoint1.h"

#include "DeckReadAhead.h"
#include "PowerPointApplication.h"
#include "PowerPointFactory.h"
#include "util/AppError.h"
#include "util/Dialogs.h"

namespace trelwick {

bool IsPowerPointRunning() {
    return false;
}

bool WarnIfPowerPointOpen(Dialogs& dialogs, const QString& title, bool isRunning) {
    if (!isRunning) return false;
    const QString text = QStringLiteral(
        "PowerPoint may be open. It is recommended that you close PowerPoint first.\r"
        "Use Ctrl+Alt+Del > Task Manager > POWERPNT.EXE if necessary.\r\n\r\n"
        "Would you like to proceed anyway?");
    return dialogs.messageBox(text, title, MessageButtons::YesNo, MessageIcon::None) != MessageResult::Yes;
}

std::unique_ptr<PowerPointApplication> OpenInPowerPoint(PowerPointFactory& factory, const QString& path,
                                                        DeckReadAhead* readAhead) {
    std::unique_ptr<PowerPointApplication> application = factory.CreateObject();
    if (!application) {
        throw AppError(kInvalidCall, QStringLiteral("The presentation engine could not be started."));
    }
    application->setVisible(true);
    if (std::optional<engine::Presentation> deck = readAhead ? readAhead->take(path) : std::nullopt)
        application->Presentations_Open(std::move(*deck));
    else
        application->Presentations_Open(path);
    return application;
}

}  // namespace trelwick
