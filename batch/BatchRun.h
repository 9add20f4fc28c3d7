#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "BackgroundSaves.h"
#include "DeckReadAhead.h"
#include "options/HeaderFooterChoices.h"

namespace trelwick {

class Dialogs;
class ErrorReport;
class PowerPointFactory;
class PowerPointPresentation;

// What the run reads from and drives on the main window. The options are read when each presentation
// is processed, so an option changed during a run applies to the files after it; the output folder is
// read once, as the run starts.
struct BatchRunWindow {
    std::function<int()> entryCount;
    std::function<QString(int)> entryText;  // position from 1
    std::function<HeaderFooterChoices()> choices;
    std::function<QString()> outputFolder;  // the text of Text6
    std::function<void(int)> setProgressValue;
    std::function<void(const QString&)> setProgressText;
    std::function<void(bool)> setBusy;  // the hourglass pointer
    std::function<QString()> applicationTitle;
};

// "Start Adding": stamps the options onto every listed presentation and saves each, under its own
// name, into the output folder. Failures are reported as Form1.PushButton7_Click with their step
// number and the run goes on.
class BatchRun {
  public:
    BatchRun(Dialogs& dialogs, PowerPointFactory& powerPoint, BatchRunWindow window);

    void PushButton7_Click();

    // True from the start of a run to its end; a press meanwhile does nothing.
    bool IsRunning() const { return isRunning_; }

    // For a program about to end during a run: puts the saves already handed on in place and syncs
    // their folders; nothing more is reported.
    void finishHandedSaves();

    // The running check, the clock of the pauses and what puts saved files in place; injectable
    // for tests.
    std::function<bool()> isPowerPointRunning;
    std::function<double()> timer;
    BackgroundSaves::PutInPlace putInPlace = BackgroundSaves::commitLeavingFolders;

  private:
    void processItem(ErrorReport& r, int item, int lastItem);
    void readAhead(int item);
    QString listedText(int item) const;
    void reportSaveFailures(ErrorReport& r);
    void refuseToReplaceALaterEntry(const QString& output, const QString& source, int item, int lastItem);
    void refuseToReplaceAnEarlierSave(const QString& output, const QString& source);
    bool sameOutputFile(const QString& a, const QString& b);
    void stampSlideMaster(ErrorReport& r, PowerPointPresentation* deck, bool titleMaster);
    void stampNotesMaster(ErrorReport& r, PowerPointPresentation* deck);
    void stampHandoutMaster(ErrorReport& r, PowerPointPresentation* deck);

    Dialogs& dialogs_;
    PowerPointFactory& powerPoint_;
    BatchRunWindow window_;
    bool isRunning_ = false;
    // Folders this run saved into; synced once when the loop ends, before "Done.".
    std::set<std::filesystem::path> savedFolders_;
    // The next file of the list, opened while the current one is stamped and saved.
    DeckReadAhead readAhead_;
    // The output folder as it stood when the run started (none when it could not be read then): a field
    // edited or emptied during the run sends no deck elsewhere.
    std::optional<QString> outputFolder_;
    // The entries as they stood when the loop began (none for one that could not be read then): an
    // entry dragged to another place during the run is neither passed over nor stamped twice.
    std::vector<std::optional<QString>> listed_;
    // The positions of the run's entries by file name (case-folded), for what a save may replace.
    QHash<QString, QList<int>> entriesByName_;
    // The outputs of the run and the files they were saved from, by output path, case-folded.
    struct Saved {
        QString output, source;
    };
    QMultiHash<QString, Saved> savedFrom_;
    // Whether each folder saved into keeps names differing only in case apart, asked once a run.
    std::map<std::filesystem::path, bool> keepsCaseApart_;
    // What the run's saves found that the user should know, save by save, shown once before "Done.";
    // a save that then fails is taken out.
    struct SaveNotes {
        QString output;
        QStringList notes;
        bool brokeSignature = false;  // notes.front() says so
    };
    QList<SaveNotes> saveNotes_;
    // Files saved by the run, put in place while the next ones are opened and stamped.
    std::unique_ptr<BackgroundSaves> saves_;
    bool tellingSaveFailures_ = false;  // reportSaveFailures is telling those it took
};

}  // namespace trelwick
