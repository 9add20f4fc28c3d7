#include "JobRunner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace trelwick::cli {

namespace {

// The first exception of any job or tail, rethrown once all have ended.
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

// One thread running a worker's tails one at a time, in the order they are handed over.
class Lane {
  public:
    explicit Lane(FirstFailure& failures) : failures_(failures), thread_([this] { loop(); }) {}
    ~Lane() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // Waits until the previous tail has ended, then hands this one over.
    void hand(JobRunner::Tail tail) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !tail_ && !running_; });
        tail_ = std::move(tail);
        changed_.notify_all();
    }

  private:
    void loop() {
        for (;;) {
            JobRunner::Tail tail;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return tail_ || closing_; });
                if (!tail_) return;
                tail = std::exchange(tail_, nullptr);
                running_ = true;
            }
            try {
                tail();
            } catch (...) {
                failures_.keep(std::current_exception());
            }
            {
                std::lock_guard lock(mutex_);
                running_ = false;
            }
            changed_.notify_all();
        }
    }

    FirstFailure& failures_;
    std::mutex mutex_;
    std::condition_variable changed_;
    JobRunner::Tail tail_;
    bool running_ = false;
    bool closing_ = false;
    std::thread thread_;  // last: starts once the members it uses exist
};

}  // namespace

JobRunner::JobRunner(unsigned workers) : workers_(std::max(1u, workers)) {}

void JobRunner::run(std::size_t count, const std::function<void(std::size_t)>& job) const {
    std::atomic<std::size_t> next{0};
    FirstFailure failures;

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

void JobRunner::runWithTails(std::size_t count, const std::function<Tail(std::size_t)>& job) const {
    FirstFailure failures;
    {
        std::atomic<std::size_t> next{0};
        const std::size_t workers = std::min<std::size_t>(workers_, count);
        std::vector<std::unique_ptr<Lane>> lanes;
        for (std::size_t w = 0; w < workers; ++w) lanes.push_back(std::make_unique<Lane>(failures));
        run(workers, [&](std::size_t worker) {
            for (std::size_t i = next++; i < count; i = next++) {
                Tail tail;
                try {
                    tail = job(i);
                } catch (...) {
                    failures.keep(std::current_exception());
                }
                if (tail) lanes[worker]->hand(std::move(tail));
            }
        });
        // Leaving the scope waits for every lane's last tail.
    }
    failures.rethrow();
}

}  // namespace trelwick::cli
