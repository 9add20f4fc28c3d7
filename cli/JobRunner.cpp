#include "JobRunner.h"

#ifdef __linux__
#include <sched.h>
#endif

namespace trelwick::cli {

unsigned JobRunner::coresAvailable() {
#ifdef __linux__
    // hardware_concurrency counts every core of the machine: in a container given two of sixty-four,
    // a default of one job a core ran sixty-four decks at once, each with its memory, on two cores.
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (::sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
        return static_cast<unsigned>(CPU_COUNT(&cores));
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

JobRunner::JobRunner(unsigned workers) : workers_(std::max(1u, workers)) {}

void JobRunner::run(std::size_t count, const std::function<void(std::size_t)>& job) const {
    std::atomic<std::size_t> next{0};
    detail::FirstFailure failures;

    auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                job(i);
            } catch (...) {
                failures.keep(std::current_exception());
            }
        }
    };

    // One job runs on a thread of its own too: its stack is the size keepStackForDecks gives threads,
    // which the main thread's cannot be made when the program was started with a small hard limit.
    const std::size_t threads = std::min<std::size_t>(workers_, count);
    {
        std::vector<std::jthread> pool;
        pool.reserve(threads);
        try {
            for (std::size_t t = 0; t < threads; ++t) pool.emplace_back(work);
        } catch (const std::system_error&) {
            // A limit on threads: the ones started take every job; none started, this thread does.
            if (pool.empty()) work();
        }
    }
    failures.rethrow();
}

}  // namespace trelwick::cli
