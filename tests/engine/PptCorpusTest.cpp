#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

#include "Bytes.h"
#include "TestDeck.h"
#include "cfb/CompoundFile.h"
#include "common/Corpus.h"
#include "ppt/DocumentStream.h"
#include "ppt/HeadersFooters.h"
#include "ppt/PlaceholderScan.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

const std::filesystem::path kCorpus = trelwick::testing::corpusDir();

// What each legacy deck of the corpus holds, read with olefile and a record dump.
struct LegacyFacts {
    const char* file;
    std::size_t slides, slideMasters;
    bool titleMaster, notesMaster, handoutMaster;
};

const std::vector<LegacyFacts> kDecks{
    {"phppresentation__Sample_00_03.ppt", 1, 1, false, true, false},
    {"phppresentation__Sample_12.ppt", 4, 1, false, true, false},
    {"poi__23884_defense_FINAL_OOimport_edit.ppt", 30, 1, false, true, true},
    {"poi__37625.ppt", 29, 1, true, true, true},
    {"poi__41246-2.ppt", 16, 1, true, true, true},
    {"poi__45537_Footer.ppt", 1, 1, false, true, true},
    {"poi__49541_symbol_map.ppt", 1, 2, true, true, true},
    {"poi__53446.ppt", 29, 1, false, true, true},
    {"poi__WithMaster.ppt", 2, 2, false, true, false},
    {"poi__bug58144-headers-footers-2003.ppt", 1, 1, false, true, false},
    {"poi__customGeo.ppt", 48, 5, false, true, true},
    {"poi__datetime.ppt", 1, 1, false, true, false},
    {"poi__empty.ppt", 0, 1, false, false, false},
    {"poi__headers_footers.ppt", 2, 1, false, true, true},
    {"poi__headers_footers_2007.ppt", 3, 1, false, true, true},
    {"poi__numbers2.ppt", 2, 7, false, true, false},
    {"poi__slide_master.ppt", 3, 2, true, false, false},
};

const auto kNow = std::chrono::system_clock::from_time_t(1796644800);

HeaderFooter value(std::string text, bool visible, bool useFormat = false, int format = 1) {
    HeaderFooter h;
    h.text = std::move(text);
    h.visible = visible;
    h.useFormat = useFormat;
    h.format = format;
    return h;
}

void set(Presentation& deck, MasterKind kind, Element element, const HeaderFooter& v) {
    deck.setText(kind, element, v.text);
    deck.setFormat(kind, element, v.format);
    deck.setUseFormat(kind, element, v.useFormat);
    deck.setVisible(kind, element, v.visible);
}

// The window's full set of choices: fixed texts on slides and notes pages, every element shown or hidden.
void stampAll(Presentation& deck, bool visible) {
    set(deck, MasterKind::Slide, Element::DateAndTime, value("SL-DATE", visible));
    set(deck, MasterKind::Slide, Element::Footer, value("SL-FOOT \xC3\xA9", visible));
    set(deck, MasterKind::Slide, Element::SlideNumber, value("", visible));
    set(deck, MasterKind::Notes, Element::DateAndTime, value("NT-DATE", visible));
    set(deck, MasterKind::Notes, Element::Header, value("NT-HEAD", visible));
    set(deck, MasterKind::Notes, Element::Footer, value("NT-FOOT", visible));
    set(deck, MasterKind::Notes, Element::SlideNumber, value("", visible));
}

std::filesystem::path corpusDeck(const char* name) {
    return kCorpus / name;
}

ppt::DocumentStream streamOf(const std::filesystem::path& file) {
    const CompoundFile cfb = CompoundFile::parse(readFile(file), file.string());
    return ppt::DocumentStream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                               file.string());
}

class PptCorpusTest : public ::testing::TestWithParam<LegacyFacts> {
  protected:
    void SetUp() override {
        TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
        source_ = corpusDeck(GetParam().file);
        ASSERT_TRUE(std::filesystem::exists(source_)) << source_;
    }
    std::filesystem::path source_;
};

TEST_P(PptCorpusTest, OpensWithTheMastersAndPagesOfTheFile) {
    const LegacyFacts& f = GetParam();
    const Presentation deck = Presentation::open(source_);
    EXPECT_EQ(deck.slideCount(), f.slides);
    EXPECT_EQ(deck.slideMasterCount(), f.slideMasters);
    EXPECT_EQ(deck.hasTitleMaster(), f.titleMaster);
    EXPECT_EQ(deck.hasNotesMaster(), f.notesMaster);
    EXPECT_EQ(deck.hasHandoutMaster(), f.handoutMaster);
    EXPECT_FALSE(deck.isSigned());
}

