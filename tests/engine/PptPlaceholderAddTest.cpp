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
#include "ppt/PlaceholderAdd.h"
#include "ppt/Record.h"
#include "ppt/RecordTypes.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

using ppt::Record;
namespace rt = ppt::rt;

const std::filesystem::path kCorpus = trelwick::testing::corpusDir();
const auto kNow = std::chrono::system_clock::from_time_t(1796644800);
constexpr int kNotesMaster = -1;

std::string u32(std::uint32_t v) {
    std::string s;
    append32(s, v);
    return s;
}

void stampAll(Presentation& deck, bool visible) {
    for (auto [kind, element, text] : std::vector<std::tuple<MasterKind, Element, const char*>>{
             {MasterKind::Slide, Element::DateAndTime, "SL-DATE"},
             {MasterKind::Slide, Element::Footer, "SL-FOOT"},
             {MasterKind::Slide, Element::SlideNumber, ""},
             {MasterKind::Notes, Element::DateAndTime, "NT-DATE"},
             {MasterKind::Notes, Element::Header, "NT-HEAD"},
             {MasterKind::Notes, Element::Footer, "NT-FOOT"},
             {MasterKind::Notes, Element::SlideNumber, ""}}) {
        deck.setText(kind, element, text);
        deck.setFormat(kind, element, 1);
        deck.setUseFormat(kind, element, false);
        deck.setVisible(kind, element, visible);
    }
}

// The deck's masters as written: main and title masters in master-list order, then the notes master.
struct Masters {
    std::map<int, Record> byIndex;  // kNotesMaster for the notes master
    Record document;
};

Masters mastersOf(const std::filesystem::path& file) {
    const CompoundFile cfb = CompoundFile::parse(readFile(file), file.string());
    const ppt::DocumentStream stream(cfb.readStream("Current User"), cfb.readStream("PowerPoint Document"),
                                     file.string());
    Masters m;
    m.document = Record::parse(stream.object(stream.documentId()));
    int index = 0;
    if (const Record* list = m.document.child(rt::SlideListWithText, rt::kMasterList))
        for (const Record& entry : list->children())
            if (entry.type() == rt::SlidePersistAtom)
                m.byIndex.emplace(index++, Record::parse(stream.object(get32(entry.body(), 0))));
    const std::uint32_t notesMaster = get32(m.document.child(rt::DocumentAtom)->body(), 24);
    if (stream.has(notesMaster)) m.byIndex.emplace(kNotesMaster, Record::parse(stream.object(notesMaster)));
    return m;
}

struct Shape {
    std::uint32_t id;
    std::uint8_t placement;  // 0 for shapes that are no placeholder
    const Record* record;
};

std::vector<Shape> shapesOf(const Record& page) {
    std::vector<Shape> shapes;
    page.forEach([&](const Record& r) {
        if (r.type() != rt::OfficeArtSpContainer) return;
        const Record* sp = r.child(rt::OfficeArtFSP);
        if (!sp) return;
        const Record* data = r.child(rt::OfficeArtClientData);
        const Record* atom = data ? data->child(rt::PlaceholderAtom) : nullptr;
        shapes.push_back(
            {get32(sp->body(), 0), atom ? static_cast<std::uint8_t>(atom->body()[4]) : std::uint8_t{0}, &r});
    });
    return shapes;
}

const Record& fdgOf(const Record& page) {
    return *page.child(rt::Drawing)->child(rt::OfficeArtDgContainer)->child(rt::OfficeArtFDG);
}

const std::string& clusterTable(const Record& document) {
    return document.child(rt::DrawingGroup)
        ->child(rt::OfficeArtDggContainer)
        ->child(rt::OfficeArtFDGG)
        ->body();
}

std::uint16_t fieldFor(std::uint8_t placement) {
    return std::map<std::uint8_t, std::uint16_t>{{rt::kMasterDate, rt::GenericDateMCAtom},
                                                 {rt::kMasterSlideNumber, rt::SlideNumberMCAtom},
                                                 {rt::kMasterFooter, rt::FooterMCAtom},
                                                 {rt::kMasterHeader, rt::HeaderMCAtom}}
        .at(placement);
}

// Decks of the corpus whose masters lack header/footer placeholders, and what each master gains when
// everything is shown. A slide number shown by a master's own text box is not doubled by a placeholder.
struct AddCase {
    const char* file;
    std::map<int, std::set<std::uint8_t>> added;  // master index (kNotesMaster) -> placements added
    std::vector<const char*> warnings;            // each must appear in one warning
};

