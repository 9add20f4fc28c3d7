#include "PageShapes.h"

namespace trelwick::engine {
namespace {

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

const std::vector<Placeholder>& PageShapes::placeholders() {
    if (!placeholders_) placeholders_ = placeholderRecords(page_, px_, "");
    return *placeholders_;
}

std::vector<pugi::xml_node> PageShapes::ofType(std::string_view type) {
    std::vector<pugi::xml_node> out;
    for (const Placeholder& p : placeholders())
        if (p.type() == type) out.push_back(p.sp);
    return out;
}

std::int64_t PageShapes::freeId() {
    if (!ids_) ids_ = shapeIds(page_);
    return ids_->free();
}

bool PageShapes::animated(const std::string& id) {
    if (id.empty()) return false;
    // Gathered once: looking for each shape removed made a page of many duplicate placeholders take
    // minutes.
    if (!animated_) {
        animated_.emplace();
        forEachElement(page_.root(), [&](pugi::xml_node n) {
            if (const pugi::xml_attribute spid = n.attribute("spid")) animated_->insert(spid.value());
        });
    }
    return animated_->count(id) > 0;
}

void PageShapes::added(pugi::xml_node sp, pugi::xml_node ph, std::int64_t id) {
    // Kept at the end of the list: the page had no placeholder of its type, so nothing looks it up by
    // position.
    if (placeholders_) placeholders_->push_back({sp, ph});
    if (ids_) ids_->insert(id);
}

}  // namespace trelwick::engine