TEST_P(PptCorpusTest, SettingsReadBackAfterSaveShownAndHidden) {
    for (bool visible : {true, false}) {
        SCOPED_TRACE(visible ? "shown" : "hidden");
        TempDir dir;
        Presentation deck = Presentation::open(source_);
        deck.setNow(kNow);
        stampAll(deck, visible);
        deck.saveAs(dir / "out.ppt");
        const Presentation back = Presentation::open(dir / "out.ppt");
        for (MasterKind kind : {MasterKind::Slide, MasterKind::Notes})
            for (Element e : {Element::DateAndTime, Element::Footer, Element::Header, Element::SlideNumber}) {
                if (!Presentation::hasElement(kind, e)) continue;
                const HeaderFooter want = deck.element(kind, e);
                const HeaderFooter got = back.element(kind, e);
                EXPECT_EQ(got.visible, visible) << static_cast<int>(kind) << "/" << static_cast<int>(e);
                EXPECT_EQ(got.text, want.text) << static_cast<int>(kind) << "/" << static_cast<int>(e);
                EXPECT_FALSE(got.useFormat);
            }
        EXPECT_EQ(back.element(MasterKind::Slide, Element::Footer).text, "SL-FOOT \xC3\xA9");
    }
}

TEST_P(PptCorpusTest, AutomaticDateKeepsItsFormat) {
    TempDir dir;
    Presentation deck = Presentation::open(source_);
    set(deck, MasterKind::Slide, Element::DateAndTime, value("", true, true, 4));
    set(deck, MasterKind::Notes, Element::DateAndTime, value("", true, true, 11));
    deck.saveAs(dir / "out.ppt");
    const Presentation back = Presentation::open(dir / "out.ppt");
    const HeaderFooter slide = back.element(MasterKind::Slide, Element::DateAndTime);
    EXPECT_TRUE(slide.visible);
    EXPECT_TRUE(slide.useFormat);
    EXPECT_EQ(slide.format, 4);
    EXPECT_EQ(back.element(MasterKind::Notes, Element::DateAndTime).format, 11);
}

TEST_P(PptCorpusTest, OnlyThePowerPointStreamsChangeAndEveryLiveObjectKeepsItsType) {
    TempDir dir;
    Presentation deck = Presentation::open(source_);
    stampAll(deck, true);
    deck.saveAs(dir / "out.ppt");

    const CompoundFile before = CompoundFile::parse(readFile(source_), "before");
    const CompoundFile after = CompoundFile::parse(readFile(dir / "out.ppt"), "after");
    EXPECT_EQ(after.streamPaths(), before.streamPaths());
    EXPECT_EQ(after.storagePaths(), before.storagePaths());
    for (const std::string& path : before.streamPaths()) {
        if (path == "PowerPoint Document" || path == "Current User") continue;
        EXPECT_TRUE(after.readStream(path) == before.readStream(path)) << path;
    }

    const ppt::DocumentStream old = streamOf(source_);
    const ppt::DocumentStream stamped = streamOf(dir / "out.ppt");
    EXPECT_EQ(stamped.editCount(), 1u);
    ASSERT_EQ(stamped.offsets().size(), old.offsets().size());
    for (const auto& [id, at] : old.offsets())
        EXPECT_EQ(stamped.typeOf(id), old.typeOf(id)) << "persist id " << id;
    // Objects the stamp had no reason to touch are carried over byte for byte.
    std::size_t same = 0;
    for (const auto& [id, at] : old.offsets())
        if (old.typeOf(id) != ppt::rt::Document && old.typeOf(id) != ppt::rt::Slide &&
            old.typeOf(id) != ppt::rt::Notes && old.typeOf(id) != ppt::rt::MainMaster &&
            old.typeOf(id) != ppt::rt::HandoutContainer) {
            EXPECT_TRUE(stamped.object(id) == old.object(id)) << "persist id " << id;
            ++same;
        }
    RecordProperty("untouched_objects", static_cast<int>(same));
}

