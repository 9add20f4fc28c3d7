#pragma once

#include <filesystem>
#include <vector>

#include "StampSettings.h"

namespace trelwick::cli {

// The command line, parsed.
struct CliOptions {
    bool showHelp = false;
    bool showVersion = false;
    std::filesystem::path output;
    StampSettings stamp;
    unsigned jobs = 0;  // 0: one per core
    std::vector<std::filesystem::path> inputs;
};

}  // namespace trelwick::cli
