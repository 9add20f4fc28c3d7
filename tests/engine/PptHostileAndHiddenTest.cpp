// Legacy .ppt decks built to be hostile (edit chains, slide lists) and the settings a stamp must keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "Bytes.h"
#include "TestDeck.h"
#include "TestPptDeck.h"
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

std::string userEdit(std::uint32_t lastEdit, std::uint32_t directory) {
    std::string edit;
    append32(edit, 256);  // lastSlideIdRef
    append16(edit, 0);    // version
    edit += std::string("\x00\x03", 2);
    append32(edit, lastEdit);
    append32(edit, directory);
    append32(edit, 1);   // docPersistIdRef
    append32(edit, 10);  // persistIdSeed
    append32(edit, 1);   // lastView + unused
    return pptRecord(0, ppt::rt::UserEditAtom, edit);
}

std::string currentUserAt(std::uint32_t offset) {
    std::string body;
    append32(body, 0x14);
    append32(body, 0xE391C05F);
    append32(body, offset);
    append16(body, 1);
    append16(body, 0x03F4);
    body += std::string("\x03\x00\x00\x00", 4);
    body += "u";
    append32(body, 8);
    return pptRecord(0, ppt::rt::CurrentUserAtom, body);
}

// Each saved edit lies after the edit before it, and its persist directory between the two. A chain of
// many small edits that all name one large directory makes the reader walk that directory once per
// edit: a few megabytes of hostile file then keep it busy for hours. Such a chain cannot come from a
// save, so it is damage.
TEST(PptHostileTest, EditsThatShareOnePersistDirectoryAreRefused) {
    std::string document =
        pptRecord(0xF, ppt::rt::Document, pptRecord(1, ppt::rt::DocumentAtom, std::string(40, '\0')));
    std::string entries;
    for (int k = 0; k < 4; ++k) {
        append32(entries, 1 | 1u << 20);
        append32(entries, 0);
    }
    const auto directory = static_cast<std::uint32_t>(document.size());
    document += pptRecord(0, ppt::rt::PersistDirectoryAtom, entries);
    std::uint32_t previous = 0;
    for (int k = 0; k < 3; ++k) {
        const auto at = static_cast<std::uint32_t>(document.size());
        document += userEdit(previous, directory);
        previous = at;
    }
    try {
        ppt::DocumentStream stream(currentUserAt(previous), document, "deck.ppt");
        ADD_FAILURE() << "accepted a chain of " << stream.editCount() << " edits sharing one directory";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DamagedPackage) << e.what();
    }
}

class PptCorpusEdgeTest : public ::testing::Test {
  protected:
    void SetUp() override { TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus); }
};

// A slide list naming one slide many times made every entry a page of its own, each a full parsed copy
// of the slide: a 6 MB file listing a 66 KB slide 100,000 times took over 3 GB before it failed with
// "std::bad_alloc". The slide is one page however often it is listed (or the deck is refused).
TEST_F(PptCorpusEdgeTest, ASlideListedTwiceIsOnePage) {
    const std::string bytes = alteredPptDeck(
        kCorpus / "poi__bug58144-headers-footers-2003.ppt", [](std::string& user, std::string& doc) {
            const std::uint32_t edit = get32(user, 16);
            const std::uint32_t directory = get32(doc, edit + 20);
            const std::uint32_t documentAt = get32(doc, directory + 12);  // first entry: id 1, the document
            ASSERT_EQ(get32(doc, directory + 8) & 0xFFFFF, 1u);
            ASSERT_EQ(get16(doc, documentAt + 2), ppt::rt::Document);
            // Repeat the slide list's SlidePersistAtom and grow the lengths of the list and the document.
            ppt::Record document =
                ppt::Record::parse(std::string_view(doc).substr(documentAt, 8 + get32(doc, documentAt + 4)));
            ppt::Record* list = document.child(ppt::rt::SlideListWithText, ppt::rt::kSlideList);
            ASSERT_NE(list, nullptr);
            const ppt::Record* entry = list->child(ppt::rt::SlidePersistAtom);
            ASSERT_NE(entry, nullptr);
            list->children().push_back(*entry);
            const std::string grown = document.bytes();
            const std::size_t oldSize = 8 + get32(doc, documentAt + 4);
            const std::int64_t delta =
                static_cast<std::int64_t>(grown.size()) - static_cast<std::int64_t>(oldSize);
            doc.replace(documentAt, oldSize, grown);
            // Everything behind the document moved by delta: the other persist offsets, the directory, the
            // edit.
            const std::uint32_t newDirectory = static_cast<std::uint32_t>(directory + delta);
            const std::uint32_t length = get32(doc, newDirectory + 4);
            for (std::size_t at = newDirectory + 8; at < newDirectory + 8 + length;) {
                const std::uint32_t count = get32(doc, at) >> 20;
                at += 4;
                for (std::uint32_t k = 0; k < count; ++k, at += 4)
                    if (get32(doc, at) > documentAt)
                        put32(doc, at, static_cast<std::uint32_t>(get32(doc, at) + delta));
            }
            const std::uint32_t newEdit = static_cast<std::uint32_t>(edit + delta);
            put32(doc, newEdit + 20, newDirectory);
            put32(user, 16, newEdit);
        });
    expectSlidesOrDamaged(bytes, 1);
}

