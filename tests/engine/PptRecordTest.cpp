#include <gtest/gtest.h>

#include "Bytes.h"
#include "ppt/HeadersFooters.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

std::string header(std::uint16_t verInst, std::uint16_t type, std::uint32_t length) {
    std::string h;
    append16(h, verInst);
    append16(h, type);
    append32(h, length);
    return h;
}

std::string atomBytes(std::uint16_t type, const std::string& body, std::uint16_t instance = 0) {
    return header(static_cast<std::uint16_t>(instance << 4), type, static_cast<std::uint32_t>(body.size())) +
           body;
}

std::string containerBytes(std::uint16_t type, const std::string& children, std::uint16_t instance = 0) {
    return header(static_cast<std::uint16_t>(instance << 4 | 0xF), type,
                  static_cast<std::uint32_t>(children.size())) +
           children;
}

TEST(PptRecordTest, NestedContainersSplitAndWriteBackTheSameBytes) {
    const std::string inner = containerBytes(
        rt::HeadersFooters, atomBytes(rt::HeadersFootersAtom, std::string("\x00\x00\x21\x00", 4)), 3);
    const std::string bytes =
        containerBytes(rt::Document, atomBytes(rt::DocumentAtom, std::string(40, 'x')) + inner);
    const Record r = Record::parse(bytes);
    ASSERT_TRUE(r.hasChildren());
    ASSERT_EQ(r.children().size(), 2u);
    const Record* hf = r.child(rt::HeadersFooters, 3);
    ASSERT_NE(hf, nullptr);
    EXPECT_EQ(r.child(rt::HeadersFooters, 4), nullptr);
    EXPECT_EQ(hf->children().at(0).body(), std::string("\x00\x00\x21\x00", 4));
    EXPECT_EQ(r.bytes(), bytes);
    EXPECT_EQ(r.size(), bytes.size());
}

