#include "JobRunner.h"

namespace trelwick::cli {

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

    const std::size_t threads = std::min<std::size_t>(workers_, count);
    if (threads <= 1) {
        work();
    } else {
        std::vector<std::jthread> pool;
        pool.reserve(threads);
        for (std::size_t t = 0; t < threads; ++t) pool.emplace_back(work);
    }
    failures.rethrow();
}

}  // namespace trelwick::cli
