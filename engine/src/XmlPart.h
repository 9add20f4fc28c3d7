#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace trelwick::engine {

// One parsed XML part of the package. Parsing keeps declaration, comments, processing instructions and
// whitespace-only text so that serialising an unedited tree gives the same bytes back.
//
// A page (a part with a shape tree) may be written back partly as read: once told which of its shapes
// an edit may have reached (keepShapesAsRead), serialize() copies every other shape of the tree's top
// level from the bytes as read instead of printing it again; printing is most of the cost of a save.
class XmlPart {
  public:
    // Parses text; throws Error DamagedXml on malformed XML, a DOCTYPE (no entity is ever resolved), a
    // NUL character, a declared encoding other than UTF-8, UTF-16 or Latin-1, or no root element, and
    // Error LimitExceeded on elements nested more than 1,000 deep.
    XmlPart(std::string name, std::string text, const std::string& fileLabel);
    // A new part built from text known to be well formed.
    static XmlPart created(std::string name, const std::string& text);

    const std::string& name() const { return name_; }
    pugi::xml_document& doc() {
        restore();
        return doc_;
    }
    pugi::xml_node root() const {
        restore();
        return doc_.document_element();
    }
    bool dirty() const { return dirty_; }
    void markDirty() {
        dirty_ = true;
        placeholderTypes_.reset();
    }
    // The placeholder types on the page, remembered by whoever reads them while the part is unedited
    // (an edit forgets them); null until then. Caches, so a const part may be told them.
    const std::vector<std::string>* placeholderTypes() const {
        return placeholderTypes_ ? &*placeholderTypes_ : nullptr;
    }
    void rememberPlaceholderTypes(std::vector<std::string> types) const {
        placeholderTypes_ = std::move(types);
    }
    // Whether the stamp has found the part's namespaces declared where it can follow them (its own edits
    // never declare one below the root).
    bool namespacesChecked() const { return namespacesChecked_; }
    void markNamespacesChecked() const { namespacesChecked_ = true; }
    std::string serialize() const;
    // What serialize() gives, without copying the bytes a released part keeps: a view of those, or of
    // `printed`, which then holds the part printed. Valid until the part is next changed or read.
    std::string_view serialized(std::string& printed) const;
    // Lets go of the tree of an edited part, keeping the bytes serialize() gives; the tree is parsed
    // from them again when next asked for. A stamped deck then holds its pages' text rather than their
    // trees, five times as large, until it is saved. No node of the part may be held across.
    void release();

    // Whether a top-level shape of the shape tree may have been edited (or holds something that was).
    using ShapeTest = bool (*)(pugi::xml_node shape);
    // From now on, serialize() copies the top-level shapes for which edited is false from the bytes as
    // read. The caller promises that nothing else in those shapes changes.
    void keepShapesAsRead(ShapeTest edited) { edited_ = edited; }
    // Marks the top-level shape holding node as edited, whatever the test says: for an edit that leaves
    // no trace the test could see, such as a shape removed from a group.
    void markShapeEdited(pugi::xml_node node);
    // Tests and the fuzz target: pages of any size copy their unedited shapes (not only large ones), and
    // every serialize() that does also prints the whole tree and throws std::logic_error unless both
    // read back the same.
    static void checkKeptShapes(bool on);

    // The prefix bound to one of the URIs on the root element; empty for the default namespace.
    // found is false when neither URI is declared there.
    std::string prefixOf(std::string_view uri, std::string_view strictUri, bool* found = nullptr) const;
    // The prefix ensurePrefix would declare: preferred, else preferred0, preferred1, ... whichever is
    // first not bound on the root.
    std::string freePrefix(const std::string& preferred) const;
    // Declares uri on the root (under a prefix not yet used, preferring preferred) and returns the prefix.
    std::string ensurePrefix(std::string_view uri, std::string_view strictUri, bool strict,
                             const std::string& preferred);

  private:
    XmlPart() = default;
    // Where each element at the top level of the shape tree lies in the bytes as read; the bytes are
    // kept for that only, and only when the part is UTF-8 without a byte order mark.
    void findShapes();
    // Refuses a declared encoding that parsing did not honour; a Latin-1 part is written back as UTF-8.
    void checkDeclaredEncoding(const std::string& fileLabel);
    std::string printed() const;
    // Parses the bytes of a released page again. The tree stands for those bytes, so a const part
    // may do it.
    void restore() const {
        if (released_) const_cast<XmlPart*>(this)->reparse();
    }
    void reparse();
    std::string printedKeepingShapes(pugi::xml_node tree) const;
    struct Span {
        std::size_t begin;
        std::size_t end;
    };
    std::string name_;
    pugi::xml_document doc_;
    bool dirty_ = false;
    bool bom_ = false;
    std::size_t sizeHint_ = 0;                           // the size as read, to size the buffer of a save
    pugi::xml_encoding encoding_ = pugi::encoding_utf8;  // written back as read (some decks are UTF-16)
    mutable std::optional<std::vector<std::string>> placeholderTypes_;
    mutable bool namespacesChecked_ = false;
    std::string read_;          // the bytes as read, while shapes may be copied from them
    std::vector<Span> shapes_;  // of the elements at the top level of the shape tree, in order
    ShapeTest edited_ = nullptr;
    std::unordered_set<const void*> editedShapes_;  // marked by markShapeEdited
    bool released_ = false;
    std::string releasedText_;  // what serialize() gave when the tree was let go
};

// "prefix:local", or local alone for the default namespace.
std::string qualified(const std::string& prefix, std::string_view local);
// The part of a qualified name after the colon.
std::string_view localName(const char* name);
// The first child element of that local name, whatever its prefix.
pugi::xml_node childNamed(pugi::xml_node parent, std::string_view local);

}  // namespace trelwick::engine
