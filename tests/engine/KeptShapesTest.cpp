// A stamped page is written back partly as read: shapes the stamp did not edit are copied from the
// bytes of the source. Every serialisation in this test binary is also checked against printing the
// whole edited tree (see the environment below).
#include <gtest/gtest.h>

#include <string>

#include "TestDeck.h"
#include "XmlPart.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

class CheckKeptShapes : public ::testing::Environment {
  public:
    void SetUp() override { XmlPart::checkKeptShapes(true); }
    void TearDown() override { XmlPart::checkKeptShapes(false); }
};
const auto* const kCheck = ::testing::AddGlobalTestEnvironment(new CheckKeptShapes);

// Shapes written the way some producers write them and no printer of ours would: single quotes, a
// character reference, a line end inside an attribute (which readers take as a space), whitespace and
// a comment between shapes.
const std::string kOddBox =
    "<p:sp><p:nvSpPr><p:cNvPr id='40' name='Box&#33;' descr='two\nlines'/><p:cNvSpPr txBox=\"1\"/><p:nvPr/>"
    "</p:nvSpPr><p:spPr><a:xfrm><a:off x='0' y='0'/><a:ext cx='100' cy='100'/></a:xfrm></p:spPr>"
    "<p:txBody><a:bodyPr/><a:p><a:r><a:t>Fish &amp; chips &#x263A;</a:t></a:r></a:p></p:txBody></p:sp>";
const std::string kComment = "\n  <!-- kept as written -->\n  ";
// The page's footer, which the stamp fills, then a group holding a second one, which it removes, and a
// line it keeps.
const std::string kFooter =
    "<p:sp><p:nvSpPr><p:cNvPr id='45' name='Footer'/><p:cNvSpPr/><p:nvPr><p:ph type='ftr' idx='11'/></p:nvPr>"
    "</p:nvSpPr><p:spPr/></p:sp>";
const std::string kGroup =
    "<p:grpSp><p:nvGrpSpPr><p:cNvPr id='50' name='Group'/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>"
    "<p:sp><p:nvSpPr><p:cNvPr id='51' name='Stray footer'/><p:cNvSpPr/><p:nvPr><p:ph type='ftr' idx='77'/>"
    "</p:nvPr></p:nvSpPr><p:spPr/></p:sp><p:cxnSp><p:nvCxnSpPr><p:cNvPr id='52' name='Line'/><p:cNvCxnSpPr/>"
    "<p:nvPr/></p:nvCxnSpPr><p:spPr/></p:cxnSp></p:grpSp>";

Entries withShapes(const std::string& shapes, const std::string& filler = "") {
    Entries entries = buildDeck(DeckPlan{});
    for (auto& [name, text] : entries)
        if (name == "ppt/slides/slide1.xml") text.replace(text.find("</p:spTree>"), 0, shapes + filler);
    return entries;
}

// Plain shapes of at least `bytes` bytes, to make a page large enough that its shapes are kept.
std::string fillerShapes(std::size_t bytes) {
    std::string filler;
    for (int i = 0; filler.size() < bytes; ++i)
        filler += "<p:sp><p:nvSpPr><p:cNvPr id='" + std::to_string(100 + i) +
                  "' name='Filler'/><p:cNvSpPr/>"
                  "<p:nvPr/></p:nvSpPr><p:spPr/></p:sp>";
    return filler;
}

Presentation stamped(const std::filesystem::path& source, const std::filesystem::path& target) {
    Presentation deck = withSlideFooter(source, "Kept");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    deck.saveAs(target);
    return Presentation::open(target);
}

