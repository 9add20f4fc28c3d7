#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace trelwick::engine {

// A presentation file opened once for reading. What the path names (nothing, a folder, a device) is
// told from the open descriptor, so opening a deck looks the path up once.
class SourceFile {
  public:
    // Throws Error FileNotFound, ReadFailed, or NotAPresentation for an empty file.
    static SourceFile open(const std::filesystem::path& file);
    SourceFile(SourceFile&& other) noexcept;
    SourceFile& operator=(SourceFile&& other) noexcept;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();

    const std::string& label() const { return label_; }
    std::uint64_t size() const { return size_; }
    int fd() const { return fd_; }
    // Hands the descriptor to the caller, who closes it.
    int release();
    // Up to length bytes from offset; fewer where the file ends or cannot be read.
    std::string read(std::uint64_t offset, std::size_t length) const;

  private:
    SourceFile(int fd, std::string label, std::uint64_t size);
    int fd_ = -1;
    std::string label_;
    std::uint64_t size_ = 0;
};

}  // namespace trelwick::engine
