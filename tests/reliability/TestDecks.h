#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace trelwick::reliability {

// Part name -> content of a small valid deck: one master with date, footer and slide number
// placeholders, one layout, slides each carrying a date placeholder and a notes slide on the first.
std::map<std::string, std::string> deckParts(int slides);

// Writes parts as a deflated zip (through ZipWriter; at most 65535 entries).
void writeDeck(const std::filesystem::path& file, const std::map<std::string, std::string>& parts);

}  // namespace trelwick::reliability
