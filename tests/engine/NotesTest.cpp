#include <gtest/gtest.h>

#include <set>

#include "TestDeck.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

void showNotes(Presentation& deck, bool visible) {
    const std::pair<Element, const char*> texts[] = {{Element::Header, "Notes header"},
                                                     {Element::Footer, "Notes footer"},
                                                     {Element::DateAndTime, "Notes date"}};
    for (const auto& [element, text] : texts) {
        deck.setText(MasterKind::Notes, element, text);
        deck.setVisible(MasterKind::Notes, element, visible);
    }
    deck.setVisible(MasterKind::Notes, Element::SlideNumber, visible);
}

class NotesTest : public ::testing::Test {
  protected:
    std::filesystem::path stamp(const DeckPlan& plan, const std::function<void(Presentation&)>& configure) {
        writeZip(dir / "in.pptx", buildDeck(plan));
        Presentation deck = Presentation::open(dir / "in.pptx");
        configure(deck);
        deck.saveAs(dir / "out.pptx");
        return dir / "out.pptx";
    }
    Xml part(const std::string& name) { return Xml(readEntry(dir / "out.pptx", name)); }
    TempDir dir;
};

TEST_F(NotesTest, ExistingAndMissingNotesSlidesAllShowTheElements) {
    DeckPlan plan;
    plan.notesMaster = true;
    plan.slides = {SlidePlan{}, SlidePlan{}};
    plan.slides[0].notes = true;
    const auto out = stamp(plan, [](Presentation& deck) { showNotes(deck, true); });

    // Slide 2 had none: it now has a notes slide linked both ways, with a content type.
    const Xml slideRels(readEntry(out, "ppt/slides/_rels/slide2.xml.rels"));
    const pugi::xml_node rel = slideRels.root().find_child(
        [](pugi::xml_node n) { return std::string(n.attribute("Type").value()).ends_with("/notesSlide"); });
    ASSERT_TRUE(rel);
    const std::string created =
        "ppt/notesSlides/" +
        std::string(rel.attribute("Target").value()).substr(std::string("../notesSlides/").size());
    EXPECT_EQ(created, "ppt/notesSlides/notesSlide2.xml");
    const std::string createdRels = readEntry(out, "ppt/notesSlides/_rels/notesSlide2.xml.rels");
    EXPECT_NE(createdRels.find("../notesMasters/notesMaster1.xml"), std::string::npos);
    EXPECT_NE(createdRels.find("../slides/slide2.xml"), std::string::npos);
    EXPECT_NE(readEntry(out, "[Content_Types].xml").find("/ppt/notesSlides/notesSlide2.xml"),
              std::string::npos);

    for (const std::string notes : {"ppt/notesSlides/notesSlide1.xml", "ppt/notesSlides/notesSlide2.xml"}) {
        const Xml xml = part(notes);
        EXPECT_STREQ(xml.one(placeholderPath("hdr") + "//a:t").text().get(), "Notes header") << notes;
        EXPECT_STREQ(xml.one(placeholderPath("ftr") + "//a:t").text().get(), "Notes footer") << notes;
        EXPECT_STREQ(xml.one(placeholderPath("dt") + "//a:t").text().get(), "Notes date") << notes;
        EXPECT_EQ(xml.count(placeholderPath("body")), 1u) << notes;
        // Placeholders copy the notes master's type/sz and never clash with another idx on the page.
        EXPECT_STREQ(xml.one(placeholderPath("hdr") + "/p:nvSpPr/p:nvPr/p:ph").attribute("sz").value(),
                     "quarter");
        std::set<std::string> idx;
        for (pugi::xpath_node ph : xml.all("//p:ph"))
            EXPECT_TRUE(idx.insert(ph.node().attribute("idx").value()).second) << notes;
    }
    EXPECT_STREQ(
        part("ppt/notesSlides/notesSlide2.xml").one(placeholderPath("sldNum") + "//a:fld/a:t").text().get(),
        "2");
    // The node lives only as long as its document.
    const auto masterXml = part("ppt/notesMasters/notesMaster1.xml");
    const pugi::xml_node hf = masterXml.one("/p:notesMaster/p:hf");
    ASSERT_TRUE(hf);
    EXPECT_STREQ(hf.next_sibling().name(), "p:notesStyle");
    for (const char* flag : {"hdr", "ftr", "dt", "sldNum"})
        EXPECT_STREQ(hf.attribute(flag).value(), "1") << flag;
}

