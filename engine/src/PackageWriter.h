#pragma once

#include <filesystem>

#include "Deck.h"

namespace trelwick::engine {

// Writes a deck as a zip package: edited XML parts re-serialised, every other entry copied with its
// compressed bytes untouched, new parts appended.
class PackageWriter {
  public:
    // Writes the package into file, which must exist (the temporary file of an AtomicFile); anything in it
    // is replaced. errorLabel names the target in messages. Throws Error WriteFailed (or DamagedPackage
    // when a source entry cannot be copied).
    static void write(const Deck& deck, const std::filesystem::path& file, const std::string& errorLabel);
};

}  // namespace trelwick::engine
