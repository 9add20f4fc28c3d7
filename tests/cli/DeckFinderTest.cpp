#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "DeckFinder.h"
#include "common/Permissions.h"
#include "common/TempDir.h"

namespace fs = std::filesystem;

namespace trelwick::cli {
namespace {

using trelwick::testing::TempDir;

std::vector<std::string> relativeSources(const DeckList& list, const fs::path& base) {
    std::vector<std::string> names;
    for (const DeckJob& deck : list.decks)
        names.push_back(deck.source.lexically_relative(base).generic_string());
    return names;
}

struct NameCase {
    const char* name;
    bool presentation;
    bool skipped;
};

class DeckFinderNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeckFinderNames, ClassifiesTheName) {
    EXPECT_EQ(DeckFinder::isPresentationName(GetParam().name), GetParam().presentation);
    EXPECT_EQ(DeckFinder::isSkippedName(GetParam().name), GetParam().skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeckFinderNames,
    ::testing::Values(NameCase{"a.pptx", true, false}, NameCase{"a.pptm", true, false},
                      NameCase{"a.potx", true, false}, NameCase{"a.potm", true, false},
                      NameCase{"a.ppsx", true, false}, NameCase{"a.ppsm", true, false},
                      NameCase{"UPPER.PPTX", true, false}, NameCase{"Mixed.PpSm", true, false},
                      NameCase{"dir/x.pptx", true, false}, NameCase{"a.ppt", true, false},
                      NameCase{"a.POT", true, false}, NameCase{"a.pps", true, false},
                      NameCase{"a.ppa", false, false}, NameCase{"~$old.ppt", true, true},
                      NameCase{"a.pptx.bak", false, false}, NameCase{"pptx", false, false},
                      NameCase{"a.docx", false, false}, NameCase{"~$a.pptx", true, true},
                      NameCase{".hidden.pptx", true, true}, NameCase{".~lock.a.pptx#", false, true}),
    [](const ::testing::TestParamInfo<NameCase>& info) {
        // File names carry characters a test name cannot; the index keeps "a.pptx" and "a_pptx" apart.
        std::string name = std::to_string(info.index) + "_";
        for (const char c : std::string(info.param.name))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

class DeckFinderWalk : public ::testing::Test {
  protected:
    TempDir tmp;
    fs::path out() const { return tmp.path() / "out"; }
};

TEST_F(DeckFinderWalk, WalksFoldersRecursivelyForTheFamilySkippingHiddenAndLockFiles) {
    for (const char* file : {"in/a.pptx", "in/b.PPTM", "in/c.potx", "in/d.potm", "in/e.ppsx", "in/f.ppsm",
                             "in/sub/deeper/g.pptx", "in/old.ppt", "in/show.pps", "in/plan.pot",
                             "in/notes.txt", "in/~$a.pptx", "in/~$old.ppt", "in/.h.pptx", "in/.~lock.a.pptx#",
                             "in/.git/i.pptx", "in/~tmp/j.pptx", "in/sub/k.pptx.bak", "in/sub/k.ppt.bak"})
        tmp.write(file, "x");
    const DeckList list = DeckFinder(out()).find({tmp.path() / "in"});
    EXPECT_TRUE(list.refused.empty());
    EXPECT_EQ(relativeSources(list, tmp.path()),
              (std::vector<std::string>{"in/a.pptx", "in/b.PPTM", "in/c.potx", "in/d.potm", "in/e.ppsx",
                                        "in/f.ppsm", "in/old.ppt", "in/plan.pot", "in/show.pps",
                                        "in/sub/deeper/g.pptx"}));
}

// A pipe or socket in a walked folder is no deck, whatever its name: taken as one, it failed the run.
TEST_F(DeckFinderWalk, APipeWithADecksNameIsNotTakenFromAFolder) {
    tmp.write("in/a.pptx", "x");
    ASSERT_EQ(::mkfifo((tmp.path() / "in/pipe.pptx").c_str(), 0600), 0);
    const DeckList list = DeckFinder(out()).find({tmp.path() / "in"});
    EXPECT_TRUE(list.refused.empty());
    EXPECT_EQ(relativeSources(list, tmp.path()), std::vector<std::string>{"in/a.pptx"});
}

// Names are bytes here: a folder or deck named in Latin-1 is walked and taken like any other, where
// the window can only tell the user to rename it.
TEST_F(DeckFinderWalk, NamesThatAreNotUtf8AreWalkedAndKeptAsTheyAre) {
    for (const char* file : {"in/caf\xe9/a.pptx", "in/caf\xe9/sub/b.pptx", "in/na\xefve.pptx"})
        tmp.write(file, "x");
    const DeckList list = DeckFinder(out()).find({tmp.path() / "in"});
    EXPECT_TRUE(list.refused.empty());
    EXPECT_EQ(relativeSources(list, tmp.path()),
              (std::vector<std::string>{"in/caf\xe9/a.pptx", "in/caf\xe9/sub/b.pptx", "in/na\xefve.pptx"}));
    ASSERT_EQ(list.decks.size(), 3u);
    EXPECT_EQ(list.decks[2].target, out() / "na\xefve.pptx");
}

TEST_F(DeckFinderWalk, AFileKeepsItsNameInTheOutputFolder) {
    const fs::path deck = tmp.write("in/sub/Quarterly Report.pptx", "x");
    const DeckList list = DeckFinder(out()).find({tmp.path() / "in"});
    ASSERT_EQ(list.decks.size(), 1u);
    EXPECT_EQ(list.decks[0].source, deck);
    EXPECT_EQ(list.decks[0].target, out() / "Quarterly Report.pptx");
}

TEST_F(DeckFinderWalk, FilesGivenExplicitlyAreTakenWhateverTheirName) {
    // The engine judges content, so an oddly named file reaches it and fails there.
    const fs::path ppt = tmp.write("old.txt", "x");
    const fs::path lock = tmp.write("~$a.pptx", "x");
    const DeckList list = DeckFinder(out()).find({ppt, lock});
    EXPECT_EQ(list.decks.size(), 2u);
}

TEST_F(DeckFinderWalk, SecondInputWithTheSameNameIsRefused) {
    tmp.write("one/deck.pptx", "1");
    tmp.write("two/deck.pptx", "2");
    tmp.write("three/DECK.pptx", "3");
    const DeckList list =
        DeckFinder(out()).find({tmp.path() / "one", tmp.path() / "two", tmp.path() / "three"});
    ASSERT_EQ(list.decks.size(), 1u);
    EXPECT_EQ(list.decks[0].source, tmp.path() / "one/deck.pptx");
    ASSERT_EQ(list.refused.size(), 2u);
    EXPECT_EQ(list.refused[0].source, tmp.path() / "two/deck.pptx");
    EXPECT_EQ(list.refused[0].reason, "another input of that name, " +
                                          (tmp.path() / "one/deck.pptx").string() + ", is saved as " +
                                          (out() / "deck.pptx").string() + "; this one is not stamped");
    EXPECT_EQ(list.refused[1].source, tmp.path() / "three/DECK.pptx");
    // The output folder does not exist yet, so it cannot tell whether DECK.pptx would replace deck.pptx.
    EXPECT_EQ(list.refused[1].reason.rfind("another input of the same name apart from case, ", 0), 0u)
        << list.refused[1].reason;
}

TEST_F(DeckFinderWalk, NamesDifferingInCaseOutsideAsciiAreOneWhereTheFolderCannotTellThemApart) {
    // exFAT, NTFS, SMB shares and macOS fold "É" and "é" as they fold "D" and "d": one output file.
    tmp.write(
        "one/\xc3\x89"
        "clair.pptx",
        "1");  // Éclair.pptx
    tmp.write(
        "two/\xc3\xa9"
        "clair.pptx",
        "2");                                                                       // éclair.pptx
    tmp.write("three/\xce\xa3\xce\xa7\xce\x95\xce\x94\xce\x99\xce\x9f.pptx", "3");  // ΣΧΕΔΙΟ.pptx
    tmp.write("four/\xcf\x83\xcf\x87\xce\xb5\xce\xb4\xce\xb9\xce\xbf.pptx", "4");   // σχεδιο.pptx
    // The output folder does not exist yet, so it cannot tell: then neither may replace the other.
    const DeckList list = DeckFinder(out()).find(
        {tmp.path() / "one", tmp.path() / "two", tmp.path() / "three", tmp.path() / "four"});
    EXPECT_EQ(list.decks.size(), 2u);
    ASSERT_EQ(list.refused.size(), 2u);
    EXPECT_EQ(list.refused[0].source, tmp.path() /
                                          "two/\xc3\xa9"
                                          "clair.pptx");
    EXPECT_EQ(list.refused[1].source,
              tmp.path() / "four/\xcf\x83\xcf\x87\xce\xb5\xce\xb4\xce\xb9\xce\xbf.pptx");
}

TEST_F(DeckFinderWalk, AWordEndingInSigmaIsOneNameWithItsCapitalsWhereTheFolderFoldsCase) {
    // exFAT and NTFS fold "ς" (final sigma) and "σ" both to "Σ": one output file for the two decks.
    tmp.write("one/\xcf\x84\xce\xb5\xce\xbb\xce\xb9\xce\xba\xcf\x8c\xcf\x82.pptx", "1");  // τελικός.pptx
    tmp.write("two/\xce\xa4\xce\x95\xce\x9b\xce\x99\xce\x9a\xce\x8c\xce\xa3.pptx", "2");  // ΤΕΛΙΚΌΣ.pptx
    // The output folder does not exist yet, so it cannot tell: then neither may replace the other.
    const DeckList list = DeckFinder(out()).find({tmp.path() / "one", tmp.path() / "two"});
    EXPECT_EQ(list.decks.size(), 1u) << "both decks would be saved under one name on exFAT";
    EXPECT_EQ(list.refused.size(), 1u);
}

TEST_F(DeckFinderWalk, NamesDifferingInCaseAreTwoWhereTheFileSystemKeepsThemApart) {
    // A folder holding both can only be on such a file system: stamped in place, each keeps its name.
    tmp.write("decks/A.ppt", "1");
    if (fs::exists(tmp.path() / "decks/a.ppt"))
        GTEST_SKIP() << "the temporary folder does not keep names apart by case";
    tmp.write("decks/a.ppt", "2");
    const DeckList inPlace = DeckFinder(tmp.path() / "decks").find({tmp.path() / "decks"});
    EXPECT_TRUE(inPlace.refused.empty());
    EXPECT_EQ(inPlace.decks.size(), 2u);

    // Into an empty output folder, the folder itself is asked, and nothing of the asking is left.
    tmp.write("one/Deck.pptx", "1");
    tmp.write("two/deck.pptx", "2");
    fs::create_directories(out());
    const DeckList list = DeckFinder(out()).find({tmp.path() / "one", tmp.path() / "two"});
    EXPECT_TRUE(list.refused.empty());
    ASSERT_EQ(list.decks.size(), 2u);
    EXPECT_EQ(list.decks[1].target, out() / "deck.pptx");
    EXPECT_TRUE(fs::is_empty(out()));
}

TEST_F(DeckFinderWalk, ADeckInTheOutputFolderKeepsItsNameOverOneFoundBefore) {
    // Stamping a folder in place: the subfolder's deck sorts first, and saved under the shared name it
    // would replace the other deck before that one's turn.
    tmp.write("decks/2024/summary.pptx", "old");
    const fs::path own = tmp.write("decks/summary.pptx", "own");
    const DeckList list = DeckFinder(tmp.path() / "decks").find({tmp.path() / "decks"});
    ASSERT_EQ(list.decks.size(), 1u);
    EXPECT_EQ(list.decks[0].source, own);
    EXPECT_EQ(list.decks[0].target, tmp.path() / "decks" / "summary.pptx");
    ASSERT_EQ(list.refused.size(), 1u);
    EXPECT_EQ(list.refused[0].source, tmp.path() / "decks/2024/summary.pptx");

    // The same with files named one by one, the one in the output folder last.
    const fs::path other = tmp.write("elsewhere/summary.pptx", "other");
    const DeckList named = DeckFinder(tmp.path() / "decks").find({other, own});
    ASSERT_EQ(named.decks.size(), 1u);
    EXPECT_EQ(named.decks[0].source, own);
    ASSERT_EQ(named.refused.size(), 1u);
    EXPECT_EQ(named.refused[0].source, other);
    EXPECT_NE(named.refused[0].reason.find(own.string()), std::string::npos) << named.refused[0].reason;
}

TEST_F(DeckFinderWalk, TheSameFileReachedTwiceIsStampedOnce) {
    const fs::path deck = tmp.write("in/deck.pptx", "x");
    fs::create_symlink(deck, tmp.path() / "deck.pptx");
    const DeckList list = DeckFinder(out()).find(
        {deck, tmp.path() / "in", tmp.path() / "in/../in/deck.pptx", tmp.path() / "deck.pptx"});
    EXPECT_EQ(list.decks.size(), 1u);
    EXPECT_TRUE(list.refused.empty());
}

TEST_F(DeckFinderWalk, ALinkUnderAnotherNameKeepsItsOwnOutput) {
    const fs::path deck = tmp.write("in/deck.pptx", "x");
    fs::create_hard_link(deck, tmp.path() / "in/copy.pptx");
    fs::create_symlink(deck, tmp.path() / "alias.pptx");
    const DeckList list = DeckFinder(out()).find({tmp.path() / "in", tmp.path() / "alias.pptx"});
    ASSERT_EQ(list.decks.size(), 3u);
    EXPECT_EQ(list.decks[0].target, out() / "copy.pptx");
    EXPECT_EQ(list.decks[1].target, out() / "deck.pptx");
    EXPECT_EQ(list.decks[2].target, out() / "alias.pptx");
    EXPECT_TRUE(list.refused.empty());
}

TEST_F(DeckFinderWalk, MissingPathIsRefusedAndTheRestGoOn) {
    tmp.write("in/a.pptx", "x");
    // A link to nowhere is there for ls: it is named as a link, not as missing.
    fs::create_symlink(tmp.path() / "gone.pptx", tmp.path() / "link.pptx");
    const DeckList list =
        DeckFinder(out()).find({tmp.path() / "missing.pptx", tmp.path() / "link.pptx", tmp.path() / "in"});
    ASSERT_EQ(list.refused.size(), 2u);
    EXPECT_EQ(list.refused[0].reason, "no such file or folder");
    EXPECT_EQ(list.refused[1].reason,
              "it is a link to " + (tmp.path() / "gone.pptx").string() + ", which does not exist");
    EXPECT_EQ(list.decks.size(), 1u);
}

TEST_F(DeckFinderWalk, APathThatCannotBeFollowedIsNotCalledMissing) {
    // Two links naming each other: whether a deck lies beyond them cannot be told.
    fs::create_directory_symlink(tmp.path() / "b", tmp.path() / "a");
    fs::create_directory_symlink(tmp.path() / "a", tmp.path() / "b");
    const DeckList list = DeckFinder(out()).find({tmp.path() / "a/deck.pptx"});
    ASSERT_EQ(list.refused.size(), 1u);
    EXPECT_EQ(list.refused[0].reason.rfind("cannot be reached (", 0), 0u) << list.refused[0].reason;
}

TEST_F(DeckFinderWalk, OutputFolderInsideAnInputFolderIsNotWalked) {
    tmp.write("in/a.pptx", "x");
    tmp.write("in/stamped/a.pptx", "old output");
    const DeckList list = DeckFinder(tmp.path() / "in/stamped").find({tmp.path() / "in"});
    EXPECT_EQ(relativeSources(list, tmp.path()), std::vector<std::string>{"in/a.pptx"});
    EXPECT_TRUE(list.refused.empty());
}

TEST_F(DeckFinderWalk, OutputFolderEqualToTheInputFolderStampsInPlace) {
    const fs::path deck = tmp.write("in/a.pptx", "x");
    const DeckList list = DeckFinder(tmp.path() / "in").find({tmp.path() / "in"});
    ASSERT_EQ(list.decks.size(), 1u);
    EXPECT_EQ(list.decks[0].target, deck);
}

TEST_F(DeckFinderWalk, SymlinkedFolderLoopsAreNotFollowed) {
    tmp.write("in/a.pptx", "x");
    fs::create_directory_symlink(tmp.path() / "in", tmp.path() / "in/loop");
    const DeckList list = DeckFinder(out()).find({tmp.path() / "in"});
    EXPECT_EQ(list.decks.size(), 1u);
    EXPECT_TRUE(list.refused.empty());
}

TEST_F(DeckFinderWalk, UnreadableSubfolderIsRefusedAndTheRestGoOn) {
    tmp.write("in/a.pptx", "x");
    tmp.write("in/locked/b.pptx", "x");
    fs::permissions(tmp.path() / "in/locked", fs::perms::none);
    DeckList list;
    {
        const trelwick::testing::PermissionsBind bind;
        if (!bind.active()) GTEST_SKIP() << "running as root without a way to be held to permissions";
        list = DeckFinder(out()).find({tmp.path() / "in"});
    }
    fs::permissions(tmp.path() / "in/locked", fs::perms::owner_all);
    EXPECT_EQ(list.decks.size(), 1u);
    ASSERT_EQ(list.refused.size(), 1u);
    EXPECT_NE(list.refused[0].reason.find("cannot read the folder"), std::string::npos);
}

// A link to a folder is not followed, so a folder behind it that cannot be read hides nothing of the
// walk and must not fail the run.
TEST_F(DeckFinderWalk, ALinkToAFolderThatCannotBeReadIsPassedOver) {
    tmp.write("in/a.pptx", "x");
    tmp.write("elsewhere/locked/b.pptx", "x");
    fs::permissions(tmp.path() / "elsewhere/locked", fs::perms::none);
    fs::create_directory_symlink(tmp.path() / "elsewhere/locked", tmp.path() / "in/link");
    DeckList list;
    {
        const trelwick::testing::PermissionsBind bind;
        if (!bind.active()) GTEST_SKIP() << "running as root without a way to be held to permissions";
        list = DeckFinder(out()).find({tmp.path() / "in"});
    }
    fs::permissions(tmp.path() / "elsewhere/locked", fs::perms::owner_all);
    EXPECT_EQ(list.decks.size(), 1u);
    EXPECT_TRUE(list.refused.empty()) << list.refused[0].source << ": " << list.refused[0].reason;
}

TEST_F(DeckFinderWalk, EmptyFolderGivesNothing) {
    fs::create_directories(tmp.path() / "in");
    const DeckList list = DeckFinder(out()).find({tmp.path() / "in"});
    EXPECT_TRUE(list.decks.empty());
    EXPECT_TRUE(list.refused.empty());
}

}  // namespace
}  // namespace trelwick::cli
