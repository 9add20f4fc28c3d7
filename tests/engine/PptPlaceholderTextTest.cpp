#include <gtest/gtest.h>

#include <functional>

#include "Bytes.h"
#include "ppt/PlaceholderText.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

constexpr std::uint16_t kTextHeader = 0x0F9F, kTextChars = 0x0FA0, kTextBytes = 0x0FA8, kStyle = 0x0FA1,
                        kMasterTextProp = 0x0FA2, kSpecialInfo = 0x0FAA, kInteractive = 0x0FDF;

std::string u32(std::uint32_t v) {
    std::string s;
    append32(s, v);
    return s;
}
std::string u16(std::uint16_t v) {
    std::string s;
    append16(s, v);
    return s;
}

// A paragraph run: count, indent level, masks (alignment) and the alignment.
std::string paragraphRun(std::uint32_t count) {
    return u32(count) + u16(0) + u32(0x800) + u16(1);
}
// A paragraph run with two tab stops (count, then 4 bytes each) and a line spacing.
std::string paragraphRunWithTabs(std::uint32_t count) {
    return u32(count) + u16(0) + u32(0x100000 | 0x1000) + u16(90) + u16(2) + u32(100) + u32(200);
}
// A character run setting the size, and one setting bold and the colour.
std::string sizeRun(std::uint32_t count) {
    return u32(count) + u32(0x20000) + u16(18);
}
std::string boldColourRun(std::uint32_t count) {
    return u32(count) + u32(0x40001) + u16(1) + u32(0xFE000000);
}
// A character run setting the size and the PowerPoint 2002+ extension word (pp10ext).
std::string extendedRun(std::uint32_t count) {
    return u32(count) + u32(0x120000) + u16(18) + u32(0x00000002);
}

Record shapeWith(std::vector<Record> text) {
    std::vector<Record> box{Record::atom(kTextHeader, 0, u32(4))};
    for (Record& r : text) box.push_back(std::move(r));
    return Record::container(rt::OfficeArtSpContainer, 0,
                             {Record::container(rt::OfficeArtClientTextbox, 0, std::move(box))});
}

const Record& box(const Record& shape) {
    return *shape.child(rt::OfficeArtClientTextbox);
}

