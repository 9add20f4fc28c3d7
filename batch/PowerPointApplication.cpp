#include "PowerPointApplication.h"

#include <QFileInfo>
#include <filesystem>

#include "EngineCall.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"

namespace trelwick {

// A damaged deck is refused as it is opened, as PowerPoint refuses it, rather than by every step
// after: each would report the same damage again.
void PowerPointApplication::Presentations_Open(const QString& fileName) {
    // A name whose bytes are not UTF-8 reaches here with U+FFFD in their place, naming no file. Whose
    // name it is says what to rename: a dropped folder of such a name is listed as it was dropped.
    if (fileName.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(fileName)) {
        if (isUndecodableFolder(fileName))
            throw AppError(kPathNotFound,
                           fileName + QStringLiteral(": a folder whose name is not valid UTF-8, so the files "
                                                     "in it cannot be listed; rename the folder and add it "
                                                     "again to stamp them."));
        if (!fileNameOfPath(fileName).contains(QChar::ReplacementCharacter))
            throw AppError(
                kPathNotFound,
                fileName + QStringLiteral(": the name of a folder on this path is not valid UTF-8, "
                                          "so the file cannot be opened by it; rename the folder "
                                          "to stamp the file."));
        throw AppError(kPathNotFound,
                       fileName + QStringLiteral(": the file's name is not valid UTF-8, so it cannot be "
                                                 "opened by that name; rename the file to stamp it."));
    }
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
