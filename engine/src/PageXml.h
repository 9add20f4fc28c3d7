#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "XmlPart.h"

// What the stamp reads of a page's XML: the prefixes of its namespaces, its placeholders, and the
// namespace declarations it can or cannot follow.
namespace trelwick::engine {

// Prefixes of the PresentationML and DrawingML namespaces in one part, with the names a stamp looks up
// qualified once (building them per lookup was a tenth of a small deck's stamping).
struct Prefixes {
    Prefixes(std::string pml, std::string dml)
        : p(std::move(pml)),
          a(std::move(dml)),
          sp(q("sp")),
          grpSp(q("grpSp")),
          nvSpPr(q("nvSpPr")),
          nvPr(q("nvPr")),
          ph(q("ph")),
          cSld(q("cSld")),
          spTree(q("spTree")),
          cNvPr(q("cNvPr")),
          cNvSpPr(q("cNvSpPr")),
          spPr(q("spPr")),
          txBody(q("txBody")),
          style(q("style")),
          hf(q("hf")),
          extLst(q("extLst")),
          aP(d("p")),
          aR(d("r")),
          aFld(d("fld")),
          aT(d("t")),
          aBr(d("br")),
          aPPr(d("pPr")),
          aRPr(d("rPr")),
          aEndParaRPr(d("endParaRPr")),
          aBodyPr(d("bodyPr")),
          aLstStyle(d("lstStyle")),
          aXfrm(d("xfrm")),
          aOff(d("off")),
          aExt(d("ext")),
          aSpLocks(d("spLocks")),
          aLvl1pPr(d("lvl1pPr")),
          aDefRPr(d("defRPr")) {}
    std::string p;
    std::string a;
    std::string sp, grpSp, nvSpPr, nvPr, ph, cSld, spTree, cNvPr, cNvSpPr, spPr, txBody, style, hf, extLst;
    std::string aP, aR, aFld, aT, aBr, aPPr, aRPr, aEndParaRPr, aBodyPr, aLstStyle, aXfrm, aOff, aExt,
        aSpLocks, aLvl1pPr, aDefRPr;
    std::string q(std::string_view local) const { return qualified(p, local); }
    std::string d(std::string_view local) const { return qualified(a, local); }
};

// Nearly every part uses p: and a:, so those share one set of names instead of qualifying them again
// for each part; parts with other prefixes get their own, kept in owned.
const Prefixes& prefixesFor(std::string pml, std::string dml, std::deque<Prefixes>& owned);

// The p:ph of a shape; null for a shape that is no placeholder.
inline pugi::xml_node phOf(pugi::xml_node sp, const Prefixes& px) {
    return sp.child(px.nvSpPr.c_str()).child(px.nvPr.c_str()).child(px.ph.c_str());
}

// A placeholder shape with its p:ph, which says what it holds and which it inherits from.
struct Placeholder {
    pugi::xml_node sp;
    pugi::xml_node ph;
    std::string_view type() const { return ph.attribute("type").value(); }
    std::int64_t idx() const { return ph.attribute("idx").as_llong(0); }
};

// The part's shape tree (p:cSld/p:spTree); null when it has none.
inline pugi::xml_node shapeTree(const XmlPart& part, const Prefixes& px) {
    return part.root().child(px.cSld.c_str()).child(px.spTree.c_str());
}

// The placeholders of the part's shape tree whose type is type ("" for all), in document order, those
// in groups included.
std::vector<Placeholder> placeholderRecords(const XmlPart& part, const Prefixes& px, std::string_view type);
// The same, as their shapes.
std::vector<pugi::xml_node> placeholders(const XmlPart& part, const Prefixes& px, std::string_view type);

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

// The namespace a prefix ("" for the default namespace) is bound to at node, or nullptr.
const char* boundUri(pugi::xml_node node, std::string_view prefix);
// The namespace an element's name is in; "" when its prefix is bound nowhere.
std::string_view namespaceOf(pugi::xml_node element);

// Inserts a new child named name before the first of successors present, else at the end.
pugi::xml_node insertBefore(pugi::xml_node parent, const std::string& name,
                            std::initializer_list<std::string> successors);

// A namespace declaration on element that gives one of the part's PresentationML or DrawingML
// prefixes another meaning, or one of those namespaces another prefix (as "xmlns:a on p:spTree"); ""
// when there is none. The stamp finds and writes elements by the prefixes declared on the root, so
// below such a declaration it would miss the page's placeholders or write its own into a foreign
// namespace. dmlPrefix is the part's DrawingML prefix, or the one the stamp will declare on the root.
std::string reboundOn(pugi::xml_node element, const Prefixes& px, std::string_view dmlPrefix);
// The same for a placeholder the stamp edits, down to its runs of text (sp, txBody, a:p, a:r) and box.
std::string reboundIn(pugi::xml_node sp, const Prefixes& px, int levels = 3);
// The same on the way down to the shapes the stamp looks at: the root's children, the shape tree and
// its groups, and every shape in them (the placeholders it edits are looked into when edited).
std::string reboundAbove(const XmlPart& part, const Prefixes& px, std::string_view dmlPrefix);
// Whether a copy of source placed under target, on a page of prefixes px, means what source means: each
// prefix the subtree uses without declaring it is bound to the same namespace at both places (a master
// may declare prefixes on its root that the page never does; a copy using them would leave the page
// unreadable), it holds no relationship id (those belong to the part that holds them), and it
// declares none of the page's PresentationML or DrawingML prefixes or namespaces (see reboundOn).
bool meansTheSameUnder(pugi::xml_node source, pugi::xml_node target, const Prefixes& px);

}  // namespace trelwick::engine
