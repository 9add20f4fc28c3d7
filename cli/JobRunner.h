#pragma once

#include <cstddef>
#include <functional>

namespace trelwick::cli {

// Runs numbered jobs on a fixed number of worker threads; each job is taken by exactly one worker.
class JobRunner {
  public:
    // What is left of a job once its work is done and only waiting remains (a save reaching the
    // disk); empty when nothing is left.
    using Tail = std::function<void()>;

    // workers: at least 1 (0 is taken as 1).
    explicit JobRunner(unsigned workers);

    // Runs job(0) .. job(count - 1) and returns when all have ended. Never starts more threads than
    // jobs. If a job throws, the remaining jobs still run and the first exception is rethrown here.
    void run(std::size_t count, const std::function<void(std::size_t)>& job) const;

    // The same for jobs that hand back a tail: each worker's own lane thread runs the tail while the
    // worker goes on with its next job, so a worker never sits idle waiting on its disk. A worker
    // has at most one tail running; its tails run in the order of its jobs.
    void runWithTails(std::size_t count, const std::function<Tail(std::size_t)>& job) const;

    unsigned workers() const { return workers_; }

  private:
    unsigned workers_;
};

}  // namespace trelwick::cli
