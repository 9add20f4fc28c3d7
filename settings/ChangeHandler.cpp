#include "ChangeHandler.h"

#include "SettingsStore.h"
#include "util/ErrorReport.h"

namespace trelwick {

void runChangeHandler(Dialogs& dialogs, const QString& tag, const std::function<void()>& handler) {
    ErrorReport report(dialogs, tag);
    report.step(100, [&] {
        try {
            handler();
        } catch (const SettingsWriteRefused& refused) {
            // One box a keystroke would make the field unusable.
            if (!refused.repeated()) throw;
        }
    });
}

}  // namespace trelwick
