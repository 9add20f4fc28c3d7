#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

#include "Bytes.h"
#include "TestDeck.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

constexpr const char* kPackageRels = "http://schemas.openxmlformats.org/package/2006/relationships";

void showNotesFooter(Presentation& deck) {
    deck.setText(MasterKind::Notes, Element::Footer, "Notes footer");
    deck.setVisible(MasterKind::Notes, Element::Footer, true);
}

// The namespace an element's name is in, as a namespace-aware reader resolves it.
std::string namespaceOf(pugi::xml_node element) {
    const char* colon = std::strchr(element.name(), ':');
    const std::string attribute =
        colon ? "xmlns:" + std::string(element.name(), colon) : std::string("xmlns");
    for (pugi::xml_node n = element; n; n = n.parent())
        if (pugi::xml_attribute a = n.attribute(attribute.c_str())) return a.value();
    return {};
}

std::string& entry(Entries& entries, const std::string& name) {
    for (auto& [n, content] : entries)
        if (n == name) return content;
    throw std::runtime_error("no entry " + name);
}

// Written with a prefix: the same relationships to any namespace-aware reader.
std::string withPrefix(std::string rels) {
    auto replaceAll = [&](const std::string& from, const std::string& to) {
        for (std::size_t at = 0; (at = rels.find(from, at)) != std::string::npos; at += to.size())
            rels.replace(at, from.size(), to);
    };
    replaceAll("<Relationships xmlns=", "<pr:Relationships xmlns:pr=");
    replaceAll("</Relationships>", "</pr:Relationships>");
    replaceAll("<Relationship ", "<pr:Relationship ");
    return rels;
}

// Builds the deck with one relationships part written with a prefix, shows the notes footer and
// returns the saved copy.
std::filesystem::path stampWithPrefixedRelationships(const TempDir& dir, const DeckPlan& plan,
                                                     const std::string& rels) {
    Entries entries = buildDeck(plan);
    std::string& part = entry(entries, rels);
    part = withPrefix(part);
    writeZip(dir / "in.pptx", entries);
    Presentation deck = Presentation::open(dir / "in.pptx");
    showNotesFooter(deck);
    deck.saveAs(dir / "out.pptx");
    return dir / "out.pptx";
}

// A relationships part that names its namespace with a prefix gets the relationship to a new notes
// master in that namespace; one in no namespace is not a relationship, and the presentation's
// notesMasterId then names an id that no reader finds.
TEST(HostilePackage, RelationshipAddedToAPrefixedRelationshipsPartIsInItsNamespace) {
    TempDir dir;
    DeckPlan plan;  // no notes master: the stamp makes one and relates the presentation to it
    const auto out = stampWithPrefixedRelationships(dir, plan, "ppt/_rels/presentation.xml.rels");

    const Xml presentation(readEntry(out, "ppt/presentation.xml"));
    const std::string id = presentation.one("//p:notesMasterId").attribute("r:id").value();
    ASSERT_FALSE(id.empty());
    const Xml written(readEntry(out, "ppt/_rels/presentation.xml.rels"));
    int found = 0;
    for (pugi::xml_node r : written.root().children()) {
        EXPECT_EQ(namespaceOf(r), kPackageRels)
            << "<" << r.name() << " Id=\"" << r.attribute("Id").value() << "\">";
        if (id == r.attribute("Id").value() && namespaceOf(r) == kPackageRels) ++found;
    }
    EXPECT_EQ(found, 1) << "the notes master's relationship " << id << " as a namespace-aware reader sees it";
}

// The same for a slide's relationships part, which gets the relationship to its new notes page.
TEST(HostilePackage, RelationshipAddedToAPrefixedSlideRelationshipsPartIsInItsNamespace) {
    TempDir dir;
    DeckPlan plan;
    plan.notesMaster = true;  // the slide has no notes page: the stamp makes one
    const auto out = stampWithPrefixedRelationships(dir, plan, "ppt/slides/_rels/slide1.xml.rels");

    const Xml written(readEntry(out, "ppt/slides/_rels/slide1.xml.rels"));
    int notes = 0;
    for (pugi::xml_node r : written.root().children()) {
        EXPECT_EQ(namespaceOf(r), kPackageRels)
            << "<" << r.name() << " Id=\"" << r.attribute("Id").value() << "\">";
        if (std::string_view(r.attribute("Type").value()).ends_with("/notesSlide") &&
            namespaceOf(r) == kPackageRels)
            ++notes;
    }
    EXPECT_EQ(notes, 1);
}