// Names and content types of new notes pages are worked out once for all of them (a deck of thousands of
// slides without notes gets thousands); each new page must still take a free name and one content type.
TEST_F(NotesTest, NotesPagesMadeOneAfterAnotherTakeFreeNamesAndOneContentTypeEach) {
    DeckPlan plan;
    plan.notesMaster = true;
    plan.slides.resize(5);
    plan.slides[1].notes = true;  // notesSlide1
    plan.slides[3].notes = true;  // notesSlide2
    const auto out = stamp(plan, [](Presentation& deck) { showNotes(deck, true); });

    const std::string types = readEntry(out, "[Content_Types].xml");
    const std::pair<int, int> expected[] = {{1, 3}, {2, 1}, {3, 4}, {4, 2}, {5, 5}};  // slide, notes page
    for (const auto& [slide, notes] : expected) {
        SCOPED_TRACE("slide " + std::to_string(slide));
        const std::string rels =
            readEntry(out, "ppt/slides/_rels/slide" + std::to_string(slide) + ".xml.rels");
        const std::string name = "notesSlide" + std::to_string(notes) + ".xml";
        EXPECT_NE(rels.find("../notesSlides/" + name), std::string::npos) << rels;
        const std::string override = "\"/ppt/notesSlides/" + name + "\"";
        const std::size_t first = types.find(override);
        EXPECT_NE(first, std::string::npos);
        EXPECT_EQ(types.find(override, first + 1), std::string::npos) << "declared twice";
        EXPECT_STREQ(part("ppt/notesSlides/" + name).one(placeholderPath("hdr") + "//a:t").text().get(),
                     "Notes header");
    }
}

TEST_F(NotesTest, HidingRemovesFromExistingNotesAndCreatesNothing) {
    DeckPlan plan;
    plan.notesMaster = true;
    plan.slides = {SlidePlan{}, SlidePlan{}};
    plan.slides[0].notes = true;
    writeZip(dir / "in.pptx", buildDeck(plan));
    {
        Presentation deck = Presentation::open(dir / "in.pptx");
        showNotes(deck, true);
        deck.saveAs(dir / "shown.pptx");
    }
    Presentation deck = Presentation::open(dir / "shown.pptx");
    showNotes(deck, false);
    deck.saveAs(dir / "out.pptx");
    for (const std::string notes : {"ppt/notesSlides/notesSlide1.xml", "ppt/notesSlides/notesSlide2.xml"}) {
        const Xml xml = part(notes);
        for (const char* type : {"hdr", "ftr", "dt", "sldNum"})
            EXPECT_EQ(xml.count(placeholderPath(type)), 0u) << notes << type;
    }

    DeckPlan fresh;
    fresh.slides = {SlidePlan{}};
    stamp(fresh, [](Presentation& d) { showNotes(d, false); });
    EXPECT_FALSE(hasEntry(dir / "out.pptx", "ppt/notesMasters/notesMaster1.xml"));
    EXPECT_FALSE(hasEntry(dir / "out.pptx", "ppt/notesSlides/notesSlide1.xml"));
}

TEST_F(NotesTest, ADeckWithoutNotesMasterGetsOneWithItsTheme) {
    DeckPlan plan;
    plan.slides = {SlidePlan{}};
    const auto out = stamp(plan, [](Presentation& deck) {
        EXPECT_FALSE(deck.hasNotesMaster());
        showNotes(deck, true);
        EXPECT_TRUE(deck.hasNotesMaster());
    });
    const Xml presentation = part("ppt/presentation.xml");
    const pugi::xml_node list = presentation.one("/p:presentation/p:notesMasterIdLst");
    ASSERT_TRUE(list);
    EXPECT_STREQ(list.previous_sibling().name(), "p:sldMasterIdLst");
    const std::string types = readEntry(out, "[Content_Types].xml");
    EXPECT_NE(types.find("/ppt/notesMasters/notesMaster1.xml"), std::string::npos);
    EXPECT_NE(types.find("/ppt/theme/theme2.xml"), std::string::npos);
    EXPECT_EQ(readEntry(out, "ppt/theme/theme2.xml"), readEntry(out, "ppt/theme/theme1.xml"));
    EXPECT_EQ(rawEntry(out, "ppt/theme/theme2.xml"), rawEntry(out, "ppt/theme/theme1.xml"))
        << "the notes master's theme is a copy of the stored entry, not deflated again";
    EXPECT_NE(readEntry(out, "ppt/notesMasters/_rels/notesMaster1.xml.rels").find("../theme/theme2.xml"),
              std::string::npos);
    const Xml master = part("ppt/notesMasters/notesMaster1.xml");
    for (const char* type : {"hdr", "dt", "sldImg", "body", "ftr", "sldNum"})
        EXPECT_EQ(master.count(placeholderPath(type)), 1u) << type;
    EXPECT_STREQ(part("ppt/notesSlides/notesSlide1.xml").one(placeholderPath("hdr") + "//a:t").text().get(),
                 "Notes header");

    Presentation reopened = Presentation::open(out);
    EXPECT_TRUE(reopened.hasNotesMaster());
    EXPECT_TRUE(reopened.element(MasterKind::Notes, Element::Header).visible);
    EXPECT_EQ(reopened.element(MasterKind::Notes, Element::Header).text, "Notes header");
}

// The deck's entries with the presentation's list of the given name taken out.
Entries withoutList(Entries entries, const std::string& list) {
    for (auto& [name, text] : entries)
        if (name == "ppt/presentation.xml") {
            const std::size_t from = text.find("<p:" + list + ">");
            const std::string end = "</p:" + list + ">";
            if (from != std::string::npos) text.erase(from, text.find(end) + end.size() - from);
        }
    return entries;
}

