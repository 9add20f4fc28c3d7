#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

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
    // Adds n (a number may be in use more than once).
    void insert(std::int64_t n) { numbers_.insert(std::upper_bound(numbers_.begin(), numbers_.end(), n), n); }
    bool contains(std::int64_t n) const { return std::binary_search(numbers_.begin(), numbers_.end(), n); }
    // An unsignedInt above 0 not in use: one past the largest, or the lowest free one at the top.
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

}  // namespace trelwick::engine
