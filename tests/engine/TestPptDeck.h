#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "ppt/HeadersFooters.h"

// Legacy .ppt decks altered at the record level, for tests of what a saved edit chain may hold.
namespace trelwick::engine::test {

// One record: its header (version and instance, type, length) and body.
std::string pptRecord(std::uint16_t verInst, std::uint16_t type, const std::string& body);

// The deck at path with its PowerPoint streams changed by edit(currentUser, document).
std::string alteredPptDeck(const std::filesystem::path& path,
                           const std::function<void(std::string&, std::string&)>& edit);

constexpr std::uint32_t kNoOffset = 0xFFFFFFFF;

// Where the record of persist id lies in document, as the newest saved edit naming it says (kNoOffset if
// none does); edit is the offset of the newest edit.
std::uint32_t persistOffset(const std::string& document, std::uint32_t edit, std::uint32_t id);

// Ends a saved edit whose records were appended to document: writes a persist directory of entries (as
// the file stores them: a word of first id and count, then the offsets), then a copy of the newest edit
// chained to the one before and naming that directory, and points currentUser at the copy.
// persistIdSeed, when not 0, becomes the highest persist id in use.
void appendEdit(std::string& currentUser, std::string& document, const std::string& entries,
                std::uint32_t persistIdSeed = 0);

// Appends a saved edit that lists the last slide a second time, under the persist id alias naming the
// same record, as a fast save may. Returns the slide's own persist id, or 0 (after a test failure) when
// the deck is not laid out as expected.
std::uint32_t aliasLastSlide(std::string& currentUser, std::string& document, std::uint32_t alias);

// The document's header and footer settings of one kind (rt::kSlideInstance or rt::kNotesInstance) in a
// saved deck; a test failure, and empty settings, when it has none.
ppt::HeadersFooters documentSettings(const std::filesystem::path& deck, std::uint16_t instance);

// Opens the deck's bytes: it must be refused as damaged or open with the given number of slides.
void expectSlidesOrDamaged(const std::string& bytes, std::size_t slides);

}  // namespace trelwick::engine::test
