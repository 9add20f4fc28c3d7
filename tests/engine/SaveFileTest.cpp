// The save path below Presentation: the temporary file that becomes the deck, the sweep of files a
// killed run left, and the zip records written for unusual packages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>

#include "AtomicFile.h"
#include "SourceFile.h"
#include "TestDeck.h"
#include "ZipLayout.h"
#include "ZipOutput.h"
#include "ZipPackage.h"
#include "common/Permissions.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

namespace fs = std::filesystem;

pid_t deadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

void touch(const fs::path& file, std::chrono::seconds age) {
    std::ofstream(file) << "partial";
    fs::last_write_time(file, fs::file_time_type::clock::now() - age);
}

TEST(AtomicFileTest, TemporaryNamesAreRecognisedExactly) {
    const struct {
        const char* name;
        bool temporary;
    } cases[] = {
        {".deck.pptx.trelwick-0badf00d-1234-abcdefgh", true},
        {".a b.ppt.trelwick-12345678-1-0000zzzz", true},
        {".deck.pptx.trelwick-1234-abcdefgh", true},            // without a host, as earlier versions wrote
        {".deck.pptx.trelwick-0badf00-1234-abcdefgh", false},   // seven hex digits
        {".deck.pptx.trelwick-0BADF00D-1234-abcdefgh", false},  // not as written
        {".deck.pptx.trelwick-0badf00d--abcdefgh", false},
        {"deck.pptx.trelwick-1234-abcdefgh", false},   // not hidden: a user's file
        {".deck.pptx.trelwick-1234-abcdefg", false},   // seven letters
        {".deck.pptx.trelwick-12x4-abcdefgh", false},  // no pid
        {".deck.pptx.trelwick--abcdefgh", false},
        {".trelwick-1234-abcdefgh", false},  // no deck name
        {".deck.pptx", false},
    };
    for (const auto& c : cases) EXPECT_EQ(AtomicFile::isTemporaryName(c.name), c.temporary) << c.name;
}

TEST(AtomicFileTest, StaleSweepRemovesOnlyLeftoversOfDeadOrLongGoneWriters) {
    TempDir dir;
    const std::string here = AtomicFile::hostTag() + "-";
    const std::string other =
        (AtomicFile::hostTag() == "0badf00d" ? "0badf00e" : "0badf00d") + std::string("-");
    const std::string dead = std::to_string(deadPid());
    const std::string alive = std::to_string(::getpid());
    touch(dir / (".a.pptx.trelwick-" + here + dead + "-aaaaaaaa"), std::chrono::minutes(5));  // dead writer
    touch(dir / (".b.pptx.trelwick-" + here + dead + "-bbbbbbbb"),
          std::chrono::seconds(0));  // clocks may differ
    touch(dir / (".c.pptx.trelwick-" + here + alive + "-cccccccc"),
          std::chrono::minutes(5));                                                           // still writing
    touch(dir / (".d.pptx.trelwick-" + here + alive + "-dddddddd"), std::chrono::hours(48));  // abandoned
    touch(dir / (".g.pptx.trelwick-" + other + dead + "-gggggggg"),
          std::chrono::minutes(5));  // its pid is not ours to test
    touch(dir / (".h.pptx.trelwick-" + other + dead + "-hhhhhhhh"), std::chrono::hours(48));  // abandoned
    touch(dir / (".i.pptx.trelwick-" + dead + "-iiiiiiii"), std::chrono::minutes(5));  // no host: as before
    touch(dir / ".e.pptx.trelwick-notes", std::chrono::hours(48));                     // not ours
    touch(dir / "f.pptx", std::chrono::hours(48));

    EXPECT_EQ(AtomicFile::removeStale(dir.path()), 4u);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{
                               ".b.pptx.trelwick-" + here + dead + "-bbbbbbbb",
                               ".c.pptx.trelwick-" + here + alive + "-cccccccc", ".e.pptx.trelwick-notes",
                               ".g.pptx.trelwick-" + other + dead + "-gggggggg", "f.pptx"}));
}

// Reading a folder of many files costs more than the save: only a save that may have left something
// behind there (replacing a file) sweeps it.
TEST(AtomicFileTest, OnlyAReplacingSaveSweepsTheFolder) {
    TempDir dir;
    const std::string stale =
        ".a.pptx.trelwick-" + AtomicFile::hostTag() + "-" + std::to_string(deadPid()) + "-aaaaaaaa";
    touch(dir / stale, std::chrono::minutes(5));
    {
        AtomicFile file(dir / "new.pptx");
        file.write("new");
        file.commit();
    }
    const bool named = ::access("/proc/self/fd", X_OK) != 0;  // without /proc every save is named
    EXPECT_EQ(fs::exists(dir / stale), !named) << "adding a file read the folder";
    {
        AtomicFile file(dir / "new.pptx");
        file.write("newer");
        file.commit();
    }
    EXPECT_FALSE(fs::exists(dir / stale)) << "replacing a file left the leftover";
    EXPECT_EQ(readFile(dir / "new.pptx"), "newer");
}

// Saving into a folder as root (a shared folder, a scheduled job) must not give the users' decks away.
TEST(AtomicFileTest, AReplacedFileKeepsItsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to create a file owned by another user";
    TempDir dir;
    const fs::path target = dir / "deck.pptx";
    writeFile(target, "old");
    ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    AtomicFile file(target);
    file.write("new");
    file.commit();
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(target), "new");
}

// A link in the target's place is replaced by a new file, not taken for the file it points to: that
// file's read-only mode (or, for root, its owner) would make the new deck another's or read-only, and
// the window then refuses to save over it at the next run.
TEST(AtomicFileTest, ALinkReplacedByTheFileGivesItNoneOfThePointedToFilesPermissions) {
    TempDir dir;
    const fs::path elsewhere = dir / "kept.pptx";
    const fs::path target = dir / "deck.pptx";
    writeFile(elsewhere, "kept");
    ASSERT_EQ(::chmod(elsewhere.c_str(), 0400), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(elsewhere.c_str(), 65534, 65534), 0);
    }
    fs::create_symlink(elsewhere, target);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    AtomicFile file(target);
    file.write("new");
    file.commit();
    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(readFile(elsewhere), "kept");
    ASSERT_EQ(::stat(elsewhere.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0400u);
}