TEST(PptPlaceholderTextTest, FieldReplacesTextAndKeepsTheFirstFormatting) {
    struct Case {
        const char* name;
        std::vector<Record> text;
        std::string style;  // expected StyleTextPropAtom after the rewrite
    };
    const std::string literal = utf16le("Footer text");  // 11 characters, runs cover 12
    const std::vector<Case> cases{
        {"literal text, two character runs",
         {Record::atom(kTextChars, 0, literal),
          Record::atom(kStyle, 0, paragraphRun(12) + sizeRun(5) + boldColourRun(7))},
         paragraphRun(2) + sizeRun(2)},
        {"two paragraphs, tab stops",
         {Record::atom(kTextChars, 0, literal),
          Record::atom(kStyle, 0, paragraphRunWithTabs(6) + paragraphRun(6) + boldColourRun(12))},
         paragraphRunWithTabs(2) + boldColourRun(2)},
        {"character runs with the PowerPoint 2002+ extension",
         {Record::atom(kTextChars, 0, literal),
          Record::atom(kStyle, 0, paragraphRun(12) + extendedRun(5) + extendedRun(4) + sizeRun(3))},
         paragraphRun(2) + extendedRun(2)},
        {"last run reaching past the text",
         {Record::atom(kTextChars, 0, literal), Record::atom(kStyle, 0, paragraphRun(12) + sizeRun(40))},
         paragraphRun(2) + sizeRun(2)},
        {"empty placeholder without a text atom",
         {Record::atom(kStyle, 0, paragraphRun(1) + sizeRun(1))},
         paragraphRun(2) + sizeRun(2)},
        {"8-bit text and an old date field",
         {Record::atom(kTextBytes, 0, "12/07/26"), Record::atom(kStyle, 0, paragraphRun(9) + sizeRun(9)),
          Record::atom(kSpecialInfo, 0, u32(9) + u32(0)), Record::atom(rt::DateTimeMCAtom, 0, u32(0))},
         paragraphRun(2) + sizeRun(2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record shape = shapeWith(c.text);
        ASSERT_TRUE(PlaceholderText::setField(shape, rt::FooterMCAtom));
        const Record& b = box(shape);
        ASSERT_NE(b.child(kTextHeader), nullptr);
        EXPECT_EQ(b.children().front().type(), kTextHeader);
        ASSERT_NE(b.child(kTextChars), nullptr);
        EXPECT_EQ(b.child(kTextChars)->body(), utf16le("*"));
        EXPECT_EQ(b.child(kTextBytes), nullptr);
        ASSERT_NE(b.child(kStyle), nullptr);
        EXPECT_EQ(b.child(kStyle)->body(), c.style);
        EXPECT_EQ(b.child(kSpecialInfo), nullptr);
        EXPECT_EQ(b.child(rt::DateTimeMCAtom), nullptr);
        ASSERT_NE(b.child(rt::FooterMCAtom), nullptr);
        EXPECT_EQ(b.child(rt::FooterMCAtom)->body(), u32(0));  // the field stands at the "*"
        EXPECT_TRUE(PlaceholderText::hasField(shape, rt::FooterMCAtom));
        // The written record reads back as the same tree.
        EXPECT_EQ(Record::parse(shape.bytes()).bytes(), shape.bytes());
    }
}

TEST(PptPlaceholderTextTest, UnsafeTextIsLeftAlone) {
    struct Case {
        const char* name;
        std::vector<Record> text;
    };
    const std::string literal = utf16le("Footer text");
    const std::vector<Case> cases{
        {"runs short of the text",
         {Record::atom(kTextChars, 0, literal), Record::atom(kStyle, 0, paragraphRun(12) + sizeRun(10))}},
        {"bytes left after the runs",
         {Record::atom(kTextChars, 0, literal),
          Record::atom(kStyle, 0, paragraphRun(12) + sizeRun(12) + "xx")}},
        {"exception cut short",
         {Record::atom(kTextChars, 0, literal),
          Record::atom(kStyle, 0, paragraphRun(12) + u32(12) + u32(0x40000))}},
        {"zero-length run",
         {Record::atom(kTextChars, 0, literal), Record::atom(kStyle, 0, u32(0) + u16(0) + u32(0))}},
        {"a hyperlink range",
         {Record::atom(kTextChars, 0, literal), Record::atom(kInteractive, 0, u32(0) + u32(5))}},
        {"text kept in the outline", {Record::atom(0x0F9E, 0, u32(0))}},
        {"master runs too short",
         {Record::atom(kTextChars, 0, literal), Record::atom(kMasterTextProp, 0, "ab")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record shape = shapeWith(c.text);
        const std::string before = shape.bytes();
        EXPECT_FALSE(PlaceholderText::setField(shape, rt::FooterMCAtom));
        EXPECT_EQ(shape.bytes(), before);
    }
    Record noText = Record::container(rt::OfficeArtSpContainer, 0, {});
    EXPECT_FALSE(PlaceholderText::setField(noText, rt::FooterMCAtom));
}

TEST(PptPlaceholderTextTest, MasterIndentRunsShrinkToOne) {
    Record shape = shapeWith({Record::atom(kTextChars, 0, utf16le("ab")),
                              Record::atom(kStyle, 0, paragraphRun(3) + sizeRun(3)),
                              Record::atom(kMasterTextProp, 0, u32(1) + u16(2) + u32(2) + u16(0))});
    ASSERT_TRUE(PlaceholderText::setField(shape, rt::SlideNumberMCAtom));
    EXPECT_EQ(box(shape).child(kMasterTextProp)->body(), u32(2) + u16(2));
    EXPECT_TRUE(PlaceholderText::hasField(shape, rt::SlideNumberMCAtom));
    EXPECT_FALSE(PlaceholderText::hasField(shape, rt::FooterMCAtom));
}

}  // namespace
}  // namespace trelwick::engine::ppt
