#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Numbers.h"
#include "PageXml.h"

namespace trelwick::engine {

// The placeholders and shape ids of one page, kept while its elements are stamped one after another:
// scanning the page again for each element cost more than stamping it.
class PageShapes {
  public:
    PageShapes(const XmlPart& page, const Prefixes& px) : page_(page), px_(px) {}

    // Every placeholder of the page, in document order.
    const std::vector<Placeholder>& placeholders();
    // The shapes of the placeholders of one type.
    std::vector<pugi::xml_node> ofType(std::string_view type);
    // A shape id no shape of the page has.
    std::int64_t freeId();
    // Whether an animation of the page refers to the shape of that id ("" never).
    bool animated(const std::string& id);
    // Records a placeholder the stamp added, with its id.
    void added(pugi::xml_node sp, pugi::xml_node ph, std::int64_t id);
    // Forgets what was gathered, after shapes were removed.
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

}  // namespace trelwick::engine
