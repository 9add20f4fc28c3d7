#pragma once

#include <filesystem>

#include "Deck.h"

namespace trelwick::engine {

// Writes a deck as a zip package: edited XML parts re-serialised, every other entry copied with its
// compressed bytes untouched, new parts appended.
class PackageWriter {
  public:
    // Writes the package into fd, an open empty file (the temporary file of an AtomicFile). errorLabel
    // names the target in messages. Throws Error WriteFailed (or DamagedPackage when a source entry
    // cannot be copied).
    static void write(const Deck& deck, int fd, const std::string& errorLabel);
};

}  // namespace trelwick::engine
