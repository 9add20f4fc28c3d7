#pragma once

#include <QString>
#include <QStringList>

#include "PowerPointMaster.h"
#include "trelwick/engine.h"

namespace trelwick {

// PowerPoint's file format and font-embedding values that SaveAs takes.
constexpr int ppSaveAsDefault = 11;
constexpr int msoTriStateMixed = -2;

// An open presentation (PowerPoint's Presentation) over the engine's deck.
class PowerPointPresentation {
  public:
    explicit PowerPointPresentation(engine::Presentation deck);

    // Non-zero when the presentation has a title master (never for the .pptx family).
    int HasTitleMaster() const;
    int HasNotesMaster() const;
    int HasHandoutMaster() const;

    // Fails like PowerPoint does when the master does not exist.
    PowerPointMaster TitleMaster();
    PowerPointMaster SlideMaster();
    PowerPointMaster NotesMaster();
    PowerPointMaster HandoutMaster();

    // Saves in the deck's own format; fileFormat must be ppSaveAsDefault. The engine writes the file
    // whole or not at all; the caller syncs the folder (engine::syncFolder) once it has saved all. What
    // the user should know of the save (a signature that no longer holds, an element that cannot show)
    // is in lastSaveWarnings(), one sentence each naming the saved file, from SaveAs or PrepareSaveAs on.
    void SaveAs(const QString& fileName, int fileFormat = ppSaveAsDefault,
                int embedTrueTypeFonts = msoTriStateMixed);
    // The first half of SaveAs: stamps and writes the file beside fileName, leaving the caller to put
    // it in place (commit), which may be done on another thread.
    engine::PendingSave PrepareSaveAs(const QString& fileName, int fileFormat = ppSaveAsDefault);
    // As PrepareSaveAs, but the file is written by whoever commits the save (or writes it), on any
    // thread; the presentation is closed, its deck going with the save.
    engine::PendingSave DeferSaveAs(const QString& fileName, int fileFormat = ppSaveAsDefault);
    // Closes the presentation; any later call fails.
    void Close();

    bool isOpen() const { return open_; }
    // See SaveAs.
    const QStringList& lastSaveWarnings() const { return warnings_; }
    // Whether the last save broke the deck's digital signature (the first of lastSaveWarnings() says so).
    bool lastSaveBrokeSignature() const { return brokeSignature_; }

  private:
    engine::Presentation& deck();
    const engine::Presentation& deck() const;
    // Checks that a save may be made to fileName; the warnings of the last are forgotten.
    void beforeSave(const QString& fileName, int fileFormat);
    // Keeps what the user should know of save.
    void noteSave(const QString& fileName, const engine::PendingSave& save);

    engine::Presentation deck_;
    bool open_ = true;
    QStringList warnings_;
    bool brokeSignature_ = false;
};

}  // namespace trelwick
