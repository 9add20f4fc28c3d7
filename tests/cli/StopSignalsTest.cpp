// How trelwick-cli takes the signals that stop a batch.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "StopSignals.h"

namespace trelwick::cli {
namespace {

// Runs body in a child process (signal dispositions are the process's) and returns its exit status.
template <typename Body>
int inChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// "nohup trelwick-cli ..." (and a shell's background jobs for SIGINT) start the program with the signal
// ignored, so that closing the terminal does not end the batch. Catching it anyway turned a closed
// terminal into a stopped batch; a signal ignored at start must stay ignored.
TEST(StopSignals, ASignalIgnoredAtStartStaysIgnored) {
    for (const int sig : {SIGHUP, SIGINT, SIGTERM}) {
        const int status = inChild([sig] {
            ::signal(sig, SIG_IGN);
            catchStopSignals();
            ::raise(sig);
            struct sigaction now {};
            ::sigaction(sig, nullptr, &now);
            if (stopSignal() != 0) return 1;  // the batch would stop
            return now.sa_handler == SIG_IGN ? 0 : 2;
        });
        EXPECT_EQ(status, 0) << "signal " << sig << " (1: the batch would stop; 2: no longer ignored)";
    }
}

// The signal a batch is not started with ignoring stops it.
TEST(StopSignals, ASignalNotIgnoredAsksTheBatchToStop) {
    const int status = inChild([] {
        ::signal(SIGHUP, SIG_DFL);
        catchStopSignals();
        ::raise(SIGHUP);
        return stopSignal() == SIGHUP ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

// The signal is taken by whichever thread the kernel picks, while the jobs ask on theirs: what the
// handler sets must be safe to read on another thread. The child ends through exit() so that a race
// detector's report (and exit status) is kept.
TEST(StopSignals, ASignalTakenOnOneThreadIsSeenOnAnother) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGHUP, SIG_DFL);
        catchStopSignals();
        std::atomic<bool> asking{false};
        int seen = 0;
        std::thread job([&] {
            asking = true;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (seen == 0 && std::chrono::steady_clock::now() < until) seen = stopSignal();
        });
        while (!asking) std::this_thread::yield();
        ::pthread_kill(::pthread_self(), SIGHUP);  // taken here, on another thread than the job's
        job.join();
        std::exit(seen == SIGHUP ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: the job never saw the signal; 66: ThreadSanitizer found a data race "
           "on the stop flag (its report is above)";
}

}  // namespace
}  // namespace trelwick::cli
