#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace trelwick::engine {

// An OLE compound file held in memory: its streams can be read, replaced and the whole container
// written back deterministically (every other stream byte for byte, directory entries kept verbatim).
class CompoundFile {
  public:
    // Files beyond this size are refused with ErrorCode::LimitExceeded; so are replacements that would
    // make the written container larger.
    static constexpr std::uint64_t kMaxBytes = 2ull << 30;

    // Parses header, DIFAT, FAT, mini FAT and directory. Throws Error (via fail() of Failure.h) with
    // ErrorCode::DamagedPackage and a clear sentence for anything out of range, looping or truncated.
    // label names the file in messages. bytes are kept (moved in).
    static CompoundFile parse(std::string bytes, const std::string& label);
    // How many of a file's first bytes parse needs, from its header (at least its first 512 bytes):
    // nothing past what the FAT can describe belongs to any stream, and a file of holes would
    // otherwise be read whole into memory. Throws Error as parse does for a header it would refuse.
    static std::uint64_t bytesToRead(std::string_view header, std::uint64_t fileSize, const std::string& label);

    // Stream paths in directory order, storages joined with '/', names converted UTF-16 -> UTF-8,
    // e.g. "PowerPoint Document", "Current User", "\x05SummaryInformation", "Macros/VBA/dir".
    std::vector<std::string> streamPaths() const;
    // Storage paths in directory order, like streamPaths(); the root is not listed.
    std::vector<std::string> storagePaths() const;
    bool hasStream(std::string_view path) const;
    bool hasStorage(std::string_view path) const;
    std::string readStream(std::string_view path) const;    // throws DamagedPackage if missing/broken
    std::uint64_t streamSize(std::string_view path) const;  // throws DamagedPackage if missing
    // Replaces the content of an existing stream (any size; may move it between mini and regular).
    // Throws DamagedPackage when there is no such stream, LimitExceeded when the container would pass
    // kMaxBytes.
    void replaceStream(std::string_view path, std::string bytes);
    // The whole container with the replaced streams: same major version and sector size as read, directory
    // entries verbatim except start sector / size (and the root's mini-stream start/size), file length
    // = (1 + sectors) * sector size. Deterministic: same input + same replacements -> same bytes.
    std::string serialize() const;

    // 3 (512-byte sectors) or 4 (4096-byte sectors), as read.
    std::uint16_t majorVersion() const { return major_; }
    // The container as parsed, its last sector padded whole: what serialize() gave, for a file parsed
    // from that.
    const std::string& bytes() const { return bytes_; }
    const std::string& label() const { return label_; }

  private:
    struct Entry {
        std::string path;                  // empty for the root and for entries outside the tree
        std::uint8_t type = 0;             // 0 free, 1 storage, 2 stream, 5 root
        std::uint64_t size = 0;            // as read (v3: low dword only)
        bool mini = false;                 // held in the mini stream
        std::vector<std::uint32_t> chain;  // sector ids (regular or mini) of the content as read
    };

    CompoundFile() = default;
    std::size_t streamIndex(std::string_view path) const;  // throws DamagedPackage if missing
    std::string contentOf(std::size_t index) const;
    std::uint64_t contentSize(std::size_t index) const;
    // Writes contentSize(index) bytes of the stream's content to `to`, from its sectors as read
    // unless it was replaced: a stream is copied once, into the written container.
    void copyContent(std::size_t index, char* to) const;

    std::string bytes_;
    std::string label_;
    std::uint16_t major_ = 3;
    unsigned shift_ = 9;
    std::string miniStream_;           // the root entry's stream as read
    std::vector<std::string> rawDir_;  // every 128-byte directory entry, in order
    std::vector<Entry> entries_;       // parallel to rawDir_
    std::map<std::size_t, std::string> replaced_;
};

}  // namespace trelwick::engine
