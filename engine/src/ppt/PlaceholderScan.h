#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "Record.h"

namespace trelwick::engine::ppt {

// The placement id a shape is a placeholder for (its PlaceholderAtom), or 0.
std::uint8_t placementOfShape(const Record& shape);

// The header/footer placeholders on one master or page: which placement ids (7 date, 8 number, 9 footer,
// 10 header) it has, whether each holds the field that shows the stamped value and lies on the page, and
// which shapes are PowerPoint 2007+ per-page copies (RoundTripHFPlaceholder12Atom).
class PlaceholderScan {
  public:
    // Scans every shape of the page's drawing, groups included; width and height are the page size in
    // master units (576 per inch), 0 when unknown.
    static PlaceholderScan of(const Record& page, std::int32_t width = 0, std::int32_t height = 0);

    bool has(std::uint8_t placement) const { return placeholders_.count(placement) != 0; }
    // True when the placeholder's text holds the field for its element (GenericDateMCAtom for dates).
    bool hasField(std::uint8_t placement) const;
    // True when some placeholder of that placement overlaps the page (or the size is unknown).
    bool onPage(std::uint8_t placement) const;
    // True when some placeholder of that placement lies on the page but for less than a third of its
    // width and height (or the size is unknown).
    bool wholeOnPage(std::uint8_t placement) const;
    // True when a shape that is no placeholder holds the field of that placement: it shows the element
    // whatever the settings say (LibreOffice imports and hand-made templates have such text boxes).
    bool hasOwnBox(std::uint8_t placement) const { return ownBox_.count(placement) != 0; }
    // Shapes marked as per-page copies of that placeholder.
    int roundTripCount(std::uint8_t placement) const;

  private:
    struct Found {
        bool field = false;
        bool onPage = false;
        bool whole = false;
    };
    std::map<std::uint8_t, Found> placeholders_;
    std::map<std::uint8_t, int> roundTrip_;
    std::set<std::uint8_t> ownBox_;
};

}  // namespace trelwick::engine::ppt
