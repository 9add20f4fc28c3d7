#include "BatchRun.h"

#include <QCoreApplication>
#include <memory>
#include <optional>

#include "Pause.h"
#include "PowerPoint1.h"
#include "PowerPointApplication.h"
#include "trelwick/engine.h"
#include "util/AppError.h"
#include "util/Dialogs.h"
#include "util/ErrorReport.h"
#include "util/PathHelpers.h"

namespace trelwick {

namespace {

// Step numbers of the statements that stamp one master, in the order they run.
struct SlideSteps {
    int set, date, format, text, useFormat, dateTest, dateOn, dateOff;
    int footer, footerText, footerTest, footerOn, footerOff, numberTest, numberOn, numberOff;
};
constexpr SlideSteps kTitleMasterSteps{130, 132, 134, 136, 138, 140, 142, 144,
                                       146, 148, 150, 152, 154, 156, 158, 160};
constexpr SlideSteps kSlideMasterSteps{162, 164, 166, 168, 170, 172, 174, 176,
                                       178, 180, 182, 184, 186, 188, 190, 192};

struct NotesSteps {
    int set, date, format, text, useFormat, dateTest, dateOn, dateOff;
    int headerText, footerText, headerTest, headerOn, headerOff, footerTest, footerOn, footerOff;
    int numberTest, numberOn, numberOff;
};
constexpr NotesSteps kNotesMasterSteps{194, 196, 198, 200, 202, 204, 206, 208, 210, 212,
                                       214, 216, 218, 220, 222, 224, 300, 302, 304};
constexpr NotesSteps kHandoutMasterSteps{312, 314, 316, 318, 320, 322, 324, 326, 328, 330,
                                         332, 334, 336, 338, 340, 342, 344, 346, 348};
constexpr int kHasHandoutMasterStep = 310;

// An object reference that a failed step may have left unset; using it then fails like the
// automation objects do.
template <typename T>
T& use(std::optional<T>& object) {
    if (!object) throw AppError(kObjectNotSet, QStringLiteral("Object variable not set"));
    return *object;
}

PowerPointPresentation& use(PowerPointPresentation* deck) {
    if (!deck) throw AppError(kObjectNotSet, QStringLiteral("Object variable not set"));
    return *deck;
}

int visibility(bool on) {
    return on ? msoTrue : msoFalse;
}

// The notes of a run's saves as one message; a long list is cut so that the box fits on the screen.
QString saveNotice(const QStringList& warnings) {
    constexpr qsizetype kShown = 12;
    QString text = QStringLiteral("Saved, but please note:\r");
    for (qsizetype i = 0; i < warnings.size() && i < kShown; ++i) text += QStringLiteral("\r") + warnings[i];
    if (warnings.size() > kShown) text += QStringLiteral("\r(and %1 more)").arg(warnings.size() - kShown);
    return text;
}

}  // namespace

BatchRun::BatchRun(Dialogs& dialogs, PowerPointFactory& powerPoint, BatchRunWindow window)
    : isPowerPointRunning(IsPowerPointRunning),
      timer(secondsSinceMidnight),
      dialogs_(dialogs),
      powerPoint_(powerPoint),
      window_(std::move(window)) {}

void BatchRun::PushButton7_Click() {
    ErrorReport r(dialogs_, ErrorReport::form1Tag(QStringLiteral("PushButton7_Click")));
    if (r.test(100, [&] { return isRunning_; })) return;
    r.step(102, [&] { isRunning_ = true; });

    const auto message = [&](int step, const QString& text) {
        r.step(step, [&] {
            dialogs_.messageBox(text, window_.applicationTitle(), MessageButtons::Ok, MessageIcon::None);
        });
    };

    outputFolder_.reset();
    if (!r.test(104, [&] { return window_.entryCount() > 0; })) {
        message(260, QStringLiteral("No files added."));
    } else if (!r.test(106, [&] {
                   outputFolder_ = window_.outputFolder();
                   return isFolder(*outputFolder_);
               })) {
        message(258, QStringLiteral("Folder does not exist. Please select another folder."));
    } else if (r.test(108, [&] {
                   return !WarnIfPowerPointOpen(dialogs_, window_.applicationTitle(), isPowerPointRunning());
               })) {
        int lastItem = 0;
        r.step(110, [&] { lastItem = window_.entryCount(); });
        try {
            saves_ = std::make_unique<BackgroundSaves>(putInPlace);
        } catch (...) {
            saves_.reset();  // no thread to be had: each save is put in place at its own step
        }
        // The saves in hand are of earlier files: their failures are told before a later file's.
        r.setBeforeReport([&] {
            if (!saves_ || tellingSaveFailures_) return;  // those taken are told in their order
            saves_->waitAll();
            reportSaveFailures(r);
        });
        listed_.clear();
        entriesByName_.clear();
        savedFrom_.clear();
        keepsCaseApart_.clear();
        saveNotes_.clear();
        for (int item = 1; item <= lastItem; ++item) {
            std::optional<QString> text;
            try {
                text = window_.entryText(item);
            } catch (...) {
                // an entry that cannot be read is reported in its turn
            }
            listed_.push_back(text);
            if (text) entriesByName_[fileNameOfPath(*text).toCaseFolded()].push_back(item);
        }
        for (int item = 1; item <= lastItem; ++item) processItem(r, item, lastItem);
        listed_.clear();
        outputFolder_.reset();
        readAhead_.discard();
        if (saves_) saves_->waitAll();
        reportSaveFailures(r);
        saves_.reset();
        // Each save synced its file; the names in the folders are synced here, once, rather than once a
        // deck (syncing never fails in a way the run could report).
        for (const std::filesystem::path& folder : savedFolders_) engine::syncFolder(folder);
        savedFolders_.clear();
        // The window stays open: what the run kept for its next deck goes back to the system.
        engine::giveBackFreedMemory();
        // What the saves found that the user should know (a signature that no longer holds, an element
        // a page cannot show), once, under the save step. A broken signature changes what the file is:
        // those notes (each a save's first) go before any the notice may cut.
        QStringList signatures, others;
        for (const SaveNotes& save : saveNotes_) {
            if (save.brokeSignature) signatures << save.notes.front();
            others << save.notes.mid(save.brokeSignature ? 1 : 0);
        }
        saveNotes_.clear();
        // A file saved twice (listed twice) noted the same twice; once is enough, and keeps the cut
        // notice from losing other files' notes.
        signatures.removeDuplicates();
        others.removeDuplicates();
        if (!signatures.isEmpty() || !others.isEmpty()) message(234, saveNotice(signatures + others));
        r.step(248, [&] { window_.setBusy(false); });
        r.step(250, [&] { window_.setProgressValue(0); });
        r.step(252, [&] { window_.setProgressText(QStringLiteral("Progress Bar")); });
        message(254, QStringLiteral("Done."));
    }
    r.step(262, [&] { isRunning_ = false; });
}

void BatchRun::finishHandedSaves() {
    if (saves_) saves_->waitAll();
    for (const std::filesystem::path& folder : savedFolders_) engine::syncFolder(folder);
}

void BatchRun::readAhead(int item) {
    // Only ever a head start: a list that cannot be read here is read, and reported, in its turn.
    try {
        if (item <= static_cast<int>(listed_.size()) && listed_[item - 1])
            readAhead_.start(*listed_[item - 1]);
    } catch (...) {
        readAhead_.discard();
    }
}

QString BatchRun::listedText(int item) const {
    if (item >= 1 && item <= static_cast<int>(listed_.size()) && listed_[item - 1]) return *listed_[item - 1];
    return window_.entryText(item);  // not read when the loop began: read now, and reported if it fails
}

// A saved file is put in place while the next ones are opened and stamped; a failure to do so is
// reported under the step that saved it as soon as the run learns of it: before each save, after
// waiting for the saves before opening a file one of them may be, and at the end.
void BatchRun::reportSaveFailures(ErrorReport& r) {
    if (!saves_) return;
    tellingSaveFailures_ = true;
    for (const std::exception_ptr& failure : saves_->takeFailures())
        r.step(234, [&] { std::rethrow_exception(failure); });
    tellingSaveFailures_ = false;
    // A save that failed saved nothing: what it would have noted goes, and a later file of its name may
    // take it. Only the last save to a name can be unsettled (one to a name saved before waits for the
    // saves in hand), so the failure is that one's.
    for (const std::filesystem::path& target : saves_->takeFailedTargets()) {
        for (qsizetype i = saveNotes_.size(); i-- > 0;) {
            if (std::filesystem::path(saveNotes_[i].output.toStdU16String()) == target) {
                saveNotes_.removeAt(i);
                break;
            }
        }
        const QString key = QString::fromStdU16String(target.u16string()).toCaseFolded();
        for (auto it = savedFrom_.find(key); it != savedFrom_.end() && it.key() == key; ++it) {
            if (std::filesystem::path(it->output.toStdU16String()) == target) {  // the last saved comes first
                savedFrom_.erase(it);
                break;
            }
        }
    }
}

void BatchRun::processItem(ErrorReport& r, int item, int lastItem) {
    QString source;
    r.step(112, [&] { window_.setBusy(true); });
    r.step(114, [&] { source = listedText(item); });
    r.step(116, [&] {
        const int count = window_.entryCount();
        if (count <= 0) throw AppError(kDivisionByZero, QStringLiteral("Division by zero"));
        // Whole numbers: in floating point 29 / 100 * 100 comes out just under 29.
        window_.setProgressValue(static_cast<int>(static_cast<qint64>(item) * 100 / count));
    });
    r.step(118, [&] { window_.setProgressText(QStringLiteral("Processing: ") + fileNameOfPath(source)); });
    r.step(120, [&] { QCoreApplication::processEvents(); });

    std::unique_ptr<PowerPointApplication> application;
    if (saves_ && saves_->mayBeTargetOf(source)) {
        saves_->waitAll();
        reportSaveFailures(r);
    }
    const bool opened =
        r.step(122, [&] { application = OpenInPowerPoint(powerPoint_, source, &readAhead_); });
    if (item < lastItem) readAhead(item + 1);
    // A file that cannot be opened is reported once; nothing else of this pass can work on it.
    if (!opened) return;
    const double settle = application->settleSeconds();
    r.step(124, [&] { Pause(settle, timer); });

    PowerPointPresentation* deck = nullptr;
    r.step(126, [&] { deck = &application->ActivePresentation(); });
    if (r.test(128, [&] { return use(deck).HasTitleMaster() != 0; })) {
        stampSlideMaster(r, deck, true);
    }
    stampSlideMaster(r, deck, false);
    stampNotesMaster(r, deck);
    stampHandoutMaster(r, deck);
    r.step(226, [&] { Pause(settle, timer); });

    QString output;
    r.step(228, [&] {
        // The folder as the run started; one that could not be read then is read now, and reported.
        const QString folder = outputFolder_ ? *outputFolder_ : window_.outputFolder();
        output = folder + nativeSeparator() + fileNameOfPath(source);
    });
    // Twice: one pass turns a run of three separators into two (see normalisePath).
    r.step(230, [&] { output = normalisePath(output); });
    r.step(232, [&] { output = normalisePath(output); });
    // A save to a name saved before waits for that save to end, so that whether it saved anything is
    // known (and told) first.
    if (saves_ && savedFrom_.contains(output.toCaseFolded())) saves_->waitAll();
    reportSaveFailures(r);
    r.step(234, [&] {
        refuseToReplaceALaterEntry(output, source, item, lastItem);
        refuseToReplaceAnEarlierSave(output, source);
        savedFolders_.insert(std::filesystem::path(output.toStdU16String()).parent_path());
        if (saves_)
            saves_->hand(use(deck).DeferSaveAs(output, ppSaveAsDefault));
        else
            use(deck).SaveAs(output, ppSaveAsDefault, msoTriStateMixed);
        savedFrom_.insert(output.toCaseFolded(), Saved{output, source});
        const QStringList& notes = use(deck).lastSaveWarnings();
        if (!notes.isEmpty()) saveNotes_.append(SaveNotes{output, notes, use(deck).lastSaveBrokeSignature()});
    });
    r.step(236, [&] { use(deck).Close(); });
    r.step(238, [&] { application->Quit(); });
    r.step(240, [&] { deck = nullptr; });
    r.step(242, [&] { application.reset(); });
    r.step(244, [&] { window_.setBusy(true); });
    r.step(246, [] {});  // the loop's last numbered step: nothing to do, kept so the numbering stays whole
}

// Two files of one name, the output folder holding the second: saving the first would replace the
// second before its turn, and the second would be lost. The second is stamped in its place instead.
void BatchRun::refuseToReplaceALaterEntry(const QString& output, const QString& source, int item,
                                          int lastItem) {
    const std::filesystem::path target(output.toStdU16String());
    std::error_code ec;
    if (!std::filesystem::exists(target, ec) ||
        std::filesystem::equivalent(target, source.toStdU16String(), ec))
        return;
    for (int later : entriesByName_.value(fileNameOfPath(output).toCaseFolded())) {
        if (later <= item || later > lastItem) continue;
        // Named by its source too: several files of this name may be refused alike.
        if (sameOutputFile(output, listedText(later)))
            throw AppError(
                kPermissionDenied,
                QStringLiteral("Not saved: %1 is also in the list (entry %2) and has not been stamped "
                               "yet; saving %3 over it would lose it.")
                    .arg(output, QString::number(later), source));
    }
}

// Two files of one name from different folders: the second would replace the first's stamped copy,
// which in its own folder is the first file itself. The same file listed twice, or a file saved over
// itself (the copy an earlier save made, listed too), is saved again.
void BatchRun::refuseToReplaceAnEarlierSave(const QString& output, const QString& source) {
    std::error_code ec;
    auto sameFile = [&ec](const QString& a, const QString& b) {
        return a == b || std::filesystem::equivalent(a.toStdU16String(), b.toStdU16String(), ec);
    };
    for (const Saved& earlier : savedFrom_.values(output.toCaseFolded())) {
        if (earlier.output != output) {
            // Names differing in case only are one file where the file system ignores case; the
            // earlier save must be in place to tell.
            if (saves_) saves_->waitAll();
            if (!sameOutputFile(earlier.output, output)) continue;
        }
        if (sameFile(earlier.source, source) || sameFile(output, source)) continue;
        throw AppError(
            kPermissionDenied,
            QStringLiteral("Not saved: %1 holds the stamped copy of %2, saved earlier in this run; "
                           "saving %3 over it would lose it.")
                .arg(output, earlier.source, source));
    }
}

// One file under two paths: the same file, or names differing only in case in a folder whose file
// system ignores case. That is asked of the folder: a file system reached through FUSE may give one
// file another number under each spelling, so comparing files cannot tell.
bool BatchRun::sameOutputFile(const QString& a, const QString& b) {
    const std::filesystem::path pa(a.toStdU16String()), pb(b.toStdU16String());
    std::error_code ec;
    if (a == b || std::filesystem::equivalent(pa, pb, ec)) return true;
    if (fileNameOfPath(a).toCaseFolded() != fileNameOfPath(b).toCaseFolded() ||
        !std::filesystem::equivalent(pa.parent_path(), pb.parent_path(), ec))
        return false;
    auto known = keepsCaseApart_.find(pa.parent_path());
    if (known == keepsCaseApart_.end())
        known = keepsCaseApart_.emplace(pa.parent_path(), engine::keepsCaseApart(pa.parent_path())).first;
    return !known->second;
}

void BatchRun::stampSlideMaster(ErrorReport& r, PowerPointPresentation* deck, bool titleMaster) {
    const SlideSteps& s = titleMaster ? kTitleMasterSteps : kSlideMasterSteps;
    std::optional<PowerPointHeadersFooters> set;
    std::optional<PowerPointHeaderFooter> date, footer;

    r.step(s.set, [&] {
        PowerPointPresentation& p = use(deck);
        set = (titleMaster ? p.TitleMaster() : p.SlideMaster()).HeadersFooters();
    });
    r.step(s.date, [&] { date = use(set).DateAndTime(); });
    r.step(s.format, [&] { use(date).setFormat(1); });
    r.step(s.text, [&] { use(date).setText(window_.choices().slideDate); });
    r.step(s.useFormat, [&] { use(date).setUseFormat(msoFalse); });
    const bool dateOn = r.test(s.dateTest, [&] { return window_.choices().slideDateOn; });
    r.step(dateOn ? s.dateOn : s.dateOff, [&] { use(date).setVisible(visibility(dateOn)); });
    date.reset();

    r.step(s.footer, [&] { footer = use(set).Footer(); });
    r.step(s.footerText, [&] { use(footer).setText(window_.choices().slideFooter); });
    const bool footerOn = r.test(s.footerTest, [&] { return window_.choices().slideFooterOn; });
    r.step(footerOn ? s.footerOn : s.footerOff, [&] { use(footer).setVisible(visibility(footerOn)); });
    footer.reset();

    const bool numberOn = r.test(s.numberTest, [&] { return window_.choices().slideNumberOn; });
    r.step(numberOn ? s.numberOn : s.numberOff,
           [&] { use(set).SlideNumber().setVisible(visibility(numberOn)); });
}

namespace {

// Notes pages and handouts take the same settings: the "Notes and Handouts" tab.
void stampNotesLike(ErrorReport& r, const NotesSteps& s, const BatchRunWindow& window,
                    const std::function<PowerPointHeadersFooters()>& headersFooters) {
    std::optional<PowerPointHeadersFooters> set;
    std::optional<PowerPointHeaderFooter> date;

    r.step(s.set, [&] { set = headersFooters(); });
    r.step(s.date, [&] { date = use(set).DateAndTime(); });
    r.step(s.format, [&] { use(date).setFormat(1); });
    r.step(s.text, [&] { use(date).setText(window.choices().notesDate); });
    r.step(s.useFormat, [&] { use(date).setUseFormat(msoFalse); });
    const bool dateOn = r.test(s.dateTest, [&] { return window.choices().notesDateOn; });
    r.step(dateOn ? s.dateOn : s.dateOff, [&] { use(date).setVisible(visibility(dateOn)); });
    date.reset();

    r.step(s.headerText, [&] { use(set).Header().setText(window.choices().notesHeader); });
    r.step(s.footerText, [&] { use(set).Footer().setText(window.choices().notesFooter); });
    const bool headerOn = r.test(s.headerTest, [&] { return window.choices().notesHeaderOn; });
    r.step(headerOn ? s.headerOn : s.headerOff, [&] { use(set).Header().setVisible(visibility(headerOn)); });
    const bool footerOn = r.test(s.footerTest, [&] { return window.choices().notesFooterOn; });
    r.step(footerOn ? s.footerOn : s.footerOff, [&] { use(set).Footer().setVisible(visibility(footerOn)); });
    const bool numberOn = r.test(s.numberTest, [&] { return window.choices().pageNumberOn; });
    r.step(numberOn ? s.numberOn : s.numberOff,
           [&] { use(set).SlideNumber().setVisible(visibility(numberOn)); });
}

}  // namespace

void BatchRun::stampNotesMaster(ErrorReport& r, PowerPointPresentation* deck) {
    stampNotesLike(r, kNotesMasterSteps, window_, [&] { return use(deck).NotesMaster().HeadersFooters(); });
}

void BatchRun::stampHandoutMaster(ErrorReport& r, PowerPointPresentation* deck) {
    if (r.test(kHasHandoutMasterStep, [&] { return use(deck).HasHandoutMaster() != 0; })) {
        stampNotesLike(r, kHandoutMasterSteps, window_,
                       [&] { return use(deck).HandoutMaster().HeadersFooters(); });
    }
}

}  // namespace trelwick
