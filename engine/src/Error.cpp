#include "trelwick/engine.h"

namespace trelwick::engine {

Error::Error(ErrorCode code, std::string file, std::string part, const std::string& message)
    : std::runtime_error(message), code_(code), file_(std::move(file)), part_(std::move(part)) {}

}  // namespace trelwick::engine
