#pragma once

#include <filesystem>

namespace trelwick::reliability {

// A fresh folder under the system temporary folder, removed with everything in it (permissions
// restored first) when the object goes.
class TempFolder {
  public:
    // Creates the folder. Throws std::runtime_error when it cannot.
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // path() / name.
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace trelwick::reliability
