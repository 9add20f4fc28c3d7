#pragma once

#include <string>
#include <vector>

#include "CliOptions.h"

namespace trelwick::cli {

// Parses trelwick-cli's arguments (without the program name).
class CommandLine {
  public:
    // Throws UsageError on an unknown option, a missing or empty value, an option given twice, a
    // bad job count, or (unless --help or --version is asked) a missing output folder or PATH.
    static CliOptions parse(const std::vector<std::string>& args);

    // The --help text.
    static std::string usage();
    // Every option the parser takes, long and short ("--output", "-o").
    static std::vector<std::string> optionNames();

    // Largest accepted --jobs value.
    static constexpr unsigned kMaxJobs = 256;
};

}  // namespace trelwick::cli
