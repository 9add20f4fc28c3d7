#pragma once

namespace trelwick::cli {

// trelwick-cli's exit statuses.
enum ExitCode : int {
    kAllStamped = 0,
    kSomeFailed = 1,
    kUsageError = 2,
};

}  // namespace trelwick::cli