TEST(PptRecordTest, ContainersThatDoNotSplitStayRawBytes) {
    struct Case {
        const char* name;
        std::string body;
    };
    const std::vector<Case> cases{
        {"child runs past the end", header(0, rt::CString, 100) + "ab"},
        {"trailing bytes shorter than a header", atomBytes(rt::CString, "ab") + "xyz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = containerBytes(rt::Slide, c.body);
        const Record r = Record::parse(bytes);
        EXPECT_FALSE(r.hasChildren());
        EXPECT_EQ(r.body(), c.body);
        EXPECT_EQ(r.bytes(), bytes);
    }
}

TEST(PptRecordTest, DeepNestingStaysRawBelowTheLimitAndRoundTrips) {
    std::string bytes = atomBytes(rt::CString, "zz");
    for (int i = 0; i < 200; ++i) bytes = containerBytes(rt::Slide, bytes);
    const Record r = Record::parse(bytes);
    int depth = 0;
    const Record* at = &r;
    while (at->hasChildren() && !at->children().empty()) {
        at = &at->children()[0];
        ++depth;
    }
    EXPECT_LT(depth, 200);
    EXPECT_EQ(r.bytes(), bytes);
}

TEST(PptRecordTest, HeaderFitsOnlyWhenItsBodyFits) {
    const std::string bytes = atomBytes(rt::CString, "abcd");
    EXPECT_TRUE(RecordHeader::at(bytes, 0).has_value());
    EXPECT_FALSE(RecordHeader::at(bytes.substr(0, bytes.size() - 1), 0).has_value());
    EXPECT_FALSE(RecordHeader::at(bytes, 5).has_value());
    EXPECT_FALSE(RecordHeader::at(bytes, 1000).has_value());
}

TEST(PptRecordTest, Utf16ConversionTable) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string utf16;
        std::string back;  // what reading the UTF-16 gives
    };
    const std::vector<Case> cases{
        {"ascii", "Ab", std::string("A\0b\0", 4), "Ab"},
        {"latin", "\xC3\xA9", std::string("\xE9\0", 2), "\xC3\xA9"},
        {"astral", "\xF0\x9F\x98\x80", std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80"},
        {"invalid byte", "a\xFF", std::string("a\0\xFD\xFF", 4), "a\xEF\xBF\xBD"},
        {"overlong", "\xC0\xAF", std::string("\xFD\xFF", 2), "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf16le(c.utf8), c.utf16);
        EXPECT_EQ(utf8(c.utf16), c.back);
    }
    EXPECT_EQ(utf8(std::string("\x00\xD8"
                               "a\0",
                               4)),
              "\xEF\xBF\xBD"
              "a");                                // lone high surrogate
    EXPECT_EQ(utf8(std::string("a\0b", 3)), "a");  // odd last byte dropped
}

TEST(PptRecordTest, HeadersFootersReadWhatTheFileHolds) {
    const std::string bytes = containerBytes(
        rt::HeadersFooters,
        atomBytes(rt::HeadersFootersAtom, std::string("\x04\x00\x3D\x00", 4)) +
            atomBytes(rt::CString, utf16le("1 May"), 0) + atomBytes(rt::CString, utf16le("Top"), 1) +
            atomBytes(rt::CString, utf16le("Line\x0Btwo"), 2),
        4);
    const HeadersFooters hf = HeadersFooters::read(Record::parse(bytes));
    const HeaderFooter date = hf.element(Element::DateAndTime);
    EXPECT_TRUE(date.visible);
    EXPECT_FALSE(date.useFormat);  // a user date wins over the automatic one
    EXPECT_EQ(date.text, "1 May");
    EXPECT_EQ(date.format, 5);
    EXPECT_EQ(hf.element(Element::Header).text, "Top");
    EXPECT_TRUE(hf.element(Element::Header).visible);
    EXPECT_EQ(hf.element(Element::Footer).text, "Line\ntwo");
    EXPECT_TRUE(hf.element(Element::Footer).visible);
    EXPECT_TRUE(hf.element(Element::SlideNumber).visible);
    // Written back unchanged, the container keeps its bytes.
    EXPECT_EQ(hf.toRecord(4).bytes(), bytes);
}

TEST(PptRecordTest, HeadersFootersSetThenReadTable) {
    struct Case {
        const char* name;
        Element element;
        HeaderFooter value;
        std::uint16_t flags;  // expected flags starting from none
    };
    auto v = [](std::string text, bool visible, bool useFormat = false, int format = 1) {
        HeaderFooter h;
        h.text = std::move(text);
        h.visible = visible;
        h.useFormat = useFormat;
        h.format = format;
        return h;
    };
    const std::vector<Case> cases{
        {"fixed date shown", Element::DateAndTime, v("7 Dec", true), 0x05},
        {"fixed date hidden keeps text", Element::DateAndTime, v("7 Dec", false), 0x04},
        {"automatic date format 13", Element::DateAndTime, v("", true, true, 13), 0x03},
        {"automatic date format 1", Element::DateAndTime, v("", true, true, 1), 0x03},
        {"footer shown", Element::Footer, v("Acme \xC3\xA9", true), 0x20},
        {"footer hidden", Element::Footer, v("Acme", false), 0x00},
        {"header shown", Element::Header, v("Head", true), 0x10},
        {"number shown", Element::SlideNumber, v("", true), 0x08},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadersFooters hf;
        hf.set(c.element, c.value);
        EXPECT_EQ(hf.flags, c.flags);
        const HeadersFooters back = HeadersFooters::read(hf.toRecord(3));
        const HeaderFooter got = back.element(c.element);
        EXPECT_EQ(got.visible, c.value.visible);
        EXPECT_EQ(got.text, c.value.text);
        EXPECT_EQ(got.useFormat, c.value.useFormat);
        if (c.value.useFormat) {
            EXPECT_EQ(got.format, c.value.format);
        }
    }
}

TEST(PptRecordTest, AnAutomaticDateWrittenBackUnchangedKeepsItsFormatId) {
    for (const std::int16_t formatId : {0, 5, 13, -1}) {
        SCOPED_TRACE(formatId);
        const std::string atom{static_cast<char>(formatId & 0xFF), static_cast<char>((formatId >> 8) & 0xFF),
                               0x03, 0x00};
        const Record old =
            Record::parse(containerBytes(rt::HeadersFooters, atomBytes(rt::HeadersFootersAtom, atom), 0));
        HeadersFooters hf = HeadersFooters::read(old);
        HeaderFooter date = hf.element(Element::DateAndTime);
        ASSERT_TRUE(date.useFormat);
        date.visible = false;
        hf.set(Element::DateAndTime, date);
        EXPECT_EQ(hf.formatId, formatId);
        date.format = 3;
        hf.set(Element::DateAndTime, date);
        EXPECT_EQ(hf.formatId, 2);
    }
}

// A date typed over an automatic one keeps only the typed date's flag: a record claiming both leaves
// each reader to choose which to draw.
TEST(PptRecordTest, ADateGivenAsTextOverAnAutomaticOneIsOnlyThatText) {
    const Record old = Record::parse(containerBytes(
        rt::HeadersFooters, atomBytes(rt::HeadersFootersAtom, std::string("\x00\x00\x03\x00", 4)), 3));
    HeadersFooters hf = HeadersFooters::read(old);
    ASSERT_TRUE(hf.element(Element::DateAndTime).useFormat);
    HeaderFooter date;
    date.text = "Q3 2026";
    date.visible = true;
    date.useFormat = false;
    hf.set(Element::DateAndTime, date);
    EXPECT_EQ(hf.flags, HeadersFooters::kHasDate | HeadersFooters::kHasUserDate);
    const HeaderFooter back = HeadersFooters::read(hf.toRecord(3, &old)).element(Element::DateAndTime);
    EXPECT_FALSE(back.useFormat);
    EXPECT_EQ(back.text, "Q3 2026");
}

// LibreOffice draws a hidden automatic date on notes pages unless its format id is 13; on slides it
// honours the flag, so the slides' format id stays as it was.
TEST(PptRecordTest, AHiddenAutomaticDateIsStoredAsFormatThirteenOnlyForNotesPages) {
    auto storedFormat = [](std::uint16_t flags, std::uint16_t instance) {
        HeadersFooters hf;
        hf.formatId = 4;
        hf.flags = flags;
        const Record r = hf.toRecord(instance);
        return static_cast<std::int16_t>(get16(r.child(rt::HeadersFootersAtom)->body(), 0));
    };
    const std::uint16_t hidden = HeadersFooters::kHasTodayDate;
    const std::uint16_t shown = HeadersFooters::kHasTodayDate | HeadersFooters::kHasDate;
    EXPECT_EQ(storedFormat(hidden, rt::kNotesInstance), 13);
    EXPECT_EQ(storedFormat(hidden, rt::kSlideInstance), 4);
    EXPECT_EQ(storedFormat(shown, rt::kNotesInstance), 4);
    EXPECT_EQ(storedFormat(hidden | HeadersFooters::kHasUserDate, rt::kNotesInstance), 4) << "a typed date";
}

TEST(PptRecordTest, EmptyTextsAreLeftOutAndOtherChildrenKept) {
    const Record old = Record::parse(containerBytes(rt::HeadersFooters,
                                                    atomBytes(rt::HeadersFootersAtom, std::string(4, '\0')) +
                                                        atomBytes(rt::CString, utf16le("old"), 2) +
                                                        atomBytes(0x1234, "keep"),
                                                    0));
    HeadersFooters hf = HeadersFooters::read(old);
    HeaderFooter footer;
    footer.text = "";
    footer.visible = true;
    hf.set(Element::Footer, footer);
    const Record out = hf.toRecord(0, &old);
    EXPECT_EQ(out.child(rt::CString), nullptr);
    ASSERT_NE(out.child(0x1234), nullptr);
    EXPECT_EQ(out.child(0x1234)->body(), "keep");
    EXPECT_EQ(out.instance(), 0);
}

// The shown footer text as the settings record stores it (UTF-16LE), or "(none)" when left out.
std::string storedFooter(const std::string& text) {
    HeadersFooters hf;
    HeaderFooter footer;
    footer.text = text;
    footer.visible = true;
    hf.set(Element::Footer, footer);
    const Record r = hf.toRecord(3);
    const Record* stored = r.child(rt::CString, 2);
    return stored ? stored->body() : "(none)";
}

TEST(PptRecordTest, LineBreaksAreStoredAsVerticalTabs) {
    EXPECT_EQ(storedFooter("a\r\nb\nc"), utf16le("a\x0B"
                                                 "b\x0B"
                                                 "c"));
}

// Controls were stored as given, a NUL among them cutting the text short; a .pptx drops them.
TEST(PptRecordTest, ControlsOtherThanTabAndLineBreaksAreDropped) {
    const std::string text(
        "A\x01"
        "B\x1F"
        "C\tD\vE\x7F"
        "F\0G\xC2\x85"
        "H\xC2\xA0"
        "I",
        19);
    EXPECT_EQ(storedFooter(text), utf16le("ABC\tD\x0B"
                                          "EFGH\xC2\xA0"
                                          "I"));
}

}  // namespace
}  // namespace trelwick::engine::ppt