// The same slide record named by a second persist id that is listed too (appended as a fast save does): a
// 4.6 MB file listing 40,000 such ids for one 66 KB slide also ran out of memory at 3 GB. One record is one
// page, whichever ids name it (or the deck is refused).
TEST_F(PptCorpusEdgeTest, ASlideRecordNamedByTwoIdsIsOnePage) {
    const std::string bytes = alteredPptDeck(
        kCorpus / "poi__bug58144-headers-footers-2003.ppt",
        [](std::string& user, std::string& doc) { ASSERT_NE(aliasLastSlide(user, doc, 0x1000), 0u); });
    expectSlidesOrDamaged(bytes, 1);
}

// The slide record a second listed persist id also names is loaded once; the stamp then replaces the
// record under the first id only, and the second id kept naming the old, unstamped bytes: PowerPoint,
// which shows a slide for each listed id, showed that one without the footer, and the saved deck opened
// as two slides. Ids that named one record must still name one record, the stamped one.
TEST_F(PptCorpusEdgeTest, ASlideRecordNamedByTwoIdsIsStampedUnderBoth) {
    std::uint32_t slideId = 0;
    const std::uint32_t alias = 0x1000;
    // Slide 2 of this deck has settings of its own, so the stamp rewrites its record.
    const std::string bytes = alteredPptDeck(
        kCorpus / "poi__headers_footers.ppt",
        [&](std::string& user, std::string& doc) { slideId = aliasLastSlide(user, doc, alias); });
    ASSERT_NE(slideId, 0u);
    TempDir dir;
    writeFile(dir / "in.ppt", bytes);
    Presentation deck = Presentation::open(dir / "in.ppt");
    const std::size_t slides = deck.slideCount();
    deck.setText(MasterKind::Slide, Element::Footer, "Stamped under both ids");
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    deck.saveAs(dir / "out.ppt");

    const CompoundFile out = CompoundFile::parse(readFile(dir / "out.ppt"), "out");
    const ppt::DocumentStream stream(out.readStream("Current User"), out.readStream("PowerPoint Document"),
                                     "out");
    const std::string_view first = stream.object(slideId), second = stream.object(alias);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second) << "the two ids of one slide record now name different records";
    EXPECT_EQ(Presentation::open(dir / "out.ppt").slideCount(), slides) << "the saved deck has more slides";
}

// Appends a saved edit in which persist id names page, the changed copy of its record (a slide, notes
// page or master, or the document itself).
void appendPageEdit(std::string& user, std::string& doc, std::uint32_t id, const ppt::Record& page) {
    const auto at = static_cast<std::uint32_t>(doc.size());
    doc += page.bytes();
    std::string entries;
    append32(entries, id | 1u << 20);
    append32(entries, at);
    appendEdit(user, doc, entries);
}

// The record the edit's persist directory gives for id; an empty container, and a failure, when none.
ppt::Record persistedRecord(const std::string& doc, std::uint32_t edit, std::uint32_t id) {
    const std::uint32_t at = persistOffset(doc, edit, id);
    EXPECT_NE(at, kNoOffset) << "no record for persist id " << id;
    return at == kNoOffset ? ppt::Record::container(0, 0, {})
                           : ppt::Record::parse(std::string_view(doc).substr(at, 8 + get32(doc, at + 4)));
}

