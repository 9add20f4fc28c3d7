#pragma once

#include <cstddef>
#include <functional>

namespace trelwick::cli {

// Runs numbered jobs on a fixed number of worker threads; each job is taken by exactly one worker.
class JobRunner {
  public:
    // workers: at least 1 (0 is taken as 1).
    explicit JobRunner(unsigned workers);

    // Runs job(0) .. job(count - 1) and returns when all have ended. Never starts more threads than
    // jobs. If a job throws, the remaining jobs still run and the first exception is rethrown here.
    void run(std::size_t count, const std::function<void(std::size_t)>& job) const;

    unsigned workers() const { return workers_; }

  private:
    unsigned workers_;
};

}  // namespace trelwick::cli
