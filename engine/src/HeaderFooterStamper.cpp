#include "HeaderFooterStamper.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <set>

#include "DateText.h"
#include "Failure.h"
#include "Namespaces.h"

namespace trelwick::engine {
namespace {

constexpr const char* kDefaultLang = "en-US";

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

// Prefixes of the PresentationML and DrawingML namespaces in one part, with the names a stamp looks up
// qualified once (building them per lookup was a tenth of a small deck's stamping).
struct Prefixes {
    Prefixes(std::string pml, std::string dml)
        : p(std::move(pml)), a(std::move(dml)), sp(q("sp")), grpSp(q("grpSp")), nvSpPr(q("nvSpPr")),
          nvPr(q("nvPr")), ph(q("ph")), cSld(q("cSld")), spTree(q("spTree")), cNvPr(q("cNvPr")),
          cNvSpPr(q("cNvSpPr")), spPr(q("spPr")), txBody(q("txBody")), style(q("style")), hf(q("hf")),
          extLst(q("extLst")), aP(d("p")), aR(d("r")), aFld(d("fld")), aT(d("t")), aBr(d("br")),
          aPPr(d("pPr")), aRPr(d("rPr")), aEndParaRPr(d("endParaRPr")), aBodyPr(d("bodyPr")),
          aLstStyle(d("lstStyle")), aXfrm(d("xfrm")), aOff(d("off")), aExt(d("ext")), aSpLocks(d("spLocks")),
          aLvl1pPr(d("lvl1pPr")), aDefRPr(d("defRPr")) {}
    std::string p;
    std::string a;
    std::string sp, grpSp, nvSpPr, nvPr, ph, cSld, spTree, cNvPr, cNvSpPr, spPr, txBody, style, hf, extLst;
    std::string aP, aR, aFld, aT, aBr, aPPr, aRPr, aEndParaRPr, aBodyPr, aLstStyle, aXfrm, aOff, aExt, aSpLocks,
        aLvl1pPr, aDefRPr;
    std::string q(std::string_view local) const { return qualified(p, local); }
    std::string d(std::string_view local) const { return qualified(a, local); }
};

// Nearly every part uses p: and a:, so those share one set of names instead of qualifying them again
// for each part; parts with other prefixes get their own, kept in owned.
const Prefixes& prefixesFor(std::string pml, std::string dml, std::deque<Prefixes>& owned) {
    static const Prefixes common{"p", "a"};
    if (pml == common.p && dml == common.a) return common;
    return owned.emplace_back(std::move(pml), std::move(dml));
}

pugi::xml_node phOf(pugi::xml_node sp, const Prefixes& px) {
    return sp.child(px.nvSpPr.c_str()).child(px.nvPr.c_str()).child(px.ph.c_str());
}

// A placeholder shape with its p:ph, which says what it holds and which it inherits from.
struct Placeholder {
    pugi::xml_node sp;
    pugi::xml_node ph;
    std::string_view type() const { return ph.attribute("type").value(); }
    std::int64_t idx() const { return ph.attribute("idx").as_llong(0); }
};

void collectPlaceholders(pugi::xml_node tree, const Prefixes& px, std::string_view type,
                         std::vector<Placeholder>& out) {
    for (pugi::xml_node child : tree.children()) {
        if (px.sp == child.name()) {
            const pugi::xml_node ph = phOf(child, px);
            if (ph && (type.empty() || type == ph.attribute("type").value())) out.push_back({child, ph});
        } else if (px.grpSp == child.name()) {
            collectPlaceholders(child, px, type, out);
        }
    }
}

pugi::xml_node shapeTree(const XmlPart& part, const Prefixes& px) {
    return part.root().child(px.cSld.c_str()).child(px.spTree.c_str());
}

std::vector<Placeholder> placeholderRecords(const XmlPart& part, const Prefixes& px, std::string_view type) {
    std::vector<Placeholder> out;
    collectPlaceholders(shapeTree(part, px), px, type, out);
    return out;
}

std::vector<pugi::xml_node> placeholders(const XmlPart& part, const Prefixes& px, std::string_view type) {
    std::vector<pugi::xml_node> out;
    for (const Placeholder& p : placeholderRecords(part, px, type)) out.push_back(p.sp);
    return out;
}

// Visits every element below root in document order (a walk, not an XPath query: compiling a query
// per page cost more than the rest of the page's stamping).
template <typename Visit>
void forEachElement(pugi::xml_node root, Visit&& visit) {
    struct Walker : pugi::xml_tree_walker {
        Visit& visit;
        explicit Walker(Visit& v) : visit(v) {}
        bool for_each(pugi::xml_node& node) override {
            if (node.type() == pugi::node_element) visit(node);
            return true;
        }
    } walker(visit);
    root.traverse(walker);
}

// A namespace declaration on element that gives one of the part's PresentationML or DrawingML
// prefixes another meaning, or one of those namespaces another prefix (as "xmlns:a on p:spTree"); ""
// when there is none. The stamp finds and writes elements by the prefixes declared on the root, so
// below such a declaration it would miss the page's placeholders or write its own into a foreign
// namespace. dmlPrefix is the part's DrawingML prefix, or the one the stamp will declare on the root.
std::string reboundOn(pugi::xml_node element, const Prefixes& px, std::string_view dmlPrefix) {
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        const char* name = a.name();
        if (name[0] != 'x' || std::strncmp(name, "xmlns", 5) != 0 || (name[5] != '\0' && name[5] != ':'))
            continue;
        const std::string_view prefix = name[5] == ':' ? std::string_view(name + 6) : std::string_view();
        const std::string_view uri = a.value();
        const bool pml = uri == ns::kPml || uri == ns::kPmlStrict;
        const bool dml = uri == ns::kDml || uri == ns::kDmlStrict;
        if ((prefix == px.p) != pml || (prefix == dmlPrefix) != dml)
            return std::string(name) + " on " + element.name();
    }
    return {};
}

// The same for a placeholder the stamp edits, down to its runs of text (sp, txBody, a:p, a:r) and box.
std::string reboundIn(pugi::xml_node sp, const Prefixes& px, int levels = 3) {
    std::string found = reboundOn(sp, px, px.a);
    for (pugi::xml_node c = sp.first_child(); c && found.empty() && levels > 0; c = c.next_sibling())
        if (c.type() == pugi::node_element) found = reboundIn(c, px, levels - 1);
    return found;
}

// The same on the way down to the shapes the stamp looks at: the root's children, the shape tree and
// its groups, and every shape in them (the placeholders it edits are looked into when edited).
std::string reboundAbove(const XmlPart& part, const Prefixes& px, std::string_view dmlPrefix) {
    std::string found;
    auto children = [&](pugi::xml_node parent) {
        for (pugi::xml_node c = parent.first_child(); c && found.empty(); c = c.next_sibling())
            if (c.type() == pugi::node_element) found = reboundOn(c, px, dmlPrefix);
    };
    auto groups = [&](auto& self, pugi::xml_node tree) -> void {
        children(tree);
        for (pugi::xml_node c = tree.first_child(); c && found.empty(); c = c.next_sibling())
            if (c.type() == pugi::node_element && localName(c.name()) == "grpSp") self(self, c);
    };
    const pugi::xml_node cSld = childNamed(part.root(), "cSld");
    children(part.root());
    if (found.empty()) children(cSld);
    if (const pugi::xml_node tree = childNamed(cSld, "spTree"); tree && found.empty()) groups(groups, tree);
    return found;
}

// The namespace a prefix ("" for the default namespace) is bound to at node, or nullptr.
const char* boundUri(pugi::xml_node node, std::string_view prefix) {
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (; node; node = node.parent())
        if (const pugi::xml_attribute a = node.attribute(declaration.c_str())) return a.value();
    return nullptr;
}

// Whether a copy of source placed under target means what source means: each prefix the subtree uses
// without declaring it is bound to the same namespace at both places. A master may declare prefixes
// on its root that the page never does; a copy using them would leave the page unreadable.
bool meansTheSameUnder(pugi::xml_node source, pugi::xml_node target) {
    std::vector<std::string_view> checked;
    auto portable = [&](pugi::xml_node at, std::string_view prefix) {
        if (prefix == "xml" || prefix == "xmlns" ||
            std::find(checked.begin(), checked.end(), prefix) != checked.end())
            return true;
        // Declared inside the subtree, the declaration travels with the copy.
        const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
        for (pugi::xml_node n = at; n; n = n.parent()) {
            if (n.attribute(declaration.c_str())) return true;
            if (n == source) break;
        }
        const char* here = boundUri(source.parent(), prefix);
        const char* there = boundUri(target, prefix);
        if (!here || !there || std::strcmp(here, there) != 0) return false;
        checked.push_back(prefix);
        return true;
    };
    auto prefixOf = [](const char* name) {
        const char* colon = std::strchr(name, ':');
        return colon ? std::string_view(name, colon - name) : std::string_view();
    };
    bool same = true;
    auto visit = [&](auto& self, pugi::xml_node node) -> void {
        same = same && portable(node, prefixOf(node.name()));
        for (pugi::xml_attribute a = node.first_attribute(); a && same; a = a.next_attribute())
            if (std::strchr(a.name(), ':')) same = portable(node, prefixOf(a.name()));
        for (pugi::xml_node c = node.first_child(); c && same; c = c.next_sibling())
            if (c.type() == pugi::node_element) self(self, c);
    };
    if (source) visit(visit, source);
    return same;
}

}  // namespace