std::string attribute(const fs::path& file, const char* name) {
    std::string value(256, '\0');
    const ssize_t n = ::getxattr(file.c_str(), name, value.data(), value.size());
    return n < 0 ? std::string("(none)") : value.substr(0, static_cast<std::size_t>(n));
}

// An access list giving a colleague read access, or a tag a user's tools gave the deck, must not
// vanish when the deck is stamped in its own folder.
TEST(AtomicFileTest, AReplacedFileKeepsItsExtendedAttributesAndAccessList) {
    TempDir dir;
    const fs::path target = dir / "deck.pptx";
    writeFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    if (::setxattr(target.c_str(), "user.project", "Apollo", 6, 0) != 0)
        GTEST_SKIP() << "the temporary folder's file system keeps no user attributes ("
                     << std::strerror(errno) << ")";
    // A POSIX access list as the kernel stores it: owner rw, user 65534 r, group r, mask r, others none.
    const std::uint32_t acl[] = {2,          0x00060001, 0xFFFFFFFF, 0x00040002, 65534,     0x00040004,
                                 0xFFFFFFFF, 0x00040010, 0xFFFFFFFF, 0x00000020, 0xFFFFFFFF};
    const std::string list(reinterpret_cast<const char*>(acl), sizeof acl);
    const bool withAcl =
        ::setxattr(target.c_str(), "system.posix_acl_access", list.data(), list.size(), 0) == 0;
    AtomicFile file(target);
    file.write("new");
    file.commit();
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(attribute(target, "user.project"), "Apollo");
    if (withAcl) {
        EXPECT_EQ(attribute(target, "system.posix_acl_access"), list);
    }
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A new file takes none from anywhere.
    AtomicFile fresh(dir / "new.pptx");
    fresh.write("x");
    fresh.commit();
    EXPECT_EQ(attribute(dir / "new.pptx", "user.project"), "(none)");
}

// Linux's own file systems keep "Deck" and "deck" apart; the probe asking that leaves nothing behind,
// and a folder that cannot be asked is taken to fold them (so no save replaces another).
TEST(FolderCaseTest, AskedOfTheFolderItselfLeavingNothing) {
    TempDir dir;
    EXPECT_TRUE(keepsCaseApart(dir.path()));
    EXPECT_TRUE(dir.names().empty());
    EXPECT_FALSE(keepsCaseApart(dir / "missing"));
}

// Names one where exFAT's and NTFS's upcase tables make them one, apart where they keep them apart;
// bytes that are no UTF-8 stay as they are.
TEST(FolderCaseTest, NamesFoldAsFileSystemsThatIgnoreCaseFoldThem) {
    auto same = [](const char* a, const char* b) { return foldedCase(a) == foldedCase(b); };
    EXPECT_TRUE(same("Deck.PPTX", "deck.pptx"));
    EXPECT_TRUE(
        same("\xC3\x89"
             "clair.pptx",
             "\xC3\xA9"
             "clair.pptx"));  // Éclair, éclair
    EXPECT_TRUE(same("\xCE\xA3\xCE\xA7\xCE\x95\xCE\x94", "\xCF\x83\xCF\x87\xCE\xB5\xCE\xB4"));  // ΣΧΕΔ, σχεδ
    EXPECT_TRUE(same("\xCF\x83\xCF\x82", "\xCE\xA3\xCE\xA3"));                                  // σς, ΣΣ
    EXPECT_TRUE(same("\xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD", "\xD0\xBF\xD0\xBB\xD0\xB0\xD0\xBD"));  // План, план
    EXPECT_FALSE(same("\xC4\xB0zmir", "izmir")) << "İ and i are two letters to exFAT";
    EXPECT_FALSE(same("a.pptx", "b.pptx"));
    EXPECT_EQ(foldedCase("caf\xE9 \xED\xA0\x80.ppt"), "CAF\xE9 \xED\xA0\x80.PPT") << "Latin-1, a surrogate";
    EXPECT_EQ(foldedCase("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

TEST(AtomicFileTest, AnUncommittedFileLeavesNothingAndACommittedOneAppearsWhole) {
    TempDir dir;
    {
        AtomicFile file(dir / "abandoned.pptx");
        file.write("half of a deck");
    }
    EXPECT_TRUE(dir.names().empty());

    const mode_t umask = ::umask(0);
    ::umask(umask);
    // A new file, then files whose permissions a usual umask allows and does not allow.
    for (const mode_t existing : {mode_t{0}, mode_t{0640}, mode_t{0666}}) {
        SCOPED_TRACE(existing ? "replacing" : "new");
        const fs::path target = dir / "deck.pptx";
        if (existing) {
            writeFile(target, "old");
            ::chmod(target.c_str(), existing);
        }
        AtomicFile file(target);
        file.write("new ");
        file.write("deck");
        if (existing) {
            EXPECT_EQ(readFile(target), "old") << "untouched until committed";
        } else {
            EXPECT_FALSE(fs::exists(target)) << "absent until committed";
        }
        file.commit();
        EXPECT_EQ(readFile(target), "new deck");
        EXPECT_EQ(dir.names(), std::vector<std::string>{"deck.pptx"}) << "no temporary name is left";
        struct stat st {};
        ::stat(target.c_str(), &st);
        if (existing) {
            EXPECT_EQ(st.st_mode & 0777, existing) << "the replaced file's permissions are kept";
        } else {
            EXPECT_EQ(st.st_mode & 0777, 0666 & ~umask) << "a new file gets what the umask leaves";
        }
        fs::remove(target);
    }
}

TEST(AtomicFileTest, ANameOfAnyAllowedLengthIsReplaced) {
    TempDir dir;
    std::string accented(124, 'N');
    for (int i = 0; i < 63; ++i) accented += "\xC3\xA9";  // two bytes each
    // Names of the longest length allowed, 255 bytes: the hidden name an existing file is replaced
    // through has to be cut shorter, and at a character boundary.
    for (const std::string& name : {std::string(250, 'N') + ".pptx", accented + ".pptx"}) {
        SCOPED_TRACE(name);
        const fs::path target = dir / name;
        writeFile(target, "old");
        AtomicFile file(target);
        file.write("new");
        file.commit();
        EXPECT_EQ(readFile(target), "new");
        EXPECT_EQ(dir.names(), std::vector<std::string>{name}) << "no temporary name is left";
        fs::remove(target);
    }
}

// Both are found only once creating the temporary file has been tried, so each must still be named.
TEST(PendingSaveTest, ATargetThatIsAFolderOrAMissingFolderIsNamedAndNothingIsWritten) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}), false);
    fs::create_directory(dir / "taken.pptx");
    Presentation deck = Presentation::open(dir / "deck.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {dir / "taken.pptx", "the target is a folder"},
        {dir / "missing" / "deck.pptx", "the output folder does not exist"},
    };
    for (const auto& [target, why] : cases) {
        SCOPED_TRACE(target.string());
        try {
            deck.prepareSave(target);
            ADD_FAILURE() << "saved";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::WriteFailed);
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"deck.pptx", "taken.pptx"}));
    EXPECT_TRUE(fs::is_empty(dir / "taken.pptx"));
}