// An Override left behind for a part that is gone, with a content type that is not a notes master's,
// must not become the content type of the notes master the stamp creates under that name.
TEST(HostilePackage, NewNotesMasterGetsItsOwnContentTypeOverAStaleOverride) {
    TempDir dir;
    DeckPlan plan;
    Entries entries = buildDeck(plan);
    std::string& types = entry(entries, "[Content_Types].xml");
    types.insert(
        types.rfind("</Types>"),
        R"(<Override PartName="/ppt/notesMasters/notesMaster1.xml" ContentType="application/xml"/>)");
    writeZip(dir / "in.pptx", entries);
    Presentation deck = Presentation::open(dir / "in.pptx");
    showNotesFooter(deck);
    deck.saveAs(dir / "out.pptx");

    ASSERT_TRUE(hasEntry(dir / "out.pptx", "ppt/notesMasters/notesMaster1.xml"));
    pugi::xml_document written;
    const std::string text = readEntry(dir / "out.pptx", "[Content_Types].xml");
    ASSERT_TRUE(written.load_string(text.c_str()));
    int overrides = 0;
    for (pugi::xml_node o : written.document_element().children("Override")) {
        if (std::string_view(o.attribute("PartName").value()) != "/ppt/notesMasters/notesMaster1.xml")
            continue;
        ++overrides;
        EXPECT_STREQ(o.attribute("ContentType").value(),
                     "application/vnd.openxmlformats-officedocument.presentationml.notesMaster+xml");
    }
    EXPECT_EQ(overrides, 1);
}

// A new relationship's id is looked for from one past the count of relationships upwards. When a
// hostile part has taken all those ids, each candidate was checked against every id in turn: 400,000
// relationships (20 MB of XML, well inside the limits) would take about a quarter of an hour. This test
// runs into CTest's timeout; with the ids looked up in a set it takes about a second.
TEST(HostilePackage, SlideWhoseNextRelationshipIdsAreAllTakenIsStampedInLinearTime) {
    TempDir dir;
    DeckPlan plan;
    plan.notesMaster = true;  // the slide has no notes page: the stamp relates it to a new one
    Entries entries = buildDeck(plan);
    std::string& rels = entry(entries, "ppt/slides/_rels/slide1.xml.rels");
    constexpr int kTaken = 400000;
    std::string taken;
    taken.reserve(kTaken * 48u);
    for (int i = kTaken + 1; i <= 2 * kTaken; ++i)
        taken += R"(<Relationship Id="rId)" + std::to_string(i) + R"(" Type="t" Target="x"/>)";
    rels.insert(rels.rfind("</Relationships>"), taken);
    writeZip(dir / "in.pptx", entries);
    Presentation deck = Presentation::open(dir / "in.pptx");
    showNotesFooter(deck);
    deck.saveAs(dir / "out.pptx");

    EXPECT_TRUE(hasEntry(dir / "out.pptx", "ppt/notesSlides/notesSlide1.xml"));
}

// A page that uses no DrawingML gets a prefix for it when a footer is added. When the root has bound
// a, a0, a1, ... to other namespaces, every candidate was looked up among all the root's attributes:
// 80,000 of them took 14 seconds, and 600,000 (13 MB) would take longer than CTest's timeout. Looked up in
// a set of the root's attribute names, they take about a second.
TEST(HostilePackage, PageWhoseCandidatePrefixesAreAllTakenIsStampedInLinearTime) {
    TempDir dir;
    DeckPlan plan;
    Entries entries = buildDeck(plan);
    constexpr int kTaken = 600000;
    std::string slide =
        R"(<p:sld xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main" xmlns:a="urn:other")";
    slide.reserve(kTaken * 24u);
    for (int i = 0; i < kTaken; ++i) slide += " xmlns:a" + std::to_string(i) + "=\"urn:t\"";
    slide +=
        R"(><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>)"
        R"(<p:grpSpPr/></p:spTree></p:cSld></p:sld>)";
    entry(entries, "ppt/slides/slide1.xml") = slide;
    writeZip(dir / "in.pptx", entries);
    Presentation deck = withSlideFooter(dir / "in.pptx", "Footer");
    deck.saveAs(dir / "out.pptx");

    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text,
              "Footer");
}

