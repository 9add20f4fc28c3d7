#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <set>

#include "TestDeck.h"
#include "common/Corpus.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

const std::filesystem::path kCorpus = trelwick::testing::corpusDir();
const std::set<std::string> kFamily = {".pptx", ".pptm", ".potx", ".potm", ".ppsx", ".ppsm"};

// What trelwick-cli does for elements left off its command line: hide them, keep their text.
void hideAll(Presentation& deck) {
    for (Element e : {Element::DateAndTime, Element::Footer, Element::SlideNumber})
        deck.setVisible(MasterKind::Slide, e, false);
    if (!deck.hasNotesMaster()) return;
    for (Element e : {Element::DateAndTime, Element::Header, Element::Footer, Element::SlideNumber})
        deck.setVisible(MasterKind::Notes, e, false);
}

// The master's second footer keeps its words when the only footer on a slide is hidden, and keeps
// them when the output is stamped the same way again (the text is read from the first master then).
TEST(RestampTest, HidingTheFooterTwiceKeepsTheSecondMastersText) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    const auto source = kCorpus / "shapecrawler__021.pptx";
    ASSERT_TRUE(std::filesystem::exists(source)) << source;
    TempDir dir;
    Presentation first = Presentation::open(source);
    hideAll(first);
    first.saveAs(dir / "once.pptx");
    Presentation second = Presentation::open(dir / "once.pptx");
    hideAll(second);
    second.saveAs(dir / "twice.pptx");
    for (const char* part : {"ppt/slideMasters/slideMaster2.xml", "ppt/slideLayouts/slideLayout2.xml"}) {
        EXPECT_NE(readEntry(dir / "once.pptx", part).find("test footer"), std::string::npos) << part;
        EXPECT_NE(readEntry(dir / "twice.pptx", part).find("test footer"), std::string::npos) << part;
    }
}

// Hiding what a stamp has hidden already changes no XML part of any real deck.
TEST(RestampTest, HidingAgainChangesNothing) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    int decks = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        const auto& file = entry.path();
        if (!entry.is_regular_file() || !kFamily.count(file.extension().string())) continue;
        SCOPED_TRACE(file.filename().string());
        TempDir dir;
        try {
            Presentation deck = Presentation::open(file);
            hideAll(deck);
            deck.saveAs(dir / "once.pptx");
            Presentation again = Presentation::open(dir / "once.pptx");
            hideAll(again);
            again.saveAs(dir / "twice.pptx");
        } catch (const Error& e) {
            ADD_FAILURE() << e.what();
            continue;
        }
        for (const std::string& name : entryNames(dir / "once.pptx")) {
            if (!name.ends_with(".xml")) continue;
            EXPECT_EQ(readEntry(dir / "once.pptx", name), readEntry(dir / "twice.pptx", name)) << name;
        }
        ++decks;
    }
    EXPECT_GE(decks, 50);
}

}  // namespace
}  // namespace trelwick::engine::test

namespace trelwick::engine::test {
namespace {

// A page number a notes page already has, with no box of its own and none on the notes master to
// take one from, is drawn nowhere; stamping it shown must give it a place on the page, as a new one gets.
TEST(RestampTest, ShownNotesNumberWithoutABoxAnywhereGetsOne) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    const auto source = kCorpus / "shapecrawler__014.pptx";
    ASSERT_TRUE(std::filesystem::exists(source)) << source;
    TempDir dir;
    Presentation deck = Presentation::open(source);
    deck.setVisible(MasterKind::Notes, Element::SlideNumber, true);
    deck.saveAs(dir / "out.pptx");
    int numbers = 0;
    for (const std::string& name : entryNames(dir / "out.pptx")) {
        if (name.rfind("ppt/notesSlides/notesSlide", 0) != 0 || !name.ends_with(".xml")) continue;
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(readEntry(dir / "out.pptx", name).c_str())) << name;
        for (pugi::xpath_node ph : doc.select_nodes("//*[local-name()='ph'][@type='sldNum']")) {
            const pugi::xml_node sp = ph.node().parent().parent().parent();
            EXPECT_TRUE(sp.select_node("*[local-name()='spPr']/*[local-name()='xfrm']")) << name;
            ++numbers;
        }
    }
    EXPECT_EQ(numbers, 6);
}

}  // namespace
}  // namespace trelwick::engine::test
