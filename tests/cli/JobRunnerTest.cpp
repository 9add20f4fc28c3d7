#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "JobRunner.h"

namespace trelwick::cli {
namespace {

struct RunCase {
    unsigned workers;
    std::size_t jobs;
};

class JobRunnerRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(JobRunnerRuns, EveryJobRunsExactlyOnceOnAtMostTheWorkersAsked) {
    const auto [workers, jobs] = GetParam();
    std::vector<std::atomic<int>> runs(jobs);
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    std::mutex threadsMutex;
    std::set<std::thread::id> threads;

    JobRunner(workers).run(jobs, [&](std::size_t i) {
        const int now = ++running;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ++runs[i];
        {
            std::lock_guard lock(threadsMutex);
            threads.insert(std::this_thread::get_id());
        }
        --running;
    });

    for (std::size_t i = 0; i < jobs; ++i) EXPECT_EQ(runs[i].load(), 1) << "job " << i;
    EXPECT_LE(peak.load(), static_cast<int>(std::max(1u, workers)));
    EXPECT_LE(threads.size(), std::max<std::size_t>(1, std::min<std::size_t>(std::max(1u, workers), jobs)));
}

INSTANTIATE_TEST_SUITE_P(Table, JobRunnerRuns,
                         ::testing::Values(RunCase{1, 0}, RunCase{1, 5}, RunCase{0, 3}, RunCase{4, 1},
                                           RunCase{4, 40}, RunCase{16, 7}),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                             return "Workers" + std::to_string(info.param.workers) + "Jobs" +
                                    std::to_string(info.param.jobs);
                         });

TEST(JobRunner, SeveralWorkersReallyRunJobsSideBySide) {
    // Two jobs that each wait for the other can only finish when both run at once.
    std::atomic<int> arrived{0};
    std::atomic<bool> bothSeen{false};
    JobRunner(2).run(2, [&](std::size_t) {
        ++arrived;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (arrived.load() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        if (arrived.load() == 2) bothSeen = true;
    });
    EXPECT_TRUE(bothSeen.load());
}

TEST(JobRunner, AThrowingJobDoesNotStopTheOthersAndIsRethrown) {
    std::atomic<int> finished{0};
    EXPECT_THROW(JobRunner(3).run(10,
                                  [&](std::size_t i) {
                                      if (i == 2) throw std::runtime_error("job 2");
                                      ++finished;
                                  }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 9);
}

// What one worker did, in the order it happened.
class EventLog {
  public:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::ptrdiff_t at(const std::string& event) const {
        std::lock_guard lock(mutex_);
        const auto it = std::find(events_.begin(), events_.end(), event);
        return it == events_.end() ? -1 : it - events_.begin();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

TEST(JobRunnerTails, OneWorkerOverlapsEachTailWithTheNextJobButNeverRunsAheadFurther) {
    constexpr std::size_t kJobs = 12;
    EventLog log;
    std::atomic<int> tailsRunning{0};
    std::atomic<int> tailPeak{0};
    std::atomic<bool> overlapSeen{false};
    std::vector<std::atomic<int>> tailRuns(kJobs);

    JobRunner(1).runWithTails(kJobs, [&](std::size_t i) -> JobRunner::Tail {
        log.add("job " + std::to_string(i));
        return [&, i] {
            const int now = ++tailsRunning;
            tailPeak = std::max(tailPeak.load(), now);
            log.add("tail start " + std::to_string(i));
            // The first tail waits for the next job to begin: it can only see it if they overlap.
            if (i == 0) {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (log.at("job 1") < 0 && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::yield();
                overlapSeen = log.at("job 1") >= 0;
            }
            ++tailRuns[i];
            log.add("tail end " + std::to_string(i));
            --tailsRunning;
        };
    });

    EXPECT_TRUE(overlapSeen.load()) << "the worker waited for its tail before starting the next job";
    EXPECT_EQ(tailPeak.load(), 1);
    for (std::size_t i = 0; i < kJobs; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tailRuns[i].load(), 1);
        EXPECT_LT(log.at("job " + std::to_string(i)), log.at("tail start " + std::to_string(i)));
        if (i + 1 < kJobs) {
            EXPECT_LT(log.at("tail end " + std::to_string(i)), log.at("tail start " + std::to_string(i + 1)));
        }
        if (i + 2 < kJobs) {
            EXPECT_LT(log.at("tail end " + std::to_string(i)), log.at("job " + std::to_string(i + 2)))
                << "at most one deck may wait on the disk while the next is stamped";
        }
    }
}

TEST(JobRunnerTails, EveryJobAndTailRunsOnceOnManyWorkersAndFailuresAreRethrownAtTheEnd) {
    constexpr std::size_t kJobs = 60;
    std::vector<std::atomic<int>> jobRuns(kJobs), tailRuns(kJobs);
    EXPECT_THROW(JobRunner(4).runWithTails(kJobs,
                                           [&](std::size_t i) -> JobRunner::Tail {
                                               ++jobRuns[i];
                                               if (i == 7) throw std::runtime_error("job 7");
                                               if (i % 5 == 0) return {};  // nothing left to wait for
                                               return [&, i] {
                                                   ++tailRuns[i];
                                                   if (i == 13) throw std::runtime_error("tail 13");
                                               };
                                           }),
                 std::runtime_error);
    for (std::size_t i = 0; i < kJobs; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(jobRuns[i].load(), 1);
        EXPECT_EQ(tailRuns[i].load(), (i == 7 || i % 5 == 0) ? 0 : 1);
    }
}

TEST(JobRunnerTails, NoJobsStartsNothing) {
    bool ran = false;
    JobRunner(3).runWithTails(0, [&](std::size_t) -> JobRunner::Tail {
        ran = true;
        return {};
    });
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace trelwick::cli
