#pragma once

#include <filesystem>
#include <vector>

#include "DeckList.h"

namespace trelwick::cli {

// Turns the command line's PATHs into the decks to stamp, each keeping its file name in the output
// folder.
class DeckFinder {
  public:
    explicit DeckFinder(std::filesystem::path outputFolder);

    // Files are taken as given (the engine judges their content); folders are walked recursively for
    // presentation names, in sorted order, skipping hidden and lock files and the output folder. The
    // same file reached twice is stamped once; a second file with a name already taken is refused
    // (names differing only in case count as one where the output folder's file system does not keep
    // them apart, or cannot be asked), as is a PATH that does not exist or a folder that cannot be
    // read. A file in the output folder itself always keeps its name: it is stamped in place, and
    // another file of that name is the one refused.
    DeckList find(const std::vector<std::filesystem::path>& inputs) const;

    // True for the .pptx family's extensions and the legacy .ppt, .pot and .pps, in any case.
    static bool isPresentationName(const std::filesystem::path& file);

    // True for names a walk passes over: starting with "~" (PowerPoint's owner files) or "."
    // (hidden files and LibreOffice's ".~lock" files).
    static bool isSkippedName(const std::filesystem::path& file);

  private:
    // Gives each file its place in the output folder, or refuses it when another has that name.
    void nameOutputs(const std::vector<std::filesystem::path>& files, DeckList& list) const;
    std::filesystem::path outputFolder_;
};

}  // namespace trelwick::cli
