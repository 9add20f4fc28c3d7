#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <csignal>
#include <fstream>
#include <random>
#include <thread>

#include "TestDeck.h"
#include "common/Permissions.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

void showFooter(Presentation& deck) {
    deck.setText(MasterKind::Slide, Element::Footer, "Footer");
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
}

std::string media(std::size_t size = 5000) {
    std::mt19937 random(7919);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// A small deck is read whole when opened, a large one part by part from the file; either way the
// entries the stamp does not touch keep their stored bytes.
class UntouchedEntries : public ::testing::TestWithParam<std::size_t> {};

TEST_P(UntouchedEntries, KeepTheirCompressedBytes) {
    TempDir dir;
    DeckPlan plan;
    plan.notesMaster = true;
    plan.slides[0].notes = true;
    plan.extraEntries = {{"ppt/media/image1.png", media(GetParam())}, {"docProps/app.xml", "<Properties/>"}};
    writeZip(dir / "in.pptx", buildDeck(plan));
    ASSERT_EQ(std::filesystem::file_size(dir / "in.pptx") < 256 * 1024, GetParam() < 256 * 1024);
    Presentation deck = Presentation::open(dir / "in.pptx");
    showFooter(deck);
    deck.saveAs(dir / "out.pptx");

    EXPECT_EQ(entryNames(dir / "in.pptx"), entryNames(dir / "out.pptx")) << "same entries, same order";
    // Only slide elements were set: the notes side, media and properties are copied as they were, and
    // so are the parts the stamp reads to find its way but does not change.
    for (const std::string name :
         {"ppt/media/image1.png", "docProps/app.xml", "ppt/notesSlides/notesSlide1.xml",
          "ppt/notesMasters/notesMaster1.xml", "ppt/theme/theme1.xml", "[Content_Types].xml",
          "ppt/presentation.xml", "ppt/_rels/presentation.xml.rels", "ppt/slides/_rels/slide1.xml.rels",
          "ppt/slideLayouts/_rels/slideLayout1.xml.rels"})
        EXPECT_EQ(rawEntry(dir / "in.pptx", name), rawEntry(dir / "out.pptx", name)) << name;
    EXPECT_NE(rawEntry(dir / "in.pptx", "ppt/slides/slide1.xml"),
              rawEntry(dir / "out.pptx", "ppt/slides/slide1.xml"));
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text,
              "Footer");
}

// A deck without notes master gets one with a copy of the design's theme, taken from its stored bytes.
TEST_P(UntouchedEntries, ANewNotesMasterTakesACopyOfTheStoredTheme) {
    TempDir dir;
    DeckPlan plan;
    plan.extraEntries = {{"ppt/media/image1.png", media(GetParam())}};
    writeZip(dir / "in.pptx", buildDeck(plan));
    Presentation deck = Presentation::open(dir / "in.pptx");
    ASSERT_FALSE(deck.hasNotesMaster());
    deck.setText(MasterKind::Notes, Element::Header, "Header");
    deck.setVisible(MasterKind::Notes, Element::Header, true);
    deck.saveAs(dir / "out.pptx");

    const RawEntry theme = rawEntry(dir / "in.pptx", "ppt/theme/theme1.xml");
    EXPECT_EQ(rawEntry(dir / "out.pptx", "ppt/theme/theme1.xml"), theme);
    EXPECT_EQ(rawEntry(dir / "out.pptx", "ppt/theme/theme2.xml"), theme);
    EXPECT_EQ(readEntry(dir / "out.pptx", "ppt/theme/theme2.xml"),
              readEntry(dir / "in.pptx", "ppt/theme/theme1.xml"));
    Presentation reopened = Presentation::open(dir / "out.pptx");
    EXPECT_TRUE(reopened.hasNotesMaster());
    EXPECT_EQ(reopened.element(MasterKind::Notes, Element::Header).text, "Header");
}

INSTANTIATE_TEST_SUITE_P(Sizes, UntouchedEntries, ::testing::Values(5000, 600 * 1024),
                         [](const ::testing::TestParamInfo<std::size_t>& info) {
                             return info.param < 256 * 1024 ? std::string("ReadWhole")
                                                            : std::string("ReadFromTheFile");
                         });

