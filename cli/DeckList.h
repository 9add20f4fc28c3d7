#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace trelwick::cli {

// One presentation to stamp and where its stamped copy goes.
struct DeckJob {
    std::filesystem::path source;
    std::filesystem::path target;
};

// An input that will not be stamped, with the reason shown to the user.
struct Refusal {
    std::filesystem::path source;
    std::string reason;
    bool folder = false;  // a folder that could not be read: no presentation is known to be missed
};

// The outcome of walking the command line's PATHs.
struct DeckList {
    std::vector<DeckJob> decks;
    std::vector<Refusal> refused;
};

}  // namespace trelwick::cli
