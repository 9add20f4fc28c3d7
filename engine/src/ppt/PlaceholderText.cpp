#include "PlaceholderText.h"

#include <optional>
#include <string>

#include "Bytes.h"
#include "RecordTypes.h"

namespace trelwick::engine::ppt {
namespace {

constexpr std::uint16_t kTextHeader = 0x0F9F;
constexpr std::uint16_t kTextChars = 0x0FA0;
constexpr std::uint16_t kTextBytes = 0x0FA8;
constexpr std::uint16_t kStyleTextProp = 0x0FA1;
constexpr std::uint16_t kMasterTextProp = 0x0FA2;
constexpr std::uint16_t kTextSpecialInfo = 0x0FAA;

bool isField(std::uint16_t type) {
    return type == rt::GenericDateMCAtom || type == rt::DateTimeMCAtom || type == rt::RTFDateTimeMCAtom ||
           type == rt::SlideNumberMCAtom || type == rt::HeaderMCAtom || type == rt::FooterMCAtom;
}

// Records a placeholder text may hold besides the text, its formatting and its fields: the text type,
// the ruler, and the formatting extensions of PowerPoint 2000+ (kept as they are). Anything else
// (hyperlinks, bookmarks, interactive ranges) refers to character positions and makes a rewrite unsafe.
bool keptAsIs(std::uint16_t type) {
    switch (type) {
        case kTextHeader:
        case 0x0FA6:  // TextRulerAtom
        case 0x1388:  // ProgTags (PowerPoint 2000+ text extensions)
            return true;
        default:
            return false;
    }
}

// Byte sizes of the optional fields of a TextPFException ([MS-PPT] 2.9.18), in file order, by mask bit.
std::optional<std::size_t> paragraphExceptionSize(const std::string& b, std::size_t at) {
    if (at + 4 > b.size()) return std::nullopt;
    const std::uint32_t m = get32(b, at);
    std::size_t size = 4;
    auto field = [&](bool present, std::size_t bytes) {
        if (present) size += bytes;
    };
    field(m & 0x0000000F, 2);  // bulletFlags
    field(m & 0x00000080, 2);  // bulletChar
    field(m & 0x00000010, 2);  // bulletFontRef
    field(m & 0x00000040, 2);  // bulletSize
    field(m & 0x00000020, 4);  // bulletColor
    field(m & 0x00000800, 2);  // textAlignment
    field(m & 0x00001000, 2);  // lineSpacing
    field(m & 0x00002000, 2);  // spaceBefore
    field(m & 0x00004000, 2);  // spaceAfter
    field(m & 0x00000100, 2);  // leftMargin
    field(m & 0x00000400, 2);  // indent
    field(m & 0x00008000, 2);  // defaultTabSize
    if (m & 0x00100000) {      // tabStops: count, then 4 bytes each
        if (at + size + 2 > b.size()) return std::nullopt;
        size += 2 + 4 * std::size_t{get16(b, at + size)};
    }
    field(m & 0x00010000, 2);  // fontAlign
    field(m & 0x000E0000, 2);  // wrapFlags
    field(m & 0x00200000, 2);  // textDirection
    if (at + size > b.size()) return std::nullopt;
    return size;
}

// Byte size of a TextCFException ([MS-PPT] 2.9.13).
std::optional<std::size_t> characterExceptionSize(const std::string& b, std::size_t at) {
    if (at + 4 > b.size()) return std::nullopt;
    const std::uint32_t m = get32(b, at);
    std::size_t size = 4;
    auto field = [&](bool present, std::size_t bytes) {
        if (present) size += bytes;
    };
    field(m & 0x0000FFFF, 2);  // fontStyle
    field(m & 0x00010000, 2);  // fontRef
    field(m & 0x00200000, 2);  // oldEAFontRef
    field(m & 0x00400000, 2);  // ansiFontRef
    field(m & 0x00800000, 2);  // symbolFontRef
    field(m & 0x00020000, 2);  // fontSize
    field(m & 0x00040000, 4);  // color
    field(m & 0x00080000, 2);  // position
    field(m & 0x00100000, 4);  // pp10ext
    field(m & 0x01000000, 2);  // newEAFontRef
    field(m & 0x02000000, 2);  // csFontRef
    field(m & 0x04000000, 4);  // pp11ext
    if (at + size > b.size()) return std::nullopt;
    return size;
}

// The StyleTextPropAtom for text of newLength characters: the first paragraph run and the first character
// run of old (for text of oldLength characters), each stretched to cover all of it. nullopt when old's
// runs do not cover its text or do not fill the atom exactly, which would mean a misread. (The last run
// may reach past the text's end; PowerPoint writes such runs.)
std::optional<std::string> stretchedStyle(const std::string& old, std::uint32_t oldLength,
                                          std::uint32_t newLength) {
    std::size_t at = 0;
    std::optional<std::string> firstParagraph, firstCharacter;
    for (std::uint64_t covered = 0; covered < oldLength + 1ull;) {
        if (at + 6 > old.size()) return std::nullopt;
        const std::uint32_t count = get32(old, at);
        const auto size = paragraphExceptionSize(old, at + 6);
        if (count == 0 || !size) return std::nullopt;
        if (!firstParagraph) firstParagraph = old.substr(at, 6 + *size);
        covered += count;
        at += 6 + *size;
    }
    for (std::uint64_t covered = 0; covered < oldLength + 1ull;) {
        if (at + 4 > old.size()) return std::nullopt;
        const std::uint32_t count = get32(old, at);
        const auto size = characterExceptionSize(old, at + 4);
        if (count == 0 || !size) return std::nullopt;
        if (!firstCharacter) firstCharacter = old.substr(at, 4 + *size);
        covered += count;
        at += 4 + *size;
    }
    if (at != old.size()) return std::nullopt;
    put32(*firstParagraph, 0, newLength + 1);
    put32(*firstCharacter, 0, newLength + 1);
    return *firstParagraph + *firstCharacter;
}

Record* textboxOf(Record& shape) {
    Record* box = shape.child(rt::OfficeArtClientTextbox);
    return box && box->hasChildren() ? box : nullptr;
}

}  // namespace

bool PlaceholderText::hasField(const Record& shape, std::uint16_t fieldType) {
    const Record* box = shape.child(rt::OfficeArtClientTextbox);
    bool found = false;
    if (box) box->forEach([&](const Record& r) { found = found || r.type() == fieldType; });
    return found;
}

bool PlaceholderText::setField(Record& shape, std::uint16_t fieldType) {
    Record* box = textboxOf(shape);
    if (!box) return false;
    std::uint32_t oldLength = 0;
    bool hasTextAtom = false;
    for (const Record& c : box->children()) {
        hasTextAtom = hasTextAtom || c.type() == kTextChars || c.type() == kTextBytes;
        if (c.type() == kTextChars) oldLength = static_cast<std::uint32_t>(c.body().size() / 2);
        if (c.type() == kTextBytes) oldLength = static_cast<std::uint32_t>(c.body().size());
    }
    constexpr std::uint32_t kNewLength = 1;  // "*"
    std::vector<Record> children;
    bool hasText = false;
    for (const Record& c : box->children()) {
        if (c.type() == kTextChars || c.type() == kTextBytes) {
            if (!hasText) children.push_back(Record::atom(kTextChars, 0, utf16le("*")));
            hasText = true;
        } else if (c.type() == kStyleTextProp) {
            const auto style = stretchedStyle(c.body(), oldLength, kNewLength);
            if (!style) return false;
            children.push_back(Record::atom(kStyleTextProp, c.instance(), *style));
        } else if (c.type() == kMasterTextProp) {
            // Runs of (count, indent level); one run at the first level covers the new text.
            if (c.body().size() < 6) return false;
            std::string run = c.body().substr(0, 6);
            put32(run, 0, kNewLength + 1);
            children.push_back(Record::atom(kMasterTextProp, c.instance(), run));
        } else if (c.type() == kTextSpecialInfo || isField(c.type())) {
            // Spelling and language runs are optional and rebuilt by PowerPoint; old fields go.
        } else if (keptAsIs(c.type())) {
            children.push_back(c);
            // An empty placeholder (PowerPoint 2007+ writes these) has no text atom; it follows the header.
            if (c.type() == kTextHeader && !hasTextAtom) {
                children.push_back(Record::atom(kTextChars, 0, utf16le("*")));
                hasText = true;
            }
        } else {
            return false;
        }
    }
    if (!hasText) return false;
    std::string position;
    append32(position, 0);
    children.push_back(Record::atom(fieldType, 0, position));
    box->children() = std::move(children);
    return true;
}

}  // namespace trelwick::engine::ppt
