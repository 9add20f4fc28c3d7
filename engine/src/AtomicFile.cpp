#include "AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <set>

#include "Failure.h"

namespace trelwick::engine {
namespace {

constexpr std::string_view kMarker = ".trelwick-";

[[noreturn]] void failWrite(const std::filesystem::path& target, const std::string& what) {
    fail(ErrorCode::WriteFailed, target.string(), "", what + " (" + std::strerror(errno) + ")");
}

// umask() cannot be read without setting it, which would race with other threads creating files.
// Read once: the programs never change it.
mode_t readUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

mode_t processUmask() {
    static const mode_t mask = readUmask();
    return mask;
}

// A sticky folder (as /tmp) lets only a file's owner, or the folder's, replace it; "Operation not
// permitted" alone would not say why, least for a file anyone may write.
[[noreturn]] void failMove(const std::filesystem::path& target, const std::filesystem::path& folder) {
    const int error = errno;
    struct stat dir {
    }, file{};
    if ((error == EPERM || error == EACCES) && ::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) &&
        ::lstat(target.c_str(), &file) == 0 && file.st_uid != ::geteuid() && dir.st_uid != ::geteuid())
        fail(ErrorCode::WriteFailed, target.string(), "",
             "cannot replace the file: it belongs to another user, and the output folder lets only a file's "
             "owner "
             "replace it");
    errno = error;
    failWrite(target, "cannot move the written file into place");
}

}  // namespace

const std::string& AtomicFile::hostTag() {
    static const std::string tag = [] {
        char name[256] = {};
        if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
        std::uint32_t hash = 2166136261u;  // FNV-1a
        for (const char* c = name; *c; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", hash);
        return std::string(hex);
    }();
    return tag;
}

namespace {

// ".<target>.trelwick-<host>-<pid>-<random>": host and pid tell a later run whether the writer still
// lives. A long target name is cut short (at a character boundary) to keep the whole within the 255
// bytes a name may take.
std::string temporaryName(const std::filesystem::path& target) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    std::string suffix =
        std::string(kMarker) + AtomicFile::hostTag() + "-" + std::to_string(::getpid()) + "-";
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int i = 0; i < 8; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
    constexpr std::size_t kNameMax = 255;
    std::string name = target.filename().string();
    if (name.size() + suffix.size() + 1 > kNameMax) {
        std::size_t keep = kNameMax - suffix.size() - 1;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
        name.resize(keep);
    }
    return "." + name + suffix;
}

// A killed run's leftovers are swept once per folder and process: sweeping before every save would
// read a large folder once per deck.
void sweepOnce(const std::filesystem::path& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard lock(mutex);
        // Keyed by the folder as written: another spelling of it only costs one more sweep.
        if (!swept.insert(folder.string()).second) return;
    }
    AtomicFile::removeStale(folder);
}

// The replaced file's extended attributes (its access control list, labels users or their tools gave
// it) go to the file replacing it, as far as this process may set them and the file system holds them,
// as `cp --preserve=xattr` does. None of them is worth failing a save for.
void copyExtendedAttributes([[maybe_unused]] const std::filesystem::path& from, [[maybe_unused]] int to) {
#ifdef __linux__
    std::string names;
    for (int attempt = 0; attempt < 3; ++attempt) {  // the list may grow between the two calls
        const ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
        if (size <= 0) return;
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::listxattr(from.c_str(), names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) return;
        names.clear();
    }
    std::string value;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* name = names.c_str() + at;
        const ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
        if (size < 0) continue;
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (got >= 0) (void)::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0);
    }