TEST(KeptShapesTest, UneditedShapesKeepTheirBytesEditedOnesChange) {
    TempDir dir;
    writeZip(dir / "in.pptx", withShapes(kOddBox + kComment + kFooter + kGroup));
    const Presentation out = stamped(dir / "in.pptx", dir / "out.pptx");
    const std::string slide = readEntry(dir / "out.pptx", "ppt/slides/slide1.xml");
    EXPECT_NE(slide.find(kOddBox + kComment), std::string::npos) << slide;
    EXPECT_EQ(out.element(MasterKind::Slide, Element::Footer).text, "Kept");
    // The group was edited: its stray footer is gone, its line is still there.
    EXPECT_EQ(slide.find("Stray footer"), std::string::npos) << slide;
    EXPECT_NE(slide.find("name=\"Line\""), std::string::npos) << slide;
    EXPECT_EQ(slide.find("idx='77'"), std::string::npos);
}

TEST(KeptShapesTest, AFooterFilledInsideNestedGroupsIsWrittenAnew) {
    TempDir dir;
    // The page's only footer, two groups down: the stamp fills it there, so the outer group is edited.
    const std::string nested =
        "<p:grpSp><p:nvGrpSpPr><p:cNvPr id='60' "
        "name='Outer'/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>"
        "<p:grpSp><p:nvGrpSpPr><p:cNvPr id='61' name='Inner'/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
        "<p:grpSpPr/>" +
        kFooter + "</p:grpSp></p:grpSp>";
    writeZip(dir / "in.pptx", withShapes(kOddBox + nested));
    const Presentation out = stamped(dir / "in.pptx", dir / "out.pptx");
    const std::string slide = readEntry(dir / "out.pptx", "ppt/slides/slide1.xml");
    EXPECT_NE(slide.find(kOddBox), std::string::npos);
    EXPECT_EQ(slide.find(nested), std::string::npos) << slide;
    EXPECT_NE(slide.find("name=\"Inner\""), std::string::npos) << slide;
    EXPECT_EQ(out.element(MasterKind::Slide, Element::Footer).text, "Kept");
}

TEST(KeptShapesTest, AnAlternateContentTheFooterIsTakenOutOfIsWrittenAnew) {
    TempDir dir;
    // The footer leaves the wrapper; the equation box beside it stays wrapped, so the wrapper changed.
    const std::string wrapped =
        "<mc:AlternateContent xmlns:mc='http://schemas.openxmlformats.org/markup-compatibility/2006'>"
        "<mc:Choice Requires='p'>" +
        kFooter + kOddBox +
        "</mc:Choice>"
        "<mc:Fallback>" +
        kFooter +
        "<p:sp><p:nvSpPr><p:cNvPr id='40' name='Picture of it'/><p:cNvSpPr/><p:nvPr/>"
        "</p:nvSpPr><p:spPr/></p:sp></mc:Fallback></mc:AlternateContent>";
    writeZip(dir / "in.pptx", withShapes(kOddBox + kComment + wrapped));
    const Presentation out = stamped(dir / "in.pptx", dir / "out.pptx");
    const std::string slide = readEntry(dir / "out.pptx", "ppt/slides/slide1.xml");
    EXPECT_NE(slide.find(kOddBox + kComment), std::string::npos) << slide;
    EXPECT_EQ(slide.find(wrapped), std::string::npos) << slide;
    EXPECT_NE(slide.find("Picture of it"), std::string::npos) << slide;
    EXPECT_EQ(slide.find("idx='11'"), std::string::npos) << "the footer is printed anew, out of the wrapper";
    EXPECT_EQ(out.element(MasterKind::Slide, Element::Footer).text, "Kept");
}

TEST(KeptShapesTest, LargePagesKeepShapesWithoutTheCheckToo) {
    XmlPart::checkKeptShapes(false);
    TempDir dir;
    // Well past the size from which shapes are kept.
    const std::string filler = fillerShapes(40000);
    writeZip(dir / "in.pptx", withShapes(kOddBox + kFooter + kGroup, filler));
    const Presentation out = stamped(dir / "in.pptx", dir / "out.pptx");
    XmlPart::checkKeptShapes(true);
    const std::string slide = readEntry(dir / "out.pptx", "ppt/slides/slide1.xml");
    EXPECT_NE(slide.find(kOddBox), std::string::npos);
    EXPECT_NE(slide.find(filler), std::string::npos);
    EXPECT_EQ(slide.find("Stray footer"), std::string::npos);
    EXPECT_EQ(out.element(MasterKind::Slide, Element::Footer).text, "Kept");
}

