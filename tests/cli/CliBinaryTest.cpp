// Runs the real trelwick-cli binary: exit statuses, messages, and what it leaves on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "common/CliRun.h"
#include "common/Corpus.h"
#include "common/Files.h"
#include "common/Sanitizer.h"
#include "common/TempDir.h"

namespace fs = std::filesystem;

namespace trelwick::cli {
namespace {

using trelwick::testing::CliResult;
using trelwick::testing::folderNames;
using trelwick::testing::readFile;
using trelwick::testing::runCli;
using trelwick::testing::shellOutput;
using trelwick::testing::shellQuote;
using trelwick::testing::TempDir;

const fs::path kCorpus = trelwick::testing::corpusDir();

std::size_t countLines(const std::string& text, const std::string& part) {
    std::size_t count = 0, start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (text.substr(start, end - start).find(part) != std::string::npos) ++count;
        start = end + 1;
    }
    return count;
}

// The text of the deck's parts matching a zip pattern, for checking what was stamped.
std::string partsXml(const fs::path& deck, const std::string& pattern) {
    return shellOutput("unzip -p " + shellQuote(deck.string()) + " " + shellQuote(pattern) + " 2>/dev/null");
}

std::string slidesXml(const fs::path& deck) {
    return partsXml(deck, "ppt/slides/*.xml");
}

std::map<fs::path, std::string> snapshot(const fs::path& folder) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path()] = readFile(entry.path());
    return files;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    const char* messagePart;
};

class CliUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, ExitsWithTwoAndCreatesNothing) {
    TempDir tmp;
    std::vector<std::string> args;
    for (std::string arg : GetParam().args) {
        // "@" stands for the temporary folder.
        if (const auto at = arg.find('@'); at != std::string::npos) arg.replace(at, 1, tmp.path().string());
        args.push_back(arg);
    }
    tmp.write("in/a.pptx", "not a deck");
    tmp.write("file", "x");
    const CliResult r = runCli(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find(GetParam().messagePart), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(tmp.path() / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliUsage,
    ::testing::Values(UsageCase{"NoArguments", {}, "no output folder"},
                      UsageCase{"NoOutput", {"@/in"}, "no output folder"},
                      UsageCase{"NoPath", {"-o", "@/out"}, "no presentation"},
                      UsageCase{"UnknownOption", {"-o", "@/out", "--frobnicate", "@/in"}, "unknown option"},
                      UsageCase{"BadJobs", {"-o", "@/out", "-j", "0", "@/in"}, "--jobs"},
                      UsageCase{"EmptyFooter", {"-o", "@/out", "--footer=", "@/in"}, "--footer"},
                      UsageCase{"OutputIsAFile", {"-o", "@/file", "@/in"}, "is a file, not a folder"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cli, HelpAndVersionExitWithZero) {
    const CliResult help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: trelwick-cli -o DIR [OPTION]... PATH...\n", 0), 0u) << help.out;
    const CliResult version = runCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("trelwick-cli ") + TRELWICK_VERSION + "\n");
}

TEST(Cli, BadFilesFailOneLineEachLeaveNoOutputAndStayUnchanged) {
    TempDir tmp;
    const fs::path text = tmp.write("in/text.pptx", "this is not a presentation");
    const fs::path empty = tmp.write("in/empty.pptx", "");
    const fs::path zipHead = tmp.write("in/sub/cut.pptm", std::string("PK\x03\x04\x14\x00", 6));
    const auto before = snapshot(tmp.path() / "in");

    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), (tmp.path() / "in").string(),
                                (tmp.path() / "missing.pptx").string()});
    EXPECT_EQ(r.exitCode, 1);
    for (const fs::path& file : {text, empty, zipHead, tmp.path() / "missing.pptx"})
        EXPECT_EQ(countLines(r.err, file.string() + ": "), 1u) << file << "\n" << r.err;
    EXPECT_EQ(countLines(r.err, "trelwick-cli: "), 4u) << r.err;
    EXPECT_NE(r.out.find("Stamped 0 of 4 presentations"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("4 failed"), std::string::npos) << r.out;
    EXPECT_EQ(folderNames(tmp.path() / "out"), std::vector<std::string>{});
    EXPECT_EQ(snapshot(tmp.path() / "in"), before);
    // Not a terminal: no progress bar.
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

TEST(Cli, ANameWithALineEndCannotForgeALineOfItsOwn) {
    TempDir tmp;
    tmp.write("in/x\ntrelwick-cli: all.pptx: stamped\n.pptx", "not a zip");
    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), (tmp.path() / "in").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(countLines(r.err, "trelwick-cli: "), 1u) << r.err;
    EXPECT_NE(r.err.find("x?trelwick-cli: all.pptx: stamped?.pptx: "), std::string::npos) << r.err;
}

TEST(Cli, ProgressBarIsDrawnOnATerminalOnly) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "util-linux 'script' not installed";
    TempDir tmp;
    tmp.write("in/a.pptx", "not a deck");
    tmp.write("in/b.pptx", "not a deck either");
    // script(1) gives the command a terminal; its stderr then reaches the typescript.
    const std::string command = shellQuote(TRELWICK_CLI_PATH) + " -o " +
                                shellQuote((tmp.path() / "out").string()) + " " +
                                shellQuote((tmp.path() / "in").string());
    const std::string terminal =
        shellOutput("script -qec " + shellQuote(command) + " /dev/null </dev/null 2>/dev/null");
    EXPECT_NE(terminal.find("\r[###############...............] 1/2  failed 1"), std::string::npos)
        << terminal;
    EXPECT_NE(terminal.find("] 2/2  failed 2"), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("Stamped 0 of 2 presentations"), std::string::npos) << terminal;
}

