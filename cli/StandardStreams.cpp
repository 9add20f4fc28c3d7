#include "StandardStreams.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace trelwick::cli {

void keepStandardStreamsOpen() {
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The numbers below this one are open, so this is the lowest free one and open() takes it.
        // Where /dev/null cannot be opened (a bare chroot) the stream stays closed, as it came.
        (void)::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    }
#endif
}

}  // namespace trelwick::cli
