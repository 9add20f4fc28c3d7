#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "PageXml.h"

namespace trelwick::engine {

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
