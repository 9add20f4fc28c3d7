#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ReadAt.h"

namespace trelwick::engine {

// Where each entry's stored bytes begin in a zip file, read from its central directory and local
// headers, so that unchanged entries can be copied file to file by the kernel. Anything unexpected
// (a directory that disagrees with libzip's, offsets past the end) gives no layout, and callers copy
// through libzip instead.
class ZipLayout {
  public:
    // Where the central directory lies and how many entries it lists, as the end record (and a zip64
    // record) of a zip of size bytes say; nothing when they cannot be read or could be read otherwise.
    struct Directory {
        std::uint64_t count = 0;
        std::uint64_t bytes = 0;
        std::uint64_t start = 0;
    };
    static std::optional<Directory> findDirectory(const ReadAt& readAt, std::uint64_t size);
    // The entries and directory bytes all end records at the end of the zip claim together (by its
    // zip64 record where one has it; start is left 0): libzip reads the directory of each it can and
    // checks it against the local headers, not only the one findDirectory settles on, so thousands of
    // end records cost thousands of directories.
    static Directory claimed(const ReadAt& readAt, std::uint64_t size);

    // Reads the central directory of the zip open as fd (size bytes). names are libzip's entry
    // names in directory order; they must match.
    static std::optional<ZipLayout> read(int fd, std::uint64_t size, const std::vector<std::string>& names);
    // The same over bytes read by readAt, which the layout keeps.
    static std::optional<ZipLayout> read(ReadAt readAt, std::uint64_t size,
                                         const std::vector<std::string>& names);
    // The same for a directory found already.
    static std::optional<ZipLayout> read(ReadAt readAt, std::uint64_t size, const Directory& directory,
                                         const std::vector<std::string>& names);

    // The offset of entry index's stored bytes, checked against compressedSize, the file end and the
    // name in the entry's local header.
    std::optional<std::uint64_t> dataOffset(std::uint64_t index, std::uint64_t compressedSize) const;
    // The same, reading the local header through readAt.
    std::optional<std::uint64_t> dataOffset(std::uint64_t index, std::uint64_t compressedSize,
                                            const ReadAt& readAt) const;

  private:
    ReadAt readAt_;
    std::uint64_t size_ = 0;
    std::vector<std::uint64_t> localHeaders_;
    std::vector<std::string> names_;
};

}  // namespace trelwick::engine
