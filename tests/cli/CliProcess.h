#pragma once

#include <string>
#include <vector>

namespace trelwick::cli::test {

// What a finished run of the real trelwick-cli binary left behind.
struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the trelwick-cli binary built beside the tests with the given arguments, stdin closed and
// stdout/stderr captured (so stderr is not a terminal).
CliResult runCli(const std::vector<std::string>& args);

// Runs a shell command and returns its standard output.
std::string shellOutput(const std::string& command);

// Quotes text for a POSIX shell.
std::string shellQuote(const std::string& text);

}  // namespace trelwick::cli::test
