#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "Failure.h"

namespace trelwick::engine {
namespace {

[[noreturn]] void failWrite(const std::filesystem::path& target, const std::string& what) {
    fail(ErrorCode::WriteFailed, target.string(), "", what + " (" + std::strerror(errno) + ")");
}

// umask() cannot be read without setting it, which would race with other threads creating files.
mode_t processUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)) {
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + target_.filename().string() + ".trelwick-XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) failWrite(target_, "cannot create a temporary file in the output folder");
    ::close(fd);
    temporary_ = pattern;
}

AtomicFile::~AtomicFile() {
    if (!committed_) ::unlink(temporary_.c_str());
}

void AtomicFile::commit() {
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) failWrite(target_, "cannot reopen the temporary file");
    struct stat existing {};
    const mode_t mode =
        ::stat(target_.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : (0666 & ~processUmask());
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        failWrite(target_, "cannot flush the written file to disk");
    }
    ::close(fd);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        failWrite(target_, "cannot move the written file into place");
    committed_ = true;
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    // Without syncing the folder, a crash could lose the rename although the data is on disk.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace trelwick::engine
