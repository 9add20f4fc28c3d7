#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <string>

#include "trelwick/engine.h"

namespace trelwick::engine {

bool keepsCaseApart(const std::filesystem::path& folder) {
    // Asked of the file system itself: names already there cannot tell, as a file system reached
    // through FUSE may give one file another number under each spelling.
    std::random_device random;
    const std::string probe = ".trelwick-case-probe-" + std::to_string(random());
    const std::filesystem::path lower = folder / probe;
    // Created only if nothing has that name (not even a link): the folder may be shared.
    const int fd = ::open(lower.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    std::string upper = probe;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    struct stat st {};
    const bool apart = ::lstat((folder / upper).c_str(), &st) != 0 && errno == ENOENT;
    ::unlink(lower.c_str());
    return apart;
}

}  // namespace trelwick::engine
