#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Zips written and read through libzip, for decks made by tests and for what the engine wrote.
namespace trelwick::testing {

// Entry name -> content, in the order they are written.
using Entries = std::vector<std::pair<std::string, std::string>>;

// Writes entries as a zip (deflated unless store is true; zip64 when there are many). Throws
// std::runtime_error naming the file or entry when it cannot.
void writeZip(const std::filesystem::path& file, const Entries& entries, bool store = false);
// One entry of a zip, inflated; throws std::runtime_error when absent.
std::string readEntry(const std::filesystem::path& zip, const std::string& name);
bool hasEntry(const std::filesystem::path& zip, const std::string& name);
std::vector<std::string> entryNames(const std::filesystem::path& zip);
// The compressed bytes, method and CRC of an entry, as stored.
struct RawEntry {
    std::string bytes;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    bool operator==(const RawEntry&) const = default;
};
RawEntry rawEntry(const std::filesystem::path& zip, const std::string& name);

}  // namespace trelwick::testing
