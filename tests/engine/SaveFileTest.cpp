// The save path below Presentation: the temporary file that becomes the deck, the sweep of files a
// killed run left, and the zip records written for unusual packages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <fstream>

#include "AtomicFile.h"
#include "TestDeck.h"
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
        {".deck.pptx.trelwick-1234-abcdefgh", true},
        {".a b.ppt.trelwick-1-0000zzzz", true},
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
    const std::string dead = std::to_string(deadPid());
    const std::string alive = std::to_string(::getpid());
    touch(dir / (".a.pptx.trelwick-" + dead + "-aaaaaaaa"), std::chrono::minutes(5));     // dead writer
    touch(dir / (".b.pptx.trelwick-" + dead + "-bbbbbbbb"), std::chrono::seconds(0));     // may be another host's
    touch(dir / (".c.pptx.trelwick-" + alive + "-cccccccc"), std::chrono::minutes(5));    // still writing
    touch(dir / (".d.pptx.trelwick-" + alive + "-dddddddd"), std::chrono::hours(48));     // abandoned
    touch(dir / ".e.pptx.trelwick-notes", std::chrono::hours(48));                        // not ours
    touch(dir / "f.pptx", std::chrono::hours(48));

    EXPECT_EQ(AtomicFile::removeStale(dir.path()), 2u);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{".b.pptx.trelwick-" + dead + "-bbbbbbbb",
                                                     ".c.pptx.trelwick-" + alive + "-cccccccc",
                                                     ".e.pptx.trelwick-notes", "f.pptx"}));
}

TEST(AtomicFileTest, AnUncommittedFileLeavesNothingAndACommittedOneAppearsWhole) {
    TempDir dir;
    {
        AtomicFile file(dir / "abandoned.pptx");
        file.write("half of a deck");
    }
    EXPECT_TRUE(dir.names().empty());

    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "replacing" : "new");
        const fs::path target = dir / "deck.pptx";
        if (existing) {
            writeFile(target, "old");
            ::chmod(target.c_str(), 0640);
        }
        AtomicFile file(target);
        file.write("new ");
        file.write("deck");
        if (existing) EXPECT_EQ(readFile(target), "old") << "untouched until committed";
        if (!existing) EXPECT_FALSE(fs::exists(target)) << "absent until committed";
        file.commit();
        EXPECT_EQ(readFile(target), "new deck");
        EXPECT_EQ(dir.names(), std::vector<std::string>{"deck.pptx"}) << "no temporary name is left";
        struct stat st {};
        ::stat(target.c_str(), &st);
        if (existing) EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file's permissions are kept";
        fs::remove(target);
    }
}

// Reads a little-endian dword.
std::uint32_t le32At(const std::string& s, std::size_t at) {
    return static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1]) << 8 |
           static_cast<std::uint8_t>(s[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24;
}

TEST(ZipOutputTest, MoreThan65535EntriesGetZip64RecordsAndAllSurvive) {
    TempDir dir;
    DeckPlan plan;
    for (int i = 0; i < 66000; ++i) plan.extraEntries.emplace_back("ppt/media/m" + std::to_string(i) + ".bin", "x");
    writeZip(dir / "in.pptx", buildDeck(plan), true);
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setText(MasterKind::Slide, Element::Footer, "F");
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
    deck.saveAs(dir / "out.pptx");

    const std::string bytes = readFile(dir / "out.pptx");
    EXPECT_NE(bytes.find(std::string("PK\x06\x06", 4)), std::string::npos) << "zip64 end of central directory";
    EXPECT_EQ(entryNames(dir / "out.pptx"), entryNames(dir / "in.pptx"));
    EXPECT_EQ(readEntry(dir / "out.pptx", "ppt/media/m65999.bin"), "x");
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text, "F");
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

TEST(ZipOutputTest, StampingTwiceGivesTheSameBytes) {
    TempDir dir;
    writeZip(dir / "in.pptx", buildDeck(DeckPlan{}));
    for (const char* out : {"a.pptx", "b.pptx"}) {
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setText(MasterKind::Slide, Element::Footer, "Same");
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        deck.saveAs(dir / out);
    }
    EXPECT_EQ(readFile(dir / "a.pptx"), readFile(dir / "b.pptx"));
}

}  // namespace
}  // namespace trelwick::engine::test
