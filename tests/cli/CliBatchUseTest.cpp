// What a user running scripted and large batches meets: the README's recipes run as written, a deck
// stamped in place, and the summary that scripts read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SystemFaults.h"
#include "common/CliRun.h"
#include "common/Corpus.h"
#include "common/Files.h"
#include "common/Sanitizer.h"
#include "common/TempDir.h"
#include "common/Zip.h"

namespace fs = std::filesystem;

namespace trelwick::cli {
namespace {

using trelwick::testing::CliResult;
using trelwick::testing::readFile;
using trelwick::testing::runCli;
using trelwick::testing::shellOutput;
using trelwick::testing::shellQuote;
using trelwick::testing::TempDir;

const fs::path kCorpus = trelwick::testing::corpusDir();
const fs::path kReadme = fs::path(TRELWICK_SOURCE_DIR) / "README.md";
const char* const kDeck = "onlyoffice-templates__new.pptx";  // one slide, date, footer and number

bool haveCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The README's indented command that starts with `start`, continuation lines ("\" at the end) joined.
std::string readmeCommand(const std::string& start) {
    std::ifstream in(kReadme);
    std::string line, command;
    bool inside = false;
    while (std::getline(in, line)) {
        const std::size_t first = line.find_first_not_of(' ');
        const std::string text = first == std::string::npos ? "" : line.substr(first);
        if (!inside && text.rfind(start, 0) != 0) continue;
        inside = true;
        if (!text.empty() && text.back() == '\\') {
            command += text.substr(0, text.size() - 1);
            continue;
        }
        command += text;
        break;
    }
    return command;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The slide text of a stamped deck.
std::string slideTexts(const fs::path& deck) {
    return shellOutput("unzip -p " + shellQuote(deck.string()) + " 'ppt/slides/*.xml' 2>/dev/null");
}

// README, "Very large batches, many machines": the GNU parallel recipe, run on this machine (the
// sshlogin ":" is the local one; GNU parallel builds the command line the same way for either).
TEST(CliReadmeRecipe, ParallelRecipeStampsTheFooterAsWrittenAndSucceeds) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    if (!haveCommand("parallel") ||
        shellOutput("parallel --version 2>/dev/null").find("GNU parallel") == std::string::npos)
        GTEST_SKIP() << "GNU parallel not installed; skipping";
    std::string find = readmeCommand("find /mnt/share/decks");
    std::string parallel = readmeCommand("parallel ");
    ASSERT_FALSE(find.empty()) << "no find recipe in " << kReadme;
    ASSERT_FALSE(parallel.empty()) << "no parallel recipe in " << kReadme;
    // The text of --footer "...", and the hosts after -S, found by hand: std::regex draws false
    // warnings from GCC 12 in sanitizer builds.
    const std::size_t footerAt = parallel.find("--footer \"");
    ASSERT_NE(footerAt, std::string::npos) << parallel;
    const std::size_t textAt = footerAt + std::string("--footer \"").size();
    const std::size_t textEnd = parallel.find('"', textAt);
    ASSERT_NE(textEnd, std::string::npos) << parallel;
    const std::string footerText = parallel.substr(textAt, textEnd - textAt);
    ASSERT_NE(footerText.find(' '), std::string::npos) << "the recipe's footer is one word: " << parallel;

    TempDir tmp;
    fs::create_directories(tmp.path() / "share/decks/team a");
    fs::copy_file(kCorpus / kDeck, tmp.path() / "share/decks/team a/review.pptx");
    replaceAll(parallel, " trelwick-cli ", " " + shellQuote(TRELWICK_CLI_PATH) + " ");
    replaceAll(find, "/mnt/share", (tmp.path() / "share").string());
    replaceAll(parallel, "/mnt/share", (tmp.path() / "share").string());
    if (const std::size_t hosts = parallel.find("-S "); hosts != std::string::npos) {
        const std::size_t end = parallel.find(' ', hosts + 3);
        parallel.replace(hosts, (end == std::string::npos ? parallel.size() : end) - hosts, "-S :");
    }

    const std::string run = shellOutput("cd " + shellQuote(tmp.path().string()) + " && " + find + " && " +
                                        parallel + " 2>&1; echo \"exit $?\"");
    EXPECT_NE(run.find("exit 0"), std::string::npos) << parallel << "\n" << run;
    const std::string slides = slideTexts(tmp.path() / "share/stamped/review.pptx");
    EXPECT_NE(slides.find("<a:t>" + footerText + "</a:t>"), std::string::npos)
        << "the footer as the recipe writes it, not its first word\n"
        << parallel << "\n"
        << run;
}

// README: the xargs recipe on one machine, over a folder holding what folders of decks hold: a lock
// file of an open deck and the "._" file a Mac leaves on a share. The folder walk skips both; the
// recipe must not turn them into failures.
TEST(CliReadmeRecipe, XargsRecipeDoesNotFailOnLockAndHiddenFiles) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    std::string xargs = readmeCommand("find decks ");
    ASSERT_FALSE(xargs.empty()) << "no xargs recipe in " << kReadme;
    TempDir tmp;
    fs::create_directories(tmp.path() / "decks");
    fs::copy_file(kCorpus / kDeck, tmp.path() / "decks/review.pptx");
    tmp.write("decks/~$review.pptx", std::string("\x0cuser  ", 7) + std::string(150, '\0'));
    tmp.write("decks/._review.pptx", std::string("\x00\x05\x16\x07\x00\x02\x00\x00Mac OS X", 16));
    const std::string cli = shellQuote(TRELWICK_CLI_PATH);
    replaceAll(xargs, " trelwick-cli ", " " + cli + " ");

