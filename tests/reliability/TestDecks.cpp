#include "TestDecks.h"

#include <stdexcept>

#include "ZipWriter.h"

namespace trelwick::reliability {
namespace {

const std::string kNs =
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main")";
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string rels(const std::string& body) {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
           body + "</Relationships>";
}

std::string rel(const std::string& id, const std::string& type, const std::string& target) {
    return R"(<Relationship Id=")" + id + R"(" Type=")" + kRel + type + R"(" Target=")" + target + R"("/>)";
}

std::string placeholder(int id, const std::string& type, int idx) {
    return R"(<p:sp><p:nvSpPr><p:cNvPr id=")" + std::to_string(id) + R"(" name=")" + type +
           R"("/><p:cNvSpPr/><p:nvPr><p:ph type=")" + type + R"(" idx=")" + std::to_string(idx) +
           R"("/></p:nvPr></p:nvSpPr><p:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="100" cy="100"/></a:xfrm></p:spPr><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:t>t</a:t></a:r></a:p></p:txBody></p:sp>)";
}

std::string tree(const std::string& shapes) {
    return R"(<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr/>)" +
           shapes + "</p:spTree></p:cSld>";
}

const std::string kClrMap =
    R"(<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3" accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"/>)";

}  // namespace

std::map<std::string, std::string> deckParts(int slides) {
    std::map<std::string, std::string> parts;
    std::string types =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/ppt/presentation.xml" ContentType="application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml"/><Override PartName="/ppt/slideMasters/slideMaster1.xml" ContentType="application/vnd.openxmlformats-officedocument.presentationml.slideMaster+xml"/><Override PartName="/ppt/slideLayouts/slideLayout1.xml" ContentType="application/vnd.openxmlformats-officedocument.presentationml.slideLayout+xml"/><Override PartName="/ppt/notesMasters/notesMaster1.xml" ContentType="application/vnd.openxmlformats-officedocument.presentationml.notesMaster+xml"/><Override PartName="/ppt/notesSlides/notesSlide1.xml" ContentType="application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml"/>)";
    std::string presentationRels = rel("rIdM", "slideMaster", "slideMasters/slideMaster1.xml") +
                                   rel("rIdN", "notesMaster", "notesMasters/notesMaster1.xml");
    std::string slideIds;
    for (int i = 1; i <= slides; ++i) {
        const std::string n = std::to_string(i);
        types +=
            R"(<Override PartName="/ppt/slides/slide)" + n +
            R"(.xml" ContentType="application/vnd.openxmlformats-officedocument.presentationml.slide+xml"/>)";
        presentationRels += rel("rId" + n, "slide", "slides/slide" + n + ".xml");
        slideIds += R"(<p:sldId id=")" + std::to_string(255 + i) + R"(" r:id="rId)" + n + R"("/>)";
        parts["ppt/slides/slide" + n + ".xml"] =
            "<p:sld" + kNs + ">" + tree(placeholder(2, "dt", 10)) + "</p:sld>";
        parts["ppt/slides/_rels/slide" + n + ".xml.rels"] =
            rels(rel("rId1", "slideLayout", "../slideLayouts/slideLayout1.xml") +
                 (i == 1 ? rel("rId2", "notesSlide", "../notesSlides/notesSlide1.xml") : ""));
    }
    parts["[Content_Types].xml"] = types + "</Types>";
    parts["_rels/.rels"] = rels(rel("rId1", "officeDocument", "ppt/presentation.xml"));
    parts["ppt/_rels/presentation.xml.rels"] = rels(presentationRels);
    parts["ppt/presentation.xml"] =
        "<p:presentation" + kNs +
        R"(><p:sldMasterIdLst><p:sldMasterId id="2147483648" r:id="rIdM"/></p:sldMasterIdLst><p:notesMasterIdLst><p:notesMasterId r:id="rIdN"/></p:notesMasterIdLst><p:sldIdLst>)" +
        slideIds +
        R"(</p:sldIdLst><p:sldSz cx="9144000" cy="6858000"/><p:notesSz cx="6858000" cy="9144000"/></p:presentation>)";
    const std::string masterShapes =
        placeholder(2, "dt", 10) + placeholder(3, "ftr", 11) + placeholder(4, "sldNum", 12);
    parts["ppt/slideMasters/slideMaster1.xml"] =
        "<p:sldMaster" + kNs + ">" + tree(masterShapes) + kClrMap +
        R"(<p:sldLayoutIdLst><p:sldLayoutId id="2147483649" r:id="rId1"/></p:sldLayoutIdLst></p:sldMaster>)";
    parts["ppt/slideMasters/_rels/slideMaster1.xml.rels"] =
        rels(rel("rId1", "slideLayout", "../slideLayouts/slideLayout1.xml"));
    parts["ppt/slideLayouts/slideLayout1.xml"] =
        "<p:sldLayout" + kNs + ">" + tree(masterShapes) + "</p:sldLayout>";
    parts["ppt/slideLayouts/_rels/slideLayout1.xml.rels"] =
        rels(rel("rId1", "slideMaster", "../slideMasters/slideMaster1.xml"));
    parts["ppt/notesMasters/notesMaster1.xml"] =
        "<p:notesMaster" + kNs + ">" +
        tree(placeholder(2, "hdr", 1) + placeholder(3, "dt", 2) + placeholder(4, "ftr", 3) +
             placeholder(5, "sldNum", 4)) +
        kClrMap + "</p:notesMaster>";
    parts["ppt/notesSlides/notesSlide1.xml"] =
        "<p:notes" + kNs + ">" + tree(placeholder(2, "hdr", 1)) + "</p:notes>";
    parts["ppt/notesSlides/_rels/notesSlide1.xml.rels"] =
        rels(rel("rId1", "notesMaster", "../notesMasters/notesMaster1.xml") +
             rel("rId2", "slide", "../slides/slide1.xml"));
    return parts;
}

void writeDeck(const std::filesystem::path& file, const std::map<std::string, std::string>& parts) {
    ZipWriter zip(file);
    // [Content_Types].xml first, as Office writes it.
    zip.addDeflated("[Content_Types].xml", parts.at("[Content_Types].xml"));
    for (const auto& [name, content] : parts)
        if (name != "[Content_Types].xml") zip.addDeflated(name, content);
    zip.finish();
}

}  // namespace trelwick::reliability
