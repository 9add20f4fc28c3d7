#include <gtest/gtest.h>

#include <algorithm>

#include "TestDeck.h"
#include "trelwick/engine.h"

// A stamped placeholder keeps the box it has or inherits unless that reaches past the page edge; then it
// gets its own box moved onto the page, so that its text is drawn whole.
namespace trelwick::engine::test {
namespace {

constexpr std::int64_t kSlideW = 9144000, kSlideH = 6858000;  // the fixture's page sizes
constexpr std::int64_t kNotesW = 6858000, kNotesH = 9144000;

std::string shape(const std::string& ph, const std::string& spPr) {
    return R"(<p:sp><p:nvSpPr><p:cNvPr id="40" name="Own"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr><p:nvPr>)" +
           ph + "</p:nvPr></p:nvSpPr>" + spPr +
           R"(<p:txBody><a:bodyPr lIns="0" tIns="0" rIns="0" bIns="0" anchor="b"/><a:lstStyle/><a:p><a:r><a:rPr lang="en-US" sz="3600"/><a:t>old</a:t></a:r></a:p></p:txBody></p:sp>)";
}

std::string box(const std::string& xfrmAttributes, std::int64_t x, std::int64_t y, std::int64_t cx,
                std::int64_t cy) {
    return "<p:spPr><a:xfrm" + xfrmAttributes + "><a:off x=\"" + std::to_string(x) + "\" y=\"" +
           std::to_string(y) + "\"/><a:ext cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) +
           "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr>";
}

struct Box {
    std::int64_t x, y, cx, cy;
};

struct EdgeCase {
    const char* name;
    bool notes;          // the shape sits on a notes slide, else on the slide
    const char* type;    // its placeholder type
    std::string ph;      // its p:ph; empty: the page has none, the stamp adds it
    std::string spPr;    // its own shape properties
    Box masterBox{};     // when cx > 0: the master's box of that type (slide master or notes master)
    bool ownBox = true;  // whether the stamped shape carries a box at all
    Box expected{};
};

const EdgeCase kCases[] = {
    // A date box a little below the bottom edge, as a slide of a real deck has it: moved up, size kept.
    {"DateBelowTheBottomEdgeMovesUp",
     false,
     "dt",
     R"(<p:ph type="dt" sz="half" idx="10"/>)",
     box("", 0, 6477000, 2133600, 476250),
     {},
     true,
     {0, kSlideH - 476250, 2133600, 476250}},
    {"FooterLeftOfThePageMovesRight",
     false,
     "ftr",
     R"(<p:ph type="ftr" sz="quarter" idx="11"/>)",
     box("", -14288, 6356350, 2895600, 365125),
     {},
     true,
     {0, 6356350, 2895600, 365125}},
    {"BoxWiderThanThePageIsCutToIt",
     false,
     "ftr",
     R"(<p:ph type="ftr" sz="quarter" idx="11"/>)",
     box("", -100, 6356350, kSlideW + 500, 365125),
     {},
     true,
     {0, 6356350, kSlideW, 365125}},
    {"BoxOnThePageStays",
     false,
     "sldNum",
     R"(<p:ph type="sldNum" sz="quarter" idx="12"/>)",
     box("", 6553200, 6245225, 2133600, 476250),
     {},
     true,
     {6553200, 6245225, 2133600, 476250}},
    {"RotatedBoxStays",
     false,
     "dt",
     R"(<p:ph type="dt" sz="half" idx="10"/>)",
     box(R"( rot="5400000")", 0, 6477000, 2133600, 476250),
     {},
     true,
     {0, 6477000, 2133600, 476250}},
    {"NumberInheritingABoxBelowTheEdgeGetsItsOwn",
     false,
     "sldNum",
     R"(<p:ph type="sldNum" sz="quarter" idx="12"/>)",
     "<p:spPr/>",
     {457200, 6564313, 2133600, 365125},
     true,
     {457200, kSlideH - 365125, 2133600, 365125}},
    {"AddedNumberInheritingABoxBelowTheEdgeGetsItsOwn",
     false,
     "sldNum",
     "",
     "",
     {457200, 6564313, 2133600, 365125},
     true,
     {457200, kSlideH - 365125, 2133600, 365125}},
    {"AddedNumberInheritingABoxOnThePageKeepsNone", false, "sldNum", "", "", {}, false, {}},
    // As PptxGenJS writes it: the notes slide's own number with no box, idx matching nothing in the notes
    // master, whose number box reaches past the notes page's right edge.
    {"NotesNumberInheritingABoxPastTheEdgeGetsItsOwn",
     true,
     "sldNum",
     R"(<p:ph type="sldNum" sz="quarter" idx="10"/>)",
     "<p:spPr/>",
     {5500000, 6356350, 2133600, 365125},
     true,
     {kNotesW - 2133600, 6356350, 2133600, 365125}},
    {"NotesNumberInheritingABoxOnThePageKeepsNone",
     true,
     "sldNum",
     R"(<p:ph type="sldNum" sz="quarter" idx="10"/>)",
     "<p:spPr/>",
     {},
     false,
     {}},
    {"NotesHeaderBelowThePageMovesUp",
     true,
     "hdr",
     R"(<p:ph type="hdr" sz="quarter"/>)",
     box("", 0, kNotesH - 100000, 2971800, 458788),
     {},
     true,
     {0, kNotesH - 458788, 2971800, 458788}},
};

void PrintTo(const EdgeCase& c, std::ostream* os) {
    *os << c.name;
}

void replaceIn(Entries& entries, const std::string& name, const std::string& from, const std::string& to) {
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == name; });
    ASSERT_NE(it, entries.end()) << name;
    const std::size_t at = it->second.find(from);
    ASSERT_NE(at, std::string::npos) << name << ": " << from;
    it->second.replace(at, from.size(), to);
}

