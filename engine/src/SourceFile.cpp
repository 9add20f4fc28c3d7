#include "SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "Failure.h"
#include "Heap.h"

namespace trelwick::engine {

namespace {

std::optional<FileVersion> versionOf(const struct stat& st) {
#if defined(_WIN32)
    (void)st;
    return std::nullopt;
#else
#if defined(__APPLE__)
    const struct timespec modified = st.st_mtimespec, changed = st.st_ctimespec;
#else
    const struct timespec modified = st.st_mtim, changed = st.st_ctim;
#endif
    constexpr std::int64_t kNs = 1000000000;
    return FileVersion{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                       static_cast<std::uint64_t>(st.st_size), modified.tv_sec * kNs + modified.tv_nsec,
                       changed.tv_sec * kNs + changed.tv_nsec};
#endif
}

}  // namespace

std::optional<FileVersion> FileVersion::of(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return versionOf(st);
}

std::optional<FileVersion> FileVersion::ofOpen(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return versionOf(st);
}

void FileVersion::refuseIfWritten(int fd, const std::optional<FileVersion>& opened,
                                  const std::string& label) {
    if (fd < 0 || !opened) return;
    // Bytes written change the size or the modification time. The change time is left out: a link
    // added or removed, a mode or an attribute set change it too, and leave the bytes as they were.
    const std::optional<FileVersion> now = ofOpen(fd);
    if (!now || now->device != opened->device || now->inode != opened->inode || now->size != opened->size ||
        now->modifiedNs != opened->modifiedNs)
        fail(ErrorCode::ReadFailed, label, "", "the presentation changed while it was being read");
}

SourceFile SourceFile::open(const std::filesystem::path& file) {
    std::string label = file.string();
    // O_NONBLOCK: opening a named pipe would otherwise wait for a writer.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int openError = errno;
        // Only "no such file" means absent; a path too long, a loop of links or a folder that may not
        // be searched leave the file's existence unknown, and saying it does not exist would mislead.
        std::error_code ec;
        const auto status = std::filesystem::status(file, ec);
        if (status.type() == std::filesystem::file_type::none)
            fail(ErrorCode::ReadFailed, label, "", "the file cannot be reached (" + ec.message() + ")");
        if (!std::filesystem::exists(status))
            fail(ErrorCode::FileNotFound, label, "", "the file does not exist");
        if (std::filesystem::is_directory(status))
            fail(ErrorCode::FileNotFound, label, "", "this is a folder, not a presentation file");
        fail(ErrorCode::ReadFailed, label, "",
             "the file cannot be opened for reading (" +
                 std::error_code(openError, std::generic_category()).message() + ")");
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        fail(ErrorCode::ReadFailed, label, "", "the file size cannot be read");
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        fail(ErrorCode::FileNotFound, label, "", "this is a folder, not a presentation file");
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(ErrorCode::ReadFailed, label, "", "this is a device or pipe, not a presentation file");
    }
    if (st.st_size == 0) {
        ::close(fd);
        fail(ErrorCode::NotAPresentation, label, "", "the file is empty");
    }
    return SourceFile(fd, std::move(label), static_cast<std::uint64_t>(st.st_size), versionOf(st));
}

SourceFile::SourceFile(int fd, std::string label, std::uint64_t size, std::optional<FileVersion> version)
    : fd_(fd), label_(std::move(label)), size_(size), version_(version) {}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      label_(std::move(other.label_)),
      size_(other.size_),
      version_(other.version_) {}

SourceFile& SourceFile::operator=(SourceFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        label_ = std::move(other.label_);
        size_ = other.size_;
        version_ = other.version_;
    }
    return *this;
}

SourceFile::~SourceFile() {
    if (fd_ >= 0) ::close(fd_);
}

int SourceFile::release() {
    return std::exchange(fd_, -1);
}

std::string SourceFile::read(std::uint64_t offset, std::size_t length) const {
    std::string buffer = zeroed(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd_, buffer.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    buffer.resize(done);
    return buffer;
}

}  // namespace trelwick::engine