TEST_P(PptCorpusTest, EveryPageOwnSettingFollowsTheStamp) {
    TempDir dir;
    Presentation deck = Presentation::open(source_);
    stampAll(deck, true);
    deck.saveAs(dir / "out.ppt");
    const ppt::DocumentStream stamped = streamOf(dir / "out.ppt");
    const ppt::Record document = ppt::Record::parse(stamped.object(stamped.documentId()));
    for (std::uint16_t instance : {ppt::rt::kSlideInstance, ppt::rt::kNotesInstance}) {
        const ppt::Record* container = document.child(ppt::rt::HeadersFooters, instance);
        ASSERT_NE(container, nullptr) << "instance " << instance;
        const ppt::HeadersFooters hf = ppt::HeadersFooters::read(*container);
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasFooter);
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasDate);
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasUserDate);
        EXPECT_FALSE(hf.flags & ppt::HeadersFooters::kHasTodayDate);
    }
    int pages = 0;
    for (const auto& [id, at] : stamped.offsets()) {
        const std::uint16_t type = stamped.typeOf(id);
        if (type != ppt::rt::Slide && type != ppt::rt::Notes && type != ppt::rt::MainMaster) continue;
        const ppt::Record page = ppt::Record::parse(stamped.object(id));
        const ppt::Record* own = page.child(ppt::rt::HeadersFooters);
        if (!own) continue;
        ++pages;
        const ppt::HeadersFooters hf = ppt::HeadersFooters::read(*own);
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasFooter) << "persist id " << id;
        EXPECT_EQ(hf.footer.value_or(""), type == ppt::rt::Notes ? "NT-FOOT" : "SL-FOOT \xC3\xA9")
            << "persist id " << id;
    }
    RecordProperty("pages_with_own_settings", pages);
}

TEST_P(PptCorpusTest, ASecondIdenticalRunIsByteIdentical) {
    TempDir dir;
    std::filesystem::create_directories(dir / "one");
    std::filesystem::create_directories(dir / "two");
    Presentation first = Presentation::open(source_);
    first.setNow(kNow);
    stampAll(first, true);
    first.saveAs(dir / "one" / "deck.ppt");
    Presentation second = Presentation::open(dir / "one" / "deck.ppt");
    second.setNow(kNow);
    stampAll(second, true);
    second.saveAs(dir / "two" / "deck.ppt");
    EXPECT_TRUE(readFile(dir / "one" / "deck.ppt") == readFile(dir / "two" / "deck.ppt"));
}

TEST_P(PptCorpusTest, TheSourceIsNeverChanged) {
    const std::string before = readFile(source_);
    TempDir dir;
    Presentation deck = Presentation::open(source_);
    stampAll(deck, true);
    deck.saveAs(dir / "out.ppt");
    EXPECT_TRUE(readFile(source_) == before);
}

