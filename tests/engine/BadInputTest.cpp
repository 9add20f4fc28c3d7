#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <pugixml.hpp>

#include "TestDeck.h"
#include "XmlPart.h"
#include "trelwick/engine.h"

namespace trelwick::engine::test {
namespace {

std::string zipOf(const Entries& entries) {
    TempDir dir;
    writeZip(dir / "x.zip", entries);
    return readFile(dir / "x.zip");
}

Entries withPart(Entries entries, const std::string& name, const std::string& text) {
    for (auto& [n, t] : entries)
        if (n == name) t = text;
    return entries;
}

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    s.replace(s.find(from), from.size(), to);
    return s;
}

// The slide with depth empty groups nested in its shape tree: the deepest element lies depth levels
// below the root's grandchild, spTree.
std::string nestedGroups(std::string slide, int depth) {
    std::string groups;
    for (int i = 0; i < depth; ++i) groups += "<p:grpSp>";
    for (int i = 0; i < depth; ++i) groups += "</p:grpSp>";
    return replaced(std::move(slide), "</p:spTree>", groups + "</p:spTree>");
}

struct BadCase {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;  // creates the file at the path
    ErrorCode code;
    const char* part;  // expected part in the error, or ""
};

std::vector<BadCase> badCases() {
    const Entries good = buildDeck(DeckPlan{});
    const std::string goodZip = zipOf(good);
    auto slideOf = [good] {
        for (const auto& [n, t] : good)
            if (n == "ppt/slides/slide1.xml") return t;
        return std::string();
    };
    return {
        {"missing file", [](const auto&) {}, ErrorCode::FileNotFound, ""},
        {"folder named like a deck", [](const auto& p) { std::filesystem::create_directory(p); },
         ErrorCode::FileNotFound, ""},
        {"empty file", [](const auto& p) { writeFile(p, ""); }, ErrorCode::NotAPresentation, ""},
        {"text file", [](const auto& p) { writeFile(p, "just some text, no zip at all"); },
         ErrorCode::NotAPresentation, ""},
        {"zip without presentation",
         [](const auto& p) {
             writeZip(p, {{"hello.txt", "hi"}});
         },
         ErrorCode::NotAPresentation, ""},
        {"encrypted package",
         [](const auto& p) {
             writeFile(p, oleFile({"EncryptionInfo", "EncryptedPackage"}));
         },
         ErrorCode::PasswordProtected, ""},
        {"PowerPoint 95",
         [](const auto& p) {
             writeFile(p, oleFile({"Current User", "PowerPoint Document", "Header"}));
         },
         ErrorCode::LegacyFormat, ""},
        {"other OLE file", [](const auto& p) { writeFile(p, oleFile({"WordDocument"})); },
         ErrorCode::NotAPresentation, ""},
        {"truncated zip", [goodZip](const auto& p) { writeFile(p, goodZip.substr(0, goodZip.size() / 2)); },
         ErrorCode::DamagedPackage, ""},
        {"damaged XML",
         [good](const auto& p) { writeZip(p, withPart(good, "ppt/slides/slide1.xml", "<p:sld><unclosed")); },
         ErrorCode::DamagedXml, "ppt/slides/slide1.xml"},
        {"DOCTYPE",
         [good](const auto& p) {
             writeZip(p, withPart(good, "ppt/presentation.xml",
                                  "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM "
                                  "\"file:///etc/passwd\">]><p:presentation/>"));
         },
         ErrorCode::DamagedXml, "ppt/presentation.xml"},
        {"zip bomb part",
         [good, slideOf](const auto& p) {
             std::string bomb = slideOf();
             bomb.insert(bomb.find("<p:cSld>"), "<!--" + std::string(40u << 20, ' ') + "-->");
             writeZip(p, withPart(good, "ppt/slides/slide1.xml", bomb));
         },
         ErrorCode::LimitExceeded, "ppt/slides/slide1.xml"},
        {"XML nested too deep",
         [good, slideOf](const auto& p) {
             writeZip(p, withPart(good, "ppt/slides/slide1.xml", nestedGroups(slideOf(), 1001)));
         },
         ErrorCode::LimitExceeded, "ppt/slides/slide1.xml"},
        {"NUL character after the root, then another page",
         [good, slideOf](const auto& p) {
             writeZip(p, withPart(good, "ppt/slides/slide1.xml",
                                  slideOf() + std::string("\n\x1b\0\0", 4) + slideOf()));
         },
         ErrorCode::DamagedXml, "ppt/slides/slide1.xml"},
        {"damaged relationships",
         [good](const auto& p) {
             writeZip(p, withPart(good, "ppt/slides/_rels/slide1.xml.rels", "<Relationships><unclosed"));
         },
         ErrorCode::DamagedXml, "ppt/slides/_rels/slide1.xml.rels"},
        {"relationship leaving the package",
         [good](const auto& p) {
             Entries e = good;
             for (auto& [n, t] : e)
                 if (n == "ppt/slides/_rels/slide1.xml.rels")
                     t = replaced(t, "../slideLayouts/slideLayout1.xml", "../../../../etc/passwd");
             writeZip(p, e);
         },
         ErrorCode::DamagedPackage, "ppt/slides/_rels/slide1.xml.rels"},
        {"relationship loop",
         [good](const auto& p) {
             Entries e = good;
             for (auto& [n, t] : e)
                 if (n == "ppt/slides/_rels/slide1.xml.rels")
                     t = replaced(t, "../slideLayouts/slideLayout1.xml", "slide1.xml");
             writeZip(p, e);
         },
         ErrorCode::DamagedPackage, "ppt/slides/slide1.xml"},
        // The theme is copied for the notes master the stamp makes: a damaged one is refused, not copied.
        {"damaged theme",
         [goodZip](const auto& p) {
             std::string bytes = goodZip;
             const std::string name = "ppt/theme/theme1.xml";
             for (std::size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1)) {
                 const bool local = at >= 30 && bytes.compare(at - 30, 4, "PK\x03\x04") == 0;
                 bytes[local ? at - 30 + 14 : at - 46 + 16] ^= 0x5A;  // the CRC, in both headers
             }
             writeFile(p, bytes);
         },
         ErrorCode::DamagedPackage, "ppt/theme/theme1.xml"},
        // 0xFFFFFFFF says the size is kept in a Zip64 field; the entry has none.
        {"size kept in a missing Zip64 field",
         [goodZip](const auto& p) {
             std::string bytes = goodZip;
             const std::string name = "ppt/theme/theme1.xml";
             for (std::size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1))
                 if (at >= 46 && bytes.compare(at - 46, 4, "PK\x01\x02") == 0)
                     bytes.replace(at - 46 + 24, 4, "\xFF\xFF\xFF\xFF");
             writeFile(p, bytes);
         },
         ErrorCode::DamagedPackage, ""},
        {"slide list pointing nowhere",
         [good](const auto& p) {
             Entries e;
             for (const auto& entry : good)
                 if (entry.first != "ppt/slides/slide1.xml") e.push_back(entry);
             writeZip(p, e);
         },
         ErrorCode::DamagedPackage, "ppt/presentation.xml"},
    };
}

