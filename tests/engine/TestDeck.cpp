#include "TestDeck.h"

#include <cstdint>
#include <stdexcept>

namespace trelwick::engine::test {
namespace {

const std::string kNs =
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main")";
const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const std::string kRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
const std::string kTreeStart =
    R"(<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>)";
const std::string kClrMap =
    R"(<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3" accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"/>)";

std::string placeholder(int id, const std::string& type, const std::string& attrs, bool xfrm,
                        const std::string& text = "") {
    std::string sp = "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + type + " " +
                     std::to_string(id) +
                     "\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr><p:ph type=\"" + type +
                     "\"" + attrs + "/></p:nvPr></p:nvSpPr>";
    sp +=
        xfrm
            ? R"(<p:spPr><a:xfrm><a:off x="457200" y="6356350"/><a:ext cx="2133600" cy="365125"/></a:xfrm></p:spPr>)"
            : "<p:spPr/>";
    sp += "<p:txBody><a:bodyPr/><a:lstStyle/><a:p>";
    if (!text.empty()) sp += "<a:r><a:rPr lang=\"en-US\"/><a:t>" + text + "</a:t></a:r>";
    return sp + "</a:p></p:txBody></p:sp>";
}

std::string rels(const std::vector<std::pair<std::string, std::string>>& list) {
    std::string out =
        kDecl + R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    int n = 0;
    for (const auto& [type, target] : list)
        out += "<Relationship Id=\"rId" + std::to_string(++n) + "\" Type=\"" + kRelType + type +
               "\" Target=\"" + target + "\"/>";
    return out + "</Relationships>";
}

std::string notesMasterXml() {
    return kDecl + "<p:notesMaster" + kNs + ">" + kTreeStart +
           placeholder(2, "hdr", R"( sz="quarter")", true) + placeholder(3, "dt", R"( idx="1")", true) +
           placeholder(4, "sldImg", R"( idx="2")", true) +
           placeholder(5, "body", R"( sz="quarter" idx="3")", true) +
           placeholder(6, "ftr", R"( sz="quarter" idx="4")", true) +
           placeholder(7, "sldNum", R"( sz="quarter" idx="5")", true) + "</p:spTree></p:cSld>" + kClrMap +
           "<p:notesStyle/></p:notesMaster>";
}

}  // namespace

Entries buildDeck(const DeckPlan& plan) {
    Entries files;
    std::string types =
        kDecl +
        R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>)"
        R"(<Override PartName="/ppt/presentation.xml" ContentType=")" +
        plan.mainContentType + "\"/>";
    auto override = [&types](const std::string& part, const std::string& kind) {
        types += "<Override PartName=\"/" + part +
                 "\" ContentType=\"application/vnd.openxmlformats-officedocument." + kind + "\"/>";
    };
    std::vector<std::pair<std::string, std::string>> presentationRels;
    std::string masterIds, slideIds, extraLists;
    int layoutCounter = 0;
    std::vector<std::vector<int>> layoutNumbers;
    for (std::size_t m = 0; m < plan.masters.size(); ++m) {
        const MasterPlan& master = plan.masters[m];
        const std::string name = "ppt/slideMasters/slideMaster" + std::to_string(m + 1) + ".xml";
        std::vector<std::pair<std::string, std::string>> masterRels;
        std::string layoutIds;
        layoutNumbers.emplace_back();
        for (const LayoutPlan& layout : master.layouts) {
            const int number = ++layoutCounter;
            layoutNumbers.back().push_back(number);
            const std::string layoutName = "ppt/slideLayouts/slideLayout" + std::to_string(number) + ".xml";
            std::string xml = kDecl + "<p:sldLayout" + kNs + " type=\"" + layout.type + "\" preserve=\"1\">" +
                              kTreeStart + placeholder(2, "title", "", false);
            if (layout.dt) xml += placeholder(3, "dt", R"( sz="half" idx="10")", false);
            if (layout.ftr) xml += placeholder(4, "ftr", R"( sz="quarter" idx="11")", false);
            if (layout.sldNum) xml += placeholder(5, "sldNum", R"( sz="quarter" idx="12")", false);
            xml += "</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>";
            files.emplace_back(layoutName, xml);
            files.emplace_back(
                "ppt/slideLayouts/_rels/slideLayout" + std::to_string(number) + ".xml.rels",
                rels({{"slideMaster", "../slideMasters/slideMaster" + std::to_string(m + 1) + ".xml"}}));
            override(layoutName, "presentationml.slideLayout+xml");
            masterRels.emplace_back("slideLayout",
                                    "../slideLayouts/slideLayout" + std::to_string(number) + ".xml");
            layoutIds += "<p:sldLayoutId id=\"" + std::to_string(2147483649u + number) + "\" r:id=\"rId" +
                         std::to_string(masterRels.size()) + "\"/>";
        }
        masterRels.emplace_back("theme", "../theme/theme1.xml");
        std::string xml = kDecl + "<p:sldMaster" + kNs + ">" + kTreeStart + placeholder(2, "title", "", true);
        if (master.dt) xml += placeholder(3, "dt", R"( sz="half" idx="2")", true);
        if (master.ftr) xml += placeholder(4, "ftr", R"( sz="quarter" idx="3")", true);
        if (master.sldNum) xml += placeholder(5, "sldNum", R"( sz="quarter" idx="4")", true);
        xml += "</p:spTree></p:cSld>" + kClrMap + "<p:sldLayoutIdLst>" + layoutIds +
               "</p:sldLayoutIdLst><p:txStyles><p:titleStyle/><p:bodyStyle/><p:otherStyle/></p:txStyles></"
               "p:sldMaster>";
        files.emplace_back(name, xml);
        files.emplace_back("ppt/slideMasters/_rels/slideMaster" + std::to_string(m + 1) + ".xml.rels",
                           rels(masterRels));
        override(name, "presentationml.slideMaster+xml");
        presentationRels.emplace_back("slideMaster",
                                      "slideMasters/slideMaster" + std::to_string(m + 1) + ".xml");
        masterIds += "<p:sldMasterId id=\"" + std::to_string(2147483648u + 100 * m) + "\" r:id=\"rId" +
                     std::to_string(presentationRels.size()) + "\"/>";
    }
    if (plan.notesMaster) {
        files.emplace_back("ppt/notesMasters/notesMaster1.xml", notesMasterXml());
        files.emplace_back("ppt/notesMasters/_rels/notesMaster1.xml.rels",
                           rels({{"theme", "../theme/theme1.xml"}}));
        override("ppt/notesMasters/notesMaster1.xml", "presentationml.notesMaster+xml");
        presentationRels.emplace_back("notesMaster", "notesMasters/notesMaster1.xml");
        extraLists += "<p:notesMasterIdLst><p:notesMasterId r:id=\"rId" +
                      std::to_string(presentationRels.size()) + "\"/></p:notesMasterIdLst>";
    }
    if (plan.handoutMaster) {
        files.emplace_back("ppt/handoutMasters/handoutMaster1.xml",
                           kDecl + "<p:handoutMaster" + kNs + ">" + kTreeStart +
                               placeholder(2, "hdr", R"( sz="quarter")", true) +
                               placeholder(3, "dt", R"( sz="quarter" idx="1")", true) +
                               placeholder(4, "ftr", R"( sz="quarter" idx="2")", true) +
                               placeholder(5, "sldNum", R"( sz="quarter" idx="3")", true) +
                               "</p:spTree></p:cSld>" + kClrMap + "</p:handoutMaster>");
        files.emplace_back("ppt/handoutMasters/_rels/handoutMaster1.xml.rels",
                           rels({{"theme", "../theme/theme1.xml"}}));
        override("ppt/handoutMasters/handoutMaster1.xml", "presentationml.handoutMaster+xml");
        presentationRels.emplace_back("handoutMaster", "handoutMasters/handoutMaster1.xml");
        extraLists += "<p:handoutMasterIdLst><p:handoutMasterId r:id=\"rId" +
                      std::to_string(presentationRels.size()) + "\"/></p:handoutMasterIdLst>";
    }
    int notesCounter = 0;
    for (std::size_t s = 0; s < plan.slides.size(); ++s) {
        const SlidePlan& slide = plan.slides[s];
        const std::string name = "ppt/slides/slide" + std::to_string(s + 1) + ".xml";
        files.emplace_back(
            name, kDecl + "<p:sld" + kNs + (slide.hidden ? " show=\"0\"" : "") + ">" + kTreeStart +
                      placeholder(2, "title", "", false, "Slide " + std::to_string(s + 1)) +
                      slide.extraShapes +
                      "</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>");
        std::vector<std::pair<std::string, std::string>> slideRels{
            {"slideLayout", "../slideLayouts/slideLayout" +
                                std::to_string(layoutNumbers.at(slide.master).at(slide.layout)) + ".xml"}};
        if (slide.notes) {
            const std::string notes = "ppt/notesSlides/notesSlide" + std::to_string(++notesCounter) + ".xml";
            files.emplace_back(
                notes, kDecl + "<p:notes" + kNs + ">" + kTreeStart + placeholder(2, "sldImg", "", false) +
                           placeholder(3, "body", R"( idx="1")", false, "Speaker notes") +
                           "</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:notes>");
            files.emplace_back(
                "ppt/notesSlides/_rels/notesSlide" + std::to_string(notesCounter) + ".xml.rels",
                rels({{"notesMaster", "../notesMasters/notesMaster1.xml"},
                      {"slide", "../slides/slide" + std::to_string(s + 1) + ".xml"}}));
            override(notes, "presentationml.notesSlide+xml");
            slideRels.emplace_back("notesSlide",
                                   "../notesSlides/notesSlide" + std::to_string(notesCounter) + ".xml");
        }
        files.emplace_back("ppt/slides/_rels/slide" + std::to_string(s + 1) + ".xml.rels", rels(slideRels));
        override(name, "presentationml.slide+xml");
        presentationRels.emplace_back("slide", "slides/slide" + std::to_string(s + 1) + ".xml");
        slideIds += "<p:sldId id=\"" + std::to_string(256 + s) + "\" r:id=\"rId" +
                    std::to_string(presentationRels.size()) + "\"/>";
    }
    presentationRels.emplace_back("theme", "theme/theme1.xml");
    files.emplace_back(
        "ppt/theme/theme1.xml",
        kDecl +
            R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="Test"><a:themeElements/></a:theme>)");
    override("ppt/theme/theme1.xml", "theme+xml");
    files.emplace_back(
        "ppt/presentation.xml",
        kDecl + "<p:presentation" + kNs + " " + plan.presentationAttributes + "><p:sldMasterIdLst>" +
            masterIds + "</p:sldMasterIdLst>" + extraLists +
            (slideIds.empty() ? "" : "<p:sldIdLst>" + slideIds + "</p:sldIdLst>") +
            R"(<p:sldSz cx="9144000" cy="6858000"/><p:notesSz cx="6858000" cy="9144000"/></p:presentation>)");
    files.emplace_back("ppt/_rels/presentation.xml.rels", rels(presentationRels));
    files.insert(files.begin(), {"_rels/.rels", rels({{"officeDocument", "ppt/presentation.xml"}})});
    for (const auto& extra : plan.extraEntries) {
        if (extra.first.size() > 4 && extra.first.substr(extra.first.size() - 4) == ".bin")
            types += "<Override PartName=\"/" + extra.first +
                     "\" ContentType=\"application/vnd.ms-office.vbaProject\"/>";
        files.push_back(extra);
    }
    files.insert(files.begin(), {"[Content_Types].xml", types + "</Types>"});

    if (plan.strict) {
        auto replaceAll = [](std::string& s, const std::string& from, const std::string& to) {
            for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
                s.replace(at, from.size(), to);
        };
        for (auto& [name, text] : files) {
            replaceAll(text, "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
                       "http://purl.oclc.org/ooxml/officeDocument/relationships");
            replaceAll(text, "http://schemas.openxmlformats.org/presentationml/2006/main",
                       "http://purl.oclc.org/ooxml/presentationml/main");
            replaceAll(text, "http://schemas.openxmlformats.org/drawingml/2006/main",
                       "http://purl.oclc.org/ooxml/drawingml/main");
        }
    }
    return files;
}

