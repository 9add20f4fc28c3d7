#include "PageXml.h"

#include <algorithm>
#include <cstring>

#include "Namespaces.h"

namespace trelwick::engine {
namespace {

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

}  // namespace

const char* boundUri(pugi::xml_node node, std::string_view prefix) {
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (; node; node = node.parent())
        if (const pugi::xml_attribute a = node.attribute(declaration.c_str())) return a.value();
    return nullptr;
}

std::string_view namespaceOf(pugi::xml_node element) {
    const char* colon = std::strchr(element.name(), ':');
    const char* uri =
        boundUri(element, colon ? std::string_view(element.name(), colon - element.name()) : "");
    return uri ? uri : "";
}

const Prefixes& prefixesFor(std::string pml, std::string dml, std::deque<Prefixes>& owned) {
    static const Prefixes common{"p", "a"};
    if (pml == common.p && dml == common.a) return common;
    return owned.emplace_back(std::move(pml), std::move(dml));
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

pugi::xml_node insertBefore(pugi::xml_node parent, const std::string& name,
                            std::initializer_list<std::string> successors) {
    for (pugi::xml_node child : parent.children())
        for (const std::string& s : successors)
            if (s == child.name()) return parent.insert_child_before(name.c_str(), child);
    return parent.append_child(name.c_str());
}

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

std::string reboundIn(pugi::xml_node sp, const Prefixes& px, int levels) {
    std::string found = reboundOn(sp, px, px.a);
    for (pugi::xml_node c = sp.first_child(); c && found.empty() && levels > 0; c = c.next_sibling())
        if (c.type() == pugi::node_element) found = reboundIn(c, px, levels - 1);
    return found;
}

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

bool meansTheSameUnder(pugi::xml_node source, pugi::xml_node target, const Prefixes& px) {
    std::vector<std::string_view> checked;
    auto portable = [&](pugi::xml_node at, std::string_view prefix) {
        if (prefix == "xml" || prefix == "xmlns" ||
            std::find(checked.begin(), checked.end(), prefix) != checked.end())
            return true;
        const char* here = boundUri(at, prefix);
        // Relationship ids name parts through the relationships of the part that holds them.
        if (!here || here == ns::kRel || here == ns::kRelStrict) return false;
        // Declared inside the subtree, the declaration travels with the copy.
        const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
        for (pugi::xml_node n = at; n; n = n.parent()) {
            if (n.attribute(declaration.c_str())) return true;
            if (n == source) break;
        }
        const char* there = boundUri(target, prefix);
        if (!there || std::strcmp(here, there) != 0) return false;
        checked.push_back(prefix);
        return true;
    };
    auto prefixOf = [](const char* name) {
        const char* colon = std::strchr(name, ':');
        return colon ? std::string_view(name, colon - name) : std::string_view();
    };
    bool same = true;
    auto visit = [&](auto& self, pugi::xml_node node) -> void {
        // The page would then declare its own namespaces again below its root, which the stamp refuses.
        same = same && reboundOn(node, px, px.a).empty() && portable(node, prefixOf(node.name()));
        for (pugi::xml_attribute a = node.first_attribute(); a && same; a = a.next_attribute())
            if (std::strchr(a.name(), ':')) same = portable(node, prefixOf(a.name()));
        for (pugi::xml_node c = node.first_child(); c && same; c = c.next_sibling())
            if (c.type() == pugi::node_element) self(self, c);
    };
    if (source) visit(visit, source);
    return same;
}

}  // namespace trelwick::engine
