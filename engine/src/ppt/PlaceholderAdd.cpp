#include "PlaceholderAdd.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "Bytes.h"
#include "PlaceholderScan.h"
#include "RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

// [MS-ODRAW]: shape ids come in clusters of 1024; cluster k (from 1) holds ids k*1024 .. k*1024+1023.
constexpr std::uint32_t kClusterSize = 1024;
constexpr std::uint32_t kMaxShapeId = 0x03FFD7FF;
constexpr std::uint16_t kRectangle = 1;                   // msosptRectangle, the shape type of placeholders
constexpr std::uint32_t kHaveAnchorHaveSpt = 0x00000A00;  // FSp flags fHaveAnchor | fHaveSpt
constexpr std::uint32_t kOtherText = 4;                   // TextHeaderAtom: Tx_TYPE_OTHER
constexpr std::uint8_t kMasterTitle = 1, kMasterBody = 2, kMasterNotesBody = 6;

// FOPT property ids.
constexpr std::uint16_t kProtection = 0x007F;
constexpr std::uint16_t kTextId = 0x0080;
constexpr std::uint16_t kAnchorText = 0x0087;
constexpr std::uint16_t kFillType = 0x0180;
constexpr std::uint16_t kBlipId = 0x4000, kComplex = 0x8000;

// Where PowerPoint 97-2003's default masters put each element, in the units of its default page (slides
// 5760 x 4320, notes 4320 x 5760): a bottom band of date | footer | number on slides; header | date on
// top and footer | number at the bottom of notes pages. Also the paragraph alignment (0 left, 1 centre,
// 2 right), the placeholder size (0 full, 1 half, 2 quarter) and whether the text sits at the bottom.
struct Layout {
    std::int32_t top, left, right, bottom;
    std::uint16_t align;
    std::uint8_t size;
    bool bottomAnchored;
};

std::optional<Layout> layoutOf(std::uint8_t placement, PlaceholderAdd::PageKind kind) {
    if (kind == PlaceholderAdd::PageKind::Slide) {
        switch (placement) {
            case rt::kMasterDate:
                return Layout{3934, 288, 1632, 4234, 0, 1, false};
            case rt::kMasterFooter:
                return Layout{3934, 1968, 3792, 4234, 1, 2, false};
            case rt::kMasterSlideNumber:
                return Layout{3934, 4128, 5472, 4234, 2, 2, false};
            default:
                return std::nullopt;  // slides have no header
        }
    }
    switch (placement) {
        case rt::kMasterHeader:
            return Layout{0, 0, 1872, 288, 0, 2, false};
        case rt::kMasterDate:
            return Layout{0, 2448, 4320, 288, 2, 0, false};
        case rt::kMasterFooter:
            return Layout{5472, 0, 1872, 5760, 0, 2, true};
        case rt::kMasterSlideNumber:
            return Layout{5472, 2448, 4320, 5760, 2, 2, true};
        default:
            return std::nullopt;
    }
}

std::int32_t scaled(std::int32_t value, std::int32_t page, std::int32_t defaultPage) {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(value) * page + defaultPage / 2) /
                                     defaultPage);
}

std::string u16(std::uint16_t v) {
    std::string s;
    append16(s, v);
    return s;
}
std::string u32(std::uint32_t v) {
    std::string s;
    append32(s, v);
    return s;
}

template <typename F>
void forEachShape(const Record& record, F&& visit) {
    record.forEach([&](const Record& r) {
        if (r.type() == rt::OfficeArtSpContainer) visit(r);
    });
}

// The FOPT to start from: another header/footer placeholder of the master, else its body, else its title,
// so that the new box looks like the master's own text boxes (fill, line, margins).
const Record* modelOptions(const Record& drawing, bool notes) {
    std::map<int, const Record*> byRank;
    forEachShape(drawing, [&](const Record& shape) {
        const std::uint8_t placement = placementOfShape(shape);
        const Record* options = shape.child(rt::OfficeArtFOPT);
        if (placement == 0 || !options) return;
        int rank = 3;
        if (rt::fieldOf(placement) != 0)
            rank = 0;
        else if (placement == (notes ? kMasterNotesBody : kMasterBody))
            rank = 1;
        else if (placement == kMasterTitle)
            rank = 2;
        byRank.emplace(rank, options);
    });
    return byRank.empty() ? nullptr : byRank.begin()->second;
}