// What stamping looks up again and again, kept per part: the namespace prefixes, and the placeholders
// of the masters and layouts that pages inherit from (stamping never adds or removes shapes there).
class StampLookup {
  public:
    explicit StampLookup(std::string fileLabel) : fileLabel_(std::move(fileLabel)) {}

    const Prefixes& prefixes(const XmlPart& part) {
        auto it = prefixes_.find(&part);
        if (it == prefixes_.end()) {
            bool dmlOnRoot = false;
            const Prefixes& px = prefixesFor(part.prefixOf(ns::kPml, ns::kPmlStrict),
                                             part.prefixOf(ns::kDml, ns::kDmlStrict, &dmlOnRoot), owned_);
            if (!part.namespacesChecked()) {
                // Without DrawingML on the root, the stamp declares it there as "a" before writing.
                refuseRebound(part, reboundAbove(part, px, dmlOnRoot ? std::string_view(px.a) : "a"));
                part.namespacesChecked() = true;
            }
            it = prefixes_.emplace(&part, &px).first;
        }
        return *it->second;
    }
    // Declares DrawingML on the part when it lacks it.
    const Prefixes& writablePrefixes(XmlPart& part, bool strict) {
        std::string dml = part.ensurePrefix(ns::kDml, ns::kDmlStrict, strict, "a");
        const Prefixes& known = prefixes(part);
        if (known.a == dml) return known;
        const Prefixes*& entry = prefixes_.at(&part);
        entry = &prefixesFor(part.prefixOf(ns::kPml, ns::kPmlStrict), std::move(dml), owned_);
        return *entry;
    }
    const std::vector<Placeholder>& inheritedPlaceholders(const XmlPart& part) {
        auto it = placeholders_.find(&part);
        if (it == placeholders_.end())
            it = placeholders_.emplace(&part, placeholderRecords(part, prefixes(part), "")).first;
        return it->second;
    }