TEST(Cli, EmptyFolderStampsNothingAndSucceeds) {
    TempDir tmp;
    fs::create_directories(tmp.path() / "in");
    tmp.write("in/readme.txt", "x");
    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), (tmp.path() / "in").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("no presentations found"), std::string::npos) << r.err;
    // Scripts read the summary, so it comes also when there was nothing to stamp.
    EXPECT_NE(r.out.find("Stamped 0 of 0 presentations into "), std::string::npos) << r.out;
}

// The summary is the line a script reads: when it cannot be written the run has not succeeded, even
// with nothing to stamp.
TEST(Cli, ASummaryThatCannotBeWrittenFailsARunThatFoundNothing) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full; skipping";
    TempDir tmp;
    fs::create_directories(tmp.path() / "in");
    const std::string run =
        shellOutput(shellQuote(TRELWICK_CLI_PATH) + " -o " + shellQuote((tmp.path() / "out").string()) + " " +
                    shellQuote((tmp.path() / "in").string()) + " 2>&1 >/dev/full; echo \"exit $?\"");
    EXPECT_NE(run.find("cannot write the summary to standard output"), std::string::npos) << run;
    EXPECT_NE(run.find("exit 1"), std::string::npos) << run;
}

// A folder below the input that cannot be listed may hide decks: the run fails, and the summary counts
// the folder as a folder, not as a presentation that failed.
TEST(Cli, AFolderThatCannotBeReadFailsTheRunAndIsCountedAsAFolder) {
    TempDir tmp;
    tmp.write("in/readme.txt", "x");
    tmp.write("in/locked/hidden.pptx", "x");
    fs::permissions(tmp.path() / "in/locked", fs::perms::none);
    // Root reads every folder; without these two capabilities it is held to the permissions too.
    const std::string asUser =
        ::geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
    const std::string out = shellOutput(asUser + shellQuote(TRELWICK_CLI_PATH) + " -o " +
                                        shellQuote((tmp.path() / "out").string()) + " " +
                                        shellQuote((tmp.path() / "in").string()) + " 2>&1; echo \"exit $?\"");
    fs::permissions(tmp.path() / "in/locked", fs::perms::owner_all);
    EXPECT_NE(out.find("locked: cannot read the folder"), std::string::npos) << out;
    EXPECT_NE(out.find("Stamped 0 of 0 presentations into " + (tmp.path() / "out").string() +
                       "; 1 folder could not be read."),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("exit 1"), std::string::npos) << out;
}