// Simple properties worth copying: protection, text margins and wrapping, fill, line and shadow. The text
// id would repeat the model's; properties pointing at pictures (blip ids) or carrying extra data are left
// out, and so is a fill type other than solid, which would need them.
bool copied(std::uint16_t id, std::uint32_t value) {
    if (id & (kBlipId | kComplex)) return false;
    if (id == kTextId || id == kAnchorText) return false;
    if (id == kFillType) return value == 0;
    return id == kProtection || (id > kTextId && id <= 0x00BF) || (id >= 0x0180 && id <= 0x023F);
}

// A text box without fill or line, as PowerPoint writes its placeholders, overlaid with the model's
// simple properties; the text sits at the bottom of boxes in a bottom band of notes pages.
Record optionsFor(const Record* model, bool bottomAnchored) {
    std::map<std::uint16_t, std::uint32_t> props{
        {kProtection, 0x00050001},  // as PowerPoint writes it on placeholders
        {0x0181, 0x08000004},       // fillColor: the scheme's fill colour
        {0x0183, 0x08000000},       // fillBackColor: the scheme's background
        {0x01BF, 0x00110001},       // not filled
        {0x01C0, 0x08000001},       // lineColor: the scheme's text colour
        {0x01FF, 0x00090001},       // no line
        {0x0201, 0x08000002},       // shadowColor: the scheme's shadow colour
    };
    if (model) {
        const std::string& b = model->body();
        const std::size_t count = model->instance();
        if (count * 6 <= b.size())
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint16_t id = get16(b, 6 * i);
                const std::uint32_t value = get32(b, 6 * i + 2);
                if (copied(id, value)) props[id] = value;
            }
    }
    props[kAnchorText] = bottomAnchored ? 2 : 0;
    std::string body;
    for (const auto& [id, value] : props) body += u16(id) + u32(value);
    return Record::atom(rt::OfficeArtFOPT, static_cast<std::uint16_t>(props.size()), body, 3);
}

std::string anchorBody(std::int32_t top, std::int32_t left, std::int32_t right, std::int32_t bottom) {
    const bool small =
        std::max({top, left, right, bottom}) <= INT16_MAX && std::min({top, left}) >= INT16_MIN;
    std::string b;
    for (std::int32_t v : {top, left, right, bottom})
        b += small ? u16(static_cast<std::uint16_t>(v)) : u32(static_cast<std::uint32_t>(v));
    return b;
}

}  // namespace

PlaceholderAdd::PlaceholderAdd(Record& document, const std::vector<const Record*>& pages)
    : document_(document) {
    for (const Record* page : pages)
        page->forEach([&](const Record& r) {
            if (r.type() == rt::OfficeArtFSP && r.body().size() >= 4) used_.insert(get32(r.body(), 0));
        });
}

