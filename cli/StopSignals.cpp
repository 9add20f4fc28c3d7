#include "StopSignals.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#ifndef _WIN32
#include <signal.h>
#endif

namespace trelwick::cli {

namespace {

// Set by the handler, read by every job thread: a lock-free atomic is safe in both, where a volatile
// sig_atomic_t is only safe within the thread that took the signal.
std::atomic<int> g_stop{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void askToStop(int sig) {
    g_stop.store(sig, std::memory_order_relaxed);
    std::signal(sig, SIG_DFL);  // a second one is not waited for
}

// A signal ignored at start stays ignored: "nohup trelwick-cli ..." and a script's background jobs
// start it so, that a closed terminal or a Ctrl-C meant for the script leaves the batch running.
void catchUnlessIgnored(int sig) {
#ifndef _WIN32
    struct sigaction now {};
    if (::sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) return;
#endif
    std::signal(sig, askToStop);
}

}  // namespace

void catchStopSignals() {
    catchUnlessIgnored(SIGINT);
    catchUnlessIgnored(SIGTERM);
#ifdef SIGHUP
    catchUnlessIgnored(SIGHUP);
#endif
}

int stopSignal() {
    return g_stop.load(std::memory_order_relaxed);
}

void endBySignal(int sig) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);  // where the signal's default action does not end the process
}

}  // namespace trelwick::cli
