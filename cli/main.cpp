#include <iostream>
#include <string>
#include <vector>

#include <trelwick/engine.h>

#include "CliApp.h"

#ifdef _WIN32
#include <io.h>
#define TRELWICK_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define TRELWICK_ISATTY(fd) isatty(fd)
#endif

int main(int argc, char** argv) {
    trelwick::engine::keepLocalTimeZone();
    std::ios::sync_with_stdio(true);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return trelwick::cli::CliApp(std::cout, std::cerr, TRELWICK_ISATTY(2) != 0).run(args);
}