bool PlaceholderAdd::add(Record& master, std::uint8_t placement, PageKind kind, std::int32_t width,
                         std::int32_t height) {
    const auto layout = layoutOf(placement, kind);
    if (!layout || width <= 0 || height <= 0) return false;
    Record* drawing = master.child(rt::Drawing);
    Record* dg = drawing ? drawing->child(rt::OfficeArtDgContainer) : nullptr;
    Record* fdg = dg ? dg->child(rt::OfficeArtFDG) : nullptr;
    Record* group = dg ? dg->child(rt::OfficeArtSpgrContainer) : nullptr;
    if (!fdg || fdg->body().size() != 8 || !group || !group->hasChildren()) return false;
    Record* drawingGroup = document_.child(rt::DrawingGroup);
    Record* dgg = drawingGroup ? drawingGroup->child(rt::OfficeArtDggContainer) : nullptr;
    Record* fdgg = dgg ? dgg->child(rt::OfficeArtFDGG) : nullptr;
    if (!fdgg) return false;
    std::string& table = fdgg->body();
    if (table.size() < 16) return false;
    const std::uint32_t cidcl = get32(table, 4);
    if (cidcl == 0 || cidcl > kMaxShapeId / kClusterSize || table.size() != 16 + 8 * std::size_t{cidcl - 1})
        return false;

    // The id after the drawing's last one when its cluster belongs to this drawing, as PowerPoint's own
    // files continue; otherwise the first id of a new cluster for the drawing.
    const std::uint32_t drawingId = fdg->instance();
    const std::uint32_t last = get32(fdg->body(), 4);
    std::uint32_t id = last + 1;
    std::uint32_t cluster = id / kClusterSize;  // from 1
    const bool own = cluster >= 1 && cluster < cidcl && get32(table, 16 + 8 * (cluster - 1)) == drawingId;
    const bool fresh = !own || used_.count(id) != 0;
    if (fresh) {
        cluster = cidcl;
        id = cluster * kClusterSize;
    }
    if (id >= kMaxShapeId || used_.count(id) != 0) return false;
    if (fresh) {
        table += u32(drawingId) + u32(0);
        put32(table, 4, cidcl + 1);
    }
    const std::size_t entry = 16 + 8 * std::size_t{cluster - 1};
    put32(table, entry + 4, std::max(get32(table, entry + 4), id % kClusterSize + 1));  // cspidCur
    put32(table, 0, std::max(get32(table, 0), id + 1));                                 // spidMax
    put32(table, 8, get32(table, 8) + 1);                                               // cspSaved
    put32(fdg->body(), 0, get32(fdg->body(), 0) + 1);                                   // csp
    put32(fdg->body(), 4, std::max(last, id));                                          // spidCur
    used_.insert(id);

    std::int32_t position = -1;
    forEachShape(*drawing, [&](const Record& shape) {
        const Record* data = shape.child(rt::OfficeArtClientData);
        const Record* atom = data ? data->child(rt::PlaceholderAtom) : nullptr;
        if (atom && atom->body().size() >= 4)
            position = std::max(position, static_cast<std::int32_t>(get32(atom->body(), 0)));
    });

    const bool notes = kind == PageKind::Notes;
    const std::int32_t pageWidth = notes ? 4320 : 5760, pageHeight = notes ? 5760 : 4320;
    const std::string anchor =
        anchorBody(scaled(layout->top, height, pageHeight), scaled(layout->left, width, pageWidth),
                   scaled(layout->right, width, pageWidth), scaled(layout->bottom, height, pageHeight));

    std::string placeholder = u32(static_cast<std::uint32_t>(position + 1));
    placeholder += static_cast<char>(placement);
    placeholder += static_cast<char>(layout->size);
    placeholder += u16(0);

    // One paragraph run and one character run over "*" and the closing paragraph mark: the alignment, and
    // the size PowerPoint gives these boxes (14 pt on slides, 12 pt on notes pages).
    const std::string style = u32(2) + u16(0) + u32(0x00000800) + u16(layout->align) + u32(2) +
                              u32(0x00020000) + u16(notes ? 12 : 14);

    std::vector<Record> shape;
    shape.push_back(Record::atom(rt::OfficeArtFSP, kRectangle, u32(id) + u32(kHaveAnchorHaveSpt), 2));
    shape.push_back(optionsFor(modelOptions(*drawing, notes), layout->bottomAnchored));
    shape.push_back(Record::atom(rt::OfficeArtClientAnchor, 0, anchor));
    shape.push_back(
        Record::container(rt::OfficeArtClientData, 0, {Record::atom(rt::PlaceholderAtom, 0, placeholder)}));
    shape.push_back(Record::container(
        rt::OfficeArtClientTextbox, 0,
        {Record::atom(rt::TextHeaderAtom, 0, u32(kOtherText)),
         Record::atom(rt::TextCharsAtom, 0, utf16le("*")), Record::atom(rt::StyleTextPropAtom, 0, style),
         Record::atom(rt::fieldOf(placement), 0, u32(0))}));
    group->children().push_back(Record::container(rt::OfficeArtSpContainer, 0, std::move(shape)));
    return true;
}

}  // namespace trelwick::engine::ppt
