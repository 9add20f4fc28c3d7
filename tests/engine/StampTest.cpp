#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "TestDeck.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

const std::string kFooterP = placeholderPath("ftr");
const std::string kDateP = placeholderPath("dt");
const std::string kNumberP = placeholderPath("sldNum");

// The deck with an animation of the shape spid on its first slide.
Entries withAnimationOf(Entries entries, int spid) {
    for (auto& [name, text] : entries)
        if (name == "ppt/slides/slide1.xml")
            text.replace(
                text.find("<p:clrMapOvr>"), 0,
                R"(<p:timing><p:tnLst><p:par><p:cTn id="1"><p:childTnLst><p:set><p:cBhvr><p:cTn id="2"/><p:tgtEl><p:spTgt spid=")" +
                    std::to_string(spid) +
                    R"("/></p:tgtEl></p:cBhvr></p:set></p:childTnLst></p:cTn></p:par></p:tnLst></p:timing>)");
    return entries;
}

// Prefixes used in node's subtree that no declaration on the way up to the document binds.
std::vector<std::string> unboundPrefixes(pugi::xml_node node) {
    std::vector<std::string> unbound;
    auto check = [&](pugi::xml_node at, const char* name) {
        const char* colon = std::strchr(name, ':');
        if (!colon) return;
        const std::string prefix(name, colon);
        if (prefix == "xmlns" || prefix == "xml") return;
        for (pugi::xml_node n = at; n; n = n.parent())
            if (n.attribute(("xmlns:" + prefix).c_str())) return;
        unbound.push_back(prefix);
    };
    for (pugi::xpath_node n : node.select_nodes("descendant-or-self::*")) {
        check(n.node(), n.node().name());
        for (pugi::xml_attribute a : n.node().attributes()) check(n.node(), a.name());
    }
    return unbound;
}

// 2026-12-07 12:00:00 UTC
const auto kNow = std::chrono::system_clock::from_time_t(1796644800);

class StampTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) savedTz_ = tz;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    // The suites after this one run in the zone they started in.
    void TearDown() override {
        if (savedTz_)
            setenv("TZ", savedTz_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    // Writes the deck, applies configure, saves to out.pptx and returns its path.
    std::filesystem::path stamp(const DeckPlan& plan, const std::function<void(Presentation&)>& configure) {
        writeZip(dir / "in.pptx", buildDeck(plan));
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setNow(kNow);
        configure(deck);
        deck.saveAs(dir / "out.pptx");
        return dir / "out.pptx";
    }

    static void showAll(Presentation& deck) {
        deck.setText(MasterKind::Slide, Element::Footer, "ACME Confidential");
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        deck.setText(MasterKind::Slide, Element::DateAndTime, "7 December 2026");
        deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, false);
        deck.setVisible(MasterKind::Slide, Element::DateAndTime, true);
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    }

    Xml part(const std::string& name) { return Xml(readEntry(dir / "out.pptx", name)); }

    TempDir dir;

  private:
    std::optional<std::string> savedTz_;
};

TEST_F(StampTest, EverySlideGetsTheLayoutsPlaceholdersWithTheText) {
    DeckPlan plan;
    plan.slides = {SlidePlan{}, SlidePlan{}};
    stamp(plan, showAll);
    for (const std::string slide : {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml"}) {
        const Xml xml = part(slide);
        ASSERT_EQ(xml.count(kFooterP), 1u) << slide;
        const pugi::xml_node footer = xml.one(kFooterP);
        const pugi::xml_node ph = footer.select_node("p:nvSpPr/p:nvPr/p:ph").node();
        EXPECT_STREQ(ph.attribute("idx").value(), "11");
        EXPECT_STREQ(ph.attribute("sz").value(), "quarter");
        EXPECT_FALSE(footer.select_node("p:spPr/a:xfrm")) << "inherits the layout's position";
        const pugi::xml_node paragraph = footer.select_node("p:txBody/a:p").node();
        EXPECT_STREQ(paragraph.first_child().name(), "a:pPr");
        EXPECT_FALSE(paragraph.first_child().first_child()) << "the pPr is empty";
        EXPECT_STREQ(paragraph.select_node("a:r/a:t").node().text().get(), "ACME Confidential");
        EXPECT_STREQ(xml.one(kDateP).select_node("p:txBody/a:p/a:r/a:t").node().text().get(),
                     "7 December 2026");
        EXPECT_EQ(xml.count(kDateP + "//a:fld"), 0u) << "a fixed date is plain text";
    }
    EXPECT_STREQ(part("ppt/slides/slide2.xml").one(kNumberP + "//a:fld[@type='slidenum']/a:t").text().get(),
                 "2");
}

TEST_F(StampTest, PlaceholderGeometryComesFromLayoutMasterOrBand) {
    struct Case {
        const char* name;
        bool layoutHas, masterHas;
        bool explicitXfrm;
        const char* expectedX;  // of the footer's a:off, when explicit
    };
    const Case cases[] = {
        {"layout has it", true, true, false, ""},
        {"only the master has it", false, true, true, "457200"},
        {"neither has it", false, false, true, "3029407"},
    };
    for (const Case& c : cases) {
        DeckPlan plan;
        plan.masters[0].ftr = c.masterHas;
        plan.masters[0].layouts[0].ftr = c.layoutHas;
        stamp(plan, showAll);
        const Xml slide = part("ppt/slides/slide1.xml");
        ASSERT_EQ(slide.count(kFooterP), 1u) << c.name;
        const pugi::xml_node off = slide.one(kFooterP + "/p:spPr/a:xfrm/a:off");
        EXPECT_EQ(static_cast<bool>(off), c.explicitXfrm) << c.name;
        if (c.explicitXfrm) {
            EXPECT_STREQ(off.attribute("x").value(), c.expectedX) << c.name;
        }
        if (!c.layoutHas) {
            // A fresh idx, so that nothing on the layout is inherited by accident.
            EXPECT_STREQ(slide.one(kFooterP + "/p:nvSpPr/p:nvPr/p:ph").attribute("idx").value(), "13")
                << c.name;
        }
    }
}

TEST_F(StampTest, APlaceholderCopiedFromTheMasterNeedsNoDeclarationThePageLacks) {
    // Only the master has the footer, and its text body uses a namespace only the master declares.
    DeckPlan plan;
    plan.masters[0].layouts[0].ftr = false;
    Entries entries = buildDeck(plan);
    for (auto& [name, text] : entries) {
        if (name != "ppt/slideMasters/slideMaster1.xml") continue;
        text.replace(text.find("<p:sldMaster ") + 13, 0, R"(xmlns:t14="urn:trelwick:test" )");
        const std::size_t footer = text.find(R"(type="ftr")");
        text.replace(
            text.find("<a:bodyPr/>", footer), 11,
            R"(<a:bodyPr t14:mode="x"><a:extLst><a:ext uri="{T}"><t14:flag/></a:ext></a:extLst></a:bodyPr>)");
    }
    writeZip(dir / "in.pptx", entries);
    Presentation deck = Presentation::open(dir / "in.pptx");
    showAll(deck);
    deck.saveAs(dir / "out.pptx");
    const Xml slide = part("ppt/slides/slide1.xml");
    ASSERT_EQ(slide.count(kFooterP), 1u);
    EXPECT_EQ(unboundPrefixes(slide.root()), std::vector<std::string>{});
    EXPECT_STREQ(slide.one(kFooterP + "//a:t").text().get(), "ACME Confidential");
    EXPECT_TRUE(slide.one(kFooterP + "/p:spPr/a:xfrm")) << "a box of its own, as the layout has none";
}

TEST_F(StampTest, AttributeValuesMeanWhatTheyMeantBefore) {
    // A line end written raw in an attribute is a space to every reader; one written as a reference is
    // a line end. Printed again (the footer is edited, so printed), each must still read as it did.
    DeckPlan plan;
    plan.slides[0].extraShapes =
        "<p:sp><p:nvSpPr><p:cNvPr id=\"30\" name=\"Footer\" descr=\"fig:\n\r\nmoon\tjpg\" "
        "title=\"two&#10;lines\"/><p:cNvSpPr/><p:nvPr><p:ph type=\"ftr\" idx=\"11\"/></p:nvPr></p:nvSpPr>"
        "<p:spPr/></p:sp>";
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    const pugi::xml_node cNvPr = slide.one("//p:cNvPr[@id='30']");
    EXPECT_STREQ(cNvPr.attribute("descr").value(), "fig:  moon jpg");
    EXPECT_STREQ(cNvPr.attribute("title").value(), "two\nlines");
}

// A slide may give the idx of the layout's footer to another placeholder; a new footer taking that idx
// too would share it, and readers would take one's geometry and text for the other's.
TEST_F(StampTest, ANewPlaceholderNeverSharesAnIdxWithOneOfThePage) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="9" name="Body"/><p:cNvSpPr/><p:nvPr><p:ph type="body" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/></p:sp>)";
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    const pugi::xml_node footer = slide.one(kFooterP);
    ASSERT_TRUE(footer);
    EXPECT_STRNE(footer.select_node("p:nvSpPr/p:nvPr/p:ph").node().attribute("idx").value(), "11");
    EXPECT_TRUE(footer.select_node("p:spPr/a:xfrm")) << "it inherits no box, so it has its own";
    std::vector<std::string> idx;
    for (const pugi::xpath_node& ph : slide.all("//p:ph[@idx]"))
        idx.emplace_back(ph.node().attribute("idx").value());
    std::sort(idx.begin(), idx.end());
    EXPECT_EQ(std::adjacent_find(idx.begin(), idx.end()), idx.end()) << ::testing::PrintToString(idx);
}

