#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace trelwick::engine {

// One parsed XML part of the package. Parsing keeps declaration, comments, processing instructions and
// whitespace-only text so that serialising an unedited tree gives the same bytes back.
class XmlPart {
  public:
    // Parses text; throws Error DamagedXml on malformed XML or any DOCTYPE (no entity is ever resolved).
    XmlPart(std::string name, const std::string& text, const std::string& fileLabel);
    // A new part built from text known to be well formed.
    static XmlPart created(std::string name, const std::string& text);

    const std::string& name() const { return name_; }
    pugi::xml_document& doc() { return doc_; }
    pugi::xml_node root() const { return doc_.document_element(); }
    bool dirty() const { return dirty_; }
    void markDirty() {
        dirty_ = true;
        placeholderTypes_.reset();
    }
    // The placeholder types on the page, remembered by whoever reads them while the part is unedited.
    std::optional<std::vector<std::string>>& placeholderTypes() const { return placeholderTypes_; }
    bool isNew() const { return isNew_; }
    std::string serialize() const;

    // The prefix bound to one of the URIs on the root element; empty for the default namespace.
    // found is false when neither URI is declared there.
    std::string prefixOf(std::string_view uri, std::string_view strictUri, bool* found = nullptr) const;
    // Declares uri on the root (under a prefix not yet used, preferring preferred) and returns the prefix.
    std::string ensurePrefix(std::string_view uri, std::string_view strictUri, bool strict,
                             const std::string& preferred);

  private:
    XmlPart() = default;
    std::string name_;
    pugi::xml_document doc_;
    bool dirty_ = false;
    bool isNew_ = false;
    bool bom_ = false;
    std::size_t sizeHint_ = 0;  // the size as read, to size the buffer of a save
    pugi::xml_encoding encoding_ = pugi::encoding_utf8;  // written back as read (some decks are UTF-16)
    mutable std::optional<std::vector<std::string>> placeholderTypes_;
};

// "prefix:local", or local alone for the default namespace.
std::string qualified(const std::string& prefix, std::string_view local);
// The part of a qualified name after the colon.
std::string_view localName(const char* name);

}  // namespace trelwick::engine