// Appends a saved edit in which the first notes page also holds a copy of the notes master's footer
// placeholder as a plain text box: the footer field without its PlaceholderAtom, as decks saved by
// LibreOffice carry it on some notes pages.
void addNotesFooterBox(std::string& user, std::string& doc) {
    const std::uint32_t edit = get32(user, 16);
    auto object = [&](std::uint32_t id) { return persistedRecord(doc, edit, id); };
    const ppt::Record document = object(get32(doc, edit + 24));
    const ppt::Record* atom = document.child(ppt::rt::DocumentAtom);
    const ppt::Record* list = document.child(ppt::rt::SlideListWithText, ppt::rt::kNotesList);
    ASSERT_TRUE(atom && list && !list->children().empty()) << "the deck has no notes page";
    const ppt::Record master = object(get32(atom->body(), 24));  // notesMasterPersistIdRef
    std::optional<ppt::Record> box;
    master.forEach([&](const ppt::Record& shape) {
        if (!box && shape.type() == ppt::rt::OfficeArtSpContainer &&
            ppt::placementOfShape(shape) == ppt::rt::kMasterFooter)
            box = shape;
    });
    ASSERT_TRUE(box) << "the notes master has no footer placeholder";
    std::vector<ppt::Record>& data = box->child(ppt::rt::OfficeArtClientData)->children();
    data.erase(std::remove_if(data.begin(), data.end(),
                              [](const ppt::Record& r) { return r.type() == ppt::rt::PlaceholderAtom; }),
               data.end());
    const std::uint32_t pageId = get32(list->children().front().body(), 0);
    ppt::Record page = object(pageId);
    ppt::Record* drawing = page.child(ppt::rt::Drawing);
    ppt::Record* dg = drawing ? drawing->child(ppt::rt::OfficeArtDgContainer) : nullptr;
    ppt::Record* group = dg ? dg->child(ppt::rt::OfficeArtSpgrContainer) : nullptr;
    ASSERT_NE(group, nullptr) << "the notes page has no drawing";
    group->children().push_back(*box);
    appendPageEdit(user, doc, pageId, page);
}

// A notes page showing the footer field in a text box of its own shows the footer's text however the
// settings hide it; the stamp said nothing of it, and a re-stamp left an old footer showing.
TEST_F(PptCorpusEdgeTest, AHiddenElementANotesPageShowsInItsOwnTextBoxIsWarnedOf) {
    const std::string bytes = alteredPptDeck(kCorpus / "poi__45537_Footer.ppt", addNotesFooterBox);
    const std::string warning =
        "the footer still shows on 1 notes page: it shows it in a text box of its own, not in a placeholder";
    for (bool visible : {false, true}) {
        SCOPED_TRACE(visible ? "shown" : "hidden");
        Presentation deck = Presentation::openBytes(bytes, "own-box.ppt");
        deck.setText(MasterKind::Notes, Element::Footer, "Notes footer");
        deck.setVisible(MasterKind::Notes, Element::Footer, visible);
        TempDir dir;
        const SaveOutcome outcome = deck.saveAs(dir / "out.ppt");
        const bool warned =
            std::find(outcome.warnings.begin(), outcome.warnings.end(), warning) != outcome.warnings.end();
        EXPECT_EQ(warned, !visible);
    }
}

// headers_footers.ppt: the document's slide settings have the footer "Global Slide Footer" and an
// automatic date; slide 2 has its own settings ("per-slide footer", a fixed date "custom date format").
// Hiding the footer and the date, as the command line does for options left out, must keep the
// document's own text and date kind; slide 2's values spread to the document's settings instead.
TEST_F(PptCorpusEdgeTest, HiddenElementsKeepTheDocumentsOwnTextAndDateKind) {
    TempDir dir;
    Presentation deck = Presentation::open(kCorpus / "poi__headers_footers.ppt");
    deck.setVisible(MasterKind::Slide, Element::DateAndTime, false);
    deck.setVisible(MasterKind::Slide, Element::Footer, false);
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    deck.saveAs(dir / "out.ppt");

    const ppt::HeadersFooters hf = documentSettings(dir / "out.ppt", ppt::rt::kSlideInstance);
    EXPECT_EQ(hf.footer.value_or(""), "Global Slide Footer");
    EXPECT_FALSE(hf.userDate.has_value()) << *hf.userDate;
    EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasTodayDate);
    EXPECT_FALSE(hf.flags & ppt::HeadersFooters::kHasUserDate);
    EXPECT_FALSE(hf.flags & (ppt::HeadersFooters::kHasFooter | ppt::HeadersFooters::kHasDate));
    EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasSlideNumber);

    // Slide 2's own settings keep their own footer and fixed date too, only hidden.
    const CompoundFile cfb = CompoundFile::parse(readFile(dir / "out.ppt"), "out");
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     "out");
    const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
    const ppt::Record* list = document.child(ppt::rt::SlideListWithText, ppt::rt::kSlideList);
    ASSERT_NE(list, nullptr);
    std::vector<std::string> footers;
    for (const ppt::Record& entry : list->children()) {
        if (entry.type() != ppt::rt::SlidePersistAtom) continue;
        const ppt::Record slide = ppt::Record::parse(stream.object(get32(entry.body(), 0)));
        const ppt::Record* own = slide.child(ppt::rt::HeadersFooters);
        if (!own) continue;
        const ppt::HeadersFooters pageHf = ppt::HeadersFooters::read(*own);
        footers.push_back(pageHf.footer.value_or(""));
        EXPECT_EQ(pageHf.userDate.value_or(""), "custom date format");
        EXPECT_TRUE(pageHf.flags & ppt::HeadersFooters::kHasUserDate);
        EXPECT_FALSE(pageHf.flags & (ppt::HeadersFooters::kHasFooter | ppt::HeadersFooters::kHasDate));
    }
    EXPECT_EQ(footers, std::vector<std::string>{"per-slide footer"});
}

