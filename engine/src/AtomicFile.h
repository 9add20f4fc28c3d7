#pragma once

#include <filesystem>
#include <string>

namespace trelwick::engine {

// A file written beside its target and renamed into place only when complete, so readers see the old
// file or the new one, never half of it.
class AtomicFile {
  public:
    // Creates an empty temporary file in target's folder. Throws Error WriteFailed.
    explicit AtomicFile(std::filesystem::path target);
    // Removes the temporary file unless committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::filesystem::path& temporaryPath() const { return temporary_; }
    // Syncs the temporary file, gives it the replaced file's permissions (else the umask default),
    // renames it over target and syncs the folder. Throws Error WriteFailed.
    void commit();

  private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    bool committed_ = false;
};

}  // namespace trelwick::engine
