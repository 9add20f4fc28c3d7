#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace trelwick::engine {

// What an OLE compound file holds, as far as the engine cares.
enum class OleContent { Encrypted, LegacyPowerPoint, Other };

// Reads the directory of an OLE compound file. read(offset, length) returns fewer bytes at the end
// of the file. Anything unreadable counts as Other.
class OleProbe {
  public:
    static bool hasMagic(const std::string& firstBytes);
    static OleContent inspect(std::uint64_t fileSize,
                              const std::function<std::string(std::uint64_t, std::size_t)>& read);
};

}  // namespace trelwick::engine