TEST(PackageTest, AnEntryNameWithAControlCharacterIsNotMarkedUtf8) {
    TempDir dir;
    DeckPlan plan;
    plan.extraEntries = {{"ppt/media/#\xC3\xA9t\xC3\xA9.bin", media()}};
    writeZip(dir / "in.pptx", buildDeck(plan));
    // Zip writers refuse such a name, so the '#' is turned into a control character in place, in the
    // local header and in the central directory alike, and the name is no longer marked UTF-8 there
    // (as in a deck from an old zip tool).
    std::string bytes = readFile(dir / "in.pptx");
    for (std::size_t at = bytes.find("ppt/media/#"); at != std::string::npos;
         at = bytes.find("ppt/media/#", at)) {
        bytes[at + 10] = '\x1a';
        const std::size_t flags = bytes.compare(at - 30, 4, "PK\x03\x04") == 0 ? at - 30 + 7 : at - 46 + 9;
        bytes[flags] = static_cast<char>(bytes[flags] & ~0x08);  // bit 11 of the little-endian flags
    }
    std::ofstream(dir / "in.pptx", std::ios::binary | std::ios::trunc) << bytes;
    Presentation deck = Presentation::open(dir / "in.pptx");
    showFooter(deck);
    deck.saveAs(dir / "out.pptx");
    int error = 0;
    zip_t* zip = zip_open((dir / "out.pptx").c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    EXPECT_NE(zip, nullptr) << "libzip error " << error;
    if (zip) zip_discard(zip);
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text,
              "Footer");
}

TEST(PackageTest, MacroDecksKeepTheirProjectAndContentType) {
    TempDir dir;
    DeckPlan plan;
    plan.mainContentType = "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml";
    plan.extraEntries = {{"ppt/vbaProject.bin", media()}};
    writeZip(dir / "in.pptm", buildDeck(plan));
    Presentation deck = Presentation::open(dir / "in.pptm");
    showFooter(deck);
    deck.setVisible(MasterKind::Notes, Element::Header, true);  // adds parts and content types
    deck.saveAs(dir / "out.pptm");
    EXPECT_EQ(rawEntry(dir / "in.pptm", "ppt/vbaProject.bin"),
              rawEntry(dir / "out.pptm", "ppt/vbaProject.bin"));
    const std::string types = readEntry(dir / "out.pptm", "[Content_Types].xml");
    EXPECT_NE(types.find("presentation.macroEnabled.main+xml"), std::string::npos);
    EXPECT_NE(types.find("application/vnd.ms-office.vbaProject"), std::string::npos);
    EXPECT_NE(types.find("notesMaster+xml"), std::string::npos);
}

TEST(PackageTest, SavingOverTheSourceReplacesItAndKeepsPermissions) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}));
    ::chmod((dir / "deck.pptx").c_str(), 0640);
    Presentation deck = Presentation::open(dir / "deck.pptx");
    showFooter(deck);
    deck.saveAs(dir / "deck.pptx");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "deck.pptx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"deck.pptx"}) << "no temporary file left";
    EXPECT_NE(readEntry(dir / "deck.pptx", "ppt/slides/slide1.xml").find("Footer"), std::string::npos);
}

TEST(PackageTest, SignedDecksAreStampedAndSayTheSignatureIsGone) {
    TempDir dir;
    DeckPlan plan;
    plan.extraEntries = {{"_xmlsignatures/sig1.xml", "<Signature/>"}};
    writeZip(dir / "in.pptx", buildDeck(plan));
    Presentation deck = Presentation::open(dir / "in.pptx");
    EXPECT_TRUE(deck.isSigned());
    showFooter(deck);
    const SaveOutcome outcome = deck.saveAs(dir / "out.pptx");
    EXPECT_TRUE(outcome.signatureInvalidated);
    ASSERT_FALSE(outcome.warnings.empty());
    EXPECT_NE(outcome.warnings.front().find("signature"), std::string::npos);
}

