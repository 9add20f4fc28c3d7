#include "XmlPart.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <unordered_set>

#include "Failure.h"
#include "Heap.h"

namespace trelwick::engine {
namespace {

// parse_eol is left out: line ends in text are written back as they were read. Attribute values are
// normalised as every XML reader does (a tab or line end written raw is a space): printed again, a
// raw line end would become a character reference, which readers keep as a line end (an alt text
// "fig:<LF>x" read as "fig: x" showed as two lines). parse_doctype is in only so that a DOCTYPE can
// be refused.
constexpr unsigned kParseOptions = (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol;

// A declared prefix that is not an XML name ("0") would make every element written under it
// malformed, so such a declaration is not taken as binding the namespace.
bool isXmlName(std::string_view s) {
    auto nameChar = [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == '-' || c == '.' || c >= 0x80;
    };
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-' || s[0] == '.')
        return false;
    for (unsigned char c : s)
        if (!nameChar(c)) return false;
    return true;
}

// The size from which a page's unedited shapes are copied as read rather than printed again.
constexpr std::size_t kKeepShapesFrom = 8192;
// Set by checkKeptShapes.
std::atomic<bool> checkKept{false};

// Real parts nest a few dozen levels; walking a deeper tree recursively (ours, and pugixml's own when
// it frees a removed node) would overflow the stack.
constexpr int kMaxDepth = 1000;

// pugixml's own walk is iterative, so measuring the depth cannot itself overflow the stack, and it
// follows the nodes without a call into the library for each step.
bool depthExceeds(const pugi::xml_document& doc, int limit) {
    struct Walker : pugi::xml_tree_walker {
        int limit;
        bool exceeded = false;
        explicit Walker(int l) : limit(l) {}
        bool for_each(pugi::xml_node&) override {
            // depth() counts from 0 for the document's own children.
            exceeded = depth() > limit;
            return !exceeded;
        }
    } walker(limit);
    pugi::xml_node(doc).traverse(walker);
    return walker.exceeded;
}

// Whether text holds a code unit of zero in its encoding.
bool holdsNul(std::string_view text, pugi::xml_encoding encoding) {
    std::size_t unit = 1;
    if (encoding == pugi::encoding_utf16_le || encoding == pugi::encoding_utf16_be) unit = 2;
    if (encoding == pugi::encoding_utf32_le || encoding == pugi::encoding_utf32_be) unit = 4;
    if (unit == 1) return std::memchr(text.data(), 0, text.size()) != nullptr;
    for (std::size_t at = 0; at + unit <= text.size(); at += unit)
        if (text.compare(at, unit, std::string_view("\0\0\0\0", unit)) == 0) return true;
    return false;
}

bool isReference(std::string_view name) {
    if (name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot") return true;
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), [hex](char c) {
        return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                   : std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// Whether at lies in a comment, a CDATA section or a processing instruction, where '&' is only a character.
bool inLiteralText(std::string_view text, std::size_t at) {
    for (std::size_t from = 0; (from = text.find("<", from)) < at;) {
        std::string_view end;
        if (text.compare(from, 4, "<!--") == 0)
            end = "-->";
        else if (text.compare(from, 9, "<![CDATA[") == 0)
            end = "]]>";
        else if (text.compare(from, 2, "<?") == 0)
            end = "?>";
        if (end.empty()) {
            ++from;
            continue;
        }
        const std::size_t close = text.find(end, from);
        if (close == std::string_view::npos || close > at) return true;
        from = close + end.size();
    }
    return false;
}

// pugixml keeps a reference to an entity it does not know ("&ent;", or a lone "&") as text, which saving
// then escapes: the part is not well formed, and its text would change. The name of the first one, or
// empty. Only single-byte encodings are looked at; '&' is rare, so this costs a search for it.
std::string unknownReference(std::string_view text) {
    for (std::size_t at = 0; (at = text.find('&', at)) != std::string_view::npos; ++at) {
        const std::size_t end = text.find_first_of(";<&\"' \t\r\n", at + 1);
        if (end != std::string_view::npos && text[end] == ';' &&
            isReference(text.substr(at + 1, end - at - 1))) {
            at = end;
            continue;
        }
        if (inLiteralText(text, at)) continue;
        std::string shown(
            text.substr(at, std::min<std::size_t>(end == std::string_view::npos ? 16 : end - at + 1, 32)));
        for (char& c : shown)  // for the message: Latin-1 bytes are no UTF-8
            if (static_cast<unsigned char>(c) >= 0x80 || static_cast<unsigned char>(c) < 0x20) c = '?';
        return shown;
    }
    return {};
}

// pugixml allocates its nodes in pages of this size, used up as the tree grows.
constexpr std::size_t kPugiPageBytes = 32 * 1024;

// pugixml answers an allocation that fails by leaving the node, attribute or text out and going on,
// so a stamp short of memory would save pages with parts missing. Its allocations throw instead, as
// new does, and the deck is reported as too large for the memory at hand.
void* allocateOrThrow(std::size_t size) {
    void* block = std::malloc(size);
    if (!block) throw std::bad_alloc();
    // A block larger than its pages of nodes (32 KB) is a large part's text, copied in whole.
    if (size > kPugiPageBytes) populate(block, size);
    return block;
}
[[maybe_unused]] const bool kAllocationsThrow =
    (pugi::set_memory_management_functions(allocateOrThrow, std::free), true);

}  // namespace

XmlPart::XmlPart(std::string name, std::string text, const std::string& fileLabel)
    : name_(std::move(name)), sizeHint_(text.size()) {
    bom_ = (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) ||
           (text.size() >= 2 && (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0));
    const pugi::xml_parse_result result =
        doc_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
    // Memory running out is no damage in the file; callers say so in their own words.
    if (result.status == pugi::status_out_of_memory) throw std::bad_alloc();
    if (!result)
        fail(ErrorCode::DamagedXml, fileLabel, name_,
             std::string("the XML is damaged (") + result.description() + " at offset " +
                 std::to_string(result.offset) + ")");
    encoding_ = result.encoding;
    // pugixml stops reading at a NUL character (which no XML document may hold) and takes what came
    // before as the whole part: whatever follows would be lost on saving, and the offsets of the shapes
    // would no longer describe the bytes.
    if (holdsNul(text, encoding_))
        fail(ErrorCode::DamagedXml, fileLabel, name_, "the XML holds a NUL character");
    for (pugi::xml_node node : doc_.children())
        if (node.type() == pugi::node_doctype)
            fail(ErrorCode::DamagedXml, fileLabel, name_, "the XML carries a DOCTYPE, which is refused");
    if (!doc_.document_element())
        fail(ErrorCode::DamagedXml, fileLabel, name_, "the XML has no root element");
    if (encoding_ == pugi::encoding_utf8 || encoding_ == pugi::encoding_latin1)
        if (const std::string reference = unknownReference(text); !reference.empty())
            fail(ErrorCode::DamagedXml, fileLabel, name_,
                 "the XML is damaged (\"" + reference + "\" is not a character or a known entity)");
    if (depthExceeds(doc_, kMaxDepth))
        fail(ErrorCode::LimitExceeded, fileLabel, name_,
             "the XML is nested more than " + std::to_string(kMaxDepth) + " levels deep");
    // pugixml parses a copy of UTF-8 bytes as they are, so its offsets are offsets into text. On a small
    // page the shapes the stamp adds are most of what is printed, and keeping the rest saves nothing.
    if (encoding_ == pugi::encoding_utf8 && !bom_ && (text.size() >= kKeepShapesFrom || checkKept)) {
        read_ = std::move(text);
        findShapes();
    }
    checkDeclaredEncoding(fileLabel);
}

void XmlPart::checkDeclaredEncoding(const std::string& fileLabel) {
    const pugi::xml_node declaration = doc_.first_child();
    if (declaration.type() != pugi::node_declaration) return;
    pugi::xml_attribute declared = declaration.attribute("encoding");
    std::string name = declared.value();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // pugixml reads UTF-8 and UTF-16 (and ASCII, their subset) by their bytes, and Latin-1 when the
    // declaration names it; any other encoding would be taken as UTF-8 and its text garbled. Parts of
    // a presentation may only be UTF-8 or UTF-16.
    if (encoding_ == pugi::encoding_latin1) {
        // Written back as UTF-8, so that every character of a stamped text has a place.
        encoding_ = pugi::encoding_utf8;
        declared.set_value("UTF-8");
        return;
    }
    if (!declared || name == "utf-8" || name == "utf8" || name == "utf-16" || name == "utf16" ||
        name == "us-ascii" || name == "ascii")
        return;
    fail(ErrorCode::DamagedXml, fileLabel, name_,
         std::string("the XML declares the encoding ") + declared.value() +
             ", which presentations do not use (only UTF-8 and UTF-16)");
}

XmlPart XmlPart::created(std::string name, const std::string& text) {
    XmlPart part;
    part.name_ = std::move(name);
    part.sizeHint_ = text.size();
    const pugi::xml_parse_result result =
        part.doc_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
    if (result.status == pugi::status_out_of_memory) throw std::bad_alloc();
    if (!result) throw std::logic_error(part.name_ + ": a part made by the stamp is not well formed");
    part.dirty_ = true;
    return part;
}

namespace {

constexpr unsigned kSaveFlags = pugi::format_raw | pugi::format_no_declaration;
constexpr std::size_t npos = std::string::npos;

// Straight into one string: an ostringstream would grow its buffer in steps and copy it out.
struct Appender : pugi::xml_writer {
    std::string out;
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

std::string print(const pugi::xml_node& node, unsigned flags) {
    Appender writer;
    node.print(writer, "", flags, pugi::encoding_utf8);
    return std::move(writer.out);
}

// Where the markup of an unedited node begins in the bytes its document was parsed from, or npos (a
// node made or renamed since, or a kind that cannot be placed).
std::size_t markupStart(pugi::xml_node node, std::string_view text) {
    const std::ptrdiff_t found = node.offset_debug();
    if (found <= 0 || static_cast<std::size_t>(found) >= text.size()) return npos;
    const std::size_t at = static_cast<std::size_t>(found);
    auto opens = [&](std::size_t length, std::string_view opener) {
        return at >= length && text.compare(at - length, length, opener) == 0 ? at - length : npos;
    };
    switch (node.type()) {
        case pugi::node_element: {
            const std::string_view name = node.name();
            const char after = at + name.size() < text.size() ? text[at + name.size()] : '\0';
            const bool named =
                text.compare(at, name.size(), name) == 0 && (after == '>' || after == '/' || after == ' ' ||
                                                             after == '\t' || after == '\r' || after == '\n');
            return named ? opens(1, "<") : npos;
        }
        case pugi::node_pcdata:
            return text[at - 1] == '>' ? at : npos;  // text starts right after the markup before it
        case pugi::node_comment:
            return opens(4, "<!--");
        case pugi::node_pi:
            return opens(2, "<?");
        case pugi::node_cdata:
            return opens(9, "<![CDATA[");
        default:
            return npos;
    }
}

// Where the end tag of element begins, from where the markup after it begins.
std::size_t endTagStart(pugi::xml_node element, std::string_view text);

std::size_t followingStart(pugi::xml_node node, std::string_view text) {
    if (const pugi::xml_node next = node.next_sibling()) return markupStart(next, text);
    const pugi::xml_node parent = node.parent();
    if (parent.type() == pugi::node_document) return text.size();
    return endTagStart(parent, text);
}

std::size_t endTagStart(pugi::xml_node element, std::string_view text) {
    const std::size_t after = followingStart(element, text);
    if (after == npos || after == 0) return npos;
    const std::size_t lt = text.rfind('<', after - 1);
    return lt != npos && text.compare(lt, 2, "</") == 0 ? lt : npos;
}

pugi::xml_node shapeTreeOf(pugi::xml_node root) {
    return childNamed(childNamed(root, "cSld"), "spTree");
}

// The element's start tag as pugixml prints it, attributes escaped the same way.
std::string startTag(pugi::xml_node element) {
    pugi::xml_document scratch;
    pugi::xml_node copy = scratch.append_child(element.name());
    for (pugi::xml_attribute a : element.attributes()) copy.append_attribute(a.name()) = a.value();
    std::string tag = print(copy, pugi::format_raw);
    if (tag.size() >= 2 && tag.compare(tag.size() - 2, 2, "/>") == 0) tag.erase(tag.size() - 2);
    return tag + ">";
}

}  // namespace

void XmlPart::checkKeptShapes(bool on) {
    checkKept = on;
}

void XmlPart::markShapeEdited(pugi::xml_node node) {
    const pugi::xml_node tree = shapeTreeOf(root());
    while (node && node.parent() != tree) node = node.parent();
    if (node) editedShapes_.insert(node.internal_object());
}

void XmlPart::findShapes() {
    const std::string_view text = read_;
    const pugi::xml_node tree = shapeTreeOf(root());
    bool placed = static_cast<bool>(tree.first_child());
    std::vector<Span> spans;
    for (pugi::xml_node c = tree.first_child(); c && placed; c = c.next_sibling()) {
        const std::size_t begin = markupStart(c, text);
        const std::size_t end =
            c.next_sibling() ? markupStart(c.next_sibling(), text) : endTagStart(tree, text);
        placed = begin != npos && end != npos && begin < end && (spans.empty() || spans.back().end <= begin);
        if (placed && c.type() == pugi::node_element) {
            placed = text[end - 1] == '>';
            spans.push_back({begin, end});
        }
    }
    if (placed) {
        shapes_ = std::move(spans);
    } else {
        read_.clear();
        read_.shrink_to_fit();
    }
}

std::string XmlPart::printed() const {
    Appender writer;
    writer.out.reserve(sizeHint_ + sizeHint_ / 4 + 256);
    // About what printing it again writes, for a part read as UTF-8 (one read as UTF-16 prints smaller).
    if (encoding_ == pugi::encoding_utf8 && !bom_) populate(writer.out.data(), sizeHint_);
    unsigned flags = kSaveFlags;
    if (bom_) flags |= pugi::format_write_bom;
    doc_.save(writer, "", flags, encoding_);
    return std::move(writer.out);
}

std::string XmlPart::printedKeepingShapes(pugi::xml_node tree) const {
    std::string out;
    out.reserve(sizeHint_ + sizeHint_ / 4 + 256);
    populate(out.data(), sizeHint_);
    auto keep = [&](pugi::xml_node shape) {
        if (shape.type() != pugi::node_element || edited_(shape) ||
            editedShapes_.count(shape.internal_object()) > 0)
            return false;
        const std::size_t begin = markupStart(shape, read_);
        const auto span = std::lower_bound(shapes_.begin(), shapes_.end(), begin,
                                           [](const Span& s, std::size_t b) { return s.begin < b; });
        if (begin == npos || span == shapes_.end() || span->begin != begin) return false;
        out.append(read_, span->begin, span->end - span->begin);
        return true;
    };
    // The elements from the root down to the shape tree are printed around their children; every
    // other node whole, by pugixml.
    auto around = [&](auto& self, pugi::xml_node element) -> void {
        out += startTag(element);
        for (pugi::xml_node c = element.first_child(); c; c = c.next_sibling()) {
            if (element == tree ? keep(c) : false) continue;
            if (c == tree || (c.type() == pugi::node_element && c == tree.parent()))
                self(self, c);
            else
                out += print(c, kSaveFlags);
        }
        out += "</";
        out += element.name();
        out += '>';
    };
    for (pugi::xml_node d = doc_.first_child(); d; d = d.next_sibling()) {
        if (d == root())
            around(around, d);
        else
            out += print(d, kSaveFlags);
    }
    return out;
}

std::string XmlPart::serialize() const {
    if (released_) return releasedText_;
    const pugi::xml_node tree = read_.empty() ? pugi::xml_node() : shapeTreeOf(root());
    // The path down to the shape tree must still be the one read, with the tree among the root's
    // grandchildren.
    if (!edited_ || !tree || tree.parent().parent() != root()) return printed();
    std::string out = printedKeepingShapes(tree);
    if (checkKept) {
        // Both read back and printed again, so that only what a reader sees is compared.
        auto reprinted = [](const std::string& xml) {
            pugi::xml_document doc;
            return doc.load_buffer(xml.data(), xml.size(), kParseOptions, pugi::encoding_utf8)
                       ? print(doc, kSaveFlags)
                       : std::string("(not well formed)");
        };
        if (reprinted(out) != reprinted(printed()))
            throw std::logic_error(name_ + ": the shapes kept as read do not give the edited part");
    }
    return out;
}

std::string_view XmlPart::serialized(std::string& printed) const {
    if (released_) return releasedText_;
    printed = serialize();
    return printed;
}

void XmlPart::release() {
    if (!dirty_ || released_) return;
    std::string text = serialize();
    doc_.reset();
    read_.clear();
    read_.shrink_to_fit();
    shapes_.clear();
    shapes_.shrink_to_fit();
    editedShapes_.clear();  // addresses of nodes that are gone
    releasedText_ = std::move(text);
    released_ = true;
}

void XmlPart::reparse() {
    const pugi::xml_parse_result result =
        doc_.load_buffer(releasedText_.data(), releasedText_.size(), kParseOptions, pugi::encoding_auto);
    if (result.status == pugi::status_out_of_memory) throw std::bad_alloc();
    if (!result) throw std::logic_error(name_ + ": a page the stamp wrote does not parse again");
    std::string text = std::move(releasedText_);
    releasedText_ = std::string();
    released_ = false;
    // The bytes are now the ones read: shapes left alone from here on are copied from them.
    if (encoding_ == pugi::encoding_utf8 && !bom_ && (text.size() >= kKeepShapesFrom || checkKept)) {
        read_ = std::move(text);
        findShapes();
    }
}

std::string XmlPart::prefixOf(std::string_view uri, std::string_view strictUri, bool* found) const {
    for (pugi::xml_attribute a : root().attributes()) {
        const std::string_view name = a.name();
        const std::string_view value = a.value();
        if (value != uri && value != strictUri) continue;
        if (name == "xmlns") {
            if (found) *found = true;
            return {};
        }
        if (name.substr(0, 6) == "xmlns:" && isXmlName(name.substr(6))) {
            if (found) *found = true;
            return std::string(name.substr(6));
        }
    }
    if (found) *found = false;
    return {};
}

std::string XmlPart::freePrefix(const std::string& preferred) const {
    if (!root().attribute(("xmlns:" + preferred).c_str())) return preferred;
    // A hostile root may bind preferred0 ... preferredN: looked up one by one, that is quadratic.
    std::unordered_set<std::string_view> taken;
    for (pugi::xml_attribute a : root().attributes()) taken.insert(a.name());
    std::string prefix;
    for (std::size_t n = 0;; ++n) {
        prefix = preferred + std::to_string(n);
        if (taken.count("xmlns:" + prefix) == 0) return prefix;
    }
}

std::string XmlPart::ensurePrefix(std::string_view uri, std::string_view strictUri, bool strict,
                                  const std::string& preferred) {
    bool found = false;
    std::string prefix = prefixOf(uri, strictUri, &found);
    if (found) return prefix;
    prefix = freePrefix(preferred);
    root().append_attribute(("xmlns:" + prefix).c_str()) = std::string(strict ? strictUri : uri).c_str();
    markDirty();
    return prefix;
}

std::string qualified(const std::string& prefix, std::string_view local) {
    return prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
}

std::string_view localName(const char* name) {
    const char* colon = std::strchr(name, ':');
    return colon ? std::string_view(colon + 1) : std::string_view(name);
}

pugi::xml_node childNamed(pugi::xml_node parent, std::string_view local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && localName(c.name()) == local) return c;
    return {};
}

}  // namespace trelwick::engine