    const std::string run =
        shellOutput("cd " + shellQuote(tmp.path().string()) + " && " + xargs + " 2>&1; echo \"exit $?\"");
    EXPECT_NE(run.find("exit 0"), std::string::npos) << xargs << "\n" << run;
    EXPECT_TRUE(fs::is_regular_file(tmp.path() / "stamped/review.pptx")) << run;
}

// A deck stamped in place (the output folder is its own) is still its owner's: replacing it whole must
// not hand it to whoever ran the batch (here root), which with mode 0640 locks its owner out. So too
// for a batch run as root with only some of root's powers (a service allowed to give files away but
// not to change the mode of another's file): the mode is set while the file is still the writer's.
TEST(CliCorpus, StampingInPlaceKeepsTheOwnerGroupAndModeOfTheDeck) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file another owner needs root; skipping";
    constexpr uid_t kOwner = 65534;  // nobody
    constexpr gid_t kGroup = 65534;
    for (const std::string runner : {"", "setpriv --bounding-set=-fowner "}) {
        SCOPED_TRACE(runner.empty() ? "as root" : runner);
        TempDir tmp;
        const fs::path deck = tmp.path() / "decks/review.pptx";
        fs::create_directories(deck.parent_path());
        fs::copy_file(kCorpus / kDeck, deck);
        ASSERT_EQ(::chown(deck.c_str(), kOwner, kGroup), 0);
        ASSERT_EQ(::chmod(deck.c_str(), 0640), 0);

        const std::string folder = shellQuote(deck.parent_path().string());
        const std::string run = shellOutput(runner + shellQuote(TRELWICK_CLI_PATH) + " -o " + folder +
                                            " --footer F " + folder + " 2>&1; echo \"exit $?\"");
        EXPECT_NE(run.find("exit 0"), std::string::npos) << run;
        struct stat st {};
        ASSERT_EQ(::stat(deck.c_str(), &st), 0);
        EXPECT_NE(slideTexts(deck).find("<a:t>F</a:t>"), std::string::npos) << "stamped in place\n" << run;
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(st.st_uid, kOwner) << "the stamped deck changed hands";
        EXPECT_EQ(st.st_gid, kGroup) << "the stamped deck changed group";
        EXPECT_EQ(trelwick::testing::folderNames(deck.parent_path()),
                  std::vector<std::string>{"review.pptx"});
    }
}

