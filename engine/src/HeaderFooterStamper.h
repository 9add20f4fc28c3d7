#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Deck.h"
#include "trelwick/engine.h"

namespace trelwick::engine {

class PageShapes;
class StampLookup;
struct Prefixes;

// Reads and applies header/footer elements the way PowerPoint's "Apply to All" does: a page shows an
// element only when it carries its own placeholder, so every page of the master kind gets, keeps or
// loses that placeholder, and masters and layouts record the state in p:hf and their placeholders.
class HeaderFooterStamper {
  public:
    HeaderFooterStamper(Deck& deck, std::chrono::system_clock::time_point now);
    ~HeaderFooterStamper();

    // Parses the parts that read and apply look at (masters, layouts, slides, notes pages and their
    // relationships), so that this can happen before them, on another thread. A part that cannot be
    // read is left as it is, for read or apply to report when they come to it.
    static void preload(Deck& deck);
    // Parses the parts that read and apply cannot do without (masters, layouts, slides and notes pages,
    // the relationships of the first three) and throws the first Error, as they would.
    static void load(Deck& deck);

    // The state as the deck holds it: the first page carrying the element, else the master.
    HeaderFooter read(MasterKind kind, Element element);
    // Stamps the given elements of one master kind; elements absent from the map stay untouched. Masters
    // and layouts take the text only of the elements in textGiven; the others keep their own.
    void apply(MasterKind kind, const std::map<Element, HeaderFooter>& settings,
               const std::set<Element>& textGiven);
    // Things found while stamping that the user should know about, one sentence each.
    const std::vector<std::string>& warnings() const { return warnings_; }

  private:
    void applySlides(const std::map<Element, HeaderFooter>& settings);
    void applyNotes(const std::map<Element, HeaderFooter>& settings);
    void applyHandout(const std::map<Element, HeaderFooter>& settings);
    void stampMaster(XmlPart& master, const std::map<Element, HeaderFooter>& settings, bool flagsOff);
    // What templatesFor finds on a layout and master for a type; every page of a layout asks the same.
    struct Inherited {
        pugi::xml_node layoutPh, masterPh;
        const Prefixes* layoutPx;
        const Prefixes* masterPx;
        std::vector<std::int64_t> layoutIdx;  // the idx values of the layout's placeholders
    };
    using InheritedByType = std::map<std::string_view, Inherited>;
    // A slide or notes page being stamped, with what it inherits from (no layout for a notes page).
    struct Page {
        XmlPart& part;
        PageShapes& shapes;
        int number;
        const std::string& layout;
        const std::string& master;
        bool notes;
        InheritedByType& inherited;  // shared by the pages of one layout and master
    };
    struct Templates;
    // Shows the element on the page with the setting's text (its own placeholder, reused or added), or
    // takes its placeholders away.
    void stampPage(Page& page, Element element, const HeaderFooter& setting, bool show);
    void removePlaceholder(Page& page, const Prefixes& px, pugi::xml_node sp, const char* type);
    // Adds an empty placeholder for the element, placed as PowerPoint places a new one.
    pugi::xml_node addPlaceholder(Page& page, const Prefixes& px, Element element);
    Templates templatesFor(Page& page, const char* type);
    void placeNewPlaceholder(Page& page, const Prefixes& px, Element element, const Templates& t,
                             pugi::xml_node sp, bool inherits);
    std::int64_t pageWidth(const Page& page) const;
    std::int64_t pageHeight(const Page& page) const;
    void noteFixedFooters(XmlPart& part);
    Deck& deck_;
    std::unique_ptr<StampLookup> lookup_;
    std::chrono::system_clock::time_point now_;
    std::vector<std::string> warnings_;
    std::set<Element> textGiven_;  // of the master kind being applied
    std::map<std::pair<std::string, std::string>, InheritedByType> inherited_;  // by layout and master
};

}  // namespace trelwick::engine