TEST(PendingSaveTest, NothingMovesUntilCommitAndAnAbandonedSaveLeavesNoTrace) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}), false);
    const std::string source = readFile(dir / "deck.pptx");
    {
        Presentation deck = Presentation::open(dir / "deck.pptx");
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
        PendingSave abandoned = deck.prepareSave(dir / "deck.pptx");
        EXPECT_EQ(abandoned.target(), dir / "deck.pptx");
    }
    EXPECT_EQ(readFile(dir / "deck.pptx"), source) << "an uncommitted save changed its target";
    EXPECT_EQ(dir.names(), std::vector<std::string>{"deck.pptx"}) << "an abandoned save left a file";

    // Stamped in place: the deck is closed before its save is committed, as a batch does.
    std::optional<PendingSave> pending;
    {
        Presentation deck = withSlideFooter(dir / "deck.pptx", "Committed later");
        pending.emplace(deck.prepareSave(dir / "deck.pptx"));
    }
    EXPECT_EQ(readFile(dir / "deck.pptx"), source);
    pending->commit();
    EXPECT_EQ(Presentation::open(dir / "deck.pptx").element(MasterKind::Slide, Element::Footer).text,
              "Committed later");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"deck.pptx"});
    try {
        pending->commit();
        ADD_FAILURE() << "a second commit succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::WriteFailed);
    }
}

// A deferred save takes its stamped deck and writes it only when asked (on the thread that commits
// it, in a batch); a write that fails leaves nothing and stops no other save committed with it.
TEST(PendingSaveTest, ADeferredDeckIsWrittenWhenItsSaveIsAndNotBefore) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}), false);
    fs::copy_file(dir / "deck.pptx", dir / "source-a.pptx");
    auto deferred = [&](const fs::path& source, const fs::path& target, const std::string& footer) {
        return withSlideFooter(source, footer).deferSave(target);
    };
    PendingSave a = deferred(dir / "source-a.pptx", dir / "a.pptx", "A"),
                b = deferred(dir / "deck.pptx", dir / "missing" / "b.pptx", "B"),
                c = deferred(dir / "deck.pptx", dir / "c.pptx", "C");
    EXPECT_FALSE(a.written());

    a.write();
    EXPECT_TRUE(a.written());
    a.write();  // once written, nothing more
    // Written now: what its source holds later is no concern of the save.
    fs::resize_file(dir / "source-a.pptx", 0);
    fs::remove(dir / "source-a.pptx");

    const std::vector<PendingSave::Committed> results = PendingSave::commitAll({&a, &b, &c});
    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[0].failure);
    ASSERT_TRUE(results[1].failure);
    try {
        std::rethrow_exception(results[1].failure);
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::WriteFailed);
        EXPECT_NE(std::string(e.what()).find("the output folder does not exist"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(results[2].failure);
    EXPECT_EQ(Presentation::open(dir / "a.pptx").element(MasterKind::Slide, Element::Footer).text, "A");
    EXPECT_EQ(Presentation::open(dir / "c.pptx").element(MasterKind::Slide, Element::Footer).text, "C");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.pptx", "c.pptx", "deck.pptx"}));
    EXPECT_THROW(b.commit(), Error) << "a save whose write failed is spent";

    // Committed alone, a deferred save is written first; abandoned, it leaves nothing.
    deferred(dir / "deck.pptx", dir / "c.pptx", "C again").commit();
    EXPECT_EQ(Presentation::open(dir / "c.pptx").element(MasterKind::Slide, Element::Footer).text, "C again");
    { PendingSave abandoned = deferred(dir / "deck.pptx", dir / "d.pptx", "D"); }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.pptx", "c.pptx", "deck.pptx"}));
}

TEST(PendingSaveTest, SavesCommittedTogetherLandInTheirFoldersAndOneFailureStopsNoOther) {
    TempDir dir;
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "two");
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}), false);
    std::vector<PendingSave> saves;
    for (const fs::path& target : {dir / "one" / "a.pptx", dir / "two" / "b.pptx", dir / "one" / "c.pptx"}) {
        Presentation deck = withSlideFooter(dir / "deck.pptx", "Together");
        saves.push_back(deck.prepareSave(target));
    }
    // Another program puts a folder where the third deck is to go.
    fs::create_directories(dir / "one" / "c.pptx" / "inside");
    const std::vector<PendingSave*> all{&saves[0], &saves[1], &saves[2]};

    const std::vector<PendingSave::Committed> results = PendingSave::commitAll(all);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[0].failure);
    EXPECT_FALSE(results[1].failure);
    ASSERT_TRUE(results[2].failure);
    try {
        std::rethrow_exception(results[2].failure);
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::WriteFailed);
    }
    for (const fs::path& done : {dir / "one" / "a.pptx", dir / "two" / "b.pptx"})
        EXPECT_EQ(Presentation::open(done).element(MasterKind::Slide, Element::Footer).text, "Together")
            << done;
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir / "one"))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.pptx", "c.pptx"}))
        << "the failed save left its temporary file";
    EXPECT_TRUE(fs::is_directory(dir / "one" / "c.pptx"));

    for (const PendingSave::Committed& again : PendingSave::commitAll(all))
        EXPECT_TRUE(again.failure) << "a save was committed twice";
}

