#pragma once

#include <cstdint>
#include <map>

#include "Record.h"

namespace trelwick::engine::ppt {

// The header/footer placeholders on one master or page: which placement ids (7 date, 8 number, 9 footer,
// 10 header) it has, whether each holds the field that shows the stamped value, and which shapes are
// PowerPoint 2007+ per-page copies (RoundTripHFPlaceholder12Atom).
class PlaceholderScan {
  public:
    // Scans every shape of the page's drawing, groups included.
    static PlaceholderScan of(const Record& page);

    bool has(std::uint8_t placement) const { return placeholders_.count(placement) != 0; }
    // True when the placeholder's text holds the field for its element (GenericDateMCAtom for dates).
    bool hasField(std::uint8_t placement) const;
    // Shapes marked as per-page copies of that placeholder.
    int roundTripCount(std::uint8_t placement) const;

  private:
    std::map<std::uint8_t, bool> placeholders_;  // placement id -> holds the field
    std::map<std::uint8_t, int> roundTrip_;
};

}  // namespace trelwick::engine::ppt
