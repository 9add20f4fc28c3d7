#include "HeaderFooterStamper.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "AlternateContent.h"
#include "DateText.h"
#include "Failure.h"
#include "Namespaces.h"
#include "NotesPages.h"
#include "PageShapes.h"
#include "PageXml.h"
#include "PlaceholderText.h"
#include "StampLookup.h"

namespace trelwick::engine {
namespace {

const char* placeholderType(Element e) {
    switch (e) {
        case Element::DateAndTime:
            return "dt";
        case Element::Footer:
            return "ftr";
        case Element::Header:
            return "hdr";
        case Element::SlideNumber:
            return "sldNum";
    }
    return "";
}

// The stamp edits only the placeholders of its own types (and the shapes it adds); any other shape of a
// page it stamps is written back as read. It finds them where collectPlaceholders looks: p:sp/nvSpPr/nvPr/
// p:ph, down through groups. This looks in the same places by local name only (so any prefix counts),
// which is never less than what the stamp finds, and passes over text bodies and pictures: walking
// every node of every shape cost a twentieth of stamping a real deck. A placeholder the stamp removes
// from a group leaves no trace in what is left, so the group is marked as edited then (stampPage).
bool holdsStampedPlaceholder(pugi::xml_node shape) {
    auto stamped = [](pugi::xml_node ph) {
        const std::string_view type = ph.attribute("type").value();
        return type == "dt" || type == "ftr" || type == "hdr" || type == "sldNum";
    };
    auto children = [](pugi::xml_node parent, std::string_view local, auto&& visit) {
        for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
            if (c.type() == pugi::node_element && localName(c.name()) == local && visit(c)) return true;
        return false;
    };
    const std::string_view local = localName(shape.name());
    if (local == "sp")
        return children(shape, "nvSpPr", [&](pugi::xml_node nv) {
            return children(nv, "nvPr", [&](pugi::xml_node pr) { return children(pr, "ph", stamped); });
        });
    if (local == "grpSp")
        for (pugi::xml_node c = shape.first_child(); c; c = c.next_sibling())
            if (c.type() == pugi::node_element && holdsStampedPlaceholder(c)) return true;
    return false;
}

std::vector<std::string_view> stampedTypes(const std::map<Element, HeaderFooter>& settings) {
    std::vector<std::string_view> types;
    for (const auto& entry : settings) types.push_back(placeholderType(entry.first));
    return types;
}

const char* placeholderName(Element e) {
    switch (e) {
        case Element::DateAndTime:
            return "Date Placeholder";
        case Element::Footer:
            return "Footer Placeholder";
        case Element::Header:
            return "Header Placeholder";
        case Element::SlideNumber:
            return "Slide Number Placeholder";
    }
    return "";
}

// Whether a box from start with extent ends within limit; a sum past the range of the type is not.
bool endsWithin(std::int64_t start, std::int64_t extent, std::int64_t limit) {
    std::int64_t end = 0;
    return !__builtin_add_overflow(start, extent, &end) && end <= limit;
}

bool hasXfrm(pugi::xml_node sp, const Prefixes& px) {
    return static_cast<bool>(sp.child(px.spPr.c_str()).child(px.aXfrm.c_str()));
}

struct Box {
    std::int64_t x, y, cx, cy;
    const char* align;
};

// Where PowerPoint's default templates put the band of each element, as fractions of the page.
Box defaultBox(Element e, bool notesPage, std::int64_t w, std::int64_t h) {
    auto at = [&](double x, double y, double cx, double cy, const char* align) {
        return Box{static_cast<std::int64_t>(w * x), static_cast<std::int64_t>(h * y),
                   static_cast<std::int64_t>(w * cx), static_cast<std::int64_t>(h * cy), align};
    };
    if (notesPage) {
        switch (e) {
            case Element::Header:
                return at(0, 0, 0.4333, 0.05, "l");
            case Element::DateAndTime:
                return at(0.5664, 0, 0.4333, 0.05, "r");
            case Element::Footer:
                return at(0, 0.95, 0.4333, 0.05, "l");
            case Element::SlideNumber:
                return at(0.5664, 0.95, 0.4333, 0.05, "r");
        }
    }
    switch (e) {
        case Element::DateAndTime:
            return at(0.0688, 0.9267, 0.225, 0.0532, "l");
        case Element::Footer:
            return at(0.3313, 0.9267, 0.3375, 0.0532, "ctr");
        default:
            return at(0.7063, 0.9267, 0.225, 0.0532, "r");
    }
}

void writeXfrm(pugi::xml_node spPr, const Prefixes& px, const Box& box) {
    pugi::xml_node xfrm = spPr.prepend_child(px.aXfrm.c_str());
    pugi::xml_node off = xfrm.append_child(px.aOff.c_str());
    off.append_attribute("x") = box.x;
    off.append_attribute("y") = box.y;
    pugi::xml_node ext = xfrm.append_child(px.aExt.c_str());
    ext.append_attribute("cx") = box.cx;
    ext.append_attribute("cy") = box.cy;
}

// The box a page placeholder is drawn in: its own, else the layout placeholder it inherits from (same idx,
// else same type), else the master's of its type. Null when none has one.
pugi::xml_node drawnXfrm(Deck& deck, StampLookup& lookup, pugi::xml_node sp, const Prefixes& px,
                         const std::string& layout, const std::string& master) {
    if (pugi::xml_node own = childNamed(childNamed(sp, "spPr"), "xfrm")) return own;
    const pugi::xml_node ph = phOf(sp, px);
    const std::string_view type = ph.attribute("type").value();
    auto from = [&](const std::string& name, bool byIdx) -> pugi::xml_node {
        if (name.empty()) return {};
        const XmlPart& part = deck.part(name);
        const std::vector<Placeholder>& found = lookup.inheritedPlaceholders(part);
        pugi::xml_node match;
        if (byIdx)
            for (const Placeholder& candidate : found)
                if (candidate.idx() == ph.attribute("idx").as_llong(0)) {
                    match = candidate.sp;
                    break;
                }
        if (!match)
            for (const Placeholder& candidate : found)
                if (candidate.type() == type) {
                    match = candidate.sp;
                    break;
                }
        return childNamed(childNamed(match, "spPr"), "xfrm");
    };
    if (pugi::xml_node inherited = from(layout, true)) return inherited;
    return from(master, false);
}

// A box reaching past the page edge cuts its text off (LibreOffice drops a line whose baseline falls
// outside the page, PowerPoint clips it), so the placeholder gets its own box, moved onto the page.
void keepOnPage(pugi::xml_node sp, const Prefixes& px, pugi::xml_node drawn, std::int64_t width,
                std::int64_t height) {
    // Rotated boxes and boxes in groups have other extents on the page; they are left alone.
    if (!drawn || drawn.attribute("rot").as_llong(0) != 0 || localName(sp.parent().name()) != "spTree")
        return;
    const pugi::xml_node off = childNamed(drawn, "off");
    const pugi::xml_node ext = childNamed(drawn, "ext");
    if (!off || !ext) return;
    const std::int64_t x = off.attribute("x").as_llong(0), y = off.attribute("y").as_llong(0);
    const std::int64_t cx = std::clamp<std::int64_t>(ext.attribute("cx").as_llong(0), 0, width);
    const std::int64_t cy = std::clamp<std::int64_t>(ext.attribute("cy").as_llong(0), 0, height);
    const std::int64_t nx = std::clamp<std::int64_t>(x, 0, width - cx);
    const std::int64_t ny = std::clamp<std::int64_t>(y, 0, height - cy);
    if (nx == x && ny == y && cx == ext.attribute("cx").as_llong(0) && cy == ext.attribute("cy").as_llong(0))
        return;
    pugi::xml_node spPr = sp.child(px.spPr.c_str());
    if (!spPr) spPr = insertBefore(sp, px.spPr, {px.style, px.txBody, px.extLst});
    pugi::xml_node own = childNamed(spPr, "xfrm");
    if (!own) own = spPr.prepend_child(px.aXfrm.c_str());
    auto child = [&](const char* local) {
        pugi::xml_node c = childNamed(own, local);
        return c ? c : own.append_child(px.d(local).c_str());
    };
    auto set = [](pugi::xml_node node, const char* name, std::int64_t value) {
        pugi::xml_attribute a = node.attribute(name);
        (a ? a : node.append_attribute(name)).set_value(static_cast<long long>(value));
    };
    pugi::xml_node ownOff = child("off");
    set(ownOff, "x", nx);
    set(ownOff, "y", ny);
    pugi::xml_node ownExt = child("ext");
    set(ownExt, "cx", cx);
    set(ownExt, "cy", cy);
}

const char* hfSuccessor(std::string_view rootLocal) {
    if (rootLocal == "sldMaster") return "txStyles";
    if (rootLocal == "notesMaster") return "notesStyle";
    return "extLst";
}

// A master's relationship to one of its layouts.
bool isLayoutOf(const Relationship& r) {
    return !r.external && std::string_view(r.type).ends_with("/slideLayout");
}

XmlPart& typedPart(Deck& deck, const std::string& name, std::string_view local) {
    XmlPart& part = deck.part(name);
    if (localName(part.root().name()) != local)
        fail(ErrorCode::DamagedPackage, deck.label(), name,
             "a relationship points at a part that is not a " + std::string(local));
    return part;
}

// PowerPoint gives a new number the words its layout shows around it ("Page ‹#›"): the template's
// paragraphs are copied into body when they mean the same there.
void copyNumberWords(pugi::xml_node templ, const Prefixes& templPx, pugi::xml_node body, const Prefixes& px) {
    if (!templ || templPx.a != px.a || !showsNumberInText(templ, templPx)) return;
    const pugi::xml_node from = templ.child(templPx.txBody.c_str());
    for (pugi::xml_node p = from.child(templPx.aP.c_str()); p; p = p.next_sibling(templPx.aP.c_str()))
        if (!meansTheSameUnder(p, body, px)) return;
    for (pugi::xml_node p : from.children(templPx.aP.c_str())) body.append_copy(p);
}

}  // namespace

void HeaderFooterStamper::preload(Deck& deck) {
    // A part and its relationships part, parsed; false when either cannot be. Relationships are
    // followed only from parts whose relationships parsed: the deck keeps the list of a source asked
    // for even when its part was damaged, and that first failure belongs to the call that needs it.
    auto parse = [&deck](const std::string& name) {
        if (name.empty()) return false;
        try {
            deck.part(name);
            const std::string rels = relationshipsPartOf(name);
            if (deck.exists(rels)) deck.part(rels);
            return true;
        } catch (const Error&) {
            return false;  // reported by whatever reads the part for real
        }
    };
    auto follow = [&deck](const std::string& source, std::string_view type) {
        try {
            return deck.target(source, type);
        } catch (const Error&) {
            return std::string();
        }
    };
    for (const std::string& master : deck.slideMasters) {
        if (!parse(master)) continue;
        try {
            for (const Relationship& r : deck.relationships(master))
                if (isLayoutOf(r)) parse(deck.resolve(master, r.target));
        } catch (const Error&) {
        }
    }
    for (const std::string& slide : deck.slides) {
        if (!parse(slide)) continue;
        const std::string layout = follow(slide, ns::kSlideLayout);
        if (parse(layout)) parse(follow(layout, ns::kSlideMaster));
        parse(follow(slide, ns::kNotesSlide));
    }
    parse(deck.notesMaster);
    parse(deck.handoutMaster);
}

void HeaderFooterStamper::load(Deck& deck) {
    auto withRelationships = [&deck](const std::string& name, std::string_view local) {
        typedPart(deck, name, local);
        deck.relationships(name);
    };
    for (const std::string& master : deck.slideMasters) {
        withRelationships(master, "sldMaster");
        for (const Relationship& r : deck.relationships(master))
            if (isLayoutOf(r)) withRelationships(deck.resolve(master, r.target), "sldLayout");
    }
    for (const std::string& slide : deck.slides) {
        withRelationships(slide, "sld");
        if (const std::string layout = deck.target(slide, ns::kSlideLayout); !layout.empty()) {
            withRelationships(layout, "sldLayout");
            if (const std::string master = deck.target(layout, ns::kSlideMaster); !master.empty())
                withRelationships(master, "sldMaster");
        }
        if (const std::string notes = deck.target(slide, ns::kNotesSlide); !notes.empty())
            typedPart(deck, notes, "notes");
    }
    if (!deck.notesMaster.empty()) typedPart(deck, deck.notesMaster, "notesMaster");
    if (!deck.handoutMaster.empty()) typedPart(deck, deck.handoutMaster, "handoutMaster");
}

HeaderFooterStamper::HeaderFooterStamper(Deck& deck, std::chrono::system_clock::time_point now)
    : deck_(deck), lookup_(std::make_unique<StampLookup>(deck.label())), now_(now) {}

HeaderFooterStamper::~HeaderFooterStamper() = default;

HeaderFooter HeaderFooterStamper::read(MasterKind kind, Element element) {
    HeaderFooter result;
    const char* type = placeholderType(element);
    auto fromShape = [&](pugi::xml_node sp, const Prefixes& px) {
        result.text = shapeText(sp, px);
        const std::string field = fieldType(sp, px);
        if (element == Element::DateAndTime && field.rfind("datetime", 0) == 0) {
            result.useFormat = true;
            const int n = std::atoi(field.c_str() + 8);
            result.format = n >= 1 && n <= 13 ? n : 1;
        }
    };
    std::vector<std::string> pages;
    std::string master;
    if (kind == MasterKind::Slide) {
        pages = deck_.slides;
        master = deck_.slideMasters.empty() ? std::string() : deck_.slideMasters.front();
    } else if (kind == MasterKind::Notes) {
        for (const std::string& slide : deck_.slides)
            if (std::string notes = deck_.target(slide, ns::kNotesSlide); !notes.empty())
                pages.push_back(notes);
        master = deck_.notesMaster;
    } else {
        master = deck_.handoutMaster;
    }
    for (const std::string& page : pages) {
        XmlPart& part = deck_.part(page);
        // Every element is read on its own; remembering a page's placeholder types spares scanning
        // each page once per element when most pages carry none.
        if (!part.dirty()) {
            if (!part.placeholderTypes()) {
                const Prefixes& px = lookup_->prefixes(part);
                std::vector<std::string> types;
                for (const Placeholder& p : placeholderRecords(part, px, "")) types.emplace_back(p.type());
                part.rememberPlaceholderTypes(std::move(types));
            }
            const std::vector<std::string>& types = *part.placeholderTypes();
            if (std::find(types.begin(), types.end(), type) == types.end()) continue;
        }
        const Prefixes& px = lookup_->prefixes(part);
        const auto found = placeholders(part, px, type);
        if (found.empty()) continue;
        result.visible = true;
        fromShape(found.front(), px);
        return result;
    }
    if (master.empty()) return result;
    XmlPart& part = deck_.part(master);
    const Prefixes& px = lookup_->prefixes(part);
    const auto found = placeholders(part, px, type);
    if (!found.empty() && element != Element::SlideNumber) fromShape(found.front(), px);
    if (kind == MasterKind::Handout) {
        const pugi::xml_node hf = part.root().child(px.hf.c_str());
        result.visible = hf && hf.attribute(type).as_bool(true);
    }
    return result;
}

void HeaderFooterStamper::apply(MasterKind kind, const std::map<Element, HeaderFooter>& settings,
                                const std::set<Element>& textGiven) {
    if (settings.empty()) return;
    textGiven_ = textGiven;
    switch (kind) {
        case MasterKind::Slide:
            applySlides(settings);
            break;
        case MasterKind::Notes:
            applyNotes(settings);
            break;
        case MasterKind::Handout:
            applyHandout(settings);
            break;
    }
}

void HeaderFooterStamper::applySlides(const std::map<Element, HeaderFooter>& settings) {
    // Each slide's layout and master.
    std::vector<std::pair<std::string, std::string>> inherits;
    inherits.reserve(deck_.slides.size());
    for (const std::string& slide : deck_.slides) {
        auto& [layout, master] = inherits.emplace_back(deck_.target(slide, ns::kSlideLayout), std::string());
        if (layout.empty()) continue;
        master = deck_.target(layout, ns::kSlideMaster);
    }
    std::vector<std::string> stamped;  // masters and layouts, in the order their text boxes are told of
    std::set<std::string> layoutsDone;
    auto stampLayout = [&](const std::string& layout) {
        if (layout.empty() || !layoutsDone.insert(layout).second) return;
        XmlPart& part = typedPart(deck_, layout, "sldLayout");
        const bool title =
            !deck_.showOnTitleSlide && std::string_view(part.root().attribute("type").value()) == "title";
        stampMaster(part, settings, title);
        stamped.push_back(layout);
    };
    for (const std::string& master : deck_.slideMasters) {
        stampMaster(typedPart(deck_, master, "sldMaster"), settings, false);
        stamped.push_back(master);
        for (const Relationship& r : deck_.relationships(master))
            if (isLayoutOf(r)) stampLayout(deck_.resolve(master, r.target));
    }
    // A slide is let go of once stamped (XmlPart::release), so what is asked of it later is read first.
    std::vector<char> slideShowsShapesBehind(deck_.slides.size(), 0);
    for (std::size_t i = 0; i < deck_.slides.size(); ++i) {
        XmlPart& slide = typedPart(deck_, deck_.slides[i], "sld");
        const auto& [layout, master] = inherits[i];
        bool title = false;
        if (!layout.empty()) {
            stampLayout(layout);
            XmlPart& layoutPart = deck_.part(layout);
            title = !deck_.showOnTitleSlide &&
                    std::string_view(layoutPart.root().attribute("type").value()) == "title";
            if (!master.empty()) typedPart(deck_, master, "sldMaster");
        }
        unwrapStampedAlternates(slide, shapeTree(slide, lookup_->prefixes(slide)), lookup_->prefixes(slide),
                                stampedTypes(settings));
        {
            PageShapes shapes(slide, lookup_->prefixes(slide));
            Page page{slide,
                      shapes,
                      deck_.firstSlideNumber + static_cast<int>(i),
                      layout,
                      master,
                      false,
                      inherited_[{layout, master}]};
            for (const auto& [element, setting] : settings)
                stampPage(page, element, setting, setting.visible && !title);
        }
        slideShowsShapesBehind[i] = slide.root().attribute("showMasterSp").as_bool(true);
        slide.release();
    }
    // A text box of a master or layout is drawn only on the slides under it that show the shapes behind
    // them (showMasterSp, "hide background graphics"); one no slide draws is no reason to warn. A master
    // the presentation lists twice is told of once.
    auto showsShapesBehind = [&](const std::string& name) {
        return deck_.part(name).root().attribute("showMasterSp").as_bool(true);
    };
    std::set<std::string> drawn;
    for (std::size_t i = 0; i < deck_.slides.size(); ++i) {
        const auto& [layout, master] = inherits[i];
        if (layout.empty() || !slideShowsShapesBehind[i]) continue;
        drawn.insert(layout);
        if (showsShapesBehind(layout)) drawn.insert(master);
    }
    for (const std::string& name : stamped)
        if (drawn.erase(name) > 0) noteFixedFooters(deck_.part(name));
}

void HeaderFooterStamper::applyNotes(const std::map<Element, HeaderFooter>& settings) {
    const bool anyShown =
        std::any_of(settings.begin(), settings.end(), [](const auto& s) { return s.second.visible; });
    if (deck_.notesMaster.empty() && anyShown) addNotesMaster(deck_);
    if (!deck_.notesMaster.empty())
        stampMaster(typedPart(deck_, deck_.notesMaster, "notesMaster"), settings, false);
    const std::string noLayout;
    for (std::size_t i = 0; i < deck_.slides.size(); ++i) {
        std::string notes = deck_.target(deck_.slides[i], ns::kNotesSlide);
        // No renderer shows notes headers on a slide without a notes slide, so one is made.
        if (notes.empty() && anyShown)
            notes = addNotesSlide(deck_, lookup_->prefixes(deck_.part(deck_.notesMaster)), deck_.slides[i]);
        if (notes.empty()) continue;
        XmlPart& part = typedPart(deck_, notes, "notes");
        unwrapStampedAlternates(part, shapeTree(part, lookup_->prefixes(part)), lookup_->prefixes(part),
                                stampedTypes(settings));
        {
            PageShapes shapes(part, lookup_->prefixes(part));
            Page page{part,
                      shapes,
                      deck_.firstSlideNumber + static_cast<int>(i),
                      noLayout,
                      deck_.notesMaster,
                      true,
                      inherited_[{noLayout, deck_.notesMaster}]};
            for (const auto& [element, setting] : settings)
                stampPage(page, element, setting, setting.visible);
        }
        part.release();
    }
}

void HeaderFooterStamper::applyHandout(const std::map<Element, HeaderFooter>& settings) {
    if (deck_.handoutMaster.empty()) return;
    stampMaster(typedPart(deck_, deck_.handoutMaster, "handoutMaster"), settings, false);
}

// Templates often draw a number or a date as a plain text box on the master or a layout; it shows on
// every slide under it whatever the settings say, so the user is told rather than left wondering.
void HeaderFooterStamper::noteFixedFooters(XmlPart& part) {
    const Prefixes& px = lookup_->prefixes(part);
    const std::string field = px.aFld;
    const std::string groupProperties = px.q("nvGrpSpPr");
    // A table's cells hold text, fields included, as a text box does.
    const std::string frame = px.q("graphicFrame");
    const std::string frameProperties = px.q("nvGraphicFramePr");
    bool number = false, date = false;
    // Walked top-down with whether a drawn shape holds the node, and whether a hidden shape or group
    // does: looking up from each field instead took 14 s for 200,000 fields under 990 groups.
    struct Visit {
        pugi::xml_node node;
        bool inShape;
        bool hidden;
    };
    std::vector<Visit> pending{{part.root(), false, false}};
    while (!pending.empty() && !(number && date)) {
        Visit v = pending.back();
        pending.pop_back();
        const std::string_view name = v.node.name();
        // A hidden shape, or one in a hidden group, is drawn nowhere.
        auto hiddenBy = [&](const std::string& properties) {
            return v.node.child(properties.c_str()).child(px.cNvPr.c_str()).attribute("hidden").as_bool();
        };
        if (name == px.grpSp) v.hidden = v.hidden || hiddenBy(groupProperties);
        if (name == px.sp || name == frame) {
            const std::string& properties = name == px.sp ? px.nvSpPr : frameProperties;
            // A placeholder of a master or layout is drawn on no slide; it only lends its looks.
            v.inShape = !v.node.child(properties.c_str()).child(px.nvPr.c_str()).child(px.ph.c_str());
            v.hidden = v.hidden || hiddenBy(properties);
        }
        if (name == field && v.inShape && !v.hidden) {
            const std::string_view type = v.node.attribute("type").value();
            number = number || type == "slidenum";
            date = date || type.starts_with("datetime");
        }
        for (pugi::xml_node child = v.node.last_child(); child; child = child.previous_sibling())
            if (child.type() == pugi::node_element) pending.push_back({child, v.inShape, v.hidden});
    }
    if (number)
        warnings_.push_back("part " + part.name() +
                            ": a slide number drawn as a plain text box always shows, whatever the settings");
    if (date)
        warnings_.push_back("part " + part.name() +
                            ": a date drawn as a plain text box always shows, whatever the settings");
}

void HeaderFooterStamper::stampMaster(XmlPart& master, const std::map<Element, HeaderFooter>& settings,
                                      bool flagsOff) {
    const Prefixes& px = lookup_->writablePrefixes(master, deck_.strict());
    master.keepShapesAsRead(holdsStampedPlaceholder);
    pugi::xml_node root = master.root();
    const std::string_view rootLocal = localName(root.name());
    const bool slideSide = rootLocal == "sldMaster" || rootLocal == "sldLayout";

    // p:hf records the dialog state for pages added later; all four flags are written, since readers
    // disagree on what a missing one means.
    pugi::xml_node hf = root.child(px.hf.c_str());
    const bool created = !hf;
    if (created) hf = insertBefore(root, px.hf, {px.q(hfSuccessor(rootLocal)), px.extLst});
    for (Element e : {Element::SlideNumber, Element::Header, Element::Footer, Element::DateAndTime}) {
        const char* name = placeholderType(e);
        const char* value;
        if (auto it = settings.find(e); it != settings.end() && !(slideSide && e == Element::Header)) {
            value = it->second.visible && !flagsOff ? "1" : "0";
        } else if (hf.attribute(name)) {
            continue;
        } else {
            value =
                !(slideSide && e == Element::Header) && !placeholders(master, px, name).empty() ? "1" : "0";
        }
        pugi::xml_attribute a = hf.attribute(name);
        if (!a) a = hf.append_attribute(name);
        a.set_value(value);
    }

    // A given text also goes into the master's own placeholders, so pages added later carry it; an
    // element only shown or hidden keeps the master's own text, as the author wrote it.
    std::vector<Element> filled;
    for (const auto& entry : settings)
        if (entry.first != Element::SlideNumber && !(slideSide && entry.first == Element::Header) &&
            textGiven_.count(entry.first) > 0)
            filled.push_back(entry.first);
    // A placeholder wrapped in mc:AlternateContent would keep its old text in every branch.
    std::vector<std::string_view> filledTypes;
    for (Element e : filled) filledTypes.push_back(placeholderType(e));
    if (!filledTypes.empty()) unwrapStampedAlternates(master, shapeTree(master, px), px, filledTypes);
    for (Element element : filled) {
        const HeaderFooter& setting = settings.at(element);
        Content content{writableText(setting.text), ""};
        if (element == Element::DateAndTime && setting.useFormat) {
            content.field = "datetime" + std::to_string(setting.format);
            content.text = formatDate(setting.format, now_);
        }
        for (pugi::xml_node sp : placeholders(master, px, placeholderType(element))) {
            lookup_->refuseRebound(master, reboundIn(sp, px));
            fillText(sp, px, content, master.name() + ":" + placeholderType(element));
        }
    }
    master.markDirty();
}

void HeaderFooterStamper::stampPage(Page& page, Element element, const HeaderFooter& setting, bool show) {
    const char* type = placeholderType(element);
    std::vector<pugi::xml_node> existing = page.shapes.ofType(type);
    if (!show && existing.empty()) return;
    const Prefixes& px = lookup_->writablePrefixes(page.part, deck_.strict());
    page.part.markDirty();
    page.part.keepShapesAsRead(holdsStampedPlaceholder);
    if (!show) {
        for (pugi::xml_node sp : existing) removePlaceholder(page, px, sp, type);
        return;
    }

    Content content{writableText(setting.text), ""};
    if (element == Element::SlideNumber) {
        content = {std::to_string(page.number), "slidenum"};
    } else if (element == Element::DateAndTime && setting.useFormat) {
        content = {formatDate(setting.format, now_), "datetime" + std::to_string(setting.format)};
    }
    const std::string seed = page.part.name() + ":" + type;
    pugi::xml_node sp;
    if (!existing.empty()) {
        for (std::size_t k = 1; k < existing.size(); ++k) removePlaceholder(page, px, existing[k], type);
        sp = existing.front();
        lookup_->refuseRebound(page.part, reboundIn(sp, px));
        fillText(sp, px, content, seed);
    } else {
        sp = addPlaceholder(page, px, element);
        fillText(sp, px, content, seed);
    }
    // For a new placeholder as for a reused one, so that stamping again changes nothing.
    const pugi::xml_node drawn = drawnXfrm(deck_, *lookup_, sp, px, page.layout, page.master);
    if (!drawn && localName(sp.parent().name()) == "spTree") {
        // A placeholder with a box nowhere (not its own, its layout's or its master's) is drawn nowhere:
        // it gets the box a new one would get.
        pugi::xml_node spPr = sp.child(px.spPr.c_str());
        if (!spPr) spPr = insertBefore(sp, px.spPr, {px.style, px.txBody, px.extLst});
        writeXfrm(spPr, px, defaultBox(element, page.notes, pageWidth(page), pageHeight(page)));
        return;
    }
    keepOnPage(sp, px, drawn, pageWidth(page), pageHeight(page));
}

void HeaderFooterStamper::removePlaceholder(Page& page, const Prefixes& px, pugi::xml_node sp,
                                            const char* type) {
    // An animated shape cannot go without its animation; emptying it hides it just as well.
    const std::string id = sp.child(px.nvSpPr.c_str()).child(px.cNvPr.c_str()).attribute("id").value();
    if (page.shapes.animated(id)) {
        lookup_->refuseRebound(page.part, reboundIn(sp, px));
        fillText(sp, px, Content{}, page.part.name() + ":" + type);
        return;
    }
    page.part.markShapeEdited(sp);
    sp.parent().remove_child(sp);
    page.shapes.removed();
}

std::int64_t HeaderFooterStamper::pageWidth(const Page& page) const {
    return page.notes ? deck_.notesWidth : deck_.slideWidth;
}

std::int64_t HeaderFooterStamper::pageHeight(const Page& page) const {
    return page.notes ? deck_.notesHeight : deck_.slideHeight;
}

// The placeholders a new one of a type takes after: the layout's of that type, else the master's, and
// an idx no placeholder of the layout or the page uses.
struct HeaderFooterStamper::Templates {
    pugi::xml_node layoutPh, masterPh;
    const Prefixes* layoutPx;
    const Prefixes* masterPx;
    Numbers pageIdx;  // the idx values of the page's placeholders
    std::int64_t unusedIdx;