// A page without DrawingML on its root gets it declared there, under "a" or, when the root binds "a"
// elsewhere, under "a0". The check that no element below rebinds the prefix looked at "a" only, so
// the footer written under "a0" inside a cSld that binds "a0" to another namespace was no DrawingML.
TEST(HostilePackage, PrefixDeclaredForDrawingMlIsNotReboundWhereTheFooterIsWritten) {
    TempDir dir;
    DeckPlan plan;
    Entries entries = buildDeck(plan);
    entry(entries, "ppt/slides/slide1.xml") =
        R"(<p:sld xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main" xmlns:a="urn:other">)"
        R"(<p:cSld xmlns:a0="urn:elsewhere"><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/>)"
        R"(<p:nvPr/></p:nvGrpSpPr><p:grpSpPr/></p:spTree></p:cSld></p:sld>)";
    writeZip(dir / "in.pptx", entries);
    try {
        Presentation deck = withSlideFooter(dir / "in.pptx", "Footer");
        deck.saveAs(dir / "out.pptx");
    } catch (const Error& e) {
        // Refusing the page is fine too, as the engine does for a prefix rebound below the root.
        EXPECT_EQ(e.code(), ErrorCode::DamagedXml) << e.what();
        return;
    }
    pugi::xml_document written;
    const std::string text = readEntry(dir / "out.pptx", "ppt/slides/slide1.xml");
    ASSERT_TRUE(written.load_string(text.c_str()));
    int drawing = 0;
    for (pugi::xpath_node x : written.select_nodes("//*[local-name()='bodyPr' or local-name()='t']")) {
        EXPECT_EQ(namespaceOf(x.node()), "http://schemas.openxmlformats.org/drawingml/2006/main")
            << x.node().name();
        ++drawing;
    }
    EXPECT_GE(drawing, 2) << text;
}

// A tool that removed the notes parts may leave their relationships parts behind. The parts the stamp
// creates take the freed names, and so took the leftovers as their own relationships: the new notes
// master had two themes, and the first slide's new notes page belonged to the second slide as well.
TEST(HostilePackage, NewPartsDoNotTakeOverLeftoverRelationshipsParts) {
    TempDir dir;
    DeckPlan plan;
    plan.slides = {SlidePlan{}, SlidePlan{}};
    const std::string rels =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    const std::string type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    plan.extraEntries = {{"ppt/notesMasters/_rels/notesMaster1.xml.rels",
                          rels + R"(<Relationship Id="rId1" Type=")" + type +
                              R"(theme" Target="../theme/theme7.xml"/></Relationships>)"},
                         {"ppt/notesSlides/_rels/notesSlide1.xml.rels",
                          rels + R"(<Relationship Id="rId1" Type=")" + type +
                              R"(slide" Target="../slides/slide2.xml"/></Relationships>)"}};
    writeZip(dir / "in.pptx", buildDeck(plan));
    Presentation deck = Presentation::open(dir / "in.pptx");
    showNotesFooter(deck);
    deck.saveAs(dir / "out.pptx");

    // Each slide's notes page, found through the slide, names that slide and no other.
    for (const std::string slide : {"slide1", "slide2"}) {
        const Xml slideRels(readEntry(dir / "out.pptx", "ppt/slides/_rels/" + slide + ".xml.rels"));
        const std::string notes =
            slideRels.one("//Relationship[substring-after(@Type, '/relationships/')='notesSlide']")
                .attribute("Target")
                .value();
        ASSERT_EQ(notes.rfind("../notesSlides/", 0), 0u) << slide << ": " << notes;
        const Xml notesRels(
            readEntry(dir / "out.pptx", "ppt/notesSlides/_rels/" + notes.substr(15) + ".rels"));
        const auto slides =
            notesRels.all("//Relationship[substring-after(@Type, '/relationships/')='slide']");
        ASSERT_EQ(slides.size(), 1u) << notes;
        EXPECT_EQ(std::string(slides.first().node().attribute("Target").value()),
                  "../slides/" + slide + ".xml");
    }
    // The new notes master, found through the presentation, relates to one theme, one in the package.
    const Xml presentationRels(readEntry(dir / "out.pptx", "ppt/_rels/presentation.xml.rels"));
    const std::string master =
        presentationRels.one("//Relationship[substring-after(@Type, '/relationships/')='notesMaster']")
            .attribute("Target")
            .value();
    ASSERT_EQ(master.rfind("notesMasters/", 0), 0u) << master;
    const Xml masterRels(
        readEntry(dir / "out.pptx", "ppt/notesMasters/_rels/" + master.substr(13) + ".rels"));
    const auto themes = masterRels.all("//Relationship[substring-after(@Type, '/relationships/')='theme']");
    ASSERT_EQ(themes.size(), 1u);
    const std::string theme = themes.first().node().attribute("Target").value();
    EXPECT_TRUE(hasEntry(dir / "out.pptx", "ppt/theme/" + theme.substr(theme.rfind('/') + 1))) << theme;
}