INSTANTIATE_TEST_SUITE_P(Corpus, PptCorpusTest, ::testing::ValuesIn(kDecks),
                         [](const ::testing::TestParamInfo<LegacyFacts>& info) {
                             std::string name = info.param.file;
                             name = name.substr(0, name.size() - 4);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(PptCorpusWarningTest, WhatCannotShowIsSaidPerDeck) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    struct Case {
        const char* file;
        std::vector<std::string> expected;  // each must appear in one warning
    };
    const std::vector<Case> cases{
        {"poi__headers_footers.ppt", {}},
        {"poi__45537_Footer.ppt", {}},
        {"poi__23884_defense_FINAL_OOimport_edit.ppt",
         {"the slide number cannot show as set on 30 slides: the slide master has no slide number "
          "placeholder; a text box of its own shows it whatever the setting",
          "the page number cannot show as set on 27 notes pages: the notes master has no page number "
          "placeholder; a text box of its own shows it whatever the setting"}},
        {"phppresentation__Sample_12.ppt",
         {"the date cannot show on 4 slides: the slide master's date placeholder lies outside the slide",
          "the slide number cannot show on 4 slides: the slide master's slide number placeholder lies "
          "outside "
          "the slide"}},
        // PowerPoint 2007 save: literal master texts and per-slide footer boxes are brought in line.
        {"poi__headers_footers_2007.ppt", {}},
        {"poi__WithMaster.ppt", {}},
        {"poi__37625.ppt",
         {"the footer does not show in LibreOffice on 1 slide: it hides the slide master's background "
          "graphics"}},
        {"poi__customGeo.ppt",
         {"the slide number may not show whole on 1 slide: the slide master's slide number placeholder "
          "reaches "
          "past the slide's edge"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        Presentation deck = Presentation::open(corpusDeck(c.file));
        stampAll(deck, true);
        const SaveOutcome outcome = deck.saveAs(dir / "out.ppt");
        if (c.expected.empty()) {
            EXPECT_TRUE(outcome.warnings.empty()) << outcome.warnings.front();
        }
        for (const std::string& want : c.expected) {
            bool found = false;
            for (const std::string& w : outcome.warnings) {
                found = found || w.find(want) != std::string::npos;
                // Naming the file is left to the caller, who knows it by its own name.
                EXPECT_EQ(w.find(c.file), std::string::npos) << w;
            }
            EXPECT_TRUE(found) << want;
        }
    }
}

// Masters with literal text get fields and the per-page copies of PowerPoint 2007+ go, so that the
// settings decide what every page shows, as in a PowerPoint 97-2003 file.
TEST(PptCorpusWarningTest, PowerPoint2007SavesAreBroughtToFieldsAndSettings) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir dir;
    Presentation deck = Presentation::open(corpusDeck("poi__headers_footers_2007.ppt"));
    stampAll(deck, true);
    deck.saveAs(dir / "out.ppt");
    const ppt::DocumentStream before = streamOf(corpusDeck("poi__headers_footers_2007.ppt"));
    const ppt::DocumentStream after = streamOf(dir / "out.ppt");
    auto count = [](const ppt::DocumentStream& s, std::uint16_t type) {
        int n = 0;
        for (const auto& [id, at] : s.offsets())
            ppt::Record::parse(s.object(id)).forEach([&](const ppt::Record& r) { n += r.type() == type; });
        return n;
    };
    EXPECT_GT(count(before, ppt::rt::RoundTripHFPlaceholder12Atom), 0);
    EXPECT_EQ(count(after, ppt::rt::RoundTripHFPlaceholder12Atom), 0);
    EXPECT_GT(count(after, ppt::rt::FooterMCAtom), count(before, ppt::rt::FooterMCAtom));
    EXPECT_GT(count(after, ppt::rt::HeaderMCAtom), count(before, ppt::rt::HeaderMCAtom));
    EXPECT_GT(count(after, ppt::rt::GenericDateMCAtom), count(before, ppt::rt::GenericDateMCAtom));

    // Hiding afterwards leaves nothing to remove and nothing to warn about.
    Presentation again = Presentation::open(dir / "out.ppt");
    stampAll(again, false);
    EXPECT_TRUE(again.saveAs(dir / "hidden.ppt").warnings.empty());
}

TEST(PptCorpusWarningTest, SignedDeckIsStampedAndSaysTheSignatureNoLongerHolds) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    // A binary Office file keeps its signature in a "_signatures" stream; one of the deck's streams is
    // renamed so (the directory entry's name and its length), leaving the rest of the file as it was.
    std::string bytes = readFile(corpusDeck("poi__headers_footers.ppt"));
    const std::string from = utf16le(
        "\x05"
        "DocumentSummaryInformation");
    const std::size_t entry = bytes.find(from);
    ASSERT_NE(entry, std::string::npos);
    const std::string to = utf16le("_signatures");
    bytes.replace(entry, 64, to + std::string(64 - to.size(), '\0'));
    put16(bytes, entry + 0x40, static_cast<std::uint16_t>(to.size() + 2));
    TempDir dir;
    writeFile(dir / "signed.ppt", bytes);

    Presentation deck = Presentation::open(dir / "signed.ppt");
    EXPECT_TRUE(deck.isSigned());
    set(deck, MasterKind::Slide, Element::Footer, value("SIGNED", true));
    const SaveOutcome outcome = deck.saveAs(dir / "out.ppt");
    EXPECT_TRUE(outcome.signatureInvalidated);
    ASSERT_FALSE(outcome.warnings.empty());
    EXPECT_NE(outcome.warnings.back().find("its signature no longer holds"), std::string::npos);
    EXPECT_EQ(Presentation::open(dir / "out.ppt").element(MasterKind::Slide, Element::Footer).text, "SIGNED");
}

TEST(PptCorpusWarningTest, DifferentHandoutSettingsAreReportedNotLost) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir dir;
    Presentation deck = Presentation::open(corpusDeck("poi__headers_footers.ppt"));
    set(deck, MasterKind::Notes, Element::Footer, value("NOTES", true));
    set(deck, MasterKind::Handout, Element::Footer, value("HANDOUT", true));
    set(deck, MasterKind::Handout, Element::Header, value("HANDOUT-HEAD", true));
    const SaveOutcome outcome = deck.saveAs(dir / "out.ppt");
    ASSERT_EQ(outcome.warnings.size(), 1u);
    EXPECT_NE(outcome.warnings[0].find("share the notes pages' header and footer"), std::string::npos);
    const Presentation back = Presentation::open(dir / "out.ppt");
    EXPECT_EQ(back.element(MasterKind::Notes, Element::Footer).text, "NOTES");
    EXPECT_EQ(back.element(MasterKind::Notes, Element::Header).text, "HANDOUT-HEAD");  // filled the gap
}

