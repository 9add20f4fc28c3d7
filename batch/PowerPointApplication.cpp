#include "PowerPointApplication.h"

#include <filesystem>

#include "EngineCall.h"
#include "util/AppError.h"

namespace trelwick {

void PowerPointApplication::Presentations_Open(const QString& fileName) {
    engine::Presentation deck =
        callEngine([&] { return engine::Presentation::open(std::filesystem::path(fileName.toStdU16String())); });
    active_ = std::make_unique<PowerPointPresentation>(std::move(deck));
}

void PowerPointApplication::Presentations_Open(engine::Presentation opened) {
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