#endif
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)) {
    folder_ = target_.parent_path();
    if (folder_.empty()) folder_ = ".";
    // The file replaced keeps its permissions; a new one gets what the umask leaves of rw-rw-rw-.
    struct stat existing {};
    bool replacing = ::lstat(target_.c_str(), &existing) == 0;
    // A link is replaced as a new file would be: the file it points to, elsewhere, lends the new one
    // neither its permissions nor its owner. A link to a folder is refused as the folder would be.
    if (replacing && S_ISLNK(existing.st_mode)) {
        replacing = false;
        struct stat pointed {};
        if (::stat(target_.c_str(), &pointed) == 0 && S_ISDIR(pointed.st_mode)) existing = pointed;
    }
    if (S_ISDIR(existing.st_mode))
        fail(ErrorCode::WriteFailed, target_.string(), "", "the target is a folder");
    mode_ = replacing ? (existing.st_mode & 07777) : (0666 & ~processUmask());
    if (replacing) owner_.emplace(existing.st_uid, existing.st_gid);
    // A killed run leaves a named temporary file only where it had to write one (below) or was
    // replacing a file (moveIntoPlace); only then is the folder read to sweep them: a folder of many
    // files took half a second to read, which every run adding new decks to it would pay.
    if (replacing) sweepOnce(folder_);
#ifdef O_TMPFILE
    // The unnamed file is linked through /proc; without /proc it could not be given a name. Nothing
    // can open it by a name while it is written, so a new file is created as any program creates one
    // (the umask, or the folder's default ACL, applies), sparing a chmod when it is committed. A file
    // that replaces another is given that one's permissions exactly, when committed.
    static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
    if (procMounted) fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, replacing ? 0600 : 0666);
    if (fd_ >= 0) {
        anonymous_ = true;
        modeSet_ = !replacing;
        temporary_ = "/proc/self/fd/" + std::to_string(fd_);
        return;
    }
#endif
    // File systems without unnamed files (network shares, FAT) get a hidden name instead.
    sweepOnce(folder_);
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temporary_ = folder_ / temporaryName(target_);
        fd_ = ::open(temporary_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0 && (errno != EEXIST || attempt == 10)) {
            // FAT and exFAT refuse : ? * and the like, and names that are not UTF-8, some with "no such
            // file": the folder is there, the name is what it cannot take.
            const int error = errno;
            struct stat st {};
            if ((error == ENOENT || error == EINVAL || error == EILSEQ) &&
                ::stat(folder_.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                fail(ErrorCode::WriteFailed, target_.string(), "",
                     "the output folder's file system does not allow this file name; rename the file to save "
                     "it there");
            errno = error;
            failWrite(target_, "cannot create a temporary file in the output folder");
        }
    }
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !anonymous_) ::unlink(temporary_.c_str());
}

void AtomicFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) failWrite(target_, "cannot write the output file");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool AtomicFile::syncFolder(const std::filesystem::path& folder) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        const bool synced = ::fsync(dir) == 0;
        ::close(dir);
        return synced;
    }
    if (errno != EACCES) return false;
    // A folder one may write to but not list (a drop box) cannot be opened to be synced; its whole file
    // system is instead, through the nearest folder above that can be opened, or every file system.
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    std::error_code ec;
    std::filesystem::path above = std::filesystem::absolute(folder, ec).lexically_normal();
    while (!ec && above.has_relative_path()) {
        above = above.parent_path();
        const int fd = ::open(above.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat at {};
        const bool sameFileSystem = ::fstat(fd, &at) == 0 && at.st_dev == st.st_dev;
#ifdef __linux__
        const bool synced = sameFileSystem && ::syncfs(fd) == 0;
#else
        const bool synced = false;
#endif
        ::close(fd);
        if (synced) return true;
        if (!sameFileSystem) break;  // the folder is a mount point of its own
    }
    ::sync();
    return true;
}

