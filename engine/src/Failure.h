#pragma once

#include <string>

#include "trelwick/engine.h"

namespace trelwick::engine {

// Builds an Error whose message names the file and, when given, the part: "<file> (part <part>): <what>"
[[noreturn]] inline void fail(ErrorCode code, const std::string& file, const std::string& part,
                              const std::string& what) {
    std::string message = file;
    if (!part.empty()) message += " (part " + part + ")";
    message += ": " + what;
    throw Error(code, file, part, message);
}

}  // namespace trelwick::engine
