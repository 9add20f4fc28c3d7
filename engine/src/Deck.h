#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "XmlPart.h"
#include "ZipPackage.h"

namespace trelwick::engine {

// One relationship of a part.
struct Relationship {
    std::string id;
    std::string type;    // full type URI
    std::string target;  // as written
    bool external = false;
};

// The package seen as parts linked by relationships: finds the presentation part and what hangs off it,
// parses XML parts on demand, and records new parts, relationships and content types for the save.
class Deck {
  public:
    // Reads the package relationships and the presentation part. Throws Error.
    explicit Deck(std::unique_ptr<ZipPackage> zip);

    const std::string& label() const { return zip_->label(); }
    const ZipPackage& zip() const { return *zip_; }
    bool strict() const { return strict_; }
    bool isSigned() const;

    // The parsed part (parsed once, then cached). Throws Error when missing or damaged.
    XmlPart& part(const std::string& name);
    bool exists(const std::string& name) const;
    XmlPart& presentation() { return part(presentationPart_); }
    const std::string& presentationPart() const { return presentationPart_; }

    // The relationships of a part (empty when it has none); parsed once.
    const std::vector<Relationship>& relationships(const std::string& source);
    // The part a relationship points at, resolved against its source. Throws when it leaves the package.
    std::string resolve(const std::string& source, const std::string& target) const;
    // The first internal target of the given type name ("slideLayout"), or empty.
    std::string target(const std::string& source, std::string_view typeName);
    // The internal target of relationship id, or empty.
    std::string targetById(const std::string& source, const std::string& id);
    // Adds a relationship from source to targetPart and returns its id.
    std::string addRelationship(const std::string& source, std::string_view typeName,
                                const std::string& targetPart);
    std::string relationshipType(std::string_view typeName) const;

    // A part name "<folder>/<stem>N.xml" used by nothing yet.
    std::string unusedPartName(const std::string& folder, const std::string& stem);
    XmlPart& addXmlPart(const std::string& name, const std::string& text, std::string_view contentType);
    // A new part that is a copy of a package entry, written from its stored bytes as they are.
    void addCopiedPart(const std::string& name, const std::string& entry, std::string_view contentType);

    // Presentation facts, read on opening. The stamp sets notesMaster when it adds one.
    std::vector<std::string> slideMasters;
    std::vector<std::string> slides;  // in show order
    std::string notesMaster;          // empty when absent
    std::string handoutMaster;        // empty when absent
    int firstSlideNumber = 1;
    bool showOnTitleSlide = true;
    std::int64_t slideWidth = 9144000, slideHeight = 6858000;
    std::int64_t notesWidth = 6858000, notesHeight = 9144000;

    // What the save writes: parsed parts (edited ones are re-serialised), new parts in order of creation.
    const std::map<std::string, std::unique_ptr<XmlPart>>& parsedParts() const { return parts_; }
    const std::vector<std::string>& newParts() const { return newParts_; }
    const std::map<std::string, std::string>& copiedNewParts() const { return copiedNewParts_; }  // -> entry

  private:
    // Reads the presentation facts above from the presentation part, once, on opening.
    void readPresentation();
    void addContentType(const std::string& partName, std::string_view contentType);
    std::unique_ptr<ZipPackage> zip_;
    bool strict_ = false;
    std::string presentationPart_;
    std::map<std::string, std::unique_ptr<XmlPart>> parts_;  // key: entry name
    std::vector<std::string> newParts_;
    std::map<std::string, std::string> copiedNewParts_;
    std::map<std::string, std::vector<Relationship>> relationships_;             // by source part
    std::map<std::string, std::map<std::string, std::size_t>> relationshipIds_;  // id -> index, by source
    // Kept while parts are added one after another (a notes page for each of thousands of slides):
    // looking through every name and every content type again for each made adding them quadratic.
    std::map<std::string, int> nextPartNumber_;        // by "<folder>/<stem>": no lower number is free
    std::optional<std::set<std::string>> overridden_;  // part names with a content type, lower case
};

// "ppt/slides/_rels/slide1.xml.rels" for "ppt/slides/slide1.xml"; "_rels/.rels" for "".
std::string relationshipsPartOf(const std::string& partName);

}  // namespace trelwick::engine
