#include "StopSignals.h"

#include <csignal>
#include <cstdlib>

#ifndef _WIN32
#include <signal.h>
#endif

namespace trelwick::cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void askToStop(int sig) {
    g_stop = sig;
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

int stopSignal() { return g_stop; }

void endBySignal(int sig) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);  // where the signal's default action does not end the process
}

}  // namespace trelwick::cli