// Opens the deck from the file and from its bytes in memory: each open must be refused as past the
// limits, with `words` in the message.
void expectRefusedFromFileAndMemory(const std::filesystem::path& deck, Limits limits,
                                    const std::string& words) {
    for (const std::uint64_t wholeBelow : {std::uint64_t{0}, std::filesystem::file_size(deck) + 1}) {
        limits.readWholeBelow = wholeBelow;
        SCOPED_TRACE(deck.filename().string() + (wholeBelow == 0 ? " from the file" : " from memory"));
        try {
            Presentation::open(deck, limits);
            ADD_FAILURE() << "opened";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::LimitExceeded) << e.what();
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    }
}

// A package is refused for its count of entries as its end record gives it, before the directory is
// read: reading a crafted directory of 1.5 million records first took hundreds of MB.
TEST(HostilePackage, TooManyEntriesAreRefusedFromTheEndRecordBeforeTheDirectoryIsRead) {
    TempDir dir;
    DeckPlan plan;
    for (int i = 0; i < 60; ++i)
        plan.extraEntries.emplace_back("ppt/media/m" + std::to_string(i) + ".bin", "x");
    writeZip(dir / "many.pptx", buildDeck(plan), true);
    writeZip(dir / "claimed.pptx", buildDeck(DeckPlan{}), true);
    std::string claimed = readFile(dir / "claimed.pptx");
    const std::size_t end = claimed.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(end, std::string::npos);
    put16(claimed, end + 8, 60000);   // entries on this disk
    put16(claimed, end + 10, 60000);  // in all
    writeFile(dir / "claimed.pptx", claimed);

    Limits fewer;
    fewer.maxEntries = 50;
    for (const char* name : {"many.pptx", "claimed.pptx"})
        expectRefusedFromFileAndMemory(dir / name, fewer, "too many entries");
    fewer.maxEntries = 100;
    EXPECT_NO_THROW(Presentation::open(dir / "many.pptx", fewer));
}

