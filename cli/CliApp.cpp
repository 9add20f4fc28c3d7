#include "CliApp.h"

#include <trelwick/engine.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>

#include "CommandLine.h"
#include "DeckFinder.h"
#include "DeckStamper.h"
#include "ExitCode.h"
#include "FolderSyncer.h"
#include "JobRunner.h"
#include "ProgressBar.h"
#include "StopSignals.h"
#include "UsageError.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

#ifndef TRELWICK_VERSION
#define TRELWICK_VERSION "unknown"
#endif

namespace fs = std::filesystem;

namespace trelwick::cli {

namespace {

constexpr const char* kProgram = "trelwick-cli";

// Open files the process may still use beyond the few it holds anyway; 0 when unlimited.
std::size_t spareFiles() {
#ifdef _WIN32
    return 0;  // handles are not counted against a limit of this kind
#else
    struct rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return 0;
    return files.rlim_cur > 64 ? files.rlim_cur - 64 : 1;
#endif
}

// A job holds its source open twice (to read it and to copy from it) and the deck it writes, and has
// at least one written deck waiting for the disk: jobs beyond what the file limit allows would fail
// their decks with "Too many open files".
constexpr std::size_t kFilesPerJob = 4;

unsigned jobsTheFileLimitAllows(unsigned jobs) {
    const std::size_t spare = spareFiles();
    if (spare == 0) return jobs;
    return static_cast<unsigned>(std::clamp<std::size_t>(spare / kFilesPerJob, 1, jobs));
}

// How many written decks each job may have waiting for the disk. Each holds an open file, so all jobs
// together stay well inside the process's file limit.
std::size_t savesWaitingPerJob(unsigned jobs) {
    constexpr std::size_t kMost = 16;  // past this a batch shares no more waits
    const std::size_t spare = spareFiles();
    if (spare == 0) return kMost;
    return std::clamp<std::size_t>(spare / (2 * std::max(1u, jobs)), 1, kMost);
}

// A message on one line whatever the names in it hold: a file name with a line end could otherwise
// print a line of its own ("x.pptx: stamped") that reads as the program's.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Creates the output folder; false, after telling why on err, when it cannot be made.
bool makeOutputFolder(const fs::path& output, std::ostream& err) {
    std::error_code ec;
    fs::create_directories(output, ec);
    if (!ec) return true;
    std::error_code link;
    // A link to nowhere would be reported as "File exists" (with a closing slash too).
    fs::path named = output;
    while (!named.has_filename() && named.has_relative_path()) named = named.parent_path();
    const std::string why = fs::is_symlink(named, link)
                                ? "it is a link to " + fs::read_symlink(named, link).string() +
                                      ", which does not exist as a folder"
                                : ec.message();
    err << std::string(kProgram) + ": " +
               oneLine("cannot create the output folder " + output.string() + ": " + why) + "\n";
    return false;
}

// What the batch tells on err, from any worker's lane: each deck's lines in one piece (calls sharing
// one stderr, as under xargs -P or parallel, then never mix lines), the progress bar cleared before
// them and drawn again after, and the count of decks done and failed.
class Reporter {
  public:
    Reporter(std::ostream& err, std::size_t total, bool terminal) : err_(err), bar_(err, total, terminal) {}

    // One deck's outcome, with the lines to tell about it.
    void deck(bool ok, const std::vector<std::string>& lines) {
        std::lock_guard lock(mutex_);
        bar_.clear();
        for (const std::string& line : lines) err_ << std::string(kProgram) + ": " + oneLine(line) + "\n";
        ++done_;
        if (!ok) ++failed_;
        bar_.update(done_, failed_);
    }
    // A line that is about no deck (a folder that could not be read).
    void line(const std::string& text) {
        std::lock_guard lock(mutex_);
        bar_.clear();
        err_ << std::string(kProgram) + ": " + oneLine(text) + "\n";
    }
    // Once every lane has ended.
    void clear() { bar_.clear(); }
    std::size_t done() const { return done_; }
    std::size_t failed() const { return failed_; }