// Gives the master's placeholder of type its box (the fixture writes the same box on every master one).
void moveMasterBox(Entries& entries, const std::string& master, const std::string& type, const Box& to) {
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == master; });
    ASSERT_NE(it, entries.end()) << master;
    const std::string from = R"(<a:off x="457200" y="6356350"/><a:ext cx="2133600" cy="365125"/>)";
    const std::size_t at = it->second.find(from, it->second.find("type=\"" + type + "\""));
    ASSERT_NE(at, std::string::npos) << master << ": " << type;
    it->second.replace(at, from.size(),
                       "<a:off x=\"" + std::to_string(to.x) + "\" y=\"" + std::to_string(to.y) +
                           "\"/><a:ext cx=\"" + std::to_string(to.cx) + "\" cy=\"" + std::to_string(to.cy) +
                           "\"/>");
}

class PageEdgeTest : public ::testing::TestWithParam<EdgeCase> {
  protected:
    TempDir dir;
};

TEST_P(PageEdgeTest, StampedPlaceholderIsDrawnOnThePage) {
    const EdgeCase& c = GetParam();
    DeckPlan plan;
    plan.notesMaster = true;
    plan.slides[0].notes = true;
    const std::string own = c.ph.empty() ? "" : shape(c.ph, c.spPr);
    if (!c.notes) plan.slides[0].extraShapes = own;
    Entries entries = buildDeck(plan);
    if (c.notes) replaceIn(entries, "ppt/notesSlides/notesSlide1.xml", "</p:spTree>", own + "</p:spTree>");
    if (c.masterBox.cx > 0)
        moveMasterBox(entries,
                      c.notes ? "ppt/notesMasters/notesMaster1.xml" : "ppt/slideMasters/slideMaster1.xml",
                      c.type, c.masterBox);
    writeZip(dir / "in.pptx", entries);

    Presentation deck = Presentation::open(dir / "in.pptx");
    const MasterKind kind = c.notes ? MasterKind::Notes : MasterKind::Slide;
    const std::string_view type = c.type;
    const Element element = type == "dt"    ? Element::DateAndTime
                            : type == "ftr" ? Element::Footer
                            : type == "hdr" ? Element::Header
                                            : Element::SlideNumber;
    if (element != Element::SlideNumber) deck.setText(kind, element, "Stamped");
    deck.setVisible(kind, element, true);
    deck.saveAs(dir / "out.pptx");

    const Xml xml(
        readEntry(dir / "out.pptx", c.notes ? "ppt/notesSlides/notesSlide1.xml" : "ppt/slides/slide1.xml"));
    ASSERT_EQ(xml.count(placeholderPath(c.type)), 1u) << "the own placeholder is reused, not duplicated";
    const pugi::xml_node sp = xml.one(placeholderPath(c.type));
    if (!c.ph.empty()) {
        EXPECT_STREQ(sp.select_node("p:nvSpPr/p:cNvPr").node().attribute("name").value(), "Own");
        EXPECT_STREQ(sp.select_node("p:txBody/a:bodyPr").node().attribute("anchor").value(), "b")
            << "the shape keeps its own text layout";
    }
    const pugi::xml_node xfrm = sp.select_node("p:spPr/a:xfrm").node();
    ASSERT_EQ(static_cast<bool>(xfrm), c.ownBox);
    if (!c.ownBox) return;
    const Box got{
        xfrm.child("a:off").attribute("x").as_llong(), xfrm.child("a:off").attribute("y").as_llong(),
        xfrm.child("a:ext").attribute("cx").as_llong(), xfrm.child("a:ext").attribute("cy").as_llong()};
    EXPECT_EQ(got.x, c.expected.x);
    EXPECT_EQ(got.y, c.expected.y);
    EXPECT_EQ(got.cx, c.expected.cx);
    EXPECT_EQ(got.cy, c.expected.cy);
    if (c.spPr.find("prstGeom") != std::string::npos) {
        EXPECT_STREQ(xfrm.next_sibling().name(), "a:prstGeom") << "the box stays first in p:spPr";
    }
    const std::int64_t pageW = c.notes ? kNotesW : kSlideW, pageH = c.notes ? kNotesH : kSlideH;
    if (!xfrm.attribute("rot")) {
        EXPECT_LE(got.x + got.cx, pageW);
        EXPECT_LE(got.y + got.cy, pageH);
    }
}

INSTANTIATE_TEST_SUITE_P(Boxes, PageEdgeTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<EdgeCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace trelwick::engine::test