// Slide 2 of headers_footers.ppt has its own footer, "per-slide footer". A footer text given while the
// footer is hidden is that slide's too: shown again later without a text, every slide shows the text
// last given, not slide 2 its old one.
TEST_F(PptCorpusEdgeTest, ATextGivenToAHiddenFooterIsThePagesOwnToo) {
    auto slideFooters = [](const std::filesystem::path& file) {
        const CompoundFile cfb = CompoundFile::parse(readFile(file), "out");
        const ppt::DocumentStream stream(cfb.readStream("Current User"),
                                         cfb.readStream("PowerPoint Document"), "out");
        const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
        std::vector<std::pair<std::string, bool>> footers;  // text, shown
        for (const ppt::Record& entry :
             document.child(ppt::rt::SlideListWithText, ppt::rt::kSlideList)->children()) {
            if (entry.type() != ppt::rt::SlidePersistAtom) continue;
            const ppt::Record slide = ppt::Record::parse(stream.object(get32(entry.body(), 0)));
            if (const ppt::Record* own = slide.child(ppt::rt::HeadersFooters)) {
                const ppt::HeadersFooters hf = ppt::HeadersFooters::read(*own);
                footers.emplace_back(hf.footer.value_or(""),
                                     (hf.flags & ppt::HeadersFooters::kHasFooter) != 0);
            }
        }
        return footers;
    };
    using Footers = std::vector<std::pair<std::string, bool>>;
    TempDir dir;
    Presentation deck = Presentation::open(kCorpus / "poi__headers_footers.ppt");
    deck.setText(MasterKind::Slide, Element::Footer, "Hidden footer");
    deck.setVisible(MasterKind::Slide, Element::Footer, false);
    deck.saveAs(dir / "hidden.ppt");
    EXPECT_EQ(documentSettings(dir / "hidden.ppt", ppt::rt::kSlideInstance).footer.value_or(""),
              "Hidden footer");
    EXPECT_EQ(slideFooters(dir / "hidden.ppt"), (Footers{{"Hidden footer", false}}));

    Presentation again = Presentation::open(dir / "hidden.ppt");
    again.setVisible(MasterKind::Slide, Element::Footer, true);
    again.saveAs(dir / "shown.ppt");
    EXPECT_EQ(slideFooters(dir / "shown.ppt"), (Footers{{"Hidden footer", true}}));
}

// Appends a saved edit holding the document record with its children changed by change(children).
void editDocument(std::string& user, std::string& doc,
                  const std::function<void(std::vector<ppt::Record>&)>& change) {
    const std::uint32_t edit = get32(user, 16);
    const std::uint32_t documentId = get32(doc, edit + 24);
    const std::uint32_t at = persistOffset(doc, edit, documentId);
    ASSERT_NE(at, kNoOffset) << "no document record";
    ppt::Record document = ppt::Record::parse(std::string_view(doc).substr(at, 8 + get32(doc, at + 4)));
    change(document.children());
    appendPageEdit(user, doc, documentId, document);
}