// Entries naming the same stored bytes (a zip bomb of overlapping entries) would each be copied into the
// saved deck: 1.2 MB of 2,000 entries naming one block of 1 MB were saved as 2 GB. A real package's
// entries each have bytes of their own, so their sizes stored add up to no more than the file.
TEST(HostilePackage, EntriesSharingTheirStoredBytesAreRefused) {
    TempDir dir;
    DeckPlan plan;
    plan.extraEntries.emplace_back("ppt/media/b00.bin", std::string(64 << 10, 'b'));
    writeZip(dir / "own.pptx", buildDeck(plan), true);
    std::string zip = readFile(dir / "own.pptx");
    const std::size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    const std::size_t record = zip.rfind("ppt/media/b00.bin") - 46;  // the directory's, after the data
    ASSERT_NE(end, std::string::npos);
    ASSERT_EQ(zip.compare(record, 4, std::string("PK\x01\x02", 4)), 0);
    // Nine more directory records naming the block under names of their own, before the end record.
    const std::string one =
        zip.substr(record, 46 + get16(zip, record + 28) + get16(zip, record + 30) + get16(zip, record + 32));
    std::string more;
    for (char digit = '1'; digit <= '9'; ++digit) {
        std::string copy = one;
        copy[46 + std::string("ppt/media/b0").size()] = digit;
        more += copy;
    }
    zip.insert(end, more);
    put16(zip, end + more.size() + 8, static_cast<std::uint16_t>(get16(zip, end + more.size() + 8) + 9));
    put16(zip, end + more.size() + 10, static_cast<std::uint16_t>(get16(zip, end + more.size() + 10) + 9));
    put32(zip, end + more.size() + 12,
          static_cast<std::uint32_t>(get32(zip, end + more.size() + 12) + more.size()));
    writeFile(dir / "shared.pptx", zip);

    expectRefusedFromFileAndMemory(dir / "shared.pptx", {}, "share their stored bytes");
    Presentation own = Presentation::open(dir / "own.pptx");
    showNotesFooter(own);
    EXPECT_NO_THROW(own.saveAs(dir / "out.pptx"));
}

// Readers on Windows take a backslash in an entry's name for a slash: a part added by the stamp never
// takes a name that an entry holds already in that spelling.
TEST(HostilePackage, NewPartsDoNotTakeANameHeldWithBackslashes) {
    TempDir dir;
    DeckPlan plan;
    plan.notesMaster = true;
    plan.extraEntries.emplace_back("ppt\\notesSlides\\notesSlide1.xml", "<left/>");
    plan.extraEntries.emplace_back("ppt/notesSlides\\notesSlide2.xml", "<left/>");
    writeZip(dir / "in.pptx", buildDeck(plan));
    Presentation deck = Presentation::open(dir / "in.pptx");
    showNotesFooter(deck);
    deck.saveAs(dir / "out.pptx");
    std::set<std::string> folded;
    for (std::string name : entryNames(dir / "out.pptx")) {
        std::replace(name.begin(), name.end(), '\\', '/');
        EXPECT_TRUE(folded.insert(name).second) << name << " twice";
    }
    EXPECT_TRUE(folded.count("ppt/notesSlides/notesSlide3.xml")) << "the slide's new notes page";
    Presentation::open(dir / "out.pptx");
}

// libzip weighs every end record at the end of a zip and reads the directory of each it can: a second
// one in the comment must not let a directory claiming too many entries be read before it is refused.
TEST(HostilePackage, TooManyEntriesAreRefusedWhateverOtherEndRecordFollows) {
    TempDir dir;
    writeZip(dir / "claimed.pptx", buildDeck(DeckPlan{}), true);
    std::string claimed = readFile(dir / "claimed.pptx");
    const std::size_t end = claimed.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(end, std::string::npos);
    ASSERT_EQ(claimed.size(), end + 22) << "no comment yet";
    put16(claimed, end + 8, 60000);
    put16(claimed, end + 10, 60000);
    std::string other = std::string("PK\x05\x06", 4) + std::string(18, '\0');  // an empty zip's end record
    put16(claimed, end + 20, static_cast<std::uint16_t>(1 + other.size()));
    claimed += "x" + other;
    writeFile(dir / "claimed.pptx", claimed);

    Limits fewer;
    fewer.maxEntries = 50;
    expectRefusedFromFileAndMemory(dir / "claimed.pptx", fewer, "too many entries");
}

