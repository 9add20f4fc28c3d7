#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Runs of the trelwick-cli binary built beside the tests, and small shell helpers.
namespace trelwick::testing {

// What a finished run left behind.
struct CliResult {
    int exitCode = -1;  // -1 when killed by a signal or stopped for running too long
    std::string out;
    std::string err;
};

// A run still going this long is taken to hang: it is killed, and its CliResult says so in err.
constexpr int kCliRunLimitSeconds = 240;

// Starts trelwick-cli with args, stdin from /dev/null and stdout/stderr into logPrefix + ".out" and
// ".err" (so neither is a terminal). fileSizeLimit, when given, caps the size of files it writes
// (SIGXFSZ ignored, so writes fail with EFBIG as on a full disk). Returns the child's pid.
pid_t startCli(const std::vector<std::string>& args, const std::string& logPrefix,
               std::optional<std::uint64_t> fileSizeLimit = std::nullopt);

// Waits for a started run (killing it after kCliRunLimitSeconds) and collects its output.
CliResult waitCli(pid_t pid, const std::string& logPrefix);

// Runs trelwick-cli to the end, its output kept in files beside logPrefix.
CliResult runCli(const std::vector<std::string>& args, const std::string& logPrefix,
                 std::optional<std::uint64_t> fileSizeLimit = std::nullopt);

// Runs trelwick-cli to the end, its output captured in a temporary folder.
CliResult runCli(const std::vector<std::string>& args);

// Runs a shell command and returns its standard output.
std::string shellOutput(const std::string& command);

// Quotes text for a POSIX shell.
std::string shellQuote(const std::string& text);

}  // namespace trelwick::testing
