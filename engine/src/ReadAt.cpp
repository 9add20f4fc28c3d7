#include "ReadAt.h"

#include <unistd.h>

#include <cerrno>

#include "Heap.h"

namespace trelwick::engine {

std::optional<std::string> readAt(int fd, std::uint64_t offset, std::uint64_t length) {
    std::string buffer = zeroed(length);
    if (!readAt(fd, offset, length, buffer)) return std::nullopt;
    return buffer;
}

bool readAt(int fd, std::uint64_t offset, std::uint64_t length, std::string& out) {
    out.resize(length);
    return readAt(fd, offset, length, out.data());
}

bool readAt(int fd, std::uint64_t offset, std::uint64_t length, char* to) {
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, to + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace trelwick::engine
