#pragma once

#include <stdexcept>
#include <string>

namespace trelwick::cli {

// A command line that cannot be run; the tool prints the message and exits with status 2.
class UsageError : public std::runtime_error {
  public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace trelwick::cli
