#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "ZipPackage.h"

namespace trelwick::engine {

// Writes a zip package straight into an open file: entries of the source package are copied with
// their compressed bytes untouched, changed parts are deflated here. Zip64 records are written only
// when a size, an offset or the entry count needs them.
class ZipOutput {
  public:
    // Writes at fd's current position; label names the target in messages.
    ZipOutput(int fd, std::string label);

    // Copies entry index of source as stored. Throws Error DamagedPackage, WriteFailed.
    void copyEntry(const ZipPackage& source, std::uint64_t index);
    // The same under another name, dated mtime.
    void copyEntry(const ZipPackage& source, std::uint64_t index, const std::string& name, std::time_t mtime);
    // Adds a part under name, deflated, dated mtime (0: 1980-01-01, so that output stays reproducible).
    void addDeflated(const std::string& name, std::string_view data, std::time_t mtime);
    // Writes the central directory and flushes. Throws Error WriteFailed.
    void finish();

  private:
    struct Entry {
        std::string name;
        std::uint16_t flags = 0;
        std::uint16_t method = 0;
        std::uint16_t dosTime = 0;
        std::uint16_t dosDate = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        std::uint64_t offset = 0;
    };

    void copy(const ZipPackage& source, std::uint64_t index, const ZipPackage::EntryInfo& info,
              const std::string& name, std::time_t mtime);
    static std::size_t localHeaderSize(const Entry& entry);
    // padding: bytes of extra field that place the entry's data at a chosen offset.
    void writeLocalHeader(const Entry& entry, std::size_t padding = 0);
    // The padding that puts entry's data at sourceOffset's position within a page.
    std::size_t alignmentPadding(const Entry& entry, std::uint64_t sourceOffset) const;
    // Copies an entry's stored bytes file to file; false when that cannot start here.
    bool copyFileRange(const ZipPackage& source, const ZipPackage::FileRange& range, const Entry& entry);
    // Copies them through the buffer with reads of its own. Throws Error ReadFailed when the file ends
    // first.
    void copyThroughBuffer(const ZipPackage::FileRange& range, const Entry& entry);
    void put(std::string_view bytes);
    void flush();

    void writeAll(std::string_view bytes);

    int fd_;
    std::string label_;
    std::vector<Entry> entries_;
    std::string buffer_;
    std::uint64_t written_ = 0;  // bytes handed to put() so far: the offset of the next record
};

}  // namespace trelwick::engine