// LibreOffice saves a .ppt with settings of their own on every slide, and writes the document's as a
// shown footer and a fixed date, both without text. Those show on no slide: the deck's state is the
// slides'. Read from the document, a stamp that left the date's kind unset made every slide's automatic
// date a fixed one with no text, and the deck said its footer was empty.
TEST_F(PptCorpusEdgeTest, WhereEverySlideHasItsOwnSettingsTheyAreTheDecks) {
    TempDir dir;
    {
        // Sample_12.ppt, saved by LibreOffice, has settings of its own on each of its 4 slides.
        Presentation deck = Presentation::open(kCorpus / "phppresentation__Sample_12.ppt");
        deck.setText(MasterKind::Slide, Element::Footer, "Own footer");
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        deck.setText(MasterKind::Slide, Element::DateAndTime, "");
        deck.setUseFormat(MasterKind::Slide, Element::DateAndTime, true);
        deck.setFormat(MasterKind::Slide, Element::DateAndTime, 4);
        deck.setVisible(MasterKind::Slide, Element::DateAndTime, true);
        deck.saveAs(dir / "pages.ppt");
    }
    writeFile(
        dir / "in.ppt", alteredPptDeck(dir / "pages.ppt", [](std::string& user, std::string& doc) {
            editDocument(user, doc, [](std::vector<ppt::Record>& children) {
                for (ppt::Record& c : children)
                    if (c.type() == ppt::rt::HeadersFooters && c.instance() == ppt::rt::kSlideInstance) {
                        ppt::HeadersFooters empty;
                        empty.formatId = 13;
                        empty.flags = ppt::HeadersFooters::kHasDate | ppt::HeadersFooters::kHasUserDate |
                                      ppt::HeadersFooters::kHasFooter;
                        c = empty.toRecord(ppt::rt::kSlideInstance, &c);
                    }
            });
        }));
    ASSERT_EQ(documentSettings(dir / "in.ppt", ppt::rt::kSlideInstance).footer.value_or(""), "");

    const Presentation in = Presentation::open(dir / "in.ppt");
    const HeaderFooter footer = in.element(MasterKind::Slide, Element::Footer);
    EXPECT_EQ(footer.text, "Own footer");
    EXPECT_TRUE(footer.visible);
    const HeaderFooter date = in.element(MasterKind::Slide, Element::DateAndTime);
    EXPECT_TRUE(date.visible);
    EXPECT_TRUE(date.useFormat);
    EXPECT_EQ(date.format, 4);

    // Only the date's format and the footer's visibility are given.
    Presentation deck = Presentation::open(dir / "in.ppt");
    deck.setFormat(MasterKind::Slide, Element::DateAndTime, 5);
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
    deck.saveAs(dir / "out.ppt");
    const CompoundFile cfb = CompoundFile::parse(readFile(dir / "out.ppt"), "out");
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     "out");
    const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
    int slides = 0;
    for (const ppt::Record& entry :
         document.child(ppt::rt::SlideListWithText, ppt::rt::kSlideList)->children()) {
        if (entry.type() != ppt::rt::SlidePersistAtom) continue;
        const ppt::Record slide = ppt::Record::parse(stream.object(get32(entry.body(), 0)));
        const ppt::Record* own = slide.child(ppt::rt::HeadersFooters);
        ASSERT_NE(own, nullptr);
        const ppt::HeadersFooters hf = ppt::HeadersFooters::read(*own);
        SCOPED_TRACE("slide " + std::to_string(++slides));
        EXPECT_EQ(hf.footer.value_or(""), "Own footer");
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasFooter);
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasDate);
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasTodayDate) << "the automatic date became a fixed one";
        EXPECT_FALSE(hf.flags & ppt::HeadersFooters::kHasUserDate);
        EXPECT_EQ(hf.formatId, 4);
    }
    EXPECT_EQ(slides, 4);
}

// The table styles PowerPoint 2007 and later keep before the document's end
// (RoundTripCustomTableStyles12Atom), here an empty zip package.
void addTableStyles(std::string& user, std::string& doc) {
    editDocument(user, doc, [](std::vector<ppt::Record>& children) {
        const auto end = std::find_if(children.begin(), children.end(),
                                      [](const ppt::Record& r) { return r.type() == ppt::rt::EndDocument; });
        ASSERT_NE(end, children.end()) << "the document record has no end";
        std::string emptyZip("PK\x05\x06", 4);
        emptyZip += std::string(18, '\0');
        children.insert(end, ppt::Record::atom(ppt::rt::RoundTripCustomTableStyles12Atom, 0, emptyZip));
    });
}

// The document without its slide settings, its notes settings kept.
void dropSlideSettings(std::string& user, std::string& doc) {
    editDocument(user, doc, [](std::vector<ppt::Record>& children) {
        const std::size_t before = children.size();
        children.erase(std::remove_if(children.begin(), children.end(),
                                      [](const ppt::Record& r) {
                                          return r.type() == ppt::rt::HeadersFooters &&
                                                 r.instance() == ppt::rt::kSlideInstance;
                                      }),
                       children.end());
        ASSERT_EQ(children.size(), before - 1) << "the document has no slide settings to drop";
    });
}

