#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace trelwick::testing {

// A fresh folder under the system temporary folder, removed with everything in it when the object goes,
// so also when a test fails or throws. Its name comes from mkdtemp, unique under ctest -j.
class TempDir {
  public:
    // Throws std::runtime_error naming the folder and the reason when it cannot be created.
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

    // Writes a file (creating its folders) below the folder and returns its path.
    std::filesystem::path write(const std::filesystem::path& relative, const std::string& content) const;

    // Names of what the folder holds, sorted; throws std::runtime_error when the folder has gone.
    std::vector<std::string> names() const;

  private:
    std::filesystem::path path_;
};

}  // namespace trelwick::testing
