#pragma once

#include <zip.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Bytes.h"
#include "SourceFile.h"
#include "ZipLayout.h"
#include "trelwick/engine.h"

namespace trelwick::engine {

// A zip package opened read-only: entry lookup by part name (case-insensitive, as OPC wants) and
// size-capped reading of the XML parts. Media is never inflated.
class ZipPackage {
  public:
    // Opens a file after sniffing its content. Throws Error (NotAPresentation, PasswordProtected,
    // LegacyFormat, DamagedPackage, ReadFailed, LimitExceeded).
    static std::unique_ptr<ZipPackage> openFile(SourceFile source, const Limits& limits);
    // The same for a deck held in memory; label names it in messages.
    static std::unique_ptr<ZipPackage> openBytes(std::string bytes, const std::string& label,
                                                 const Limits& limits);
    ~ZipPackage();

    const std::string& label() const { return label_; }
    const Limits& limits() const { return limits_; }
    zip_t* archive() const { return zip_; }
    std::uint64_t entryCount() const { return names_.size(); }
    const std::string& entryName(std::uint64_t index) const { return names_[index]; }
    // The entry's exact name for a part name, or empty when absent.
    std::string find(const std::string& partName) const;
    // The entry's index for a part name, or nothing when absent.
    std::optional<std::uint64_t> indexOf(const std::string& partName) const;
    // True when some entry is that part to a reader on Windows, which also takes a backslash in an
    // entry's name for a slash.
    bool holdsForAnyReader(const std::string& partName) const;
    // True when some entry's name starts with prefix (case-insensitive).
    bool hasPrefix(const std::string& prefix) const;
    // Inflates one entry, stopping with LimitExceeded as soon as a cap is crossed.
    std::string read(const std::string& partName) const;
    // A parsed tree costs memory however small its part: every part read or created also counts this
    // much against Limits::maxXmlBytesPerDeck, so that a deck of many tiny parts is bounded too.
    static constexpr std::uint64_t kCostPerPart = 2048;
    // Counts a part of size bytes that the stamp creates against the deck's budget, as read does for
    // the parts it reads. Throws Error LimitExceeded naming partName.
    void chargeCreated(const std::string& partName, std::uint64_t size) const;

    // What the zip directory says of an entry, as needed to copy it without inflating.
    struct EntryInfo {
        std::uint16_t method = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        std::time_t mtime = 0;
    };
    // Throws Error DamagedPackage for an entry that cannot be copied as stored (encrypted, unreadable).
    EntryInfo entryInfo(std::uint64_t index) const;
    // Hands the entry's stored (compressed) bytes to sink in chunks. Throws Error DamagedPackage.
    void readCompressed(std::uint64_t index, const std::function<void(std::string_view)>& sink) const;
    // Where the entry's stored bytes lie in the package file, when it is a file whose directory
    // could be read; the descriptor stays owned by the package.
    struct FileRange {
        int fd;
        std::uint64_t offset;
    };
    std::optional<FileRange> storedRange(std::uint64_t index, std::uint64_t compressedSize) const;
    // length bytes of that file at offset; nothing when it ends first or cannot be read. A deck's
    // local headers and small entries are read in about the order they lie, so a small read is served
    // from a window read ahead: one system call for many.
    std::optional<std::string> readFile(std::uint64_t offset, std::uint64_t length) const;
    // The entry's stored bytes themselves, when the package is held in memory and its directory
    // could be read.
    std::optional<std::string_view> storedBytes(std::uint64_t index, std::uint64_t compressedSize) const;
    // Throws Error ReadFailed when the package file is no longer the version opened: entries copied
    // from it since could hold bytes written over it in place (by cp, a sync client), under the
    // checksums read at opening.
    void refuseIfFileChanged() const;

  private:
    ZipPackage(zip_t* zip, std::string label, const Limits& limits);
    // Reads a file-backed entry whole and inflates it in one call, checking size and checksum;
    // nothing when that way does not apply or does not succeed.
    std::optional<std::string> readWhole(std::uint64_t index, const zip_stat_t& st) const;
    // Where the directory says each entry lies, read on first use.
    const std::optional<ZipLayout>& layout() const;
    // Fails with LimitExceeded, naming partName, when size more would pass the deck's budget.
    void checkBudget(const std::string& partName, std::uint64_t size) const;
    // Throws Error LimitExceeded when the entries' stored bytes add up to more than the file holds.
    void refuseSharedBytes() const;
    zip_t* zip_;
    std::string label_;
    Limits limits_;
    std::unique_ptr<std::string> bytes_;  // backing store of an in-memory deck
    int fd_ = -1;                         // the package file, for copying entries file to file
    std::optional<FileVersion> opened_;   // of that file, when it was opened
    std::uint64_t fileSize_ = 0;          // of the file or of the bytes in memory
    mutable std::string window_;          // bytes of the file read ahead by readFile
    mutable std::uint64_t windowStart_ = 0;
    mutable std::uint64_t bytesRead_ = 0;  // by read and chargeCreated, against Limits::maxXmlBytesPerDeck
    std::optional<ZipLayout::Directory> directory_;  // as found before libzip read it
    mutable bool layoutRead_ = false;
    mutable std::optional<ZipLayout> layout_;
    std::vector<std::string> names_;
    std::map<std::string, std::uint64_t> byLowerName_;
    std::set<std::string> backslashed_;  // names holding a backslash, lower case, with slashes for it
};

}  // namespace trelwick::engine