// Whether each master's footer placeholder holds the footer field (rather than text of its own), by
// master persist id.
std::map<std::uint32_t, bool> masterFooterFields(const std::string& bytes) {
    const CompoundFile cfb = CompoundFile::parse(bytes, "deck");
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     "deck");
    const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
    std::map<std::uint32_t, bool> fields;
    const ppt::Record* list = document.child(ppt::rt::SlideListWithText, ppt::rt::kMasterList);
    if (!list) return fields;
    for (const ppt::Record& entry : list->children()) {
        if (entry.type() != ppt::rt::SlidePersistAtom || entry.body().size() < 4) continue;
        const std::uint32_t id = get32(entry.body(), 0);
        const ppt::PlaceholderScan scan = ppt::PlaceholderScan::of(ppt::Record::parse(stream.object(id)));
        if (scan.has(ppt::rt::kMasterFooter)) fields[id] = scan.hasField(ppt::rt::kMasterFooter);
    }
    return fields;
}

// headers_footers_2007.ppt (saved by PowerPoint 2007) has "THE FOOTER TEXT" typed into its master's
// footer placeholder and no footer text in the document's settings. Showing the footer without giving a
// text keeps the masters' own text (engine.h); the master's text became the footer field instead, and
// with the document's empty footer text and the per-slide copies gone, every slide showed no footer.
TEST(PptMasterTextTest, AFooterOnlyShownKeepsTheMastersOwnText) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    const std::filesystem::path source = kCorpus / "poi__headers_footers_2007.ppt";
    const auto before = masterFooterFields(readFile(source));
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(before.begin()->second, false) << "the master's footer is expected to hold text of its own";
    TempDir dir;
    Presentation deck = Presentation::open(source);
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
    deck.saveAs(dir / "out.ppt");
    EXPECT_EQ(masterFooterFields(readFile(dir / "out.ppt")), before);
}

// 37625.ppt keeps the date, footer and number off title slides (the document's "don't show on title
// slide"), and its title slide hides the title master's background graphics too. That slide shows none of
// them by design; only the other slide hiding the slide master's graphics is reported.
TEST(PptCorpusWarningTest, ATitleSlideTheDeckKeepsClearIsNotReported) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir dir;
    Presentation deck = Presentation::open(corpusDeck("poi__37625.ppt"));
    stampAll(deck, true);
    const SaveOutcome outcome = deck.saveAs(dir / "out.ppt");
    const std::vector<std::string> expected{
        "the date does not show in LibreOffice on 1 slide: it hides the slide master's background graphics",
        "the footer does not show in LibreOffice on 1 slide: it hides the slide master's background graphics",
        "the slide number does not show in LibreOffice on 1 slide: it hides the slide master's background "
        "graphics"};
    EXPECT_EQ(outcome.warnings, expected);
}

// A number a master shows in a text box of its own, not in a placeholder, still shows when hidden, but
// not on a slide that hides the master's background graphics (53446.ppt's first slide does).
TEST(PptCorpusWarningTest, WhatStillShowsWhenHiddenIsSaidPerDeck) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    struct Case {
        const char* file;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"poi__53446.ppt",
         {"the slide number still shows on 28 slides: the slide master shows it in a text box of its own, "
          "not "
          "in a placeholder",
          "the page number still shows on 12 notes pages: the notes master shows it in a text box of its "
          "own, "
          "not in a placeholder"}},
        {"poi__23884_defense_FINAL_OOimport_edit.ppt",
         {"the slide number still shows on 30 slides: the slide master shows it in a text box of its own, "
          "not "
          "in a placeholder",
          "the page number still shows on 27 notes pages: the notes master shows it in a text box of its "
          "own, "
          "not in a placeholder"}},
        {"poi__headers_footers_2007.ppt", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        Presentation deck = Presentation::open(corpusDeck(c.file));
        stampAll(deck, false);
        EXPECT_EQ(deck.saveAs(dir / "out.ppt").warnings, c.expected);
    }
}

