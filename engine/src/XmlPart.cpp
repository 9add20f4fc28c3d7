#include "XmlPart.h"

#include <cctype>
#include <cstring>

#include "Failure.h"

namespace trelwick::engine {
namespace {

// parse_eol and parse_wconv_attribute are left out: they would rewrite line ends and whitespace in
// attribute values that we do not own. parse_doctype is in only so that a DOCTYPE can be refused.
constexpr unsigned kParseOptions =
    ((pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol & ~pugi::parse_wconv_attribute);

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

}  // namespace

XmlPart::XmlPart(std::string name, const std::string& text, const std::string& fileLabel)
    : name_(std::move(name)), sizeHint_(text.size()) {
    bom_ = (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) ||
           (text.size() >= 2 && (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0));
    const pugi::xml_parse_result result =
        doc_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
    if (!result)
        fail(ErrorCode::DamagedXml, fileLabel, name_,
             std::string("the XML is damaged (") + result.description() + " at offset " +
                 std::to_string(result.offset) + ")");
    encoding_ = result.encoding;
    for (pugi::xml_node node : doc_.children())
        if (node.type() == pugi::node_doctype)
            fail(ErrorCode::DamagedXml, fileLabel, name_, "the XML carries a DOCTYPE, which is refused");
    if (!doc_.document_element())
        fail(ErrorCode::DamagedXml, fileLabel, name_, "the XML has no root element");
    if (depthExceeds(doc_, kMaxDepth))
        fail(ErrorCode::LimitExceeded, fileLabel, name_,
             "the XML is nested more than " + std::to_string(kMaxDepth) + " levels deep");
}

XmlPart XmlPart::created(std::string name, const std::string& text) {
    XmlPart part;
    part.name_ = std::move(name);
    part.sizeHint_ = text.size();
    part.doc_.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8);
    part.dirty_ = true;
    part.isNew_ = true;
    return part;
}

std::string XmlPart::serialize() const {
    // Straight into one string: an ostringstream would grow its buffer in steps and copy it out.
    struct Appender : pugi::xml_writer {
        std::string out;
        void write(const void* data, std::size_t size) override {
            out.append(static_cast<const char*>(data), size);
        }
    } writer;
    writer.out.reserve(sizeHint_ + sizeHint_ / 4 + 256);
    unsigned flags = pugi::format_raw | pugi::format_no_declaration;
    if (bom_) flags |= pugi::format_write_bom;
    doc_.save(writer, "", flags, encoding_);
    return std::move(writer.out);
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

std::string XmlPart::ensurePrefix(std::string_view uri, std::string_view strictUri, bool strict,
                                  const std::string& preferred) {
    bool found = false;
    std::string prefix = prefixOf(uri, strictUri, &found);
    if (found) return prefix;
    prefix = preferred;
    for (int n = 0; root().attribute(("xmlns:" + prefix).c_str()); ++n)
        prefix = preferred + std::to_string(n);
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

}  // namespace trelwick::engine
