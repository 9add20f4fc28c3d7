#include <gtest/gtest.h>

#include <vector>

#include "Bytes.h"
#include "ppt/PlaceholderScan.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

std::string u32(std::uint32_t v) {
    std::string s;
    append32(s, v);
    return s;
}

// A footer placeholder anchored at anchor (a SmallRectStruct or a RectStruct), holding the footer field
// when withField.
Record footerPlaceholder(const std::string& anchor, bool withField) {
    std::vector<Record> text{Record::atom(rt::TextHeaderAtom, 0, u32(4)),
                             Record::atom(rt::TextCharsAtom, 0, utf16le("*"))};
    if (withField) text.push_back(Record::atom(rt::FooterMCAtom, 0, u32(0)));
    std::string placeholder = u32(1);
    placeholder += static_cast<char>(rt::kMasterFooter);
    placeholder += std::string(3, '\0');
    return Record::container(
        rt::OfficeArtSpContainer, 0,
        {Record::atom(rt::OfficeArtClientAnchor, 0, anchor),
         Record::container(rt::OfficeArtClientData, 0, {Record::atom(rt::PlaceholderAtom, 0, placeholder)}),
         Record::container(rt::OfficeArtClientTextbox, 0, std::move(text))});
}

Record masterWith(std::vector<Record> shapes) {
    return Record::container(
        rt::MainMaster, 0,
        {Record::container(
            rt::Drawing, 0,
            {Record::container(rt::OfficeArtDgContainer, 0,
                               {Record::container(rt::OfficeArtSpgrContainer, 0, std::move(shapes))})})});
}

std::string smallRect(std::int16_t top, std::int16_t left, std::int16_t right, std::int16_t bottom) {
    std::string b;
    for (std::int16_t v : {top, left, right, bottom}) append16(b, static_cast<std::uint16_t>(v));
    return b;
}

std::string rect(std::int32_t top, std::int32_t left, std::int32_t right, std::int32_t bottom) {
    std::string b;
    for (std::int32_t v : {top, left, right, bottom}) append32(b, static_cast<std::uint32_t>(v));
    return b;
}

// On a 5760 x 4320 slide. The scan decides between "lies outside the slide" and "reaches past its edge".
TEST(PptPlaceholderScanTest, WhereTheAnchorLiesOnThePage) {
    struct Case {
        const char* name;
        std::string anchor;
        bool onPage, whole;
    };
    const std::vector<Case> cases{
        {"in the bottom band", smallRect(3934, 1968, 3792, 4234), true, true},
        {"above the page", smallRect(-600, 1968, 3792, -100), false, false},
        {"left of the page", smallRect(3934, -2000, -100, 4234), false, false},
        {"right of the page", smallRect(3934, 5760, 7000, 4234), false, false},
        {"below the page", smallRect(4320, 1968, 3792, 4700), false, false},
        {"a fifth below the page", smallRect(4020, 1968, 3792, 4420), true, true},
        {"two fifths below the page", smallRect(3720, 1968, 3792, 4720), true, false},
        {"a sixth past the right edge", smallRect(3934, 5000, 5910, 4234), true, false},
        {"a sixth past the left edge", smallRect(3934, -150, 760, 4234), true, false},
        {"in the bottom band, 32-bit", rect(3934, 1968, 3792, 4234), true, true},
        {"below the page, 32-bit", rect(70000, 1968, 3792, 71000), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PlaceholderScan scan =
            PlaceholderScan::of(masterWith({footerPlaceholder(c.anchor, true)}), 5760, 4320);
        ASSERT_TRUE(scan.has(rt::kMasterFooter));
        EXPECT_EQ(scan.onPage(rt::kMasterFooter), c.onPage);
        EXPECT_EQ(scan.wholeOnPage(rt::kMasterFooter), c.whole);
    }
}

// PowerPoint 2007 saves can hold several placeholders of one kind; the one with the field shows it,
// wherever it stands among them.
TEST(PptPlaceholderScanTest, OfSeveralPlaceholdersOfOneKindTheBestCounts) {
    const std::string inside = smallRect(3934, 1968, 3792, 4234), outside = smallRect(-600, 1968, 3792, -100);
    for (bool fieldFirst : {true, false}) {
        SCOPED_TRACE(fieldFirst ? "field first" : "field last");
        std::vector<Record> shapes{footerPlaceholder(inside, fieldFirst),
                                   footerPlaceholder(outside, !fieldFirst)};
        const PlaceholderScan scan = PlaceholderScan::of(masterWith(std::move(shapes)), 5760, 4320);
        EXPECT_TRUE(scan.hasField(rt::kMasterFooter));
        EXPECT_TRUE(scan.onPage(rt::kMasterFooter));
        EXPECT_TRUE(scan.wholeOnPage(rt::kMasterFooter));
    }
}

}  // namespace
}  // namespace trelwick::engine::ppt