TEST(PendingSaveTest, ASaveLeavingItsFolderToTheCallerIsInPlaceAtOnce) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}), false);
    Presentation deck = withSlideFooter(dir / "deck.pptx", "Folder synced later");
    deck.saveAs(dir / "out.pptx", FolderSync::Later);
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text,
              "Folder synced later");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"deck.pptx", "out.pptx"}));
    EXPECT_NO_THROW(syncFolder(dir.path()));
    EXPECT_NO_THROW(syncFolder(dir / "no such folder")) << "syncing is best effort, as after every save";
}

// A drop box: a folder one may write to but not list. It cannot be opened to be synced, so its file
// system is; a save into it is put in place and its name reaches the disk all the same.
TEST(PendingSaveTest, AFolderThatCannotBeListedIsSyncedThroughItsFileSystem) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}), false);
    const fs::path drop = dir / "drop";
    fs::create_directory(drop);
    fs::permissions(drop, fs::perms::owner_write | fs::perms::owner_exec);
    {
        const trelwick::testing::PermissionsBind bind;
        if (!bind.active() || ::faccessat(AT_FDCWD, drop.c_str(), R_OK, AT_EACCESS) == 0) {
            fs::permissions(drop, fs::perms::owner_all);
            GTEST_SKIP() << "running as root without a way to be held to permissions";
        }
        Presentation deck = withSlideFooter(dir / "deck.pptx", "Dropped");
        deck.saveAs(drop / "out.pptx");
        EXPECT_TRUE(AtomicFile::syncFolder(drop)) << "the folder's names were not synced";
        EXPECT_FALSE(AtomicFile::syncFolder(drop / "no such folder"));
    }
    fs::permissions(drop, fs::perms::owner_all);
    EXPECT_EQ(Presentation::open(drop / "out.pptx").element(MasterKind::Slide, Element::Footer).text,
              "Dropped");
}

// Reads a little-endian dword.
std::uint32_t le32At(const std::string& s, std::size_t at) {
    return static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1]) << 8 |
           static_cast<std::uint8_t>(s[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24;
}

TEST(ZipOutputTest, MoreThan65535EntriesGetZip64RecordsAndAllSurvive) {
    TempDir dir;
    DeckPlan plan;
    for (int i = 0; i < 66000; ++i)
        plan.extraEntries.emplace_back("ppt/media/m" + std::to_string(i) + ".bin", "x");
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    Presentation deck = withSlideFooter(dir / "in.pptx", "F");
    deck.saveAs(dir / "out.pptx");

    const std::string bytes = readFile(dir / "out.pptx");
    EXPECT_NE(bytes.find(std::string("PK\x06\x06", 4)), std::string::npos)
        << "zip64 end of central directory";
    EXPECT_EQ(entryNames(dir / "out.pptx"), entryNames(dir / "in.pptx"));
    EXPECT_EQ(readEntry(dir / "out.pptx", "ppt/media/m65999.bin"), "x");
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text, "F");

    // Stamped again, the zip64 records are read back to copy the entries file to file.
    Presentation again = withSlideFooter(dir / "out.pptx", "G");
    again.saveAs(dir / "again.pptx");
    EXPECT_EQ(entryNames(dir / "again.pptx"), entryNames(dir / "in.pptx"));
    EXPECT_EQ(rawEntry(dir / "again.pptx", "ppt/media/m40000.bin"),
              rawEntry(dir / "in.pptx", "ppt/media/m40000.bin"));
}

// The offset of each entry's stored bytes as ZipLayout reads it, or nothing when it gives up.
std::optional<std::vector<std::uint64_t>> layoutOf(const std::string& bytes,
                                                   const std::vector<std::string>& names,
                                                   const std::vector<std::uint64_t>& sizes) {
    TempDir dir;
    writeFile(dir / "z.zip", bytes);
    const int fd = ::open((dir / "z.zip").c_str(), O_RDONLY);
    const auto layout = ZipLayout::read(fd, bytes.size(), names);
    std::optional<std::vector<std::uint64_t>> offsets;
    if (layout) {
        offsets.emplace();
        for (std::size_t i = 0; i < names.size(); ++i) {
            const auto at = layout->dataOffset(i, sizes[i]);
            if (!at) {
                offsets.reset();
                break;
            }
            offsets->push_back(*at);
        }
    }
    ::close(fd);
    return offsets;
}

