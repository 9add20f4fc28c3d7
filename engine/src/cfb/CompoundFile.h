#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trelwick::engine {

// An OLE compound file: its streams can be read, replaced and the whole container written back
// deterministically (every other stream byte for byte, directory entries kept verbatim). Its bytes are
// held in memory, or read from an open file as they are needed: a large deck's pictures are then read
// only to be written, never held beside the written container.
class CompoundFile {
  public:
    // Reads length bytes at offset into to; false when the file ends first or cannot be read.
    using ReadInto = std::function<bool(std::uint64_t offset, std::uint64_t length, char* to)>;

    // Files beyond this size are refused with ErrorCode::LimitExceeded; so are replacements that would
    // make the written container larger.
    static constexpr std::uint64_t kMaxBytes = 2ull << 30;

    // Parses header, DIFAT, FAT, mini FAT and directory. Throws Error (via fail() of Failure.h) with
    // ErrorCode::DamagedPackage and a clear sentence for anything out of range, looping or truncated.
    // label names the file in messages. bytes are kept (moved in).
    static CompoundFile parse(std::string bytes, const std::string& label);
    // The same over the first length bytes of a file (bytesToRead), read through read, which must stay
    // valid as long as the container and any copy of it; a read that fails throws ReadFailed. write()
    // calls unchanged, when given, once it has read what it copies: it throws if the file was written
    // meanwhile, which would leave a container of two versions.
    static CompoundFile parse(ReadInto read, std::uint64_t length, const std::string& label,
                              std::function<void()> unchanged = {});
    // How many of a file's first bytes parse needs, from its header (at least its first 512 bytes):
    // nothing past what the FAT can describe belongs to any stream, and a file of holes would
    // otherwise be read whole into memory. Throws Error as parse does for a header it would refuse.
    static std::uint64_t bytesToRead(std::string_view header, std::uint64_t fileSize,
                                     const std::string& label);

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
    // The same, given to put a piece at a time, in order: a stream not replaced is read from the
    // container as read a megabyte at most at a time.
    using Put = std::function<void(std::string_view piece)>;
    void write(const Put& put) const;

    // 3 (512-byte sectors) or 4 (4096-byte sectors), as read.
    std::uint16_t majorVersion() const { return major_; }
    // The container as parsed from bytes, its last sector padded whole: what serialize() gave, for a
    // file parsed from that. Empty for a container read from a file.
    const std::string& bytes() const;
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
    // The same, given to put in pieces.
    void putContent(std::size_t index, const Put& put) const;

    // Reads the bytes of the container, those past its end as zeros (a last sector may be cut short).
    void readBytes(std::uint64_t offset, std::uint64_t length, char* to) const;

    std::shared_ptr<const std::string> bytes_;  // when parsed from bytes
    ReadInto read_;
    std::function<void()> unchanged_;
    std::uint64_t length_ = 0;
    std::string label_;
    std::uint16_t major_ = 3;
    unsigned shift_ = 9;
    std::string miniStream_;           // the root entry's stream as read
    std::vector<std::string> rawDir_;  // every 128-byte directory entry, in order
    std::vector<Entry> entries_;       // parallel to rawDir_
    std::map<std::size_t, std::string> replaced_;
};

}  // namespace trelwick::engine
