#include "PlaceholderScan.h"

#include <algorithm>

#include "Bytes.h"
#include "RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

enum class Placed { Outside, Partly, Inside };

// Where the shape's anchor lies on the page. The client anchor is a SmallRectStruct (i16 top, left,
// right, bottom) or a RectStruct of i32 in the same order; a shape without one counts as on the page.
Placed placedOnPage(const Record& shape, std::int32_t width, std::int32_t height) {
    const Record* anchor = shape.child(rt::OfficeArtClientAnchor);
    if (!anchor || width <= 0 || height <= 0) return Placed::Inside;
    const std::string& b = anchor->body();
    std::int32_t top, left, right, bottom;
    if (b.size() >= 16) {
        top = static_cast<std::int32_t>(get32(b, 0));
        left = static_cast<std::int32_t>(get32(b, 4));
        right = static_cast<std::int32_t>(get32(b, 8));
        bottom = static_cast<std::int32_t>(get32(b, 12));
    } else if (b.size() >= 8) {
        top = static_cast<std::int16_t>(get16(b, 0));
        left = static_cast<std::int16_t>(get16(b, 2));
        right = static_cast<std::int16_t>(get16(b, 4));
        bottom = static_cast<std::int16_t>(get16(b, 6));
    } else {
        return Placed::Inside;
    }
    if (right <= 0 || bottom <= 0 || left >= width || top >= height) return Placed::Outside;
    // LibreOffice drew a number whose box hung 40% below the slide not at all, and boxes hanging 17% below
    // as usual; more than a third outside counts as not shown whole. Sideways a tenth is enough: text set
    // to that side moves off the page with the box (of a notes date hanging a fifth past the right edge,
    // one letter showed).
    const std::int64_t w = std::max(1, right - left), h = std::max(1, bottom - top);
    const std::int64_t outX = std::max(0, -left) + std::max(0, right - width);
    const std::int64_t outY = std::max(0, -top) + std::max(0, bottom - height);
    return 10 * outX > w || 3 * outY > h ? Placed::Partly : Placed::Inside;
}

}  // namespace

std::uint8_t placementOfShape(const Record& shape) {
    const Record* data = shape.child(rt::OfficeArtClientData);
    const Record* atom = data ? data->child(rt::PlaceholderAtom) : nullptr;
    return atom && atom->body().size() >= 5 ? static_cast<std::uint8_t>(atom->body()[4]) : 0;
}

PlaceholderScan PlaceholderScan::of(const Record& page, std::int32_t width, std::int32_t height) {
    PlaceholderScan scan;
    const Record* drawing = page.child(rt::Drawing);
    if (!drawing) return scan;
    drawing->forEach([&](const Record& shape) {
        if (shape.type() != rt::OfficeArtSpContainer) return;
        const Record* data = shape.child(rt::OfficeArtClientData);
        if (!data || !data->child(rt::PlaceholderAtom))
            if (const Record* text = shape.child(rt::OfficeArtClientTextbox))
                text->forEach([&](const Record& r) {
                    for (std::uint8_t kind :
                         {rt::kMasterDate, rt::kMasterSlideNumber, rt::kMasterFooter, rt::kMasterHeader})
                        if (r.type() == rt::fieldOf(kind)) scan.ownBox_.insert(kind);
                });
        if (!data) return;
        if (const Record* roundTrip = data->child(rt::RoundTripHFPlaceholder12Atom);
            roundTrip && !roundTrip->body().empty())
            ++scan.roundTrip_[static_cast<std::uint8_t>(roundTrip->body()[0])];
        const std::uint8_t placement = placementOfShape(shape);
        const std::uint16_t field = rt::fieldOf(placement);
        if (field == 0) return;
        bool holdsField = false;
        if (const Record* text = shape.child(rt::OfficeArtClientTextbox))
            text->forEach([&](const Record& r) { holdsField = holdsField || r.type() == field; });
        Found& found = scan.placeholders_[placement];
        // Several placeholders of one kind (seen in PowerPoint 2007 saves): the best of them counts.
        found.field = found.field || holdsField;
        const Placed placed = placedOnPage(shape, width, height);
        found.onPage = found.onPage || placed != Placed::Outside;
        found.whole = found.whole || placed == Placed::Inside;
    });
    return scan;
}

bool PlaceholderScan::hasField(std::uint8_t placement) const {
    auto it = placeholders_.find(placement);
    return it != placeholders_.end() && it->second.field;
}

bool PlaceholderScan::onPage(std::uint8_t placement) const {
    auto it = placeholders_.find(placement);
    return it != placeholders_.end() && it->second.onPage;
}

bool PlaceholderScan::wholeOnPage(std::uint8_t placement) const {
    auto it = placeholders_.find(placement);
    return it != placeholders_.end() && it->second.whole;
}

int PlaceholderScan::roundTripCount(std::uint8_t placement) const {
    auto it = roundTrip_.find(placement);
    return it == roundTrip_.end() ? 0 : it->second;
}

}  // namespace trelwick::engine::ppt