TEST(ZipLayoutTest, FindsStoredBytesOrGivesUpOnAnythingUnexpected) {
    TempDir dir;
    writeZip(dir / "plain.zip", {{"a.xml", "alpha"}, {"b.bin", "bravo!"}}, true);
    const std::string plain = readFile(dir / "plain.zip");
    const std::vector<std::string> names{"a.xml", "b.bin"};
    const auto offsets = layoutOf(plain, names, {5, 6});
    ASSERT_TRUE(offsets);
    EXPECT_EQ(plain.substr((*offsets)[0], 5), "alpha");
    EXPECT_EQ(plain.substr((*offsets)[1], 6), "bravo!");

    std::string withComment = plain;
    withComment[withComment.size() - 2] = 4;  // comment length of the end record
    withComment += "note";
    EXPECT_TRUE(layoutOf(withComment, names, {5, 6})) << "a zip comment";
    // A line end added in transfer, after the end record; libzip reads such files too.
    const auto withLineEnd = layoutOf(plain + "\n", names, {5, 6});
    ASSERT_TRUE(withLineEnd) << "bytes after the end record";
    EXPECT_EQ(*withLineEnd, *offsets);
    EXPECT_TRUE(layoutOf(withComment + "\r\n", names, {5, 6})) << "a comment, then bytes after it";

    std::string otherLocalName = plain;
    otherLocalName[30] = 'A';  // the first local header's name: "A.xml" where the directory says "a.xml"
    std::string otherDisk = plain + "\n";
    otherDisk[otherDisk.size() - 1 - 22 + 4] = 1;  // the end record's disk number

    const struct {
        const char* what;
        std::string bytes;
        std::vector<std::string> names;
        std::vector<std::uint64_t> sizes;
    } refused[] = {
        {"a local header naming another entry", otherLocalName, names, {5, 6}},
        {"bytes after the end record of a zip spanning disks", otherDisk, names, {5, 6}},
        {"bytes in front shift every offset", "junk" + plain, names, {5, 6}},
        {"names disagree with libzip's", plain, {"a.xml", "c.bin"}, {5, 6}},
        {"fewer entries than libzip saw", plain, {"a.xml"}, {5}},
        {"a size past the end", plain, names, {5, 1u << 20}},
        {"no end record", plain.substr(0, plain.size() - 22), names, {5, 6}},
        {"a comment running past the end", withComment.substr(0, withComment.size() - 1), names, {5, 6}},
        {"empty", "", {}, {}},
    };
    for (const auto& c : refused) EXPECT_FALSE(layoutOf(c.bytes, c.names, c.sizes)) << c.what;
}

// Two decks of the corpus end with a line end after the zip's end record; read part by part (as a
// large deck is) or whole, such a deck stamps to the same bytes as without it.
TEST(ZipLayoutTest, ADeckWithBytesAfterItsEndStampsAsWithout) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}));
    writeFile(dir / "tail.pptx", readFile(dir / "deck.pptx") + "\n");
    Limits partByPart;
    partByPart.readWholeBelow = 0;
    for (const Limits& limits : {Limits{}, partByPart}) {
        for (const char* name : {"deck.pptx", "tail.pptx"}) {
            Presentation deck = withSlideFooter(dir / name, "Tail", limits);
            deck.saveAs(dir / (std::string("out-") + name));
        }
        EXPECT_EQ(readFile(dir / "out-tail.pptx"), readFile(dir / "out-deck.pptx"));
        EXPECT_EQ(Presentation::open(dir / "out-tail.pptx").element(MasterKind::Slide, Element::Footer).text,
                  "Tail");
    }
}

// A zip may carry a second directory that libzip does not read: one whose end record hides in the
// comment of the real one, or one the zip64 record names while the plain end record names another.
// Entries are copied from where libzip's directory says they lie, under libzip's checksums, or the
// copy would not match its checksum.
std::uint16_t le16At(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1])
                                                                             << 8);
}

void put16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void put32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void put64(std::string& s, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct ZipParts {
    std::string entries;    // the local headers and data
    std::string directory;  // the central directory
    std::uint16_t count = 0;
};

ZipParts splitZip(const std::string& zip) {
    const std::size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    ZipParts parts;
    parts.count = le16At(zip, end + 10);
    const std::uint32_t size = le32At(zip, end + 12), start = le32At(zip, end + 16);
    parts.entries = zip.substr(0, start);
    parts.directory = zip.substr(start, size);
    return parts;
}

// The central directory record of name: where it starts and how long it is.
std::pair<std::size_t, std::size_t> recordOf(const std::string& directory, const std::string& name) {
    for (std::size_t at = 0; at + 46 <= directory.size();) {
        const std::size_t length =
            46 + le16At(directory, at + 28) + le16At(directory, at + 30) + le16At(directory, at + 32);
        if (directory.compare(at + 46, le16At(directory, at + 28), name) == 0) return {at, length};
        at += length;
    }
    return {std::string::npos, 0};
}

TEST(ZipLayoutTest, EntriesAreCopiedFromTheDirectoryLibzipReadsNotFromAnother) {
    TempDir dir;
    const std::string name = "ppt/media/m.bin";
    DeckPlan plan;
    plan.extraEntries = {{name, std::string(4000, 'A')}};
    writeZip(dir / "a.zip", buildDeck(plan), true);
    plan.extraEntries = {{name, std::string(4000, 'B')}};
    writeZip(dir / "b.zip", buildDeck(plan), true);
    const ZipParts a = splitZip(readFile(dir / "a.zip"));
    const ZipParts b = splitZip(readFile(dir / "b.zip"));
    // The entry as b.zip holds it, placed after a.zip's entries.
    const auto [recordB, recordBLength] = recordOf(b.directory, name);
    ASSERT_NE(recordB, std::string::npos);
    const std::uint32_t localB = le32At(b.directory, recordB + 42);
    const std::size_t localBLength =
        30 + le16At(b.entries, localB + 26) + le16At(b.entries, localB + 28) + 4000;
    const std::string otherEntry = b.entries.substr(localB, localBLength);
    const std::uint32_t otherAt = static_cast<std::uint32_t>(a.entries.size());
    const auto [recordA, recordALength] = recordOf(a.directory, name);
    ASSERT_NE(recordA, std::string::npos);

    // The other directory names the other entry's bytes, under a's checksum (which libzip finds
    // inconsistent, so it keeps the first directory) or under b's whole record (which libzip reads).
    std::string offsetOnly = a.directory;
    offsetOnly.replace(recordA + 42, 4, std::string(reinterpret_cast<const char*>(&otherAt), 4));
    std::string wholeRecord = a.directory;
    std::string replacement = b.directory.substr(recordB, recordBLength);
    replacement.replace(42, 4, std::string(reinterpret_cast<const char*>(&otherAt), 4));
    wholeRecord.replace(recordA, recordALength, replacement);

    auto endRecord = [&](std::uint64_t size, std::uint64_t start, std::uint16_t comment) {
        std::string e;
        put32(e, 0x06054b50);
        put32(e, 0);
        put16(e, a.count);
        put16(e, a.count);
        put32(e, static_cast<std::uint32_t>(size));
        put32(e, static_cast<std::uint32_t>(start));
        put16(e, comment);
        return e;
    };
    const std::string head = a.entries + otherEntry;
    // 1: the second end record is the comment of the first, which libzip reads.
    {
        const std::string second = endRecord(offsetOnly.size(), head.size(), 0);
        const std::uint64_t realAt = head.size() + offsetOnly.size();
        writeFile(dir / "comment.pptx", head + offsetOnly + a.directory +
                                            endRecord(a.directory.size(), realAt, second.size()) + second);
    }
    // 2: the zip64 record names the other directory; libzip reads it whenever its locator is there.
    {
        const std::uint64_t realAt = head.size() + wholeRecord.size();
        const std::uint64_t recordAt = realAt + a.directory.size();
        std::string zip64;
        put32(zip64, 0x06064b50);
        put64(zip64, 44);
        put16(zip64, 45);
        put16(zip64, 45);
        put32(zip64, 0);
        put32(zip64, 0);
        put64(zip64, a.count);
        put64(zip64, a.count);
        put64(zip64, wholeRecord.size());
        put64(zip64, head.size());
        put32(zip64, 0x07064b50);
        put32(zip64, 0);
        put64(zip64, recordAt);
        put32(zip64, 1);
        writeFile(dir / "zip64.pptx",
                  head + wholeRecord + a.directory + zip64 + endRecord(a.directory.size(), realAt, 0));
    }
    Limits partByPart;
    partByPart.readWholeBelow = 0;
    for (const char* deckName : {"comment.pptx", "zip64.pptx"}) {
        const std::string expected = readEntry(dir / deckName, name);  // what libzip reads in the source
        for (const Limits& limits : {Limits{}, partByPart}) {
            Presentation deck = withSlideFooter(dir / deckName, "Which", limits);
            deck.saveAs(dir / "out.pptx");
            std::string copied;
            EXPECT_NO_THROW(copied = readEntry(dir / "out.pptx", name)) << deckName;
            EXPECT_TRUE(copied == expected)
                << deckName << ": copied \"" << copied.substr(0, 8) << "...\" where libzip reads \""
                << expected.substr(0, 8) << "...\"";
            EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text,
                      "Which");
        }
    }
}