    pugi::xml_node templ() const { return layoutPh ? layoutPh : masterPh; }
    const Prefixes& templPx() const { return layoutPh ? *layoutPx : *masterPx; }
};

HeaderFooterStamper::Templates HeaderFooterStamper::templatesFor(Page& page, const char* type) {
    auto [found, fresh] = page.inherited.try_emplace(type);
    if (fresh) {
        static const Prefixes kNone{"", ""};
        Inherited& in = found->second;
        in.layoutPx = &kNone;
        in.masterPx = &kNone;
        if (!page.layout.empty()) {
            const XmlPart& l = deck_.part(page.layout);
            in.layoutPx = &lookup_->prefixes(l);
            for (const Placeholder& p : lookup_->inheritedPlaceholders(l)) {
                in.layoutIdx.push_back(p.idx());
                if (!in.layoutPh && p.type() == type) in.layoutPh = p.sp;
            }
        }
        if (!page.master.empty()) {
            const XmlPart& m = deck_.part(page.master);
            in.masterPx = &lookup_->prefixes(m);
            for (const Placeholder& p : lookup_->inheritedPlaceholders(m))
                if (p.type() == type) {
                    in.masterPh = p.sp;
                    break;
                }
        }
    }
    const Inherited& in = found->second;
    std::vector<std::int64_t> onPage;
    for (const Placeholder& p : page.shapes.placeholders()) onPage.push_back(p.idx());
    std::vector<std::int64_t> used = in.layoutIdx;  // the idx values of the layout and of the page
    used.insert(used.end(), onPage.begin(), onPage.end());
    Numbers pageIdx(std::move(onPage));
    const std::int64_t unusedIdx = Numbers(std::move(used)).free();
    return Templates{in.layoutPh, in.masterPh, in.layoutPx, in.masterPx, std::move(pageIdx), unusedIdx};
}

pugi::xml_node HeaderFooterStamper::addPlaceholder(Page& page, const Prefixes& px, Element element) {
    const char* type = placeholderType(element);
    // A new placeholder inherits from the layout's one of its type (by idx), else takes the master's
    // geometry explicitly, else a band at the page's bottom.
    const Templates t = templatesFor(page, type);

    const std::int64_t id = page.shapes.freeId();
    pugi::xml_node tree = shapeTree(page.part, px);
    if (!tree) fail(ErrorCode::DamagedXml, deck_.label(), page.part.name(), "the page has no shape tree");
    pugi::xml_node sp = insertBefore(tree, px.sp, {px.extLst});
    pugi::xml_node nv = sp.append_child(px.nvSpPr.c_str());
    pugi::xml_node cNvPr = nv.append_child(px.cNvPr.c_str());
    cNvPr.append_attribute("id") = id;
    cNvPr.append_attribute("name") =
        (std::string(placeholderName(element)) + " " + std::to_string(id - 1)).c_str();
    nv.append_child(px.cNvSpPr.c_str()).append_child(px.aSpLocks.c_str()).append_attribute("noGrp") = "1";
    pugi::xml_node ph = nv.append_child(px.nvPr.c_str()).append_child(px.ph.c_str());
    sp.append_child(px.spPr.c_str());

    if (const pugi::xml_node templ = t.templ()) {
        // Attributes of other namespaces (extensions) would need their declarations too.
        for (pugi::xml_attribute a : phOf(templ, t.templPx()).attributes())
            if (std::string_view(a.name()) != "hasCustomPrompt" && !std::strchr(a.name(), ':'))
                ph.append_attribute(a.name()) = a.value();
    } else {
        ph.append_attribute("type") = type;
    }
    bool inherits = t.layoutPh || (page.notes && t.masterPh);
    auto freshIdx = [&] {
        if (pugi::xml_attribute idx = ph.attribute("idx"))
            idx.set_value(t.unusedIdx);
        else
            ph.append_attribute("idx") = t.unusedIdx;
    };
    // Two placeholders sharing an idx on one page confuse inheritance (LibreOffice gave a notes date the
    // body's place). Notes pages inherit by type, so only the idx changes there.
    if (t.pageIdx.contains(ph.attribute("idx").as_llong(0))) {
        if (page.notes)
            freshIdx();
        else
            inherits = false;
    }
    // Matching a layout placeholder by idx would inherit the wrong geometry.
    if (!inherits && !page.notes) freshIdx();
    placeNewPlaceholder(page, px, element, t, sp, inherits);
    if (element == Element::SlideNumber)
        copyNumberWords(t.templ(), t.templPx(), sp.child(px.txBody.c_str()), px);
    page.shapes.added(sp, ph, id);
    return sp;
}

// Gives a new placeholder its box and text body: the master's box and text properties copied when it
// inherits nothing, a default band when nothing says where it goes, else only what it inherits.
void HeaderFooterStamper::placeNewPlaceholder(Page& page, const Prefixes& px, Element element,
                                              const Templates& t, pugi::xml_node sp, bool inherits) {
    const Prefixes& masterPx = *t.masterPx;
    const pugi::xml_node masterPh = t.masterPh;
    pugi::xml_node spPr = sp.child(px.spPr.c_str());
    const bool geometryKnown =
        (t.layoutPh && hasXfrm(t.layoutPh, *t.layoutPx)) || (masterPh && hasXfrm(masterPh, masterPx));
    pugi::xml_node body = sp.append_child(px.txBody.c_str());
    const pugi::xml_node masterXfrm =
        masterPh ? masterPh.child(masterPx.spPr.c_str()).child(masterPx.aXfrm.c_str()) : pugi::xml_node();
    const pugi::xml_node masterBody = masterPh.child(masterPx.txBody.c_str());
    const bool copyMaster = !inherits && masterPh && hasXfrm(masterPh, masterPx) && masterPx.a == px.a &&
                            meansTheSameUnder(masterXfrm, sp, px) &&
                            meansTheSameUnder(masterBody.child(masterPx.aBodyPr.c_str()), sp, px) &&
                            meansTheSameUnder(masterBody.child(masterPx.aLstStyle.c_str()), sp, px);
    if (copyMaster) {
        spPr.append_copy(masterXfrm);
        for (const char* local : {"bodyPr", "lstStyle"}) {
            if (pugi::xml_node n = masterBody.child(masterPx.d(local).c_str()))
                body.append_copy(n);
            else
                body.append_child(px.d(local).c_str());
        }
        return;
    }
    if (!geometryKnown || !inherits) {
        const Box box = defaultBox(element, page.notes, pageWidth(page), pageHeight(page));
        writeXfrm(spPr, px, box);
        body.append_child(px.aBodyPr.c_str());
        pugi::xml_node lvl1 = body.append_child(px.aLstStyle.c_str()).append_child(px.aLvl1pPr.c_str());
        lvl1.append_attribute("algn") = box.align;
        lvl1.append_child(px.aDefRPr.c_str()).append_attribute("sz") = 1200;
        return;
    }
    // LibreOffice may pair a notes placeholder with the wrong master placeholder when idx values
    // clash; an explicit position makes the notes page independent of that.
    if (page.notes && masterPh && hasXfrm(masterPh, masterPx) && masterPx.a == px.a) {
        const pugi::xml_node off = masterXfrm.child(masterPx.aOff.c_str());
        const pugi::xml_node ext = masterXfrm.child(masterPx.aExt.c_str());
        // Some generators write a notes master wider than the notes page; such a box is not shown.
        const bool onPage =
            endsWithin(off.attribute("x").as_llong(0), ext.attribute("cx").as_llong(0), deck_.notesWidth) &&
            endsWithin(off.attribute("y").as_llong(0), ext.attribute("cy").as_llong(0), deck_.notesHeight);
        if (onPage && meansTheSameUnder(masterXfrm, sp, px))
            spPr.append_copy(masterXfrm);
        else
            writeXfrm(spPr, px, defaultBox(element, true, deck_.notesWidth, deck_.notesHeight));
    }
    body.append_child(px.aBodyPr.c_str());
    body.append_child(px.aLstStyle.c_str());
}

}  // namespace trelwick::engine