// A placeholder without a type is a content placeholder ("obj"), whatever layout placeholder shares its
// idx: one holding the idx of the layout's footer is the author's box, not the slide's footer. Shown, the
// footer comes as a placeholder of its own; hidden, there is no footer to take away.
TEST_F(StampTest, APlaceholderWithoutATypeIsNeverTakenForTheFooterItsIdxNames) {
    const std::string authorBox =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="9" name="Content Placeholder 8"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr><p:nvPr><p:ph idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang="en-US"/><a:t>Author's box</a:t></a:r></a:p></p:txBody></p:sp>)";
    for (bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "footer shown" : "footer hidden");
        DeckPlan plan;
        plan.slides[0].extraShapes = authorBox;
        stamp(plan, [&](Presentation& deck) {
            deck.setText(MasterKind::Slide, Element::Footer, "ACME Confidential");
            deck.setVisible(MasterKind::Slide, Element::Footer, shown);
        });
        const Xml slide = part("ppt/slides/slide1.xml");
        const pugi::xml_node box = slide.one("//p:sp[p:nvSpPr/p:cNvPr/@id='9']");
        ASSERT_TRUE(box) << "the author's box is gone";
        const pugi::xml_node ph = box.select_node("p:nvSpPr/p:nvPr/p:ph").node();
        EXPECT_FALSE(ph.attribute("type"));
        EXPECT_STREQ(ph.attribute("idx").value(), "11");
        EXPECT_STREQ(box.select_node("p:txBody/a:p/a:r/a:t").node().child_value(), "Author's box");
        ASSERT_EQ(slide.count(kFooterP), shown ? 1u : 0u);
        if (shown) {
            const pugi::xml_node footer = slide.one(kFooterP);
            EXPECT_STREQ(footer.select_node("p:txBody/a:p/a:r/a:t").node().child_value(),
                         "ACME Confidential");
            EXPECT_STRNE(footer.select_node("p:nvSpPr/p:nvPr/p:ph").node().attribute("idx").value(), "11");
        }
    }
}

TEST_F(StampTest, FreshIdxStaysAnUnsignedInt) {
    DeckPlan plan;
    plan.masters[0].layouts[0].ftr = false;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="9" name="Body"/><p:cNvSpPr/><p:nvPr><p:ph type="body" idx="4294967295"/></p:nvPr></p:nvSpPr><p:spPr/></p:sp>)";
    stamp(plan, showAll);
    const std::string idx =
        part("ppt/slides/slide1.xml").one(kFooterP + "/p:nvSpPr/p:nvPr/p:ph").attribute("idx").value();
    EXPECT_EQ(idx, "1");
}

TEST_F(StampTest, FreshIdsAndIdxStayUnsignedIntsWhateverHostileValuesTheDeckHolds) {
    // Values beyond any integer type, at its limits, and negative: the new footer still gets an id
    // and an idx that PowerPoint accepts and that no shape on the page uses.
    for (const std::string value :
         {"9223372036854775807", "-9223372036854775808", "4294967295", "99999999999999999999"}) {
        SCOPED_TRACE(value);
        DeckPlan plan;
        plan.masters[0].layouts[0].ftr = false;
        plan.slides[0].extraShapes = R"(<p:sp><p:nvSpPr><p:cNvPr id=")" + value +
                                     R"(" name="Body"/><p:cNvSpPr/><p:nvPr><p:ph type="body" idx=")" + value +
                                     R"("/></p:nvPr></p:nvSpPr><p:spPr/></p:sp>)";
        stamp(plan, showAll);
        const auto slide = part("ppt/slides/slide1.xml");
        const long long id = slide.one(kFooterP + "/p:nvSpPr/p:cNvPr").attribute("id").as_llong(-1);
        const long long idx = slide.one(kFooterP + "/p:nvSpPr/p:nvPr/p:ph").attribute("idx").as_llong(-1);
        EXPECT_GE(id, 1);
        EXPECT_LE(id, 4294967295ll);
        EXPECT_GE(idx, 1);
        EXPECT_LE(idx, 4294967295ll);
        EXPECT_NE(std::to_string(id), value);
    }
}

TEST_F(StampTest, EverySlideMasterIsCovered) {
    DeckPlan plan;
    plan.masters = {MasterPlan{}, MasterPlan{}};
    plan.masters[1].ftr = false;
    plan.slides = {on(0, 0), on(1, 0)};
    stamp(plan, showAll);
    EXPECT_EQ(part("ppt/slides/slide1.xml").count(kFooterP), 1u);
    EXPECT_EQ(part("ppt/slides/slide2.xml").count(kFooterP), 1u);
    for (const std::string master :
         {"ppt/slideMasters/slideMaster1.xml", "ppt/slideMasters/slideMaster2.xml"}) {
        // The node lives only as long as its document.
        const auto masterXml = part(master);
        const pugi::xml_node hf = masterXml.one("/p:sldMaster/p:hf");
        ASSERT_TRUE(hf) << master;
        EXPECT_STREQ(hf.attribute("ftr").value(), "1");
        EXPECT_STREQ(hf.attribute("hdr").value(), "0");
        EXPECT_STREQ(hf.next_sibling().name(), "p:txStyles") << "hf stands at its schema position";
    }
}

TEST_F(StampTest, FlagsAndTextsOnMastersAndLayouts) {
    DeckPlan plan;
    stamp(plan, [](Presentation& deck) {
        showAll(deck);
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, false);
    });
    const Xml master = part("ppt/slideMasters/slideMaster1.xml");
    const pugi::xml_node hf = master.one("/p:sldMaster/p:hf");
    EXPECT_STREQ(hf.attribute("sldNum").value(), "0");
    EXPECT_STREQ(hf.attribute("dt").value(), "1");
    EXPECT_STREQ(hf.attribute("ftr").value(), "1");
    EXPECT_STREQ(master.one(kFooterP + "//a:t").text().get(), "ACME Confidential");
    const Xml layout = part("ppt/slideLayouts/slideLayout1.xml");
    EXPECT_STREQ(layout.one(kFooterP + "//a:t").text().get(), "ACME Confidential");
    EXPECT_TRUE(layout.one("/p:sldLayout/p:hf"));
    EXPECT_STREQ(layout.one("/p:sldLayout/p:hf").previous_sibling().name(), "p:clrMapOvr");
}