TEST(ZipOutputTest, NamesOutsideAsciiAreMarkedUtf8AndStoredEntriesStayStored) {
    TempDir dir;
    DeckPlan plan;
    const std::string name = "ppt/media/b\xC3\xA4r.bin";
    plan.extraEntries = {{name, std::string(3000, 'z')}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    deck.saveAs(dir / "out.pptx");

    EXPECT_EQ(rawEntry(dir / "out.pptx", name), rawEntry(dir / "in.pptx", name));
    EXPECT_EQ(rawEntry(dir / "out.pptx", name).method, ZIP_CM_STORE);
    const std::string bytes = readFile(dir / "out.pptx");
    const std::size_t at = bytes.rfind(name);  // in the central directory, 46 bytes into its record
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(le32At(bytes, at - 46), 0x02014b50u);
    EXPECT_TRUE(static_cast<std::uint8_t>(bytes[at - 46 + 9]) & 0x08) << "general purpose bit 11";
    EXPECT_EQ(readEntry(dir / "out.pptx", name), std::string(3000, 'z'));
}

TEST(ZipOutputTest, MediaIsCopiedWithoutEverBeingInflated) {
    TempDir dir;
    DeckPlan plan;
    const std::string name = "ppt/media/video1.mp4";
    plan.extraEntries = {{name, std::string(5000, 'A')}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    // Relabel the stored entry as deflated: its bytes are then no valid deflate stream, and its
    // checksum is wrong, so any attempt to inflate it would fail.
    std::string bytes = readFile(dir / "in.pptx");
    for (std::size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1)) {
        if (le32At(bytes, at - 30) == 0x04034b50u) bytes[at - 30 + 8] = 8;
        if (at >= 46 && le32At(bytes, at - 46) == 0x02014b50u) bytes[at - 46 + 10] = 8;
    }
    writeFile(dir / "in.pptx", bytes);

    Presentation deck = withSlideFooter(dir / "in.pptx", "F");
    deck.saveAs(dir / "out.pptx");
    EXPECT_EQ(rawEntry(dir / "out.pptx", name), rawEntry(dir / "in.pptx", name));
    EXPECT_EQ(rawEntry(dir / "out.pptx", name).method, ZIP_CM_DEFLATE);
}

TEST(ZipOutputTest, LargeCopiedEntriesKeepTheirPlaceWithinAPageAndReadBackWhole) {
    TempDir dir;
    DeckPlan plan;
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes;
    // Lengths that leave every later entry at a different position within a page; one stays small.
    for (std::size_t i = 0; i < 5; ++i) {
        const std::size_t size = i == 2 ? 4000 : (300000 + 1237 * i);
        std::string content(size, '\0');
        for (std::size_t k = 0; k < size; ++k) content[k] = static_cast<char>((k * 131 + i * 7) % 251);
        names.push_back("ppt/media/image" + std::to_string(i + 1) + ".png");
        sizes.push_back(size);
        plan.extraEntries.push_back({names.back(), content});
    }
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    Presentation deck = withSlideFooter(dir / "in.pptx", "A footer long enough to move what follows it");
    deck.saveAs(dir / "out.pptx");

    // Where each media entry's bytes begin, by the zip's own directory.
    const auto offsetsIn = [&](const fs::path& file) {
        const std::vector<std::string> all = entryNames(file);
        std::vector<std::uint64_t> allSizes;
        for (const std::string& name : all) allSizes.push_back(rawEntry(file, name).bytes.size());
        const auto every = layoutOf(readFile(file), all, allSizes);
        std::vector<std::uint64_t> offsets;
        for (const std::string& name : names)
            if (every) offsets.push_back((*every)[std::find(all.begin(), all.end(), name) - all.begin()]);
        return every ? std::optional(offsets) : std::nullopt;
    };
    const auto before = offsetsIn(dir / "in.pptx");
    const auto after = offsetsIn(dir / "out.pptx");
    ASSERT_TRUE(before && after);
    const std::string out = readFile(dir / "out.pptx");
    std::size_t padded = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        if (sizes[i] >= 256 * 1024) {
            EXPECT_EQ((*before)[i] % 4096, (*after)[i] % 4096);
        }
        const std::size_t header = out.rfind(std::string("PK\x03\x04", 4), (*after)[i]);
        ASSERT_NE(header, std::string::npos);
        const std::size_t extra = le32At(out, header + 28) & 0xFFFF;
        EXPECT_EQ(header + 30 + names[i].size() + extra, (*after)[i]);
        padded += extra > 0;
        EXPECT_EQ(readEntry(dir / "out.pptx", names[i]), plan.extraEntries[i].second);
    }
    EXPECT_GE(padded, 1u) << "the stamped parts should have shifted the media, and padding put it back";
}