void AtomicFile::startWriteback() {
#ifdef __linux__
    // Only a hint: a file that is not written back here is by the fsync of commitFile().
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void AtomicFile::commit() {
    commitFile();
    // Without syncing the folder, a crash could lose the rename although the data is on disk.
    syncFolder(folder_);
}

void AtomicFile::commitFile() {
    // Attributes and mode while the file is still this process's own: one allowed to give a file away
    // need not be allowed to change another's (root without CAP_FOWNER).
    // Before the chmod: an access list sets the group bits, which the mode read with it then restores.
    if (owner_) copyExtendedAttributes(target_, fd_);
    if (!modeSet_ && ::fchmod(fd_, mode_) != 0)
        failWrite(target_, "cannot give the written file the permissions of the file it replaces");
    // The file replaced keeps its owner and group where this process may give them (root may; others
    // may keep a group they belong to); else it becomes the writer's, as with any program saving it.
    if (owner_) {
        if (::fchown(fd_, owner_->first, owner_->second) != 0)
            (void)::fchown(fd_, static_cast<uid_t>(-1), owner_->second);
        // A change of owner strips set-id bits: given back where this process still may.
        if (mode_ & (S_ISUID | S_ISGID)) (void)::fchmod(fd_, mode_);
    }
    if (::fsync(fd_) != 0) failWrite(target_, "cannot flush the written file to disk");
    moveIntoPlace();
    committed_ = true;
}

void AtomicFile::moveIntoPlace() {
    if (!anonymous_) {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) failMove(target_, folder_);
        return;
    }
    // A new target gets the file's first name directly; an existing one is replaced through a hidden
    // name, because a link never replaces a file.
    if (::linkat(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
    if (errno != EEXIST) failWrite(target_, "cannot move the written file into place");
    for (int attempt = 0;; ++attempt) {
        const std::filesystem::path named = folder_ / temporaryName(target_);
        if (::linkat(AT_FDCWD, temporary_.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST && attempt < 10) continue;
            failWrite(target_, "cannot move the written file into place");
        }
        if (::rename(named.c_str(), target_.c_str()) != 0) {
            const int saved = errno;
            ::unlink(named.c_str());
            errno = saved;
            failMove(target_, folder_);
        }
        return;
    }
}

namespace {

// The parts of a temporary name after the marker: "<host>-<pid>-<random>", or "<pid>-<random>" as
// earlier versions wrote it (host empty).
struct TemporaryTail {
    std::string_view host;
    long pid = 0;
};

std::optional<TemporaryTail> parseTemporaryName(std::string_view name) {
    if (name.size() < 2 || name.front() != '.') return std::nullopt;
    const std::size_t at = name.rfind(kMarker);
    if (at == std::string_view::npos || at == 0) return std::nullopt;
    std::string_view tail = name.substr(at + kMarker.size());
    auto all = [](std::string_view s, auto&& test) {
        return !s.empty() && std::all_of(s.begin(), s.end(), test);
    };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto isHex = [&](char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); };
    TemporaryTail parsed;
    const std::size_t first = tail.find('-');
    if (first == std::string_view::npos) return std::nullopt;
    if (tail.find('-', first + 1) != std::string_view::npos) {
        parsed.host = tail.substr(0, first);
        if (parsed.host.size() != 8 || !all(parsed.host, isHex)) return std::nullopt;
        tail.remove_prefix(first + 1);
    }
    const std::size_t dash = tail.find('-');
    if (dash == std::string_view::npos || !all(tail.substr(0, dash), isDigit)) return std::nullopt;
    if (tail.size() - dash - 1 != 8) return std::nullopt;
    parsed.pid = std::strtol(std::string(tail.substr(0, dash)).c_str(), nullptr, 10);
    return parsed;
}

}  // namespace

bool AtomicFile::isTemporaryName(std::string_view name) {
    return parseTemporaryName(name).has_value();
}

std::size_t AtomicFile::removeStale(const std::filesystem::path& folder, std::chrono::seconds maxAge) {
    std::size_t removed = 0;
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<TemporaryTail> tail = parseTemporaryName(name);
        if (!tail || !it->is_regular_file(ec)) continue;
        const auto written = std::filesystem::last_write_time(it->path(), ec);
        if (ec) continue;
        const auto age = now - written;
        // Only this machine can tell whether the pid still runs (a name without a machine is judged as
        // the versions that wrote it judged it). A file still being written is recent, yet the age is
        // this machine's clock against the share's, so a minute is allowed for both.
        const bool ours = tail->host.empty() || tail->host == hostTag();
        const bool writerGone = ours && tail->pid > 0 && age > std::chrono::minutes(1) &&
                                ::kill(static_cast<pid_t>(tail->pid), 0) != 0 && errno == ESRCH;
        if ((writerGone || age > maxAge) && std::filesystem::remove(it->path(), ec)) ++removed;
    }
    return removed;
}

}  // namespace trelwick::engine