TEST_F(StampTest, TitleSlidesKeepNoneWhenTheDeckSaysSo) {
    for (const bool hideOnTitle : {true, false}) {
        DeckPlan plan;
        plan.masters[0].layouts = {LayoutPlan{"title"}, LayoutPlan{"obj"}};
        plan.slides = {on(0, 0), on(0, 1)};
        if (hideOnTitle) plan.presentationAttributes = R"(showSpecialPlsOnTitleSld="0")";
        stamp(plan, showAll);
        const Xml title = part("ppt/slides/slide1.xml");
        const std::size_t expected = hideOnTitle ? 0 : 1;
        EXPECT_EQ(title.count(kFooterP), expected);
        EXPECT_EQ(title.count(kDateP), expected);
        EXPECT_EQ(title.count(kNumberP), expected);
        EXPECT_EQ(part("ppt/slides/slide2.xml").count(kFooterP), 1u);
        EXPECT_STREQ(part("ppt/slideLayouts/slideLayout1.xml").one("//p:hf").attribute("ftr").value(),
                     hideOnTitle ? "0" : "1");
    }
}

TEST_F(StampTest, ExistingFootersAreReplacedNotDuplicated) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Old footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" sz="quarter" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:pPr algn="r"/><a:r><a:rPr lang="de-DE" b="1"><a:solidFill><a:srgbClr val="C00000"/></a:solidFill><a:latin typeface="Georgia"/></a:rPr><a:t>Old</a:t></a:r></a:p><a:p><a:r><a:t>second line</a:t></a:r></a:p></p:txBody></p:sp>)"
        R"(<p:grpSp><p:nvGrpSpPr><p:cNvPr id="30" name="Group"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/><p:sp><p:nvSpPr><p:cNvPr id="31" name="Stray footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" idx="40"/></p:nvPr></p:nvSpPr><p:spPr/></p:sp></p:grpSp>)";
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    ASSERT_EQ(slide.count(kFooterP), 1u);
    const pugi::xml_node footer = slide.one(kFooterP);
    EXPECT_STREQ(footer.select_node("p:nvSpPr/p:cNvPr").node().attribute("name").value(), "Old footer");
    EXPECT_EQ(footer.select_nodes("p:txBody/a:p").size(), 1u);
    EXPECT_STREQ(footer.select_node("p:txBody/a:p/a:pPr").node().attribute("algn").value(), "r")
        << "its look is kept";
    EXPECT_STREQ(footer.select_node("p:txBody/a:p/a:r/a:rPr").node().attribute("b").value(), "1");
    EXPECT_STREQ(
        footer.select_node("p:txBody/a:p/a:r/a:rPr/a:solidFill/a:srgbClr").node().attribute("val").value(),
        "C00000");
    EXPECT_STREQ(footer.select_node("p:txBody/a:p/a:r/a:rPr/a:latin").node().attribute("typeface").value(),
                 "Georgia");
    EXPECT_STREQ(footer.select_node("p:txBody/a:p/a:r/a:t").node().text().get(), "ACME Confidential");
}

// PowerPoint wraps a shape in mc:AlternateContent when it uses something older readers lack (an
// equation in its text, say); the footer inside is still the slide's footer, in both branches.
const std::string kFooterInAlternateContent =
    R"(<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" xmlns:a14="http://schemas.microsoft.com/office/drawing/2010/main"><mc:Choice Requires="a14">)"
    R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" sz="quarter" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old choice</a:t></a:r></a:p></p:txBody></p:sp>)"
    R"(</mc:Choice><mc:Fallback>)"
    R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" sz="quarter" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old fallback</a:t></a:r></a:p></p:txBody></p:sp>)"
    R"(</mc:Fallback></mc:AlternateContent>)";

TEST_F(StampTest, AFooterInsideAlternateContentIsReplacedNotKeptBesideTheNewOne) {
    DeckPlan plan;
    plan.slides[0].extraShapes = kFooterInAlternateContent;
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    EXPECT_EQ(slide.count("//a:t[starts-with(., 'Old')]"), 0u)
        << "the old footer would show beside the new one";
    EXPECT_GE(slide.count(kFooterP + "//a:t[. = 'ACME Confidential']"), 1u);
}

TEST_F(StampTest, AHiddenFooterLeavesNoFooterInsideAlternateContent) {
    DeckPlan plan;
    plan.slides[0].extraShapes = kFooterInAlternateContent;
    stamp(plan, [](Presentation& deck) {
        deck.setText(MasterKind::Slide, Element::Footer, "Hidden");
        deck.setVisible(MasterKind::Slide, Element::Footer, false);
    });
    EXPECT_EQ(part("ppt/slides/slide1.xml").count("//a:t[starts-with(., 'Old')]"), 0u)
        << "a hidden footer still shows its old text";
}

TEST_F(StampTest, AFooterInAlternateContentInsideAGroupIsStampedAndTheRestOfTheGroupKept) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:grpSp><p:nvGrpSpPr><p:cNvPr id="30" name="Group"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>)"
        R"(<p:sp><p:nvSpPr><p:cNvPr id="31" name="Note"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:p><a:r><a:t>Kept</a:t></a:r></a:p></p:txBody></p:sp>)" +
        kFooterInAlternateContent + "</p:grpSp>";
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    EXPECT_EQ(slide.count("//a:t[starts-with(., 'Old')]"), 0u);
    EXPECT_EQ(slide.count("//*[local-name()='AlternateContent']"), 0u);
    EXPECT_EQ(slide.count("//p:grpSp//a:t[. = 'Kept']"), 1u);
    EXPECT_EQ(slide.count(kFooterP + "//a:t[. = 'ACME Confidential']"), 1u) << "one footer, the stamped one";
}

// A footer holding an equation, as PowerPoint saves it: the choice has the equation, the fallback
// draws a picture of it as the shape's fill, its own text a blank without fill.
const std::string kEquationFooter =
    R"(<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006"><mc:Choice xmlns:a14="http://schemas.microsoft.com/office/drawing/2010/main" Requires="a14">)"
    R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer Placeholder 19"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr><p:nvPr><p:ph type="ftr" sz="quarter" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/>)"
    R"(<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a14:m><m:oMathPara xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math"><m:oMath><m:r><a:rPr lang="en-US" i="1"><a:latin typeface="Cambria Math"/></a:rPr><m:t>E=mc2</m:t></m:r></m:oMath></m:oMathPara></a14:m><a:endParaRPr lang="en-US"/></a:p></p:txBody></p:sp>)"
    R"(</mc:Choice><mc:Fallback>)"
    R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer Placeholder 19"/><p:cNvSpPr><a:spLocks noGrp="1" noRot="1" noChangeAspect="1" noMove="1" noResize="1" noEditPoints="1" noAdjustHandles="1" noChangeArrowheads="1" noChangeShapeType="1" noTextEdit="1"/></p:cNvSpPr><p:nvPr><p:ph type="ftr" sz="quarter" idx="11"/></p:nvPr></p:nvSpPr>)"
    R"(<p:spPr><a:blipFill><a:blip r:embed="rId20"/><a:stretch><a:fillRect/></a:stretch></a:blipFill></p:spPr>)"
    R"(<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang="en-US"><a:noFill/></a:rPr><a:t> </a:t></a:r></a:p></p:txBody></p:sp>)"
    R"(</mc:Fallback></mc:AlternateContent>)";

