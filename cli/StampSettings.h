#pragma once

#include <optional>
#include <string>

namespace trelwick::cli {

// What to show on every deck: an absent text or a false flag hides that element.
struct StampSettings {
    std::optional<std::string> date;
    std::optional<std::string> footer;
    bool slideNumber = false;
    std::optional<std::string> notesDate;
    std::optional<std::string> notesHeader;
    std::optional<std::string> notesFooter;
    bool notesPageNumber = false;

    // True when any notes-page element is to be shown.
    bool anyNotesVisible() const { return notesDate || notesHeader || notesFooter || notesPageNumber; }
};

}  // namespace trelwick::cli
