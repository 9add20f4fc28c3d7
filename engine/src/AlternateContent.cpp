#include "AlternateContent.h"

#include <algorithm>
#include <cstring>

#include "Namespaces.h"
#include "PageXml.h"
#include "XmlPart.h"

namespace trelwick::engine {
namespace {

// Whether a shape of a page, or a group down to any depth, holds a placeholder of one of the types.
bool holdsPlaceholderOf(pugi::xml_node shape, const Prefixes& px,
                        const std::vector<std::string_view>& types) {
    if (px.sp == shape.name()) {
        const pugi::xml_node ph = phOf(shape, px);
        return ph && std::find(types.begin(), types.end(), std::string_view(ph.attribute("type").value())) !=
                         types.end();
    }
    if (px.grpSp == shape.name())
        for (pugi::xml_node c = shape.first_child(); c; c = c.next_sibling())
            if (holdsPlaceholderOf(c, px, types)) return true;
    return false;
}

}  // namespace

void unwrapStampedAlternates(XmlPart& part, pugi::xml_node tree, const Prefixes& px,
                             const std::vector<std::string_view>& types) {
    for (pugi::xml_node child = tree.first_child(); child;) {
        const pugi::xml_node next = child.next_sibling();
        if (px.grpSp == child.name()) {
            unwrapStampedAlternates(part, child, px, types);
        } else if (localName(child.name()) == "AlternateContent" &&
                   namespaceOf(child) == ns::kMarkupCompatibility) {
            std::vector<pugi::xml_node> branches;
            pugi::xml_node chosen;
            for (pugi::xml_node branch = child.first_child(); branch; branch = branch.next_sibling()) {
                const std::string_view local = localName(branch.name());
                if (branch.type() != pugi::node_element || (local != "Choice" && local != "Fallback"))
                    continue;
                branches.push_back(branch);
                const bool holds = std::any_of(branch.begin(), branch.end(), [&](pugi::xml_node shape) {
                    return holdsPlaceholderOf(shape, px, types);
                });
                if (holds && (!chosen || (local == "Choice" && localName(chosen.name()) == "Fallback")))
                    chosen = branch;
            }
            if (!chosen) {
                child = next;
                continue;
            }
            for (pugi::xml_node shape : chosen.children()) {
                if (!holdsPlaceholderOf(shape, px, types)) continue;
                pugi::xml_node copy = tree.insert_copy_before(shape, child);
                for (pugi::xml_node from : {chosen, child})
                    for (pugi::xml_attribute a : from.attributes())
                        if (std::strncmp(a.name(), "xmlns", 5) == 0 && !copy.attribute(a.name()))
                            copy.append_attribute(a.name()) = a.value();
                part.markShapeEdited(copy);
            }
            bool anyLeft = false;
            for (pugi::xml_node branch : branches) {
                for (pugi::xml_node shape = branch.first_child(); shape;) {
                    const pugi::xml_node after = shape.next_sibling();
                    if (holdsPlaceholderOf(shape, px, types)) branch.remove_child(shape);
                    shape = after;
                }
                for (pugi::xml_node shape : branch.children())
                    anyLeft = anyLeft || shape.type() == pugi::node_element;
            }
            if (anyLeft)
                part.markShapeEdited(child);
            else
                tree.remove_child(child);
        }
        child = next;
    }
}

}  // namespace trelwick::engine