const std::vector<AddCase> kAddCases{
    {"poi__23884_defense_FINAL_OOimport_edit.ppt",
     {{0, {rt::kMasterDate, rt::kMasterFooter}},
      {kNotesMaster, {rt::kMasterDate, rt::kMasterFooter, rt::kMasterHeader}}},
     {"the slide number cannot show as set on 30 slides: the slide master has no slide number placeholder; a "
      "text box of its own shows it whatever the setting",
      "the page number cannot show as set on 27 notes pages"}},
    {"poi__53446.ppt",
     {{0, {rt::kMasterDate, rt::kMasterFooter}},
      {kNotesMaster, {rt::kMasterDate, rt::kMasterFooter, rt::kMasterHeader}}},
     {"the slide number cannot show as set on 29 slides"}},
    {"poi__numbers2.ppt",
     {{0, {rt::kMasterDate, rt::kMasterFooter}}},
     {"the slide number cannot show as set"}},
    {"phppresentation__Sample_00_03.ppt", {{0, {rt::kMasterFooter}}}, {}},
    {"phppresentation__Sample_12.ppt", {{0, {rt::kMasterFooter}}}, {}},
    {"poi__49541_symbol_map.ppt", {{2, {rt::kMasterDate, rt::kMasterFooter}}}, {}},
    {"poi__customGeo.ppt",
     {{2, {rt::kMasterDate}}, {4, {rt::kMasterDate, rt::kMasterFooter, rt::kMasterSlideNumber}}},
     {}},
};

class PptPlaceholderAddTest : public ::testing::TestWithParam<AddCase> {
  protected:
    void SetUp() override {
        TRELWICK_SKIP_WITHOUT_CORPUS(kCorpus);
        source_ = kCorpus / GetParam().file;
        ASSERT_TRUE(std::filesystem::exists(source_)) << source_;
    }
    std::filesystem::path stamp(const std::filesystem::path& from, const std::string& name, bool visible,
                                SaveOutcome* outcome = nullptr) {
        Presentation deck = Presentation::open(from);
        deck.setNow(kNow);
        stampAll(deck, visible);
        const SaveOutcome o = deck.saveAs(dir_ / name);
        if (outcome) *outcome = o;
        return dir_ / name;
    }
    std::filesystem::path source_;
    TempDir dir_;
};

TEST_P(PptPlaceholderAddTest, MissingPlaceholdersAreAddedWithTheirFields) {
    const AddCase& c = GetParam();
    SaveOutcome outcome;
    const auto out = stamp(source_, "shown.ppt", true, &outcome);
    const Masters before = mastersOf(source_), after = mastersOf(out);
    ASSERT_EQ(after.byIndex.size(), before.byIndex.size());
    for (const auto& [index, master] : after.byIndex) {
        SCOPED_TRACE("master " + std::to_string(index));
        std::set<std::uint8_t> had, has;
        for (const Shape& s : shapesOf(before.byIndex.at(index))) had.insert(s.placement);
        for (const Shape& s : shapesOf(master)) {
            has.insert(s.placement);
            if (s.placement == 0 || had.count(s.placement)) continue;
            // An added placeholder holds "*" and the element's field, inside the page.
            const Record* box = s.record->child(rt::OfficeArtClientTextbox);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->child(rt::TextCharsAtom)->body(), utf16le("*"));
            EXPECT_NE(box->child(fieldFor(s.placement)), nullptr);
            const std::string& anchor = s.record->child(rt::OfficeArtClientAnchor)->body();
            ASSERT_EQ(anchor.size(), 8u);
            const auto top = static_cast<std::int16_t>(get16(anchor, 0));
            const auto bottom = static_cast<std::int16_t>(get16(anchor, 6));
            EXPECT_LT(top, bottom);
            EXPECT_GE(top, 0);
        }
        std::set<std::uint8_t> gained;
        for (std::uint8_t p : has)
            if (!had.count(p)) gained.insert(p);
        const auto want = c.added.find(index);
        EXPECT_EQ(gained, want == c.added.end() ? std::set<std::uint8_t>{} : want->second);
    }
    for (const char* w : c.warnings) {
        bool found = false;
        for (const std::string& line : outcome.warnings) found = found || line.find(w) != std::string::npos;
        EXPECT_TRUE(found) << w;
    }
    for (const std::string& line : outcome.warnings)
        EXPECT_EQ(line.find("has no footer placeholder"), std::string::npos) << line;
}