// empty.ppt has no header/footer settings, slide_master.ppt none for notes pages, and headers_footers.ppt
// is made to have none for slides. The containers the stamp adds go where the document container's record
// order puts them: after the master list, slide settings before notes settings, and before the slide and
// notes lists, the table styles of PowerPoint 2007 and later, and the document's end.
TEST_F(PptCorpusEdgeTest, AddedSettingsGoWhereTheDocumentsRecordOrderPutsThem) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> order;
    };
    const std::vector<Case> cases{
        {"empty.ppt",
         readFile(kCorpus / "poi__empty.ppt"),
         {"masters", "slide settings", "notes settings", "end"}},
        {"slide_master.ppt",
         readFile(kCorpus / "poi__slide_master.ppt"),
         {"masters", "slide settings", "notes settings", "slides", "end"}},
        {"empty-with-table-styles.ppt",
         alteredPptDeck(kCorpus / "poi__empty.ppt", addTableStyles),
         {"masters", "slide settings", "notes settings", "table styles", "end"}},
        {"headers_footers-without-slide-settings.ppt",
         alteredPptDeck(kCorpus / "poi__headers_footers.ppt", dropSlideSettings),
         {"masters", "slide settings", "notes settings", "slides", "notes pages", "end"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Presentation deck = Presentation::openBytes(c.bytes, c.name);
        deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
        deck.setVisible(MasterKind::Notes, Element::SlideNumber, true);
        deck.saveAs(dir / "out.ppt");
        const CompoundFile cfb = CompoundFile::parse(readFile(dir / "out.ppt"), "out");
        const ppt::DocumentStream stream(cfb.readStream("Current User"),
                                         cfb.readStream("PowerPoint Document"), "out");
        const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
        std::vector<std::string> order;
        for (const ppt::Record& r : document.children()) {
            if (r.type() == ppt::rt::HeadersFooters)
                order.push_back(r.instance() == ppt::rt::kSlideInstance ? "slide settings"
                                                                        : "notes settings");
            else if (r.type() == ppt::rt::SlideListWithText)
                order.push_back(r.instance() == ppt::rt::kMasterList  ? "masters"
                                : r.instance() == ppt::rt::kSlideList ? "slides"
                                                                      : "notes pages");
            else if (r.type() == ppt::rt::RoundTripCustomTableStyles12Atom)
                order.push_back("table styles");
            else if (r.type() == ppt::rt::EndDocument)
                order.push_back("end");
        }
        EXPECT_EQ(order, c.order);
    }
}

// Appends a saved edit in which the first master of the master list has lost its footer placeholder.
void dropMasterFooter(std::string& user, std::string& doc) {
    const std::uint32_t edit = get32(user, 16);
    auto object = [&](std::uint32_t id) { return persistedRecord(doc, edit, id); };
    const ppt::Record document = object(get32(doc, edit + 24));
    const ppt::Record* list = document.child(ppt::rt::SlideListWithText, ppt::rt::kMasterList);
    ASSERT_TRUE(list && !list->children().empty()) << "the deck has no master";
    const std::uint32_t masterId = get32(list->children().front().body(), 0);
    ppt::Record master = object(masterId);
    ppt::Record* drawing = master.child(ppt::rt::Drawing);
    ppt::Record* dg = drawing ? drawing->child(ppt::rt::OfficeArtDgContainer) : nullptr;
    ppt::Record* group = dg ? dg->child(ppt::rt::OfficeArtSpgrContainer) : nullptr;
    ASSERT_NE(group, nullptr) << "the master has no drawing";
    std::vector<ppt::Record>& shapes = group->children();
    const std::size_t before = shapes.size();
    shapes.erase(std::remove_if(shapes.begin(), shapes.end(),
                                [](const ppt::Record& shape) {
                                    return ppt::placementOfShape(shape) == ppt::rt::kMasterFooter;
                                }),
                 shapes.end());
    ASSERT_EQ(shapes.size(), before - 1) << "the master has no footer placeholder to drop";
    appendPageEdit(user, doc, masterId, master);
}

// bug58144-headers-footers-2003.ppt has one slide, laid out as a title slide, in a deck that shows the
// date, footer and number on title slides too. Its master, without a footer placeholder, gets one as the
// master of any other slide would.
TEST_F(PptCorpusEdgeTest, AMasterOnlyATitleSlideUsesGetsTheMissingPlaceholder) {
    const std::string bytes =
        alteredPptDeck(kCorpus / "poi__bug58144-headers-footers-2003.ppt", dropMasterFooter);
    Presentation deck = Presentation::openBytes(bytes, "title-slide.ppt");
    deck.setText(MasterKind::Slide, Element::Footer, "Cover footer");
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
    TempDir dir;
    const SaveOutcome outcome = deck.saveAs(dir / "out.ppt");
    EXPECT_TRUE(outcome.warnings.empty()) << outcome.warnings.front();

    const CompoundFile cfb = CompoundFile::parse(readFile(dir / "out.ppt"), "out");
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     "out");
    const ppt::Record document = ppt::Record::parse(stream.object(stream.documentId()));
    const ppt::Record* list = document.child(ppt::rt::SlideListWithText, ppt::rt::kMasterList);
    ASSERT_TRUE(list && !list->children().empty());
    const ppt::PlaceholderScan scan = ppt::PlaceholderScan::of(
        ppt::Record::parse(stream.object(get32(list->children().front().body(), 0))));
    EXPECT_TRUE(scan.has(ppt::rt::kMasterFooter));
    EXPECT_TRUE(scan.hasField(ppt::rt::kMasterFooter));
}

