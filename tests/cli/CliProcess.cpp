#include "CliProcess.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "common/Files.h"
#include "common/TempDir.h"

namespace trelwick::cli::test {

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

CliResult runCli(const std::vector<std::string>& args) {
    trelwick::testing::TempDir capture;
    std::string command = shellQuote(TRELWICK_CLI_PATH);
    for (const std::string& arg : args) command += " " + shellQuote(arg);
    command += " </dev/null >" + shellQuote((capture.path() / "out").string()) + " 2>" +
               shellQuote((capture.path() / "err").string());
    const int status = std::system(command.c_str());
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = trelwick::testing::readFile(capture.path() / "out");
    result.err = trelwick::testing::readFile(capture.path() / "err");
    return result;
}

std::string shellOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

}  // namespace trelwick::cli::test