TEST_F(StampTest, AFooterHoldingAnEquationShowsTheNewTextNotAPictureOfTheOld) {
    DeckPlan plan;
    plan.slides[0].extraShapes = kEquationFooter;
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    ASSERT_EQ(slide.count(kFooterP), 1u);
    EXPECT_EQ(slide.count(kFooterP + "/p:spPr/a:blipFill"), 0u)
        << "the old equation's picture is drawn under the new text";
    EXPECT_EQ(slide.count(kFooterP + "//a:r[a:t = 'ACME Confidential']/a:rPr/a:noFill"), 0u)
        << "the new text is drawn without fill";
    EXPECT_EQ(slide.count(kFooterP + "//a:t[. = 'ACME Confidential']"), 1u);
}

// Hidden, an animated footer is emptied rather than removed: emptied, it must show nothing.
TEST_F(StampTest, AHiddenAnimatedFooterHoldingAnEquationShowsNothing) {
    DeckPlan plan;
    plan.slides[0].extraShapes = kEquationFooter;
    writeZip(dir / "in.pptx", withAnimationOf(buildDeck(plan), 20));
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setNow(kNow);
    deck.setText(MasterKind::Slide, Element::Footer, "Hidden");
    deck.setVisible(MasterKind::Slide, Element::Footer, false);
    deck.saveAs(dir / "out.pptx");
    const Xml slide = part("ppt/slides/slide1.xml");
    EXPECT_EQ(slide.count(kFooterP + "//a:t[string-length(normalize-space(.)) > 0]"), 0u);
    EXPECT_EQ(slide.count(kFooterP + "/p:spPr/a:blipFill"), 0u)
        << "the hidden footer still draws the old equation";
}

// A wrapper holding the footer and another shape: only the footer is the stamp's; the other shape
// keeps the form newer readers show (its equation), not the picture older readers get instead.
TEST_F(StampTest, AShapeWrappedWithTheFooterKeepsWhatNewerReadersShow) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006"><mc:Choice xmlns:a14="http://schemas.microsoft.com/office/drawing/2010/main" Requires="a14">)"
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old</a:t></a:r></a:p></p:txBody></p:sp>)"
        R"(<p:sp><p:nvSpPr><p:cNvPr id="21" name="Equation"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a14:m><m:oMathPara xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math"><m:oMath><m:r><m:t>x</m:t></m:r></m:oMath></m:oMathPara></a14:m></a:p></p:txBody></p:sp>)"
        R"(</mc:Choice><mc:Fallback>)"
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old</a:t></a:r></a:p></p:txBody></p:sp>)"
        R"(<p:pic><p:nvPicPr><p:cNvPr id="21" name="Equation"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr><p:blipFill><a:blip r:embed="rId20"/><a:stretch><a:fillRect/></a:stretch></p:blipFill><p:spPr/></p:pic>)"
        R"(</mc:Fallback></mc:AlternateContent>)";
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    EXPECT_EQ(slide.count(kFooterP + "//a:t[. = 'ACME Confidential']"), 1u);
    EXPECT_EQ(slide.count("//*[local-name() = 'oMathPara']"), 1u)
        << "the equation became its fallback picture";
}

// shapes wrapped as PowerPoint wraps them, the same in the choice and in the fallback.
std::string wrappedInAlternateContent(const std::string& shapes) {
    return R"(<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" xmlns:a14="http://schemas.microsoft.com/office/drawing/2010/main"><mc:Choice Requires="a14">)" +
           shapes + "</mc:Choice><mc:Fallback>" + shapes + "</mc:Fallback></mc:AlternateContent>";
}

// The deck with the footer of each of the parts named wrapped, holding text (when given).
Entries withFooterWrapped(Entries entries, const std::vector<std::string>& parts, const std::string& text) {
    for (auto& [name, xml] : entries) {
        if (std::find(parts.begin(), parts.end(), name) == parts.end()) continue;
        const std::size_t start = xml.rfind("<p:sp>", xml.find(R"(type="ftr")"));
        const std::size_t end = xml.find("</p:sp>", start) + 7;
        std::string footer = xml.substr(start, end - start);
        if (!text.empty()) footer.replace(footer.find("<a:p>") + 5, 0, "<a:r><a:t>" + text + "</a:t></a:r>");
        xml.replace(start, end - start, wrappedInAlternateContent(footer));
    }
    return entries;
}

// The wrapper may hold a group (a shape needing a newer reader makes its whole group wrapped); the
// footer in that group is still the slide's footer.
TEST_F(StampTest, AFooterInAGroupInsideAlternateContentIsReplacedNotKeptBesideTheNewOne) {
    const std::string group =
        R"(<p:grpSp><p:nvGrpSpPr><p:cNvPr id="30" name="Group"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>)"
        R"(<p:sp><p:nvSpPr><p:cNvPr id="31" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old</a:t></a:r></a:p></p:txBody></p:sp>)"
        R"(</p:grpSp>)";
    DeckPlan plan;
    plan.slides[0].extraShapes = wrappedInAlternateContent(group);
    stamp(plan, showAll);
    const Xml slide = part("ppt/slides/slide1.xml");
    EXPECT_EQ(slide.count("//a:t[. = 'Old']"), 0u) << "the old footer would show beside the new one";
    EXPECT_EQ(slide.count(kFooterP + "//a:t[. = 'ACME Confidential']"), 1u);
}

// Pages added later take the master's and layout's footer: a wrapped one must take the new text too.
TEST_F(StampTest, AFooterInsideAlternateContentOnTheMasterAndLayoutTakesTheText) {
    writeZip(
        dir / "in.pptx",
        withFooterWrapped(buildDeck(DeckPlan{}),
                          {"ppt/slideMasters/slideMaster1.xml", "ppt/slideLayouts/slideLayout1.xml"}, "Old"));
    Presentation deck = Presentation::open(dir / "in.pptx");
    showAll(deck);
    deck.saveAs(dir / "out.pptx");
    for (const char* name : {"ppt/slideMasters/slideMaster1.xml", "ppt/slideLayouts/slideLayout1.xml"}) {
        const Xml master = part(name);
        EXPECT_EQ(master.count("//a:t[. = 'Old']"), 0u)
            << name << " keeps its old footer for pages added later";
        EXPECT_EQ(master.count(kFooterP + "//a:t[. = 'ACME Confidential']"), 1u) << name;
        EXPECT_EQ(unboundPrefixes(master.root()), std::vector<std::string>{}) << name;
    }
}

// Shown or hidden without a text, the master keeps its wrapped footer as the author saved it.
TEST_F(StampTest, AWrappedMasterFooterIsLeftAsItIsWhenNoTextIsGiven) {
    writeZip(dir / "in.pptx",
             withFooterWrapped(buildDeck(DeckPlan{}), {"ppt/slideMasters/slideMaster1.xml"}, ""));
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::Footer, false);
    deck.saveAs(dir / "out.pptx");
    EXPECT_EQ(part("ppt/slideMasters/slideMaster1.xml").count("//*[local-name() = 'AlternateContent']"), 1u);
}

TEST_F(StampTest, HiddenElementsLeaveThePagesButStayOnTheMaster) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" sz="quarter" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old</a:t></a:r></a:p></p:txBody></p:sp>)";
    stamp(plan, [](Presentation& deck) {
        deck.setText(MasterKind::Slide, Element::Footer, "Kept on the master");
        deck.setVisible(MasterKind::Slide, Element::Footer, false);
    });
    EXPECT_EQ(part("ppt/slides/slide1.xml").count(kFooterP), 0u);
    EXPECT_STREQ(part("ppt/slideMasters/slideMaster1.xml").one(kFooterP + "//a:t").text().get(),
                 "Kept on the master");
    EXPECT_STREQ(part("ppt/slideMasters/slideMaster1.xml").one("//p:hf").attribute("ftr").value(), "0");
}