TEST(KeptShapesTest, PagesReadOtherwiseArePrintedWhole) {
    TempDir dir;
    // UTF-16 and a byte order mark: the shapes are not where the parsed copy says, so nothing is kept.
    Entries entries = withShapes(kOddBox);
    for (auto& [name, text] : entries)
        if (name == "ppt/slides/slide1.xml") text = "\xEF\xBB\xBF" + text;
    writeZip(dir / "bom.pptx", entries);
    EXPECT_EQ(
        stamped(dir / "bom.pptx", dir / "bom-out.pptx").element(MasterKind::Slide, Element::Footer).text,
        "Kept");
    EXPECT_EQ(readEntry(dir / "bom-out.pptx", "ppt/slides/slide1.xml").find(kOddBox), std::string::npos);
}

// A large page lets go of its tree once stamped; stamped again for a second save it is read back from
// what the first one wrote, and still copies the shapes no edit reached.
TEST(KeptShapesTest, ALargePageStampedTwiceGivesWhatOneStampGives) {
    XmlPart::checkKeptShapes(false);
    TempDir dir;
    const std::string filler = fillerShapes(200000);
    writeZip(dir / "in.pptx", withShapes(kOddBox + kFooter + kGroup, filler));
    Presentation twice = withSlideFooter(dir / "in.pptx", "First");
    twice.saveAs(dir / "first.pptx");
    twice.setText(MasterKind::Slide, Element::Footer, "Second");
    twice.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    twice.saveAs(dir / "second.pptx");
    Presentation once = withSlideFooter(dir / "in.pptx", "Second");
    once.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    once.saveAs(dir / "once.pptx");
    XmlPart::checkKeptShapes(true);
    const std::string first = readEntry(dir / "first.pptx", "ppt/slides/slide1.xml");
    const std::string second = readEntry(dir / "second.pptx", "ppt/slides/slide1.xml");
    EXPECT_NE(first.find(">First<"), std::string::npos);
    EXPECT_EQ(second, readEntry(dir / "once.pptx", "ppt/slides/slide1.xml"));
    EXPECT_NE(second.find(kOddBox), std::string::npos);
    EXPECT_NE(second.find(filler), std::string::npos);
    EXPECT_EQ(second.find(">First<"), std::string::npos);
    EXPECT_EQ(Presentation::open(dir / "second.pptx").element(MasterKind::Slide, Element::Footer).text,
              "Second");
}

// A released page is written from the bytes it keeps, not from a copy of them; a page still parsed is
// printed into the caller's string.
TEST(KeptShapesTest, AReleasedPageIsWrittenFromTheBytesItKeeps) {
    std::string slide;
    for (const auto& [name, text] : withShapes(kOddBox + kFooter, fillerShapes(40000)))
        if (name == "ppt/slides/slide1.xml") slide = text;
    XmlPart part("ppt/slides/slide1.xml", slide, "deck.pptx");
    part.markDirty();
    std::string printed;
    const std::string whole = part.serialize();
    EXPECT_EQ(part.serialized(printed), whole);
    EXPECT_EQ(printed, whole);

    part.release();
    printed.clear();
    const std::string_view kept = part.serialized(printed);
    EXPECT_EQ(kept, whole);
    EXPECT_TRUE(printed.empty());
    EXPECT_EQ(part.serialized(printed).data(), kept.data()) << "the kept bytes, not a copy";
    EXPECT_EQ(part.serialize(), whole);
}

}  // namespace
}  // namespace trelwick::engine::test
