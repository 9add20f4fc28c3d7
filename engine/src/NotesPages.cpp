#include "NotesPages.h"

#include <algorithm>

#include "Namespaces.h"
#include "PageXml.h"
#include "PlaceholderText.h"

namespace trelwick::engine {
namespace {

std::string escapeAttribute(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

}  // namespace

void addNotesMaster(Deck& deck) {
    const bool strict = deck.strict();
    const std::string pml(strict ? ns::kPmlStrict : ns::kPml);
    const std::string dml(strict ? ns::kDmlStrict : ns::kDml);
    const std::string rel(strict ? ns::kRelStrict : ns::kRel);
    const std::int64_t w = deck.notesWidth, h = deck.notesHeight;
    auto box = [](std::int64_t x, std::int64_t y, std::int64_t cx, std::int64_t cy) {
        return "<a:xfrm><a:off x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
               "\"/><a:ext cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) + "\"/></a:xfrm>";
    };
    int id = 1;
    auto textPh = [&](const char* name, const char* ph, std::int64_t x, std::int64_t y, std::int64_t cx,
                      std::int64_t cy, const char* align, const std::string& paragraph) {
        ++id;
        return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name + " " +
               std::to_string(id - 1) + "\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr>" + ph +
               "</p:nvPr></p:nvSpPr><p:spPr>" + box(x, y, cx, cy) +
               "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></p:spPr><p:txBody><a:bodyPr vert=\"horz\" "
               "lIns=\"91440\" "
               "tIns=\"45720\" rIns=\"91440\" bIns=\"45720\" rtlCol=\"0\"/><a:lstStyle><a:lvl1pPr algn=\"" +
               align + "\"><a:defRPr sz=\"1200\"/></a:lvl1pPr></a:lstStyle>" + paragraph +
               "</p:txBody></p:sp>";
    };
    const std::string empty = "<a:p><a:endParaRPr lang=\"en-US\"/></a:p>";
    const std::int64_t bandW = w * 4333 / 10000, bandH = h / 20, right = w * 5664 / 10000;
    const std::int64_t imageW = w * 3 / 4;
    const std::int64_t imageH =
        std::min<std::int64_t>(imageW * deck.slideHeight / deck.slideWidth, h * 3 / 10);
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<p:notesMaster xmlns:a=\"" + dml +
        "\" xmlns:r=\"" + rel + "\" xmlns:p=\"" + pml +
        "\"><p:cSld><p:bg><p:bgRef idx=\"1001\"><a:schemeClr val=\"bg1\"/></p:bgRef></p:bg><p:spTree>"
        "<p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm>"
        "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/><a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" "
        "cy=\"0\"/>"
        "</a:xfrm></p:grpSpPr>";
    xml +=
        textPh("Header Placeholder", "<p:ph type=\"hdr\" sz=\"quarter\"/>", 0, 0, bandW, bandH, "l", empty);
    xml += textPh("Date Placeholder", "<p:ph type=\"dt\" idx=\"1\"/>", right, 0, bandW, bandH, "r", empty);
    ++id;
    xml += "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) +
           "\" name=\"Slide Image Placeholder 3\"/><p:cNvSpPr><a:spLocks noGrp=\"1\" noRot=\"1\" "
           "noChangeAspect=\"1\"/>"
           "</p:cNvSpPr><p:nvPr><p:ph type=\"sldImg\" idx=\"2\"/></p:nvPr></p:nvSpPr><p:spPr>" +
           box((w - imageW) / 2, h / 8, imageW, imageH) +
           "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom><a:noFill/><a:ln w=\"12700\"><a:solidFill>"
           "<a:prstClr val=\"black\"/></a:solidFill></a:ln></p:spPr></p:sp>";
    xml += textPh("Notes Placeholder", "<p:ph type=\"body\" sz=\"quarter\" idx=\"3\"/>", w / 10, h * 48 / 100,
                  w * 8 / 10, h * 39 / 100, "l", empty);
    xml += textPh("Footer Placeholder", "<p:ph type=\"ftr\" sz=\"quarter\" idx=\"4\"/>", 0, h - bandH, bandW,
                  bandH, "l", empty);
    xml +=
        textPh("Slide Number Placeholder", "<p:ph type=\"sldNum\" sz=\"quarter\" idx=\"5\"/>", right,
               h - bandH, bandW, bandH, "r",
               "<a:p><a:fld id=\"" + stableGuid("notesMaster:sldNum") +
                   "\" type=\"slidenum\"><a:rPr lang=\"en-US\"/><a:t>\xE2\x80\xB9#\xE2\x80\xBA</a:t></a:fld>"
                   "<a:endParaRPr lang=\"en-US\"/></a:p>");
    xml +=
        "</p:spTree></p:cSld><p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" "
        "accent2=\"accent2\" accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" accent6=\"accent6\" "
        "hlink=\"hlink\" folHlink=\"folHlink\"/><p:notesStyle><a:lvl1pPr marL=\"0\" algn=\"l\" "
        "defTabSz=\"914400\">"
        "<a:defRPr sz=\"1200\" kern=\"1200\"><a:solidFill><a:schemeClr val=\"tx1\"/></a:solidFill>"
        "<a:latin typeface=\"+mn-lt\"/><a:ea typeface=\"+mn-ea\"/><a:cs typeface=\"+mn-cs\"/></a:defRPr>"
        "</a:lvl1pPr></p:notesStyle></p:notesMaster>";

    const std::string name = deck.unusedPartName("ppt/notesMasters", "notesMaster");
    deck.addXmlPart(name, xml, ns::kNotesMasterType);
    // The notes master gets its own copy of the first design's theme, as PowerPoint does.
    std::string theme =
        deck.slideMasters.empty() ? std::string() : deck.target(deck.slideMasters.front(), ns::kTheme);
    // Read once, so that a damaged theme is refused rather than copied, but written from its stored
    // bytes: deflating it again changed nothing but the cost.
    if (const std::string entry = theme.empty() ? std::string() : deck.zip().find(theme); !entry.empty()) {
        deck.zip().read(entry);
        const std::string themeName = deck.unusedPartName("ppt/theme", "theme");
        deck.addCopiedPart(themeName, entry, ns::kThemeType);
        deck.addRelationship(name, ns::kTheme, themeName);
    }
    const std::string rid = deck.addRelationship(deck.presentationPart(), ns::kNotesMaster, name);

    XmlPart& presentation = deck.presentation();
    const std::string pp = presentation.prefixOf(ns::kPml, ns::kPmlStrict);
    const std::string rp = presentation.ensurePrefix(ns::kRel, ns::kRelStrict, strict, "r");
    pugi::xml_node root = presentation.root();
    pugi::xml_node list;
    if (pugi::xml_node masters = root.child(qualified(pp, "sldMasterIdLst").c_str()))
        list = root.insert_child_after(qualified(pp, "notesMasterIdLst").c_str(), masters);
    else
        list = root.prepend_child(qualified(pp, "notesMasterIdLst").c_str());
    list.append_child(qualified(pp, "notesMasterId").c_str()).append_attribute(qualified(rp, "id").c_str()) =
        rid.c_str();
    presentation.markDirty();
    deck.notesMaster = name;
}

std::string addNotesSlide(Deck& deck, const Prefixes& masterPx, const std::string& slide) {
    const bool strict = deck.strict();
    XmlPart& master = deck.part(deck.notesMaster);
    auto phFromMaster = [&](const char* type, const char* fallback) {
        const auto found = placeholders(master, masterPx, type);
        if (found.empty()) return std::string(fallback);
        std::string ph = "<p:ph";
        for (pugi::xml_attribute a : phOf(found.front(), masterPx).attributes()) {
            const std::string_view attr = a.name();
            if (attr == "type" || attr == "idx" || attr == "sz" || attr == "orient")
                ph += std::string(" ") + a.name() + "=\"" + escapeAttribute(a.value()) + "\"";
        }
        return ph + "/>";
    };
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<p:notes xmlns:a=\"" +
        std::string(strict ? ns::kDmlStrict : ns::kDml) + "\" xmlns:r=\"" +
        std::string(strict ? ns::kRelStrict : ns::kRel) + "\" xmlns:p=\"" +
        std::string(strict ? ns::kPmlStrict : ns::kPml) +
        "\"><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" "
        "name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
        "<p:grpSpPr/><p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Slide Image Placeholder "
        "1\"/><p:cNvSpPr><a:spLocks "
        "noGrp=\"1\" noRot=\"1\" noChangeAspect=\"1\"/></p:cNvSpPr><p:nvPr>" +
        phFromMaster("sldImg", "<p:ph type=\"sldImg\"/>") +
        "</p:nvPr></p:nvSpPr><p:spPr/></p:sp><p:sp><p:nvSpPr><p:cNvPr id=\"3\" name=\"Notes Placeholder 2\"/>"
        "<p:cNvSpPr><a:spLocks noGrp=\"1\"/></p:cNvSpPr><p:nvPr>" +
        phFromMaster("body", "<p:ph type=\"body\" idx=\"1\"/>") +
        "</p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:endParaRPr "
        "lang=\"en-US\"/></a:p>"
        "</p:txBody></p:sp></p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:notes>";
    const std::string name = deck.unusedPartName("ppt/notesSlides", "notesSlide");
    deck.addXmlPart(name, xml, ns::kNotesSlideType);
    deck.addRelationship(name, ns::kNotesMaster, deck.notesMaster);
    deck.addRelationship(name, ns::kSlide, slide);
    deck.addRelationship(slide, ns::kNotesSlide, name);
    return name;
}

}  // namespace trelwick::engine