TEST_F(StampTest, AnimatedPlaceholdersAreEmptiedNotRemoved) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" sz="quarter" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old</a:t></a:r></a:p></p:txBody></p:sp>)";
    // PowerPoint asks to repair a deck whose animation targets a shape that is gone.
    writeZip(dir / "in.pptx", withAnimationOf(buildDeck(plan), 20));
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::Footer, false);
    deck.saveAs(dir / "out.pptx");
    const Xml slide = part("ppt/slides/slide1.xml");
    ASSERT_EQ(slide.count(kFooterP), 1u);
    EXPECT_STREQ(slide.one(kFooterP + "//a:t").text().get(), "");
}

TEST_F(StampTest, ThousandsOfDuplicateFootersGoAllButTheAnimatedOnes) {
    // Each removal used to walk the whole page for animations: twenty thousand took most of a minute.
    constexpr int kCount = 20000;
    DeckPlan plan;
    for (int i = 0; i < kCount; ++i)
        plan.slides[0].extraShapes +=
            "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(100 + i) +
            "\" name=\"Footer\"/><p:cNvSpPr/><p:nvPr><p:ph type=\"ftr\" idx=\"11\"/>"
            "</p:nvPr></p:nvSpPr><p:spPr/></p:sp>";
    writeZip(dir / "in.pptx", withAnimationOf(buildDeck(plan), 5000));
    for (const bool show : {true, false}) {
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setText(MasterKind::Slide, Element::Footer, "Only one");
        deck.setVisible(MasterKind::Slide, Element::Footer, show);
        deck.saveAs(dir / "out.pptx");
        const Xml slide = part("ppt/slides/slide1.xml");
        // Shown: the first is filled, the animated one emptied, the rest gone. Hidden: the animated one
        // stays, empty.
        EXPECT_EQ(slide.count(kFooterP), show ? 2u : 1u);
        EXPECT_EQ(slide.count(kFooterP + "[p:nvSpPr/p:cNvPr/@id='5000']"), 1u);
        EXPECT_EQ(slide.count(kFooterP + "//a:t[.='Only one']"), show ? 1u : 0u);
    }
}

TEST_F(StampTest, WordsAroundTheSlideNumberStay) {
    // Slide 1 has its own number in words; slide 2 gets one from the layout, which has words too.
    DeckPlan plan;
    plan.slides = {SlidePlan{}, SlidePlan{}};
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="30" name="Number"/><p:cNvSpPr/><p:nvPr><p:ph type="sldNum" idx="12"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang="en-US"/><a:t>Slide </a:t></a:r><a:fld id="{1D2C3B4A-0000-0000-0000-000000000001}" type="slidenum"><a:rPr lang="en-US"/><a:t>9</a:t></a:fld><a:r><a:t> of many</a:t></a:r></a:p></p:txBody></p:sp>)";
    Entries entries = buildDeck(plan);
    for (auto& [name, text] : entries) {
        if (name != "ppt/slideLayouts/slideLayout1.xml") continue;
        const std::size_t at = text.find("<a:p>", text.find(R"(type="sldNum")"));
        text.replace(
            at, 5,
            R"(<a:p><a:r><a:rPr lang="en-US"/><a:t>Page </a:t></a:r><a:fld id="{1D2C3B4A-0000-0000-0000-000000000002}" type="slidenum"><a:rPr lang="en-US"/><a:t>&#8249;#&#8250;</a:t></a:fld>)");
    }
    writeZip(dir / "in.pptx", entries);
    for (int round = 0; round < 2; ++round) {  // and again on the stamped deck: nothing doubles
        Presentation deck = Presentation::open(dir / (round == 0 ? "in.pptx" : "once.pptx"));
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
        deck.saveAs(dir / (round == 0 ? "once.pptx" : "out.pptx"));
        if (round == 0) continue;
        auto shown = [&](const std::string& name) {
            const Xml slide = part(name);
            std::string text;
            for (pugi::xpath_node t : slide.all(kNumberP + "//a:t")) text += t.node().text().get();
            return text;
        };
        EXPECT_EQ(shown("ppt/slides/slide1.xml"), "Slide 1 of many");
        EXPECT_EQ(shown("ppt/slides/slide2.xml"), "Page 2");
        EXPECT_EQ(part("ppt/slides/slide2.xml").count(kNumberP + "//a:fld[@type='slidenum']"), 1u);
    }
}

TEST_F(StampTest, TheLayoutsWordsAroundTheNumberAreCopiedOnlyWhereTheyMeanTheSame) {
    const std::string dml = "http://schemas.openxmlformats.org/drawingml/2006/main";
    const std::string fld =
        R"(<a:fld id="{1D2C3B4A-0000-0000-0000-000000000002}" type="slidenum"><a:t>&#8249;#&#8250;</a:t></a:fld>)";
    struct Case {
        const char* name;
        std::string paragraph;  // the layout's number paragraph
        const char* shown;      // what the new number on the slide reads
    };
    const Case cases[] = {
        {"plain words", "<a:p><a:r><a:t>Page </a:t></a:r>" + fld + "</a:p>", "Page 1"},
        {"words above the number", "<a:p><a:r><a:t>Page</a:t></a:r></a:p><a:p>" + fld + "</a:p>", "Page1"},
        // A relationship id means a part only through the layout's own relationships.
        {"a hyperlink",
         R"(<a:p><a:r><a:rPr><a:hlinkClick r:id="rId1"/></a:rPr><a:t>Page </a:t></a:r>)" + fld + "</a:p>",
         "1"},
        // The slide would declare DrawingML again below its root, and the next stamp refuse it.
        {"DrawingML declared again",
         "<a:p xmlns:d=\"" + dml + "\"><a:r><a:t>Page </a:t></a:r>" + fld + "</a:p>", "1"},
        {"a: bound elsewhere", "<a:p><a:r xmlns:a=\"urn:other\"><a:t>Page </a:t></a:r>" + fld + "</a:p>",
         "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeckPlan plan;
        Entries entries = buildDeck(plan);
        for (auto& [name, text] : entries) {
            if (name != "ppt/slideLayouts/slideLayout1.xml") continue;
            const std::size_t at = text.find("<a:p>", text.find(R"(type="sldNum")"));
            text.replace(at, text.find("</a:p>", at) + 6 - at, c.paragraph);
        }
        writeZip(dir / "in.pptx", entries);
        for (const char* from : {"in.pptx", "out.pptx"}) {  // and the stamped deck stamps again
            Presentation deck = Presentation::open(dir / from);
            deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
            deck.saveAs(dir / "next.pptx");
            std::filesystem::rename(dir / "next.pptx", dir / "out.pptx");
        }
        const Xml slide = part("ppt/slides/slide1.xml");
        std::string shown;
        for (pugi::xpath_node t : slide.all(kNumberP + "//a:t")) shown += t.node().text().get();
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(slide.count("//@r:id"), 0u);
    }
}

// The deck with a plain text box holding a field (a slide number unless told) on each of the parts
// named: drawn on every slide under them, whatever the placeholders say.
Entries withNumberTextBoxOn(Entries entries, const std::vector<std::string>& parts,
                            const std::string& field = "slidenum") {
    const std::string box =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="40" name="TextBox"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:fld id="{11111111-2222-3333-4444-555555555555}" type=")" +
        field + R"("><a:t>&#8249;#&#8250;</a:t></a:fld></a:p></p:txBody></p:sp>)";
    for (auto& [name, xml] : entries)
        if (std::find(parts.begin(), parts.end(), name) != parts.end())
            xml.replace(xml.find("</p:spTree>"), 0, box);
    return entries;
}

TEST_F(StampTest, NumbersDrawnAsTextBoxesOnTheMasterAreReported) {
    for (const bool textBox : {true, false}) {
        const std::vector<std::string> parts{"ppt/slideMasters/slideMaster1.xml"};
        writeZip(dir / "in.pptx",
                 withNumberTextBoxOn(buildDeck(DeckPlan{}), textBox ? parts : std::vector<std::string>{}));
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, false);
        const SaveOutcome outcome = deck.saveAs(dir / "out.pptx");
        EXPECT_EQ(outcome.warnings.size(), textBox ? 1u : 0u);
        if (textBox) {
            ASSERT_FALSE(outcome.warnings.empty());
            EXPECT_NE(outcome.warnings.front().find("ppt/slideMasters/slideMaster1.xml"), std::string::npos);
        }
    }
}

