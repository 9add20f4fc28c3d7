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

// 49541_symbol_map.ppt shows an automatic date (formatId 0) on its notes pages. Hidden, as the
// command line hides what it is not given, the notes settings kept "today's date" with that format:
// LibreOffice draws the date on the notes page whatever the visible flag says (it skips formatId 13).
TEST(PptHiddenDateTest, AHiddenAutomaticNotesDateIsNotLeftForLibreOfficeToDraw) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir dir;
    Presentation deck = Presentation::open(kCorpus / "poi__49541_symbol_map.ppt");
    ASSERT_TRUE(deck.element(MasterKind::Notes, Element::DateAndTime).visible);
    ASSERT_TRUE(deck.element(MasterKind::Notes, Element::DateAndTime).useFormat);
    for (Element e : {Element::DateAndTime, Element::Header, Element::Footer, Element::SlideNumber})
        deck.setVisible(MasterKind::Notes, e, false);
    deck.saveAs(dir / "out.ppt");

    const CompoundFile cfb = CompoundFile::parse(readFile(dir / "out.ppt"), "out");
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     "out");
    const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
    const ppt::Record* notes = document.child(ppt::rt::HeadersFooters, ppt::rt::kNotesInstance);
    ASSERT_NE(notes, nullptr);
    const ppt::HeadersFooters hf = ppt::HeadersFooters::read(*notes);
    EXPECT_FALSE(hf.flags & ppt::HeadersFooters::kHasDate);
    const bool drawnByLibreOffice =
        (hf.flags & ppt::HeadersFooters::kHasTodayDate) && hf.formatId >= 0 && hf.formatId <= 12;
    EXPECT_FALSE(drawnByLibreOffice) << "flags " << hf.flags << ", formatId " << hf.formatId;
}

// The same deck with its notes date in another format than the first: hidden, it must not be left for
// LibreOffice to draw either. Only the first format was moved out of its reach.
TEST(PptHiddenDateTest, AHiddenAutomaticNotesDateInAnyFormatIsNotLeftForLibreOfficeToDraw) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    TempDir dir;
    int changed = 0;
    const std::string bytes = alteredPptDeck(kCorpus / "poi__49541_symbol_map.ppt", [&](std::string&, std::string& doc) {
        // The notes settings' atom: type 0x0FDA, 4 bytes, formatId 0 and a shown automatic date (flags 0x3b).
        const std::string atom("\xDA\x0F\x04\x00\x00\x00\x00\x00\x3B\x00", 10);
        for (std::size_t at = doc.find(atom); at != std::string::npos; at = doc.find(atom, at + 1)) {
            doc[at + 6] = 4;  // the fifth format
            ++changed;
        }
    });
    ASSERT_EQ(changed, 1) << "the deck's notes settings are not laid out as expected";
    Presentation deck = Presentation::openBytes(bytes, "fifth-format.ppt");
    ASSERT_TRUE(deck.element(MasterKind::Notes, Element::DateAndTime).visible);
    ASSERT_EQ(deck.element(MasterKind::Notes, Element::DateAndTime).format, 5);
    for (Element e : {Element::DateAndTime, Element::Header, Element::Footer, Element::SlideNumber})
        deck.setVisible(MasterKind::Notes, e, false);
    deck.saveAs(dir / "out.ppt");

    const CompoundFile cfb = CompoundFile::parse(readFile(dir / "out.ppt"), "out");
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     "out");
    const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
    const ppt::Record* notes = document.child(ppt::rt::HeadersFooters, ppt::rt::kNotesInstance);
    ASSERT_NE(notes, nullptr);
    const ppt::HeadersFooters hf = ppt::HeadersFooters::read(*notes);
    EXPECT_FALSE(hf.flags & ppt::HeadersFooters::kHasDate);
    const bool drawnByLibreOffice =
        (hf.flags & ppt::HeadersFooters::kHasTodayDate) && hf.formatId >= 0 && hf.formatId <= 12;
    EXPECT_FALSE(drawnByLibreOffice) << "flags " << hf.flags << ", formatId " << hf.formatId;
}

}  // namespace
}  // namespace trelwick::engine::test