// Stamped in place, a deck whose save cannot be put in place (here its rename fails) is told as a
// failure, naming it and why, and is left as it was; the decks before and after it are stamped.
TEST(CliCorpus, ADeckThatCannotBePutInPlaceIsToldAndLeftAsItWas) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    if (TRELWICK_UNDER_SANITIZER) GTEST_SKIP() << "a preloaded library would come before the sanitizer's";
    TempDir tmp;
    const fs::path folder = tmp.path() / "decks";
    fs::create_directories(folder);
    for (const char* name : {"a.pptx", "b.pptx", "c.pptx"}) {
        fs::copy_file(kCorpus / kDeck, folder / name);
        fs::permissions(folder / name, fs::perms::owner_write, fs::perm_options::add);
    }
    const std::string before = readFile(folder / "b.pptx");
    // Each deck replaced in place is renamed over once, in the order of the list.
    const std::string fault = std::to_string(kRename) + " 2 " + std::to_string(EIO) + " 0";
    const std::string run = shellOutput(
        "LD_PRELOAD=" + shellQuote(TRELWICK_SYSTEM_FAULTS) + " TRELWICK_SYSTEM_FAULT=" + shellQuote(fault) +
        " " + shellQuote(TRELWICK_CLI_PATH) + " -j 1 -o " + shellQuote(folder.string()) + " --footer F " +
        shellQuote(folder.string()) + " 2>&1; echo \"exit $?\"");
    EXPECT_NE(run.find("exit 1"), std::string::npos) << run;
    EXPECT_NE(run.find("b.pptx: cannot move the written file into place (Input/output error)"),
              std::string::npos)
        << run;
    EXPECT_NE(run.find("Stamped 2 of 3"), std::string::npos) << run;
    EXPECT_TRUE(readFile(folder / "b.pptx") == before) << "the deck that failed changed";
    for (const char* name : {"a.pptx", "c.pptx"})
        EXPECT_NE(slideTexts(folder / name).find("<a:t>F</a:t>"), std::string::npos) << name << "\n" << run;
    EXPECT_EQ(trelwick::testing::folderNames(folder),
              (std::vector<std::string>{"a.pptx", "b.pptx", "c.pptx"}));
}

// The summary is the one line a script reads from stdout; when it cannot be written (a full disk, a
// closed pipe) the run must not report success.
TEST(Cli, ASummaryThatCannotBeWrittenIsNotASuccess) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full; skipping";
    TempDir tmp;
    fs::copy_file(kCorpus / kDeck, tmp.path() / "review.pptx");
    const std::string run = shellOutput(
        shellQuote(TRELWICK_CLI_PATH) + " -o " + shellQuote((tmp.path() / "out").string()) + " " +
        shellQuote((tmp.path() / "review.pptx").string()) + " >/dev/full 2>/dev/null; echo \"exit $?\"");
    EXPECT_TRUE(fs::is_regular_file(tmp.path() / "out/review.pptx"));
    EXPECT_EQ(run.find("exit 0"), std::string::npos) << run;
}

// A script or a service may start a batch with its standard streams closed (`<&- >&- 2>&-`). A file
// opened then takes the lowest free number, so a deck or its temporary file became stderr, and a warning
// printed while it was written went into it: a deck reported stamped that no reader could open. Traced:
// no file of the run's folders is opened as 0, 1 or 2, the decks come out whole, and the closed stdout
// still fails the run.
TEST(Cli, DecksNeverTakeTheNumbersOfClosedStandardStreams) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    if (!haveCommand("strace") || !haveCommand("unzip") ||
        std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace or unzip not installed, or tracing not allowed here; skipping";
    TempDir tmp;
    fs::create_directories(tmp.path() / "in");
    // A signed deck: its warning is printed while the next deck is written.
    fs::copy_file(kCorpus / "poi__hello-world-signed.pptx", tmp.path() / "in/signed.pptx");
    fs::copy_file(kCorpus / kDeck, tmp.path() / "in/talk.pptx");
    const fs::path out = tmp.path() / "out";
    const fs::path trace = tmp.path() / "trace";
    const std::string cli = shellQuote(TRELWICK_CLI_PATH) + " -j1 -o " + shellQuote(out.string()) + " " +
                            shellQuote((tmp.path() / "in").string()) + " <&- >&- 2>&-";
    const std::string run = shellOutput(
        "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -qq -e trace=open,openat -o " +
        shellQuote(trace.string()) + " sh -c " + shellQuote("exec " + cli) + "; echo \"exit $?\"");
    EXPECT_NE(run.find("exit 1"), std::string::npos) << "a summary that cannot be written is no success\n"
                                                     << run;

    std::istringstream lines(readFile(trace));
    std::string line;
    std::size_t opened = 0;
    while (std::getline(lines, line)) {
        if (line.find(tmp.path().string()) == std::string::npos || line.find(" = ") == std::string::npos)
            continue;
        ++opened;
        const std::string number = line.substr(line.rfind(" = ") + 3);
        EXPECT_TRUE(number != "0" && number != "1" && number != "2") << line;
    }
    EXPECT_GT(opened, 0u) << "nothing of the run's folders in the trace:\n" << readFile(trace);
    for (const char* name : {"signed.pptx", "talk.pptx"})
        EXPECT_NE(shellOutput("unzip -tq " + shellQuote((out / name).string()) + " 2>&1").find("No errors"),
                  std::string::npos)
            << name;
}