// An automatic date drawn as a text box is reported as a number is, once a part whatever it holds;
// the date placeholders every generated deck has are not.
TEST_F(StampTest, DatesDrawnAsTextBoxesAreReportedAsNumbersAre) {
    const std::string master = "ppt/slideMasters/slideMaster1.xml";
    writeZip(dir / "in.pptx",
             withNumberTextBoxOn(
                 withNumberTextBoxOn(withNumberTextBoxOn(buildDeck(DeckPlan{}), {master}, "datetime1"),
                                     {master}, "datetime12"),
                 {master}));
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::DateAndTime, false);
    const SaveOutcome outcome = deck.saveAs(dir / "out.pptx");
    ASSERT_EQ(outcome.warnings.size(), 2u);
    for (const std::string& warning : outcome.warnings)
        EXPECT_NE(warning.find(master), std::string::npos) << warning;
    EXPECT_NE(outcome.warnings[0].find("slide number"), std::string::npos) << outcome.warnings[0];
    EXPECT_NE(outcome.warnings[1].find("a date drawn as a plain text box"), std::string::npos)
        << outcome.warnings[1];

    writeZip(dir / "in.pptx", withNumberTextBoxOn(buildDeck(DeckPlan{}), {master}, "unknown"));
    Presentation other = Presentation::open(dir / "in.pptx");
    other.setVisible(MasterKind::Slide, Element::DateAndTime, false);
    EXPECT_TRUE(other.saveAs(dir / "out.pptx").warnings.empty());
}

// A table on the master is drawn on every slide as a text box is, fields in its cells included; a
// hidden table or a table placeholder is not.
TEST_F(StampTest, NumbersInATableOnTheMasterAreReported) {
    const std::string master = "ppt/slideMasters/slideMaster1.xml";
    auto warnings = [&](const std::string& frameAttributes, const std::string& nvPr) {
        Entries entries = buildDeck(DeckPlan{});
        const std::string table =
            R"(<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="41" name="Table")" + frameAttributes +
            R"(/><p:cNvGraphicFramePr/>)" + nvPr +
            R"(</p:nvGraphicFramePr><p:xfrm><a:off x="0" y="0"/><a:ext cx="100" cy="100"/></p:xfrm><a:graphic>)"
            R"(<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/table"><a:tbl><a:tblGrid>)"
            R"(<a:gridCol w="100"/></a:tblGrid><a:tr h="100"><a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p>)"
            R"(<a:fld id="{11111111-2222-3333-4444-555555555557}" type="slidenum"><a:t>1</a:t></a:fld></a:p>)"
            R"(</a:txBody><a:tcPr/></a:tc></a:tr></a:tbl></a:graphicData></a:graphic></p:graphicFrame>)";
        for (auto& [name, xml] : entries)
            if (name == master) xml.replace(xml.find("</p:spTree>"), 0, table);
        writeZip(dir / "in.pptx", entries);
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, false);
        return deck.saveAs(dir / "out.pptx").warnings;
    };
    const std::vector<std::string> drawn = warnings("", "<p:nvPr/>");
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_NE(drawn.front().find(master), std::string::npos) << drawn.front();
    EXPECT_NE(drawn.front().find("slide number"), std::string::npos) << drawn.front();
    EXPECT_TRUE(warnings(R"( hidden="1")", "<p:nvPr/>").empty());
    EXPECT_TRUE(warnings("", R"(<p:nvPr><p:ph type="tbl" idx="20"/></p:nvPr>)").empty());
}

// A layout's own text box is drawn on every slide of that layout just as a master's is.
TEST_F(StampTest, NumbersDrawnAsTextBoxesOnALayoutAreReported) {
    writeZip(dir / "in.pptx",
             withNumberTextBoxOn(buildDeck(DeckPlan{}), {"ppt/slideLayouts/slideLayout1.xml"}));
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, false);
    const SaveOutcome outcome = deck.saveAs(dir / "out.pptx");
    ASSERT_EQ(outcome.warnings.size(), 1u);
    EXPECT_NE(outcome.warnings.front().find("ppt/slideLayouts/slideLayout1.xml"), std::string::npos);
}

// A master or layout no slide uses shows nothing anywhere, so its text box is no reason to warn.
TEST_F(StampTest, NumbersDrawnAsTextBoxesAreReportedOnlyWhereASlideShowsThem) {
    DeckPlan plan;
    plan.masters = {MasterPlan{}, MasterPlan{}};
    plan.masters[0].layouts = {LayoutPlan{}, LayoutPlan{}};
    plan.slides = {on(0, 0)};
    writeZip(dir / "in.pptx",
             withNumberTextBoxOn(buildDeck(plan),
                                 {"ppt/slideMasters/slideMaster1.xml", "ppt/slideMasters/slideMaster2.xml",
                                  "ppt/slideLayouts/slideLayout2.xml", "ppt/slideLayouts/slideLayout3.xml"}));
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, false);
    const SaveOutcome outcome = deck.saveAs(dir / "out.pptx");
    ASSERT_EQ(outcome.warnings.size(), 1u);
    EXPECT_NE(outcome.warnings.front().find("ppt/slideMasters/slideMaster1.xml"), std::string::npos);
}

// A text box in groups is drawn unless one of the groups above it is hidden, however deep it sits
// (hostile masters nest hundreds of groups around thousands of fields).
TEST_F(StampTest, TextBoxesInGroupsAreReportedUnlessAGroupAboveIsHidden) {
    const std::string master = "ppt/slideMasters/slideMaster1.xml";
    auto nested = [&](int depth, int hiddenAt) {
        Entries entries = withNumberTextBoxOn(buildDeck(DeckPlan{}), {master});
        for (auto& [entry, xml] : entries) {
            if (entry != master) continue;
            const std::size_t boxStart = xml.find(R"(<p:sp><p:nvSpPr><p:cNvPr id="40")");
            const std::size_t boxEnd = xml.find("</p:spTree>");
            std::string box = xml.substr(boxStart, boxEnd - boxStart);
            const std::string more =
                R"(<a:fld id="{11111111-2222-3333-4444-555555555556}" type="slidenum"><a:t>2</a:t></a:fld>)";
            for (int i = 0; i < 200; ++i) box.insert(box.find("</a:p>"), more);
            std::string open, close;
            for (int level = 0; level < depth; ++level) {
                open += R"(<p:grpSp><p:nvGrpSpPr><p:cNvPr id=")" + std::to_string(100 + level) +
                        R"(" name="Group")" + (level == hiddenAt ? R"( hidden="1")" : "") +
                        R"(/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>)";
                close += "</p:grpSp>";
            }
            xml.replace(boxStart, boxEnd - boxStart, open + box + close);
        }
        writeZip(dir / "in.pptx", entries);
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, false);
        return deck.saveAs(dir / "out.pptx").warnings;
    };
    EXPECT_EQ(nested(1, -1).size(), 1u);
    EXPECT_EQ(nested(900, -1).size(), 1u);
    EXPECT_TRUE(nested(1, 0).empty());
    EXPECT_TRUE(nested(900, 0).empty()) << "the outermost group is hidden";
    EXPECT_TRUE(nested(900, 899).empty()) << "the innermost group is hidden";
}

