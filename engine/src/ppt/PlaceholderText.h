#pragma once

#include <cstdint>

#include "Record.h"

namespace trelwick::engine::ppt {

// Rewrites the text of a placeholder shape so that it shows a header/footer field ("*" followed by the
// field atom), as PowerPoint 97-2003 writes master placeholders. The first paragraph and character
// formatting runs are kept, stretched over the new text.
class PlaceholderText {
  public:
    // Makes the shape's text "*" + a field of fieldType (e.g. FooterMCAtom). Returns false, leaving the
    // shape untouched, when its text carries structures that cannot be safely shortened (formatting runs
    // that do not add up, hyperlinks, bookmarks).
    static bool setField(Record& shape, std::uint16_t fieldType);
    // True when the shape's text holds a field of fieldType.
    static bool hasField(const Record& shape, std::uint16_t fieldType);
};

}  // namespace trelwick::engine::ppt