TEST_F(NotesTest, MastersLinkedButNotListedAreTheOnesStamped) {
    DeckPlan plan;
    plan.notesMaster = true;
    plan.handoutMaster = true;
    plan.slides = {SlidePlan{}, SlidePlan{}};
    plan.slides[0].notes = true;
    writeZip(dir / "in.pptx",
             withoutList(withoutList(buildDeck(plan), "notesMasterIdLst"), "handoutMasterIdLst"));
    const std::string presentation = readEntry(dir / "in.pptx", "ppt/presentation.xml");
    ASSERT_EQ(presentation.find("notesMasterIdLst"), std::string::npos);
    ASSERT_EQ(presentation.find("handoutMasterIdLst"), std::string::npos);
    Presentation deck = Presentation::open(dir / "in.pptx");
    EXPECT_TRUE(deck.hasNotesMaster());
    EXPECT_TRUE(deck.hasHandoutMaster());
    showNotes(deck, true);
    deck.setText(MasterKind::Handout, Element::Header, "Handout header");
    deck.setVisible(MasterKind::Handout, Element::Header, true);
    EXPECT_TRUE(deck.saveAs(dir / "out.pptx").warnings.empty());

    EXPECT_FALSE(hasEntry(dir / "out.pptx", "ppt/notesMasters/notesMaster2.xml"));
    EXPECT_EQ(readEntry(dir / "out.pptx", "ppt/_rels/presentation.xml.rels").find("notesMaster2"),
              std::string::npos);
    EXPECT_NE(readEntry(dir / "out.pptx", "ppt/notesSlides/_rels/notesSlide2.xml.rels")
                  .find("../notesMasters/notesMaster1.xml"),
              std::string::npos);
    for (const std::string notes : {"ppt/notesSlides/notesSlide1.xml", "ppt/notesSlides/notesSlide2.xml"})
        EXPECT_STREQ(part(notes).one(placeholderPath("hdr") + "//a:t").text().get(), "Notes header") << notes;
    EXPECT_STREQ(
        part("ppt/handoutMasters/handoutMaster1.xml").one(placeholderPath("hdr") + "//a:t").text().get(),
        "Handout header");
}

TEST_F(NotesTest, HandoutMasterFollowsItsSettings) {
    DeckPlan plan;
    plan.handoutMaster = true;
    stamp(plan, [](Presentation& deck) {
        deck.setText(MasterKind::Handout, Element::Header, "Handout header");
        deck.setVisible(MasterKind::Handout, Element::Header, true);
        deck.setVisible(MasterKind::Handout, Element::SlideNumber, false);
    });
    const Xml handout = part("ppt/handoutMasters/handoutMaster1.xml");
    const pugi::xml_node hf = handout.one("/p:handoutMaster/p:hf");
    ASSERT_TRUE(hf);
    EXPECT_STREQ(hf.attribute("hdr").value(), "1");
    EXPECT_STREQ(hf.attribute("sldNum").value(), "0");
    EXPECT_STREQ(hf.previous_sibling().name(), "p:clrMap");
    EXPECT_STREQ(handout.one(placeholderPath("hdr") + "//a:t").text().get(), "Handout header");

    DeckPlan without;
    writeZip(dir / "plain.pptx", buildDeck(without));
    Presentation deck = Presentation::open(dir / "plain.pptx");
    deck.setVisible(MasterKind::Handout, Element::Header, true);
    const SaveOutcome outcome = deck.saveAs(dir / "plain-out.pptx");
    EXPECT_FALSE(hasEntry(dir / "plain-out.pptx", "ppt/handoutMasters/handoutMaster1.xml"));
    EXPECT_EQ(outcome.warnings.size(), 1u);
}

TEST_F(NotesTest, StrictDecksAreStampedInTheirOwnNamespaces) {
    DeckPlan plan;
    plan.strict = true;
    plan.slides = {SlidePlan{}};
    const auto out = stamp(plan, [](Presentation& deck) {
        deck.setText(MasterKind::Slide, Element::Footer, "Strict footer");
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        showNotes(deck, true);
    });
    EXPECT_STREQ(part("ppt/slides/slide1.xml").one(placeholderPath("ftr") + "//a:t").text().get(),
                 "Strict footer");
    const std::string notesMaster = readEntry(out, "ppt/notesMasters/notesMaster1.xml");
    EXPECT_NE(notesMaster.find("http://purl.oclc.org/ooxml/presentationml/main"), std::string::npos);
    EXPECT_EQ(notesMaster.find("schemas.openxmlformats.org"), std::string::npos);
    const std::string rels = readEntry(out, "ppt/_rels/presentation.xml.rels");
    EXPECT_NE(rels.find("http://purl.oclc.org/ooxml/officeDocument/relationships/notesMaster"),
              std::string::npos);
    Presentation reopened = Presentation::open(out);
    EXPECT_EQ(reopened.element(MasterKind::Notes, Element::Header).text, "Notes header");
}

}  // namespace
}  // namespace trelwick::engine::test
