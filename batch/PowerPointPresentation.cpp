#include "PowerPointPresentation.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "EngineCall.h"
#include "util/AppError.h"
#include "util/PathHelpers.h"

namespace trelwick {

PowerPointPresentation::PowerPointPresentation(engine::Presentation deck) : deck_(std::move(deck)) {}

engine::Presentation& PowerPointPresentation::deck() {
    if (!open_) throw AppError(kInvalidCall, QStringLiteral("The presentation has been closed."));
    return deck_;
}

const engine::Presentation& PowerPointPresentation::deck() const {
    if (!open_) throw AppError(kInvalidCall, QStringLiteral("The presentation has been closed."));
    return deck_;
}

int PowerPointPresentation::HasTitleMaster() const {
    return deck().hasTitleMaster() ? msoTrue : msoFalse;
}
int PowerPointPresentation::HasNotesMaster() const {
    return deck().hasNotesMaster() ? msoTrue : msoFalse;
}
int PowerPointPresentation::HasHandoutMaster() const {
    return deck().hasHandoutMaster() ? msoTrue : msoFalse;
}

PowerPointMaster PowerPointPresentation::TitleMaster() {
    if (!deck().hasTitleMaster()) {
        throw AppError(kInvalidCall, QStringLiteral("This presentation has no title master."));
    }
    return PowerPointMaster(deck_, engine::MasterKind::Slide);
}

PowerPointMaster PowerPointPresentation::SlideMaster() {
    return PowerPointMaster(deck(), engine::MasterKind::Slide);
}

// The notes master is created on save when a notes element is made visible, as PowerPoint creates it
// on first use.
PowerPointMaster PowerPointPresentation::NotesMaster() {
    return PowerPointMaster(deck(), engine::MasterKind::Notes);
}

PowerPointMaster PowerPointPresentation::HandoutMaster() {
    if (!deck().hasHandoutMaster()) {
        throw AppError(kInvalidCall, QStringLiteral("This presentation has no handout master."));
    }
    return PowerPointMaster(deck_, engine::MasterKind::Handout);
}

void PowerPointPresentation::SaveAs(const QString& fileName, int fileFormat, int /*embedTrueTypeFonts*/) {
    engine::PendingSave save = PrepareSaveAs(fileName, fileFormat);
    // The run that saves syncs the folder once at its end (BatchRun), not once a deck.
    callEngine([&] { return save.commit(engine::FolderSync::Later); });
}

engine::PendingSave PowerPointPresentation::PrepareSaveAs(const QString& fileName, int fileFormat) {
    beforeSave(fileName, fileFormat);
    engine::PendingSave save =
        callEngine([&] { return deck().prepareSave(std::filesystem::path(fileName.toStdU16String())); });
    noteSave(fileName, save);
    return save;
}

engine::PendingSave PowerPointPresentation::DeferSaveAs(const QString& fileName, int fileFormat) {
    beforeSave(fileName, fileFormat);
    engine::PendingSave save = callEngine(
        [&] { return std::move(deck()).deferSave(std::filesystem::path(fileName.toStdU16String())); });
    open_ = false;  // the deck went with the save
    noteSave(fileName, save);
    return save;
}

void PowerPointPresentation::beforeSave(const QString& fileName, int fileFormat) {
    if (fileFormat != ppSaveAsDefault) {
        throw AppError(kInvalidCall, QStringLiteral("Only the presentation's own format can be saved."));
    }
    deck();  // closed: fails as any call does
    warnings_.clear();
    brokeSignature_ = false;
    // A file the user made read-only is not saved over, as PowerPoint would not; root could rename over
    // it, so the attribute is asked as well as the permission. Another user's file this one may not
    // write is read-only to this one, whatever its owner may do. A link is replaced, never written
    // through, so the file it points to is no concern.
    if (const std::optional<int> attributes = fileAttributes(fileName);
        attributes && !(*attributes & (kAttrFolder | kAttrReparsePoint)) &&
        ((*attributes & kAttrReadOnly) ||
         (::faccessat(AT_FDCWD, QFile::encodeName(fileName).constData(), W_OK, AT_EACCESS) != 0 &&
          errno == EACCES))) {
        throw AppError(kPermissionDenied, QStringLiteral("The file ") + QDir::toNativeSeparators(fileName) +
                                              QStringLiteral(" is read-only; it was not replaced."));
    }
}

void PowerPointPresentation::noteSave(const QString& fileName, const engine::PendingSave& save) {
    brokeSignature_ = save.outcome().signatureInvalidated;
    const QString saved = QDir::toNativeSeparators(fileName);
    for (const std::string& warning : save.outcome().warnings)
        warnings_ << saved + QStringLiteral(": ") + QString::fromStdString(warning);
}

void PowerPointPresentation::Close() {
    open_ = false;
}

}  // namespace trelwick
