#include "PowerPointApplication.h"

#include <filesystem>

#include "EngineCall.h"
#include "util/AppError.h"

namespace trelwick {

// A damaged deck is refused as it is opened, as PowerPoint refuses it, rather than by every step
// after: each would report the same damage again.
void PowerPointApplication::Presentations_Open(const QString& fileName) {
    engine::Presentation deck = callEngine([&] {
        engine::Presentation opened = engine::Presentation::open(std::filesystem::path(fileName.toStdU16String()));
        opened.load();
        return opened;
    });
    active_ = std::make_unique<PowerPointPresentation>(std::move(deck));
}

void PowerPointApplication::Presentations_Open(engine::Presentation opened) {
    callEngine([&] { opened.load(); });
    active_ = std::make_unique<PowerPointPresentation>(std::move(opened));
}

PowerPointPresentation& PowerPointApplication::ActivePresentation() {
    if (!active_ || !active_->isOpen()) {
        throw AppError(kInvalidCall, QStringLiteral("No presentation is open."));
    }
    return *active_;
}

void PowerPointApplication::Quit() { active_.reset(); }

}  // namespace trelwick
