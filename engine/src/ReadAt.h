#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace trelwick::engine {

// Exactly length bytes of fd at offset; nothing when the file ends first or cannot be read.
std::optional<std::string> readAt(int fd, std::uint64_t offset, std::uint64_t length);
// The same into out, which keeps its room from one read to the next; false as nothing above.
bool readAt(int fd, std::uint64_t offset, std::uint64_t length, std::string& out);
// The same into length bytes at to.
bool readAt(int fd, std::uint64_t offset, std::uint64_t length, char* to);
// The same over some bytes: an open file, or a file read whole.
using ReadAt = std::function<std::optional<std::string>(std::uint64_t offset, std::uint64_t length)>;

}  // namespace trelwick::engine
