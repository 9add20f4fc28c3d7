#pragma once

#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "common/Files.h"
#include "common/TempDir.h"
#include "common/Zip.h"
#include "trelwick/engine.h"

// Small decks written from XML fixtures, and readers for what the engine wrote.
namespace trelwick::engine::test {

// Temporary folders, files and zips are shared with the other suites.
using trelwick::testing::Entries;
using trelwick::testing::entryNames;
using trelwick::testing::hasEntry;
using trelwick::testing::RawEntry;
using trelwick::testing::rawEntry;
using trelwick::testing::readEntry;
using trelwick::testing::readFile;
using trelwick::testing::TempDir;
using trelwick::testing::writeFile;
using trelwick::testing::writeZip;

struct LayoutPlan {
    std::string type = "obj";
    bool dt = true, ftr = true, sldNum = true;
};

struct MasterPlan {
    bool dt = true, ftr = true, sldNum = true;
    std::vector<LayoutPlan> layouts{LayoutPlan{}};
};

struct SlidePlan {
    int master = 0, layout = 0;
    bool hidden = false;
    std::string extraShapes;  // p:sp elements appended to the shape tree
    bool notes = false;       // has a notes slide (needs a notes master)
};

// A slide on layout `layout` of master `master`.
inline SlidePlan on(int master, int layout) {
    SlidePlan s;
    s.master = master;
    s.layout = layout;
    return s;
}

struct DeckPlan {
    std::vector<MasterPlan> masters{MasterPlan{}};
    std::vector<SlidePlan> slides{SlidePlan{}};
    std::string presentationAttributes;  // e.g. R"(firstSlideNum="5")"
    bool notesMaster = false;
    bool handoutMaster = false;
    bool strict = false;
    std::string mainContentType =
        "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
    std::vector<std::pair<std::string, std::string>> extraEntries;  // stored as given, after the others
};

Entries buildDeck(const DeckPlan& plan);

// The deck at source, opened with its slides' footer set to text and shown.
Presentation withSlideFooter(const std::filesystem::path& source, const std::string& text,
                             const Limits& limits = {});

// An OLE compound file whose directory holds the given stream names.
std::string oleFile(const std::vector<std::string>& streams);

// A parsed XML part for assertions via XPath with the p:/a: prefixes of the fixtures.
class Xml {
  public:
    explicit Xml(const std::string& text);
    pugi::xpath_node_set all(const std::string& xpath) const { return doc_.select_nodes(xpath.c_str()); }
    pugi::xml_node one(const std::string& xpath) const { return doc_.select_node(xpath.c_str()).node(); }
    std::size_t count(const std::string& xpath) const { return all(xpath).size(); }
    pugi::xml_node root() const { return doc_.document_element(); }

  private:
    pugi::xml_document doc_;
};

// XPath of the placeholders of one type in a slide-like part.
std::string placeholderPath(const std::string& type);

}  // namespace trelwick::engine::test
