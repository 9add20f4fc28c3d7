#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace trelwick::reliability {

// What one stamping of a deck in a child process gave.
struct ChildOutcome {
    bool finished = false;    // the child exited normally (no crash, no signal)
    bool stamped = false;     // saveAs returned
    int errorCode = 0;        // engine::Error::number() when it threw one
    std::string message;      // what() of the failure, or a description of a crash
    long peakRssDeltaKb = 0;  // child's peak resident size above the parent's at the fork
};

// Opens source, shows every slide and notes element and saves into outputFolder under source's name,
// all in a forked child (running as uid/gid when given), so that a crash, a blow-up of memory or a
// change of user stays there.
ChildOutcome stampInChild(const std::filesystem::path& source, const std::filesystem::path& outputFolder,
                          std::optional<uid_t> runAs = std::nullopt);

// Current resident size of this process in KiB.
long residentKb();

}  // namespace trelwick::reliability
