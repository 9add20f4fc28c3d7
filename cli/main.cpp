#include <trelwick/engine.h>

#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "CliApp.h"
#include "StandardStreams.h"
#include "StopSignals.h"

#ifdef _WIN32
#include <io.h>
#define TRELWICK_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>

#include <csignal>
#define TRELWICK_ISATTY(fd) isatty(fd)
#endif

int main(int argc, char** argv) {
    trelwick::cli::keepStandardStreamsOpen();
    trelwick::engine::keepLocalTimeZone();
    trelwick::engine::keepFreedMemory();
    trelwick::engine::keepStackForDecks();
#ifndef _WIN32
    // A write past the file-size limit then fails for that deck (EFBIG, reported) instead of killing
    // the run; a closed pipe on stdout or stderr loses the messages, not the decks still to stamp.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
#endif
    trelwick::cli::catchStopSignals();
    std::ios::sync_with_stdio(true);
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return trelwick::cli::CliApp(std::cout, std::cerr, TRELWICK_ISATTY(2) != 0).run(args);
    } catch (const std::bad_alloc&) {
        std::cerr << "trelwick-cli: there is not enough memory to go on\n";  // rather than an abort
    } catch (const std::exception& e) {
        std::cerr << std::string("trelwick-cli: ") + e.what() + "\n";
    }
    return 1;
}