// customGeo.ppt keeps formatId 13 (outside the 13 formats) in its slide and notes settings. Choosing an
// automatic date in the first format (ppDateTimeMdyy, formatId 0) left 13 in place because 13 reads back as
// format 1; LibreOffice then draws no date on any of the 48 slides and notes pages (format 2 draws them all).
TEST_F(PptCorpusEdgeTest, AnAutomaticDateInTheFirstFormatIsWrittenAsThatFormat) {
    TempDir dir;
    Presentation deck = Presentation::open(kCorpus / "poi__customGeo.ppt");
    for (MasterKind kind : {MasterKind::Slide, MasterKind::Notes}) {
        deck.setFormat(kind, Element::DateAndTime, 1);
        deck.setUseFormat(kind, Element::DateAndTime, true);
        deck.setVisible(kind, Element::DateAndTime, true);
    }
    deck.saveAs(dir / "out.ppt");

    for (std::uint16_t instance : {ppt::rt::kSlideInstance, ppt::rt::kNotesInstance}) {
        const ppt::HeadersFooters hf = documentSettings(dir / "out.ppt", instance);
        EXPECT_TRUE(hf.flags & ppt::HeadersFooters::kHasTodayDate) << "instance " << instance;
        EXPECT_EQ(hf.formatId, 0) << "instance " << instance;
    }
}

// The header/footer shapes of a record's drawing, by the byte offset of each shape's client anchor in
// bytes: where the anchor of a placeholder of that placement lies, or 0.
std::size_t anchorOf(const std::string& bytes, std::size_t begin, std::size_t end, std::uint8_t placement) {
    for (std::size_t at = begin; at + 8 <= end;) {
        const std::uint16_t verInst = get16(bytes, at), type = get16(bytes, at + 2);
        const std::size_t next = at + 8 + get32(bytes, at + 4);
        if (type == ppt::rt::OfficeArtSpContainer) {
            std::size_t anchor = 0;
            bool matches = false;
            for (std::size_t c = at + 8; c + 8 <= next; c += 8 + get32(bytes, c + 4)) {
                if (get16(bytes, c + 2) == ppt::rt::OfficeArtClientAnchor) anchor = c + 8;
                if (get16(bytes, c + 2) == ppt::rt::OfficeArtClientData)
                    for (std::size_t d = c + 8; d + 8 <= c + 8 + get32(bytes, c + 4);
                         d += 8 + get32(bytes, d + 4))
                        matches = matches || (get16(bytes, d + 2) == ppt::rt::PlaceholderAtom &&
                                              static_cast<std::uint8_t>(bytes[d + 8 + 4]) == placement);
            }
            if (matches && anchor) return anchor;
        } else if ((verInst & 0xF) == 0xF) {
            if (const std::size_t found = anchorOf(bytes, at + 8, next, placement)) return found;
        }
        at = next;
    }
    return 0;
}

