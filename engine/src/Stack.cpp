#include "trelwick/engine.h"

#ifdef __linux__
#include <pthread.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstddef>

namespace trelwick::engine {

void keepStackForDecks() {
#ifdef __linux__
    constexpr std::size_t kStackBytes = 8u << 20;
    // The main thread's stack grows as far as the soft limit of the moment allows.
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < kStackBytes) {
        limit.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? kStackBytes : std::min<rlim_t>(kStackBytes, limit.rlim_max);
        (void)::setrlimit(RLIMIT_STACK, &limit);
    }
#ifdef __GLIBC__
    // Threads started later without a size of their own (std::thread) take the default, which glibc
    // set from the limit the program was started with.
    pthread_attr_t attributes;
    if (::pthread_getattr_default_np(&attributes) != 0) return;
    std::size_t size = 0;
    if (::pthread_attr_getstacksize(&attributes, &size) == 0 && size < kStackBytes &&
        ::pthread_attr_setstacksize(&attributes, kStackBytes) == 0)
        (void)::pthread_setattr_default_np(&attributes);
    ::pthread_attr_destroy(&attributes);
#endif
#endif
}

}  // namespace trelwick::engine
