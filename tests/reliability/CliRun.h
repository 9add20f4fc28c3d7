#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trelwick::reliability {

// A finished trelwick-cli run.
struct CliRunResult {
    int exitCode = -1;  // -1 when killed by a signal
    std::string out;
    std::string err;
};

// Starts the trelwick-cli built beside the tests with args, stdin from /dev/null and stdout/stderr
// into files beside logPrefix. fileSizeLimit, when given, caps the size of files it writes (SIGXFSZ
// ignored, so writes fail with EFBIG like on a full disk). Returns the child's pid.
pid_t startCli(const std::vector<std::string>& args, const std::string& logPrefix,
               std::optional<std::uint64_t> fileSizeLimit = std::nullopt);

// Waits for a started run and collects its output.
CliRunResult waitCli(pid_t pid, const std::string& logPrefix);

// Runs trelwick-cli to the end.
CliRunResult runCli(const std::vector<std::string>& args, const std::string& logPrefix,
                    std::optional<std::uint64_t> fileSizeLimit = std::nullopt);

}  // namespace trelwick::reliability
