#include "PlaceholderText.h"

#include <cstdint>
#include <cstdio>

namespace trelwick::engine {
namespace {

constexpr const char* kDefaultLang = "en-US";

// Brings every slide-number field of body up to number.
void refreshNumberFields(pugi::xml_node body, const Prefixes& px, const std::string& number) {
    for (pugi::xml_node p : body.children(px.aP.c_str())) {
        bool inParagraph = false;
        for (pugi::xml_node fld : p.children(px.aFld.c_str())) {
            if (std::string_view(fld.attribute("type").value()) != "slidenum") continue;
            pugi::xml_node t = fld.child(px.aT.c_str());
            if (!t) t = fld.append_child(px.aT.c_str());
            t.text().set(number.c_str());
            inParagraph = true;
        }
        // As in a paragraph the stamp writes (see fillText).
        if (inParagraph && !p.child(px.aPPr.c_str())) p.prepend_child(px.aPPr.c_str());
    }
}

}  // namespace

std::string shapeText(pugi::xml_node sp, const Prefixes& px) {
    std::string text;
    bool first = true;
    const std::string& paragraph = px.aP;
    for (pugi::xml_node p : sp.child(px.txBody.c_str()).children(paragraph.c_str())) {
        if (!first) text += '\n';
        first = false;
        for (pugi::xml_node run : p.children()) {
            if (run.name() == px.aR || run.name() == px.aFld) text += run.child(px.aT.c_str()).text().get();
            if (run.name() == px.aBr) text += '\v';
        }
    }
    return text;
}

std::string fieldType(pugi::xml_node sp, const Prefixes& px) {
    const std::string& paragraph = px.aP;
    for (pugi::xml_node p : sp.child(px.txBody.c_str()).children(paragraph.c_str()))
        if (pugi::xml_node fld = p.child(px.aFld.c_str())) return fld.attribute("type").value();
    return {};
}

std::string stableGuid(const std::string& seed) {
    auto fnv = [&seed](std::uint64_t h) {
        for (unsigned char c : seed) h = (h ^ c) * 1099511628211ull;
        return h;
    };
    const std::uint64_t hi = fnv(14695981039346656037ull);
    const std::uint64_t lo = fnv(hi ^ 0x9E3779B97F4A7C15ull);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(hi >> 32),
                  static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFFF),
                  static_cast<unsigned>(lo >> 48), static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
    return buffer;
}

bool showsNumberInText(pugi::xml_node sp, const Prefixes& px) {
    bool number = false, words = false;
    for (pugi::xml_node p : sp.child(px.txBody.c_str()).children(px.aP.c_str())) {
        for (pugi::xml_node run : p.children()) {
            if (run.name() == px.aFld && std::string_view(run.attribute("type").value()) == "slidenum")
                number = true;
            else if ((run.name() == px.aR || run.name() == px.aFld) && *run.child(px.aT.c_str()).text().get())
                words = true;
        }
    }
    return number && words;
}

void fillText(pugi::xml_node sp, const Prefixes& px, const Content& content, const std::string& guidSeed) {
    pugi::xml_node body = sp.child(px.txBody.c_str());
    if (!body) {
        body = insertBefore(sp, px.txBody, {px.extLst});
        body.append_child(px.aBodyPr.c_str());
        body.append_child(px.aLstStyle.c_str());
    }
    // The words around a number ("Page ‹#›") are the author's, and PowerPoint keeps them.
    if (content.field == "slidenum" && showsNumberInText(sp, px)) {
        refreshNumberFields(body, px, content.text);
        return;
    }
    pugi::xml_node oldPPr;
    pugi::xml_node oldRPr;
    std::string fieldId;
    const std::string& paragraph = px.aP;
    for (pugi::xml_node p : body.children(paragraph.c_str())) {
        if (!oldPPr) oldPPr = p.child(px.aPPr.c_str());
        for (pugi::xml_node run : p.children()) {
            if (!oldRPr && (run.name() == px.aR || run.name() == px.aFld))
                oldRPr = run.child(px.aRPr.c_str());
            if (fieldId.empty() && run.name() == px.aFld) fieldId = run.attribute("id").value();
        }
        if (!oldRPr) oldRPr = p.child(px.aEndParaRPr.c_str());
    }

    // The new paragraph is built after the old ones, copying from them, which then go.
    pugi::xml_node p = body.append_child(px.aP.c_str());
    if (oldPPr)
        p.append_copy(oldPPr);
    else
        p.append_child(px.aPPr.c_str());
    pugi::xml_node run = p.append_child(content.field.empty() ? px.aR.c_str() : px.aFld.c_str());
    if (!content.field.empty()) {
        run.append_attribute("id") = (fieldId.empty() ? stableGuid(guidSeed) : fieldId).c_str();
        run.append_attribute("type") = content.field.c_str();
    }
    pugi::xml_node newRPr = run.append_child(px.aRPr.c_str());
    if (oldRPr) {
        for (pugi::xml_attribute a : oldRPr.attributes()) newRPr.append_attribute(a.name()) = a.value();
        for (pugi::xml_node c : oldRPr.children()) newRPr.append_copy(c);
    } else {
        newRPr.append_attribute("lang") = kDefaultLang;
    }
    run.append_child(px.aT.c_str()).text().set(content.text.c_str());
    for (pugi::xml_node old = body.child(paragraph.c_str()); old != p; old = body.child(paragraph.c_str()))
        body.remove_child(old);
}

std::string writableText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == '\v') {
            // A line ends in CR, LF or CR LF, as the text came from; each end is one space.
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += ' ';
        } else if (text.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < text.size() &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            i += 2;
        } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
            out += c;
        }
    }
    return out;
}

}  // namespace trelwick::engine