TEST_P(PptPlaceholderAddTest, ShapeIdsStayUniqueAndCountedInDrawingAndClusterTable) {
    const auto out = stamp(source_, "shown.ppt", true);
    const Masters before = mastersOf(source_), after = mastersOf(out);
    const std::string& table = clusterTable(after.document);
    const std::string& oldTable = clusterTable(before.document);
    const std::uint32_t spidMax = get32(table, 0);
    const std::uint32_t clusters = get32(table, 4) - 1;
    ASSERT_EQ(table.size(), 16 + 8 * std::size_t{clusters});
    int added = 0;
    for (const auto& [index, master] : after.byIndex) {
        SCOPED_TRACE("master " + std::to_string(index));
        const Record& old = before.byIndex.at(index);
        const std::vector<Shape> shapes = shapesOf(master), oldShapes = shapesOf(old);
        std::set<std::uint32_t> ids, oldIds;
        for (const Shape& s : oldShapes) oldIds.insert(s.id);
        const std::string& fdg = fdgOf(master).body();
        for (const Shape& s : shapes) {
            EXPECT_TRUE(ids.insert(s.id).second) << "shape id " << s.id << " repeats";
            EXPECT_LT(s.id, spidMax);
            EXPECT_LE(s.id, get32(fdg, 4)) << "the drawing's last id is below one of its shapes";
            if (oldIds.count(s.id)) continue;
            // A new id lies in a cluster of its own drawing that counts it.
            const std::uint32_t cluster = s.id / 1024;
            ASSERT_GE(cluster, 1u);
            ASSERT_LE(cluster, clusters);
            EXPECT_EQ(get32(table, 16 + 8 * (cluster - 1)), fdgOf(master).instance());
            EXPECT_GT(get32(table, 16 + 8 * (cluster - 1) + 4), s.id % 1024);
            ++added;
        }
        // The drawing counts its shapes as before (PowerPoint's count leaves one out), the new ones included.
        const std::int64_t shift = static_cast<std::int64_t>(shapes.size()) - get32(fdg, 0);
        const std::int64_t oldShift =
            static_cast<std::int64_t>(oldShapes.size()) - get32(fdgOf(old).body(), 0);
        EXPECT_EQ(shift, oldShift);
    }
    EXPECT_GT(added, 0);
    EXPECT_EQ(get32(table, 8), get32(oldTable, 8) + static_cast<std::uint32_t>(added));  // cspSaved
}

TEST_P(PptPlaceholderAddTest, SettingsReadBackAndASecondRunIsByteIdentical) {
    const auto once = stamp(source_, "once.ppt", true);
    const auto twice = stamp(once, "twice.ppt", true);
    EXPECT_TRUE(readFile(once) == readFile(twice)) << "the second run added or changed something";
    const Presentation back = Presentation::open(once);
    EXPECT_EQ(back.element(MasterKind::Slide, Element::Footer).text, "SL-FOOT");
    EXPECT_TRUE(back.element(MasterKind::Slide, Element::Footer).visible);
    EXPECT_EQ(back.element(MasterKind::Notes, Element::Header).text, "NT-HEAD");
    EXPECT_TRUE(back.element(MasterKind::Slide, Element::DateAndTime).visible);
}

TEST_P(PptPlaceholderAddTest, HidingKeepsTheAddedPlaceholdersAndSwitchesThemOff) {
    const auto shown = stamp(source_, "shown.ppt", true);
    const auto hidden = stamp(shown, "hidden.ppt", false);
    const Masters a = mastersOf(shown), b = mastersOf(hidden);
    for (const auto& [index, master] : a.byIndex)
        EXPECT_EQ(master.bytes(), b.byIndex.at(index).bytes()) << "master " << index;
    for (std::uint16_t instance : {rt::kSlideInstance, rt::kNotesInstance}) {
        const ppt::HeadersFooters hf =
            ppt::HeadersFooters::read(*b.document.child(rt::HeadersFooters, instance));
        EXPECT_EQ(hf.flags & (ppt::HeadersFooters::kHasDate | ppt::HeadersFooters::kHasFooter |
                              ppt::HeadersFooters::kHasHeader | ppt::HeadersFooters::kHasSlideNumber),
                  0)
            << "instance " << instance;
    }
    // Hidden elements need no placeholder: stamping the source hidden adds none.
    const Masters source = mastersOf(source_),
                  untouched = mastersOf(stamp(source_, "hidden-source.ppt", false));
    for (const auto& [index, master] : source.byIndex)
        EXPECT_EQ(shapesOf(untouched.byIndex.at(index)).size(), shapesOf(master).size())
            << "master " << index;
}