// A sticky output folder (as /tmp) lets only a file's owner replace it: the file of another user there is
// named with the reason, kept as it was, and the other decks are stamped.
TEST(Cli, AnotherUsersFileInAStickyOutputFolderIsNamedWithTheReasonAndKept) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file another owner needs root; skipping";
    TempDir tmp;
    fs::create_directories(tmp.path() / "in");
    for (const char* name : {"pandoc__basic-output.pptx", "python-pptx__default.pptx"})
        fs::copy_file(kCorpus / name, tmp.path() / "in" / name);
    const fs::path out = tmp.path() / "out";
    fs::create_directories(out);
    ASSERT_EQ(::chown(out.c_str(), 4243, 4243), 0);
    ASSERT_EQ(::chmod(out.c_str(), 01777), 0);
    const fs::path theirs = out / "pandoc__basic-output.pptx";
    const std::string before = "not a deck, and not ours";
    tmp.write("out/pandoc__basic-output.pptx", before);
    ASSERT_EQ(::chown(theirs.c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0666), 0);
    // Root replaces any file; without these capabilities it is held to the folder's rule too.
    const std::string out_ =
        shellOutput("setpriv --bounding-set=-chown,-fowner,-dac_override,-dac_read_search " +
                    shellQuote(TRELWICK_CLI_PATH) + " -o " + shellQuote(out.string()) + " " +
                    shellQuote((tmp.path() / "in").string()) + " 2>&1; echo \"exit $?\"");
    EXPECT_NE(
        out_.find(theirs.string() + ": cannot replace the file: it belongs to another user, and the output "
                                    "folder lets only a file's owner replace it"),
        std::string::npos)
        << out_;
    EXPECT_NE(out_.find("Stamped 1 of 2 presentations"), std::string::npos) << out_;
    EXPECT_NE(out_.find("exit 1"), std::string::npos) << out_;
    EXPECT_EQ(readFile(theirs), before);
    EXPECT_EQ(folderNames(out),
              (std::vector<std::string>{"pandoc__basic-output.pptx", "python-pptx__default.pptx"}));
}

// An output folder given as a link to nowhere, spelled with a closing slash as shell completion writes a
// folder's name: the message said only "File exists", the very message the link check is there to
// replace.
TEST(Cli, AnOutputLinkToNowhereIsSaidSoAlsoWithAClosingSlash) {
    TempDir tmp;
    tmp.write("in/readme.txt", "x");
    fs::create_symlink(tmp.path() / "gone", tmp.path() / "out");
    for (const std::string& output : {(tmp.path() / "out").string(), (tmp.path() / "out").string() + "/"}) {
        const CliResult r = runCli({"-o", output, (tmp.path() / "in").string()});
        EXPECT_EQ(r.exitCode, 1) << output;
        EXPECT_NE(r.err.find("which does not exist"), std::string::npos) << output << "\n" << r.err;
    }
}

const std::vector<std::string> kGoodDecks{"python-pptx__sld-notes.pptx", "onlyoffice-templates__new.pptx",
                                          "poi__testPPT.ppsx", "python-pptx__act-props.pptm",
                                          "poi__bug59273.potx"};

TEST(CliCorpus, MixOfGoodAndBadDecksStampsTheGoodOnesAndExitsWithOne) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    fs::create_directories(tmp.path() / "in/bad");
    for (const std::string& name : kGoodDecks) fs::copy_file(kCorpus / name, tmp.path() / "in" / name);
    std::vector<std::string> bad;
    for (const auto& entry : fs::directory_iterator(kCorpus / "bad")) {
        if (entry.path().extension() != ".pptx") continue;
        fs::copy_file(entry.path(), tmp.path() / "in/bad" / entry.path().filename());
        bad.push_back(entry.path().filename().string());
    }
    ASSERT_GE(bad.size(), 5u);
    const auto before = snapshot(tmp.path() / "in");

    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), "--footer", "FooterMarker",
                                "--slide-number", "-j", "3", (tmp.path() / "in").string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    for (const std::string& name : bad)
        EXPECT_EQ(countLines(r.err, (tmp.path() / "in/bad" / name).string() + ": "), 1u) << name << "\n"
                                                                                         << r.err;
    for (const std::string& name : kGoodDecks) EXPECT_EQ(r.err.find(name), std::string::npos) << r.err;
    std::vector<std::string> expected = kGoodDecks;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderNames(tmp.path() / "out"), expected);
    const std::string total = std::to_string(kGoodDecks.size() + bad.size());
    EXPECT_NE(r.out.find("Stamped " + std::to_string(kGoodDecks.size()) + " of " + total), std::string::npos)
        << r.out;
    EXPECT_EQ(snapshot(tmp.path() / "in"), before);
    for (const std::string& name : kGoodDecks) {
        EXPECT_EQ(readFile(tmp.path() / "out" / name).substr(0, 2), "PK") << name;
    }
    EXPECT_NE(slidesXml(tmp.path() / "out/python-pptx__sld-notes.pptx").find("FooterMarker"),
              std::string::npos);
}

