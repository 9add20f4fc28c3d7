#pragma once

#include <trelwick/engine.h>

#include <filesystem>

#include "StampSettings.h"

namespace trelwick::cli {

// Stamps one deck with the batch's settings: elements given are shown with their text, the others
// hidden; notes settings go to the notes master and, when the deck has one, the handout master.
class DeckStamper {
  public:
    explicit DeckStamper(StampSettings settings);

    // Opens source, stamps it and writes it beside target (which may be source itself), ready to be
    // put in place by commit(). Throws engine::Error; on failure target is left as it was.
    engine::PendingSave stamp(const std::filesystem::path& source, const std::filesystem::path& target) const;

  private:
    StampSettings settings_;
};

}  // namespace trelwick::cli