TEST(BadInputTest, EveryBadInputFailsCleanlyAndLeavesNoOutput) {
    for (const BadCase& c : badCases()) {
        TempDir dir;
        const auto source = dir / "deck.pptx";
        c.make(source);
        const bool existed = std::filesystem::exists(source);
        const std::string before =
            existed && std::filesystem::is_regular_file(source) ? readFile(source) : "";
        std::filesystem::create_directory(dir / "out");
        try {
            Presentation deck = withSlideFooter(source, "x");
            deck.setVisible(MasterKind::Notes, Element::Header, true);
            deck.saveAs(dir / "out" / "deck.pptx");
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), c.code) << c.name << ": " << e.what();
            EXPECT_EQ(e.file(), source.string()) << c.name;
            EXPECT_NE(std::string(e.what()).find(source.string()), std::string::npos) << c.name;
            EXPECT_EQ(e.part(), c.part) << c.name << ": " << e.what();
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir / "out")) << c.name;
        if (existed && std::filesystem::is_regular_file(source)) {
            EXPECT_EQ(readFile(source), before) << c.name;
        }
    }
}

// What each call of a run over the deck said, going on after a failure as the window does; preload
// first or not.
std::vector<std::string> callOutcomes(const std::filesystem::path& source,
                                      const std::filesystem::path& target, bool preload) {
    std::vector<std::string> said;
    std::optional<Presentation> deck;
    auto call = [&](const std::string& what, const std::function<void()>& action) {
        try {
            action();
            said.push_back(what + ": ok");
        } catch (const Error& e) {
            said.push_back(what + ": " + e.what());
        }
    };
    call("open", [&] { deck.emplace(Presentation::open(source)); });
    if (!deck) return said;
    if (preload) call("preload", [&] { deck->preload(); });
    for (const MasterKind kind : {MasterKind::Slide, MasterKind::Notes}) {
        const std::string k = kind == MasterKind::Slide ? "slide " : "notes ";
        for (int attempt = 0; attempt < 2; ++attempt) {
            call(k + "footer text", [&] { deck->setText(kind, Element::Footer, "x"); });
            call(k + "footer shown", [&] { deck->setVisible(kind, Element::Footer, true); });
        }
        call(k + "number shown", [&] { deck->setVisible(kind, Element::SlideNumber, true); });
    }
    call("save", [&] { deck->saveAs(target); });
    if (preload) said.erase(said.begin() + 1);  // "preload: ok", checked by the caller
    return said;
}

