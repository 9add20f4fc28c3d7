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
#include <thread>

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

    std::error_code ec;
    fs::create_directories(options.output, ec);
    if (ec) {
        std::error_code link;
        // A link to nowhere would be reported as "File exists" (with a closing slash too).
        fs::path named = options.output;
        while (!named.has_filename() && named.has_relative_path()) named = named.parent_path();
        const std::string why = fs::is_symlink(named, link)
                                    ? "it is a link to " + fs::read_symlink(named, link).string() +
                                          ", which does not exist as a folder"
                                    : ec.message();
        err_ << std::string(kProgram) + ": " +
                    oneLine("cannot create the output folder " + options.output.string() + ": " + why) + "\n";
        return kSomeFailed;
    }

    const DeckList list = DeckFinder(options.output).find(options.inputs);
    const bool walkCut = stopSignal() != 0;  // the walk ends early on a stop: more decks may be left
    const std::size_t foldersUnread = static_cast<std::size_t>(
        std::count_if(list.refused.begin(), list.refused.end(), [](const Refusal& r) { return r.folder; }));
    const std::size_t total = list.decks.size() + list.refused.size() - foldersUnread;

    std::mutex reportMutex;
    std::size_t done = 0;
    std::size_t failed = 0;
    ProgressBar bar(err_, total, errIsTerminal_);

    auto report = [&](bool ok, const std::vector<std::string>& lines) {
        std::lock_guard lock(reportMutex);
        bar.clear();
        // Each line in one piece: calls sharing one stderr (xargs -P, parallel) then never mix lines.
        for (const std::string& line : lines) err_ << std::string(kProgram) + ": " + oneLine(line) + "\n";
        ++done;
        if (!ok) ++failed;
        bar.update(done, failed);
    };

    for (const Refusal& refusal : list.refused) {
        const std::string line = refusal.source.string() + ": " + refusal.reason;
        if (refusal.folder) {
            bar.clear();
            err_ << std::string(kProgram) + ": " + oneLine(line) + "\n";
        } else {
            report(false, {line});
        }
    }

    const DeckStamper stamper(options.stamp);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned wanted = options.jobs > 0 ? options.jobs : cores;
    const JobRunner runner(jobsTheFileLimitAllows(wanted));
    if (runner.workers() < wanted)
        err_ << std::string(kProgram) + ": warning: stamping " +
                    plural(runner.workers(), "presentation", "presentations") + " at once, not " +
                    std::to_string(wanted) + ": the limit on open files (ulimit -n) allows no more\n";
    // Reports one deck once its save is in place, or its failure, whichever step failed.
    auto finish = [&](const DeckJob& deck, const std::function<engine::SaveOutcome()>& save) {
        const std::string name = deck.source.string();
        try {
            const engine::SaveOutcome outcome = save();
            std::vector<std::string> lines;
            for (const std::string& warning : outcome.warnings) lines.push_back("warning: " + name + ": " + warning);
            report(true, lines);
        } catch (const engine::Error& e) {
            // An error about another file (the output being written) keeps that file's name.
            report(false, {name + ": " + (e.file() == name ? e.reason() : e.what())});
        } catch (const std::bad_alloc&) {
            report(false, {name + ": there is not enough memory to stamp this presentation"});
        } catch (const std::exception& e) {
            report(false, {name + ": " + e.what()});
        } catch (...) {
            report(false, {name + ": unexpected failure"});
        }
    };
    // A worker stamps and writes a deck, then leaves putting it in place (waiting on the disk) to its
    // lane and goes on with the next decks; the lane puts every deck that has come in meanwhile in
    // place with one wait. Failures go through the lane too, so that each worker's lines come in the
    // order of its decks.
    struct Written {
        const DeckJob* deck;
        std::optional<engine::PendingSave> save;
        std::exception_ptr failure;
    };
    {
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
                        finish(*w.deck, [&]() -> engine::SaveOutcome {
                            if (c.failure) std::rethrow_exception(c.failure);
                            return std::move(c.outcome);
                        });
                    } else if (w.failure) {
                        finish(*w.deck, [&]() -> engine::SaveOutcome { std::rethrow_exception(w.failure); });
                    }
                }
            });
    }

    bar.clear();
    // A stop that came once every deck was done leaves nothing to run again: the summary is the one
    // of any run, and the call still ends by the signal, so that a script running it stops too.
    const int sig = stopSignal();
    if (sig != 0 && (walkCut || done < total)) {
        err_ << std::string(kProgram) + ": stopped: " + plural(done - failed, "presentation", "presentations") +
                    " stamped; the others were left as they were (run again to stamp them)\n";
        err_.flush();
        endBySignal(sig);
    }
    if (total == 0) err_ << std::string(kProgram) + ": no presentations found\n";
    std::string summary = "Stamped " + std::to_string(done - failed) + " of " +
                          plural(total, "presentation", "presentations") + " into " + oneLine(options.output.string());
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
