#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace trelwick::engine {

// A file written beside its target and moved into place only when complete, so readers see the old
// file or the new one, never half of it. Where the file system allows, the file has no name until it
// is complete, so a process killed while writing leaves nothing behind.
class AtomicFile {
  public:
    // Creates an empty temporary file in target's folder. Throws Error WriteFailed (also when target
    // is a folder).
    explicit AtomicFile(std::filesystem::path target);
    // Removes the temporary file unless committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The open temporary file, for writing.
    int fd() const { return fd_; }
    // Appends bytes at the current position. Throws Error WriteFailed.
    void write(std::string_view bytes);
    // Syncs the temporary file, gives it the replaced file's permissions (else the umask default) and,
    // where allowed, its owner and group, moves it over target and syncs the folder. A link in target's
    // place is replaced by the file (as by any program saving through a temporary file). Throws Error
    // WriteFailed.
    void commit();

    // commit() in steps, so that many files share their waits on the disk: start each file's
    // writing back, then commitFile() each (one journal commit then covers them all), then sync each
    // folder once. Where writing back cannot be started early, startWriteback does nothing.
    void startWriteback();
    void commitFile();  // commit() without syncing the folder
    const std::filesystem::path& folder() const { return folder_; }
    // Syncs the names in folder to disk; false when that could not be done.
    static bool syncFolder(const std::filesystem::path& folder);

    // Removes temporary files that an earlier process left in folder when it was killed while
    // saving: those of this machine older than a minute whose process no longer runs, and any older
    // than maxAge. The first AtomicFile of a process in a folder calls it when it replaces a file or
    // needs a named temporary file. Returns how many were removed.
    static std::size_t removeStale(const std::filesystem::path& folder,
                                   std::chrono::seconds maxAge = std::chrono::hours(24));
    // True for the names the temporary files take.
    static bool isTemporaryName(std::string_view fileName);
    // This machine, as the eight hex digits its temporary names carry (a hash of its host name): on a
    // shared folder a pid means something only to the machine that wrote it.
    static const std::string& hostTag();

  private:
    void moveIntoPlace();

    std::filesystem::path target_;
    std::filesystem::path folder_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    mode_t mode_ = 0;                               // the permissions the committed file gets
    bool modeSet_ = false;                          // created with them (a new unnamed file), no chmod needed
    std::optional<std::pair<uid_t, gid_t>> owner_;  // of the file replaced
    bool anonymous_ = false;                        // O_TMPFILE: no name until linked
    bool committed_ = false;
};

}  // namespace trelwick::engine