// What one slide or notes page of a saved deck holds of PowerPoint 2007+ per-page copies, and how many
// shapes its drawing holds beyond its own count of them.
struct PageCopies {
    std::uint16_t type = 0;
    std::multiset<std::uint8_t> placements;
    std::int64_t uncounted = 0;
};

std::map<std::uint32_t, PageCopies> pageCopiesOf(const std::filesystem::path& file) {
    const ppt::DocumentStream stream = streamOf(file);
    std::map<std::uint32_t, PageCopies> pages;
    for (const auto& [id, at] : stream.offsets()) {
        const std::uint16_t type = stream.typeOf(id);
        if (type != ppt::rt::Slide && type != ppt::rt::Notes) continue;
        const ppt::Record page = ppt::Record::parse(stream.object(id));
        const ppt::Record* drawing = page.child(ppt::rt::Drawing);
        const ppt::Record* dg = drawing ? drawing->child(ppt::rt::OfficeArtDgContainer) : nullptr;
        const ppt::Record* fdg = dg ? dg->child(ppt::rt::OfficeArtFDG) : nullptr;
        if (!fdg || fdg->body().size() < 4) continue;
        PageCopies& copies = pages[id];
        copies.type = type;
        std::int64_t shapes = 0;
        dg->forEach([&](const ppt::Record& r) {
            if (r.type() == ppt::rt::OfficeArtSpContainer) ++shapes;
            if (r.type() == ppt::rt::RoundTripHFPlaceholder12Atom && !r.body().empty())
                copies.placements.insert(static_cast<std::uint8_t>(r.body()[0]));
        });
        copies.uncounted = shapes - get32(fdg->body(), 0);
    }
    return pages;
}

// headers_footers_2007.ppt (saved by PowerPoint 2007) keeps a copy of the date, number and footer
// placeholders on every slide and notes page, and of the header on notes pages; LibreOffice draws each
// copy as a text box holding the old text. An element hidden without a text given (the command line
// hides what it is not given) and the number, which has no text, lose their copies like the others.
TEST(PptPageCopiesTest, HiddenElementsAndTheNumberLoseTheirCopiesWithoutAText) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    using Placements = std::set<std::uint8_t>;
    struct Case {
        const char* name;
        std::vector<std::pair<MasterKind, Element>> hidden, shown;  // visibility only, no text
        Placements goneFromSlides, goneFromNotes;
    };
    const std::vector<Case> cases{
        {"slide date and footer hidden",
         {{MasterKind::Slide, Element::DateAndTime}, {MasterKind::Slide, Element::Footer}},
         {},
         {ppt::rt::kMasterDate, ppt::rt::kMasterFooter},
         {}},
        {"slide number shown",
         {},
         {{MasterKind::Slide, Element::SlideNumber}},
         {ppt::rt::kMasterSlideNumber},
         {}},
        {"notes header hidden, page number shown",
         {{MasterKind::Notes, Element::Header}},
         {{MasterKind::Notes, Element::SlideNumber}},
         {},
         {ppt::rt::kMasterHeader, ppt::rt::kMasterSlideNumber}},
    };
    const std::filesystem::path source = corpusDeck("poi__headers_footers_2007.ppt");
    const auto before = pageCopiesOf(source);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Presentation deck = Presentation::open(source);
        for (const auto& [kind, element] : c.hidden) deck.setVisible(kind, element, false);
        for (const auto& [kind, element] : c.shown) deck.setVisible(kind, element, true);
        deck.saveAs(dir / "out.ppt");
        const auto after = pageCopiesOf(dir / "out.ppt");
        ASSERT_EQ(after.size(), before.size());
        int pagesWithCopies = 0;
        for (const auto& [id, old] : before) {
            SCOPED_TRACE("persist id " + std::to_string(id));
            const PageCopies& now = after.at(id);
            const Placements& gone = old.type == ppt::rt::Notes ? c.goneFromNotes : c.goneFromSlides;
            std::multiset<std::uint8_t> kept;
            for (std::uint8_t p : old.placements)
                if (!gone.count(p)) kept.insert(p);
            EXPECT_EQ(now.placements, kept);
            // The drawing's count of its shapes drops with them.
            EXPECT_EQ(now.uncounted, old.uncounted);
            pagesWithCopies += !old.placements.empty();
        }
        EXPECT_EQ(pagesWithCopies, 6);
    }
}

}  // namespace
}  // namespace trelwick::engine::test
