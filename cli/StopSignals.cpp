#include "StopSignals.h"

#include <csignal>
#include <cstdlib>

namespace trelwick::cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void askToStop(int sig) {
    g_stop = sig;
    std::signal(sig, SIG_DFL);  // a second one is not waited for
}

}  // namespace

void catchStopSignals() {
    std::signal(SIGINT, askToStop);
    std::signal(SIGTERM, askToStop);
#ifdef SIGHUP
    std::signal(SIGHUP, askToStop);
#endif
}

int stopSignal() { return g_stop; }

void endBySignal(int sig) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);  // where the signal's default action does not end the process
}

}  // namespace trelwick::cli