// Parsing ahead never fails, and changes nothing of what every later call says about a bad input,
// nor whether it is saved.
TEST(BadInputTest, ReadingAheadReportsEveryBadInputAsBefore) {
    for (const BadCase& c : badCases()) {
        TempDir dir;
        c.make(dir / "deck.pptx");
        std::filesystem::create_directory(dir / "plain");
        std::filesystem::create_directory(dir / "ahead");
        const std::vector<std::string> plain =
            callOutcomes(dir / "deck.pptx", dir / "plain" / "deck.pptx", false);
        std::optional<Presentation> opened;
        try {
            opened.emplace(Presentation::open(dir / "deck.pptx"));
        } catch (const Error&) {
        }
        if (opened) {
            EXPECT_NO_THROW(opened->preload()) << c.name;
        }
        EXPECT_EQ(callOutcomes(dir / "deck.pptx", dir / "ahead" / "deck.pptx", true), plain) << c.name;
        EXPECT_EQ(std::filesystem::exists(dir / "ahead" / "deck.pptx"),
                  std::filesystem::exists(dir / "plain" / "deck.pptx"))
            << c.name;
    }
}

TEST(BadInputTest, LoadingRefusesEveryBadInputThatOpensWithTheErrorOfTheStamp) {
    int opened = 0;
    for (const BadCase& c : badCases()) {
        // Read only when the stamp makes a notes master, which loading cannot know.
        if (std::string_view(c.name) == "damaged theme") continue;
        TempDir dir;
        c.make(dir / "deck.pptx");
        std::optional<Presentation> deck;
        try {
            deck.emplace(Presentation::open(dir / "deck.pptx"));
        } catch (const Error&) {
            continue;
        }
        ++opened;
        try {
            deck->load();
            ADD_FAILURE() << c.name << ": loaded";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), c.code) << c.name << ": " << e.what();
            EXPECT_EQ(e.part(), c.part) << c.name << ": " << e.what();
        }
    }
    EXPECT_GE(opened, 4) << "the cases that open and fail later";

    // A sound deck loads, and stamps as before.
    TempDir dir;
    writeZip(dir / "good.pptx", buildDeck(DeckPlan{}));
    Presentation deck = Presentation::open(dir / "good.pptx");
    deck.load();
    deck.setText(MasterKind::Slide, Element::Footer, "loaded");
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
    deck.saveAs(dir / "out.pptx");
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text,
              "loaded");
}

TEST(BadInputTest, LegacyMessageIsExact) {
    TempDir dir;
    writeFile(dir / "old.pptx", oleFile({"PP40"}));  // content decides, not the extension
    try {
        Presentation::open(dir / "old.pptx");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(
            std::string(e.what()),
            (dir / "old.pptx").string() +
                ": PowerPoint 95 and older presentations cannot be stamped; save it as .ppt or .pptx first");
    }
}

TEST(BadInputTest, NestingUpToTheLimitStamps) {
    TempDir dir;
    Entries entries = buildDeck(DeckPlan{});
    for (auto& [n, t] : entries)
        if (n == "ppt/slides/slide1.xml") t = nestedGroups(t, 998);  // the deepest group 1,000 levels down
    writeZip(dir / "deck.pptx", entries);
    Presentation deck = withSlideFooter(dir / "deck.pptx", "deep");
    deck.saveAs(dir / "out.pptx");
    EXPECT_EQ(Presentation::open(dir / "out.pptx").element(MasterKind::Slide, Element::Footer).text, "deep");
}