// A text box is drawn on no slide when it is hidden, when every layout the slides use hides the
// master's shapes, or when every slide under a layout hides the shapes behind it: no warning then.
TEST_F(StampTest, TextBoxesNoSlideDrawsAreNotReported) {
    const std::string master = "ppt/slideMasters/slideMaster1.xml";
    const std::string layout = "ppt/slideLayouts/slideLayout1.xml";
    auto setRootAttribute = [](Entries entries, const std::string& name, const std::string& root) {
        for (auto& [entry, xml] : entries)
            if (entry == name) xml.replace(xml.find(root) + root.size(), 0, R"( showMasterSp="0")");
        return entries;
    };
    auto warningsOf = [&](const Entries& entries) {
        writeZip(dir / "in.pptx", entries);
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setVisible(MasterKind::Slide, Element::DateAndTime, false);
        return deck.saveAs(dir / "out.pptx").warnings;
    };
    const Entries onMaster = withNumberTextBoxOn(buildDeck(DeckPlan{}), {master}, "datetime1");
    ASSERT_EQ(warningsOf(onMaster).size(), 1u);
    EXPECT_TRUE(warningsOf(setRootAttribute(onMaster, layout, "<p:sldLayout")).empty());
    EXPECT_TRUE(warningsOf(setRootAttribute(onMaster, "ppt/slides/slide1.xml", "<p:sld")).empty());

    Entries hidden = onMaster;
    for (auto& [entry, xml] : hidden)
        if (entry == master) {
            const std::string box = R"(name="TextBox")";
            xml.replace(xml.find(box) + box.size(), 0, R"( hidden="1")");
        }
    EXPECT_TRUE(warningsOf(hidden).empty());

    const Entries onLayout = withNumberTextBoxOn(buildDeck(DeckPlan{}), {layout});
    ASSERT_EQ(warningsOf(onLayout).size(), 1u);
    EXPECT_EQ(warningsOf(setRootAttribute(onLayout, layout, "<p:sldLayout")).size(), 1u);
    EXPECT_TRUE(warningsOf(setRootAttribute(onLayout, "ppt/slides/slide1.xml", "<p:sld")).empty());

    // A master listed twice is still one part.
    Entries twice = onMaster;
    for (auto& [entry, xml] : twice)
        if (entry == "ppt/presentation.xml") {
            const std::size_t from = xml.find("<p:sldMasterId "), to = xml.find("/>", from) + 2;
            std::string again = xml.substr(from, to - from);
            again.replace(again.find("id=\"") + 4, 0, "1");  // another id, the same relationship
            xml.insert(to, again);
        }
    EXPECT_EQ(warningsOf(twice).size(), 1u);
}

TEST_F(StampTest, SlideNumbersCountHiddenSlidesFromTheFirstNumber) {
    DeckPlan plan;
    plan.presentationAttributes = R"(firstSlideNum="5")";
    plan.slides = {SlidePlan{}, SlidePlan{}, SlidePlan{}};
    plan.slides[1].hidden = true;
    stamp(plan, showAll);
    for (int i = 1; i <= 3; ++i) {
        const Xml slide = part("ppt/slides/slide" + std::to_string(i) + ".xml");
        EXPECT_STREQ(slide.one(kNumberP + "//a:fld[@type='slidenum']/a:t").text().get(),
                     std::to_string(4 + i).c_str());
    }
}

TEST_F(StampTest, AFirstNumberNearTheTopOfTheRangeDoesNotWrapAround) {
    for (const char* first : {"2147483647", "-2147483648", "99999999999999999999"}) {
        DeckPlan plan;
        plan.presentationAttributes = std::string("firstSlideNum=\"") + first + "\"";
        plan.slides = {SlidePlan{}, SlidePlan{}};
        stamp(plan, showAll);
        const long long one = std::stoll(
            part("ppt/slides/slide1.xml").one(kNumberP + "//a:fld[@type='slidenum']/a:t").text().get());
        const long long two = std::stoll(
            part("ppt/slides/slide2.xml").one(kNumberP + "//a:fld[@type='slidenum']/a:t").text().get());
        EXPECT_EQ(two, one + 1) << first;
        EXPECT_EQ(one < 0, first[0] == '-') << first;
    }
}

TEST_F(StampTest, TextsMustBeUtf8AndOnlyWhatXmlCanHoldIsStamped) {
    writeZip(dir / "in.pptx", buildDeck(DeckPlan{}));
    Presentation deck = Presentation::open(dir / "in.pptx");
    // Latin-1, a lone surrogate, an overlong slash, past U+10FFFF, a sequence cut short.
    for (const char* bad : {"M\xFCller", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80", "caf\xC3"}) {
        EXPECT_FALSE(isUtf8(bad)) << bad;
        EXPECT_THROW(deck.setText(MasterKind::Slide, Element::Footer, bad), std::invalid_argument) << bad;
    }
    EXPECT_TRUE(isUtf8("M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD"));
    stamp(DeckPlan{}, [](Presentation& d) {
        // U+FFFE, U+FFFF and controls cannot be in XML; a line break shows as a space; a tab is text.
        d.setText(MasterKind::Slide, Element::Footer,
                  "A\xEF\xBF\xBE"
                  "B\xEF\xBF\xBF"
                  "C\x01"
                  "D\nE \xE2\x82\xAC\tF");
        d.setVisible(MasterKind::Slide, Element::Footer, true);
    });
    EXPECT_STREQ(part("ppt/slides/slide1.xml").one(kFooterP + "//a:t").text().get(),
                 "ABCD E \xE2\x82\xAC\tF");
}

TEST_F(StampTest, ALineBreakOfAnyKindShowsAsASpace) {
    // Text pasted from another program may end its lines with CR alone (classic Mac OS, some
    // spreadsheets); the words on either side must not run together.
    for (const char* text : {"Part1\nPart2", "Part1\r\nPart2", "Part1\rPart2", "Part1\vPart2"}) {
        stamp(DeckPlan{}, [&](Presentation& d) {
            d.setText(MasterKind::Slide, Element::Footer, text);
            d.setVisible(MasterKind::Slide, Element::Footer, true);
        });
        EXPECT_STREQ(part("ppt/slides/slide1.xml").one(kFooterP + "//a:t").text().get(), "Part1 Part2")
            << ::testing::PrintToString(std::string(text));
    }
}

TEST_F(StampTest, AutomaticDatesAreFieldsOfTheChosenFormat) {
    struct Case {
        int format;
        const char* cached;
    };
    const Case cases[] = {{1, "12/7/2026"},
                          {2, "Monday, December 7, 2026"},
                          {3, "7 December 2026"},
                          {4, "December 7, 2026"},
                          {5, "7-Dec-26"},
                          {6, "December 26"},
                          {7, "Dec-26"},
                          {8, "12/7/2026 12:00 PM"},
                          {9, "12/7/2026 12:00:00 PM"},
                          {10, "12:00"},
                          {11, "12:00:00"},
                          {12, "12:00 PM"},
                          {13, "12:00:00 PM"}};
    for (const Case& c : cases) {
        stamp(DeckPlan{}, [&](Presentation& deck) {
            deck.setVisible(MasterKind::Slide, Element::DateAndTime, true);
            deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, true);
            deck.setFormat(MasterKind::Slide, Element::DateAndTime, c.format);
        });
        // The node lives only as long as its document.
        const auto slideXml = part("ppt/slides/slide1.xml");
        const pugi::xml_node field = slideXml.one(kDateP + "//a:fld");
        ASSERT_TRUE(field) << c.format;
        EXPECT_EQ(std::string(field.attribute("type").value()), "datetime" + std::to_string(c.format));
        EXPECT_STREQ(field.child("a:t").text().get(), c.cached);
        EXPECT_EQ(std::string(field.attribute("id").value()).size(), 38u) << "a GUID in braces";
    }
}