TEST(CliCorpus, AFileSizeLimitFailsTheLargeDeckAloneAndAClosedPipeStopsNoDeck) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const std::string large = "shapecrawler__031.pptx";  // 4 MB
    const std::string small = "python-pptx__sld-notes.pptx";
    fs::create_directories(tmp.path() / "in");
    for (const std::string& name : {large, small}) fs::copy_file(kCorpus / name, tmp.path() / "in" / name);
    const std::string cli = shellQuote(TRELWICK_CLI_PATH);
    const std::string in = shellQuote((tmp.path() / "in").string());
    // 1 MB in the blocks of any shell's ulimit.
    const std::string limited =
        shellOutput("ulimit -f 2048; " + cli + " -j1 --footer F -o " +
                    shellQuote((tmp.path() / "out").string()) + " " + in + " 2>&1; echo \"exit $?\"");
    EXPECT_NE(limited.find(large + ": "), std::string::npos) << limited;
    EXPECT_NE(limited.find("exit 1"), std::string::npos) << limited;
    EXPECT_EQ(folderNames(tmp.path() / "out"), std::vector<std::string>{small}) << "nothing half-written";

    // Every message goes into a pipe that is closed after its first byte.
    shellOutput(cli + " -j1 --footer F -o " + shellQuote((tmp.path() / "piped").string()) + " " + in +
                " /no/such/deck.pptx 2>&1 | head -c 1 >/dev/null");
    std::vector<std::string> both{large, small};
    std::sort(both.begin(), both.end());
    EXPECT_EQ(folderNames(tmp.path() / "piped"), both);
}

TEST(CliCorpus, MoreJobsThanTheOpenFileLimitAllowsRunFewerAndFailNoDeck) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    fs::create_directories(tmp.path() / "in");
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back("deck" + std::to_string(100 + i) + ".pptx");
        // Past the size read whole when opened: each job holds it open while stamping it.
        fs::copy_file(kCorpus / "poi__45541_Footer.pptx", tmp.path() / "in" / names.back());
    }
    const std::string run =
        shellOutput("ulimit -n 96; " + shellQuote(TRELWICK_CLI_PATH) + " -j 64 --footer F -o " +
                    shellQuote((tmp.path() / "out").string()) + " " +
                    shellQuote((tmp.path() / "in").string()) + " 2>&1; echo \"exit $?\"");
    EXPECT_NE(run.find("exit 0"), std::string::npos) << run;
    EXPECT_NE(run.find("warning: stamping 8 presentations at once, not 64"), std::string::npos) << run;
    EXPECT_EQ(run.find("Too many open files"), std::string::npos) << run;
    EXPECT_EQ(folderNames(tmp.path() / "out"), names);

    // The default, a job per core, is cut down the same way, and says so.
    const unsigned cores = std::thread::hardware_concurrency();
    if (cores < 2) return;
    const std::string byDefault =
        shellOutput("ulimit -n 68; " + shellQuote(TRELWICK_CLI_PATH) + " --footer F -o " +
                    shellQuote((tmp.path() / "out2").string()) + " " +
                    shellQuote((tmp.path() / "in").string()) + " 2>&1; echo \"exit $?\"");
    EXPECT_NE(byDefault.find("exit 0"), std::string::npos) << byDefault;
    EXPECT_NE(byDefault.find("warning: stamping 1 presentation at once, not " + std::to_string(cores)),
              std::string::npos)
        << byDefault;
}

