#pragma once

#include <filesystem>
#include <string>

namespace trelwick::cli::test {

// A fresh folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes a file (creating its folders) below the folder and returns its path.
    std::filesystem::path write(const std::filesystem::path& relative, const std::string& content) const;

  private:
    std::filesystem::path path_;
};

// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::filesystem::path& file);

}  // namespace trelwick::cli::test
