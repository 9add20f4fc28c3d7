#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../DeckBackend.h"
#include "../cfb/CompoundFile.h"
#include "DocumentStream.h"
#include "HeadersFooters.h"
#include "PlaceholderAdd.h"
#include "Record.h"

namespace trelwick::engine::ppt {

// A PowerPoint 97-2003 deck: the compound file, its PowerPoint Document stream and the pages that carry
// header/footer settings. Slide settings live in the document's instance-3 container (shared by slide
// masters and title masters), notes and handout settings in its instance-4 container; pages may
// override them with their own container, which stamping rewrites too.
class LegacyDeck : public DeckBackend {
  public:
    // Reads the deck from a parsed compound file. Throws Error: LegacyFormat for PowerPoint 95 and
    // dual-format files, PasswordProtected, DamagedPackage, NotAPresentation without PowerPoint streams.
    LegacyDeck(CompoundFile file, const std::string& label);

    bool hasTitleMaster() const override;
    std::size_t slideCount() const override { return slides_.size(); }
    std::size_t slideMasterCount() const override;
    bool hasNotesMaster() const override { return notesMaster_.has_value(); }
    bool hasHandoutMaster() const override { return handoutMaster_.has_value(); }
    bool isSigned() const override { return signed_; }

    HeaderFooter read(MasterKind kind, Element element, std::chrono::system_clock::time_point now) override;
    std::vector<std::string> stamp(const StampSettings& settings, const TextsGiven& given,
                                   std::chrono::system_clock::time_point now) override;
    void write(int fd, const std::string& target) override;

    // The container bytes as they would be written now (for checks of the save).
    std::string bytes();

  private:
    // Puts the stamped records into the container's streams.
    void replaceStreams();

    struct Page {
        std::uint32_t persistId = 0;
        std::uint32_t slideId = 0;  // 0 for pages not in a list
        Record record;
        std::int32_t layout = -1;    // SlideAtom geom, -1 when absent
        std::uint32_t masterId = 0;  // SlideAtom masterIdRef
        bool masterObjects = true;   // SlideAtom fMasterObjects: shows the master's graphics
        bool changed = false;
    };

    Page loadPage(std::uint32_t persistId, std::uint32_t slideId, const std::string& what);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> listEntries(std::uint16_t instance) const;
    HeadersFooters documentSettings(std::uint16_t instance) const;
    void setDocumentSettings(std::uint16_t instance, const HeadersFooters& hf);
    // Applies the settings to the pages' own header and footer containers; an element whose text was not
    // given keeps the page's own text and date kind, only shown or hidden.
    void stampPages(std::vector<Page*> pages, const std::map<Element, HeaderFooter>& settings,
                    const std::set<Element>& textGiven);
    void repairMasters(std::vector<Page*> masters, const std::map<Element, HeaderFooter>& settings);
    void addPlaceholders(MasterKind kind, const std::map<Element, HeaderFooter>& settings,
                         PlaceholderAdd& adder);
    void removePageCopies(std::vector<Page*> pages, const std::map<Element, HeaderFooter>& settings);
    void reportSlides(const std::map<Element, HeaderFooter>& settings,
                      std::vector<std::string>& warnings) const;
    void reportNotes(const std::map<Element, HeaderFooter>& settings,
                     std::vector<std::string>& warnings) const;

    std::string label_;
    std::unique_ptr<CompoundFile> file_;
    std::unique_ptr<DocumentStream> stream_;
    Record document_;
    bool documentChanged_ = false;
    bool omitTitlePlace_ = false;
    std::int32_t slideWidth_ = 0, slideHeight_ = 0, notesWidth_ = 0, notesHeight_ = 0;  // master units
    bool signed_ = false;
    std::vector<Page> masters_;  // main masters and title masters, in master-list order
    std::vector<Page> slides_;
    std::vector<Page> notes_;
    std::optional<Page> notesMaster_;
    std::optional<Page> handoutMaster_;
};

}  // namespace trelwick::engine::ppt
