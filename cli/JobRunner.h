#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace trelwick::cli {

namespace detail {

// The first exception of any job or batch, rethrown once all have ended.
class FirstFailure {
  public:
    void keep(std::exception_ptr failure) {
        std::lock_guard lock(mutex_);
        if (!first_) first_ = std::move(failure);
    }
    void rethrow() const {
        if (first_) std::rethrow_exception(first_);
    }

  private:
    std::mutex mutex_;
    std::exception_ptr first_;
};

// One thread settling a worker's results: it takes all that were handed over while it was busy and
// settles them in one call, in the order they came. Where no thread can be started (a limit on the
// processes and threads of the user, or of the container), the worker settles each result itself.
template <typename Result>
class Lane {
  public:
    using Settle = std::function<void(std::vector<Result>&)>;

    Lane(const Settle& settle, std::size_t depth, FirstFailure& failures)
        : settle_(settle), depth_(std::max<std::size_t>(1, depth)), failures_(failures) {
        try {
            thread_ = std::thread([this] { loop(); });
        } catch (const std::system_error&) {
        }
    }
    ~Lane() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    bool hasThread() const { return thread_.joinable(); }

    // Waits while depth results are unsettled, then hands this one over. While the lane is idle and its
    // last settle waited on nothing (a tmpfs, a disk cache that answers a sync at once), the worker
    // settles the result itself: waking the lane would then cost more than the settle.
    void hand(Result result) {
        std::unique_lock lock(mutex_);
        if ((quick_ || !thread_.joinable()) && waiting_.empty() && settling_ == 0) {
            settling_ = 1;
            lock.unlock();
            inline_.clear();
            inline_.push_back(std::move(result));
            const bool quick = timedSettle(inline_);
            lock.lock();
            settling_ = 0;
            quick_ = quick;
            return;
        }
        changed_.wait(lock, [&] { return waiting_.size() + settling_ < depth_; });
        waiting_.push_back(std::move(result));
        changed_.notify_all();
    }

  private:
    void loop() {
        for (;;) {
            std::vector<Result> batch;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return !waiting_.empty() || closing_; });
                if (waiting_.empty()) return;
                batch.swap(waiting_);
                settling_ = batch.size();
            }
            const bool quick = timedSettle(batch);
            {
                std::lock_guard lock(mutex_);
                settling_ = 0;
                quick_ = quick;
            }
            changed_.notify_all();
        }
    }

    // Settles the results and tells whether that took less than a wait on a disk does.
    bool timedSettle(std::vector<Result>& results) {
        constexpr auto kQuick = std::chrono::microseconds(100);
        const auto start = std::chrono::steady_clock::now();
        try {
            settle_(results);
        } catch (...) {
            failures_.keep(std::current_exception());
        }
        return std::chrono::steady_clock::now() - start < kQuick;
    }

    const Settle& settle_;
    const std::size_t depth_;
    FirstFailure& failures_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Result> waiting_;
    std::size_t settling_ = 0;
    bool closing_ = false;
    bool quick_ = false;          // the last settle waited on nothing
    std::vector<Result> inline_;  // the worker's own settle, kept to reuse its storage
    std::thread thread_;          // started once the members it uses exist; none when it could not be
};

}  // namespace detail

// Runs numbered jobs on a fixed number of worker threads; each job is taken by exactly one worker.
class JobRunner {
  public:
    // workers: at least 1 (0 is taken as 1).
    explicit JobRunner(unsigned workers);

    // Runs job(0) .. job(count - 1) and returns when all have ended. Never starts more threads than
    // jobs; where no more threads can be started, those started (or the calling thread) run the
    // rest. If a job throws, the remaining jobs still run and the first exception is rethrown here.
    void run(std::size_t count, const std::function<void(std::size_t)>& job) const;

    // The same for jobs whose result still has to be settled (a save waiting for the disk): each
    // worker's own lane thread settles its results while the worker goes on with its next jobs. A lane
    // takes every result handed over since it last looked and settles them in one call, in the order
    // of the worker's jobs, so that waits on the disk are shared. A worker waits while depth of its
    // results are unsettled. Exceptions from jobs and from settle are rethrown as by run().
    template <typename Result>
    void runWithLanes(std::size_t count, std::size_t depth, const std::function<Result(std::size_t)>& job,
                      const std::function<void(std::vector<Result>&)>& settle) const {
        detail::FirstFailure failures;
        {
            std::atomic<std::size_t> next{0};
            std::size_t workers = std::min<std::size_t>(workers_, count);
            std::vector<std::unique_ptr<detail::Lane<Result>>> lanes;
            for (std::size_t w = 0; w < workers; ++w) {
                lanes.push_back(std::make_unique<detail::Lane<Result>>(settle, depth, failures));
                // Out of threads: the workers so far go on, the first settling its own results.
                if (!lanes.back()->hasThread()) {
                    if (lanes.size() > 1) lanes.pop_back();
                    workers = lanes.size();
                    break;
                }
            }
            run(workers, [&](std::size_t worker) {
                for (std::size_t i = next++; i < count; i = next++) {
                    try {
                        lanes[worker]->hand(job(i));
                    } catch (...) {
                        failures.keep(std::current_exception());
                    }
                }
            });
            // Leaving the scope waits for every lane's last batch.
        }
        failures.rethrow();
    }

    unsigned workers() const { return workers_; }

    // The processor cores this process may run on, at least 1: fewer than the machine has under
    // taskset or a container's cpuset.
    static unsigned coresAvailable();

  private:
    unsigned workers_;
};

}  // namespace trelwick::cli