INSTANTIATE_TEST_SUITE_P(Corpus, PptPlaceholderAddTest, ::testing::ValuesIn(kAddCases),
                         [](const ::testing::TestParamInfo<AddCase>& info) {
                             std::string name = info.param.file;
                             name = name.substr(0, name.size() - 4);
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

// A master drawing and a document cluster table built from records: drawing 1 owns cluster 1 (ids 1024..),
// drawing 2 owns cluster 2; the master's drawing is drawing dg with its last id lastId.
Record masterWith(std::uint32_t dg, std::uint32_t lastId, std::vector<std::uint32_t> ids) {
    std::vector<Record> shapes;
    for (std::uint32_t id : ids)
        shapes.push_back(Record::container(rt::OfficeArtSpContainer, 0,
                                           {Record::atom(rt::OfficeArtFSP, 1, u32(id) + u32(0xA00), 2)}));
    return Record::container(
        rt::MainMaster, 0,
        {Record::container(
            rt::Drawing, 0,
            {Record::container(rt::OfficeArtDgContainer, 0,
                               {Record::atom(rt::OfficeArtFDG, static_cast<std::uint16_t>(dg),
                                             u32(static_cast<std::uint32_t>(ids.size())) + u32(lastId)),
                                Record::container(rt::OfficeArtSpgrContainer, 0, std::move(shapes))})})});
}

Record documentWith(std::string table) {
    return Record::container(
        rt::Document, 0,
        {Record::container(rt::DrawingGroup, 0,
                           {Record::container(rt::OfficeArtDggContainer, 0,
                                              {Record::atom(rt::OfficeArtFDGG, 0, std::move(table))})})});
}

// spidMax, cidcl, cspSaved, cdgSaved, then the clusters (drawing, ids used).
std::string table(std::uint32_t spidMax, std::vector<std::pair<std::uint32_t, std::uint32_t>> clusters) {
    std::string t = u32(spidMax) + u32(static_cast<std::uint32_t>(clusters.size() + 1)) + u32(5) + u32(2);
    for (auto [dg, used] : clusters) t += u32(dg) + u32(used);
    return t;
}

TEST(PptPlaceholderAddRecordsTest, IdsComeFromTheDrawingsClusterOrANewOne) {
    struct Case {
        const char* name;
        Record master;
        std::string table;
        std::uint32_t id;           // expected new shape id
        std::string expectedTable;  // cluster table afterwards
    };
    const std::vector<Case> cases{
        {"next id in the drawing's cluster", masterWith(1, 0x402, {0x400, 0x401, 0x402}),
         table(0x0C01, {{1, 3}, {2, 1}}), 0x403, table(0x0C01, {{1, 4}, {2, 1}}).replace(8, 4, u32(6))},
        {"cluster full: a new cluster", masterWith(1, 0x7FF, {0x400, 0x7FF}),
         table(0x0C01, {{1, 1024}, {2, 1}}), 0xC00,
         table(0xC01, {{1, 1024}, {2, 1}, {1, 1}}).replace(8, 4, u32(6))},
        {"next id in another drawing's cluster", masterWith(2, 0x7FF, {0x7FF}),
         table(0x0800, {{2, 1024}, {1, 1}}), 0xC00,
         table(0xC01, {{2, 1024}, {1, 1}, {2, 1}}).replace(8, 4, u32(6))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record master = c.master;
        Record document = documentWith(c.table);
        ppt::PlaceholderAdd adder(document, {&master});
        ASSERT_TRUE(adder.add(master, rt::kMasterFooter, ppt::PlaceholderAdd::PageKind::Slide, 5760, 4320));
        const std::vector<Shape> shapes = shapesOf(master);
        ASSERT_FALSE(shapes.empty());
        EXPECT_EQ(shapes.back().id, c.id);
        EXPECT_EQ(shapes.back().placement, rt::kMasterFooter);
        EXPECT_EQ(clusterTable(document), c.expectedTable);
        EXPECT_EQ(get32(fdgOf(master).body(), 4), c.id);
        EXPECT_EQ(get32(fdgOf(master).body(), 0), shapes.size());
        // The written records read back as the same tree.
        EXPECT_EQ(Record::parse(master.bytes()).bytes(), master.bytes());
    }
}

// The id after the drawing's last one may already be taken by a shape of another page (slides copied
// between decks bring their ids along): the new placeholder starts a cluster of its own instead.
TEST(PptPlaceholderAddRecordsTest, AnIdTakenOnAnotherPageIsNotGivenAgain) {
    Record master = masterWith(1, 0x402, {0x400, 0x401, 0x402});
    Record other = masterWith(2, 0x403, {0x403});
    Record document = documentWith(table(0x0C01, {{1, 3}, {2, 1}}));
    ppt::PlaceholderAdd adder(document, {&master, &other});
    ASSERT_TRUE(adder.add(master, rt::kMasterFooter, ppt::PlaceholderAdd::PageKind::Slide, 5760, 4320));
    EXPECT_EQ(shapesOf(master).back().id, 0xC00u);
    EXPECT_EQ(clusterTable(document), table(0xC01, {{1, 3}, {2, 1}, {1, 1}}).replace(8, 4, u32(6)));
}

TEST(PptPlaceholderAddRecordsTest, NothingChangesWhenThereIsNoRoomOrNoDrawing) {
    struct Case {
        const char* name;
        Record master;
        Record document;
    };
    const std::vector<Case> cases{
        {"no drawing", Record::container(rt::MainMaster, 0, {}), documentWith(table(0x401, {{1, 1}}))},
        {"no cluster table", masterWith(1, 0x400, {0x400}), Record::container(rt::Document, 0, {})},
        {"cluster count disagrees with the table", masterWith(1, 0x400, {0x400}),
         documentWith(table(0x401, {{1, 1}}) + "12345678")},
        {"drawing record cut short", masterWith(1, 0x400, {0x400}), documentWith(table(0x401, {{1, 1}}))},
        {"new cluster's first id already taken", masterWith(1, 0x7FF, {0x7FF, 0x800}),
         documentWith(table(0x801, {{1, 1024}}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record master = c.master;
        Record document = c.document;
        if (std::string(c.name) == "drawing record cut short")
            master.child(rt::Drawing)
                ->child(rt::OfficeArtDgContainer)
                ->child(rt::OfficeArtFDG)
                ->body()
                .resize(4);
        const std::string masterBefore = master.bytes(), documentBefore = document.bytes();
        ppt::PlaceholderAdd adder(document, {&master});
        EXPECT_FALSE(adder.add(master, rt::kMasterDate, ppt::PlaceholderAdd::PageKind::Slide, 5760, 4320));
        EXPECT_EQ(master.bytes(), masterBefore);
        EXPECT_EQ(document.bytes(), documentBefore);
    }
}

TEST(PptPlaceholderAddRecordsTest, PlacedInThePagesBandsForSlidesAndNotes) {
    struct Case {
        ppt::PlaceholderAdd::PageKind kind;
        std::uint8_t placement;
        std::int32_t width, height;
        std::int16_t top, left, right, bottom;
    };
    using K = ppt::PlaceholderAdd::PageKind;
    const std::vector<Case> cases{
        {K::Slide, rt::kMasterDate, 5760, 4320, 3934, 288, 1632, 4234},
        {K::Slide, rt::kMasterFooter, 5760, 4320, 3934, 1968, 3792, 4234},
        {K::Slide, rt::kMasterSlideNumber, 7680, 4320, 3934, 5504, 7296, 4234},  // 16:9 scales across
        {K::Notes, rt::kMasterHeader, 4320, 5760, 0, 0, 1872, 288},
        {K::Notes, rt::kMasterSlideNumber, 4320, 5760, 5472, 2448, 4320, 5760},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.placement));
        Record master = masterWith(1, 0x400, {0x400});
        Record document = documentWith(table(0x401, {{1, 1}}));
        ppt::PlaceholderAdd adder(document, {&master});
        ASSERT_TRUE(adder.add(master, c.placement, c.kind, c.width, c.height));
        const std::string& anchor = shapesOf(master).back().record->child(rt::OfficeArtClientAnchor)->body();
        EXPECT_EQ(static_cast<std::int16_t>(get16(anchor, 0)), c.top);
        EXPECT_EQ(static_cast<std::int16_t>(get16(anchor, 2)), c.left);
        EXPECT_EQ(static_cast<std::int16_t>(get16(anchor, 4)), c.right);
        EXPECT_EQ(static_cast<std::int16_t>(get16(anchor, 6)), c.bottom);
    }
    // Slides have no header placeholder.
    Record master = masterWith(1, 0x400, {0x400});
    Record document = documentWith(table(0x401, {{1, 1}}));
    ppt::PlaceholderAdd adder(document, {&master});
    EXPECT_FALSE(adder.add(master, rt::kMasterHeader, K::Slide, 5760, 4320));
}

}  // namespace
}  // namespace trelwick::engine::test
