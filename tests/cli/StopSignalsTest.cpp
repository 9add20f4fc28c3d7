// How trelwick-cli takes the signals that stop a batch.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
}  // namespace trelwick::cli
