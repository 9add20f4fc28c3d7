#include "common/CliRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/Files.h"
#include "common/TempDir.h"

namespace trelwick::testing {

pid_t startCli(const std::vector<std::string>& args, const std::string& logPrefix,
               std::optional<std::uint64_t> fileSizeLimit) {
    std::vector<std::string> all{TRELWICK_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outFile = logPrefix + ".out", errFile = logPrefix + ".err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (fileSizeLimit) {
            // The log files are already open; the limit then applies to what the program writes.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(*fileSizeLimit), static_cast<rlim_t>(*fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

CliResult waitCli(pid_t pid, const std::string& logPrefix) {
    CliResult result;
    if (pid < 0) {
        result.err = "cannot start " TRELWICK_CLI_PATH;
        return result;
    }
    // Polled rather than waited on, so that a hanging run fails its test instead of the whole suite.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kCliRunLimitSeconds);
    int status = 0;
    bool hung = false;
    pid_t waited;
    while ((waited = ::waitpid(pid, &status, WNOHANG)) == 0 || (waited < 0 && errno == EINTR)) {
        if (std::chrono::steady_clock::now() > deadline) {
            hung = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const int waitError = errno;
    const bool lost = !hung && waited < 0;
    result.exitCode = !hung && !lost && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(logPrefix + ".out");
    result.err = readFile(logPrefix + ".err");
    if (hung)
        result.err += "\n[test] trelwick-cli was killed: still running after " +
                      std::to_string(kCliRunLimitSeconds) + " s\n";
    if (lost)
        result.err +=
            "\n[test] cannot wait for trelwick-cli: " + std::string(std::strerror(waitError)) + "\n";
    return result;
}

CliResult runCli(const std::vector<std::string>& args, const std::string& logPrefix,
                 std::optional<std::uint64_t> fileSizeLimit) {
    return waitCli(startCli(args, logPrefix, fileSizeLimit), logPrefix);
}

CliResult runCli(const std::vector<std::string>& args) {
    TempDir capture;
    return runCli(args, (capture / "run").string());
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string shellOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

}  // namespace trelwick::testing
