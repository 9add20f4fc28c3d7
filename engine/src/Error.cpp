#include "trelwick/engine.h"

namespace trelwick::engine {

namespace {

std::string withPart(const std::string& part, const std::string& what) {
    return part.empty() ? what : "part " + part + ": " + what;
}

std::string message(const std::string& file, const std::string& part, const std::string& what) {
    return part.empty() ? file + ": " + what : file + " (part " + part + "): " + what;
}

}  // namespace

Error::Error(ErrorCode code, std::string file, std::string part, const std::string& what)
    : std::runtime_error(message(file, part, what)),
      code_(code),
      file_(std::move(file)),
      part_(std::move(part)),
      reason_(withPart(part_, what)) {}

}  // namespace trelwick::engine