// A deck nested as deep as decks may be (1,000 levels) is stamped also when the program was started
// with a small stack (`ulimit -s` sets the hard limit too): it once ended the whole batch with a
// segmentation fault, in the walks of the slide's groups.
TEST(Cli, DeeplyNestedDeckIsStampedUnderASmallStackLimit) {
    if (TRELWICK_UNDER_SANITIZER)
        GTEST_SKIP() << "a sanitizer's frames are larger than the program's; skipping";
    if (!haveCommand("unzip")) GTEST_SKIP() << "unzip not installed; skipping";
    TempDir tmp;
    const fs::path sample = fs::path(TRELWICK_SOURCE_DIR) / "filelist/samples/Quarterly-Review.pptx";
    trelwick::testing::Entries entries;
    for (const std::string& name : trelwick::testing::entryNames(sample)) {
        std::string text = trelwick::testing::readEntry(sample, name);
        if (name == "ppt/slides/slide1.xml") {
            std::string groups;
            for (int i = 0; i < 990; ++i)
                groups += R"(<p:grpSp><p:nvGrpSpPr><p:cNvPr id=")" + std::to_string(5000 + i) +
                          R"(" name="g"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>)";
            for (int i = 0; i < 990; ++i) groups += "</p:grpSp>";
            text.replace(text.find("</p:spTree>"), 0, groups);
        }
        entries.emplace_back(name, std::move(text));
    }
    trelwick::testing::writeZip(tmp.path() / "deep.pptx", entries);
    for (const char* jobs : {"-j1", "-j2"}) {
        SCOPED_TRACE(jobs);
        const fs::path out = tmp.path() / (std::string("out") + jobs);
        const std::string cli = shellQuote(TRELWICK_CLI_PATH) + " " + jobs + " -o " +
                                shellQuote(out.string()) + " --footer Deep --slide-number " +
                                shellQuote((tmp.path() / "deep.pptx").string());
        const std::string run = shellOutput("(ulimit -s 256 && exec " + cli + ") 2>&1; echo \"exit $?\"");
        EXPECT_NE(run.find("exit 0"), std::string::npos) << run;
        EXPECT_NE(slideTexts(out / "deep.pptx").find("<a:t>Deep</a:t>"), std::string::npos) << run;
    }
}

// Several calls share one stderr in the README's recipes (xargs -P 2, a log file appended to by every
// call): a line is whole there only if it reaches stderr in one write, else the lines of two calls
// interleave ("trelwick-clitrelwick-cli: : a.pptx: ...") and a script reading the failed decks off
// stderr reads wrong names. Counted with strace: one write to stderr per line.
TEST(Cli, EachMessageLineReachesStderrInOneWrite) {
    if (!haveCommand("strace") || std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace not installed or not allowed here; skipping";
    TempDir tmp;
    tmp.write("in/one.pptx", "not a deck");
    tmp.write("in/two.pptx", "not a deck either");
    const fs::path trace = tmp.path() / "trace";
    // Under a sanitizer build the leak check writes lines of its own when traced.
    shellOutput(
        "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -qq -e trace=write -o " +
        shellQuote(trace.string()) + " " + shellQuote(TRELWICK_CLI_PATH) + " -j1 -o " +
        shellQuote((tmp.path() / "out").string()) + " " + shellQuote((tmp.path() / "in").string()) +
        " >/dev/null 2>&1");
    std::istringstream lines(readFile(trace));
    std::string line;
    std::size_t writes = 0;
    while (std::getline(lines, line))
        if (line.find("write(2, ") != std::string::npos) ++writes;
    EXPECT_EQ(writes, 2u) << "two failed decks, two lines, two writes\n" << readFile(trace);
}

}  // namespace
}  // namespace trelwick::cli
