#pragma once

#include <memory>

#include "Deck.h"
#include "DeckBackend.h"
#include "HeaderFooterStamper.h"

namespace trelwick::engine {

// A deck of the .pptx family: the package model, the stamper and the package writer.
class OpenXmlBackend : public DeckBackend {
  public:
    explicit OpenXmlBackend(std::unique_ptr<Deck> deck) : deck_(std::move(deck)) {}

    bool hasTitleMaster() const override { return false; }  // title masters exist only in legacy .ppt
    std::size_t slideCount() const override { return deck_->slides.size(); }
    std::size_t slideMasterCount() const override { return deck_->slideMasters.size(); }
    bool hasNotesMaster() const override { return !deck_->notesMaster.empty(); }
    bool hasHandoutMaster() const override { return !deck_->handoutMaster.empty(); }
    bool isSigned() const override { return deck_->isSigned(); }

    HeaderFooter read(MasterKind kind, Element element, std::chrono::system_clock::time_point now) override;
    void preload() override { HeaderFooterStamper::preload(*deck_); }
    void load() override { HeaderFooterStamper::load(*deck_); }
    std::vector<std::string> stamp(const StampSettings& settings, const TextsGiven& given,
                                   std::chrono::system_clock::time_point now) override;
    void write(int fd, const std::string& target) override;

  private:
    std::unique_ptr<Deck> deck_;
    // Reads share one stamper and what it looks up; a stamp edits the deck, so the next read starts afresh.
    std::unique_ptr<HeaderFooterStamper> reader_;
};

}  // namespace trelwick::engine
