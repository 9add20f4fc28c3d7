#pragma once

#include <string>

#include "trelwick/engine.h"

namespace trelwick::engine {

// Throws an Error naming the file and, when given, the part: "<file> (part <part>): <what>"
[[noreturn]] inline void fail(ErrorCode code, const std::string& file, const std::string& part,
                              const std::string& what) {
    throw Error(code, file, part, what);
}

}  // namespace trelwick::engine