std::string oleFile(const std::vector<std::string>& streams) {
    std::string header(512, '\0');
    const std::string magic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    header.replace(0, 8, magic);
    auto put32 = [](std::string& s, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    header[0x18] = 0x3E;  // minor version
    header[0x1A] = 0x03;  // major version 3
    header[0x1C] = '\xFE';
    header[0x1D] = '\xFF';
    header[0x1E] = 9;  // 512-byte sectors
    header[0x20] = 6;
    put32(header, 0x2C, 1);  // one FAT sector
    put32(header, 0x30, 1);  // directory starts at sector 1
    put32(header, 0x38, 4096);
    put32(header, 0x3C, 0xFFFFFFFEu);  // no mini FAT
    put32(header, 0x44, 0xFFFFFFFEu);  // no DIFAT sectors
    for (int i = 0; i < 109; ++i) put32(header, 0x4C + 4 * i, 0xFFFFFFFFu);
    put32(header, 0x4C, 0);  // FAT in sector 0
    std::string fat(512, '\xFF');
    put32(fat, 0, 0xFFFFFFFDu);
    put32(fat, 4, 0xFFFFFFFEu);
    std::string dir(512, '\0');
    std::vector<std::string> names{"Root Entry"};
    names.insert(names.end(), streams.begin(), streams.end());
    for (std::size_t e = 0; e < names.size() && e < 4; ++e) {
        const std::size_t at = 128 * e;
        for (std::size_t c = 0; c < names[e].size(); ++c) dir[at + 2 * c] = names[e][c];
        dir[at + 0x40] = static_cast<char>(2 * (names[e].size() + 1));
        dir[at + 0x42] = e == 0 ? 5 : 2;
        // A valid tree: the root's child is the first stream, each stream's right sibling the next.
        put32(dir, at + 0x44, 0xFFFFFFFFu);
        const bool hasNext = e > 0 && e + 1 < names.size() && e + 1 < 4;
        put32(dir, at + 0x48, hasNext ? static_cast<std::uint32_t>(e + 1) : 0xFFFFFFFFu);
        put32(dir, at + 0x4C, e == 0 && names.size() > 1 ? 1 : 0xFFFFFFFFu);
        put32(dir, at + 0x74, 0xFFFFFFFEu);
    }
    return header + fat + dir;
}

Xml::Xml(const std::string& text) {
    if (!doc_.load_string(text.c_str())) throw std::runtime_error("test could not parse XML");
}

std::string placeholderPath(const std::string& type) {
    return "//p:sp[p:nvSpPr/p:nvPr/p:ph/@type='" + type + "']";
}

Presentation withSlideFooter(const std::filesystem::path& source, const std::string& text,
                             const Limits& limits) {
    Presentation deck = Presentation::open(source, limits);
    deck.setText(MasterKind::Slide, Element::Footer, text);
    deck.setVisible(MasterKind::Slide, Element::Footer, true);
    return deck;
}

}  // namespace trelwick::engine::test
