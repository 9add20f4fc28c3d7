#include "PowerPointApplication.h"

#include <QFileInfo>
#include <filesystem>

#include "EngineCall.h"
#include "util/AppError.h"

namespace trelwick {

// A damaged deck is refused as it is opened, as PowerPoint refuses it, rather than by every step
// after: each would report the same damage again.
void PowerPointApplication::Presentations_Open(const QString& fileName) {
    // A name whose bytes are not UTF-8 reaches here with U+FFFD in their place, naming no file.
    if (fileName.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(fileName))
        throw AppError(kPathNotFound,
                       fileName + QStringLiteral(": the file's name is not valid UTF-8, so it cannot be "
                                                 "opened by that name; rename the file to stamp it."));
    engine::Presentation deck = callEngine([&] {
        engine::Presentation opened =
            engine::Presentation::open(std::filesystem::path(fileName.toStdU16String()));
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

void PowerPointApplication::Quit() {
    active_.reset();
}

}  // namespace trelwick
