#pragma once

#include <cstddef>
#include <ostream>
#include <string>

namespace trelwick::cli {

// A one-line bar with counts, redrawn in place on a terminal; draws nothing when disabled (output
// not a terminal). Not thread-safe: the caller serialises calls.
class ProgressBar {
  public:
    ProgressBar(std::ostream& out, std::size_t total, bool enabled);

    // Redraws the bar for `done` decks finished, `failed` of them failed.
    void update(std::size_t done, std::size_t failed);

    // Erases the bar so that a message can be printed on a clean line; the next update redraws it.
    void clear();

    // Draws the bar's text for the given counts, e.g. "[#####.....]  5/10  failed 1".
    static std::string render(std::size_t done, std::size_t failed, std::size_t total, std::size_t width);

  private:
    std::ostream& out_;
    std::size_t total_;
    bool enabled_;
    bool shown_ = false;
};

}  // namespace trelwick::cli
