#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace trelwick::engine {

// One version of a file: a file replaced, rewritten or touched has another.
struct FileVersion {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileVersion&) const = default;

    // The version the path names now; none when it cannot be looked up, or where the system cannot
    // tell versions apart (Windows has no file numbers).
    static std::optional<FileVersion> of(const std::filesystem::path& file);
    // The version of the file an open descriptor reads, whatever its path names now.
    static std::optional<FileVersion> ofOpen(int fd);
    // Fails with ReadFailed, naming label, unless the file open as fd still holds the bytes it held
    // at opened (none: nothing to compare, as on Windows).
    static void refuseIfWritten(int fd, const std::optional<FileVersion>& opened, const std::string& label);
};

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
    // The version opened.
    const std::optional<FileVersion>& version() const { return version_; }
    // Hands the descriptor to the caller, who closes it.
    int release();
    // Up to length bytes from offset; fewer where the file ends or cannot be read.
    std::string read(std::uint64_t offset, std::size_t length) const;

  private:
    SourceFile(int fd, std::string label, std::uint64_t size, std::optional<FileVersion> version);
    int fd_ = -1;
    std::string label_;
    std::uint64_t size_ = 0;
    std::optional<FileVersion> version_;
};

}  // namespace trelwick::engine