TEST(CliCorpus, AllGoodDecksExitWithZeroAndHiddenElementsLeaveTheSlides) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const fs::path deck = kCorpus / "python-pptx__sld-notes.pptx";
    CliResult r = runCli({"-o", (tmp.path() / "shown").string(), "--footer", "FooterMarker", "--date",
                          "DateMarker", deck.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Stamped 1 of 1 presentation into"), std::string::npos) << r.out;
    const std::string shown = slidesXml(tmp.path() / "shown/python-pptx__sld-notes.pptx");
    EXPECT_NE(shown.find("FooterMarker"), std::string::npos);
    EXPECT_NE(shown.find("DateMarker"), std::string::npos);

    r = runCli({"-o", (tmp.path() / "hidden").string(), (tmp.path() / "shown").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string hidden = slidesXml(tmp.path() / "hidden/python-pptx__sld-notes.pptx");
    EXPECT_FALSE(hidden.empty());
    EXPECT_EQ(hidden.find("FooterMarker"), std::string::npos);
    EXPECT_EQ(hidden.find("DateMarker"), std::string::npos);
}

TEST(CliCorpus, WorkersSideBySideGiveTheSameDecksAsOneWorker) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    std::vector<std::string> args{
        "--footer", "F", "--date", "D", "--slide-number", "--notes-header", "H", "--notes-page-number"};
    for (const char* name :
         {"poi__stress021.pptx", "poi__themes.pptx", "onlyoffice-templates__sample.pptx",
          "pandoc__speaker-notes-output.pptx", "shapecrawler__014.pptx", "poi__keyframes.pptx"})
        args.push_back((kCorpus / name).string());
    std::vector<std::string> one{"-j1", "-o", (tmp.path() / "one").string()};
    std::vector<std::string> six{"-j6", "-o", (tmp.path() / "six").string()};
    one.insert(one.end(), args.begin(), args.end());
    six.insert(six.end(), args.begin(), args.end());
    ASSERT_EQ(runCli(one).exitCode, 0);
    ASSERT_EQ(runCli(six).exitCode, 0);
    ASSERT_EQ(folderNames(tmp.path() / "one").size(), 6u);
    ASSERT_EQ(folderNames(tmp.path() / "one"), folderNames(tmp.path() / "six"));
    // Entry contents, not bytes: new entries carry the time they were written.
    for (const std::string& name : folderNames(tmp.path() / "one")) {
        const std::string a = shellOutput("unzip -p " + shellQuote((tmp.path() / "one" / name).string()));
        const std::string b = shellOutput("unzip -p " + shellQuote((tmp.path() / "six" / name).string()));
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == b) << name;
    }
}

TEST(CliCorpus, NotesSettingsReachNotesPagesAndTheHandoutMaster) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    // A deck with a notes master and a handout master but no notes slides.
    const fs::path deck = kCorpus / "shapecrawler__010.pptx";
    ASSERT_FALSE(partsXml(deck, "ppt/handoutMasters/*.xml").empty());
    CliResult r = runCli({"-o", (tmp.path() / "shown").string(), "--notes-header", "HeaderMarker",
                          "--notes-footer", "NotesFooterMarker", "--notes-page-number", deck.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const fs::path shown = tmp.path() / "shown" / deck.filename();
    EXPECT_NE(partsXml(shown, "ppt/notesSlides/*.xml").find("HeaderMarker"), std::string::npos);
    EXPECT_NE(partsXml(shown, "ppt/handoutMasters/*.xml").find("HeaderMarker"), std::string::npos);
    EXPECT_NE(partsXml(shown, "ppt/handoutMasters/*.xml").find("NotesFooterMarker"), std::string::npos);

    r = runCli({"-o", (tmp.path() / "hidden").string(), shown.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string notes = partsXml(tmp.path() / "hidden" / deck.filename(), "ppt/notesSlides/*.xml");
    EXPECT_EQ(notes.find("HeaderMarker"), std::string::npos);
    EXPECT_EQ(notes.find("type=\"hdr\""), std::string::npos);
}

TEST(CliCorpus, NoNotesMasterIsAddedWhenNoNotesElementIsShown) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const fs::path deck = kCorpus / "poi__testPPT.ppsx";  // no notes master
    ASSERT_EQ(partsXml(deck, "ppt/notesMasters/*.xml"), "");
    CliResult r = runCli({"-o", (tmp.path() / "slides").string(), "--footer", "F", deck.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(partsXml(tmp.path() / "slides" / deck.filename(), "ppt/notesMasters/*.xml"), "");
    r = runCli({"-o", (tmp.path() / "notes").string(), "--notes-footer", "NotesOnly", deck.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(partsXml(tmp.path() / "notes" / deck.filename(), "ppt/notesSlides/*.xml").find("NotesOnly"),
              std::string::npos);
}

TEST(CliCorpus, SecondDeckWithTheSameNameIsRefusedNotOverwritten) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    fs::create_directories(tmp.path() / "a");
    fs::copy_file(kCorpus / "python-pptx__sld-notes.pptx", tmp.path() / "a/deck.pptx");
    const fs::path second = tmp.write("b/deck.pptx", "the second deck of that name");
    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), "--footer", "FirstOne",
                                (tmp.path() / "a").string(), (tmp.path() / "b").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(countLines(r.err, second.string() + ": another input of that name, " +
                                    (tmp.path() / "a/deck.pptx").string() + ", is saved as"),
              1u)
        << r.err;
    EXPECT_EQ(folderNames(tmp.path() / "out"), std::vector<std::string>{"deck.pptx"});
    EXPECT_NE(slidesXml(tmp.path() / "out/deck.pptx").find("FirstOne"), std::string::npos);
    EXPECT_EQ(readFile(second), "the second deck of that name");
    EXPECT_NE(r.out.find("Stamped 1 of 2 presentations"), std::string::npos) << r.out;
}

TEST(CliCorpus, StampingAFolderInPlaceNeverSavesAnotherDeckOverOne) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    fs::create_directories(tmp.path() / "decks/2024");
    fs::copy_file(kCorpus / "poi__aptia.pptx", tmp.path() / "decks/2024/summary.pptx");
    fs::copy_file(kCorpus / "python-pptx__sld-notes.pptx", tmp.path() / "decks/summary.pptx");
    const std::string older = readFile(tmp.path() / "decks/2024/summary.pptx");
    const CliResult r = runCli(
        {"-o", (tmp.path() / "decks").string(), "--footer", "InPlace", (tmp.path() / "decks").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(countLines(r.err, (tmp.path() / "decks/2024/summary.pptx").string() + ": another input"), 1u)
        << r.err;
    // The deck in the folder was stamped in place, as itself; the other one was left as it was.
    EXPECT_NE(slidesXml(tmp.path() / "decks/summary.pptx").find("InPlace"), std::string::npos);
    // (The other deck is twenty times its size.)
    EXPECT_LT(fs::file_size(tmp.path() / "decks/summary.pptx"),
              2 * fs::file_size(kCorpus / "python-pptx__sld-notes.pptx"));
    EXPECT_EQ(readFile(tmp.path() / "decks/2024/summary.pptx"), older);
}

TEST(CliCorpus, OutputFolderEqualToTheSourceFolderReplacesTheDeckWhole) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const fs::path deck = tmp.path() / "in/deck.pptx";
    fs::create_directories(deck.parent_path());
    fs::copy_file(kCorpus / "python-pptx__sld-notes.pptx", deck);
    const std::string original = readFile(deck);
    const CliResult r = runCli(
        {"-o", (tmp.path() / "in").string(), "--footer", "InPlaceMarker", (tmp.path() / "in").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(readFile(deck), original);
    EXPECT_NE(slidesXml(deck).find("InPlaceMarker"), std::string::npos);
    // No temporary file left beside it.
    EXPECT_EQ(folderNames(tmp.path() / "in"), std::vector<std::string>{"deck.pptx"});
}

TEST(CliCorpus, SignedDeckIsStampedWithAWarning) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), "--footer", "F",
                                (kCorpus / "poi__hello-world-signed.pptx").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(countLines(r.err, "warning: "), 1u) << r.err;
    EXPECT_NE(r.err.find("signature"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(tmp.path() / "out/poi__hello-world-signed.pptx"));
}

TEST(CliCorpus, EngineWarningAboutAPartNamesTheFileOnce) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const fs::path deck = kCorpus / "poi__bug65551.pptx";
    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), "--slide-number", deck.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(countLines(r.err, "warning: "), 1u) << r.err;
    const std::string line = r.err.substr(r.err.find("warning: "));
    EXPECT_EQ(line.rfind("warning: " + deck.string() + ": part ppt/slideMasters/slideMaster1.xml: ", 0), 0u)
        << r.err;
    EXPECT_EQ(line.find(deck.filename().string()), line.rfind(deck.filename().string())) << r.err;
}

TEST(CliCorpus, LegacyPptGivenExplicitlyIsStamped) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const fs::path ppt = kCorpus / "poi__empty.ppt";
    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), ppt.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(countLines(r.err, ppt.string() + ": "), 0u) << r.err;
    EXPECT_EQ(folderNames(tmp.path() / "out"), std::vector<std::string>{"poi__empty.ppt"});
}

TEST(CliCorpus, FolderWalkTakesLegacyPptFiles) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    fs::create_directories(tmp.path() / "in");
    fs::copy_file(kCorpus / "poi__empty.ppt", tmp.path() / "in/old.ppt");
    fs::copy_file(kCorpus / "poi__testPPT.ppsx", tmp.path() / "in/show.ppsx");
    const CliResult r = runCli({"-o", (tmp.path() / "out").string(), (tmp.path() / "in").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(folderNames(tmp.path() / "out"), (std::vector<std::string>{"old.ppt", "show.ppsx"}));
}

// A stop that comes once every deck is stamped and in place leaves nothing undone: the line must not
// send the user to run the batch again for "the others". stderr is a full pipe, so the run waits on
// the deck's warning (written once the deck is in place) until the stop has been sent.
TEST(CliBinary, AStopAfterTheLastDeckDoesNotSayOthersWereLeft) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    fs::create_directories(tmp.path() / "in");
    const fs::path deck = tmp.path() / "in" / "signed.pptx";
    fs::copy_file(kCorpus / "poi__hello-world-signed.pptx", deck);
    const fs::path out = tmp.path() / "out";

    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    (void)::fcntl(err[1], F_SETPIPE_SZ, 4096);
    ASSERT_EQ(::fcntl(err[1], F_SETFL, O_NONBLOCK), 0);
    std::size_t filled = 0;
    const std::string block(512, 'x');
    for (;;) {
        const ssize_t n = ::write(err[1], block.data(), block.size());
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
    }
    ASSERT_EQ(errno, EAGAIN);
    ASSERT_EQ(::fcntl(err[1], F_SETFL, 0), 0);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(err[1], 2);
        ::close(err[0]);
        ::signal(SIGTERM, SIG_DFL);
        ::execl(TRELWICK_CLI_PATH, "trelwick-cli", "-j1", "-o", out.c_str(), "--footer", "F", deck.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err[1]);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!fs::exists(out / "signed.pptx") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool inPlace = fs::exists(out / "signed.pptx");
    ::kill(pid, SIGTERM);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    text.erase(0, std::min(filled, text.size()));

    ASSERT_TRUE(inPlace) << text;
    EXPECT_EQ(countLines(text, "warning: " + deck.string() + ": the presentation was digitally signed"), 1u)
        << text;
    EXPECT_EQ(countLines(text, "the others were left as they were"), 0u) << text;
}

// Memory running out (here under a cap on the address space, as `ulimit -v` sets on shared hosts) must
// end in the usual line and exit status, never in an abort: whatever allocator the program is linked
// with, a failed new has to reach the catch of std::bad_alloc.
TEST(CliBinary, RunningOutOfMemoryIsReportedNotAnAbort) {
    if (TRELWICK_UNDER_SANITIZER)
        GTEST_SKIP() << "a sanitizer maps far more address space than these caps leave";
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir tmp;
    const fs::path deck = kCorpus / "docx4j__AutoShapes.pptx";
    for (rlim_t megabytes = 16; megabytes <= 128; megabytes += 16) {
        const fs::path out = tmp.path() / ("out" + std::to_string(megabytes));
        const fs::path log = tmp.path() / ("err" + std::to_string(megabytes));
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int devNull = ::open("/dev/null", O_RDWR);
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
            ::dup2(err, 2);
            const rlimit cap{megabytes << 20, megabytes << 20};
            ::setrlimit(RLIMIT_AS, &cap);
            ::execl(TRELWICK_CLI_PATH, "trelwick-cli", "-j1", "-o", out.c_str(), "--footer", "F",
                    "--slide-number", "--notes-page-number", deck.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const std::string text = readFile(log);
        ASSERT_TRUE(WIFEXITED(status))
            << "ended by signal " << WTERMSIG(status) << " under a cap of " << megabytes << " MiB:\n"
            << text;
        if (WEXITSTATUS(status) != 0) {
            EXPECT_EQ(WEXITSTATUS(status), 1) << text;
            EXPECT_NE(text.find("trelwick-cli: "), std::string::npos)
                << megabytes << " MiB: the failure is not told";
        }
    }
}

}  // namespace
}  // namespace trelwick::cli