// The alignment field alone takes 6 bytes: a large entry 1 to 5 bytes short of its place within a
// page is put a page further on instead.
TEST(ZipOutputTest, ALargeEntryOfAnyDistanceFromItsPlaceInAPageIsPutThere) {
    TempDir dir;
    std::string large(300000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i % 253);
    const std::string small(100, 's');
    DeckPlan plan;
    plan.extraEntries = {{"ppt/media/small.bin", small}, {"ppt/media/large.bin", large}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    const auto package = ZipPackage::openFile(SourceFile::open(dir / "in.pptx"), Limits{});
    const std::uint64_t smallIndex = *package->indexOf("ppt/media/small.bin");
    const std::uint64_t largeIndex = *package->indexOf("ppt/media/large.bin");
    const std::string largeName = package->entryName(largeIndex);
    const std::uint64_t sourceAt = package->storedRange(largeIndex, large.size())->offset;

    for (const std::uint64_t shortBy : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 4095u}) {
        SCOPED_TRACE("short of its place by " + std::to_string(shortBy));
        // The small entry goes first, under a name whose length leaves the large one's bytes shortBy
        // before their place: two local headers, the small entry, the large one's name.
        const std::uint64_t fixed = 30 + small.size() + 30 + largeName.size();
        std::uint64_t nameLength = (sourceAt + 2 * 4096 - shortBy - fixed % 4096) % 4096;
        if (nameLength == 0) nameLength = 4096;
        const std::string smallName(nameLength, 'n');
        const fs::path out = dir / "out.zip";
        const int fd = ::open(out.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ZipOutput zip(fd, out.string());
        zip.copyEntry(*package, smallIndex, smallName, 0);
        zip.copyEntry(*package, largeIndex);
        zip.finish();
        ::close(fd);

        const std::string bytes = readFile(out);
        const std::size_t header = 30 + nameLength + small.size();
        ASSERT_EQ(le32At(bytes, header), 0x04034b50u);
        const std::size_t extra = le16At(bytes, header + 28);
        EXPECT_EQ(extra, shortBy == 0 ? 0 : shortBy < 6 ? shortBy + 4096 : shortBy);
        EXPECT_EQ((header + 30 + largeName.size() + extra) % 4096, sourceAt % 4096);
        if (extra > 0) {
            const std::size_t field = header + 30 + largeName.size();
            EXPECT_EQ(le16At(bytes, field), 0xD935u) << "the alignment field's ID";
            EXPECT_EQ(le16At(bytes, field + 2), extra - 4) << "the field's length";
        }
        EXPECT_TRUE(readEntry(out, largeName) == large);
        EXPECT_EQ(readEntry(out, smallName), small);
    }
}

TEST(ZipOutputTest, ACopyToAnotherFileSystemTakesTheSlowerWayWithTheSameResult) {
    TempDir dir;
    std::error_code ec;
    const fs::path other = fs::path("/dev/shm") / dir.path().filename();
    struct stat here {
    }, there{};
    if (!fs::is_directory("/dev/shm") || !fs::create_directory(other, ec) ||
        ::stat(dir.path().c_str(), &here) != 0 || ::stat(other.c_str(), &there) != 0 ||
        here.st_dev == there.st_dev) {
        fs::remove_all(other, ec);
        GTEST_SKIP() << "no second file system at /dev/shm to copy across";
    }
    DeckPlan plan;
    plan.extraEntries = {{"ppt/media/big.bin", std::string(1u << 20, 'q')}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    deck.saveAs(other / "out.pptx");
    deck.saveAs(dir / "same.pptx");
    EXPECT_EQ(readFile(other / "out.pptx"), readFile(dir / "same.pptx"));
    fs::remove_all(other, ec);
}

// A deck too large to be read whole has its local headers and small entries read a window at a time;
// entries of every size around the window's edges must come out as they went in.
TEST(ZipOutputTest, SmallEntriesOfALargeDeckAreCopiedWhateverWindowTheyFallIn) {
    TempDir dir;
    DeckPlan plan;
    std::mt19937 random(7);
    std::vector<std::string> names;
    std::uint32_t size = 0;
    for (int i = 0; i < 120; ++i) {
        size = (size * 7 + 1237) % 50000;  // from empty to past the largest read served from a window
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        names.push_back("ppt/media/m" + std::to_string(i) + ".bin");
        plan.extraEntries.emplace_back(names.back(), std::move(bytes));
    }
    plan.extraEntries.emplace_back("ppt/media/big.bin", std::string(300000, 'b'));  // copied on its own
    names.push_back("ppt/media/big.bin");
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    ASSERT_GT(fs::file_size(dir / "in.pptx"), Limits{}.readWholeBelow);

    Presentation deck = withSlideFooter(dir / "in.pptx", "F");
    deck.saveAs(dir / "out.pptx");
    for (const std::string& name : names)
        EXPECT_EQ(rawEntry(dir / "out.pptx", name), rawEntry(dir / "in.pptx", name)) << name;
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text, "F");
}

TEST(ZipPackageTest, ReadsOfThePackageFileGiveItsBytesWhereverTheWindowLies) {
    TempDir dir;
    DeckPlan plan;
    std::mt19937 random(11);
    std::string noise(600000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    plan.extraEntries = {{"ppt/media/noise.bin", noise}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    const std::string bytes = readFile(dir / "in.pptx");
    const auto package = ZipPackage::openFile(SourceFile::open(dir / "in.pptx"), Limits{});

    // Every byte in turn, by reads of every length a window serves and some it does not, so that
    // reads start and end on each side of every window's edges.
    std::uint64_t offset = 0;
    for (std::uint64_t length = 0; offset < bytes.size(); length = (length * 13 + 4099) % 40000) {
        length = std::min<std::uint64_t>(length, bytes.size() - offset);
        const auto read = package->readFile(offset, length);
        ASSERT_TRUE(read) << offset << " + " << length;
        ASSERT_EQ(*read, bytes.substr(offset, length)) << offset << " + " << length;
        offset += length;
    }
    // Reads ending just before, at and just after the end of a window read from start, whatever size
    // of window (a power of two) it takes.
    for (std::uint64_t start : {0u, 5000u, 300001u}) {
        for (std::uint64_t edge = 4096; edge <= 262144; edge *= 2) {
            for (std::uint64_t at = start + edge - 3; at <= start + edge + 1; ++at) {
                for (std::uint64_t length = 1; length <= 4; ++length) {
                    ASSERT_EQ(package->readFile(start, 1), bytes.substr(start, 1));
                    ASSERT_EQ(package->readFile(at, length), bytes.substr(at, length))
                        << start << ": " << at << " + " << length;
                }
            }
        }
    }
    for (std::uint64_t back : {1u, 4096u, 131072u, 131073u, 500000u}) {
        const std::uint64_t at = bytes.size() - back;
        EXPECT_EQ(package->readFile(at, std::min<std::uint64_t>(back, 100)), bytes.substr(at, 100)) << at;
    }
    EXPECT_FALSE(package->readFile(bytes.size() - 10, 11)) << "a read past the end";
    EXPECT_FALSE(package->readFile(bytes.size() + 1, 1)) << "a read starting past the end";
}

TEST(ZipOutputTest, ASourceCutShortAfterOpeningFailsTheSaveAndLeavesNoOutput) {
    TempDir dir;
    DeckPlan plan;
    plan.extraEntries = {{"ppt/media/big.bin", std::string(1u << 20, 'q')}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    fs::resize_file(dir / "in.pptx", fs::file_size(dir / "in.pptx") / 2);
    try {
        deck.saveAs(dir / "out.pptx");
        FAIL() << "saved from a source cut in half";
    } catch (const Error& e) {
        EXPECT_TRUE(e.code() == ErrorCode::DamagedPackage || e.code() == ErrorCode::ReadFailed) << e.what();
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in.pptx"});
}

// A deck overwritten in place between opening and saving (cp over it, a sync client): its copied
// entries would come from the new bytes under the old directory's checksums.
TEST(ZipOutputTest, ASourceRewrittenInPlaceAfterOpeningFailsTheSaveOrCopiesWhatItRead) {
    TempDir dir;
    DeckPlan plan;
    const std::string media = "ppt/media/big.bin";
    plan.extraEntries = {{media, std::string(1u << 20, 'q')}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    {
        // Same file, same size, other bytes where the media lies: what "cp new.pptx in.pptx" leaves.
        std::string bytes = readFile(dir / "in.pptx");
        const std::size_t at = bytes.find(std::string(4096, 'q'));
        ASSERT_NE(at, std::string::npos);
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + 4096), 'r');
        std::fstream(dir / "in.pptx", std::ios::in | std::ios::out | std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    bool saved = false;
    try {
        deck.saveAs(dir / "out.pptx");
        saved = true;
    } catch (const Error& e) {
        EXPECT_TRUE(e.code() == ErrorCode::DamagedPackage || e.code() == ErrorCode::ReadFailed) << e.what();
    }
    if (saved) {
        // Whatever was saved must read back whole: every entry's bytes match its checksum.
        std::string content;
        EXPECT_NO_THROW(content = readEntry(dir / "out.pptx", media))
            << "a damaged deck was saved as stamped";
        EXPECT_TRUE(content == std::string(1u << 20, 'q'))
            << "the saved deck holds bytes written after it was opened";
    } else {
        EXPECT_FALSE(fs::exists(dir / "out.pptx"));
    }
}

// Stamped in place, a deck with a second name (a hard link) loses that name when the save before it
// replaces it; a chmod or a sync client's attribute does the like. None changes a byte of the source.
TEST(ZipOutputTest, ASourceWhoseBytesStayIsSavedThoughItsLinksOrModeChanged) {
    TempDir dir;
    DeckPlan plan;
    plan.extraEntries = {{"ppt/media/big.bin", std::string(1u << 20, 'q')}};
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    fs::create_hard_link(dir / "in.pptx", dir / "link.pptx");
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    writeFile(dir / "other.pptx", "saved over the second name");
    fs::rename(dir / "other.pptx", dir / "link.pptx");
    EXPECT_NO_THROW(deck.saveAs(dir / "out.pptx")) << "a source whose bytes did not change is refused";

    Presentation again = Presentation::open(dir / "in.pptx");
    again.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    fs::permissions(dir / "in.pptx", fs::perms::others_read, fs::perm_options::remove);
    EXPECT_NO_THROW(again.saveAs(dir / "out2.pptx")) << "a chmod refuses the deck";
}

TEST(ZipOutputTest, StampingTwiceGivesTheSameBytes) {
    TempDir dir;
    writeZip(dir / "in.pptx", buildDeck(DeckPlan{}));
    for (const char* out : {"a.pptx", "b.pptx"}) {
        Presentation deck = withSlideFooter(dir / "in.pptx", "Same");
        deck.saveAs(dir / out);
    }
    EXPECT_EQ(readFile(dir / "a.pptx"), readFile(dir / "b.pptx"));
}

}  // namespace
}  // namespace trelwick::engine::test
