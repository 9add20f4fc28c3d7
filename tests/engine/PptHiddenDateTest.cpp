#include <gtest/gtest.h>

#include "TestDeck.h"
#include "TestPptDeck.h"
#include "cfb/CompoundFile.h"
#include "common/Corpus.h"
#include "ppt/DocumentStream.h"
#include "ppt/HeadersFooters.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

const std::filesystem::path kCorpus = trelwick::testing::corpusDir();

// Hides every notes element, as the command line hides what it is not given, saves, and checks the
// document's notes settings: LibreOffice draws an automatic notes date whatever the visible flag says,
// unless its format id is 13.
void expectHiddenNotesDateNotDrawn(Presentation deck) {
    ASSERT_TRUE(deck.element(MasterKind::Notes, Element::DateAndTime).visible);
    ASSERT_TRUE(deck.element(MasterKind::Notes, Element::DateAndTime).useFormat);
    for (Element e : {Element::DateAndTime, Element::Header, Element::Footer, Element::SlideNumber})
        deck.setVisible(MasterKind::Notes, e, false);
    TempDir dir;
    deck.saveAs(dir / "out.ppt");
    const ppt::HeadersFooters hf = documentSettings(dir / "out.ppt", ppt::rt::kNotesInstance);
    EXPECT_FALSE(hf.flags & ppt::HeadersFooters::kHasDate);
    const bool drawnByLibreOffice =
        (hf.flags & ppt::HeadersFooters::kHasTodayDate) && hf.formatId >= 0 && hf.formatId <= 12;
    EXPECT_FALSE(drawnByLibreOffice) << "flags " << hf.flags << ", formatId " << hf.formatId;
}

// 49541_symbol_map.ppt shows an automatic date (formatId 0) on its notes pages; hidden, the notes
// settings kept "today's date" with that format, and LibreOffice drew it.
TEST(PptHiddenDateTest, AHiddenAutomaticNotesDateIsNotLeftForLibreOfficeToDraw) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    expectHiddenNotesDateNotDrawn(Presentation::open(kCorpus / "poi__49541_symbol_map.ppt"));
}

// The same deck with its notes date in another format than the first.
TEST(PptHiddenDateTest, AHiddenAutomaticNotesDateInAnyFormatIsNotLeftForLibreOfficeToDraw) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    int changed = 0;
    const std::string bytes =
        alteredPptDeck(kCorpus / "poi__49541_symbol_map.ppt", [&](std::string&, std::string& doc) {
            // The notes settings' atom: type 0x0FDA, 4 bytes, formatId 0 and a shown automatic date (flags
            // 0x3b).
            const std::string atom("\xDA\x0F\x04\x00\x00\x00\x00\x00\x3B\x00", 10);
            for (std::size_t at = doc.find(atom); at != std::string::npos; at = doc.find(atom, at + 1)) {
                doc[at + 6] = 4;  // the fifth format
                ++changed;
            }
        });
    ASSERT_EQ(changed, 1) << "the deck's notes settings are not laid out as expected";
    Presentation deck = Presentation::openBytes(bytes, "fifth-format.ppt");
    ASSERT_EQ(deck.element(MasterKind::Notes, Element::DateAndTime).format, 5);
    expectHiddenNotesDateNotDrawn(std::move(deck));
}

void hideSlideElements(const std::filesystem::path& in, const std::filesystem::path& out) {
    Presentation deck = Presentation::open(in);
    for (Element e : {Element::DateAndTime, Element::Footer, Element::SlideNumber})
        deck.setVisible(MasterKind::Slide, e, false);
    deck.saveAs(out);
}

// headers_footers.ppt: the document shows an automatic date, slide 2 a fixed date of its own ("custom
// date format"). Hiding everything keeps the document's date automatic, only hidden; hiding again then
// took slide 2's fixed date as the document's, since a hidden automatic date has no text. A second
// identical stamp must leave the settings as the first did.
TEST(PptHiddenDateTest, AHiddenAutomaticDateStaysAutomaticWhenHiddenAgain) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir dir;
    hideSlideElements(kCorpus / "poi__headers_footers.ppt", dir / "once.ppt");
    hideSlideElements(dir / "once.ppt", dir / "twice.ppt");
    const ppt::HeadersFooters once = documentSettings(dir / "once.ppt", ppt::rt::kSlideInstance);
    const ppt::HeadersFooters twice = documentSettings(dir / "twice.ppt", ppt::rt::kSlideInstance);
    ASSERT_TRUE(once.flags & ppt::HeadersFooters::kHasTodayDate) << "flags " << once.flags;
    EXPECT_EQ(twice.flags, once.flags);
    EXPECT_EQ(twice.userDate, once.userDate)
        << "the document took a slide's own date: " << twice.userDate.value_or("");
    EXPECT_EQ(twice.footer, once.footer);
}

}  // namespace
}  // namespace trelwick::engine::test
