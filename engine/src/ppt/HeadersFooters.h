#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Record.h"
#include "trelwick/engine.h"

namespace trelwick::engine::ppt {

// The settings of one HeadersFootersContainer: the HeadersFootersAtom (date format and six flags) and the
// user date, header and footer texts. Texts are UTF-8 here; the record holds UTF-16LE.
class HeadersFooters {
  public:
    static constexpr std::uint16_t kHasDate = 0x01;
    static constexpr std::uint16_t kHasTodayDate = 0x02;
    static constexpr std::uint16_t kHasUserDate = 0x04;
    static constexpr std::uint16_t kHasSlideNumber = 0x08;
    static constexpr std::uint16_t kHasHeader = 0x10;
    static constexpr std::uint16_t kHasFooter = 0x20;

    HeadersFooters() = default;
    // Reads a HeadersFooters container; a missing or short atom reads as all flags off.
    static HeadersFooters read(const Record& container);
    // The container with this state; children other than the atom and the three texts are kept from old.
    Record toRecord(std::uint16_t instance, const Record* old = nullptr) const;

    // The engine's view of one element (format 1..13; the header exists only for notes).
    HeaderFooter element(Element element) const;
    // Sets one element; the text is kept even when the element is hidden.
    void set(Element element, const HeaderFooter& value);

    std::int16_t formatId = 0;
    std::uint16_t flags = 0;
    std::optional<std::string> userDate, header, footer;
};

}  // namespace trelwick::engine::ppt