// LibreOffice writes the notes master of a .ppt for A4 while the notes page is smaller: its date box then
// reaches a fifth of its width past the right edge, and of the right-aligned date one letter shows. The
// stamp says so, as it does for slides.
TEST_F(PptCorpusEdgeTest, ANotesDateReachingPastThePageEdgeIsWarnedOf) {
    const std::string bytes =
        alteredPptDeck(kCorpus / "poi__headers_footers.ppt", [](std::string&, std::string& doc) {
            // Edited in place, lengths kept. The notes page's width is in the DocumentAtom; every notes
            // record's date box (the master's and the pages') is moved to hang a fifth past it.
            std::int32_t notesWidth = 0;
            int moved = 0;
            for (std::size_t at = 0; at + 8 <= doc.size();) {
                const std::uint16_t type = get16(doc, at + 2);
                const std::size_t next = at + 8 + get32(doc, at + 4);
                if (type == ppt::rt::Document && get16(doc, at + 8 + 2) == ppt::rt::DocumentAtom)
                    notesWidth = static_cast<std::int32_t>(get32(doc, at + 16 + 8));
                if (type == ppt::rt::Notes && notesWidth > 0)
                    if (const std::size_t date = anchorOf(doc, at + 8, next, 7)) {
                        const auto left = static_cast<std::int16_t>(get16(doc, date + 2));
                        const auto right = static_cast<std::int16_t>(get16(doc, date + 4));
                        const auto shift = static_cast<std::int16_t>(notesWidth - right + (right - left) / 5);
                        put16(doc, date + 2, static_cast<std::uint16_t>(left + shift));
                        put16(doc, date + 4, static_cast<std::uint16_t>(right + shift));
                        ++moved;
                    }
                at = next;
            }
            ASSERT_GT(moved, 0) << "no notes date placeholder found";
        });
    TempDir dir;
    writeFile(dir / "in.ppt", bytes);
    Presentation deck = Presentation::open(dir / "in.ppt");
    deck.setText(MasterKind::Notes, Element::DateAndTime, "8 December 2026");
    deck.setVisible(MasterKind::Notes, Element::DateAndTime, true);
    const SaveOutcome outcome = deck.saveAs(dir / "out.ppt");
    bool warned = false;
    for (const std::string& w : outcome.warnings)
        warned = warned || w.find("the date may not show whole on") != std::string::npos;
    EXPECT_TRUE(warned) << (outcome.warnings.empty() ? "no warning" : outcome.warnings.front());
}

// A saved edit whose persist directory names n records each lying inside the one before (every record
// the container of the next). Each is copied whole on save, so the n records of 8 n bytes became 4 n^2
// bytes: a 131 KB file was saved as 403 MB, and a 1.2 MB one ran out of memory.
void appendNestedRecords(std::string& user, std::string& doc, std::uint32_t firstId, std::uint32_t n) {
    const auto base = static_cast<std::uint32_t>(doc.size());
    for (std::uint32_t k = 0; k < n; ++k) {
        append16(doc, 0x000F);
        append16(doc, ppt::rt::MainMaster);
        append32(doc, 8 * (n - k - 1));
    }
    std::string entries;
    append32(entries, firstId | n << 20);
    for (std::uint32_t k = 0; k < n; ++k) append32(entries, base + 8 * k);
    appendEdit(user, doc, entries, firstId + n - 1);
}

TEST(PptHostileTest, PersistRecordsInsideOneAnotherDoNotMultiplyTheSavedDeck) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    const std::string bytes = alteredPptDeck(
        kCorpus / "poi__empty.ppt",
        [](std::string& user, std::string& doc) { appendNestedRecords(user, doc, 0x100, 2000); });
    TempDir dir;
    writeFile(dir / "in.ppt", bytes);
    try {
        Presentation deck = withSlideFooter(dir / "in.ppt", "F");
        deck.saveAs(dir / "out.ppt");
        const auto in = std::filesystem::file_size(dir / "in.ppt");
        const auto out = std::filesystem::file_size(dir / "out.ppt");
        EXPECT_LT(out, 2 * in) << "a deck of " << in << " bytes was saved as " << out << " bytes";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DamagedPackage) << e.what();
    }
}

// Compound-file names compare without case, as PowerPoint looks them up: a deck whose writer spelt its
// streams in another case is a presentation, stamped under the names it has.
TEST(PptHostileTest, StreamsNamedInAnotherCaseAreFoundAndKeepTheirNames) {
    TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
    std::string bytes = readFile(kCorpus / "poi__headers_footers.ppt");
    const auto utf16 = [](std::string_view name) {
        std::string out;
        for (const char c : name) out += std::string{c, '\0'};
        return out;
    };
    for (const auto& [from, to] : {std::pair{"PowerPoint Document", "POWERPOINT DOCUMENT"},
                                   std::pair{"Current User", "current user"}}) {
        const std::size_t at = bytes.find(utf16(from));
        ASSERT_NE(at, std::string::npos) << from;
        bytes.replace(at, utf16(to).size(), utf16(to));
    }
    TempDir dir;
    writeFile(dir / "in.ppt", bytes);
    withSlideFooter(dir / "in.ppt", "Found").saveAs(dir / "out.ppt");
    EXPECT_EQ(Presentation::open(dir / "out.ppt").element(MasterKind::Slide, Element::Footer).text, "Found");
    const std::vector<std::string> streams =
        CompoundFile::parse(readFile(dir / "out.ppt"), "out").streamPaths();
    for (const char* name : {"POWERPOINT DOCUMENT", "current user"})
        EXPECT_NE(std::find(streams.begin(), streams.end(), name), streams.end()) << name;
}

}  // namespace
}  // namespace trelwick::engine::test