// libzip reads and checks the directory of every end record it finds at the end of a zip: end records
// repeated thousands of times cost thousands of directories, so those they claim count together.
TEST(HostilePackage, EntriesClaimedByRepeatedEndRecordsCountTogether) {
    TempDir dir;
    writeZip(dir / "deck.pptx", buildDeck(DeckPlan{}), true);
    const std::string deck = readFile(dir / "deck.pptx");
    const std::size_t end = deck.rfind(std::string("PK\x05\x06", 4));
    ASSERT_EQ(deck.size(), end + 22) << "no comment";
    const std::string endRecord = deck.substr(end);
    const std::uint64_t entries = entryNames(dir / "deck.pptx").size();
    std::string twice = deck + endRecord, five = deck + endRecord + endRecord + endRecord + endRecord;
    writeFile(dir / "twice.pptx", twice);
    writeFile(dir / "five.pptx", five);

    Limits fewer;
    fewer.maxEntries = 3 * entries;
    for (const std::uint64_t wholeBelow : {std::uint64_t{0}, fewer.readWholeBelow}) {
        fewer.readWholeBelow = wholeBelow;
        SCOPED_TRACE(wholeBelow == 0 ? "from the file" : "from memory");
        EXPECT_EQ(Presentation::open(dir / "twice.pptx", fewer).slideCount(), 1u);
    }
    expectRefusedFromFileAndMemory(dir / "five.pptx", fewer, "too many entries");
}

// Each end record's directory is read whole: end records claiming a directory of most of the file,
// repeated, read the file again for each.
TEST(HostilePackage, DirectoriesClaimedByRepeatedEndRecordsAreBounded) {
    TempDir dir;
    DeckPlan plan;
    plan.extraEntries.emplace_back("ppt/media/image1.bin", std::string(1 << 20, 'x'));
    writeZip(dir / "deck.pptx", buildDeck(plan), true);
    const std::string deck = readFile(dir / "deck.pptx");
    const std::size_t end = deck.rfind(std::string("PK\x05\x06", 4));
    ASSERT_EQ(deck.size(), end + 22) << "no comment";
    // One entry in a directory from the start of the file to the end records: libzip reads it all.
    std::string claiming = std::string("PK\x05\x06", 4) + std::string(18, '\0');
    put16(claiming, 8, 1);
    put16(claiming, 10, 1);
    put32(claiming, 12, static_cast<std::uint32_t>(end));
    auto withRecords = [&](int n) {
        std::string out = deck.substr(0, end);
        for (int i = 0; i < n; ++i) out += claiming;
        return out + deck.substr(end);
    };
    writeFile(dir / "two.pptx", withRecords(2));
    writeFile(dir / "seventy.pptx", withRecords(70));
    Limits limits;
    for (const std::uint64_t wholeBelow : {std::uint64_t{0}, std::uint64_t{4} << 20}) {
        limits.readWholeBelow = wholeBelow;
        SCOPED_TRACE(wholeBelow == 0 ? "from the file" : "from memory");
        EXPECT_EQ(Presentation::open(dir / "two.pptx", limits).slideCount(), 1u);
        try {
            Presentation::open(dir / "seventy.pptx", limits);
            ADD_FAILURE() << "opened";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::LimitExceeded) << e.what();
        }
    }
}

std::size_t openDescriptors() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                  std::filesystem::directory_iterator()));
}

// A package refused while its entries are listed (one part twice) must give back every descriptor:
// a folder of such decks would otherwise exhaust them and fail every later deck of the run.
TEST(HostilePackage, RefusedPackageLeavesNoDescriptorOpen) {
    if (!std::filesystem::exists("/proc/self/fd")) GTEST_SKIP() << "no /proc/self/fd to count descriptors in";
    TempDir dir;
    DeckPlan twice;
    twice.extraEntries.emplace_back("[content_types].XML", "<Types/>");
    writeZip(dir / "twice.pptx", buildDeck(twice));
    DeckPlan backslashed;
    backslashed.extraEntries.emplace_back("ppt\\presentation.xml", "<left/>");
    writeZip(dir / "backslashed.pptx", buildDeck(backslashed));
    Limits partByPart;
    partByPart.readWholeBelow = 0;  // as decks larger than the in-memory threshold are read
    for (const char* name : {"twice.pptx", "backslashed.pptx"}) {
        SCOPED_TRACE(name);
        const std::size_t before = openDescriptors();
        for (int i = 0; i < 8; ++i) {
            try {
                Presentation::open(dir / name, partByPart);
                ADD_FAILURE() << "opened";
            } catch (const Error& e) {
                EXPECT_EQ(e.code(), ErrorCode::DamagedPackage) << e.what();
            }
        }
        EXPECT_EQ(openDescriptors(), before);
    }
}

}  // namespace
}  // namespace trelwick::engine::test