TEST_F(StampTest, OnlyElementsThatWereSetAreApplied) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Date"/><p:cNvSpPr/><p:nvPr><p:ph type="dt" idx="10"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Untouched date</a:t></a:r></a:p></p:txBody></p:sp>)";
    stamp(plan, [](Presentation& deck) { deck.setVisible(MasterKind::Slide, Element::SlideNumber, true); });
    const Xml slide = part("ppt/slides/slide1.xml");
    EXPECT_STREQ(slide.one(kDateP + "//a:t").text().get(), "Untouched date");
    EXPECT_EQ(slide.count(kFooterP), 0u);
    EXPECT_EQ(slide.count(kNumberP), 1u);
}

TEST_F(StampTest, ElementReadsTheDecksState) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Date"/><p:cNvSpPr/><p:nvPr><p:ph type="dt" idx="10"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:fld id="{11111111-2222-3333-4444-555555555555}" type="datetime4"><a:t>December 7, 2026</a:t></a:fld></a:p></p:txBody></p:sp>)";
    writeZip(dir / "in.pptx", buildDeck(plan));
    Presentation deck = Presentation::open(dir / "in.pptx");
    const HeaderFooter date = deck.element(MasterKind::Slide, Element::DateAndTime);
    EXPECT_TRUE(date.visible);
    EXPECT_TRUE(date.useFormat);
    EXPECT_EQ(date.format, 4);
    EXPECT_FALSE(deck.element(MasterKind::Slide, Element::Footer).visible);
    EXPECT_FALSE(deck.hasTitleMaster());
    EXPECT_THROW(deck.element(MasterKind::Slide, Element::Header), std::invalid_argument);
    EXPECT_THROW(deck.setFormat(MasterKind::Slide, Element::DateAndTime, 14), std::invalid_argument);
    deck.setText(MasterKind::Slide, Element::Footer, "set");
    EXPECT_EQ(deck.element(MasterKind::Slide, Element::Footer).text, "set");
}

// Setting some fields of an element leaves the others as the deck has them, whether they are read back
// or stamped: a text set on an automatic date keeps it automatic, in its format.
TEST_F(StampTest, FieldsLeftUnsetKeepTheDecksValues) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Date"/><p:cNvSpPr/><p:nvPr><p:ph type="dt" idx="10"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:fld id="{11111111-2222-3333-4444-555555555555}" type="datetime4"><a:t>December 7, 2026</a:t></a:fld></a:p></p:txBody></p:sp>)"
        R"(<p:sp><p:nvSpPr><p:cNvPr id="21" name="Footer"/><p:cNvSpPr/><p:nvPr><p:ph type="ftr" idx="11"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>Old footer</a:t></a:r></a:p></p:txBody></p:sp>)";
    writeZip(dir / "in.pptx", buildDeck(plan));
    {
        Presentation deck = Presentation::open(dir / "in.pptx");
        deck.setText(MasterKind::Slide, Element::DateAndTime, "ignored while automatic");
        deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, false);
        deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, true);
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        const HeaderFooter date = deck.element(MasterKind::Slide, Element::DateAndTime);
        EXPECT_TRUE(date.visible);
        EXPECT_EQ(date.format, 4);
        EXPECT_EQ(date.text, "ignored while automatic");
        EXPECT_EQ(deck.element(MasterKind::Slide, Element::Footer).text, "Old footer");
    }
    stamp(plan, [](Presentation& deck) {
        deck.setText(MasterKind::Slide, Element::DateAndTime, "ignored while automatic");
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        deck.setText(MasterKind::Slide, Element::Footer, "New footer");
        deck.setVisible(MasterKind::Slide, Element::Footer, false);
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
    });
    const Xml slide = part("ppt/slides/slide1.xml");
    EXPECT_STREQ(slide.one(kDateP + "//a:fld").attribute("type").value(), "datetime4");
    EXPECT_STREQ(slide.one(kFooterP + "//a:t").text().get(), "New footer");
    // A footer shown without a text keeps the one it had.
    stamp(plan, [](Presentation& deck) { deck.setVisible(MasterKind::Slide, Element::Footer, true); });
    EXPECT_STREQ(part("ppt/slides/slide1.xml").one(kFooterP + "//a:t").text().get(), "Old footer");
}

// A date saved as fixed text and then made automatic again, without a format, takes the format the
// deck had before the first save: that save wrote the fixed text over the field that held it.
TEST_F(StampTest, ADateMadeAutomaticAfterASaveAsFixedKeepsTheDecksFormat) {
    DeckPlan plan;
    plan.slides[0].extraShapes =
        R"(<p:sp><p:nvSpPr><p:cNvPr id="20" name="Date"/><p:cNvSpPr/><p:nvPr><p:ph type="dt" idx="10"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:fld id="{11111111-2222-3333-4444-555555555555}" type="datetime4"><a:t>December 7, 2026</a:t></a:fld></a:p></p:txBody></p:sp>)";
    writeZip(dir / "in.pptx", buildDeck(plan));
    Presentation deck = Presentation::open(dir / "in.pptx");
    deck.setNow(kNow);
    deck.setVisible(MasterKind::Slide, Element::DateAndTime, true);
    deck.setText(MasterKind::Slide, Element::DateAndTime, "Fixed");
    deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, false);
    deck.saveAs(dir / "fixed.pptx");
    EXPECT_EQ(deck.element(MasterKind::Slide, Element::DateAndTime).format, 4);
    deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, true);
    deck.saveAs(dir / "out.pptx");
    EXPECT_EQ(deck.element(MasterKind::Slide, Element::DateAndTime).format, 4);
    EXPECT_STREQ(part("ppt/slides/slide1.xml").one(kDateP + "//a:fld").attribute("type").value(),
                 "datetime4");
}

TEST_F(StampTest, StampingTwiceGivesTheSameXml) {
    DeckPlan plan;
    plan.notesMaster = true;
    plan.masters[0].layouts = {LayoutPlan{"title"}, LayoutPlan{"obj", false, false, false}};
    plan.slides = {on(0, 0), on(0, 1), on(0, 1)};
    plan.slides[1].notes = true;
    auto configure = [](Presentation& deck) {
        showAll(deck);
        deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, true);
        deck.setFormat(MasterKind::Slide, Element::DateAndTime, 3);
        for (Element e : {Element::Header, Element::Footer, Element::DateAndTime, Element::SlideNumber}) {
            deck.setText(MasterKind::Notes, e, "notes text");
            deck.setVisible(MasterKind::Notes, e, true);
        }
    };
    const auto once = stamp(plan, configure);
    std::filesystem::rename(once, dir / "once.pptx");
    Presentation again = Presentation::open(dir / "once.pptx");
    again.setNow(kNow);
    configure(again);
    again.saveAs(dir / "twice.pptx");
    const auto names = entryNames(dir / "once.pptx");
    EXPECT_EQ(names, entryNames(dir / "twice.pptx"));
    for (const std::string& name : names)
        EXPECT_EQ(readEntry(dir / "once.pptx", name), readEntry(dir / "twice.pptx", name)) << name;
}

}  // namespace
}  // namespace trelwick::engine::test
