#include "PlaceholderScan.h"

#include "RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

// The field that makes a placeholder show the document's setting. DateTimeMCAtom and RTFDateTimeMCAtom
// show today's date in their own format whatever the settings say, so they do not count.
std::uint16_t fieldOf(std::uint8_t placement) {
    switch (placement) {
        case rt::kMasterDate:
            return rt::GenericDateMCAtom;
        case rt::kMasterSlideNumber:
            return rt::SlideNumberMCAtom;
        case rt::kMasterFooter:
            return rt::FooterMCAtom;
        case rt::kMasterHeader:
            return rt::HeaderMCAtom;
        default:
            return 0;
    }
}

}  // namespace

PlaceholderScan PlaceholderScan::of(const Record& page) {
    PlaceholderScan scan;
    const Record* drawing = page.child(rt::Drawing);
    if (!drawing) return scan;
    drawing->forEach([&](const Record& shape) {
        if (shape.type() != rt::OfficeArtSpContainer) return;
        const Record* data = shape.child(rt::OfficeArtClientData);
        if (!data) return;
        if (const Record* roundTrip = data->child(rt::RoundTripHFPlaceholder12Atom);
            roundTrip && !roundTrip->body().empty())
            ++scan.roundTrip_[static_cast<std::uint8_t>(roundTrip->body()[0])];
        const Record* placeholder = data->child(rt::PlaceholderAtom);
        if (!placeholder || placeholder->body().size() < 5) return;
        const auto placement = static_cast<std::uint8_t>(placeholder->body()[4]);
        const std::uint16_t field = fieldOf(placement);
        if (field == 0) return;
        bool holdsField = false;
        if (const Record* text = shape.child(rt::OfficeArtClientTextbox))
            text->forEach([&](const Record& r) { holdsField = holdsField || r.type() == field; });
        scan.placeholders_[placement] = scan.placeholders_[placement] || holdsField;
    });
    return scan;
}

bool PlaceholderScan::hasField(std::uint8_t placement) const {
    auto it = placeholders_.find(placement);
    return it != placeholders_.end() && it->second;
}

int PlaceholderScan::roundTripCount(std::uint8_t placement) const {
    auto it = roundTrip_.find(placement);
    return it == roundTrip_.end() ? 0 : it->second;
}

}  // namespace trelwick::engine::ppt