    void refuseRebound(const XmlPart& part, const std::string& rebound) const {
        if (!rebound.empty())
            fail(ErrorCode::DamagedXml, fileLabel_, part.name(),
                 "the page declares a namespace of its shapes again below its root (" + rebound +
                     "), which the stamp cannot follow");
    }

  private:
    std::string fileLabel_;
    std::map<const XmlPart*, const Prefixes*> prefixes_;
    std::deque<Prefixes> owned_;
    std::map<const XmlPart*, std::vector<Placeholder>> placeholders_;
};

namespace {

// Inserts a new child named name before the first of successors present, else at the end.
pugi::xml_node insertBefore(pugi::xml_node parent, const std::string& name,
                            std::initializer_list<std::string> successors) {
    for (pugi::xml_node child : parent.children())
        for (const std::string& s : successors)
            if (s == child.name()) return parent.insert_child_before(name.c_str(), child);
    return parent.append_child(name.c_str());
}

std::string shapeText(pugi::xml_node sp, const Prefixes& px) {
    std::string text;
    bool first = true;
    const std::string& paragraph = px.aP;
    for (pugi::xml_node p : sp.child(px.txBody.c_str()).children(paragraph.c_str())) {
        if (!first) text += '\n';
        first = false;
        for (pugi::xml_node run : p.children()) {
            if (run.name() == px.aR || run.name() == px.aFld)
                text += run.child(px.aT.c_str()).text().get();
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

// A GUID that depends only on where the field sits, so stamping twice writes the same bytes.
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

// What one placeholder paragraph shows: plain text, or a field with its cached text.
struct Content {
    std::string text;
    std::string field;  // empty for plain text
};

// Replaces the paragraphs of sp's text body by one paragraph showing content. Keeps the first paragraph's
// properties and the first run's formatting, so a restyled footer keeps its look. The paragraph always
// starts with a:pPr: LibreOffice turns a bare one-run footer into a page property that it draws only
// when the layout has that placeholder.
void fillText(pugi::xml_node sp, const Prefixes& px, const Content& content, const std::string& guidSeed) {
    pugi::xml_node body = sp.child(px.txBody.c_str());
    if (!body) {
        body = insertBefore(sp, px.txBody, {px.extLst});
        body.append_child(px.aBodyPr.c_str());
        body.append_child(px.aLstStyle.c_str());
    }
    pugi::xml_node oldPPr;
    pugi::xml_node oldRPr;
    std::string fieldId;
    const std::string& paragraph = px.aP;
    for (pugi::xml_node p : body.children(paragraph.c_str())) {
        if (!oldPPr) oldPPr = p.child(px.aPPr.c_str());
        for (pugi::xml_node run : p.children()) {
            if (!oldRPr && (run.name() == px.aR || run.name() == px.aFld)) oldRPr = run.child(px.aRPr.c_str());
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

// Shape ids and placeholder indexes are unsignedInts: one past the largest in use, or the lowest free
// one when a deck already uses the top value (hostile values may be anything a long long holds).
constexpr std::int64_t kMaxUnsignedInt = 0xFFFFFFFFll;

// Numbers in use, sorted in a vector: gathered first and sorted once (a hostile page may hold tens of
// thousands), then added to one at a time. A tree node for each number cost more than the search.
class Numbers {
  public:
    explicit Numbers(std::vector<std::int64_t> numbers) : numbers_(std::move(numbers)) {
        std::sort(numbers_.begin(), numbers_.end());
    }
    void insert(std::int64_t n) { numbers_.insert(std::upper_bound(numbers_.begin(), numbers_.end(), n), n); }
    bool contains(std::int64_t n) const { return std::binary_search(numbers_.begin(), numbers_.end(), n); }
    std::int64_t free() const {
        const std::int64_t largest =
            numbers_.empty() ? 0 : std::clamp<std::int64_t>(numbers_.back(), 0, kMaxUnsignedInt);
        if (largest < kMaxUnsignedInt) return largest + 1;
        std::int64_t n = 1;
        while (contains(n)) ++n;
        return n;
    }

  private:
    std::vector<std::int64_t> numbers_;
};

// Every shape id on the page, the group's own 1 included (duplicates kept, as removing one must not
// free the other). Text bodies and shape properties hold no shape, and most of a page's elements:
// the walk passes over them.
Numbers shapeIds(const XmlPart& part) {
    std::vector<std::int64_t> used{1};
    const pugi::xml_node root = part.root();
    pugi::xml_node n = root.first_child();
    while (n) {
        bool descend = false;
        if (n.type() == pugi::node_element) {
            const std::string_view local = localName(n.name());
            if (local == "cNvPr") used.push_back(n.attribute("id").as_llong(0));
            descend = local != "txBody" && local != "spPr";
        }
        if (descend && n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n != root && !n.next_sibling()) n = n.parent();
        if (n == root) break;
        n = n.next_sibling();
    }
    return Numbers(std::move(used));
}

}  // namespace

// The placeholders and shape ids of one page, kept while its elements are stamped one after another:
// scanning the page again for each element cost more than stamping it.
class PageShapes {
  public:
    PageShapes(const XmlPart& page, const Prefixes& px) : page_(page), px_(px) {}

    const std::vector<Placeholder>& placeholders() {
        if (!placeholders_) placeholders_ = placeholderRecords(page_, px_, "");
        return *placeholders_;
    }
    std::vector<pugi::xml_node> ofType(std::string_view type) {
        std::vector<pugi::xml_node> out;
        for (const Placeholder& p : placeholders())
            if (p.type() == type) out.push_back(p.sp);
        return out;
    }
    std::int64_t freeId() {
        if (!ids_) ids_ = shapeIds(page_);
        return ids_->free();
    }
    // Whether an animation of the page refers to the shape of that id. Gathered once: looking for each
    // shape removed made a page of many duplicate placeholders take minutes.
    bool animated(const std::string& id) {
        if (id.empty()) return false;
        if (!animated_) {
            animated_.emplace();
            forEachElement(page_.root(), [&](pugi::xml_node n) {
                if (const pugi::xml_attribute spid = n.attribute("spid")) animated_->insert(spid.value());
            });
        }
        return animated_->count(id) > 0;
    }
    // Kept at the end of the list: the page had no placeholder of its type, so nothing looks it up by
    // position.
    void added(pugi::xml_node sp, pugi::xml_node ph, std::int64_t id) {
        if (placeholders_) placeholders_->push_back({sp, ph});
        if (ids_) ids_->insert(id);
    }
    void removed() {
        placeholders_.reset();
        ids_.reset();
    }

  private:
    const XmlPart& page_;
    const Prefixes& px_;
    std::optional<std::vector<Placeholder>> placeholders_;
    std::optional<Numbers> ids_;
    std::optional<std::set<std::string>> animated_;  // shape ids; removing shapes leaves them as they are
};

namespace {

// Whether a box from start with extent ends within limit; a sum past the range of the type is not.
bool endsWithin(std::int64_t start, std::int64_t extent, std::int64_t limit) {
    std::int64_t end = 0;
    return !__builtin_add_overflow(start, extent, &end) && end <= limit;
}

// What of a (well-formed UTF-8) text an XML document can hold: controls other than tab are dropped, and
// so are U+FFFE and U+FFFF; a line break becomes a space (PowerPoint keeps line breaks inside a footer
// as vertical tabs, which XML 1.0 cannot carry).
std::string writableText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\v') {
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
            auto& types = part.placeholderTypes();
            if (!types) {
                const Prefixes& px = lookup_->prefixes(part);
                types.emplace();
                for (const Placeholder& p : placeholderRecords(part, px, ""))
                    types->emplace_back(p.type());
            }
            if (std::find(types->begin(), types->end(), type) == types->end()) continue;
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

void HeaderFooterStamper::apply(MasterKind kind, const std::map<Element, HeaderFooter>& settings) {
    if (settings.empty()) return;
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
    std::set<std::string> layoutsDone;
    auto stampLayout = [&](const std::string& layout) {
        if (layout.empty() || !layoutsDone.insert(layout).second) return;
        XmlPart& part = typedPart(deck_, layout, "sldLayout");
        const bool title =
            !deck_.showOnTitleSlide && std::string_view(part.root().attribute("type").value()) == "title";
        stampMaster(part, settings, title);
    };
    for (const std::string& master : deck_.slideMasters) {
        stampMaster(typedPart(deck_, master, "sldMaster"), settings, false);
        noteFixedFooters(deck_.part(master));
        for (const Relationship& r : deck_.relationships(master))
            if (isLayoutOf(r)) stampLayout(deck_.resolve(master, r.target));
    }
    for (std::size_t i = 0; i < deck_.slides.size(); ++i) {
        XmlPart& slide = typedPart(deck_, deck_.slides[i], "sld");
        const std::string layout = deck_.target(deck_.slides[i], ns::kSlideLayout);
        std::string master;
        bool title = false;
        if (!layout.empty()) {
            stampLayout(layout);
            XmlPart& layoutPart = deck_.part(layout);
            title = !deck_.showOnTitleSlide &&
                    std::string_view(layoutPart.root().attribute("type").value()) == "title";
            master = deck_.target(layout, ns::kSlideMaster);
            if (!master.empty()) typedPart(deck_, master, "sldMaster");
        }
        const int number = deck_.firstSlideNumber + static_cast<int>(i);
        PageShapes shapes(slide, lookup_->prefixes(slide));
        for (const auto& [element, setting] : settings)
            stampPage(slide, shapes, element, setting, setting.visible && !title, number, layout, master, false);
    }
}

void HeaderFooterStamper::applyNotes(const std::map<Element, HeaderFooter>& settings) {
    const bool anyShown =
        std::any_of(settings.begin(), settings.end(), [](const auto& s) { return s.second.visible; });
    if (deck_.notesMaster.empty() && anyShown) createNotesMaster();
    if (!deck_.notesMaster.empty())
        stampMaster(typedPart(deck_, deck_.notesMaster, "notesMaster"), settings, false);
    for (std::size_t i = 0; i < deck_.slides.size(); ++i) {
        std::string notes = deck_.target(deck_.slides[i], ns::kNotesSlide);
        // No renderer shows notes headers on a slide without a notes slide, so one is made.
        if (notes.empty() && anyShown) notes = createNotesSlide(deck_.slides[i]);
        if (notes.empty()) continue;
        XmlPart& page = typedPart(deck_, notes, "notes");
        const int number = deck_.firstSlideNumber + static_cast<int>(i);
        PageShapes shapes(page, lookup_->prefixes(page));
        for (const auto& [element, setting] : settings)
            stampPage(page, shapes, element, setting, setting.visible, number, "", deck_.notesMaster, true);
    }
}

void HeaderFooterStamper::applyHandout(const std::map<Element, HeaderFooter>& settings) {
    if (deck_.handoutMaster.empty()) return;
    stampMaster(typedPart(deck_, deck_.handoutMaster, "handoutMaster"), settings, false);
}

// Templates often draw a number or footer as a plain text box on the master; it shows on every slide
// whatever the settings say, so the user is told rather than left wondering.
void HeaderFooterStamper::noteFixedFooters(XmlPart& part) {
    const Prefixes& px = lookup_->prefixes(part);
    const std::string field = px.aFld;
    std::vector<pugi::xml_node> numbers;
    forEachElement(part.root(), [&](pugi::xml_node n) {
        if (field == n.name() && std::string_view(n.attribute("type").value()) == "slidenum") numbers.push_back(n);
    });
    for (pugi::xml_node sp : numbers) {
        while (sp && std::string_view(sp.name()) != px.sp) sp = sp.parent();
        if (sp && !phOf(sp, px)) {
            warnings_.push_back(
                deck_.label() + " (part " + part.name() +
                "): a slide number drawn as a plain text box always shows, whatever the settings");
            return;
        }
    }
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
        std::string value;
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
        a.set_value(value.c_str());
    }

    // The text also goes into the master's own placeholders, so pages added later carry it.
    for (const auto& [element, setting] : settings) {
        if (element == Element::SlideNumber || (slideSide && element == Element::Header)) continue;
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

void HeaderFooterStamper::stampPage(XmlPart& page, PageShapes& shapes, Element element,
                                    const HeaderFooter& setting, bool show, int number, const std::string& layout,
                                    const std::string& master, bool notesPage) {
    const char* type = placeholderType(element);
    std::vector<pugi::xml_node> existing = shapes.ofType(type);
    if (!show && existing.empty()) return;
    const Prefixes& px = lookup_->writablePrefixes(page, deck_.strict());
    page.markDirty();
    page.keepShapesAsRead(holdsStampedPlaceholder);

    auto remove = [&](pugi::xml_node sp) {
        // An animated shape cannot go without its animation; emptying it hides it just as well.
        const std::string id =
            sp.child(px.nvSpPr.c_str()).child(px.cNvPr.c_str()).attribute("id").value();
        if (shapes.animated(id)) {
            lookup_->refuseRebound(page, reboundIn(sp, px));
            fillText(sp, px, Content{}, page.name() + ":" + type);
            return;
        }
        page.markShapeEdited(sp);
        sp.parent().remove_child(sp);
        shapes.removed();
    };
    if (!show) {
        for (pugi::xml_node sp : existing) remove(sp);
        return;
    }

    Content content{writableText(setting.text), ""};
    if (element == Element::SlideNumber) {
        content = {std::to_string(number), "slidenum"};
    } else if (element == Element::DateAndTime && setting.useFormat) {
        content = {formatDate(setting.format, now_), "datetime" + std::to_string(setting.format)};
    }
    const std::string seed = page.name() + ":" + type;
    if (!existing.empty()) {
        for (std::size_t k = 1; k < existing.size(); ++k) remove(existing[k]);
        lookup_->refuseRebound(page, reboundIn(existing.front(), px));
        fillText(existing.front(), px, content, seed);
        keepOnPage(existing.front(), px, drawnXfrm(deck_, *lookup_, existing.front(), px, layout, master),
                   notesPage ? deck_.notesWidth : deck_.slideWidth,
                   notesPage ? deck_.notesHeight : deck_.slideHeight);
        return;
    }

    // A new placeholder inherits from the layout's one of its type (by idx), else takes the master's
    // geometry explicitly, else a band at the page's bottom.
    pugi::xml_node layoutPh, masterPh;
    static const Prefixes kNone{"", ""};
    const Prefixes* layoutPxPtr = &kNone;
    const Prefixes* masterPxPtr = &kNone;
    std::vector<std::int64_t> used;  // the idx values of the layout and of the page
    if (!layout.empty()) {
        const XmlPart& l = deck_.part(layout);
        layoutPxPtr = &lookup_->prefixes(l);
        for (const Placeholder& p : lookup_->inheritedPlaceholders(l)) {
            used.push_back(p.idx());
            if (!layoutPh && p.type() == type) layoutPh = p.sp;
        }
    }
    if (!master.empty()) {
        const XmlPart& m = deck_.part(master);
        masterPxPtr = &lookup_->prefixes(m);
        for (const Placeholder& p : lookup_->inheritedPlaceholders(m))
            if (p.type() == type) {
                masterPh = p.sp;
                break;
            }
    }
    const Prefixes& layoutPx = *layoutPxPtr;
    const Prefixes& masterPx = *masterPxPtr;
    std::vector<std::int64_t> onPage;
    for (const Placeholder& p : shapes.placeholders()) onPage.push_back(p.idx());
    used.insert(used.end(), onPage.begin(), onPage.end());
    const Numbers pageIdx(std::move(onPage));
    const std::int64_t unusedIdx = Numbers(std::move(used)).free();

    const std::int64_t id = shapes.freeId();
    pugi::xml_node tree = shapeTree(page, px);
    if (!tree) fail(ErrorCode::DamagedXml, deck_.label(), page.name(), "the page has no shape tree");
    pugi::xml_node sp = insertBefore(tree, px.sp, {px.extLst});
    pugi::xml_node nv = sp.append_child(px.nvSpPr.c_str());
    pugi::xml_node cNvPr = nv.append_child(px.cNvPr.c_str());
    cNvPr.append_attribute("id") = id;
    cNvPr.append_attribute("name") =
        (std::string(placeholderName(element)) + " " + std::to_string(id - 1)).c_str();
    nv.append_child(px.cNvSpPr.c_str()).append_child(px.aSpLocks.c_str()).append_attribute("noGrp") =
        "1";
    pugi::xml_node ph = nv.append_child(px.nvPr.c_str()).append_child(px.ph.c_str());
    pugi::xml_node spPr = sp.append_child(px.spPr.c_str());

    const pugi::xml_node templ = layoutPh ? layoutPh : masterPh;
    const Prefixes& templPx = layoutPh ? layoutPx : masterPx;
    if (templ) {
        // Attributes of other namespaces (extensions) would need their declarations too.
        for (pugi::xml_attribute a : phOf(templ, templPx).attributes())
            if (std::string_view(a.name()) != "hasCustomPrompt" && !std::strchr(a.name(), ':'))
                ph.append_attribute(a.name()) = a.value();
    } else {
        ph.append_attribute("type") = type;
    }
    bool inherits = layoutPh || (notesPage && masterPh);
    auto freshIdx = [&] {
        if (pugi::xml_attribute idx = ph.attribute("idx"))
            idx.set_value(unusedIdx);
        else
            ph.append_attribute("idx") = unusedIdx;
    };
    // Two placeholders sharing an idx on one page confuse inheritance (LibreOffice gave a notes date the
    // body's place). Notes pages inherit by type, so only the idx changes there.
    if (pageIdx.contains(ph.attribute("idx").as_llong(0))) {
        if (notesPage)
            freshIdx();
        else
            inherits = false;
    }
    // Matching a layout placeholder by idx would inherit the wrong geometry.
    if (!inherits && !notesPage) freshIdx();
    const bool geometryKnown =
        (layoutPh && hasXfrm(layoutPh, layoutPx)) || (masterPh && hasXfrm(masterPh, masterPx));
    pugi::xml_node body = sp.append_child(px.txBody.c_str());
    const pugi::xml_node masterXfrm =
        masterPh ? masterPh.child(masterPx.spPr.c_str()).child(masterPx.aXfrm.c_str()) : pugi::xml_node();
    const pugi::xml_node masterBody = masterPh.child(masterPx.txBody.c_str());
    const bool copyMaster = !inherits && masterPh && hasXfrm(masterPh, masterPx) && masterPx.a == px.a &&
                            meansTheSameUnder(masterXfrm, sp) &&
                            meansTheSameUnder(masterBody.child(masterPx.aBodyPr.c_str()), sp) &&
                            meansTheSameUnder(masterBody.child(masterPx.aLstStyle.c_str()), sp);
    if (copyMaster) {
        spPr.append_copy(masterXfrm);
        for (const char* local : {"bodyPr", "lstStyle"}) {
            if (pugi::xml_node n = masterBody.child(masterPx.d(local).c_str()))
                body.append_copy(n);
            else
                body.append_child(px.d(local).c_str());
        }
    } else if (!geometryKnown || !inherits) {
        const Box box = defaultBox(element, notesPage, notesPage ? deck_.notesWidth : deck_.slideWidth,
                                   notesPage ? deck_.notesHeight : deck_.slideHeight);
        writeXfrm(spPr, px, box);
        body.append_child(px.aBodyPr.c_str());
        pugi::xml_node lvl1 =
            body.append_child(px.aLstStyle.c_str()).append_child(px.aLvl1pPr.c_str());
        lvl1.append_attribute("algn") = box.align;
        lvl1.append_child(px.aDefRPr.c_str()).append_attribute("sz") = 1200;
    } else {
        // LibreOffice may pair a notes placeholder with the wrong master placeholder when idx values
        // clash; an explicit position makes the notes page independent of that.
        if (notesPage && masterPh && hasXfrm(masterPh, masterPx) && masterPx.a == px.a) {
            const pugi::xml_node xfrm =
                masterPh.child(masterPx.spPr.c_str()).child(masterPx.aXfrm.c_str());
            const pugi::xml_node off = xfrm.child(masterPx.aOff.c_str());
            const pugi::xml_node ext = xfrm.child(masterPx.aExt.c_str());
            // Some generators write a notes master wider than the notes page; such a box is not shown.
            const bool onPage =
                endsWithin(off.attribute("x").as_llong(0), ext.attribute("cx").as_llong(0), deck_.notesWidth) &&
                endsWithin(off.attribute("y").as_llong(0), ext.attribute("cy").as_llong(0), deck_.notesHeight);
            if (onPage && meansTheSameUnder(xfrm, sp))
                spPr.append_copy(xfrm);
            else
                writeXfrm(spPr, px, defaultBox(element, true, deck_.notesWidth, deck_.notesHeight));
        }
        body.append_child(px.aBodyPr.c_str());
        body.append_child(px.aLstStyle.c_str());
    }
    fillText(sp, px, content, seed);
    shapes.added(sp, ph, id);
    // As for a reused placeholder, so that stamping again changes nothing.
    keepOnPage(sp, px, drawnXfrm(deck_, *lookup_, sp, px, layout, master),
               notesPage ? deck_.notesWidth : deck_.slideWidth,
               notesPage ? deck_.notesHeight : deck_.slideHeight);
}

void HeaderFooterStamper::createNotesMaster() {
    const bool strict = deck_.strict();
    const std::string pml(strict ? ns::kPmlStrict : ns::kPml);
    const std::string dml(strict ? ns::kDmlStrict : ns::kDml);
    const std::string rel(strict ? ns::kRelStrict : ns::kRel);
    const std::int64_t w = deck_.notesWidth, h = deck_.notesHeight;
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
        std::min<std::int64_t>(imageW * deck_.slideHeight / deck_.slideWidth, h * 3 / 10);
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

    const std::string name = deck_.unusedPartName("ppt/notesMasters", "notesMaster");
    deck_.addXmlPart(name, xml, ns::kNotesMasterType);
    // The notes master gets its own copy of the first design's theme, as PowerPoint does.
    std::string theme =
        deck_.slideMasters.empty() ? std::string() : deck_.target(deck_.slideMasters.front(), ns::kTheme);
    // Read once, so that a damaged theme is refused rather than copied, but written from its stored
    // bytes: deflating it again changed nothing but the cost.
    if (const std::string entry = theme.empty() ? std::string() : deck_.zip().find(theme); !entry.empty()) {
        deck_.zip().read(entry);
        const std::string themeName = deck_.unusedPartName("ppt/theme", "theme");
        deck_.addCopiedPart(themeName, entry, ns::kThemeType);
        deck_.addRelationship(name, ns::kTheme, themeName);
    }
    const std::string rid = deck_.addRelationship(deck_.presentationPart(), ns::kNotesMaster, name);

    XmlPart& presentation = deck_.presentation();
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
    deck_.notesMaster = name;
}

std::string HeaderFooterStamper::createNotesSlide(const std::string& slide) {
    const bool strict = deck_.strict();
    XmlPart& master = deck_.part(deck_.notesMaster);
    const Prefixes& mpx = lookup_->prefixes(master);
    auto phFromMaster = [&](const char* type, const char* fallback) {
        const auto found = placeholders(master, mpx, type);
        if (found.empty()) return std::string(fallback);
        std::string ph = "<p:ph";
        for (pugi::xml_attribute a : phOf(found.front(), mpx).attributes()) {
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
    const std::string name = deck_.unusedPartName("ppt/notesSlides", "notesSlide");
    deck_.addXmlPart(name, xml, ns::kNotesSlideType);
    deck_.addRelationship(name, ns::kNotesMaster, deck_.notesMaster);
    deck_.addRelationship(name, ns::kSlide, slide);
    deck_.addRelationship(slide, ns::kNotesSlide, name);
    return name;
}

}  // namespace trelwick::engine
