#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "Record.h"

namespace trelwick::engine::ppt {

// Adds a header/footer placeholder (date, slide number, footer, header) to a master that has none, as
// PowerPoint 97-2003 lays them out on its default masters: a text box holding "*" and the element's field,
// so that the document's header/footer settings decide whether and what it shows. New shape ids come from
// the master's drawing and the document's cluster table of shape ids, which are kept consistent.
class PlaceholderAdd {
  public:
    enum class PageKind { Slide, Notes };

    // Works on the document container (its PPDrawingGroup holds the cluster table) and reserves every shape
    // id found in pages, so that no added shape repeats one.
    PlaceholderAdd(Record& document, const std::vector<const Record*>& pages);

    // Appends a placeholder for placement (7 date, 8 slide number, 9 footer, 10 header) to the master's
    // drawing, placed for a page of width x height master units. Returns false, changing nothing, when the
    // master has no drawing to hold it, the document has no usable cluster table or no shape id is free.
    bool add(Record& master, std::uint8_t placement, PageKind kind, std::int32_t width, std::int32_t height);

  private:
    Record& document_;
    std::set<std::uint32_t> used_;
};

}  // namespace trelwick::engine::ppt
