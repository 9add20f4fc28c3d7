#include "CliRun.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace trelwick::reliability {
namespace {

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

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

CliRunResult waitCli(pid_t pid, const std::string& logPrefix) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliRunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(logPrefix + ".out");
    result.err = slurp(logPrefix + ".err");
    return result;
}

CliRunResult runCli(const std::vector<std::string>& args, const std::string& logPrefix,
                    std::optional<std::uint64_t> fileSizeLimit) {
    return waitCli(startCli(args, logPrefix, fileSizeLimit), logPrefix);
}

}  // namespace trelwick::reliability