  private:
    std::ostream& err_;
    std::mutex mutex_;
    ProgressBar bar_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
};

// Reports one deck once its save is in place, or its failure, whichever step failed.
void finish(Reporter& reporter, const DeckJob& deck, const std::function<engine::SaveOutcome()>& save) {
    const std::string name = deck.source.string();
    try {
        const engine::SaveOutcome outcome = save();
        std::vector<std::string> lines;
        for (const std::string& warning : outcome.warnings)
            lines.push_back("warning: " + name + ": " + warning);
        reporter.deck(true, lines);
    } catch (const engine::Error& e) {
        // An error about another file (the output being written) keeps that file's name.
        reporter.deck(false, {name + ": " + (e.file() == name ? e.reason() : e.what())});
    } catch (const std::bad_alloc&) {
        reporter.deck(false, {name + ": there is not enough memory to stamp this presentation"});
    } catch (const std::exception& e) {
        reporter.deck(false, {name + ": " + e.what()});
    } catch (...) {
        reporter.deck(false, {name + ": unexpected failure"});
    }
}

// Stamps every deck of the list on the runner's workers, until a stop. A worker stamps and writes a
// deck, then leaves putting it in place (waiting on the disk) to its lane and goes on with the next
// decks; the lane puts every deck that has come in meanwhile in place with one wait. Failures go
// through the lane too, so that each worker's lines come in the order of its decks.
void stampAll(const DeckList& list, const DeckStamper& stamper, const JobRunner& runner, Reporter& reporter) {
    struct Written {
        const DeckJob* deck;
        std::optional<engine::PendingSave> save;
        std::exception_ptr failure;
    };
    // New names reach the disk a second at a time, and when the batch ends however it ends, rather
    // than once a deck (each file is synced before it takes its name).
    FolderSyncer folders;
    runner.runWithLanes<Written>(
        list.decks.size(), savesWaitingPerJob(runner.workers()),
        [&](std::size_t i) {
            const DeckJob& deck = list.decks[i];
            if (stopSignal() != 0) return Written{&deck, std::nullopt, nullptr};  // not begun
            try {
                return Written{&deck, stamper.stamp(deck.source, deck.target), nullptr};
            } catch (...) {
                return Written{&deck, std::nullopt, std::current_exception()};
            }
        },
        [&](std::vector<Written>& batch) {
            std::vector<engine::PendingSave*> saves;
            for (Written& w : batch)
                if (w.save) saves.push_back(&*w.save);
            std::vector<engine::PendingSave::Committed> committed;
            try {
                committed = engine::PendingSave::commitAll(saves, engine::FolderSync::Later);
            } catch (...) {
                // Memory ran out before the batch could say which decks are in place: each is
                // reported failed rather than the whole run ending.
                committed.assign(saves.size(), engine::PendingSave::Committed{{}, std::current_exception()});
            }
            std::size_t next = 0;
            for (Written& w : batch) {
                if (w.save) {
                    engine::PendingSave::Committed& c = committed[next++];
                    if (!c.failure) folders.saved(w.deck->target.parent_path());
                    finish(reporter, *w.deck, [&]() -> engine::SaveOutcome {
                        if (c.failure) std::rethrow_exception(c.failure);
                        return std::move(c.outcome);
                    });
                } else if (w.failure) {
                    finish(reporter, *w.deck,
                           [&]() -> engine::SaveOutcome { std::rethrow_exception(w.failure); });
                }
            }
        });
}

}  // namespace

CliApp::CliApp(std::ostream& out, std::ostream& err, bool errIsTerminal)
    : out_(out), err_(err), errIsTerminal_(errIsTerminal) {}

int CliApp::run(const std::vector<std::string>& args) {
    CliOptions options;
    try {
        options = CommandLine::parse(args);
        if (options.showHelp) {
            out_ << CommandLine::usage();
            return kAllStamped;
        }
        if (options.showVersion) {
            out_ << kProgram << " " << TRELWICK_VERSION << "\n";
            return kAllStamped;
        }
        std::error_code ec;
        if (fs::exists(options.output, ec) && !fs::is_directory(options.output, ec))
            throw UsageError("the output " + options.output.string() + " is a file, not a folder");
    } catch (const UsageError& e) {
        err_ << kProgram << ": " << oneLine(e.what()) << "\n"
             << "Try '" << kProgram << " --help' for more information.\n";
        return kUsageError;
    }

    if (!makeOutputFolder(options.output, err_)) return kSomeFailed;

    const DeckList list = DeckFinder(options.output).find(options.inputs);
    const bool walkCut = stopSignal() != 0;  // the walk ends early on a stop: more decks may be left
    const std::size_t foldersUnread = static_cast<std::size_t>(
        std::count_if(list.refused.begin(), list.refused.end(), [](const Refusal& r) { return r.folder; }));
    const std::size_t total = list.decks.size() + list.refused.size() - foldersUnread;

    Reporter reporter(err_, total, errIsTerminal_);
    for (const Refusal& refusal : list.refused) {
        const std::string line = refusal.source.string() + ": " + refusal.reason;
        if (refusal.folder)
            reporter.line(line);
        else
            reporter.deck(false, {line});
    }

    const unsigned wanted = options.jobs > 0 ? options.jobs : JobRunner::coresAvailable();
    const JobRunner runner(jobsTheFileLimitAllows(wanted));
    if (runner.workers() < wanted)
        err_ << std::string(kProgram) + ": warning: stamping " +
                    plural(runner.workers(), "presentation", "presentations") + " at once, not " +
                    std::to_string(wanted) + ": the limit on open files (ulimit -n) allows no more\n";
    stampAll(list, DeckStamper(options.stamp), runner, reporter);

    reporter.clear();
    const std::size_t done = reporter.done(), failed = reporter.failed();
    // A stop that came once every deck was done leaves nothing to run again: the summary is the one
    // of any run, and the call still ends by the signal, so that a script running it stops too.
    const int sig = stopSignal();
    if (sig != 0 && (walkCut || done < total)) {
        err_ << std::string(kProgram) +
                    ": stopped: " + plural(done - failed, "presentation", "presentations") +
                    " stamped; the others were left as they were (run again to stamp them)\n";
        err_.flush();
        endBySignal(sig);
    }
    if (total == 0) err_ << std::string(kProgram) + ": no presentations found\n";
    std::string summary = "Stamped " + std::to_string(done - failed) + " of " +
                          plural(total, "presentation", "presentations") + " into " +
                          oneLine(options.output.string());
    if (failed > 0) summary += "; " + std::to_string(failed) + " failed";
    if (foldersUnread > 0)
        summary += "; " + plural(foldersUnread, "folder", "folders") + " could not be read";
    out_ << summary << ".\n" << std::flush;
    if (sig != 0) endBySignal(sig);
    // The line scripts read: a run that could not tell its outcome has not succeeded.
    if (!out_) {
        err_ << std::string(kProgram) + ": cannot write the summary to standard output\n";
        return kSomeFailed;
    }
    return failed > 0 || foldersUnread > 0 ? kSomeFailed : kAllStamped;
}

}  // namespace trelwick::cli