TEST(PackageTest, AMissingOutputFolderIsAWriteFailure) {
    TempDir dir;
    writeZip(dir / "in.pptx", buildDeck(DeckPlan{}));
    Presentation deck = Presentation::open(dir / "in.pptx");
    showFooter(deck);
    try {
        deck.saveAs(dir / "missing" / "out.pptx");
        FAIL() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::WriteFailed);
        EXPECT_EQ(e.file(), (dir / "missing" / "out.pptx").string());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(PackageTest, ADiskThatFillsUpMidWriteLeavesNothing) {
    TempDir dir;
    DeckPlan plan;
    std::string big;
    std::mt19937 random(1);
    for (int i = 0; i < 200000; ++i) big += static_cast<char>(random());  // does not compress
    plan.extraEntries = {{"ppt/media/image1.png", big}};
    writeZip(dir / "in.pptx", buildDeck(plan));
    writeZip(dir / "out.pptx", buildDeck(DeckPlan{}));
    const std::string previous = readFile(dir / "out.pptx");
    Presentation deck = Presentation::open(dir / "in.pptx");
    showFooter(deck);
    // The file size limit makes every write past 64 KiB fail with EFBIG, like a full disk.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit limited = old;
    limited.rlim_cur = 64 * 1024;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    bool failed = false;
    try {
        deck.saveAs(dir / "out.pptx");
    } catch (const Error& e) {
        failed = e.code() == ErrorCode::WriteFailed;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(readFile(dir / "out.pptx") == previous) << "the old file stays whole";
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.pptx", "out.pptx"})) << "no temporary file left";
}

TEST(PackageTest, AnUnwritableFolderLeavesNothing) {
    TempDir dir;
    writeZip(dir / "in.pptx", buildDeck(DeckPlan{}));
    Presentation deck = Presentation::open(dir / "in.pptx");
    showFooter(deck);
    std::filesystem::create_directory(dir / "locked");
    std::filesystem::permissions(dir / "locked",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const trelwick::testing::PermissionsBind bind;
    if (!bind.active() || ::faccessat(AT_FDCWD, (dir / "locked").c_str(), W_OK, AT_EACCESS) == 0)
        GTEST_SKIP() << "running as root without a way to be held to permissions";
    EXPECT_THROW(deck.saveAs(dir / "locked" / "out.pptx"), Error);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "locked"));
}

TEST(PackageTest, InMemoryDecksOpenLikeFiles) {
    TempDir dir;
    writeZip(dir / "in.pptx", buildDeck(DeckPlan{}));
    Presentation deck = Presentation::openBytes(readFile(dir / "in.pptx"), "memory.pptx");
    EXPECT_EQ(deck.slideCount(), 1u);
    showFooter(deck);
    deck.saveAs(dir / "out.pptx");
    EXPECT_NE(readEntry(dir / "out.pptx", "ppt/slides/slide1.xml").find("Footer"), std::string::npos);
    EXPECT_THROW(Presentation::openBytes("", "empty.pptx"), Error);
}

TEST(PackageTest, StoredEntriesAndUtf16PartsSurvive) {
    TempDir dir;
    Entries entries = buildDeck(DeckPlan{});
    // A layout stored as UTF-16, as some Office 2007 templates have it.
    for (auto& [name, text] : entries) {
        if (name != "ppt/slideLayouts/slideLayout1.xml") continue;
        std::string utf16 = "\xFF\xFE";
        std::string replaced = text;
        replaced.replace(replaced.find("UTF-8"), 5, "UTF-16");
        for (char c : replaced) {
            utf16 += c;
            utf16 += '\0';
        }
        text = utf16;
    }
    writeZip(dir / "in.pptx", entries, true);
    Presentation deck = Presentation::open(dir / "in.pptx");
    showFooter(deck);
    deck.saveAs(dir / "out.pptx");
    const std::string layout = readEntry(dir / "out.pptx", "ppt/slideLayouts/slideLayout1.xml");
    ASSERT_GE(layout.size(), 2u);
    EXPECT_EQ(layout.substr(0, 2), "\xFF\xFE") << "still UTF-16 with its byte order mark";
    EXPECT_EQ(rawEntry(dir / "in.pptx", "ppt/theme/theme1.xml"),
              rawEntry(dir / "out.pptx", "ppt/theme/theme1.xml"));
    Presentation reopened = Presentation::open(dir / "out.pptx");
    EXPECT_EQ(reopened.element(MasterKind::Slide, Element::Footer).text, "Footer");
}

// A deck read ahead is used only while its file is the version it read: touched, rewritten with the
// same bytes, replaced or removed, it is not.
TEST(SourceVersionTest, ADeckKnowsWhenItsFileIsNoLongerTheOneItRead) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path file = dir / "deck.pptx";
    writeZip(file, buildDeck(DeckPlan{}));
    const std::string bytes = readFile(file);
    Limits partByPart;
    partByPart.readWholeBelow = 0;
    for (const Limits& limits : {Limits{}, partByPart}) {
        EXPECT_TRUE(Presentation::open(file, limits).sourceUnchanged());

        Presentation touched = Presentation::open(file, limits);
        fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(5));
        EXPECT_FALSE(touched.sourceUnchanged());

        Presentation rewritten = Presentation::open(file, limits);
        const auto written = fs::last_write_time(file);
        // File times tick in steps of a few milliseconds; a rewrite within the same step is one no
        // reader could tell from a rewrite just before the deck was read.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        writeFile(file, bytes);
        fs::last_write_time(file, written);  // the same size and time: only the change time tells
        EXPECT_FALSE(rewritten.sourceUnchanged());

        Presentation replaced = Presentation::open(file, limits);
        writeFile(dir / "other.pptx", bytes);
        fs::rename(dir / "other.pptx", file);
        EXPECT_FALSE(replaced.sourceUnchanged());

        Presentation removed = Presentation::open(file, limits);
        fs::rename(file, dir / "away.pptx");
        EXPECT_FALSE(removed.sourceUnchanged());
        fs::rename(dir / "away.pptx", file);
    }
    EXPECT_FALSE(Presentation::openBytes(bytes, "memory.pptx").sourceUnchanged());
}

}  // namespace
}  // namespace trelwick::engine::test
