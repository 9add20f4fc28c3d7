#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace trelwick::testing {

// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::filesystem::path& file);

// Writes bytes as the whole content of a file; throws std::runtime_error naming it when it cannot.
void writeFile(const std::filesystem::path& file, const std::string& bytes);

// Names of what a folder holds, sorted (none when it is not a folder).
std::vector<std::string> folderNames(const std::filesystem::path& folder);

}  // namespace trelwick::testing
