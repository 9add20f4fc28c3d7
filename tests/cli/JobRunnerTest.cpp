#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "JobRunner.h"

#ifdef __linux__
#include <sched.h>
#endif

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

TEST(JobRunnerLanes, OneWorkerGoesOnWhileItsLaneSettlesWhatWaitedInOneBatchAndNeverRunsAheadFurther) {
    constexpr std::size_t kJobs = 24;
    constexpr std::size_t kDepth = 4;
    EventLog log;
    std::vector<std::atomic<int>> settled(kJobs);
    std::vector<std::size_t> order;
    std::size_t largestBatch = 0;

    JobRunner(1).runWithLanes<std::size_t>(
        kJobs, kDepth,
        [&](std::size_t i) {
            log.add("job " + std::to_string(i));
            return i;
        },
        [&](std::vector<std::size_t>& batch) {
            largestBatch = std::max(largestBatch, batch.size());
            for (std::size_t i : batch) {
                // The first settle waits for job 2 to start: it can only see it if they overlap, and
                // the results handed over meanwhile come as one batch.
                if (i == 0) {
                    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                    while (log.at("job 2") < 0 && std::chrono::steady_clock::now() < deadline)
                        std::this_thread::yield();
                }
                ++settled[i];
                order.push_back(i);
                log.add("settled " + std::to_string(i));
            }
        });

    EXPECT_GT(largestBatch, 1u) << "results that waited were not settled together";
    EXPECT_LE(largestBatch, kDepth);
    ASSERT_EQ(order.size(), kJobs);
    for (std::size_t i = 0; i < kJobs; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(settled[i].load(), 1);
        EXPECT_EQ(order[i], i) << "a worker's results are settled in the order of its jobs";
        EXPECT_LT(log.at("job " + std::to_string(i)), log.at("settled " + std::to_string(i)));
        if (i + kDepth + 1 < kJobs) {
            EXPECT_LT(log.at("settled " + std::to_string(i)), log.at("job " + std::to_string(i + kDepth + 1)))
                << "no more than the depth of results may wait on the disk";
        }
    }
}

TEST(JobRunnerLanes, EveryJobAndResultRunsOnceOnManyWorkersAndFailuresAreRethrownAtTheEnd) {
    constexpr std::size_t kJobs = 60;
    std::vector<std::atomic<int>> jobRuns(kJobs), settled(kJobs);
    EXPECT_THROW(JobRunner(4).runWithLanes<std::size_t>(
                     kJobs, 3,
                     [&](std::size_t i) {
                         ++jobRuns[i];
                         if (i == 7) throw std::runtime_error("job 7");
                         return i;
                     },
                     [&](std::vector<std::size_t>& batch) {
                         for (std::size_t i : batch) ++settled[i];
                         for (std::size_t i : batch)
                             if (i == 13) throw std::runtime_error("batch with 13");
                     }),
                 std::runtime_error);
    for (std::size_t i = 0; i < kJobs; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(jobRuns[i].load(), 1);
        EXPECT_EQ(settled[i].load(), i == 7 ? 0 : 1);
    }
}

TEST(JobRunnerLanes, AWorkerSettlesItselfWhileSettlesAreQuickAndHandsOverOnceOneWaited) {
    // Every tenth settle waits as a sync on a disk does. Each job starts once the results before it
    // are settled, so that the lane is idle whenever a result is handed over.
    constexpr std::size_t kJobs = 40;
    std::thread::id worker;
    std::vector<std::thread::id> settledOn(kJobs);
    std::vector<std::size_t> order;
    std::atomic<std::size_t> settled{0};
    auto slow = [](std::size_t i) { return i % 10 == 5; };

    JobRunner(1).runWithLanes<std::size_t>(
        kJobs, 4,
        [&](std::size_t i) {
            worker = std::this_thread::get_id();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (settled.load() < i && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            return i;
        },
        [&](std::vector<std::size_t>& batch) {
            for (std::size_t i : batch) {
                if (slow(i)) std::this_thread::sleep_for(std::chrono::milliseconds(3));
                settledOn[i] = std::this_thread::get_id();
                order.push_back(i);
                ++settled;
            }
        });

    ASSERT_EQ(order.size(), kJobs);
    std::size_t byTheWorker = 0;
    for (std::size_t i = 0; i < kJobs; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(order[i], i) << "a worker's results are settled in the order of its jobs";
        if (i > 0 && slow(i - 1)) {
            EXPECT_NE(settledOn[i], worker) << "the settle before this one waited";
        }
        if (settledOn[i] == worker) ++byTheWorker;
    }
    EXPECT_GT(byTheWorker, 0u) << "quick settles were all handed over to the lane";
}

// Under a limit on processes and threads (ulimit -u, a container's pids limit) no thread may start: the
// jobs then run, and their results are settled, on the calling thread rather than the whole run
// failing. Held in a child process, as another user when run as root (whom the limit would not bind);
// the child tells by its exit status.
TEST(JobRunnerLanes, WithoutThreadsToStartEveryJobRunsAndIsSettledOnTheCallingThread) {
    const pid_t pid = ::fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NPROC, &none) != 0) ::_exit(77);
        try {
            std::thread([] {}).join();
            ::_exit(77);  // the limit does not bind here
        } catch (const std::system_error&) {
        }
        constexpr std::size_t kJobs = 12;
        std::vector<int> ran(kJobs), settled(kJobs);
        try {
            JobRunner(4).run(kJobs, [&](std::size_t i) { ++ran[i]; });
            JobRunner(4).runWithLanes<std::size_t>(
                kJobs, 2, [](std::size_t i) { return i; },
                [&](std::vector<std::size_t>& batch) {
                    for (const std::size_t i : batch) ++settled[i];
                });
        } catch (...) {
            ::_exit(1);
        }
        for (std::size_t i = 0; i < kJobs; ++i)
            if (ran[i] != 1 || settled[i] != 1) ::_exit(2);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no limit on threads can be set here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the run failed; 2: a job or a result was lost or taken twice";
}

TEST(JobRunnerLanes, NoJobsStartsNothing) {
    bool ran = false;
    JobRunner(3).runWithLanes<int>(
        0, 2,
        [&](std::size_t) {
            ran = true;
            return 0;
        },
        [&](std::vector<int>&) { ran = true; });
    EXPECT_FALSE(ran);
}

// The default number of jobs is the number of cores the process may run on, not all the machine has
// (taskset, a container's cpuset): asked on a thread held to one core.
TEST(JobRunner, CoresAvailableAreThoseTheProcessMayRunOn) {
#ifndef __linux__
    GTEST_SKIP() << "a process is held to some cores through Linux's affinity only here";
#else
    cpu_set_t mine;
    CPU_ZERO(&mine);
    ASSERT_EQ(::sched_getaffinity(0, sizeof mine, &mine), 0);
    if (CPU_COUNT(&mine) < 2) GTEST_SKIP() << "this process may run on one core only; nothing to tell apart";
    EXPECT_EQ(JobRunner::coresAvailable(), static_cast<unsigned>(CPU_COUNT(&mine)));
    int first = 0;
    while (!CPU_ISSET(first, &mine)) ++first;
    bool held = false;
    unsigned onOne = 0;
    std::thread([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        held = ::sched_setaffinity(0, sizeof one, &one) == 0;
        onOne = JobRunner::coresAvailable();
    }).join();
    if (!held) GTEST_SKIP() << "a thread may not be held to one core here";
    EXPECT_EQ(onOne, 1u);
#endif
}

}  // namespace
}  // namespace trelwick::cli
