// trelwick-cli killed with SIGKILL at random moments while it replaces decks in their own folder:
// every deck is afterwards the old file or a complete new one, never a damaged one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestDecks.h"
#include "common/CliRun.h"
#include "common/Corpus.h"
#include "common/Files.h"
#include "common/TempDir.h"
#include "trelwick/engine.h"

namespace trelwick::reliability {
namespace {

using trelwick::testing::CliResult;
using trelwick::testing::readFile;
using trelwick::testing::runCli;
using trelwick::testing::startCli;
using trelwick::testing::TempDir;
using trelwick::testing::waitCli;

namespace fs = std::filesystem;
using engine::Element;
using engine::MasterKind;

constexpr int kDecks = 6;
// Runs go on until this many were killed while running; how many that takes depends on the load.
constexpr int kKillsMidRun = 60;
constexpr int kMaxRuns = 400;

// Made .pptx decks of growing size, and a PowerPoint 97-2003 deck of the corpus when it is at hand,
// since legacy decks are saved by their own writer.
std::vector<std::string> writeDecks(const fs::path& folder) {
    std::vector<std::string> names;
    for (int i = 0; i < kDecks; ++i) {
        names.push_back("deck" + std::to_string(i) + ".pptx");
        writeDeck(folder / names.back(), deckParts(150 + 50 * i));
    }
    const fs::path legacy = trelwick::testing::corpusDir() / "poi__headers_footers.ppt";
    std::error_code ec;
    if (fs::copy_file(legacy, folder / "legacy.ppt", ec)) names.push_back("legacy.ppt");
    return names;
}

// The footer text a deck shows, or an error description when it does not open.
std::string footerOf(const fs::path& deck) {
    try {
        auto p = engine::Presentation::open(deck);
        const auto footer = p.element(MasterKind::Slide, Element::Footer);
        return footer.visible ? footer.text : std::string("(hidden)");
    } catch (const engine::Error& e) {
        return std::string("DAMAGED: ") + e.what();
    }
}

std::vector<std::string> stampArgs(const fs::path& folder, const std::string& footer) {
    return {"-o", folder.string(), "--footer", footer, "--slide-number", folder.string()};
}

TEST(CrashSafety, KilledInPlaceRunsLeaveOldOrNewDecksNeverDamagedOnes) {
    TempDir folder, logs;
    const std::vector<std::string> names = writeDecks(folder.path());
    if (names.size() == kDecks)
        std::cout << "[ note     ] corpus absent: no legacy .ppt deck among the decks\n";

    // A normal run: every deck replaced, nothing else left in the folder.
    const auto start = std::chrono::steady_clock::now();
    const CliResult normal = runCli(stampArgs(folder.path(), "run 0"), (logs / "normal").string());
    const auto runTime = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(normal.exitCode, 0) << normal.err;
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.names(), expected) << "a normal run left files behind";
    for (const std::string& name : names) ASSERT_EQ(footerOf(folder / name), "run 0") << name;

    std::mt19937 random(20261207);
    const auto window = std::chrono::duration_cast<std::chrono::microseconds>(runTime * 1.2);
    std::uniform_int_distribution<long> delay(0, window.count());
    int oldKept = 0, newFound = 0, killedMidRun = 0, temporariesLeft = 0;
    int runs = 0;
    for (int kill = 1; kill <= kMaxRuns && killedMidRun < kKillsMidRun; ++kill) {
        ++runs;
        std::map<std::string, std::string> before;
        for (const std::string& name : names) before[name] = readFile(folder / name);
        const std::string footer = "run " + std::to_string(kill);
        const pid_t pid = startCli(stampArgs(folder.path(), footer), (logs / "killed").string());
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == 0) {
            ++killedMidRun;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            const std::string name = entry.path().filename().string();
            if (before.count(name)) continue;
            // The file being written has no name; only a save killed between naming it and moving it
            // over the deck leaves a hidden temporary file, which the next run in the folder sweeps.
            EXPECT_EQ(name.front(), '.') << "unexpected file " << name << " after kill " << kill;
            EXPECT_NE(name.find(".trelwick-"), std::string::npos) << name;
            ++temporariesLeft;
            fs::remove(entry.path());
        }
        for (const auto& [name, bytes] : before) {
            SCOPED_TRACE("kill " + std::to_string(kill) + ", " + name);
            ASSERT_TRUE(fs::exists(folder / name)) << "the deck is gone";
            if (readFile(folder / name) == bytes) {
                ++oldKept;
                continue;
            }
            ASSERT_EQ(footerOf(folder / name), footer) << "neither the old deck nor a complete new one";
            ++newFound;
        }
    }
    std::cout << "[ measured ] " << runs << " runs, " << killedMidRun << " killed mid-run (window "
              << window.count() / 1000 << " ms), decks found old " << oldKept << " times and new " << newFound
              << " times, " << temporariesLeft << " temporary files left by killed saves\n";
    EXPECT_EQ(killedMidRun, kKillsMidRun) << "too few kills landed during a run to prove anything";
    EXPECT_GT(oldKept, 0);
    EXPECT_GT(newFound, 0);
}

// Ctrl-C in mid-batch: the decks begun are finished and put in place, the others are not begun, the
// run says how far it got and ends by the signal, as a shell expects.
TEST(CrashSafety, AnInterruptedRunFinishesWhatItBeganAndSaysHowFarItGot) {
    TempDir in, out, logs;
    constexpr int kMany = 400;
    for (int i = 0; i < kMany; ++i)
        writeDeck(in / ("deck" + std::to_string(1000 + i) + ".pptx"), deckParts(20));
    const pid_t pid =
        startCli({"-j1", "-o", out.path().string(), "--footer", "stopped run", in.path().string()},
                 (logs / "stopped").string());
    // Interrupted once the first deck is in place, long before the last.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fs::is_empty(out.path()) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(pid, SIGINT);
    const CliResult run = waitCli(pid, (logs / "stopped").string());
    if (run.exitCode == 0) GTEST_SKIP() << "every deck was stamped before the signal came: nothing to check";
    EXPECT_EQ(run.exitCode, -1) << "ended by the signal\n" << run.err;
    EXPECT_EQ(run.out, "") << "no summary of a run that did not end";

    std::vector<std::string> saved;
    for (const auto& entry : fs::directory_iterator(out.path()))
        saved.push_back(entry.path().filename().string());
    for (const std::string& name : saved) {
        ASSERT_NE(name.front(), '.') << "a temporary file was left: " << name;
        EXPECT_EQ(footerOf(out / name), "stopped run") << name;
    }
    const std::string count =
        std::to_string(saved.size()) + (saved.size() == 1 ? " presentation" : " presentations");
    EXPECT_NE(run.err.find("stopped: " + count + " stamped"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace trelwick::reliability
