#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
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

}  // namespace
}  // namespace trelwick::cli
