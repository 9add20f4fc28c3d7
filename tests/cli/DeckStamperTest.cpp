// What the command line's settings make of a deck, on decks built for the test (no corpus needed).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DeckStamper.h"
#include "TestDeck.h"
#include "common/CliRun.h"

namespace fs = std::filesystem;

namespace trelwick::cli {
namespace {

using engine::test::buildDeck;
using engine::test::DeckPlan;
using engine::test::hasEntry;
using engine::test::placeholderPath;
using engine::test::readEntry;
using engine::test::TempDir;
using engine::test::writeZip;
using engine::test::Xml;

// The text of the first placeholder of type on a part, or "(none)" when the part has none.
std::string placeholderText(const fs::path& deck, const std::string& part, const std::string& type) {
    const Xml xml(readEntry(deck, part));
    if (!xml.one(placeholderPath(type))) return "(none)";
    return xml.one(placeholderPath(type) + "//a:t").text().get();
}

TEST(DeckStamper, EachOptionReachesItsOwnElementAndWhatIsLeftOutIsHidden) {
    TempDir tmp;
    DeckPlan plan;
    plan.notesMaster = true;
    plan.handoutMaster = true;
    plan.slides[0].notes = true;
    writeZip(tmp / "in.pptx", buildDeck(plan));
    StampSettings s;
    s.date = "Q3 2026";
    s.footer = "Acme";
    s.slideNumber = true;
    s.notesHeader = "Notes head";
    s.notesFooter = "Notes foot";
    DeckStamper(s).stamp(tmp / "in.pptx", tmp / "out.pptx").commit();

    const fs::path out = tmp / "out.pptx";
    EXPECT_EQ(placeholderText(out, "ppt/slides/slide1.xml", "ftr"), "Acme");
    EXPECT_EQ(placeholderText(out, "ppt/slides/slide1.xml", "dt"), "Q3 2026");
    EXPECT_EQ(Xml(readEntry(out, "ppt/slides/slide1.xml")).count(placeholderPath("dt") + "//a:fld"), 0u)
        << "a date given as text is shown as typed, not as an updating field";
    EXPECT_EQ(placeholderText(out, "ppt/notesSlides/notesSlide1.xml", "hdr"), "Notes head");
    EXPECT_EQ(placeholderText(out, "ppt/notesSlides/notesSlide1.xml", "ftr"), "Notes foot");
    EXPECT_EQ(placeholderText(out, "ppt/notesSlides/notesSlide1.xml", "dt"), "(none)");
    EXPECT_EQ(placeholderText(out, "ppt/notesSlides/notesSlide1.xml", "sldNum"), "(none)");
    // Handouts take the notes settings.
    const Xml handout(readEntry(out, "ppt/handoutMasters/handoutMaster1.xml"));
    const pugi::xml_node hf = handout.one("//p:hf");
    ASSERT_TRUE(hf);
    EXPECT_STREQ(hf.attribute("hdr").value(), "1");
    EXPECT_STREQ(hf.attribute("ftr").value(), "1");
    EXPECT_STREQ(hf.attribute("dt").value(), "0");
    EXPECT_STREQ(hf.attribute("sldNum").value(), "0");
}

TEST(DeckStamper, ANotesMasterIsAddedOnlyWhenANotesElementIsShown) {
    TempDir tmp;
    writeZip(tmp / "in.pptx", buildDeck(DeckPlan{}));
    StampSettings slidesOnly;
    slidesOnly.footer = "Acme";
    DeckStamper(slidesOnly).stamp(tmp / "in.pptx", tmp / "slides.pptx").commit();
    EXPECT_FALSE(hasEntry(tmp / "slides.pptx", "ppt/notesMasters/notesMaster1.xml"));

    StampSettings notes;
    notes.notesHeader = "Notes head";
    DeckStamper(notes).stamp(tmp / "in.pptx", tmp / "notes.pptx").commit();
    ASSERT_TRUE(hasEntry(tmp / "notes.pptx", "ppt/notesMasters/notesMaster1.xml"));
    EXPECT_EQ(placeholderText(tmp / "notes.pptx", "ppt/notesSlides/notesSlide1.xml", "hdr"), "Notes head");
}

// A deck that cannot be saved because of its output names the output, not only the deck.
TEST(DeckStamper, AnOutputThatCannotBeWrittenIsNamedInTheFailure) {
    TempDir tmp;
    fs::create_directories(tmp / "in");
    writeZip(tmp / "in/deck.pptx", buildDeck(DeckPlan{}));
    fs::create_directories(tmp / "out/deck.pptx");
    const trelwick::testing::CliResult r = trelwick::testing::runCli(
        {"-o", (tmp / "out").string(), "--footer", "F", (tmp / "in/deck.pptx").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find((tmp / "in/deck.pptx").string() + ": " + (tmp / "out/deck.pptx").string()),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace trelwick::cli