TEST(BadInputTest, PartsAddingUpPastTheDecksBudgetAreRefused) {
    TempDir dir;
    DeckPlan plan;
    plan.slides.resize(40);
    writeZip(dir / "deck.pptx", buildDeck(plan));
    std::uint64_t xml = 0;
    std::uint64_t parts = 0;
    for (const auto& [name, text] : buildDeck(plan)) {
        xml += text.size();
        ++parts;
    }
    Limits limits;
    limits.maxXmlBytesPerDeck = xml / 2;  // the presentation part opens, the slides do not all fit
    try {
        Presentation deck = withSlideFooter(dir / "deck.pptx", "F", limits);
        deck.saveAs(dir / "out.pptx");
        FAIL() << "saved";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::LimitExceeded);
        EXPECT_NE(std::string(e.what()).find("add up to more than the limit"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.pptx"));
    // Each part read also counts a fixed amount for its tree.
    limits.maxXmlBytesPerDeck = xml + parts * 2048;
    Presentation whole = Presentation::open(dir / "deck.pptx", limits);
    whole.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    whole.saveAs(dir / "out.pptx");
}

// The notes pages a stamp creates stay parsed too, so they share the budget: slides without notes fit,
// forty new notes pages and their relationships do not.
TEST(BadInputTest, PartsTheStampCreatesCountAgainstTheBudget) {
    TempDir dir;
    DeckPlan plan;
    plan.slides.resize(40);
    writeZip(dir / "deck.pptx", buildDeck(plan));
    std::uint64_t budget = 0;
    for (const auto& [name, text] : buildDeck(plan)) budget += text.size() + 2048;
    Limits limits;
    limits.maxXmlBytesPerDeck = budget + 4 * 2048;
    Presentation slidesOnly = Presentation::open(dir / "deck.pptx", limits);
    slidesOnly.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    slidesOnly.saveAs(dir / "slides.pptx");
    try {
        Presentation deck = Presentation::open(dir / "deck.pptx", limits);
        deck.setVisible(MasterKind::Notes, Element::SlideNumber, true);
        deck.saveAs(dir / "notes.pptx");
        FAIL() << "saved";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::LimitExceeded) << e.what();
        EXPECT_NE(std::string(e.what()).find("ppt/notes"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "notes.pptx"));
}

// pugixml takes a reference to an undeclared entity, or a lone '&', as text, and saving would escape it:
// "&ent;" became "&amp;ent;". Such a page is damaged; references and '&' where XML allows them are not.
TEST(BadInputTest, UnknownEntityReferencesAreDamageAndKnownOnesAreKept) {
    TempDir dir;
    const auto stamped = [&](const std::string& boxText, const std::string& file) {
        Entries entries = buildDeck(DeckPlan{});
        for (auto& [name, text] : entries)
            if (name == "ppt/slides/slide1.xml")
                text.replace(
                    text.find("</p:spTree>"), 0,
                    "<p:sp><p:nvSpPr><p:cNvPr id=\"40\" name=\"Box\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr>"
                    "<p:spPr/><p:txBody><a:bodyPr/><a:p><a:r><a:t>" +
                        boxText + "</a:t></a:r></a:p></p:txBody></p:sp>");
        writeZip(dir / file, entries);
        Presentation deck = withSlideFooter(dir / file, "F");
        deck.saveAs(dir / ("out-" + file));
        return readEntry(dir / ("out-" + file), "ppt/slides/slide1.xml");
    };
    for (const char* bad : {"&ent;", "AT&T", "&#xZZ;", "&#;", "tail &"}) {
        SCOPED_TRACE(bad);
        try {
            stamped(bad, "bad.pptx");
            ADD_FAILURE() << "stamped";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::DamagedXml) << e.what();
            EXPECT_NE(std::string(e.what()).find("ppt/slides/slide1.xml"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(dir / "out-bad.pptx"));
    }
    const std::string good =
        stamped("&lt;&gt;&amp;&apos;&quot;&#65;&#x42;<!-- & --><![CDATA[ & ]]>", "good.pptx");
    // The shape is kept as read, or printed again with the same characters.
    EXPECT_TRUE(good.find("&lt;&gt;&amp;&apos;&quot;&#65;&#x42;") != std::string::npos ||
                good.find("&lt;&gt;&amp;'\"AB") != std::string::npos)
        << good;
    EXPECT_NE(good.find("<!-- & -->"), std::string::npos);
}

TEST(BadInputTest, LatinOnePagesAreWrittenBackAsUtf8AndOtherEncodingsRefused) {
    TempDir dir;
    const auto withDeclaration = [&](const std::string& encoding, const std::string& file) {
        Entries entries = buildDeck(DeckPlan{});
        for (auto& [name, text] : entries)
            if (name == "ppt/slides/slide1.xml") {
                text.replace(0, text.find("?>") + 2,
                             "<?xml version=\"1.0\" encoding=\"" + encoding + "\" standalone=\"yes\"?>");
                // "Fu\xDF" is Latin-1 for "Fuss" with a sharp s: not UTF-8.
                text.replace(
                    text.find("</p:spTree>"), 0,
                    "<p:sp><p:nvSpPr><p:cNvPr id=\"40\" name=\"Box\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr>"
                    "<p:spPr/><p:txBody><a:bodyPr/><a:p><a:r><a:t>Fu\xDF</a:t></a:r></a:p></p:txBody></"
                    "p:sp>");
            }
        writeZip(dir / file, entries);
        Presentation deck = Presentation::open(dir / file);
        deck.setText(MasterKind::Slide, Element::Footer,
                     "\xE2\x82\xAC 5");  // the euro sign is not in Latin-1
        deck.setVisible(MasterKind::Slide, Element::Footer, true);
        deck.saveAs(dir / ("out-" + file));
        return readEntry(dir / ("out-" + file), "ppt/slides/slide1.xml");
    };
    const std::string latin = withDeclaration("ISO-8859-1", "latin.pptx");
    EXPECT_NE(latin.find("encoding=\"UTF-8\""), std::string::npos) << latin.substr(0, 80);
    EXPECT_NE(latin.find("Fu\xC3\x9F"), std::string::npos);
    EXPECT_NE(latin.find("\xE2\x82\xAC 5"), std::string::npos);
    try {
        withDeclaration("windows-1252", "cp1252.pptx");
        FAIL() << "stamped";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::DamagedXml);
        EXPECT_NE(std::string(e.what()).find("declares the encoding windows-1252"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out-cp1252.pptx"));
}

TEST(BadInputTest, NamespacesBoundAgainWhereTheStampLooksAreRefusedElsewhereLeftBe) {
    TempDir dir;
    const std::string pml = "http://schemas.openxmlformats.org/presentationml/2006/main";
    const std::string dml = "http://schemas.openxmlformats.org/drawingml/2006/main";
    const std::string footer =
        "<p:nvSpPr><p:cNvPr id='20' name='Footer'/><p:cNvSpPr/><p:nvPr><p:ph type='ftr' idx='11'/></p:nvPr>"
        "</p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:p><a:r><a:t>Old</a:t></a:r></a:p></p:txBody>";
    const auto stampWith = [&](const std::string& shapes, const std::string& treeAttributes = "") {
        DeckPlan plan;
        plan.slides[0].extraShapes = shapes;
        Entries entries = buildDeck(plan);
        for (auto& [name, text] : entries)
            if (name == "ppt/slides/slide1.xml") text.replace(text.find("<p:spTree") + 9, 0, treeAttributes);
        writeZip(dir / "in.pptx", entries);
        Presentation deck = withSlideFooter(dir / "in.pptx", "New");
        deck.saveAs(dir / "out.pptx");
        return readEntry(dir / "out.pptx", "ppt/slides/slide1.xml");
    };
    struct Refused {
        const char* what;
        std::string shapes;
        std::string treeAttributes;
    };
    // The footer under another prefix (the stamp would add a second one beside it); p: meaning something
    // else on the footer (the stamp would fill a foreign element); a: meaning something else on the tree
    // (the stamp's text would land in a foreign namespace).
    for (const Refused& r :
         {Refused{"xmlns:q on q:sp", "<q:sp xmlns:q='" + pml + "'>" + footer + "</q:sp>", ""},
          Refused{"xmlns:p on p:sp", "<p:sp xmlns:p='urn:other'>" + footer + "</p:sp>", ""},
          Refused{"xmlns:a on p:spTree", "", " xmlns:a='urn:other'"},
          Refused{"xmlns:a on a:p", "<p:sp>" + replaced(footer, "<a:p>", "<a:p xmlns:a='urn:x'>") + "</p:sp>",
                  ""}}) {
        try {
            stampWith(r.shapes, r.treeAttributes);
            ADD_FAILURE() << r.what << ": stamped";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::DamagedXml) << r.what;
            EXPECT_NE(std::string(e.what()).find(r.what), std::string::npos) << e.what();
        }
    }
    // What PowerPoint writes: ids of its own namespaces on shapes, a chart that declares r: again with
    // the same meaning, a: bound again to DrawingML.
    const std::string slide = stampWith(
        "<p:sp>" +
        replaced(
            footer, "<p:cNvPr id='20' name='Footer'/>",
            "<p:cNvPr id='20' name='Footer'><a:extLst><a:ext uri='{FF2B5EF4}'><a16:creationId "
            "xmlns:a16='http://schemas.microsoft.com/office/drawing/2014/main' id='{1}'/></a:ext></a:extLst>"
            "</p:cNvPr>") +
        "</p:sp><p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id='30' "
        "name='Chart'/><p:cNvGraphicFramePr/><p:nvPr/>"
        "</p:nvGraphicFramePr><p:xfrm/><a:graphic xmlns:a='" +
        dml +
        "'><a:graphicData uri='c'><c:chart "
        "xmlns:c='http://schemas.openxmlformats.org/drawingml/2006/chart' xmlns:r='"
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships' r:id='rId9'/></a:graphicData>"
        "</a:graphic></p:graphicFrame>");
    EXPECT_NE(slide.find("New"), std::string::npos);
    EXPECT_EQ(slide.find("Old"), std::string::npos);
}

TEST(BadInputTest, SavingOverADamagedSourceKeepsIt) {
    TempDir dir;
    Entries entries = buildDeck(DeckPlan{});
    for (auto& [n, t] : entries)
        if (n == "ppt/slideLayouts/slideLayout1.xml") t = "<p:sldLayout";
    writeZip(dir / "deck.pptx", entries);
    const std::string before = readFile(dir / "deck.pptx");
    Presentation deck = Presentation::open(dir / "deck.pptx");
    deck.setVisible(MasterKind::Slide, Element::SlideNumber, true);
    EXPECT_THROW(deck.saveAs(dir / "deck.pptx"), Error);
    EXPECT_EQ(readFile(dir / "deck.pptx"), before);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"deck.pptx"});
}

// Memory running out while a part is read is not damage in the file: trelwick-cli says "there is not
// enough memory to stamp this presentation" for std::bad_alloc, but the XML reader's own allocation
// failure was reported as "the XML is damaged (Could not allocate memory ...)", which tells the user to
// give up on a good deck (seen with ulimit -v on a 4 MB deck).
TEST(BadInputTest, MemoryRunningOutWhileReadingAPartIsNotADamagedFile) {
    struct Failing {
        static void* allocate(std::size_t) { return nullptr; }
        static void release(void* p) { std::free(p); }
    };
    const pugi::allocation_function allocate = pugi::get_memory_allocation_function();
    const pugi::deallocation_function release = pugi::get_memory_deallocation_function();
    pugi::set_memory_management_functions(&Failing::allocate, &Failing::release);
    std::optional<ErrorCode> code;
    bool outOfMemory = false;
    try {
        XmlPart part("ppt/slides/slide1.xml", "<p:sld xmlns:p=\"urn:x\"><p:cSld/></p:sld>", "deck.pptx");
    } catch (const Error& e) {
        code = e.code();
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    pugi::set_memory_management_functions(allocate, release);
    EXPECT_TRUE(outOfMemory) << "reported as error code " << (code ? static_cast<int>(*code) : -1);
    EXPECT_NE(code, ErrorCode::DamagedXml);
}

// Part names come from the file; the message a user reads holds no control character of theirs.
TEST(BadInputTest, APartNamedWithControlCharactersIsNamedPrintablyInMessages) {
    const Error e(ErrorCode::DamagedPackage, "deck.ppt",
                  "\x05"
                  "DocumentSummaryInformation\nx",
                  "damaged");
    EXPECT_STREQ(e.what(), "deck.ppt (part ?DocumentSummaryInformation?x): damaged");
    EXPECT_EQ(e.reason(), "part ?DocumentSummaryInformation?x: damaged");
    EXPECT_EQ(e.part(),
              "\x05"
              "DocumentSummaryInformation\nx")
        << "the name itself is kept as the file has it";
}

}  // namespace
}  // namespace trelwick::engine::test
